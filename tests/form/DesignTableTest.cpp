// The window's design table and its resize rules, without any toolkit: the table every front end builds
// its window from, and the rules as a pure function over twips.
#include "form/Design.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>

namespace {

using form::Box;
using form::ResizeControls;

ResizeControls Design() {
    return {
        form::Control(form::ControlId::LstErrors).place, form::Control(form::ControlId::lstinstances).place,
        form::Control(form::ControlId::txtTranscript).place, form::Control(form::ControlId::lstFiles).place,
        form::Control(form::ControlId::lblTranscript).place};
}

// Rows of 195 twips (13 pixels) inside a frame of 30 twips at the top and the bottom.
float WholeRows(float requested) {
    const float rows = std::floor((requested - 60.0f) / 195.0f);
    return (rows < 0 ? 0.0f : rows) * 195.0f + 60.0f;
}

ResizeControls Resized(float width, float height, ResizeControls start = Design()) {
    form::Form_Resize(width, height, start, WholeRows);
    return start;
}

void ExpectLayout(const ResizeControls& actual, const ResizeControls& expected) {
    EXPECT_EQ(actual.LstErrors, expected.LstErrors);
    EXPECT_EQ(actual.lstinstances, expected.lstinstances);
    EXPECT_EQ(actual.txtTranscript, expected.txtTranscript);
    EXPECT_EQ(actual.lstFiles, expected.lstFiles);
    EXPECT_EQ(actual.lblTranscript, expected.lblTranscript);
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

TEST(ResizeRules, FollowTheWindowSize) {
    auto wider = Reference();
    wider.LstErrors.Width = wider.lstinstances.Width = wider.txtTranscript.Width = 11515;

    auto taller = Reference();
    taller.lstFiles.Height = 7505;
    taller.lstinstances.Height = 2400; // asked 2510: 12 whole rows
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

    const struct {
        const char* name;
        float width, height;
        ResizeControls expected;
    } rows[] = {
        {"reference", 13275, 8070, Reference()}, {"wider by 1000", 14275, 8070, wider},
        {"taller by 1000", 13275, 9070, taller}, {"too narrow", 2760, 8070, narrow},
        {"too low", 13275, 6560, low},           {"minimised", 2400, 450, Design()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ExpectLayout(Resized(row.width, row.height), row.expected);
    }
}

TEST(ResizeRules, GiveBackTheLayoutAfterMinimisingOrShrinking) {
    const ResizeControls shown = Resized(13275, 8070);
    ExpectLayout(Resized(2400, 450, shown), shown);
    ExpectLayout(Resized(13275, 8070, Resized(9000, 7000, shown)), shown);
    // Without a whole-rows rule the instance list takes the height asked.
    ResizeControls c = Design();
    form::Form_Resize(13275, 8070, c, nullptr);
    EXPECT_FLOAT_EQ(c.lstinstances.Height, 1510);
    EXPECT_FLOAT_EQ(c.lblTranscript.Top, 3825 + 1510 + 30);
}

TEST(DesignTable, NamesAreUniqueAndTheTabOrderFollowsTheTabIndex) {
    std::set<std::string> names;
    std::vector<std::pair<int, form::ControlId>> focusable;
    std::size_t position = 0;
    for (const form::ControlDesign& c : form::Controls()) {
        SCOPED_TRACE(std::string(c.name));
        EXPECT_EQ(static_cast<std::size_t>(c.id), position++); // the table is in definition order
        EXPECT_TRUE(names.insert(std::string(c.name)).second);
        EXPECT_GT(c.place.Width, 0);
        EXPECT_GT(c.place.Height, 0);
        if (c.kind != form::ControlKind::Label)
            focusable.emplace_back(c.tabIndex, c.id);
    }
    std::sort(focusable.begin(), focusable.end());
    const auto order = form::TabOrder();
    ASSERT_EQ(order.size(), focusable.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        EXPECT_EQ(order[i], focusable[i].second) << i;
    EXPECT_EQ(order.front(), form::ControlId::lstFiles);
    EXPECT_TRUE(form::Control(form::ControlId::Label6).bold);
    EXPECT_TRUE(form::Control(form::ControlId::Label9).bold);
}

TEST(DesignTable, AccessKeysAndMenus) {
    const struct {
        const char* caption;
        char key;
    } rows[] = {{"&More Information..", 'M'},
                {"E&xit", 'X'},
                {"Online &Knowledge Base...", 'K'},
                {"Log Source:", 0},
                {"a && b", 0},
                {"&& &c", 'C'},
                {"trailing &", 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.caption);
        EXPECT_EQ(form::AccessKey(row.caption), row.key);
    }

    std::vector<std::string> shown;
    for (const form::MenuDesign& menu : form::Menus()) {
        shown.emplace_back(menu.caption);
        for (const form::MenuItemDesign& item : menu.items) {
            std::string row = "  ";
            row.append(item.caption);
            if (!item.separator())
                row.append(" ").append(item.name);
            if (!item.shortcut.empty())
                row.append(" ").append(item.shortcut);
            shown.push_back(row);
        }
    }
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "&File", "  &Summary of All Files... mnuSummary", "  -",
                         "  Export &Events... mnuExportEvents", "  Export &Instances... mnuExportInstances",
                         "  -", "  E&xit mnuExit", "&View", "  &Refresh mnuRefresh F5", "&Help",
                         "  &Online Help... mnuOnline", "  Online &Knowledge Base... mnuKB", "  -",
                         "  &About.. mnuAbout"}));
}

} // namespace
