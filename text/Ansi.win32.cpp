// The ANSI code page on Windows: the system's own (GetACP), converted with MultiByteToWideChar and
// WideCharToMultiByte, as the "A" functions of the registry, the files and the shell convert it.
#include "text/Ansi.h"

#include <array>
#include <climits>
#include <windows.h>

namespace text {
namespace {

// Each byte decoded by itself, once: what AnsiToUnicode gives. A byte the code page does not define by
// itself (a lead byte of a double-byte code page) decodes to U+FFFD.
const std::array<char16_t, 256>& ByteTable() {
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> bytes{};
        for (int b = 0; b < 256; ++b) {
            const char one = static_cast<char>(b);
            wchar_t wide = 0;
            bytes[b] = ::MultiByteToWideChar(CP_ACP, 0, &one, 1, &wide, 1) == 1 ? static_cast<char16_t>(wide)
                                                                                : u'\uFFFD';
        }
        return bytes;
    }();
    return table;
}

std::wstring ToWide(UINT codePage, std::string_view bytes) {
    std::wstring wide;
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX))
        return wide;
    const int size = static_cast<int>(bytes.size());
    const int length = ::MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    if (length <= 0)
        return wide;
    wide.resize(static_cast<std::size_t>(length));
    ::MultiByteToWideChar(codePage, 0, bytes.data(), size, wide.data(), length);
    return wide;
}

std::string FromWide(UINT codePage, std::wstring_view wide) {
    std::string bytes;
    if (wide.empty() || wide.size() > static_cast<std::size_t>(INT_MAX))
        return bytes;
    const int size = static_cast<int>(wide.size());
    // UTF-8 takes no default character; the ANSI code page puts '?' for what it cannot hold, as Windows does.
    const char* fallback = codePage == CP_UTF8 ? nullptr : "?";
    const int length = ::WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, fallback, nullptr);
    if (length <= 0)
        return bytes;
    bytes.resize(static_cast<std::size_t>(length));
    ::WideCharToMultiByte(codePage, 0, wide.data(), size, bytes.data(), length, fallback, nullptr);
    return bytes;
}

} // namespace

char16_t AnsiToUnicode(unsigned char byte) {
    return ByteTable()[byte];
}

std::u16string DecodeAnsi(std::string_view ansi) {
    const std::wstring wide = ToWide(CP_ACP, ansi);
    return {wide.begin(), wide.end()};
}

std::string EncodeAnsi(std::u16string_view wide) {
    // A surrogate pair is one character, and one '?' (some versions of the conversion give two).
    std::wstring units;
    units.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const char16_t unit = wide[i];
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] < 0xE000) {
            units.push_back(L'\uFFFD');
            ++i;
        } else {
            units.push_back(static_cast<wchar_t>(unit));
        }
    }
    return FromWide(CP_ACP, units);
}

std::string AnsiToUtf8(std::string_view ansi) {
    return FromWide(CP_UTF8, ToWide(CP_ACP, ansi));
}

std::string Utf8ToAnsi(std::string_view utf8) {
    // Malformed UTF-8 decodes to U+FFFD, which the code page holds as '?'.
    return FromWide(CP_ACP, ToWide(CP_UTF8, utf8));
}

} // namespace text
