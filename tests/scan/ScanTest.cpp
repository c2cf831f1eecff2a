#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "ScanTester.h"
#include "scan/LineRun.h"
#include "scan/Matcher.h"
#include "scan/Scan.h"
#include "support/TestSupport.h"

namespace {

using namespace scan_testing;
using testing_support::TempDir;
using testing_support::WriteBytes;

std::string Bytes(const char* data, std::size_t size) {
    return std::string(data, size);
}

struct MatchCase {
    const char* name;
    std::vector<std::string> lines;
    std::vector<std::string> catalogue;
    std::vector<std::int32_t> expected;
};

// Each case is written with every line ending; the counts must not depend on it.
const std::vector<MatchCase>& MatchCases() {
    static const std::vector<MatchCase> cases{
        {"a string three times in a line counts once",
         {"refused refused refused", "ok", "refused"},
         {"refused"},
         {2}},
        {"one line counts for several entries",
         {"550 from x: Relay denied", "550 only"},
         {"none", "nothing", "550", "zz", "qq", "Relay denied"},
         {0, 0, 2, 0, 0, 1}},
        {"identical strings get identical counts",
         {"timed out", "x timed out", "timed"},
         {"timed out", "timed", "timed out"},
         {2, 3, 2}},
        {"matching is case-sensitive",
         {"connection refused", "Connection Refused"},
         {"CONNECTION REFUSED", "connection refused", "Connection Refused"},
         {0, 1, 1}},
        {"a string ending in CR LF or CR matches at the line's end only",
         {"QUIT", "QUIT now", "quit", "xQUIT"},
         {"QUIT\r\n", "QUIT\r", "QUIT", "T\r\n", "now\r\n", "QUIT now\r\n\r\n"},
         {2, 2, 3, 2, 1, 0}},
        {"the empty string and the terminator strings count every line",
         {"a", "", "b", ""},
         {"", "\r\n", "\r", "\n", "a"},
         {4, 4, 4, 4, 1}},
        {"a CR anywhere but at the end counts nothing",
         {"a", "b", "a", "b"},
         {"a\r\nb", "\r\n\r\n", "a\rb", "\r\r", "a\r\n\n", "\r\nQUIT", "\r\na"},
         {0, 0, 0, 0, 0, 0, 0}},
        {"a lone LF is an ordinary character",
         {"x\ny", "x", "\n", "y\n"},
         {"x\ny", "\n", "\ny", "y\n", "y\n\r\n", "\n\r\n", "\n\n", "x\n"},
         {1, 4, 1, 1, 1, 2, 0, 1}},
        {"a match never runs across a terminator",
         {"x", "y", "zy"},
         {"\ny", "\nz", "x\r\ny", "xy", "x\ry"},
         {0, 0, 0, 0, 0}},
        {"Windows-1252 bytes are matched as stored",
         {"Empf\xe4nger ung\xfcltig", "caf\xe9", "\x80 \x9f \xff"},
         {"ung\xfcltig", "\xe9", "\x80", "\xe9\r\n", "\xff\r\n", "\xe4n", "UNG\xdcLTIG"},
         {1, 1, 1, 1, 1, 1, 0}},
        {"NUL and end-of-file bytes are ordinary",
         {Bytes("a\0b", 3), "\x1a", "c\x1a"},
         {Bytes("\0", 1), Bytes("a\0b", 3), "\x1a", Bytes("\0b\r\n", 4), "\x1a\r\n"},
         {1, 1, 2, 1, 2}},
        {"short and long strings together",
         {"550 5.7.1 Relaying denied", "250 OK", "5"},
         {"5", "55", "550", "5.7.1", "Relaying denied", "250 OK\r\n", "K\r\n", "OK\r", "Relaying denied\r\n",
          "0 "},
         {3, 1, 1, 1, 1, 1, 1, 1, 1, 2}},
        {"overlapping and self-repeating strings",
         {"abc", "abcabcabc", "aaaaaaaaaaaaaaaaaaaa"},
         {"abcabcabcabc", "cabca", "abcabcabc\r\n", "bc\r\n", "aaaaaaaaa", "aaaaaaaaaaaaaaaaaaaaa", "aa\r"},
         {0, 1, 1, 2, 1, 0, 1}},
        {"lines far longer than the read block",
         {std::string(300, 'x') + "needle" + std::string(300, 'y') + "tail", "short needle",
          std::string(1000, 'z')},
         {"needle", "ytail\r\n", std::string(50, 'x') + "needle", "tail", "xneedley", std::string(999, 'z'),
          std::string(1000, 'z') + "\r\n", std::string(1001, 'z'), "z\r\n"},
         {2, 1, 1, 1, 1, 1, 1, 0, 1}},
        {"an empty file", {}, {"", "\r\n", "a"}, {0, 0, 0}},
        {"only empty lines", {"", "", ""}, {"", "\r\n", "a", "\r", "\n\r\n"}, {3, 3, 0, 3, 0}},
        {"no catalogue entries", {"a", "b"}, {}, {}},
    };
    return cases;
}

TEST(ScanTester, MatchRuleUnderEveryLineEndingAndBlockSize) {
    TempDir dir;
    const std::string path = dir.File("SMTP-Debug-case.log");
    for (const MatchCase& c : MatchCases()) {
        for (const Ending ending : Endings()) {
            SCOPED_TRACE(std::string(c.name) + ", " + EndingName(ending));
            WriteBytes(path, JoinLines(c.lines, ending));
            EXPECT_EQ(PlainCounts(path, c.catalogue), c.expected);
            ExpectFastCounts(path, c.catalogue, c.expected);
            for (std::size_t i = 0; i < c.catalogue.size(); ++i) {
                SCOPED_TRACE("instances of entry " + std::to_string(i));
                const std::vector<ExpectedLine> expected = PlainInstances(path, c.catalogue[i]);
                EXPECT_EQ(static_cast<std::int32_t>(expected.size()), c.expected[i]);
                ExpectInstances(path, c.catalogue[i], expected);
            }
        }
    }
}

TEST(ScanTester, TerminatorsAcrossBlockEdges) {
    // Raw bytes rather than joined lines: CR LF split by a block edge, CR at the very end, LF first.
    struct Case {
        std::string bytes;
        std::vector<std::string> catalogue;
        std::vector<std::int32_t> expected;
    } cases[] = {
        {"\nab\r\n\ncd\r\r\n", {"", "\n", "\nab", "\ncd", "ab\r\n", "cd\r", "\n\r\n"}, {3, 3, 1, 1, 1, 1, 0}},
        {"ab\r", {"", "ab\r\n", "b\r"}, {1, 1, 1}},
        {"\r", {"", "\r\n", "x"}, {1, 1, 0}},
        {"\r\n", {"", "\n", "\r\n"}, {1, 1, 1}},
        {"\n", {"", "\n", "\n\r\n"}, {1, 1, 1}},
        {"ab", {"", "ab\r\n", "b"}, {1, 1, 1}},
        {"ab\r\r\r\ncd\n\r\n\r", {"", "cd\n", "cd\n\r\n", "\r\n"}, {5, 1, 1, 5}},
    };
    TempDir dir;
    const std::string path = dir.File("edges.log");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        WriteBytes(path, c.bytes);
        EXPECT_EQ(PlainCounts(path, c.catalogue), c.expected);
        ExpectFastCounts(path, c.catalogue, c.expected);
        for (const std::string& s : c.catalogue)
            ExpectInstances(path, s, PlainInstances(path, s));
    }
}

