// Windows paths of the mail server's settings found among logs copied off the server. The server stores its
// log directories as Windows paths ("C:\Program Files\Brindlemar\Logs\SMTP\Debug", "\\MAILHOST\Logs\POP");
// away from that machine they are looked up in a drive folder arranged as Wine arranges drives: one entry
// per drive letter ("c", "d:", either case), each a directory or a link to one, and "unc/server/share/...".
#pragma once

#include <string>
#include <string_view>

namespace settings {

// Where a directory value of the registry is on this machine.
struct LocalDirectory {
    // The directory to open: the folder found under the drive folder, or the value unchanged when it is no
    // Windows path (used as it stands) or was not found (so it finds nothing, as without drive folders).
    std::string path;
    // path in ANSI, for people: names on disk are UTF-8 (a copied tree holds them so) and are decoded.
    std::string shown;
    // The value is a Windows path (or a REG_EXPAND_SZ value starting with a variable) and was looked up
    // under the drive folder.
    bool windowsPath = false;
    // false when a Windows path was not found; problem then says why (ANSI), e.g.
    // "no folder "Debug" in /x/drives/c/Logs/SMTP".
    bool found = true;
    std::string problem;
};

// Looks a directory value (ANSI bytes, as the registry holds it) up under drivesFolder. A Windows path is a
// drive letter and a colon ("C:\Logs", "c:", "C:Logs" from the drive's root) or a UNC path
// ("\\server\share\..."); "\" and "/" separate its components and empty ones are skipped. Each component is
// matched by an entry that is a directory (or a link to one): the exact name first (the component as UTF-8,
// then as its ANSI bytes), else one equal without regard to case, the first in byte order when several are.
// Names on disk that are not UTF-8 are read as ANSI. With expandable (a REG_EXPAND_SZ value) %SystemDrive%
// (C:) and %SystemRoot% (C:\Windows) are expanded first; any other variable is left and the path is not
// found. "." and ".." components and zero bytes are refused (not found). A value that is no Windows path,
// or an empty drivesFolder (Windows paths are used as they stand), gives the value unchanged and found.
// Never fails: a folder that cannot be read is one that holds nothing.
// Example: "D:\Mail\D\xE9bug" under "/x/drives" holding "d/mail/d\xC3\xA9bug" -> "/x/drives/d/mail/débug".
LocalDirectory ResolveUnderDrives(std::string_view registryDirectory, bool expandable,
                                  std::string_view drivesFolder);

} // namespace settings
