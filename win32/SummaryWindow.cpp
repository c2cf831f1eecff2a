#include "win32/SummaryWindow.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <memory>

#include "form/Texts.h"

namespace win32ui {
namespace {

constexpr int kListId = 100;
constexpr int kProblemsId = 101;
constexpr int kStatusId = 102;
constexpr int kProgressId = 103;
constexpr int kCancelId = 104;
constexpr int kExportId = 105;
constexpr int kCloseId = 106;
constexpr const char* kClassName = "frmSummary";

// Sizes at 96 dpi, in pixels.
constexpr int kMargin = 8;
constexpr int kButtonWidth = 88;
constexpr int kButtonHeight = 23;
constexpr int kProgressWidth = 140;
constexpr int kProblemsHeight = 30;
constexpr int kWidth = 760;
constexpr int kHeight = 460;

// A colour between `from` and `to`, `share` (0 to 1) of the way.
COLORREF Blend(COLORREF from, COLORREF to, double share) {
    auto mix = [share](int a, int b) { return BYTE(a + (b - a) * share + 0.5); };
    return RGB(mix(GetRValue(from), GetRValue(to)), mix(GetGValue(from), GetGValue(to)),
               mix(GetBValue(from), GetBValue(to)));
}

std::string WindowText(HWND hwnd) {
    std::string text(std::size_t(::GetWindowTextLengthA(hwnd)) + 1, '\0');
    text.resize(std::size_t(::GetWindowTextA(hwnd, text.data(), int(text.size()))));
    return text;
}

} // namespace

SummaryWindow::SummaryWindow(HINSTANCE instance, HWND owner, HFONT font, int dpi, form::frmMain& main)
    : instance_(instance), owner_(owner), font_(font), dpi_(dpi), form_(*this, main) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconA(instance, MAKEINTRESOURCEA(1));
    windowClass.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    ::RegisterClassExA(&windowClass); // fails harmlessly once registered

    const std::string title(form::kSummaryTitle);
    hwnd_ = ::CreateWindowExA(WS_EX_CONTROLPARENT, kClassName, title.c_str(),
                              WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                              ::MulDiv(kWidth, dpi_, 96), ::MulDiv(kHeight, dpi_, 96), owner, nullptr,
                              instance, this);
    if (hwnd_ == nullptr)
        return;
    auto child = [this](const char* className, const std::string& text, DWORD style, int id,
                        DWORD exStyle = 0) {
        HWND control = ::CreateWindowExA(exStyle, className, text.c_str(), WS_CHILD | style, 0, 0, 0, 0,
                                         hwnd_, reinterpret_cast<HMENU>(INT_PTR(id)), instance_, nullptr);
        ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
        return control;
    };
    list_ = child(WC_LISTVIEWA, "",
                  WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_OWNERDATA,
                  kListId, WS_EX_CLIENTEDGE);
    ::SendMessageA(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
    problems_ = child("STATIC", "", SS_LEFT | SS_NOPREFIX, kProblemsId);
    status_ = child("STATIC", "", WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kStatusId);
    progress_ = child(PROGRESS_CLASSA, "", 0, kProgressId);
    ::SendMessageA(progress_, PBM_SETRANGE32, 0, 1000);
    cancel_ = child("BUTTON", std::string(form::kCancelButtonCaption), WS_TABSTOP | BS_PUSHBUTTON, kCancelId);
    export_ = child("BUTTON", std::string(form::kSummaryExportCaption),
                    WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, kExportId);
    close_ = child("BUTTON", std::string(form::kSummaryCloseCaption), WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                   kCloseId);
    Layout();
}

SummaryWindow::~SummaryWindow() {
    form_.Close();
    closing_ = true;
    if (::IsWindow(hwnd_))
        ::DestroyWindow(hwnd_);
    DrainPosted();
}

void SummaryWindow::Start(const form::SummaryRequest& request) {
    if (hwnd_ == nullptr)
        return;
    if (!::IsWindowVisible(hwnd_)) {
        // Opens over the main window, a little below its top left corner.
        RECT owner{};
        ::GetWindowRect(owner_, &owner);
        const int step = ::MulDiv(40, dpi_, 96);
        ::SetWindowPos(hwnd_, nullptr, owner.left + step, owner.top + step, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::ShowWindow(hwnd_, SW_SHOW);
    ::SetForegroundWindow(hwnd_);
    ::SetFocus(list_);
    form_.Start(request);
}

bool SummaryWindow::DialogMessage(MSG& message) {
    return ::IsWindow(hwnd_) && ::IsDialogMessageA(hwnd_, &message) != FALSE;
}

int SummaryWindow::RowCount() const {
    return int(::SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0));
}

int SummaryWindow::ColumnCount() const {
    HWND header = reinterpret_cast<HWND>(::SendMessageA(list_, LVM_GETHEADER, 0, 0));
    return header == nullptr ? 0 : int(::SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
}

std::string SummaryWindow::Title() const {
    return WindowText(hwnd_);
}

void SummaryWindow::DrainPosted() {
    // Work posted but not run is freed, not leaked.
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, kPostMessage, kPostMessage, PM_REMOVE))
        delete reinterpret_cast<std::function<void()>*>(msg.lParam);
}

LRESULT CALLBACK SummaryWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* window = reinterpret_cast<SummaryWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (window == nullptr || window->hwnd_ != hwnd)
        return ::DefWindowProcA(hwnd, message, wParam, lParam);
    return window->Handle(message, wParam, lParam);
}

