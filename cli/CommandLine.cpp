#include "cli/CommandLine.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <map>
#include <set>

#include "form/Texts.h"
#include "text/Ansi.h"
#include "text/Ascii.h"
#include "text/Paths.h"

namespace cli {
namespace {

struct OptionSpec {
    std::string_view name;
    bool takesValue;
};

constexpr std::array<OptionSpec, 11> kOptions = {{
    {"json", false},
    {"csv", false},
    {"help", false},
    {"version", false},
    {"log", true},
    {"catalogue", true},
    {"activity-dir", true},
    {"event", true},
    {"instance", true},
    {"dir", true},
    {"drives", true},
}};

struct CommandUsage {
    std::string_view name;
    Command command;
    std::set<std::string_view> options; // accepted besides --json and --help
    std::string_view synopsis;          // what follows the program's name
    std::string_view about;             // one or two lines, each ending with a newline
    std::string_view details;           // the command's own usage: more about it and its options
};

const std::array<CommandUsage, 7>& Commands() {
    static const std::array<CommandUsage, 7> commands = {{
        {"sources",
         Command::Sources,
         {"drives"},
         "sources",
         "the log sources with their debug and activity log directories\n",
         "Also names the registry export file the settings were read from, or says there was none.\n"},
        {"files",
         Command::Files,
         {"drives"},
         "files SOURCE",
         "the debug log files of a source\n",
         "The names are listed in the order the window lists them, as 'scan' and 'summary' take them.\n"},
        {"scan",
         Command::Scan,
         {"log", "catalogue", "drives", "csv"},
         "scan (SOURCE FILE | [SOURCE] --log PATH) [--catalogue PATH] [--json|--csv]",
         "the catalogued events found in a debug log, with the number of lines of each\n",
         "  --csv          the events as CSV (UTF-8): index, count, search, link, explanation\n"},
        {"summary",
         Command::Summary,
         {"catalogue", "drives", "csv"},
         "summary SOURCE [--catalogue PATH] [--json|--csv]",
         "every debug log file of a source counted with one catalogue: the count of each event per file\n",
         "The files are those 'files SOURCE' lists, in that order; each count is what 'scan' gives for that\n"
         "file. For people: one row per event, one column per file (named by the part of the file names\n"
         "that differs, usually the date), then the total and the search string.\n"
         "  --csv          the table as CSV (UTF-8): index, search, one column per file, total\n"
         "A file that cannot be read is named on stderr and counts 0; the exit status is then 1.\n"},
        {"instances",
         Command::Instances,
         {"log", "catalogue", "event", "drives"},
         "instances (SOURCE FILE | [SOURCE] --log PATH) [--catalogue PATH] --event I",
         "the lines of the debug log in which catalogue entry I occurs\n",
         "When no line holds the entry, stderr says so and the exit status is 0.\n"},
        {"transcript",
         Command::Transcript,
         {"log", "catalogue", "activity-dir", "event", "instance", "drives"},
         "transcript (SOURCE FILE | [SOURCE] --log PATH) [--catalogue PATH] [--activity-dir DIR]\n"
         "           --event I --instance K",
         "the activity log lines within two minutes of instance K (from 0) of entry I\n",
         "The activity log is the source's, named after the debug log, unless --activity-dir names its\n"
         "folder.\n"},
        {"fetch",
         Command::Fetch,
         {"dir"},
         "fetch SOURCE [--dir DIR]",
         "fetch the source's analysis catalogue from the library server and store it\n",
         "  --dir DIR      store it in DIR rather than beside the program\n"
         "The library server is the \"Library Server\" setting; a failure names the server it tried.\n"},
    }};
    return commands;
}

const CommandUsage* FindCommand(std::string_view name) {
    for (const auto& candidate : Commands())
        if (candidate.name == name)
            return &candidate;
    return nullptr;
}

const CommandUsage& UsageOf(Command command) {
    for (const auto& candidate : Commands())
        if (candidate.command == command)
            return candidate;
    return Commands().front();
}

const OptionSpec* FindOption(std::string_view name) {
    for (const auto& option : kOptions)
        if (option.name == name)
            return &option;
    return nullptr;
}

// A whole decimal number without sign, or nullopt.
template <typename Number> std::optional<Number> ParseNumber(std::string_view digits) {
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), text::IsAsciiDigit))
        return std::nullopt;
    Number value{};
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return value;
}

