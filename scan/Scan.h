// The counting scan and the instance list of one debug log file. A line ends at CR LF or at a lone CR; a lone
// LF is an ordinary character; a terminator after the last line adds no line. The file is read once, from
// start to end, through a read buffer of fixed size, so memory does not grow with the file or its lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "scan/LineRun.h"
#include "scan/Matcher.h"
#include "text/File.h"
#include "text/Status.h"

namespace scan {

// Bytes read from the file at a time.
inline constexpr std::size_t kScanBlockSize = std::size_t{1} << 20;

// How a scan runs: on how many threads, in which blocks, whether it is asked to stop, whom it tells of its
// progress. The defaults scan as fast as the machine allows and cannot be stopped.
struct ScanOptions {
    // Checked between blocks: once stop is requested the scan ends promptly with "Cancelled".
    std::stop_token stop;
    // Told the bytes read since it was last told, from any of the scan's threads.
    std::function<void(std::uint64_t bytes)> progress;
    // Told once, before any progress, the file's size at opening: what the progress adds up to.
    std::function<void(std::uint64_t size)> opened;
    // Threads the file is split over (at line boundaries, results merged in order: exactly the result of one
    // thread). 0: the environment variable BRINDLEMAR_SCAN_THREADS when set, else the hardware's threads.
    unsigned threads = 0;
    // A file is split only into ranges of at least this many bytes (tests lower it to split small files).
    std::uint64_t minRangeBytes = std::uint64_t{8} << 20;
    // Bytes read at a time by each thread (tests use tiny blocks to put lines across block edges).
    std::size_t blockSize = kScanBlockSize;
};

// What a scan went through: the file's size at opening and its lines; whether it was stopped.
struct ScanTotals {
    std::uint64_t bytes = 0;
    std::uint64_t lines = 0;
    bool stopped = false;
};

// The threads a scan uses for `options` (at least 1).
unsigned ScanThreads(const ScanOptions& options);

// The description of a scan that was stopped before its end.
inline constexpr const char* kCancelledDescription = "Cancelled";

// Counts, per search string, the lines of the file that match (the search string occurs in the line followed
// by CR LF). counts is resized to the number of search strings and zeroed first; a count too large for 32
// bits stays at INT32_MAX. On any failure (open or read) counts is all zeros and the Status gives the
// platform's reason, e.g. "No such file or directory" or "Is a directory". blockSize is the read block (tests
// use tiny ones to put lines and matches across block edges).
[[nodiscard]] text::Status CountEvents(const std::string& path, const EventMatcher& matcher,
                                       std::vector<std::int32_t>& counts, const ScanOptions& options = {},
                                       ScanTotals* totals = nullptr);
// The same with one thread and the given read block.
[[nodiscard]] text::Status CountEvents(const std::string& path, const EventMatcher& matcher,
                                       std::vector<std::int32_t>& counts, std::size_t blockSize);

// The same counts by the reference matcher, reading whole lines one at a time (a line is held whole, so
// memory grows with the longest line). For tests and measurements.
[[nodiscard]] text::Status CountEvents(const std::string& path, const PlainMatcher& matcher,
                                       std::vector<std::int32_t>& counts);

// Receives the lines of one event as the scan finds them, in file order: exactly the lines one thread lists,
// however many threads the scan runs on. Each line is told once, when its end is known (a line longer than
// the read block only after its last piece was read). Found is called on the thread that started the scan,
// one line at a time, so a sink needs no lock of its own.
class InstanceSink {
public:
    virtual ~InstanceSink() = default;
    // Line `offset` of `file` (the file the scan reads, open until the scan returns), `length` bytes without
    // its terminator; its bytes can be read back at once with ReadLineBytes. A failure stops the scan
    // promptly (no later line is told) and is the scan's result.
    [[nodiscard]] virtual text::Status Found(const text::File& file, std::uint64_t offset,
                                             std::uint64_t length) = 0;
};

// Tells sink each line of the file that the search string matches, as they are found: the lines of the
// file's first range at once, those of each later range as soon as the ranges before it are done. Gives the
// platform's reason when the file cannot be opened or read, "Cancelled" when stopped, or the sink's failure;
// the lines told before a failure stand. Example: ListInstances(path, "Relay denied", printer).
[[nodiscard]] text::Status ListInstances(const std::string& path, std::string_view searchString,
                                         InstanceSink& sink, const ScanOptions& options = {});
// The same over a file already open (it stays open, for reading the lines back after the scan).
[[nodiscard]] text::Status ListInstances(const text::File& file, std::string_view searchString,
                                         InstanceSink& sink, const ScanOptions& options = {});

// Bytes [from, from + maxBytes) of the line at `offset` of `file` that is `length` bytes long (cut at the
// line's end), into `into`; Ok with nothing read when `from` is at or past the end. Fails with the
// platform's reason when the read fails, or with a description when the file has been cut short since the
// scan; `into` is then empty. A caller reads a long line in pieces of maxBytes.
[[nodiscard]] text::Status ReadLineBytes(const text::File& file, std::uint64_t offset, std::uint64_t length,
                                         std::string& into, std::size_t maxBytes = SIZE_MAX,
                                         std::uint64_t from = 0);

// The lines of one event, in file order, as offsets into the file (no copies); Line(i) reads a line back on
// demand. The file stays open while the list holds lines, so the lines read back are those of the file that
// was scanned even if it has been renamed or replaced since.
class InstanceLines {
public:
    InstanceLines() = default;
    InstanceLines(InstanceLines&&) noexcept = default;
    InstanceLines& operator=(InstanceLines&&) noexcept = default;
    InstanceLines(const InstanceLines&) = delete;
    InstanceLines& operator=(const InstanceLines&) = delete;

    // Lists the lines of the file that the search string matches, replacing what the list held. On failure
    // (open or read) the list is empty and the Status gives the platform's reason.
    [[nodiscard]] text::Status Build(const std::string& path, std::string_view searchString,
                                     const ScanOptions& options = {});
    // The same with one thread and the given read block.
    [[nodiscard]] text::Status Build(const std::string& path, std::string_view searchString,
                                     std::size_t blockSize);

    std::size_t Size() const { return lines_.Size(); }

    // The raw bytes of line i without its terminator, from byte `from` of the line on, at most maxBytes of
    // them; "" if i is out of range, `from` is not before the line's end, or that part can no longer be
    // read whole. A caller reads a long line in pieces: Line(i, n, 0), Line(i, n, n), ...
    std::string Line(std::size_t i, std::size_t maxBytes = SIZE_MAX, std::uint64_t from = 0) const;

    // Line(i, maxBytes, from) that tells why a part of the line is missing: the platform's reason when the
    // read fails, a description when the file has been cut short since the scan. An empty part of an empty
    // line, or `from` at or beyond the line's end, is Ok with nothing read.
    [[nodiscard]] text::Status ReadLine(std::size_t i, std::string& into, std::size_t maxBytes = SIZE_MAX,
                                        std::uint64_t from = 0) const;

    // The length in bytes of line i (0 if i is out of range), and its offset in the file.
    std::uint64_t LineLength(std::size_t i) const;
    std::uint64_t LineOffset(std::size_t i) const;

    // Empties the list and closes the file.
    void Clear();

private:
    detail::FoundLines lines_;
    text::File file_;
};

} // namespace scan
