#include "win32/Units.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using win32ui::BoxToPixels;
using win32ui::PixelRect;

TEST(Win32UnitsTest, TwipsToPixelsAtEachScale) {
    struct Row {
        float twips;
        int dpi;
        int pixels;
    };
    const Row rows[] = {
        {1605, 96, 107}, {1605, 144, 161}, {15, 96, 1},  {7, 96, 0},    {8, 96, 1},     {12975, 120, 1081},
        {0, 144, 0},     {7230, 192, 964}, {10, 144, 1}, {-15, 96, -1}, {315, 168, 37}, {12975, 96, 865},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.twips) + " twips at " + std::to_string(row.dpi) + " dpi");
        EXPECT_EQ(win32ui::TwipsToPixels(row.twips, row.dpi), row.pixels);
    }
}

TEST(Win32UnitsTest, PixelsBackToTwips) {
    EXPECT_FLOAT_EQ(win32ui::PixelsToTwips(107, 96), 1605.0f);
    EXPECT_FLOAT_EQ(win32ui::PixelsToTwips(161, 144), 1610.0f);
    EXPECT_FLOAT_EQ(win32ui::PixelsToTwips(10, 0), 0.0f);
    // A place read back and placed again stays where it was, at every scale.
    for (int dpi : {96, 120, 144, 168, 192}) {
        for (int pixels : {0, 1, 13, 107, 865, 1299}) {
            SCOPED_TRACE(std::to_string(pixels) + " px at " + std::to_string(dpi));
            EXPECT_EQ(win32ui::TwipsToPixels(win32ui::PixelsToTwips(pixels, dpi), dpi), pixels);
        }
    }
}

TEST(Win32UnitsTest, BoxesThatMeetInTwipsMeetInPixels) {
    // At 150% a twip is a tenth of a pixel: rounding sizes would open gaps or overlaps between neighbours.
    const form::Box left{105, 765, 2160, 6300};
    const form::Box right{2265, 765, 1005, 6300};
    for (int dpi : {96, 120, 144, 168, 192}) {
        SCOPED_TRACE(dpi);
        const PixelRect a = BoxToPixels(left, dpi);
        const PixelRect b = BoxToPixels(right, dpi);
        EXPECT_EQ(a.left + a.width, b.left);
    }
    EXPECT_EQ(BoxToPixels({2460, 765, 10395, 1230}, 96), (PixelRect{164, 51, 693, 82}));
    EXPECT_EQ(BoxToPixels({2460, 765, 10395, 1230}, 144), (PixelRect{246, 77, 1040, 123}));
}

TEST(Win32UnitsTest, EveryControlOfTheDesignInsideTheWindowAtEveryScale) {
    const form::WindowDesign& window = form::MainWindow();
    const form::DialogDesign& dialog = form::InstanceWindow();
    for (int dpi : {96, 120, 144, 168, 192}) {
        SCOPED_TRACE(dpi);
        const int width = win32ui::TwipsToPixels(window.clientWidth, dpi);
        const int height = win32ui::TwipsToPixels(window.clientHeight, dpi);
        for (const form::ControlDesign& control : form::Controls()) {
            SCOPED_TRACE(std::string(control.name));
            const PixelRect place = BoxToPixels(control.place, dpi);
            EXPECT_GT(place.width, 0);
            EXPECT_GT(place.height, 0);
            EXPECT_LE(place.left + place.width, width);
            EXPECT_LE(place.top + place.height, height);
        }
        const PixelRect box = BoxToPixels(dialog.box, dpi);
        EXPECT_LE(box.left + box.width, win32ui::TwipsToPixels(dialog.clientWidth, dpi));
        EXPECT_LE(box.top + box.height, win32ui::TwipsToPixels(dialog.clientHeight, dpi));
    }
}

TEST(Win32UnitsTest, FontHeightOfThePointSize) {
    struct Row {
        float points;
        int dpi;
        int height;
    };
    const Row rows[] = {{8.25f, 96, -11},  {8.25f, 120, -14}, {8.25f, 144, -17},
                        {8.25f, 192, -22}, {8.0f, 96, -11},   {10.0f, 96, -13}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.points) + " pt at " + std::to_string(row.dpi));
        EXPECT_EQ(win32ui::FontHeight(row.points, row.dpi), row.height);
    }
}

TEST(Win32UnitsTest, WholeRowsInsideTheFrame) {
    struct Row {
        int requested;
        int rowHeight;
        int frame;
        int height;
    };
    const Row rows[] = {
        {82, 13, 4, 82},   // 6 rows exactly
        {83, 13, 4, 82},   // a part row is left out
        {94, 13, 4, 82},   // one short of 7 rows
        {95, 13, 4, 95},   // 7 rows
        {10, 13, 4, 17},   // never less than one row
        {50, 0, 4, 50},    // no row height known: as asked
        {420, 20, 4, 404}, // the file list at 150%
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.requested) + " px, rows of " + std::to_string(row.rowHeight));
        EXPECT_EQ(win32ui::WholeRowsHeight(row.requested, row.rowHeight, row.frame), row.height);
    }
}

TEST(Win32UnitsTest, EditControlBreaksEveryLineAtCrLf) {
    struct Row {
        std::string ansi;
        std::string shown;
    };
    const Row rows[] = {
        {"", ""},
        {"a\r\nb", "a\r\nb"},
        {"a\rb", "a\r\nb"},
        {"a\nb", "a\r\nb"},
        {"a\r\r\nb", "a\r\n\r\nb"},
        {"a\n\r", "a\r\n\r\n"},
        {"\r", "\r\n"},
        {"\r\n\r\n", "\r\n\r\n"},
        {"D\xE9"
         "bug\tx",
         "D\xE9"
         "bug\tx"}, // ANSI bytes and tabs as they are
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.ansi));
        EXPECT_EQ(win32ui::ForEditControl(row.ansi), row.shown);
    }
}

} // namespace
