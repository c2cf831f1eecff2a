// brindlemar-scan summary and scan --csv run as a script runs them: the summary's counts against a scan of
// each file, the JSON and CSV shapes byte for byte, and a file that cannot be read keeping its column.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <unistd.h>
#include <vector>

#include "RunProgram.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using cli_test::ProgramResult;
using cli_test::RunProgram;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteBytes;

const std::string kScanProgram = BRINDLEMAR_SCAN_PROGRAM;

// Search strings a spreadsheet must get back whole: a comma, quotes, one ending its line (CR LF), a cp1252
// letter, one that reads as a formula, and one that never occurs.
const std::string kCatalogue = "Relay denied, sorry\tL0\tE0\r\n"
                               "say \"hi\"\tL1\tE1\r\n"
                               "Timeout<CRLF>\tL2\tE2\r\n"
                               "zur\xFC"
                               "ckgewiesen\tL3\tE3, twice\r\n"
                               "=SUM(A1)\tL4\tE4\r\n"
                               "never occurs\tL5\tE5\r\n";

const std::string kDay1 = "SMTP-Debug-261205.log";
const std::string kDay2 = "SMTP-Debug-261206.log";
const std::string kDay3 = "SMTP-Debug-261207.log";
const std::string kLog1 = "a Relay denied, sorry\r\nb say \"hi\" there\r\nc Timeout\r\nd Timeout later\r\n";
const std::string kLog2 = "a zur\xFC"
                          "ckgewiesen\r\nb Relay denied, sorry\r\nc Relay denied, sorry\r\n=SUM(A1)\r\n";
const std::string kQuiet = "nothing catalogued here\r\nnor here\r\n";

class SummaryCliTest : public ::testing::Test {
protected:
    SummaryCliTest()
        : registry_("BRINDLEMAR_REGISTRY", dir_.File("registry.reg")), root_(dir_.Path().string()),
          debug_(root_ + "/smtp/debug") {
        fs::create_directories(debug_);
        WriteBytes(dir_.File("registry.reg"),
                   "REGEDIT4\r\n\r\n"
                   "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brindlemar\\Brindlemar\\Connectors\\SMTP]\r\n"
                   "\"Debug Log File Directory\"=\"" +
                       debug_ + "\"\r\n");
        WriteBytes(Catalogue(), kCatalogue);
    }

    std::string Catalogue() const { return root_ + "/catalogue.tab"; }

    void WriteLogs(const std::map<std::string, std::string>& logs) {
        fs::remove_all(debug_);
        fs::create_directories(debug_);
        for (const auto& [name, bytes] : logs)
            WriteBytes(debug_ + "/" + name, bytes);
    }

    static ProgramResult Scan(const std::vector<std::string>& args) { return RunProgram(kScanProgram, args); }

    TempDir dir_;
    ScopedEnv registry_;
    std::string root_;
    std::string debug_;
};

