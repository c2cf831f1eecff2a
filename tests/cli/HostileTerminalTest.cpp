// Text that reaches a terminal: control bytes from logs, library replies and file names are shown as
// visible text there, and kept as they are in a pipe, a file or --json. The program decides by whether its
// output is a terminal, so it is run here under a pseudo-terminal and through a pipe.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "RunProgram.h"
#include "cli/TerminalText.h"
#include "support/TestSupport.h"

namespace {

using cli_test::RunProgram;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteBytes;

const std::string kScanProgram = BRINDLEMAR_SCAN_PROGRAM;

TEST(TerminalText, ControlBytesBecomeVisibleText) {
    struct Case {
        std::string in;
        bool keepLineBreaks;
        std::string shown;
    } cases[] = {
        {"plain text\twith a tab", false, "plain text\twith a tab"},
        {"\x1b]0;owned\x07\x1b[2J", true, "^[]0;owned^G^[[2J"},
        {"line\nbreak", true, "line\nbreak"},
        {"line\nbreak", false, "line^Jbreak"},
        {std::string("nul\0cr\rdel\x7f", 11), true, "nul^@cr^Mdel^?"},
        {"csi \xc2\x9b"
         "2J and nel \xc2\x85",
         true, "csi \\x9b2J and nel \\x85"},
        {"caf\xc3\xa9 \xc2\xa0nbsp \xe2\x82\xac", true, "caf\xc3\xa9 \xc2\xa0nbsp \xe2\x82\xac"},
        {"lone lead at the end \xc2", true, "lone lead at the end \xc2"},
        {"\xc2\xc2\x9b", true, "\xc2\\x9b"},
        {"invalid \xff\xfe bytes", true, "invalid \xff\xfe bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(cli::TerminalText(c.in, c.keepLineBreaks), c.shown);
    }
}

// A stream buffer that takes at most `room` bytes, then fails every write.
class FullBuffer : public std::streambuf {
public:
    explicit FullBuffer(std::size_t room) : room_(room) {}
    std::string taken;

protected:
    int_type overflow(int_type c) override {
        const char ch = traits_type::to_char_type(c);
        return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        const auto size = static_cast<std::size_t>(n);
        if (size > room_)
            return 0;
        room_ -= size;
        taken.append(s, size);
        return n;
    }

private:
    std::size_t room_;
};

TEST(TerminalText, FilterStreamKeepsCharactersSplitAcrossWritesAndReportsAFailedWrite) {
    std::ostringstream target;
    {
        cli::TerminalFilter filter(target.rdbuf());
        std::ostream shown(&filter);
        shown << "a\xc2"
              << "\x9b"
              << "b\xc2"
              << "\xa9"
              << "c\x1b\n"
              << "\xc2";
        EXPECT_TRUE(shown);
    }
    EXPECT_EQ(target.str(), "a\\x9bb\xc2\xa9"
                            "c^[\n\xc2");

    FullBuffer full(4);
    cli::TerminalFilter filter(&full);
    std::ostream shown(&filter);
    shown << "abcd";
    EXPECT_TRUE(shown);
    shown << "e";
    EXPECT_FALSE(shown);
    EXPECT_EQ(full.taken, "abcd");
}

// Runs the program with its standard output and error on a pseudo-terminal; what the terminal showed,
// with the terminal's CR LF line ends read as LF. Waits at most 20 s for the program to finish.
std::string RunOnTerminal(const std::vector<std::string>& args) {
    std::vector<std::string> all = {kScanProgram};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : all)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    int terminal = -1;
    const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    std::string shown;
    if (child < 0)
        return shown;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
        pollfd p{terminal, POLLIN, 0};
        if (::poll(&p, 1, 500) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(terminal, buffer, sizeof buffer);
        if (n <= 0)
            break; // EIO once the program has exited and closed the terminal
        shown.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(terminal);
    int status = 0;
    ::waitpid(child, &status, 0);
    std::string lines;
    for (std::size_t i = 0; i < shown.size(); ++i)
        if (!(shown[i] == '\r' && i + 1 < shown.size() && shown[i + 1] == '\n'))
            lines.push_back(shown[i]);
    return lines;
}

class TerminalTest : public ::testing::Test {
protected:
    TerminalTest() : registry_("BRINDLEMAR_REGISTRY", dir_.File("registry.reg")) {
        std::filesystem::create_directories(dir_.Path() / "debug");
        WriteBytes(
            dir_.File("registry.reg"),
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brindlemar\\Brindlemar\\Connectors\\SMTP]\r\n"
            "\"Debug Log File Directory\"=\"" +
                dir_.File("debug") + "\"\r\n");
        WriteBytes(dir_.File("catalogue.tab"), "refused\t\tx\r\n");
        WriteBytes(dir_.File("debug/SMTP-Debug-261207.log"),
                   "10:00 refused \x1b]0;owned\x07\x1b[2J now\r\n10:01 refused\tplain\r\n");
        WriteBytes(dir_.File("debug/SMTP-Debug-a\nb.log"), "");
    }
    TempDir dir_;
    ScopedEnv registry_;
};

TEST_F(TerminalTest, TerminalShowsControlBytesAPipeKeepsThem) {
    const std::vector<std::string> instances = {
        "instances", "SMTP", "SMTP-Debug-261207.log", "--catalogue", dir_.File("catalogue.tab"),
        "--event",   "0"};
    struct Case {
        std::vector<std::string> args;
        std::string onTerminal;
        std::string inPipe;
    } cases[] = {
        {instances, "10:00 refused ^[]0;owned^G^[[2J now\n10:01 refused\tplain\n",
         "10:00 refused \x1b]0;owned\x07\x1b[2J now\n10:01 refused\tplain\n"},
        {{"files", "SMTP"},
         "Debug log directory: " + dir_.File("debug") + "\nSMTP-Debug-261207.log\nSMTP-Debug-a^Jb.log\n",
         "Debug log directory: " + dir_.File("debug") + "\nSMTP-Debug-261207.log\nSMTP-Debug-a\nb.log\n"},
        // A file name with a line break keeps the summary's table in line on a terminal.
        {{"summary", "SMTP", "--catalogue", dir_.File("catalogue.tab")},
         "Files: SMTP-Debug-<column>.log\n\nEVENT  261207  a^Jb  TOTAL  SEARCH\n"
         "    0       2     0      2  refused\n",
         "Files: SMTP-Debug-<column>.log\n\nEVENT  261207  a\nb  TOTAL  SEARCH\n"
         "    0       2    0      2  refused\n"},
        // CSV: a row to a line on a terminal, CR LF row ends in a pipe.
        {{"scan", "SMTP", "SMTP-Debug-261207.log", "--catalogue", dir_.File("catalogue.tab"), "--csv"},
         "index,count,search,link,explanation\n0,2,refused,,x\n",
         "index,count,search,link,explanation\r\n0,2,refused,,x\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        EXPECT_EQ(RunOnTerminal(c.args), c.onTerminal);
        const auto piped = RunProgram(kScanProgram, c.args);
        EXPECT_EQ(piped.exitCode, 0);
        EXPECT_EQ(piped.out, c.inPipe);
    }
    // --json on a terminal stays JSON: its own escapes, nothing shown twice.
    std::vector<std::string> json = instances;
    json.push_back("--json");
    EXPECT_EQ(RunOnTerminal(json), "{\"instances\":[\"10:00 refused \\u001b]0;owned\\u0007\\u001b[2J "
                                   "now\",\"10:01 refused\\tplain\"]}\n");
}

TEST_F(TerminalTest, ClosedOutputStopsTheListingWithExitOne) {
    // Many lines, so the listing cannot finish within the pipe's buffer; SIGPIPE ignored, as a script may.
    std::string log;
    for (int i = 0; i < 200000; ++i)
        log += "10:00 refused line " + std::to_string(i) + "\r\n";
    WriteBytes(dir_.File("debug/SMTP-Debug-261208.log"), log);
    const std::string command =
        "trap '' PIPE; '" + kScanProgram + "' instances SMTP SMTP-Debug-261208.log --catalogue '" +
        dir_.File("catalogue.tab") + "' --event 0 | head -c 1 >/dev/null; echo \"exit ${PIPESTATUS[0]}\"";
    const auto result = RunProgram("/bin/bash", {"-c", command});
    EXPECT_EQ(result.out, "exit 1\n");
    EXPECT_EQ(result.err, "brindlemar-scan: the output could not be written\n");
}

} // namespace
