// Windows paths looked up under a drive folder: expansion of the two variables every server has, the
// path's components, and each component matched against the names of a copied tree.
#include "settings/Drives.h"

#include <algorithm>
#include <array>
#include <exception>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "text/Ansi.h"
#include "text/Paths.h"

namespace settings {
namespace {

namespace fs = std::filesystem;

// The variables a REG_EXPAND_SZ log directory is written with on the server, as Windows sets them there.
struct Variable {
    std::string_view name;
    std::string_view value;
};
constexpr std::array<Variable, 2> kVariables = {{{"SYSTEMDRIVE", "C:"}, {"SYSTEMROOT", "C:\\Windows"}}};

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The value with %SystemDrive% and %SystemRoot% replaced (names without regard to case, as Windows
// compares them); the first other variable is kept as written and named in unknown.
std::string ExpandVariables(std::string_view value, std::string& unknown) {
    std::string out;
    std::size_t i = 0;
    while (i < value.size()) {
        const std::size_t open = value.find('%', i);
        const std::size_t close = open == std::string_view::npos ? open : value.find('%', open + 1);
        if (close == std::string_view::npos) {
            out.append(value.substr(i));
            break;
        }
        out.append(value.substr(i, open - i));
        const std::string_view name = value.substr(open + 1, close - open - 1);
        std::string upper(name);
        std::transform(upper.begin(), upper.end(), upper.begin(), AsciiUpper);
        const auto known = std::find_if(kVariables.begin(), kVariables.end(),
                                        [&](const Variable& v) { return v.name == upper; });
        if (known != kVariables.end()) {
            out.append(known->value);
        } else {
            out.append(value.substr(open, close - open + 1));
            if (unknown.empty() && !name.empty())
                unknown = std::string(value.substr(open, close - open + 1));
        }
        i = close + 1;
    }
    return out;
}

// A Windows path taken apart: "C:\Logs\SMTP" -> drive 'C', {"Logs", "SMTP"}; "\\host\share" -> unc.
struct WindowsPath {
    char drive = 0; // the letter as written; 0 for a UNC path
    std::vector<std::string_view> components;
};

std::optional<WindowsPath> ParseWindowsPath(std::string_view value) {
    WindowsPath parsed;
    std::string_view rest;
    if (value.size() >= 2 && IsAsciiLetter(value[0]) && value[1] == ':') {
        parsed.drive = value[0];
        rest = value.substr(2); // "C:Logs" is read from the drive's root, where a service starts
    } else if (value.size() >= 2 && IsSeparator(value[0]) && IsSeparator(value[1])) {
        rest = value.substr(2);
    } else {
        return std::nullopt;
    }
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t end = start;
        while (end < rest.size() && !IsSeparator(rest[end]))
            ++end;
        if (end > start)
            parsed.components.push_back(rest.substr(start, end - start));
        start = end + 1;
    }
    return parsed;
}

// The code points of UTF-8 text; nullopt when the bytes are not UTF-8 (overlong forms, surrogates and
// values above U+10FFFF included).
std::optional<std::u32string> DecodeUtf8(std::string_view bytes) {
    std::u32string out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        const std::size_t len = b0 < 0x80         ? 1
                                : (b0 >> 5) == 6  ? 2
                                : (b0 >> 4) == 14 ? 3
                                : (b0 >> 3) == 30 ? 4
                                                  : 0;
        if (len == 0 || i + len > bytes.size())
            return std::nullopt;
        char32_t cp = len == 1 ? b0 : len == 2 ? (b0 & 0x1F) : len == 3 ? (b0 & 0x0F) : (b0 & 0x07);
        for (std::size_t k = 1; k < len; ++k) {
            const auto b = static_cast<unsigned char>(bytes[i + k]);
            if ((b & 0xC0) != 0x80)
                return std::nullopt;
            cp = (cp << 6) | (b & 0x3F);
        }
        constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kLeast[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000))
            return std::nullopt;
        out.push_back(cp);
        i += len;
    }
    return out;
}

// The lower-case partner of a letter of the ANSI code page (the only letters a registry value can hold),
// so that a component and a name on disk compare without regard to case as Windows compares them.
char32_t FoldCase(char32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 0x20;
    switch (c) {
    case 0x0152: // Œ
    case 0x0160: // Š
    case 0x017D: // Ž
        return c + 1;
    case 0x0178: // Ÿ
        return 0xFF;
    default:
        return c;
    }
}

std::u32string Folded(std::u32string text) {
    std::transform(text.begin(), text.end(), text.begin(), FoldCase);
    return text;
}

// The characters of a name on disk: UTF-8, or ANSI bytes when it is not UTF-8 (copied by a tool that kept
// the server's bytes).
std::u32string NameCharacters(std::string_view name) {
    if (auto decoded = DecodeUtf8(name))
        return *decoded;
    const std::u16string wide = text::DecodeAnsi(name);
    return std::u32string(wide.begin(), wide.end());
}

