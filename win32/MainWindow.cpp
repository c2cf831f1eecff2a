#include "win32/MainWindow.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "form/Design.h"
#include "form/Texts.h"
#include "shell/OpenDocument.h"
#include "win32/InstanceWindow.h"
#include "win32/SummaryWindow.h"
#include "win32/Units.h"

namespace win32ui {
namespace {

using form::ControlId;
using form::ControlKind;

constexpr int kControlBaseId = 100;
constexpr int kMenuBaseId = 1000;
constexpr int kCancelId = 2000;
constexpr int kStatusBarId = 2001;
constexpr int kProgressId = 2002;
// The progress bar's and the Cancel button's widths in twips, at the right of the status bar.
constexpr float kProgressTwips = 2400;
constexpr float kCancelTwips = 1000;
// Room the drop-down list gets below its selection field, in twips.
constexpr float kDropDownTwips = 2400;

constexpr std::size_t Index(ControlId id) {
    return static_cast<std::size_t>(id);
}

// GetDpiForWindow is there from Windows 10 (1607); before it the whole system has one DPI.
int DpiOf(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    if (getDpi != nullptr && hwnd != nullptr) {
        const UINT dpi = getDpi(hwnd);
        if (dpi > 0)
            return int(dpi);
    }
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kBaseDpi;
}

std::string WindowText(HWND hwnd) {
    std::string text(std::size_t(::GetWindowTextLengthA(hwnd)) + 1, '\0');
    text.resize(std::size_t(::GetWindowTextA(hwnd, text.data(), int(text.size()))));
    return text;
}

std::string ListItem(HWND list, int index) {
    const LRESULT length = ::SendMessageA(list, LB_GETTEXTLEN, WPARAM(index), 0);
    if (length == LB_ERR)
        return {};
    std::string item(std::size_t(length) + 1, '\0');
    const LRESULT got =
        ::SendMessageA(list, LB_GETTEXT, WPARAM(index), reinterpret_cast<LPARAM>(item.data()));
    item.resize(got == LB_ERR ? 0 : std::size_t(got));
    return item;
}

// The status bar forwards its children's commands (the Cancel button) to the main window.
LRESULT CALLBACK StatusBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR /*id*/,
                               DWORD_PTR /*data*/) {
    if (message == WM_COMMAND)
        return ::SendMessageA(::GetParent(hwnd), message, wParam, lParam);
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

const form::MenuItemDesign* MenuItemOf(int id) {
    int next = kMenuBaseId;
    for (const form::MenuDesign& menu : form::Menus()) {
        for (const form::MenuItemDesign& item : menu.items) {
            if (next++ == id)
                return &item;
        }
    }
    return nullptr;
}

} // namespace

MainWindow::MainWindow(HINSTANCE instance, std::string catalogueDirectory)
    : instance_(instance), form_(*this, std::move(catalogueDirectory)) {
    const form::WindowDesign& design = form::MainWindow();
    const std::string className(design.name);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconA(instance, MAKEINTRESOURCEA(1));
    windowClass.hIconSm =
        static_cast<HICON>(::LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON,
                                        ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
    windowClass.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className.c_str();
    ::RegisterClassExA(&windowClass);

    const std::string caption(design.caption);
    hwnd_ = ::CreateWindowExA(WS_EX_CONTROLPARENT, className.c_str(), caption.c_str(),
                              WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT, 640, 480,
                              nullptr, nullptr, instance, this);
    if (hwnd_ == nullptr)
        return;
    dpi_ = DpiOf(hwnd_);
    CreateFonts();
    CreateMenus();
    CreateControls();
    CreateStatusBar();
    ApplyFonts();
    // Lists show whole rows only, the event list too (the resize rules keep the other two so).
    for (const form::ControlDesign& design : form::Controls()) {
        if (design.kind == ControlKind::ListBox) {
            form::Box place = design.place;
            place.Height = WholeItemsHeight(design.id, place.Height);
            Place(design.id, place);
        }
    }

    // The client area is the design's, with the status bar below it.
    RECT outer{};
    RECT client{};
    ::GetWindowRect(hwnd_, &outer);
    ::GetClientRect(hwnd_, &client);
    RECT bar{};
    ::GetWindowRect(statusBar_, &bar);
    const int width = TwipsToPixels(design.clientWidth, dpi_) + (outer.right - outer.left) - client.right;
    const int height = TwipsToPixels(design.clientHeight, dpi_) + (bar.bottom - bar.top) +
                       (outer.bottom - outer.top) - client.bottom;
    ready_ = true;
    ::SetWindowPos(hwnd_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetFocus(ControlHandle(form::TabOrder().front()));
}

MainWindow::~MainWindow() {
    // The work under way is stopped while everything it reports to is still there.
    form_.StopWork();
    summary_.reset(); // it refers to the form
    if (::IsWindow(hwnd_))
        ::DestroyWindow(hwnd_);
    DrainPosted();
    if (font_ != nullptr)
        ::DeleteObject(font_);
    if (boldFont_ != nullptr)
        ::DeleteObject(boldFont_);
    if (accelerators_ != nullptr)
        ::DestroyAcceleratorTable(accelerators_);
}

void MainWindow::CreateFonts() {
    const form::WindowDesign& design = form::MainWindow();
    const std::string face(design.fontFace);
    const int height = FontHeight(design.fontPoints, dpi_);
    HFONT regular = ::CreateFontA(height, 0, 0, 0, design.regularWeight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                  DEFAULT_PITCH | FF_SWISS, face.c_str());
    HFONT bold = ::CreateFontA(height, 0, 0, 0, design.boldWeight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                               DEFAULT_PITCH | FF_SWISS, face.c_str());
    if (font_ != nullptr)
        ::DeleteObject(font_);
    if (boldFont_ != nullptr)
        ::DeleteObject(boldFont_);
    font_ = regular;
    boldFont_ = bold;
}

void MainWindow::ApplyFonts() {
    for (const form::ControlDesign& design : form::Controls()) {
        HWND control = ControlHandle(design.id);
        ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(design.bold ? boldFont_ : font_), TRUE);
        if (design.kind == ControlKind::ListBox) {
            // Every list's rows are one line of the font high, the owner-drawn instance list's too.
            HDC dc = ::GetDC(control);
            HGDIOBJ old = ::SelectObject(dc, font_);
            TEXTMETRICA metrics{};
            ::GetTextMetricsA(dc, &metrics);
            ::SelectObject(dc, old);
            ::ReleaseDC(control, dc);
            ::SendMessageA(control, LB_SETITEMHEIGHT, 0, MAKELPARAM(metrics.tmHeight, 0));
        }
    }
    ::SendMessageA(statusBar_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    ::SendMessageA(statusCancel_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
}

void MainWindow::CreateMenus() {
    HMENU bar = ::CreateMenu();
    std::vector<ACCEL> accelerators;
    int id = kMenuBaseId;
    for (const form::MenuDesign& menuDesign : form::Menus()) {
        HMENU menu = ::CreatePopupMenu();
        for (const form::MenuItemDesign& item : menuDesign.items) {
            const std::string caption(item.caption);
            if (item.separator())
                ::AppendMenuA(menu, MF_SEPARATOR, UINT_PTR(id), nullptr);
            else if (item.shortcut.empty())
                ::AppendMenuA(menu, MF_STRING, UINT_PTR(id), caption.c_str());
            else
                ::AppendMenuA(menu, MF_STRING, UINT_PTR(id),
                              (caption + "\t" + std::string(item.shortcut)).c_str());
            // The function keys of the menus work through the accelerator table.
            if (item.shortcut.size() >= 2 && item.shortcut[0] == 'F') {
                const int number = std::atoi(std::string(item.shortcut.substr(1)).c_str());
                if (number >= 1 && number <= 12)
                    accelerators.push_back({FVIRTKEY, WORD(VK_F1 + number - 1), WORD(id)});
            }
            ++id;
        }
        const std::string caption(menuDesign.caption);
        ::AppendMenuA(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(menu), caption.c_str());
    }
    ::SetMenu(hwnd_, bar);
    if (!accelerators.empty())
        accelerators_ = ::CreateAcceleratorTableA(accelerators.data(), int(accelerators.size()));
}

void MainWindow::CreateControls() {
    for (const form::ControlDesign& design : form::Controls()) {
        const char* className = "STATIC";
        DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
        DWORD exStyle = 0;
        std::string caption(design.caption);
        switch (design.kind) {
        case ControlKind::DropDownList:
            className = "COMBOBOX";
            style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
            break;
        case ControlKind::CommandButton:
            className = "BUTTON";
            style |= WS_TABSTOP | BS_PUSHBUTTON;
            break;
        case ControlKind::TextBox:
            className = "EDIT";
            exStyle = WS_EX_CLIENTEDGE;
            style |= WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
            if (design.horizontalScroll)
                style |= WS_HSCROLL | ES_AUTOHSCROLL;
            if (design.verticalScroll)
                style |= WS_VSCROLL;
            break;
        case ControlKind::ListBox:
            className = "LISTBOX";
            exStyle = WS_EX_CLIENTEDGE;
            // Whole rows are kept by the layout (WholeItemsHeight), so the list itself never shrinks.
            style |= WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_USETABSTOPS;
            if (design.id == ControlId::lstinstances)
                style |= LBS_NODATA | LBS_OWNERDRAWFIXED; // rows are drawn from the form, never copied
            break;
        case ControlKind::Label:
            style |= SS_LEFT | SS_NOPREFIX;
            break;
        }
        const PixelRect place = BoxToPixels(design.place, dpi_);
        const int height = design.kind == ControlKind::DropDownList
                               ? place.height + TwipsToPixels(kDropDownTwips, dpi_)
                               : place.height;
        HWND control = ::CreateWindowExA(
            exStyle, className, caption.c_str(), style, place.left, place.top, place.width, height, hwnd_,
            reinterpret_cast<HMENU>(INT_PTR(kControlBaseId + int(Index(design.id)))), instance_, nullptr);
        if (design.kind == ControlKind::TextBox)
            ::SendMessageA(control, EM_SETLIMITTEXT, 0, 0);
        controls_[Index(design.id)] = control;
        places_[Index(design.id)] = design.place;
    }
    // Tab order is the order of the children: the design's tab order first, the labels beneath them.
    HWND after = HWND_TOP;
    for (ControlId id : form::TabOrder()) {
        ::SetWindowPos(ControlHandle(id), after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = ControlHandle(id);
    }
    for (const form::ControlDesign& design : form::Controls()) {
        if (design.kind == ControlKind::Label)
            ::SetWindowPos(ControlHandle(design.id), HWND_BOTTOM, 0, 0, 0, 0,
                           SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

void MainWindow::CreateStatusBar() {
    statusBar_ =
        ::CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, hwnd_,
                          reinterpret_cast<HMENU>(INT_PTR{kStatusBarId}), instance_, nullptr);
    ::SetWindowSubclass(statusBar_, StatusBarProc, 1, 0);
    statusProgress_ = ::CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD, 0, 0, 0, 0, statusBar_,
                                        reinterpret_cast<HMENU>(INT_PTR{kProgressId}), instance_, nullptr);
    ::SendMessageA(statusProgress_, PBM_SETRANGE32, 0, 1000);
    const std::string cancel(form::kCancelButtonCaption);
    statusCancel_ =
        ::CreateWindowExA(0, "BUTTON", cancel.c_str(), WS_CHILD | BS_PUSHBUTTON, 0, 0, 0, 0, statusBar_,
                          reinterpret_cast<HMENU>(INT_PTR{kCancelId}), instance_, nullptr);
}

void MainWindow::LayoutStatusBar() {
    if (statusBar_ == nullptr)
        return;
    ::SendMessageA(statusBar_, WM_SIZE, 0, 0);
    RECT bar{};
    ::GetClientRect(statusBar_, &bar);
    const int grip = ::GetSystemMetrics(SM_CXVSCROLL);
    const int cancel = TwipsToPixels(kCancelTwips, dpi_);
    const int progress = TwipsToPixels(kProgressTwips, dpi_);
    const int right = std::max(0, int(bar.right) - grip);
    int edges[3] = {std::max(0, right - cancel - progress), std::max(0, right - cancel), -1};
    ::SendMessageA(statusBar_, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(edges));
    RECT part{};
    ::SendMessageA(statusBar_, SB_GETRECT, 1, reinterpret_cast<LPARAM>(&part));
    ::MoveWindow(statusProgress_, part.left + 2, part.top + 2, part.right - part.left - 4,
                 part.bottom - part.top - 4, TRUE);
    ::SendMessageA(statusBar_, SB_GETRECT, 2, reinterpret_cast<LPARAM>(&part));
    ::MoveWindow(statusCancel_, part.left + 1, part.top + 1,
                 std::min<int>(cancel, part.right - part.left) - 2, part.bottom - part.top - 2, TRUE);
}

void MainWindow::PlaceAll() {
    for (const form::ControlDesign& design : form::Controls())
        Place(design.id, places_[Index(design.id)]);
}

void MainWindow::Show(int showCommand) {
    // Centred on the work area of the monitor it opens on.
    RECT outer{};
    ::GetWindowRect(hwnd_, &outer);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (::GetMonitorInfoA(::MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        const int width = outer.right - outer.left;
        const int height = outer.bottom - outer.top;
        ::SetWindowPos(hwnd_, nullptr, work.left + std::max(0, int(work.right - work.left - width) / 2),
                       work.top + std::max(0, int(work.bottom - work.top - height) / 2), 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::ShowWindow(hwnd_, showCommand);
    ::UpdateWindow(hwnd_);
    ::SetFocus(ControlHandle(form::TabOrder().front()));
}

int MainWindow::Run() {
    MSG msg{};
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        // Tab, the access keys and Esc work as in a dialog.
        if (::IsWindow(hwnd_) && accelerators_ != nullptr &&
            ::TranslateAcceleratorA(hwnd_, accelerators_, &msg))
            continue;
        if (::IsWindow(hwnd_) && CopyKey(msg))
            continue;
        if (::IsWindow(hwnd_) && ::IsDialogMessageA(hwnd_, &msg))
            continue;
        if (summary_ && summary_->DialogMessage(msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    DrainPosted();
    return int(msg.wParam);
}

void MainWindow::DrainPosted() {
    // Work posted but not run is freed, not leaked.
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, kPostMessage, kPostMessage, PM_REMOVE))
        delete reinterpret_cast<std::function<void()>*>(msg.lParam);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* window = reinterpret_cast<MainWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (window == nullptr || window->hwnd_ != hwnd)
        return ::DefWindowProcA(hwnd, message, wParam, lParam);
    return window->Handle(message, wParam, lParam);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kPostMessage: {
        std::unique_ptr<std::function<void()>> work(reinterpret_cast<std::function<void()>*>(lParam));
        if (!closing_ && work && *work)
            (*work)();
        return 0;
    }
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_SIZE:
        LayoutStatusBar();
        if (ready_)
            form_.Form_Resize();
        return 0;
    case 0x02E0: { // WM_DPICHANGED: fonts and places at the new DPI, then the size Windows suggests
        dpi_ = HIWORD(wParam);
        CreateFonts();
        ApplyFonts();
        PlaceAll();
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_SETCURSOR:
        if (waits_ > 0) {
            ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
            return TRUE;
        }
        break;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item->hwndItem == ControlHandle(ControlId::lstinstances)) {
            DrawInstanceRow(*item);
            return TRUE;
        }
        break;
    }
    case WM_CTLCOLORSTATIC: {
        // The read-only boxes keep the colours of a box to read, not of the window's face.
        const HWND from = reinterpret_cast<HWND>(lParam);
        if (from == ControlHandle(ControlId::txtErrorDescription) ||
            from == ControlHandle(ControlId::txtTranscript)) {
            ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_INFOBK));
            ::SetTextColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_INFOTEXT));
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_INFOBK));
        }
        break;
    }
    case WM_CONTEXTMENU: {
        const HWND from = reinterpret_cast<HWND>(wParam);
        if (from == ControlHandle(ControlId::LstErrors) || from == ControlHandle(ControlId::lstinstances)) {
            ShowListMenu(from, lParam);
            return 0;
        }
        break;
    }
    case WM_CLOSE:
        // Closing ends the program at once: the work under way is stopped, not waited for.
        closing_ = true;
        form_.StopWork();
        ::DestroyWindow(hwnd_);
        return 0;
    case WM_DESTROY:
        closing_ = true;
        ::PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return ::DefWindowProcA(hwnd_, message, wParam, lParam);
}

void MainWindow::OnCommand(int id, int code, HWND from) {
    if (id == IDCANCEL && from == nullptr) {
        form_.CancelWork(); // Esc
        return;
    }
    if (id == kCancelId && code == BN_CLICKED) {
        form_.CancelWork();
        return;
    }
    switch (id) {
    case kCopyEventCommand:
        form_.CopyEventRow();
        return;
    case kExportEventsCommand:
        form_.mnuExportEvents_Click();
        return;
    case kCopyInstanceCommand:
        form_.CopyInstanceRow();
        return;
    case kExportInstancesCommand:
        form_.mnuExportInstances_Click();
        return;
    default:
        break;
    }
    // A menu item (code 0) or its accelerator (code 1).
    if (from == nullptr && (code == 0 || code == 1)) {
        if (const form::MenuItemDesign* item = MenuItemOf(id); item != nullptr)
            form_.RunMenuCommand(item->command);
        return;
    }
    if (id < kControlBaseId || id >= kControlBaseId + int(form::kControlCount))
        return;
    switch (static_cast<ControlId>(id - kControlBaseId)) {
    case ControlId::lstLogSource:
        if (code == CBN_SELCHANGE)
            form_.lstLogSource_Click();
        break;
    case ControlId::lstFiles:
        if (code == LBN_SELCHANGE)
            form_.lstFiles_Click();
        break;
    case ControlId::LstErrors:
        if (code == LBN_SELCHANGE)
            form_.LstErrors_Click();
        break;
    case ControlId::lstinstances:
        if (code == LBN_SELCHANGE)
            form_.lstinstances_Click();
        else if (code == LBN_DBLCLK)
            form_.lstinstances_DblClick();
        break;
    case ControlId::CmdMore:
        if (code == BN_CLICKED)
            form_.CmdMore_Click();
        break;
    default:
        break;
    }
}

void MainWindow::DrawInstanceRow(const DRAWITEMSTRUCT& item) {
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    HDC dc = item.hDC;
    ::FillRect(dc, &item.rcItem, ::GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    if (item.itemID != UINT(-1)) {
        const std::string row = form_.InstanceRow(item.itemID);
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        HGDIOBJ old = ::SelectObject(dc, font_);
        ::TabbedTextOutA(dc, item.rcItem.left + 2, item.rcItem.top, row.data(), int(row.size()), 0, nullptr,
                         item.rcItem.left + 2);
        ::SelectObject(dc, old);
    }
    if ((item.itemState & ODS_FOCUS) != 0)
        ::DrawFocusRect(dc, &item.rcItem);
}

int MainWindow::RowHeight(ControlId list) const {
    const LRESULT height = ::SendMessageA(ControlHandle(list), LB_GETITEMHEIGHT, 0, 0);
    return height == LB_ERR ? 0 : int(height);
}

HWND MainWindow::ItemList(form::ListId list) const {
    switch (list) {
    case form::ListId::lstLogSource:
        return ControlHandle(ControlId::lstLogSource);
    case form::ListId::lstFiles:
        return ControlHandle(ControlId::lstFiles);
    case form::ListId::LstErrors:
        return ControlHandle(ControlId::LstErrors);
    }
    return nullptr;
}

// ---- the view the form works through ----

void MainWindow::ClearList(form::ListId list) {
    if (list == form::ListId::lstLogSource)
        ::SendMessageA(ItemList(list), CB_RESETCONTENT, 0, 0);
    else
        ::SendMessageA(ItemList(list), LB_RESETCONTENT, 0, 0);
}

void MainWindow::AppendItem(form::ListId list, std::string_view item) {
    const std::string text(item);
    const UINT add = list == form::ListId::lstLogSource ? CB_ADDSTRING : LB_ADDSTRING;
    ::SendMessageA(ItemList(list), add, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

int MainWindow::SelectedIndex(form::ListId list) const {
    const UINT get = list == form::ListId::lstLogSource ? CB_GETCURSEL : LB_GETCURSEL;
    const LRESULT index = ::SendMessageA(ItemList(list), get, 0, 0);
    return index < 0 ? -1 : int(index);
}

std::string MainWindow::SelectedItem(form::ListId list) const {
    const int index = SelectedIndex(list);
    if (index < 0)
        return {};
    if (list != form::ListId::lstLogSource)
        return ListItem(ItemList(list), index);
    HWND combo = ItemList(list);
    const LRESULT length = ::SendMessageA(combo, CB_GETLBTEXTLEN, WPARAM(index), 0);
    if (length == CB_ERR)
        return {};
    std::string item(std::size_t(length) + 1, '\0');
    const LRESULT got =
        ::SendMessageA(combo, CB_GETLBTEXT, WPARAM(index), reinterpret_cast<LPARAM>(item.data()));
    item.resize(got == CB_ERR ? 0 : std::size_t(got));
    return item;
}

void MainWindow::SelectIndex(form::ListId list, int index) {
    if (list == form::ListId::lstLogSource) {
        // The combo box does not notify a selection made by the program; the toolkits' own do, so it is
        // reported here.
        ::SendMessageA(ItemList(list), CB_SETCURSEL, WPARAM(index), 0);
        form_.lstLogSource_Click();
        return;
    }
    ::SendMessageA(ItemList(list), LB_SETCURSEL, WPARAM(index), 0);
}

void MainWindow::SetText(form::TextId box, std::string_view text) {
    const ControlId id =
        box == form::TextId::txtTranscript ? ControlId::txtTranscript : ControlId::txtErrorDescription;
    ::SetWindowTextA(ControlHandle(id), ForEditControl(text).c_str());
}

void MainWindow::SetDirectoryCaption(std::string_view caption) {
    ::SetWindowTextA(ControlHandle(ControlId::lblLogFileRootDirectory), std::string(caption).c_str());
}

void MainWindow::InstancesChanged() {
    HWND list = ControlHandle(ControlId::lstinstances);
    const std::size_t count = std::min<std::size_t>(form_.InstanceCount(), INT_MAX);
    ::SendMessageA(list, LB_SETCOUNT, WPARAM(count), 0);
    ::SendMessageA(list, LB_SETCURSEL, WPARAM(-1), 0);
    ::InvalidateRect(list, nullptr, TRUE);
}

long long MainWindow::SelectedInstance() const {
    const LRESULT row = ::SendMessageA(ControlHandle(ControlId::lstinstances), LB_GETCURSEL, 0, 0);
    return row < 0 ? -1 : row;
}

void MainWindow::Message(std::string_view text, std::string_view title, form::Icon icon) {
    if (record_ != nullptr) {
        record_->messages.push_back(std::string(title) + ": " + std::string(text));
        return;
    }
    UINT flags = MB_OK;
    switch (icon) {
    case form::Icon::None:
        break;
    case form::Icon::Information:
        flags |= MB_ICONINFORMATION;
        break;
    case form::Icon::Exclamation:
        flags |= MB_ICONEXCLAMATION;
        break;
    case form::Icon::Critical:
        flags |= MB_ICONERROR;
        break;
    }
    // The box comes with the arrow, whatever work is under way.
    const int waits = waits_;
    waits_ = 0;
    ::MessageBoxA(::IsWindowVisible(hwnd_) ? hwnd_ : nullptr, std::string(text).c_str(),
                  std::string(title).c_str(), flags);
    waits_ = waits;
}

void MainWindow::BeginWait() {
    if (waits_++ == 0)
        ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
}

void MainWindow::EndWait() {
    if (waits_ > 0 && --waits_ == 0) {
        // The pointer is put back at once, not at its next move.
        POINT where{};
        ::GetCursorPos(&where);
        ::SetCursorPos(where.x, where.y);
        ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
    }
}

void MainWindow::ShowInstanceWindow(std::string_view caption, std::string_view text) {
    win32ui::ShowInstanceWindow(hwnd_, font_, dpi_, caption, text, record_ != nullptr ? 800 : 0, record_);
}

int MainWindow::ShellOpen(std::string_view target) {
    return shell::ShellOpen(target);
}

void MainWindow::CloseWindow() {
    ::SendMessageA(hwnd_, WM_CLOSE, 0, 0);
}

void MainWindow::Post(std::function<void()> work) {
    // Carried by a private message to the window's thread; freed here when the window is gone.
    auto* carried = new std::function<void()>(std::move(work));
    if (closing_ || !::PostMessageA(hwnd_, kPostMessage, 0, reinterpret_cast<LPARAM>(carried)))
        delete carried;
}

void MainWindow::ShowWork(std::string_view text, double fraction) {
    statusText_ = text;
    ::SendMessageA(statusBar_, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(statusText_.c_str()));
    ::SendMessageA(statusProgress_, PBM_SETPOS, WPARAM(std::clamp(fraction, 0.0, 1.0) * 1000.0), 0);
    if (!working_) {
        working_ = true;
        ::ShowWindow(statusProgress_, SW_SHOWNA);
        ::ShowWindow(statusCancel_, SW_SHOWNA);
    }
}

void MainWindow::ShowStatus(std::string_view text) {
    statusText_ = text;
    ::SendMessageA(statusBar_, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(statusText_.c_str()));
    working_ = false;
    ::ShowWindow(statusProgress_, SW_HIDE);
    ::ShowWindow(statusCancel_, SW_HIDE);
}

form::Box MainWindow::OuterBox() const {
    // The status bar is below the design's window: the controls follow the size above it.
    RECT outer{};
    ::GetWindowRect(hwnd_, &outer);
    RECT bar{};
    int barHeight = 0;
    if (statusBar_ != nullptr && ::GetWindowRect(statusBar_, &bar))
        barHeight = bar.bottom - bar.top;
    return {0, 0, PixelsToTwips(outer.right - outer.left, dpi_),
            PixelsToTwips(outer.bottom - outer.top - barHeight, dpi_)};
}

bool MainWindow::IsMinimized() const {
    return ::IsIconic(hwnd_) != FALSE;
}

form::Box MainWindow::PlaceOf(ControlId control) const {
    return places_[Index(control)];
}

void MainWindow::Place(ControlId control, const form::Box& place) {
    places_[Index(control)] = place;
    const PixelRect pixels = BoxToPixels(place, dpi_);
    int height = pixels.height;
    if (form::Control(control).kind == ControlKind::DropDownList)
        height += TwipsToPixels(kDropDownTwips, dpi_);
    ::MoveWindow(ControlHandle(control), pixels.left, pixels.top, pixels.width, height, TRUE);
}

float MainWindow::WholeItemsHeight(ControlId list, float requested) const {
    HWND handle = ControlHandle(list);
    RECT outer{};
    RECT inner{};
    ::GetWindowRect(handle, &outer);
    ::GetClientRect(handle, &inner);
    const int frame = (outer.bottom - outer.top) - inner.bottom;
    return PixelsToTwips(WholeRowsHeight(TwipsToPixels(requested, dpi_), RowHeight(list), frame), dpi_);
}

std::string MainWindow::TextOf(ControlId control) const {
    return WindowText(ControlHandle(control));
}

std::vector<std::string> MainWindow::ItemsOf(ControlId control) const {
    std::vector<std::string> items;
    HWND handle = ControlHandle(control);
    if (control == ControlId::lstinstances) {
        for (std::size_t row = 0; row < form_.InstanceCount(); ++row)
            items.push_back(form_.InstanceRow(row));
    } else if (control == ControlId::lstLogSource) {
        const LRESULT count = ::SendMessageA(handle, CB_GETCOUNT, 0, 0);
        for (int i = 0; i < int(count); ++i) {
            char item[256] = {};
            if (::SendMessageA(handle, CB_GETLBTEXTLEN, WPARAM(i), 0) < LRESULT(sizeof item))
                ::SendMessageA(handle, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(item));
            items.emplace_back(item);
        }
    } else {
        const LRESULT count = ::SendMessageA(handle, LB_GETCOUNT, 0, 0);
        for (int i = 0; i < int(count); ++i)
            items.push_back(ListItem(handle, i));
    }
    return items;
}

void MainWindow::ShowSummaryWindow(const form::SummaryRequest& request) {
    if (!summary_)
        summary_ = std::make_unique<SummaryWindow>(instance_, hwnd_, font_, dpi_, form_);
    summary_->Start(request);
}

std::string MainWindow::StatusText() const {
    return statusText_;
}

std::string MainWindow::FontFace() const {
    HDC dc = ::GetDC(hwnd_);
    HGDIOBJ old = ::SelectObject(dc, font_);
    char face[LF_FACESIZE] = {};
    ::GetTextFaceA(dc, LF_FACESIZE, face);
    TEXTMETRICA metrics{};
    ::GetTextMetricsA(dc, &metrics);
    ::SelectObject(dc, old);
    ::ReleaseDC(hwnd_, dc);
    return std::string(face) + ", " + std::to_string(metrics.tmHeight) + " px";
}

// ---- the lists' context menus, the clipboard and the save dialog ----

void MainWindow::ShowListMenu(HWND list, LPARAM at) {
    const bool events = list == ControlHandle(ControlId::LstErrors);
    POINT where{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    if (at == LPARAM(-1)) {
        // From the keyboard (Shift+F10, the menu key): at the list's top left corner.
        RECT place{};
        ::GetWindowRect(list, &place);
        where = {place.left, place.top};
    }
    HMENU menu = ::CreatePopupMenu();
    const std::string copy = std::string(form::kCopyCaption) + "\tCtrl+C";
    const std::string exportList(events ? form::kExportEventsCaption : form::kExportInstancesCaption);
    ::AppendMenuA(menu, MF_STRING, UINT_PTR(events ? kCopyEventCommand : kCopyInstanceCommand), copy.c_str());
    ::AppendMenuA(menu, MF_STRING, UINT_PTR(events ? kExportEventsCommand : kExportInstancesCommand),
                  exportList.c_str());
    // The chosen command arrives as WM_COMMAND, as a menu bar item's does.
    ::TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, where.x, where.y, 0, hwnd_, nullptr);
    ::DestroyMenu(menu);
}

bool MainWindow::CopyKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != 'C' || (::GetKeyState(VK_CONTROL) & 0x8000) == 0)
        return false;
    if (msg.hwnd == ControlHandle(ControlId::LstErrors)) {
        form_.CopyEventRow();
        return true;
    }
    if (msg.hwnd == ControlHandle(ControlId::lstinstances)) {
        form_.CopyInstanceRow();
        return true;
    }
    return false;
}

void MainWindow::CopyToClipboard(std::string_view text) {
    // As UTF-16, which every program reads; the ANSI bytes are decoded in the system's code page.
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    if (length < 0 || !::OpenClipboard(hwnd_))
        return;
    ::EmptyClipboard();
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, (std::size_t(length) + 1) * sizeof(wchar_t));
    if (memory != nullptr) {
        auto* wide = static_cast<wchar_t*>(::GlobalLock(memory));
        if (wide != nullptr) {
            ::MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), wide, length);
            wide[length] = L'\0';
            ::GlobalUnlock(memory);
            if (::SetClipboardData(CF_UNICODETEXT, memory) == nullptr)
                ::GlobalFree(memory);
        } else {
            ::GlobalFree(memory);
        }
    }
    ::CloseClipboard();
}

