// The catalogue loader and SplitField: any file loads as entries (or a read failure), every entry has its
// three fields, a bound on entries keeps exactly the first ones, and SplitField agrees with a plain
// re-implementation of the cutting rule.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "FuzzSupport.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Strings.h"

namespace {

std::vector<std::string> Pieces(std::string_view text, std::string_view delimiter) {
    std::vector<std::string> pieces;
    if (text.empty())
        return pieces;
    if (delimiter.empty())
        return {std::string(text)};
    std::size_t start = 0;
    for (;;) {
        const auto at = text.find(delimiter, start);
        pieces.emplace_back(text.substr(start, at - start));
        if (at == std::string_view::npos)
            return pieces;
        start = at + delimiter.size();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Parts parts(data, size);
    const auto text = parts.Next();
    const auto delimiter = parts.Next().substr(0, 4);
    const auto pieces = Pieces(text, delimiter);
    for (int field = -1; field <= static_cast<int>(pieces.size()) + 1; ++field) {
        const auto got = catalogue::SplitField(text, delimiter, field);
        const bool exists = field >= 1 && static_cast<std::size_t>(field) <= pieces.size();
        if (got.has_value() != exists || (exists && *got != pieces[static_cast<std::size_t>(field) - 1]))
            std::abort();
    }

    static const std::string path = fuzz::ScratchDir() + "/X-Analysis.tab";
    fuzz::WriteFile(path, std::string_view(reinterpret_cast<const char*>(data), size));
    catalogue::Catalogue loaded;
    const auto outcome = catalogue::LoadCatalogueFile(path, loaded);
    if (outcome.kind == catalogue::LoadOutcome::Kind::NotOpened)
        std::abort();
    if (loaded.strings.size() != loaded.links.size() || loaded.links.size() != loaded.descriptions.size())
        std::abort();
    for (const auto& s : loaded.strings)
        if (s.find("<CRLF>") != std::string::npos)
            std::abort();

    // With a small entry bound the load gives the first entries of the whole load, and says it stopped
    // exactly when the file holds more.
    const std::size_t bound = size % 7 + 1;
    catalogue::Catalogue bounded;
    const auto boundedOutcome =
        catalogue::LoadCatalogueFile(path, bounded, catalogue::kMaxCatalogueBytes, bound);
    const bool more = loaded.strings.size() > bound;
    if (bounded.strings.size() != std::min(bound, loaded.strings.size()) ||
        bounded.links.size() != bounded.strings.size() ||
        bounded.descriptions.size() != bounded.strings.size())
        std::abort();
    for (std::size_t i = 0; i < bounded.strings.size(); ++i)
        if (bounded.strings[i] != loaded.strings[i] || bounded.links[i] != loaded.links[i] ||
            bounded.descriptions[i] != loaded.descriptions[i])
            std::abort();
    if (more != (boundedOutcome.kind == catalogue::LoadOutcome::Kind::ReadFailed &&
                 boundedOutcome.description == catalogue::TooManyEntriesDescription(bound)))
        std::abort();
    return 0;
}
