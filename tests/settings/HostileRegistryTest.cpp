// Registry export files no Registry Editor writes, which the settings readers must still answer from: NUL
// and end-of-file (0x1A) bytes, a file of nothing, a file of a million lines.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "RegFileWriter.h"
#include "settings/Registry.h"
#include "support/TestSupport.h"

namespace {

using settings_test::JoinLines;
using settings_test::Regedit4File;
using settings_test::Version5File;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteBytes;

const std::string kSmtpKey = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brindlemar\\Brindlemar\\Connectors\\SMTP]";
const std::string kAnalysisKey =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brindlemar\\Brindlemar\\Utilities\\Log Analysis]";

class HostileRegistryTest : public ::testing::Test {
protected:
    TempDir dir_;
    std::string path_ = dir_.File("registry.reg");
    ScopedEnv env_{"BRINDLEMAR_REGISTRY", path_};
};

TEST_F(HostileRegistryTest, NulAndEndOfFileBytesSpoilOnlyTheirOwnLines) {
    const std::string nul(1, '\0');
    const std::string body =
        JoinLines({kSmtpKey, R"("Debug Log File Directory"="/logs/smtp")",
                   "\"Activity Log Directory\"=\"/logs/" + nul + "act\"", "\x1a" + nul + "junk", kAnalysisKey,
                   R"("Debug Status"=dword:00000001)"});
    const struct {
        const char* name;
        std::string bytes;
    } rows[] = {
        {"REGEDIT4 ending in an end-of-file byte", Regedit4File(body) + "\x1a"},
        {"version 5 ending in an end-of-file byte", Version5File(body) + std::string("\x1a\0", 2)},
        {"REGEDIT4 with NUL bytes after the end", Regedit4File(body) + std::string(64, '\0')},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        WriteBytes(path_, row.bytes);
        EXPECT_EQ(settings::GetDebugLogDirectory("SMTP"), "/logs/smtp");
        EXPECT_EQ(settings::ReadRegistryDword(settings::kLogAnalysisKey, "Debug Status"), 1);
        // A NUL inside a value is one of its bytes; the line of junk and the trailing bytes are problems
        // that name their lines.
        EXPECT_EQ(settings::GetActivityLogDirectory("SMTP"), "/logs/" + nul + "act");
        const auto problems = settings::RegistryProblems();
        ASSERT_EQ(problems.size(), 2u);
        EXPECT_EQ(problems[0].rfind(path_ + ", line 6: ", 0), 0u) << problems[0];
        EXPECT_EQ(problems[1].rfind(path_ + ", line 9: ", 0), 0u) << problems[1];
    }
}

TEST_F(HostileRegistryTest, AnEmptyFileIsAnEmptyRegistryWithOneProblem) {
    // Kernel pseudo-files tell a size of 0 and are not read at all, so they are empty files too (read to
    // their end, /proc/self/mem would fail and /proc/kmsg would block for ever).
    WriteBytes(path_, "");
    std::filesystem::create_symlink("/proc/self/status", dir_.File("status.reg"));
    for (const std::string& path : {path_, dir_.File("status.reg"), std::string("/proc/self/mem")}) {
        SCOPED_TRACE(path);
        ScopedEnv env("BRINDLEMAR_REGISTRY", path);
        EXPECT_EQ(settings::GetDebugLogDirectory("SMTP"), "");
        EXPECT_EQ(settings::ReadRegistryDword(settings::kLogAnalysisKey, "Debug Status"), 0);
        EXPECT_EQ(settings::LibraryServerHost(), settings::kDefaultLibraryHost);
        const auto problems = settings::RegistryProblems();
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_EQ(problems[0].rfind(path, 0), 0u) << problems[0];
        EXPECT_NE(problems[0].find("empty"), std::string::npos) << problems[0];
    }
}

TEST_F(HostileRegistryTest, AMillionLinesAreReadAndTheProblemsStayFew) {
    // Half a million values in keys of their own and half a million lines that cannot be read; the keys the
    // program reads come last.
    std::string file = "REGEDIT4\r\n\r\n";
    for (int i = 0; i < 500000; ++i) {
        if (i % 1000 == 0)
            file += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other\\K" + std::to_string(i) + "]\r\n";
        file += "\"V" + std::to_string(i) + "\"=\"value\"\r\nnot a registry line\r\n";
    }
    file += "\r\n" + kSmtpKey + "\r\n\"Debug Log File Directory\"=\"/logs/smtp\"\r\n";
    WriteBytes(path_, file);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(settings::GetDebugLogDirectory("SMTP"), "/logs/smtp");
    EXPECT_EQ(settings::ReadRegistryString("SOFTWARE\\Other\\K499000", "V499999"), "value");
    const auto problems = settings::RegistryProblems();
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    // One text per problem up to a fixed number, then one line that counts the rest.
    ASSERT_GT(problems.size(), 1u);
    EXPECT_LE(problems.size(), 1001u);
    EXPECT_NE(problems.back().find("more lines could not be read"), std::string::npos) << problems.back();
    std::printf(
        "[ figures ] export file of %zu MiB, a million lines: three reads in %lld ms, %zu problem texts\n",
        file.size() >> 20, static_cast<long long>(took.count()), problems.size());
}

} // namespace