TEST_F(SummaryCliTest, EachCountIsTheScanOfThatFile) {
    struct Case {
        std::string name;
        std::map<std::string, std::string> logs;
    } cases[] = {
        {"no files", {}},
        {"one file", {{kDay1, kLog1}}},
        {"files with no events", {{kDay1, kQuiet}, {kDay2, kQuiet}}},
        {"several days, one quiet", {{kDay1, kLog1}, {kDay2, kQuiet}, {kDay3, kLog2}}},
        {"names out of order and an empty log",
         {{"smtp-debug-b.LOG", kLog2}, {"SMTP-Debug-a.log", kLog1}, {kDay1, ""}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteLogs(c.logs);
        const ProgramResult summary = Scan({"summary", "SMTP", "--catalogue", Catalogue(), "--json"});
        ASSERT_EQ(summary.exitCode, 0) << summary.err;
        EXPECT_EQ(summary.err, "");
        const auto json = nlohmann::json::parse(summary.out);

        // The files are those 'files' lists, in its order.
        const auto listed = nlohmann::json::parse(Scan({"files", "SMTP", "--json"}).out);
        ASSERT_EQ(json["files"], listed["files"]);

        // Per file, what scan gives: index -> count.
        std::map<std::size_t, std::vector<std::int64_t>> expected;
        const std::size_t files = json["files"].size();
        for (std::size_t f = 0; f < files; ++f) {
            const std::string name = json["files"][f];
            const auto scanned =
                nlohmann::json::parse(Scan({"scan", "SMTP", name, "--catalogue", Catalogue(), "--json"}).out);
            for (const auto& event : scanned["events"]) {
                auto& counts = expected[event["index"].get<std::size_t>()];
                counts.resize(files, 0);
                counts[f] = event["count"].get<std::int64_t>();
            }
        }
        std::map<std::size_t, std::vector<std::int64_t>> got;
        std::vector<std::size_t> order;
        for (const auto& event : json["events"]) {
            const std::size_t index = event["index"].get<std::size_t>();
            order.push_back(index);
            got[index] = event["counts"].get<std::vector<std::int64_t>>();
            std::int64_t total = 0;
            for (const auto count : got[index])
                total += count;
            EXPECT_EQ(event["total"].get<std::int64_t>(), total) << "entry " << index;
        }
        EXPECT_EQ(got, expected);
        EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    }
}

TEST_F(SummaryCliTest, JsonAndCsvHaveTheDocumentedShape) {
    WriteLogs({{kDay1, kLog1}, {kDay2, kLog2}});
    const std::vector<std::string> args = {"summary", "smtp", "--catalogue", Catalogue()};
    auto with = [&](const char* flag) {
        auto all = args;
        all.emplace_back(flag);
        return Scan(all);
    };
    const ProgramResult json = with("--json");
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_EQ(json.err, "");
    EXPECT_EQ(json.out, "{\"files\":[\"SMTP-Debug-261205.log\",\"SMTP-Debug-261206.log\"],\"events\":["
                        "{\"index\":0,\"search\":\"Relay denied, sorry\",\"counts\":[1,2],\"total\":3},"
                        "{\"index\":1,\"search\":\"say \\\"hi\\\"\",\"counts\":[1,0],\"total\":1},"
                        "{\"index\":2,\"search\":\"Timeout\\r\\n\",\"counts\":[1,0],\"total\":1},"
                        "{\"index\":3,\"search\":\"zur\xC3\xBC"
                        "ckgewiesen\",\"counts\":[0,1],\"total\":1},"
                        "{\"index\":4,\"search\":\"=SUM(A1)\",\"counts\":[0,1],\"total\":1}]}\n");

    // UTF-8 without a byte order mark, rows ended by CR LF, fields quoted where they must be, a formula
    // made text.
    const ProgramResult csv = with("--csv");
    EXPECT_EQ(csv.exitCode, 0);
    EXPECT_EQ(csv.err, "");
    EXPECT_EQ(csv.out, "index,search,SMTP-Debug-261205.log,SMTP-Debug-261206.log,total\r\n"
                       "0,\"Relay denied, sorry\",1,2,3\r\n"
                       "1,\"say \"\"hi\"\"\",1,0,1\r\n"
                       "2,\"Timeout\r\n\",1,0,1\r\n"
                       "3,zur\xC3\xBC"
                       "ckgewiesen,0,1,1\r\n"
                       "4,'=SUM(A1),0,1,1\r\n");

    // For people: a row per event, a column per day named by the date, the search string last.
    const ProgramResult people = Scan(args);
    EXPECT_EQ(people.exitCode, 0);
    EXPECT_EQ(people.out, "Files: SMTP-Debug-<column>.log\n\n"
                          "EVENT  261205  261206  TOTAL  SEARCH\n"
                          "    0       1       2      3  Relay denied, sorry\n"
                          "    1       1       0      1  say \"hi\"\n"
                          "    2       1       0      1  Timeout<CRLF>\n"
                          "    3       0       1      1  zur\xC3\xBC"
                          "ckgewiesen\n"
                          "    4       0       1      1  =SUM(A1)\n");
}

TEST_F(SummaryCliTest, PeopleAreToldWhenThereIsNothingToShow) {
    struct Case {
        std::map<std::string, std::string> logs;
        std::string out;
    } cases[] = {
        {{}, "No debug log files of SMTP.\n"},
        {{{kDay1, kQuiet}}, "No catalogued events found in 1 debug log file of SMTP.\n"},
        {{{kDay1, kQuiet}, {kDay2, ""}}, "No catalogued events found in 2 debug log files of SMTP.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        WriteLogs(c.logs);
        const ProgramResult result = Scan({"summary", "SMTP", "--catalogue", Catalogue()});
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, "");
    }
    // A single file keeps its whole name as its column's label.
    WriteLogs({{kDay1, kLog2}});
    EXPECT_EQ(
        Scan({"summary", "SMTP", "--catalogue", Catalogue()}).out.rfind("EVENT  " + kDay1 + "  TOTAL", 0),
        0u);
}

TEST_F(SummaryCliTest, AFileThatCannotBeReadKeepsItsColumnOfZeros) {
    WriteLogs({{kDay1, kLog1}, {kDay2, kLog2}});
    fs::permissions(debug_ + "/" + kDay1, fs::perms::none);
    std::string program = kScanProgram;
    std::vector<std::string> args = {"summary", "SMTP", "--catalogue", Catalogue(), "--csv"};
    if (::geteuid() == 0) {
        // Permissions do not stop root: run as an unprivileged user, who needs to reach the files.
        if (!fs::exists("/usr/bin/setpriv"))
            GTEST_SKIP() << "no setpriv to run the program as an unprivileged user";
        fs::permissions(dir_.Path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec |
                                         fs::perms::group_read | fs::perms::others_read);
        program = "/usr/bin/setpriv";
        args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", kScanProgram});
    }
    const ProgramResult result = RunProgram(program, args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "Unable to open log file. " + debug_ + "/" + kDay1 + ": Permission denied\n");
    EXPECT_EQ(result.out, "index,search,SMTP-Debug-261205.log,SMTP-Debug-261206.log,total\r\n"
                          "0,\"Relay denied, sorry\",0,2,2\r\n"
                          "3,zur\xC3\xBC"
                          "ckgewiesen,0,1,1\r\n"
                          "4,'=SUM(A1),0,1,1\r\n");
}

TEST_F(SummaryCliTest, ScanCsvListsTheEventsWithLinksAndExplanations) {
    WriteLogs({{kDay2, kLog2}});
    const ProgramResult result = Scan({"scan", "SMTP", kDay2, "--catalogue", Catalogue(), "--csv"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, "index,count,search,link,explanation\r\n"
                          "0,2,\"Relay denied, sorry\",L0,E0\r\n"
                          "3,1,zur\xC3\xBC"
                          "ckgewiesen,L3,\"E3, twice\"\r\n"
                          "4,1,'=SUM(A1),L4,E4\r\n");
}

TEST_F(SummaryCliTest, OptionsThatDoNotGoTogetherAreUsageErrors) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"summary"}, "summary needs one SOURCE"},
        {{"summary", "SMTP", kDay1}, "summary needs one SOURCE"},
        {{"summary", "SMTP", "--log", "x.log"}, "option --log does not apply to summary"},
        {{"summary", "SMTP", "--json", "--csv"}, "--json and --csv cannot be given together"},
        {{"files", "SMTP", "--csv"}, "option --csv does not apply to files"},
        {{"instances", "SMTP", kDay1, "--event", "0", "--csv"}, "option --csv does not apply to instances"},
        {{"help", "frobnicate"}, "unknown command 'frobnicate'"},
        {{"help", "scan", "summary"}, "help takes at most one COMMAND"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const ProgramResult result = Scan(c.args);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "brindlemar-scan: " + c.message + "\nTry 'brindlemar-scan --help'.\n");
    }
}

TEST_F(SummaryCliTest, SourcesSaysWhenThereIsNoSettingsFile) {
    fs::remove(dir_.File("registry.reg"));
    const ProgramResult people = Scan({"sources"});
    EXPECT_EQ(people.exitCode, 0);
    EXPECT_EQ(people.out.rfind("Settings: none, no registry export file could be read at " +
                                   dir_.File("registry.reg") +
                                   " (No such file or directory); no directory is set\n",
                               0),
              0u)
        << people.out;
    const ProgramResult json = Scan({"sources", "--json"});
    EXPECT_EQ(json.out.rfind(R"({"registryFile":null,"debugStatus":)", 0), 0u) << json.out;
}

} // namespace
