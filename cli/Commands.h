// The commands of brindlemar-scan: each runs the same analysis as the window through the core and prints
// its result for people or, with --json, as exactly one JSON object. Messages and warnings go to err.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/TerminalText.h"

namespace cli {

// Exit statuses of the program.
inline constexpr int kExitOk = 0;
inline constexpr int kExitLogUnreadable =
    1;                                     // a log file or directory could not be read, or output not written
inline constexpr int kExitUsage = 2;       // the command line is wrong, or names an entry that is not there
inline constexpr int kExitNoCatalogue = 3; // fetch: no catalogue came back, or it could not be stored

// Runs one checked command. On success prints the result to out and gives kExitOk; on failure prints the
// message to err and gives the exit status above (a list already being written stops where it failed).
// terminal: out is a terminal that people read (not --json), so a file name or log line holding a line
// break is kept on one line.
int RunCommand(const Invocation& invocation, std::ostream& out, std::ostream& err, bool terminal = false);

// The whole program: parses the arguments (without the program name), runs the command and gives the exit
// status. No exception leaves it; a failure to write the output is reported and gives kExitLogUnreadable.
// terminals: which of out and err are terminals; there control bytes are shown harmlessly (not in --json).
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           Terminals terminals = {});

} // namespace cli
