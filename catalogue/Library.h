// The exchange with the library server: the catalogue request, the classification of its reply (a
// catalogue, a notice from the library, or nothing usable), and the safe storing of a fetched catalogue
// beside the program, so that a failed write never damages the catalogue already there.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "catalogue/PostForm.h"
#include "text/Replace.h"
#include "text/Status.h"

namespace catalogue {

// The 13 characters that open a notice from the library server (exact case).
inline constexpr std::string_view kNoticeMarker = "<!BRINDLEMAR>";

enum class ReplyKind {
    Catalogue,   // not empty, and its first two characters are not "<!"
    Notice,      // begins with kNoticeMarker
    NoCatalogue, // empty, or begins with "<!" without the marker (an HTML page, for example)
};

// What kind of reply the library server sent; only the start of the reply counts.
ReplyKind ClassifyReply(std::string_view reply);

// The notice to show: the reply with every occurrence of kNoticeMarker removed, wherever it stands.
std::string NoticeText(std::string_view reply);

// "Unable to retrieve analysis details from library server for: " + sourceCode + " at this time."
std::string NoCatalogueMessage(std::string_view sourceCode);

// "/Tools/Analysis/Analysis.asp?Source=" + sourceCode, the code not encoded.
std::string CatalogueRequestPath(std::string_view sourceCode);

// Writes `reply` as the file at `path`, byte for byte, replacing any file there. The bytes go to a new
// file in the same directory (named path + ".tmp-" + digits "-" digits "-" digits), are flushed to disk,
// and that file is then renamed over `path`, so `path` holds either the old catalogue or the whole new one.
// On failure the new file is removed, the old one is left as it was, and the Status carries the platform's
// description. A new file that a store killed part-way left behind is removed by a later store of the
// same catalogue once it is older than kStaleTemporaryAge.
[[nodiscard]] text::Status StoreCatalogue(const std::string& path, std::string_view reply);

// How old a leftover temporary file of a catalogue must be before a store removes it.
inline constexpr std::chrono::minutes kStaleTemporaryAge = text::kStaleTemporaryAge;

// The outcome of one fetch. stored is ok unless kind is Catalogue and writing the file failed; the
// caller then shows "Error in examining logs: " + stored.description.
struct FetchOutcome {
    ReplyKind kind = ReplyKind::NoCatalogue;
    std::string reply;
    text::Status stored;
};

// Asks the library server at `host` for the catalogue of `sourceCode` (an empty POST to
// CatalogueRequestPath) and, when the reply is a catalogue, stores it as
// CatalogueFilePath(catalogueDirectory, sourceCode). A notice or an unusable reply stores nothing.
FetchOutcome FetchCatalogue(std::string_view host, std::string_view sourceCode,
                            const std::string& catalogueDirectory, const PostFormLimits& limits = {});

} // namespace catalogue
