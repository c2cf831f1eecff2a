// The road of an administrator with a registry export made on the mail server: Windows paths in a version-5
// export file, the logs copied into drives/c/... beside it, and brindlemar-scan listing, scanning and
// reading transcripts without the export being edited.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
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

// The file as the Registry Editor saves it: UTF-16LE with a byte order mark (the text here is ASCII).
std::string Version5Export(const std::string& body) {
    const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n" + body;
    std::string bytes = "\xFF\xFE";
    for (char c : text) {
        bytes.push_back(c);
        bytes.push_back('\0');
    }
    return bytes;
}

// A REG_EXPAND_SZ value as the Registry Editor writes it: hex(2) of the UTF-16LE text and its zero.
std::string ExpandString(const std::string& text) {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string hex = "hex(2):";
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        hex += {kDigits[b >> 4], kDigits[b & 0xF]};
        hex += ",00,";
    }
    return hex + "00,00";
}

const std::string kCatalogue = "Relay denied\tL\tE\r\nTimeout<CRLF>\tL\tE\r\n";
const std::string kDebugLog = "SMTP\t07/12/26 10:15:30\t[conn 1]\tRelay denied for x@example.com\r\n"
                              "SMTP\t07/12/26 10:16:02\t[conn 2]\tRead Timeout\r\n";
const std::string kActivityLog = "07/12/26 10:15:29 [1] Connection from 192.0.2.7\r\n"
                                 "07/12/26 10:15:30 [1] *** Relay denied\r\n";

class DrivesCliTest : public ::testing::Test {
protected:
    DrivesCliTest() {
        // The copied tree keeps neither the case of every folder nor the drive's letter case.
        const fs::path c = dir_.Path() / "drives" / "c";
        fs::create_directories(c / "program files" / "Brindlemar" / "logs" / "SMTP" / "Debug");
        fs::create_directories(c / "Logs" / "SMTP" / "Activity");
        WriteBytes((c / "program files/Brindlemar/logs/SMTP/Debug/SMTP-Debug-261207.log").string(),
                   kDebugLog);
        WriteBytes((c / "Logs/SMTP/Activity/SMTP-Activity-261207.log").string(), kActivityLog);
        WriteBytes(dir_.File("catalogue.tab"), kCatalogue);
        WriteBytes(
            registry_,
            Version5Export("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brindlemar\\Brindlemar\\Connectors\\SMTP]\r\n"
                           "\"Debug Log File Directory\"=\"C:\\\\Program Files\\\\Brindlemar\\\\Logs\\\\SMTP"
                           "\\\\Debug\"\r\n"
                           "\"Activity Log Directory\"=" +
                           ExpandString("%SystemDrive%\\Logs\\SMTP\\Activity") +
                           "\r\n\r\n"
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brindlemar\\Brindlemar\\Services\\POP]\r\n"
                           "\"Debug Log File Directory\"=\"\\\\\\\\MAILHOST\\\\Logs\\\\POP\"\r\n"
                           "\"Activity Log Directory\"=\"/var/empty/pop\"\r\n"));
    }
    static ProgramResult Scan(const std::vector<std::string>& args) { return RunProgram(kScanProgram, args); }

    TempDir dir_;
    std::string registry_ = dir_.File("registry.reg");
    ScopedEnv registryEnv_{"BRINDLEMAR_REGISTRY", registry_};
    ScopedEnv drivesEnv_{"BRINDLEMAR_DRIVES", ""};
    std::string drives_ = dir_.File("drives");
};

TEST_F(DrivesCliTest, CopiedLogsAreListedScannedAndTheirTranscriptsFound) {
    const ProgramResult files = Scan({"files", "SMTP", "--json"});
    EXPECT_EQ(files.exitCode, 0) << files.err;
    EXPECT_EQ(files.out, R"({"dir":"C:\\Program Files\\Brindlemar\\Logs\\SMTP\\Debug",)"
                         R"("files":["SMTP-Debug-261207.log"]})"
                         "\n");
    EXPECT_EQ(files.err, "");

    const ProgramResult scan =
        Scan({"scan", "SMTP", "SMTP-Debug-261207.log", "--catalogue", dir_.File("catalogue.tab")});
    EXPECT_EQ(scan.exitCode, 0) << scan.err;
    EXPECT_EQ(scan.out, "0 [1]  Relay denied\n1 [1]  Timeout<CRLF>\n");

    const ProgramResult transcript = Scan({"transcript", "SMTP", "SMTP-Debug-261207.log", "--catalogue",
                                           dir_.File("catalogue.tab"), "--event", "0", "--instance", "0"});
    EXPECT_EQ(transcript.exitCode, 0) << transcript.err;
    EXPECT_EQ(transcript.out, "Activity log: " + drives_ +
                                  "/c/Logs/SMTP/Activity/SMTP-Activity-261207.log\n"
                                  "->07/12/26 10:15:29 [1] Connection from 192.0.2.7\n"
                                  "07/12/26 10:15:30 [1] *** Relay denied\n");
}

