// The seam between the registry readers and the place the mail server's settings live: the Windows registry
// itself, or a registry export file on platforms without one. Exactly one backend source file implements
// QueryValue, RegistryFilePath, RegistryProblems, DrivesFolder and SetDrivesFolder; the readers and
// resolvers sit on top of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace settings {

// Registry value type codes.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegDwordBigEndian = 5;
inline constexpr std::uint32_t kRegLink = 6;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

// One value as RegQueryValueExA hands it back: its type code and its data bytes (a REG_SZ as ANSI bytes
// with the terminating zero, a REG_DWORD as 4 little-endian bytes, ...).
struct RegValue {
    std::uint32_t type = kRegNone;
    std::string data;

    bool operator==(const RegValue&) const = default;
};

// The value valueName ("" for the key's default value) of the key keyPath under HKEY_LOCAL_MACHINE (key
// names separated by "\"); names are matched without regard to case. Reads the settings afresh on every
// call. nullopt when the key or the value does not exist or anything fails; never throws.
std::optional<RegValue> QueryValue(std::string_view keyPath, std::string_view valueName);

} // namespace settings
