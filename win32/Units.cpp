#include "win32/Units.h"

#include <cmath>

namespace win32ui {

int TwipsToPixels(float twips, int dpi) {
    const double pixels = double(twips) * dpi / (double(form::kTwipsPerPixel) * kBaseDpi);
    return int(std::lround(pixels));
}

float PixelsToTwips(int pixels, int dpi) {
    if (dpi <= 0)
        return 0.0f;
    return float(double(pixels) * form::kTwipsPerPixel * kBaseDpi / dpi);
}

PixelRect BoxToPixels(const form::Box& box, int dpi) {
    const int left = TwipsToPixels(box.Left, dpi);
    const int top = TwipsToPixels(box.Top, dpi);
    const int right = TwipsToPixels(box.Left + box.Width, dpi);
    const int bottom = TwipsToPixels(box.Top + box.Height, dpi);
    return {left, top, right - left, bottom - top};
}

int FontHeight(float points, int dpi) {
    return -int(std::lround(double(points) * dpi / 72.0));
}

int WholeRowsHeight(int requested, int rowHeight, int frame) {
    if (rowHeight <= 0)
        return requested;
    const int inside = requested - frame;
    const int rows = inside < rowHeight ? 1 : inside / rowHeight;
    return rows * rowHeight + frame;
}

std::string ForEditControl(std::string_view ansi) {
    std::string shown;
    shown.reserve(ansi.size() + ansi.size() / 16);
    for (std::size_t i = 0; i < ansi.size(); ++i) {
        const char c = ansi[i];
        if (c == '\r') {
            shown += "\r\n";
            if (i + 1 < ansi.size() && ansi[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            shown += "\r\n";
        } else {
            shown.push_back(c);
        }
    }
    return shown;
}

} // namespace win32ui
