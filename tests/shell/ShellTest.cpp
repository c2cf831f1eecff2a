#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "shell/OpenDocument.h"
#include "support/TestSupport.h"

namespace {

using testing_support::ReadBytes;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteBytes;

// Writes an executable shell script to stand in for the desktop's opener.
std::string WriteOpener(const TempDir& dir, const std::string& name, const std::string& body) {
    const std::string path = dir.File(name);
    WriteBytes(path, "#!/bin/sh\n" + body);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

// Waits, a bounded while, for a condition that another process brings about.
template <typename Condition> bool Eventually(Condition condition) {
    for (int i = 0; i < 600; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

TEST(ShellErrorMessage, Table) {
    const std::pair<int, std::string> cases[] = {
        {0, "Out of memory or resources"},
        {2, "File not found"},
        {3, "Path not found"},
        {5, "File access denied"},
        {8, "Out of memory"},
        {11, "Invalid .EXE file"},
        {26, "Sharing violation"},
        {27, "Invalid file name association"},
        {28, "DDE timeout"},
        {29, "DDE transaction failed"},
        {30, "DDE busy"},
        {31, "No associated application"},
        {32, "DLL not found"},
        {1, "Unknown error 1"},
        {4, "Unknown error 4"},
        {6, "Unknown error 6"},
        {7, "Unknown error 7"},
        {9, "Unknown error 9"},
        {10, "Unknown error 10"},
        {12, "Unknown error 12"},
        {25, "Unknown error 25"},
        {-1, "Unknown error -1"},
        {INT_MIN, "Unknown error -2147483648"},
    };
    for (const auto& [code, message] : cases) {
        SCOPED_TRACE(code);
        EXPECT_EQ(shell::ShellErrorMessage(code), message);
    }
}

TEST(ShellOpen, OpenerExitStatusMapsOntoShellCodes) {
    struct Case {
        std::string body;
        int code;
        std::optional<std::string> message;
    } cases[] = {
        {"exit 0\n", shell::kHandedOver, std::nullopt},
        {"exit 1\n", 2, "File not found"},
        {"exit 2\n", 2, "File not found"},
        {"exit 3\n", 31, "No associated application"},
        {"exit 4\n", 31, "No associated application"},
        {"exit 5\n", 5, "File access denied"},
        {"exit 77\n", 31, "No associated application"},
        {"kill -9 $$\n", 31, "No associated application"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        ScopedEnv opener("BRINDLEMAR_OPENER", WriteOpener(dir, "opener", c.body));
        EXPECT_EQ(shell::ShellOpen("http://library.brindlemar.com/kb"), c.code);
        EXPECT_EQ(shell::OpenDocument("http://library.brindlemar.com/kb"), c.message);
    }
}

TEST(ShellOpen, OpenerThatCannotRun) {
    TempDir dir;
    WriteBytes(dir.File("not-executable"), "#!/bin/sh\nexit 0\n");
    std::filesystem::create_directory(dir.File("empty-path"));
    const std::string openers[] = {dir.File("missing"), dir.File("not-executable"), dir.Path().string()};
    for (const auto& path : openers) {
        SCOPED_TRACE(path);
        ScopedEnv opener("BRINDLEMAR_OPENER", path);
        EXPECT_EQ(shell::OpenDocument("http://library.brindlemar.com/kb"), "No associated application");
    }
    // No override and no xdg-open on the PATH: the desktop has nothing to open documents with.
    ScopedEnv noOverride("BRINDLEMAR_OPENER", "");
    ScopedEnv path("PATH", dir.File("empty-path"));
    EXPECT_EQ(shell::ShellOpen("http://library.brindlemar.com/kb"), 31);
}

TEST(ShellOpen, TargetReachesTheOpenerAsOneArgumentNeverThroughAShell) {
    TempDir dir;
    const std::string out = dir.Path().string();
    // Records its arguments and where its standard streams lead (read from a subshell, so the redirection
    // of the record itself does not show).
    const std::string recorder = "printf '%s' \"$#\" > '" + out + "/argc'\n" + "printf '%s' \"$1\" > '" +
                                 out + "/arg1'\n" +
                                 "fds=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2)\n" +
                                 "printf '%s\\n' \"$fds\" > '" + out + "/fds'\n";
    ScopedEnv opener("BRINDLEMAR_OPENER", WriteOpener(dir, "recorder", recorder));
    const std::string pwned = dir.File("PWNED");
    const std::string targets[] = {
        "http://library.brindlemar.com/kb",
        "/home/admin/My Documents/a b.htm",
        "it's \"quoted\" 'twice'",
        "http://x/?a=1&b=2|cat>" + pwned,
        "a; touch " + pwned,
        "$(touch " + pwned + ")",
        "`touch " + pwned + "`",
        "x\ntouch " + pwned,
        "  spaces around  ",
        "*",
        "~",
        "-h",
        "\\\\server\\share\\file.txt",
    };
    for (const auto& target : targets) {
        SCOPED_TRACE(target);
        std::filesystem::remove(dir.File("argc"));
        std::filesystem::remove(dir.File("arg1"));
        EXPECT_EQ(shell::ShellOpen(target), shell::kHandedOver);
        EXPECT_EQ(ReadBytes(dir.File("argc")), "1");
        EXPECT_EQ(ReadBytes(dir.File("arg1")), target);
        EXPECT_FALSE(std::filesystem::exists(pwned));
    }
    // The opener has no terminal: its standard input, output and error are /dev/null.
    EXPECT_EQ(ReadBytes(dir.File("fds")), "/dev/null\n/dev/null\n/dev/null\n");

    // The target is ANSI text; the desktop gets it in UTF-8.
    EXPECT_EQ(shell::ShellOpen("http://x/caf\xe9"), shell::kHandedOver);
    EXPECT_EQ(ReadBytes(dir.File("arg1")), "http://x/caf\xc3\xa9");

    // Nothing to open, or a target that cannot be one argument: the opener is not run.
    std::filesystem::remove(dir.File("argc"));
    EXPECT_EQ(shell::OpenDocument(""), "File not found");
    EXPECT_EQ(shell::OpenDocument(std::string("http://x/\0y", 11)), "File not found");
    EXPECT_FALSE(std::filesystem::exists(dir.File("argc")));
}

TEST(ShellOpen, OpenerStillRunningIsHandedOverAndReapedLater) {
    TempDir dir;
    const std::string out = dir.Path().string();
    // Stays until the test releases it; gives up (an error status) if it is never released.
    ScopedEnv opener(
        "BRINDLEMAR_OPENER",
        WriteOpener(dir, "browser",
                    "echo $$ > '" + out + "/pid.tmp'; mv '" + out + "/pid.tmp' '" + out + "/pid'\n" +
                        "i=0\nwhile [ ! -e '" + out + "/release' ]; do\n" +
                        "  i=$((i+1)); [ $i -gt 1200 ] && exit 9\n  sleep 0.05\ndone\nexit 0\n"));
    EXPECT_EQ(shell::ShellOpen("http://library.brindlemar.com/Tools/Analysis/help.asp",
                               std::chrono::milliseconds(300)),
              shell::kHandedOver);
    ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(dir.File("pid")); }));
    const std::string proc = "/proc/" + std::to_string(std::stoi(ReadBytes(dir.File("pid"))));
    EXPECT_TRUE(std::filesystem::exists(proc));
    WriteBytes(dir.File("release"), "");
    // Once it ends it is waited for: no zombie is left behind.
    EXPECT_TRUE(Eventually([&] { return !std::filesystem::exists(proc); }));
}

TEST(IsWebAddress, Table) {
    const std::pair<std::string, bool> cases[] = {
        {"http://library.brindlemar.com/kb", true},
        {"https://library.brindlemar.com/kb", true},
        {"HTTPS://LIBRARY", true},
        {"HtTp://x", true},
        {"http://", true},
        {"javascript:alert(1)", false},
        {"file:///etc/passwd", false},
        {"", false},
        {" http://x", false},
        {"http:/x", false},
        {"httpx://x", false},
        {"ftp://x", false},
        {"http", false},
        {"C:\\Program Files\\help.htm", false},
    };
    for (const auto& [link, expected] : cases) {
        SCOPED_TRACE(link);
        EXPECT_EQ(shell::IsWebAddress(link), expected);
    }
}

} // namespace
