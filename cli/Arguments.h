// The program's arguments as UTF-8 text, and its standard output and error set up to carry bytes
// unchanged, whatever the platform hands the program at start.
#pragma once

#include <string>
#include <vector>

namespace cli {

// The arguments after the program's name, in UTF-8: on Linux argv as given; on Windows the command line's
// wide-character arguments (no detour through the ANSI code page, which would lose characters).
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Makes the standard streams pass bytes unchanged (on Windows: no "\n" -> "\r\n" translation, so the
// output, CR LF in transcripts included, is byte for byte the same as on Linux). Nothing to do elsewhere.
void UseBinaryStandardStreams();

} // namespace cli
