#include "app/ListRows.h"

#include <QAbstractItemView>
#include <QStyle>

#include <algorithm>

namespace {

// The height the view's style gives one row of text in the view's font.
int ProbeRowHeight(const QAbstractItemView& view) {
    QStyleOptionViewItem option;
    option.initFrom(&view);
    option.font = view.font();
    option.fontMetrics = QFontMetrics(view.font());
    option.features = QStyleOptionViewItem::HasDisplay;
    option.text = QStringLiteral("Xgj[]");
    const QSize size = view.style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), &view);
    return std::max(size.height(), option.fontMetrics.height());
}

} // namespace

ListRowDelegate::ListRowDelegate(QAbstractItemView* view)
    : QStyledItemDelegate(view), rowHeight_(ProbeRowHeight(*view)) {
    view->setItemDelegate(this);
}

QString ListRowDelegate::displayText(const QVariant& value, const QLocale& locale) const {
    QString shown = QStyledItemDelegate::displayText(value, locale);
    for (QChar& c : shown) {
        if (c == u'\r' || c == u'\n')
            c = u' ';
    }
    return shown;
}

QSize ListRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(rowHeight_);
    return size;
}

int WholeRowsHeight(const QAbstractItemView& view, int rowHeight, int requested) {
    const int frame = 2 * view.frameWidth();
    if (rowHeight <= 0)
        return std::max(requested, frame);
    const int rows = std::max(0, (requested - frame) / rowHeight);
    return rows * rowHeight + frame;
}
