// The progress of a long read on the command line: one line on stderr, rewritten in place at most ten
// times a second and cleared at the end, shown only when stderr is a terminal (a script's stderr gets
// nothing it did not ask for). Ctrl+C ends the program at once and clears the line.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>

#include "scan/Scan.h"

namespace cli {

// Whether the program's stdout and stderr are terminals (a backend per platform).
bool StdoutIsTerminal();
bool StderrIsTerminal();
// While a progress line is shown, Ctrl+C clears it as it ends the program (a backend per platform).
void SetInterruptLine(bool shown);

// Whether the commands show their progress line (the program sets it when its stderr is a terminal).
void SetProgressShown(bool shown);
bool ProgressShown();

class ProgressLine {
public:
    // Shows progress of reading `path` (named by fileName) on the terminal that is stderr when `shown`,
    // past whatever filters err applies to text (the line's own control bytes must reach the terminal).
    ProgressLine(std::ostream& err, bool shown, std::string fileName, const std::string& path);
    // Shows progress over several files read one after another (the summary): StartFile names each.
    ProgressLine(std::ostream& err, bool shown);
    ~ProgressLine(); // clears the line
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Scan options whose progress goes to this line (the defaults when it is not shown).
    scan::ScanOptions Options();

    // Over several files: the file now read, the bytes of the files before it and of all of them.
    void StartFile(std::string fileName, std::uint64_t doneBefore, std::uint64_t totalBytes);

    // Whether the line is shown on a terminal that is stdout as well: text written there as the read goes on
    // would run into the line.
    bool SharesTerminal() const { return sharesTerminal_; }

    // Runs write (which writes to stdout and flushes it) with the line cleared and held off meanwhile, so the
    // text starts at the terminal line's start and the line is drawn again below it at its next update.
    template <class Write> void Aside(Write&& write) {
        std::lock_guard lock(mutex_);
        ClearDrawn();
        write();
    }

private:
    void Add(std::uint64_t bytes);
    void ClearDrawn(); // with mutex_ held

    std::ostream& err_;
    bool shown_;
    bool sharesTerminal_;
    std::string fileName_;
    bool severalFiles_ = false; // the total is that of all files, not of the one opened
    std::uint64_t total_ = 0;
    std::mutex mutex_; // the scan's threads tell their bytes at once
    std::uint64_t done_ = 0;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastDrawn_{};
};

} // namespace cli
