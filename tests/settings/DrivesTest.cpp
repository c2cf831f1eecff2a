// Windows paths of the settings looked up in a real drive folder in a temporary directory: drive entries of
// either case, with or without the colon, links, UNC, case differences, refused components, variables; and
// where the drive folder comes from, through real export files.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "RegFileWriter.h"
#include "settings/Drives.h"
#include "settings/Registry.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using settings_test::JoinLines;
using settings_test::Version5File;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteBytes;

// drives/ holds c (a directory), D: (a link to a directory outside), E (upper case) and unc.
class DrivesTest : public ::testing::Test {
protected:
    DrivesTest() {
        for (const char* dir :
             {"drives/c/Program Files/Brindlemar/Logs/SMTP/Debug", "drives/c/Logs/SMTP/Activity",
              "drives/c/Windows/Logs", "drives/c/Dup/Logs", "drives/c/Dup/LOGS", "drives/c/Dup/lOGS",
              "drives/c/Twin/LOGS", "drives/c/Twin/logs",
              "elsewhere/Mail/d\xC3\xA9"
              "bug",
              "elsewhere/Raw/R\xE9sum\xE9", "drives/E/Data", "drives/unc/MAILHOST/Logs/POP"})
            fs::create_directories(dir_.Path() / dir);
        fs::create_directory_symlink(dir_.Path() / "elsewhere", dir_.Path() / "drives" / "D:");
        // A file is no folder, whatever its name.
        WriteBytes(dir_.File("drives/c/Logs/SMTP/Plain"), "x");
    }
    std::string Drives() const { return dir_.File("drives"); }
    TempDir dir_;
};

TEST_F(DrivesTest, WindowsPathsAreFoundUnderTheDriveFolder) {
    using namespace std::string_literals;
    struct Row {
        std::string value;
        bool expandable;
        std::string expected; // below the temporary directory; "" when not found
    };
    const std::string pf = "drives/c/Program Files/Brindlemar/Logs/SMTP/Debug";
    const Row rows[] = {
        {"C:\\Program Files\\Brindlemar\\Logs\\SMTP\\Debug", false, pf},
        {"c:\\Program Files\\Brindlemar\\Logs\\SMTP\\Debug", false, pf},   // lower-case drive letter
        {"C:\\PROGRAM FILES\\brindlemar\\LOGS\\smtp\\debug", false, pf},   // every component in another case
        {"C:\\Program Files\\Brindlemar\\Logs\\SMTP\\Debug\\", false, pf}, // trailing backslash
        {"C:\\Program Files\\\\Brindlemar\\Logs\\SMTP\\Debug", false, pf}, // empty component
        {"C:/Program Files/Brindlemar/Logs/SMTP/Debug", false, pf},        // Windows takes "/" too
        {"C:Logs\\SMTP\\Activity", false, "drives/c/Logs/SMTP/Activity"},  // from the drive's root
        {"C:", false, "drives/c"},
        {"d:\\Mail\\D\xE9"
         "bug",
         false,
         "drives/D:/Mail/d\xC3\xA9"
         "bug"}, // the colon entry, a link; ANSI value, UTF-8 name on disk
        {"D:\\MAIL\\D\xC9"
         "BUG",
         false,
         "drives/D:/Mail/d\xC3\xA9"
         "bug"},                                                        // non-ASCII letters of either case
        {"D:\\Raw\\r\xC9SUM\xC9", false, "drives/D:/Raw/R\xE9sum\xE9"}, // a name on disk kept in ANSI
        {"e:\\data", false, "drives/E/Data"},                           // upper-case drive entry
        {"C:\\Dup\\Logs", false, "drives/c/Dup/Logs"},                  // the exact one wins
        {"C:\\Dup\\logs", false, "drives/c/Dup/LOGS"},                  // else the first in byte order
        {"C:\\Twin\\Logs", false, "drives/c/Twin/LOGS"},                //
        {"\\\\MAILHOST\\Logs\\POP", false, "drives/unc/MAILHOST/Logs/POP"},   // UNC
        {"\\\\mailhost\\logs\\pop\\", false, "drives/unc/MAILHOST/Logs/POP"}, //
        {"%SystemDrive%\\Logs\\SMTP\\Activity", true, "drives/c/Logs/SMTP/Activity"},
        {"%systemroot%\\Logs", true, "drives/c/Windows/Logs"},
        {"%SystemDrive%\\Logs\\SMTP\\Activity", false,
         "%SystemDrive%\\Logs\\SMTP\\Activity"},               // REG_SZ: as is
        {"/var/log/brindlemar", false, "/var/log/brindlemar"}, // no Windows path
        {"Logs\\SMTP", false, "Logs\\SMTP"},
        {"", false, ""},
        {"/var/log/%LOGS%", true, "/var/log/%LOGS%"},
        // Not found.
        {"C:\\Logs\\SMTP\\Debug", false, ""},       // a missing component
        {"C:\\Logs\\SMTP\\Plain", false, ""},       // a file, not a folder
        {"F:\\Logs", false, ""},                    // a drive that is not there
        {"C:\\Logs\\..\\Windows\\Logs", false, ""}, // ".." refused
        {"C:\\.\\Logs", false, ""},                 // "." refused
        {"\\\\..\\c\\Logs", false, ""},             //
        {"\\\\", false, ""},                        // no server
        {"%ProgramFiles%\\Brindlemar", true, ""},   // a variable this machine cannot know
        {"C:\\%LOGDIR%\\SMTP", true, ""},           //
        {"C:\\Logs\0\\SMTP"s, false, ""},           // a zero byte
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        const settings::LocalDirectory local =
            settings::ResolveUnderDrives(row.value, row.expandable, Drives());
        const bool windows =
            !row.value.empty() && (row.expected.empty() || row.expected.rfind("drives", 0) == 0);
        EXPECT_EQ(local.windowsPath, windows);
        if (row.expected.empty() && !row.value.empty()) {
            EXPECT_FALSE(local.found);
            EXPECT_NE(local.problem, "");
            EXPECT_EQ(local.path, row.value); // unchanged, so it finds nothing
        } else {
            EXPECT_TRUE(local.found) << local.problem;
            EXPECT_EQ(local.path, windows ? dir_.File(row.expected) : row.expected);
        }
    }
}

