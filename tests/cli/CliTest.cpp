// brindlemar-scan run as a script runs it: the real program over settings, logs and catalogues written by
// the test, its whole output and exit status compared with what an administrator's script relies on.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <httplib.h>
#include <mutex>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "RunProgram.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using cli_test::ProgramResult;
using cli_test::RunProgram;
using testing_support::ReadBytes;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteBytes;

const std::string kScanProgram = BRINDLEMAR_SCAN_PROGRAM;

const std::string kNoCatalogueSmtp =
    "Unable to retrieve analysis details from library server for: SMTP at this time.";

// The catalogue of the scan tests: a CR LF-anchored entry, a cp1252 entry, an entry that never occurs.
const std::string kCatalogue = "Connection refused\thttp://kb.example/1\tThe remote host refused.\r\n"
                               "Timeout<CRLF>\thttp://kb.example/2\tThe peer went quiet.\r\n"
                               "never occurs\thttp://kb.example/3\tNothing.\r\n"
                               "Nachricht zur\xFC"
                               "ckgewiesen\thttp://kb.example/4\tRejected.\r\n"
                               "Relay denied\thttp://kb.example/5\tNot a local recipient.\r\n";

const std::string kDebugLogName = "SMTP-Debug-261207.log";
const std::string kDebugLog = "SMTP\t07/12/26 10:15:30\t[conn 1]\tConnect failed (Connection refused)\r\n"
                              "SMTP\t07/12/26 10:16:02\t[conn 2]\tRead Timeout\r\n"
                              "SMTP\t07/12/26 10:17:00\t[conn 3]\tTimeout waiting for DATA\r\n"
                              "SMTP\t07/12/26 10:18:00\t[conn 4]\tNachricht zur\xFC"
                              "ckgewiesen: Relay denied\r\n"
                              "SMTP\t07/12/26 10:19:00\t[conn 5]\tconnection refused\r\n"
                              "SMTP\t07/12/26 10:20:00\t[conn 6]\tTimeout";

const std::string kActivityLog = "07/12/26 10:14:01 [2] before the window\r\n"
                                 "07/12/26 10:14:02 [2] Connection from 192.0.2.7\r\n"
                                 "07/12/26 10:15:59 [2] Subject: Caf\xE9\r\n"
                                 "07/12/26 10:16:00 [2] >>> 250 Hello\r\n"
                                 "07/12/26 10:16:02 [2] Read Timeout\r\n"
                                 "07/12/26 10:18:02 [2] Closing\r\n"
                                 "07/12/26 10:18:03 [3] after the window\r\n";

const std::string kEventsJson =
    R"({"events":[)"
    R"({"index":0,"count":1,"search":"Connection refused","item":"0 [1]  Connection refused"},)"
    R"({"index":1,"count":2,"search":"Timeout\r\n","item":"1 [2]  Timeout\r\n"},)"
    "{\"index\":3,\"count\":1,\"search\":\"Nachricht zur\xC3\xBC"
    "ckgewiesen\",\"item\":\"3 [1]  Nachricht zur\xC3\xBC"
    "ckgewiesen\"},"
    R"({"index":4,"count":1,"search":"Relay denied","item":"4 [1]  Relay denied"}]})"
    "\n";

// A settings export file, a debug log and an activity log of SMTP, a catalogue, all in a temporary
// directory; BRINDLEMAR_REGISTRY names the export file for the programs the test runs.
class CliTest : public ::testing::Test {
protected:
    CliTest() : registry_("BRINDLEMAR_REGISTRY", dir_.File("registry.reg")), root_(dir_.Path().string()) {
        for (const char* sub : {"smtp/debug", "smtp/activity", "pop/debug", "store"})
            fs::create_directories(dir_.Path() / sub);
        WriteRegistry(2, "");
        WriteBytes(Catalogue(), kCatalogue);
        WriteBytes(root_ + "/smtp/debug/" + kDebugLogName, kDebugLog);
        WriteBytes(root_ + "/smtp/activity/SMTP-Activity-261207.log", kActivityLog);
    }

