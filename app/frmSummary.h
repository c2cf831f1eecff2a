// The summary window in Qt: a table of every event counted in any debug log file of a source, one column
// per file, with its progress, Cancel, the files that could not be read, and an export. Modeless, one at a
// time: the main window opens it again over a new request. The behaviour is form::SummaryWindow's.
#pragma once

#include <QWidget>

#include "form/SummaryWindow.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;

class SummaryModel;

class frmSummary final : public QWidget, private form::SummaryView {
    Q_OBJECT
public:
    // `main` must outlive the window.
    frmSummary(form::frmMain& main, QWidget* parent);
    ~frmSummary() override;

    // Counts over the request, shows the window and brings it to the front.
    void Start(const form::SummaryRequest& request);
    form::SummaryWindow& Form() { return form_; }

    QTableView* tblSummary = nullptr;
    QLabel* lblProblems = nullptr; // the files that could not be read, and why
    QLabel* lblStatus = nullptr;
    QProgressBar* prgSummary = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdExport = nullptr;
    QPushButton* cmdClose = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ExportCsv();

    // form::SummaryView
    void SetTitle(std::string_view title) override;
    void TableChanged() override;
    void ShowWork(std::string_view text, double fraction) override;
    void ShowStatus(std::string_view text) override;
    void Post(std::function<void()> work) override;

    SummaryModel* model_ = nullptr;
    form::SummaryWindow form_;
};
