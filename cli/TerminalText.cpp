#include "cli/TerminalText.h"

namespace cli {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

bool IsShownControl(unsigned char c, bool keepLineBreaks) {
    return (c < 0x20 && c != '\t' && !(keepLineBreaks && c == '\n')) || c == 0x7f;
}

void AppendCaret(std::string& out, unsigned char c) {
    out.push_back('^');
    out.push_back(c == 0x7f ? '?' : static_cast<char>(c + 0x40));
}

// A C1 character, written in UTF-8 as 0xC2 and a byte from 0x80 to 0x9F.
bool IsC1Second(unsigned char c) {
    return c >= 0x80 && c <= 0x9f;
}

void AppendC1(std::string& out, unsigned char second) {
    out.append("\\x");
    out.push_back(kHexDigits[second >> 4]);
    out.push_back(kHexDigits[second & 0xf]);
}

// Filters `bytes` into `out`; `pendingLead` carries a 0xC2 at the end of one piece over to the next.
void Filter(std::string_view bytes, bool keepLineBreaks, bool& pendingLead, std::string& out) {
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (pendingLead) {
            pendingLead = false;
            if (IsC1Second(c)) {
                AppendC1(out, c);
                continue;
            }
            out.push_back('\xc2');
        }
        if (c == 0xc2)
            pendingLead = true;
        else if (IsShownControl(c, keepLineBreaks))
            AppendCaret(out, c);
        else
            out.push_back(ch);
    }
}

} // namespace

std::string TerminalText(std::string_view utf8, bool keepLineBreaks) {
    std::string shown;
    shown.reserve(utf8.size());
    bool pendingLead = false;
    Filter(utf8, keepLineBreaks, pendingLead, shown);
    if (pendingLead)
        shown.push_back('\xc2');
    return shown;
}

TerminalFilter::~TerminalFilter() {
    if (pendingLead_)
        target_->sputc('\xc2');
}

TerminalFilter::int_type TerminalFilter::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
}

std::streamsize TerminalFilter::xsputn(const char* s, std::streamsize n) {
    std::string shown;
    Filter(std::string_view(s, static_cast<std::size_t>(n)), true, pendingLead_, shown);
    const auto size = static_cast<std::streamsize>(shown.size());
    return target_->sputn(shown.data(), size) == size ? n : 0;
}

int TerminalFilter::sync() {
    return target_->pubsync();
}

} // namespace cli
