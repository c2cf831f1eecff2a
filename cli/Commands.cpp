#include "cli/Commands.h"
#include "cli/Progress.h"

#include <algorithm>
#include <exception>
#include <new>
#include <nlohmann/json.hpp>
#include <optional>

#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "cli/TerminalText.h"
#include "form/Export.h"
#include "form/Operations.h"
#include "form/Summary.h"
#include "form/Texts.h"
#include "scan/LogFiles.h"
#include "scan/Matcher.h"
#include "scan/Scan.h"
#include "settings/Registry.h"
#include "text/Ansi.h"
#include "text/Ascii.h"
#include "text/File.h"
#include "text/LineReader.h"
#include "text/Paths.h"
#include "transcript/Transcript.h"

namespace cli {
namespace {

// Keys keep the order in which they are set, so the output reads in the order of the documented shape.
using Json = nlohmann::ordered_json;

// Instance lines are read back this much at a time.
constexpr std::size_t kLinePieceBytes = std::size_t{1} << 20;

// One JSON object on one line. Every text put into it went through AnsiToUtf8 and so is valid UTF-8; the
// replacing handler is only a guard for bytes that came straight from the command line.
std::string JsonLine(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string JsonString(std::string_view utf8) {
    return Json(std::string(utf8)).dump(-1, ' ', false, Json::error_handler_t::replace);
}

// ANSI text shown on one terminal line: a CR LF (a search string that must end its line) is written the way
// the catalogue writes it.
std::string ShowOnOneLine(std::string_view ansi) {
    std::string utf8 = text::AnsiToUtf8(ansi);
    std::string shown;
    shown.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') {
            shown += "<CRLF>";
            ++i;
        } else {
            shown.push_back(utf8[i]);
        }
    }
    return shown;
}

// The registry export file is read by every settings call; its unreadable lines are worth a warning once.
void WarnRegistryProblems(std::ostream& err) {
    for (const auto& problem : settings::RegistryProblems())
        err << "warning: " << text::AnsiToUtf8(problem) << "\n";
}

bool NeedsRegistry(const Invocation& inv) {
    switch (inv.command) {
    case Command::Sources:
    case Command::Files:
    case Command::Fetch:
    case Command::Summary:
        return true;
    case Command::Scan:
    case Command::Instances:
        return !inv.logPath;
    case Command::Transcript:
        return !inv.logPath || !inv.activityDir;
    }
    return true;
}

// The debug log to read: its path, and its bare file name (from which the activity log is named).
struct LogTarget {
    std::string path;
    std::string fileName;
};

LogTarget ResolveLog(const Invocation& inv) {
    if (inv.logPath) {
        const auto slash = inv.logPath->find_last_of(text::kPathSeparator);
        return {*inv.logPath, slash == std::string::npos ? *inv.logPath : inv.logPath->substr(slash + 1)};
    }
    return {form::DebugLogPath(inv.source, inv.fileName), inv.fileName};
}

// The catalogue of the command: --catalogue, else the stored one of the source beside the program. A file
// that cannot be opened gives no entries (and so no events), as in the window, with a warning here.
catalogue::Catalogue LoadCatalogue(const Invocation& inv, std::ostream& err) {
    const std::string path = inv.cataloguePath
                                 ? *inv.cataloguePath
                                 : catalogue::CatalogueFilePath(text::ProgramDirectory(), inv.source);
    catalogue::Catalogue loaded;
    const auto outcome = catalogue::LoadCatalogueFile(path, loaded);
    switch (outcome.kind) {
    case catalogue::LoadOutcome::Kind::NotOpened:
        err << "warning: no analysis catalogue could be opened at " << text::AnsiToUtf8(path);
        if (!outcome.description.empty())
            err << " (" << outcome.description << ")";
        err << "; no events are counted.\n";
        return {};
    case catalogue::LoadOutcome::Kind::ReadFailed:
        err << "warning: " << form::kErrorReadingStrings << outcome.description << " ("
            << loaded.strings.size() << " entries of " << text::AnsiToUtf8(path) << " were read)\n";
        break;
    case catalogue::LoadOutcome::Kind::Loaded:
        break;
    }
    return loaded;
}

// Where a Windows path of the settings is on this machine, for people: "found: /x/drives/c/Logs" or
// "not found: no folder "Logs" in /x/drives/c".
std::string FoundOrNot(const settings::LocalDirectory& local) {
    return text::AnsiToUtf8(local.found ? "found: " + local.shown : "not found: " + local.problem);
}

// The window's message for a log that cannot be read, with the log's path before the reason:
// "Unable to open log file. /x/SMTP-Debug-261207.log: No such file or directory".
std::string UnableToOpenLog(const std::string& path, const text::Status& status) {
    return std::string(form::kUnableToOpenLog) + text::AnsiToUtf8(path) + ": " + status.description;
}

int LogFailure(std::ostream& err, const std::string& path, const text::Status& status) {
    err << UnableToOpenLog(path, status) << "\n";
    return kExitLogUnreadable;
}

// CSV as it is made (rows ended by CR LF) for a file or a pipe; on a terminal each row on its own line, the
// terminal's filter showing any control byte of a field.
void WriteCsv(std::ostream& out, const std::string& csv, bool terminal) {
    if (!terminal) {
        out << csv;
        return;
    }
    std::string shown;
    shown.reserve(csv.size());
    for (std::size_t i = 0; i < csv.size(); ++i)
        if (!(csv[i] == '\r' && i + 1 < csv.size() && csv[i + 1] == '\n'))
            shown.push_back(csv[i]);
    out << shown;
}

// The registry export file the settings come from, when there is one to read; nullopt on Windows, where
// they come from the registry itself, and when there is no such file.
std::optional<std::string> RegistryFileRead() {
    const std::string path = settings::RegistryFilePath();
    if (path.empty())
        return std::nullopt;
    text::File file;
    if (!file.Open(path))
        return std::nullopt;
    return path;
}

// Where the settings were read from, for people.
std::string SettingsLine() {
    const std::string path = settings::RegistryFilePath();
    if (path.empty())
        return "Settings: the registry of this machine";
    text::File file;
    if (const text::Status opened = file.Open(path); !opened)
        return "Settings: none, no registry export file could be read at " + text::AnsiToUtf8(path) + " (" +
               opened.description + "); no directory is set";
    return "Settings: " + text::AnsiToUtf8(path);
}

int RunSources(const Invocation& inv, std::ostream& out) {
    const std::int32_t debugStatus =
        settings::ReadRegistryDword(settings::kLogAnalysisKey, settings::kDebugStatusValue);
    struct Row {
        std::string_view code;
        std::string debugDir, activityDir;
        settings::LocalDirectory debugLocal, activityLocal;
    };
    std::vector<Row> rows;
    rows.reserve(kSourceCodes.size());
    bool anyWindowsPath = false;
    for (auto code : kSourceCodes) {
        rows.push_back({code, text::AnsiToUtf8(settings::GetDebugLogDirectory(code)),
                        text::AnsiToUtf8(settings::GetActivityLogDirectory(code)),
                        settings::FindDebugLogDirectory(code), settings::FindActivityLogDirectory(code)});
        anyWindowsPath =
            anyWindowsPath || rows.back().debugLocal.windowsPath || rows.back().activityLocal.windowsPath;
    }

    if (inv.json) {
        // Where each directory is on this machine; null when a Windows path was not found there.
        const auto localPath = [](const settings::LocalDirectory& local) {
            return local.found ? Json(text::AnsiToUtf8(local.shown)) : Json(nullptr);
        };
        Json sources = Json::array();
        for (const auto& row : rows)
            sources.push_back(Json{{"code", std::string(row.code)},
                                   {"debugDir", row.debugDir},
                                   {"debugPath", localPath(row.debugLocal)},
                                   {"activityDir", row.activityDir},
                                   {"activityPath", localPath(row.activityLocal)}});
        const std::optional<std::string> registryFile = RegistryFileRead();
        out << JsonLine(
            Json{{"registryFile", registryFile ? Json(text::AnsiToUtf8(*registryFile)) : Json(nullptr)},
                 {"debugStatus", debugStatus},
                 {"sources", std::move(sources)}});
        return kExitOk;
    }
    const auto shown = [](const std::string& dir) { return dir.empty() ? std::string("(not set)") : dir; };
    // The second line of a source whose directories are Windows paths: where they are on this machine.
    const auto local = [](const settings::LocalDirectory& dir) {
        return dir.windowsPath ? FoundOrNot(dir) : std::string();
    };
    std::size_t width = std::string_view("DEBUG LOG DIRECTORY").size();
    for (const auto& row : rows)
        width = std::max({width, shown(row.debugDir).size(), local(row.debugLocal).size()});
    auto pad = [](std::string textValue, std::size_t size) {
        if (textValue.size() < size)
            textValue.append(size - textValue.size(), ' ');
        return textValue;
    };
    out << SettingsLine() << "\n";
    out << "Debug Status: " << debugStatus << "\n";
    if (anyWindowsPath)
        out << "Drive folder: " << text::AnsiToUtf8(settings::DrivesFolder()) << "\n";
    out << "\n" << pad("SOURCE", 10) << pad("DEBUG LOG DIRECTORY", width + 2) << "ACTIVITY LOG DIRECTORY\n";
    for (const auto& row : rows) {
        out << pad(std::string(row.code), 10) << pad(shown(row.debugDir), width + 2) << shown(row.activityDir)
            << "\n";
        if (row.debugLocal.windowsPath || row.activityLocal.windowsPath) {
            std::string second =
                pad("", 10) + pad(local(row.debugLocal), width + 2) + local(row.activityLocal);
            second.erase(second.find_last_not_of(' ') + 1);
            out << second << "\n";
        }
    }
    return kExitOk;
}

int RunFiles(const Invocation& inv, std::ostream& out, std::ostream& err, bool terminal) {
    const std::string dir = settings::GetDebugLogDirectory(inv.source);
    std::vector<std::string> names;
    const settings::LocalDirectory local = settings::FindDebugLogDirectory(inv.source);
    const auto status = scan::ListDebugLogFiles(local.path, inv.source, names);
    if (!status.ok) {
        err << form::kErrorExamining << status.description << "\n";
        return kExitLogUnreadable;
    }
    if (inv.json) {
        Json files = Json::array();
        for (const auto& name : names)
            files.push_back(text::AnsiToUtf8(name));
        out << JsonLine(Json{{"dir", text::AnsiToUtf8(dir)}, {"files", std::move(files)}});
        return kExitOk;
    }
    out << "Debug log directory: " << (dir.empty() ? "(not set)" : text::AnsiToUtf8(dir)) << "\n";
    if (local.windowsPath)
        out << "  " << FoundOrNot(local) << "\n";
    if (names.empty())
        out << "No debug log files of " << inv.source << ".\n";
    // On a terminal a name holding a line break stays on its own line.
    for (const auto& name : names) {
        const std::string utf8 = text::AnsiToUtf8(name);
        out << (terminal ? TerminalText(utf8, false) : utf8) << "\n";
        if (!out)
            break;
    }
    return kExitOk;
}

int RunScan(const Invocation& inv, std::ostream& out, std::ostream& err, bool terminal) {
    const catalogue::Catalogue entries = LoadCatalogue(inv, err);
    const LogTarget log = ResolveLog(inv);
    const scan::EventMatcher matcher(entries.strings);
    form::CountResult counted;
    {
        ProgressLine progress(err, ProgressShown(), log.fileName, log.path);
        counted = form::CountFile(log.path, matcher, progress.Options());
    }
    if (!counted.status)
        return LogFailure(err, log.path, counted.status);
    const std::vector<std::int32_t>& counts = counted.counts;

    if (inv.csv) {
        WriteCsv(out, form::EventsCsv(entries, counts), terminal);
        return kExitOk;
    }
    if (inv.json) {
        // Written event by event, so a catalogue of many entries never builds one huge JSON value.
        out << "{\"events\":[";
        bool first = true;
        for (std::size_t i = 0; i < entries.strings.size() && i < counts.size() && out; ++i) {
            if (counts[i] <= 0)
                continue;
            out << (first ? "" : ",")
                << Json{{"index", i},
                        {"count", counts[i]},
                        {"search", text::AnsiToUtf8(entries.strings[i])},
                        {"item", text::AnsiToUtf8(form::EventRowText(i, counts[i], entries.strings[i]))}}
                       .dump(-1, ' ', false, Json::error_handler_t::replace);
            first = false;
        }
        out << "]}\n";
        return kExitOk;
    }
    bool any = false;
    for (std::size_t i = 0; i < entries.strings.size() && i < counts.size() && out; ++i) {
        if (counts[i] <= 0)
            continue;
        out << ShowOnOneLine(form::EventRowText(i, counts[i], entries.strings[i])) << "\n";
        any = true;
    }
    if (!any)
        out << "No catalogued events found.\n";
    return kExitOk;
}

// The catalogue entry named by --event, or a message when the catalogue has no such entry.
bool CheckEventIndex(const Invocation& inv, const catalogue::Catalogue& entries, std::ostream& err) {
    if (inv.eventIndex >= 0 && static_cast<std::size_t>(inv.eventIndex) < entries.strings.size())
        return true;
    err << "There is no catalogue entry " << inv.eventIndex << ": the catalogue holds "
        << entries.strings.size() << (entries.strings.size() == 1 ? " entry" : " entries") << ".\n";
    return false;
}

// How instance lines are written: inside a JSON string, as text for a terminal (one line of the list on one
// terminal line), or as the bytes' UTF-8 text.
enum class LineForm { Json, Terminal, Plain };

// Writes the line at `offset` of the scanned file a piece at a time, so that a line of any length costs no
// more memory than one piece. Each byte of the ANSI code page is one character, so converting and escaping
// piece by piece gives the same text as doing it whole. A part of the line that can no longer be read (the
// log was cut short since the scan) is a read failure; writing stops at the first piece the output does not
// take.
text::Status WriteLine(std::ostream& out, const text::File& file, std::uint64_t offset, std::uint64_t length,
                       LineForm form) {
    std::string piece;
    for (std::uint64_t from = 0; from < length && out; from += kLinePieceBytes) {
        if (auto read = scan::ReadLineBytes(file, offset, length, piece, kLinePieceBytes, from); !read.ok)
            return read;
        if (form == LineForm::Json) {
            const std::string quoted = JsonString(text::AnsiToUtf8(piece));
            out.write(quoted.data() + 1, static_cast<std::streamsize>(quoted.size() - 2));
        } else if (form == LineForm::Terminal) {
            out << TerminalText(text::AnsiToUtf8(piece), false);
        } else {
            out << text::AnsiToUtf8(piece);
        }
    }
    return text::Status::Ok();
}

// Prints each instance line as the scan finds it, so the list starts at once however long the log. A write
// the output does not take stops the scan (RunCli reports it); so does a line that can no longer be read.
class InstancePrinter final : public scan::InstanceSink {
public:
    InstancePrinter(std::ostream& out, LineForm form, ProgressLine& progress)
        : out_(out), form_(form), progress_(progress), flushEach_(StdoutIsTerminal()) {}

