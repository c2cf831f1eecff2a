// The part of paths that needs no platform call: a directory, the platform's separator, a bare name.
#include "text/Paths.h"

namespace text {

std::string JoinPath(std::string_view directory, std::string_view name) {
    std::string path;
    path.reserve(directory.size() + 1 + name.size());
    path.append(directory);
    path.push_back(kPathSeparator);
    path.append(name);
    return path;
}

} // namespace text
