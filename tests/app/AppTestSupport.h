// What the window tests share: a QApplication for the whole test program, a prompt that records message
// boxes, modal windows and the wait cursor instead of blocking, a real library server on 127.0.0.1 and a
// registry export file written for each test.
#pragma once

#include <QDialog>
#include <QSize>
#include <QString>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "app/Prompt.h"

// Test failures show texts as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace httplib {
class Server;
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

    std::vector<RecordedMessage> messages;
    std::vector<RecordedModal> modals;
    int waitDepth = 0;
    int waitsBegun = 0;
};

// A library server on 127.0.0.1 at an ephemeral port: answers the catalogue request of a source with the
// reply set for it ("" for a source without one) and records the sources asked for.
class LibraryServer {
public:
    LibraryServer();
    ~LibraryServer();
    LibraryServer(const LibraryServer&) = delete;
    LibraryServer& operator=(const LibraryServer&) = delete;

    // "127.0.0.1:port"
    std::string Host() const;
    void SetReply(const std::string& source, const std::string& reply);
    std::vector<std::string> Requests() const;

private:
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::map<std::string, std::string> replies_;
    std::vector<std::string> requests_;
};

// A loopback address at which nothing listens (a port that was bound and released again).
std::string ClosedHost();

// Registry settings as a REGEDIT4 export file.
struct RegistrySettings {
    std::string libraryServer;
    std::optional<int> debugStatus;
    std::map<std::string, std::string> debugDirectories;    // source key path below the root -> directory
    std::map<std::string, std::string> activityDirectories; // likewise
};
std::string RegistryFileText(const RegistrySettings& settings);

// An executable script that appends each argument it is given as one line to `record`.
void WriteRecordingOpener(const std::string& script, const std::string& record);

} // namespace apptest
