// The Qt summary window, offscreen, over the road of the form's tests: opened from the File menu, its
// table's rows and captions, a sort by a header click, the shading and alignment of the counts, and a
// double-click choosing the file and the event in the main window.
#include "AppTestSupport.h"

#include "app/frmSummary.h"

#include <QAction>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTableView>

#include <gtest/gtest.h>

namespace {

using roadtest::kSmtpLog;

class SummaryWindowTest : public apptest::WindowFixture {
protected:
    frmSummary& Open() {
        window_->findChild<QAction*>(QStringLiteral("mnuSummary"))->trigger();
        frmSummary* summary = window_->SummaryWindow();
        EXPECT_NE(summary, nullptr);
        QElapsedTimer waited;
        waited.start();
        while (summary->Form().Busy() && waited.elapsed() < 20000)
            QTest::qWait(1);
        EXPECT_FALSE(summary->Form().Busy());
        QCoreApplication::processEvents();
        return *summary;
    }
    static QStringList Column(const QTableView* table, int column) {
        QStringList cells;
        for (int row = 0; row < table->model()->rowCount(); ++row)
            cells << table->model()->index(row, column).data().toString();
        return cells;
    }
};

TEST_F(SummaryWindowTest, ShowsEveryFilesCountsSortsAndChoosesInTheMainWindow) {
    Start();
    frmSummary& s = Open();
    EXPECT_TRUE(s.isVisible());
    EXPECT_EQ(s.windowTitle(), "Summary of All Files - SMTP");
    const QTableView* table = s.tblSummary;
    QAbstractItemModel* model = table->model();
    ASSERT_EQ(model->columnCount(), 5);
    QStringList headers;
    for (int c = 0; c < 5; ++c)
        headers << model->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(headers,
              QStringList({"Index", "Search String", "SMTP-Debug-20260711.log", kSmtpLog.c_str(), "Total"}));
    EXPECT_EQ(Column(table, 0), QStringList({"0", "1", "3"}));
    EXPECT_EQ(Column(table, 1), QStringList({"Relay denied", "Timeout", "Script"}));
    EXPECT_EQ(Column(table, 3), QStringList({"2", "1", "1"}));
    EXPECT_EQ(Column(table, 4), QStringList({"2", "1", "1"}));
    EXPECT_TRUE(s.lblProblems->isHidden());

    // Counts are right-aligned; the largest is shaded, a count of 0 is not.
    EXPECT_EQ(model->index(0, 3).data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight, Qt::AlignRight);
    EXPECT_TRUE(model->index(0, 3).data(Qt::BackgroundRole).isValid());
    EXPECT_FALSE(model->index(0, 2).data(Qt::BackgroundRole).isValid());

    // A click on the search string's header sorts by it; a second click the other way round.
    QHeaderView* header = table->horizontalHeader();
    const int x = header->sectionViewportPosition(1) + 5;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    EXPECT_EQ(Column(table, 1), QStringList({"Relay denied", "Script", "Timeout"}));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    EXPECT_EQ(Column(table, 1), QStringList({"Timeout", "Script", "Relay denied"}));
    EXPECT_EQ(header->sortIndicatorSection(), 1);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);

    // A double-click on "Timeout" in the road's log chooses both in the main window.
    s.Form().CellDoubleClicked(0, 3);
    Settle();
    EXPECT_EQ(Find<QListWidget>("lstFiles")->currentItem()->text(), kSmtpLog.c_str());
    EXPECT_EQ(Find<QListWidget>("LstErrors")->currentItem()->text(), "1 [1]  Timeout\r\n");
    EXPECT_EQ(Rows(Find<QListView>("lstinstances")), QStringList({"2\t07/12/26 10:15:40\tSession Timeout"}));

    // A second menu choice brings the same window back, counted again.
    s.close();
    EXPECT_FALSE(s.isVisible());
    frmSummary& again = Open();
    EXPECT_EQ(&again, &s);
    EXPECT_TRUE(again.isVisible());
    EXPECT_EQ(again.tblSummary->model()->rowCount(), 3);
}

} // namespace
