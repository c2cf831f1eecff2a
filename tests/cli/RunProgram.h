// Runs a program of this project as a child process, as a script would: arguments, the environment of the
// test, and its standard output, standard error and exit status captured whole.
#pragma once

#include <string>
#include <vector>

namespace cli_test {

struct ProgramResult {
    int exitCode = -1; // the exit status; -1 when the program did not exit normally (a signal)
    std::string out;
    std::string err;
};

// Runs program with args (without the program name), standard input empty. Throws std::runtime_error when
// the program cannot be started.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args);

} // namespace cli_test
