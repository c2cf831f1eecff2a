// A tighter look for the main window's lists: the drop-down list gets a narrow arrow and small margins, so
// that the longest source code fits at the design width of 70 pixels, and list rows keep one pixel of margin
// beside their text instead of three, so that a debug log file name fits the file list. Everything else
// is drawn by the application's style.
#pragma once

#include <QProxyStyle>

class CompactStyle final : public QProxyStyle {
    Q_OBJECT
public:
    static constexpr int kArrowWidth = 11;
    static constexpr int kTextMargin = 2;

    CompactStyle();

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl subControl,
                         const QWidget* widget) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
};
