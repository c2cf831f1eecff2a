// Replacing a file on POSIX systems: a new file beside the old one, flushed, then renamed over it, so the
// file is never left half written. File identity is the device and inode number.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "text/Replace.h"

namespace text {

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

// A name for the new file next to `path`, unlikely to be taken; O_EXCL settles any clash. Its shape is what
// IsTemporaryNameOf recognises.
std::string TemporaryName(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const auto ticks =
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    return path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(ticks % 1000000007ULL);
}

Status WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Status::FromErrno(errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return Status::Ok();
}

std::string BaseNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Removes the temporary files of this target that a replace which never finished left behind (the program
// was killed or the machine stopped while writing), once they are older than kStaleTemporaryAge: a replace
// still in progress in another instance of the program is far younger. Only regular files of exactly our
// own temporary names are touched; every failure here is ignored.
void RemoveStaleTemporaries(const std::string& path) {
    const std::string directory = ParentDirectory(path);
    const std::string base = BaseNameOf(path);
    DIR* stream = ::opendir(directory.c_str());
    if (stream == nullptr)
        return;
    const auto now = std::chrono::system_clock::now();
    while (const dirent* entry = ::readdir(stream)) {
        if (!IsTemporaryNameOf(entry->d_name, base))
            continue;
        const std::string full = directory + "/" + entry->d_name;
        struct stat st {};
        if (::lstat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        const auto modified = std::chrono::system_clock::from_time_t(st.st_mtime);
        if (now - modified > kStaleTemporaryAge)
            ::unlink(full.c_str());
    }
    ::closedir(stream);
}

} // namespace

std::string ParentDirectory(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

Status ReplaceWhole(const std::string& path, const FileWriter& writer) {
    try {
        RemoveStaleTemporaries(path);
        std::string temporary;
        int fd = -1;
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            temporary = TemporaryName(path);
            fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST)
                return Status::FromErrno(errno);
        }
        if (fd < 0)
            return Status::FromErrno(EEXIST);
        FileDescriptor file(fd);

        auto fail = [&](Status reason) {
            if (file.Get() >= 0)
                file.Close();
            ::unlink(temporary.c_str());
            return reason;
        };
        Status written = Status::Ok();
        try {
            written = writer([&file](std::string_view bytes) { return WriteAll(file.Get(), bytes); });
        } catch (const std::bad_alloc&) {
            written = Status::FromErrno(ENOMEM);
        }
        if (!written)
            return fail(std::move(written));
        if (::fsync(file.Get()) != 0)
            return fail(Status::FromErrno(errno));
        if (file.Close() != 0)
            return fail(Status::FromErrno(errno));
        if (::rename(temporary.c_str(), path.c_str()) != 0)
            return fail(Status::FromErrno(errno));

        // Make the rename durable too; the file is already in place, so a failure here is not one.
        const int directory = ::open(ParentDirectory(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (directory >= 0) {
            ::fsync(directory);
            ::close(directory);
        }
        return Status::Ok();
    } catch (const std::bad_alloc&) {
        return Status::FromErrno(ENOMEM);
    }
}

bool IsSameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0)
        return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::vector<std::string> DirectoryNames(const std::string& directory) {
    std::vector<std::string> names;
    DIR* stream = ::opendir(directory.c_str());
    if (stream == nullptr)
        return names;
    while (const dirent* entry = ::readdir(stream)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    ::closedir(stream);
    return names;
}

std::optional<std::time_t> ModifiedTime(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return st.st_mtime;
}

} // namespace text
