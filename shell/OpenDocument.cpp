#include "shell/OpenDocument.h"

#include <cstddef>

#include "text/Ascii.h"

namespace shell {

std::string ShellErrorMessage(int code) {
    switch (code) {
    case 0:
        return "Out of memory or resources";
    case 2:
        return "File not found";
    case 3:
        return "Path not found";
    case 5:
        return "File access denied";
    case 8:
        return "Out of memory";
    case 11:
        return "Invalid .EXE file";
    case 26:
        return "Sharing violation";
    case 27:
        return "Invalid file name association";
    case 28:
        return "DDE timeout";
    case 29:
        return "DDE transaction failed";
    case 30:
        return "DDE busy";
    case 31:
        return "No associated application";
    case 32:
        return "DLL not found";
    default:
        return "Unknown error " + std::to_string(code);
    }
}

std::optional<std::string> OpenDocument(std::string_view target) {
    const int answer = ShellOpen(target);
    if (answer > 32)
        return std::nullopt;
    return ShellErrorMessage(answer);
}

bool IsWebAddress(std::string_view link) {
    return text::StartsWithIgnoringAsciiCase(link, "http://") ||
           text::StartsWithIgnoringAsciiCase(link, "https://");
}

} // namespace shell
