// The desktop opener on Windows: the shell's own ShellExecuteA with the operation "open"; its answer is
// already in the shell's convention.
#include "shell/OpenDocument.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <new>
#include <string>

namespace shell {

int ShellOpen(std::string_view target, std::chrono::milliseconds /*handOverAfter*/) {
    // The shell returns once it has started the application or failed; there is nothing to wait for.
    if (target.empty() || target.find('\0') != std::string_view::npos)
        return kFileNotFound;
    try {
        const std::string file(target);
        const HINSTANCE answer = ::ShellExecuteA(nullptr, "open", file.c_str(), "", "", SW_SHOWNORMAL);
        return static_cast<int>(reinterpret_cast<std::intptr_t>(answer));
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

} // namespace shell
