// The summary window's behaviour without a toolkit: its table against each file counted alone, sorting,
// shading, Cancel, and the double-click that chooses a file and an event in the main window (the main
// form driven over the road fixture).
#include "RecordingView.h"

#include "form/Operations.h"
#include "form/SummaryWindow.h"
#include "form/Texts.h"
#include "form/frmMain.h"
#include "support/Road.h"
#include "support/TestSupport.h"
#include "text/Replace.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>

namespace {

using form::ListId;
using form::SummaryTable;
using testing_support::TempDir;
using testing_support::WriteBytes;
using Strings = std::vector<std::string>;

// A summary view that records what the window shows and runs posted work when asked.
class RecordingSummaryView final : public form::SummaryView {
public:
    void SetTitle(std::string_view text) override { title = text; }
    void TableChanged() override { ++tableChanges; }
    void ShowWork(std::string_view text, double fraction) override {
        status = text, workShown = true, workFraction = fraction;
    }
    void ShowStatus(std::string_view text) override { status = text, workShown = false; }
    void Post(std::function<void()> work) override {
        {
            std::lock_guard lock(mutex_);
            posted_.push_back(std::move(work));
        }
        arrived_.notify_all();
    }
    // Runs posted work until the window's count is done (false after 10 s).
    bool Settle(const form::SummaryWindow& window) {
        for (;;) {
            std::deque<std::function<void()>> now;
            {
                std::unique_lock lock(mutex_);
                if (posted_.empty() && window.Busy() &&
                    !arrived_.wait_for(lock, std::chrono::seconds(10), [&] { return !posted_.empty(); }))
                    return false;
                now.swap(posted_);
            }
            for (auto& work : now)
                work();
            if (!window.Busy())
                return true;
        }
    }
    // Runs what is posted now.
    std::size_t RunPosted() {
        std::deque<std::function<void()>> now;
        {
            std::lock_guard lock(mutex_);
            now.swap(posted_);
        }
        for (auto& work : now)
            work();
        return now.size();
    }

    std::string title, status;
    bool workShown = false;
    double workFraction = 0;
    int tableChanges = 0;

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::function<void()>> posted_;
};

// Every cell of a table as numbers, row by row: index, the counts, total.
std::vector<std::vector<std::uint64_t>> Numbers(const SummaryTable& table) {
    std::vector<std::vector<std::uint64_t>> rows;
    for (std::size_t r = 0; r < table.Rows(); ++r) {
        std::vector<std::uint64_t> row;
        for (std::size_t c = 0; c < table.Columns(); ++c)
            if (c != SummaryTable::kSearchColumn)
                row.push_back(table.Number(r, c));
        rows.push_back(row);
    }
    return rows;
}

const Strings kStrings = {"Relay denied", "Timeout\r\n", "never", "quit", "Auth"};

TEST(SummaryTable, EqualsEachFileCountedAlone) {
    const scan::EventMatcher matcher{kStrings};
    TempDir dir;
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files; // name, contents
        Strings vanished;                                       // listed, gone when counted
    } tables[] = {
        {"no files", {}, {}},
        {"one file", {{"SMTP-Debug-1.log", "x Relay denied\r\nTimeout\r\n"}}, {}},
        {"files with no events", {{"SMTP-Debug-1.log", "nothing\r\n"}, {"SMTP-Debug-2.log", ""}}, {}},
        {"several",
         {{"SMTP-Debug-261201.log", "Relay denied\r\nRelay denied\r\nquit\r\n"},
          {"SMTP-Debug-261202.log", "Timeout\r\nAuth\r\nAuth\r\n"},
          {"SMTP-Debug-261203.log", "quit\r\nRelay denied"}},
         {}},
        {"a file vanishes", {{"SMTP-Debug-261201.log", "Auth\r\n"}}, {"SMTP-Debug-261202.log"}},
    };
    for (const auto& table : tables) {
        SCOPED_TRACE(table.name);
        const std::string directory = dir.File(table.name);
        std::filesystem::create_directories(directory);
        Strings names;
        for (const auto& [name, contents] : table.files) {
            WriteBytes(directory + "/" + name, contents);
            names.push_back(name);
        }
        names.insert(names.end(), table.vanished.begin(), table.vanished.end());
        const SummaryTable t(form::Summarise(directory, names, matcher), kStrings);
        ASSERT_EQ(t.Files(), names.size());
        ASSERT_EQ(t.Columns(), names.size() + 3);

        // Expected: each file counted alone; rows for the entries counted anywhere, in catalogue order.
        std::vector<std::vector<std::int32_t>> alone;
        for (const std::string& name : names)
            alone.push_back(form::CountFile(directory + "/" + name, matcher).counts);
        std::vector<std::vector<std::uint64_t>> expected;
        for (std::size_t e = 0; e < kStrings.size(); ++e) {
            std::vector<std::uint64_t> row{e};
            std::uint64_t total = 0;
            for (const auto& counts : alone) {
                const std::uint64_t n = e < counts.size() ? std::uint64_t(counts[e]) : 0;
                row.push_back(n);
                total += n;
            }
            row.push_back(total);
            if (total > 0)
                expected.push_back(row);
        }
        EXPECT_EQ(Numbers(t), expected);
        for (std::size_t f = 0; f < names.size(); ++f) {
            const bool gone = f >= table.files.size();
            EXPECT_EQ(t.Header(f + 2), gone ? names[f] + " (not read)" : names[f]);
            EXPECT_EQ(t.Problem(f + 2).empty(), !gone);
            EXPECT_EQ(t.FileName(f + 2), names[f]);
        }
        EXPECT_EQ(t.Problems().empty(), table.vanished.empty());
        if (!table.vanished.empty()) {
            EXPECT_EQ(t.Problems().rfind("Not read: " + table.vanished[0] + ": ", 0), 0u) << t.Problems();
        }
    }
}

