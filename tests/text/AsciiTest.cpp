#include <gtest/gtest.h>

#include <string>

#include "text/Ascii.h"

namespace {

TEST(Ascii, OnlyAsciiLettersChangeCase) {
    // Every byte: the 26 letters pair up, nothing else moves (cp1252's 0xE9 e-acute stays itself).
    for (int b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        SCOPED_TRACE(b);
        const bool small = b >= 'a' && b <= 'z';
        const bool capital = b >= 'A' && b <= 'Z';
        EXPECT_EQ(text::AsciiUpper(c), small ? static_cast<char>(b - 32) : c);
        EXPECT_EQ(text::AsciiLower(c), capital ? static_cast<char>(b + 32) : c);
        EXPECT_EQ(text::IsAsciiDigit(c), b >= '0' && b <= '9');
    }
}

TEST(Ascii, CaseInsensitiveComparisons) {
    struct Case {
        std::string a;
        std::string b;
        bool equal;
        bool aStartsWithB;
        bool less; // a before b
    } cases[] = {
        {"SMTP", "smtp", true, true, false},  {"smtp-debug-1.LOG", "SMTP-Debug-", false, true, false},
        {"HKLM", "hklm", true, true, false},  {"", "", true, true, false},
        {"a", "", false, true, false},        {"", "a", false, false, true},
        {"Ab", "aC", false, false, true},     {"a_", "B", false, false, true},
        {"Z", "_", false, false, true},       // '_' (0x5F) comes after the capitals
        {"\xc9", "\xe9", false, false, true}, // E-acute and e-acute are not ASCII letters
        {"x\xe9", "X", false, true, false},   {"http:/", "HTTP://", false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a + " | " + c.b);
        EXPECT_EQ(text::EqualsIgnoringAsciiCase(c.a, c.b), c.equal);
        EXPECT_EQ(text::EqualsIgnoringAsciiCase(c.b, c.a), c.equal);
        EXPECT_EQ(text::StartsWithIgnoringAsciiCase(c.a, c.b), c.aStartsWithB);
        EXPECT_EQ(text::LessIgnoringAsciiCase(c.a, c.b), c.less);
        if (c.equal) {
            EXPECT_FALSE(text::LessIgnoringAsciiCase(c.b, c.a));
        }
    }
    EXPECT_EQ(text::AsciiUppercase("smtp-\xe9x1"), "SMTP-\xe9X1");
}

TEST(Ascii, ReplaceAll) {
    struct Case {
        std::string text;
        std::string from;
        std::string to;
        std::string expected;
    } cases[] = {
        {"a<CRLF>b<CRLF>", "<CRLF>", "\r\n", "a\r\nb\r\n"},
        {"SMTP-Debug-1-Debug-.log", "-Debug-", "-Activity-", "SMTP-Activity-1-Activity-.log"},
        {"/logs/smtp/smtp/x", "/smtp", "", "/logs/x"},
        {"aaaa", "aa", "a", "aa"}, // left to right, not overlapping, the result not searched again
        {"aaa", "aa", "b", "ba"},
        {"abc", "", "x", "abc"}, // an empty search replaces nothing
        {"", "a", "b", ""},
        {"abc", "abcd", "x", "abc"},
        {std::string("a\0b", 3), std::string(1, '\0'), "-", "a-b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + " | " + c.from);
        EXPECT_EQ(text::ReplaceAll(c.text, c.from, c.to), c.expected);
    }
}

} // namespace