    // SMTP and POP have their own debug directories; SMTP alone an activity directory. The other sources
    // fall back on the SMTP connector's debug directory.
    void WriteRegistry(int debugStatus, const std::string& libraryHost) {
        std::string reg =
            "REGEDIT4\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brindlemar\\Brindlemar\\Connectors\\SMTP]\r\n"
            "\"Debug Log File Directory\"=\"" +
            root_ + "/smtp/debug\"\r\n\"Activity Log Directory\"=\"" + root_ +
            "/smtp/activity\"\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brindlemar\\Brindlemar\\Services\\POP]\r\n"
            "\"Debug Log File Directory\"=\"" +
            root_ + "/pop/debug\"\r\n\r\n" +
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brindlemar\\Brindlemar\\Utilities\\Log Analysis]\r\n" +
            "\"Debug Status\"=dword:0000000" + std::to_string(debugStatus) + "\r\n";
        if (!libraryHost.empty())
            reg += "\"Library Server\"=\"" + libraryHost + "\"\r\n";
        WriteBytes(dir_.File("registry.reg"), reg);
    }

    std::string Catalogue() const { return root_ + "/catalogue.tab"; }

    static ProgramResult Scan(const std::vector<std::string>& args) { return RunProgram(kScanProgram, args); }

    // The program copied into its own directory, for what it keeps beside itself (stored catalogues).
    std::string CopyProgram() const {
        const fs::path bin = dir_.Path() / "bin";
        fs::create_directories(bin);
        const fs::path copy = bin / "brindlemar-scan";
        fs::copy_file(kScanProgram, copy, fs::copy_options::overwrite_existing);
        fs::permissions(copy, fs::perms::owner_all);
        return copy.string();
    }

    TempDir dir_;
    ScopedEnv registry_;
    std::string root_;
};

void ExpectResult(const ProgramResult& result, int exitCode, const std::string& out, const std::string& err) {
    EXPECT_EQ(result.exitCode, exitCode);
    EXPECT_EQ(result.out, out);
    EXPECT_EQ(result.err, err);
}

TEST_F(CliTest, SourcesListsEverySourceInOrderWithDebugStatus) {
    const std::string smtp = root_ + "/smtp/debug";
    // Linux paths are used as they stand, so each is also where the directory is on this machine.
    auto source = [&](const char* code, const std::string& debug, const std::string& activity) {
        return std::string(R"({"code":")") + code + R"(","debugDir":")" + debug + R"(","debugPath":")" +
               debug + R"(","activityDir":")" + activity + R"(","activityPath":")" + activity + R"("})";
    };
    auto fallback = [&](const char* code) { return source(code, smtp, ""); };
    const std::string expected = R"({"registryFile":")" + dir_.File("registry.reg") +
                                 R"(","debugStatus":2,"sources":[)" + fallback("HTTPMAIL") + "," +
                                 source("SMTP", smtp, root_ + "/smtp/activity") + "," + fallback("LS") + "," +
                                 fallback("MTA") + "," + source("POP", root_ + "/pop/debug", "") + "," +
                                 fallback("POPC") + "," + fallback("SF") + "]}\n";
    ExpectResult(Scan({"sources", "--json"}), 0, expected, "");

    const auto people = Scan({"sources"});
    EXPECT_EQ(people.exitCode, 0);
    EXPECT_EQ(people.out.rfind("Settings: " + dir_.File("registry.reg") + "\nDebug Status: 2\n\nSOURCE", 0),
              0u)
        << people.out;
    EXPECT_NE(people.out.find("POP       " + root_ + "/pop/debug"), std::string::npos) << people.out;
}

TEST_F(CliTest, UnreadableSettingsLinesAreWarnedAboutAndSkipped) {
    const std::string reg = dir_.File("registry.reg");
    WriteBytes(reg, ReadBytes(reg) + "this is no registry line\r\n");
    const auto result = Scan({"files", "SMTP", "--json"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, R"({"dir":")" + root_ +
                              R"(/smtp/debug","files":["SMTP-Debug-261207.log"]})"
                              "\n");
    EXPECT_EQ(result.err.rfind("warning: " + reg + ", line 12: ", 0), 0u) << result.err;
    // A command that reads no settings says nothing about them.
    ExpectResult(
        Scan({"scan", "--log", root_ + "/smtp/debug/" + kDebugLogName, "--catalogue", Catalogue(), "--json"}),
        0, kEventsJson, "");
}

