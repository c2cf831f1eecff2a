#include "catalogue/PostFormChecks.h"

namespace catalogue {

bool IsPlainHost(std::string_view host) {
    if (host.empty())
        return false;
    for (const char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '.' || c == '-' || c == '_' || c == ':' || c == '[' || c == ']';
        if (!ok)
            return false;
    }
    return true;
}

bool IsPlainTarget(std::string_view path) {
    if (path.empty() || path.front() != '/')
        return false;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == '#')
            return false;
    }
    return true;
}

} // namespace catalogue
