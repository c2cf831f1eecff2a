// The window's long work in the background: a newer choice wins and the older result is never shown, a
// stopped piece of work leaves its list or box empty and says "Cancelled", progress reaches the status bar,
// and whatever the timing, the end state is the one the program of one thread reaches for the same choices.
#include "RecordingView.h"

#include "form/frmMain.h"
#include "support/Road.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>

namespace {

using form::ListId;
using form::TextId;
using roadtest::kSmtpLog;
using testing_support::WriteBytes;
using Strings = std::vector<std::string>;

// What the user sees, and the state behind it.
struct Snapshot {
    std::array<Strings, 3> items;
    std::array<int, 3> selected{};
    std::string description, transcript, directory;
    Strings instances;
    std::vector<std::int32_t> counts;
    std::string activeSource;
    Strings messages, windows;
};

// One choice of the user: a row of a list (or an instance), made only if the list shows that row.
struct Choice {
    enum Kind { File, Event, Instance, Source } kind;
    int row;
};

class WorkTest : public roadtest::RoadFixture {
protected:
    void SetUp() override {
        RoadFixture::SetUp();
        // A second SMTP day big enough that a count is still running when the next choice comes, with
        // every event of the catalogue in it.
        std::string big;
        for (int i = 0; i < 40000; ++i)
            big += std::to_string(i) + "\t07/12/26 10:1" + std::to_string(i % 10) + ":30\t" +
                   (i % 3 == 0   ? "Relay denied"
                    : i % 3 == 1 ? "Session Timeout"
                                 : "Script") +
                   "\r\n";
        WriteBytes(smtpDebug_ + "/SMTP-Debug-20260713.log", big);
        WriteBytes(smtpActivity_ + "/SMTP-Activity-20260713.log",
                   "07/12/26 10:13:30 one\r\n07/12/26 10:15:00 two\r\n");
    }

    void Start(bool inBackground) {
        form_.reset();
        view_ = std::make_unique<formtest::RecordingView>();
        form_ = std::make_unique<form::frmMain>(*view_, programDir_);
        form_->SetWorkInBackground(inBackground);
        scan::ScanOptions options;
        options.threads = 2;
        options.minRangeBytes = 4096; // the big day is counted in two ranges
        options.blockSize = 8192;
        form_->SetScanOptions(options);
        view_->Attach(*form_);
        form_->Form_Load();
    }

    // Makes the choice if the view shows its row; says whether it did.
    bool Make(const Choice& choice) {
        switch (choice.kind) {
        case Choice::File:
        case Choice::Event:
        case Choice::Source: {
            const ListId list = choice.kind == Choice::File    ? ListId::lstFiles
                                : choice.kind == Choice::Event ? ListId::LstErrors
                                                               : ListId::lstLogSource;
            if (choice.row >= int(view_->Items(list).size()))
                return false;
            if (view_->SelectedIndex(list) == choice.row)
                view_->ClickChosen(list);
            else
                view_->Choose(list, choice.row);
            return true;
        }
        case Choice::Instance:
            if (std::size_t(choice.row) >= form_->InstanceCount())
                return false;
            view_->ChooseInstance(choice.row);
            return true;
        }
        return false;
    }

    Snapshot Take() const {
        Snapshot s;
        for (ListId list : {ListId::lstLogSource, ListId::lstFiles, ListId::LstErrors}) {
            s.items[std::size_t(list)] = view_->Items(list);
            s.selected[std::size_t(list)] = view_->SelectedIndex(list);
        }
        s.description = view_->Text(TextId::txtErrorDescription);
        s.transcript = view_->Text(TextId::txtTranscript);
        s.directory = view_->directoryCaption;
        s.instances = view_->InstanceRows();
        s.counts = form_->ErrorCounts;
        s.activeSource = form_->ActiveSource;
        for (const auto& m : view_->messages)
            s.messages.push_back(m.text);
        for (const auto& w : view_->windows)
            s.windows.push_back(w.caption + ": " + w.text);
        return s;
    }