TEST_F(CliTest, FilesListsTheSourcesDebugLogsCaseInsensitivelySorted) {
    const std::string debug = root_ + "/smtp/debug/";
    for (const char* name : {"SMTP-Debug-b.log", "smtp-debug-a.LOG", "SMTP-Debug-.log", "SMTP-Debug-c.txt",
                             "POP-Debug-a.log", "SMTP-Debug-x.log.bak"})
        WriteBytes(debug + name, "x\r\n");
    fs::create_directory(debug + "SMTP-Debug-dir.log");

    ExpectResult(Scan({"files", "SMTP", "--json"}), 0,
                 R"({"dir":")" + root_ +
                     R"(/smtp/debug","files":["SMTP-Debug-.log","SMTP-Debug-261207.log","smtp-debug-a.LOG",)"
                     R"("SMTP-Debug-b.log"]})"
                     "\n",
                 "");
    // A source whose directory holds nothing, and one whose directory does not exist.
    ExpectResult(Scan({"files", "pop", "--json"}), 0,
                 R"({"dir":")" + root_ +
                     R"(/pop/debug","files":[]})"
                     "\n",
                 "");
    fs::remove(dir_.Path() / "pop" / "debug");
    ExpectResult(Scan({"files", "POP", "--json"}), 0,
                 R"({"dir":")" + root_ +
                     R"(/pop/debug","files":[]})"
                     "\n",
                 "");
}

TEST_F(CliTest, ScanCountsEveryEntryInCatalogueOrder) {
    ExpectResult(Scan({"scan", "SMTP", kDebugLogName, "--catalogue", Catalogue(), "--json"}), 0, kEventsJson,
                 "");
    // The same file named by path, options before the arguments and in the VAR=VALUE form.
    ExpectResult(Scan({"--json", "scan", "--catalogue=" + Catalogue(), "--log",
                       root_ + "/smtp/debug/" + kDebugLogName}),
                 0, kEventsJson, "");
    // For people: the window's event list items, the anchoring line end written as in the catalogue.
    ExpectResult(Scan({"scan", "SMTP", kDebugLogName, "--catalogue", Catalogue()}), 0,
                 "0 [1]  Connection refused\n1 [2]  Timeout<CRLF>\n3 [1]  Nachricht zur\xC3\xBC"
                 "ckgewiesen\n4 [1]  Relay denied\n",
                 "");
}

TEST_F(CliTest, FileNamesRoundTripBetweenFilesAndScan) {
    // A name in the ANSI code page is listed decoded, and the decoded name given back finds the file.
    WriteBytes(root_ + "/smtp/debug/SMTP-Debug-caf\xE9.log", kDebugLog);
    fs::remove(root_ + "/smtp/debug/" + kDebugLogName);
    ExpectResult(Scan({"files", "SMTP", "--json"}), 0,
                 R"({"dir":")" + root_ + "/smtp/debug\",\"files\":[\"SMTP-Debug-caf\xC3\xA9.log\"]}\n", "");
    ExpectResult(Scan({"scan", "SMTP", "SMTP-Debug-caf\xC3\xA9.log", "--catalogue", Catalogue(), "--json"}),
                 0, kEventsJson, "");
}

TEST_F(CliTest, ScanUsesTheStoredCatalogueBesideTheProgram) {
    const std::string program = CopyProgram();
    WriteBytes(root_ + "/bin/SMTP-Analysis.tab", kCatalogue);
    ExpectResult(RunProgram(program, {"scan", "SMTP", kDebugLogName, "--json"}), 0, kEventsJson, "");
    // A log named by path still takes the stored catalogue of the source given with it.
    ExpectResult(
        RunProgram(program, {"scan", "SMTP", "--log", root_ + "/smtp/debug/" + kDebugLogName, "--json"}), 0,
        kEventsJson, "");
}

