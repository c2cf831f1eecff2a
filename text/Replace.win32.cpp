// Replacing a file on Windows: a new file beside the old one, written, flushed with FlushFileBuffers, then
// moved over the old one with MoveFileExA (replace, write through), so the file is never left half written.
// A replace succeeds while another program reads the old file if that program opened it with delete
// sharing (as this system's own readers do); one that holds it open without delete sharing makes the
// replace fail with the system's "Access is denied" (or a sharing violation), and the old file stays as it
// was. File identity is the volume serial number and the file index.
#include <atomic>
#include <chrono>
#include <new>
#include <string>
#include <string_view>
#include <windows.h>

#include "text/Replace.h"
#include "text/WindowsError.h"

namespace text {

namespace {

// Closes the handle on every path unless closed first.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE Get() const { return handle_; }
    // Closes now and tells whether the close itself went well.
    bool Close() {
        if (handle_ == INVALID_HANDLE_VALUE)
            return true;
        const bool closed = ::CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_;
};

// A name for the new file next to `path`, unlikely to be taken; CREATE_NEW settles any clash. Its shape is
// what IsTemporaryNameOf recognises.
std::string TemporaryName(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const auto ticks =
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    return path + ".tmp-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(ticks % 1000000007ULL);
}

Status WriteAll(HANDLE handle, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD piece = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!::WriteFile(handle, bytes.data(), piece, &written, nullptr))
            return FromWindowsError(::GetLastError());
        if (written == 0)
            return FromWindowsError(ERROR_WRITE_FAULT);
        bytes.remove_prefix(written);
    }
    return Status::Ok();
}

std::size_t SeparatorOf(const std::string& path) {
    return path.find_last_of("\\/");
}

// Removes the temporary files of this target that a replace which never finished left behind, once they
// are older than kStaleTemporaryAge: a replace still in progress in another instance of the program is far
// younger. Only ordinary files of exactly our own temporary names are touched; every failure is ignored.
void RemoveStaleTemporaries(const std::string& path) {
    const std::size_t separator = SeparatorOf(path);
    const std::string directory = separator == std::string::npos ? "." : path.substr(0, separator);
    const std::string base = separator == std::string::npos ? path : path.substr(separator + 1);
    WIN32_FIND_DATAA entry{};
    const HANDLE search = ::FindFirstFileA((directory + "\\" + base + ".tmp-*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    FILETIME nowFileTime{};
    ::GetSystemTimeAsFileTime(&nowFileTime);
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    // FILETIME counts 100-nanosecond steps.
    const unsigned long long staleAge =
        static_cast<unsigned long long>(
            std::chrono::duration_cast<std::chrono::seconds>(kStaleTemporaryAge).count()) *
        10000000ULL;
    do {
        if ((entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
            !IsTemporaryNameOf(entry.cFileName, base))
            continue;
        const unsigned long long modified = ticks(entry.ftLastWriteTime);
        if (ticks(nowFileTime) > modified && ticks(nowFileTime) - modified > staleAge)
            ::DeleteFileA((directory + "\\" + entry.cFileName).c_str());
    } while (::FindNextFileA(search, &entry));
    ::FindClose(search);
}

// The identity of a file or directory, opened for nothing but its attributes (links followed).
bool IdentityOf(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    if (path.find('\0') != std::string::npos)
        return false;
    FileHandle handle(::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (handle.Get() == INVALID_HANDLE_VALUE)
        return false;
    return ::GetFileInformationByHandle(handle.Get(), &info) != 0;
}

} // namespace

std::string ParentDirectory(const std::string& path) {
    const std::size_t separator = SeparatorOf(path);
    if (separator == std::string::npos)
        return ".";
    // "C:\name" keeps its root's separator.
    if (separator == 0 || (separator == 2 && path[1] == ':'))
        return path.substr(0, separator + 1);
    return path.substr(0, separator);
}

Status ReplaceWhole(const std::string& path, const FileWriter& writer) {
    try {
        if (path.find('\0') != std::string::npos)
            return FromWindowsError(ERROR_INVALID_NAME);
        RemoveStaleTemporaries(path);
        std::string temporary;
        HANDLE created = INVALID_HANDLE_VALUE;
        for (int attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
            temporary = TemporaryName(path);
            created = ::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
            if (created == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS &&
                ::GetLastError() != ERROR_ALREADY_EXISTS)
                return FromWindowsError(::GetLastError());
        }
        if (created == INVALID_HANDLE_VALUE)
            return FromWindowsError(ERROR_FILE_EXISTS);
        FileHandle file(created);

        auto fail = [&](Status reason) {
            file.Close();
            ::DeleteFileA(temporary.c_str());
            return reason;
        };
        Status written = Status::Ok();
        try {
            written = writer([&file](std::string_view bytes) { return WriteAll(file.Get(), bytes); });
        } catch (const std::bad_alloc&) {
            written = FromWindowsError(ERROR_NOT_ENOUGH_MEMORY);
        }
        if (!written)
            return fail(std::move(written));
        if (!::FlushFileBuffers(file.Get()))
            return fail(FromWindowsError(::GetLastError()));
        if (!file.Close())
            return fail(FromWindowsError(::GetLastError()));
        if (::MoveFileExA(temporary.c_str(), path.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return Status::Ok();
        const DWORD error = ::GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)
            return fail(FromWindowsError(error));
        // Some file systems (and Wine) refuse to replace a file that is open, even with delete sharing. A
        // file open with delete sharing may still be renamed: move the old file aside under a temporary
        // name, put the new one in its place, then delete the old one (it goes once its last reader closes
        // it; a later replace removes it should that fail).
        const std::string aside = TemporaryName(path);
        if (!::MoveFileExA(path.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH))
            return fail(FromWindowsError(error));
        if (!::MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH)) {
            const DWORD placing = ::GetLastError();
            ::MoveFileExA(aside.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH);
            return fail(FromWindowsError(placing));
        }
        ::DeleteFileA(aside.c_str());
        return Status::Ok();
    } catch (const std::bad_alloc&) {
        return FromWindowsError(ERROR_NOT_ENOUGH_MEMORY);
    }
}

bool IsSameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION first{};
    BY_HANDLE_FILE_INFORMATION second{};
    if (!IdentityOf(a, first) || !IdentityOf(b, second))
        return false;
    return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

std::vector<std::string> DirectoryNames(const std::string& directory) {
    std::vector<std::string> names;
    if (directory.find('\0') != std::string::npos)
        return names;
    WIN32_FIND_DATAA entry{};
    const HANDLE search = ::FindFirstFileA((directory + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::string_view name = entry.cFileName;
        if (name != "." && name != "..")
            names.emplace_back(name);
    } while (::FindNextFileA(search, &entry));
    ::FindClose(search);
    return names;
}

std::optional<std::time_t> ModifiedTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (path.find('\0') != std::string::npos ||
        !::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    const unsigned long long ticks =
        (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
        data.ftLastWriteTime.dwLowDateTime;
    // FILETIME counts 100-nanosecond steps from 1601; time_t seconds from 1970.
    constexpr unsigned long long kEpochDifference = 11644473600ULL;
    const unsigned long long seconds = ticks / 10000000ULL;
    if (seconds < kEpochDifference)
        return std::nullopt;
    return static_cast<std::time_t>(seconds - kEpochDifference);
}

} // namespace text
