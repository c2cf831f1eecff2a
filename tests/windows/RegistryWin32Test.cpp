// The registry readers against the real registry of the test's own Wine prefix (or Windows machine): the
// test writes the mail server's keys into both registry views and reads them back through the readers.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "settings/Registry.h"

namespace {

constexpr const char* kTestRoot = "SOFTWARE\\Brindlemar";

enum class View { Bits32, Bits64 };

REGSAM ViewFlag(View view) {
    return view == View::Bits32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

void RemoveTestKeys() {
    for (const View view : {View::Bits32, View::Bits64}) {
        HKEY software = nullptr;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS | ViewFlag(view), &software) ==
            ERROR_SUCCESS) {
            ::RegDeleteTreeA(software, "Brindlemar");
            ::RegCloseKey(software);
        }
    }
}

// Writes one value (raw bytes of the given type) into the key in the given view, creating the key.
void WriteValue(View view, const std::string& key, const std::string& name, DWORD type,
                const std::string& data) {
    HKEY handle = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE | ViewFlag(view),
                                nullptr, &handle, nullptr),
              ERROR_SUCCESS)
        << key;
    const LONG written =
        ::RegSetValueExA(handle, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                         static_cast<DWORD>(data.size()));
    ::RegCloseKey(handle);
    ASSERT_EQ(written, ERROR_SUCCESS) << key << " " << name;
}

void WriteString(View view, const std::string& key, const std::string& name, const std::string& text) {
    WriteValue(view, key, name, REG_SZ, text + std::string(1, '\0'));
}

std::string Dword(std::uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

// Wine's ntdll exports wine_get_version; Windows' does not.
bool RunningUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

const std::string kSmtpKey(settings::kSmtpConnectorKey);

class RegistryWin32 : public ::testing::Test {
protected:
    void SetUp() override { RemoveTestKeys(); }
    void TearDown() override { RemoveTestKeys(); }
};

TEST_F(RegistryWin32, ValueTypesReadAsTheReadersDefine) {
    const std::string key = std::string(settings::kRootKey) + "\\Types";
    struct Row {
        const char* name;
        DWORD type;
        std::string data;
        std::string text;    // ReadRegistryString
        std::int32_t number; // ReadRegistryDword
    };
    const std::vector<Row> rows = {
        {"plain", REG_SZ, std::string("C:\\Logs\\SMTP\0", 13), "C:\\Logs\\SMTP", 0},
        {"empty", REG_SZ, std::string("\0", 1), "", 0},
        // Windows hands the stored bytes back; Wine adds the missing zero itself, so nothing is lost there.
        {"no terminator", REG_SZ, "C:\\Logs", RunningUnderWine() ? "C:\\Logs" : "C:\\Log", 0},
        {"unexpanded", REG_EXPAND_SZ, std::string("%SystemRoot%\\Logs\0", 18), "%SystemRoot%\\Logs", 0},
        {"cp1252", REG_SZ, std::string("C:\\Journaux\\\xe9t\xe9\0", 16), "C:\\Journaux\\\xe9t\xe9", 0},
        {"one", REG_DWORD, Dword(1), std::string("\x01\x00\x00", 3), 1},
        {"all bits", REG_DWORD, Dword(0xFFFFFFFFu), "\xff\xff\xff", -1},
        {"number as text", REG_SZ, std::string("1\0", 2), "1", 0},
        {"big endian", REG_DWORD_BIG_ENDIAN, Dword(1), std::string("\x01\x00\x00", 3), 0},
        {"qword", REG_QWORD, Dword(1) + Dword(0), std::string("\x01\x00\x00\x00\x00\x00\x00", 7), 0},
    };
    for (const Row& row : rows)
        WriteValue(View::Bits32, key, row.name, row.type, row.data);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(settings::ReadRegistryString(key, row.name), row.text);
        EXPECT_EQ(settings::ReadRegistryDword(key, row.name), row.number);
    }
    EXPECT_EQ(settings::ReadRegistryString(key, "missing"), "");
    EXPECT_EQ(settings::ReadRegistryDword(key, "missing"), 0);
    EXPECT_EQ(settings::ReadRegistryString(key + "\\Missing", "plain"), "");
    // Key and value names are matched without regard to case.
    EXPECT_EQ(settings::ReadRegistryString("software\\brindlemar\\BRINDLEMAR\\types", "PLAIN"),
              "C:\\Logs\\SMTP");
}

TEST_F(RegistryWin32, TheThirtyTwoBitViewComesFirst) {
    struct Row {
        const char* name;
        bool in32;
        bool in64;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"both views: the 32-bit one wins", true, true, "D:\\Logs32\\SMTP"},
        {"only the 64-bit view", false, true, "D:\\Logs64\\SMTP"},
        {"only the 32-bit view", true, false, "D:\\Logs32\\SMTP"},
        {"neither", false, false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RemoveTestKeys();
        if (row.in32)
            WriteString(View::Bits32, kSmtpKey, "Debug Log File Directory", "D:\\Logs32\\SMTP");
        if (row.in64)
            WriteString(View::Bits64, kSmtpKey, "Debug Log File Directory", "D:\\Logs64\\SMTP");
        EXPECT_EQ(settings::GetDebugLogDirectory("SMTP"), row.expected);
    }
}

TEST_F(RegistryWin32, AKeyFoundInTheThirtyTwoBitViewIsTheOneRead) {
    // The server's key is in the 32-bit view; a stray value of the same name in the 64-bit view is not mixed
    // in.
    WriteString(View::Bits32, kSmtpKey, "Activity Log Directory", "D:\\Activity");
    WriteString(View::Bits64, kSmtpKey, "Debug Log File Directory", "D:\\Elsewhere");
    EXPECT_EQ(settings::GetActivityLogDirectory("SMTP"), "D:\\Activity");
    EXPECT_EQ(settings::ReadRegistryString(kSmtpKey, "Debug Log File Directory"), "");
}

TEST_F(RegistryWin32, ResolversOverTheRealRegistry) {
    WriteString(View::Bits32, kSmtpKey, "Debug Log File Directory", "C:\\Data\\Logs\\SMTP");
    WriteString(View::Bits32, std::string(settings::kRootKey) + "\\services\\pop", "Activity Log Directory",
                "C:\\Data\\Activity\\POP");
    WriteValue(View::Bits32, std::string(settings::kLogAnalysisKey), "Debug Status", REG_DWORD, Dword(1));
    WriteString(View::Bits32, std::string(settings::kLogAnalysisKey), "Library Server", "127.0.0.1:8080");
    struct Row {
        const char* source;
        std::string debugDir;
        std::string activityDir;
    };
    const std::vector<Row> rows = {
        {"SMTP", "C:\\Data\\Logs\\SMTP", ""},
        {"smtp", "C:\\Data\\Logs\\SMTP", ""},
        {"POP", "C:\\Data\\Logs", "C:\\Data\\Activity\\POP"},
        {"POPC", "C:\\Data\\Logs", ""},
        {"NOPE", "C:\\Data\\Logs", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.source);
        EXPECT_EQ(settings::GetDebugLogDirectory(row.source), row.debugDir);
        EXPECT_EQ(settings::GetActivityLogDirectory(row.source), row.activityDir);
    }
    EXPECT_EQ(settings::ReadRegistryDword(settings::kLogAnalysisKey, settings::kDebugStatusValue), 1);
    EXPECT_EQ(settings::LibraryServerHost(), "127.0.0.1:8080");
    EXPECT_TRUE(settings::RegistryProblems().empty());
}

} // namespace
