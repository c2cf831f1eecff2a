// The terminal on Windows: whether stderr is a console; Ctrl+C ends the program as the console does.
#include "cli/Progress.h"

#include <cstdio>
#include <io.h>

namespace cli {

bool StdoutIsTerminal() {
    return ::_isatty(::_fileno(stdout)) != 0;
}

bool StderrIsTerminal() {
    return ::_isatty(::_fileno(stderr)) != 0;
}

void SetInterruptLine(bool) {
    // The console ends the program on Ctrl+C; the line it leaves is overwritten by the prompt.
}

} // namespace cli
