#include "form/Operations.h"

#include "form/Texts.h"
#include "settings/Registry.h"
#include "text/Ascii.h"
#include "text/Paths.h"
#include "text/Replace.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <string>

namespace form {

std::string DebugLogPath(std::string_view sourceCode, std::string_view fileName) {
    return text::JoinPath(settings::LocalDebugLogDirectory(sourceCode), fileName);
}

std::string ActivityLogDirectory(std::string_view sourceCode) {
    return settings::LocalActivityLogDirectory(sourceCode);
}

std::string EventRowText(std::size_t index, std::int32_t count, std::string_view searchString) {
    std::string row = std::to_string(index) + " [" + std::to_string(count) + "]  ";
    row.append(searchString);
    return row;
}

std::string UnableToOpenLog(const text::Status& failure) {
    return std::string(kUnableToOpenLog) + failure.description;
}

FetchResult FetchAndStore(std::string_view host, std::string_view sourceCode,
                          const std::string& catalogueDirectory, std::int32_t debugStatus,
                          const catalogue::PostFormLimits& limits) {
    const catalogue::FetchOutcome fetched =
        catalogue::FetchCatalogue(host, sourceCode, catalogueDirectory, limits);
    FetchResult result;
    result.reply = fetched.kind;
    switch (fetched.kind) {
    case catalogue::ReplyKind::Catalogue:
        if (fetched.stored) {
            result.kind = FetchResult::Kind::Stored;
        } else {
            result.kind = FetchResult::Kind::StoreFailed;
            result.messages.push_back(
                {std::string(kErrorExamining) + fetched.stored.description, kErrorTitle, Icon::Critical});
        }
        break;
    case catalogue::ReplyKind::Notice:
        result.messages.push_back({catalogue::NoticeText(fetched.reply), kLibraryTitle, Icon::Information});
        break;
    case catalogue::ReplyKind::NoCatalogue:
        result.messages.push_back(
            {catalogue::NoCatalogueMessage(sourceCode), kLibraryTitle, Icon::Information});
        // The raw reply is a diagnostic for the library's maintainers, shown only when asked for.
        if (debugStatus == 1)
            result.messages.push_back({std::string(kServerReturned) + fetched.reply, kAppTitle, Icon::None});
        break;
    }
    return result;
}

CountResult CountFile(const std::string& path, const scan::EventMatcher& matcher,
                      const scan::ScanOptions& options) {
    CountResult result;
    scan::ScanTotals totals;
    result.status = scan::CountEvents(path, matcher, result.counts, options, &totals);
    result.bytes = totals.bytes;
    result.lines = totals.lines;
    return result;
}

text::Status ListInstances(const std::string& path, std::string_view searchString, scan::InstanceLines& into,
                           const scan::ScanOptions& options) {
    text::Status listed = into.Build(path, searchString, options);
    if (!listed)
        into.Clear();
    return listed;
}

transcript::TranscriptResult TranscriptOf(std::string_view instanceItem, std::string_view debugLogFileName,
                                          std::string_view activityLogDirectory,
                                          const scan::ScanOptions& options) {
    return transcript::LookupTranscript(instanceItem, debugLogFileName, activityLogDirectory, options.stop);
}

} // namespace form

namespace form {

namespace {
// "2.5": rounded to one decimal.
std::string OneDecimal(double value) {
    const auto tenths = static_cast<std::uint64_t>(std::llround(value * 10.0));
    std::string shown = std::to_string(tenths / 10);
    shown.push_back('.');
    shown.push_back(static_cast<char>('0' + tenths % 10));
    return shown;
}
} // namespace

std::string FormatBytes(std::uint64_t bytes) {
    if (bytes < 1000)
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    static constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB", "PB"};
    double value = double(bytes) / 1000.0;
    std::size_t unit = 0;
    while (value >= 999.95 && unit + 1 < std::size(kUnits)) {
        value /= 1000.0;
        ++unit;
    }
    return OneDecimal(value).append(" ").append(kUnits[unit]);
}

std::string FormatCount(std::uint64_t count) {
    const std::string digits = std::to_string(count);
    std::string shown;
    shown.reserve(digits.size() + digits.size() / 3);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            shown.push_back(',');
        shown.push_back(digits[i]);
    }
    return shown;
}

