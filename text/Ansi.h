// The system's ANSI code page. Text from files, the registry and the network is kept as the bytes of this
// code page; it is decoded only where it is shown and encoded back only where it leaves again.
// On Linux the code page is Windows-1252, with the five bytes it leaves undefined mapped to U+0081 etc.
#pragma once

#include <string>
#include <string_view>

namespace text {

// The Unicode code point of one ANSI byte. Every byte maps to exactly one code point.
char16_t AnsiToUnicode(unsigned char byte);

// UTF-16 text of ANSI bytes; never fails. Example: "\x80" -> u"\u20AC".
std::u16string DecodeAnsi(std::string_view ansi);

// ANSI bytes of UTF-16 text; characters the code page cannot hold become '?' (as Windows does).
std::string EncodeAnsi(std::u16string_view wide);

// UTF-8 text of ANSI bytes (for JSON and terminal output); never fails.
std::string AnsiToUtf8(std::string_view ansi);

// ANSI bytes of UTF-8 text; unmappable characters and malformed UTF-8 become '?'.
std::string Utf8ToAnsi(std::string_view utf8);

} // namespace text
