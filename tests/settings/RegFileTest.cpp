#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "RegFileWriter.h"
#include "settings/RegFile.h"

using settings::kRegBinary;
using settings::kRegDword;
using settings::kRegExpandSz;
using settings::kRegMultiSz;
using settings::kRegSz;
using settings::ParseRegFile;
using settings::RegFileContents;
using settings::RegValue;
using settings_test::JoinLines;
using settings_test::Regedit4File;
using settings_test::Version5File;

namespace {

constexpr std::string_view kKey = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]";
constexpr std::string_view kKeyPath = "SOFTWARE\\Test";

enum class Format { Version5, Regedit4 };

std::string MakeFile(Format format, std::string_view body) {
    return format == Format::Version5 ? Version5File(body) : Regedit4File(body);
}

// The data of a value, nullopt when it is missing (so a failing check reports instead of crashing).
std::optional<std::string> DataOf(const RegFileContents& contents, std::string_view key,
                                  std::string_view name) {
    const RegValue* value = contents.Find(key, name);
    return value ? std::optional<std::string>(value->data) : std::nullopt;
}

std::string Lines(const RegFileContents& contents) {
    std::string out;
    for (const auto& problem : contents.problems)
        out += std::to_string(problem.line) + ": " + problem.message + "\n";
    return out;
}

} // namespace

TEST(RegFile, ValueTypesAndEscapes) {
    using namespace std::string_literals;
    struct Row {
        Format format;
        std::string line;
        RegValue expected;
    };
    const Row rows[] = {
        {Format::Version5, R"("V"="C:\\Logs\\SMTP")", {kRegSz, "C:\\Logs\\SMTP\0"s}},
        {Format::Regedit4, R"("V"="C:\\Logs\\SMTP")", {kRegSz, "C:\\Logs\\SMTP\0"s}},
        {Format::Version5, R"("V"="say \"hi\"")", {kRegSz, "say \"hi\"\0"s}},
        {Format::Version5, R"("V"="")", {kRegSz, "\0"s}},
        {Format::Version5, R"("V"="C:\Logs")", {kRegSz, "C:\\Logs\0"s}}, // a lone backslash stays
        {Format::Version5, "\"V\"=\"caf\xe9 \x80\"", {kRegSz, "caf\xe9 \x80\0"s}},
        {Format::Regedit4, "\"V\"=\"caf\xe9 \x80\"", {kRegSz, "caf\xe9 \x80\0"s}},
        {Format::Version5, R"("V"=dword:00000001)", {kRegDword, "\x01\0\0\0"s}},
        {Format::Version5, R"("V"=DWORD:FfFfFfFf)", {kRegDword, "\xff\xff\xff\xff"s}},
        {Format::Regedit4, R"("V"=dword:1a)", {kRegDword, "\x1a\0\0\0"s}},
        {Format::Version5, R"("V"=hex:01,02,ff)", {kRegBinary, "\x01\x02\xff"s}},
        {Format::Version5, R"("V"=hex:)", {kRegBinary, ""}},
        {Format::Version5, R"("V"=hex:0a, 0B ,c)", {kRegBinary, "\x0a\x0b\x0c"}},
        {Format::Version5, R"("V"=hex(b):01,00,00,00,00,00,00,80)", {11, "\x01\0\0\0\0\0\0\x80"s}},
        {Format::Version5, R"("V"=hex(0):)", {0, ""}},
        {Format::Version5, R"("V"=hex(ffffffff):01)", {0xffffffffu, "\x01"}},
        // Strings held as hex are UTF-16LE in version 5 files, converted as the "A" functions do.
        {Format::Version5, R"("V"=hex(2):25,00,53,00,52,00,25,00,00,00)", {kRegExpandSz, "%SR%\0"s}},
        {Format::Version5, R"("V"=hex(7):61,00,00,00,62,00,00,00,00,00)", {kRegMultiSz, "a\0b\0\0"s}},
        {Format::Version5, R"("V"=hex(1):41,00,42,00)", {kRegSz, "AB"}}, // no terminating zero
        {Format::Version5, R"("V"=hex(1):41,00,42)", {kRegSz, "A"}},     // odd length
        {Format::Version5, R"("V"=hex(1):e9,00,ac,20,2d,4e)", {kRegSz, "\xe9\x80?"}},
        {Format::Version5, R"("V"=hex(4):01,00,00,00)", {kRegDword, "\x01\0\0\0"s}}, // not converted
        // ... and taken as stored in REGEDIT4 files.
        {Format::Regedit4, R"("V"=hex(2):25,53,25,00)", {kRegExpandSz, "%S%\0"s}},
        {Format::Regedit4, R"("V"=hex(1):41,00,42,00)", {kRegSz, "A\0B\0"s}},
        // Blanks around "=" and after the data are tolerated; indentation too.
        {Format::Version5, "  \"V\" = \"x\"  ", {kRegSz, "x\0"s}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        const RegFileContents contents = ParseRegFile(MakeFile(row.format, JoinLines({kKey, row.line})));
        EXPECT_TRUE(contents.problems.empty()) << Lines(contents);
        const RegValue* value = contents.Find(kKeyPath, "V");
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->type, row.expected.type);
        EXPECT_EQ(value->data, row.expected.data);
    }
}

