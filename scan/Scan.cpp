#include "scan/Scan.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <stop_token>
#include <system_error>
#include <thread>

#include "text/LineReader.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace scan {

namespace {

// Lines handed to the matcher at most in one run; bounds the line tables whatever the lines' lengths.
constexpr std::size_t kMaxRunLines = 16384;

std::int32_t Saturate(std::uint64_t count) {
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
    return static_cast<std::int32_t>(std::min(count, kMax));
}

// Finds the CRs of the read buffer 64 bytes at a time and keeps the positions found in the last 64 bytes
// it looked at, so that a short line costs a bit test rather than a search of its own.
class CrFinder {
public:
    static constexpr std::size_t kNone = SIZE_MAX;

    // The bytes before the buffer's end may have moved: nothing kept holds.
    void Forget() { base_ = kNone; }

    // The first CR in buf[from, end), or kNone. The bytes before `end` must not change until Forget.
    std::size_t Find(const char* buf, std::size_t from, std::size_t end) {
        if (base_ != kNone && from >= base_ && from - base_ < 64) {
            const std::uint64_t ahead = mask_ & (~std::uint64_t{0} << (from - base_));
            if (ahead != 0)
                return base_ + static_cast<std::size_t>(std::countr_zero(ahead));
            from = base_ + 64;
        }
#if defined(__SSE2__)
        for (; from + 64 <= end; from += 64) {
            const __m128i cr = _mm_set1_epi8('\r');
            std::uint64_t mask = 0;
            for (std::size_t k = 0; k < 4; ++k) {
                const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + from + 16 * k));
                mask |=
                    std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, cr)))}
                    << (16 * k);
            }
            base_ = from;
            mask_ = mask;
            if (mask != 0)
                return from + static_cast<std::size_t>(std::countr_zero(mask));
        }
#endif
        const void* cr = from < end ? std::memchr(buf + from, '\r', end - from) : nullptr;
        return cr != nullptr ? static_cast<std::size_t>(static_cast<const char*>(cr) - buf) : kNone;
    }

private:
    std::size_t base_ = kNone;
    std::uint64_t mask_ = 0;
};

// One range of the file for one thread: the lines that start at or after `begin` (a line start) and before
// `limit`; the last of them may run on past the limit to its end. Bytes past `size` (the file's size at
// opening) are never read.
struct Range {
    std::uint64_t begin = 0;
    std::uint64_t limit = 0;
    std::uint64_t size = 0;
};

// The searcher: reads its range through a buffer of blockSize + Overlap() bytes and hands the matcher runs
// of complete lines. It owns the line rules: a line ends at CR LF or at a lone CR, a lone LF is an
// ordinary byte, a terminator after the last line adds no line. A line that does not fit the buffer is
// handed over in pieces, each later piece starting with the last Overlap() bytes of the one before, so a
// search string across the cut is still seen whole and the end of the line is in view when it is finally
// reached; the piece's line keeps one number, so it still counts once. Between blocks it tells the
// progress and stops when asked.
class Searcher {
public:
    Searcher(const text::File& file, const EventMatcher& matcher, const ScanOptions& options)
        : file_(file), matcher_(matcher), options_(options) {}

    // Searches the range into state; lines is the number of lines the range holds.
    text::Status Search(const Range& range, detail::MatchState& state, std::uint64_t& lines);

private:
    // Reads more of the range into buf[end, capacity); false at the end of the data.
    text::Status Fill(char* buf, std::size_t capacity, std::size_t& end, std::uint64_t bufferOffset,
                      const Range& range, bool& eof);

    const text::File& file_;
    const EventMatcher& matcher_;
    const ScanOptions& options_;
};

