// The debug log files of a log source: the ordinary files of its debug log directory named with the source
// code, "-Debug-", any text and ".log", matched without regard to letter case as on the server's file
// system, and listed in the order in which that file system lists them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "text/Status.h"

namespace scan {

// Whether a bare file name is a debug log file name of the source: sourceCode + "-Debug-" + any text
// (possibly none) + ".log", compared without regard to case. Example: "smtp-debug-b.LOG" for "SMTP".
bool IsDebugLogFileName(std::string_view name, std::string_view sourceCode);

// Whether a comes before b in a listing: compared without regard to case (letters as capitals, as the
// server's file system orders names), then byte by byte so the order is total.
bool DebugLogNameLess(std::string_view a, std::string_view b);

// Lists the bare names of the source's debug log files in directory (used exactly as given; an empty one is
// the root), in DebugLogNameLess order. Only ordinary files count: a symbolic link to one counts, a link to
// a device, a pipe or a kernel pseudo-file (/proc/kmsg) does not, nor do hidden files whose names start with
// ".". A directory that does not exist gives ok and no names; any other failure to list it gives the
// platform's reason, with names empty.
[[nodiscard]] text::Status ListDebugLogFiles(std::string_view directory, std::string_view sourceCode,
                                             std::vector<std::string>& names);

} // namespace scan
