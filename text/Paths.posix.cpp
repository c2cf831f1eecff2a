#include "text/Paths.h"

#include <filesystem>
#include <system_error>

namespace text {

const char kPathSeparator = '/';

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
