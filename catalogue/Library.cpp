#include "catalogue/Library.h"

#include <cerrno>
#include <new>

#include "catalogue/Catalogue.h"
#include "text/Ascii.h"
#include "text/Replace.h"

namespace catalogue {

ReplyKind ClassifyReply(std::string_view reply) {
    if (reply.substr(0, kNoticeMarker.size()) == kNoticeMarker)
        return ReplyKind::Notice;
    if (!reply.empty() && reply.substr(0, 2) != "<!")
        return ReplyKind::Catalogue;
    return ReplyKind::NoCatalogue;
}

std::string NoticeText(std::string_view reply) {
    return text::ReplaceAll(reply, kNoticeMarker, "");
}

std::string NoCatalogueMessage(std::string_view sourceCode) {
    std::string message = "Unable to retrieve analysis details from library server for: ";
    message.append(sourceCode);
    message.append(" at this time.");
    return message;
}

std::string CatalogueRequestPath(std::string_view sourceCode) {
    std::string path = "/Tools/Analysis/Analysis.asp?Source=";
    path.append(sourceCode);
    return path;
}

FetchOutcome FetchCatalogue(std::string_view host, std::string_view sourceCode,
                            const std::string& catalogueDirectory, const PostFormLimits& limits) {
    FetchOutcome outcome;
    try {
        outcome.reply = PostForm(host, CatalogueRequestPath(sourceCode), "", limits);
        outcome.kind = ClassifyReply(outcome.reply);
        if (outcome.kind == ReplyKind::Catalogue)
            outcome.stored = StoreCatalogue(CatalogueFilePath(catalogueDirectory, sourceCode), outcome.reply);
    } catch (const std::bad_alloc&) {
        // Only building the file's path can fail here; a reply already taken as a catalogue was then not
        // stored, anything else is simply no catalogue.
        if (outcome.kind == ReplyKind::Catalogue) {
            outcome.stored = text::Status::FromErrno(ENOMEM);
        } else {
            outcome.reply.clear();
            outcome.kind = ReplyKind::NoCatalogue;
        }
    }
    return outcome;
}

// The catalogue is written as any file the system replaces whole.
text::Status StoreCatalogue(const std::string& path, std::string_view reply) {
    return text::ReplaceWhole(path, reply);
}

} // namespace catalogue
