// The analysis catalogue of one log source: its file format (one entry per line, fields search string,
// link and explanation separated by TAB, "<CRLF>" as the escape for a line break) and its loader.
// The catalogue file is SOURCE-Analysis.tab in the program's directory, in the ANSI code page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace catalogue {

// The catalogue in memory: three parallel arrays, entry i of each coming from line i of the file.
struct Catalogue {
    std::vector<std::string> strings;      // search strings, "<CRLF>" expanded
    std::vector<std::string> links;        // more-information links, exactly as written
    std::vector<std::string> descriptions; // explanations, "<CRLF>" expanded
};

// The text with every "<CRLF>" (exact case) replaced by CR LF; "<crlf>" is no escape.
// Example: ExpandCrlf("Timeout<CRLF>") == "Timeout\r\n".
std::string ExpandCrlf(std::string_view field);

// The catalogue file of a source: programDirectory + separator + sourceCode + "-Analysis.tab".
std::string CatalogueFilePath(std::string_view programDirectory, std::string_view sourceCode);

// What a load did. description: the platform's reason for NotOpened and ReadFailed, else empty.
struct LoadOutcome {
    enum class Kind { NotOpened, Loaded, ReadFailed } kind = Kind::NotOpened;
    std::string description;
};

// A catalogue larger than this is not read further (its later entries are not loaded).
inline constexpr std::size_t kMaxCatalogueBytes = std::size_t{256} << 20;

// A catalogue with more entries than this is not read further. Twice the largest catalogue anyone would
// write (100,000 entries), it bounds what a hostile file can cost: a file of line breaks is nothing but
// entries, and loading and compiling the matcher for this many tiny distinct entries takes about 440 MB.
inline constexpr std::size_t kMaxCatalogueEntries = 200'000;

// "The catalogue holds more than " + maxEntries + " entries; only the first " + maxEntries + " were loaded."
std::string TooManyEntriesDescription(std::size_t maxEntries);

// Loads the catalogue file at `path` into `into`. Every line is one entry, empty lines included; a line
// with fewer than three fields gives empty text for the missing ones; fields after the third are ignored.
// NotOpened: the file cannot be opened (absent, a directory, no permission); `into` is untouched.
// Loaded: `into` holds exactly the file's entries (none for an empty file).
// ReadFailed: a read failed, memory ran out, the file holds more than maxBytes, or it holds more than
// maxEntries entries; `into` holds the entries completed before that (the first maxEntries for a file of
// more), never a part of one, and description says why (TooManyEntriesDescription for too many entries).
[[nodiscard]] LoadOutcome LoadCatalogueFile(const std::string& path, Catalogue& into,
                                            std::size_t maxBytes = kMaxCatalogueBytes,
                                            std::size_t maxEntries = kMaxCatalogueEntries);

} // namespace catalogue