TEST_F(CliTest, MissingCatalogueGivesNoEventsAndAWarning) {
    const auto result = Scan({"scan", "SMTP", kDebugLogName, "--catalogue", root_ + "/absent.tab", "--json"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "{\"events\":[]}\n");
    EXPECT_EQ(result.err, "warning: no analysis catalogue could be opened at " + root_ +
                              "/absent.tab (No such file or directory); no events are counted.\n");
}

TEST_F(CliTest, InstancesListsTheRawLinesOfOneEntry) {
    const std::vector<std::string> common = {"instances",   "SMTP",      kDebugLogName,
                                             "--catalogue", Catalogue(), "--json"};
    struct Case {
        std::string event;
        std::string expected;
        std::string err;
    } cases[] = {
        {"1",
         R"({"instances":["SMTP\t07/12/26 10:16:02\t[conn 2]\tRead Timeout","SMTP\t07/12/26 10:20:00\t[conn 6]\tTimeout"]})"
         "\n",
         ""},
        {"3",
         "{\"instances\":[\"SMTP\\t07/12/26 10:18:00\\t[conn 4]\\tNachricht zur\xC3\xBC"
         "ckgewiesen: Relay denied\"]}\n",
         ""},
        // No line: the list is empty and stderr says so, which is no failure.
        {"2", "{\"instances\":[]}\n", "No line of " + kDebugLogName + " holds catalogue entry 2.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("event " + c.event);
        auto args = common;
        args.insert(args.end(), {"--event", c.event});
        ExpectResult(Scan(args), 0, c.expected, c.err);
    }
    // For people the same message, and nothing on stdout.
    ExpectResult(Scan({"instances", "SMTP", kDebugLogName, "--catalogue", Catalogue(), "--event", "2"}), 0,
                 "", "No line of " + kDebugLogName + " holds catalogue entry 2.\n");
}

// A log large enough to be scanned in several ranges, holding every kind of line the listing must print
// unchanged: lone CR endings, quotes and backslashes, a cp1252 byte, a line of more than one read-back piece
// (1 MiB), an unterminated last line. The output, text and --json, is the matching lines and nothing else,
// however many threads the scan runs on.
TEST(CliInstances, PrintTheMatchingLinesExactlyOverSeveralRanges) {
    TempDir dir;
    // Written line by line and matching rarely, so this test keeps little in memory: the programs it
    // starts after it measure their peak memory, which counts the test program's own at their start.
    const std::string path = dir.File("SMTP-Debug-261207.log");
    std::ofstream log(path, std::ios::binary);
    std::string text;                // what the program prints for people into a pipe
    std::vector<std::string> listed; // the same lines as UTF-8, for the JSON
    constexpr int kLines = 80000;
    for (int i = 0; i < kLines; ++i) {
        std::string line = "SMTP\t07/12/26 10:15:30\t[conn " + std::to_string(i) + "]\t" +
                           std::string(static_cast<std::size_t>(i % 401), 'x');
        if (i == kLines / 2)
            line += std::string((std::size_t{1} << 20) + 100, 'y');
        const bool matches = i % 97 == 0 || i == kLines / 2 || i == kLines - 1;
        if (matches)
            line += " Relay denied \"q\" \\ zur\xFC";
        log << line;
        if (i + 1 < kLines)
            log << (i % 13 == 0 ? "\r" : "\r\n");
        if (matches) {
            line.replace(line.size() - 1, 1, "\xC3\xBC");
            text += line + "\n";
            listed.push_back(std::move(line));
        }
    }
    log.close();
    ASSERT_TRUE(log);
    ASSERT_GT(fs::file_size(path), std::uintmax_t{16} << 20); // at least two ranges of the smallest size
    WriteBytes(dir.File("catalogue.tab"), "Relay denied\tL\tE\r\n");
    const std::string json = nlohmann::json{{"instances", listed}}.dump() + "\n";
    listed.clear();

    for (const char* threads : {"1", "4"}) {
        ScopedEnv env("BRINDLEMAR_SCAN_THREADS", threads);
        const std::vector<std::string> args = {
            "instances", "--log", path, "--catalogue", dir.File("catalogue.tab"), "--event", "0"};
        for (const bool asJson : {false, true}) {
            SCOPED_TRACE(std::string(asJson ? "json" : "text") + ", threads " + threads);
            std::vector<std::string> all = args;
            if (asJson)
                all.push_back("--json");
            const ProgramResult result = RunProgram(kScanProgram, all);
            EXPECT_EQ(result.exitCode, 0);
            EXPECT_EQ(result.err, "");
            EXPECT_TRUE(result.out == (asJson ? json : text))
                << result.out.size() << " bytes printed, " << (asJson ? json : text).size() << " expected";
        }
    }
}

TEST_F(CliTest, TranscriptShowsTheActivityAroundTheInstance) {
    const std::string expected = R"({"activityFile":"SMTP-Activity-261207.log","found":true,"transcript":")"
                                 R"(07/12/26 10:14:02 [2] Connection from 192.0.2.7\r\n)"
                                 "07/12/26 10:15:59 [2] Subject: Caf\xC3\xA9\\r\\n"
                                 R"(->07/12/26 10:16:00 [2] >>> 250 Hello\r\n)"
                                 R"(07/12/26 10:16:02 [2] Read Timeout\r\n)"
                                 R"(07/12/26 10:18:02 [2] Closing"})"
                                 "\n";
    ExpectResult(Scan({"transcript", "SMTP", kDebugLogName, "--catalogue", Catalogue(), "--event", "1",
                       "--instance", "0", "--json"}),
                 0, expected, "");

    // Instance 1 of the same entry is at 10:20:00: the last two lines are within two minutes, and none of
    // them is of the instance's minute, so none is marked.
    ExpectResult(Scan({"transcript", "SMTP", kDebugLogName, "--catalogue", Catalogue(), "--event", "1",
                       "--instance", "1", "--json"}),
                 0,
                 R"({"activityFile":"SMTP-Activity-261207.log","found":true,"transcript":)"
                 R"("07/12/26 10:18:02 [2] Closing\r\n07/12/26 10:18:03 [3] after the window"})"
                 "\n",
                 "");
}

