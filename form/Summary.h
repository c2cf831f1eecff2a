// The summary across days: every debug log file of a source counted with one catalogue, so that the counts
// of an event can be compared from file to file. Each file's counts are exactly those of counting that file
// alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/Matcher.h"
#include "scan/Scan.h"
#include "text/Status.h"

namespace form {

// One debug log file of the summary.
struct SummaryFile {
    std::string name;    // the bare file name (ANSI), as the file list shows it
    std::string path;    // where it was read
    text::Status status; // why it could not be counted (it vanished, cannot be read); then counts are all 0
    std::uint64_t bytes = 0;
    std::uint64_t lines = 0;
    std::vector<std::int32_t> counts; // counts[i]: lines that match entry i
};

struct Summary {
    // Why the source's files could not be listed; files is then empty.
    text::Status listing;
    // The files in the order of the file list.
    std::vector<SummaryFile> files;
    // Asked to stop before the last file was counted: the files after the stop are missing, and the one
    // under way is left out.
    bool stopped = false;

    // The entries counted at least once in any file, in catalogue order (entries: the catalogue's size).
    std::vector<std::size_t> Events(std::size_t entries) const;
    // The sum of entry i's counts over all files.
    std::uint64_t Total(std::size_t entry) const;
};

// Told before each file is counted: its place in the list (from 0), how many there are, its name, and the
// sizes of all files as they were when listed (what a progress bar over the whole summary adds up to).
struct SummaryProgress {
    std::size_t file = 0;
    std::size_t files = 0;
    std::string name;
    std::uint64_t totalBytes = 0; // all files, as listed
    std::uint64_t doneBytes = 0;  // the files before this one, as listed
};

// Counts every debug log file of sourceCode (those its file list shows, in that order) with matcher. The
// scan options apply to each file in turn (their progress and opened are told per file); fileStarted, when
// given, is told before each file. A file that cannot be counted keeps its place with its reason.
Summary Summarise(std::string_view sourceCode, const scan::EventMatcher& matcher,
                  const scan::ScanOptions& options = {},
                  const std::function<void(const SummaryProgress&)>& fileStarted = {});

// The same over the given directory and names (the command line and tests name them).
Summary Summarise(std::string_view directory, const std::vector<std::string>& names,
                  const scan::EventMatcher& matcher, const scan::ScanOptions& options = {},
                  const std::function<void(const SummaryProgress&)>& fileStarted = {});

// The summary as CSV (UTF-8): the header "index,search," then one column per file (its name) and "total";
// one row per entry counted at least once, in catalogue order.
std::string SummaryCsv(const Summary& summary, const std::vector<std::string>& searchStrings);

} // namespace form
