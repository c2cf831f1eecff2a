#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "transcript/Transcript.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteBytes;
using transcript::ActivityLogFileName;
using transcript::LookupTranscript;
using transcript::TranscriptWindowOf;
using Kind = transcript::TranscriptResult::Kind;

constexpr const char* kDebugLog = "SMTP-Debug-20260712.log";
constexpr const char* kActivityLog = "SMTP-Activity-20260712.log";

std::string Item(const std::string& stamp) {
    return "0012\t" + stamp + "\tRCPT TO refused: relaying denied";
}

std::string Joined(const std::vector<std::string>& lines, const std::string& terminator) {
    std::string bytes;
    for (const auto& line : lines)
        bytes += line + terminator;
    return bytes;
}

std::string CrLf(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines)
        text += (text.empty() ? "" : "\r\n") + line;
    return text;
}

struct LookupCase {
    const char* name;
    std::string stamp;
    std::vector<std::string> log;
    std::vector<std::string> shown; // the transcript's lines, the marked one with its "->"
};

// Each case runs with CR LF line ends, lone CR line ends and no final terminator: the transcript is the same.
void RunLookups(const std::vector<LookupCase>& cases) {
    TempDir dir;
    for (const auto& c : cases) {
        for (const char* terminator : {"\r\n", "\r"}) {
            for (bool finalTerminator : {true, false}) {
                SCOPED_TRACE(std::string(c.name) + (terminator[1] ? " CRLF" : " CR") +
                             (finalTerminator ? "" : " no final terminator"));
                std::string bytes = Joined(c.log, terminator);
                if (!finalTerminator && !bytes.empty())
                    bytes.resize(bytes.size() - std::string(terminator).size());
                WriteBytes(dir.File(kActivityLog), bytes);
                const auto result = LookupTranscript(Item(c.stamp), kDebugLog, dir.Path().string());
                EXPECT_EQ(result.kind, Kind::Shown);
                EXPECT_EQ(result.text, CrLf(c.shown));
            }
        }
    }
}

TEST(LookupTranscript, WindowMarkerAndOrder) {
    const std::string longTail(200000, 'x'); // longer than one read piece
    RunLookups({
        {"two minutes each side, both bounds inclusive, first line of the minute marked",
         "07/12/26 10:15:30",
         {"07/12/26 10:13:29 before the window", "07/12/26 10:13:30 lower bound", "07/12/26 10:14:59 SMTP in",
          "07/12/26 10:15:00 first of the minute", "07/12/26 10:15:45 second of the minute",
          "07/12/26 10:17:30 upper bound", "07/12/26 10:17:30 upper bound again", "07/12/26 10:17:31 after"},
         {"07/12/26 10:13:30 lower bound", "07/12/26 10:14:59 SMTP in",
          "->07/12/26 10:15:00 first of the minute", "07/12/26 10:15:45 second of the minute",
          "07/12/26 10:17:30 upper bound", "07/12/26 10:17:30 upper bound again"}},
        {"no line in the instance's minute: nothing marked",
         "07/12/26 10:15:30",
         {"07/12/26 10:14:10 a", "07/12/26 10:16:10 b"},
         {"07/12/26 10:14:10 a", "07/12/26 10:16:10 b"}},
        {"no line in the window: empty transcript",
         "07/12/26 10:15:30",
         {"07/12/26 09:00:00 a", "07/12/26 11:00:00 b"},
         {}},
        {"empty activity log", "07/12/26 10:15:30", {}, {}},
        {"short and empty lines: empty never shown, short compared whole",
         "07/12/26 10:15:30",
         {"", "07/12/26 10:1", "07/12/26 10:14", "07/12/26 10:15", "07/12/26 10:17:3", "07/12/26 10:17:30",
          "07/12/26 10:17:4", "", "07/12/26 10:16:00 after empty"},
         {"07/12/26 10:14", "->07/12/26 10:15", "07/12/26 10:17:3", "07/12/26 10:17:30",
          "07/12/26 10:16:00 after empty"}},
        {"out of time order: every line tested, shown in file order, no early stop",
         "07/12/26 10:15:30",
         {"07/12/26 10:20:00 late", "07/12/26 10:16:00 a", "07/12/26 10:10:00 early", "07/12/26 10:15:59 b",
          "07/12/26 10:30:00 later", "07/12/26 10:14:00 c", "07/12/26 10:15:01 d"},
         {"07/12/26 10:16:00 a", "->07/12/26 10:15:59 b", "07/12/26 10:14:00 c", "07/12/26 10:15:01 d"}},
        {"other dates, headers and continuation lines sort as text",
         "07/12/26 10:15:30",
         {"Brindlemar activity log", "07/11/26 10:15:00 day before", "07/13/26 10:15:00 day after",
          " continued", "07/12/26 10:15:10 same day", "\t07/12/26 10:15:10 tab first"},
         {"->07/12/26 10:15:10 same day"}},
        {"the match key counts only in the first 17 characters, at any position",
         "1 10:15:30",
         {"1 10:14:00 xxxxxx 1 10:15 key too far in", "1 10:14 1 10:15:0 key inside the head",
          "1 10:15:00 not the first"},
         {"1 10:14:00 xxxxxx 1 10:15 key too far in", "->1 10:14 1 10:15:0 key inside the head",
          "1 10:15:00 not the first"}},
        {"lone LF is part of the line; cp1252 bytes unchanged",
         "07/12/26 10:15:30",
         {"07/12/26 10:15:00 caf\xe9\n07/12/26 10:30:00 same line"},
         {"->07/12/26 10:15:00 caf\xe9\n07/12/26 10:30:00 same line"}},
        {"long lines: shown whole inside the window, skipped whole outside it",
         "07/12/26 10:15:30",
         {"07/12/26 10:00:00 " + longTail, "07/12/26 10:15:00 " + longTail, "07/12/26 10:16:00 next"},
         {"->07/12/26 10:15:00 " + longTail, "07/12/26 10:16:00 next"}},
        {"one-digit hour: the bounds are written with two digits",
         "07/12/26 7:05:30",
         {"07/12/26 07:03:29 out", "07/12/26 07:03:30 in", "07/12/26 07:07:30 in", "07/12/26 7:05:31 out"},
         {"07/12/26 07:03:30 in", "07/12/26 07:07:30 in"}},
    });
}

