// The one line reader of the system, for catalogues, debug logs and activity logs: a line ends at CR LF or
// at a lone CR; a lone LF is an ordinary character of the line; a terminator after the last line adds no
// line. Files are opened for reading only (text::File) and read sequentially in large blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "text/File.h"
#include "text/Status.h"

namespace text {

class LineReader {
public:
    static constexpr std::size_t kDefaultBlockSize = std::size_t{1} << 20;

    // blockSize: bytes read at a time. maxPiece: lines longer than this come in pieces from NextPiece
    // (0 means whole lines only: the buffer grows to hold the longest line).
    explicit LineReader(std::size_t blockSize = kDefaultBlockSize, std::size_t maxPiece = 0);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Opens the file read-only as File::Open does (regular files only, the platform's reason on failure).
    // Reading stops at the file's size at this moment, so a log that another program keeps writing is read
    // as it was when opened and the reading ends however fast it grows; a file that tells a size of 0, as
    // pseudo-files such as /proc/kmsg do, gives no lines and is never waited on.
    Status Open(const std::string& path);
    // Closes the file; no lines follow.
    void Close();

    // The next whole line, without its terminator; valid until the next call. False at the end of the file
    // or after a failed read (then ReadStatus() says why). lineOffset, if given, receives the line's offset.
    bool Next(std::string_view& line, std::uint64_t* lineOffset = nullptr);

    // One piece of a line. A line no longer than maxPiece is one piece with first and last set. A longer
    // line comes as several pieces; each later piece repeats the last `overlap` bytes of the one before it
    // (text[0, fresh) are those repeated bytes), so a match that straddles two pieces is still seen.
    struct Piece {
        std::string_view text;
        std::size_t fresh = 0;
        bool first = true;
        bool last = true;
        std::uint64_t lineOffset = 0;
    };
    // Like Next, in pieces; overlap must be below maxPiece. Only for a reader made with maxPiece > 0.
    bool NextPiece(Piece& piece, std::size_t overlap);

    // The failure of a read after a successful open; ok while reading goes well.
    const Status& ReadStatus() const { return readStatus_; }

private:
    bool Fill(); // reads more data after what is there; false at end of file or on failure
    void Compact();

    File file_;
    std::size_t blockSize_;
    std::size_t maxPiece_;
    std::vector<char> buf_;
    std::size_t begin_ = 0;       // first byte not yet given out
    std::size_t end_ = 0;         // end of the valid data
    std::uint64_t bufOffset_ = 0; // file offset of buf_[0]
    bool eof_ = false;
    bool midLine_ = false; // the last piece given out did not end its line
    std::uint64_t midLineOffset_ = 0;
    Status readStatus_;
};

} // namespace text
