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
    // Progress goes to a person watching, never into a script's captured stderr.
    cli::SetProgressShown(cli::StderrIsTerminal());
    return cli::RunCli(args, std::cout, std::cerr);
}
