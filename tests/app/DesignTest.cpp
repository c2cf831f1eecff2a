// The main window as designed: places, fonts, texts that fit, the tab order, and the lists and boxes
// following the window's size.
#include "AppTestSupport.h"

#include "app/frmMain.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using testing_support::ScopedEnv;
using testing_support::TempDir;

// The window with an empty registry and no library server: start-up is not needed for the design.
class DesignTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = std::make_unique<frmMain>(prompt_, dir_.File("program"));
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }
    template <typename T> T* Find(const char* name) {
        T* control = window_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    TempDir dir_;
    ScopedEnv registry_{"BRINDLEMAR_REGISTRY", dir_.File("none.reg")};
    apptest::RecordingPrompt prompt_;
    std::unique_ptr<frmMain> window_;
};

TEST_F(DesignTest, FixedControlsSitAtTheirDesignPlaces) {
    const struct {
        const char* name;
        QRect place; // design twips / 15
    } rows[] = {
        {"lstLogSource", {80, 6, 70, 21}},
        {"CmdMore", {753, 221, 107, 26}},
        {"txtErrorDescription", {166, 157, 694, 61}},
        {"Label6", {10, 10, 78, 17}},
        {"lblLogFileRootDirectory", {272, 11, 544, 17}},
        {"Label9", {164, 11, 105, 17}},
        {"Label4", {163, 239, 451, 13}},
        {"Label3", {8, 36, 93, 13}},
        {"Label2", {163, 37, 524, 13}},
        {"Label1", {164, 141, 639, 13}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Find<QWidget>(row.name)->geometry(), row.place);
    }
    // Lefts and tops of the controls that follow the window's size do not move sideways.
    EXPECT_EQ(Find<QWidget>("LstErrors")->geometry().topLeft(), QPoint(164, 51));
    EXPECT_EQ(Find<QWidget>("lstinstances")->geometry().topLeft(), QPoint(162, 255));
    EXPECT_EQ(Find<QWidget>("lstFiles")->geometry().topLeft(), QPoint(7, 51));
    EXPECT_EQ(Find<QWidget>("txtTranscript")->x(), 161);
    EXPECT_EQ(Find<QWidget>("lblTranscript")->x(), 160);
    EXPECT_EQ(window_->centralWidget()->size(), QSize(865, 482));
}

TEST_F(DesignTest, EveryCaptionFitsItsControl) {
    for (const char* name : {"Label6", "lblLogFileRootDirectory", "Label9", "lblTranscript", "Label4",
                             "Label3", "Label2", "Label1"}) {
        SCOPED_TRACE(name);
        const QLabel* label = Find<QLabel>(name);
        const QFontMetrics metrics(label->font());
        EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width());
        EXPECT_LE(metrics.height(), label->height());
        EXPECT_EQ(label->font().pixelSize(), 11);
        EXPECT_EQ(label->font().bold(), std::string(name) == "Label6" || std::string(name) == "Label9");
    }

    auto* sources = Find<QComboBox>("lstLogSource");
    QStyleOptionComboBox option;
    option.initFrom(sources);
    option.rect = sources->rect();
    const QRect field =
        sources->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, sources);
    const QFontMetrics comboMetrics(sources->font());
    for (const char* code : {"HTTPMAIL", "SMTP", "POPC"}) {
        SCOPED_TRACE(code);
        // The label is drawn one pixel inside the field on either side.
        EXPECT_LE(comboMetrics.horizontalAdvance(QString::fromLatin1(code)) + 2, field.width());
    }
    EXPECT_LE(comboMetrics.height(), field.height());

    auto* more = Find<QPushButton>("CmdMore");
    QStyleOptionButton button;
    button.initFrom(more);
    const int margin = more->style()->pixelMetric(QStyle::PM_ButtonMargin, &button, more);
    EXPECT_LE(QFontMetrics(more->font()).horizontalAdvance("More Information..") + margin, more->width());
}

TEST_F(DesignTest, TabOrderStartsAtTheFileList) {
    EXPECT_EQ(window_->focusWidget(), Find<QWidget>("lstFiles"));
    const QStringList expected{"lstFiles",      "LstErrors", "txtErrorDescription", "lstinstances",
                               "txtTranscript", "CmdMore",   "lstLogSource"};
    QStringList order;
    QWidget* w = Find<QWidget>("lstFiles");
    for (int step = 0; step < 200 && order.size() < expected.size(); ++step, w = w->nextInFocusChain()) {
        if (expected.contains(w->objectName()) && !order.contains(w->objectName()))
            order << w->objectName();
    }
    EXPECT_EQ(order, expected);
    for (const char* label : {"Label1", "Label2", "Label3", "Label4", "Label6", "Label9", "lblTranscript",
                              "lblLogFileRootDirectory"})
        EXPECT_EQ(Find<QWidget>(label)->focusPolicy(), Qt::NoFocus) << label;
}

