#include "app/Prompt.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace {

// While a modal box is up the user must be able to point at its button: the hourglass of the work that
// raised the box gives way to the ordinary arrow until the box is closed.
class ArrowWhileModal {
public:
    ArrowWhileModal() : active_(QApplication::overrideCursor() != nullptr) {
        if (active_)
            QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~ArrowWhileModal() {
        if (active_)
            QApplication::restoreOverrideCursor();
    }
    ArrowWhileModal(const ArrowWhileModal&) = delete;
    ArrowWhileModal& operator=(const ArrowWhileModal&) = delete;

private:
    bool active_;
};

QMessageBox::Icon BoxIcon(Prompt::Icon icon) {
    switch (icon) {
    case Prompt::Icon::Information:
        return QMessageBox::Information;
    case Prompt::Icon::Exclamation:
        return QMessageBox::Warning;
    case Prompt::Icon::Critical:
        return QMessageBox::Critical;
    case Prompt::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void QtPrompt::Message(const QString& text, const QString& title, Icon icon) {
    ArrowWhileModal arrow;
    QMessageBox box(BoxIcon(icon), title, text, QMessageBox::Ok, owner_);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void QtPrompt::ShowModal(QDialog& dialog) {
    ArrowWhileModal arrow;
    dialog.exec();
}

void QtPrompt::BeginWait() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtPrompt::EndWait() {
    QApplication::restoreOverrideCursor();
}

QString QtPrompt::AskSavePath(const QString& title, const QString& suggested, const QString& filter) {
    // QFileDialog asks before an existing file is chosen.
    return QFileDialog::getSaveFileName(owner_, title, suggested, filter);
}
