// Activity logs no server should write, which the lookup must still get through with a defined result and
// in bounded memory: a line of 200 MB outside and inside the window, NUL and end-of-file bytes, a log that
// keeps growing while it is read.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

#include "support/TestSupport.h"
#include "transcript/Transcript.h"

namespace {

using testing_support::AppendFill;
using testing_support::PeakMemory;
using testing_support::TempDir;
using testing_support::WriteBytes;
using Kind = transcript::TranscriptResult::Kind;

constexpr const char* kDebugLog = "SMTP-Debug-20260712.log";
constexpr const char* kActivityLog = "SMTP-Activity-20260712.log";
const std::string kItem = "0012\t07/12/26 10:15:30\tRCPT TO refused";

void Append(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "ab");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

TEST(HostileTranscript, A200MegabyteLineIsSkippedOrCutInBoundedMemory) {
    TempDir dir;
    const std::string path = dir.File(kActivityLog);
    constexpr std::size_t kLong = std::size_t{200} << 20;
    struct Row {
        const char* name;
        std::string head; // the long line's first bytes
        std::string expected;
        std::size_t memoryBound;
    } rows[] = {
        {"outside the window: skipped piece by piece", "07/12/26 09:00:00 ",
         "->07/12/26 10:15:00 before\r\n07/12/26 10:16:00 after", std::size_t{8} << 20},
        {"inside the window: cut at the transcript's limit", "07/12/26 10:15:40 ", "",
         transcript::kMaxTranscriptBytes * 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WriteBytes(path, "07/12/26 10:15:00 before\r\n" + row.head);
        AppendFill(path, 'z', kLong);
        Append(path, "\r\n07/12/26 10:16:00 after\r\n");
        PeakMemory peak;
        const auto result = transcript::LookupTranscript(kItem, kDebugLog, dir.Path().string());
        EXPECT_EQ(result.kind, Kind::Shown);
        if (!row.expected.empty()) {
            EXPECT_EQ(result.text, row.expected);
        } else {
            const std::string start = "->07/12/26 10:15:00 before\r\n" + row.head + "zzz";
            EXPECT_EQ(result.text.substr(0, start.size()), start);
            EXPECT_EQ(result.text.size(), transcript::kMaxTranscriptBytes);
        }
        if (peak.Measured()) {
            std::printf("[ figures ] transcript with a 200 MiB line %s: peak memory +%zu KiB\n",
                        row.expected.empty() ? "inside" : "outside", peak.GrowthBytes() >> 10);
            EXPECT_LT(peak.GrowthBytes(), row.memoryBound);
        }
    }
}

TEST(HostileTranscript, NulAndEndOfFileBytesAreOrdinaryCharacters) {
    TempDir dir;
    const std::string nul(1, '\0');
    WriteBytes(dir.File(kActivityLog), "07/12/26 10:15:01 a" + nul + "b\x1a" + "c\r\n\x1a\r\n" + nul +
                                           "\r\n07/12/26 10:16:00 " + nul + "\r\n\x1a");
    const auto result = transcript::LookupTranscript(kItem, kDebugLog, dir.Path().string());
    EXPECT_EQ(result.kind, Kind::Shown);
    EXPECT_EQ(result.text, "->07/12/26 10:15:01 a" + nul + "b\x1a" + "c\r\n07/12/26 10:16:00 " + nul);
}

TEST(HostileTranscript, AnEmptyActivityLogGivesAnEmptyTranscript) {
    TempDir dir;
    WriteBytes(dir.File(kActivityLog), "");
    const auto result = transcript::LookupTranscript(kItem, kDebugLog, dir.Path().string());
    EXPECT_EQ(result.kind, Kind::Shown);
    EXPECT_EQ(result.text, "");
}

TEST(HostileTranscript, AnActivityLogThatGrowsDuringTheLookupEnds) {
    TempDir dir;
    const std::string path = dir.File(kActivityLog);
    std::string old;
    for (int i = 0; i < 100000; ++i)
        old += "07/12/26 10:1" + std::to_string(i % 10) + ":00 old\r\n";
    WriteBytes(path, old);
    // The server keeps writing lines (later ones, outside the window, which every lookup must still read
    // through) faster than they can be read; the writer's cap only keeps a lookup that would never end from
    // filling the disk.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::atomic<bool> stop{false}, done{false};
    std::atomic<std::size_t> written{0};
    std::thread writer([&] {
        std::string block;
        while (block.size() < (std::size_t{1} << 20))
            block += "07/12/26 11:00:00 new\r\n";
        while (!stop && written < (std::size_t{768} << 20)) {
            if (::write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size()))
                break;
            written += block.size();
        }
        done = true;
    });
    while (written == 0 && !done)
        std::this_thread::yield();
    const auto result = transcript::LookupTranscript(kItem, kDebugLog, dir.Path().string());
    const bool endedWhileGrowing = !done;
    stop = true;
    writer.join();
    ::close(fd);
    EXPECT_TRUE(endedWhileGrowing) << "the lookup ran until the writer stopped";
    EXPECT_EQ(result.kind, Kind::Shown);
    EXPECT_EQ(result.text.rfind("07/12/26 10:14:00 old\r\n->07/12/26 10:15:00 old\r\n", 0), 0u);
}

} // namespace
