#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/stat.h>

#include "support/TestSupport.h"
#include "text/File.h"
#include "text/LineReader.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteBytes;

// Every way of reading a path, run on one path: the file layer, the line reader and ReadWholeFile must agree
// on whether it opens and on what it holds.
struct Reading {
    bool opened = false;
    std::string description;
    bool missing = false;
    std::string bytes;      // File::Read to the end
    std::string lines;      // LineReader::Next, joined with '|'
    bool wholeRead = false; // ReadWholeFile succeeded
    std::string whole;
};

Reading ReadEveryWay(const std::string& path) {
    Reading r;
    text::File file;
    const text::Status status = file.Open(path, &r.missing);
    r.opened = status.ok;
    r.description = status.description;
    if (r.opened) {
        char chunk[3];
        std::size_t got = 0;
        do {
            EXPECT_TRUE(file.Read(chunk, sizeof chunk, got).ok);
            r.bytes.append(chunk, got);
        } while (got > 0);
    }
    text::LineReader reader(16);
    EXPECT_EQ(reader.Open(path).ok, r.opened);
    std::string_view line;
    for (bool first = true; reader.Next(line); first = false)
        r.lines.append(first ? "" : "|").append(line);
    r.wholeRead = text::ReadWholeFile(path, r.whole, 1024).ok;
    return r;
}

TEST(File, OpensRegularFilesOnlyAndReadsWhatTheyHeldWhenOpened) {
    TempDir dir;
    WriteBytes(dir.File("log"), "one\r\ntwo");
    WriteBytes(dir.File("empty"), "");
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
    struct Case {
        std::string what;
        std::string path;
        bool opened;
        std::string description; // when not opened
        bool missing;
        std::string bytes;
        std::string lines;
    } cases[] = {
        {"a regular file", dir.File("log"), true, "", false, "one\r\ntwo", "one|two"},
        {"an empty file", dir.File("empty"), true, "", false, "", ""},
        {"a missing file", dir.File("nothing"), false, "No such file or directory", true, "", ""},
        {"a path through a file", dir.File("log") + "/x", false, "Not a directory", true, "", ""},
        {"a directory", dir.Path().string(), false, "Is a directory", false, "", ""},
        {"a named pipe without a writer", dir.File("pipe"), false, "Not a regular file", false, "", ""},
        {"a device", "/dev/null", false, "Not a regular file", false, "", ""},
        // Pseudo-files that say they are regular files of size 0 are not read: /proc/kmsg would block for
        // ever waiting for kernel messages, /proc/self/status would be read to its end.
        {"a pseudo-file of size 0", "/proc/self/status", true, "", false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Reading r = ReadEveryWay(c.path);
        EXPECT_EQ(r.opened, c.opened);
        if (!c.opened) {
            EXPECT_EQ(r.description, c.description);
        }
        EXPECT_EQ(r.missing, c.missing);
        EXPECT_EQ(r.bytes, c.bytes);
        EXPECT_EQ(r.lines, c.lines);
        EXPECT_EQ(r.wholeRead, c.opened);
        EXPECT_EQ(r.whole, c.bytes);
    }
}

TEST(File, KernelMessagesAreNeverWaitedOn) {
    // Opening /proc/kmsg needs privilege; where it opens, it must give nothing rather than block.
    const Reading r = ReadEveryWay("/proc/kmsg");
    EXPECT_EQ(r.bytes, "");
    EXPECT_EQ(r.lines, "");
    EXPECT_EQ(r.whole, "");
}

TEST(File, SizeLimitsAndReadsAtAnOffset) {
    TempDir dir;
    const std::string path = dir.File("catalogue");
    WriteBytes(path, "0123456789");
    std::string contents = "stale";
    EXPECT_TRUE(text::ReadWholeFile(path, contents, 10).ok);
    EXPECT_EQ(contents, "0123456789");
    const text::Status tooLarge = text::ReadWholeFile(path, contents, 9);
    EXPECT_FALSE(tooLarge.ok);
    EXPECT_EQ(tooLarge.description, "File too large");
    EXPECT_EQ(contents, "");

    text::File file;
    ASSERT_TRUE(file.Open(path).ok);
    EXPECT_EQ(file.Size(), 10u);
    char buffer[4] = {};
    EXPECT_TRUE(file.ReadAt(6, buffer, 4));
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_FALSE(file.ReadAt(7, buffer, 4)) << "past the end";
    // A moved-from file is closed; reading it fails rather than touching the other's handle.
    text::File moved = std::move(file);
    EXPECT_FALSE(file.ReadAt(0, buffer, 1)); // NOLINT(bugprone-use-after-move): the point of the check
    EXPECT_TRUE(moved.ReadAt(0, buffer, 1));
    std::size_t got = 1;
    moved.Close();
    EXPECT_FALSE(moved.Read(buffer, 1, got).ok);
    EXPECT_EQ(got, 0u);
}

} // namespace
