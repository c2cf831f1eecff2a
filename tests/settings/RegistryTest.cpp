#include <gtest/gtest.h>

#include <sys/stat.h>

#include <climits>
#include <memory>

#include "RegFileWriter.h"
#include "settings/Registry.h"
#include "support/TestSupport.h"
#include "text/Paths.h"

using settings_test::JoinLines;
using settings_test::Regedit4File;
using settings_test::Version5File;
using testing_support::ReadBytes;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

// Points BRINDLEMAR_REGISTRY at registry.reg in a temporary directory for one test.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { env_ = std::make_unique<ScopedEnv>("BRINDLEMAR_REGISTRY", path_); }
    void TearDown() override { env_.reset(); }

    void Write(const std::string& bytes) { WriteBytes(path_, bytes); }
    void WriteVersion5(std::string_view body) { Write(Version5File(body)); }

    TempDir dir_;
    std::string path_ = dir_.File("registry.reg");
    std::unique_ptr<ScopedEnv> env_;
};

const std::string kTest = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]";

} // namespace

TEST_F(RegistryTest, ReadRegistryString) {
    using namespace std::string_literals;
    struct Row {
        std::string line;
        std::string expected;
    };
    const Row rows[] = {
        {R"("Other"="x")", ""},                            // missing value
        {R"("V"="")", ""},                                 // empty text
        {R"("V"="C:\\Logs\\SMTP")", "C:\\Logs\\SMTP"},     // exactly 12 characters
        {R"("V"="  padded\\  ")", "  padded\\  "},         // nothing trimmed
        {R"("V"=hex(1):43,00,3a,00,5c,00,4c,00)", "C:\\"}, // no terminating zero: last one lost
        {R"("V"=hex(2):25,00,53,00,52,00,25,00,5c,00,4c,00,00,00)", "%SR%\\L"}, // unexpanded
        {R"("V"=hex:41,42,43)", "AB"}, // any type: its bytes minus the last
        {R"("V"=dword:00434241)", "ABC"},
        {R"("V"=hex:)", ""},
        {R"("V"=hex(7):61,00,00,00,62,00,00,00,00,00)", "a\0b\0"s},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        WriteVersion5(JoinLines({kTest, row.line}));
        EXPECT_EQ(settings::ReadRegistryString("SOFTWARE\\Test", "V"), row.expected);
        EXPECT_EQ(settings::ReadRegistryString("software\\TEST", "v"), row.expected);
        EXPECT_EQ(settings::ReadRegistryString("SOFTWARE\\Missing", "V"), "");
    }
}

