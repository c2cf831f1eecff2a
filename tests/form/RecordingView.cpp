#include "RecordingView.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

namespace formtest {

RecordingView::RecordingView() {
    for (const form::ControlDesign& design : form::Controls())
        places_[design.id] = design.place;
}

void RecordingView::ClearList(form::ListId list) {
    items_[Index(list)].clear();
    selected_[Index(list)] = -1;
}

void RecordingView::AppendItem(form::ListId list, std::string_view item) {
    items_[Index(list)].emplace_back(item);
}

std::string RecordingView::SelectedItem(form::ListId list) const {
    const int row = selected_[Index(list)];
    return row < 0 ? std::string() : items_[Index(list)][std::size_t(row)];
}

// The program's choice: as in the toolkits, only the source list reports it as a click.
void RecordingView::SelectIndex(form::ListId list, int index) {
    Select(list, index, list == form::ListId::lstLogSource);
}

void RecordingView::Select(form::ListId list, int index, bool click) {
    if (index >= int(items_[Index(list)].size()))
        index = -1;
    if (selected_[Index(list)] == index)
        return;
    selected_[Index(list)] = index;
    if (index >= 0 && click)
        RaiseClick(list);
}

void RecordingView::ShowSummaryWindow(const form::SummaryRequest& request) {
    summaryRequests.push_back(request);
}

std::optional<std::string> RecordingView::AskSavePath(std::string_view title, std::string_view suggestedName,
                                                      std::string_view kindName, std::string_view extension) {
    savePrompts.push_back(
        {std::string(title), std::string(suggestedName), std::string(kindName), std::string(extension)});
    return savePath;
}

void RecordingView::ClickChosen(form::ListId list) {
    if (selected_[Index(list)] >= 0)
        RaiseClick(list);
}

void RecordingView::Post(std::function<void()> work) {
    {
        std::lock_guard lock(postedMutex_);
        posted_.push_back(std::move(work));
        ++postedEver_;
    }
    postedArrived_.notify_all();
}

std::size_t RecordingView::RunPosted() {
    std::deque<std::function<void()>> now;
    {
        std::lock_guard lock(postedMutex_);
        now.swap(posted_);
    }
    for (auto& work : now)
        work();
    return now.size();
}

bool RecordingView::WaitForPosted() {
    std::unique_lock lock(postedMutex_);
    return postedArrived_.wait_for(lock, std::chrono::seconds(10), [this] { return !posted_.empty(); });
}

void RecordingView::WaitForQuiet() {
    std::unique_lock lock(postedMutex_);
    for (;;) {
        const std::size_t before = postedEver_;
        if (!postedArrived_.wait_for(lock, std::chrono::milliseconds(200),
                                     [&] { return postedEver_ != before; }))
            return;
    }
}

void RecordingView::Settle() {
    RunPosted();
    while (form_ != nullptr && form_->Busy()) {
        if (!WaitForPosted()) {
            ADD_FAILURE() << "the form's work did not end within 10 s";
            return;
        }
        RunPosted();
    }
}

void RecordingView::ShowWork(std::string_view text, double fraction) {
    status = text;
    workShown = true;
    workFraction = fraction;
    ++progressReports;
}

void RecordingView::RaiseClick(form::ListId list) {
    if (form_ == nullptr)
        return;
    switch (list) {
    case form::ListId::lstLogSource:
        form_->lstLogSource_Click();
        break;
    case form::ListId::lstFiles:
        form_->lstFiles_Click();
        break;
    case form::ListId::LstErrors:
        form_->LstErrors_Click();
        break;
    }
    if (settleAfterChoice)
        Settle();
}

void RecordingView::ChooseInstance(long long row) {
    selectedInstance_ = row;
    form_->lstinstances_Click();
    if (settleAfterChoice)
        Settle();
}

void RecordingView::DoubleClickInstance(long long row) {
    ChooseInstance(row);
    form_->lstinstances_DblClick();
}

int RecordingView::RowOf(form::ListId list, const std::string& item) const {
    const auto& items = items_[Index(list)];
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i] == item)
            return int(i);
    return -1;
}

std::vector<std::string> RecordingView::InstanceRows() const {
    std::vector<std::string> rows;
    for (std::size_t i = 0; i < form_->InstanceCount(); ++i)
        rows.push_back(form_->InstanceRow(i));
    return rows;
}

void RecordingView::InstancesChanged() {
    selectedInstance_ = -1;
    ++instanceResets;
}

void RecordingView::Message(std::string_view text, std::string_view title, form::Icon icon) {
    messages.push_back({std::string(text), std::string(title), icon, waitDepth});
}

void RecordingView::ShowInstanceWindow(std::string_view caption, std::string_view text) {
    windows.push_back({std::string(caption), std::string(text), waitDepth});
}

int RecordingView::ShellOpen(std::string_view target) {
    opened.emplace_back(target);
    return shellAnswer;
}

// Rows of 195 twips inside a frame of 30 twips at the top and the bottom.
float RecordingView::WholeItemsHeight(form::ControlId, float requested) const {
    const float rows = std::floor((requested - 60.0f) / 195.0f);
    return (rows < 0 ? 0.0f : rows) * 195.0f + 60.0f;
}

} // namespace formtest
