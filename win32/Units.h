// What the native Windows window computes without Windows: design twips to pixels at the window's DPI and
// back, the font height for a point size, whole list rows, and text made ready for an edit control. Plain
// C++, so it is tested on every platform.
#pragma once

#include <string>
#include <string_view>

#include "form/Design.h"

namespace win32ui {

// The DPI at which a twip is exactly 1/15 of a pixel; Windows' 100% scale.
inline constexpr int kBaseDpi = 96;

// Twips to whole pixels at dpi, rounded to the nearest pixel (halves away from zero).
// Example: 1605 twips at 144 dpi (150%) -> 161 pixels.
int TwipsToPixels(float twips, int dpi);
// Pixels to twips at dpi.
float PixelsToTwips(int pixels, int dpi);

struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};
// A design box in pixels at dpi: the edges are rounded, not the sizes, so boxes that meet in twips meet in
// pixels too.
PixelRect BoxToPixels(const form::Box& box, int dpi);

// The height to give CreateFont for a point size at dpi: negative (the character height without leading),
// rounded to the nearest pixel. Example: 8.25 pt at 96 dpi -> -11.
int FontHeight(float points, int dpi);

// The height in pixels a list takes when asked for requested pixels: whole rows of rowHeight inside the
// frame, at least one row. Example: 82 requested, rows of 13, frame 2+2 -> 82 - (78 % 13) = 82.
int WholeRowsHeight(int requested, int rowHeight, int frame);

// ANSI text for a multi-line edit control, which breaks lines only at CR LF: a lone CR and a lone LF
// become CR LF (both are shown as a line break, as the other window shows them).
std::string ForEditControl(std::string_view ansi);

} // namespace win32ui