ParseResult Fail(std::string error) {
    ParseResult result;
    result.kind = ParseResult::Kind::UsageError;
    result.error = std::move(error);
    return result;
}

std::string SourceList() {
    std::string list;
    for (auto code : kSourceCodes) {
        if (!list.empty())
            list += ", ";
        list += code;
    }
    return list;
}

// --help, -h and --version are answered before anything else is checked, wherever they stand before "--":
// a command line being put together is often wrong in some other way. The command they go with is the
// first argument that is neither an option nor an option's value.
std::optional<ParseResult> HelpOrVersion(const std::vector<std::string>& args) {
    bool help = false;
    bool version = false;
    std::optional<std::string> commandName;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--")
            break;
        if (arg == "-h" || arg == "--help") {
            help = true;
        } else if (arg == "--version") {
            version = true;
        } else if (arg.size() >= 2 && arg.compare(0, 2, "--") == 0) {
            const OptionSpec* option = FindOption(arg.substr(2));
            if (option != nullptr && option->takesValue)
                ++i; // its value is the next argument
        } else if (!commandName && (arg.size() < 2 || arg[0] != '-')) {
            commandName = arg;
        }
    }
    if (!help && !version)
        return std::nullopt;
    ParseResult result;
    result.kind = help ? ParseResult::Kind::Help : ParseResult::Kind::Version;
    if (help && commandName)
        if (const CommandUsage* command = FindCommand(*commandName))
            result.helpFor = command->command;
    return result;
}

} // namespace