    std::unique_ptr<formtest::RecordingView> view_;
    std::unique_ptr<form::frmMain> form_;
};

TEST_F(WorkTest, ANewerChoiceWinsAndTheOlderResultIsNeverShown) {
    Start(true);
    view_->settleAfterChoice = false;
    const int big = view_->RowOf(ListId::lstFiles, "SMTP-Debug-20260713.log");
    const int small = view_->RowOf(ListId::lstFiles, kSmtpLog);

    // The big day still counting when the small one is chosen.
    view_->Choose(ListId::lstFiles, big);
    EXPECT_TRUE(form_->Busy());
    EXPECT_EQ(view_->waitDepth, 1);
    view_->Choose(ListId::lstFiles, small);
    view_->Settle();
    EXPECT_EQ(view_->Items(ListId::LstErrors),
              Strings({"0 [2]  Relay denied", "1 [1]  Timeout\r\n", "3 [1]  Script"}));
    EXPECT_EQ(form_->ErrorCounts, (std::vector<std::int32_t>{2, 1, 0, 1}));

    // The big day's result already on its way to the window when the small one is chosen: dropped.
    view_->Choose(ListId::lstFiles, big);
    view_->WaitForQuiet(); // the count has finished and posted its result, which has not run yet
    EXPECT_TRUE(form_->Busy());
    view_->Choose(ListId::lstFiles, small);
    view_->Settle();
    EXPECT_EQ(form_->ErrorCounts, (std::vector<std::int32_t>{2, 1, 0, 1}));
    EXPECT_EQ(view_->status, "SMTP-Debug-20260712.log: 149 bytes, 4 lines, 3 events in " +
                                 view_->status.substr(view_->status.rfind(' ') - 3));
    EXPECT_TRUE(view_->messages.empty());
    EXPECT_EQ(view_->waitDepth, 0);
}

TEST_F(WorkTest, CancelLeavesWhatTheWorkWouldFillEmptyAndSaysSo) {
    Start(true);
    view_->settleAfterChoice = false;
    const int big = view_->RowOf(ListId::lstFiles, "SMTP-Debug-20260713.log");

    // A count: the event list stays empty, every count 0.
    view_->Choose(ListId::lstFiles, big);
    form_->CancelWork();
    view_->Settle();
    EXPECT_TRUE(view_->Items(ListId::LstErrors).empty());
    EXPECT_EQ(form_->ErrorCounts, std::vector<std::int32_t>(4, 0));
    EXPECT_EQ(view_->status, "Cancelled");
    EXPECT_FALSE(view_->workShown);

    // The instances of an event, then a transcript.
    view_->ClickChosen(ListId::lstFiles);
    view_->Settle();
    ASSERT_EQ(view_->Items(ListId::LstErrors).size(), 3u);
    view_->Choose(ListId::LstErrors, 0);
    form_->CancelWork();
    view_->Settle();
    EXPECT_EQ(form_->InstanceCount(), 0u);
    EXPECT_EQ(view_->status, "Cancelled");
    EXPECT_NE(view_->Text(TextId::txtErrorDescription), ""); // the explanation was shown before the work

    view_->Choose(ListId::LstErrors, 1);
    view_->Settle();
    ASSERT_GT(form_->InstanceCount(), 0u);
    view_->ChooseInstance(0);
    form_->CancelWork();
    view_->Settle();
    EXPECT_EQ(view_->Text(TextId::txtTranscript), "");
    EXPECT_EQ(view_->status, "Cancelled");

    // Nothing running: Cancel does nothing.
    view_->status = "before";
    form_->CancelWork();
    EXPECT_EQ(view_->status, "before");
    EXPECT_TRUE(view_->messages.empty());
    EXPECT_TRUE(view_->windows.empty());
    EXPECT_EQ(view_->waitDepth, 0);
}

TEST_F(WorkTest, ExitStopsTheWorkAtOnce) {
    Start(true);
    view_->settleAfterChoice = false;
    view_->Choose(ListId::lstFiles, view_->RowOf(ListId::lstFiles, "SMTP-Debug-20260713.log"));
    form_->RunMenuCommand(form::MenuCommand::Exit);
    EXPECT_TRUE(view_->closed);
    EXPECT_FALSE(form_->Busy());
    view_->RunPosted();
    EXPECT_TRUE(view_->Items(ListId::LstErrors).empty());
    EXPECT_EQ(view_->waitDepth, 0);
}

// When the system gives no thread for the work, it runs on the window's thread (the window waits for it, as
// the program of one thread does) and its result is shown as ever.
TEST_F(WorkTest, WithNoThreadToBeHadTheWorkRunsOnTheWindowsThread) {
    Start(true);
    view_->settleAfterChoice = false;
    const std::optional<int> result = testing_support::WithoutNewThreads([&] {
        view_->Choose(ListId::lstFiles, view_->RowOf(ListId::lstFiles, "SMTP-Debug-20260713.log"));
        if (form_->Busy() || view_->waitDepth != 0)
            return 1;
        if (view_->Items(ListId::LstErrors).size() != 3 ||
            view_->status.rfind("SMTP-Debug-20260713.log: 1.5 MB, 40,000 lines, 3 events in ", 0) != 0)
            return 2;
        return 0;
    });
    if (!result)
        GTEST_SKIP() << "a child process without threads cannot be arranged here";
    EXPECT_EQ(*result, 0) << "1: still waiting, 2: not the count's result, -1: the child died";
}

TEST_F(WorkTest, EveryTimingEndsAsTheProgramOfOneThreadDoes) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // The choices, and after which of them the background run lets its work finish.
        std::vector<Choice> planned;
        std::vector<bool> settle;
        for (int i = 0; i < 10; ++i) {
            const auto kind = Choice::Kind(random() % 8 < 3 ? random() % 2 : 1 + random() % 3);
            planned.push_back({kind, int(random() % (kind == Choice::Source ? 7 : 3))});
            settle.push_back(random() % 3 == 0);
        }
        Start(true);
        view_->settleAfterChoice = false;
        std::vector<Choice> made;
        for (std::size_t i = 0; i < planned.size(); ++i) {
            if (Make(planned[i]))
                made.push_back(planned[i]);
            if (settle[i])
                view_->Settle();
        }
        view_->Settle();
        const Snapshot background = Take();