text::Status Searcher::Fill(char* buf, std::size_t capacity, std::size_t& end, std::uint64_t bufferOffset,
                            const Range& range, bool& eof) {
    const std::uint64_t at = bufferOffset + end;
    const std::size_t want = static_cast<std::size_t>(
        std::min<std::uint64_t>(capacity - end, range.size > at ? range.size - at : 0));
    std::size_t got = 0;
    if (want > 0) {
        if (text::Status status = file_.ReadSomeAt(at, buf + end, want, got); !status)
            return status;
    }
    if (got < want || want == 0)
        eof = true; // the size at opening reached, or the file is shorter now: what is there is all there is
    end += got;
    std::memset(buf + end, 0, detail::kRunSlack); // the matcher may read (and ignore) these past a run
    // Progress counts each byte once: the bytes past the limit (the end of the range's last line) are the
    // next range's to tell.
    const std::uint64_t told = std::min(at + got, range.limit) - std::min(at, range.limit);
    if (options_.progress && told > 0)
        options_.progress(told);
    return text::Status::Ok();
}

text::Status Searcher::Search(const Range& range, detail::MatchState& state, std::uint64_t& lines) {
    const std::size_t keep = std::max<std::size_t>(matcher_.Overlap(), 1);
    const std::size_t capacity = std::max<std::size_t>(options_.blockSize, 1) + keep;
    // Left uninitialised (a scan of a small file must not pay for clearing a whole block on every thread);
    // the slack after the data is cleared at each read.
    const std::unique_ptr<char[]> buffer(new char[capacity + detail::kRunSlack]);
    const std::unique_ptr<std::size_t[]> starts(new std::size_t[kMaxRunLines]);
    const std::unique_ptr<std::size_t[]> ends(new std::size_t[kMaxRunLines]);
    char* const buf = buffer.get();

    std::size_t pos = 0;                      // first byte not yet handed over
    std::size_t end = 0;                      // end of the data read
    std::uint64_t bufferOffset = range.begin; // file offset of buf[0]
    std::uint64_t line = 0;                   // number of the line that starts at pos, within the range
    bool eof = false;
    bool skipLf = false;    // the data ended on a CR: an LF that comes next belongs to it
    bool continued = false; // the line at pos began in an earlier piece
    std::uint64_t continuedOffset = 0;

    CrFinder crs; // forgets what it found whenever the buffer's bytes move
    detail::LineRun run;
    run.data = buf;
    run.lineStarts = starts.get();
    run.lineEnds = ends.get();
    const auto scanRun = [&](std::size_t count, bool open) {
        run.begin = starts[0];
        run.end = ends[count - 1];
        run.count = count;
        run.open = open;
        run.firstLine = line;
        run.bufferOffset = bufferOffset;
        run.firstLineOffset = continued ? continuedOffset : bufferOffset + starts[0];
        if (continued && !open)
            state.EndLongLine(run); // the long line, counted while open, ends here
        matcher_.Scan(run, state);
    };
    // A stop asked for while the last block was read still stops the scan: no result is half of one.
    const auto finished = [&] {
        return options_.stop.stop_requested() ? text::Status::Fail(kCancelledDescription)
                                              : text::Status::Ok();
    };
    // Whether a line starting at buf[at] is the next range's.
    const auto beyond = [&](std::size_t at) { return bufferOffset + at >= range.limit; };

    for (;;) {
        if (options_.stop.stop_requested())
            return text::Status::Fail(kCancelledDescription);
        if (!eof && end < capacity) {
            if (text::Status status = Fill(buf, capacity, end, bufferOffset, range, eof); !status)
                return status;
        }
        if (skipLf && pos < end) {
            if (buf[pos] == '\n')
                ++pos;
            skipLf = false;
        }
        if (skipLf && eof)
            skipLf = false;

        // Runs of complete lines.
        bool done = false;
        for (;;) {
            std::size_t count = 0;
            std::size_t next = pos;
            while (count < kMaxRunLines && !skipLf) {
                if (!continued && beyond(next)) {
                    done = true;
                    break;
                }
                const std::size_t c = crs.Find(buf, next, end);
                if (c == CrFinder::kNone)
                    break;
                starts[count] = next;
                ends[count] = c;
                ++count;
                next = c + 1;
                if (next < end) {
                    if (buf[next] == '\n')
                        ++next;
                } else if (!eof) {
                    skipLf = true;
                }
                if (continued)
                    break; // the long line is handed over on its own, as its last piece
            }
            if (count > 0) {
                scanRun(count, false);
                line += count;
                continued = false;
                pos = next;
            }
            if (count == 0 || done || count < kMaxRunLines)
                break;
        }
        if (done) {
            lines = line;
            return finished();
        }
        if (skipLf && !eof) {
            // The CR ended the data: read on to see whether an LF belongs to it.
            if (pos > 0) {
                std::memmove(buf, buf + pos, end - pos);
                bufferOffset += pos;
                crs.Forget();
                end -= pos;
                pos = 0;
            }
            continue;
        }

        // What is left is the start of a line whose terminator has not been read.
        if (eof) {
            if ((pos < end && !beyond(pos)) || continued) {
                starts[0] = pos;
                ends[0] = end;
                scanRun(1, false);
                ++line;
            }
            lines = line;
            return finished();
        }
        if (pos == 0 && end == capacity) {
            starts[0] = 0;
            ends[0] = end;
            scanRun(1, true);
            if (!continued) {
                continued = true;
                continuedOffset = bufferOffset;
            }
            std::memmove(buf, buf + end - keep, keep);
            bufferOffset += end - keep;
            crs.Forget();
            end = keep;
            continue;
        }
        if (pos > 0) {
            std::memmove(buf, buf + pos, end - pos);
            bufferOffset += pos;
            crs.Forget();
            end -= pos;
            pos = 0;
        }
    }
}

