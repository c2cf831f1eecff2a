// Debug logs no server should write, which the scan must still get through with a defined result and in
// bounded memory: one line of 200 MB, a file that keeps growing while it is read, a file of nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "scan/Matcher.h"
#include "scan/Scan.h"
#include "support/TestSupport.h"
#include "text/File.h"

namespace {

using testing_support::AppendFill;
using testing_support::PeakMemory;
using testing_support::TempDir;
using testing_support::WriteBytes;

// The scan's own buffers are a read block of 1 MiB and a little more; nothing may grow with the line.
constexpr std::size_t kScanMemoryBound = std::size_t{24} << 20;

TEST(HostileScan, A200MegabyteLineIsCountedAndListedInBoundedMemory) {
    TempDir dir;
    const std::string path = dir.File("SMTP-Debug-huge.log");
    constexpr std::size_t kHalf = std::size_t{100} << 20;
    WriteBytes(path, "first Relay denied\r\nstart ");
    AppendFill(path, 'x', kHalf);
    {
        std::FILE* file = std::fopen(path.c_str(), "ab");
        ASSERT_NE(file, nullptr);
        std::fputs(" Relay denied ", file);
        std::fclose(file);
    }
    AppendFill(path, 'y', kHalf);
    {
        std::FILE* file = std::fopen(path.c_str(), "ab");
        ASSERT_NE(file, nullptr);
        std::fputs(" TAIL\r\nlast", file);
        std::fclose(file);
    }
    const std::uint64_t longLength = 6 + kHalf + 14 + kHalf + 5;

    const scan::EventMatcher matcher(
        {"Relay denied", "TAIL\r\n", "", "start ", "absent", "y TAIL", "last\r\n"});
    std::vector<std::int32_t> counts;
    PeakMemory counting;
    ASSERT_TRUE(scan::CountEvents(path, matcher, counts).ok);
    EXPECT_EQ(counts, (std::vector<std::int32_t>{2, 1, 3, 1, 0, 1, 1}));
    if (counting.Measured()) {
        std::printf("[ figures ] counting a 200 MiB line: peak memory +%zu KiB\n",
                    counting.GrowthBytes() >> 10);
        EXPECT_LT(counting.GrowthBytes(), kScanMemoryBound);
    }

    PeakMemory listing;
    scan::InstanceLines instances;
    ASSERT_TRUE(instances.Build(path, "Relay denied").ok);
    ASSERT_EQ(instances.Size(), 2u);
    EXPECT_EQ(instances.Line(0), "first Relay denied");
    EXPECT_EQ(instances.LineOffset(1), 20u);
    EXPECT_EQ(instances.LineLength(1), longLength);
    // A caller reads a bounded part of such a line, never the whole of it.
    EXPECT_EQ(instances.Line(1, 8), "start xx");
    if (listing.Measured()) {
        std::printf("[ figures ] listing a 200 MiB line: peak memory +%zu KiB\n",
                    listing.GrowthBytes() >> 10);
        EXPECT_LT(listing.GrowthBytes(), kScanMemoryBound);
    }
}

TEST(HostileScan, AnEmptyLogHasNoInstances) {
    TempDir dir;
    WriteBytes(dir.File("empty.log"), "");
    scan::InstanceLines instances;
    ASSERT_TRUE(instances.Build(dir.File("empty.log"), "").ok);
    EXPECT_EQ(instances.Size(), 0u);
    EXPECT_EQ(instances.Line(0), "");
}

// Appends whole lines "grow\r\n" to the file as fast as it can until told to stop or `cap` bytes are
// written; the cap only keeps a scan that would never end from filling the disk.
class Grower {
public:
    Grower(const std::string& path, std::size_t cap) : cap_(cap) {
        fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        thread_ = std::thread([this] { Run(); });
        while (written_ == 0 && !done_)
            std::this_thread::yield();
    }
    ~Grower() { Stop(); }
    // Stops the writer; the number of whole lines it appended.
    std::size_t Stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        return written_ / kLine.size();
    }
    // Whether the writer was still appending (it had not reached its cap).
    bool StillGrowing() const { return !done_; }

private:
    void Run() {
        std::string block;
        while (block.size() + kLine.size() <= (std::size_t{1} << 20))
            block += kLine;
        while (!stop_ && written_ < cap_) {
            const ssize_t n = ::write(fd_, block.data(), block.size());
            if (n != static_cast<ssize_t>(block.size()))
                break;
            written_ += block.size();
            // About 200 MB/s, far beyond any server's logging, yet slow enough that the cap is not reached
            // before a scan under the sanitizers ends.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        done_ = true;
    }

    static inline const std::string kLine = "grow\r\n";
    std::size_t cap_;
    int fd_ = -1;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
    std::atomic<std::size_t> written_{0};
};

TEST(HostileScan, ALogThatGrowsDuringTheScanEndsWithTheCountsOfAPrefix) {
    TempDir dir;
    const std::string path = dir.File("SMTP-Debug-growing.log");
    constexpr std::int32_t kOldLines = 200000;
    std::string old;
    for (std::int32_t i = 0; i < kOldLines; ++i)
        old += "1\t07/12/26 10:15:30\told line " + std::to_string(i % 10) + "\r\n";
    WriteBytes(path, old);
    constexpr std::size_t kCap = std::size_t{768} << 20;

    const scan::EventMatcher matcher({"old line", "grow", ""});
    std::vector<std::int32_t> counts;
    Grower grower(path, kCap);
    const text::Status status = scan::CountEvents(path, matcher, counts);
    const bool endedWhileGrowing = grower.StillGrowing();
    const std::size_t appended = grower.Stop();
    ASSERT_TRUE(status.ok) << status.description;
    EXPECT_TRUE(endedWhileGrowing) << "the scan ran until the writer stopped";
    ASSERT_EQ(counts.size(), 3u);
    EXPECT_EQ(counts[0], kOldLines);
    EXPECT_LE(static_cast<std::size_t>(counts[1]), appended);
    // Every line counted is an old line, an appended line, or at most one appended line cut short where the
    // scan stopped reading.
    EXPECT_GE(counts[2] - counts[0] - counts[1], 0);
    EXPECT_LE(counts[2] - counts[0] - counts[1], 1);
    std::printf("[ figures ] growing log: %d appended lines counted of %zu written\n", counts[1], appended);

    // The instance list of a growing log likewise ends.
    WriteBytes(path, old);
    Grower again(path, kCap);
    scan::InstanceLines instances;
    const text::Status listed = instances.Build(path, "old line 7");
    const bool listEndedWhileGrowing = again.StillGrowing();
    again.Stop();
    ASSERT_TRUE(listed.ok) << listed.description;
    EXPECT_TRUE(listEndedWhileGrowing) << "the instance list ran until the writer stopped";
    EXPECT_EQ(instances.Size(), static_cast<std::size_t>(kOldLines / 10));
}

} // namespace