std::optional<std::string> NormaliseSourceCode(std::string_view code) {
    std::string upper = text::AsciiUppercase(code);
    for (auto code : kSourceCodes)
        if (code == upper)
            return upper;
    return std::nullopt;
}

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
    if (std::optional<ParseResult> asked = HelpOrVersion(args))
        return *asked;
    std::vector<std::string> positionals;
    std::map<std::string, std::string, std::less<>> options;
    bool json = false;
    bool csv = false;

    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positionals.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg.compare(0, 2, "--") != 0)
            return Fail("unknown option " + arg);
        const std::string body = arg.substr(2);
        const auto equals = body.find('=');
        const std::string name = body.substr(0, equals);
        const OptionSpec* option = FindOption(name);
        if (option == nullptr)
            return Fail("unknown option --" + name);
        if (!option->takesValue) {
            if (equals != std::string::npos)
                return Fail("option --" + name + " takes no value");
            // --help and --version were answered above, so this is --json or --csv.
            (name == "csv" ? csv : json) = true;
            continue;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = body.substr(equals + 1);
        } else {
            if (i + 1 >= args.size())
                return Fail("option --" + name + " needs a value");
            value = args[++i];
        }
        if (!options.emplace(name, value).second)
            return Fail("option --" + name + " is given more than once");
    }

    if (positionals.empty())
        return Fail("no command given");
    const std::string commandName = positionals.front();
    positionals.erase(positionals.begin());
    if (commandName == "help") {
        if (!options.empty() || json || csv)
            return Fail("help takes no options");
        if (positionals.size() > 1)
            return Fail("help takes at most one COMMAND");
        ParseResult help;
        help.kind = ParseResult::Kind::Help;
        if (!positionals.empty()) {
            const CommandUsage* asked = FindCommand(positionals.front());
            if (asked == nullptr)
                return Fail("unknown command '" + positionals.front() + "'");
            help.helpFor = asked->command;
        }
        return help;
    }
    const CommandUsage* command = FindCommand(commandName);
    if (command == nullptr)
        return Fail("unknown command '" + commandName + "'");
    if (csv && command->options.count("csv") == 0)
        return Fail("option --csv does not apply to " + commandName);
    if (csv && json)
        return Fail("--json and --csv cannot be given together");
    for (const auto& [name, value] : options) {
        if (command->options.count(name) == 0) {
            std::string error = "option --";
            return Fail(error.append(name).append(" does not apply to ").append(commandName));
        }
    }

    ParseResult result;
    result.kind = ParseResult::Kind::Run;
    Invocation& inv = result.invocation;
    inv.command = command->command;
    inv.json = json;
    inv.csv = csv;
    auto option = [&](std::string_view name) -> std::optional<std::string> {
        const auto it = options.find(name);
        if (it == options.end())
            return std::nullopt;
        return it->second;
    };
    // Paths go to the file functions in the form they take (ANSI bytes on Windows).
    auto pathOption = [&](std::string_view name) -> std::optional<std::string> {
        std::optional<std::string> value = option(name);
        if (value)
            value = text::PathFromUtf8(*value);
        return value;
    };
    inv.logPath = pathOption("log");
    inv.cataloguePath = pathOption("catalogue");
    inv.activityDir = pathOption("activity-dir");
    inv.storeDir = pathOption("dir");
    inv.drivesDir = pathOption("drives");
    if (inv.drivesDir && inv.drivesDir->empty())
        return Fail("option --drives needs a folder");

    // Positional arguments: nothing, a source, or a source and a debug log file name.
    std::size_t wanted = 0;
    bool sourceOptional = false;
    switch (inv.command) {
    case Command::Sources:
        wanted = 0;
        break;
    case Command::Files:
    case Command::Fetch:
    case Command::Summary:
        wanted = 1;
        break;
    case Command::Scan:
    case Command::Instances:
    case Command::Transcript:
        wanted = inv.logPath ? 1 : 2;
        sourceOptional = inv.logPath.has_value();
        break;
    }
    if (positionals.size() > wanted || (positionals.size() < wanted && !sourceOptional)) {
        if (wanted == 2)
            return Fail(commandName + " needs SOURCE FILE, or --log PATH");
        if (wanted == 0)
            return Fail(commandName + " takes no arguments");
        if (sourceOptional)
            return Fail(commandName + " with --log takes at most a SOURCE besides it");
        return Fail(commandName + " needs one SOURCE");
    }
    if (!positionals.empty()) {
        const auto source = NormaliseSourceCode(positionals[0]);
        if (!source)
            return Fail("unknown source '" + positionals[0] + "' (one of " + SourceList() + ")");
        inv.source = *source;
    }
    // The file name is what the files command lists (decoded for the terminal); turn it back into the
    // ANSI bytes of the name on disk.
    if (positionals.size() == 2) {
        const std::string& name = positionals[1];
        // Only a name inside the source's debug log directory: no separator, not "." or "..".
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
            name.find(text::kPathSeparator) != std::string::npos)
            return Fail("FILE must be a plain file name as 'files' lists it (no directory separator, not "
                        "\".\" or \"..\"), not '" +
                        name + "'; use --log PATH for a log elsewhere");
        inv.fileName = text::Utf8ToAnsi(name);
    }

    if (inv.logPath && inv.source.empty()) {
        if (!inv.cataloguePath)
            return Fail(commandName + " with --log and no SOURCE needs --catalogue PATH");
        if (inv.command == Command::Transcript && !inv.activityDir)
            return Fail("transcript with --log and no SOURCE needs --activity-dir DIR");
    }
    if (inv.command == Command::Instances || inv.command == Command::Transcript) {
        const auto event = option("event");
        if (!event)
            return Fail(commandName + " needs --event I");
        const auto index = ParseNumber<std::int32_t>(*event);
        if (!index)
            return Fail("--event needs a catalogue index (a whole number from 0), not '" + *event + "'");
        inv.eventIndex = *index;
    }
    if (inv.command == Command::Transcript) {
        const auto instance = option("instance");
        if (!instance)
            return Fail("transcript needs --instance K");
        const auto index = ParseNumber<std::uint64_t>(*instance);
        if (!index)
            return Fail("--instance needs an instance number (a whole number from 0), not '" + *instance +
                        "'");
        inv.instanceIndex = *index;
    }
    return result;
}