TEST(LookupTranscript, NearMidnightTheWindowStaysInTheDay) {
    RunLookups({
        {"late: the upper bound stops at 23:59:59",
         "07/12/26 23:59:10",
         {"07/12/26 23:57:09 out", "07/12/26 23:57:10 in", "07/12/26 23:59:05 in", "07/12/26 23:59:59 last",
          "07/12/26 00:00:30 early in the same file", "07/13/26 00:00:30 next day"},
         {"07/12/26 23:57:10 in", "->07/12/26 23:59:05 in", "07/12/26 23:59:59 last"}},
        {"early: the lower bound starts at 00:00:00",
         "07/12/26 00:01:00",
         {"07/11/26 23:59:30 day before", "07/12/26 00:00:00 first", "07/12/26 00:01:40 in",
          "07/12/26 00:03:00 upper", "07/12/26 00:03:01 out"},
         {"07/12/26 00:00:00 first", "->07/12/26 00:01:40 in", "07/12/26 00:03:00 upper"}},
    });
}

TEST(TranscriptWindowOf, Bounds) {
    struct Case {
        std::string item;
        std::string matchKey, lower, upper;
    } cases[] = {
        {Item("07/12/26 10:15:30"), "07/12/26 10:15", "07/12/26 10:13:30", "07/12/26 10:17:30"},
        {Item("07/12/26 23:59:10"), "07/12/26 23:59", "07/12/26 23:57:10", "07/12/26 23:59:59"},
        {Item("07/12/26 00:01:00"), "07/12/26 00:01", "07/12/26 00:00:00", "07/12/26 00:03:00"},
        {Item("07/12/26 00:00:00"), "07/12/26 00:00", "07/12/26 00:00:00", "07/12/26 00:02:00"},
        {Item("07/12/26 23:58:00"), "07/12/26 23:58", "07/12/26 23:56:00", "07/12/26 23:59:59"},
        {Item("07/12/26 9:59:00"), "07/12/26 9:59", "07/12/26 09:57:00", "07/12/26 10:01:00"},
        {Item("2026-07-12 10:15:30"), "2026-07-12 10:15", "2026-07-12 10:13:30", "2026-07-12 10:17:30"},
        {Item(" 10:15:30"), " 10:15", " 10:13:30", " 10:17:30"},
        {"a\t07/12/26 10:15:30", "07/12/26 10:15", "07/12/26 10:13:30", "07/12/26 10:17:30"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        const auto window = TranscriptWindowOf(c.item);
        ASSERT_TRUE(window.has_value());
        EXPECT_EQ(window->matchKey, c.matchKey);
        EXPECT_EQ(window->lowerBound, c.lower);
        EXPECT_EQ(window->upperBound, c.upper);
    }
}

TEST(LookupTranscript, InvalidInstanceNeverReadsTheLog) {
    const std::string invalid[] = {
        "",
        "no tab at all 07/12/26 10:15:30",
        "a\t",
        "a\t\t07/12/26 10:15:30",
        "a\tab",
        "a\t07/12/26",
        "a\t07/12/26 ",
        "a\t07/12/26 10:15",
        "a\t07/12/26 24:00:00",
        "a\t07/12/26 10:60:00",
        "a\t07/12/26 10:15:60",
        "a\t07/12/26 10:15:30 PM",
        "a\t07/12/26  10:15:30",
        "a\t07/12/26 10:5:30",
        "a\t07/12/26 10:15:3",
        "a\t07/12/26 1x:15:30",
        "a\t07/12/26 +1:15:30",
        "a\t07/12/26 100:15:30",
        "a\t07/12/26 10.15.30",
    };
    TempDir dir;
    // A log that would give a transcript for almost any time: the result must still be InvalidInstance.
    std::string bytes;
    for (int h = 0; h < 24; ++h)
        bytes += "07/12/26 " + std::string(h < 10 ? "0" : "") + std::to_string(h) + ":15:00 line\r\n";
    WriteBytes(dir.File(kActivityLog), bytes);
    for (const auto& item : invalid) {
        SCOPED_TRACE(testing::PrintToString(item));
        EXPECT_FALSE(TranscriptWindowOf(item).has_value());
        for (const std::string& directory : {dir.Path().string(), dir.File("missing")}) {
            const auto result = LookupTranscript(item, kDebugLog, directory);
            EXPECT_EQ(result.kind, Kind::InvalidInstance);
            EXPECT_EQ(result.text, "");
        }
    }
}

TEST(ActivityLogFileName, ReplacesEveryDebugCaseSensitively) {
    const std::pair<std::string, std::string> cases[] = {
        {"SMTP-Debug-20260712.log", "SMTP-Activity-20260712.log"},
        {"POP-Debug-Debug.log", "POP-Activity-Activity.log"},
        {"DebugDebug", "ActivityActivity"},
        {"SMTP-debug-20260712.log", "SMTP-debug-20260712.log"},
        {"SMTP-DEBUG-x.log", "SMTP-DEBUG-x.log"},
        {"SMTP-Debu-g.log", "SMTP-Debu-g.log"},
        {"", ""},
    };
    for (const auto& [debug, activity] : cases) {
        SCOPED_TRACE(debug);
        EXPECT_EQ(ActivityLogFileName(debug), activity);
    }
}

TEST(LookupTranscript, ReadsTheActivityLogNamedAfterTheDebugLog) {
    TempDir dir;
    const std::string line = "07/12/26 10:15:00 here";
    WriteBytes(dir.File("SMTP-Activity-Activity.log"), line + "\r\n");
    WriteBytes(dir.File("SMTP-debug-1.log"), line + " lower case\r\n");
    WriteBytes(dir.File("SMTP-Debug-Debug.log"), "07/12/26 10:15:00 the debug log itself\r\n");
    const std::string item = Item("07/12/26 10:15:30");

    auto result = LookupTranscript(item, "SMTP-Debug-Debug.log", dir.Path().string());
    EXPECT_EQ(result.kind, Kind::Shown);
    EXPECT_EQ(result.text, "->" + line);

    result = LookupTranscript(item, "SMTP-debug-1.log", dir.Path().string());
    EXPECT_EQ(result.kind, Kind::Shown);
    EXPECT_EQ(result.text, "->" + line + " lower case");

    // The same lookup twice reads the file twice and gives the same transcript.
    EXPECT_EQ(LookupTranscript(item, "SMTP-debug-1.log", dir.Path().string()).text, result.text);
}

TEST(LookupTranscript, ActivityLogThatCannotBeOpened) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("SMTP-Activity-dir.log"));
    const std::string item = Item("07/12/26 10:15:30");
    const std::pair<std::string, std::string> cases[] = {
        {kDebugLog, dir.Path().string()},            // no such file
        {kDebugLog, dir.File("no such directory")},  // no such directory
        {"SMTP-Debug-dir.log", dir.Path().string()}, // a directory of that name
        {kDebugLog, ""},                             // empty directory: "/" + name
    };
    for (const auto& [debugLog, directory] : cases) {
        SCOPED_TRACE(directory + " | " + debugLog);
        const auto result = LookupTranscript(item, debugLog, directory);
        EXPECT_EQ(result.kind, Kind::NoActivityFile);
        EXPECT_EQ(result.text, "");
    }
}

TEST(LookupTranscript, APseudoFileOfSizeZeroIsNotRead) {
    // /proc/self/mem opens as a regular file of size 0, and reading it from offset 0 would fail (nothing is
    // mapped there): it is not read at all, so the lookup ends at once with an empty transcript.
    if (!std::filesystem::exists("/proc/self/mem"))
        GTEST_SKIP() << "no /proc";
    const auto result = LookupTranscript(Item("07/12/26 10:15:30"), "mem", "/proc/self");
    EXPECT_EQ(result.kind, Kind::Shown);
    EXPECT_EQ(result.text, "");
}

} // namespace