TEST_F(RegistryTest, ReadRegistryDword) {
    struct Row {
        std::string line;
        std::int32_t expected;
    };
    const Row rows[] = {
        {R"("V"=dword:00000001)", 1},
        {R"("V"="1")", 0}, // a number stored as text
        {R"("V"=dword:ffffffff)", -1},
        {R"("V"=dword:80000000)", INT_MIN},
        {R"("V"=dword:7fffffff)", INT_MAX},
        {R"("V"=hex(4):01,02,03,04)", 0x04030201},
        {R"("V"=hex(4):01,02)", 0x0201},
        {R"("V"=hex(4):01,02,03,04,05,06,07,08)", 0}, // too long for a 32-bit number
        {R"("V"=hex(5):00,00,00,01)", 0},             // big-endian DWORD
        {R"("V"=hex(b):01,00,00,00,00,00,00,00)", 0}, // QWORD
        {R"("V"=hex:01,00,00,00)", 0},
        {R"("Other"=dword:00000001)", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        WriteVersion5(JoinLines({kTest, row.line}));
        EXPECT_EQ(settings::ReadRegistryDword("SOFTWARE\\Test", "V"), row.expected);
        EXPECT_EQ(settings::ReadRegistryDword("SOFTWARE\\Missing", "V"), 0);
    }
}

TEST_F(RegistryTest, DirectoryRules) {
    const std::string smtp = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brindlemar\\Brindlemar\\Connectors\\SMTP]";
    const std::string root = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brindlemar\\Brindlemar]";
    const std::string pop = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brindlemar\\Brindlemar\\Services\\POP]";
    const std::string popc = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brindlemar\\Brindlemar\\Connectors\\POP]";
    const std::string mta = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brindlemar\\Brindlemar\\Agents\\MTA]";
    const std::string dataLogs = JoinLines({smtp, R"("Debug Log File Directory"="C:\\Data\\Logs\\SMTP")",
                                            R"("Activity Log Directory"="C:\\Data\\Activity\\SMTP")"});
    struct Row {
        const char* name;
        std::string body;
        std::string source;
        std::string debug;
        std::string activity;
    };
    const Row rows[] = {
        {"POP without a value takes the SMTP connector's, less \\SMTP", dataLogs + JoinLines({pop}), "POP",
         "C:\\Data\\Logs", ""},
        {"smtp reads the SMTP connector's key itself", dataLogs, "smtp", "C:\\Data\\Logs\\SMTP",
         "C:\\Data\\Activity\\SMTP"},
        {"every \\SMTP of the fallback is removed",
         JoinLines({smtp, R"("Debug Log File Directory"="C:\\SMTPLogs\\SMTP")"}), "POP", "C:Logs", ""},
        {"\\smtp in lower case is kept", JoinLines({smtp, R"("Debug Log File Directory"="D:\\Logs\\smtp")"}),
         "LS", "D:\\Logs\\smtp", ""},
        {"removal does not rescan what it joined",
         JoinLines({smtp, R"("Debug Log File Directory"="\\S\\SMTPMTP")"}), "SF", "\\SMTP", ""},
        {"POP and POPC read different keys",
         dataLogs + JoinLines({pop, R"("Debug Log File Directory"="P:\\pop")", popc,
                               R"("Debug Log File Directory"="P:\\popc")"}),
         "POPC", "P:\\popc", ""},
        {"POP reads the POP service's key",
         dataLogs + JoinLines({pop, R"("Debug Log File Directory"="P:\\pop")",
                               R"("Activity Log Directory"="A:\\pop")", popc,
                               R"("Debug Log File Directory"="P:\\popc")"}),
         "POP", "P:\\pop", "A:\\pop"},
        {"mta is upper-cased",
         JoinLines({mta, R"("Debug Log File Directory"="M:\\mta")", R"("Activity Log Directory"="A:\\mta")"}),
         "mta", "M:\\mta", "A:\\mta"},
        {"MTA", JoinLines({mta, R"("Debug Log File Directory"="M:\\mta")"}), "MTA", "M:\\mta", ""},
        {"a trailing blank reads the root key",
         dataLogs + JoinLines({root, R"("Debug Log File Directory"="R:\\root")",
                               R"("Activity Log Directory"="A:\\root")"}),
         "SMTP ", "R:\\root", "A:\\root"},
        {"an unknown code reads the root key", JoinLines({root, R"("Debug Log File Directory"="R:\\root")"}),
         "IMAP", "R:\\root", ""},
        {"the empty code reads the root key", JoinLines({root, R"("Debug Log File Directory"="R:\\root")"}),
         "", "R:\\root", ""},
        {"nothing set anywhere", JoinLines({pop}), "POP", "", ""},
        {"an empty value takes the fallback, an empty activity value stays",
         dataLogs + JoinLines({pop, R"("Debug Log File Directory"="")", R"("Activity Log Directory"="")"}),
         "POP", "C:\\Data\\Logs", ""},
        {"values come back exactly as stored",
         JoinLines(
             {pop, R"("Debug Log File Directory"="%LOGS%\\pop\\ ")", R"("Activity Log Directory"=" a\\")"}),
         "POP", "%LOGS%\\pop\\ ", " a\\"},
        {"HTTPMAIL",
         JoinLines({"[HKLM\\SOFTWARE\\Brindlemar\\Brindlemar\\Services\\HTTPMail]",
                    R"("Debug Log File Directory"="H:\\h")"}),
         "HttpMail", "H:\\h", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WriteVersion5(row.body);
        EXPECT_EQ(settings::GetDebugLogDirectory(row.source), row.debug);
        EXPECT_EQ(settings::GetActivityLogDirectory(row.source), row.activity);
    }
}

TEST_F(RegistryTest, SourceKeys) {
    const std::pair<const char*, const char*> rows[] = {
        {"HTTPMAIL", "\\services\\httpmail"},
        {"SMTP", "\\connectors\\smtp"},
        {"LS", "\\connectors\\ls"},
        {"MTA", "\\agents\\mta"},
        {"POP", "\\services\\pop"},
        {"POPC", "\\connectors\\pop"},
        {"SF", "\\connectors\\sf"},
        {"sf", "\\connectors\\sf"},
        {" SF", ""},
        {"SFX", ""},
        {"", ""},
    };
    for (const auto& [source, subkey] : rows) {
        SCOPED_TRACE(source);
        EXPECT_EQ(settings::SourceKeyPath(source), std::string(settings::kRootKey) + subkey);
    }
}

TEST_F(RegistryTest, EveryCallReadsTheFileAfreshAndNeverWritesIt) {
    WriteVersion5(JoinLines({kTest, R"("V"="one")"}));
    EXPECT_EQ(settings::ReadRegistryString("SOFTWARE\\Test", "V"), "one");
    const std::string second = Regedit4File(JoinLines({kTest, R"("V"="two")"}));
    Write(second);
    EXPECT_EQ(settings::ReadRegistryString("SOFTWARE\\Test", "V"), "two");
    EXPECT_TRUE(settings::RegistryProblems().empty());
    EXPECT_EQ(ReadBytes(path_), second);
    std::filesystem::remove(path_);
    EXPECT_EQ(settings::ReadRegistryString("SOFTWARE\\Test", "V"), "");
}