// The first line start at or after `cut`: a line starts at 0 and right after each terminator (CR LF, or a
// CR not followed by LF). Reads forward from just before the cut; a cut inside a line that never ends
// within the file gives the file's size.
text::Status LineStartAtOrAfter(const text::File& file, std::uint64_t cut, std::uint64_t size,
                                std::uint64_t& start) {
    if (cut == 0 || cut >= size) {
        start = std::min(cut, size);
        return text::Status::Ok();
    }
    std::vector<char> block(std::size_t{64} << 10);
    std::uint64_t at = cut - 1; // the byte before the cut tells whether the cut is a line start
    bool afterCr = false;       // the byte before `at` was a CR
    for (;;) {
        std::size_t got = 0;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size - at));
        if (text::Status status = file.ReadSomeAt(at, block.data(), want, got); !status)
            return status;
        for (std::size_t i = 0; i < got;) {
            if (!afterCr) {
                // Only a CR can end a line: straight to the next one (a line may be gigabytes long).
                const void* cr = std::memchr(block.data() + i, '\r', got - i);
                if (cr == nullptr)
                    break;
                i = static_cast<std::size_t>(static_cast<const char*>(cr) - block.data()) + 1;
                afterCr = true;
                continue;
            }
            const std::uint64_t offset = at + i;
            if (block[i] != '\n' && offset >= cut) {
                start = offset; // a lone CR ended the line before
                return text::Status::Ok();
            }
            if (block[i] == '\n' && offset + 1 >= cut) {
                start = offset + 1; // CR LF ended the line before
                return text::Status::Ok();
            }
            afterCr = block[i] == '\r';
            ++i;
        }
        at += got;
        if (got < want || at >= size) {
            start = size; // no further line starts: a CR at the very end ends the last line
            return text::Status::Ok();
        }
    }
}

// Stops every range of a scan at its next block once the caller asks or anything fails, and keeps the
// failure that came first: the ranges it stopped end with "Cancelled", which is not the scan's reason.
class ScanStop {
public:
    explicit ScanStop(const std::stop_token& asked) : onAsked_(asked, Forward{&source_}) {}
    ScanStop(const ScanStop&) = delete;
    ScanStop& operator=(const ScanStop&) = delete;

