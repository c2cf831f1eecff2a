// The fast event matcher against the plain rule: from one input, a catalogue and a debug log; the counts of
// EventMatcher (at several read block sizes, so lines, terminators and matches fall across block edges), of
// PlainMatcher and of the rule applied here to lines split here, and every entry's instance lines, must
// agree.
//
// Input: RECIPE \xff\x01 LOG \xff\x01 STRING \xff\x01 STRING ...
// Every three bytes of RECIPE make one more search string from the log (kind, where, how long), so the
// catalogue holds strings that do occur, cut anywhere: across terminators, with CR LF, CR or LF added, empty,
// repeated. Kinds with bit 0x40 make the shapes that are costly for a filter instead: runs of one byte,
// runs with another last byte, families of strings sharing a key, and lines of one byte added to the log.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "FuzzSupport.h"
#include "scan/Automaton.h"
#include "scan/Matcher.h"
#include "scan/Scan.h"
#include "scan/VectorFilter.h"

namespace {

constexpr std::size_t kMaxEntries = 40;
constexpr std::size_t kMaxStringBytes = 600;
constexpr std::size_t kBlockSizes[] = {16, 64, 4096};
// Logs up to this size are also counted with a tiny read block (1 to 8 bytes, chosen by the input).
constexpr std::size_t kTinyBlockMaxLog = 4096;

struct Line {
    std::size_t offset = 0;
    std::size_t length = 0;
};

// The line rule, applied directly: CR LF or a lone CR ends a line, a lone LF is ordinary, a terminator
// after the last line adds no line.
std::vector<Line> SplitLines(std::string_view log) {
    std::vector<Line> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (log[i] != '\r')
            continue;
        lines.push_back({start, i - start});
        if (i + 1 < log.size() && log[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < log.size())
        lines.push_back({start, log.size() - start});
    return lines;
}

// A search string matches a line when it occurs in the line followed by CR LF.
bool RuleMatches(std::string_view line, std::string_view searchString) {
    std::string text(line);
    text += "\r\n";
    return text.find(searchString) != std::string::npos;
}

std::string Shown(std::string_view bytes) {
    std::string out;
    for (const char c : bytes.substr(0, 80)) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7f && c != '\\') {
            out += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", u);
            out += hex;
        }
    }
    return bytes.size() > 80 ? out + "..." : out;
}

[[noreturn]] void Differ(const std::string& what, std::size_t entry, std::string_view searchString) {
    std::fprintf(stderr, "DIFFERENCE: %s; entry %zu \"%s\" (%zu bytes)\n", what.c_str(), entry,
                 Shown(searchString).c_str(), searchString.size());
    std::abort();
}

// A shape that is costly for a filter: a search string, a family of them, or a line added to the log.
void AddShape(unsigned kind, unsigned where, unsigned length, std::string& log,
              std::vector<std::string>& strings) {
    const char byte = log.empty() ? static_cast<char>(where) : log[where * log.size() / 256];
    const std::size_t n = 1 + length * (kind & 0x80 ? 8u : 1u);
    switch (kind % 4) {
    case 0: // a run of one byte
        strings.emplace_back(n, byte);
        break;
    case 1: // a run with another last byte, or anchored at the end
        strings.push_back(std::string(n, byte) +
                          (where % 2 ? "\r\n" : std::string(1, static_cast<char>(where))));
        break;
    case 2: { // strings sharing the key at `where`, each with a different tail
        std::string key = log.substr(log.empty() ? 0 : where * log.size() / 256, 4);
        for (std::size_t k = 0; k < 1 + length % 16 && strings.size() < kMaxEntries; ++k)
            strings.push_back(key + std::to_string(k * (where + 1)).substr(0, 1 + k % 3));
        break;
    }
    default: // a line of one byte, or of a repeated piece of the log
        if (log.size() < kTinyBlockMaxLog * 4) {
            const std::string piece =
                where % 3 == 0 ? log.substr(where * log.size() / 256, 1 + length % 7) : std::string(1, byte);
            std::string line;
            while (line.size() < n * 4 && !piece.empty())
                line += piece;
            log += line + (where % 2 ? "\r\n" : "\r");
        }
        break;
    }
}