std::string Run(std::size_t n, char byte = 'a') {
    return std::string(n, byte);
}

std::vector<std::string> Numbered(const char* format, int count) {
    std::vector<std::string> strings;
    for (int i = 0; i < count; ++i) {
        char s[64];
        std::snprintf(s, sizeof s, format, i);
        strings.emplace_back(s);
    }
    return strings;
}

// Runs of `every`, 2 x `every`, ... `count` x `every` bytes of a, each followed by `tail`.
std::vector<std::string> RunsEvery(std::size_t every, std::size_t count, const std::string& tail) {
    std::vector<std::string> strings;
    for (std::size_t k = 1; k <= count; ++k)
        strings.push_back(Run(every * k) + tail);
    return strings;
}

std::vector<std::string> Joined(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct HostileCase {
    const char* name;
    std::vector<std::string> lines;
    std::vector<std::string> catalogue;
    std::vector<std::size_t> listed; // entries whose instance lines are checked too
};

// The shapes that make a filter's comparisons costly (so the fast matcher hands runs to its automaton, skips
// runs of a byte and leaves lines whose patterns are all counted), at sizes small enough for the plain
// matcher: the counts must still be the plain rule's.
const std::vector<HostileCase>& HostileCases() {
    static const std::vector<HostileCase> cases{
        {"a long line of one byte against runs of it",
         {Run(2000), "ok", Run(700), Run(2000) + "b"},
         {Run(1), Run(2), Run(3), Run(5), Run(9), Run(16), Run(100), Run(700), Run(701), Run(1999), Run(2000),
          Run(2001), Run(2000) + "b", Run(700) + "\r\n", Run(2000) + "\r\n", "b\r\n"},
         {7, 8, 12, 13}},
        {"runs with another last byte",
         {Run(1500), Run(600) + "b", "b" + Run(600), Run(300) + "b" + Run(300)},
         {Run(599) + "b", Run(600) + "b", Run(601) + "b", Run(300) + "b" + Run(300), "b" + Run(599),
          Run(9) + "b", Run(8) + "bb", Run(5) + "b"},
         {0, 3}},
        {"many strings sharing one key",
         {"Qz7#0000 Qz7#0000 Qz7#0000 Qz7#0000", "Qz7#012 and Qz7#0123", "Qz7#", "xQz7#299Qz7#29"},
         Joined(Numbered("Qz7#%03d", 300), Numbered("Qz7#0%d", 20)),
         {0, 12, 299, 312}},
        {"many strings sharing one key, in lines with other matches",
         {Run(40, 'Q') + "Qz7#012", "Qz7#Qz7#Qz7#Qz7#Qz7#Qz7#Qz7#" + Run(30, '#'), "####Qz7#12#"},
         Joined(Numbered("Qz7#%02d#", 100), {"Qz7#Qz7#", "z7#Q", "####", "Qz7#\r\n", "#\r\n"}),
         {12, 100, 103}},
        {"strings that are suffixes of each other",
         {"xabcabcabcabcabcabcab", "abcabcabcabcab", "cabcabcab", "bcab"},
         {"abcabcabcabcab", "bcabcabcab", "cabcab", "abcab", "bcab", "cab", "ab", "b",
          "xabcabcabcabcabcabcab", "abcabcabcabcabcabcabc", "cabcabcab\r\n", "bcab\r\n", "ab\r\n"},
         {0, 4, 10}},
        {"near-duplicates of one string",
         {"Connection refused by 10.0.0.7 port 25", "Connection refused by 10.0.0.17 port 25",
          "Connection refused", "10.0.0.7 port 2"},
         Joined(Numbered("Connection refused by 10.0.0.%d", 60), Numbered("10.0.0.%d port 25", 60)),
         {7, 17, 67, 70}},
        {"many short strings",
         {"abcabc", "cab", "", "aab a", "c"},
         Joined(Numbered("%d", 30), {"a", "b", "c", "ab", "ba", "bc", "cb", "ca", "ac", "aa", "bb", "cc",
                                     "abc", "cab", "c\r\n", "b\r\n", "ab\r", "a a"}),
         {30, 43, 44}},
        {"runs against chains of one byte that branch every few steps",
         {Run(1000), Run(500), Run(37), Run(300) + "b", Run(301) + "b" + Run(5), "b" + Run(299) + "b"},
         Joined(RunsEvery(15, 20, "b"), Joined(RunsEvery(15, 20, "\r\n"), {Run(7) + "\r\n", "b" + Run(44)})),
         {3, 19, 29, 40}},
        {"end-anchored runs every few bytes, shorter and longer than the line's run",
         {"b" + Run(100), "c" + Run(40), Run(33), Run(64) + "b" + Run(64)},
         Joined(RunsEvery(3, 30, "\r\n"),
                {"b" + Run(100) + "\r\n", "c" + Run(39) + "\r\n", "b" + Run(64) + "\r\n"}),
         {0, 10, 31, 32}},
        {"end-anchored runs of one byte",
         {Run(50), Run(49), Run(51) + "b", Run(400), "b" + Run(60)},
         {Run(49) + "\r\n", Run(50) + "\r\n", Run(51) + "\r\n", Run(60) + "\r\n", Run(400) + "\r",
          "b" + Run(60) + "\r\n", Run(10) + "b\r\n", "ab\r\n", "a\r\n"},
         {1, 5, 6}},
    };
    return cases;
}

TEST(ScanTester, HostileShapesAgreeWithThePlainMatcher) {
    TempDir dir;
    const std::string path = dir.File("SMTP-Debug-hostile.log");
    for (const HostileCase& c : HostileCases()) {
        for (const Ending ending : Endings()) {
            SCOPED_TRACE(std::string(c.name) + ", " + EndingName(ending));
            WriteBytes(path, JoinLines(c.lines, ending));
            const std::vector<std::int32_t> expected = PlainCounts(path, c.catalogue);
            ExpectFastCounts(path, c.catalogue, expected);
            for (const std::size_t i : c.listed) {
                SCOPED_TRACE("instances of entry " + std::to_string(i));
                ExpectInstances(path, c.catalogue[i], PlainInstances(path, c.catalogue[i]));
            }
        }
    }
}

// Random logs over a small alphabet (so that strings recur and collide) and random catalogues drawn from
// them: the fast matcher must agree with the plain one on every count and every listed line.
TEST(ScanTester, RandomCataloguesAgreeWithThePlainMatcher) {
    static const char kAlphabet[] = {'a', 'b', 'c', ' ', '\r', '\n', '\0', '\x1a', '\xe9', 'a', 'b', ' '};
    TempDir dir;
    const std::string path = dir.File("random.log");
    for (unsigned seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        const auto below = [&](std::size_t n) {
            return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
        };
        std::string log(below(seed % 10 == 0 ? 4000 : 300), ' ');
        for (char& byte : log)
            byte = kAlphabet[below(sizeof kAlphabet)];
        std::vector<std::string> catalogue;
        const std::size_t entries = 1 + below(seed % 10 == 0 ? 200 : 16);
        for (std::size_t i = 0; i < entries; ++i) {
            std::string s;
            const std::size_t kind = below(6);
            if (kind <= 2 && !log.empty()) { // a piece of the log, which may hold terminators
                const std::size_t from = below(log.size());
                s = log.substr(from, 1 + below(kind == 0 ? 3 : 14));
            } else if (kind == 3) { // a random string, rarely present
                s.resize(below(10));
                for (char& byte : s)
                    byte = kAlphabet[below(sizeof kAlphabet)];
            } else if (kind == 4 && !log.empty()) { // anchored at the line's end
                s = log.substr(below(log.size()), below(8)) + (below(2) ? "\r\n" : "\r");
            } else if (!catalogue.empty()) { // a duplicate
                s = catalogue[below(catalogue.size())];
            }
            catalogue.push_back(s);
        }
        WriteBytes(path, log);
        const std::vector<std::int32_t> expected = PlainCounts(path, catalogue);
        ExpectFastCounts(path, catalogue, expected);
        if (HasFailure())
            return;
        for (int k = 0; k < 2; ++k) {
            const std::string& s = catalogue[below(catalogue.size())];
            SCOPED_TRACE("instances of " + testing::PrintToString(s));
            ExpectInstances(path, s, PlainInstances(path, s));
        }
    }
}

TEST(CountEvents, FilesThatCannotBeReadGiveZeroCountsAndTheReason) {
    TempDir dir;
    WriteBytes(dir.File("plain.log"), "a\r\n");
    ASSERT_EQ(::mkfifo(dir.File("pipe.log").c_str(), 0600), 0);
    struct Case {
        std::string path;
        std::string description;
    } cases[] = {
        {dir.File("missing.log"), "No such file or directory"},
        {dir.Path().string(), "Is a directory"},
        {dir.File("plain.log") + "/x.log", "Not a directory"},
        {"", "No such file or directory"},            // an empty path
        {dir.File("pipe.log"), "Not a regular file"}, // refused at once, not waited on
    };
    const scan::EventMatcher matcher({"", "a", "\r\n"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::vector<std::int32_t> counts{7, 7, 7, 7};
        const text::Status status = scan::CountEvents(c.path, matcher, counts);
        EXPECT_FALSE(status.ok);
        EXPECT_EQ(status.description, c.description);
        EXPECT_EQ(counts, (std::vector<std::int32_t>{0, 0, 0}));

        scan::InstanceLines instances;
        ASSERT_TRUE(instances.Build(dir.File("plain.log"), "a").ok);
        ASSERT_EQ(instances.Size(), 1u);
        const text::Status listed = instances.Build(c.path, "a");
        EXPECT_FALSE(listed.ok);
        EXPECT_EQ(listed.description, c.description);
        EXPECT_EQ(instances.Size(), 0u);
        EXPECT_EQ(instances.Line(0), "");
    }
}

TEST(CountEvents, EachScanStartsFromZero) {
    TempDir dir;
    WriteBytes(dir.File("a.log"), "refused\r\nrefused\r\ntimed out\r\n");
    WriteBytes(dir.File("b.log"), "timed out\r\n");
    const scan::EventMatcher matcher({"refused", "timed out"});
    std::vector<std::int32_t> counts;
    ASSERT_TRUE(scan::CountEvents(dir.File("a.log"), matcher, counts).ok);
    EXPECT_EQ(counts, (std::vector<std::int32_t>{2, 1}));
    ASSERT_TRUE(scan::CountEvents(dir.File("b.log"), matcher, counts).ok);
    EXPECT_EQ(counts, (std::vector<std::int32_t>{0, 1}));
    WriteBytes(dir.File("empty.log"), "");
    ASSERT_TRUE(scan::CountEvents(dir.File("empty.log"), matcher, counts).ok);
    EXPECT_EQ(counts, (std::vector<std::int32_t>{0, 0}));
}

class InstanceLinesOnALargeFile : public testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < kLines; ++i) {
            std::string line = std::to_string(i) + "\t01/02/24 10:00:00\t";
            line += i % 7 == 0 ? "550 Relay denied" : "250 OK";
            bytes_ += line + (i % 2 ? "\r\n" : "\r");
            if (i % 7 == 0)
                expected_.push_back({offset_, line});
            offset_ += line.size() + (i % 2 ? 2 : 1);
        }
        WriteBytes(path_, bytes_);
    }
    static constexpr int kLines = 200000;
    TempDir dir_;
    std::string path_ = dir_.File("SMTP-Debug-big.log");
    std::string bytes_;
    std::uint64_t offset_ = 0;
    std::vector<ExpectedLine> expected_;
};

