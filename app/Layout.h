// The resize rules of the main window as a pure function over twip values, so they can be tested without
// a display. The window reads its controls' places in twips, runs the rules and applies the result.
// The arithmetic is single-precision, as the window has always done it.
#pragma once

#include <functional>

namespace layout {

// 1440 twips to the inch; 15 twips per pixel at 96 dots per inch.
inline constexpr float kTwipsPerPixel = 15.0f;

// One control's place in twips, measured from the top left corner of the window's client area.
struct ControlBox {
    float Left = 0;
    float Top = 0;
    float Width = 0;
    float Height = 0;
};

// The controls that follow the window's size. Every other control keeps its place.
struct ResizeControls {
    ControlBox LstErrors;
    ControlBox lstinstances;
    ControlBox txtTranscript;
    ControlBox lstFiles;
    ControlBox lblTranscript;
};

// The height a list really takes when it is asked for `requested` twips: lists show whole items only, so
// this may be slightly less than asked.
using WholeItemsHeight = std::function<float(float requested)>;

// Applies the three resize rules in order to `controls`, given the window's outer width and height in twips:
// the event list, the instance list and the transcript end 300 short of the right edge; the file list ends
// 800 above the bottom edge; the instance list takes the height left over above the transcript label and
// box, which move down with it. A rule whose computed size is not above 0 leaves its controls as they were.
// instanceListHeight gives the height the instance list takes when asked for a height (nullptr: as asked).
void Form_Resize(float windowWidth, float windowHeight, ResizeControls& controls,
                 const WholeItemsHeight& instanceListHeight);

} // namespace layout
