// The demo environment generator, run for real, and brindlemar-scan run over what it made: the catalogued
// events are in the logs, anchored search strings end their lines, and transcripts are there to be found.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "RunProgram.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using cli_test::ProgramResult;
using cli_test::RunProgram;
using nlohmann::json;
using testing_support::ReadBytes;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteBytes;

const std::string kScanProgram = BRINDLEMAR_SCAN_PROGRAM;
const std::string kDemoProgram = BRINDLEMAR_DEMO_PROGRAM;
const std::string kSampleCatalogues = BRINDLEMAR_SAMPLE_CATALOGUES;
// Where the demo's logs lie, as copied off the server's C: drive.
const std::string kLogs = "drives/c/Program Files/Brindlemar/Logs";

const std::map<std::string, std::string> kCatalogues = {
    {"SMTP", "Relay denied for\tL\tE\r\n"
             "421 Too many connections<CRLF>\tL\tE\r\n"
             "Mailbox full\tL\tE\r\n"
             "Timeout waiting for DATA\tL\tE\r\n"
             "Sender address rejected\tL\tE\r\n"
             "Message refus\xE9<CRLF>\tL\tE\r\n"},
    {"POP", "Authentication failed\tL\tE\r\n-ERR mailbox locked\tL\tE\r\n"},
    {"HTTPMAIL", "Session expired\tL\tE\r\n"},
    {"MTA", "Delivery failed: quota exceeded\tL\tE\r\nLoop detected<CRLF>\tL\tE\r\n"},
};

json ScanJson(const std::vector<std::string>& args) {
    const ProgramResult result = RunProgram(kScanProgram, args);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    return json::parse(result.out);
}

class DemoTest : public ::testing::Test {
protected:
    DemoTest() {
        fs::create_directories(dir_.Path() / "cat");
        for (const auto& [code, text] : kCatalogues)
            WriteBytes(Catalogue(code), text);
    }
    std::string Catalogue(const std::string& code) const {
        return dir_.File("cat/" + code + "-Analysis.tab");
    }
    ProgramResult MakeDemo(const std::string& target, const std::string& catalogues) const {
        return RunProgram(kDemoProgram,
                          {target, "--catalogues", catalogues, "--library-host", "127.0.0.1:1234"});
    }
    TempDir dir_;
};

TEST_F(DemoTest, ScannerFindsTheDemosEventsAndTranscripts) {
    const std::string env = dir_.File("env");
    const auto made = MakeDemo(env, dir_.File("cat"));
    ASSERT_EQ(made.exitCode, 0) << made.err;
    ScopedEnv registry("BRINDLEMAR_REGISTRY", env + "/registry.reg");

    // The server's Windows paths, found in the drive folder beside the export file.
    const json sources = ScanJson({"sources", "--json"});
    ASSERT_EQ(sources["sources"].size(), 7u);
    for (const auto& source : sources["sources"]) {
        const std::string code = source["code"];
        SCOPED_TRACE(code);
        EXPECT_EQ(source["debugDir"], "C:\\Program Files\\Brindlemar\\Logs\\" + code + "\\Debug");
        EXPECT_EQ(source["debugPath"], env + "/" + kLogs + "/" + code + "/Debug");
        EXPECT_EQ(source["activityDir"],
                  "%SystemDrive%\\Program Files\\Brindlemar\\Logs\\" + code + "\\Activity");
        EXPECT_EQ(source["activityPath"], env + "/" + kLogs + "/" + code + "/Activity");
    }
    EXPECT_EQ(sources["debugStatus"], 0);

    for (const auto& [code, unused] : kCatalogues) {
        SCOPED_TRACE(code);
        const json files = ScanJson({"files", code, "--json"});
        ASSERT_EQ(files["files"], json::array({code + "-Debug-261205.log", code + "-Debug-261206.log",
                                               code + "-Debug-261207.log"}));
        std::map<int, int> total;
        for (const std::string file : files["files"]) {
            const json scan = ScanJson({"scan", code, file, "--catalogue", Catalogue(code), "--json"});
            for (const auto& event : scan["events"])
                total[event["index"].get<int>()] += event["count"].get<int>();
        }
        // Several entries occur, at different frequencies.
        EXPECT_GE(total.size(), code == "SMTP" ? 4u : 1u);
        for (const auto& [index, count] : total)
            EXPECT_GT(count, 0) << "entry " << index;
    }

    // The anchored entries end their lines (the decoded cp1252 one too), and each has a transcript.
    const std::string day = "SMTP-Debug-261207.log";
    for (const auto& [event, tail] : std::map<std::string, std::string>{{"1", "421 Too many connections"},
                                                                        {"5", "Message refus\xC3\xA9"}}) {
        SCOPED_TRACE("event " + event);
        const json instances = ScanJson(
            {"instances", "SMTP", day, "--catalogue", Catalogue("SMTP"), "--event", event, "--json"});
        ASSERT_FALSE(instances["instances"].empty());
        for (const std::string line : instances["instances"])
            EXPECT_EQ(line.substr(line.size() - tail.size()), tail) << line;
        const json transcript = ScanJson({"transcript", "SMTP", day, "--catalogue", Catalogue("SMTP"),
                                          "--event", event, "--instance", "0", "--json"});
        EXPECT_EQ(transcript["activityFile"], "SMTP-Activity-261207.log");
        EXPECT_EQ(transcript["found"], true);
        const std::string text = transcript["transcript"];
        EXPECT_NE(text.find("->"), std::string::npos) << text;
        EXPECT_NE(text.find(tail), std::string::npos) << text; // the conversation holds the event itself
    }
}