TEST_F(InstanceLinesOnALargeFile, ListsEveryMatchingLineByOffset) {
    scan::InstanceLines instances;
    ASSERT_TRUE(instances.Build(path_, "Relay denied").ok);
    ASSERT_EQ(instances.Size(), expected_.size());
    for (std::size_t i = 0; i < expected_.size(); i += 997) {
        EXPECT_EQ(instances.LineOffset(i), expected_[i].offset);
        EXPECT_EQ(instances.Line(i), expected_[i].text);
    }
    const std::size_t last = expected_.size() - 1;
    EXPECT_EQ(instances.Line(last), expected_[last].text);
    EXPECT_EQ(instances.Line(last, 5), expected_[last].text.substr(0, 5));
    EXPECT_EQ(instances.Line(last, 0), "");
    EXPECT_EQ(instances.Line(expected_.size()), "");
    EXPECT_EQ(instances.LineLength(expected_.size()), 0u);

    std::vector<std::int32_t> counts;
    ASSERT_TRUE(scan::CountEvents(path_, scan::EventMatcher({"Relay denied"}), counts).ok);
    EXPECT_EQ(counts[0], static_cast<std::int32_t>(instances.Size()));
}

TEST_F(InstanceLinesOnALargeFile, ReadsBackTheScannedFileAfterItIsReplaced) {
    scan::InstanceLines instances;
    ASSERT_TRUE(instances.Build(path_, "Relay denied").ok);
    // The server starts a new file under the same name: the list still shows the lines it found.
    WriteBytes(dir_.File("new.log"), "other\r\n");
    std::filesystem::rename(dir_.File("new.log"), path_);
    EXPECT_EQ(instances.Line(3), expected_[3].text);

    scan::InstanceLines moved = std::move(instances);
    EXPECT_EQ(moved.Line(3), expected_[3].text);

    ASSERT_TRUE(moved.Build(path_, "other").ok);
    ASSERT_EQ(moved.Size(), 1u);
    EXPECT_EQ(moved.Line(0), "other");
    moved.Clear();
    EXPECT_EQ(moved.Size(), 0u);
    EXPECT_EQ(moved.Line(0), "");
}