    std::stop_token Token() const { return source_.get_token(); }
    bool Stopped() const { return source_.stop_requested(); }
    void Fail(text::Status status) {
        {
            std::lock_guard lock(mutex_);
            if (!cause_)
                cause_ = std::move(status);
        }
        source_.request_stop();
    }
    // The failure that stopped the scan, if one did (not the caller's stop).
    std::optional<text::Status> Cause() {
        std::lock_guard lock(mutex_);
        return cause_;
    }

private:
    struct Forward {
        std::stop_source* source;
        void operator()() const { source->request_stop(); }
    };
    std::stop_source source_;
    std::mutex mutex_;
    std::optional<text::Status> cause_;
    std::stop_callback<Forward> onAsked_; // last: it may stop source_ as it is made
};

// The first range's lines, told to the caller's sink as the range finds them; after the sink fails, no more.
class StreamTo final : public detail::LineSink {
public:
    StreamTo(InstanceSink& sink, const text::File& file, ScanStop& stop)
        : sink_(sink), file_(file), stop_(stop) {}

    void Take(std::uint64_t offset, std::uint64_t length) override {
        if (failed_)
            return;
        if (text::Status status = sink_.Found(file_, offset, length); !status) {
            failed_ = true;
            stop_.Fail(std::move(status));
        }
    }

private:
    InstanceSink& sink_;
    const text::File& file_;
    ScanStop& stop_;
    bool failed_ = false;
};

// A later range's lines, kept until the ranges before it are done.
class Collect final : public detail::LineSink {
public:
    void Take(std::uint64_t offset, std::uint64_t length) override { lines.Add(offset, length); }
    detail::FoundLines lines;
};

// Scans the file into one state per range, each range on a thread of its own (the first on the calling
// thread); the states come back in file order. With a sink, the first range streams its lines to it and each
// later range's lines follow, on the calling thread, as soon as that range and those before it are done. The
// first failure of any range or of the sink stops every range and is the scan's failure.
text::Status SearchRanges(const text::File& file, const EventMatcher& matcher, const ScanOptions& options,
                          std::vector<detail::MatchState>& states, InstanceSink* sink, ScanTotals* totals) {
    const std::uint64_t size = file.Size();
    if (options.opened)
        options.opened(size);
    const unsigned threads = ScanThreads(options);
    const std::uint64_t minRange = std::max<std::uint64_t>(options.minRangeBytes, 1);
    const std::uint64_t ranges =
        std::max<std::uint64_t>(1, std::min<std::uint64_t>(threads, size / minRange));

    std::vector<std::uint64_t> begins(ranges + 1, size);
    begins[0] = 0;
    for (std::uint64_t k = 1; k < ranges; ++k) {
        if (text::Status status = LineStartAtOrAfter(file, size / ranges * k, size, begins[k]); !status)
            return status;
        begins[k] = std::max(begins[k], begins[k - 1]);
    }

    ScanStop stop(options.stop);
    ScanOptions rangeOptions = options;
    rangeOptions.stop = stop.Token();
    std::optional<StreamTo> streamed;
    if (sink != nullptr)
        streamed.emplace(*sink, file, stop);
    std::vector<Collect> collected(sink != nullptr ? ranges : 0);

    states.resize(ranges);
    std::vector<text::Status> statuses(ranges);
    std::vector<std::uint64_t> lines(ranges, 0);
    const auto searchRange = [&](std::size_t k) {
        try {
            states[k].Reset(matcher.PatternCount());
            if (sink != nullptr)
                states[k].found = k == 0 ? static_cast<detail::LineSink*>(&*streamed) : &collected[k];
            Searcher searcher(file, matcher, rangeOptions);
            statuses[k] = searcher.Search({begins[k], begins[k + 1], size}, states[k], lines[k]);
        } catch (const std::bad_alloc&) {
            statuses[k] = text::Status::FromErrno(ENOMEM);
        }
        // A range that ends with "Cancelled" was stopped: the reason is already kept, or the caller asked.
        if (!statuses[k] && !stop.Stopped())
            stop.Fail(statuses[k]);
    };
    // Hands a later range's lines to the sink; a failure of the sink stops the ranges still running.
    const auto handOver = [&](std::size_t k) {
        const detail::FoundLines& found = collected[k].lines;
        try {
            for (std::size_t i = 0; i < found.Size() && !stop.Stopped(); ++i) {
                if (text::Status status = sink->Found(file, found.Offset(i), found.Length(i)); !status)
                    stop.Fail(std::move(status));
            }
        } catch (const std::bad_alloc&) {
            stop.Fail(text::Status::FromErrno(ENOMEM));
        }
        collected[k].lines.Clear();
    };
    {
        std::vector<std::jthread> workers; // joined on every way out of this block
        workers.reserve(ranges - 1);
        try {
            for (std::size_t k = 1; k < ranges; ++k)
                workers.emplace_back(searchRange, k);
        } catch (const std::system_error&) {
            // The system gives no more threads: the calling thread searches the ranges left after its own.
        }
        searchRange(0);
        for (std::size_t k = 1; k < ranges; ++k) {
            if (k - 1 < workers.size())
                workers[k - 1].join();
            else
                searchRange(k);
            if (sink != nullptr && !stop.Stopped())
                handOver(k);
        }
    }

    if (totals != nullptr) {
        totals->bytes = size;
        totals->lines = 0;
        for (std::uint64_t n : lines)
            totals->lines += n;
        totals->stopped = options.stop.stop_requested();
    }
    if (std::optional<text::Status> cause = stop.Cause())
        return std::move(*cause);
    for (const text::Status& status : statuses) {
        if (!status)
            return status; // "Cancelled": the caller asked
    }
    return text::Status::Ok();
}

} // namespace

