// The matcher's linear-time searcher: an Aho-Corasick automaton over a group of patterns. The keyed filters
// of scan/Matcher.cpp are faster on ordinary logs, but their exact comparison rescans bytes for every
// candidate position, which grows with the patterns' length and number on hostile input (a long run of one
// byte against long runs of that byte, thousands of patterns sharing a key). The automaton reads every byte
// of a line once, whatever the patterns, and a filter hands it the rest of a run once its comparisons have
// cost more than a few times the bytes it has passed. Internal to scan/.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace scan::detail {

struct LineRun;
struct MatchState;

class Automaton {
public:
    // The dense table is built only while it stays this small: states x byte classes.
    static constexpr std::size_t kMaxDenseCells = std::size_t{1} << 21;
    // Holds the dense table of automata built from now on to at most `cells` (kMaxDenseCells restores the
    // default). Tests make it small: the walk past the table, which otherwise only catalogues of many
    // thousands of strings reach, is then taken through the whole matcher.
    static void LimitDenseCells(std::size_t cells);

    // Builds the automaton over the patterns: (bytes, pattern number) pairs, each text non-empty and
    // distinct. Without failure links it is only a trie, for WalkLineEnds. Above maxDenseCells the
    // automaton steps through its trie and failure links instead of a table. Throws std::bad_alloc when
    // memory runs out or the patterns are too many for 31-bit node numbers.
    void Build(std::vector<std::pair<std::string_view, std::uint32_t>> patterns, bool failureLinks,
               std::size_t maxDenseCells = kMaxDenseCells);

    bool Empty() const { return patterns_.empty(); }
    // The number of patterns.
    std::size_t PatternCount() const { return patterns_.size(); }
    // How many of the patterns are counted already in line i of the run: in a line begun in an earlier run
    // (the first line, then), those counted there.
    std::size_t CountedIn(const LineRun& run, std::size_t i, const MatchState& state) const;

    // Records every pattern occurring in lines from .. to - 1 of the run (to the run's end at most), once per
    // line. `shared`: line `from` may already hold patterns of this group counted by a filter, which then
    // does not prove that the shorter patterns ending where they do were counted too; countedInFrom, when
    // the filter knows it, is how many of them (otherwise they are counted up).
    static constexpr std::size_t kUnknown = SIZE_MAX;
    void ScanLines(const LineRun& run, std::size_t from, bool shared, MatchState& state,
                   std::size_t to = SIZE_MAX, std::size_t countedInFrom = kUnknown) const;

    // For a trie of reversed texts: records, for each of the first `complete` lines of the run, every
    // pattern whose text ends the line.
    void WalkLineEnds(const LineRun& run, std::size_t complete, MatchState& state) const;

    // The bytes the automaton holds.
    std::size_t MemoryBytes() const;

private:
    static constexpr std::uint32_t kNone = ~std::uint32_t{0};
    // A step's flags, in a dense entry and in a node's record: the node reached reports a pattern; a run of
    // the byte that led there would keep it there or take it down a long chain (see WalkLine).
    static constexpr std::uint32_t kReports = std::uint32_t{1} << 31;
    static constexpr std::uint32_t kRepeats = std::uint32_t{1} << 30;
    static constexpr std::uint32_t kFlags = kReports | kRepeats;
    // A walk's state: for a node in the dense table its row (the node times classes_), for one past it the
    // node's number with kSparse set (node numbers stay below kSparse).
    static constexpr std::uint32_t kSparse = std::uint32_t{1} << 29;
    std::uint32_t Encode(std::uint32_t node) const {
        return node < denseNodes_ ? node * classes_ : node | kSparse;
    }
    std::uint32_t NodeOf(std::uint32_t state) const {
        return (state & kSparse) != 0 ? state & ~kSparse : state / classes_;
    }

    // How many of the patterns have been counted in the line with this stamp.
    std::size_t Stamped(std::uint64_t stamp, const MatchState& state) const;
    std::uint32_t Child(std::uint32_t node, unsigned char byte) const;
    std::uint32_t NextSparse(std::uint32_t node, unsigned char byte) const;
    template <bool Whole>
    void WalkLinesBeside(const LineRun& run, std::size_t from, std::size_t to, MatchState& state) const;
    template <bool Whole>
    void WalkLine(const LineRun& run, std::size_t i, bool shared, std::size_t& counted,
                  MatchState& state) const;
    struct Jump {
        std::uint32_t node;
        std::size_t steps;
    };
    Jump JumpRun(std::uint32_t node, const char* d, std::size_t j, std::size_t end) const;
    std::uint32_t PastRun(std::uint32_t next, std::uint32_t at, const char* d, std::size_t& j,
                          std::size_t end) const;
    void BuildRuns(bool failureLinks);
    std::size_t Report(std::uint32_t node, const LineRun& run, std::size_t line, bool shared,
                       MatchState& state) const;

    // Nodes are numbered breadth-first, so node n's children are the nodes nodes_[n].firstChild ..
    // nodes_[n + 1].firstChild - 1, in the order of their labels, and a failure link always points to a
    // smaller number. What a walk past the dense table needs of a node is kept together: a step there reads
    // the node's children, which hold what the next step needs.
    static constexpr unsigned kFlagShift = 24;
    static_assert((kFlags & ((std::uint32_t{1} << kFlagShift) - 1)) == 0);
    struct Node {
        std::uint32_t firstChild = 0;
        std::uint32_t fail = 0;  // the longest proper suffix of the node's text that is a node
        unsigned char label = 0; // the byte that leads to the node
        std::uint8_t flags = 0;  // the flags of a step that reaches the node, shifted down by kFlagShift
    };
    std::size_t NodeCount() const { return nodes_.empty() ? 0 : nodes_.size() - 1; }
    std::uint32_t StepFlags(std::uint32_t node) const {
        return std::uint32_t{nodes_[node].flags} << kFlagShift;
    }
    std::vector<std::uint32_t> patterns_;
    std::size_t longest_ = 0;           // the longest pattern's length
    std::vector<Node> nodes_;           // one more than the nodes: the last holds only firstChild
    std::vector<std::uint32_t> out_;    // the pattern whose text ends at the node, or kNone
    std::vector<std::uint32_t> report_; // the first node on the failure chain (itself included) with a
                                        // pattern, or kNone
    std::array<std::uint32_t, 256> rootNext_{};  // the root's children by byte; 0 for none
    std::array<std::uint64_t, 1024> endPairs_{}; // without failure links: the first two bytes of the texts
    // Chains of one byte (see BuildRuns), when some are long: the chains' nodes, each chain in one piece;
    // per node, its place there and how many nodes of its chain follow it; for the trie, per place, the
    // next place in the chain whose node ends a pattern.
    static constexpr std::uint32_t kMinRunSteps = 16;
    std::vector<std::uint32_t> runNodes_;
    std::vector<std::uint32_t> runPos_;
    std::vector<std::uint32_t> runLeft_;
    std::vector<std::uint32_t> runOut_;

    // The dense form: per node and byte class, the state reached (see Encode) and the step's flags. It holds
    // every node (denseNodes_ is the node count) when they fit, otherwise the first denseNodes_ (the
    // shallowest).
    std::vector<std::uint32_t> dense_;
    std::uint32_t denseNodes_ = 0;
    std::array<std::uint8_t, 256> classOf_{};
    std::uint32_t classes_ = 0;
};

} // namespace scan::detail