namespace {
std::string FormatSeconds(double seconds) {
    return OneDecimal(seconds).append(" s");
}
} // namespace

namespace {
// The time left as a person reads it: under a second, whole seconds up to a minute and a half, then whole
// minutes.
std::string TimeLeft(double seconds) {
    if (seconds < 0.5)
        return "less than a second left";
    if (seconds < 89.5)
        return "about " + std::to_string(std::llround(seconds)) + " s left";
    return "about " + std::to_string(std::llround(seconds / 60)) + " min left";
}
} // namespace

std::string WorkText(std::string_view fileName, std::uint64_t done, std::uint64_t total, double seconds) {
    std::string shown(fileName);
    shown += ": " + FormatBytes(done) + " of " + FormatBytes(total);
    // An estimate once a little has been read: the rest at the speed so far.
    if (done > 0 && done < total && seconds >= 0.5)
        shown += ", " + TimeLeft(seconds * double(total - done) / double(done));
    return shown;
}

std::string CountSummary(std::string_view fileName, std::uint64_t bytes, std::uint64_t lines,
                         std::size_t events, double seconds) {
    std::string shown(fileName);
    shown += ": " + FormatBytes(bytes) + ", " + FormatCount(lines) + (lines == 1 ? " line, " : " lines, ") +
             FormatCount(events) + (events == 1 ? " event in " : " events in ") + FormatSeconds(seconds);
    return shown;
}

} // namespace form

namespace form {

std::string FormatLocalTime(std::time_t when) {
    std::tm local{};
#ifdef _WIN32
    if (::localtime_s(&local, &when) != 0)
        return "?";
#else
    if (::localtime_r(&when, &local) == nullptr)
        return "?";
#endif
    static constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char clock[8];
    std::snprintf(clock, sizeof clock, "%02d:%02d", local.tm_hour % 100, local.tm_min % 100);
    return std::to_string(local.tm_mday) + " " + std::string(kMonths[std::size_t(local.tm_mon) % 12]) + " " +
           std::to_string(local.tm_year + 1900) + " " + clock;
}

namespace {

// The file name without a final ".log" (any case).
std::string_view WithoutLogExtension(std::string_view name) {
    constexpr std::string_view kExtension = ".log";
    if (name.size() > kExtension.size() &&
        text::EqualsIgnoringAsciiCase(name.substr(name.size() - kExtension.size()), kExtension))
        name.remove_suffix(kExtension.size());
    return name;
}

} // namespace

std::string EventsExportName(std::string_view debugLogFileName) {
    return std::string(WithoutLogExtension(debugLogFileName)) + "-events.csv";
}

std::string InstancesExportName(std::string_view debugLogFileName, std::int32_t eventIndex) {
    return std::string(WithoutLogExtension(debugLogFileName)) + "-event-" + std::to_string(eventIndex) +
           ".log";
}

bool IsLogTarget(const std::string& path) {
    const std::string parent = text::ParentDirectory(path);
    // Only a target that exists can be a log under another name.
    const bool exists = text::ModifiedTime(path).has_value();
    for (std::string_view code : kSourceCodes) {
        for (const std::string& directory :
             {settings::LocalDebugLogDirectory(code), settings::LocalActivityLogDirectory(code)}) {
            if (directory.empty())
                continue;
            if (text::IsSameFile(parent, directory))
                return true;
            if (!exists)
                continue;
            for (const std::string& name : text::DirectoryNames(directory)) {
                if (text::IsSameFile(path, text::JoinPath(directory, name)))
                    return true;
            }
        }
    }
    return false;
}

} // namespace form
