// The summary window in native Win32: a list view in report mode over the form's summary table (a column
// click sorts, the count cells are shaded by custom draw), a progress bar, Cancel, Export and Close, and a
// line under the table naming the files that could not be read. Modeless and owned by the main window, one
// at a time; the behaviour is form::SummaryWindow's.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "form/SummaryWindow.h"

namespace win32ui {

class SummaryWindow final : private form::SummaryView {
public:
    // Creates the window (hidden) owned by `owner`, in its font; `main` must outlive it.
    SummaryWindow(HINSTANCE instance, HWND owner, HFONT font, int dpi, form::frmMain& main);
    ~SummaryWindow() override;
    SummaryWindow(const SummaryWindow&) = delete;
    SummaryWindow& operator=(const SummaryWindow&) = delete;

    // Counts over the request, shows the window and brings it to the front.
    void Start(const form::SummaryRequest& request);
    // Tab, the access keys and Esc in the window; true when the message was its.
    bool DialogMessage(MSG& message);

    form::SummaryWindow& Form() { return form_; }
    HWND Handle() const { return hwnd_; }
    // What the window shows, for the self-test: its rows and columns, title and status line.
    int RowCount() const;
    int ColumnCount() const;
    std::string Title() const;
    std::string StatusText() const { return statusText_; }

    static constexpr UINT kPostMessage = WM_APP + 2;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnNotify(const NMHDR& header, LPARAM lParam);
    LRESULT CustomDraw(NMLVCUSTOMDRAW& draw) const;
    void Layout();
    void ExportCsv();
    void DrainPosted();

    // form::SummaryView
    void SetTitle(std::string_view title) override;
    void TableChanged() override;
    void ShowWork(std::string_view text, double fraction) override;
    void ShowStatus(std::string_view text) override;
    void Post(std::function<void()> work) override;

    HINSTANCE instance_;
    HWND owner_;
    HFONT font_;
    int dpi_;
    HWND hwnd_ = nullptr;
    HWND list_ = nullptr;
    HWND problems_ = nullptr;
    HWND status_ = nullptr;
    HWND progress_ = nullptr;
    HWND cancel_ = nullptr;
    HWND export_ = nullptr;
    HWND close_ = nullptr;
    std::string statusText_;
    std::string cellText_; // the text handed to the list view for the cell it asks for
    int columns_ = 0;
    bool working_ = false;
    bool closing_ = false;
    // Last: its work is stopped and joined first when the window goes.
    form::SummaryWindow form_;
};

} // namespace win32ui