LRESULT SummaryWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kPostMessage: {
        std::unique_ptr<std::function<void()>> work(reinterpret_cast<std::function<void()>*>(lParam));
        if (!closing_ && work && *work)
            (*work)();
        return 0;
    }
    case WM_SIZE:
        Layout();
        return 0;
    case WM_GETMINMAXINFO: {
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMinTrackSize = {::MulDiv(420, dpi_, 96), ::MulDiv(200, dpi_, 96)};
        return 0;
    }
    case WM_NOTIFY:
        return OnNotify(*reinterpret_cast<const NMHDR*>(lParam), lParam);
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDCANCEL: // Esc: stops the count under way; with none, closes the window
            if (form_.Busy())
                form_.Cancel();
            else
                ::SendMessageA(hwnd_, WM_CLOSE, 0, 0);
            return 0;
        case kCancelId:
            if (HIWORD(wParam) == BN_CLICKED)
                form_.Cancel();
            return 0;
        case kExportId:
            if (HIWORD(wParam) == BN_CLICKED)
                ExportCsv();
            return 0;
        case kCloseId:
            if (HIWORD(wParam) == BN_CLICKED)
                ::SendMessageA(hwnd_, WM_CLOSE, 0, 0);
            return 0;
        default:
            break;
        }
        break;
    case WM_CLOSE:
        // Closing stops the count and hides the window; the next menu choice counts again.
        form_.Close();
        ShowStatus("");
        ::ShowWindow(hwnd_, SW_HIDE);
        if (::IsWindow(owner_))
            ::SetForegroundWindow(owner_);
        return 0;
    case WM_DESTROY:
        // The main window is going, and its owned windows with it.
        closing_ = true;
        form_.Close();
        return 0;
    default:
        break;
    }
    return ::DefWindowProcA(hwnd_, message, wParam, lParam);
}

LRESULT SummaryWindow::OnNotify(const NMHDR& header, LPARAM lParam) {
    if (header.hwndFrom != list_)
        return 0;
    const form::SummaryTable& table = form_.Table();
    switch (header.code) {
    case LVN_GETDISPINFOA: {
        auto* info = reinterpret_cast<NMLVDISPINFOA*>(lParam);
        if ((info->item.mask & LVIF_TEXT) != 0 && info->item.pszText != nullptr &&
            info->item.cchTextMax > 0) {
            cellText_ = table.Cell(std::size_t(info->item.iItem), std::size_t(info->item.iSubItem));
            ::lstrcpynA(info->item.pszText, cellText_.c_str(), info->item.cchTextMax);
        }
        return 0;
    }
    case LVN_COLUMNCLICK:
        form_.HeaderClicked(std::size_t(reinterpret_cast<const NMLISTVIEW*>(lParam)->iSubItem));
        return 0;
    case NM_DBLCLK: {
        // The cell under the pointer: the list view's own answer names the row only.
        LVHITTESTINFO hit{};
        hit.pt = reinterpret_cast<const NMITEMACTIVATE*>(lParam)->ptAction;
        if (::SendMessageA(list_, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)) >= 0 &&
            hit.iItem >= 0)
            form_.CellDoubleClicked(std::size_t(hit.iItem), std::size_t(hit.iSubItem));
        return 0;
    }
    case NM_CUSTOMDRAW:
        return CustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(lParam));
    default:
        return 0;
    }
}

