#include "scan/Automaton.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <new>
#include <utility>

#include "scan/LineRun.h"

namespace scan::detail {

namespace {

// The end of the run of `byte` that starts at d + from, at most end.
std::size_t RunEnd(const char* d, std::size_t from, std::size_t end, char byte) {
    const std::uint64_t all = 0x0101010101010101u * static_cast<unsigned char>(byte);
    std::size_t j = from;
    for (; j + 8 <= end; j += 8) {
        std::uint64_t v;
        std::memcpy(&v, d + j, 8);
        v ^= all;
        if (v != 0) {
            if constexpr (std::endian::native == std::endian::little)
                return j + static_cast<std::size_t>(std::countr_zero(v)) / 8;
            else
                return j + static_cast<std::size_t>(std::countl_zero(v)) / 8;
        }
    }
    while (j < end && d[j] == byte)
        ++j;
    return j;
}

// The start of the run of `byte` that ends just before d + to, at least from.
std::size_t RunStart(const char* d, std::size_t to, std::size_t from, char byte) {
    const std::uint64_t all = 0x0101010101010101u * static_cast<unsigned char>(byte);
    std::size_t j = to;
    for (; j >= from + 8; j -= 8) {
        std::uint64_t v;
        std::memcpy(&v, d + j - 8, 8);
        v ^= all;
        if (v != 0) {
            if constexpr (std::endian::native == std::endian::little)
                return j - static_cast<std::size_t>(std::countl_zero(v)) / 8;
            else
                return j - static_cast<std::size_t>(std::countr_zero(v)) / 8;
        }
    }
    while (j > from && d[j - 1] == byte)
        --j;
    return j;
}

std::atomic<std::size_t> denseCellsLimit{Automaton::kMaxDenseCells};

} // namespace

void Automaton::LimitDenseCells(std::size_t cells) {
    denseCellsLimit.store(cells, std::memory_order_relaxed);
}

void Automaton::Build(std::vector<std::pair<std::string_view, std::uint32_t>> patterns, bool failureLinks,
                      std::size_t maxDenseCells) {
    // The trie, in the order a walk over the sorted texts creates its nodes: a text shares the nodes of its
    // common prefix with the one before it.
    std::sort(patterns.begin(), patterns.end());
    patterns_.clear();
    longest_ = 0;
    for (const auto& entry : patterns) {
        patterns_.push_back(entry.second);
        longest_ = std::max(longest_, entry.first.size());
    }
    std::vector<std::uint32_t> parent{kNone};
    std::vector<unsigned char> label{0};
    std::vector<std::uint32_t> out{kNone};
    std::vector<std::uint32_t> path{0}; // path[k]: the node of the previous text's first k bytes
    std::string_view previous;
    for (const auto& [text, pattern] : patterns) {
        std::size_t common = 0;
        while (common < previous.size() && common < text.size() && previous[common] == text[common])
            ++common;
        path.resize(common + 1);
        for (std::size_t j = common; j < text.size(); ++j) {
            if (parent.size() >= kSparse)
                throw std::bad_alloc();
            parent.push_back(path.back());
            label.push_back(static_cast<unsigned char>(text[j]));
            out.push_back(kNone);
            path.push_back(static_cast<std::uint32_t>(parent.size() - 1));
        }
        out[path.back()] = pattern;
        previous = text;
    }
    path = {};
    const auto n = static_cast<std::uint32_t>(parent.size());

    // Children by parent (in creation order, which is label order), then the breadth-first numbering.
    std::vector<std::uint32_t> begin(n + 1, 0);
    for (std::uint32_t v = 1; v < n; ++v)
        ++begin[parent[v] + 1];
    for (std::uint32_t v = 0; v < n; ++v)
        begin[v + 1] += begin[v];
    std::vector<std::uint32_t> children(n);
    {
        std::vector<std::uint32_t> cursor(begin.begin(), begin.end() - 1);
        for (std::uint32_t v = 1; v < n; ++v)
            children[cursor[parent[v]]++] = v;
    }
    parent = {};
    std::vector<std::uint32_t> order;
    order.reserve(n);
    order.push_back(0);
    nodes_.assign(std::size_t{n} + 1, Node{n, 0, 0, 0});
    for (std::uint32_t k = 0; k < order.size(); ++k) {
        const std::uint32_t v = order[k];
        nodes_[k].firstChild = static_cast<std::uint32_t>(order.size());
        for (std::uint32_t c = begin[v]; c < begin[v + 1]; ++c)
            order.push_back(children[c]);
    }
    begin = {};
    children = {};
    out_.resize(n);
    for (std::uint32_t k = 0; k < n; ++k) {
        nodes_[k].label = label[order[k]];
        out_[k] = out[order[k]];
    }
    label = {};
    out = {};
    order = {};
    rootNext_.fill(0);
    for (std::uint32_t c = nodes_[0].firstChild; c < nodes_[1].firstChild; ++c)
        rootNext_[nodes_[c].label] = c;
    if (!failureLinks) {
        endPairs_.fill(0);
        for (std::uint32_t v = nodes_[0].firstChild; v < nodes_[1].firstChild; ++v)
            for (std::uint32_t c = nodes_[v].firstChild; c < nodes_[v + 1].firstChild; ++c) {
                const std::uint32_t pair = nodes_[v].label | static_cast<std::uint32_t>(nodes_[c].label) << 8;
                endPairs_[pair >> 6] |= std::uint64_t{1} << (pair & 63);
            }
        BuildRuns(false);
        return;
    }

    // Failure links and report links, shallower nodes first.
    denseNodes_ = 0;
    report_.assign(n, kNone);
    for (std::uint32_t v = 0; v < n; ++v) {
        if (v > 0)
            report_[v] = out_[v] != kNone ? v : report_[nodes_[v].fail];
        for (std::uint32_t c = nodes_[v].firstChild; c < nodes_[v + 1].firstChild; ++c) {
            if (v == 0)
                continue; // a node of depth 1 fails to the root
            std::uint32_t f = nodes_[v].fail;
            for (;;) {
                const std::uint32_t t = f == 0 ? rootNext_[nodes_[c].label] : Child(f, nodes_[c].label);
                if (t != kNone && t != 0) {
                    nodes_[c].fail = t;
                    break;
                }
                if (f == 0)
                    break;
                f = nodes_[f].fail;
            }
        }
    }

    BuildRuns(true);

    // A step that reaches a node that reports, or one where a long chain of one byte starts (a run of that
    // byte goes down it at once). A step that stays where it is (see the dense table) is flagged by the walk.
    for (std::uint32_t v = 1; v < n; ++v) {
        if (report_[v] != kNone)
            nodes_[v].flags |= kReports >> kFlagShift;
        if (!runLeft_.empty() && runLeft_[v] >= kMinRunSteps)
            nodes_[v].flags |= kRepeats >> kFlagShift;
    }

    // The dense table: bytes that occur in no pattern share one class, which always leads to the root.
    std::array<bool, 256> used{};
    for (std::uint32_t v = 1; v < n; ++v)
        used[nodes_[v].label] = true;
    const auto usedCount = static_cast<std::uint32_t>(std::count(used.begin(), used.end(), true));
    const std::uint32_t first = usedCount < 256 ? 1 : 0;
    const std::uint32_t classes = usedCount + first;
    // The whole automaton when it fits, else its shallowest nodes, where it spends most of its steps.
    maxDenseCells = std::min<std::size_t>(
        {maxDenseCells, denseCellsLimit.load(std::memory_order_relaxed), kSparse}); // rows stay below kSparse
    const bool whole = std::size_t{n} * classes <= maxDenseCells;
    denseNodes_ = whole ? n : static_cast<std::uint32_t>(std::min<std::size_t>(n, maxDenseCells / classes));
    if (denseNodes_ == 0)
        return;
    classes_ = classes;
    classOf_.fill(0);
    std::array<unsigned char, 256> byteOf{};
    std::uint32_t next = first;
    for (unsigned b = 0; b < 256; ++b) {
        if (!used[b])
            continue;
        classOf_[b] = static_cast<std::uint8_t>(next);
        byteOf[next] = static_cast<unsigned char>(b);
        ++next;
    }
    // First the next nodes, then the entries: the next node (times classes_ for the whole table) and the
    // flags of the step. A step that leads back to the node it starts from (away from the root: the deepest
    // node of a chain of one byte from the root, b, bb, ..., by that byte) is flagged kRepeats, so that a
    // run of that byte is skipped at once; only that step, so that ordinary bytes never take the closer look.
    dense_.assign(std::size_t{denseNodes_} * classes_, 0);
    for (std::uint32_t v = 0; v < denseNodes_; ++v) {
        for (std::uint32_t k = first; k < classes_; ++k) {
            const unsigned char b = byteOf[k];
            const std::uint32_t c = v == 0 ? rootNext_[b] : Child(v, b);
            std::uint32_t& cell = dense_[std::size_t{v} * classes_ + k];
            if (c != kNone && c != 0)
                cell = c;
            else if (v != 0)
                cell = dense_[std::size_t{nodes_[v].fail} * classes_ + k];
        }
    }
    for (std::uint32_t v = 0; v < denseNodes_; ++v) {
        for (std::uint32_t k = 0; k < classes_; ++k) {
            std::uint32_t& cell = dense_[std::size_t{v} * classes_ + k];
            const std::uint32_t target = cell;
            cell = Encode(target) | StepFlags(target) | (target == v && v != 0 ? kRepeats : 0);
        }
    }
}

// Chains of one byte: from a node reached by byte b, the child by b, its child by b, and so on (for the
// automaton, only as long as they report nothing: a run of b then only steps down the chain). Each chain is
// kept in one piece of runNodes_, so the node any number of steps further down is found at once. Kept only
// when some chain is long.
void Automaton::BuildRuns(bool failureLinks) {
    const auto n = static_cast<std::uint32_t>(NodeCount());
    std::vector<std::uint32_t> next(n, kNone);
    std::vector<bool> followsParent(n, false);
    bool longRuns = false;
    std::vector<std::uint32_t> length(n, 0);
    for (std::uint32_t v = n; v-- > 1;) {
        const std::uint32_t c = Child(v, nodes_[v].label);
        if (c == kNone || (failureLinks && report_[c] != kNone))
            continue;
        next[v] = c;
        followsParent[c] = true;
        length[v] = 1 + length[c]; // a child has a larger number
        longRuns = longRuns || length[v] >= kMinRunSteps;
    }
    runNodes_ = {};
    runPos_ = {};
    runLeft_ = {};
    runOut_ = {};
    if (!longRuns)
        return;
    runPos_.assign(n, 0);
    runLeft_.assign(n, 0);
    runNodes_.reserve(n);
    for (std::uint32_t v = 1; v < n; ++v) {
        if (followsParent[v] || next[v] == kNone)
            continue;
        for (std::uint32_t u = v; u != kNone; u = next[u]) {
            runPos_[u] = static_cast<std::uint32_t>(runNodes_.size());
            runLeft_[u] = length[u];
            runNodes_.push_back(u);
        }
    }
    if (failureLinks)
        return;
    // For the trie, whose chains may hold patterns: per place in runNodes_, the first place from there on, in
    // the same chain, whose node ends a pattern (kNone past the chain's end).
    runOut_.assign(runNodes_.size() + 1, kNone);
    for (std::size_t q = runNodes_.size(); q-- > 0;) {
        const std::uint32_t u = runNodes_[q];
        if (out_[u] != kNone)
            runOut_[q] = static_cast<std::uint32_t>(q);
        else if (runLeft_[u] > 0)
            runOut_[q] = runOut_[q + 1];
    }
}

std::uint32_t Automaton::Child(std::uint32_t node, unsigned char byte) const {
    const Node* nodes = nodes_.data();
    std::uint32_t lo = nodes[node].firstChild;
    std::uint32_t hi = nodes[node + 1].firstChild;
    if (hi - lo > 8) {
        const Node* found = std::lower_bound(nodes + lo, nodes + hi, byte,
                                             [](const Node& v, unsigned char b) { return v.label < b; });
        return found != nodes + hi && found->label == byte ? static_cast<std::uint32_t>(found - nodes)
                                                           : kNone;
    }
    for (; lo < hi; ++lo)
        if (nodes[lo].label == byte)
            return lo;
    return kNone;
}

// The step by `byte` from a node past the dense table, as a dense entry gives it (the state reached and the
// step's flags, but for the step that stays in place): through the trie's children and the failure links.
std::uint32_t Automaton::NextSparse(std::uint32_t node, unsigned char byte) const {
    for (;;) {
        if (node < denseNodes_)
            return dense_[std::size_t{node} * classes_ + classOf_[byte]];
        const std::uint32_t c = node == 0 ? rootNext_[byte] : Child(node, byte);
        if (node == 0 || c != kNone)
            return Encode(c) | StepFlags(c);
        node = nodes_[node].fail;
    }
}

// Counts the patterns ending at a node: those on its chain of report links. Every pattern further along the
// chain is a suffix of the one before, so a pattern this walk already counted in the line ends the walk:
// the rest were counted with it. In a shared line a filter may have counted a pattern without its
// suffixes, so there the state's walk marks record which patterns this walk has passed instead.
std::size_t Automaton::Report(std::uint32_t node, const LineRun& run, std::size_t line, bool shared,
                              MatchState& state) const {
    const std::uint64_t stamp = run.firstLine + line + 1;
    std::size_t added = 0;
    for (std::uint32_t o = report_[node]; o != kNone; o = report_[nodes_[o].fail]) {
        const std::uint32_t pattern = out_[o];
        if (shared) {
            if (state.walkMark[pattern] == state.walkEpoch)
                break;
            state.walkMark[pattern] = state.walkEpoch;
            if (state.lastLine[pattern] == stamp)
                continue;
        } else if (state.lastLine[pattern] == stamp) {
            break;
        }
        state.Hit(pattern, run, line);
        ++added;
    }
    return added;
}

std::size_t Automaton::CountedIn(const LineRun& run, std::size_t i, const MatchState& state) const {
    if (i != 0 || run.firstLineOffset == run.bufferOffset + run.lineStarts[0])
        return 0;
    return Stamped(run.firstLine + 1, state);
}

std::size_t Automaton::Stamped(std::uint64_t stamp, const MatchState& state) const {
    return static_cast<std::size_t>(std::count_if(
        patterns_.begin(), patterns_.end(), [&](std::uint32_t p) { return state.lastLine[p] == stamp; }));
}

// The automaton has just reached `node` through the byte at d + j, which repeats. Along its chain (see
// BuildRuns) it would only step down while the byte repeats: it goes as far down as the run allows at once.
// Gives the node it is at and the bytes it went past (the byte that led there is then at d + j + steps).
Automaton::Jump Automaton::JumpRun(std::uint32_t node, const char* d, std::size_t j, std::size_t end) const {
    const std::uint32_t left = runLeft_[node];
    if (left < kMinRunSteps)
        return {node, 0};
    const std::size_t steps = RunEnd(d, j + 1, std::min<std::size_t>(end, j + 1 + left), d[j]) - (j + 1);
    return {runNodes_[runPos_[node] + steps], steps};
}

// A step by the byte at d + j has reached `next` from `at`, flagged kRepeats. While the byte repeats the walk
// would stay where it is, or only step down its chain of that byte: it goes past the run at once. Gives the
// state reached; j is then at the last byte taken.
std::uint32_t Automaton::PastRun(std::uint32_t next, std::uint32_t at, const char* d, std::size_t& j,
                                 std::size_t end) const {
    if (j + 1 >= end || d[j + 1] != d[j])
        return next;
    if (next == at) {
        j = RunEnd(d, j + 1, end, d[j]) - 1;
        return next;
    }
    if (runNodes_.empty())
        return next;
    const Jump jump = JumpRun(NodeOf(next), d, j, end);
    j += jump.steps;
    return Encode(jump.node);
}

namespace {

// A walk over part of a line: the next byte, where the part ends, and the state (see Encode).
struct Lane {
    std::size_t j = 0;
    std::size_t end = 0;
    std::uint32_t at = 0;
};

// A long line is walked in kLanes parts at once: each step of one walk waits for the table read of the step
// before, while the steps of walks over different parts do not wait for each other. A part is taken only
// when it is at least kMinLaneBytes long and kLaneOverlapShare times the longest pattern, which every part
// but the first reads again before its start (from the root, so that an occurrence across the cut is seen).
constexpr std::size_t kLanes = 4;
constexpr std::size_t kMinLaneBytes = 512;
constexpr std::size_t kLaneOverlapShare = 16;
// Lines are walked kLinesBeside at a time when more than kMinLinesBeside are left, and the catalogue has at
// most kMaxPatternsBeside patterns (each walk keeps 8 bytes per pattern: at most 8 MiB for the four).
constexpr std::size_t kMinLinesBeside = 8;
constexpr std::size_t kLinesBeside = 4; // eight gain nothing more
constexpr std::size_t kMaxPatternsBeside = std::size_t{1} << 18;

// Four walks through the dense table side by side, the bytes of walk k from bytes[k] on: takes up to `left`
// steps of each while no entry reached carries one of `stop`'s bits. Gives the steps taken; the walks' states
// are then in at[], and when they stopped early, the entries that stopped them in cell[] (not yet taken).
// The walks wait for their own table reads only, not for each other's.
[[gnu::always_inline]] inline std::size_t StepFour(const std::uint32_t* table, const std::uint8_t* classOf,
                                                   const std::array<const unsigned char*, 4>& bytes,
                                                   std::array<std::uint32_t, 4>& at,
                                                   std::array<std::uint32_t, 4>& cell, std::size_t left,
                                                   std::uint32_t stop) {
    const unsigned char *b0 = bytes[0], *b1 = bytes[1], *b2 = bytes[2], *b3 = bytes[3];
    // Held as size_t, so that an index is one 64-bit addition.
    std::size_t a0 = at[0], a1 = at[1], a2 = at[2], a3 = at[3];
    std::uint32_t c0 = 0, c1 = 0, c2 = 0, c3 = 0;
    std::size_t k = 0;
    for (; k < left; ++k) {
        c0 = table[a0 + classOf[b0[k]]];
        c1 = table[a1 + classOf[b1[k]]];
        c2 = table[a2 + classOf[b2[k]]];
        c3 = table[a3 + classOf[b3[k]]];
        if (((c0 | c1 | c2 | c3) & stop) != 0) [[unlikely]]
            break;
        a0 = c0;
        a1 = c1;
        a2 = c2;
        a3 = c3;
    }
    at = {static_cast<std::uint32_t>(a0), static_cast<std::uint32_t>(a1), static_cast<std::uint32_t>(a2),
          static_cast<std::uint32_t>(a3)};
    cell = {c0, c1, c2, c3};
    return k;
}

} // namespace

// Walks line i of the run, recording its patterns. A state that the byte leads back to stays while the byte
// repeats, and so do its reports, which count nothing more in the same line: the rest of the run of that
// byte is skipped at once; along a chain of one byte the walk goes down as far as the run allows at once.
// The walk ends once every pattern is counted in the line. Occurrences seen by two parts of the line are
// counted once: a line counts each pattern once.
template <bool Whole>
void Automaton::WalkLine(const LineRun& run, std::size_t i, bool shared, std::size_t& counted,
                         MatchState& state) const {
    const char* d = run.data;
    const std::size_t all = patterns_.size();
    const std::uint32_t* table = dense_.data();
    const std::uint8_t* classOf = classOf_.data();
    // Completes a step of the lane that has reached `next` through its byte: the reports, and a run of the
    // byte skipped or gone down at once.
    const auto land = [&](Lane & lane, std::uint32_t next, std::uint32_t flags)
        __attribute__((always_inline)) {
        if (flags != 0) [[unlikely]] {
            if (flags & kReports)
                counted += Report(NodeOf(next), run, i, shared, state);
            if (flags & kRepeats)
                next = PastRun(next, lane.at, d, lane.j, lane.end);
        }
        lane.at = next;
        ++lane.j;
    };
    const auto step = [&](Lane & lane) __attribute__((always_inline)) {
        const auto byte = static_cast<unsigned char>(d[lane.j]);
        if (Whole || (lane.at & kSparse) == 0) {
            const std::uint32_t cell = table[lane.at + classOf[byte]];
            land(lane, cell & ~kFlags, cell & kFlags);
        } else {
            const std::uint32_t cell = NextSparse(lane.at & ~kSparse, byte);
            const std::uint32_t next = cell & ~kFlags;
            land(lane, next, (cell & kFlags) | (next == lane.at ? kRepeats : 0));
        }
    };

    const std::size_t start = run.lineStarts[i];
    const std::size_t end = run.lineEnds[i];
    const std::size_t part = (end - start) / kLanes;
    if (Whole && part >= kMinLaneBytes && part >= kLaneOverlapShare * longest_) {
        static_assert(kLanes == 4);
        Lane l0{start, start + part, 0};
        Lane l1{start + part - (longest_ - 1), start + 2 * part, 0};
        Lane l2{start + 2 * part - (longest_ - 1), start + 3 * part, 0};
        Lane l3{start + 3 * part - (longest_ - 1), end, 0};
        const auto* u = reinterpret_cast<const unsigned char*>(d);
        while (counted < all) {
            // As many steps as every lane has left, taken in turn while no step needs more than the table.
            std::size_t left =
                std::min(std::min(l0.end - l0.j, l1.end - l1.j), std::min(l2.end - l2.j, l3.end - l3.j));
            if (left == 0)
                break;
            std::array<std::uint32_t, 4> at{l0.at, l1.at, l2.at, l3.at}, cell;
            const std::size_t taken =
                StepFour(table, classOf, {u + l0.j, u + l1.j, u + l2.j, u + l3.j}, at, cell, left, kFlags);
            l0.at = at[0], l1.at = at[1], l2.at = at[2], l3.at = at[3];
            l0.j += taken, l1.j += taken, l2.j += taken, l3.j += taken;
            if (taken < left) {
                land(l0, cell[0] & ~kFlags, cell[0] & kFlags);
                land(l1, cell[1] & ~kFlags, cell[1] & kFlags);
                land(l2, cell[2] & ~kFlags, cell[2] & kFlags);
                land(l3, cell[3] & ~kFlags, cell[3] & kFlags);
                // A lane may have gone past a run: the steps left are counted afresh.
            }
        }
        for (Lane* lane : {&l0, &l1, &l2, &l3})
            while (counted < all && lane->j < lane->end)
                step(*lane);
        return;
    }
    Lane lane{start, end, Encode(0)};
    while (counted < all && lane.j < lane.end)
        step(lane);
}

// Walks lines from .. to - 1 (complete lines, in which no pattern of the automaton is counted yet) four at a
// time, each walk in its own line: the table reads of one line's steps do not wait for another's. Each walk
// keeps its own record of the patterns counted in its line, since lines are finished out of order; the
// counts and the last line counted per pattern end as walking them in order gives.
template <bool Whole>
void Automaton::WalkLinesBeside(const LineRun& run, std::size_t from, std::size_t to,
                                MatchState& state) const {
    const char* d = run.data;
    const std::size_t all = patterns_.size();
    const std::uint32_t* table = dense_.data();
    const std::uint8_t* classOf = classOf_.data();
    const std::size_t patterns = state.lastLine.size();
    if (state.laneLast.size() < kLinesBeside * patterns)
        state.laneLast.assign(kLinesBeside * patterns, 0);
    struct LineLane {
        std::size_t j = 0;
        std::size_t end = 0;
        std::uint32_t at = 0;
        std::size_t counted = 0;
        std::uint64_t stamp = 0;
        std::uint64_t* last = nullptr;
    };
    std::size_t next = from;
    const std::uint32_t root = Encode(0);
    // Gives the lane the next line that has bytes; false when there is none.
    const auto take = [&](LineLane & lane) __attribute__((always_inline)) {
        while (next < to) {
            const std::size_t i = next++;
            if (run.lineEnds[i] > run.lineStarts[i]) {
                lane.j = run.lineStarts[i];
                lane.end = run.lineEnds[i];
                lane.at = root;
                lane.counted = 0;
                lane.stamp = run.firstLine + i + 1;
                return true;
            }
        }
        return false;
    };
    // As Report, with the lane's record.
    const auto report = [&](LineLane& lane, std::uint32_t node) {
        for (std::uint32_t o = report_[node]; o != kNone; o = report_[nodes_[o].fail]) {
            const std::uint32_t pattern = out_[o];
            if (lane.last[pattern] == lane.stamp)
                break;
            lane.last[pattern] = lane.stamp;
            ++state.counts[pattern];
            state.lastLine[pattern] = std::max(state.lastLine[pattern], lane.stamp);
            ++lane.counted;
        }
    };
    // Completes a step of the lane that has reached `target` through its byte (see WalkLine's).
    const auto land = [&](LineLane & lane, std::uint32_t target, std::uint32_t flags)
        __attribute__((always_inline)) {
        if (flags != 0) [[unlikely]] {
            if (flags & kReports) {
                report(lane, NodeOf(target));
                if (lane.counted == all) {
                    lane.j = lane.end; // every pattern is counted in this line
                    return;
                }
            }
            if (flags & kRepeats)
                target = PastRun(target, lane.at, d, lane.j, lane.end);
        }
        lane.at = target;
        ++lane.j;
    };
    const auto step = [&](LineLane & lane) __attribute__((always_inline)) {
        const auto byte = static_cast<unsigned char>(d[lane.j]);
        if (Whole || (lane.at & kSparse) == 0) {
            const std::uint32_t cell = table[lane.at + classOf[byte]];
            land(lane, cell & ~kFlags, cell & kFlags);
        } else {
            const std::uint32_t cell = NextSparse(lane.at & ~kSparse, byte);
            const std::uint32_t target = cell & ~kFlags;
            land(lane, target, (cell & kFlags) | (target == lane.at ? kRepeats : 0));
        }
    };

    std::array<LineLane, kLinesBeside> lanes;
    for (std::size_t k = 0; k < kLinesBeside; ++k)
        lanes[k].last = state.laneLast.data() + k * patterns;
    const auto each = [&]<std::size_t... K>(std::index_sequence<K...>, auto&& f) {
        return (f(lanes[K]) && ...);
    };
    constexpr auto kAll = std::make_index_sequence<kLinesBeside>{};
    static_assert(kLinesBeside == 4);
    LineLane& l0 = lanes[0];
    LineLane& l1 = lanes[1];
    LineLane& l2 = lanes[2];
    LineLane& l3 = lanes[3];
    const auto* u = reinterpret_cast<const unsigned char*>(d);
    // A step the tight loop leaves to land(): it reports, may skip a run, or leaves the dense table.
    constexpr std::uint32_t kSlow = kFlags | (Whole ? 0 : kSparse);
    if (each(kAll, take)) {
        for (;;) {
            if (Whole || ((l0.at | l1.at | l2.at | l3.at) & kSparse) == 0) {
                // As many steps as every lane's line has left, while no step needs more than the table.
                std::size_t left =
                    std::min(std::min(l0.end - l0.j, l1.end - l1.j), std::min(l2.end - l2.j, l3.end - l3.j));
                std::array<std::uint32_t, 4> at{l0.at, l1.at, l2.at, l3.at}, cell;
                const std::size_t taken =
                    StepFour(table, classOf, {u + l0.j, u + l1.j, u + l2.j, u + l3.j}, at, cell, left, kSlow);
                l0.at = at[0], l1.at = at[1], l2.at = at[2], l3.at = at[3];
                l0.j += taken, l1.j += taken, l2.j += taken, l3.j += taken;
                if (taken < left) {
                    land(l0, cell[0] & ~kFlags, cell[0] & kFlags);
                    land(l1, cell[1] & ~kFlags, cell[1] & kFlags);
                    land(l2, cell[2] & ~kFlags, cell[2] & kFlags);
                    land(l3, cell[3] & ~kFlags, cell[3] & kFlags);
                }
            } else {
                // A lane past the dense table walks on alone until it is back in the table or its line
                // ends (the others wait for it).
                each(kAll, [&](LineLane& lane) {
                    while ((lane.at & kSparse) != 0 && lane.j < lane.end)
                        step(lane);
                    return true;
                });
            }
            if (!each(kAll, [&](LineLane& lane) { return lane.j < lane.end || take(lane); }))
                break;
        }
    }
    // The lines left, one walk at a time.
    for (LineLane& lane : lanes) {
        do {
            while (lane.j < lane.end)
                step(lane);
        } while (take(lane));
    }
}

void Automaton::ScanLines(const LineRun& run, std::size_t from, bool shared, MatchState& state,
                          std::size_t to, std::size_t countedInFrom) const {
    to = std::min(to, run.count);
    if (Empty() || from >= to)
        return;
    if (shared) {
        if (state.walkMark.size() < state.lastLine.size())
            state.walkMark.assign(state.lastLine.size(), 0);
        if (++state.walkEpoch == 0) { // after 2^32 shared lines: the marks start afresh
            std::fill(state.walkMark.begin(), state.walkMark.end(), 0);
            state.walkEpoch = 1;
        }
    }
    for (std::size_t i = from; i < to; ++i) {
        std::size_t counted = 0;
        if (i == from && shared)
            counted = countedInFrom != kUnknown ? countedInFrom : Stamped(run.firstLine + i + 1, state);
        else if (i == from)
            counted = CountedIn(run, i, state);
        if (denseNodes_ == NodeCount())
            WalkLine<true>(run, i, shared && i == from, counted, state);
        else
            WalkLine<false>(run, i, shared && i == from, counted, state);
        // Many lines left (and no instance list, which needs the lines in order): four at a time.
        if (i == from && to - from > kMinLinesBeside && state.found == nullptr &&
            state.lastLine.size() <= kMaxPatternsBeside) {
            if (denseNodes_ == NodeCount())
                WalkLinesBeside<true>(run, from + 1, to, state);
            else
                WalkLinesBeside<false>(run, from + 1, to, state);
            return;
        }
    }
}

void Automaton::WalkLineEnds(const LineRun& run, std::size_t complete, MatchState& state) const {
    if (Empty())
        return;
    const char* d = run.data;
    for (std::size_t i = 0; i < complete; ++i) {
        const std::size_t start = run.lineStarts[i];
        const std::size_t end = run.lineEnds[i];
        if (end == start)
            continue;
        // Most lines end in no pattern's last byte, or in none of the patterns' last two bytes.
        const auto last = static_cast<unsigned char>(d[end - 1]);
        const std::uint32_t first = rootNext_[last];
        if (first == 0)
            continue;
        if (out_[first] != kNone)
            state.Hit(out_[first], run, i);
        if (end - start < 2)
            continue;
        const std::uint32_t pair = last | static_cast<std::uint32_t>(static_cast<unsigned char>(d[end - 2]))
                                              << 8;
        if (!((endPairs_[pair >> 6] >> (pair & 63)) & 1))
            continue;
        std::uint32_t node = first;
        for (std::size_t j = end - 1; j > start; --j) {
            const char byte = d[j - 1];
            node = Child(node, static_cast<unsigned char>(byte));
            if (node == kNone)
                break;
            if (out_[node] != kNone)
                state.Hit(out_[node], run, i);
            // Down the node's chain as far as the run of its byte goes back, counting the patterns passed.
            if (runNodes_.empty() || runLeft_[node] < kMinRunSteps || j - 1 == start || d[j - 2] != byte)
                continue;
            const std::size_t from = j - 1 - start > runLeft_[node] ? j - 1 - runLeft_[node] : start;
            const std::size_t steps = j - 1 - RunStart(d, j - 1, from, byte);
            const std::uint32_t at = runPos_[node];
            for (std::uint32_t q = runOut_[at + 1]; q <= at + steps; q = runOut_[q + 1])
                state.Hit(out_[runNodes_[q]], run, i);
            node = runNodes_[at + steps];
            j -= steps;
        }
    }
}

std::size_t Automaton::MemoryBytes() const {
    return nodes_.capacity() * sizeof(Node) + out_.capacity() * 4 + report_.capacity() * 4 +
           dense_.capacity() * 4 +
           (runNodes_.capacity() + runPos_.capacity() + runLeft_.capacity() + runOut_.capacity()) * 4 +
           sizeof(*this);
}

} // namespace scan::detail