TEST(RegFile, NamesEscapesDefaultValueAndCase) {
    using namespace std::string_literals;
    const auto contents = ParseRegFile(Version5File(JoinLines({
        "[HKLM\\Software\\Test]",
        R"(@="default")",
        R"("a \"quoted\" \\ name"="q")",
        "\"\xc9t\xe9\"=\"accent\"",
        R"("Mixed"="first")",
        "[hkey_local_machine\\SOFTWARE\\TEST]",
        R"("MIXED"="second")",
    })));
    EXPECT_TRUE(contents.problems.empty()) << Lines(contents);
    ASSERT_EQ(contents.keys.size(), 1u);
    EXPECT_EQ(contents.keys.begin()->second.path, "Software\\Test"); // first spelling kept
    ASSERT_NE(contents.Find("software\\test", ""), nullptr);
    EXPECT_EQ(DataOf(contents, "software\\test", ""), "default\0"s);
    ASSERT_NE(contents.Find(kKeyPath, "A \"QUOTED\" \\ NAME"), nullptr);
    ASSERT_NE(contents.Find(kKeyPath, "\xc9T\xc9"), nullptr); // cp1252 letters compared without case
    EXPECT_EQ(DataOf(contents, kKeyPath, "mixed"), "second\0"s);
    EXPECT_EQ(DataOf(contents, "SOFTWARE\\Test\\", "mixed"), "second\0"s); // trailing "\" ignored
    EXPECT_EQ(contents.Find(kKeyPath, "missing"), nullptr);
    EXPECT_EQ(contents.Find("SOFTWARE\\Other", "mixed"), nullptr);
}

TEST(RegFile, ContinuationLines) {
    using namespace std::string_literals;
    const auto contents = ParseRegFile(Version5File(JoinLines({
        kKey,
        "\"Multi\"=hex(7):43,00,3a,00,5c,00,\\",
        "  41,00,00,00,\\",
        "  00,00",
        R"("Bin"=hex:01,02,  \)",
        "\t03",
        R"("After"="ok")",
    })));
    EXPECT_TRUE(contents.problems.empty()) << Lines(contents);
    EXPECT_EQ(DataOf(contents, kKeyPath, "Multi"), "C:\\A\0\0"s);
    EXPECT_EQ(DataOf(contents, kKeyPath, "Bin"), "\x01\x02\x03");
    EXPECT_EQ(DataOf(contents, kKeyPath, "After"), "ok\0"s);
}

TEST(RegFile, CutContinuationDoesNotSwallowTheNextKey) {
    using namespace std::string_literals;
    // Line 4's data promises a continuation, but line 5 starts a key: the value is dropped, the key read.
    const auto contents = ParseRegFile(Version5File(JoinLines({
        kKey,
        R"("Cut"=hex:01,02,\)",
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Next]",
        R"("V"="next")",
        R"("AtEnd"=hex:01,\)",
    })));
    EXPECT_EQ(contents.Find(kKeyPath, "Cut"), nullptr);
    EXPECT_EQ(DataOf(contents, "SOFTWARE\\Next", "V"), "next\0"s);
    EXPECT_EQ(contents.Find(kKeyPath, "V"), nullptr);
    EXPECT_EQ(contents.Find("SOFTWARE\\Next", "AtEnd"), nullptr);
    ASSERT_EQ(contents.problems.size(), 2u) << Lines(contents);
    EXPECT_EQ(contents.problems[0].line, 4u);
    EXPECT_EQ(contents.problems[1].line, 7u);
}

