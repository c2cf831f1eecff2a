// The scan tester: runs a log and a catalogue through the fast matcher (at several read block sizes, so
// lines, terminators and matches fall across block edges) and through the plain reference, and lists the
// lines the instance list should give, read independently with the line reader.
#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "scan/Scan.h"

namespace scan_testing {

// Read blocks tried for every case: tiny ones put everything across block edges, the default reads whole.
const std::vector<std::size_t>& BlockSizes();
// Threads tried for every case, each range a thread; with SplitEverywhere even a tiny file is split, so the
// range edges fall on every kind of place (inside a CR LF, after a lone CR, inside a long line).
const std::vector<unsigned>& ThreadCounts();
scan::ScanOptions SplitEverywhere(unsigned threads, std::size_t blockSize);

// The ways the tester writes a case's lines to a file: terminators CR LF, lone CR, alternating, and CR LF
// with no terminator after the last line.
enum class Ending { CrLf, Cr, Mixed, CrLfNoFinal };
const std::vector<Ending>& Endings();
std::string JoinLines(const std::vector<std::string>& lines, Ending ending);
std::string EndingName(Ending ending);

// Counts by the plain matcher (the reference); fails the test if the file cannot be read.
std::vector<std::int32_t> PlainCounts(const std::string& path, const std::vector<std::string>& catalogue);

// The fast matcher compiled with the vector filter allowed (used where the processor has it) or off.
scan::EventMatcher CompileWith(const std::vector<std::string>& catalogue, bool vectorFilter);

// Checks that the fast matcher gives `expected` at every block size and thread count, compiled both with and
// without the vector filter.
void ExpectFastCounts(const std::string& path, const std::vector<std::string>& catalogue,
                      const std::vector<std::int32_t>& expected);

struct ExpectedLine {
    std::uint64_t offset = 0;
    std::string text;
};
// The lines of the file that the search string matches, by the line reader and the plain matcher.
std::vector<ExpectedLine> PlainInstances(const std::string& path, const std::string& searchString);

// An instance sink that keeps each line it is told, its bytes read back at once from the scanned file, and
// fails with "sink full" when told line number failAt (counting from 1; 0: never).
class RecordingSink : public scan::InstanceSink {
public:
    explicit RecordingSink(std::size_t failAt = 0) : failAt_(failAt) {}
    text::Status Found(const text::File& file, std::uint64_t offset, std::uint64_t length) override;

    std::vector<ExpectedLine> lines;
    std::size_t calls = 0;
    bool otherThread = false; // told on a thread other than the one that made the sink

private:
    std::size_t failAt_;
    std::thread::id owner_ = std::this_thread::get_id();
};

// Checks that lines are exactly `expected`: the same offsets and texts, in the same order.
void ExpectSameLines(const std::vector<ExpectedLine>& lines, const std::vector<ExpectedLine>& expected);

// Checks that InstanceLines, and a sink given to ListInstances, give exactly `expected` (offsets, lengths,
// bytes) at every block size and thread count.
void ExpectInstances(const std::string& path, const std::string& searchString,
                     const std::vector<ExpectedLine>& expected);

} // namespace scan_testing