TEST_F(CliTest, TranscriptReportsAMissingActivityLog) {
    const std::string notFound =
        R"({"activityFile":"SMTP-Activity-261207.log","found":false,"transcript":""})"
        "\n";
    // An activity directory without the day's log, and a source whose activity directory is not set.
    ExpectResult(Scan({"transcript", "SMTP", kDebugLogName, "--catalogue", Catalogue(), "--activity-dir",
                       root_ + "/store", "--event", "0", "--instance", "0", "--json"}),
                 0, notFound, "");
    WriteBytes(root_ + "/pop/debug/" + kDebugLogName, kDebugLog);
    ExpectResult(Scan({"transcript", "POP", kDebugLogName, "--catalogue", Catalogue(), "--event", "0",
                       "--instance", "0", "--json"}),
                 0, notFound, "");

    const auto people = Scan(
        {"transcript", "POP", kDebugLogName, "--catalogue", Catalogue(), "--event", "0", "--instance", "0"});
    EXPECT_EQ(people.exitCode, 0);
    EXPECT_EQ(people.out,
              "No Activity File Found: /SMTP-Activity-261207.log\n"
              "Instance: SMTP\t07/12/26 10:15:30\t[conn 1]\tConnect failed (Connection refused)\n");
}

TEST_F(CliTest, InstanceWithoutATimeStampGivesAnEmptyTranscript) {
    const std::string log = root_ + "/store/odd-Debug.log";
    WriteBytes(log, "no time stamp: Connection refused\r\nSMTP\tyesterday\tConnection refused\r\n");
    const std::string warning =
        "warning: the instance has no time stamp that reads as a date and time; no transcript.\n";
    struct Case {
        std::string instance;
        bool activityLogThere;
        std::string expected;
    } cases[] = {
        {"0", false,
         R"({"activityFile":"odd-Activity.log","found":false,"transcript":""})"
         "\n"},
        {"1", true,
         R"({"activityFile":"odd-Activity.log","found":true,"transcript":""})"
         "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("instance " + c.instance);
        if (c.activityLogThere)
            WriteBytes(root_ + "/smtp/activity/odd-Activity.log", "07/12/26 10:15:30 anything\r\n");
        ExpectResult(Scan({"transcript", "--log", log, "--catalogue", Catalogue(), "--activity-dir",
                           root_ + "/smtp/activity", "--event", "0", "--instance", c.instance, "--json"}),
                     0, c.expected, warning);
    }
    // For people, as the window shows it: no transcript, and no claim that the activity log is missing.
    std::filesystem::remove(root_ + "/smtp/activity/odd-Activity.log");
    ExpectResult(Scan({"transcript", "--log", log, "--catalogue", Catalogue(), "--activity-dir",
                       root_ + "/smtp/activity", "--event", "0", "--instance", "0"}),
                 0, "Instance: no time stamp: Connection refused\n", warning);
}

TEST_F(CliTest, UnreadableLogFileExitsOneWithTheReason) {
    const std::string absent = root_ + "/smtp/debug/SMTP-Debug-absent.log";
    struct Case {
        std::vector<std::string> args;
        std::string path;
        std::string reason;
    } cases[] = {
        {{"scan", "SMTP", "SMTP-Debug-absent.log"}, absent, "No such file or directory"},
        {{"scan", "--log", root_ + "/smtp"}, root_ + "/smtp", "Is a directory"},
        {{"instances", "SMTP", "SMTP-Debug-absent.log", "--event", "0"}, absent, "No such file or directory"},
        {{"transcript", "SMTP", "SMTP-Debug-absent.log", "--event", "0", "--instance", "0"},
         absent,
         "No such file or directory"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        c.args.insert(c.args.end(), {"--catalogue", Catalogue(), "--json"});
        // The window's message, with the path of the log before the reason.
        ExpectResult(Scan(c.args), 1, "", "Unable to open log file. " + c.path + ": " + c.reason + "\n");
    }
}

TEST_F(CliTest, UsageErrorsExitTwoWithOneLineAndWhereToFindHelp) {
    const std::string file = kDebugLogName;
    const std::string kPlainName =
        "FILE must be a plain file name as 'files' lists it (no directory separator, "
        "not \".\" or \"..\"), not '";
    const std::string kElsewhere = "'; use --log PATH for a log elsewhere";
    struct Case {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{}, "no command given"},
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{"sources", "SMTP"}, "sources takes no arguments"},
        {{"sources", "--event", "1"}, "option --event does not apply to sources"},
        {{"files"}, "files needs one SOURCE"},
        {{"files", "IMAP"}, "unknown source 'IMAP' (one of HTTPMAIL, SMTP, LS, MTA, POP, POPC, SF)"},
        {{"scan", "SMTP"}, "scan needs SOURCE FILE, or --log PATH"},
        {{"scan", "SMTP", file, "extra"}, "scan needs SOURCE FILE, or --log PATH"},
        {{"scan", "--log", "x.log"}, "scan with --log and no SOURCE needs --catalogue PATH"},
        {{"scan", "SMTP", file, "--bogus"}, "unknown option --bogus"},
        {{"scan", "SMTP", file, "-x"}, "unknown option -x"},
        {{"scan", "SMTP", file, "--catalogue"}, "option --catalogue needs a value"},
        {{"scan", "SMTP", file, "--json=yes"}, "option --json takes no value"},
        {{"scan", "SMTP", file, "--catalogue", "a", "--catalogue", "b"},
         "option --catalogue is given more than once"},
        {{"instances", "SMTP", file}, "instances needs --event I"},
        {{"instances", "SMTP", file, "--event", "-1"},
         "--event needs a catalogue index (a whole number from 0), not '-1'"},
        {{"instances", "SMTP", file, "--event", "2x"},
         "--event needs a catalogue index (a whole number from 0), not '2x'"},
        {{"instances", "SMTP", file, "--event", "99999999999"},
         "--event needs a catalogue index (a whole number from 0), not '99999999999'"},
        {{"transcript", "SMTP", file, "--event", "0"}, "transcript needs --instance K"},
        {{"transcript", "--log", "x.log", "--catalogue", "c.tab", "--event", "0", "--instance", "0"},
         "transcript with --log and no SOURCE needs --activity-dir DIR"},
        {{"scan", "SMTP", "../../../../etc/hostname"}, kPlainName + "../../../../etc/hostname" + kElsewhere},
        {{"scan", "SMTP", "/etc/hostname"}, kPlainName + "/etc/hostname" + kElsewhere},
        {{"instances", "SMTP", "sub/" + file, "--event", "0"}, kPlainName + "sub/" + file + kElsewhere},
        {{"transcript", "SMTP", ".", "--event", "0", "--instance", "0"}, kPlainName + "." + kElsewhere},
        {{"scan", "SMTP", ".."}, kPlainName + ".." + kElsewhere},
        {{"scan", "SMTP", ""}, kPlainName + kElsewhere},
        {{"fetch"}, "fetch needs one SOURCE"},
        {{"fetch", "SMTP", "--log", "x"}, "option --log does not apply to fetch"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const auto result = Scan(c.args);
        ExpectResult(result, 2, "", "brindlemar-scan: " + c.message + "\nTry 'brindlemar-scan --help'.\n");
    }
}

TEST_F(CliTest, EntriesAndInstancesThatAreNotThereExitTwo) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"instances", "SMTP", kDebugLogName, "--event", "5"},
         "There is no catalogue entry 5: the catalogue holds 5 entries.\n"},
        {{"transcript", "SMTP", kDebugLogName, "--event", "1", "--instance", "2"},
         "There is no instance 2 of catalogue entry 1: it has 2 instances (counting from 0).\n"},
        {{"transcript", "SMTP", kDebugLogName, "--event", "2", "--instance", "0"},
         "There is no instance 0 of catalogue entry 2: it has 0 instances (counting from 0).\n"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.message);
        c.args.insert(c.args.end(), {"--catalogue", Catalogue(), "--json"});
        ExpectResult(Scan(c.args), 2, "", c.message);
    }
}