TEST_F(DrivesTest, ProblemsSayWhereTheLookupStopped) {
    struct Row {
        std::string value;
        bool expandable;
        std::string problem;
    };
    const std::string drives = Drives();
    const Row rows[] = {
        {"C:\\Logs\\SMTP\\Debug", false, "no folder \"Debug\" in " + drives + "/c/Logs/SMTP"},
        {"F:\\Logs", false, "no drive f (or f:) in " + drives},
        {"C:\\Logs\\..\\x", false, "a \"..\" component is not followed"},
        {"%ProgramFiles%\\x", true,
         "%ProgramFiles% cannot be expanded here (only %SystemDrive% and %SystemRoot% are)"},
        {"\\\\HOST\\share", false, "no folder \"HOST\" in " + drives + "/unc"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(settings::ResolveUnderDrives(row.value, row.expandable, drives).problem, row.problem);
    }
    const auto missing = settings::ResolveUnderDrives("C:\\Logs", false, dir_.File("nothing"));
    EXPECT_FALSE(missing.found);
    EXPECT_EQ(missing.problem, "there is no drive folder " + dir_.File("nothing"));
    // Without a drive folder (the settings are this machine's own) a Windows path is used as it stands.
    const auto own = settings::ResolveUnderDrives("C:\\Logs", false, "");
    EXPECT_TRUE(own.found);
    EXPECT_FALSE(own.windowsPath);
    EXPECT_EQ(own.path, "C:\\Logs");
}

TEST_F(DrivesTest, ShownPathIsAnsiText) {
    const auto local = settings::ResolveUnderDrives("D:\\mail\\d\xE9"
                                                    "bug",
                                                    false, Drives() + "/");
    ASSERT_TRUE(local.found) << local.problem;
    EXPECT_EQ(local.path, Drives() + "/D:/Mail/d\xC3\xA9"
                                     "bug");
    EXPECT_EQ(local.shown, Drives() + "/D:/Mail/d\xE9"
                                      "bug");
}

// The settings of the tests below: SMTP with a REG_SZ debug directory and a REG_EXPAND_SZ activity
// directory, POP without a debug directory of its own (the SMTP connector's stands in).
class DriveFolderTest : public DrivesTest {
protected:
    DriveFolderTest() {
        fs::create_directories(dir_.Path() / "drives/c/Logs/SMTP/Debug");
        fs::create_directories(dir_.Path() / "drives/c/Logs/Debug");
        // "%SystemDrive%\Logs\SMTP\Activity" as the Registry Editor writes a REG_EXPAND_SZ.
        std::string expand = "hex(2):";
        for (char c : std::string("%SystemDrive%\\Logs\\SMTP\\Activity"))
            expand += settings_test::HexByte(c) + ",00,";
        expand += "00,00";
        WriteBytes(registry_, Version5File(JoinLines({
                                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brindlemar\\Brindlemar\\Connectors\\SMTP]",
                                  R"("Debug Log File Directory"="C:\\Logs\\SMTP\\Debug")",
                                  "\"Activity Log Directory\"=" + expand,
                              })));
    }
    std::string registry_ = dir_.File("registry.reg");
    ScopedEnv registryEnv_{"BRINDLEMAR_REGISTRY", registry_};
};

