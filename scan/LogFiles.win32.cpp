// The debug log listing on Windows: FindFirstFileA / FindNextFileA over the directory with the pattern
// source code + "-Debug-*.log". The pattern also matches short (8.3) names, so each long name is checked
// once more; directories, hidden and system files and devices are left out.
#include "scan/LogFiles.h"

#include <algorithm>
#include <new>
#include <windows.h>

#include "text/Paths.h"
#include "text/WindowsError.h"

namespace scan {

namespace {

// Closes the search handle on every path.
class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    ~FindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE)
            ::FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

bool IsOrdinaryFile(const WIN32_FIND_DATAA& entry) {
    constexpr DWORD kLeftOut =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;
    return (entry.dwFileAttributes & kLeftOut) == 0;
}

} // namespace

text::Status ListDebugLogFiles(std::string_view directory, std::string_view sourceCode,
                               std::vector<std::string>& names) {
    names.clear();
    try {
        // A source code with a wildcard or a separator in it would widen the search: no file has such a name.
        if (sourceCode.find_first_of("*?\\/:\"<>|") != std::string_view::npos ||
            directory.find('\0') != std::string_view::npos || sourceCode.find('\0') != std::string_view::npos)
            return text::Status::Ok();
        const std::string pattern = text::JoinPath(directory, std::string(sourceCode) + "-Debug-*.log");
        WIN32_FIND_DATAA entry{};
        FindHandle search(::FindFirstFileA(pattern.c_str(), &entry));
        if (search.Get() == INVALID_HANDLE_VALUE) {
            const DWORD error = ::GetLastError();
            // No matching file, or no such directory: nothing to list, as on the server.
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                error == ERROR_NO_MORE_FILES || error == ERROR_BAD_NETPATH || error == ERROR_DIRECTORY)
                return text::Status::Ok();
            return text::FromWindowsError(error);
        }
        for (;;) {
            const std::string_view name = entry.cFileName;
            if (IsOrdinaryFile(entry) && IsDebugLogFileName(name, sourceCode))
                names.emplace_back(name);
            if (!::FindNextFileA(search.Get(), &entry)) {
                const DWORD error = ::GetLastError();
                if (error == ERROR_NO_MORE_FILES)
                    break;
                names.clear();
                return text::FromWindowsError(error);
            }
        }
        std::sort(names.begin(), names.end(),
                  [](const std::string& a, const std::string& b) { return DebugLogNameLess(a, b); });
        return text::Status::Ok();
    } catch (const std::bad_alloc&) {
        names.clear();
        return text::FromWindowsError(ERROR_NOT_ENOUGH_MEMORY);
    }
}

} // namespace scan
