#include "form/SummaryWindow.h"

#include "form/Operations.h"
#include "form/Texts.h"
#include "form/frmMain.h"
#include "scan/LogFiles.h"
#include "settings/Registry.h"
#include "text/Replace.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>

namespace form {

namespace {

// The search string as a cell shows it: without the line break a catalogue line may end with.
std::string WithoutLineBreak(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool LessNoCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Lower(x) < Lower(y); });
}

// The level of `value` among 1 .. kShadeLevels, relative to `largest`: the largest count has the top level,
// any count above 0 at least the first.
int Level(std::uint64_t value, std::uint64_t largest) {
    if (value == 0 || largest == 0)
        return 0;
    const std::uint64_t levels = SummaryTable::kShadeLevels;
    return int((value * levels + largest - 1) / largest);
}

bool EndsWithLog(const std::string& path) {
    if (path.size() < 4)
        return false;
    std::string end = path.substr(path.size() - 4);
    for (char& c : end)
        c = Lower(c);
    return end == ".log";
}

} // namespace

// ---- the table ----

SummaryTable::SummaryTable(const Summary& summary, const std::vector<std::string>& searchStrings) {
    for (const SummaryFile& file : summary.files)
        files_.push_back(File{file.name, file.status ? std::string() : file.status.description});
    for (const std::size_t entry : summary.Events(searchStrings.size())) {
        Row row{entry, WithoutLineBreak(searchStrings[entry]), {}, summary.Total(entry)};
        for (const SummaryFile& file : summary.files) {
            const std::int32_t count = entry < file.counts.size() ? std::max(file.counts[entry], 0) : 0;
            row.counts.push_back(count);
            largestCount_ = std::max<std::uint64_t>(largestCount_, std::uint64_t(count));
        }
        largestTotal_ = std::max(largestTotal_, row.total);
        rows_.push_back(std::move(row));
    }
}

std::string SummaryTable::Header(std::size_t column) const {
    if (column == kIndexColumn)
        return std::string(kSummaryIndexCaption);
    if (column == kSearchColumn)
        return std::string(kSummarySearchCaption);
    if (IsFileColumn(column)) {
        const File& file = files_[column - 2];
        return file.problem.empty() ? file.name : file.name + std::string(kSummaryUnreadMark);
    }
    if (IsTotalColumn(column))
        return std::string(kSummaryTotalCaption);
    return {};
}

std::string SummaryTable::Problem(std::size_t column) const {
    return IsFileColumn(column) ? files_[column - 2].problem : std::string();
}

std::string SummaryTable::Problems() const {
    std::string lines;
    for (const File& file : files_) {
        if (file.problem.empty())
            continue;
        if (!lines.empty())
            lines += "\n";
        lines += std::string(kSummaryNotRead) + file.name + ": " + file.problem;
    }
    return lines;
}

std::string SummaryTable::Cell(std::size_t row, std::size_t column) const {
    if (row >= rows_.size() || column >= Columns())
        return {};
    if (column == kIndexColumn)
        return std::to_string(rows_[row].entry);
    if (column == kSearchColumn)
        return rows_[row].search;
    return FormatCount(Number(row, column));
}

std::uint64_t SummaryTable::Number(std::size_t row, std::size_t column) const {
    if (row >= rows_.size())
        return 0;
    const Row& r = rows_[row];
    if (column == kIndexColumn)
        return r.entry;
    if (IsFileColumn(column))
        return std::uint64_t(r.counts[column - 2]);
    if (IsTotalColumn(column))
        return r.total;
    return 0;
}

int SummaryTable::Shade(std::size_t row, std::size_t column) const {
    if (IsFileColumn(column))
        return Level(Number(row, column), largestCount_);
    if (IsTotalColumn(column))
        return Level(Number(row, column), largestTotal_);
    return 0;
}

void SummaryTable::Sort(std::size_t column, bool ascending) {
    if (column >= Columns())
        return;
    sortColumn_ = column;
    sortAscending_ = ascending;
    auto key = [this, column](const Row& r) -> std::uint64_t {
        if (column == kIndexColumn)
            return r.entry;
        if (IsFileColumn(column))
            return std::uint64_t(r.counts[column - 2]);
        return r.total;
    };
    std::sort(rows_.begin(), rows_.end(), [&](const Row& a, const Row& b) {
        if (column == kSearchColumn) {
            if (LessNoCase(a.search, b.search) || LessNoCase(b.search, a.search))
                return ascending ? LessNoCase(a.search, b.search) : LessNoCase(b.search, a.search);
        } else if (key(a) != key(b)) {
            return ascending ? key(a) < key(b) : key(a) > key(b);
        }
        return a.entry < b.entry; // equal keys: catalogue order
    });
}

// ---- the window ----

SummaryWindow::SummaryWindow(SummaryView& view, frmMain& main)
    : view_(view), main_(main),
      work_(BackgroundWork::Poster([&view](std::function<void()> work) { view.Post(std::move(work)); })) {
    work_.SetFailureHandler([this] { view_.ShowStatus(text::Status::FromErrno(ENOMEM).description); });
}