TEST_F(DesignTest, BoxesAndListsAreSetUpAsDesigned) {
    auto* transcript = Find<QPlainTextEdit>("txtTranscript");
    EXPECT_EQ(transcript->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(transcript->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(transcript->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    auto* explanation = Find<QPlainTextEdit>("txtErrorDescription");
    EXPECT_EQ(explanation->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(explanation->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    for (auto* box : {transcript, explanation})
        EXPECT_EQ(box->palette().color(QPalette::Base), box->palette().color(QPalette::ToolTipBase));

    for (const char* name : {"lstFiles", "LstErrors", "lstinstances"}) {
        SCOPED_TRACE(name);
        auto* list = Find<QAbstractItemView>(name);
        EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
        // Whole rows only: the height inside the frame is a multiple of the row height.
        const int inside = list->height() - 2 * list->frameWidth();
        const int row = list->itemDelegate()->sizeHint(QStyleOptionViewItem(), QModelIndex()).height();
        ASSERT_GT(row, 0);
        EXPECT_EQ(inside % row, 0) << "height " << list->height() << ", row " << row;
    }
    EXPECT_FALSE(Find<QListWidget>("LstErrors")->isSortingEnabled());
    EXPECT_FALSE(Find<QListWidget>("lstFiles")->isSortingEnabled());
}

TEST_F(DesignTest, ListsAndTranscriptFollowTheWindowSize) {
    auto* errors = Find<QWidget>("LstErrors");
    auto* instances = Find<QWidget>("lstinstances");
    auto* transcript = Find<QWidget>("txtTranscript");
    auto* label = Find<QWidget>("lblTranscript");
    auto* files = Find<QWidget>("lstFiles");
    const QRect before[] = {errors->geometry(), instances->geometry(), transcript->geometry(),
                            label->geometry(), files->geometry()};
    // The right edges stay 20 pixels (300 twips) short of the window's outer right edge.
    EXPECT_EQ(window_->frameGeometry().width() - errors->x() - errors->width(), 20);
    EXPECT_EQ(transcript->y(), label->y() + label->height());

    window_->resize(window_->width() + 100, window_->height() + 100);
    QCoreApplication::processEvents();
    EXPECT_EQ(errors->width(), before[0].width() + 100);
    EXPECT_EQ(instances->width(), before[1].width() + 100);
    EXPECT_EQ(transcript->width(), before[2].width() + 100);
    EXPECT_EQ(transcript->height(), before[2].height());
    EXPECT_NEAR(instances->height(), before[1].height() + 100, 20);
    EXPECT_EQ(label->y() - before[3].y(), instances->height() - before[1].height());
    EXPECT_EQ(transcript->y(), label->y() + label->height());
    EXPECT_NEAR(files->height(), before[4].height() + 100, 20);
    EXPECT_EQ(errors->height(), before[0].height());

    window_->resize(window_->width() - 100, window_->height() - 100);
    QCoreApplication::processEvents();
    EXPECT_EQ(errors->geometry(), before[0]);
    EXPECT_EQ(instances->geometry(), before[1]);
    EXPECT_EQ(transcript->geometry(), before[2]);
    EXPECT_EQ(label->geometry(), before[3]);
    EXPECT_EQ(files->geometry(), before[4]);

    window_->showMinimized();
    QCoreApplication::processEvents();
    window_->showNormal();
    QCoreApplication::processEvents();
    EXPECT_EQ(errors->geometry(), before[0]);
    EXPECT_EQ(instances->geometry(), before[1]);
    EXPECT_EQ(transcript->geometry(), before[2]);
    EXPECT_EQ(label->geometry(), before[3]);
    EXPECT_EQ(files->geometry(), before[4]);
}

TEST_F(DesignTest, TheWindowOpensCentredOnTheScreen) {
    const QRect screen = window_->screen()->availableGeometry();
    const QPoint offset = window_->frameGeometry().center() - screen.center();
    // The offscreen test screen may be narrower than the window, which the platform then keeps on screen.
    if (window_->frameGeometry().width() <= screen.width()) {
        EXPECT_LE(std::abs(offset.x()), 1);
    }
    EXPECT_LE(std::abs(offset.y()), 1);
    EXPECT_FALSE(window_->windowIcon().isNull());
}

} // namespace

namespace {

TEST(QtPromptTest, TheHourglassIsTheApplicationsPointerUntilEndWait) {
    QtPrompt real;
    real.BeginWait();
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    real.EndWait();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
