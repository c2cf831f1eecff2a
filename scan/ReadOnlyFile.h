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
    text::Status Open(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // Reads up to size bytes at the current position; got is 0 at the end of the file. A failed read
    // gives its reason.
    text::Status Read(char* into, std::size_t size, std::size_t& got);

    // Reads exactly size bytes at offset, without moving the current position. False if they cannot all
    // be read (a failure, or the file is shorter now).
    bool ReadAt(std::uint64_t offset, char* into, std::size_t size) const;

private:
    int fd_ = -1;
};

} // namespace scan::detail