        Start(false);
        for (const Choice& choice : made)
            ASSERT_TRUE(Make(choice));
        const Snapshot oneThread = Take();
        std::string trace = "choices:";
        for (const Choice& c : made)
            trace += " " + std::string("FEIS").substr(std::size_t(c.kind), 1) + std::to_string(c.row);
        SCOPED_TRACE(trace);
        for (std::size_t list = 0; list < 3; ++list) {
            EXPECT_EQ(background.items[list], oneThread.items[list]) << "list " << list;
            EXPECT_EQ(background.selected[list], oneThread.selected[list]) << "list " << list;
        }
        EXPECT_EQ(background.description, oneThread.description);
        EXPECT_EQ(background.transcript, oneThread.transcript);
        EXPECT_EQ(background.directory, oneThread.directory);
        EXPECT_EQ(background.instances, oneThread.instances);
        // A count stopped by a newer choice that scans nothing (another source) leaves its counts at 0
        // where one thread would have filled them: nothing shows counts before the next count or catalogue
        // load sets them afresh, so they are compared whenever the event list shows them.
        if (!background.items[std::size_t(ListId::LstErrors)].empty()) {
            EXPECT_EQ(background.counts, oneThread.counts);
        }
        EXPECT_EQ(background.activeSource, oneThread.activeSource);
        EXPECT_EQ(background.messages, oneThread.messages);
        EXPECT_EQ(background.windows, oneThread.windows);
        EXPECT_EQ(view_->waitDepth, 0);
    }
}

TEST_F(WorkTest, ProgressReachesTheStatusBarWhileTheWorkRuns) {
    Start(true);
    view_->settleAfterChoice = false;
    scan::ScanOptions slow;
    slow.threads = 1;
    slow.blockSize = 64; // many blocks: the status bar hears of them ten times a second at most
    form_->SetScanOptions(slow);
    view_->Choose(ListId::lstFiles, view_->RowOf(ListId::lstFiles, "SMTP-Debug-20260713.log"));
    // While it runs the status bar shows the file, the bytes done of the size, and a fraction that grows.
    double last = 0;
    bool shown = false;
    while (form_->Busy()) {
        ASSERT_TRUE(view_->WaitForPosted());
        view_->RunPosted();
        if (view_->workShown) {
            shown = true;
            EXPECT_GE(view_->workFraction, last);
            last = view_->workFraction;
            EXPECT_NE(view_->status.find(" of 1.5 MB"), std::string::npos) << view_->status;
        }
    }
    EXPECT_TRUE(shown);
    EXPECT_FALSE(view_->workShown);
    EXPECT_EQ(view_->status.rfind("SMTP-Debug-20260713.log: 1.5 MB, 40,000 lines, 3 events in ", 0), 0u)
        << view_->status;
}

} // namespace
