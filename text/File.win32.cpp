// The file layer on Windows: CreateFileA with read, write and delete sharing, so a log that the mail server
// is writing, rotating or deleting is still read and the server is never blocked; only disk files are
// read (no pipes, consoles or devices); 64-bit sizes, and every read at an explicit offset.
#include "text/File.h"

#include <utility>
#include <windows.h>

#include "text/WindowsError.h"

namespace text {

namespace {

HANDLE Native(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

constexpr std::intptr_t kClosed = -1; // INVALID_HANDLE_VALUE

bool IsMissingError(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
           error == ERROR_BAD_NETPATH || error == ERROR_DIRECTORY;
}

// One ReadFile at offset. The offset travels in the OVERLAPPED block, so the handle's own position never
// matters and ReadAt cannot disturb the sequential reads.
bool ReadAtOffset(HANDLE handle, std::uint64_t offset, char* into, DWORD size, DWORD& got) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    got = 0;
    if (::ReadFile(handle, into, size, &got, &where))
        return true;
    // Reading at or past the end is the end, not a failure.
    if (::GetLastError() == ERROR_HANDLE_EOF) {
        got = 0;
        return true;
    }
    return false;
}

// Reads are made in pieces ReadFile's 32-bit size can take.
constexpr DWORD kLargestRead = 1u << 30;

} // namespace

File::~File() {
    Close();
}

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, kClosed)), size_(std::exchange(other.size_, 0)),
      remaining_(std::exchange(other.remaining_, 0)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, kClosed);
        size_ = std::exchange(other.size_, 0);
        remaining_ = std::exchange(other.remaining_, 0);
    }
    return *this;
}

Status File::Open(const std::string& path, bool* missing) {
    Close();
    if (missing != nullptr)
        *missing = false;
    if (path.find('\0') != std::string::npos) {
        if (missing != nullptr)
            *missing = true;
        return FromWindowsError(ERROR_INVALID_NAME);
    }
    const HANDLE handle =
        ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // A directory cannot be opened as a file; say so rather than "Access is denied".
        const DWORD attributes = ::GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return Status::Fail("Is a directory");
        if (missing != nullptr)
            *missing = IsMissingError(error);
        return FromWindowsError(error);
    }
    // A pipe, a console or a device could block or never end: only disk files are read.
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        ::CloseHandle(handle);
        return Status::Fail("Not a regular file");
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(handle);
        return FromWindowsError(error);
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        ::CloseHandle(handle);
        return Status::Fail("Is a directory");
    }
    handle_ = reinterpret_cast<std::intptr_t>(handle);
    size_ = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    remaining_ = size_;
    return Status::Ok();
}

void File::Close() {
    if (handle_ != kClosed)
        ::CloseHandle(Native(handle_));
    handle_ = kClosed;
    size_ = 0;
    remaining_ = 0;
}

Status File::Read(char* into, std::size_t size, std::size_t& got) {
    got = 0;
    if (handle_ == kClosed)
        return FromWindowsError(ERROR_INVALID_HANDLE);
    if (remaining_ < size)
        size = static_cast<std::size_t>(remaining_);
    if (size == 0)
        return Status::Ok();
    const DWORD piece = size > kLargestRead ? kLargestRead : static_cast<DWORD>(size);
    DWORD read = 0;
    if (!ReadAtOffset(Native(handle_), size_ - remaining_, into, piece, read))
        return FromWindowsError(::GetLastError());
    got = read;
    // A file cut short since it was opened ends here, not at its old size.
    remaining_ = read == 0 ? 0 : remaining_ - got;
    return Status::Ok();
}

bool File::ReadAt(std::uint64_t offset, char* into, std::size_t size) const {
    if (handle_ == kClosed)
        return false;
    while (size > 0) {
        const DWORD piece = size > kLargestRead ? kLargestRead : static_cast<DWORD>(size);
        DWORD read = 0;
        if (!ReadAtOffset(Native(handle_), offset, into, piece, read) || read == 0)
            return false;
        into += read;
        size -= read;
        offset += read;
    }
    return true;
}

Status File::ReadSomeAt(std::uint64_t offset, char* into, std::size_t size, std::size_t& got) const {
    got = 0;
    if (handle_ == kClosed)
        return FromWindowsError(ERROR_INVALID_HANDLE);
    // Each piece carries its own offset, so threads reading one handle at once never share a position.
    while (got < size) {
        const std::size_t left = size - got;
        const DWORD piece = left > kLargestRead ? kLargestRead : static_cast<DWORD>(left);
        DWORD read = 0;
        if (!ReadAtOffset(Native(handle_), offset + got, into + got, piece, read))
            return FromWindowsError(::GetLastError());
        if (read == 0)
            break; // the file's present end
        got += read;
    }
    return Status::Ok();
}

} // namespace text
