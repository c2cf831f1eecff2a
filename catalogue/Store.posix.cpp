// Storing a fetched catalogue on POSIX systems: a new file beside the old one, flushed, then renamed
// over it, so the catalogue file is never left half written.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <new>
#include <string>
#include <unistd.h>

#include "catalogue/Library.h"

namespace catalogue {

namespace {

// A file descriptor closed on every path unless released.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }
    // Closes now and gives close's own outcome (a deferred write error shows up here).
    int Close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

// A name for the new file next to `path`, unlikely to be taken; O_EXCL settles any clash.
std::string TemporaryName(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const auto ticks =
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    return path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(ticks % 1000000007ULL);
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The directory part of a path, for flushing the rename itself to disk.
std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

text::Status StoreCatalogue(const std::string& path, std::string_view reply) {
    try {
        std::string temporary;
        int fd = -1;
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            temporary = TemporaryName(path);
            fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST)
                return text::Status::FromErrno(errno);
        }
        if (fd < 0)
            return text::Status::FromErrno(EEXIST);
        FileDescriptor file(fd);

        auto fail = [&](int error) {
            if (file.Get() >= 0)
                file.Close();
            ::unlink(temporary.c_str());
            return text::Status::FromErrno(error);
        };
        if (!WriteAll(file.Get(), reply))
            return fail(errno);
        if (::fsync(file.Get()) != 0)
            return fail(errno);
        if (file.Close() != 0)
            return fail(errno);
        if (::rename(temporary.c_str(), path.c_str()) != 0)
            return fail(errno);

        // Make the rename durable too; the catalogue is already in place, so a failure here is not one.
        const int directory = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (directory >= 0) {
            ::fsync(directory);
            ::close(directory);
        }
        return text::Status::Ok();
    } catch (const std::bad_alloc&) {
        return text::Status::FromErrno(ENOMEM);
    }
}

} // namespace catalogue
