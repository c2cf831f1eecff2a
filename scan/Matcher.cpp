#include "scan/Matcher.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <new>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "scan/Automaton.h"
#include "scan/LineRun.h"
#include "scan/VectorFilter.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

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
// more than kWorkBase plus kWorkPerByte per byte of the run it has passed (a candidate costs 1, one whose
// first 8 bytes agree 1 more, a comparison past the first 8 bytes its length): on ordinary logs that never
// happens, on hostile ones (runs of one byte, many patterns sharing a key) the comparisons would otherwise
// grow with the patterns' length and number.
constexpr std::size_t kWorkBase = 64;
constexpr std::size_t kWorkPerByte = 1; // ordinary logs cost a third of that at most
// Short patterns beyond this many are found by an automaton rather than one byte search each.
constexpr std::size_t kMaxRareBytePatterns = 8;
// Where the processor compares 32 bytes at once (see ScanVector), up to kVectorMaxPatterns ordinary patterns
// of kNarrowMinLength to kVectorMaxLength bytes are found by looking up three bytes at 32 positions at a
// time. It takes every pattern the narrow filter would (a stride of 2 or 3 on every byte of the log
// costs more than everything else together) and, when that lengthens the wide filter's stride, the shortest
// wide ones. The costs that choice weighs, in processor cycles per byte of log (measured roughly): the
// vector pass, each pattern in it, and a wide filter position looked at.
constexpr std::size_t kVectorMaxPatterns = 8;
constexpr std::size_t kVectorMaxLength = 16; // compared whole by two 8-byte loads
constexpr double kVectorBaseCost = 0.5;
constexpr double kVectorPatternCost = 0.01;
constexpr double kProbeCost = 3.5;
// The vector filter's candidates are few on ordinary logs; past one per kVectorWorkBytes bytes (a log made
// of the patterns' bytes) the rest of the run goes to its automaton.
constexpr std::size_t kVectorWorkBytes = 4;

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

// The build targets plain x86-64, where std::popcount is a library call: this is inlined instead.
inline std::size_t PopCount(std::uint64_t v) {
    v -= (v >> 1) & 0x5555555555555555u;
    v = (v & 0x3333333333333333u) + ((v >> 2) & 0x3333333333333333u);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<std::size_t>((v * 0x0101010101010101u) >> 56);
}

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
        const std::size_t index = rank[key >> 6] + PopCount(below);
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

// Up to 8 short patterns, each found by its rarest 3 bytes in a row (its key) before it is compared whole.
// Pattern k is bucket k: bit k of low[j][b] is set when the low half of byte j of its key is b, likewise
// high[j] for the high half, so the three bytes at a position are pattern k's key exactly when bit k is set
// in all six lookups.
struct VectorFilter {
    std::vector<Candidate> patterns;  // offset: where the key starts in the pattern
    std::vector<std::uint64_t> tails; // per pattern of more than 8 bytes: its last 8
    std::uint8_t low[3][16] = {};
    std::uint8_t high[3][16] = {};
    std::size_t shortest = 0;

    bool Empty() const { return patterns.empty(); }

    // The patterns whose key is at p (3 bytes).
    std::uint8_t Buckets(const char* p) const {
        std::uint8_t all = 0xFF;
        for (int j = 0; j < 3; ++j) {
            const auto b = static_cast<unsigned char>(p[j]);
            all &= static_cast<std::uint8_t>(low[j][b & 15] & high[j][b >> 4]);
        }
        return all;
    }

    // Adds a pattern of kNarrowMinLength to kVectorMaxLength bytes (at most 8 patterns).
    void Add(std::string_view body, std::uint32_t pattern) {
        std::size_t key = 0;
        for (std::size_t o = 1; o + 3 <= body.size(); ++o)
            if (KeyFrequency(body.data() + o, 3) < KeyFrequency(body.data() + key, 3))
                key = o;
        const auto bit = static_cast<std::uint8_t>(1u << patterns.size());
        for (int j = 0; j < 3; ++j) {
            const auto b = static_cast<unsigned char>(body[key + static_cast<std::size_t>(j)]);
            low[j][b & 15] |= bit;
            high[j][b >> 4] |= bit;
        }
        patterns.emplace_back(body, pattern, key);
        std::uint64_t tail = 0;
        if (body.size() > 8)
            std::memcpy(&tail, body.data() + body.size() - 8, 8);
        tails.push_back(tail);
        shortest = shortest == 0 ? body.size() : std::min(shortest, body.size());
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
    VectorFilter vector;                   // a few short ordinary patterns, where the processor allows
    Automaton vectorAutomaton;             // the vector filter's patterns, for runs it hands over
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
            ++work; // rare on ordinary logs; on every position in a run of the pattern's first bytes
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
            automaton.ScanLines(run, line, true, state, run.count, counted);
            return;
        }
    }
}

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define BRINDLEMAR_VECTOR_FILTER 1