unsigned ScanThreads(const ScanOptions& options) {
    if (options.threads > 0)
        return options.threads;
    if (const char* chosen = std::getenv("BRINDLEMAR_SCAN_THREADS")) {
        unsigned value = 0;
        const std::string_view text(chosen);
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error == std::errc() && end == text.data() + text.size() && value > 0)
            return std::min(value, 256u);
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

text::Status CountEvents(const std::string& path, const EventMatcher& matcher,
                         std::vector<std::int32_t>& counts, const ScanOptions& options, ScanTotals* totals) {
    try {
        counts.assign(matcher.Size(), 0);
        if (!matcher.Ready())
            return text::Status::FromErrno(ENOMEM);
        text::File file;
        text::Status status = file.Open(path);
        if (!status)
            return status;
        std::vector<detail::MatchState> states;
        status = SearchRanges(file, matcher, options, states, nullptr, totals);
        if (!status)
            return status;
        for (std::size_t i = 0; i < counts.size(); ++i) {
            std::uint64_t count = 0;
            for (const detail::MatchState& state : states)
                count += state.counts[matcher.PatternOf(i)];
            counts[i] = Saturate(count);
        }
        return text::Status::Ok();
    } catch (const std::bad_alloc&) {
        std::fill(counts.begin(), counts.end(), 0);
        return text::Status::FromErrno(ENOMEM);
    }
}

text::Status CountEvents(const std::string& path, const EventMatcher& matcher,
                         std::vector<std::int32_t>& counts, std::size_t blockSize) {
    ScanOptions options;
    options.threads = 1;
    options.blockSize = blockSize;
    return CountEvents(path, matcher, counts, options);
}

text::Status CountEvents(const std::string& path, const PlainMatcher& matcher,
                         std::vector<std::int32_t>& counts) {
    try {
        counts.assign(matcher.Size(), 0);
        text::LineReader reader;
        text::Status status = reader.Open(path);
        if (!status)
            return status;
        std::vector<std::uint64_t> wide(matcher.Size(), 0);
        std::string_view line;
        while (reader.Next(line))
            matcher.CountLine(line, wide);
        if (!reader.ReadStatus())
            return reader.ReadStatus();
        for (std::size_t i = 0; i < counts.size(); ++i)
            counts[i] = Saturate(wide[i]);
        return text::Status::Ok();
    } catch (const std::bad_alloc&) {
        std::fill(counts.begin(), counts.end(), 0);
        return text::Status::FromErrno(ENOMEM);
    }
}

namespace {

// The instance list's own sink: the lines kept as offsets and lengths.
class KeepLines final : public InstanceSink {
public:
    explicit KeepLines(detail::FoundLines& lines) : lines_(lines) {}
    text::Status Found(const text::File& /*file*/, std::uint64_t offset, std::uint64_t length) override {
        try {
            lines_.Add(offset, length);
        } catch (const std::bad_alloc&) {
            return text::Status::FromErrno(ENOMEM);
        }
        return text::Status::Ok();
    }

private:
    detail::FoundLines& lines_;
};

} // namespace

text::Status ListInstances(const text::File& file, std::string_view searchString, InstanceSink& sink,
                           const ScanOptions& options) {
    try {
        const EventMatcher matcher({std::string(searchString)});
        if (!matcher.Ready())
            return text::Status::FromErrno(ENOMEM);
        std::vector<detail::MatchState> states;
        return SearchRanges(file, matcher, options, states, &sink, nullptr);
    } catch (const std::bad_alloc&) {
        return text::Status::FromErrno(ENOMEM);
    }
}

text::Status ListInstances(const std::string& path, std::string_view searchString, InstanceSink& sink,
                           const ScanOptions& options) {
    text::File file;
    if (text::Status status = file.Open(path); !status)
        return status;
    return ListInstances(file, searchString, sink, options);
}

text::Status ReadLineBytes(const text::File& file, std::uint64_t offset, std::uint64_t length,
                           std::string& into, std::size_t maxBytes, std::uint64_t from) {
    into.clear();
    if (from >= length)
        return text::Status::Ok();
    const std::uint64_t size = std::min<std::uint64_t>(length - from, maxBytes);
    try {
        into.assign(static_cast<std::size_t>(size), '\0');
    } catch (const std::exception&) {
        return text::Status::FromErrno(ENOMEM);
    }
    errno = 0;
    if (file.ReadAt(offset + from, into.data(), into.size()))
        return text::Status::Ok();
    const int error = errno;
    into.clear();
    // A read that fails sets errno; one that finds the end of the file early means the file is shorter now.
    return error != 0 ? text::Status::FromErrno(error)
                      : text::Status::Fail("The file has been cut short since it was scanned.");
}

text::Status InstanceLines::Build(const std::string& path, std::string_view searchString,
                                  const ScanOptions& options) {
    Clear();
    text::File file;
    if (text::Status status = file.Open(path); !status)
        return status;
    KeepLines keep(lines_);
    if (text::Status status = ListInstances(file, searchString, keep, options); !status) {
        Clear();
        return status;
    }
    if (lines_.Size() > 0)
        file_ = std::move(file);
    return text::Status::Ok();
}

text::Status InstanceLines::Build(const std::string& path, std::string_view searchString,
                                  std::size_t blockSize) {
    ScanOptions options;
    options.threads = 1;
    options.blockSize = blockSize;
    return Build(path, searchString, options);
}

std::string InstanceLines::Line(std::size_t i, std::size_t maxBytes, std::uint64_t from) const {
    if (i >= lines_.Size() || from >= lines_.Length(i))
        return {};
    const std::uint64_t size = std::min<std::uint64_t>(lines_.Length(i) - from, maxBytes);
    try {
        std::string bytes(static_cast<std::size_t>(size), '\0');
        if (size > 0 && !file_.ReadAt(lines_.Offset(i) + from, bytes.data(), bytes.size()))
            return {};
        return bytes;
    } catch (const std::exception&) {
        return {};
    }
}

text::Status InstanceLines::ReadLine(std::size_t i, std::string& into, std::size_t maxBytes,
                                     std::uint64_t from) const {
    if (i >= lines_.Size()) {
        into.clear();
        return text::Status::Ok();
    }
    return ReadLineBytes(file_, lines_.Offset(i), lines_.Length(i), into, maxBytes, from);
}

std::uint64_t InstanceLines::LineLength(std::size_t i) const {
    return i < lines_.Size() ? lines_.Length(i) : 0;
}

std::uint64_t InstanceLines::LineOffset(std::size_t i) const {
    return i < lines_.Size() ? lines_.Offset(i) : 0;
}

void InstanceLines::Clear() {
    lines_.Clear();
    file_.Close();
}

} // namespace scan