TEST_F(InstanceLinesOnALargeFile, ALineCutAwaySinceTheScanReadsAsEmpty) {
    scan::InstanceLines instances;
    ASSERT_TRUE(instances.Build(path_, "Relay denied").ok);
    ASSERT_EQ(::truncate(path_.c_str(), static_cast<off_t>(expected_[10].offset + 3)), 0);
    EXPECT_EQ(instances.Line(9), expected_[9].text);
    EXPECT_EQ(instances.Line(10), "");
    EXPECT_EQ(instances.Line(10, 3), expected_[10].text.substr(0, 3));
    EXPECT_EQ(instances.Line(11), "");
}

TEST(InstanceLines, ALongLineIsListedOnceWithItsWholeLength) {
    TempDir dir;
    const std::string path = dir.File("long.log");
    const std::string longLine =
        "start " + std::string(100000, 'x') + " Relay denied " + std::string(5000, 'y');
    WriteBytes(path, "short\r\n" + longLine + "\r\nRelay denied\r\n" + longLine);
    for (const std::size_t block : {std::size_t{64}, std::size_t{4096}}) {
        scan::InstanceLines instances;
        ASSERT_TRUE(instances.Build(path, "Relay denied", block).ok);
        ASSERT_EQ(instances.Size(), 3u);
        EXPECT_EQ(instances.LineOffset(0), 7u);
        EXPECT_EQ(instances.LineLength(0), longLine.size());
        EXPECT_EQ(instances.Line(0), longLine);
        EXPECT_EQ(instances.Line(1), "Relay denied");
        EXPECT_EQ(instances.LineLength(2), longLine.size());
        EXPECT_EQ(instances.Line(2, 6), "start ");
    }
}

} // namespace

namespace {

TEST(FoundLines, KeepsLengthsOfEverySize) {
    using scan::detail::FoundLines;
    const std::uint64_t huge = std::uint64_t{5} << 32;
    FoundLines lines;
    lines.Add(0, 5);
    lines.Add(10, huge);
    lines.SetLastLength(3); // the last line was not pending: nothing changes
    lines.Add(20, FoundLines::kPending);
    lines.SetLastLength(7);
    lines.Add(30, FoundLines::kPending);
    lines.SetLastLength(huge + 1);
    for (std::uint64_t i = 0; i < 10000; ++i)
        lines.Add(40 + i, i);
    struct Row {
        std::size_t index;
        std::uint64_t offset, length;
    } rows[] = {{0, 0, 5}, {1, 10, huge}, {2, 20, 7}, {3, 30, huge + 1}, {4, 40, 0}, {10003, 10039, 9999}};
    ASSERT_EQ(lines.Size(), 10004u);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.index);
        EXPECT_EQ(lines.Offset(row.index), row.offset);
        EXPECT_EQ(lines.Length(row.index), row.length);
    }
    lines.Clear();
    EXPECT_EQ(lines.Size(), 0u);
}

} // namespace
