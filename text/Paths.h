// Paths as the system builds them: a directory exactly as resolved, the separator, then a bare file name;
// and the directory that holds the program, where the catalogue files and the registry export file live.
#pragma once

#include <string>
#include <string_view>

namespace text {

// The path separator of this platform: "\" on Windows, "/" elsewhere.
extern const char kPathSeparator;

// directory + separator + name, with nothing checked or trimmed (an empty directory gives "/name").
std::string JoinPath(std::string_view directory, std::string_view name);

// The directory that holds the running program, without a trailing separator; "." if it cannot be found.
std::string ProgramDirectory();

// A path given on the command line (UTF-8) in the form the file functions take: unchanged on Linux, where
// file names are bytes; in the ANSI code page on Windows (UTF-8 "é" becomes the one byte 0xE9 there).
std::string PathFromUtf8(std::string_view utf8);

} // namespace text
