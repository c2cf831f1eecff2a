#include "win32/InstanceWindow.h"

#include "form/Design.h"
#include "win32/MainWindow.h"
#include "win32/Units.h"

namespace win32ui {
namespace {

constexpr int kBoxId = 100;
constexpr UINT_PTR kCloseTimer = 1;

struct DialogState {
    HWND box = nullptr;
    Recorded* record = nullptr;
};

std::string WindowText(HWND hwnd) {
    std::string text(std::size_t(::GetWindowTextLengthA(hwnd)) + 1, '\0');
    text.resize(std::size_t(::GetWindowTextA(hwnd, text.data(), int(text.size()))));
    return text;
}

LRESULT CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<DialogState*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) {
            ::DestroyWindow(hwnd);
            return 0;
        }
        break;
    case WM_TIMER:
        if (wParam == kCloseTimer && state != nullptr) {
            ::KillTimer(hwnd, kCloseTimer);
            if (state->record != nullptr)
                state->record->instanceWindows.push_back(WindowText(hwnd) + ": " + WindowText(state->box));
            ::DestroyWindow(hwnd);
            return 0;
        }
        break;
    case WM_CTLCOLORSTATIC:
        // The read-only box keeps the look of a box to read, not of the dialog's face.
        ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_WINDOW));
        ::SetTextColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
    case WM_CLOSE:
        ::DestroyWindow(hwnd);
        return 0;
    default:
        break;
    }
    return ::DefWindowProcA(hwnd, message, wParam, lParam);
}

const char* RegisterDialogClass(HINSTANCE instance) {
    static const std::string name(form::InstanceWindow().name);
    static const bool registered = [&] {
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DialogProc;
        windowClass.hInstance = instance;
        windowClass.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = name.c_str();
        return ::RegisterClassExA(&windowClass) != 0;
    }();
    return registered ? name.c_str() : nullptr;
}

} // namespace

void ShowInstanceWindow(HWND owner, HFONT font, int dpi, std::string_view caption, std::string_view text,
                        unsigned closeAfterMs, Recorded* record) {
    const form::DialogDesign& design = form::InstanceWindow();
    const HINSTANCE instance = ::GetModuleHandleA(nullptr);
    const char* className = RegisterDialogClass(instance);
    if (className == nullptr)
        return;
    constexpr DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    constexpr DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    RECT frame{0, 0, TwipsToPixels(design.clientWidth, dpi), TwipsToPixels(design.clientHeight, dpi)};
    ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT over{};
    ::GetWindowRect(owner, &over);
    const int left = over.left + ((over.right - over.left) - width) / 2;
    const int top = over.top + ((over.bottom - over.top) - height) / 2;

    // Owned by the main window: not in the taskbar, always above it.
    const std::string title(caption);
    HWND dialog = ::CreateWindowExA(exStyle, className, title.c_str(), style, left, top, width, height, owner,
                                    nullptr, instance, nullptr);
    if (dialog == nullptr)
        return;
    DialogState state;
    ::SetWindowLongPtrA(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    const PixelRect place = BoxToPixels(design.box, dpi);
    state.box = ::CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_READONLY, place.left,
                                  place.top, place.width, place.height, dialog,
                                  reinterpret_cast<HMENU>(INT_PTR{kBoxId}), instance, nullptr);
    state.record = record;
    ::SendMessageA(state.box, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    ::SendMessageA(state.box, EM_SETLIMITTEXT, 0, 0);
    ::SetWindowTextA(state.box, ForEditControl(text).c_str());
    if (closeAfterMs > 0)
        ::SetTimer(dialog, kCloseTimer, closeAfterMs, nullptr);

    ::EnableWindow(owner, FALSE);
    ::ShowWindow(dialog, SW_SHOW);
    ::SetFocus(state.box);
    ::SendMessageA(state.box, EM_SETSEL, 0, 0);
    MSG msg;
    bool quit = false;
    while (::IsWindow(dialog)) {
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got <= 0) {
            quit = true;
            break;
        }
        if (!::IsDialogMessageA(dialog, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    // The owner is enabled again before the dialog goes, so the focus returns to it and not elsewhere.
    ::EnableWindow(owner, TRUE);
    if (::IsWindow(dialog))
        ::DestroyWindow(dialog);
    ::SetActiveWindow(owner);
    if (quit)
        ::PostQuitMessage(int(msg.wParam));
}

} // namespace win32ui