TEST(RegFile, DeletionsAndOverrides) {
    using namespace std::string_literals;
    const auto contents = ParseRegFile(Regedit4File(JoinLines({
        "[HKEY_LOCAL_MACHINE\\A]",
        R"("Keep"="1")",
        R"("Drop"="1")",
        R"(@="d")",
        "[HKEY_LOCAL_MACHINE\\A\\B]",
        R"("V"="sub")",
        "[HKEY_LOCAL_MACHINE\\A\\B\\C]",
        R"("V"="subsub")",
        "[HKEY_LOCAL_MACHINE\\AB]",
        R"("V"="sibling")",
        "[HKEY_LOCAL_MACHINE\\A]",
        R"("Drop"=-)",
        R"(@=-)",
        R"("Keep"="2")",
        "[-HKEY_LOCAL_MACHINE\\a\\b]",
        "[HKEY_LOCAL_MACHINE\\X]",
        R"("V"="x")",
        "[-HKLM\\X]",
        "[HKEY_LOCAL_MACHINE\\X]",
        R"("W"="again")",
    })));
    EXPECT_TRUE(contents.problems.empty()) << Lines(contents);
    EXPECT_EQ(DataOf(contents, "A", "Keep"), "2\0"s);
    EXPECT_EQ(contents.Find("A", "Drop"), nullptr);
    EXPECT_EQ(contents.Find("A", ""), nullptr);
    EXPECT_EQ(contents.Find("A\\B", "V"), nullptr);
    EXPECT_EQ(contents.Find("A\\B\\C", "V"), nullptr);
    EXPECT_EQ(DataOf(contents, "AB", "V"), "sibling\0"s); // not a subkey of A\B
    EXPECT_EQ(contents.Find("X", "V"), nullptr);
    EXPECT_EQ(DataOf(contents, "X", "W"), "again\0"s);
}

TEST(RegFile, OtherHivesAreIgnoredSilently) {
    const auto contents = ParseRegFile(Version5File(JoinLines({
        "[HKEY_CURRENT_USER\\SOFTWARE\\Test]",
        R"("V"="user")",
        R"("Bin"=hex:01,\)",
        "  02",
        "[HKCU\\SOFTWARE\\Test]",
        "garbage that is not ours",
        "[HKLM\\SOFTWARE\\Test]",
        R"("W"="machine")",
    })));
    EXPECT_TRUE(contents.problems.empty()) << Lines(contents);
    EXPECT_EQ(contents.Find(kKeyPath, "V"), nullptr);
    EXPECT_NE(contents.Find(kKeyPath, "W"), nullptr);
}

TEST(RegFile, MalformedLinesAreSkippedAndReported) {
    const std::string_view rows[] = {
        R"("V"="no closing quote)",
        R"("V"="C:\")",
        R"("V" "x")",
        R"("V=1)",
        R"("V"="x" trailing)",
        R"("V"=dword:123456789)",
        R"("V"=dword:)",
        R"("V"=dword:12g4)",
        R"("V"=hex:1,2g)",
        R"("V"=hex:001)",
        R"("V"=hex:00,,01)",
        R"("V"=hex:,)",
        R"("V"=hex(zz):00)",
        R"("V"=hex(2:00)",
        R"("V"=hex;00)",
        R"("V"=qword:00)",
        R"("V"=)",
        "just some words",
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test",
        "[HKEY_NOWHERE\\SOFTWARE\\Test]",
        std::string_view("\"V\"=\"nul\0inside", 15),
    };
    for (std::string_view row : rows) {
        SCOPED_TRACE(std::string(row));
        for (Format format : {Format::Version5, Format::Regedit4}) {
            const auto contents =
                ParseRegFile(MakeFile(format, JoinLines({kKey, R"("Before"="b")", row, kKey, R"("After"="a")",
                                                         R"("V"=hex:00,\)", "01"})));
            ASSERT_EQ(contents.problems.size(), 1u) << Lines(contents);
            EXPECT_EQ(contents.problems[0].line, 5u);
            EXPECT_NE(contents.Find(kKeyPath, "Before"), nullptr);
            EXPECT_NE(contents.Find(kKeyPath, "After"), nullptr);
            ASSERT_NE(contents.Find(kKeyPath, "V"), nullptr);
            EXPECT_EQ(DataOf(contents, kKeyPath, "V"), std::string("\0\x01", 2));
        }
    }
}

