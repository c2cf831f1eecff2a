#include "scan/LogFiles.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <new>
#include <string>
#include <sys/stat.h>
#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

#include "text/Paths.h"

namespace scan {

namespace {

// Closes the directory stream on every path.
struct DirectoryStream {
    DIR* dir = nullptr;
    ~DirectoryStream() {
        if (dir != nullptr)
            ::closedir(dir);
    }
};

// Whether the file at path lies on one of the kernel's pseudo file systems (/proc, /sys and their kin).
// Their entries call themselves regular files, mostly of size 0, yet are no logs: /proc/kmsg, for one,
// never ends. A file system that cannot be asked counts as an ordinary one.
bool OnPseudoFileSystem(const std::string& path) {
#ifdef __linux__
    struct statfs fs {};
    if (::statfs(path.c_str(), &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case PSTOREFS_MAGIC:
    case EFIVARFS_MAGIC:
    case BPF_FS_MAGIC:
        return true;
    default:
        return false;
    }
#else
    (void)path;
    return false;
#endif
}

} // namespace

text::Status ListDebugLogFiles(std::string_view directory, std::string_view sourceCode,
                               std::vector<std::string>& names) {
    names.clear();
    try {
        const std::string path =
            directory.empty() ? std::string(1, text::kPathSeparator) : std::string(directory);
        DirectoryStream stream;
        stream.dir = ::opendir(path.c_str());
        if (stream.dir == nullptr) {
            // No such directory (or a file where it should be): nothing to list, as on the server.
            if (errno == ENOENT || errno == ENOTDIR)
                return text::Status::Ok();
            return text::Status::FromErrno(errno);
        }
        for (;;) {
            errno = 0;
            const dirent* entry = ::readdir(stream.dir);
            if (entry == nullptr) {
                if (errno != 0) {
                    const int error = errno;
                    names.clear();
                    return text::Status::FromErrno(error);
                }
                break;
            }
            const std::string_view name = entry->d_name;
            if (name.empty() || name.front() == '.' || !IsDebugLogFileName(name, sourceCode))
                continue;
            bool regular = false;
#ifdef _DIRENT_HAVE_D_TYPE
            if (entry->d_type == DT_REG)
                regular = true;
            else if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
                continue;
#endif
            if (!regular) {
                // A symbolic link counts when it leads to an ordinary file; a broken one does not, nor one
                // that leads to a device, a pipe or a kernel pseudo-file.
                struct stat st {};
                const std::string full = text::JoinPath(directory, name);
                regular = ::stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !OnPseudoFileSystem(full);
            }
            if (regular)
                names.emplace_back(name);
        }
        std::sort(names.begin(), names.end(),
                  [](const std::string& a, const std::string& b) { return DebugLogNameLess(a, b); });
        return text::Status::Ok();
    } catch (const std::bad_alloc&) {
        names.clear();
        return text::Status::FromErrno(ENOMEM);
    }
}

} // namespace scan
