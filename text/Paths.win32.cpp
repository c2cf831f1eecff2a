// Paths on Windows: "\" between a directory and a name, and the program's directory from
// GetModuleFileNameA (in the ANSI code page, as every other path the system builds).
#include "text/Paths.h"

#include <windows.h>

#include "text/Ansi.h"

namespace text {

const char kPathSeparator = '\\';

std::string ProgramDirectory() {
    // The buffer grows until the whole name fits; a path longer than 32767 characters cannot exist.
    for (DWORD capacity = MAX_PATH; capacity <= 32768; capacity *= 2) {
        std::string path(capacity, '\0');
        const DWORD length = ::GetModuleFileNameA(nullptr, path.data(), capacity);
        if (length == 0)
            return ".";
        if (length < capacity) {
            path.resize(length);
            const std::size_t separator = path.find_last_of("\\/");
            if (separator == std::string::npos)
                return ".";
            // A program in a drive's root ("C:\x.exe") gives "C:", to which JoinPath adds the "\" again.
            return path.substr(0, separator);
        }
    }
    return ".";
}

std::string PathFromUtf8(std::string_view utf8) {
    return Utf8ToAnsi(utf8);
}

} // namespace text
