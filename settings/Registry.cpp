// Registry readers and log directory resolution over the registry backend (RegistryBackend.h).
#include "settings/Registry.h"

#include <algorithm>
#include <array>
#include <exception>
#include <utility>

#include "settings/RegistryBackend.h"
#include "text/Ascii.h"

namespace settings {
namespace {

// Subkeys of the log sources below kRootKey, by upper-cased source code.
constexpr std::array<std::pair<std::string_view, std::string_view>, 7> kSourceSubkeys = {{
    {"HTTPMAIL", "\\services\\httpmail"},
    {"SMTP", "\\connectors\\smtp"},
    {"LS", "\\connectors\\ls"},
    {"MTA", "\\agents\\mta"},
    {"POP", "\\services\\pop"},
    {"POPC", "\\connectors\\pop"},
    {"SF", "\\connectors\\sf"},
}};

constexpr std::string_view kSmtpSegment = "\\SMTP";

// A value read as ReadRegistryString reads it, with whether it is a REG_EXPAND_SZ (whose variables are
// expanded where the directory is looked up on this machine, never in the text itself).
struct StoredText {
    std::string text;
    bool expandable = false;
};

StoredText ReadStoredText(std::string_view keyPath, std::string_view valueName) {
    const std::optional<RegValue> value = QueryValue(keyPath, valueName);
    if (!value || value->data.empty())
        return {};
    // The stored bytes without the last one, which for a string is its terminating zero.
    return {value->data.substr(0, value->data.size() - 1), value->type == kRegExpandSz};
}

// The source's own debug log directory, else the SMTP connector's with every "\SMTP" removed.
StoredText DebugLogDirectoryValue(std::string_view sourceCode) {
    StoredText directory = ReadStoredText(SourceKeyPath(sourceCode), kDebugLogDirectoryValue);
    if (!directory.text.empty())
        return directory;
    StoredText fallback = ReadStoredText(kSmtpConnectorKey, kDebugLogDirectoryValue);
    fallback.text = RemoveSmtpSegments(fallback.text);
    return fallback;
}

LocalDirectory Resolve(const StoredText& directory) {
    return ResolveUnderDrives(directory.text, directory.expandable, DrivesFolder());
}

} // namespace

std::string ReadRegistryString(std::string_view keyPath, std::string_view valueName) {
    try {
        return ReadStoredText(keyPath, valueName).text;
    } catch (const std::exception&) {
        return {};
    }
}

std::int32_t ReadRegistryDword(std::string_view keyPath, std::string_view valueName) {
    try {
        const std::optional<RegValue> value = QueryValue(keyPath, valueName);
        // A REG_DWORD holds 4 bytes. Fewer read as a number zero-filled above them; more cannot be taken
        // into a 32-bit number and read as not set.
        if (!value || value->type != kRegDword || value->data.size() > 4)
            return 0;
        std::uint32_t number = 0;
        for (std::size_t i = 0; i < value->data.size(); ++i)
            number |= static_cast<std::uint32_t>(static_cast<unsigned char>(value->data[i])) << (8 * i);
        return static_cast<std::int32_t>(number);
    } catch (const std::exception&) {
        return 0;
    }
}

std::string SourceKeyPath(std::string_view sourceCode) {
    const std::string upper = text::AsciiUppercase(sourceCode);
    std::string path(kRootKey);
    for (const auto& [code, subkey] : kSourceSubkeys) {
        if (upper == code) {
            path += subkey;
            break;
        }
    }
    return path;
}

std::string RemoveSmtpSegments(std::string_view directory) {
    return text::ReplaceAll(directory, kSmtpSegment, "");
}

std::string GetDebugLogDirectory(std::string_view sourceCode) {
    try {
        return DebugLogDirectoryValue(sourceCode).text;
    } catch (const std::exception&) {
        return {};
    }
}

std::string GetActivityLogDirectory(std::string_view sourceCode) {
    try {
        return ReadRegistryString(SourceKeyPath(sourceCode), kActivityLogDirectoryValue);
    } catch (const std::exception&) {
        return {};
    }
}

LocalDirectory FindDebugLogDirectory(std::string_view sourceCode) {
    try {
        return Resolve(DebugLogDirectoryValue(sourceCode));
    } catch (const std::exception&) {
        return {};
    }
}

LocalDirectory FindActivityLogDirectory(std::string_view sourceCode) {
    try {
        return Resolve(ReadStoredText(SourceKeyPath(sourceCode), kActivityLogDirectoryValue));
    } catch (const std::exception&) {
        return {};
    }
}

std::string LocalDebugLogDirectory(std::string_view sourceCode) {
    return FindDebugLogDirectory(sourceCode).path;
}

std::string LocalActivityLogDirectory(std::string_view sourceCode) {
    return FindActivityLogDirectory(sourceCode).path;
}

std::string LibraryServerHost() {
    try {
        const std::optional<RegValue> value = QueryValue(kLogAnalysisKey, kLibraryServerValue);
        if (value && (value->type == kRegSz || value->type == kRegExpandSz) && !value->data.empty()) {
            // The text up to its terminating zero (or its last byte when stored without one).
            std::string host = value->data.substr(0, value->data.size() - 1);
            host.resize(std::min(host.size(), host.find('\0')));
            if (!host.empty())
                return host;
        }
        return std::string(kDefaultLibraryHost);
    } catch (const std::exception&) {
        return std::string(kDefaultLibraryHost);
    }
}

} // namespace settings
