// brindlemar-scan: the command-line companion of the log analyser, for administrators and scripts.
#include <iostream>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/Commands.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    cli::UseBinaryStandardStreams();
    const std::vector<std::string> args = cli::ProgramArguments(argc, argv);
    return cli::RunCli(args, std::cout, std::cerr);
}
