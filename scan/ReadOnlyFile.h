// A debug log file opened for reading only: sequential reads for the counting scan, reads at an offset for
// the instance list. Only regular files open (a directory, device or pipe gives a failed Status). Internal
// to scan/; one backend per platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "text/Status.h"

namespace scan::detail {

class ReadOnlyFile {
public:
    ReadOnlyFile() = default;
    ~ReadOnlyFile();
    ReadOnlyFile(ReadOnlyFile&& other) noexcept;
    ReadOnlyFile& operator=(ReadOnlyFile&& other) noexcept;
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // Opens the file read-only; the platform's reason on failure ("No such file or directory", ...).
    // Sequential reads stop at the file's size at this moment: a log the server keeps writing is read as
    // it was when the scan began, so a scan ends even if the file grows faster than it is read. (A file
    // that tells a size of 0, as pseudo-files do, is read to its end.)
    text::Status Open(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // Reads up to size bytes at the current position; got is 0 at the end of the file (or of what it held
    // when opened). A failed read gives its reason.
    text::Status Read(char* into, std::size_t size, std::size_t& got);

    // Reads exactly size bytes at offset, without moving the current position. False if they cannot all
    // be read (a failure, or the file is shorter now).
    bool ReadAt(std::uint64_t offset, char* into, std::size_t size) const;

private:
    int fd_ = -1;
    std::uint64_t remaining_ = 0; // bytes left to read sequentially, of the size at opening
    bool bounded_ = false;        // whether remaining_ applies
};

} // namespace scan::detail
