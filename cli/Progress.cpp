#include "cli/Progress.h"

#include <filesystem>
#include <iostream>
#include <system_error>

#include "form/Operations.h"
#include "text/Ansi.h"

namespace cli {

namespace {
// Back to the line's start and clear it.
constexpr const char* kClearLine = "\r\033[K";
bool progressShown = false;
} // namespace

void SetProgressShown(bool shown) {
    progressShown = shown;
}

bool ProgressShown() {
    return progressShown;
}

ProgressLine::ProgressLine(std::ostream& err, bool shown, std::string fileName, const std::string& path)
    : err_(shown ? std::cerr : err), shown_(shown), sharesTerminal_(shown && StdoutIsTerminal()),
      fileName_(std::move(fileName)) {
    std::error_code failed;
    const auto size = std::filesystem::file_size(path, failed);
    total_ = failed ? 0 : std::uint64_t(size);
    if (shown_)
        SetInterruptLine(true);
}

ProgressLine::ProgressLine(std::ostream& err, bool shown)
    : err_(shown ? std::cerr : err), shown_(shown), sharesTerminal_(shown && StdoutIsTerminal()),
      severalFiles_(true) {
    if (shown_)
        SetInterruptLine(true);
}

void ProgressLine::StartFile(std::string fileName, std::uint64_t doneBefore, std::uint64_t totalBytes) {
    std::lock_guard lock(mutex_);
    fileName_ = std::move(fileName);
    done_ = doneBefore; // the files before, as listed: what the scan told of them may differ a little
    total_ = totalBytes;
}

ProgressLine::~ProgressLine() {
    if (!shown_)
        return;
    SetInterruptLine(false);
    std::lock_guard lock(mutex_);
    ClearDrawn();
}

void ProgressLine::ClearDrawn() {
    if (!drawn_)
        return;
    err_ << kClearLine << std::flush;
    drawn_ = false;
}

scan::ScanOptions ProgressLine::Options() {
    scan::ScanOptions options;
    if (shown_) {
        options.progress = [this](std::uint64_t bytes) { Add(bytes); };
        options.opened = [this](std::uint64_t size) {
            std::lock_guard lock(mutex_);
            if (!severalFiles_)
                total_ = size; // the size at opening is what the scan reads
        };
    }
    return options;
}

void ProgressLine::Add(std::uint64_t bytes) {
    std::lock_guard lock(mutex_);
    done_ += bytes;
    const auto now = std::chrono::steady_clock::now();
    // A quick read shows nothing; a long one is redrawn ten times a second.
    if (now - started_ < std::chrono::milliseconds(300) || now - lastDrawn_ < std::chrono::milliseconds(100))
        return;
    lastDrawn_ = now;
    const double seconds = std::chrono::duration<double>(now - started_).count();
    // The file name as the terminal shows text; control bytes of a hostile name are not sent raw.
    std::string name = text::AnsiToUtf8(fileName_);
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    err_ << kClearLine << form::WorkText(name, std::min(done_, total_), total_, seconds) << std::flush;
    drawn_ = true;
}

} // namespace cli