namespace {

TEST(HostileScan, ReadingStopsAtTheSizeTheLogHadWhenOpened) {
    TempDir dir;
    const std::string path = dir.File("SMTP-Debug-1.log");
    WriteBytes(path, "one\r\ntwo\r\n");
    text::File file;
    ASSERT_TRUE(file.Open(path).ok);
    {
        std::FILE* out = std::fopen(path.c_str(), "ab");
        ASSERT_NE(out, nullptr);
        std::fputs("three\r\n", out);
        std::fclose(out);
    }
    char buffer[64];
    std::size_t got = 0;
    std::string read;
    do {
        ASSERT_TRUE(file.Read(buffer, 4, got).ok);
        read.append(buffer, got);
    } while (got > 0);
    EXPECT_EQ(read, "one\r\ntwo\r\n");
    // Reads at an offset (the instance list reading a line back) are not bounded by it.
    EXPECT_TRUE(file.ReadAt(10, buffer, 7));
    EXPECT_EQ(std::string(buffer, 7), "three\r\n");
}

} // namespace

namespace {

TEST(HostileScan, PseudoFilesOfSizeZeroAreNotRead) {
    // Kernel pseudo-files call themselves regular files of size 0. /proc/kmsg would block the scan for ever
    // waiting for kernel messages (it opens only with privilege), /proc/self/mem fails every read at
    // offset 0, /proc/self/status has lines: none of them is read, so each gives no lines at all.
    struct Case {
        const char* path;
        bool opensUnprivileged;
    } cases[] = {
        {"/proc/kmsg", false},
        {"/proc/self/mem", true},
        {"/proc/self/status", true},
    };
    const scan::EventMatcher matcher({"", "a", "\r\n"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::vector<std::int32_t> counts{7};
        const text::Status counted = scan::CountEvents(c.path, matcher, counts);
        if (c.opensUnprivileged) {
            EXPECT_TRUE(counted.ok) << counted.description;
        }
        EXPECT_EQ(counts, (std::vector<std::int32_t>{0, 0, 0}));

        scan::InstanceLines instances;
        const text::Status listed = instances.Build(c.path, "");
        EXPECT_EQ(listed.ok, counted.ok);
        EXPECT_EQ(instances.Size(), 0u);

        std::vector<std::int32_t> plain{7};
        EXPECT_EQ(scan::CountEvents(c.path, scan::PlainMatcher({"", "a", "\r\n"}), plain).ok, counted.ok);
        EXPECT_EQ(plain, (std::vector<std::int32_t>{0, 0, 0}));
    }
}

} // namespace
