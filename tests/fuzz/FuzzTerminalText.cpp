// Text made safe for a terminal: nothing a terminal acts on is left (no C0 byte but TAB and, when kept,
// LF; no DEL; no C1 character), text without control characters is unchanged, and the stream filter gives
// the same text however the bytes are cut into writes.
#include <cstdlib>
#include <sstream>
#include <string>

#include "FuzzSupport.h"
#include "cli/TerminalText.h"

namespace {

bool HasControl(std::string_view text, bool lineBreaksKept) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\t' && !(lineBreaksKept && c == '\n')) || c == 0x7f)
            return true;
        if (c == 0xc2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[i + 1]) <= 0x9f)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Parts parts(data, size);
    const auto first = parts.Next();
    const auto second = parts.Next();
    const std::string whole = std::string(first) + std::string(second);
    for (const bool keep : {false, true}) {
        const std::string shown = cli::TerminalText(whole, keep);
        if (HasControl(shown, keep) || (!HasControl(whole, keep) && shown != whole))
            std::abort();
    }
    std::ostringstream target;
    {
        cli::TerminalFilter filter(target.rdbuf());
        std::ostream out(&filter);
        out << first;
        out.flush();
        out << second;
    }
    if (target.str() != cli::TerminalText(whole, true))
        std::abort();
    return 0;
}
