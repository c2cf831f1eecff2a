// What the Qt window's tests share: a prompt that records message boxes, modal windows and the wait
// cursor instead of blocking, and a fixture that runs the real window, offscreen, over the road of the
// form's tests (library server, registry export file, logs), with controls found by their object names.
#pragma once

#include <QDialog>
#include <QListView>
#include <QListWidget>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTest>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/Prompt.h"
#include "app/frmMain.h"
#include "support/Road.h"

// Test failures show texts as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace apptest {

struct RecordedMessage {
    QString text;
    QString title;
    Prompt::Icon icon;
    int waitDepth; // hourglass calls open while the box was shown
};

// What a modal window looked like when it was shown.
struct RecordedModal {
    QString caption;
    QString text; // the text of its txtError box
    QSize size;
    QSize minimumSize;
    QSize maximumSize;
    Qt::WindowFlags flags;
    QWidget* parent = nullptr;
    QRect boxGeometry;
    bool boxHasFocus = false;
    Qt::ScrollBarPolicy boxVertical = Qt::ScrollBarAsNeeded;
    Qt::ScrollBarPolicy boxHorizontal = Qt::ScrollBarAsNeeded;
};

class RecordingPrompt final : public Prompt {
public:
    void Message(const QString& text, const QString& title, Icon icon) override {
        messages.push_back({text, title, icon, waitDepth});
    }
    void ShowModal(QDialog& dialog) override;
    void BeginWait() override {
        ++waitDepth;
        ++waitsBegun;
    }
    void EndWait() override { --waitDepth; }
    QString AskSavePath(const QString& title, const QString& suggested, const QString& filter) override {
        savePrompts.push_back({title, suggested, filter});
        return savePath;
    }

    std::vector<RecordedMessage> messages;
    std::vector<RecordedModal> modals;
    std::vector<QStringList> savePrompts; // title, suggested name, filter
    QString savePath;                     // what the user chooses in the save dialog ("" cancels)
    int waitDepth = 0;
    int waitsBegun = 0;
};

// The real main window over the road's files and library server.
class WindowFixture : public roadtest::RoadFixture {
protected:
    // Creates the window, runs its start-up and shows it, as the program does; `limits` bound the exchanges
    // with the library server when given.
    frmMain& Start(const std::optional<catalogue::PostFormLimits>& limits = std::nullopt);

    template <typename T> T* Find(const char* name) {
        T* control = window_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    static QStringList Items(const QListWidget* list);
    static QStringList Rows(const QListView* list);

    // Lets the window run until its background work is done and shown (fails the test after 20 s).
    void Settle();
    // Chooses a row as the user does with the keyboard or the mouse, and lets the work it starts end.
    void Choose(QListWidget* list, int row) {
        list->setCurrentRow(row);
        Settle();
    }
    void Choose(QListView* list, int row) {
        list->setCurrentIndex(list->model()->index(row, 0));
        Settle();
    }
    void ChooseFile(const std::string& name);
    // A double-click on a row, preceded by its first click, as the mouse gives it.
    void DoubleClick(QListView* list, int row);

    RecordingPrompt prompt_;
    std::unique_ptr<frmMain> window_;
};

} // namespace apptest
