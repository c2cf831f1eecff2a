#include <gtest/gtest.h>

#include <string>
#include <sys/resource.h>
#include <vector>

#include "catalogue/Catalogue.h"
#include "support/TestSupport.h"

namespace {

using catalogue::Catalogue;
using catalogue::LoadCatalogueFile;
using catalogue::LoadOutcome;
using Kind = catalogue::LoadOutcome::Kind;
using testing_support::TempDir;
using testing_support::WriteBytes;

struct Entry {
    std::string string, link, description;
    bool operator==(const Entry&) const = default;
};

std::vector<Entry> Entries(const Catalogue& c) {
    EXPECT_EQ(c.strings.size(), c.links.size());
    EXPECT_EQ(c.strings.size(), c.descriptions.size());
    std::vector<Entry> entries;
    for (std::size_t i = 0; i < c.strings.size() && i < c.links.size() && i < c.descriptions.size(); ++i)
        entries.push_back({c.strings[i], c.links[i], c.descriptions[i]});
    return entries;
}

void PrintTo(const Entry& e, std::ostream* os) {
    *os << "{" << ::testing::PrintToString(e.string) << ", " << ::testing::PrintToString(e.link) << ", "
        << ::testing::PrintToString(e.description) << "}";
}

Catalogue Stale() {
    Catalogue c;
    for (int i = 0; i < 10; ++i) {
        c.strings.push_back("old" + std::to_string(i));
        c.links.push_back("link" + std::to_string(i));
        c.descriptions.push_back("description" + std::to_string(i));
    }
    return c;
}

TEST(ExpandCrlf, Table) {
    struct Case {
        std::string field, expected;
    } cases[] = {
        {"", ""},
        {"Timeout<CRLF>", "Timeout\r\n"},
        {"<CRLF>", "\r\n"},
        {"<CRLF><CRLF>", "\r\n\r\n"},
        {"a<CRLF>b<CRLF>c", "a\r\nb\r\nc"},
        {"<crlf>", "<crlf>"},
        {"<CrLf>", "<CrLf>"},
        {"<CRLF", "<CRLF"},
        {"<<CRLF>>", "<\r\n>"},
        {"<CR<CRLF>LF>", "<CR\r\nLF>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        EXPECT_EQ(catalogue::ExpandCrlf(c.field), c.expected);
    }
}

TEST(CatalogueFilePath, NamesTheSourceFileInTheDirectory) {
    EXPECT_EQ(catalogue::CatalogueFilePath("/opt/brindlemar", "SMTP"), "/opt/brindlemar/SMTP-Analysis.tab");
    EXPECT_EQ(catalogue::CatalogueFilePath("/opt/b/", "popc"), "/opt/b//popc-Analysis.tab");
}

TEST(LoadCatalogueFile, LineAndFieldRules) {
    const std::string nul(1, '\0');
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<Entry> expected;
    } cases[] = {
        {"empty file", "", {}},
        {"one line with CR LF", "A\tL\tE\r\n", {{"A", "L", "E"}}},
        {"one line without terminator", "A\tL\tE", {{"A", "L", "E"}}},
        {"no TAB", "whole line\r\n", {{"whole line", "", ""}}},
        {"two fields", "A\tL\r\n", {{"A", "L", ""}}},
        {"adjacent TABs", "A\t\tE\r\n", {{"A", "", "E"}}},
        {"leading TAB", "\tL\tE\r\n", {{"", "L", "E"}}},
        {"extra fields ignored", "A\tL\tE\tX\tY\r\n", {{"A", "L", "E"}}},
        {"empty line kept", "A\tL\tE\r\n\r\nB\tM\tF\r\n", {{"A", "L", "E"}, {"", "", ""}, {"B", "M", "F"}}},
        {"only a terminator", "\r\n", {{"", "", ""}}},
        {"lone LF is ordinary", "A\tL\tE\nB\tM\tF\n", {{"A", "L", "E\nB"}}},
        {"lone CR ends a line", "A\tL\tE\rB\tM\tF\r", {{"A", "L", "E"}, {"B", "M", "F"}}},
        {"mixed endings", "A\r\nB\rC\nD", {{"A", "", ""}, {"B", "", ""}, {"C\nD", "", ""}}},
        {"CR CR LF", "A\r\r\nB", {{"A", "", ""}, {"", "", ""}, {"B", "", ""}}},
        {"escape in search string and explanation",
         "Timeout<CRLF>\thttp://x/<CRLF>\tFirst<CRLF>Second\r\n",
         {{"Timeout\r\n", "http://x/<CRLF>", "First\r\nSecond"}}},
        {"lower-case escape is text", "a<crlf>\tL\te<crlf>\r\n", {{"a<crlf>", "L", "e<crlf>"}}},
        {"escape in ignored fourth field", "A\tL\tE\tX<CRLF>\r\n", {{"A", "L", "E"}}},
        {"binary bytes kept",
         "\x01" + nul + "\xFF\x80\x1A\tL\xE9\t\x9D" + nul + "\r\n",
         {{"\x01" + nul + "\xFF\x80\x1A", "L\xE9", "\x9D" + nul}}},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("SMTP-Analysis.tab");
        WriteBytes(path, c.bytes);
        Catalogue loaded = Stale();
        const LoadOutcome outcome = LoadCatalogueFile(path, loaded);
        EXPECT_EQ(outcome.kind, Kind::Loaded);
        EXPECT_EQ(outcome.description, "");
        EXPECT_EQ(Entries(loaded), c.expected);
    }
}

TEST(LoadCatalogueFile, NotOpenedLeavesTheCatalogueUntouched) {
    TempDir dir;
    const std::string paths[] = {dir.File("missing-Analysis.tab"), dir.Path().string(),
                                 dir.File("no-such-dir/SMTP-Analysis.tab")};
    for (const auto& path : paths) {
        SCOPED_TRACE(path);
        Catalogue loaded = Stale();
        const LoadOutcome outcome = LoadCatalogueFile(path, loaded);
        EXPECT_EQ(outcome.kind, Kind::NotOpened);
        EXPECT_FALSE(outcome.description.empty());
        EXPECT_EQ(Entries(loaded), Entries(Stale()));
    }
}

TEST(LoadCatalogueFile, ShorterCatalogueReplacesALongerOne) {
    TempDir dir;
    const std::string path = dir.File("POP-Analysis.tab");
    WriteBytes(path, "a\t1\tx\r\nb\t2\ty\r\nc\t3\tz\r\n");
    Catalogue loaded = Stale();
    ASSERT_EQ(LoadCatalogueFile(path, loaded).kind, Kind::Loaded);
    EXPECT_EQ(Entries(loaded), (std::vector<Entry>{{"a", "1", "x"}, {"b", "2", "y"}, {"c", "3", "z"}}));
}

TEST(LoadCatalogueFile, LargeCatalogue) {
    TempDir dir;
    const std::string path = dir.File("MTA-Analysis.tab");
    std::string bytes;
    for (int i = 0; i < 100000; ++i)
        bytes += "event " + std::to_string(i) + "<CRLF>\thttp://kb/" + std::to_string(i) + "\tentry " +
                 std::to_string(i) + "\r\n";
    WriteBytes(path, bytes);
    Catalogue loaded;
    ASSERT_EQ(LoadCatalogueFile(path, loaded).kind, Kind::Loaded);
    ASSERT_EQ(loaded.strings.size(), 100000u);
    EXPECT_EQ(loaded.strings[99999], "event 99999\r\n");
    EXPECT_EQ(loaded.links[54321], "http://kb/54321");
    EXPECT_EQ(loaded.descriptions[0], "entry 0");
}

TEST(LoadCatalogueFile, LongLinesAreWhole) {
    TempDir dir;
    const std::string path = dir.File("LS-Analysis.tab");
    const std::string longString(3u << 20, 's');
    const std::string longText = std::string(1u << 20, 'e') + "<CRLF>" + std::string(1u << 20, 'f');
    WriteBytes(path, longString + "\tL\t" + longText + "\r\nshort\tM\tG\r\n" + std::string(1u << 20, 'z'));
    Catalogue loaded;
    ASSERT_EQ(LoadCatalogueFile(path, loaded).kind, Kind::Loaded);
    ASSERT_EQ(loaded.strings.size(), 3u);
    EXPECT_EQ(loaded.strings[0], longString);
    EXPECT_EQ(loaded.descriptions[0], std::string(1u << 20, 'e') + "\r\n" + std::string(1u << 20, 'f'));
    EXPECT_EQ(Entries(loaded)[1], (Entry{"short", "M", "G"}));
    EXPECT_EQ(loaded.strings[2], std::string(1u << 20, 'z'));
}

TEST(LoadCatalogueFile, APseudoFileOfSizeZeroLoadsNoEntries) {
    // This process's memory opens as a regular file of size 0 (reading it at offset 0 would fail): a file
    // of size 0 is not read, so it loads as an empty catalogue.
    Catalogue loaded = Stale();
    const LoadOutcome outcome = LoadCatalogueFile("/proc/self/mem", loaded);
    ASSERT_EQ(outcome.kind, Kind::Loaded);
    EXPECT_EQ(outcome.description, "");
    EXPECT_TRUE(loaded.strings.empty());
    EXPECT_TRUE(loaded.links.empty());
    EXPECT_TRUE(loaded.descriptions.empty());
}

TEST(LoadCatalogueFile, OversizedCatalogueKeepsOnlyCompleteEntries) {
    TempDir dir;
    const std::string path = dir.File("SF-Analysis.tab");
    WriteBytes(path, "one\tL\tE\r\ntwo\tL\tE\r\nthree is cut\tL\tE\r\nfour\tL\tE\r\n");
    struct Case {
        std::size_t maxBytes;
        Kind kind;
        std::size_t entries;
    } cases[] = {{1000, Kind::Loaded, 4},
                 {25, Kind::ReadFailed, 2},
                 {30, Kind::ReadFailed, 3},
                 {0, Kind::ReadFailed, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.maxBytes);
        Catalogue loaded = Stale();
        const LoadOutcome outcome = LoadCatalogueFile(path, loaded, c.maxBytes);
        EXPECT_EQ(outcome.kind, c.kind);
        EXPECT_EQ(outcome.description, c.kind == Kind::ReadFailed ? "File too large" : "");
        ASSERT_EQ(Entries(loaded).size(), c.entries);
        if (c.entries >= 2) {
            EXPECT_EQ(Entries(loaded)[1], (Entry{"two", "L", "E"}));
        }
    }
}

#if !defined(__SANITIZE_ADDRESS__)
TEST(LoadCatalogueFile, MemoryExhaustedKeepsCompleteEntries) {
    // With the address space capped just above what the process uses, a 96 MiB line cannot be held.
    TempDir dir;
    const std::string path = dir.File("HTTPMAIL-Analysis.tab");
    WriteBytes(path, "first\tL\tE\r\nsecond\tM\tF\r\n" + std::string(96u << 20, 'x') + "\tN\tG\r\n");
    long pages = 0;
    {
        std::FILE* statm = std::fopen("/proc/self/statm", "r");
        ASSERT_NE(statm, nullptr);
        ASSERT_EQ(std::fscanf(statm, "%ld", &pages), 1);
        std::fclose(statm);
    }
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &old), 0);
    rlimit capped = old;
    capped.rlim_cur = static_cast<rlim_t>(pages) * 4096 + (48u << 20);
    ASSERT_EQ(setrlimit(RLIMIT_AS, &capped), 0);
    Catalogue loaded = Stale();
    const LoadOutcome outcome = LoadCatalogueFile(path, loaded);
    setrlimit(RLIMIT_AS, &old);
    EXPECT_EQ(outcome.kind, Kind::ReadFailed);
    EXPECT_EQ(outcome.description, "Cannot allocate memory");
    EXPECT_EQ(Entries(loaded), (std::vector<Entry>{{"first", "L", "E"}, {"second", "M", "F"}}));
}
#endif

} // namespace
