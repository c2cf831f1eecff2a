// The fast matcher's automaton on its own, in each of its forms (a table; a trie with failure links; a table
// of the shallowest nodes, then the trie: the last two only catalogues of many thousands of strings reach
// through the matcher): every pattern is counted
// once in each line that holds it, also when a filter has counted some patterns of the line before.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "scan/Automaton.h"
#include "scan/LineRun.h"

namespace {

using scan::detail::Automaton;
using scan::detail::LineRun;
using scan::detail::MatchState;

// Lines laid out as the searcher lays them out: text, CR LF, text, ... with slack after the last.
struct Lines {
    std::string data;
    std::vector<std::size_t> starts, ends;
    LineRun run;

    explicit Lines(const std::vector<std::string>& lines) {
        for (const std::string& line : lines) {
            starts.push_back(data.size());
            data += line;
            ends.push_back(data.size());
            data += "\r\n";
        }
        data.append(scan::detail::kRunSlack, '\0');
        run.data = data.data();
        run.lineStarts = starts.data();
        run.lineEnds = ends.data();
        run.count = lines.size();
        run.begin = starts.front();
        run.end = ends.back();
        run.firstLine = 40; // as if earlier runs had passed 40 lines
    }
};

std::vector<std::pair<std::string_view, std::uint32_t>> Numbered(const std::vector<std::string>& texts) {
    std::vector<std::pair<std::string_view, std::uint32_t>> patterns;
    for (std::size_t i = 0; i < texts.size(); ++i)
        patterns.push_back({texts[i], static_cast<std::uint32_t>(i)});
    return patterns;
}

TEST(Automaton, CountsEveryPatternOnceInEachLineThatHoldsItInEachForm) {
    static const char kAlphabet[] = "aab ";
    for (unsigned seed = 1; seed <= 200; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        const auto below = [&](std::size_t n) {
            return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
        };
        // Up to 6 lines, or (every third seed) enough for the automaton to walk several lines at once.
        std::vector<std::string> lines(seed % 3 == 0 ? 9 + below(40) : 1 + below(6));
        for (std::string& line : lines) {
            line.resize(below(seed % 5 == 0 ? 300 : 40));
            for (char& byte : line)
                byte = below(3) == 0 ? kAlphabet[below(4)] : 'a'; // long runs of a
        }
        // Distinct patterns, many of them suffixes and prefixes of each other.
        std::vector<std::string> texts;
        for (std::size_t k = 1 + below(30); texts.size() < k;) {
            std::string text(1 + below(seed % 7 == 0 ? 120 : 12), 'a');
            for (char& byte : text)
                if (below(4) == 0)
                    byte = kAlphabet[below(4)];
            if (std::find(texts.begin(), texts.end(), text) == texts.end())
                texts.push_back(text);
        }
        std::vector<std::uint64_t> expected(texts.size(), 0), expectedEnds(texts.size(), 0);
        for (const std::string& line : lines)
            for (std::size_t p = 0; p < texts.size(); ++p) {
                expected[p] += line.find(texts[p]) != std::string::npos;
                expectedEnds[p] +=
                    line.size() >= texts[p].size() &&
                    line.compare(line.size() - texts[p].size(), texts[p].size(), texts[p]) == 0;
            }

        Lines layout(lines);
        for (const std::size_t maxDense : {Automaton::kMaxDenseCells, std::size_t{0}, std::size_t{40}}) {
            SCOPED_TRACE(maxDense == 0    ? "trie and failure links"
                         : maxDense == 40 ? "a table of the shallowest nodes, then the trie"
                                          : "table");
            Automaton automaton;
            automaton.Build(Numbered(texts), true, maxDense);
            MatchState state;
            state.Reset(texts.size());
            automaton.ScanLines(layout.run, 0, false, state);
            EXPECT_EQ(state.counts, expected);
            // The last line counted per pattern is the last line that holds it, whatever order lines took.
            for (std::size_t p = 0; p < texts.size(); ++p) {
                std::uint64_t last = 0;
                for (std::size_t i = 0; i < lines.size(); ++i)
                    if (lines[i].find(texts[p]) != std::string::npos)
                        last = layout.run.firstLine + i + 1;
                EXPECT_EQ(state.lastLine[p], last) << "pattern " << p;
            }

            // A filter counted some patterns of line `from` (and the lines before it); the automaton takes
            // that line and the rest.
            const std::size_t from = below(lines.size());
            state.Reset(texts.size());
            for (std::size_t i = 0; i <= from; ++i)
                for (std::size_t p = 0; p < texts.size(); ++p)
                    if (lines[i].find(texts[p]) != std::string::npos && (i < from || below(2) == 0))
                        state.Hit(p, layout.run, i);
            automaton.ScanLines(layout.run, from, true, state);
            EXPECT_EQ(state.counts, expected);
        }

        std::vector<std::string> reversed;
        for (const std::string& text : texts)
            reversed.emplace_back(text.rbegin(), text.rend());
        Automaton ends;
        ends.Build(Numbered(reversed), false);
        MatchState state;
        state.Reset(texts.size());
        ends.WalkLineEnds(layout.run, lines.size(), state);
        EXPECT_EQ(state.counts, expectedEnds);
        if (HasFailure())
            return;
    }
}

// A long line is walked in four parts at once, each part but the first starting a little before its cut: an
// occurrence is found wherever it lies against the cuts (just before, across, just after), and counts once.
TEST(Automaton, FindsAnOccurrenceAtEveryPlaceAroundTheCutsOfALongLine) {
    const std::vector<std::string> texts{"q", "qr", "qrstuvwxyz", std::string(60, 'q') + "!", "zz"};
    constexpr std::size_t kLength = 16384;
    constexpr std::size_t kPart = kLength / 4;
    for (std::size_t cut = 1; cut < 4; ++cut) {
        for (const std::size_t p : {std::size_t{2}, std::size_t{3}}) {
            const std::string& text = texts[p];
            for (std::size_t back = 0; back <= text.size(); ++back) {
                SCOPED_TRACE("cut " + std::to_string(cut) + ", pattern " + std::to_string(p) + ", " +
                             std::to_string(back) + " bytes before the cut");
                std::string line(kLength, 'a');
                line.replace(cut * kPart - back, text.size(), text);
                Lines layout({"zz", line, "q"});
                Automaton automaton;
                automaton.Build(Numbered(texts), true);
                MatchState state;
                state.Reset(texts.size());
                automaton.ScanLines(layout.run, 0, false, state);
                std::vector<std::uint64_t> expected(texts.size(), 0);
                for (const std::string& each : {std::string("zz"), line, std::string("q")})
                    for (std::size_t k = 0; k < texts.size(); ++k)
                        expected[k] += each.find(texts[k]) != std::string::npos;
                EXPECT_EQ(state.counts, expected);
                if (HasFailure())
                    return;
            }
        }
    }
}

} // namespace
