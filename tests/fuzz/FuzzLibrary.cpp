// The library reply: classification agrees with its rule, and a stored
// catalogue reads back byte for byte.
#include <cstdlib>

#include "FuzzSupport.h"
#include "catalogue/Library.h"
#include "text/LineReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    const auto kind = catalogue::ClassifyReply(reply);
    const bool isCatalogue = !reply.empty() && reply.substr(0, 2) != "<!";
    const bool isNotice = reply.substr(0, 13) == "<!BRINDLEMAR>";
    if ((kind == catalogue::ReplyKind::Catalogue) != isCatalogue ||
        (kind == catalogue::ReplyKind::Notice) != isNotice)
        std::abort();
    (void)catalogue::NoticeText(reply);
    static const std::string path = fuzz::ScratchDir() + "/SMTP-Analysis.tab";
    if (!catalogue::StoreCatalogue(path, reply).ok)
        std::abort();
    std::string back;
    if (!text::ReadWholeFile(path, back, 1 << 24).ok || back != reply)
        std::abort();
    return 0;
}
