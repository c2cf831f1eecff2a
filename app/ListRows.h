// How the window's list boxes show their rows: every row the same height, so a list can be sized to show
// whole rows only, and line breaks inside an item's text drawn as blanks so that a row stays one line.
#pragma once

#include <QStyledItemDelegate>

class QAbstractItemView;

class ListRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    // Installs itself on `view` and takes the row height from the view's font and style.
    explicit ListRowDelegate(QAbstractItemView* view);

    int RowHeight() const { return rowHeight_; }

    QString displayText(const QVariant& value, const QLocale& locale) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int rowHeight_;
};

// The pixel height at which `view` shows whole rows only: the largest multiple of the row height that fits
// in `requested` pixels with the frame, plus the frame. Never below the frame alone.
int WholeRowsHeight(const QAbstractItemView& view, int rowHeight, int requested);
