// Storing a fetched catalogue on Windows: a new file beside the old one, written, flushed with
// FlushFileBuffers, then moved over the old one with MoveFileExA (replace, write through), so the catalogue
// file is never left half written. A store succeeds while another program reads the old file if that
// program opened it with delete sharing (as this system's own readers do); one that holds it open without
// delete sharing makes the store fail with the system's "Access is denied" (or a sharing violation), and the
// old catalogue stays as it was.
#include <atomic>
#include <chrono>
#include <new>
#include <string>
#include <string_view>
#include <windows.h>

#include "catalogue/Library.h"
#include "text/Ascii.h"
#include "text/WindowsError.h"

namespace catalogue {

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

// A name for the new file next to `path`, unlikely to be taken; CREATE_NEW settles any clash. Its shape,
// path + ".tmp-" + three groups of digits, is what RemoveStaleTemporaries recognises.
std::string TemporaryName(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const auto ticks =
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    return path + ".tmp-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(ticks % 1000000007ULL);
}

bool WriteAll(HANDLE handle, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD piece = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!::WriteFile(handle, bytes.data(), piece, &written, nullptr) || written == 0)
            return false;
        bytes.remove_prefix(written);
    }
    return true;
}

std::size_t SeparatorOf(const std::string& path) {
    return path.find_last_of("\\/");
}

// Whether `name` is a temporary name TemporaryName gives for the catalogue file named `base` (compared
// without regard to case, as the file system compares names).
bool IsTemporaryNameOf(std::string_view name, std::string_view base) {
    const std::string_view marker = ".tmp-";
    if (name.size() <= base.size() + marker.size() ||
        !text::EqualsIgnoringAsciiCase(name.substr(0, base.size()), base) ||
        name.substr(base.size(), marker.size()) != marker)
        return false;
    int groups = 1;
    bool digitBefore = false;
    for (const char c : name.substr(base.size() + marker.size())) {
        if (c >= '0' && c <= '9') {
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

// Removes the temporary files of this catalogue that a store which never finished left behind, once they
// are older than kStaleTemporaryAge: a store still in progress in another instance of the program is far
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

} // namespace

text::Status StoreCatalogue(const std::string& path, std::string_view reply) {
    try {
        if (path.find('\0') != std::string::npos)
            return text::FromWindowsError(ERROR_INVALID_NAME);
        RemoveStaleTemporaries(path);
        std::string temporary;
        HANDLE created = INVALID_HANDLE_VALUE;
        for (int attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
            temporary = TemporaryName(path);
            created = ::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
            if (created == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS &&
                ::GetLastError() != ERROR_ALREADY_EXISTS)
                return text::FromWindowsError(::GetLastError());
        }
        if (created == INVALID_HANDLE_VALUE)
            return text::FromWindowsError(ERROR_FILE_EXISTS);
        FileHandle file(created);

        auto fail = [&](DWORD error) {
            file.Close();
            ::DeleteFileA(temporary.c_str());
            return text::FromWindowsError(error);
        };
        if (!WriteAll(file.Get(), reply))
            return fail(::GetLastError());
        if (!::FlushFileBuffers(file.Get()))
            return fail(::GetLastError());
        if (!file.Close())
            return fail(::GetLastError());
        if (::MoveFileExA(temporary.c_str(), path.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return text::Status::Ok();
        const DWORD error = ::GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)
            return fail(error);
        // Some file systems (and Wine) refuse to replace a file that is open, even with delete sharing. A
        // file open with delete sharing may still be renamed: move the old catalogue aside under a temporary
        // name, put the new one in its place, then delete the old one (it goes once its last reader closes
        // it; a later store removes it should that fail).
        const std::string aside = TemporaryName(path);
        if (!::MoveFileExA(path.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH))
            return fail(error);
        if (!::MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH)) {
            const DWORD placing = ::GetLastError();
            ::MoveFileExA(aside.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH);
            return fail(placing);
        }
        ::DeleteFileA(aside.c_str());
        return text::Status::Ok();
    } catch (const std::bad_alloc&) {
        return text::FromWindowsError(ERROR_NOT_ENOUGH_MEMORY);
    }
}

} // namespace catalogue
