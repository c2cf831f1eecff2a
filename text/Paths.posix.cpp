#include "text/Paths.h"

#include <filesystem>
#include <system_error>

namespace text {

const char kPathSeparator = '/';

std::string JoinPath(std::string_view directory, std::string_view name) {
    std::string path;
    path.reserve(directory.size() + 1 + name.size());
    path.append(directory);
    path.push_back(kPathSeparator);
    path.append(name);
    return path;
}

std::string ProgramDirectory() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !exe.has_parent_path())
        return ".";
    return exe.parent_path().string();
}

std::string PathFromUtf8(std::string_view utf8) {
    return std::string(utf8);
}

} // namespace text
