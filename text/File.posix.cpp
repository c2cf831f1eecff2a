// The file layer on POSIX: open with O_NONBLOCK so a FIFO without a writer cannot hang the open, fstat to
// refuse anything but a regular file, then read and pread.
#include "text/File.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace text {

namespace {

int Descriptor(std::intptr_t handle) {
    return static_cast<int>(handle);
}

} // namespace

File::~File() {
    Close();
}

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), size_(std::exchange(other.size_, 0)),
      remaining_(std::exchange(other.remaining_, 0)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, -1);
        size_ = std::exchange(other.size_, 0);
        remaining_ = std::exchange(other.remaining_, 0);
    }
    return *this;
}

Status File::Open(const std::string& path, bool* missing) {
    Close();
    if (missing != nullptr)
        *missing = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        if (missing != nullptr)
            *missing = error == ENOENT || error == ENOTDIR;
        return Status::FromErrno(error);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return Status::FromErrno(error);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        // A pipe or a device could block or never end: only ordinary files are read.
        return S_ISDIR(st.st_mode) ? Status::FromErrno(EISDIR) : Status::Fail("Not a regular file");
    }
    // Reads of a regular file do not wait for data; clearing O_NONBLOCK keeps them the usual kind anyway.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    handle_ = fd;
    size_ = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    remaining_ = size_;
    return Status::Ok();
}

void File::Close() {
    if (handle_ >= 0)
        ::close(Descriptor(handle_));
    handle_ = -1;
    size_ = 0;
    remaining_ = 0;
}

Status File::Read(char* into, std::size_t size, std::size_t& got) {
    got = 0;
    if (handle_ < 0)
        return Status::FromErrno(EBADF);
    if (remaining_ < size)
        size = static_cast<std::size_t>(remaining_);
    if (size == 0)
        return Status::Ok();
    for (;;) {
        const ssize_t n = ::read(Descriptor(handle_), into, size);
        if (n >= 0) {
            got = static_cast<std::size_t>(n);
            // A file cut short since it was opened ends here, not at its old size.
            remaining_ = n == 0 ? 0 : remaining_ - got;
            return Status::Ok();
        }
        if (errno != EINTR)
            return Status::FromErrno(errno);
    }
}

bool File::ReadAt(std::uint64_t offset, char* into, std::size_t size) const {
    if (handle_ < 0)
        return false;
    while (size > 0) {
        const ssize_t n = ::pread(Descriptor(handle_), into, size, static_cast<off_t>(offset));
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

Status File::ReadSomeAt(std::uint64_t offset, char* into, std::size_t size, std::size_t& got) const {
    got = 0;
    if (handle_ < 0)
        return Status::FromErrno(EBADF);
    while (got < size) {
        const ssize_t n =
            ::pread(Descriptor(handle_), into + got, size - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Status::FromErrno(errno);
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return Status::Ok();
}

} // namespace text
