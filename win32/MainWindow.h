// The main window in native Win32: the controls, menus and sizes of the window's design table, each
// notification handed to its handler in the form layer, which holds the behaviour and the shared state. This
// class only shows what the form tells it and reports what the user does. Text crosses it as ANSI bytes and
// goes to the "A" functions as it is.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "form/View.h"
#include "form/frmMain.h"

namespace win32ui {

class SummaryWindow;

// What a self-test records instead of blocking on a modal box or window.
struct Recorded {
    std::vector<std::string> messages;        // "title: text"
    std::vector<std::string> instanceWindows; // "caption: text"
    std::vector<std::string> savePrompts;     // "title: suggested name"
    std::string savePath;                     // what the save dialog answers ("" cancels)
};

class MainWindow final : private form::MainView {
public:
    // Creates the window with its controls at their design places (hidden); nothing is read or fetched
    // until Form_Load. Catalogue files are stored in and loaded from catalogueDirectory.
    MainWindow(HINSTANCE instance, std::string catalogueDirectory);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    form::frmMain& Form() { return form_; }
    HWND Handle() const { return hwnd_; }
    // Shows the window centred on its monitor's work area.
    void Show(int showCommand);
    // Runs the message loop until the window is gone; gives the program's exit code.
    int Run();

    // With a record, message boxes and the instance window are written there instead of shown (self-test).
    void RecordPrompts(Recorded* record) { record_ = record; }

    // What a control shows, as ANSI bytes: a list's items, a box's or label's text, the instance list's rows
    // through the form. For the self-test's report.
    std::string TextOf(form::ControlId control) const;
    std::vector<std::string> ItemsOf(form::ControlId control) const;
    std::string StatusText() const;
    int Dpi() const { return dpi_; }
    std::string FontFace() const;
    HWND ControlHandle(form::ControlId control) const { return controls_[std::size_t(control)]; }

    static constexpr UINT kPostMessage = WM_APP + 1;
    // The commands of the lists' context menus, as WM_COMMAND identifiers.
    static constexpr int kCopyEventCommand = 3000;
    static constexpr int kExportEventsCommand = 3001;
    static constexpr int kCopyInstanceCommand = 3002;
    static constexpr int kExportInstancesCommand = 3003;
    // The clipboard's text, as ANSI bytes (for the self-test's report).
    std::string ClipboardText() const;

    // The summary window, once File > Summary of All Files... has opened it (else null).
    SummaryWindow* Summary() const { return summary_.get(); }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void CreateMenus();
    void CreateStatusBar();
    void CreateFonts();
    void ApplyFonts();
    void PlaceAll();
    void LayoutStatusBar();
    void OnCommand(int id, int code, HWND from);
    // The context menu of the event or instance list at a point of the screen (-1, -1: from the keyboard).
    void ShowListMenu(HWND list, LPARAM at);
    // Ctrl+C on the focused event or instance list; true when the key was taken.
    bool CopyKey(const MSG& msg);
    void DrawInstanceRow(const DRAWITEMSTRUCT& item);
    int RowHeight(form::ControlId list) const;
    void DrainPosted();
    HWND ItemList(form::ListId list) const;

    // form::MainView
    void ClearList(form::ListId list) override;
    void AppendItem(form::ListId list, std::string_view item) override;
    int SelectedIndex(form::ListId list) const override;
    std::string SelectedItem(form::ListId list) const override;
    void SelectIndex(form::ListId list, int index) override;
    void SetText(form::TextId box, std::string_view text) override;
    void SetDirectoryCaption(std::string_view caption) override;
    void InstancesChanged() override;
    long long SelectedInstance() const override;
    void Message(std::string_view text, std::string_view title, form::Icon icon) override;
    void BeginWait() override;
    void EndWait() override;
    void ShowInstanceWindow(std::string_view caption, std::string_view text) override;
    int ShellOpen(std::string_view target) override;
    void CloseWindow() override;
    void Post(std::function<void()> work) override;
    void ShowWork(std::string_view text, double fraction) override;
    void ShowStatus(std::string_view text) override;
    form::Box OuterBox() const override;
    bool IsMinimized() const override;
    form::Box PlaceOf(form::ControlId control) const override;
    void Place(form::ControlId control, const form::Box& place) override;
    float WholeItemsHeight(form::ControlId list, float requested) const override;
    void ShowSummaryWindow(const form::SummaryRequest& request) override;
    std::optional<std::string> AskSavePath(std::string_view title, std::string_view suggestedName,
                                           std::string_view kindName, std::string_view extension) override;
    void CopyToClipboard(std::string_view text) override;

    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    HFONT font_ = nullptr;
    HFONT boldFont_ = nullptr;
    std::array<HWND, form::kControlCount> controls_{};
    std::array<form::Box, form::kControlCount> places_{}; // twips, as last placed
    HACCEL accelerators_ = nullptr;                       // the menus' shortcuts (F5)
    HWND statusBar_ = nullptr;
    HWND statusProgress_ = nullptr;
    HWND statusCancel_ = nullptr;
    std::string statusText_;
    bool working_ = false;
    int waits_ = 0;
    bool closing_ = false;
    bool ready_ = false; // controls made: size changes lay them out
    Recorded* record_ = nullptr;
    // ---- the summary window ----
    std::unique_ptr<SummaryWindow> summary_; // made at the first menu choice; one at a time
    // ---- end of the summary window ----
    // Last: its work is stopped and joined first when the window goes, while everything it reports to is
    // alive.
    form::frmMain form_;
};

} // namespace win32ui