// The lines as the line reader sees them, and whether every line ended in CR LF.
std::vector<std::string> CrLfLines(const std::string& bytes, bool& onlyCrLf) {
    std::vector<std::string> lines;
    onlyCrLf = bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            onlyCrLf = false;
        if (bytes[i] == '\r') {
            if (i + 1 >= bytes.size() || bytes[i + 1] != '\n')
                onlyCrLf = false;
            lines.push_back(bytes.substr(start, i - start));
            start = i + 2;
            ++i;
        }
    }
    return lines;
}

// "dd/mm/yy hh:nn:ss", digits where the pattern has letters.
bool IsTimeStamp(std::string_view text) {
    constexpr std::string_view pattern = "00/00/00 00:00:00";
    if (text.size() != pattern.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (pattern[i] == '0' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != pattern[i])
            return false;
    return true;
}

// SOURCE TAB stamp TAB "[conn n]" TAB message, the message without TAB.
bool IsDebugLine(const std::string& line, const std::string& code) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    return fields.size() == 4 && fields[0] == code && IsTimeStamp(fields[1]) &&
           fields[2].rfind("[conn ", 0) == 0 && fields[2].back() == ']';
}

TEST_F(DemoTest, LogsFollowTheServersConventions) {
    const std::string env = dir_.File("env");
    ASSERT_EQ(MakeDemo(env, dir_.File("cat")).exitCode, 0);

    bool onlyCrLf = false;
    const auto debug =
        CrLfLines(ReadBytes(env + "/" + kLogs + "/SMTP/Debug/SMTP-Debug-261206.log"), onlyCrLf);
    EXPECT_TRUE(onlyCrLf);
    EXPECT_GT(debug.size(), 1000u);
    EXPECT_LT(debug.size(), 20000u);
    bool highBytes = false;
    for (const auto& line : debug) {
        ASSERT_TRUE(IsDebugLine(line, "SMTP")) << line;
        EXPECT_EQ(line.substr(5, 8), "06/12/26");
        highBytes = highBytes || std::any_of(line.begin(), line.end(), [](char c) { return c & 0x80; });
    }
    EXPECT_TRUE(highBytes) << "the logs hold cp1252 text";

    const auto activity =
        CrLfLines(ReadBytes(env + "/" + kLogs + "/SMTP/Activity/SMTP-Activity-261206.log"), onlyCrLf);
    EXPECT_TRUE(onlyCrLf);
    EXPECT_GT(activity.size(), 1000u);
    for (std::size_t i = 0; i < activity.size(); ++i) {
        ASSERT_TRUE(IsTimeStamp(activity[i].substr(0, 17)) && activity[i].size() > 18 &&
                    activity[i][17] == ' ')
            << activity[i];
        if (i > 0) {
            EXPECT_LE(activity[i - 1].substr(0, 17), activity[i].substr(0, 17)) << "in time order";
        }
    }

    // The export as the Registry Editor saves it: UTF-16LE with a byte order mark (ASCII text here).
    const std::string bytes = ReadBytes(env + "/registry.reg");
    ASSERT_EQ(bytes.rfind("\xFF\xFE", 0), 0u);
    std::string reg;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        ASSERT_EQ(bytes[i + 1], '\0');
        reg.push_back(bytes[i]);
    }
    EXPECT_EQ(reg.rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u);
    EXPECT_NE(
        reg.find(
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brindlemar\\Brindlemar\\connectors\\pop]\r\n"
            "\"Debug Log File Directory\"=\"C:\\\\Program Files\\\\Brindlemar\\\\Logs\\\\POPC\\\\Debug\"\r\n"
            "\"Activity Log Directory\"=hex(2):25,00,53,00,79,00,73,00,"),
        std::string::npos)
        << reg;
    EXPECT_NE(reg.find("\"Library Server\"=\"127.0.0.1:1234\"\r\n"), std::string::npos);
    EXPECT_NE(reg.find("\"Debug Status\"=dword:00000000\r\n"), std::string::npos);
}

