// Catalogues far beyond what the library serves: 100,000 entries, and entries of 1 MB. Each is loaded
// from its file and scanned with; the fast matcher must give exactly the counts of the plain rule.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "catalogue/Catalogue.h"
#include "scan/Matcher.h"
#include "scan/Scan.h"
#include "support/TestSupport.h"

namespace {

using testing_support::PeakMemory;
using testing_support::TempDir;
using testing_support::WriteBytes;

std::vector<std::int32_t> Counts(const std::string& log, const std::vector<std::string>& strings,
                                 bool plain) {
    std::vector<std::int32_t> counts;
    const text::Status status = plain ? scan::CountEvents(log, scan::PlainMatcher(strings), counts)
                                      : scan::CountEvents(log, scan::EventMatcher(strings), counts);
    EXPECT_TRUE(status.ok) << status.description;
    return counts;
}

TEST(LargeCatalogue, AHundredThousandEntriesLoadCompileAndCountAsThePlainRule) {
    // Short strings over a small alphabet collide in any filter on leading bytes; longer ones share
    // prefixes; a few are the special cases (empty, terminators, anchored at the line's end).
    std::mt19937 random(2024);
    const std::string alphabet = "ab c\t:0";
    auto word = [&](std::size_t length) {
        std::string s;
        for (std::size_t i = 0; i < length; ++i)
            s.push_back(alphabet[random() % alphabet.size()]);
        return s;
    };
    std::string file;
    for (int i = 0; i < 100000; ++i) {
        std::string s;
        switch (i % 10) {
        case 0:
            s = word(1 + random() % 3);
            break;
        case 1:
            s = "550 5.7." + std::to_string(i % 97) + " " + word(random() % 6);
            break;
        case 2:
            s = word(4 + random() % 12) + "<CRLF>";
            break;
        default:
            s = word(4 + random() % 30);
        }
        if (i == 500)
            s = "";
        if (i == 501)
            s = "<CRLF>";
        file += s + "\thttp://library.test/kb/" + std::to_string(i) + "\tEntry " + std::to_string(i) + "\r\n";
    }
    TempDir dir;
    WriteBytes(dir.File("MTA-Analysis.tab"), file);
    catalogue::Catalogue loaded;
    ASSERT_EQ(catalogue::LoadCatalogueFile(dir.File("MTA-Analysis.tab"), loaded).kind,
              catalogue::LoadOutcome::Kind::Loaded);
    ASSERT_EQ(loaded.strings.size(), 100000u);

    std::string log;
    for (int i = 0; i < 200; ++i) {
        std::string line = std::to_string(i) + "\t07/12/26 10:15:30\t";
        for (int k = 0; k < 4; ++k) {
            // A search string ending in CR LF goes in without it: the last one of the line then ends the
            // line, where it matches.
            std::string piece = loaded.strings[random() % loaded.strings.size()];
            if (piece.size() >= 2 && piece.compare(piece.size() - 2, 2, "\r\n") == 0)
                piece.resize(piece.size() - 2);
            line += piece + (k < 3 ? word(random() % 5) : "");
        }
        log += line + (i % 3 == 0 ? "\r" : "\r\n");
    }
    WriteBytes(dir.File("MTA-Debug-1.log"), log);

    PeakMemory peak;
    const auto started = std::chrono::steady_clock::now();
    const std::vector<std::int32_t> fast = Counts(dir.File("MTA-Debug-1.log"), loaded.strings, false);
    const auto took = std::chrono::steady_clock::now() - started;
    const std::vector<std::int32_t> plain = Counts(dir.File("MTA-Debug-1.log"), loaded.strings, true);
    ASSERT_EQ(fast.size(), plain.size());
    std::size_t differing = 0, counted = 0;
    for (std::size_t i = 0; i < fast.size(); ++i) {
        differing += fast[i] != plain[i];
        counted += plain[i] > 0;
    }
    EXPECT_EQ(differing, 0u);
    EXPECT_EQ(fast[500], 200); // the empty search string counts every line
    EXPECT_GT(counted, 1000u);
    std::printf("[ figures ] 100,000 entries: compile and scan in %lld ms, peak memory +%zu MiB, %zu entries "
                "counted\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()),
                peak.GrowthBytes() >> 20, counted);
}

TEST(LargeCatalogue, EntriesOfAMegabyteLoadAndCountAsThePlainRule) {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    std::mt19937 random(7);
    std::vector<std::string> longStrings;
    for (int i = 0; i < 6; ++i) {
        std::string s(kMiB, ' ');
        for (char& c : s)
            c = static_cast<char>('a' + random() % 3);
        longStrings.push_back(std::move(s));
    }
    std::string file;
    for (std::size_t i = 0; i < longStrings.size(); ++i)
        file += longStrings[i] + (i == 5 ? "<CRLF>" : "") + "\thttp://library.test/kb/" + std::to_string(i) +
                "\t" + std::string(kMiB, 'e') + "\r\n";
    file += "abc\tL\tshort one\r\n";
    TempDir dir;
    WriteBytes(dir.File("LS-Analysis.tab"), file);
    catalogue::Catalogue loaded;
    ASSERT_EQ(catalogue::LoadCatalogueFile(dir.File("LS-Analysis.tab"), loaded).kind,
              catalogue::LoadOutcome::Kind::Loaded);
    ASSERT_EQ(loaded.strings.size(), 7u);
    EXPECT_EQ(loaded.strings[0], longStrings[0]);
    EXPECT_EQ(loaded.strings[5], longStrings[5] + "\r\n");
    EXPECT_EQ(loaded.descriptions[3].size(), kMiB);

    // Entry 0 whole inside a line, entry 1 whole as a line, entry 2 short of its last byte, entry 5 at a
    // line's end and (not matching) in the middle of one.
    const std::string log = "x" + longStrings[0] + "y\r\n" + longStrings[1] + "\r\n" +
                            longStrings[2].substr(0, kMiB - 1) + "\r\n" + longStrings[5] + "z\r\n" + "q" +
                            longStrings[5] + "\r\nabc\r\n";
    WriteBytes(dir.File("LS-Debug-1.log"), log);
    const std::vector<std::int32_t> fast = Counts(dir.File("LS-Debug-1.log"), loaded.strings, false);
    EXPECT_EQ(fast, Counts(dir.File("LS-Debug-1.log"), loaded.strings, true));
    EXPECT_EQ(fast[0], 1);
    EXPECT_EQ(fast[1], 1);
    EXPECT_EQ(fast[2], 0);
    EXPECT_EQ(fast[5], 1);
}

} // namespace
