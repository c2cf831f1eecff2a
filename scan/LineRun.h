// What the file searcher hands the fast matcher: a run of lines lying in the read buffer, and the state a
// scan keeps between runs (per pattern: the last line counted and the number of lines counted; optionally
// a sink for the lines themselves). Internal to scan/.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace scan::detail {

// Bytes past a run's end that the matcher may read (and ignore): the searcher's buffer has room for them.
inline constexpr std::size_t kRunSlack = 8;

// A run of lines in the read buffer. Line i's text is data[lineStarts[i], lineEnds[i]); between two lines
// lie their terminator bytes (CR, or CR LF). Either every line of the run is complete, or the run is one
// piece of a line longer than the read block (`open`), whose end has not been read yet. The first line may
// have begun in an earlier buffer; then lineStarts[0] is 0 and the buffer still holds at least the matcher's
// Overlap() bytes of it, so a search string that ends the line is in view.
struct LineRun {
    const char* data = nullptr;
    std::size_t begin = 0; // first byte of the run (lineStarts[0])
    std::size_t end = 0;   // end of the last line's text (lineEnds[count - 1])
    const std::size_t* lineStarts = nullptr;
    const std::size_t* lineEnds = nullptr;
    std::size_t count = 0;
    bool open = false;                 // the run is one piece of an unfinished line
    std::uint64_t firstLine = 0;       // number of the run's first line in the file, from 0
    std::uint64_t bufferOffset = 0;    // file offset of data[0]
    std::uint64_t firstLineOffset = 0; // file offset of the first line's start (earlier if it began before)

    std::uint64_t LineOffset(std::size_t i) const {
        return i == 0 ? firstLineOffset : bufferOffset + lineStarts[i];
    }
    std::uint64_t LineLength(std::size_t i) const { return bufferOffset + lineEnds[i] - LineOffset(i); }
};

// The lines found for the instance list: where each starts in the file and how long it is (without its
// terminator). Kept in fixed-size chunks, 12 bytes a line, so a long list never needs a copy to grow.
class FoundLines {
public:
    // The length recorded for a line whose end the scan has not reached yet.
    static constexpr std::uint64_t kPending = ~std::uint64_t{0};

    void Add(std::uint64_t offset, std::uint64_t length) {
        if (size_ % kChunk == 0)
            chunks_.push_back(std::make_unique<Chunk>());
        Chunk& chunk = *chunks_.back();
        chunk.offsets[size_ % kChunk] = offset;
        chunk.lengths[size_ % kChunk] = length < kLong ? static_cast<std::uint32_t>(length) : kLong;
        if (length >= kLong)
            longLengths_.push_back({size_, length});
        ++size_;
    }
    std::size_t Size() const { return size_; }
    std::uint64_t Offset(std::size_t i) const { return chunks_[i / kChunk]->offsets[i % kChunk]; }
    std::uint64_t Length(std::size_t i) const {
        const std::uint32_t length = chunks_[i / kChunk]->lengths[i % kChunk];
        if (length != kLong)
            return length;
        const auto it =
            std::lower_bound(longLengths_.begin(), longLengths_.end(), i,
                             [](const auto& entry, std::size_t index) { return entry.first < index; });
        return it != longLengths_.end() && it->first == i ? it->second : 0;
    }
    // Gives the last line, recorded as kPending, its length.
    void SetLastLength(std::uint64_t length) {
        if (size_ == 0 || longLengths_.empty() || longLengths_.back().first != size_ - 1 ||
            longLengths_.back().second != kPending)
            return;
        if (length >= kLong) {
            longLengths_.back().second = length;
        } else {
            longLengths_.pop_back();
            chunks_.back()->lengths[(size_ - 1) % kChunk] = static_cast<std::uint32_t>(length);
        }
    }
    void Clear() {
        chunks_.clear();
        chunks_.shrink_to_fit();
        longLengths_.clear();
        longLengths_.shrink_to_fit();
        size_ = 0;
    }

private:
    static constexpr std::size_t kChunk = 4096;
    static constexpr std::uint32_t kLong = ~std::uint32_t{0}; // the length is in longLengths_
    struct Chunk {
        std::uint64_t offsets[kChunk];
        std::uint32_t lengths[kChunk];
    };
    std::vector<std::unique_ptr<Chunk>> chunks_;
    std::vector<std::pair<std::size_t, std::uint64_t>> longLengths_; // by index
    std::size_t size_ = 0;
};

// Where a listing scan's counted lines go: each line once, whole (its offset in the file and its length
// without the terminator), in the order its range meets them.
class LineSink {
public:
    virtual void Take(std::uint64_t offset, std::uint64_t length) = 0;

protected:
    ~LineSink() = default;
};

struct MatchState {
    std::vector<std::uint64_t> lastLine; // per pattern: number of the last line counted, plus 1 (0: none)
    std::vector<std::uint64_t> counts;   // per pattern: lines counted
    LineSink* found = nullptr;           // when set, every counted line is told to it (single-pattern use)
    // A line longer than the read block that was counted in one of its open pieces: it is told when its last
    // piece gives its length.
    bool longLineCounted = false;
    std::uint64_t longLineOffset = 0;
    // The automaton's marks for a line a filter has counted patterns in: pattern p was passed by the walk
    // of that line when walkMark[p] == walkEpoch (a new epoch per such line, so nothing needs clearing).
    std::vector<std::uint32_t> walkMark;
    std::uint32_t walkEpoch = 0;
    // The automaton's own record, per line it walks beside others and per pattern, of the last line counted.
    std::vector<std::uint64_t> laneLast;

    void Reset(std::size_t patterns) {
        lastLine.assign(patterns, 0);
        counts.assign(patterns, 0);
        walkMark.clear();
        walkEpoch = 0;
        laneLast.clear();
        longLineCounted = false;
    }

    // Counts line i of the run for pattern p unless it was counted already.
    void Hit(std::size_t p, const LineRun& run, std::size_t i) {
        const std::uint64_t stamp = run.firstLine + i + 1;
        if (lastLine[p] == stamp)
            return;
        lastLine[p] = stamp;
        ++counts[p];
        if (found == nullptr)
            return;
        if (run.open) {
            longLineCounted = true;
            longLineOffset = run.LineOffset(i);
        } else {
            found->Take(run.LineOffset(i), run.LineLength(i));
        }
    }

    // The run's first line is the last piece of a long line: if it was counted in an earlier piece, it is
    // told now, before the run's other lines, so the lines stay in file order.
    void EndLongLine(const LineRun& run) {
        if (found == nullptr || !longLineCounted)
            return;
        longLineCounted = false;
        found->Take(longLineOffset, run.LineLength(0));
    }
};

} // namespace scan::detail
