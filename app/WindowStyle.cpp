#include "app/WindowStyle.h"

#include <QPalette>
#include <QPlainTextEdit>
#include <QStringList>

#include <cmath>

#include "text/Ansi.h"

namespace windowstyle {

QString FromAnsi(std::string_view ansi) {
    return QString::fromStdU16String(text::DecodeAnsi(ansi));
}

std::string ToAnsi(const QString& shown) {
    return text::EncodeAnsi(shown.toStdU16String());
}

int TwipsToPixels(double twips) {
    return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}

QRect TwipsRect(double left, double top, double width, double height) {
    return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height));
}

QFont DialogFont() {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    font.setPixelSize(11);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

QFont DialogBoldFont() {
    QFont font = DialogFont();
    font.setWeight(QFont::Bold);
    return font;
}

void MakeReadOnlyBox(QPlainTextEdit& box) {
    box.setReadOnly(true);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void UseTooltipColours(QPlainTextEdit& box) {
    QPalette palette = box.palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, palette.color(group, QPalette::ToolTipBase));
        palette.setColor(group, QPalette::Text, palette.color(group, QPalette::ToolTipText));
    }
    box.setPalette(palette);
}

} // namespace windowstyle
