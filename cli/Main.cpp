// brindlemar-scan: the command-line companion of the log analyser, for administrators and scripts.

#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Progress.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    // Text for people is filtered only where people read it, and progress goes only to a person watching:
    // on a terminal, never into a file, a pipe or a script's captured stderr.
    const cli::Terminals terminals{cli::StdoutIsTerminal(), cli::StderrIsTerminal()};
    cli::SetProgressShown(terminals.err);
    return cli::RunCli(args, std::cout, std::cerr, terminals);
}