TEST_F(DemoTest, SameArgumentsGiveTheSameLogs) {
    ASSERT_EQ(MakeDemo(dir_.File("a"), dir_.File("cat")).exitCode, 0);
    ASSERT_EQ(MakeDemo(dir_.File("b"), dir_.File("cat")).exitCode, 0);
    // And again over an earlier demo.
    ASSERT_EQ(MakeDemo(dir_.File("b"), dir_.File("cat")).exitCode, 0);
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.Path() / "a" / "drives")) {
        if (!entry.is_regular_file())
            continue;
        const auto relative = fs::relative(entry.path(), dir_.Path() / "a");
        SCOPED_TRACE(relative.string());
        EXPECT_EQ(ReadBytes(entry.path().string()), ReadBytes((dir_.Path() / "b" / relative).string()));
        ++files;
    }
    EXPECT_EQ(files, 7u * 3u * 2u);
}

TEST_F(DemoTest, NeverWritesIntoSomeoneElsesDirectory) {
    const std::string target = dir_.File("server");
    fs::create_directories(target);
    WriteBytes(target + "/registry.reg", "REGEDIT4\r\n");
    const auto result = MakeDemo(target, dir_.File("cat"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("already holds registry.reg"), std::string::npos) << result.err;
    EXPECT_EQ(ReadBytes(target + "/registry.reg"), "REGEDIT4\r\n");
    EXPECT_FALSE(fs::exists(target + "/drives"));

    EXPECT_EQ(RunProgram(kDemoProgram, {dir_.File("x")}).exitCode, 2) << "--catalogues is needed";
    const auto noCatalogues = MakeDemo(dir_.File("x"), dir_.File("absent"));
    EXPECT_EQ(noCatalogues.exitCode, 1);
    EXPECT_EQ(noCatalogues.err, "brindlemar-demo: no catalogue directory " + dir_.File("absent") + "\n");
    EXPECT_FALSE(fs::exists(dir_.File("x")));
}

TEST_F(DemoTest, SampleCataloguesGiveEventsToFind) {
    if (!fs::exists(kSampleCatalogues + "/SMTP-Analysis.tab"))
        GTEST_SKIP() << "no sample catalogues in " << kSampleCatalogues;
    const std::string env = dir_.File("env");
    const auto made = MakeDemo(env, kSampleCatalogues);
    ASSERT_EQ(made.exitCode, 0) << made.err;
    ScopedEnv registry("BRINDLEMAR_REGISTRY", env + "/registry.reg");
    for (const char* code : {"SMTP", "POP", "HTTPMAIL", "MTA"}) {
        SCOPED_TRACE(code);
        if (!fs::exists(kSampleCatalogues + "/" + code + "-Analysis.tab"))
            continue;
        const json scan = ScanJson({"scan", code, std::string(code) + "-Debug-261207.log", "--catalogue",
                                    kSampleCatalogues + "/" + code + "-Analysis.tab", "--json"});
        EXPECT_GE(scan["events"].size(), 3u) << scan.dump();
    }
}

} // namespace
