// Writing a file whole or not at all, and telling whether two paths name one file: the catalogue store and
// the window's exports write through ReplaceWhole, and the exports refuse any target that is a log.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/Status.h"

namespace text {

// How old a leftover temporary file of a target must be before a later replace of it removes it.
inline constexpr std::chrono::minutes kStaleTemporaryAge{10};

// Hands the bytes of a file being written to it, in as many pieces as the writer likes; a failed write
// gives the platform's reason.
using WriteSink = std::function<Status(std::string_view bytes)>;
// Produces the contents of a file through the sink; a failure (its own or the sink's) ends the write.
using FileWriter = std::function<Status(const WriteSink& write)>;

// Writes the file at `path` through `writer`, replacing any file there. The bytes go to a new file in the
// same directory (named path + ".tmp-" + digits "-" digits "-" digits), are flushed to disk, and that file is
// then renamed over `path`, so `path` holds either the old file or the whole new one. On failure the new
// file is removed, the old one is left as it was, and the Status carries the reason (the platform's, or
// the writer's own). A new file that a replace killed part-way left behind is removed by a later replace
// of the same path once it is older than kStaleTemporaryAge.
[[nodiscard]] Status ReplaceWhole(const std::string& path, const FileWriter& writer);
// The same with the whole contents at hand.
[[nodiscard]] Status ReplaceWhole(const std::string& path, std::string_view bytes);

// Whether `name` (a bare file name) is one that ReplaceWhole gives to its new file for the target named
// `base`.
bool IsTemporaryNameOf(std::string_view name, std::string_view base);

// Whether both paths name one existing file or directory, through whatever names, links or separators:
// the file system's identity of each is compared, not the text. False when either cannot be looked up.
bool IsSameFile(const std::string& a, const std::string& b);

// The bare names in a directory (no "." or ".."); empty when it cannot be read.
std::vector<std::string> DirectoryNames(const std::string& directory);

// The directory part of a path ("." for a bare name), as the platform separates them.
std::string ParentDirectory(const std::string& path);

// When the file at `path` was last written, or nullopt when it cannot be looked up.
std::optional<std::time_t> ModifiedTime(const std::string& path);

} // namespace text
