#include "transcript/Transcript.h"

#include <algorithm>
#include <cstddef>
#include <new>

#include "text/Ascii.h"
#include "text/LineReader.h"
#include "text/Paths.h"

namespace transcript {

namespace {

constexpr std::string_view kDebugWord = "Debug";
constexpr std::string_view kActivityWord = "Activity";
constexpr std::string_view kMarker = "->";
constexpr std::string_view kLineSeparator = "\r\n";

// Characters of an activity line that hold its time stamp; nothing after them is interpreted.
constexpr std::size_t kHeadLength = 17;
constexpr int kWindowSeconds = 2 * 60;
constexpr int kLastSecondOfDay = 24 * 60 * 60 - 1;

// Activity lines longer than this come from the reader in pieces, so a runaway line (a binary file, a log
// without line ends) never makes the read buffer grow with the file. The head is always in the first piece.
constexpr std::size_t kMaxPiece = std::size_t{64} << 10;
static_assert(kMaxPiece >= kHeadLength);

int Digits(std::string_view text) {
    int value = 0;
    for (char c : text)
        value = value * 10 + (c - '0');
    return value;
}

bool AllDigits(std::string_view digits) {
    return std::all_of(digits.begin(), digits.end(), text::IsAsciiDigit);
}

// Seconds since midnight of "hh:nn:ss" or "h:nn:ss"; -1 when the text is anything else.
int SecondsOfDay(std::string_view time) {
    if (time.size() != 7 && time.size() != 8)
        return -1;
    const std::size_t hourDigits = time.size() - 6;
    const std::string_view hours = time.substr(0, hourDigits);
    const std::string_view minutes = time.substr(hourDigits + 1, 2);
    const std::string_view seconds = time.substr(hourDigits + 4, 2);
    if (time[hourDigits] != ':' || time[hourDigits + 3] != ':' || !AllDigits(hours) || !AllDigits(minutes) ||
        !AllDigits(seconds))
        return -1;
    const int h = Digits(hours);
    const int m = Digits(minutes);
    const int s = Digits(seconds);
    if (h > 23 || m > 59 || s > 59)
        return -1;
    return (h * 60 + m) * 60 + s;
}

std::string TimeOfDayText(int secondsOfDay) {
    const int values[] = {secondsOfDay / 3600, secondsOfDay / 60 % 60, secondsOfDay % 60};
    std::string out;
    for (int value : values) {
        if (!out.empty())
            out.push_back(':');
        out.push_back(static_cast<char>('0' + value / 10));
        out.push_back(static_cast<char>('0' + value % 10));
    }
    return out;
}

// The second TAB-separated field of an instance item; nullopt when the item has no TAB.
std::optional<std::string_view> TimeStampField(std::string_view instanceItem) {
    const std::size_t firstTab = instanceItem.find('\t');
    if (firstTab == std::string_view::npos)
        return std::nullopt;
    const std::string_view rest = instanceItem.substr(firstTab + 1);
    return rest.substr(0, rest.find('\t'));
}

// The whole scan, apart from opening the file: tests every line, keeps only the window's lines.
void CollectWindowLines(text::LineReader& reader, const TranscriptWindow& window, std::string& out,
                        const std::stop_token& stop) {
    const std::string_view lower = window.lowerBound;
    const std::string_view upper = window.upperBound;
    const std::string_view matchKey = window.matchKey;
    bool found = false;
    bool anyShown = false;
    bool inWindow = false;
    bool lineOpen = false;     // a window line whose last piece has not come yet
    std::size_t lineStart = 0; // where that line (with its separator) begins in out
    text::LineReader::Piece piece;
    std::size_t sinceStopCheck = 0;
    try {
        while (reader.NextPiece(piece, 0)) {
            // Asked to stop (a newer choice, the window closing): the lookup ends here.
            if (++sinceStopCheck == 4096) {
                sinceStopCheck = 0;
                if (stop.stop_requested())
                    break;
            }
            if (!piece.first) {
                if (inWindow)
                    out.append(piece.text);
                lineOpen = inWindow && !piece.last;
                if (out.size() >= kMaxTranscriptBytes)
                    break;
                continue;
            }
            // The head against the bounds first: most lines of a day's log lie outside the window, and two
            // short comparisons decide them. An empty line sorts below every bound.
            const std::string_view head = piece.text.substr(0, kHeadLength);
            inWindow = head.compare(lower) >= 0 && head.compare(upper) <= 0;
            if (!inWindow)
                continue;
            lineStart = out.size();
            lineOpen = true;
            if (anyShown)
                out.append(kLineSeparator);
            anyShown = true;
            if (!found && head.find(matchKey) != std::string_view::npos) {
                out.append(kMarker);
                found = true;
            }
            out.append(piece.text);
            lineOpen = !piece.last;
            if (out.size() >= kMaxTranscriptBytes)
                break;
        }
        // The transcript is cut at its limit; a piece may have taken it a little past.
        if (out.size() > kMaxTranscriptBytes)
            out.resize(kMaxTranscriptBytes);
    } catch (const std::bad_alloc&) {
        // The transcript outgrew memory: keep the complete lines gathered so far.
        if (lineOpen)
            out.resize(lineStart);
    }
}

} // namespace

std::string ActivityLogFileName(std::string_view debugLogFileName) {
    return text::ReplaceAll(debugLogFileName, kDebugWord, kActivityWord);
}

std::optional<TranscriptWindow> TranscriptWindowOf(std::string_view instanceItem) {
    const std::optional<std::string_view> stamp = TimeStampField(instanceItem);
    if (!stamp || stamp->size() < 3)
        return std::nullopt;
    const std::size_t space = stamp->find(' ');
    if (space == std::string_view::npos)
        return std::nullopt;
    const int seconds = SecondsOfDay(stamp->substr(space + 1));
    if (seconds < 0)
        return std::nullopt;
    // Near midnight the window stays inside the instance's own day: the log read is that day's only, and
    // both bounds carry the instance's date text.
    const std::string dateText(stamp->substr(0, space));
    TranscriptWindow window;
    window.matchKey = std::string(stamp->substr(0, stamp->size() - 3));
    window.lowerBound = dateText + " " + TimeOfDayText(std::max(seconds - kWindowSeconds, 0));
    window.upperBound = dateText + " " + TimeOfDayText(std::min(seconds + kWindowSeconds, kLastSecondOfDay));
    return window;
}

TranscriptResult LookupTranscript(std::string_view instanceItem, std::string_view debugLogFileName,
                                  std::string_view activityLogDirectory, const std::stop_token& stop) {
    using Kind = TranscriptResult::Kind;
    try {
        const std::optional<TranscriptWindow> window = TranscriptWindowOf(instanceItem);
        if (!window)
            return {Kind::InvalidInstance, {}};
        const std::string path = text::JoinPath(activityLogDirectory, ActivityLogFileName(debugLogFileName));
        text::LineReader reader(text::LineReader::kDefaultBlockSize, kMaxPiece);
        if (!reader.Open(path).ok)
            return {Kind::NoActivityFile, {}};
        TranscriptResult result{Kind::Shown, {}};
        // A read failure part-way ends the reader's lines like the end of the file: the transcript is
        // what was read up to there.
        CollectWindowLines(reader, *window, result.text, stop);
        return result;
    } catch (const std::bad_alloc&) {
        // Too little memory even for the window or the read buffer: nothing could be read.
        return {Kind::NoActivityFile, {}};
    }
}

} // namespace transcript
