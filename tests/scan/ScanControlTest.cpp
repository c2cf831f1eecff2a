// How a scan runs rather than what it finds: split over threads it tells its progress once per byte, ending
// at the file's size, and it stops promptly when asked, at whatever stage, leaving no partial result.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "ScanTester.h"
#include "scan/Matcher.h"
#include "scan/Scan.h"
#include "support/TestSupport.h"

namespace {

using scan_testing::ExpectSameLines;
using scan_testing::RecordingSink;
using scan_testing::SplitEverywhere;
using testing_support::TempDir;
using testing_support::WriteBytes;

// About 240 KB of lines of every length, every 7th holding the event, every 11th with a lone CR ending.
std::string Log(std::size_t lines) {
    std::string log;
    for (std::size_t i = 0; i < lines; ++i) {
        log += std::to_string(i) + "\t07/12/26 10:15:30\t" + std::string(i % 97, 'x');
        if (i % 7 == 0)
            log += " Relay denied";
        log += i % 11 == 0 ? "\r" : "\r\n";
    }
    return log;
}

class ScanControl : public ::testing::Test {
protected:
    void SetUp() override {
        WriteBytes(path_, log_);
        ASSERT_TRUE(
            scan::ListInstances(path_, "Relay denied", all_, SplitEverywhere(1, scan::kScanBlockSize)).ok);
        ASSERT_EQ(all_.lines.size(), 429u);
    }
    TempDir dir_;
    const std::string path_ = dir_.File("SMTP-Debug-1.log");
    const std::string log_ = Log(3000);
    const scan::EventMatcher matcher_{{"Relay denied", "10:15:30", "nowhere"}};
    RecordingSink all_; // the event's lines, listed by one thread
};

TEST_F(ScanControl, ProgressTellsEachByteOnceAndEndsAtTheSize) {
    for (unsigned threads : {1u, 2u, 7u}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        scan::ScanOptions options = SplitEverywhere(threads, 4096);
        std::atomic<std::uint64_t> told{0};
        std::atomic<bool> emptyReport{false};
        std::uint64_t opened = 0;
        options.opened = [&](std::uint64_t size) {
            EXPECT_EQ(told.load(), 0u); // before any progress
            opened = size;
        };
        options.progress = [&](std::uint64_t bytes) {
            if (bytes == 0)
                emptyReport = true;
            told += bytes;
        };
        std::vector<std::int32_t> counts;
        scan::ScanTotals totals;
        ASSERT_TRUE(scan::CountEvents(path_, matcher_, counts, options, &totals).ok);
        EXPECT_EQ(told.load(), log_.size());
        EXPECT_EQ(opened, log_.size());
        EXPECT_FALSE(emptyReport.load());
        EXPECT_EQ(totals.bytes, log_.size());
        EXPECT_EQ(totals.lines, 3000u);
        EXPECT_FALSE(totals.stopped);
        EXPECT_EQ(counts, (std::vector<std::int32_t>{429, 3000, 0}));

        told = 0;
        scan::InstanceLines lines;
        ASSERT_TRUE(lines.Build(path_, "Relay denied", options).ok);
        EXPECT_EQ(told.load(), log_.size());
        EXPECT_EQ(lines.Size(), 429u);

        told = 0;
        RecordingSink sink;
        ASSERT_TRUE(scan::ListInstances(path_, "Relay denied", sink, options).ok);
        EXPECT_EQ(told.load(), log_.size());
        ExpectSameLines(sink.lines, all_.lines);
    }
}

TEST_F(ScanControl, AStopAtAnyStageEndsTheScanWithNothingHalfDone) {
    // Asked to stop before it starts, or after the k-th block told of its progress.
    for (unsigned threads : {1u, 2u, 7u}) {
        for (int stopAfter : {0, 1, 2, 5, 20}) {
            SCOPED_TRACE("threads " + std::to_string(threads) + ", stop after " + std::to_string(stopAfter));
            std::stop_source stop;
            if (stopAfter == 0)
                stop.request_stop();
            scan::ScanOptions options = SplitEverywhere(threads, 4096);
            options.stop = stop.get_token();
            std::atomic<int> blocks{0};
            options.progress = [&](std::uint64_t) {
                if (++blocks == stopAfter)
                    stop.request_stop();
            };
            std::vector<std::int32_t> counts;
            scan::ScanTotals totals;
            const text::Status counted = scan::CountEvents(path_, matcher_, counts, options, &totals);
            EXPECT_FALSE(counted.ok);
            EXPECT_EQ(counted.description, "Cancelled");
            EXPECT_TRUE(totals.stopped);
            EXPECT_EQ(counts, std::vector<std::int32_t>(3, 0));

            // The next scan asked to stop in the same way: at once, or after as many blocks.
            const auto again = [&] {
                blocks = 0;
                if (stopAfter != 0)
                    stop = std::stop_source();
                options.stop = stop.get_token();
            };
            again();
            scan::InstanceLines lines;
            const text::Status listed = lines.Build(path_, "Relay denied", options);
            EXPECT_FALSE(listed.ok);
            EXPECT_EQ(lines.Size(), 0u);

            // A sink keeps what it was told before the stop: the first lines of the list, in order.
            again();
            RecordingSink sink;
            const text::Status streamed = scan::ListInstances(path_, "Relay denied", sink, options);
            EXPECT_EQ(streamed.description, "Cancelled");
            ASSERT_LE(sink.lines.size(), all_.lines.size());
            ExpectSameLines(sink.lines, {all_.lines.begin(), all_.lines.begin() + sink.lines.size()});
        }
    }
}

TEST_F(ScanControl, ASinkThatFailsStopsTheListingAndIsItsResult) {
    for (unsigned threads : {1u, 2u, 7u}) {
        for (std::size_t failAt : {1u, 2u, 150u, 429u}) {
            SCOPED_TRACE("threads " + std::to_string(threads) + ", fails at line " + std::to_string(failAt));
            scan::ScanOptions options = SplitEverywhere(threads, 4096);
            std::atomic<std::uint64_t> told{0};
            options.progress = [&](std::uint64_t bytes) { told += bytes; };
            RecordingSink sink(failAt);
            const text::Status listed = scan::ListInstances(path_, "Relay denied", sink, options);
            EXPECT_FALSE(listed.ok);
            EXPECT_EQ(listed.description, "sink full");
            EXPECT_EQ(sink.calls, failAt); // nothing is told after the failure
            ExpectSameLines(sink.lines, {all_.lines.begin(), all_.lines.begin() + (failAt - 1)});
            // The first line is told as soon as its block is read, and the scan ends at the next block.
            if (threads == 1 && failAt == 1) {
                EXPECT_LE(told.load(), 2 * 4096u);
            }
        }
    }
}

// When the system gives no thread, the calling thread searches every range in turn: the same counts and lines
// as ever, not a failure or an escaping exception.
TEST_F(ScanControl, WithNoThreadToBeHadTheCallingThreadSearchesEveryRange) {
    const std::optional<int> result = testing_support::WithoutNewThreads([&] {
        const scan::ScanOptions options = SplitEverywhere(7, 4096);
        std::vector<std::int32_t> counts;
        RecordingSink sink;
        if (!scan::CountEvents(path_, matcher_, counts, options).ok ||
            counts != std::vector<std::int32_t>{429, 3000, 0})
            return 1;
        if (!scan::ListInstances(path_, "Relay denied", sink, options).ok ||
            sink.lines.size() != all_.lines.size())
            return 2;
        for (std::size_t i = 0; i < sink.lines.size(); ++i)
            if (sink.lines[i].offset != all_.lines[i].offset || sink.lines[i].text != all_.lines[i].text)
                return 3;
        return 0;
    });
    if (!result)
        GTEST_SKIP() << "a child process without threads cannot be arranged here";
    EXPECT_EQ(*result, 0) << "1: counts, 2: the list's size, 3: a line differs, -1: the child died";
}

TEST(ScanThreads, ComeFromTheOptionsTheEnvironmentOrTheHardware) {
    scan::ScanOptions options;
    options.threads = 3;
    EXPECT_EQ(scan::ScanThreads(options), 3u);
    options.threads = 0;
    {
        testing_support::ScopedEnv env("BRINDLEMAR_SCAN_THREADS", "5");
        EXPECT_EQ(scan::ScanThreads(options), 5u);
    }
    for (const char* unusable : {"0", "-1", "two", "", "4x"}) {
        SCOPED_TRACE(unusable);
        testing_support::ScopedEnv env("BRINDLEMAR_SCAN_THREADS", unusable);
        EXPECT_GE(scan::ScanThreads(options), 1u);
        EXPECT_NE(scan::ScanThreads(options), 5u);
    }
}

} // namespace