class SummaryTableOfAWeek : public ::testing::Test {
protected:
    void SetUp() override {
        const Strings names = {"SMTP-Debug-1.log", "SMTP-Debug-2.log"};
        WriteBytes(dir_.File(names[0]), "Relay denied\r\nquit\r\nquit\r\nAuth\r\n");
        WriteBytes(
            dir_.File(names[1]), std::string(10, 'x') + "\r\n" + [] {
                std::string many;
                for (int i = 0; i < 16; ++i)
                    many += "Relay denied\r\n";
                return many;
            }() + "Timeout\r\nquit\r\n");
        table_ = SummaryTable(form::Summarise(dir_.Path().string(), names, matcher_), kStrings);
    }
    std::vector<std::size_t> Entries() const {
        std::vector<std::size_t> entries;
        for (std::size_t r = 0; r < table_.Rows(); ++r)
            entries.push_back(table_.Entry(r));
        return entries;
    }
    const scan::EventMatcher matcher_{kStrings};
    TempDir dir_;
    SummaryTable table_;
};

// Counts: entry 0: 1, 16 (17); entry 1: 0, 1 (1); entry 3: 2, 1 (3); entry 4: 1, 0 (1).
TEST_F(SummaryTableOfAWeek, SortsByAnyColumnNumbersAsNumbers) {
    ASSERT_EQ(Entries(), (std::vector<std::size_t>{0, 1, 3, 4}));
    const struct {
        const char* name;
        std::size_t column;
        bool ascending;
        std::vector<std::size_t> entries;
    } rows[] = {
        {"first file, largest first", 2, false, {3, 0, 4, 1}}, // ties in catalogue order
        {"second file, ascending", 3, true, {4, 1, 3, 0}},
        {"total, largest first (17 before 3: numbers, not text)", 4, false, {0, 3, 1, 4}},
        {"search string, no regard to case", 1, true, {4, 3, 0, 1}},
        {"search string, descending", 1, false, {1, 0, 3, 4}},
        {"index, descending", 0, false, {4, 3, 1, 0}},
        {"index", 0, true, {0, 1, 3, 4}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        table_.Sort(row.column, row.ascending);
        EXPECT_EQ(Entries(), row.entries);
        EXPECT_EQ(table_.SortColumn(), row.column);
    }
    // The search string is shown without its line break; counts with the window's digit grouping.
    table_.Sort(0, true);
    EXPECT_EQ(table_.Cell(1, 1), "Timeout");
    EXPECT_EQ(table_.Cell(0, 3), "16");
    EXPECT_EQ(table_.Cell(0, 0), "0");
}

TEST_F(SummaryTableOfAWeek, ShadesCountsByTheLargestCount) {
    const struct {
        std::size_t row, column;
        int shade;
    } rows[] = {
        {0, 3, SummaryTable::kShadeLevels}, // 16, the largest count of any file
        {0, 2, 1},                          // 1 of 16: shaded, lightly
        {1, 2, 0},                          // 0: none
        {2, 2, 1},                          // 2 of 16: 1
        {0, 4, SummaryTable::kShadeLevels}, // the largest total
        {2, 4, 2},                          // 3 of 17
        {0, 0, 0},                          // the index is never shaded
        {0, 1, 0},                          // nor the search string
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.row) + "," + std::to_string(row.column));
        EXPECT_EQ(table_.Shade(row.row, row.column), row.shade);
    }
}

