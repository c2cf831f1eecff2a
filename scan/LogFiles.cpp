#include "scan/LogFiles.h"

#include "text/Ascii.h"

namespace scan {

namespace {

constexpr std::string_view kDebugPart = "-Debug-";
constexpr std::string_view kExtension = ".log";

} // namespace

bool IsDebugLogFileName(std::string_view name, std::string_view sourceCode) {
    const std::size_t prefix = sourceCode.size() + kDebugPart.size();
    if (name.size() < prefix + kExtension.size())
        return false;
    return text::EqualsIgnoringAsciiCase(name.substr(0, sourceCode.size()), sourceCode) &&
           text::EqualsIgnoringAsciiCase(name.substr(sourceCode.size(), kDebugPart.size()), kDebugPart) &&
           text::EqualsIgnoringAsciiCase(name.substr(name.size() - kExtension.size()), kExtension);
}

bool DebugLogNameLess(std::string_view a, std::string_view b) {
    if (text::LessIgnoringAsciiCase(a, b))
        return true;
    if (text::LessIgnoringAsciiCase(b, a))
        return false;
    return a < b;
}

} // namespace scan
