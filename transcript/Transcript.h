// The activity transcript of one event line: the stretch of the day's activity log stamped within two
// minutes of the line's time, with the first line of the line's own minute marked by "->". Reads the
// activity log once per lookup, read-only, and keeps nothing between lookups.
#pragma once

#include <cstddef>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

namespace transcript {

// The activity log's file name for a debug log's file name: every "Debug" (case-sensitive, all occurrences,
// left to right) replaced by "Activity"; other capitalisations stay as they are. Never fails.
// Example: "SMTP-Debug-20260712.log" -> "SMTP-Activity-20260712.log".
std::string ActivityLogFileName(std::string_view debugLogFileName);

// The time window of one instance item (a debug log line: its second TAB field is its time stamp, the date
// text and the time of day separated by one space).
struct TranscriptWindow {
    std::string matchKey;   // the time stamp without its last three characters (the stamp to the minute)
    std::string lowerBound; // date text + " " + (time of day - 2 minutes) as "hh:nn:ss", not before 00:00:00
    std::string upperBound; // date text + " " + (time of day + 2 minutes) as "hh:nn:ss", not after 23:59:59
};

// The window of an instance item; nullopt when the item has no second TAB field, its time stamp is shorter
// than three characters, or the text after the stamp's first space is not a time of day "hh:nn:ss" (a
// one-digit hour "h:nn:ss" is accepted; hours 0-23, minutes and seconds 0-59, nothing after the seconds).
// The date text (the stamp up to its first space) is kept exactly as written and never interpreted.
// Example: "x\t07/12/26 10:15:30\ty" -> {"07/12/26 10:15", "07/12/26 10:13:30", "07/12/26 10:17:30"}.
std::optional<TranscriptWindow> TranscriptWindowOf(std::string_view instanceItem);

// The most bytes of activity log a transcript holds. A window holding more (a runaway line without line
// ends, a flood of lines within the four minutes) is cut here: the transcript is its first this-many bytes.
inline constexpr std::size_t kMaxTranscriptBytes = std::size_t{16} << 20;

struct TranscriptResult {
    enum class Kind {
        Shown,           // text holds the transcript (possibly empty: no activity line in the window)
        NoActivityFile,  // the activity log could not be opened; text is empty
        InvalidInstance, // the instance item has no readable time stamp; text is empty, no file was opened
    } kind;
    // The window's lines in file order, joined by CR LF (none before the first or after the last), the
    // first line whose 17-character head contains the match key prefixed by "->".
    std::string text;
};

// Looks up the transcript of an instance item in the activity log named after debugLogFileName in
// activityLogDirectory. Every line of the log is tested (no early stop: lines out of time order are shown
// where they stand); a line is in the window when its first 17 characters (the whole line if shorter)
// sort, byte by byte, between the two bounds inclusive. A read failure part-way ends the lookup with the
// lines read so far (Kind::Shown). The log is read as it was when opened (lines the server appends during
// the lookup are not waited for), and the transcript stops at kMaxTranscriptBytes, so memory stays bounded
// whatever the log's size.
// A stop request ends the lookup early with the lines found so far (the caller drops them).
TranscriptResult LookupTranscript(std::string_view instanceItem, std::string_view debugLogFileName,
                                  std::string_view activityLogDirectory, const std::stop_token& stop = {});

} // namespace transcript
