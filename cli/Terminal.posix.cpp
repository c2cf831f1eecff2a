// The terminal on POSIX systems: whether stderr is one, and Ctrl+C clearing the progress line on its way out.
#include "cli/Progress.h"

#include <atomic>
#include <csignal>
#include <unistd.h>

namespace cli {

namespace {

std::atomic<bool> lineShown{false};

extern "C" void OnInterrupt(int signal) {
    // Only async-signal-safe calls: clear the line, then end as Ctrl+C always ends a program.
    if (lineShown.load()) {
        static const char clear[] = "\r\033[K";
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, clear, sizeof clear - 1);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

bool StdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

bool StderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

void SetInterruptLine(bool shown) {
    static const bool installed = [] {
        std::signal(SIGINT, OnInterrupt);
        return true;
    }();
    (void)installed;
    lineShown = shown;
}

} // namespace cli
