// The summary across days gives each file exactly the counts of counting it alone, keeps the file list's
// order and a vanished file's place; CSV fields are quoted so that a spreadsheet reads back the very text.
#include "form/Summary.h"
#include "form/Export.h"
#include "form/Operations.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using testing_support::TempDir;
using testing_support::WriteBytes;
using Strings = std::vector<std::string>;

TEST(CsvText, QuotesWhatASpreadsheetWouldSplitAndDefusesFormulas) {
    const struct {
        std::string ansi, csv;
    } rows[] = {
        {"Relay", "Relay"},
        {"", ""},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"Timeout\r\n", "\"Timeout\r\n\""},
        {"lone\rcr", "\"lone\rcr\""},
        {" padded", "\" padded\""},
        {"caf\xE9 \x80", "caf\xC3\xA9 \xE2\x82\xAC"},        // cp1252 bytes in UTF-8
        {"-ERR", "'-ERR"},                                   // a spreadsheet would compute these
        {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""}, // quoted as well
        {"@SUM", "'@SUM"},
        {"+1", "'+1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.ansi);
        EXPECT_EQ(form::CsvText(row.ansi), row.csv);
    }
}

TEST(EventsCsv, OneRowPerCountedEntryInCatalogueOrder) {
    const Strings strings = {"Relay denied", "unused", "QUIT\r\n"};
    const Strings links = {"http://kb/1", "http://kb/2"}; // the last entry has no link
    const Strings descriptions = {"A relay, refused", "", "Said \"bye\""};
    EXPECT_EQ(form::EventsCsv(strings, links, descriptions, {4, 0, 2}),
              "index,count,search,link,explanation\r\n"
              "0,4,Relay denied,http://kb/1,\"A relay, refused\"\r\n"
              "2,2,\"QUIT\r\n\",,\"Said \"\"bye\"\"\"\r\n");
}

class SummaryTest : public ::testing::Test {
protected:
    const Strings strings_ = {"Relay denied", "Timeout", "never", "QUIT"};
    const scan::EventMatcher matcher_{strings_};
    TempDir dir_;
};

TEST_F(SummaryTest, EachFileCountsAsWhenCountedAlone) {
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files; // name, contents
    } tables[] = {
        {"no files", {}},
        {"one file", {{"SMTP-Debug-1.log", "x Relay denied\r\nTimeout\r\n"}}},
        {"files with no events", {{"SMTP-Debug-1.log", "nothing\r\n"}, {"SMTP-Debug-2.log", ""}}},
        {"a week",
         {{"SMTP-Debug-261201.log", "Relay denied\r\nRelay denied\r\nQUIT\r\n"},
          {"SMTP-Debug-261202.log", "Timeout\rTimeout\r\n"},
          {"SMTP-Debug-261203.log", "QUIT\r\nRelay denied"}}},
    };
    for (const auto& table : tables) {
        SCOPED_TRACE(table.name);
        const std::string directory = dir_.File(table.name);
        std::filesystem::create_directories(directory);
        Strings names;
        for (const auto& [name, contents] : table.files) {
            WriteBytes(directory + "/" + name, contents);
            names.push_back(name);
        }
        const form::Summary summary = form::Summarise(directory, names, matcher_);
        ASSERT_TRUE(summary.listing.ok);
        EXPECT_FALSE(summary.stopped);
        ASSERT_EQ(summary.files.size(), names.size());
        std::vector<std::uint64_t> totals(strings_.size(), 0);
        for (std::size_t f = 0; f < names.size(); ++f) {
            EXPECT_EQ(summary.files[f].name, names[f]);
            const form::CountResult alone = form::CountFile(directory + "/" + names[f], matcher_);
            EXPECT_EQ(summary.files[f].counts, alone.counts);
            EXPECT_EQ(summary.files[f].lines, alone.lines);
            for (std::size_t i = 0; i < strings_.size(); ++i)
                totals[i] += static_cast<std::uint64_t>(alone.counts[i]);
        }
        for (std::size_t i = 0; i < strings_.size(); ++i)
            EXPECT_EQ(summary.Total(i), totals[i]);
        std::vector<std::size_t> events;
        for (std::size_t i = 0; i < strings_.size(); ++i)
            if (totals[i] > 0)
                events.push_back(i);
        EXPECT_EQ(summary.Events(strings_.size()), events);
    }
}

TEST_F(SummaryTest, AFileThatVanishesKeepsItsPlaceWithItsReason) {
    const std::string directory = dir_.Path().string();
    const Strings names = {"SMTP-Debug-1.log", "SMTP-Debug-2.log", "SMTP-Debug-3.log"};
    for (const auto& name : names)
        WriteBytes(dir_.File(name), "Relay denied\r\n");
    std::vector<std::size_t> started;
    const form::Summary summary =
        form::Summarise(directory, names, matcher_, {}, [&](const form::SummaryProgress& progress) {
            started.push_back(progress.file);
            EXPECT_EQ(progress.files, 3u);
            EXPECT_EQ(progress.totalBytes, 3 * 14u);
            EXPECT_EQ(progress.doneBytes, progress.file * 14u);
            if (progress.file == 0)
                std::filesystem::remove(dir_.File(names[1]));
        });
    EXPECT_EQ(started, (std::vector<std::size_t>{0, 1, 2}));
    ASSERT_EQ(summary.files.size(), 3u);
    EXPECT_TRUE(summary.files[0].status.ok);
    EXPECT_FALSE(summary.files[1].status.ok);
    EXPECT_EQ(summary.files[1].counts, (std::vector<std::int32_t>{0, 0, 0, 0}));
    EXPECT_TRUE(summary.files[2].status.ok);
    EXPECT_EQ(summary.Total(0), 2u);
    EXPECT_EQ(form::SummaryCsv(summary, strings_),
              "index,search,SMTP-Debug-1.log,SMTP-Debug-2.log,SMTP-Debug-3.log,total\r\n"
              "0,Relay denied,1,0,1,2\r\n");
}

TEST_F(SummaryTest, AStopEndsTheSummaryWithoutTheFileUnderWay) {
    const Strings names = {"SMTP-Debug-1.log", "SMTP-Debug-2.log"};
    for (const auto& name : names)
        WriteBytes(dir_.File(name), "Timeout\r\n");
    std::stop_source stop;
    scan::ScanOptions options;
    options.stop = stop.get_token();
    const form::Summary summary =
        form::Summarise(dir_.Path().string(), names, matcher_, options, [&](const form::SummaryProgress& p) {
            if (p.file == 1)
                stop.request_stop();
        });
    EXPECT_TRUE(summary.stopped);
    ASSERT_EQ(summary.files.size(), 1u);
    EXPECT_EQ(summary.files[0].counts[1], 1);
}

} // namespace