TEST_F(RegistryTest, MissingFileIsAnEmptyRegistrySilently) {
    EXPECT_EQ(settings::RegistryFilePath(), path_);
    EXPECT_EQ(settings::ReadRegistryString("SOFTWARE\\Test", "V"), "");
    EXPECT_EQ(settings::ReadRegistryDword("SOFTWARE\\Test", "V"), 0);
    EXPECT_EQ(settings::GetDebugLogDirectory("SMTP"), "");
    EXPECT_EQ(settings::LibraryServerHost(), settings::kDefaultLibraryHost);
    EXPECT_TRUE(settings::RegistryProblems().empty());
}

TEST(RegistryFilePath, DefaultsBesideTheProgram) {
    const std::string beside = text::JoinPath(text::ProgramDirectory(), "registry.reg");
    ScopedEnv empty("BRINDLEMAR_REGISTRY", "");
    EXPECT_EQ(settings::RegistryFilePath(), beside);
    ::unsetenv("BRINDLEMAR_REGISTRY");
    EXPECT_EQ(settings::RegistryFilePath(), beside);
}

TEST_F(RegistryTest, ProblemsNameTheFileAndLine) {
    WriteVersion5(JoinLines({kTest, R"("V"="good")", R"("W"=dword:xyz)", "", "junk"}));
    EXPECT_EQ(settings::ReadRegistryString("SOFTWARE\\Test", "V"), "good");
    EXPECT_EQ(settings::ReadRegistryDword("SOFTWARE\\Test", "W"), 0);
    const std::vector<std::string> problems = settings::RegistryProblems();
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].rfind(path_ + ", line 5: ", 0), 0u) << problems[0];
    EXPECT_EQ(problems[1].rfind(path_ + ", line 7: ", 0), 0u) << problems[1];
}

TEST_F(RegistryTest, UnreadableFilesGiveEmptyResultsAndAProblem) {
    std::filesystem::create_directory(path_);
    EXPECT_EQ(settings::ReadRegistryString("SOFTWARE\\Test", "V"), "");
    ASSERT_EQ(settings::RegistryProblems().size(), 1u);
    EXPECT_EQ(settings::RegistryProblems()[0].rfind(path_ + ": ", 0), 0u);
    std::filesystem::remove(path_);

    // A FIFO without a writer would block an open for reading: it must not be opened at all.
    ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
    EXPECT_EQ(settings::ReadRegistryString("SOFTWARE\\Test", "V"), "");
    EXPECT_EQ(settings::RegistryProblems().size(), 1u);
    std::filesystem::remove(path_);

    ScopedEnv device("BRINDLEMAR_REGISTRY", "/dev/zero"); // never ends
    EXPECT_EQ(settings::ReadRegistryDword("SOFTWARE\\Test", "V"), 0);
    EXPECT_EQ(settings::RegistryProblems().size(), 1u);
}

TEST_F(RegistryTest, EnormousFileIsReadUpToTheCap) {
    std::string file = Regedit4File(JoinLines({kTest, R"("V"="before the cap")"}));
    file += ';';
    file.append((std::size_t{65} << 20) - file.size(), 'x');
    file += "\r\n" + JoinLines({kTest, R"("W"="after the cap")"});
    Write(file);
    EXPECT_EQ(settings::ReadRegistryString("SOFTWARE\\Test", "V"), "before the cap");
    EXPECT_EQ(settings::ReadRegistryString("SOFTWARE\\Test", "W"), "");
    const std::vector<std::string> problems = settings::RegistryProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("64 MiB"), std::string::npos) << problems[0];
}

TEST_F(RegistryTest, LibraryServerHost) {
    const std::string key = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brindlemar\\Brindlemar\\Utilities\\Log Analysis]";
    const std::pair<std::string, std::string> rows[] = {
        {R"("Library Server"="127.0.0.1:8080")", "127.0.0.1:8080"},
        {R"("library server"="mirror.example")", "mirror.example"},
        {R"("Library Server"="")", std::string(settings::kDefaultLibraryHost)},
        {R"("Library Server"=dword:00000001)", std::string(settings::kDefaultLibraryHost)},
        {R"("Library Server"=hex(1):68,00,00,00,78,00,00,00)", "h"},
        {R"("Other"="x")", std::string(settings::kDefaultLibraryHost)},
    };
    for (const auto& [line, expected] : rows) {
        SCOPED_TRACE(line);
        WriteVersion5(JoinLines({key, line}));
        EXPECT_EQ(settings::LibraryServerHost(), expected);
    }
}
