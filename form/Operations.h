// The operations the window and the command line share, so that both give the same answer in the same
// words: the seven source codes, where a source's logs are, the text of an event row, fetching and storing
// a source's catalogue with the messages that report it, and counting, listing and correlating one file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/Library.h"
#include "catalogue/PostForm.h"
#include "form/View.h"
#include "scan/Matcher.h"
#include "scan/Scan.h"
#include "text/Status.h"
#include "transcript/Transcript.h"

namespace form {

// The seven log sources, in the order of the source list. Each is used unchanged in file names and in the
// library request; upper-cased where its registry key is chosen (settings::SourceKeyPath).
inline constexpr std::array<std::string_view, 7> kSourceCodes = {"HTTPMAIL", "SMTP", "LS", "MTA",
                                                                 "POP",      "POPC", "SF"};
// The source the window chooses at start-up (entry 1 of the list).
inline constexpr int kInitialSourceEntry = 1;

// The debug log file of a source: its debug log directory as found on this machine (a Windows path of the
// settings looked up in the drive folder of copied logs), the separator, the bare name.
std::string DebugLogPath(std::string_view sourceCode, std::string_view fileName);
// The directory that holds a source's activity logs, as found on this machine.
std::string ActivityLogDirectory(std::string_view sourceCode);

// The row of the event list for catalogue entry `index` counted `count` times: "i [n]  search string",
// the search string exactly as held (a final CR LF included). Example: (3, 17, "Relay") -> "3 [17]  Relay".
std::string EventRowText(std::size_t index, std::int32_t count, std::string_view searchString);

// "Unable to open log file. " followed by the failure's description.
std::string UnableToOpenLog(const text::Status& failure);

// One message as the window shows it in a box (and the command line prints it): its text (ANSI), title
// and icon.
struct Notice {
    std::string text;
    std::string_view title;
    Icon icon = Icon::None;
};

// What asking the library server for a source's catalogue came to.
struct FetchResult {
    // Stored: the reply was a catalogue and is now the catalogue file; NoCatalogue: a notice or an unusable
    // reply, nothing stored; StoreFailed: a catalogue came but could not be written (the old file is kept).
    enum class Kind { Stored, NoCatalogue, StoreFailed } kind = Kind::NoCatalogue;
    catalogue::ReplyKind reply = catalogue::ReplyKind::NoCatalogue;
    // What to tell the user, in order: the notice or the standard message (titled "Library Not Currently
    // Available"), then with "Debug Status" 1 the raw reply after "Server Returned: ", or the failure to
    // store as "Error in examining logs: " + the reason. Empty when the catalogue was stored.
    std::vector<Notice> messages;
};

// Asks the library server at `host` for the catalogue of `sourceCode` and stores a reply that is one as
// the catalogue file in catalogueDirectory. debugStatus is the "Debug Status" setting.
FetchResult FetchAndStore(std::string_view host, std::string_view sourceCode,
                          const std::string& catalogueDirectory, std::int32_t debugStatus,
                          const catalogue::PostFormLimits& limits = {});

// The counts of one debug log file: counts[i] lines match entry i; bytes and lines read. On failure every
// count is 0 and status gives the reason.
struct CountResult {
    text::Status status;
    std::vector<std::int32_t> counts;
    std::uint64_t bytes = 0;
    std::uint64_t lines = 0;
};
// `options` carries the stop request and the progress of the work (none by default).
CountResult CountFile(const std::string& path, const scan::EventMatcher& matcher,
                      const scan::ScanOptions& options = {});

// The lines of one debug log file that match `searchString`, as offsets; on failure the list is empty.
[[nodiscard]] text::Status ListInstances(const std::string& path, std::string_view searchString,
                                         scan::InstanceLines& into, const scan::ScanOptions& options = {});

// The transcript of an instance line of the debug log `debugLogFileName`, from the activity log of the
// same day in activityLogDirectory.
transcript::TranscriptResult TranscriptOf(std::string_view instanceItem, std::string_view debugLogFileName,
                                          std::string_view activityLogDirectory,
                                          const scan::ScanOptions& options = {});

} // namespace form

namespace form {

// Sizes and numbers as the status bar writes them: "512 bytes", "1.5 KB", "2.5 GB" (decimal units, one
// decimal); "35,050,112".
std::string FormatBytes(std::uint64_t bytes);
std::string FormatCount(std::uint64_t count);

// The status bar while a file is read: "SMTP-Debug-261208.log: 1.2 GB of 2.5 GB, about 3 s left" (the
// estimate once there is one to give; "less than a second left" at the end, "about 4 min left" for a long
// read).
std::string WorkText(std::string_view fileName, std::uint64_t done, std::uint64_t total, double seconds);
// The status bar after a count: "SMTP-Debug-261208.log: 2.5 GB, 35,050,112 lines, 18 events in 0.9 s".
std::string CountSummary(std::string_view fileName, std::uint64_t bytes, std::uint64_t lines,
                         std::size_t events, double seconds);

} // namespace form

namespace form {

// A date and time in local time as the status bar writes them: "8 Dec 2026 14:05" (day without a leading
// zero, the month's English abbreviation, 24-hour clock).
std::string FormatLocalTime(std::time_t when);

// The names the save dialogs offer for the exports of a debug log file: "SMTP-Debug-261208-events.csv" and
// "SMTP-Debug-261208-event-3.log" for "SMTP-Debug-261208.log" and event 3.
std::string EventsExportName(std::string_view debugLogFileName);
std::string InstancesExportName(std::string_view debugLogFileName, std::int32_t eventIndex);

// Whether an export to `path` would touch a log: the path is, through any name or link, a file in the
// debug or activity log directory of one of the seven sources, or it lies in one of those directories.
// Exports refuse such a target.
bool IsLogTarget(const std::string& path);

} // namespace form
