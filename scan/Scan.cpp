#include "scan/Scan.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

#include "text/LineReader.h"

namespace scan {

namespace {

// Lines handed to the matcher at most in one run; bounds the line tables whatever the lines' lengths.
constexpr std::size_t kMaxRunLines = 16384;

std::int32_t Saturate(std::uint64_t count) {
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
    return static_cast<std::int32_t>(std::min(count, kMax));
}

// The searcher: reads the file through a buffer of blockSize + Overlap() bytes and hands the matcher runs
// of complete lines. A line that does not fit the buffer is handed over in pieces, each later piece starting
// with the last Overlap() bytes of the one before, so a search string across the cut is still seen whole
// and the end of the line is in view when it is finally reached. The piece's line keeps one number, so it
// still counts once.
text::Status SearchFile(detail::ReadOnlyFile& file, const EventMatcher& matcher, detail::MatchState& state,
                        std::size_t blockSize) {
    const std::size_t keep = std::max<std::size_t>(matcher.Overlap(), 1);
    const std::size_t capacity = std::max<std::size_t>(blockSize, 1) + keep;
    std::vector<char> buffer(capacity + detail::kRunSlack);
    std::vector<std::size_t> starts(kMaxRunLines);
    std::vector<std::size_t> ends(kMaxRunLines);
    char* const buf = buffer.data();

    std::size_t pos = 0;            // first byte not yet handed over
    std::size_t end = 0;            // end of the data read
    std::uint64_t bufferOffset = 0; // file offset of buf[0]
    std::uint64_t line = 0;         // number of the line that starts at pos
    bool eof = false;
    bool skipLf = false;    // the data ended on a CR: an LF that comes next belongs to it
    bool continued = false; // the line at pos began in an earlier piece
    std::uint64_t continuedOffset = 0;

    detail::LineRun run;
    run.data = buf;
    run.lineStarts = starts.data();
    run.lineEnds = ends.data();
    const auto scanRun = [&](std::size_t count, bool open) {
        run.begin = starts[0];
        run.end = ends[count - 1];
        run.count = count;
        run.open = open;
        run.firstLine = line;
        run.bufferOffset = bufferOffset;
        run.firstLineOffset = continued ? continuedOffset : bufferOffset + starts[0];
        if (continued && !open && state.found != nullptr)
            state.found->SetLastLength(run.LineLength(0)); // the long line, listed while open, ends here
        matcher.Scan(run, state);
    };

    for (;;) {
        if (!eof && end < capacity) {
            std::size_t got = 0;
            text::Status status = file.Read(buf + end, capacity - end, got);
            if (!status)
                return status;
            if (got == 0)
                eof = true;
            end += got;
        }
        if (skipLf && pos < end) {
            if (buf[pos] == '\n')
                ++pos;
            skipLf = false;
        }

        // Runs of complete lines.
        for (;;) {
            std::size_t count = 0;
            std::size_t next = pos;
            while (count < kMaxRunLines) {
                const void* cr = std::memchr(buf + next, '\r', end - next);
                if (cr == nullptr)
                    break;
                const auto c = static_cast<std::size_t>(static_cast<const char*>(cr) - buf);
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
            }
            if (count == 0)
                break;
            scanRun(count, false);
            line += count;
            continued = false;
            pos = next;
        }

        // What is left is the start of a line whose terminator has not been read.
        if (eof) {
            if (pos < end || continued) {
                starts[0] = pos;
                ends[0] = end;
                scanRun(1, false);
                ++line;
            }
            return text::Status::Ok();
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
            end = keep;
            continue;
        }
        if (pos > 0) {
            std::memmove(buf, buf + pos, end - pos);
            bufferOffset += pos;
            end -= pos;
            pos = 0;
        }
    }
}

} // namespace

text::Status CountEvents(const std::string& path, const EventMatcher& matcher,
                         std::vector<std::int32_t>& counts, std::size_t blockSize) {
    try {
        counts.assign(matcher.Size(), 0);
        if (!matcher.Ready())
            return text::Status::FromErrno(ENOMEM);
        detail::ReadOnlyFile file;
        text::Status status = file.Open(path);
        if (!status)
            return status;
        detail::MatchState state;
        state.Reset(matcher.PatternCount());
        status = SearchFile(file, matcher, state, blockSize);
        if (!status)
            return status;
        for (std::size_t i = 0; i < counts.size(); ++i)
            counts[i] = Saturate(state.counts[matcher.PatternOf(i)]);
        return text::Status::Ok();
    } catch (const std::bad_alloc&) {
        std::fill(counts.begin(), counts.end(), 0);
        return text::Status::FromErrno(ENOMEM);
    }
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

text::Status InstanceLines::Build(const std::string& path, std::string_view searchString,
                                  std::size_t blockSize) {
    Clear();
    try {
        const EventMatcher matcher({std::string(searchString)});
        if (!matcher.Ready())
            return text::Status::FromErrno(ENOMEM);
        detail::ReadOnlyFile file;
        text::Status status = file.Open(path);
        if (!status)
            return status;
        detail::MatchState state;
        state.Reset(matcher.PatternCount());
        state.found = &lines_;
        status = SearchFile(file, matcher, state, blockSize);
        if (!status) {
            Clear();
            return status;
        }
        if (lines_.Size() > 0)
            file_ = std::move(file);
        return text::Status::Ok();
    } catch (const std::bad_alloc&) {
        Clear();
        return text::Status::FromErrno(ENOMEM);
    }
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
    into.clear();
    if (i >= lines_.Size() || from >= lines_.Length(i))
        return text::Status::Ok();
    const std::uint64_t size = std::min<std::uint64_t>(lines_.Length(i) - from, maxBytes);
    try {
        into.assign(static_cast<std::size_t>(size), '\0');
    } catch (const std::exception&) {
        return text::Status::FromErrno(ENOMEM);
    }
    errno = 0;
    if (file_.ReadAt(lines_.Offset(i) + from, into.data(), into.size()))
        return text::Status::Ok();
    const int error = errno;
    into.clear();
    // A read that fails sets errno; one that finds the end of the file early means the file is shorter now.
    return error != 0 ? text::Status::FromErrno(error)
                      : text::Status::Fail("The file has been cut short since it was scanned.");
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
