// The event matchers: which catalogue search strings occur in which debug log lines. A search string matches
// a line when it occurs, case-sensitively, in the line followed by CR LF. PlainMatcher applies that rule
// literally and is the reference; EventMatcher is compiled once per catalogue and finds every entry in one
// pass over large blocks of lines, giving exactly the same counts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace scan {

// The reference matcher: one substring search per entry per line, over the line followed by CR LF.
class PlainMatcher {
public:
    explicit PlainMatcher(const std::vector<std::string>& searchStrings);

    // The number of entries.
    std::size_t Size() const { return searchStrings_.size(); }

    // Whether entry i matches the line (given without its terminator). False for an index out of range.
    bool Matches(std::string_view line, std::size_t i) const;

    // Adds 1 to counts[i] (counts holds Size() elements) for every entry i that matches the line.
    void CountLine(std::string_view line, std::vector<std::uint64_t>& counts) const;

private:
    std::vector<std::string> searchStrings_;
};

namespace detail {
struct CompiledCatalogue;
struct LineRun;
struct MatchState;
} // namespace detail

// The fast matcher. Compiling it sorts the search strings into those that match every line (empty, "\r",
// "\n", "\r\n"), those that match no line (a CR anywhere but at the end or in a final CR LF), those anchored
// at the line's end (ending in CR or CR LF, found by walking back from each line's end through a trie of
// them) and the ordinary ones, which a filter on short substrings finds in one pass over a block of lines
// before an exact comparison. Where those comparisons would cost more than a few per byte (long runs of one
// byte, many strings sharing a key), the filter hands the rest of the block to an Aho-Corasick automaton
// over its strings, which reads each byte once: the time stays linear in the input whatever the catalogue.
// Search strings that match the same lines (identical ones, "QUIT\r" and "QUIT\r\n") share one pattern.
// Example: EventMatcher m({"Connection refused", "QUIT\r\n", ""}); then CountEvents(path, m, counts).
class EventMatcher {
public:
    // Compiles the search strings. Should memory run out, the matcher is not Ready() and every scan with it
    // fails (with the platform's "Cannot allocate memory").
    explicit EventMatcher(const std::vector<std::string>& searchStrings);
    ~EventMatcher();
    EventMatcher(EventMatcher&&) noexcept;
    EventMatcher& operator=(EventMatcher&&) noexcept;
    EventMatcher(const EventMatcher&) = delete;
    EventMatcher& operator=(const EventMatcher&) = delete;

    // The number of entries.
    std::size_t Size() const { return size_; }
    bool Ready() const { return compiled_ != nullptr; }

    // Used by the file searcher (scan/Scan.cpp): the bytes of a line that must stay in view when a line
    // longer than the read block is searched in pieces (the longest search string, at least 1).
    std::size_t Overlap() const;
    // The number of distinct patterns, and the pattern that entry i uses.
    std::size_t PatternCount() const;
    std::size_t PatternOf(std::size_t entry) const;
    // Finds the patterns in a run of lines and records each pattern at most once per line in state.
    void Scan(const detail::LineRun& run, detail::MatchState& state) const;

private:
    std::size_t size_ = 0;
    std::unique_ptr<detail::CompiledCatalogue> compiled_;
};

} // namespace scan
