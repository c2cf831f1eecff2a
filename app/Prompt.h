// The Qt window's one way to talk to the user outside its own controls: message boxes, the application-wide
// wait cursor and modal windows. The program uses QtPrompt; GUI tests put a recorder in its place so that
// nothing blocks.
#pragma once

#include <QString>

#include "form/View.h"

class QDialog;
class QWidget;

class Prompt {
public:
    // The icon of a message box, as the form names it. Exclamation is the warning triangle.
    using Icon = form::Icon;

    virtual ~Prompt() = default;

    // Shows a modal message box with an OK button and returns when the user has closed it.
    virtual void Message(const QString& text, const QString& title, Icon icon) = 0;
    // Shows the dialog modally and returns when the user has closed it.
    virtual void ShowModal(QDialog& dialog) = 0;
    // Sets the application-wide pointer to the hourglass; calls nest, each EndWait undoes one BeginWait.
    virtual void BeginWait() = 0;
    virtual void EndWait() = 0;
    // The save dialog titled `title`, offering `suggested` and files matching `filter` (as Qt writes it:
    // "CSV files (*.csv)"); the chosen path, or an empty text when the user cancelled.
    virtual QString AskSavePath(const QString& title, const QString& suggested, const QString& filter) = 0;
};

// The real prompt: QMessageBox with an OK button, QApplication's override cursor, QDialog::exec.
class QtPrompt final : public Prompt {
public:
    // owner: the window over which message boxes are centred (may be set later, may be null).
    explicit QtPrompt(QWidget* owner = nullptr) : owner_(owner) {}
    void SetOwner(QWidget* owner) { owner_ = owner; }

    void Message(const QString& text, const QString& title, Icon icon) override;
    void ShowModal(QDialog& dialog) override;
    void BeginWait() override;
    void EndWait() override;
    QString AskSavePath(const QString& title, const QString& suggested, const QString& filter) override;

private:
    QWidget* owner_;
};
