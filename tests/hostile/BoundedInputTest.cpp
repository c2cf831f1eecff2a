// Input built to cost memory or to change under the program: a catalogue of more entries than any real
// one (a library reply of nothing but line breaks is all entries), and a log cut short while its lines are
// being read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "RunProgram.h"
#include "catalogue/Catalogue.h"
#include "scan/Scan.h"
#include "support/TestSupport.h"

namespace {

using catalogue::LoadOutcome;
using testing_support::TempDir;
using testing_support::WriteBytes;

TEST(BoundedInput, CataloguesStopAtTheEntryBoundAndSaySo) {
    TempDir dir;
    const std::string path = dir.File("SMTP-Analysis.tab");
    struct Case {
        std::string name;
        std::string bytes;
        std::size_t maxEntries;
        LoadOutcome::Kind kind;
        std::size_t entries;
    } cases[] = {
        {"at the bound", "a\r\nb\r\nc\r\n", 3, LoadOutcome::Kind::Loaded, 3},
        {"at the bound, no final line break", "a\r\nb\r\nc", 3, LoadOutcome::Kind::Loaded, 3},
        {"one over the bound", "a\r\nb\r\nc\r\nd", 3, LoadOutcome::Kind::ReadFailed, 3},
        {"one empty entry over the bound", "a\r\nb\r\nc\r\n\r\n", 3, LoadOutcome::Kind::ReadFailed, 3},
        {"line breaks only", std::string(1000, '\r'), 10, LoadOutcome::Kind::ReadFailed, 10},
        {"empty file", "", 1, LoadOutcome::Kind::Loaded, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(path, c.bytes);
        catalogue::Catalogue loaded;
        const auto outcome =
            catalogue::LoadCatalogueFile(path, loaded, catalogue::kMaxCatalogueBytes, c.maxEntries);
        EXPECT_EQ(outcome.kind, c.kind);
        EXPECT_EQ(loaded.strings.size(), c.entries);
        EXPECT_EQ(loaded.links.size(), c.entries);
        EXPECT_EQ(loaded.descriptions.size(), c.entries);
        if (c.kind == LoadOutcome::Kind::ReadFailed) {
            EXPECT_EQ(outcome.description, catalogue::TooManyEntriesDescription(c.maxEntries));
        }
    }
    EXPECT_EQ(catalogue::TooManyEntriesDescription(3),
              "The catalogue holds more than 3 entries; only the first 3 were loaded.");
}

TEST(BoundedInput, ALibraryReplyOfLineBreaksLoadsTheFirstEntriesAndScans) {
    // 32 MiB less one byte of CR, the largest reply the library client takes.
    TempDir dir;
    const std::string catalogueFile = dir.File("SMTP-Analysis.tab");
    WriteBytes(catalogueFile, std::string((std::size_t{32} << 20) - 1, '\r'));
    const std::string log = dir.File("SMTP-Debug-261207.log");
    WriteBytes(log, "one\r\ntwo\r\n");
    const auto run = cli_test::RunProgram(BRINDLEMAR_SCAN_PROGRAM,
                                          {"scan", "--log", log, "--catalogue", catalogueFile, "--json"});
    EXPECT_EQ(run.exitCode, 0);
    const std::string bound = std::to_string(catalogue::kMaxCatalogueEntries);
    EXPECT_EQ(run.err, "warning: Error in reading the error strings: " +
                           catalogue::TooManyEntriesDescription(catalogue::kMaxCatalogueEntries) + " (" +
                           bound + " entries of " + catalogueFile + " were read)\n");
    // Every empty entry matches every line: the last one is there, and nothing beyond the bound.
    const std::string last = std::to_string(catalogue::kMaxCatalogueEntries - 1);
    EXPECT_NE(run.out.find("{\"index\":" + last + ",\"count\":2,\"search\":\"\",\"item\":\"" + last +
                           " [2]  \"}]}\n"),
              std::string::npos);
    EXPECT_EQ(run.out.rfind("{\"events\":[{\"index\":0,\"count\":2,", 0), 0u);
    EXPECT_EQ(run.out.find("\"index\":" + bound + ","), std::string::npos);
}

TEST(BoundedInput, ALogCutShortAfterTheScanIsAReadFailureNotEmptyLines) {
    TempDir dir;
    const std::string log = dir.File("SMTP-Debug-261207.log");
    const std::string lines = "first match\r\nsecond match\r\nthird match\r\n";
    struct Case {
        std::string name;
        std::size_t keep;     // bytes left in the file after the scan
        std::size_t readable; // lines that still read back whole
    } cases[] = {
        {"intact", lines.size(), 3},
        {"cut in the middle of the second line", 20, 1},
        {"cut to nothing", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(log, lines);
        scan::InstanceLines found;
        ASSERT_TRUE(found.Build(log, "match").ok);
        ASSERT_EQ(found.Size(), 3u);
        std::filesystem::resize_file(log, c.keep);
        for (std::size_t i = 0; i < found.Size(); ++i) {
            SCOPED_TRACE(i);
            std::string line;
            const auto read = found.ReadLine(i, line);
            EXPECT_EQ(read.ok, i < c.readable);
            if (read.ok) {
                EXPECT_EQ(line, found.Line(i));
                EXPECT_EQ(line.size(), found.LineLength(i));
            } else {
                EXPECT_EQ(read.description, "The file has been cut short since it was scanned.");
                EXPECT_EQ(line, "");
            }
        }
        // Past the line's end there is nothing to read, which is no failure.
        std::string rest = "x";
        EXPECT_TRUE(found.ReadLine(0, rest, 10, found.LineLength(0)).ok);
        EXPECT_EQ(rest, "");
    }
}

} // namespace