TEST_F(CliTest, HelpPrintsTheUsageText) {
    struct Case {
        std::vector<std::string> args;
        std::string start; // how the text begins
    } cases[] = {
        {{"--help"}, "Usage: brindlemar-scan COMMAND"},
        {{"help"}, "Usage: brindlemar-scan COMMAND"},
        // The usage of the command the option stands with, or that help names.
        {{"scan", "-h"}, "Usage: brindlemar-scan scan (SOURCE FILE | [SOURCE] --log PATH)"},
        {{"fetch", "SMTP", "--help"}, "Usage: brindlemar-scan fetch SOURCE [--dir DIR]\n"},
        {{"--catalogue", "x.tab", "summary", "--help"}, "Usage: brindlemar-scan summary SOURCE"},
        {{"help", "summary"}, "Usage: brindlemar-scan summary SOURCE"},
        {{"help", "transcript"}, "Usage: brindlemar-scan transcript"},
        // Asked for help, a command line wrong in some other way still gets it.
        {{"scan", "--bogus", "--help"}, "Usage: brindlemar-scan scan "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start);
        const auto result = Scan(c.args);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out.rfind(c.start, 0), 0u) << result.out;
        EXPECT_NE(result.out.find("Exit status: 0 done"), std::string::npos) << result.out;
        EXPECT_EQ(result.err, "");
    }
    // One command's usage is that command's alone.
    const auto scanHelp = Scan({"help", "scan"});
    EXPECT_EQ(scanHelp.out.find("fetch SOURCE"), std::string::npos) << scanHelp.out;
    EXPECT_NE(scanHelp.out.find("--csv"), std::string::npos) << scanHelp.out;
}

