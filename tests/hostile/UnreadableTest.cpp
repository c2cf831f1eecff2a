// Files and directories the program may not read. The tests run as root here, for whom permissions stop
// nothing, so each case runs in a child process that has given up root for the unprivileged user 65534
// (or, when not root, as the user itself, for whom mode 000 is enough).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "RunProgram.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "scan/LogFiles.h"
#include "scan/Matcher.h"
#include "scan/Scan.h"
#include "settings/Registry.h"
#include "support/TestSupport.h"
#include "transcript/Transcript.h"

namespace {

using testing_support::ReadBytes;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteBytes;
namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

// Runs `body` as an unprivileged user and gives the text it returns; "cannot drop privileges" when root
// cannot become that user.
std::string RunUnprivileged(const std::function<std::string()>& body) {
    if (::geteuid() != 0)
        return body();
    int out[2];
    if (::pipe(out) != 0)
        return "pipe failed";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        std::string result;
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0 ||
            ::getuid() == 0)
            result = "cannot drop privileges";
        else
            result = body();
        const char* data = result.data();
        std::size_t left = result.size();
        while (left > 0) {
            const ssize_t n = ::write(out[1], data, left);
            if (n <= 0)
                break;
            data += n;
            left -= static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(out[1]);
    std::string result;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0)
        result.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status))
        return "the child did not finish";
    return result;
}

class UnreadableTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The directories are open to everyone; the files in them are not.
        fs::permissions(dir_.Path(), fs::perms::all);
        fs::create_directory(dir_.Path() / "program");
        fs::create_directory(dir_.Path() / "locked");
        WriteBytes(dir_.File("SMTP-Debug-1.log"), "1\t07/12/26 10:15:30\tRelay denied\r\n");
        WriteBytes(dir_.File("SMTP-Activity-1.log"), "07/12/26 10:15:00 activity\r\n");
        WriteBytes(dir_.File("SMTP-Analysis.tab"), "Relay denied\tL\tE\r\n");
        WriteBytes(dir_.File("registry.reg"),
                   "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\r\n\"V\"=\"x\"\r\n");
        WriteBytes(dir_.File("program/SMTP-Analysis.tab"), kOld);
        WriteBytes(dir_.File("locked/SMTP-Debug-2.log"), "x\r\n");
        for (const char* name :
             {"SMTP-Debug-1.log", "SMTP-Activity-1.log", "SMTP-Analysis.tab", "registry.reg", "locked"})
            fs::permissions(dir_.Path() / name, fs::perms::none);
        // The program directory may be read and entered, not written.
        fs::permissions(dir_.Path() / "program", fs::perms::owner_read | fs::perms::owner_exec |
                                                     fs::perms::group_read | fs::perms::group_exec |
                                                     fs::perms::others_read | fs::perms::others_exec);
        fs::permissions(dir_.File("program/SMTP-Analysis.tab"),
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }

    const std::string kOld = "old\tL\tE\r\n";
    TempDir dir_;
};

TEST_F(UnreadableTest, EachReaderGivesItsMessageOrEmptyResult) {
    const std::string log = dir_.File("SMTP-Debug-1.log");
    const struct {
        const char* name;
        std::function<std::string()> run;
        std::string expected;
    } rows[] = {
        {"counting scan",
         [&] {
             std::vector<std::int32_t> counts{5};
             const auto status = scan::CountEvents(log, scan::EventMatcher({"Relay denied", ""}), counts);
             return status.description + " " + std::to_string(counts.size()) + std::to_string(counts[0]) +
                    std::to_string(counts[1]);
         },
         "Permission denied 200"},
        {"instance list",
         [&] {
             scan::InstanceLines lines;
             const auto status = lines.Build(log, "Relay denied");
             return status.description + " " + std::to_string(lines.Size());
         },
         "Permission denied 0"},
        {"a debug log directory that cannot be listed",
         [&] {
             std::vector<std::string> names{"stale"};
             const auto status = scan::ListDebugLogFiles(dir_.File("locked"), "SMTP", names);
             return status.description + " " + std::to_string(names.size());
         },
         "Permission denied 0"},
        {"an unreadable log is still listed (its scan says why it cannot be read)",
         [&] {
             std::vector<std::string> names;
             const auto status = scan::ListDebugLogFiles(dir_.Path().string(), "SMTP", names);
             return std::string(status.ok ? "ok" : status.description) + " " +
                    (names.size() == 1 ? names[0] : std::to_string(names.size()));
         },
         "ok SMTP-Debug-1.log"},
        {"catalogue loader",
         [&] {
             catalogue::Catalogue loaded{{"kept"}, {"L"}, {"E"}};
             const auto outcome = catalogue::LoadCatalogueFile(dir_.File("SMTP-Analysis.tab"), loaded);
             return std::string(outcome.kind == catalogue::LoadOutcome::Kind::NotOpened ? "NotOpened" : "?") +
                    " " + outcome.description + " " + loaded.strings[0];
         },
         "NotOpened Permission denied kept"},
        {"catalogue store into a directory that may not be written",
         [&] {
             const std::string path = dir_.File("program/SMTP-Analysis.tab");
             const auto status = catalogue::StoreCatalogue(path, "new\tL\tE\r\n");
             return status.description + " " + ReadBytes(path);
         },
         "Permission denied " + kOld},
        {"transcript",
         [&] {
             const auto result = transcript::LookupTranscript("1\t07/12/26 10:15:30\tx", "SMTP-Debug-1.log",
                                                              dir_.Path().string());
             return std::string(result.kind == transcript::TranscriptResult::Kind::NoActivityFile
                                    ? "NoActivityFile"
                                    : "?") +
                    " [" + result.text + "]";
         },
         "NoActivityFile []"},
        {"registry export file",
         [&] {
             ScopedEnv registry("BRINDLEMAR_REGISTRY", dir_.File("registry.reg"));
             const auto problems = settings::RegistryProblems();
             std::string shown = "(";
             shown += settings::ReadRegistryString("SOFTWARE\\T", "V");
             shown += ") ";
             shown.append(problems.size() == 1 ? problems[0] : std::to_string(problems.size()));
             return shown;
         },
         "() " + dir_.File("registry.reg") + ": cannot be read: Permission denied"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string result = RunUnprivileged(row.run);
        if (result == "cannot drop privileges")
            GTEST_SKIP() << "root cannot become user " << kNobody
                         << " here, and permissions do not stop root";
        EXPECT_EQ(result, row.expected);
    }
}

TEST_F(UnreadableTest, TheCommandLineSaysTheLogCannotBeOpened) {
    // brindlemar-scan run as the unprivileged user, as an administrator's script would.
    std::vector<std::string> args = {
        BRINDLEMAR_SCAN_PROGRAM,       "scan",        "--log",
        dir_.File("SMTP-Debug-1.log"), "--catalogue", dir_.File("program/SMTP-Analysis.tab")};
    std::string program = BRINDLEMAR_SCAN_PROGRAM;
    if (::geteuid() == 0) {
        if (!fs::exists("/usr/bin/setpriv"))
            GTEST_SKIP() << "no setpriv to run the program as an unprivileged user";
        program = "/usr/bin/setpriv";
        args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups"});
    } else {
        args.erase(args.begin());
    }
    // The build directory must be reachable for the unprivileged user.
    const cli_test::ProgramResult result = cli_test::RunProgram(program, args);
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(
        result.err.find("Unable to open log file. " + dir_.File("SMTP-Debug-1.log") + ": Permission denied"),
        std::string::npos)
        << result.err;
}

} // namespace
