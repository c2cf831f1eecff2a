// The window program: creates the main window, reports an unreadable settings file once, runs the
// start-up (whose messages come before the window), then shows the window until it is closed.
#include "app/AppIcon.h"
#include "app/Prompt.h"
#include "app/WindowStyle.h"
#include "app/frmMain.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(windowstyle::kAppTitle);
    QApplication::setWindowIcon(AppIcon());

    QtPrompt prompt;
    frmMain window(prompt);
    prompt.SetOwner(&window);

    window.Form().ShowRegistryProblems();
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