SummaryWindow::~SummaryWindow() {
    work_.Stop();
}

void SummaryWindow::Start(const SummaryRequest& request) {
    work_.Stop();
    request_ = request;
    summary_ = Summary{};
    table_ = SummaryTable{};
    hasTable_ = false;
    view_.SetTitle(std::string(kSummaryTitle) + " - " + request_.source);
    view_.TableChanged();
    if (!request_.matcher || request_.searchStrings.empty()) {
        view_.ShowStatus(kSummaryNoCatalogue);
        return;
    }
    // The files are listed here, on the window's thread, as the main window's file list shows them.
    const std::string directory = settings::LocalDebugLogDirectory(request_.source);
    std::vector<std::string> names;
    if (const text::Status listed = scan::ListDebugLogFiles(directory, request_.source, names); !listed) {
        view_.ShowStatus(std::string(kErrorExamining) + listed.description);
        return;
    }
    if (names.empty()) {
        hasTable_ = true;
        view_.ShowStatus(kSummaryNoFiles);
        return;
    }

    // Which file is under way, for the progress text; written by the work, read on the window's thread.
    struct Under {
        std::mutex mutex;
        std::size_t file = 0;
        std::size_t files = 0;
        std::string name;
    };
    auto under = std::make_shared<Under>();
    std::shared_ptr<const scan::EventMatcher> matcher = request_.matcher;
    scan::ScanOptions base = request_.options;
    work_.Start<Summary>(
        [directory, names, matcher, base, under](std::stop_token stop, WorkProgress& progress) {
            scan::ScanOptions options = base;
            options.stop = std::move(stop);
            options.progress = [&progress](std::uint64_t bytes) { progress.Add(bytes); };
            options.opened = {};
            return Summarise(directory, names, *matcher, options, [&](const SummaryProgress& at) {
                progress.SetTotal(at.totalBytes);
                std::lock_guard lock(under->mutex);
                under->file = at.file;
                under->files = at.files;
                under->name = at.name;
            });
        },
        [this](Summary& summary) {
            const double seconds = work_.Seconds();
            summary_ = std::move(summary);
            table_ = SummaryTable(summary_, request_.searchStrings);
            hasTable_ = true;
            view_.TableChanged();
            std::uint64_t bytes = 0;
            for (const SummaryFile& file : summary_.files)
                bytes += file.bytes;
            const std::size_t files = summary_.files.size();
            char took[32];
            std::snprintf(took, sizeof took, "%.1f s", seconds);
            view_.ShowStatus(FormatCount(table_.Rows()) +
                             (table_.Rows() == 1 ? " event in " : " events in ") + FormatCount(files) +
                             (files == 1 ? " file, " : " files, ") + FormatBytes(bytes) + " in " + took);
        },
        [this, under](std::uint64_t done, std::uint64_t total, double seconds) {
            std::string lead;
            {
                std::lock_guard lock(under->mutex);
                lead = std::string(kSummaryFileWord) + std::to_string(under->file + 1) +
                       std::string(kSummaryOfWord) + std::to_string(under->files) + ", " + under->name;
            }
            done = std::min(done, total);
            view_.ShowWork(WorkText(lead, done, total, seconds),
                           total == 0 ? 0.0 : double(done) / double(total));
        });
    // The progress and the Cancel button show at once, before the first report.
    if (work_.Busy())
        view_.ShowWork(std::string(kSummaryFileWord) + "1" + std::string(kSummaryOfWord) +
                           std::to_string(names.size()) + ", " + names.front(),
                       0.0);
}

void SummaryWindow::Cancel() {
    if (!work_.Busy())
        return;
    work_.Stop();
    view_.ShowStatus(kCancelled);
}

void SummaryWindow::Close() {
    work_.Stop();
}

void SummaryWindow::HeaderClicked(std::size_t column) {
    if (!hasTable_ || column >= table_.Columns())
        return;
    bool ascending = !table_.IsFileColumn(column) && !table_.IsTotalColumn(column);
    if (column == table_.SortColumn())
        ascending = !table_.SortAscending();
    table_.Sort(column, ascending);
    view_.TableChanged();
}

void SummaryWindow::CellDoubleClicked(std::size_t row, std::size_t column) {
    if (!hasTable_ || row >= table_.Rows() || !table_.IsFileColumn(column))
        return;
    main_.ChooseFileAndEvent(request_.source, table_.FileName(column), std::int32_t(table_.Entry(row)),
                             request_.searchStrings[table_.Entry(row)]);
}

std::string SummaryWindow::Csv() const {
    return hasTable_ ? SummaryCsv(summary_, request_.searchStrings) : std::string();
}

// Written whole or not at all, as the main window's exports are; never named like a log, nor a log or in a
// log directory.
text::Status SummaryWindow::Export(const std::string& path) const {
    if (EndsWithLog(path) || IsLogTarget(path))
        return text::Status::Fail(std::string(kSummaryNotOverLog));
    return text::ReplaceWhole(path, Csv());
}

} // namespace form