// The window over the road fixture, opened from the main form's menu.
class SummaryWindowTest : public roadtest::RoadFixture {
protected:
    void SetUp() override {
        RoadFixture::SetUp();
        view_ = std::make_unique<formtest::RecordingView>();
        form_ = std::make_unique<form::frmMain>(*view_, programDir_);
        view_->Attach(*form_);
        form_->Form_Load();
        window_ = std::make_unique<form::SummaryWindow>(summaryView_, *form_);
    }
    // The menu item, and the request it hands to the window.
    void Open() {
        form_->RunMenuCommand(form::MenuCommand::Summary);
        ASSERT_FALSE(view_->summaryRequests.empty());
        window_->Start(view_->summaryRequests.back());
    }

    RecordingSummaryView summaryView_;
    std::unique_ptr<formtest::RecordingView> view_;
    std::unique_ptr<form::frmMain> form_;
    std::unique_ptr<form::SummaryWindow> window_;
};

TEST_F(SummaryWindowTest, CountsEveryFileOfTheSourceInTheBackground) {
    Open();
    ASSERT_TRUE(summaryView_.Settle(*window_));
    EXPECT_EQ(summaryView_.title, "Summary of All Files - SMTP");
    const SummaryTable& t = window_->Table();
    ASSERT_EQ(t.Files(), 2u);
    EXPECT_EQ(t.Header(2), "SMTP-Debug-20260711.log");
    EXPECT_EQ(t.Header(3), "SMTP-Debug-20260712.log");
    // The road's log: entry 0 twice, 1 once, 3 once; the other day's log none.
    EXPECT_EQ(Numbers(t),
              (std::vector<std::vector<std::uint64_t>>{{0, 0, 2, 2}, {1, 0, 1, 1}, {3, 0, 1, 1}}));
    EXPECT_EQ(summaryView_.status.rfind("3 events in 2 files, ", 0), 0u) << summaryView_.status;
    EXPECT_EQ(window_->Csv(), "index,search,SMTP-Debug-20260711.log,SMTP-Debug-20260712.log,total\r\n"
                              "0,Relay denied,0,2,2\r\n"
                              "1,\"Timeout\r\n\",0,1,1\r\n"
                              "3,Script,0,1,1\r\n");

    // A click on a header sorts; a second click on it the other way round.
    window_->HeaderClicked(1);
    EXPECT_EQ(t.Entry(0), 0u); // "Relay denied" < "Script" < "Timeout"
    EXPECT_EQ(t.Entry(2), 1u);
    window_->HeaderClicked(1);
    EXPECT_EQ(t.Entry(0), 1u);
}

TEST_F(SummaryWindowTest, KeepsTheSourceItWasOpenedWith) {
    Open();
    // The main window moves on to POP while the summary counts SMTP.
    view_->Choose(ListId::lstLogSource, 4);
    ASSERT_EQ(form_->ActiveSource, "POP");
    ASSERT_TRUE(summaryView_.Settle(*window_));
    EXPECT_EQ(window_->Request().source, "SMTP");
    EXPECT_EQ(window_->Table().Rows(), 3u);
    EXPECT_EQ(window_->Table().Header(2), "SMTP-Debug-20260711.log");

    // A double-click now cannot choose an SMTP file in the main window: it says so.
    window_->CellDoubleClicked(0, 3);
    EXPECT_EQ(view_->status, "The main window shows another source now: choose SMTP");
    EXPECT_EQ(view_->SelectedIndex(ListId::lstFiles), -1);
}

