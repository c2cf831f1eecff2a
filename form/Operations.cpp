#include "form/Operations.h"

#include "form/Texts.h"
#include "settings/Registry.h"
#include "text/Paths.h"

namespace form {

std::string DebugLogPath(std::string_view sourceCode, std::string_view fileName) {
    return text::JoinPath(settings::GetDebugLogDirectory(sourceCode), fileName);
}

std::string ActivityLogDirectory(std::string_view sourceCode) {
    return settings::GetActivityLogDirectory(sourceCode);
}

std::string EventRowText(std::size_t index, std::int32_t count, std::string_view searchString) {
    std::string row = std::to_string(index) + " [" + std::to_string(count) + "]  ";
    row.append(searchString);
    return row;
}

std::string UnableToOpenLog(const text::Status& failure) {
    return std::string(kUnableToOpenLog) + failure.description;
}

FetchResult FetchAndStore(std::string_view host, std::string_view sourceCode,
                          const std::string& catalogueDirectory, std::int32_t debugStatus,
                          const catalogue::PostFormLimits& limits) {
    const catalogue::FetchOutcome fetched =
        catalogue::FetchCatalogue(host, sourceCode, catalogueDirectory, limits);
    FetchResult result;
    result.reply = fetched.kind;
    switch (fetched.kind) {
    case catalogue::ReplyKind::Catalogue:
        if (fetched.stored) {
            result.kind = FetchResult::Kind::Stored;
        } else {
            result.kind = FetchResult::Kind::StoreFailed;
            result.messages.push_back(
                {std::string(kErrorExamining) + fetched.stored.description, kErrorTitle, Icon::Critical});
        }
        break;
    case catalogue::ReplyKind::Notice:
        result.messages.push_back({catalogue::NoticeText(fetched.reply), kLibraryTitle, Icon::Information});
        break;
    case catalogue::ReplyKind::NoCatalogue:
        result.messages.push_back(
            {catalogue::NoCatalogueMessage(sourceCode), kLibraryTitle, Icon::Information});
        // The raw reply is a diagnostic for the library's maintainers, shown only when asked for.
        if (debugStatus == 1)
            result.messages.push_back({std::string(kServerReturned) + fetched.reply, kAppTitle, Icon::None});
        break;
    }
    return result;
}

CountResult CountFile(const std::string& path, const scan::EventMatcher& matcher) {
    CountResult result;
    result.status = scan::CountEvents(path, matcher, result.counts);
    return result;
}

text::Status ListInstances(const std::string& path, std::string_view searchString,
                           scan::InstanceLines& into) {
    text::Status listed = into.Build(path, searchString);
    if (!listed)
        into.Clear();
    return listed;
}

transcript::TranscriptResult TranscriptOf(std::string_view instanceItem, std::string_view debugLogFileName,
                                          std::string_view activityLogDirectory) {
    return transcript::LookupTranscript(instanceItem, debugLogFileName, activityLogDirectory);
}

} // namespace form
