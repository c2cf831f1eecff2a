#include "AppTestSupport.h"

#include "app/frmErrorDescription.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>

namespace apptest {

void RecordingPrompt::ShowModal(QDialog& dialog) {
    RecordedModal modal;
    modal.caption = dialog.windowTitle();
    modal.size = dialog.size();
    modal.minimumSize = dialog.minimumSize();
    modal.maximumSize = dialog.maximumSize();
    modal.flags = dialog.windowFlags();
    modal.parent = dialog.parentWidget();
    if (auto* box = dialog.findChild<QPlainTextEdit*>(QStringLiteral("txtError"))) {
        modal.text = box->toPlainText();
        modal.boxGeometry = box->geometry();
        modal.boxHasFocus = dialog.focusWidget() == box;
        modal.boxVertical = box->verticalScrollBarPolicy();
        modal.boxHorizontal = box->horizontalScrollBarPolicy();
    }
    modals.push_back(modal);
}

frmMain& WindowFixture::Start(const std::optional<catalogue::PostFormLimits>& limits) {
    window_ = std::make_unique<frmMain>(prompt_, programDir_);
    if (limits)
        window_->Form().SetLibraryLimits(*limits);
    window_->Form_Load();
    window_->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    Settle();
    return *window_;
}

void WindowFixture::Settle() {
    QElapsedTimer waited;
    waited.start();
    QCoreApplication::processEvents();
    while (window_ && window_->Form().Busy()) {
        if (waited.elapsed() > 20000) {
            ADD_FAILURE() << "the window's work did not end within 20 s";
            return;
        }
        QTest::qWait(1);
    }
    QCoreApplication::processEvents();
}

QStringList WindowFixture::Items(const QListWidget* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->item(i)->text();
    return items;
}

QStringList WindowFixture::Rows(const QListView* list) {
    QStringList rows;
    for (int i = 0; i < list->model()->rowCount(); ++i)
        rows << list->model()->index(i, 0).data().toString();
    return rows;
}

void WindowFixture::ChooseFile(const std::string& name) {
    auto* files = Find<QListWidget>("lstFiles");
    const auto found = files->findItems(QString::fromStdString(name), Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << name;
    Choose(files, files->row(found.front()));
}

void WindowFixture::DoubleClick(QListView* list, int row) {
    const QPoint centre = list->visualRect(list->model()->index(row, 0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    Settle();
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
    Settle();
}

} // namespace apptest
