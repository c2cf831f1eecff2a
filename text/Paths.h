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

} // namespace text
