#include "catalogue/Catalogue.h"

#include <algorithm>
#include <cerrno>
#include <new>

#include "catalogue/Strings.h"
#include "text/Ascii.h"
#include "text/LineReader.h"
#include "text/Paths.h"

namespace catalogue {

namespace {

constexpr std::string_view kCrlfEscape = "<CRLF>";
constexpr std::string_view kTab = "\t";
// Lines are read in pieces of at most this size, so a file that is one enormous line never makes the
// reader's buffer grow beyond it; the line itself is assembled within the byte budget.
constexpr std::size_t kPieceBytes = std::size_t{1} << 20;

// Cuts the three arrays back to the entries that are complete in all of them.
void KeepCompleteEntries(Catalogue& catalogue) {
    const std::size_t complete =
        std::min({catalogue.strings.size(), catalogue.links.size(), catalogue.descriptions.size()});
    catalogue.strings.resize(complete);
    catalogue.links.resize(complete);
    catalogue.descriptions.resize(complete);
}

} // namespace

std::string ExpandCrlf(std::string_view field) {
    return text::ReplaceAll(field, kCrlfEscape, "\r\n");
}

std::string CatalogueFilePath(std::string_view programDirectory, std::string_view sourceCode) {
    std::string name(sourceCode);
    name.append("-Analysis.tab");
    return text::JoinPath(programDirectory, name);
}

std::string TooManyEntriesDescription(std::size_t maxEntries) {
    const std::string count = std::to_string(maxEntries);
    return "The catalogue holds more than " + count + " entries; only the first " + count + " were loaded.";
}

LoadOutcome LoadCatalogueFile(const std::string& path, Catalogue& into, std::size_t maxBytes,
                              std::size_t maxEntries) {
    using Kind = LoadOutcome::Kind;
    Catalogue loaded;
    try {
        text::LineReader reader(text::LineReader::kDefaultBlockSize, kPieceBytes);
        if (const auto opened = reader.Open(path); !opened.ok)
            return {Kind::NotOpened, opened.description};

        std::size_t bytesSoFar = 0;
        std::string line;
        text::LineReader::Piece piece;
        LoadOutcome outcome{Kind::Loaded, {}};
        while (reader.NextPiece(piece, 0)) {
            // A piece handed out by a failed read may be cut short: its line is not complete.
            if (!reader.ReadStatus().ok) {
                outcome = {Kind::ReadFailed, reader.ReadStatus().description};
                break;
            }
            bytesSoFar += piece.text.size();
            if (bytesSoFar > maxBytes) {
                outcome = {Kind::ReadFailed, text::Status::FromErrno(EFBIG).description};
                break;
            }
            if (piece.first) {
                if (loaded.strings.size() >= maxEntries) {
                    outcome = {Kind::ReadFailed, TooManyEntriesDescription(maxEntries)};
                    break;
                }
                line.clear();
            }
            line.append(piece.text);
            if (!piece.last)
                continue;
            loaded.strings.push_back(ExpandCrlf(SplitFieldText(line, kTab, 1)));
            loaded.links.push_back(SplitFieldText(line, kTab, 2));
            loaded.descriptions.push_back(ExpandCrlf(SplitFieldText(line, kTab, 3)));
        }
        if (outcome.kind == Kind::Loaded && !reader.ReadStatus().ok)
            outcome = {Kind::ReadFailed, reader.ReadStatus().description};
        into = std::move(loaded);
        return outcome;
    } catch (const std::bad_alloc&) {
        // Keep what was complete before memory ran out; moving vectors allocates nothing.
        KeepCompleteEntries(loaded);
        into = std::move(loaded);
        return {Kind::ReadFailed, text::Status::FromErrno(ENOMEM).description};
    }
}

} // namespace catalogue
