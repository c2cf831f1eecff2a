#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "scan/LogFiles.h"
#include "support/TestSupport.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteBytes;
namespace fs = std::filesystem;

TEST(ListDebugLogFiles, ListsOrdinaryFilesNamedForTheSource) {
    enum class Kind { File, Directory, LinkToFile, BrokenLink, LinkToDirectory, Fifo, LinkTo };
    struct Entry {
        const char* name;
        Kind kind;
        bool listed;
        const char* target = ""; // for Kind::LinkTo
    } entries[] = {
        {"SMTP-Debug-a.log", Kind::File, true},
        {"smtp-debug-b.LOG", Kind::File, true},
        {"SMTP-Debug-.log", Kind::File, true},
        {"SMTP-Debug-a.txt", Kind::File, false},
        {"POP-Debug-a.log", Kind::File, false},
        {"SMTP-Debug-dir.log", Kind::Directory, false},
        {".SMTP-Debug-hidden.log", Kind::File, false},
        {"SMTP-Debug-link.log", Kind::LinkToFile, true},
        {"SMTP-Debug-broken.log", Kind::BrokenLink, false},
        {"SMTP-Debug-dirlink.log", Kind::LinkToDirectory, false},
        {"SMTP-Debug.log", Kind::File, false},
        {"SMTPX-Debug-a.log", Kind::File, false},
        {"xSMTP-Debug-a.log", Kind::File, false},
        {"SMTP-Debug-a.log.bak", Kind::File, false},
        {"SMTP-Activity-a.log", Kind::File, false},
        {"SMTP-Debug-2024 01 02 \xe9.log", Kind::File, true},
        {"SMTP-Debug-fifo.log", Kind::Fifo, false},
        {"SMTP-Debug-empty.log", Kind::LinkTo, true, "empty.txt"},
        {"SMTP-Debug-fifolink.log", Kind::LinkTo, false, "pipe"},
        {"SMTP-Debug-null.log", Kind::LinkTo, false, "/dev/null"},
        // Pseudo-files that say they are regular files of size 0; /proc/kmsg would never end.
        {"SMTP-Debug-kmsg.log", Kind::LinkTo, false, "/proc/kmsg"},
        {"SMTP-Debug-proc.log", Kind::LinkTo, false, "/proc/self/status"},
        {"SMTP-Debug-sys.log", Kind::LinkTo, false, "/sys/kernel/mm/transparent_hugepage/enabled"},
    };
    TempDir dir;
    WriteBytes(dir.File("target.txt"), "x");
    fs::create_directory(dir.Path() / "target-dir");
    WriteBytes(dir.File("empty.txt"), "");
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
    std::vector<std::string> expected;
    for (const Entry& e : entries) {
        const fs::path path = dir.Path() / e.name;
        switch (e.kind) {
        case Kind::File:
            WriteBytes(path.string(), "line\r\n");
            break;
        case Kind::Directory:
            fs::create_directory(path);
            break;
        case Kind::LinkToFile:
            fs::create_symlink(dir.Path() / "target.txt", path);
            break;
        case Kind::BrokenLink:
            fs::create_symlink(dir.Path() / "nowhere.log", path);
            break;
        case Kind::LinkToDirectory:
            fs::create_directory_symlink(dir.Path() / "target-dir", path);
            break;
        case Kind::Fifo:
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
            break;
        case Kind::LinkTo:
            fs::create_symlink(fs::path(e.target).is_absolute() ? fs::path(e.target) : dir.Path() / e.target,
                               path);
            break;
        }
        if (e.listed)
            expected.push_back(e.name);
    }
    std::vector<std::string> names{"stale"};
    const text::Status status = scan::ListDebugLogFiles(dir.Path().string(), "SMTP", names);
    ASSERT_TRUE(status.ok) << status.description;
    std::sort(expected.begin(), expected.end(), scan::DebugLogNameLess);
    EXPECT_EQ(names, expected);

    names = {"stale"};
    ASSERT_TRUE(scan::ListDebugLogFiles(dir.Path().string(), "pop", names).ok);
    EXPECT_EQ(names, std::vector<std::string>{"POP-Debug-a.log"});
}

TEST(ListDebugLogFiles, ListsInTheOrderOfTheServersFileSystem) {
    // Letters compare as capitals (so "_" sorts after every letter); names equal but for case keep a
    // fixed order.
    const std::vector<std::string> ordered{"SMTP-Debug-1.log",  "SMTP-Debug-a.log", "smtp-debug-A.log",
                                           "SMTP-Debug-a1.log", "SMTP-Debug-B.log", "smtp-debug-c.log",
                                           "SMTP-Debug-_x.log"};
    TempDir dir;
    for (auto it = ordered.rbegin(); it != ordered.rend(); ++it)
        WriteBytes(dir.File(*it), "");
    std::vector<std::string> names;
    ASSERT_TRUE(scan::ListDebugLogFiles(dir.Path().string(), "SMTP", names).ok);
    EXPECT_EQ(names, ordered);
}

TEST(ListDebugLogFiles, DirectoriesThatCannotBeListed) {
    TempDir dir;
    WriteBytes(dir.File("file"), "");
    fs::create_directory_symlink(dir.Path() / "loop", dir.Path() / "loop");
    struct Case {
        std::string directory;
        bool ok;
        std::string description;
    } cases[] = {
        {dir.File("missing"), true, ""},
        {dir.File("missing") + "/deeper", true, ""},
        {dir.File("file"), true, ""}, // a file where the directory should be: no directory, no files
        {dir.File("loop"), false, "Too many levels of symbolic links"},
        {"/" + std::string(5000, 'd'), false, "File name too long"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.directory.substr(0, 200));
        std::vector<std::string> names{"stale"};
        const text::Status status = scan::ListDebugLogFiles(c.directory, "SMTP", names);
        EXPECT_EQ(status.ok, c.ok);
        EXPECT_EQ(status.description, c.description);
        EXPECT_TRUE(names.empty());
    }
}

TEST(ListDebugLogFiles, AnEmptyDirectoryTextIsTheRoot) {
    std::vector<std::string> names{"stale"};
    EXPECT_TRUE(scan::ListDebugLogFiles("", "NO-SUCH-SOURCE", names).ok);
    EXPECT_TRUE(names.empty());
}

TEST(DebugLogFileName, Pattern) {
    struct Case {
        const char* name;
        const char* source;
        bool expected;
    } cases[] = {
        {"SMTP-Debug-20240102.log", "SMTP", true},
        {"smtp-DEBUG-x.Log", "SMTP", true},
        {"SMTP-Debug-.log", "SMTP", true},
        {"SMTP-Debug-.lo", "SMTP", false},
        {"SMTP-Debug.log", "SMTP", false},
        {"HTTPMAIL-Debug-a.log", "HTTPMAIL", true},
        {"POPC-Debug-a.log", "POP", false},
        {"POP-Debug-a.log", "POPC", false},
        {"SMTP-Debug-a.logx", "SMTP", false},
        {"SMTP-Debug-a.log", "", false},
        {"-Debug-a.log", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " / " + c.source);
        EXPECT_EQ(scan::IsDebugLogFileName(c.name, c.source), c.expected);
    }
}

} // namespace