// The search strings RECIPE makes from the log.
void AddFromRecipe(std::string_view recipe, std::string& log, std::vector<std::string>& strings) {
    static const char* const kTerminatorStrings[] = {"", "\r", "\n", "\r\n", "\r\n\r\n", "\n\r\n", "\r\r"};
    for (std::size_t i = 0; i + 3 <= recipe.size() && strings.size() < kMaxEntries; i += 3) {
        const auto kind = static_cast<unsigned char>(recipe[i]);
        const auto where = static_cast<unsigned char>(recipe[i + 1]);
        const auto length = static_cast<unsigned char>(recipe[i + 2]);
        if (kind & 0x40) {
            AddShape(kind, where, length, log, strings);
            continue;
        }
        if (kind % 8 == 6) {
            if (!strings.empty())
                strings.push_back(strings[where % strings.size()]);
            continue;
        }
        if (kind % 8 == 7) {
            strings.emplace_back(kTerminatorStrings[where % std::size(kTerminatorStrings)]);
            continue;
        }
        // A piece of the log: short ones mostly, long ones (beyond the small read blocks) when asked.
        const std::size_t start = log.empty() ? 0 : where * log.size() / 256;
        const std::size_t n = kind & 0x80 ? length * 3u : length % 24u;
        std::string s(log.substr(start, n));
        switch (kind % 8) {
        case 1:
            s += "\r\n";
            break;
        case 2:
            s += "\r";
            break;
        case 3:
            s.insert(0, "\n");
            break;
        case 4:
            s += "\n";
            break;
        case 5: // the piece up to the CR that ends its line, then CR LF: a string anchored at the end
            s = s.substr(0, s.find('\r')) + "\r\n";
            break;
        default:
            break;
        }
        strings.push_back(std::move(s));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Parts parts(data, size);
    const std::string_view recipe = parts.Next();
    std::string logBytes(parts.Next());
    std::vector<std::string> strings;
    while (!parts.Done() && strings.size() < kMaxEntries)
        strings.emplace_back(parts.Next().substr(0, kMaxStringBytes));
    AddFromRecipe(recipe, logBytes, strings);
    const std::string_view log = logBytes;

    static const std::string path = fuzz::ScratchDir() + "/SMTP-Debug-1.log";
    fuzz::WriteFile(path, log);

    // The expected counts and lines, by the rule.
    const std::vector<Line> lines = SplitLines(log);
    std::vector<std::vector<std::size_t>> expectedLines(strings.size());
    std::vector<std::int32_t> expected(strings.size(), 0);
    for (std::size_t e = 0; e < strings.size(); ++e) {
        for (std::size_t l = 0; l < lines.size(); ++l)
            if (RuleMatches(log.substr(lines[l].offset, lines[l].length), strings[e]))
                expectedLines[e].push_back(l);
        expected[e] = static_cast<std::int32_t>(expectedLines[e].size());
    }

    const auto compareCounts = [&](const std::vector<std::int32_t>& got, const std::string& who) {
        if (got.size() != expected.size())
            Differ(who + ": " + std::to_string(got.size()) + " counts for " +
                       std::to_string(expected.size()) + " entries",
                   0, {});
        for (std::size_t e = 0; e < expected.size(); ++e)
            if (got[e] != expected[e])
                Differ(who + " counts " + std::to_string(got[e]) + ", the rule " +
                           std::to_string(expected[e]),
                       e, strings[e]);
    };

    std::vector<std::int32_t> counts;
    if (!scan::CountEvents(path, scan::PlainMatcher(strings), counts).ok)
        Differ("the plain scan failed", 0, {});
    compareCounts(counts, "PlainMatcher");

    // Compiled without the vector filter too, so the filters of processors without it are checked here, and
    // with automata whose dense table holds a few nodes, so that walks go past it as in huge catalogues.
    scan::detail::AllowVectorFilter(false);
    scan::detail::Automaton::LimitDenseCells(64);
    const scan::EventMatcher withoutVector(strings);
    scan::detail::AllowVectorFilter(true);
    scan::detail::Automaton::LimitDenseCells(scan::detail::Automaton::kMaxDenseCells);
    const scan::EventMatcher matcher(strings);
    if (!matcher.Ready() || !withoutVector.Ready())
        Differ("the matcher did not compile", 0, {});
    // The small blocks put lines, terminators and matches across block edges; the default block holds more
    // lines than the matcher takes in one run.
    std::vector<std::size_t> countBlocks(std::begin(kBlockSizes), std::end(kBlockSizes));
    countBlocks.push_back(scan::kScanBlockSize);
    if (log.size() <= kTinyBlockMaxLog)
        countBlocks.push_back(1 + size % 8);
    for (const std::size_t block : countBlocks) {
        counts.assign(3, -1);
        if (!scan::CountEvents(path, matcher, counts, block).ok)
            Differ("the scan failed at block size " + std::to_string(block), 0, {});
        compareCounts(counts, "EventMatcher at block size " + std::to_string(block));
    }
    const std::size_t plainBlock = countBlocks[size % countBlocks.size()];
    counts.assign(3, -1);
    if (!scan::CountEvents(path, withoutVector, counts, plainBlock).ok)
        Differ("the scan without the vector filter failed", 0, {});
    compareCounts(counts,
                  "EventMatcher without the vector filter, small dense tables, at block size " + std::to_string(plainBlock));
    // The file split into ranges, one per thread, with the range edges wherever the input puts them: inside
    // a CR LF, right after a lone CR, inside a line longer than the block.
    const unsigned threads = 2 + size % 6;
    scan::ScanOptions split;
    split.threads = threads;
    split.minRangeBytes = 1;
    split.blockSize = kBlockSizes[size % std::size(kBlockSizes)];
    const std::string splitWhere = " split over " + std::to_string(threads) + " threads at block size " +
                                   std::to_string(split.blockSize);
    counts.assign(3, -1);
    if (!scan::CountEvents(path, matcher, counts, split).ok)
        Differ("the scan failed" + splitWhere, 0, {});
    compareCounts(counts, "EventMatcher" + splitWhere);

    // Instance lines: each entry at one of the small block sizes, taken in turn across entries and inputs.
    for (std::size_t e = 0; e < strings.size(); ++e) {
        const std::size_t block = kBlockSizes[(e + size) % std::size(kBlockSizes)];
        // Every other entry is listed split over threads, so instance lines meet range edges too.
        const bool splitThis = (e + size) % 2 == 1;
        const std::string where = splitThis ? splitWhere : " at block size " + std::to_string(block);
        scan::InstanceLines instances;
        if (!(splitThis ? instances.Build(path, strings[e], split) : instances.Build(path, strings[e], block))
                 .ok)
            Differ("InstanceLines::Build failed" + where, e, strings[e]);
        const auto& want = expectedLines[e];
        if (instances.Size() != want.size())
            Differ("InstanceLines lists " + std::to_string(instances.Size()) + " lines, the rule " +
                       std::to_string(want.size()) + where,
                   e, strings[e]);
        for (std::size_t i = 0; i < want.size(); ++i) {
            const Line& line = lines[want[i]];
            const std::string_view text = log.substr(line.offset, line.length);
            if (instances.LineOffset(i) != line.offset || instances.LineLength(i) != line.length ||
                instances.Line(i) != text || instances.Line(i, 5) != text.substr(0, 5) ||
                instances.Line(i, 7, 3) != (text.size() > 3 ? text.substr(3, 7) : std::string_view()))
                Differ("instance " + std::to_string(i) + " is at " + std::to_string(instances.LineOffset(i)) +
                           " (" + std::to_string(instances.LineLength(i)) + " bytes), the rule's line " +
                           std::to_string(want[i]) + " at " + std::to_string(line.offset) + " (" +
                           std::to_string(line.length) + " bytes)" + where,
                       e, strings[e]);
        }
        if (instances.Size() > 0 && !instances.Line(instances.Size()).empty())
            Differ("a line past the end is not empty", e, strings[e]);
    }
    return 0;
}
