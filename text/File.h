// The one way the system opens a file it reads: logs, activity logs, catalogues and export files. Only
// regular files open, without blocking; reads stop at the size the file had when it was opened, so a file
// that another program keeps writing is read as it was, and a file that tells a size of 0 is not read at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "text/Status.h"

namespace text {

class File {
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens the file read-only. A directory ("Is a directory"), a named pipe or a device ("Not a regular
    // file") is refused at once, never waited on; otherwise the platform's reason on failure. missing, if
    // given, is set when the path names nothing (no such file, or a part of the path is not a directory).
    Status Open(const std::string& path, bool* missing = nullptr);
    void Close();

    // The file's size when it was opened: the most that sequential reads give. 0 when not open.
    std::uint64_t Size() const { return size_; }

    // Reads up to size bytes at the current position; got is 0 at the end of what the file held when it was
    // opened (at once for a file of size 0, such as a pseudo-file that never ends). A failed read gives its
    // reason.
    Status Read(char* into, std::size_t size, std::size_t& got);

    // Reads exactly size bytes at offset, without moving the current position and without the bound of the
    // size at opening. False if they cannot all be read (a failure, or the file is shorter now).
    bool ReadAt(std::uint64_t offset, char* into, std::size_t size) const;

    // Reads up to size bytes at offset, without moving the current position; got is what was read, fewer
    // only at the file's present end. Safe to call from several threads at once on one open file. A failed
    // read gives its reason.
    Status ReadSomeAt(std::uint64_t offset, char* into, std::size_t size, std::size_t& got) const;

private:
    std::intptr_t handle_ = -1; // the backend's handle of the open file; -1 when closed
    std::uint64_t size_ = 0;
    std::uint64_t remaining_ = 0; // bytes left to read sequentially, of size_
};

// Reads a whole small file (a catalogue, an export file) into memory, as it was when opened; a file of size
// 0 gives empty contents. Fails with the reason of File::Open or of the read, or when the file is larger
// than limit ("File too large"); contents is then empty.
Status ReadWholeFile(const std::string& path, std::string& contents, std::size_t limit);

} // namespace text
