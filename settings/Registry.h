// The mail server's registry settings, read and never written: two silent readers (text and 32-bit
// number) and the resolvers that turn a log source code into its debug and activity log directories.
// Nothing is cached; every call reads the settings afresh.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/Drives.h"

namespace settings {

// The mail server's root key under HKEY_LOCAL_MACHINE.
inline constexpr std::string_view kRootKey = "SOFTWARE\\Brindlemar\\Brindlemar";
// This program's own key ("Debug Status", "Library Server").
inline constexpr std::string_view kLogAnalysisKey =
    "SOFTWARE\\Brindlemar\\Brindlemar\\Utilities\\Log Analysis";
// The SMTP connector's key, whose debug log directory stands in for a source that has none.
inline constexpr std::string_view kSmtpConnectorKey = "SOFTWARE\\Brindlemar\\Brindlemar\\Connectors\\SMTP";
inline constexpr std::string_view kDefaultLibraryHost = "library.brindlemar.com";

// Value names.
inline constexpr std::string_view kDebugLogDirectoryValue = "Debug Log File Directory";
inline constexpr std::string_view kActivityLogDirectoryValue = "Activity Log Directory";
inline constexpr std::string_view kDebugStatusValue = "Debug Status";
inline constexpr std::string_view kLibraryServerValue = "Library Server";

// The stored bytes of a value without the last one: a REG_SZ gives its text, a value stored without a
// terminating zero loses its last character, a REG_EXPAND_SZ stays unexpanded, any other type gives the
// text its bytes spell. Nothing is trimmed. "" when the key or value is missing or anything fails.
std::string ReadRegistryString(std::string_view keyPath, std::string_view valueName);

// A REG_DWORD value as a signed number (a value of 2^31 or above comes back negative). 0 when the key or
// the value is missing, or the value is of any other type (a number stored as text gives 0).
std::int32_t ReadRegistryDword(std::string_view keyPath, std::string_view valueName);

// The settings key of a source code: kRootKey plus the subkey chosen by the upper-cased code ("POPC" ->
// "...\connectors\pop"); kRootKey itself for any other code, the empty one or one with a blank included.
std::string SourceKeyPath(std::string_view sourceCode);

// The text with every "\SMTP" (exact case) removed, scanning left to right: "C:\SMTPLogs\SMTP" -> "C:Logs".
std::string RemoveSmtpSegments(std::string_view directory);

// The debug log directory of a source, exactly as stored under its key; when that is empty, the SMTP
// connector's debug log directory with every "\SMTP" removed. "" when neither is set.
std::string GetDebugLogDirectory(std::string_view sourceCode);

// The activity log directory of a source, exactly as stored under its key; "" when it is not set (no
// fallback to another key).
std::string GetActivityLogDirectory(std::string_view sourceCode);

// Where the debug log directory of a source is on this machine: GetDebugLogDirectory's text (from the key
// it was read from, so a REG_EXPAND_SZ value is expanded) looked up under DrivesFolder() when it is a
// Windows path, else as it stands. The text GetDebugLogDirectory gives stays the one shown as the directory.
LocalDirectory FindDebugLogDirectory(std::string_view sourceCode);

// The same for GetActivityLogDirectory.
LocalDirectory FindActivityLogDirectory(std::string_view sourceCode);

// FindDebugLogDirectory(sourceCode).path: the directory in which a source's debug logs are listed, scanned
// and read. Example: "C:\Logs\SMTP" with drives/c/logs/smtp beside the export file ->
// ".../drives/c/logs/smtp".
std::string LocalDebugLogDirectory(std::string_view sourceCode);

// FindActivityLogDirectory(sourceCode).path: the directory in which a source's activity logs are read.
std::string LocalActivityLogDirectory(std::string_view sourceCode);

// The library server's host ("host" or "host:port"): the REG_SZ value "Library Server" under
// kLogAnalysisKey when set and not empty, else kDefaultLibraryHost.
std::string LibraryServerHost();

// Where the settings are read from: the registry export file named by $BRINDLEMAR_REGISTRY (when set and
// not empty), else "registry.reg" in the program's directory. "" on Windows, where the settings are read
// from the registry itself.
std::string RegistryFilePath();

// The drive folder in which Windows paths of the settings are looked up (Drives.h): the one given to
// SetDrivesFolder, else $BRINDLEMAR_DRIVES when set and not empty, else "drives" beside RegistryFilePath().
// "" where the settings' paths are this machine's own (on Windows).
std::string DrivesFolder();

// Makes DrivesFolder() give folder from now on (brindlemar-scan's --drives); "" goes back to the environment
// and the export file. Called before the settings are read, on one thread.
void SetDrivesFolder(std::string folder);

// Lines of the export file that could not be read: one text per problem naming the file and the line
// number, e.g. "/x/registry.reg, line 12: ...". Empty when the file is missing or reads cleanly, and always
// on Windows.
std::vector<std::string> RegistryProblems();

} // namespace settings
