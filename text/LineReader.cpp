#include "text/LineReader.h"

#include <algorithm>
#include <cstring>

namespace text {

LineReader::LineReader(std::size_t blockSize, std::size_t maxPiece)
    : blockSize_(blockSize < 16 ? 16 : blockSize), maxPiece_(maxPiece) {}

LineReader::~LineReader() {
    Close();
}

Status LineReader::Open(const std::string& path) {
    Close();
    Status opened = file_.Open(path);
    if (!opened)
        return opened;
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
    file_.Close();
    begin_ = end_ = 0;
    eof_ = true; // a closed reader gives no more lines
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
    if (eof_)
        return false;
    Compact();
    if (end_ == buf_.size())
        buf_.resize(buf_.size() * 2); // a line longer than the buffer, read whole
    std::size_t got = 0;
    const Status read = file_.Read(buf_.data() + end_, buf_.size() - end_, got);
    if (!read)
        readStatus_ = read;
    if (got == 0) {
        // All the file held when it was opened has been read, or a read failed: never loop on it.
        eof_ = true;
        return false;
    }
    end_ += got;
    return true;
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

} // namespace text