namespace {

constexpr std::string_view kUsageLead = "Usage: brindlemar-scan ";

// The lines of text each indented by `indent` spaces.
std::string Indented(std::string_view lines, std::size_t indent) {
    std::string indented;
    std::size_t start = 0;
    while (start < lines.size()) {
        std::size_t end = lines.find('\n', start);
        end = end == std::string_view::npos ? lines.size() : end + 1;
        indented.append(indent, ' ').append(lines.substr(start, end - start));
        start = end;
    }
    return indented;
}

constexpr std::string_view kSourceAndCatalogue =
    "SOURCE is one of HTTPMAIL, SMTP, LS, MTA, POP, POPC, SF. FILE is a name that 'files' lists, found in\n"
    "the source's debug log directory. The catalogue is SOURCE-Analysis.tab beside the program unless\n"
    "--catalogue names one; with --log and no SOURCE, --catalogue (and for transcript --activity-dir)\n"
    "must be given.\n";

constexpr std::string_view kCommonOptions =
    "  --json         print one JSON object (UTF-8) instead of text for people\n"
    "  --drives DIR   the drive folder in which Windows paths of the settings are found\n"
    "  --help         print the usage text (of the command it is given with)\n";

constexpr std::string_view kExitStatus =
    "Exit status: 0 done; 1 a log file could not be opened or read; 2 usage error;\n"
    "3 no catalogue could be fetched or stored.\n";

} // namespace

std::string UsageText() {
    std::string usage =
        "Usage: brindlemar-scan COMMAND [ARGUMENTS] [--json]\n"
        "\n"
        "Analyses the debug logs of the Brindlemar mail server: the catalogued events a day's "
        "debug log\n"
        "holds, the lines of each event, and the activity log around one of them.\n"
        "\n"
        "Commands:\n";
    for (const auto& command : Commands())
        usage.append(Indented(command.synopsis, 2)).append("\n").append(Indented(command.about, 6));
    usage.append("  help COMMAND\n      the usage of one command (also COMMAND --help)\n");
    usage.append("\n").append(kSourceAndCatalogue);
    usage.append("\nOptions:\n").append(kCommonOptions);
    usage.append("  --csv          print CSV (UTF-8) for a spreadsheet instead (scan, summary)\n");
    usage.append("  --version      print the program's version\n");
    usage.append("\n"
                 "Settings come from the registry export file named by BRINDLEMAR_REGISTRY, else "
                 "registry.reg\n"
                 "beside the program. Its Windows paths (C:\\..., \\\\server\\share\\...) are found in "
                 "the drive\n"
                 "folder: --drives DIR, else BRINDLEMAR_DRIVES, else drives beside the export file, holding\n"
                 "one folder per drive (c, d, ...) and unc/server/share for UNC paths.\n"
                 "\n");
    usage.append(kExitStatus);
    return usage;
}

std::string UsageText(Command command) {
    const CommandUsage& entry = UsageOf(command);
    // The synopsis's second line lines up under the first one's arguments.
    std::string synopsis(entry.synopsis);
    for (std::size_t at = synopsis.find('\n'); at != std::string::npos; at = synopsis.find('\n', at + 1))
        synopsis.insert(at + 1, kUsageLead.size(), ' ');
    std::string usage = std::string(kUsageLead) + synopsis + "\n\n" + std::string(entry.about);
    usage.append("\n").append(entry.details);
    const bool readsLog =
        command == Command::Scan || command == Command::Instances || command == Command::Transcript;
    if (readsLog)
        usage.append("\n").append(kSourceAndCatalogue);
    else if (command != Command::Sources)
        usage.append("\nSOURCE is one of HTTPMAIL, SMTP, LS, MTA, POP, POPC, SF.\n");
    if (command == Command::Summary)
        usage.append(
            "The catalogue is SOURCE-Analysis.tab beside the program unless --catalogue names one.\n");
    usage.append("\nOptions of every command:\n").append(kCommonOptions);
    usage.append("\n").append(kExitStatus);
    return usage;
}

std::string VersionText() {
    // The window's version text, "Version 1.2", is where the number is kept.
    std::string_view version = form::kVersionText;
    if (const auto space = version.rfind(' '); space != std::string_view::npos)
        version.remove_prefix(space + 1);
    return "brindlemar-scan " + std::string(version) + "\n";
}

std::string UsageHint() {
    return "Try 'brindlemar-scan --help'.\n";
}

} // namespace cli