// The vector filter's pass over a run. For 32 positions at once it looks up, for each of the 3 bytes from
// there on, which patterns have that byte at that place of their key (by its low and its high half, one
// table of 16 each, so 32 bytes take a few instructions whatever the patterns); a position where every byte
// agrees for some pattern is a candidate for it, compared whole. Positions are taken in order, so that a
// line counts each pattern once and the handover to the automaton (as in ScanKeyed) has seen every
// occurrence in the lines before. Near the run's end, where 32 positions would read past it, the same tables
// are used one position at a time.
__attribute__((target("avx2"))) void ScanVector(const VectorFilter& f, const Automaton& automaton,
                                                const LineRun& run, MatchState& state) {
    const char* d = run.data;
    const std::size_t a = run.begin;
    const std::size_t end = run.end;
    if (end - a < f.shortest)
        return;
    const std::size_t lastKey = end - 3; // the last position a key fits at
    const std::size_t n = f.patterns.size();
    __m256i low[3], high[3];
    for (int j = 0; j < 3; ++j) {
        low[j] = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(f.low[j])));
        high[j] = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(f.high[j])));
    }
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i zero = _mm256_setzero_si256();
    std::size_t line = 0;
    std::size_t counted = automaton.CountedIn(run, 0, state); // of the filter's patterns, in `line`
    std::size_t work = 0;
    alignas(32) std::uint8_t buckets[64];
    // The buckets of the 32 positions from `at` on.
    const auto lookUp = [&](const char* at) __attribute__((target("avx2"))) {
        __m256i all = _mm256_set1_epi8(-1);
        for (int j = 0; j < 3; ++j) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + j));
            const __m256i lo = _mm256_and_si256(v, nibble);
            const __m256i hi = _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble);
            all = _mm256_and_si256(
                all, _mm256_and_si256(_mm256_shuffle_epi8(low[j], lo), _mm256_shuffle_epi8(high[j], hi)));
        }
        return all;
    };
    std::size_t p = a;
    while (p <= lastKey) {
        std::uint64_t any = 0;
        std::size_t window = 64;
        if (p + 64 + 2 <= end) {
            // Two lookups of 32 at once keep the processor's units busy.
            const __m256i first = lookUp(d + p);
            const __m256i second = lookUp(d + p + 32);
            const auto none = [&](__m256i v) __attribute__((target("avx2"))) {
                return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, zero)));
            };
            any = ~(std::uint64_t{none(second)} << 32 | none(first));
            if (any == 0) [[likely]] {
                p += 64;
                continue;
            }
            _mm256_store_si256(reinterpret_cast<__m256i*>(buckets), first);
            _mm256_store_si256(reinterpret_cast<__m256i*>(buckets + 32), second);
        } else {
            window = std::min<std::size_t>(64, lastKey - p + 1);
            for (std::size_t i = 0; i < window; ++i) {
                buckets[i] = f.Buckets(d + p + i);
                any |= buckets[i] != 0 ? std::uint64_t{1} << i : 0;
            }
        }
        std::size_t next = p + window;
        while (any != 0) {
            const auto i = static_cast<unsigned>(std::countr_zero(any));
            any &= any - 1;
            const std::size_t key = p + i;
            bool lineDone = false;
            for (std::uint32_t bucket = buckets[i]; bucket != 0 && !lineDone; bucket &= bucket - 1) {
                const auto k = static_cast<std::size_t>(std::countr_zero(bucket));
                const Candidate& c = f.patterns[k];
                if (c.offset > key - a)
                    continue;
                const std::size_t s = key - c.offset;
                if (c.size > end - s)
                    continue;
                ++work;
                // A pattern holds no CR, so an occurrence lies inside the line that holds its key.
                if (run.lineEnds[line] <= key) {
                    do
                        ++line;
                    while (run.lineEnds[line] <= key);
                    counted = 0;
                }
                if (state.lastLine[c.pattern] == run.firstLine + line + 1 ||
                    (Load8(d + s) & c.headMask) != c.head ||
                    (c.size > 8 && Load8(d + s + c.size - 8) != f.tails[k]) ||
                    (c.leadingLf && s > a && d[s - 1] == '\r'))
                    continue;
                state.Hit(c.pattern, run, line);
                lineDone = ++counted == n;
            }
            if (lineDone) {
                // Every pattern of the filter is counted in this line: go on with the next one.
                if (line + 1 == run.count)
                    return;
                ++line;
                counted = 0;
                next = run.lineStarts[line];
                break;
            }
            if (work > kWorkBase + (key - a) / kVectorWorkBytes) [[unlikely]] {
                automaton.ScanLines(run, line, true, state, run.count, counted);
                return;
            }
        }
        p = next;
    }
}
#endif

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

