// Units, fonts and text box looks shared by the program's windows: design sizes are in twips (15 to a
// pixel), the font is the classic 8.25-point sans serif at 11 pixels, text boxes are read-only for typing.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>

#include <string>
#include <string_view>

#include "form/Texts.h"

class QPlainTextEdit;

namespace windowstyle {

inline constexpr int kTwipsPerPixel = 15;

// The title of the main window and of every message box that has no title of its own.
inline const QString kAppTitle =
    QString::fromLatin1(form::kAppTitle.data(), qsizetype(form::kAppTitle.size()));

// Text held as ANSI bytes, as shown; and shown text back as ANSI bytes (unmappable characters as '?').
QString FromAnsi(std::string_view ansi);
std::string ToAnsi(const QString& shown);

// Twips to whole pixels, rounded to the nearest pixel.
int TwipsToPixels(double twips);
// Pixels to twips.
inline double PixelsToTwips(int pixels) {
    return pixels * double{kTwipsPerPixel};
}
// A rectangle given in twips, in pixels.
QRect TwipsRect(double left, double top, double width, double height);

// The windows' font: the first of "MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans", "Arial"
// that is installed, at 11 pixels; bold for the headings.
QFont DialogFont();
QFont DialogBoldFont();

// Text boxes take no typing (the program replaces their text whole) but keep a caret, so their text can be
// selected, copied and moved through with the keyboard.
void MakeReadOnlyBox(QPlainTextEdit& box);
// Gives a text box the system's tooltip colours.
void UseTooltipColours(QPlainTextEdit& box);

} // namespace windowstyle