TEST(RegFile, ValuesOutsideAnyKeyAreReported) {
    const auto contents = ParseRegFile(Version5File(JoinLines({
        R"("Early"="x")",
        "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]",
        R"("AfterDelete"="x")",
        "[-HKEY_LOCAL_MACHINE]",
    })));
    ASSERT_EQ(contents.problems.size(), 3u) << Lines(contents);
    EXPECT_EQ(contents.problems[0].line, 3u);
    EXPECT_EQ(contents.problems[1].line, 5u);
    EXPECT_EQ(contents.problems[2].line, 6u);
    EXPECT_TRUE(contents.keys.empty());
}

TEST(RegFile, EncodingsAndLineEndings) {
    using namespace std::string_literals;
    const std::string body = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\r\n\"V\"=\"caf\xe9\"\r\n";
    const std::string v5Text = "Windows Registry Editor Version 5.00\r\n\r\n" + body;
    auto replaceAll = [](std::string_view s, std::string_view from, std::string_view to) {
        std::string out;
        std::size_t start = 0;
        for (std::size_t at = s.find(from); at != std::string_view::npos; at = s.find(from, start)) {
            out.append(s.substr(start, at - start)).append(to);
            start = at + from.size();
        }
        return out.append(s.substr(start));
    };
    struct Row {
        const char* name;
        std::string bytes;
        RegFileContents::Format format;
    };
    const Row rows[] = {
        {"version 5, UTF-16LE with BOM", Version5File(body), RegFileContents::Format::Version5},
        {"version 5, UTF-16LE without BOM", settings_test::Utf16Le(text::DecodeAnsi(v5Text)),
         RegFileContents::Format::Version5},
        {"version 5, UTF-8", replaceAll(v5Text, "\xe9", "\xc3\xa9"), RegFileContents::Format::Version5},
        {"version 5, UTF-8 with BOM", "\xEF\xBB\xBF" + replaceAll(v5Text, "\xe9", "\xc3\xa9"),
         RegFileContents::Format::Version5},
        {"version 5, ANSI", v5Text, RegFileContents::Format::Version5},
        {"REGEDIT4", Regedit4File(body), RegFileContents::Format::Regedit4},
        {"REGEDIT4, LF endings", replaceAll(Regedit4File(body), "\r\n", "\n"),
         RegFileContents::Format::Regedit4},
        {"REGEDIT4, lone CR endings", replaceAll(Regedit4File(body), "\r\n", "\r"),
         RegFileContents::Format::Regedit4},
        {"REGEDIT4, no final terminator", Regedit4File(body.substr(0, body.size() - 2)),
         RegFileContents::Format::Regedit4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto contents = ParseRegFile(row.bytes);
        EXPECT_EQ(contents.format, row.format);
        EXPECT_TRUE(contents.problems.empty()) << Lines(contents);
        ASSERT_NE(contents.Find(kKeyPath, "V"), nullptr);
        EXPECT_EQ(DataOf(contents, kKeyPath, "V"), "caf\xe9\0"s);
    }
}

TEST(RegFile, FilesThatAreNotExportsGiveNoKeysAndOneProblem) {
    std::mt19937 random(7);
    std::string binary(4096, '\0');
    for (char& c : binary)
        c = static_cast<char>(random());
    binary[0] = '\x7f'; // not a byte order mark
    const std::pair<const char*, std::string> rows[] = {
        {"empty", ""},
        {"binary", binary},
        {"no header", JoinLines({kKey, R"("V"="x")"})},
        {"older format", JoinLines({"REGEDIT", kKey})},
        {"UTF-16 big-endian", "\xFE\xFF" + std::string("\0W", 2)},
        {"NUL bytes only", std::string(100, '\0')},
    };
    for (const auto& [name, bytes] : rows) {
        SCOPED_TRACE(name);
        const auto contents = ParseRegFile(bytes);
        EXPECT_EQ(contents.format, RegFileContents::Format::NotAnExport);
        EXPECT_TRUE(contents.keys.empty());
        EXPECT_EQ(contents.problems.size(), 1u) << Lines(contents);
    }
}

TEST(RegFile, OddLengthUtf16KeepsWhatIsComplete) {
    using namespace std::string_literals;
    const std::string file = Version5File(JoinLines({kKey, R"("V"="x")"})) + "\x41";
    const auto contents = ParseRegFile(file);
    EXPECT_EQ(DataOf(contents, kKeyPath, "V"), "x\0"s);
    ASSERT_EQ(contents.problems.size(), 1u) << Lines(contents);
    EXPECT_EQ(contents.problems[0].line, 4u);
}

TEST(RegFile, CutInputDropsTheUnfinishedLastLine) {
    using namespace std::string_literals;
    const std::string file = Regedit4File(JoinLines({kKey, R"("V"="whole")"}) + R"("W"="cut of)");
    settings::RegFileParseOptions options;
    options.inputCut = true;
    const auto contents = ParseRegFile(file, options);
    EXPECT_TRUE(contents.problems.empty()) << Lines(contents);
    EXPECT_EQ(DataOf(contents, kKeyPath, "V"), "whole\0"s);
    EXPECT_EQ(contents.Find(kKeyPath, "W"), nullptr);
}

TEST(RegFile, LongLinesAndManyProblems) {
    const std::string longText(1 << 20, 'x');
    std::string body = JoinLines({kKey, "\"Long\"=\"" + longText + "\""});
    for (int i = 0; i < 3000; ++i)
        body += "nonsense\r\n";
    settings::RegFileParseOptions options;
    options.maxProblems = 100;
    const auto contents = ParseRegFile(Regedit4File(body), options);
    EXPECT_EQ(DataOf(contents, kKeyPath, "Long"), longText + '\0');
    EXPECT_EQ(contents.problems.size(), 100u);
    EXPECT_EQ(contents.problemsLeftOff, 2900u);
}

// A lookup parses with onlyKey and without problems; it must see exactly what a full parse sees, also on
// damaged files. The files are mutations of one export with every kind of line.
TEST(RegFile, LookupParseAgreesWithFullParseOnDamagedFiles) {
    const std::string base = JoinLines({
        "[HKEY_LOCAL_MACHINE\\S\\A]",
        R"("V"="a")",
        R"("B"=hex:01,02,\)",
        "  03",
        "[HKEY_LOCAL_MACHINE\\S\\A\\Sub]",
        R"(@=dword:00000002)",
        "[-HKEY_LOCAL_MACHINE\\S\\A\\Sub]",
        "; comment",
        "[HKEY_CURRENT_USER\\S\\A]",
        R"("V"="user")",
        "[HKLM\\s\\a]",
        R"("W"=hex(2):41,00,00,00)",
        R"("V"=-)",
        "[HKEY_LOCAL_MACHINE\\S\\B]",
        R"("V"="b")",
    });
    const std::string_view keys[] = {"S\\A", "S\\A\\Sub", "S\\B", "S"};
    using namespace std::string_view_literals;
    const std::string_view alphabet = "[]\\\"@=-,:;\r\n\0ahx01("sv;
    std::mt19937 random(12345);
    for (int round = 0; round < 3000; ++round) {
        std::string mutated = base;
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits && !mutated.empty(); ++e) {
            const std::size_t at = random() % mutated.size();
            switch (random() % 3) {
            case 0:
                mutated[at] = alphabet[random() % alphabet.size()];
                break;
            case 1:
                mutated.erase(at, 1 + random() % 8);
                break;
            default:
                mutated.insert(at, 1, alphabet[random() % alphabet.size()]);
            }
        }
        const bool version5 = round % 2 == 0;
        const std::string file = version5 ? Version5File(mutated) : Regedit4File(mutated);
        const auto full = ParseRegFile(file);
        for (std::string_view key : keys) {
            settings::RegFileParseOptions options;
            options.onlyKey = std::string(key);
            options.collectProblems = false;
            const auto only = ParseRegFile(file, options);
            EXPECT_TRUE(only.problems.empty());
            const auto fullKey = full.keys.find(settings::FoldRegistryName(key));
            const auto onlyKey = only.keys.find(settings::FoldRegistryName(key));
            ASSERT_EQ(fullKey == full.keys.end(), onlyKey == only.keys.end()) << mutated;
            if (fullKey == full.keys.end())
                continue;
            ASSERT_EQ(fullKey->second.values.size(), onlyKey->second.values.size()) << mutated;
            for (const auto& [fold, value] : fullKey->second.values) {
                const auto match = onlyKey->second.values.find(fold);
                ASSERT_NE(match, onlyKey->second.values.end()) << mutated;
                EXPECT_EQ(match->second.value, value.value) << mutated;
            }
        }
    }
}
