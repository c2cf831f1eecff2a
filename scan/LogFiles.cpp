#include "scan/LogFiles.h"

#include <algorithm>

namespace scan {

namespace {

constexpr std::string_view kDebugPart = "-Debug-";
constexpr std::string_view kExtension = ".log";

unsigned char UpperAscii(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return UpperAscii(x) == UpperAscii(y); });
}

} // namespace

bool IsDebugLogFileName(std::string_view name, std::string_view sourceCode) {
    const std::size_t prefix = sourceCode.size() + kDebugPart.size();
    if (name.size() < prefix + kExtension.size())
        return false;
    return EqualNoCase(name.substr(0, sourceCode.size()), sourceCode) &&
           EqualNoCase(name.substr(sourceCode.size(), kDebugPart.size()), kDebugPart) &&
           EqualNoCase(name.substr(name.size() - kExtension.size()), kExtension);
}

bool DebugLogNameLess(std::string_view a, std::string_view b) {
    const auto folded = [](std::string_view x, std::string_view y) {
        return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(),
                                            [](char p, char q) { return UpperAscii(p) < UpperAscii(q); });
    };
    if (folded(a, b))
        return true;
    if (folded(b, a))
        return false;
    return a < b;
}

} // namespace scan
