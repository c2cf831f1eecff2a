// Registry backend on Windows: the mail server's settings under HKEY_LOCAL_MACHINE, read with
// RegOpenKeyExA / RegQueryValueExA / RegCloseKey and KEY_READ only. A key is looked up in the 32-bit view
// first, where a 32-bit mail server (and a 32-bit copy of this program) keeps and reads it, then in the
// 64-bit view. Nothing is written and nothing is kept open between calls.
#include <windows.h>

#include <string>

#include "settings/Registry.h"
#include "settings/RegistryBackend.h"

namespace settings {

namespace {

// Closes the key on every path.
class OpenKey {
public:
    OpenKey() = default;
    ~OpenKey() {
        if (key_ != nullptr)
            ::RegCloseKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    // Opens keyPath under HKEY_LOCAL_MACHINE for reading in the 32-bit view, else in the 64-bit view.
    bool Open(const std::string& keyPath) {
        for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            HKEY key = nullptr;
            if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ | view, &key) ==
                ERROR_SUCCESS) {
                key_ = key;
                return true;
            }
        }
        return false;
    }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

bool HasNul(std::string_view text) {
    return text.find('\0') != std::string_view::npos;
}

} // namespace

std::optional<RegValue> QueryValue(std::string_view keyPath, std::string_view valueName) {
    try {
        if (HasNul(keyPath) || HasNul(valueName))
            return std::nullopt;
        OpenKey key;
        if (!key.Open(std::string(keyPath)))
            return std::nullopt;
        const std::string name(valueName);
        DWORD type = 0;
        DWORD size = 0;
        if (::RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return std::nullopt;
        // The value can grow between the two queries (the server rewrote it): ask again with its new size.
        for (int attempt = 0; attempt < 4; ++attempt) {
            RegValue value;
            value.data.assign(size, '\0');
            DWORD filled = size;
            const LONG result = ::RegQueryValueExA(
                key.Get(), name.c_str(), nullptr, &type,
                filled == 0 ? nullptr : reinterpret_cast<BYTE*>(value.data.data()), &filled);
            if (result == ERROR_MORE_DATA) {
                size = filled > size ? filled : size * 2 + 16;
                continue;
            }
            if (result != ERROR_SUCCESS)
                return std::nullopt;
            // The first answer may be larger than what the "A" conversion writes; keep what was written.
            value.data.resize(filled < size ? filled : size);
            value.type = type;
            return value;
        }
        return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The settings live in the registry itself: there is no export file to name or to check.
std::string RegistryFilePath() {
    return {};
}

std::vector<std::string> RegistryProblems() {
    return {};
}

// On the server itself the settings' paths are this machine's own: nothing is looked up in a drive folder,
// and brindlemar-scan's --drives has nothing to change.
std::string DrivesFolder() {
    return {};
}

void SetDrivesFolder(std::string /*folder*/) {}

} // namespace settings