    text::Status Found(const text::File& file, std::uint64_t offset, std::uint64_t length) override {
        text::Status written;
        // On a terminal the line is seen as soon as it is found; where the progress line shares that
        // terminal, the line is written with the progress line cleared, never into it.
        if (progress_.SharesTerminal()) {
            progress_.Aside([&] {
                written = Write(file, offset, length);
                out_.flush();
            });
        } else {
            written = Write(file, offset, length);
            if (flushEach_)
                out_.flush();
        }
        if (!written)
            return written;
        if (!out_) {
            outputFailed_ = true;
            return text::Status::Fail("The output could not be written.");
        }
        ++printed_;
        return text::Status::Ok();
    }

    std::uint64_t Printed() const { return printed_; }
    bool OutputFailed() const { return outputFailed_; }

private:
    text::Status Write(const text::File& file, std::uint64_t offset, std::uint64_t length) {
        if (form_ == LineForm::Json)
            out_ << (printed_ == 0 ? "{\"instances\":[\"" : ",\"");
        if (text::Status status = WriteLine(out_, file, offset, length, form_); !status)
            return status;
        out_ << (form_ == LineForm::Json ? "\"" : "\n");
        return text::Status::Ok();
    }

    std::ostream& out_;
    LineForm form_;
    ProgressLine& progress_;
    bool flushEach_;
    std::uint64_t printed_ = 0;
    bool outputFailed_ = false;
};

// The lines of the event the command names, as offsets into its log; the exit code when there are none to
// give (an event outside the catalogue, a log that cannot be read).
std::optional<int> BuildInstances(const Invocation& inv, const LogTarget& log, std::ostream& err,
                                  scan::InstanceLines& lines) {
    const catalogue::Catalogue entries = LoadCatalogue(inv, err);
    if (!CheckEventIndex(inv, entries, err))
        return kExitUsage;
    text::Status status;
    {
        ProgressLine progress(err, ProgressShown(), log.fileName, log.path); // cleared before any message
        status = form::ListInstances(log.path, entries.strings[static_cast<std::size_t>(inv.eventIndex)],
                                     lines, progress.Options());
    }
    if (!status.ok)
        return LogFailure(err, log.path, status);
    return std::nullopt;
}

int RunInstances(const Invocation& inv, std::ostream& out, std::ostream& err, bool terminal) {
    const LogTarget log = ResolveLog(inv);
    const catalogue::Catalogue entries = LoadCatalogue(inv, err);
    if (!CheckEventIndex(inv, entries, err))
        return kExitUsage;
    const LineForm form = inv.json ? LineForm::Json : terminal ? LineForm::Terminal : LineForm::Plain;
    text::Status status;
    std::uint64_t printed = 0;
    bool outputFailed = false;
    {
        ProgressLine progress(err, ProgressShown(), log.fileName, log.path); // cleared before any message
        InstancePrinter printer(out, form, progress);
        status = scan::ListInstances(log.path, entries.strings[static_cast<std::size_t>(inv.eventIndex)],
                                     printer, progress.Options());
        printed = printer.Printed();
        outputFailed = printer.OutputFailed();
    }
    if (outputFailed)
        return kExitOk; // RunCli reports the output that could not be written
    if (!status.ok)
        return LogFailure(err, log.path, status); // the lines printed before it stand
    if (printed == 0)
        err << "No line of " << text::AnsiToUtf8(log.fileName) << " holds catalogue entry " << inv.eventIndex
            << ".\n";
    if (inv.json)
        out << (printed == 0 ? "{\"instances\":[" : "") << "]}\n";
    return kExitOk;
}

bool CanOpen(const std::string& path) {
    text::LineReader reader(4096);
    return reader.Open(path).ok;
}

int RunTranscript(const Invocation& inv, std::ostream& out, std::ostream& err) {
    const LogTarget log = ResolveLog(inv);
    scan::InstanceLines lines;
    if (const std::optional<int> failed = BuildInstances(inv, log, err, lines))
        return *failed;
    if (inv.instanceIndex >= lines.Size()) {
        err << "There is no instance " << inv.instanceIndex << " of catalogue entry " << inv.eventIndex
            << ": it has " << lines.Size() << (lines.Size() == 1 ? " instance" : " instances")
            << " (counting from 0).\n";
        return kExitUsage;
    }
    // The time stamp is at the line's start: the first piece of an enormous line is enough, as in the window.
    const std::string instance = lines.Line(static_cast<std::size_t>(inv.instanceIndex), kLinePieceBytes);
    const std::string activityDir =
        inv.activityDir ? *inv.activityDir : form::ActivityLogDirectory(inv.source);
    const std::string activityFile = transcript::ActivityLogFileName(log.fileName);
    const std::string activityPath = text::JoinPath(activityDir, activityFile);

    const auto result = form::TranscriptOf(instance, log.fileName, activityDir);
    bool found = false;
    std::string transcriptText;
    switch (result.kind) {
    case transcript::TranscriptResult::Kind::Shown:
        found = true;
        transcriptText = result.text;
        break;
    case transcript::TranscriptResult::Kind::NoActivityFile:
        found = false;
        break;
    case transcript::TranscriptResult::Kind::InvalidInstance:
        // No time window can be formed; say whether the activity log is there all the same.
        found = CanOpen(activityPath);
        err << "warning: the instance has no time stamp that reads as a date and time; no transcript.\n";
        break;
    }

    if (inv.json) {
        out << JsonLine(Json{{"activityFile", text::AnsiToUtf8(activityFile)},
                             {"found", found},
                             {"transcript", text::AnsiToUtf8(transcriptText)}});
        return kExitOk;
    }
    if (result.kind == transcript::TranscriptResult::Kind::InvalidInstance) {
        // As in the window: no time window, so no transcript and no activity log looked up.
        out << "Instance: " << text::AnsiToUtf8(instance) << "\n";
        return kExitOk;
    }
    if (!found) {
        out << form::kNoActivityFileCaption << ": " << text::AnsiToUtf8(activityPath) << "\n";
        out << "Instance: " << text::AnsiToUtf8(instance) << "\n";
        return kExitOk;
    }
    out << "Activity log: " << text::AnsiToUtf8(activityPath) << "\n";
    if (transcriptText.empty() && result.kind == transcript::TranscriptResult::Kind::Shown)
        out << "No activity log lines within two minutes of the instance.\n";
    // The transcript's lines are joined by CR LF; a terminal wants one line end.
    const std::string utf8 = text::AnsiToUtf8(transcriptText);
    std::string shown;
    shown.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i)
        if (!(utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n'))
            shown.push_back(utf8[i]);
    if (!shown.empty())
        out << shown << "\n";
    return kExitOk;
}

int RunFetch(const Invocation& inv, std::ostream& out, std::ostream& err) {
    const std::string dir = inv.storeDir ? *inv.storeDir : text::ProgramDirectory();
    const std::int32_t debugStatus =
        settings::ReadRegistryDword(settings::kLogAnalysisKey, settings::kDebugStatusValue);
    const std::string host = settings::LibraryServerHost();
    const form::FetchResult fetched = form::FetchAndStore(host, inv.source, dir, debugStatus);
    // The messages the window would show in its boxes, one to a line.
    for (const form::Notice& notice : fetched.messages)
        err << text::AnsiToUtf8(notice.text) << "\n";
    if (fetched.kind == form::FetchResult::Kind::NoCatalogue)
        err << "Library server tried: " << text::AnsiToUtf8(host) << "\n";
    if (fetched.kind != form::FetchResult::Kind::Stored)
        return kExitNoCatalogue;
    // Count the entries as the loader reads them back, so the number is what a scan will use.
    const std::string path = catalogue::CatalogueFilePath(dir, inv.source);
    catalogue::Catalogue readBack;
    if (const auto loaded = catalogue::LoadCatalogueFile(path, readBack);
        loaded.kind == catalogue::LoadOutcome::Kind::ReadFailed)
        err << "warning: Error in reading the error strings: " << loaded.description << "\n";
    const std::size_t entries = readBack.strings.size();
    if (inv.json) {
        out << JsonLine(Json{{"path", text::AnsiToUtf8(path)}, {"entries", entries}});
        return kExitOk;
    }
    out << "Stored " << text::AnsiToUtf8(path) << " (" << entries << (entries == 1 ? " entry" : " entries")
        << ")\n";
    return kExitOk;
}

// The number of characters of UTF-8 text (its bytes that begin one), for lining up columns.
std::size_t Width(std::string_view utf8) {
    return static_cast<std::size_t>(std::count_if(
        utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string PadLeft(const std::string& textValue, std::size_t width) {
    const std::size_t shown = Width(textValue);
    return shown >= width ? textValue : std::string(width - shown, ' ') + textValue;
}

bool IsNameSeparator(char c) {
    return !(text::IsAsciiDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
             (static_cast<unsigned char>(c) & 0x80) != 0);
}

// The column labels of the summary's files: the part of their names that differs from file to file,
// whole words only ("SMTP-Debug-261205.log", "SMTP-Debug-261206.log" -> "261205", "261206", pattern
// "SMTP-Debug-<column>.log"), so that a week of files fits a terminal's width. With fewer than two files,
// or when some file would be left without a label, the whole names (pattern empty).
std::vector<std::string> FileLabels(const std::vector<std::string>& names, std::string& pattern) {
    pattern.clear();
    if (names.size() < 2)
        return names;
    std::size_t shortest = names.front().size();
    for (const auto& name : names)
        shortest = std::min(shortest, name.size());
    std::size_t prefix = 0;
    while (prefix < shortest && std::all_of(names.begin(), names.end(), [&](const std::string& n) {
               return n[prefix] == names[0][prefix];
           }))
        ++prefix;
    // The prefix ends just after a separator, so a date is never cut in two.
    while (prefix > 0 && !IsNameSeparator(names[0][prefix - 1]))
        --prefix;
    std::size_t suffix = 0;
    const std::string& first = names.front();
    while (suffix < shortest - prefix && std::all_of(names.begin(), names.end(), [&](const std::string& n) {
               return n[n.size() - 1 - suffix] == first[first.size() - 1 - suffix];
           }))
        ++suffix;
    // The suffix starts with a separator.
    while (suffix > 0 && !IsNameSeparator(first[first.size() - suffix]))
        --suffix;
    std::vector<std::string> labels;
    for (const auto& name : names) {
        if (name.size() <= prefix + suffix)
            return names;
        labels.push_back(name.substr(prefix, name.size() - prefix - suffix));
    }
    if (prefix + suffix > 0)
        pattern = first.substr(0, prefix) + "<column>" + first.substr(first.size() - suffix);
    return labels;
}

// The summary for people: one row per event counted in any file, in catalogue order, a column of counts per
// file and the total, the search string last. Rows per event keep the catalogue's order (as 'scan' lists
// events) and let the counts of one event be read across the days; the search strings, of any length, come
// last so that they never push the counts out of line.
void WriteSummaryTable(std::ostream& out, const Invocation& inv, const form::Summary& summary,
                       const catalogue::Catalogue& entries, const std::vector<std::size_t>& events,
                       bool terminal) {
    if (summary.files.empty()) {
        out << "No debug log files of " << inv.source << ".\n";
        return;
    }
    std::vector<std::string> names;
    for (const auto& file : summary.files) {
        const std::string utf8 = text::AnsiToUtf8(file.name);
        names.push_back(terminal ? TerminalText(utf8, false) : utf8);
    }
    if (events.empty()) {
        out << "No catalogued events found in " << summary.files.size()
            << (summary.files.size() == 1 ? " debug log file" : " debug log files") << " of " << inv.source
            << ".\n";
        return;
    }
    std::string pattern;
    const std::vector<std::string> labels = FileLabels(names, pattern);
    if (!pattern.empty())
        out << "Files: " << pattern << "\n\n";
    // Each column as wide as its label and its largest number.
    std::size_t indexWidth = std::string_view("EVENT").size();
    std::size_t totalWidth = std::string_view("TOTAL").size();
    std::vector<std::size_t> widths;
    widths.reserve(labels.size());
    for (const auto& label : labels)
        widths.push_back(Width(label));
    for (const std::size_t i : events) {
        indexWidth = std::max(indexWidth, std::to_string(i).size());
        totalWidth = std::max(totalWidth, std::to_string(summary.Total(i)).size());
        for (std::size_t f = 0; f < summary.files.size(); ++f)
            widths[f] = std::max(widths[f], std::to_string(summary.files[f].counts[i]).size());
    }
    out << PadLeft("EVENT", indexWidth);
    for (std::size_t f = 0; f < labels.size(); ++f)
        out << "  " << PadLeft(labels[f], widths[f]);
    out << "  " << PadLeft("TOTAL", totalWidth) << "  SEARCH\n";
    for (const std::size_t i : events) {
        if (!out)
            return;
        out << PadLeft(std::to_string(i), indexWidth);
        for (std::size_t f = 0; f < summary.files.size(); ++f)
            out << "  " << PadLeft(std::to_string(summary.files[f].counts[i]), widths[f]);
        out << "  " << PadLeft(std::to_string(summary.Total(i)), totalWidth) << "  "
            << ShowOnOneLine(entries.strings[i]) << "\n";
    }
}

int RunSummary(const Invocation& inv, std::ostream& out, std::ostream& err, bool terminal) {
    const catalogue::Catalogue entries = LoadCatalogue(inv, err);
    const scan::EventMatcher matcher(entries.strings);
    form::Summary summary;
    {
        // One line over the whole summary: the file under way, and the bytes of all files.
        ProgressLine progress(err, ProgressShown());
        summary =
            form::Summarise(inv.source, matcher, progress.Options(), [&](const form::SummaryProgress& at) {
                progress.StartFile(at.name, at.doneBytes, at.totalBytes);
            });
    }
    if (!summary.listing) {
        err << form::kErrorExamining << summary.listing.description << "\n";
        return kExitLogUnreadable;
    }
    // A file that could not be counted keeps its column, of zeros; the summary says so and ends with 1.
    bool unreadable = false;
    for (const auto& file : summary.files) {
        if (!file.status) {
            err << UnableToOpenLog(file.path, file.status) << "\n";
            unreadable = true;
        }
    }
    const std::vector<std::size_t> events = summary.Events(entries.strings.size());
    if (inv.csv) {
        WriteCsv(out, form::SummaryCsv(summary, entries.strings), terminal);
    } else if (inv.json) {
        Json files = Json::array();
        for (const auto& file : summary.files)
            files.push_back(text::AnsiToUtf8(file.name));
        // Written event by event, as scan writes its events.
        out << "{\"files\":" << files.dump(-1, ' ', false, Json::error_handler_t::replace) << ",\"events\":[";
        for (std::size_t e = 0; e < events.size() && out; ++e) {
            const std::size_t i = events[e];
            Json counts = Json::array();
            for (const auto& file : summary.files)
                counts.push_back(file.counts[i]);
            out << (e == 0 ? "" : ",")
                << Json{{"index", i},
                        {"search", text::AnsiToUtf8(entries.strings[i])},
                        {"counts", std::move(counts)},
                        {"total", summary.Total(i)}}
                       .dump(-1, ' ', false, Json::error_handler_t::replace);
        }
        out << "]}\n";
    } else {
        WriteSummaryTable(out, inv, summary, entries, events, terminal);
    }
    return unreadable ? kExitLogUnreadable : kExitOk;
}

} // namespace

int RunCommand(const Invocation& invocation, std::ostream& out, std::ostream& err, bool terminal) {
    if (invocation.drivesDir)
        settings::SetDrivesFolder(*invocation.drivesDir);
    if (NeedsRegistry(invocation))
        WarnRegistryProblems(err);
    switch (invocation.command) {
    case Command::Sources:
        return RunSources(invocation, out);
    case Command::Files:
        return RunFiles(invocation, out, err, terminal);
    case Command::Scan:
        return RunScan(invocation, out, err, terminal);
    case Command::Summary:
        return RunSummary(invocation, out, err, terminal);
    case Command::Instances:
        return RunInstances(invocation, out, err, terminal);
    case Command::Transcript:
        return RunTranscript(invocation, out, err);
    case Command::Fetch:
        return RunFetch(invocation, out, err);
    }
    return kExitUsage;
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& errIn,
           Terminals terminals) {
    // Messages on a terminal show control bytes harmlessly; so does the output for people on a terminal.
    TerminalFilter errFilter(errIn.rdbuf());
    std::ostream filteredErr(&errFilter);
    std::ostream& err = terminals.err ? filteredErr : errIn;
    try {
        const ParseResult parsed = ParseCommandLine(args);
        if (parsed.kind == ParseResult::Kind::Help || parsed.kind == ParseResult::Kind::Version) {
            if (parsed.kind == ParseResult::Kind::Version)
                out << VersionText();
            else
                out << (parsed.helpFor ? UsageText(*parsed.helpFor) : UsageText());
            out.flush();
            return out ? kExitOk : kExitLogUnreadable;
        }
        if (parsed.kind == ParseResult::Kind::UsageError) {
            err << "brindlemar-scan: " << parsed.error << "\n" << UsageHint();
            return kExitUsage;
        }
        const bool terminal = terminals.out && !parsed.invocation.json;
        TerminalFilter outFilter(out.rdbuf());
        std::ostream filteredOut(&outFilter);
        std::ostream& shown = terminal ? filteredOut : out;
        const int status = RunCommand(parsed.invocation, shown, err, terminal);
        shown.flush();
        out.flush();
        if (status == kExitOk && (!shown || !out)) {
            err << "brindlemar-scan: the output could not be written\n";
            return kExitLogUnreadable;
        }
        return status;
    } catch (const std::bad_alloc&) {
        err << "brindlemar-scan: out of memory\n";
    } catch (const std::exception& error) {
        err << "brindlemar-scan: " << error.what() << "\n";
    }
    return kExitLogUnreadable;
}

} // namespace cli