std::string MainWindow::ClipboardText() const {
    std::string text;
    if (!::OpenClipboard(hwnd_))
        return text;
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT); data != nullptr) {
        if (const auto* wide = static_cast<const wchar_t*>(::GlobalLock(data)); wide != nullptr) {
            const int bytes = ::WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
            if (bytes > 1) {
                text.resize(std::size_t(bytes));
                ::WideCharToMultiByte(CP_ACP, 0, wide, -1, text.data(), bytes, nullptr, nullptr);
                text.resize(std::size_t(bytes) - 1);
            }
            ::GlobalUnlock(data);
        }
    }
    ::CloseClipboard();
    return text;
}

std::optional<std::string> MainWindow::AskSavePath(std::string_view title, std::string_view suggestedName,
                                                   std::string_view kindName, std::string_view extension) {
    if (record_ != nullptr) {
        record_->savePrompts.push_back(std::string(title) + ": " + std::string(suggestedName));
        if (record_->savePath.empty())
            return std::nullopt;
        return record_->savePath;
    }
    // "CSV files (*.csv)" NUL "*.csv" NUL "All files (*.*)" NUL "*.*" NUL NUL
    const std::string pattern = "*." + std::string(extension);
    std::string filter = std::string(kindName) + " (" + pattern + ")";
    filter.push_back('\0');
    filter += pattern;
    filter.push_back('\0');
    filter += "All files (*.*)";
    filter.push_back('\0');
    filter += "*.*";
    filter.push_back('\0');
    const std::string caption(title);
    const std::string defaultExtension(extension);
    std::string path(std::size_t{32768}, '\0');
    std::copy_n(suggestedName.begin(), std::min(suggestedName.size(), path.size() - 1), path.begin());
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd_;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = DWORD(path.size());
    dialog.lpstrTitle = caption.c_str();
    dialog.lpstrDefExt = defaultExtension.c_str();
    dialog.Flags =
        OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_EXPLORER;
    // The dialog comes with the arrow, whatever work is under way.
    const int waits = waits_;
    waits_ = 0;
    const BOOL chosen = ::GetSaveFileNameA(&dialog);
    waits_ = waits;
    if (!chosen)
        return std::nullopt;
    path.resize(std::strlen(path.c_str()));
    return path;
}

} // namespace win32ui
