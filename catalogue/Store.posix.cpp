// Storing a fetched catalogue on POSIX systems: a new file beside the old one, flushed, then renamed
// over it, so the catalogue file is never left half written.
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

#include "catalogue/Library.h"
#include "text/Ascii.h"

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

// A name for the new file next to `path`, unlikely to be taken; O_EXCL settles any clash. Its shape,
// path + ".tmp-" + three groups of digits, is what RemoveStaleTemporaries recognises.
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

std::string BaseNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether `name` is a temporary name TemporaryName gives for the catalogue file named `base`.
bool IsTemporaryNameOf(std::string_view name, std::string_view base) {
    const std::string_view marker = ".tmp-";
    if (name.size() <= base.size() + marker.size() || name.substr(0, base.size()) != base ||
        name.substr(base.size(), marker.size()) != marker)
        return false;
    int groups = 1;
    bool digitBefore = false;
    for (const char c : name.substr(base.size() + marker.size())) {
        if (text::IsAsciiDigit(c)) {
            digitBefore = true;
        } else if (c == '-' && digitBefore) {
            ++groups;
            digitBefore = false;
        } else {
            return false;
        }
    }
    return groups == 3 && digitBefore;
}

// Removes the temporary files of this catalogue that a store which never finished left behind (the program
// was killed or the machine stopped while writing), once they are older than kStaleTemporaryAge: a store
// still in progress in another instance of the program is far younger. Only regular files of exactly our
// own temporary names are touched; every failure here is ignored.
void RemoveStaleTemporaries(const std::string& path) {
    const std::string directory = DirectoryOf(path);
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

text::Status StoreCatalogue(const std::string& path, std::string_view reply) {
    try {
        RemoveStaleTemporaries(path);
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
