#include "form/Summary.h"

#include "form/Export.h"
#include "form/Operations.h"
#include "scan/LogFiles.h"
#include "settings/Registry.h"
#include "text/File.h"
#include "text/Paths.h"

namespace form {

std::vector<std::size_t> Summary::Events(std::size_t entries) const {
    std::vector<std::size_t> events;
    for (std::size_t i = 0; i < entries; ++i) {
        for (const SummaryFile& file : files) {
            if (i < file.counts.size() && file.counts[i] > 0) {
                events.push_back(i);
                break;
            }
        }
    }
    return events;
}

std::uint64_t Summary::Total(std::size_t entry) const {
    std::uint64_t total = 0;
    for (const SummaryFile& file : files)
        if (entry < file.counts.size() && file.counts[entry] > 0)
            total += static_cast<std::uint64_t>(file.counts[entry]);
    return total;
}

Summary Summarise(std::string_view directory, const std::vector<std::string>& names,
                  const scan::EventMatcher& matcher, const scan::ScanOptions& options,
                  const std::function<void(const SummaryProgress&)>& fileStarted) {
    Summary summary;
    std::vector<std::string> paths;
    std::vector<std::uint64_t> sizes;
    std::uint64_t totalBytes = 0;
    for (const std::string& name : names) {
        paths.push_back(text::JoinPath(directory, name));
        // The size as listed, for the progress over the whole summary; the count reads what is there then.
        text::File file;
        const std::uint64_t size = file.Open(paths.back()) ? file.Size() : 0;
        sizes.push_back(size);
        totalBytes += size;
    }
    std::uint64_t doneBytes = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (options.stop.stop_requested()) {
            summary.stopped = true;
            break;
        }
        if (fileStarted)
            fileStarted(SummaryProgress{i, names.size(), names[i], totalBytes, doneBytes});
        CountResult counted = CountFile(paths[i], matcher, options);
        if (options.stop.stop_requested() && !counted.status) {
            summary.stopped = true;
            break;
        }
        SummaryFile file{names[i],      paths[i],      counted.status,
                         counted.bytes, counted.lines, std::move(counted.counts)};
        file.counts.resize(matcher.Size(), 0);
        summary.files.push_back(std::move(file));
        doneBytes += sizes[i];
    }
    return summary;
}

Summary Summarise(std::string_view sourceCode, const scan::EventMatcher& matcher,
                  const scan::ScanOptions& options,
                  const std::function<void(const SummaryProgress&)>& fileStarted) {
    const std::string directory = settings::LocalDebugLogDirectory(sourceCode);
    std::vector<std::string> names;
    if (text::Status listed = scan::ListDebugLogFiles(directory, sourceCode, names); !listed) {
        Summary failed;
        failed.listing = listed;
        return failed;
    }
    return Summarise(directory, names, matcher, options, fileStarted);
}

std::string SummaryCsv(const Summary& summary, const std::vector<std::string>& searchStrings) {
    std::vector<std::string> header = {"index", "search"};
    for (const SummaryFile& file : summary.files)
        header.push_back(CsvText(file.name));
    header.emplace_back("total");
    std::string csv = CsvRow(header);
    for (const std::size_t i : summary.Events(searchStrings.size())) {
        std::vector<std::string> row = {std::to_string(i), CsvText(searchStrings[i])};
        for (const SummaryFile& file : summary.files)
            row.push_back(std::to_string(i < file.counts.size() ? file.counts[i] : 0));
        row.push_back(std::to_string(summary.Total(i)));
        csv.append(CsvRow(row));
    }
    return csv;
}

} // namespace form
