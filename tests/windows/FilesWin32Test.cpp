// The Windows file backends with other handles in play, as on the mail server: a debug log the server holds
// open for writing is counted and listed, the server can still rotate and delete a log the analyser reads,
// and a catalogue is stored while another handle reads the old one.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/Library.h"
#include "scan/LogFiles.h"
#include "scan/Matcher.h"
#include "scan/Scan.h"
#include "support/TestSupport.h"
#include "text/File.h"
#include "text/Paths.h"

namespace {

using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

// A handle held open for the life of the object, as another program holds it.
class HeldHandle {
public:
    HeldHandle(const std::string& path, DWORD access, DWORD share, DWORD disposition = OPEN_EXISTING)
        : handle_(::CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                                nullptr)) {}
    ~HeldHandle() {
        if (handle_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle_);
    }
    HeldHandle(const HeldHandle&) = delete;
    HeldHandle& operator=(const HeldHandle&) = delete;
    bool Open() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Append(const std::string& bytes) {
        ::SetFilePointer(handle_, 0, nullptr, FILE_END);
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        ASSERT_EQ(written, bytes.size());
    }

private:
    HANDLE handle_;
};

std::vector<std::int32_t> Count(const std::string& path, const std::vector<std::string>& strings) {
    const scan::EventMatcher matcher(strings);
    std::vector<std::int32_t> counts;
    EXPECT_TRUE(scan::CountEvents(path, matcher, counts));
    return counts;
}

TEST(FilesWin32, ALogTheServerHoldsOpenForWritingIsCountedAndListed) {
    TempDir dir;
    const std::string path = dir.File("SMTP-Debug-261205.log");
    // The server opens its log for writing and lets others read it, no more.
    HeldHandle server(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
    ASSERT_TRUE(server.Open());
    server.Append("10:00 Connection refused\r\n10:01 ok\r\n10:02 Connection refused\r\n");
    EXPECT_EQ(Count(path, {"Connection refused", "ok"}), (std::vector<std::int32_t>{2, 1}));

    std::vector<std::string> names;
    ASSERT_TRUE(scan::ListDebugLogFiles(dir.Path().string(), "SMTP", names));
    EXPECT_EQ(names, (std::vector<std::string>{"SMTP-Debug-261205.log"}));

    // The server goes on writing: the next scan sees the new lines.
    server.Append("10:03 Connection refused\r\n");
    EXPECT_EQ(Count(path, {"Connection refused"}), (std::vector<std::int32_t>{3}));
}

TEST(FilesWin32, TheServerRotatesAndDeletesALogWhileItIsRead) {
    TempDir dir;
    const std::string path = dir.File("SMTP-Debug-261205.log");
    WriteBytes(path, "first\r\nsecond\r\n");
    text::File reading;
    ASSERT_TRUE(reading.Open(path));
    EXPECT_EQ(reading.Size(), 15u);
    // Another program may still write, rename and delete it: the analyser never blocks the server.
    {
        HeldHandle writer(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        EXPECT_TRUE(writer.Open()) << ::GetLastError();
    }
    const std::string rotated = dir.File("SMTP-Debug-261205.old");
    EXPECT_TRUE(::MoveFileA(path.c_str(), rotated.c_str())) << ::GetLastError();
    EXPECT_TRUE(::DeleteFileA(rotated.c_str())) << ::GetLastError();
    // What was opened reads on as it was.
    std::string bytes(15, '\0');
    EXPECT_TRUE(reading.ReadAt(7, bytes.data(), 8));
    EXPECT_EQ(bytes.substr(0, 8), "second\r\n");
}

TEST(FilesWin32, PositionedReadsFromSeveralThreadsOnOneHandle) {
    TempDir dir;
    const std::string path = dir.File("SMTP-Debug-261205.log");
    std::string contents;
    for (int i = 0; i < 4096; ++i)
        contents += static_cast<char>('a' + i % 26);
    WriteBytes(path, contents);
    text::File file;
    ASSERT_TRUE(file.Open(path));
    struct Row {
        std::uint64_t offset;
        std::size_t size;
        std::size_t got; // short only at the file's end
    };
    const Row rows[] = {{0, 100, 100}, {4000, 200, 96}, {4096, 10, 0}, {5000, 10, 0}, {1, 0, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.offset) + "+" + std::to_string(row.size));
        std::string into(row.size, '\0');
        std::size_t got = 99;
        ASSERT_TRUE(file.ReadSomeAt(row.offset, into.data(), row.size, got));
        ASSERT_EQ(got, row.got);
        EXPECT_EQ(into.substr(0, got), contents.substr(std::min<std::size_t>(row.offset, 4096), got));
    }
    // Each thread reads its own pieces at once through the one handle; no read lands at another's offset.
    std::vector<std::thread> readers;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&, t] {
            for (int round = 0; round < 200; ++round) {
                const std::uint64_t offset = (t * 997 + round * 31) % 4000;
                char piece[64];
                std::size_t got = 0;
                if (!file.ReadSomeAt(offset, piece, sizeof piece, got) || got != sizeof piece ||
                    std::string(piece, got) != contents.substr(offset, got))
                    ++wrong[t];
            }
        });
    }
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(wrong, (std::vector<int>(4, 0)));
}

