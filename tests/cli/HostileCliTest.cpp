// brindlemar-scan over a debug log with one line of 64 MB: the instances are printed whole, and the
// program's memory stays that of a few read pieces, whatever the line's length.
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "support/TestSupport.h"

extern char** environ;

namespace {

using testing_support::AppendFill;
using testing_support::TempDir;
using testing_support::WriteBytes;

struct ProgramRun {
    int exitCode = -1;
    long peakKiB = 0;        // the program's own resident high-water mark
    std::uintmax_t size = 0; // bytes it wrote to its standard output
    std::string start;       // the first of them
};

// Runs brindlemar-scan, reading its standard output through a pipe as it comes (it is as large as the line:
// only its size and start are kept), and measures its peak memory.
ProgramRun RunCounted(const std::vector<std::string>& args, std::size_t keep) {
    std::vector<std::string> all = {BRINDLEMAR_SCAN_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    ProgramRun run;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t child = -1;
    const int spawned = ::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned == 0) {
        std::vector<char> buffer(std::size_t{1} << 20);
        ssize_t n = 0;
        while ((n = ::read(out[0], buffer.data(), buffer.size())) > 0) {
            if (run.start.size() < keep)
                run.start.append(buffer.data(),
                                 std::min<std::size_t>(keep - run.start.size(), std::size_t(n)));
            run.size += static_cast<std::uintmax_t>(n);
        }
    }
    ::close(out[0]);
    if (spawned != 0)
        return run;
    int status = 0;
    rusage usage{};
    if (::wait4(child, &status, 0, &usage) == child && WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    run.peakKiB = usage.ru_maxrss;
    return run;
}

bool MemoryMeaningful() {
#if defined(__SANITIZE_ADDRESS__)
    return false;
#else
    return true;
#endif
}

TEST(HostileCli, InstancesOfA64MegabyteLinePrintWholeInBoundedMemory) {
    TempDir dir;
    constexpr std::size_t kLong = std::size_t{64} << 20;
    const std::string log = dir.File("SMTP-Debug-huge.log");
    const std::string head = "9\t07/12/26 10:15:30\tRelay denied \xE9 ";
    WriteBytes(log, "1\tshort Relay denied\r\n" + head);
    AppendFill(log, 'z', kLong);
    WriteBytes(dir.File("catalogue.tab"), "Relay denied\tL\tE\r\n");
    // "é" (one ANSI byte) is two bytes of UTF-8.
    const std::uintmax_t lineBytes = head.size() + 1 + kLong;
    struct Row {
        const char* name;
        std::vector<std::string> extra;
        std::uintmax_t size;
        std::string start;
    } rows[] = {
        {"text",
         {},
         21 + lineBytes + 1,
         "1\tshort Relay denied\n9\t07/12/26 10:15:30\tRelay denied \xC3\xA9 zzz"},
        // {"instances":[ + the short line quoted, its TAB escaped + ," + the long line, two TABs escaped +
        // "]}
        {"json",
         {"--json"},
         14 + 23 + 2 + (lineBytes + 2) + 1 + 3,
         "{\"instances\":[\"1\\tshort Relay denied\",\"9\\t07/12/26 10:15:30\\tRelay denied \xC3\xA9 zzz"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> args = {"instances", "--log", log, "--catalogue", dir.File("catalogue.tab"),
                                         "--event",   "0"};
        args.insert(args.end(), row.extra.begin(), row.extra.end());
        const ProgramRun run = RunCounted(args, row.start.size());
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.size, row.size);
        EXPECT_EQ(run.start, row.start);
        std::printf("[ figures ] brindlemar-scan instances (%s) of a 64 MiB line: peak memory %ld MiB\n",
                    row.name, run.peakKiB >> 10);
        if (MemoryMeaningful()) {
            EXPECT_LT(run.peakKiB, 32 * 1024);
        }
    }

    // The transcript of that line: its time stamp is at its start, and its activity log is looked up.
    WriteBytes(dir.File("SMTP-Activity-huge.log"), "07/12/26 10:15:00 activity\r\n");
    const std::string expected = "{\"activityFile\":\"SMTP-Activity-huge.log\",\"found\":true,\"transcript\":"
                                 "\"->07/12/26 10:15:00 activity\"}\n";
    const ProgramRun run =
        RunCounted({"transcript", "--log", log, "--catalogue", dir.File("catalogue.tab"), "--event", "0",
                    "--instance", "1", "--activity-dir", dir.Path().string(), "--json"},
                   1024);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.start, expected);
    if (MemoryMeaningful()) {
        EXPECT_LT(run.peakKiB, 32 * 1024);
    }
}

} // namespace
