// Text shown on a terminal: a log line, a library reply or a file name may hold control bytes that a
// terminal would act on (retitle it, clear it, move the cursor). On a terminal every control byte other
// than TAB is shown as visible text instead; output to a file or a pipe, and --json, keep the bytes as they
// are. Whether an output is a terminal is decided once, where the program starts, and passed in.
#pragma once

#include <streambuf>
#include <string>
#include <string_view>

namespace cli {

// Which of the program's outputs are terminals that people read.
struct Terminals {
    bool out = false;
    bool err = false;
};

// The UTF-8 text with every control character made visible: C0 bytes other than TAB (and other than LF
// when keepLineBreaks) and DEL in caret form ("^[" for ESC, "^J" for LF, "^?" for DEL), the C1 characters
// U+0080 to U+009F as "\x80" to "\x9f". Everything else, including bytes that are not valid UTF-8, is kept.
// Example: TerminalText("a\x1b]0;t\x07", true) == "a^[]0;t^G".
std::string TerminalText(std::string_view utf8, bool keepLineBreaks);

// A stream buffer that passes what is written through TerminalText (line breaks kept) to `target`. A
// failed write to the target fails the write to this buffer, so the stream over it reports it.
class TerminalFilter : public std::streambuf {
public:
    explicit TerminalFilter(std::streambuf* target) : target_(target) {}
    ~TerminalFilter() override;
    TerminalFilter(const TerminalFilter&) = delete;
    TerminalFilter& operator=(const TerminalFilter&) = delete;

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    std::streambuf* target_;
    bool pendingLead_ = false; // a 0xC2 byte whose next byte decides whether it begins a C1 character
};

} // namespace cli
