#include "app/Layout.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using layout::ControlBox;
using layout::ResizeControls;

// The controls at their design places.
ResizeControls Design() {
    ResizeControls c;
    c.LstErrors = {2460, 765, 10395, 1230};
    c.lstinstances = {2430, 3825, 10485, 1230};
    c.txtTranscript = {2415, 5370, 10500, 1740};
    c.lstFiles = {105, 765, 2160, 6300};
    c.lblTranscript = {2400, 5115, 9255, 195};
    return c;
}

// Rows of 195 twips (13 pixels) inside a frame of 30 twips at the top and the bottom.
float WholeRows(float requested) {
    const float rows = std::floor((requested - 60.0f) / 195.0f);
    return (rows < 0 ? 0.0f : rows) * 195.0f + 60.0f;
}

void ExpectBox(const ControlBox& actual, const ControlBox& expected, const char* name) {
    SCOPED_TRACE(name);
    EXPECT_FLOAT_EQ(actual.Left, expected.Left);
    EXPECT_FLOAT_EQ(actual.Top, expected.Top);
    EXPECT_FLOAT_EQ(actual.Width, expected.Width);
    EXPECT_FLOAT_EQ(actual.Height, expected.Height);
}

void ExpectLayout(const ResizeControls& actual, const ResizeControls& expected) {
    ExpectBox(actual.LstErrors, expected.LstErrors, "LstErrors");
    ExpectBox(actual.lstinstances, expected.lstinstances, "lstinstances");
    ExpectBox(actual.txtTranscript, expected.txtTranscript, "txtTranscript");
    ExpectBox(actual.lstFiles, expected.lstFiles, "lstFiles");
    ExpectBox(actual.lblTranscript, expected.lblTranscript, "lblTranscript");
}

ResizeControls Resized(float width, float height, ResizeControls start = Design()) {
    layout::Form_Resize(width, height, start, WholeRows);
    return start;
}

// A window of 13275 x 8070 twips outer size: A = 10515, B = 6505, C = 1510 -> 7 rows = 1425.
ResizeControls Reference() {
    ResizeControls c = Design();
    c.LstErrors.Width = c.lstinstances.Width = c.txtTranscript.Width = 10515;
    c.lstFiles.Height = 6505;
    c.lstinstances.Height = 1425;
    c.lblTranscript.Top = 3825 + 1425 + 30;
    c.txtTranscript.Top = c.lblTranscript.Top + 195;
    return c;
}

TEST(LayoutTest, RulesFollowTheWindowSize) {
    struct Row {
        const char* name;
        float width, height;
        ResizeControls expected;
    };
    auto wider = Reference();
    wider.LstErrors.Width = wider.lstinstances.Width = wider.txtTranscript.Width = 11515;

    auto taller = Reference();
    taller.lstFiles.Height = 7505;
    taller.lstinstances.Height = WholeRows(2510); // 12 rows = 2400
    taller.lblTranscript.Top = 3825 + 2400 + 30;
    taller.txtTranscript.Top = taller.lblTranscript.Top + 195;

    // W - LstErrors.Left - 300 = 0: the widths stay at their design values.
    auto narrow = Reference();
    narrow.LstErrors.Width = 10395;
    narrow.lstinstances.Width = 10485;
    narrow.txtTranscript.Width = 10500;

    // H = 6560: C = 0, so the instance list, its label and the transcript stay; B = 4995 still applies.
    auto low = Design();
    low.LstErrors.Width = low.lstinstances.Width = low.txtTranscript.Width = 10515;
    low.lstFiles.Height = 4995;

    // So small that no rule applies (a minimised window): nothing changes.
    const Row rows[] = {
        {"reference", 13275, 8070, Reference()}, {"wider by 1000", 14275, 8070, wider},
        {"taller by 1000", 13275, 9070, taller}, {"too narrow", 2760, 8070, narrow},
        {"too low", 13275, 6560, low},           {"minimised", 2400, 450, Design()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ExpectLayout(Resized(row.width, row.height), row.expected);
    }
}

TEST(LayoutTest, WiderMovesNothingAndTallerKeepsTheTranscriptHeight) {
    const ResizeControls before = Resized(13275, 8070);
    const ResizeControls wider = Resized(14275, 8070, before);
    EXPECT_FLOAT_EQ(wider.LstErrors.Width - before.LstErrors.Width, 1000);
    EXPECT_FLOAT_EQ(wider.lstinstances.Width - before.lstinstances.Width, 1000);
    EXPECT_FLOAT_EQ(wider.txtTranscript.Width - before.txtTranscript.Width, 1000);
    EXPECT_FLOAT_EQ(wider.txtTranscript.Top, before.txtTranscript.Top);
    EXPECT_FLOAT_EQ(wider.lblTranscript.Top, before.lblTranscript.Top);

    const ResizeControls taller = Resized(13275, 9070, before);
    EXPECT_FLOAT_EQ(taller.lstFiles.Height - before.lstFiles.Height, 1000);
    const float grown = taller.lstinstances.Height - before.lstinstances.Height;
    EXPECT_NEAR(grown, 1000, 195);
    EXPECT_FLOAT_EQ(taller.lblTranscript.Top - before.lblTranscript.Top, grown);
    EXPECT_FLOAT_EQ(taller.txtTranscript.Top - before.txtTranscript.Top, grown);
    EXPECT_FLOAT_EQ(taller.txtTranscript.Height, before.txtTranscript.Height);
    EXPECT_FLOAT_EQ(taller.txtTranscript.Top, taller.lblTranscript.Top + taller.lblTranscript.Height);
}

TEST(LayoutTest, MinimiseAndRestoreGiveBackTheLayout) {
    const ResizeControls shown = Resized(13275, 8070);
    const ResizeControls minimised = Resized(2400, 450, shown);
    ExpectLayout(minimised, shown);
    const ResizeControls smaller = Resized(9000, 7000, shown);
    ExpectLayout(Resized(13275, 8070, minimised), shown);
    ExpectLayout(Resized(13275, 8070, smaller), shown);
}

TEST(LayoutTest, WithoutARowRuleTheInstanceListTakesTheHeightAsked) {
    ResizeControls c = Design();
    layout::Form_Resize(13275, 8070, c, nullptr);
    EXPECT_FLOAT_EQ(c.lstinstances.Height, 1510);
    EXPECT_FLOAT_EQ(c.lblTranscript.Top, 3825 + 1510 + 30);
}

} // namespace