LRESULT SummaryWindow::CustomDraw(NMLVCUSTOMDRAW& draw) const {
    switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
        // The darker the shade, the larger the count: the largest stand out at a glance.
        const int shade = form_.Table().Shade(std::size_t(draw.nmcd.dwItemSpec), std::size_t(draw.iSubItem));
        draw.clrText = ::GetSysColor(COLOR_WINDOWTEXT);
        draw.clrTextBk = shade == 0 ? ::GetSysColor(COLOR_WINDOW)
                                    : Blend(::GetSysColor(COLOR_WINDOW), ::GetSysColor(COLOR_HIGHLIGHT),
                                            0.6 * shade / form::SummaryTable::kShadeLevels);
        return CDRF_NEWFONT;
    }
    default:
        return CDRF_DODEFAULT;
    }
}

void SummaryWindow::Layout() {
    if (hwnd_ == nullptr || list_ == nullptr)
        return;
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    auto px = [this](int pixels) { return ::MulDiv(pixels, dpi_, 96); };
    const int width = client.right;
    const int height = client.bottom;
    const int margin = px(kMargin);
    const int buttonWidth = px(kButtonWidth);
    const int buttonHeight = px(kButtonHeight);
    const int rowTop = std::max(0, height - margin - buttonHeight);
    int right = width - margin;
    ::MoveWindow(close_, right - buttonWidth, rowTop, buttonWidth, buttonHeight, TRUE);
    right -= buttonWidth + margin;
    ::MoveWindow(export_, right - buttonWidth, rowTop, buttonWidth, buttonHeight, TRUE);
    right -= buttonWidth + margin;
    ::MoveWindow(cancel_, right - buttonWidth, rowTop, buttonWidth, buttonHeight, TRUE);
    right -= buttonWidth + margin;
    ::MoveWindow(progress_, right - px(kProgressWidth), rowTop + px(4), px(kProgressWidth),
                 buttonHeight - px(8), TRUE);
    // The status line takes the room the progress and Cancel leave while they are hidden.
    const int statusRight = working_ ? right - px(kProgressWidth) - margin : right + buttonWidth + margin;
    ::MoveWindow(status_, margin, rowTop + px(4), std::max(0, statusRight - 2 * margin), buttonHeight - px(4),
                 TRUE);
    const bool problems = ::IsWindowVisible(problems_) != FALSE;
    const int problemsHeight = problems ? px(kProblemsHeight) : 0;
    ::MoveWindow(problems_, margin, rowTop - margin - problemsHeight, std::max(0, width - 2 * margin),
                 problemsHeight, TRUE);
    const int listBottom = rowTop - margin - (problems ? problemsHeight + margin : 0);
    ::MoveWindow(list_, margin, margin, std::max(0, width - 2 * margin), std::max(0, listBottom - margin),
                 TRUE);
}

