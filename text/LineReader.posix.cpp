#include "text/LineReader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace text {

// Opens a file read-only, refusing anything but a regular file: a directory named like a log, and a named
// pipe or a device, which could block the window for ever or never end.
Status OpenRegularFile(const std::string& path, int& fd) {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Status::FromErrno(errno);
    struct stat st {};
    const int error = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    if (error != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        fd = -1;
        return error != 0 ? Status::FromErrno(error) : Status::Fail("Not a regular file");
    }
    // Reads block as usual from here on.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return Status::Ok();
}

LineReader::LineReader(std::size_t blockSize, std::size_t maxPiece)
    : blockSize_(blockSize < 16 ? 16 : blockSize), maxPiece_(maxPiece) {}

LineReader::~LineReader() { Close(); }

Status LineReader::Open(const std::string& path) {
    Close();
    int fd = -1;
    const Status opened = OpenRegularFile(path, fd);
    if (!opened)
        return opened;
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    fd_ = fd;
    struct stat st {};
    bounded_ = ::fstat(fd, &st) == 0 && st.st_size > 0;
    remaining_ = bounded_ ? static_cast<std::uint64_t>(st.st_size) : 0;
    const std::size_t capacity = maxPiece_ > 0 && maxPiece_ + 1 > blockSize_ ? maxPiece_ + 1 : blockSize_;
    buf_.assign(capacity, '\0');
    begin_ = end_ = 0;
    bufOffset_ = 0;
    eof_ = false;
    midLine_ = false;
    readStatus_ = Status::Ok();
    return Status::Ok();
}

void LineReader::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void LineReader::Compact() {
    if (begin_ == 0)
        return;
    std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
    bufOffset_ += begin_;
    end_ -= begin_;
    begin_ = 0;
}

bool LineReader::Fill() {
    if (eof_ || fd_ < 0)
        return false;
    Compact();
    if (end_ == buf_.size())
        buf_.resize(buf_.size() * 2); // a line longer than the buffer, read whole
    std::size_t want = buf_.size() - end_;
    if (bounded_ && remaining_ < want)
        want = static_cast<std::size_t>(remaining_);
    if (want == 0) {
        eof_ = true; // all the file held when it was opened has been read
        return false;
    }
    for (;;) {
        const ssize_t n = ::read(fd_, buf_.data() + end_, want);
        if (n > 0) {
            end_ += static_cast<std::size_t>(n);
            if (bounded_)
                remaining_ -= static_cast<std::uint64_t>(n);
            return true;
        }
        if (n == 0) {
            eof_ = true;
            return false;
        }
        if (errno == EINTR)
            continue;
        readStatus_ = Status::FromErrno(errno);
        eof_ = true; // a failed read ends the file: never loop on it
        return false;
    }
}

bool LineReader::Next(std::string_view& line, std::uint64_t* lineOffset) {
    std::size_t scan = begin_;
    for (;;) {
        const char* base = buf_.data();
        const void* cr = scan < end_ ? std::memchr(base + scan, '\r', end_ - scan) : nullptr;
        if (cr != nullptr) {
            const auto c = static_cast<std::size_t>(static_cast<const char*>(cr) - base);
            if (c + 1 < end_ || eof_) {
                line = std::string_view(base + begin_, c - begin_);
                if (lineOffset)
                    *lineOffset = bufOffset_ + begin_;
                begin_ = c + 1;
                if (begin_ < end_ && base[begin_] == '\n')
                    ++begin_;
                return true;
            }
            // A CR at the very end of the data: the next byte decides whether it is CR LF.
        } else if (eof_) {
            if (begin_ == end_)
                return false;
            line = std::string_view(base + begin_, end_ - begin_);
            if (lineOffset)
                *lineOffset = bufOffset_ + begin_;
            begin_ = end_;
            return true;
        }
        const std::size_t searched = (cr != nullptr ? end_ - 1 : end_) - begin_;
        Fill(); // at end of file (or on failure) the data so far is given out above
        scan = begin_ + searched;
    }
}

bool LineReader::NextPiece(Piece& piece, std::size_t overlap) {
    if (maxPiece_ == 0 || overlap >= maxPiece_) {
        std::string_view line;
        std::uint64_t offset = 0;
        if (!Next(line, &offset))
            return false;
        piece = Piece{line, 0, true, true, offset};
        return true;
    }
    std::size_t scan = begin_ + (midLine_ ? overlap : 0);
    for (;;) {
        const char* base = buf_.data();
        const std::size_t limit = std::min(end_, begin_ + maxPiece_ + 1);
        const void* cr = scan < limit ? std::memchr(base + scan, '\r', limit - scan) : nullptr;
        const std::size_t fresh = midLine_ ? overlap : 0;
        const std::uint64_t offset = midLine_ ? midLineOffset_ : bufOffset_ + begin_;
        if (cr != nullptr) {
            const auto c = static_cast<std::size_t>(static_cast<const char*>(cr) - base);
            if (c + 1 < end_ || eof_) {
                piece = Piece{std::string_view(base + begin_, c - begin_), fresh, !midLine_, true, offset};
                begin_ = c + 1;
                if (begin_ < end_ && base[begin_] == '\n')
                    ++begin_;
                midLine_ = false;
                return true;
            }
        } else if (eof_ && end_ - begin_ <= maxPiece_) {
            if (begin_ == end_ && !midLine_)
                return false;
            piece = Piece{std::string_view(base + begin_, end_ - begin_), fresh, !midLine_, true, offset};
            begin_ = end_;
            midLine_ = false;
            return true;
        }
        if (cr == nullptr && end_ - begin_ > maxPiece_) {
            // No terminator within maxPiece bytes: give out a piece and keep its tail as the overlap.
            piece = Piece{std::string_view(base + begin_, maxPiece_), fresh, !midLine_, false, offset};
            midLineOffset_ = offset;
            midLine_ = true;
            begin_ += maxPiece_ - overlap;
            return true;
        }
        const std::size_t searched = (cr != nullptr ? end_ - 1 : end_) - begin_;
        if (!Fill() && !eof_)
            return false;
        scan = begin_ + searched;
    }
}

Status ReadWholeFile(const std::string& path, std::string& contents, std::size_t limit) {
    contents.clear();
    int fd = -1;
    const Status opened = OpenRegularFile(path, fd);
    if (!opened)
        return opened;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            return Status::FromErrno(error);
        }
        if (contents.size() + static_cast<std::size_t>(n) > limit) {
            ::close(fd);
            contents.clear();
            return Status::FromErrno(EFBIG);
        }
        contents.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return Status::Ok();
}

} // namespace text
