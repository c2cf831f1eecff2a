// The window program: creates the main window, reports an unreadable settings file once, runs the
// start-up (whose messages come before the window), then shows the window until it is closed.
#include "app/AppIcon.h"
#include "app/Prompt.h"
#include "app/WindowStyle.h"
#include "app/frmMain.h"

#include "settings/Registry.h"
#include "text/Ansi.h"

#include <QApplication>

#include <string>
#include <vector>

namespace {

// One box for all problems of the settings file; a very damaged file names its first problems only.
QString RegistryProblemsText(const std::vector<std::string>& problems) {
    constexpr std::size_t kShown = 10;
    QString text = QStringLiteral("Some lines of the settings file could not be read and were ignored:");
    for (std::size_t i = 0; i < problems.size() && i < kShown; ++i)
        text += QStringLiteral("\n") + QString::fromStdU16String(text::DecodeAnsi(problems[i]));
    if (problems.size() > kShown)
        text += QStringLiteral("\n(and %1 more)").arg(problems.size() - kShown);
    return text;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(windowstyle::kAppTitle);
    QApplication::setWindowIcon(AppIcon());

    QtPrompt prompt;
    frmMain window(prompt);
    prompt.SetOwner(&window);

    const std::vector<std::string> problems = settings::RegistryProblems();
    if (!problems.empty())
        prompt.Message(RegistryProblemsText(problems), windowstyle::kAppTitle, Prompt::Icon::Exclamation);

    window.Form_Load();
    window.show();
    return QApplication::exec();
}
