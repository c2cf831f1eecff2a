#include "cli/Commands.h"
#include "cli/Progress.h"

#include <algorithm>
#include <exception>
#include <new>
#include <nlohmann/json.hpp>
#include <optional>

#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "form/Operations.h"
#include "form/Texts.h"
#include "cli/TerminalText.h"
#include "scan/LogFiles.h"
#include "scan/Matcher.h"
#include "scan/Scan.h"
#include "settings/Registry.h"
#include "text/Ansi.h"
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

int LogFailure(std::ostream& err, const text::Status& status) {
    err << form::UnableToOpenLog(status) << "\n";
    return kExitLogUnreadable;
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
        out << JsonLine(Json{{"debugStatus", debugStatus}, {"sources", std::move(sources)}});
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

int RunScan(const Invocation& inv, std::ostream& out, std::ostream& err) {
    const catalogue::Catalogue entries = LoadCatalogue(inv, err);
    const LogTarget log = ResolveLog(inv);
    const scan::EventMatcher matcher(entries.strings);
    form::CountResult counted;
    {
        ProgressLine progress(err, ProgressShown(), log.fileName, log.path);
        counted = form::CountFile(log.path, matcher, progress.Options());
    }
    if (!counted.status)
        return LogFailure(err, counted.status);
    const std::vector<std::int32_t>& counts = counted.counts;

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

// Writes line i of the list a piece at a time, so that a line of any length costs no more memory than one
// piece. Each byte of the ANSI code page is one character, so converting and escaping piece by piece gives
// the same text as doing it whole. A part of the line that can no longer be read (the log was cut short
// since the scan) is a read failure; writing stops at the first piece the output does not take.
text::Status WriteLine(std::ostream& out, const scan::InstanceLines& lines, std::size_t i, LineForm form) {
    const std::uint64_t length = lines.LineLength(i);
    std::string piece;
    for (std::uint64_t from = 0; from < length && out; from += kLinePieceBytes) {
        if (auto read = lines.ReadLine(i, piece, kLinePieceBytes, from); !read.ok)
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
        return LogFailure(err, status);
    return std::nullopt;
}

int RunInstances(const Invocation& inv, std::ostream& out, std::ostream& err, bool terminal) {
    scan::InstanceLines lines;
    if (const std::optional<int> failed = BuildInstances(inv, ResolveLog(inv), err, lines))
        return *failed;

    // The lines are read back one at a time, so a long list costs only its offsets. The list stops at the
    // first write the output does not take (RunCli reports it).
    const LineForm form = inv.json ? LineForm::Json : terminal ? LineForm::Terminal : LineForm::Plain;
    if (inv.json)
        out << "{\"instances\":[";
    for (std::size_t i = 0; i < lines.Size() && out; ++i) {
        if (inv.json)
            out << (i == 0 ? "\"" : ",\"");
        if (const auto written = WriteLine(out, lines, i, form); !written.ok)
            return LogFailure(err, written);
        out << (inv.json ? "\"" : "\n");
    }
    if (inv.json)
        out << "]}\n";
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
    const form::FetchResult fetched =
        form::FetchAndStore(settings::LibraryServerHost(), inv.source, dir, debugStatus);
    // The messages the window would show in its boxes, one to a line.
    for (const form::Notice& notice : fetched.messages)
        err << text::AnsiToUtf8(notice.text) << "\n";
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
        return RunScan(invocation, out, err);
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
        if (parsed.kind == ParseResult::Kind::Help) {
            out << UsageText();
            out.flush();
            return out ? kExitOk : kExitLogUnreadable;
        }
        if (parsed.kind == ParseResult::Kind::UsageError) {
            err << "brindlemar-scan: " << parsed.error << "\n\n" << UsageText();
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
