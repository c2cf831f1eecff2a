// brindlemar-scan: the command-line companion of the log analyser, for administrators and scripts.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    // Text for people is filtered only where people read it: on a terminal, not in a file or a pipe.
    const cli::Terminals terminals{isatty(STDOUT_FILENO) == 1, isatty(STDERR_FILENO) == 1};
    return cli::RunCli(args, std::cout, std::cerr, terminals);
}
