// The summary window without a toolkit: a table of every event counted in any debug log file of a source,
// one column per file, filled in the background; sorting, the shading of the counts, Cancel and the
// double-click that chooses a file and an event in the main window. The Qt window and the native Windows
// window show it through a SummaryView.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "form/Summary.h"
#include "form/Work.h"
#include "scan/Matcher.h"
#include "scan/Scan.h"
#include "text/Status.h"

namespace form {

class frmMain;

// What a summary counts, taken by value from the main window when it is opened: the source, its
// catalogue's search strings and the matcher compiled for them. A later choice in the main window (another
// source, a catalogue fetched again) does not change a summary under way.
struct SummaryRequest {
    std::string source;
    std::vector<std::string> searchStrings;
    std::shared_ptr<const scan::EventMatcher> matcher;
    scan::ScanOptions options; // threads and block size; the stop and progress are the summary's own
};

// The table: rows of events, columns index, search string, one per file, total.
class SummaryTable {
public:
    // Shading levels of a count cell: 0 for a count of 0, up to kShadeLevels for the largest count.
    static constexpr int kShadeLevels = 8;

    SummaryTable() = default;
    SummaryTable(const Summary& summary, const std::vector<std::string>& searchStrings);

    std::size_t Rows() const { return rows_.size(); }
    std::size_t Columns() const { return files_.size() + 3; }
    std::size_t Files() const { return files_.size(); }
    // Column kinds: 0 the index, 1 the search string, 2 .. 2+Files()-1 the files, the last the total.
    static constexpr std::size_t kIndexColumn = 0;
    static constexpr std::size_t kSearchColumn = 1;
    bool IsFileColumn(std::size_t column) const { return column >= 2 && column < 2 + files_.size(); }
    bool IsTotalColumn(std::size_t column) const { return column == files_.size() + 2; }
    // The numbers (index, counts, total) are right-aligned and sort as numbers.
    bool IsNumber(std::size_t column) const { return column != kSearchColumn && column < Columns(); }

    // The column's caption: a file's name (with a mark when it could not be counted).
    std::string Header(std::size_t column) const;
    // Why the file of a column could not be counted ("" when it was).
    std::string Problem(std::size_t column) const;
    // "Not read: name: reason" for each file that could not be counted, one a line.
    std::string Problems() const;
    // The text of a cell (ANSI): the index, the search string without its line break, counts with commas.
    std::string Cell(std::size_t row, std::size_t column) const;
    // The number of a cell (index, count, total); 0 for the search string.
    std::uint64_t Number(std::size_t row, std::size_t column) const;
    // How dark a count cell is shaded: 0 (none) to kShadeLevels, by its count relative to the largest count
    // of any file (the total column: to the largest total). The index and search string are never shaded.
    int Shade(std::size_t row, std::size_t column) const;

    // The catalogue entry of a row, and the file name of a file column.
    std::size_t Entry(std::size_t row) const { return rows_[row].entry; }
    const std::string& SearchString(std::size_t row) const { return rows_[row].search; }
    const std::string& FileName(std::size_t column) const { return files_[column - 2].name; }

    // Sorts the rows by a column (numbers as numbers, the search string without regard to case), rows of
    // equal keys in catalogue order.
    void Sort(std::size_t column, bool ascending);
    std::size_t SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return sortAscending_; }

private:
    struct Row {
        std::size_t entry = 0;
        std::string search;
        std::vector<std::int32_t> counts; // per file
        std::uint64_t total = 0;
    };
    struct File {
        std::string name;
        std::string problem;
    };
    std::vector<Row> rows_;
    std::vector<File> files_;
    std::uint64_t largestCount_ = 0;
    std::uint64_t largestTotal_ = 0;
    std::size_t sortColumn_ = kIndexColumn;
    bool sortAscending_ = true;
};

// What the summary window needs of a toolkit.
class SummaryView {
public:
    virtual ~SummaryView() = default;
    // The window's title.
    virtual void SetTitle(std::string_view title) = 0;
    // The table changed whole (rows, columns, order): the view reads it again through Table().
    virtual void TableChanged() = 0;
    // While the summary is counted: its text, how far it has come (0 to 1) and the Cancel button;
    // otherwise a text alone.
    virtual void ShowWork(std::string_view text, double fraction) = 0;
    virtual void ShowStatus(std::string_view text) = 0;
    // Runs `work` later on the window's thread, in the order posted; callable from any thread.
    virtual void Post(std::function<void()> work) = 0;
};

class SummaryWindow {
public:
    // `view` and `main` must outlive the window.
    SummaryWindow(SummaryView& view, frmMain& main);
    ~SummaryWindow();
    SummaryWindow(const SummaryWindow&) = delete;
    SummaryWindow& operator=(const SummaryWindow&) = delete;

    // Stops any summary under way, empties the table and counts every file of the request's source.
    void Start(const SummaryRequest& request);
    // Cancel or Esc: stops the count; the table stays empty and the status says "Cancelled".
    void Cancel();
    // The window closes: the count is stopped, its result never shown.
    void Close();
    // A click on a column's header: sorts by it, the other way round when it is sorted by it already
    // (counts first largest first, the index and search string first in ascending order).
    void HeaderClicked(std::size_t column);
    // A double-click on a count cell: the main window chooses that file and that event.
    void CellDoubleClicked(std::size_t row, std::size_t column);

    // With false the count runs to its end inside Start (tests).
    void SetInBackground(bool inBackground) { work_.SetInBackground(inBackground); }
    bool Busy() const { return work_.Busy(); }
    const SummaryTable& Table() const { return table_; }
    const SummaryRequest& Request() const { return request_; }
    // The table as CSV (UTF-8), as the command line writes it; empty while there is no table.
    std::string Csv() const;
    bool HasTable() const { return hasTable_; }
    // Writes Csv() to `path` whole: to a temporary file beside it, then renamed over it, so a failure leaves
    // what was there. Refuses a debug log file's name (".log"), so no log is ever written over.
    [[nodiscard]] text::Status Export(const std::string& path) const;

private:
    SummaryView& view_;
    frmMain& main_;
    SummaryRequest request_;
    Summary summary_;
    SummaryTable table_;
    bool hasTable_ = false;
    // Last: stopped and joined first when the window goes.
    BackgroundWork work_;
};

} // namespace form