TEST(FilesWin32, OpenFailuresSayWhy) {
    TempDir dir;
    struct Row {
        const char* name;
        std::string path;
        bool missing;
        std::string description; // "" for any text
    };
    const std::vector<Row> rows = {
        {"no such file", dir.File("none.log"), true, ""},
        {"no such directory", dir.File("none\\x.log"), true, ""},
        {"a directory", dir.Path().string(), false, "Is a directory"},
        {"a device", "NUL", false, "Not a regular file"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        text::File file;
        bool missing = false;
        const text::Status status = file.Open(row.path, &missing);
        EXPECT_FALSE(status.ok);
        EXPECT_FALSE(status.description.empty());
        EXPECT_EQ(missing, row.missing);
        if (!row.description.empty()) {
            EXPECT_EQ(status.description, row.description);
        }
    }
}

TEST(FilesWin32, TheDebugLogListing) {
    TempDir dir;
    struct Row {
        const char* name;
        bool listed;
    };
    const std::vector<Row> files = {
        {"SMTP-Debug-a.log", true},   {"smtp-debug-b.LOG", true},   {"SMTP-Debug-.log", true},
        {"SMTP-Debug-a.txt", false},  {"POP-Debug-a.log", false},   {"SMTP-Debug-a.logx", false},
        {"SMTP-Debugx-a.log", false}, {"XSMTP-Debug-a.log", false},
    };
    for (const Row& row : files)
        WriteBytes(dir.File(row.name), "x\r\n");
    ASSERT_TRUE(::CreateDirectoryA(dir.File("SMTP-Debug-dir.log").c_str(), nullptr));
    const std::string hidden = dir.File("SMTP-Debug-hidden.log");
    WriteBytes(hidden, "x\r\n");
    ASSERT_TRUE(::SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));

    std::vector<std::string> names;
    ASSERT_TRUE(scan::ListDebugLogFiles(dir.Path().string(), "SMTP", names));
    std::vector<std::string> expected;
    for (const Row& row : files)
        if (row.listed)
            expected.push_back(row.name);
    std::sort(expected.begin(), expected.end(),
              [](const std::string& a, const std::string& b) { return scan::DebugLogNameLess(a, b); });
    EXPECT_EQ(names, expected);

    const std::vector<std::string> quiet = {dir.File("missing"), dir.File("missing\\deeper"), ""};
    for (const std::string& directory : quiet) {
        SCOPED_TRACE(directory);
        EXPECT_TRUE(scan::ListDebugLogFiles(directory, "NOSUCHSOURCE", names));
        EXPECT_TRUE(names.empty());
    }
}

TEST(FilesWin32, ACatalogueIsStoredWhileAnotherHandleReadsTheOldOne) {
    TempDir dir;
    const std::string path = dir.File("SMTP-Analysis.tab");
    WriteBytes(path, "old\tl\td\r\n");
    // The window's own reader (text::File shares delete) has the old catalogue open.
    text::File reader;
    ASSERT_TRUE(reader.Open(path));
    ASSERT_TRUE(catalogue::StoreCatalogue(path, "new\tl\td\r\n"));
    EXPECT_EQ(ReadBytes(path), "new\tl\td\r\n");
    std::string old(9, '\0');
    EXPECT_TRUE(reader.ReadAt(0, old.data(), 9));
    EXPECT_EQ(old, "old\tl\td\r\n");
}

TEST(FilesWin32, AStoreFailsCleanlyWhileAReaderWithoutDeleteSharingHoldsTheOldOne) {
    TempDir dir;
    const std::string path = dir.File("SMTP-Analysis.tab");
    WriteBytes(path, "old\r\n");
    {
        HeldHandle reader(path, GENERIC_READ, FILE_SHARE_READ);
        ASSERT_TRUE(reader.Open());
        const text::Status stored = catalogue::StoreCatalogue(path, "new\r\n");
        EXPECT_FALSE(stored.ok);
        EXPECT_FALSE(stored.description.empty());
    }
    EXPECT_EQ(ReadBytes(path), "old\r\n");
    // Nothing is left beside it: the new file was removed.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ++entries;
    EXPECT_EQ(entries, 1u);
    // Once the other program lets go, the next store goes through.
    EXPECT_TRUE(catalogue::StoreCatalogue(path, "new\r\n"));
    EXPECT_EQ(ReadBytes(path), "new\r\n");
}

TEST(FilesWin32, PathsInWindowsForm) {
    EXPECT_EQ(text::kPathSeparator, '\\');
    EXPECT_EQ(text::JoinPath("C:\\Logs", "SMTP-Debug-a.log"), "C:\\Logs\\SMTP-Debug-a.log");
    const std::string directory = text::ProgramDirectory();
    ASSERT_GE(directory.size(), 2u);
    EXPECT_EQ(directory[1], ':');
    EXPECT_NE(directory.back(), '\\');
    const DWORD attributes = ::GetFileAttributesA(directory.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(text::PathFromUtf8("C:\\Journaux\\\xC3\xA9t\xC3\xA9"), "C:\\Journaux\\\xE9t\xE9");
}

} // namespace