TEST_F(DriveFolderTest, DirectoriesOfASourceAreFoundBesideTheExportFile) {
    ScopedEnv drives("BRINDLEMAR_DRIVES", "");
    EXPECT_EQ(settings::DrivesFolder(), Drives());
    EXPECT_EQ(settings::GetActivityLogDirectory("SMTP"), "%SystemDrive%\\Logs\\SMTP\\Activity"); // as stored
    EXPECT_EQ(settings::LocalActivityLogDirectory("SMTP"), Drives() + "/c/Logs/SMTP/Activity");
    EXPECT_EQ(settings::GetDebugLogDirectory("SMTP"), "C:\\Logs\\SMTP\\Debug");
    EXPECT_EQ(settings::LocalDebugLogDirectory("smtp"), Drives() + "/c/Logs/SMTP/Debug");
    // The fallback for POP is the SMTP connector's directory without "\SMTP".
    EXPECT_EQ(settings::LocalDebugLogDirectory("POP"), Drives() + "/c/Logs/Debug");
    const settings::LocalDirectory activity = settings::FindActivityLogDirectory("POP");
    EXPECT_TRUE(activity.found);
    EXPECT_FALSE(activity.windowsPath);
    EXPECT_EQ(activity.path, "");
}

TEST_F(DriveFolderTest, TheCommandLineAndTheEnvironmentChooseAnotherDriveFolder) {
    fs::create_directories(dir_.Path() / "copied/C/logs/smtp/debug");
    ScopedEnv drives("BRINDLEMAR_DRIVES", dir_.File("copied"));
    EXPECT_EQ(settings::DrivesFolder(), dir_.File("copied"));
    EXPECT_EQ(settings::LocalDebugLogDirectory("SMTP"), dir_.File("copied/C/logs/smtp/debug"));
    const settings::LocalDirectory activity = settings::FindActivityLogDirectory("SMTP");
    EXPECT_FALSE(activity.found);
    EXPECT_EQ(activity.path, "%SystemDrive%\\Logs\\SMTP\\Activity");

    settings::SetDrivesFolder(Drives());
    EXPECT_EQ(settings::DrivesFolder(), Drives());
    EXPECT_EQ(settings::LocalDebugLogDirectory("SMTP"), Drives() + "/c/Logs/SMTP/Debug");
    settings::SetDrivesFolder("");
    EXPECT_EQ(settings::DrivesFolder(), dir_.File("copied"));
}

} // namespace