void SummaryWindow::ExportCsv() {
    char path[MAX_PATH] = "summary.csv";
    const std::string filter = std::string(form::kSummaryCsvFilter) + '\0' + "*.csv" + '\0' + '\0';
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd_;
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof path;
    dialog.lpstrDefExt = "csv";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!::GetSaveFileNameA(&dialog))
        return;
    const text::Status written = form_.Export(path);
    if (!written) {
        const std::string text = std::string(form::kSummaryExportFailed) + written.description;
        ::MessageBoxA(hwnd_, text.c_str(), std::string(form::kAppTitle).c_str(), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    ShowStatus(std::string(form::kSummaryExported) + path);
}

// ---- the view the form works through ----

void SummaryWindow::SetTitle(std::string_view title) {
    ::SetWindowTextA(hwnd_, std::string(title).c_str());
}

void SummaryWindow::TableChanged() {
    const form::SummaryTable& table = form_.Table();
    ::SendMessageA(list_, WM_SETREDRAW, FALSE, 0);
    while (columns_ > 0)
        ::SendMessageA(list_, LVM_DELETECOLUMN, WPARAM(--columns_), 0);
    const int shownColumns = form_.HasTable() ? int(table.Columns()) : 0;
    for (int c = 0; c < shownColumns; ++c) {
        const std::string caption = table.Header(std::size_t(c));
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
        column.fmt = table.IsNumber(std::size_t(c)) ? LVCFMT_RIGHT : LVCFMT_LEFT;
        column.cx = ::MulDiv(c == int(form::SummaryTable::kSearchColumn) ? 220 : 90, dpi_, 96);
        column.pszText = const_cast<char*>(caption.c_str());
        column.iSubItem = c;
        ::SendMessageA(list_, LVM_INSERTCOLUMNA, WPARAM(c), reinterpret_cast<LPARAM>(&column));
    }
    columns_ = shownColumns;
    ::SendMessageA(list_, LVM_SETITEMCOUNT, WPARAM(table.Rows()), 0);
    // Each column as wide as its caption or its widest cell, with room for the sort arrow.
    HDC dc = ::GetDC(list_);
    HGDIOBJ oldFont = ::SelectObject(dc, font_);
    auto textWidth = [dc](const std::string& text) {
        SIZE size{};
        ::GetTextExtentPoint32A(dc, text.data(), int(text.size()), &size);
        return int(size.cx);
    };
    const int most = ::MulDiv(400, dpi_, 96);
    for (int c = 0; c < columns_; ++c) {
        int width = textWidth(table.Header(std::size_t(c))) + ::MulDiv(20, dpi_, 96);
        for (std::size_t r = 0; r < table.Rows() && width < most; ++r)
            width = std::max(width, textWidth(table.Cell(r, std::size_t(c))));
        ::SendMessageA(list_, LVM_SETCOLUMNWIDTH, WPARAM(c), std::min(width, most) + ::MulDiv(16, dpi_, 96));
    }
    ::SelectObject(dc, oldFont);
    ::ReleaseDC(list_, dc);
    // The header's arrow shows the order.
    HWND header = reinterpret_cast<HWND>(::SendMessageA(list_, LVM_GETHEADER, 0, 0));
    for (int c = 0; c < columns_ && header != nullptr; ++c) {
        HDITEMA item{};
        item.mask = HDI_FORMAT;
        ::SendMessageA(header, HDM_GETITEMA, WPARAM(c), reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (std::size_t(c) == table.SortColumn())
            item.fmt |= table.SortAscending() ? HDF_SORTUP : HDF_SORTDOWN;
        ::SendMessageA(header, HDM_SETITEMA, WPARAM(c), reinterpret_cast<LPARAM>(&item));
    }
    ::SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list_, nullptr, TRUE);

    const std::string problems = table.Problems();
    ::SetWindowTextA(problems_, problems.c_str());
    ::ShowWindow(problems_, problems.empty() ? SW_HIDE : SW_SHOWNA);
    ::EnableWindow(export_, form_.HasTable() && table.Rows() > 0);
    Layout();
}

void SummaryWindow::ShowWork(std::string_view text, double fraction) {
    statusText_ = text;
    ::SetWindowTextA(status_, statusText_.c_str());
    ::SendMessageA(progress_, PBM_SETPOS, WPARAM(std::clamp(fraction, 0.0, 1.0) * 1000.0), 0);
    if (!working_) {
        working_ = true;
        ::ShowWindow(progress_, SW_SHOWNA);
        ::ShowWindow(cancel_, SW_SHOWNA);
        Layout();
    }
}

void SummaryWindow::ShowStatus(std::string_view text) {
    statusText_ = text;
    ::SetWindowTextA(status_, statusText_.c_str());
    if (working_) {
        working_ = false;
        ::ShowWindow(progress_, SW_HIDE);
        ::ShowWindow(cancel_, SW_HIDE);
        Layout();
    }
}

void SummaryWindow::Post(std::function<void()> work) {
    // Carried by a private message to the window's thread; freed here when the window is gone.
    auto* carried = new std::function<void()>(std::move(work));
    if (closing_ || !::PostMessageA(hwnd_, kPostMessage, 0, reinterpret_cast<LPARAM>(carried)))
        delete carried;
}

} // namespace win32ui
