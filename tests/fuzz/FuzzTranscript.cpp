// The transcript lookup: any instance item and any activity log give a transcript or a defined outcome;
// every shown line lies between the bounds, and at most one line is marked.
#include <cstdlib>

#include "FuzzSupport.h"
#include "transcript/Transcript.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Parts parts(data, size);
    const auto item = parts.Next();
    const auto fileName = parts.Next().substr(0, 64);
    const auto log = parts.Next();
    static const std::string dir = fuzz::ScratchDir();
    fuzz::WriteFile(dir + "/SMTP-Activity-1.log", log);
    const auto result = transcript::LookupTranscript(item, "SMTP-Debug-1.log", dir);
    (void)transcript::ActivityLogFileName(fileName);
    const auto window = transcript::TranscriptWindowOf(item);
    if (!window) {
        if (result.kind != transcript::TranscriptResult::Kind::InvalidInstance || !result.text.empty())
            std::abort();
        return 0;
    }
    if (window->lowerBound > window->upperBound)
        std::abort();
    if (result.kind != transcript::TranscriptResult::Kind::Shown)
        std::abort();
    // Every shown line lies between the bounds; the first may carry the "->" mark, at most one does.
    const auto inWindow = [&](std::string_view line) {
        const auto head = line.substr(0, 17);
        return head >= window->lowerBound && head <= window->upperBound;
    };
    int marked = 0;
    std::size_t start = 0;
    while (!result.text.empty()) {
        const auto end = result.text.find("\r\n", start);
        const std::string_view line = std::string_view(result.text).substr(start, end - start);
        if (!inWindow(line)) {
            if (line.substr(0, 2) != "->" || !inWindow(line.substr(2)) || ++marked > 1)
                std::abort();
        }
        if (end == std::string::npos)
            break;
        start = end + 2;
    }
    return 0;
}
