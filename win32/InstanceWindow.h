// The instance window in native Win32: a fixed dialog frame centred on its owner, not in the taskbar, with
// one multi-line box without scroll bars that has the focus; shown modally and discarded when closed.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace win32ui {

struct Recorded;

// Shows the window over owner (disabled meanwhile) and returns when the user has closed it (Esc, Enter or
// the close box). With closeAfterMs above 0 it closes itself after that long and, with record, writes
// what it showed there first (the self-test).
void ShowInstanceWindow(HWND owner, HFONT font, int dpi, std::string_view caption, std::string_view text,
                        unsigned closeAfterMs = 0, Recorded* record = nullptr);

} // namespace win32ui
