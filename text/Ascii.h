// ASCII helpers for text held as ANSI bytes: letter case, digits, replacing every occurrence. Only the 26
// ASCII letters change case; every other byte (the code page's accented letters included) stays as it is,
// so names compare the way the server's settings and file names are compared, whatever the locale.
#pragma once

#include <string>
#include <string_view>

namespace text {

// The capital of an ASCII small letter; any other byte unchanged. Example: AsciiUpper('s') == 'S'.
constexpr char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The small letter of an ASCII capital; any other byte unchanged.
constexpr char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether c is one of '0'..'9' (unlike std::isdigit, defined for every byte, 0x80 and above included).
constexpr bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// The text with its ASCII small letters made capitals. Example: AsciiUppercase("smtp") == "SMTP".
std::string AsciiUppercase(std::string_view text);

// Whether a and b are equal when ASCII letters are compared without regard to case.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// Whether text begins with prefix, ASCII letters compared without regard to case.
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);

// Whether a comes before b when both are compared byte by byte with ASCII small letters taken as capitals.
bool LessIgnoringAsciiCase(std::string_view a, std::string_view b);

// The text with every occurrence of from, left to right and not overlapping, replaced by to. An empty from
// replaces nothing. Example: ReplaceAll("a<CRLF>b", "<CRLF>", "\r\n") == "a\r\nb".
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

} // namespace text
