#include "scan/LogFiles.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <new>
#include <string>
#include <sys/stat.h>

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
                // A symbolic link counts when it leads to an ordinary file; a broken one does not.
                struct stat st {};
                const std::string full = text::JoinPath(directory, name);
                regular = ::stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode);
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
