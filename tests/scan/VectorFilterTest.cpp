// The vector filter (a few short search strings found by 3-byte keys, 64 positions at a time) at the places
// where it can go wrong: every position of its window, keys late in a string at a run's start, strings
// starting with LF, whole comparison of the longer strings it takes, lines where all its strings are counted,
// and logs made of its keys' bytes, which hand the run to its automaton. The counts must be the plain rule's
// with the vector filter and without it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScanTester.h"
#include "support/TestSupport.h"

namespace {

using namespace scan_testing;
using testing_support::TempDir;
using testing_support::WriteBytes;

std::string Fill(std::size_t n, char byte) {
    return std::string(n, byte);
}

std::string Repeat(const std::string& piece, std::size_t times) {
    std::string s;
    for (std::size_t i = 0; i < times; ++i)
        s += piece;
    return s;
}

struct VectorCase {
    const char* name;
    std::vector<std::string> lines;
    std::vector<std::string> catalogue;
};

const std::vector<std::string> kShort = {"421 4.", "452 4.", "WSAE", "refused", "Bare LF"};

std::vector<std::string> With(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<VectorCase> Cases() {
    std::vector<VectorCase> cases;
    {
        // One string at each offset of a line longer than two windows; another never completes.
        VectorCase c{"a string at every position of the window", {}, With(kShort, {"Connection refused by"})};
        for (std::size_t i = 0; i < 140; ++i)
            c.lines.push_back(Fill(i, 'x') + (i % 2 ? "421 4." : "refused") + Fill(140 - i, 'y') + "452 4");
        cases.push_back(c);
    }
    cases.push_back({"keys late in the strings, at line and file starts",
                     {"eeez", "eeezeeez", "eez", "eeeez", "qqqqjw", "qqjwqqqjw", "x", "eeez"},
                     With(kShort, {"eeez", "qqqjw", "qqjw"})});
    cases.push_back({"strings that start with LF",
                     {"x\nabcd", "abcd", "\nabcd", "\n\nabcd\n", "abcd\n"},
                     With(kShort, {"\nabcd", "abcd\n", "\n\nab", "d\n\r\n"})});
    cases.push_back({"the longer strings it takes are compared whole",
                     {"Greylisted!! by WSAE", "Greylisted!? refused", "Greylisted!", "xGreylisted!!x",
                      "Greylisted!!Greylisted!!", "WSAE Bare LF 452 4. Greylisted"},
                     {"WSAE", "Bare LF", "Greylisted!!", "Greylisted!?", "Recipient address rejected",
                      "Greylisted!! by WSAEX"}});
    cases.push_back({"eight short strings, and nine (past the vector filter)",
                     {"aaaa bbbb cccc dddd", "eeee ffff gggg hhhh iiii", "iiii", "abcd efgh"},
                     {"aaaa", "bbbb", "cccc", "dddd", "eeee", "ffff", "gggg", "hhhh"}});
    cases.push_back({"nine short strings",
                     {"aaaa bbbb cccc dddd", "eeee ffff gggg hhhh iiii", "iiii", "abcd efgh"},
                     {"aaaa", "bbbb", "cccc", "dddd", "eeee", "ffff", "gggg", "hhhh", "iiii"}});
    {
        VectorCase c{"every string counted early in each line", {}, kShort};
        for (int i = 0; i < 100; ++i)
            c.lines.push_back("421 4. 452 4. WSAE refused Bare LF " + Repeat("WSAE ", 20));
        c.lines.push_back("refused");
        c.lines.push_back(Repeat("x", 200) + "WSAE");
        cases.push_back(c);
    }
    cases.push_back({"a log made of the keys' bytes",
                     {Repeat("abc", 1000), Repeat("abc", 400) + "abd", Repeat("ab", 900) + "c", "abca"},
                     {"abcabd", "bcabce", "cabcaf", "abcx", "abca", "bcab\r\n", "abcabcabcabcabd"}});
    cases.push_back({"a line of one byte against short runs of it",
                     {Fill(3000, 'a'), Fill(3000, 'a') + "b", "aaab"},
                     {"aaaa", "aaaab", "aaaaaab", "baaa", "aaab"}});
    return cases;
}

TEST(VectorFilter, AgreesWithThePlainMatcher) {
    TempDir dir;
    const std::string path = dir.File("SMTP-Debug-vector.log");
    for (const VectorCase& c : Cases()) {
        for (const Ending ending : Endings()) {
            SCOPED_TRACE(std::string(c.name) + ", " + EndingName(ending));
            WriteBytes(path, JoinLines(c.lines, ending));
            const std::vector<std::int32_t> expected = PlainCounts(path, c.catalogue);
            ExpectFastCounts(path, c.catalogue, expected);
        }
    }
}

// The instance list compiles one string at a time: a short one goes to the vector filter alone.
TEST(VectorFilter, ListsTheLinesOfAShortString) {
    TempDir dir;
    const std::string path = dir.File("SMTP-Debug-vector.log");
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < 200; ++i)
        lines.push_back(Fill(i % 70, ' ') + (i % 3 ? "WSAE" : "WSA E") + Fill(i % 11, '.'));
    WriteBytes(path, JoinLines(lines, Ending::Mixed));
    for (const char* s : {"WSAE", "WSAE.", " WSAE", "A E."}) {
        SCOPED_TRACE(s);
        ExpectInstances(path, s, PlainInstances(path, s));
    }
}

} // namespace
