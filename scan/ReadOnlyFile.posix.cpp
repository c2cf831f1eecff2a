#include "scan/ReadOnlyFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace scan::detail {

ReadOnlyFile::~ReadOnlyFile() {
    Close();
}

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), remaining_(other.remaining_), bounded_(other.bounded_) {}

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        remaining_ = other.remaining_;
        bounded_ = other.bounded_;
    }
    return *this;
}

text::Status ReadOnlyFile::Open(const std::string& path) {
    Close();
    // Non-blocking, so that a pipe with no writer cannot hang the open; it is refused just below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return text::Status::FromErrno(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return text::Status::FromErrno(error);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        // A device or pipe could be endless: only ordinary files are logs.
        return S_ISDIR(st.st_mode) ? text::Status::FromErrno(EISDIR)
                                   : text::Status::Fail("Not a regular file");
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    fd_ = fd;
    bounded_ = st.st_size > 0;
    remaining_ = bounded_ ? static_cast<std::uint64_t>(st.st_size) : 0;
    return text::Status::Ok();
}

void ReadOnlyFile::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

text::Status ReadOnlyFile::Read(char* into, std::size_t size, std::size_t& got) {
    got = 0;
    if (fd_ < 0)
        return text::Status::FromErrno(EBADF);
    if (bounded_ && remaining_ < size)
        size = static_cast<std::size_t>(remaining_);
    if (size == 0)
        return text::Status::Ok();
    for (;;) {
        const ssize_t n = ::read(fd_, into, size);
        if (n >= 0) {
            got = static_cast<std::size_t>(n);
            if (bounded_)
                remaining_ -= got;
            return text::Status::Ok();
        }
        if (errno != EINTR)
            return text::Status::FromErrno(errno);
    }
}

bool ReadOnlyFile::ReadAt(std::uint64_t offset, char* into, std::size_t size) const {
    if (fd_ < 0)
        return false;
    while (size > 0) {
        const ssize_t n = ::pread(fd_, into, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        into += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

} // namespace scan::detail
