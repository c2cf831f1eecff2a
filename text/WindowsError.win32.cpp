#include "text/WindowsError.h"

#include <windows.h>

namespace text {

std::string WindowsErrorText(unsigned long code) {
    char* buffer = nullptr;
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                              FORMAT_MESSAGE_IGNORE_INSERTS,
                                          nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string message;
    if (length > 0 && buffer != nullptr)
        message.assign(buffer, length);
    if (buffer != nullptr)
        ::LocalFree(buffer);
    // The system's texts end with ".\r\n"; the handlers add their own lead and nothing after it.
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' ||
                                message.back() == '.'))
        message.pop_back();
    if (message.empty())
        message = "Error " + std::to_string(code);
    return message;
}

Status FromWindowsError(unsigned long code) {
    return Status::Fail(WindowsErrorText(code));
}

} // namespace text
