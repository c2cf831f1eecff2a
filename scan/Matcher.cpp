#include "scan/Matcher.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "scan/Automaton.h"
#include "scan/LineRun.h"

namespace scan {

// ---- PlainMatcher -------------------------------------------------------------------------------------

PlainMatcher::PlainMatcher(const std::vector<std::string>& searchStrings) : searchStrings_(searchStrings) {}

bool PlainMatcher::Matches(std::string_view line, std::size_t i) const {
    if (i >= searchStrings_.size())
        return false;
    std::string searchText(line);
    searchText += "\r\n";
    return searchText.find(searchStrings_[i]) != std::string::npos;
}

void PlainMatcher::CountLine(std::string_view line, std::vector<std::uint64_t>& counts) const {
    std::string searchText(line);
    searchText += "\r\n";
    for (std::size_t i = 0; i < searchStrings_.size() && i < counts.size(); ++i)
        if (searchText.find(searchStrings_[i]) != std::string::npos)
            ++counts[i];
}

// ---- EventMatcher: compiled form ----------------------------------------------------------------------

namespace detail {

namespace {

// Ordinary patterns of at least kWideMinLength bytes are found through 4-byte keys, those of
// kNarrowMinLength to kWideMinLength - 1 bytes through 2- or 3-byte keys; shorter ones, and short ones
// fewer than kNarrowFilterMinPatterns (a filter pass would cost more than it saves), by searching for their
// rarest byte.
constexpr std::size_t kWideMinLength = 8;
constexpr std::size_t kNarrowMinLength = 4;
constexpr std::size_t kNarrowFilterMinPatterns = 4;
// A filter looks at one position in `stride`; longer strides put more keys of each pattern in the bitmap.
constexpr std::size_t kMaxStride = 16;
constexpr unsigned kWideKeyBits = 17;
constexpr unsigned kTripleKeyBits = 17;
constexpr unsigned kPairKeyBits = 16;
// The cost of a position whose key is in the bitmap (a mispredicted branch, a bucket to walk) against one
// whose key is not: weighs a shorter stride against fewer false candidates when choosing narrow keys.
constexpr double kCandidateCost = 20;
// A filter hands the rest of a run to its group's automaton once its candidates and comparisons have cost
// more than kWorkBase plus kWorkPerByte per byte of the run it has passed (a candidate costs 1, a
// comparison past the first 8 bytes its length): on ordinary logs that never happens, on hostile ones (runs
// of one byte, many patterns sharing a key) the comparisons would otherwise grow with the patterns' length
// and number.
constexpr std::size_t kWorkBase = 64;
constexpr std::size_t kWorkPerByte = 1; // ordinary logs cost a third of that at most
// Short patterns beyond this many are found by an automaton rather than one byte search each.
constexpr std::size_t kMaxRareBytePatterns = 8;

std::uint32_t WideKey(const char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return (v * 0x9E3779B1u) >> (32 - kWideKeyBits);
}

// Reads 4 bytes and keys on the first 3; the fourth may lie past the run's end (kRunSlack).
std::uint32_t TripleKey(const char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    if constexpr (std::endian::native == std::endian::big)
        v >>= 8;
    else
        v &= 0xFFFFFFu;
    return (v * 0x9E3779B1u) >> (32 - kTripleKeyBits);
}

std::uint32_t PairKey(const char* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

std::uint64_t Load8(const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Rough frequency of a byte in mail-server logs (parts per thousand), used to pick the rarest parts of a
// search string as its keys. Only speed depends on it, never a count.
double ByteFrequency(unsigned char byte) {
    static const std::array<double, 256> table = [] {
        std::array<double, 256> f{};
        f.fill(0.3);
        const char* lower = "etaoinsrhldcumfpgwybvkxjqz";
        const double lowerFrequency[] = {80, 60, 55, 55, 50, 50, 45, 45, 25, 30, 25, 25, 20,
                                         20, 12, 15, 12, 8,  8,  8,  6,  5,  3,  1,  1,  1};
        for (int i = 0; lower[i] != '\0'; ++i)
            f[static_cast<unsigned char>(lower[i])] = lowerFrequency[i];
        for (char c = 'A'; c <= 'Z'; ++c)
            f[static_cast<unsigned char>(c)] = 3;
        for (const char c : std::string_view("ACDEFIMLNOPRST"))
            f[static_cast<unsigned char>(c)] = 6;
        for (char c = '0'; c <= '9'; ++c)
            f[static_cast<unsigned char>(c)] = 30;
        f[' '] = 150;
        f['\t'] = 30;
        f['\n'] = 60; // every CR LF holds one
        for (const char c : std::string_view(".:"))
            f[static_cast<unsigned char>(c)] = 20;
        for (const char c : std::string_view("/-<>@"))
            f[static_cast<unsigned char>(c)] = 8;
        for (const char c : std::string_view("[](),;=_'\""))
            f[static_cast<unsigned char>(c)] = 3;
        return f;
    }();
    return table[byte];
}

double KeyFrequency(const char* p, std::size_t bytes) {
    double f = 1;
    for (std::size_t i = 0; i < bytes; ++i)
        f *= ByteFrequency(static_cast<unsigned char>(p[i])) / 1000;
    return f;
}

} // namespace

struct PatternText {
    const char* data = nullptr;
    std::size_t size = 0;
};

// A pattern as a key's bucket holds it: its first bytes for a quick comparison, then the rest.
struct Candidate {
    std::uint64_t head = 0;     // the pattern's first (up to) 8 bytes, as Load8 reads them
    std::uint64_t headMask = 0; // which bytes of head count
    const char* data = nullptr;
    std::size_t size = 0;
    std::size_t offset = 0; // where the key's bytes start inside the pattern
    std::uint32_t pattern = 0;
    bool leadingLf = false;

    Candidate() = default;
    Candidate(std::string_view text, std::uint32_t patternIndex, std::size_t keyOffset)
        : data(text.data()), size(text.size()), offset(keyOffset), pattern(patternIndex),
          leadingLf(!text.empty() && text.front() == '\n') {
        const std::size_t n = std::min<std::size_t>(8, text.size());
        std::memcpy(&head, text.data(), n);
        std::memset(&headMask, 0xFF, n);
    }
};

// Maps 16- or 17-bit keys to the candidates that have them: a bitmap small enough for the first-level cache
// says whether a key has any; a key's bucket is found by counting the keys below it.
struct KeyFilter {
    std::size_t stride = 0; // 0: no pattern uses this filter
    std::size_t keyBytes = 0;
    std::vector<std::uint64_t> bits;
    std::vector<std::uint32_t> rank; // per word of bits: keys present in the words before it
    // Per key present, in key order: its first candidate; one more at the end.
    std::vector<std::uint32_t> first;
    std::vector<Candidate> candidates;

    bool Test(std::uint32_t key) const { return (bits[key >> 6] >> (key & 63)) & 1u; }

    std::pair<const Candidate*, const Candidate*> Bucket(std::uint32_t key) const {
        const std::uint64_t word = bits[key >> 6];
        const std::uint64_t below = word & ((std::uint64_t{1} << (key & 63)) - 1);
        const std::size_t index = rank[key >> 6] + static_cast<std::size_t>(std::popcount(below));
        return {candidates.data() + first[index], candidates.data() + first[index + 1]};
    }

    void Build(unsigned keyBits, std::vector<std::pair<std::uint32_t, Candidate>>& pairs) {
        const std::size_t words = (std::size_t{1} << keyBits) / 64;
        bits.assign(words, 0);
        rank.assign(words, 0);
        std::stable_sort(pairs.begin(), pairs.end(),
                         [](const auto& x, const auto& y) { return x.first < y.first; });
        candidates.clear();
        first.clear();
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            const std::uint32_t key = pairs[i].first;
            if (i == 0 || key != pairs[i - 1].first) {
                bits[key >> 6] |= std::uint64_t{1} << (key & 63);
                first.push_back(static_cast<std::uint32_t>(candidates.size()));
            }
            candidates.push_back(pairs[i].second);
        }
        first.push_back(static_cast<std::uint32_t>(candidates.size()));
        std::uint32_t total = 0;
        for (std::size_t w = 0; w < words; ++w) {
            rank[w] = total;
            total += static_cast<std::uint32_t>(std::popcount(bits[w]));
        }
    }
};

// An ordinary pattern of a few bytes, found by searching for its rarest byte.
struct RareBytePattern {
    std::uint32_t pattern = 0;
    std::size_t rare = 0; // position of the rarest byte in the pattern
};

struct CompiledCatalogue {
    std::vector<std::size_t> entryPattern; // entry -> pattern
    std::vector<std::string> bodies;       // per pattern: the bytes searched (for an end-anchored one, the
                                           // part before the CR)
    std::vector<PatternText> texts;        // views of bodies
    std::vector<std::uint32_t> always;     // patterns that match every line
    std::vector<RareBytePattern> rareByte; // short ordinary patterns, when few
    KeyFilter wide;                        // ordinary patterns of kWideMinLength bytes or more
    KeyFilter narrow;                      // shorter ordinary patterns, by 2- or 3-byte keys
    Automaton wideAutomaton;               // the wide filter's patterns, for runs it hands over
    Automaton narrowAutomaton;             // the narrow filter's patterns, likewise
    Automaton shortAutomaton;              // short ordinary patterns, when too many for rareByte
    Automaton lineEnds;                    // end-anchored patterns, reversed: walked back from a line's end
    std::size_t overlap = 1;
};

namespace {

enum class PatternKind { Always, Never, EndAnchored, Ordinary };

// Sorts a search string by how it can occur in "line" + CR LF, where the line holds no CR. body receives the
// bytes that must occur: the whole string for an ordinary one, the part before the CR for an end-anchored
// one.
PatternKind Classify(std::string_view s, std::string& body) {
    body.clear();
    if (s.empty())
        return PatternKind::Always;
    const std::size_t cr = s.find('\r');
    if (cr == std::string_view::npos) {
        if (s == "\n") // the LF that follows the appended CR
            return PatternKind::Always;
        body.assign(s);
        return PatternKind::Ordinary;
    }
    const std::string_view rest = s.substr(cr + 1);
    if (!rest.empty() && rest != "\n") // the search text has one CR, followed only by LF
        return PatternKind::Never;
    if (cr == 0)
        return PatternKind::Always;
    body.assign(s.substr(0, cr));
    return PatternKind::EndAnchored;
}

// Every occurrence of a pattern covers exactly one sampled position within any `stride` consecutive offsets
// of it; so the keys at offsets first .. first + stride - 1 are indexed, choosing the rarest such window.
std::size_t RarestWindow(std::string_view body, std::size_t keyBytes, std::size_t stride) {
    std::size_t best = 0;
    double bestFrequency = 0;
    for (std::size_t first = 0; first + stride - 1 + keyBytes <= body.size(); ++first) {
        double f = 0;
        for (std::size_t o = first; o < first + stride; ++o)
            f += KeyFrequency(body.data() + o, keyBytes);
        if (first == 0 || f < bestFrequency) {
            best = first;
            bestFrequency = f;
        }
    }
    return best;
}

template <std::uint32_t (*Key)(const char*), std::size_t KeyBytes>
void ScanKeyed(const KeyFilter& filter, const Automaton& automaton, const LineRun& run, MatchState& state) {
    const char* d = run.data;
    const std::size_t a = run.begin;
    const std::size_t end = run.end;
    if (end - a < KeyBytes)
        return;
    const std::size_t last = end - KeyBytes;
    const std::size_t stride = filter.stride;
    const std::size_t all = automaton.PatternCount();
    std::size_t line = 0;
    std::size_t counted = automaton.CountedIn(run, 0, state); // of the filter's patterns, in `line`
    std::size_t work = 0;
    // Any `stride` consecutive positions from the line's start on hold a sampled one, so sampling may start
    // afresh at a line's start.
    for (std::size_t p = a; p <= last; p += stride) {
        const std::uint32_t key = Key(d + p);
        if (!filter.Test(key)) [[likely]]
            continue;
        // A pattern holds no CR, so an occurrence lies inside the line that holds p.
        if (run.lineEnds[line] <= p) {
            do
                ++line;
            while (run.lineEnds[line] <= p);
            counted = 0;
        }
        const std::uint64_t stamp = run.firstLine + line + 1;
        const auto [from, to] = filter.Bucket(key);
        for (const Candidate* c = from; c != to; ++c) {
            ++work;
            // A line counts once per pattern: one already counted in it needs no more comparisons.
            if (c->offset > p - a || state.lastLine[c->pattern] == stamp)
                continue;
            const std::size_t s = p - c->offset;
            if (c->size > end - s)
                continue;
            // The first 8 bytes (which may lie past the run's end: the searcher's buffer has room for them),
            // the last byte, then the rest.
            if ((Load8(d + s) & c->headMask) != c->head)
                continue;
            if (c->size > 8) {
                if (d[s + c->size - 1] != c->data[c->size - 1])
                    continue;
                work += c->size;
                if (std::memcmp(d + s + 8, c->data + 8, c->size - 8) != 0)
                    continue;
            }
            // Nor can it start with the LF of a CR LF terminator.
            if (c->leadingLf && s > a && d[s - 1] == '\r')
                continue;
            state.Hit(c->pattern, run, line);
            ++counted;
        }
        if (counted == all) {
            // Every pattern of the filter is counted in this line: go on with the next one.
            if (line + 1 == run.count)
                return;
            ++line;
            counted = 0;
            p = run.lineStarts[line] - stride; // wraps below 0 and back with the loop's step
            continue;
        }
        if (work > kWorkBase + kWorkPerByte * (p - a)) [[unlikely]] {
            // Every occurrence in an earlier line has been seen; from this line on the automaton reads
            // each byte once.
            automaton.ScanLines(run, line, true, state);
            return;
        }
    }
}

void ScanRareBytes(const CompiledCatalogue& c, const LineRun& run, MatchState& state) {
    const char* d = run.data;
    const std::size_t a = run.begin;
    const std::size_t end = run.end;
    for (const RareBytePattern& r : c.rareByte) {
        const PatternText t = c.texts[r.pattern];
        const auto byte = static_cast<unsigned char>(t.data[r.rare]);
        std::size_t line = 0;
        // Whether the pattern occurs with its rare byte at h; if so counts the line and returns where the
        // search goes on (the rest of the line cannot add to the count).
        const auto tryAt = [&](std::size_t h, std::size_t& next) {
            const std::size_t s = h - r.rare;
            if (t.size > end - s || std::memcmp(d + s, t.data, t.size) != 0 ||
                (t.data[0] == '\n' && s > a && d[s - 1] == '\r'))
                return false;
            while (run.lineEnds[line] <= h)
                ++line;
            state.Hit(r.pattern, run, line);
            next = run.lineEnds[line] + 1 + r.rare;
            return true;
        };
        // The rare byte of an occurrence at s lies at s + r.rare.
        std::size_t pos = a + r.rare;
        std::size_t misses = 0;
        while (pos < end) {
            // A byte that is not rare in this log makes a search per byte that finds nothing (a search that
            // finds the pattern goes on in the next line): past one miss per 16 bytes, a plain loop costs
            // less.
            if (misses > kWorkBase + (pos - a) / 16) [[unlikely]] {
                for (std::size_t h = pos; h < end;) {
                    std::size_t next = h + 1;
                    if (static_cast<unsigned char>(d[h]) == byte)
                        tryAt(h, next);
                    h = next;
                }
                break;
            }
            const void* found = std::memchr(d + pos, byte, end - pos);
            if (found == nullptr)
                break;
            const auto h = static_cast<std::size_t>(static_cast<const char*>(found) - d);
            std::size_t next = h + 1;
            misses += tryAt(h, next) ? 0 : 1;
            pos = next;
        }
    }
}

std::unique_ptr<CompiledCatalogue> Compile(const std::vector<std::string>& searchStrings) {
    auto c = std::make_unique<CompiledCatalogue>();
    // Search strings that match the same lines share one pattern: identical ones, and those of one kind with
    // one body ("QUIT\r" and "QUIT\r\n"; every string that matches every line, or none).
    std::unordered_map<std::string, std::size_t> seen;
    std::vector<PatternKind> kinds;
    c->entryPattern.reserve(searchStrings.size());
    std::string classified;
    std::string key;
    for (const std::string& s : searchStrings) {
        const PatternKind kind = Classify(s, classified);
        key.assign(1, static_cast<char>(kind));
        key += classified;
        const auto [it, inserted] = seen.try_emplace(key, kinds.size());
        if (inserted) {
            c->bodies.push_back(classified);
            kinds.push_back(kind);
        }
        c->entryPattern.push_back(it->second);
    }
    seen = {};
    for (const std::string& body : c->bodies) {
        c->texts.push_back({body.data(), body.size()});
        c->overlap = std::max(c->overlap, body.size());
    }

    // Which ordinary patterns each filter takes, and the filters' strides (set by their shortest pattern).
    std::size_t shortestWide = SIZE_MAX;
    std::size_t shortestNarrow = SIZE_MAX;
    std::size_t narrowPatterns = 0;
    for (std::size_t p = 0; p < kinds.size(); ++p) {
        const std::size_t n = c->bodies[p].size();
        if (kinds[p] != PatternKind::Ordinary)
            continue;
        if (n >= kWideMinLength) {
            shortestWide = std::min(shortestWide, n);
        } else if (n >= kNarrowMinLength) {
            shortestNarrow = std::min(shortestNarrow, n);
            ++narrowPatterns;
        }
    }
    if (shortestWide != SIZE_MAX)
        c->wide.stride = std::min(kMaxStride, shortestWide - 4 + 1);
    if (narrowPatterns >= kNarrowFilterMinPatterns) {
        // Pairs of bytes allow a longer stride, triples give fewer false candidates: take the cheaper.
        const auto cost = [&](std::size_t keyBytes, unsigned keyBits) {
            const std::size_t stride = std::min(kMaxStride, shortestNarrow - keyBytes + 1);
            double candidates = 0;
            for (std::size_t p = 0; p < kinds.size(); ++p) {
                const std::string_view body = c->bodies[p];
                if (kinds[p] != PatternKind::Ordinary || body.size() < kNarrowMinLength ||
                    body.size() >= kWideMinLength)
                    continue;
                const std::size_t first = RarestWindow(body, keyBytes, stride);
                for (std::size_t o = first; o < first + stride; ++o)
                    candidates += KeyFrequency(body.data() + o, keyBytes) + 1.0 / (1u << keyBits);
            }
            return (1 + kCandidateCost * std::min(candidates, 1.0)) / static_cast<double>(stride);
        };
        c->narrow.keyBytes = cost(2, kPairKeyBits) <= cost(3, kTripleKeyBits) ? 2 : 3;
        c->narrow.stride = std::min(kMaxStride, shortestNarrow - c->narrow.keyBytes + 1);
    }

    std::vector<std::pair<std::uint32_t, Candidate>> widePairs, narrowPairs;
    // The texts of each automaton's patterns; the end-anchored ones reversed, in reversedEnds.
    std::vector<std::pair<std::string_view, std::uint32_t>> wideTexts, narrowTexts, shortTexts, endTexts;
    std::vector<std::string> reversedEnds;
    for (std::size_t p = 0; p < kinds.size(); ++p) {
        const std::string_view body = c->bodies[p];
        const auto pattern = static_cast<std::uint32_t>(p);
        switch (kinds[p]) {
        case PatternKind::Always:
            c->always.push_back(pattern);
            break;
        case PatternKind::Never:
            break;
        case PatternKind::EndAnchored:
            reversedEnds.emplace_back(body.rbegin(), body.rend());
            break;
        case PatternKind::Ordinary:
            if (body.size() >= kWideMinLength) {
                const std::size_t first = RarestWindow(body, 4, c->wide.stride);
                for (std::size_t o = first; o < first + c->wide.stride; ++o)
                    widePairs.push_back({WideKey(body.data() + o), Candidate(body, pattern, o)});
                wideTexts.push_back({body, pattern});
            } else if (body.size() >= kNarrowMinLength && c->narrow.stride != 0) {
                const std::size_t keyBytes = c->narrow.keyBytes;
                const std::size_t first = RarestWindow(body, keyBytes, c->narrow.stride);
                for (std::size_t o = first; o < first + c->narrow.stride; ++o) {
                    const char* key = body.data() + o;
                    narrowPairs.push_back(
                        {keyBytes == 2 ? PairKey(key) : TripleKey(key), Candidate(body, pattern, o)});
                }
                narrowTexts.push_back({body, pattern});
            } else {
                std::size_t rare = 0;
                for (std::size_t i = 1; i < body.size(); ++i)
                    if (ByteFrequency(static_cast<unsigned char>(body[i])) <
                        ByteFrequency(static_cast<unsigned char>(body[rare])))
                        rare = i;
                c->rareByte.push_back({pattern, rare});
                shortTexts.push_back({body, pattern});
            }
            break;
        }
    }
    if (c->wide.stride != 0)
        c->wide.Build(kWideKeyBits, widePairs);
    if (c->narrow.stride != 0)
        c->narrow.Build(c->narrow.keyBytes == 2 ? kPairKeyBits : kTripleKeyBits, narrowPairs);
    c->wideAutomaton.Build(std::move(wideTexts), true);
    c->narrowAutomaton.Build(std::move(narrowTexts), true);
    if (c->rareByte.size() > kMaxRareBytePatterns) {
        c->rareByte.clear();
        c->shortAutomaton.Build(std::move(shortTexts), true);
    }
    // End-anchored patterns were added in pattern order, skipping the others.
    std::size_t nextEnd = 0;
    for (std::size_t p = 0; p < kinds.size(); ++p)
        if (kinds[p] == PatternKind::EndAnchored)
            endTexts.push_back({reversedEnds[nextEnd++], static_cast<std::uint32_t>(p)});
    c->lineEnds.Build(std::move(endTexts), false);
    return c;
}

} // namespace

} // namespace detail

EventMatcher::EventMatcher(const std::vector<std::string>& searchStrings) : size_(searchStrings.size()) {
    try {
        compiled_ = detail::Compile(searchStrings);
    } catch (const std::bad_alloc&) {
        compiled_.reset();
    }
}

EventMatcher::~EventMatcher() = default;
EventMatcher::EventMatcher(EventMatcher&&) noexcept = default;
EventMatcher& EventMatcher::operator=(EventMatcher&&) noexcept = default;

std::size_t EventMatcher::Overlap() const {
    return compiled_ ? compiled_->overlap : 1;
}

std::size_t EventMatcher::PatternCount() const {
    return compiled_ ? compiled_->bodies.size() : 0;
}

std::size_t EventMatcher::PatternOf(std::size_t entry) const {
    return compiled_ && entry < compiled_->entryPattern.size() ? compiled_->entryPattern[entry] : 0;
}

void EventMatcher::Scan(const detail::LineRun& run, detail::MatchState& state) const {
    if (!compiled_ || run.count == 0)
        return;
    const detail::CompiledCatalogue& c = *compiled_;
    const std::size_t complete = run.open ? 0 : run.count;
    for (const std::uint32_t pattern : c.always) {
        if (state.found == nullptr)
            state.counts[pattern] += complete;
        else
            for (std::size_t i = 0; i < complete; ++i)
                state.Hit(pattern, run, i);
    }
    if (c.wide.stride != 0)
        detail::ScanKeyed<detail::WideKey, 4>(c.wide, c.wideAutomaton, run, state);
    if (c.narrow.stride != 0 && c.narrow.keyBytes == 2)
        detail::ScanKeyed<detail::PairKey, 2>(c.narrow, c.narrowAutomaton, run, state);
    else if (c.narrow.stride != 0)
        detail::ScanKeyed<detail::TripleKey, 3>(c.narrow, c.narrowAutomaton, run, state);
    if (!c.rareByte.empty())
        detail::ScanRareBytes(c, run, state);
    c.shortAutomaton.ScanLines(run, 0, false, state);
    c.lineEnds.WalkLineEnds(run, complete, state);
}

} // namespace scan
