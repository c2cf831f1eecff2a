// A view of the main window without a toolkit: it keeps each list's items and selection, the text of each
// box, the messages, modal windows and documents the form asks for, and reports choices back to the form's
// handlers as a toolkit does.
#pragma once

#include <array>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "form/SummaryWindow.h"
#include "form/View.h"
#include "form/frmMain.h"

namespace formtest {

struct RecordedMessage {
    std::string text;
    std::string title;
    form::Icon icon;
    int waitDepth; // hourglass calls open while the box was shown
};

struct RecordedWindow {
    std::string caption;
    std::string text;
    int waitDepth;
};

class RecordingView final : public form::MainView {
public:
    RecordingView();
    // The form whose handlers the choices run; set once the form exists.
    void Attach(form::frmMain& form) { form_ = &form; }

    // What the user does: choose a row (a click when it changes the selection, as the toolkits report it),
    // click the row that is already chosen, choose and double-click an instance.
    void Choose(form::ListId list, int index) { Select(list, index, true); }
    void ClickChosen(form::ListId list);
    void ChooseInstance(long long row);
    void DoubleClickInstance(long long row);
    // The row of a list whose item is `item`, or -1.
    int RowOf(form::ListId list, const std::string& item) const;
    // Every instance row as the list shows it.
    std::vector<std::string> InstanceRows() const;

    // Work posted to the window: run what is there now (how many ran); wait until something is posted
    // (false after 10 s); run until the form's work is done. After each choice the view settles by itself
    // unless settleAfterChoice is false (tests of what happens while work runs).
    std::size_t RunPosted();
    bool WaitForPosted();
    // Waits until nothing more has been posted for a fifth of a second (the work has come to its end).
    void WaitForQuiet();
    void Settle();
    bool settleAfterChoice = true;

    const std::vector<std::string>& Items(form::ListId list) const { return items_[Index(list)]; }
    const std::string& Text(form::TextId box) const { return texts_[box == form::TextId::txtTranscript]; }

    // form::MainView
    void ClearList(form::ListId list) override;
    void AppendItem(form::ListId list, std::string_view item) override;
    int SelectedIndex(form::ListId list) const override { return selected_[Index(list)]; }
    std::string SelectedItem(form::ListId list) const override;
    void SelectIndex(form::ListId list, int index) override;
    void SetText(form::TextId box, std::string_view text) override {
        texts_[box == form::TextId::txtTranscript] = text;
    }
    void SetDirectoryCaption(std::string_view caption) override { directoryCaption = caption; }
    void InstancesChanged() override;
    long long SelectedInstance() const override { return selectedInstance_; }
    void Message(std::string_view text, std::string_view title, form::Icon icon) override;
    void BeginWait() override { ++waitDepth, ++waitsBegun; }
    void EndWait() override { --waitDepth; }
    void ShowInstanceWindow(std::string_view caption, std::string_view text) override;
    int ShellOpen(std::string_view target) override;
    void CloseWindow() override { closed = true; }
    void Post(std::function<void()> work) override;
    void ShowWork(std::string_view text, double fraction) override;
    void ShowStatus(std::string_view text) override { status = text, workShown = false; }
    form::Box OuterBox() const override { return outer; }
    bool IsMinimized() const override { return minimized; }
    form::Box PlaceOf(form::ControlId control) const override { return places_.at(control); }
    void Place(form::ControlId control, const form::Box& place) override { places_[control] = place; }
    float WholeItemsHeight(form::ControlId list, float requested) const override;
    void ShowSummaryWindow(const form::SummaryRequest& request) override;
    std::optional<std::string> AskSavePath(std::string_view title, std::string_view suggestedName,
                                           std::string_view kindName, std::string_view extension) override;
    void CopyToClipboard(std::string_view text) override { clipboard = text; }

    std::string directoryCaption;
    std::string status;      // the status bar's text
    bool workShown = false;  // the progress bar and Cancel button are showing
    double workFraction = 0; // how far the work had come when last told
    int progressReports = 0;
    std::vector<RecordedMessage> messages;
    std::vector<RecordedWindow> windows;
    std::vector<std::string> opened;
    int shellAnswer = 33; // what the desktop answers ShellOpen
    int waitDepth = 0;
    int waitsBegun = 0;
    int instanceResets = 0;
    bool closed = false;
    bool minimized = false;
    form::Box outer;
    // Each summary window the form asked for, in order.
    std::vector<form::SummaryRequest> summaryRequests;
    // The save dialogs asked for, and what the user answers them (nullopt: Cancel).
    struct SavePrompt {
        std::string title, suggestedName, kindName, extension;
    };
    std::vector<SavePrompt> savePrompts;
    std::optional<std::string> savePath;
    std::string clipboard;

private:
    // Selects a row; a change of the selection is reported as a click when `click` is true (the user's
    // choice) or the list is the source list (the toolkits report the program's selection there too).
    void Select(form::ListId list, int index, bool click);
    static std::size_t Index(form::ListId list) { return static_cast<std::size_t>(list); }
    void RaiseClick(form::ListId list);

    form::frmMain* form_ = nullptr;
    std::mutex postedMutex_;
    std::condition_variable postedArrived_;
    std::deque<std::function<void()>> posted_;
    std::size_t postedEver_ = 0;
    std::array<std::vector<std::string>, 3> items_;
    std::array<int, 3> selected_{-1, -1, -1};
    std::array<std::string, 2> texts_;
    long long selectedInstance_ = -1;
    std::map<form::ControlId, form::Box> places_;
};

} // namespace formtest