// A name on disk shown in ANSI.
std::string NameToAnsi(std::string_view name) {
    return DecodeUtf8(name) ? text::Utf8ToAnsi(name) : std::string(name);
}

bool IsDirectory(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error); // follows links
}

// The entry of directory that stands for the component (ANSI bytes): the exact name, as UTF-8 and then as
// ANSI bytes, else the first in byte order of the names equal to it without regard to case.
std::optional<std::string> MatchComponent(const fs::path& directory, std::string_view component) {
    const std::string utf8 = text::AnsiToUtf8(component);
    if (IsDirectory(directory / utf8))
        return utf8;
    if (utf8 != component && IsDirectory(directory / std::string(component)))
        return std::string(component);
    const std::u16string wide = text::DecodeAnsi(component);
    const std::u32string wanted = Folded(std::u32string(wide.begin(), wide.end()));
    std::optional<std::string> best;
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (best && name >= *best)
            continue;
        if (Folded(NameCharacters(name)) == wanted && IsDirectory(it->path()))
            best = name;
    }
    return best;
}

LocalDirectory NotFound(LocalDirectory result, std::string problem) {
    result.found = false;
    result.problem = std::move(problem);
    return result;
}

std::string Quoted(std::string_view name) {
    std::string quoted;
    quoted.reserve(name.size() + 2);
    quoted.push_back('"');
    quoted.append(name);
    quoted.push_back('"');
    return quoted;
}

} // namespace

LocalDirectory ResolveUnderDrives(std::string_view registryDirectory, bool expandable,
                                  std::string_view drivesFolder) {
    LocalDirectory result;
    result.path = std::string(registryDirectory);
    result.shown = result.path;
    try {
        if (drivesFolder.empty())
            return result;
        std::string unknown;
        const std::string value =
            expandable ? ExpandVariables(registryDirectory, unknown) : std::string(registryDirectory);
        const std::optional<WindowsPath> parsed = ParseWindowsPath(value);
        // A REG_EXPAND_SZ value that starts with a variable stands for a Windows path on the server.
        const bool startsWithUnknown =
            !unknown.empty() && registryDirectory.substr(0, unknown.size()) == unknown;
        if (!parsed && !startsWithUnknown)
            return result;
        result.windowsPath = true;
        if (!unknown.empty())
            return NotFound(result,
                            unknown + " cannot be expanded here (only %SystemDrive% and %SystemRoot% are)");
        if (value.find('\0') != std::string::npos)
            return NotFound(result, "the value holds a zero byte");
        for (const std::string_view component : parsed->components)
            if (component == "." || component == "..")
                return NotFound(result, "a \"" + std::string(component) + "\" component is not followed");

        std::string folder(drivesFolder);
        while (folder.size() > 1 && folder.back() == text::kPathSeparator)
            folder.pop_back();
        if (!IsDirectory(folder))
            return NotFound(result, "there is no drive folder " + NameToAnsi(folder));
        fs::path path = folder;
        std::string shown = NameToAnsi(folder);
        auto enter = [&](const std::string& name) {
            path /= name;
            shown = text::JoinPath(shown, NameToAnsi(name));
        };
        if (parsed->drive != 0) {
            const char lower = AsciiLower(parsed->drive), upper = AsciiUpper(parsed->drive);
            std::optional<std::string> entry;
            for (const std::string& name :
                 {std::string{lower}, std::string{lower, ':'}, std::string{upper}, std::string{upper, ':'}})
                if (!entry && IsDirectory(path / name))
                    entry = name;
            if (!entry)
                return NotFound(result, "no drive " + std::string{lower} + " (or " + std::string{lower, ':'} +
                                            ") in " + shown);
            enter(*entry);
        } else {
            if (parsed->components.empty())
                return NotFound(result, "the UNC path names no server");
            const std::optional<std::string> unc = MatchComponent(path, "unc");
            if (!unc)
                return NotFound(result, "no folder \"unc\" in " + shown);
            enter(*unc);
        }
        for (const std::string_view component : parsed->components) {
            const std::optional<std::string> entry = MatchComponent(path, component);
            if (!entry)
                return NotFound(result, "no folder " + Quoted(component) + " in " + shown);
            enter(*entry);
        }
        result.path = path.string();
        result.shown = shown;
        return result;
    } catch (const std::exception&) {
        // Out of memory on the way: the value as it stands, which is what it gives without drive folders.
        LocalDirectory unchanged;
        unchanged.path = std::string(registryDirectory);
        unchanged.shown = unchanged.path;
        return unchanged;
    }
}

} // namespace settings
