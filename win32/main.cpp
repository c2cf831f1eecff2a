// The window program on Windows: creates the main window, runs the start-up (whose messages come before the
// window), then shows the window until it is closed. "--selftest REPORT" drives the window through its road
// and writes what it showed (SelfTest.h).
#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <string>

#include "text/Paths.h"
#include "win32/MainWindow.h"
#include "win32/SelfTest.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int showCommand) {
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    std::string report;
    if (__argc == 3 && std::strcmp(__argv[1], "--selftest") == 0)
        report = __argv[2];

    win32ui::MainWindow window(instance, text::ProgramDirectory());
    if (window.Handle() == nullptr)
        return 1;
    if (!report.empty())
        win32ui::StartSelfTest(window, report);
    window.Form().ShowRegistryProblems();
    window.Form().Form_Load();
    window.Show(showCommand);
    return window.Run();
}