TEST_F(DrivesCliTest, SourcesSayWhereEachDirectoryIsFoundOrWhyNot) {
    const std::string smtpDebug = drives_ + "/c/program files/Brindlemar/logs/SMTP/Debug";
    const ProgramResult json = Scan({"sources", "--json"});
    EXPECT_EQ(json.exitCode, 0) << json.err;
    EXPECT_NE(json.out.find(R"({"code":"SMTP","debugDir":"C:\\Program Files\\Brindlemar\\Logs\\SMTP\\Debug",)"
                            R"("debugPath":")" +
                            smtpDebug +
                            R"(","activityDir":"%SystemDrive%\\Logs\\SMTP\\Activity","activityPath":")" +
                            drives_ + R"(/c/Logs/SMTP/Activity"})"),
              std::string::npos)
        << json.out;
    // A UNC path not copied is not found; a Linux path is used as it stands.
    EXPECT_NE(json.out.find(R"({"code":"POP","debugDir":"\\\\MAILHOST\\Logs\\POP","debugPath":null,)"
                            R"("activityDir":"/var/empty/pop","activityPath":"/var/empty/pop"})"),
              std::string::npos)
        << json.out;

    const ProgramResult people = Scan({"sources"});
    EXPECT_EQ(people.exitCode, 0) << people.err;
    EXPECT_EQ(people.out.rfind(
                  "Settings: " + registry_ + "\nDebug Status: 0\nDrive folder: " + drives_ + "\n\n", 0),
              0u)
        << people.out;
    EXPECT_NE(people.out.find("\n          found: " + smtpDebug), std::string::npos) << people.out;
    EXPECT_NE(people.out.find("found: " + drives_ + "/c/Logs/SMTP/Activity\n"), std::string::npos)
        << people.out;
    EXPECT_NE(people.out.find("\n          not found: no folder \"unc\" in " + drives_ + "\n"),
              std::string::npos)
        << people.out;
}

TEST_F(DrivesCliTest, TheDriveFolderComesFromTheOptionTheEnvironmentOrBesideTheExport) {
    fs::rename(drives_, dir_.File("copied"));
    const std::string wanted = R"("files":["SMTP-Debug-261207.log"]})";
    struct Row {
        std::string name;
        std::vector<std::string> extra;
        std::string environment;
        bool listed;
    } rows[] = {
        {"beside the export, not there", {}, "", false},
        {"--drives", {"--drives", dir_.File("copied")}, "", true},
        {"--drives=", {"--drives=" + dir_.File("copied")}, dir_.File("absent"), true},
        {"BRINDLEMAR_DRIVES", {}, dir_.File("copied"), true},
        {"BRINDLEMAR_DRIVES, not there", {}, dir_.File("absent"), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedEnv environment("BRINDLEMAR_DRIVES", row.environment);
        std::vector<std::string> args = {"files", "SMTP", "--json"};
        args.insert(args.end(), row.extra.begin(), row.extra.end());
        const ProgramResult result = Scan(args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.out.find(wanted) != std::string::npos, row.listed) << result.out;
    }
    // Without the logs, people are told where the program looked.
    const ProgramResult people = Scan({"files", "SMTP"});
    EXPECT_EQ(people.out, "Debug log directory: C:\\Program Files\\Brindlemar\\Logs\\SMTP\\Debug\n"
                          "  not found: there is no drive folder " +
                              drives_ + "\nNo debug log files of SMTP.\n");
    const ProgramResult empty = Scan({"files", "SMTP", "--drives="});
    EXPECT_EQ(empty.exitCode, 2);
    EXPECT_EQ(empty.err.rfind("brindlemar-scan: option --drives needs a folder\n", 0), 0u) << empty.err;
}

} // namespace