TEST_F(CliTest, VersionIsTheWindowsVersion) {
    for (const auto& args : std::vector<std::vector<std::string>>{{"--version"}, {"scan", "--version"}})
        ExpectResult(Scan(args), 0, "brindlemar-scan 1.2\n", "");
}

// A library server on 127.0.0.1 with an ephemeral port that answers every catalogue request with one reply.
class LibraryServer {
public:
    explicit LibraryServer(std::string reply) : reply_(std::move(reply)) {
        server_.Post("/Tools/Analysis/Analysis.asp",
                     [this](const httplib::Request& request, httplib::Response& response) {
                         {
                             std::lock_guard<std::mutex> lock(mutex_);
                             requested_.push_back(request.get_param_value("Source"));
                         }
                         response.set_content(reply_, "text/plain");
                     });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running())
            std::this_thread::yield();
    }
    ~LibraryServer() {
        server_.stop();
        thread_.join();
    }
    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
    std::vector<std::string> Requested() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requested_;
    }

private:
    std::string reply_;
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> requested_;
};

// A port on 127.0.0.1 that nothing listens on.
int ClosedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

class FetchTest : public CliTest {
protected:
    ScopedEnv noProxy_{"no_proxy", "127.0.0.1,localhost"};
};

TEST_F(FetchTest, RepliesAreStoredOrReportedAsTheWindowDoes) {
    const std::string old = "old\tcatalogue\tkept\r\n";
    struct Case {
        std::string reply;
        int exitCode;
        std::string out;
        std::string err;
    } cases[] = {
        {"A\tL1\tE1\r\nB<CRLF>\tL2\tE2", 0, "Stored " + root_ + "/store/SMTP-Analysis.tab (2 entries)\n", ""},
        {"<html>not a catalogue, stored all the same", 0,
         "Stored " + root_ + "/store/SMTP-Analysis.tab (1 entry)\n", ""},
        {"<!BRINDLEMAR>The library is closed for maintenance until 14:00.", 3, "",
         "The library is closed for maintenance until 14:00.\n"},
        {"<!brindlemar>lower case is no notice", 3, "", kNoCatalogueSmtp + "\n"},
        {"<!DOCTYPE html><html><body>Not found</body></html>", 3, "", kNoCatalogueSmtp + "\n"},
        {"", 3, "", kNoCatalogueSmtp + "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        WriteBytes(root_ + "/store/SMTP-Analysis.tab", old);
        LibraryServer server(c.reply);
        WriteRegistry(0, server.Host());
        // A failure names the server it asked.
        const std::string tried = c.exitCode == 0 ? "" : "Library server tried: " + server.Host() + "\n";
        ExpectResult(Scan({"fetch", "smtp", "--dir", root_ + "/store"}), c.exitCode, c.out, c.err + tried);
        EXPECT_EQ(ReadBytes(root_ + "/store/SMTP-Analysis.tab"), c.exitCode == 0 ? c.reply : old);
        EXPECT_EQ(server.Requested(), std::vector<std::string>{"SMTP"});
    }
}

TEST_F(FetchTest, StoresBesideTheProgramByDefault) {
    const std::string program = CopyProgram();
    LibraryServer server("X\tL\tE\r\n");
    WriteRegistry(0, server.Host());
    ExpectResult(RunProgram(program, {"fetch", "POP", "--json"}), 0,
                 R"({"path":")" + root_ +
                     R"(/bin/POP-Analysis.tab","entries":1})"
                     "\n",
                 "");
    EXPECT_EQ(ReadBytes(root_ + "/bin/POP-Analysis.tab"), "X\tL\tE\r\n");
}