std::atomic<bool> vectorFilterAllowed{true};

// Which ordinary patterns the vector filter takes (none where it is not in use): every pattern the narrow
// filter would take, when they are few enough, and as many of the shortest wide ones as lower the cost of
// the vector pass and the wide filter's together.
std::vector<bool> ChooseVectorPatterns(const std::vector<PatternKind>& kinds,
                                       const std::vector<std::string>& bodies) {
    std::vector<bool> chosen(kinds.size(), false);
    if (!VectorFilterInUse())
        return chosen;
    std::vector<std::size_t> narrow, wide; // wide: those short enough for the vector filter, shortest first
    std::size_t wideTotal = 0;
    for (std::size_t p = 0; p < kinds.size(); ++p) {
        const std::size_t n = bodies[p].size();
        if (kinds[p] != PatternKind::Ordinary || n < kNarrowMinLength)
            continue;
        if (n < kWideMinLength) {
            narrow.push_back(p);
            continue;
        }
        ++wideTotal;
        if (n <= kVectorMaxLength)
            wide.push_back(p);
    }
    if (narrow.size() > kVectorMaxPatterns)
        return chosen;
    std::stable_sort(wide.begin(), wide.end(),
                     [&](std::size_t x, std::size_t y) { return bodies[x].size() < bodies[y].size(); });
    // The wide filter's shortest pattern once the first k of `wide` are taken.
    std::size_t shortestRest = SIZE_MAX;
    for (std::size_t p = 0; p < kinds.size(); ++p)
        if (kinds[p] == PatternKind::Ordinary && bodies[p].size() > kVectorMaxLength)
            shortestRest = std::min(shortestRest, bodies[p].size());
    const auto cost = [&](std::size_t k) {
        const std::size_t taken = narrow.size() + k;
        double total = taken > 0 ? kVectorBaseCost + kVectorPatternCost * static_cast<double>(taken) : 0;
        if (k < wideTotal) {
            const std::size_t shortest = k < wide.size() ? bodies[wide[k]].size() : shortestRest;
            total += kProbeCost / static_cast<double>(std::min(kMaxStride, shortest - 4 + 1));
        }
        return total;
    };
    std::size_t best = 0;
    for (std::size_t k = 1; k <= wide.size() && narrow.size() + k <= kVectorMaxPatterns; ++k)
        if (cost(k) < cost(best))
            best = k;
    for (const std::size_t p : narrow)
        chosen[p] = true;
    for (std::size_t k = 0; k < best; ++k)
        chosen[wide[k]] = true;
    return chosen;
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

    // The vector filter's patterns, then which ordinary patterns each other filter takes, and the filters'
    // strides (set by their shortest pattern).
    const std::vector<bool> inVector = ChooseVectorPatterns(kinds, c->bodies);
    std::size_t shortestWide = SIZE_MAX;
    std::size_t shortestNarrow = SIZE_MAX;
    std::size_t narrowPatterns = 0;
    for (std::size_t p = 0; p < kinds.size(); ++p) {
        const std::size_t n = c->bodies[p].size();
        if (kinds[p] != PatternKind::Ordinary || inVector[p])
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
                if (kinds[p] != PatternKind::Ordinary || inVector[p] || body.size() < kNarrowMinLength ||
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
    std::vector<std::pair<std::string_view, std::uint32_t>> wideTexts, narrowTexts, shortTexts, endTexts,
        vectorTexts;
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
            if (inVector[p]) {
                c->vector.Add(body, pattern);
                vectorTexts.push_back({body, pattern});
            } else if (body.size() >= kWideMinLength) {
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
    c->vectorAutomaton.Build(std::move(vectorTexts), true);
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

bool VectorFilterInUse() {
#ifdef BRINDLEMAR_VECTOR_FILTER
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported && vectorFilterAllowed.load(std::memory_order_relaxed);
#else
    return false;
#endif
}

void AllowVectorFilter(bool allowed) {
    vectorFilterAllowed.store(allowed, std::memory_order_relaxed);
}

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
#ifdef BRINDLEMAR_VECTOR_FILTER
    if (!c.vector.Empty())
        detail::ScanVector(c.vector, c.vectorAutomaton, run, state);
#endif
    if (!c.rareByte.empty())
        detail::ScanRareBytes(c, run, state);
    c.shortAutomaton.ScanLines(run, 0, false, state);
    c.lineEnds.WalkLineEnds(run, complete, state);
}

} // namespace scan
