#include "text/Replace.h"

#include "text/Ascii.h"

namespace text {

Status ReplaceWhole(const std::string& path, std::string_view bytes) {
    return ReplaceWhole(path, [bytes](const WriteSink& write) { return write(bytes); });
}

// The shape TemporaryName gives: base + ".tmp-" + three groups of digits joined by "-". Names are compared
// without regard to ASCII case on Windows, as its file systems compare them.
bool IsTemporaryNameOf(std::string_view name, std::string_view base) {
    const std::string_view marker = ".tmp-";
    if (name.size() <= base.size() + marker.size())
        return false;
    const std::string_view head = name.substr(0, base.size());
#ifdef _WIN32
    if (!EqualsIgnoringAsciiCase(head, base))
        return false;
#else
    if (head != base)
        return false;
#endif
    if (name.substr(base.size(), marker.size()) != marker)
        return false;
    int groups = 1;
    bool digitBefore = false;
    for (const char c : name.substr(base.size() + marker.size())) {
        if (IsAsciiDigit(c)) {
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

} // namespace text
