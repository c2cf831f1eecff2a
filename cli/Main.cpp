// brindlemar-scan: the command-line companion of the log analyser, for administrators and scripts.

#include <iostream>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/Progress.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    cli::UseBinaryStandardStreams();
    const std::vector<std::string> args = cli::ProgramArguments(argc, argv);
    // Text for people is filtered only where people read it, and progress goes only to a person watching:
    // on a terminal, never into a file, a pipe or a script's captured stderr.
    const cli::Terminals terminals{cli::StdoutIsTerminal(), cli::StderrIsTerminal()};
    cli::SetProgressShown(terminals.err);
    return cli::RunCli(args, std::cout, std::cerr, terminals);
}