TEST_F(FetchTest, DebugStatusOneAlsoShowsWhatTheServerReturned) {
    LibraryServer server("<!DOCTYPE html>");
    WriteRegistry(1, server.Host());
    ExpectResult(Scan({"fetch", "SMTP", "--dir", root_ + "/store"}), 3, "",
                 kNoCatalogueSmtp +
                     "\nServer Returned: <!DOCTYPE html>\nLibrary server tried: " + server.Host() + "\n");
}

TEST_F(FetchTest, ClosedPortGivesTheStandardMessage) {
    const std::string host = "127.0.0.1:" + std::to_string(ClosedPort());
    WriteRegistry(0, host);
    ExpectResult(Scan({"fetch", "SMTP", "--dir", root_ + "/store"}), 3, "",
                 kNoCatalogueSmtp + "\nLibrary server tried: " + host + "\n");
    EXPECT_FALSE(fs::exists(root_ + "/store/SMTP-Analysis.tab"));
}

TEST_F(FetchTest, UnwritableDirectoryGivesTheExaminingLogsMessage) {
    LibraryServer server("A\tL\tE\r\n");
    WriteRegistry(0, server.Host());
    const auto result = Scan({"fetch", "SMTP", "--dir", root_ + "/no/such/dir"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("Error in examining logs: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find("No such file or directory"), std::string::npos) << result.err;
}

} // namespace
