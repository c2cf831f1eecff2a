#include "ScanTester.h"

#include <gtest/gtest.h>

#include "scan/Automaton.h"
#include "scan/Matcher.h"
#include "scan/Scan.h"
#include "scan/VectorFilter.h"
#include "text/LineReader.h"

namespace scan_testing {

namespace {
// A dense table of a few nodes: most steps of a walk go past it.
constexpr std::size_t kSmallDenseTable = 64;
} // namespace

const std::vector<std::size_t>& BlockSizes() {
    static const std::vector<std::size_t> sizes{1, 2, 3, 4, 5, 7, 16, 61, scan::kScanBlockSize};
    return sizes;
}

const std::vector<unsigned>& ThreadCounts() {
    static const std::vector<unsigned> counts{1, 2, 7};
    return counts;
}

scan::ScanOptions SplitEverywhere(unsigned threads, std::size_t blockSize) {
    scan::ScanOptions options;
    options.threads = threads;
    options.minRangeBytes = 1; // even a file of a few bytes is split, so range edges fall everywhere
    options.blockSize = blockSize;
    return options;
}

const std::vector<Ending>& Endings() {
    static const std::vector<Ending> endings{Ending::CrLf, Ending::Cr, Ending::Mixed, Ending::CrLfNoFinal};
    return endings;
}

std::string EndingName(Ending ending) {
    switch (ending) {
    case Ending::CrLf:
        return "CR LF";
    case Ending::Cr:
        return "lone CR";
    case Ending::Mixed:
        return "CR LF and lone CR";
    case Ending::CrLfNoFinal:
        return "CR LF, last line unterminated";
    }
    return {};
}

std::string JoinLines(const std::vector<std::string>& lines, Ending ending) {
    std::string bytes;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        bytes += lines[i];
        const bool last = i + 1 == lines.size();
        // A last empty line without a terminator would be no line at all: it keeps its terminator.
        if (last && ending == Ending::CrLfNoFinal && !lines[i].empty())
            break;
        // A lone CR before a line that starts with LF would make a CR LF: that line keeps CR LF.
        const bool nextStartsWithLf = !last && !lines[i + 1].empty() && lines[i + 1].front() == '\n';
        const bool cr =
            !nextStartsWithLf && (ending == Ending::Cr || (ending == Ending::Mixed && i % 2 == 1));
        bytes += cr ? "\r" : "\r\n";
    }
    return bytes;
}

std::vector<std::int32_t> PlainCounts(const std::string& path, const std::vector<std::string>& catalogue) {
    std::vector<std::int32_t> counts;
    const text::Status status = scan::CountEvents(path, scan::PlainMatcher(catalogue), counts);
    EXPECT_TRUE(status.ok) << status.description;
    return counts;
}

// With the vector filter, or without it and with automata whose dense table holds a few nodes only (the
// forms the filters of other processors and huge catalogues take).
scan::EventMatcher CompileWith(const std::vector<std::string>& catalogue, bool vectorFilter) {
    scan::detail::AllowVectorFilter(vectorFilter);
    if (!vectorFilter)
        scan::detail::Automaton::LimitDenseCells(kSmallDenseTable);
    scan::EventMatcher matcher(catalogue);
    scan::detail::AllowVectorFilter(true);
    scan::detail::Automaton::LimitDenseCells(scan::detail::Automaton::kMaxDenseCells);
    return matcher;
}

void ExpectFastCounts(const std::string& path, const std::vector<std::string>& catalogue,
                      const std::vector<std::int32_t>& expected) {
    for (const bool vector : {true, false}) {
        SCOPED_TRACE(vector ? "vector filter allowed" : "vector filter off, small dense tables");
        const scan::EventMatcher matcher = CompileWith(catalogue, vector);
        for (const unsigned threads : ThreadCounts()) {
            for (const std::size_t block : BlockSizes()) {
                SCOPED_TRACE("block size " + std::to_string(block) + ", threads " + std::to_string(threads));
                std::vector<std::int32_t> counts{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
                const text::Status status =
                    scan::CountEvents(path, matcher, counts, SplitEverywhere(threads, block));
                ASSERT_TRUE(status.ok) << status.description;
                EXPECT_EQ(counts, expected);
            }
        }
    }
}

std::vector<ExpectedLine> PlainInstances(const std::string& path, const std::string& searchString) {
    const scan::PlainMatcher plain({searchString});
    text::LineReader reader;
    EXPECT_TRUE(reader.Open(path).ok);
    std::vector<ExpectedLine> lines;
    std::string_view line;
    std::uint64_t offset = 0;
    while (reader.Next(line, &offset))
        if (plain.Matches(line, 0))
            lines.push_back({offset, std::string(line)});
    EXPECT_TRUE(reader.ReadStatus().ok);
    return lines;
}

text::Status RecordingSink::Found(const text::File& file, std::uint64_t offset, std::uint64_t length) {
    ++calls;
    if (std::this_thread::get_id() != owner_)
        otherThread = true;
    if (calls == failAt_)
        return text::Status::Fail("sink full");
    ExpectedLine line{offset, {}};
    if (text::Status read = scan::ReadLineBytes(file, offset, length, line.text); !read.ok)
        return read;
    lines.push_back(std::move(line));
    return text::Status::Ok();
}

void ExpectSameLines(const std::vector<ExpectedLine>& lines, const std::vector<ExpectedLine>& expected) {
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(lines[i].offset, expected[i].offset) << "line " << i;
        EXPECT_EQ(lines[i].text, expected[i].text) << "line " << i;
    }
}

void ExpectInstances(const std::string& path, const std::string& searchString,
                     const std::vector<ExpectedLine>& expected) {
    for (const unsigned threads : ThreadCounts()) {
        for (const std::size_t block : BlockSizes()) {
            SCOPED_TRACE("block size " + std::to_string(block) + ", threads " + std::to_string(threads));
            scan::InstanceLines instances;
            const text::Status status = instances.Build(path, searchString, SplitEverywhere(threads, block));
            ASSERT_TRUE(status.ok) << status.description;
            ASSERT_EQ(instances.Size(), expected.size());
            for (std::size_t i = 0; i < expected.size(); ++i) {
                EXPECT_EQ(instances.LineOffset(i), expected[i].offset) << "line " << i;
                EXPECT_EQ(instances.LineLength(i), expected[i].text.size()) << "line " << i;
                EXPECT_EQ(instances.Line(i), expected[i].text) << "line " << i;
            }

            // The same lines streamed: each told once, whole, in file order, on the thread that scans.
            RecordingSink sink;
            const text::Status streamed =
                scan::ListInstances(path, searchString, sink, SplitEverywhere(threads, block));
            ASSERT_TRUE(streamed.ok) << streamed.description;
            ExpectSameLines(sink.lines, expected);
            EXPECT_FALSE(sink.otherThread);
        }
    }
}

} // namespace scan_testing
