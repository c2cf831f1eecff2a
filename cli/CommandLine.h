// The command line of brindlemar-scan: which command runs, on which source, log and catalogue, checked
// against what each command accepts before anything is read. Parsing touches no file, registry or network.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "form/Operations.h"

namespace cli {

// The seven log sources, in the order the window lists them.
using form::kSourceCodes;

enum class Command { Sources, Files, Scan, Instances, Transcript, Fetch, Summary };

// One checked request. The debug log is either source + fileName (resolved in the source's debug log
// directory, as the window does) or logPath; with logPath the source may still be given, for the stored
// catalogue and the activity log directory.
struct Invocation {
    Command command = Command::Sources;
    bool json = false;
    bool csv = false;                         // --csv (scan, summary)
    std::string source;                       // one of kSourceCodes, "" when not given
    std::string fileName;                     // bare debug log file name in ANSI bytes, "" with --log
    std::optional<std::string> logPath;       // --log
    std::optional<std::string> cataloguePath; // --catalogue
    std::optional<std::string> activityDir;   // --activity-dir
    std::optional<std::string> storeDir;      // --dir (fetch)
    std::optional<std::string> drivesDir;     // --drives: where Windows paths of the settings are found
    std::int32_t eventIndex = -1;             // --event, a catalogue index
    std::uint64_t instanceIndex = 0;          // --instance, counting from 0
};

struct ParseResult {
    enum class Kind { Run, Help, Version, UsageError } kind = Kind::UsageError;
    Invocation invocation; // meaningful for Run
    std::string error;     // for UsageError: what is wrong, one line without a final newline
    // For Help: the command whose usage is asked for ("scan --help", "help scan"); nullopt for the whole
    // usage text.
    std::optional<Command> helpFor;
};

// Parses the arguments after the program name. Options may stand anywhere after the command and take their
// value as the next argument or after "=" (--log=PATH); "--" ends the options. "--help" or "-h" anywhere
// before "--" asks for the usage text (of the command given with it, if any), "--version" for the version;
// "help [COMMAND]" is the same as "[COMMAND] --help". Anything not understood gives UsageError with a
// one-line reason.
ParseResult ParseCommandLine(const std::vector<std::string>& args);

// The source code as the program uses it: the text upper-cased when it names one of kSourceCodes
// ("smtp" -> "SMTP"); nullopt for any other text.
std::optional<std::string> NormaliseSourceCode(std::string_view code);

// The usage text shown by --help; ends with a newline.
std::string UsageText();
// The usage of one command, as "help COMMAND" and "COMMAND --help" show it; ends with a newline.
std::string UsageText(Command command);

// What --version prints: the program's name and the version the window shows, e.g. "brindlemar-scan 1.2";
// ends with a newline.
std::string VersionText();

// The line after a usage error's message, pointing at the usage text; ends with a newline.
std::string UsageHint();

} // namespace cli
