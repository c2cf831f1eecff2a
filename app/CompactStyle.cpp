#include "app/CompactStyle.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QStyleFactory>
#include <QStyleOptionComboBox>

// A style of its own (not the application's instance), which the proxy then owns.
CompactStyle::CompactStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

QRect CompactStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                   SubControl subControl, const QWidget* widget) const {
    if (control != CC_ComboBox)
        return QProxyStyle::subControlRect(control, option, subControl, widget);
    const QRect frame = option->rect;
    switch (subControl) {
    case SC_ComboBoxArrow:
        return visualRect(
            option->direction, frame,
            QRect(frame.right() - kArrowWidth, frame.top() + 1, kArrowWidth, frame.height() - 2));
    case SC_ComboBoxEditField:
        return visualRect(option->direction, frame,
                          QRect(frame.left() + kTextMargin, frame.top() + 2,
                                frame.width() - kArrowWidth - kTextMargin - 1, frame.height() - 4));
    default:
        return QProxyStyle::subControlRect(control, option, subControl, widget);
    }
}

int CompactStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const {
    // Item views take their rows' text margin from the focus frame margin, plus one.
    if (metric == PM_FocusFrameHMargin && qobject_cast<const QAbstractItemView*>(widget) != nullptr)
        return 0;
    return QProxyStyle::pixelMetric(metric, option, widget);
}
