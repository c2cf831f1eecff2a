// Registry export files as the tests write them: version 5 in UTF-16LE with a byte order mark (as the
// Registry Editor saves them) and REGEDIT4 in ANSI, lines joined by CR LF.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "text/Ansi.h"

namespace settings_test {

inline std::string Utf16Le(std::u16string_view text) {
    std::string bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

// A byte as the Registry Editor writes it in hex data: two lower-case digits.
inline std::string HexByte(char byte) {
    constexpr char kDigits[] = "0123456789abcdef";
    const auto b = static_cast<unsigned char>(byte);
    return {kDigits[b >> 4], kDigits[b & 0xF]};
}

inline std::string JoinLines(std::initializer_list<std::string_view> lines) {
    std::string joined;
    for (std::string_view line : lines) {
        joined.append(line);
        joined.append("\r\n");
    }
    return joined;
}

// Lines given as ANSI bytes; the header is added.
inline std::string Version5File(std::string_view body) {
    return "\xFF\xFE" +
           Utf16Le(text::DecodeAnsi("Windows Registry Editor Version 5.00\r\n\r\n" + std::string(body)));
}

inline std::string Regedit4File(std::string_view body) {
    return "REGEDIT4\r\n\r\n" + std::string(body);
}

} // namespace settings_test
