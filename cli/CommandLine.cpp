#include "cli/CommandLine.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <map>
#include <set>

#include "text/Ansi.h"
#include "text/Ascii.h"
#include "text/Paths.h"

namespace cli {
namespace {

struct OptionSpec {
    std::string_view name;
    bool takesValue;
};

constexpr std::array<OptionSpec, 9> kOptions = {{
    {"json", false},
    {"help", false},
    {"log", true},
    {"catalogue", true},
    {"activity-dir", true},
    {"event", true},
    {"instance", true},
    {"dir", true},
    {"drives", true},
}};

struct CommandSpec {
    std::string_view name;
    Command command;
    std::set<std::string_view> options; // accepted besides --json and --help
};

const std::array<CommandSpec, 6>& Commands() {
    static const std::array<CommandSpec, 6> commands = {{
        {"sources", Command::Sources, {"drives"}},
        {"files", Command::Files, {"drives"}},
        {"scan", Command::Scan, {"log", "catalogue", "drives"}},
        {"instances", Command::Instances, {"log", "catalogue", "event", "drives"}},
        {"transcript",
         Command::Transcript,
         {"log", "catalogue", "activity-dir", "event", "instance", "drives"}},
        {"fetch", Command::Fetch, {"dir"}},
    }};
    return commands;
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

} // namespace

std::optional<std::string> NormaliseSourceCode(std::string_view code) {
    std::string upper = text::AsciiUppercase(code);
    for (auto code : kSourceCodes)
        if (code == upper)
            return upper;
    return std::nullopt;
}

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
    std::vector<std::string> positionals;
    std::map<std::string, std::string, std::less<>> options;
    bool json = false;

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
        if (arg == "-h" || arg == "--help") {
            ParseResult help;
            help.kind = ParseResult::Kind::Help;
            return help;
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
            json = true; // --help returned above, so this is --json
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
    const CommandSpec* command = nullptr;
    for (const auto& candidate : Commands())
        if (candidate.name == commandName)
            command = &candidate;
    if (command == nullptr)
        return Fail("unknown command '" + commandName + "'");
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

std::string UsageText() {
    return "Usage: brindlemar-scan COMMAND [ARGUMENTS] [--json]\n"
           "\n"
           "Analyses the debug logs of the Brindlemar mail server: the catalogued events a day's debug log\n"
           "holds, the lines of each event, and the activity log around one of them.\n"
           "\n"
           "Commands:\n"
           "  sources\n"
           "      the log sources with their debug and activity log directories\n"
           "  files SOURCE\n"
           "      the debug log files of a source\n"
           "  scan (SOURCE FILE | [SOURCE] --log PATH) [--catalogue PATH]\n"
           "      the catalogued events found in a debug log, with the number of lines of each\n"
           "  instances (SOURCE FILE | [SOURCE] --log PATH) [--catalogue PATH] --event I\n"
           "      the lines of the debug log in which catalogue entry I occurs\n"
           "  transcript (SOURCE FILE | [SOURCE] --log PATH) [--catalogue PATH] [--activity-dir DIR]\n"
           "             --event I --instance K\n"
           "      the activity log lines within two minutes of instance K (from 0) of entry I\n"
           "  fetch SOURCE [--dir DIR]\n"
           "      fetch the source's analysis catalogue from the library server and store it\n"
           "\n"
           "SOURCE is one of HTTPMAIL, SMTP, LS, MTA, POP, POPC, SF. FILE is a name that 'files' lists, "
           "found in\n"
           "the source's debug log directory. The catalogue is SOURCE-Analysis.tab beside the program "
           "unless\n"
           "--catalogue names one; with --log and no SOURCE, --catalogue (and for transcript "
           "--activity-dir)\n"
           "must be given.\n"
           "\n"
           "Options:\n"
           "  --json         print one JSON object (UTF-8) instead of text for people\n"
           "  --drives DIR   the drive folder in which Windows paths of the settings are found\n"
           "  --help         print this text\n"
           "\n"
           "Settings come from the registry export file named by BRINDLEMAR_REGISTRY, else registry.reg\n"
           "beside the program. Its Windows paths (C:\\..., \\\\server\\share\\...) are found in the drive\n"
           "folder: --drives DIR, else BRINDLEMAR_DRIVES, else drives beside the export file, holding\n"
           "one folder per drive (c, d, ...) and unc/server/share for UNC paths.\n"
           "\n"
           "Exit status: 0 done; 1 a log file could not be opened or read; 2 usage error;\n"
           "3 no catalogue could be fetched or stored.\n";
}

} // namespace cli