TEST_F(SummaryWindowTest, CancelLeavesNoHalfTable) {
    // A file big enough that the count is still under way when Cancel comes.
    std::string big;
    for (int i = 0; i < 200000; ++i)
        big += "1\t07/12/26 10:15:30\tRelay denied for someone at somewhere\r\n";
    WriteBytes(smtpDebug_ + "/SMTP-Debug-20260713.log", big);
    form_->lstLogSource_Click(); // lists the new file
    Open();
    window_->Cancel();
    EXPECT_FALSE(window_->Busy());
    EXPECT_EQ(summaryView_.status, "Cancelled");
    EXPECT_FALSE(summaryView_.workShown);
    // Nothing that was under way arrives later.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    summaryView_.RunPosted();
    EXPECT_FALSE(window_->HasTable());
    EXPECT_EQ(window_->Table().Rows(), 0u);
    EXPECT_EQ(window_->Csv(), "");
    EXPECT_EQ(summaryView_.status, "Cancelled");

    // Opened again it counts to the end.
    Open();
    ASSERT_TRUE(summaryView_.Settle(*window_));
    EXPECT_EQ(window_->Table().Files(), 3u);
    EXPECT_EQ(window_->Table().Number(0, 4), 200000u);
}

TEST_F(SummaryWindowTest, DoubleClickChoosesTheFileAndTheEventInTheMainWindow) {
    Open();
    ASSERT_TRUE(summaryView_.Settle(*window_));
    const SummaryTable& t = window_->Table();
    ASSERT_EQ(t.Entry(1), 1u); // "Timeout"

    // The count of the file runs in the background; the event is chosen once it is done.
    view_->settleAfterChoice = false;
    window_->CellDoubleClicked(1, 3);
    EXPECT_TRUE(form_->Busy());
    view_->Settle();
    EXPECT_EQ(view_->SelectedItem(ListId::lstFiles), roadtest::kSmtpLog);
    EXPECT_EQ(view_->SelectedItem(ListId::LstErrors), "1 [1]  Timeout\r\n");
    EXPECT_EQ(view_->Text(form::TextId::txtErrorDescription), "A connection timed out.");
    EXPECT_EQ(view_->InstanceRows(), Strings{"2\t07/12/26 10:15:40\tSession Timeout"});

    // The index and search columns choose nothing; a file column of an event not in that file says so.
    const std::string before = view_->status;
    window_->CellDoubleClicked(1, 0);
    EXPECT_EQ(view_->status, before);
    window_->CellDoubleClicked(1, 2);
    view_->Settle();
    EXPECT_EQ(view_->SelectedItem(ListId::lstFiles), "SMTP-Debug-20260711.log");
    EXPECT_EQ(view_->status, "This event is not counted in the file now: 1");
    EXPECT_EQ(view_->SelectedIndex(ListId::LstErrors), -1);

    // A file that is no longer listed.
    std::filesystem::remove(smtpDebug_ + "/" + roadtest::kSmtpLog);
    form_->lstLogSource_Click();
    window_->CellDoubleClicked(0, 3);
    EXPECT_EQ(view_->status, "This file is no longer in the file list: " + roadtest::kSmtpLog);
}

TEST_F(SummaryWindowTest, ExportWritesTheTableWholeAndNeverOverALog) {
    Open();
    ASSERT_TRUE(summaryView_.Settle(*window_));
    const std::string csv = window_->Csv();
    const std::string logPath = smtpDebug_ + "/" + roadtest::kSmtpLog;
    const struct {
        const char* name;
        std::string path;
        bool written;
    } rows[] = {
        {"new file", dir_.File("week.csv"), true},
        {"over an older export", dir_.File("week.csv"), true},
        {"a debug log", logPath, false},
        {"a log, upper case", smtpDebug_ + "/OTHER.LOG", false},
        {"into a log directory", smtpDebug_ + "/week.csv", false},
        {"no such directory", dir_.File("missing/week.csv"), false},
    };
    // A file of the user's that a fixed temporary name would have been.
    testing_support::WriteBytes(dir_.File("week.csv.partial"), "mine");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const text::Status status = window_->Export(row.path);
        EXPECT_EQ(bool(status), row.written) << status.description;
        if (row.written) {
            EXPECT_EQ(testing_support::ReadBytes(row.path), csv);
        }
        for (const std::string& name : text::DirectoryNames(text::ParentDirectory(row.path)))
            EXPECT_FALSE(text::IsTemporaryNameOf(name, "week.csv")) << name; // none left behind
    }
    EXPECT_EQ(testing_support::ReadBytes(dir_.File("week.csv.partial")), "mine");
    EXPECT_EQ(testing_support::ReadBytes(logPath), roadtest::kSmtpDebugLog);
    EXPECT_FALSE(std::filesystem::exists(smtpDebug_ + "/OTHER.LOG"));
    EXPECT_FALSE(std::filesystem::exists(smtpDebug_ + "/week.csv"));
}

} // namespace
