#include "app/frmSummary.h"

#include "app/AppIcon.h"
#include "app/WindowStyle.h"

#include "form/Texts.h"

#include <QAbstractTableModel>
#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

using windowstyle::FromAnsi;

namespace {

QString Text(std::string_view ascii) {
    return QString::fromLatin1(ascii.data(), qsizetype(ascii.size()));
}

// A colour between `from` and `to`, `share` (0 to 1) of the way.
QColor Blend(const QColor& from, const QColor& to, double share) {
    auto mix = [share](int a, int b) { return int(a + (b - a) * share + 0.5); };
    return QColor(mix(from.red(), to.red()), mix(from.green(), to.green()), mix(from.blue(), to.blue()));
}

} // namespace

// The form's table as Qt reads it; reset whole whenever the form's table changes.
class SummaryModel final : public QAbstractTableModel {
public:
    SummaryModel(const form::SummaryWindow& window, QObject* parent)
        : QAbstractTableModel(parent), window_(window) {}

    void Reset() {
        beginResetModel();
        endResetModel();
    }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : int(window_.Table().Rows());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() || !window_.HasTable() ? 0 : int(window_.Table().Columns());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid())
            return {};
        const form::SummaryTable& table = window_.Table();
        const auto row = std::size_t(index.row());
        const auto column = std::size_t(index.column());
        switch (role) {
        case Qt::DisplayRole:
            return FromAnsi(table.Cell(row, column));
        case Qt::TextAlignmentRole:
            return table.IsNumber(column) ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                          : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        case Qt::BackgroundRole: {
            // The largest counts stand out: the darker the shade, the larger the count.
            const int shade = table.Shade(row, column);
            if (shade == 0)
                return {};
            const QPalette palette;
            return QBrush(Blend(palette.color(QPalette::Base), palette.color(QPalette::Highlight),
                                0.6 * shade / form::SummaryTable::kShadeLevels));
        }
        case Qt::ToolTipRole:
            if (table.IsFileColumn(column))
                return FromAnsi(table.FileName(column));
            return {};
        default:
            return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || section < 0)
            return QAbstractTableModel::headerData(section, orientation, role);
        const form::SummaryTable& table = window_.Table();
        const auto column = std::size_t(section);
        if (role == Qt::DisplayRole)
            return FromAnsi(table.Header(column));
        if (role == Qt::ToolTipRole) {
            const std::string problem = table.Problem(column);
            return problem.empty() ? QVariant() : QVariant(FromAnsi(problem));
        }
        if (role == Qt::TextAlignmentRole)
            return table.IsNumber(column) ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                          : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        return {};
    }

private:
    const form::SummaryWindow& window_;
};

frmSummary::frmSummary(form::frmMain& main, QWidget* parent)
    : QWidget(parent, Qt::Window), form_(*this, main) {
    setObjectName(QStringLiteral("frmSummary"));
    setWindowTitle(Text(form::kSummaryTitle));
    setWindowIcon(AppIcon());
    setFont(windowstyle::DialogFont());
    resize(720, 420);

    model_ = new SummaryModel(form_, this);
    tblSummary = new QTableView(this);
    tblSummary->setObjectName(QStringLiteral("tblSummary"));
    tblSummary->setModel(model_);
    tblSummary->setSelectionBehavior(QAbstractItemView::SelectItems);
    tblSummary->setSelectionMode(QAbstractItemView::SingleSelection);
    tblSummary->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblSummary->verticalHeader()->hide();
    tblSummary->horizontalHeader()->setSectionsClickable(true);
    tblSummary->horizontalHeader()->setSortIndicatorShown(true);
    tblSummary->horizontalHeader()->setStretchLastSection(false);

    lblProblems = new QLabel(this);
    lblProblems->setObjectName(QStringLiteral("lblProblems"));
    lblProblems->setWordWrap(true);
    lblProblems->hide();

    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    prgSummary = new QProgressBar(this);
    prgSummary->setObjectName(QStringLiteral("prgSummary"));
    prgSummary->setRange(0, 1000);
    prgSummary->setTextVisible(false);
    prgSummary->setMaximumWidth(160);
    prgSummary->hide();
    cmdCancel = new QPushButton(Text(form::kCancelButtonCaption), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->hide();
    cmdExport = new QPushButton(Text(form::kSummaryExportCaption), this);
    cmdExport->setObjectName(QStringLiteral("cmdExport"));
    cmdExport->setEnabled(false);
    cmdClose = new QPushButton(Text(form::kSummaryCloseCaption), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblStatus, 1);
    buttons->addWidget(prgSummary);
    buttons->addWidget(cmdCancel);
    buttons->addWidget(cmdExport);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tblSummary, 1);
    layout->addWidget(lblProblems);
    layout->addLayout(buttons);

    connect(tblSummary->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int section) { form_.HeaderClicked(std::size_t(section)); });
    connect(tblSummary, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        form_.CellDoubleClicked(std::size_t(index.row()), std::size_t(index.column()));
    });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { form_.Cancel(); });
    connect(cmdExport, &QPushButton::clicked, this, &frmSummary::ExportCsv);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, [this] {
        // Esc stops the count under way; with none, it closes the window.
        if (form_.Busy())
            form_.Cancel();
        else
            close();
    });
}

frmSummary::~frmSummary() {
    form_.Close();
}

void frmSummary::Start(const form::SummaryRequest& request) {
    form_.Start(request);
    show();
    raise();
    activateWindow();
}

void frmSummary::closeEvent(QCloseEvent* event) {
    // Closing stops the count; a later menu choice counts again.
    form_.Close();
    ShowStatus("");
    QWidget::closeEvent(event);
}

void frmSummary::ExportCsv() {
    const QString path =
        QFileDialog::getSaveFileName(this, Text(form::kSummaryExportCaption), QStringLiteral("summary.csv"),
                                     Text(form::kSummaryCsvFilter));
    if (path.isEmpty())
        return;
    const text::Status written = form_.Export(windowstyle::ToAnsi(path));
    if (!written) {
        QMessageBox::warning(this, windowstyle::kAppTitle,
                             Text(form::kSummaryExportFailed) + FromAnsi(written.description));
        return;
    }
    ShowStatus(std::string(form::kSummaryExported) + windowstyle::ToAnsi(path));
}

void frmSummary::SetTitle(std::string_view title) {
    setWindowTitle(FromAnsi(title));
}

void frmSummary::TableChanged() {
    model_->Reset();
    const form::SummaryTable& table = form_.Table();
    if (form_.HasTable() && table.Columns() > 0) {
        tblSummary->horizontalHeader()->setSortIndicator(
            int(table.SortColumn()), table.SortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
        tblSummary->resizeColumnsToContents();
    }
    const std::string problems = table.Problems();
    lblProblems->setText(FromAnsi(problems));
    lblProblems->setVisible(!problems.empty());
    cmdExport->setEnabled(form_.HasTable() && table.Rows() > 0);
}

void frmSummary::ShowWork(std::string_view text, double fraction) {
    lblStatus->setText(FromAnsi(text));
    prgSummary->setValue(int(std::clamp(fraction, 0.0, 1.0) * 1000.0));
    prgSummary->show();
    cmdCancel->show();
}

void frmSummary::ShowStatus(std::string_view text) {
    lblStatus->setText(FromAnsi(text));
    prgSummary->hide();
    cmdCancel->hide();
}

void frmSummary::Post(std::function<void()> work) {
    // Queued to this window's thread; dropped if the window is gone by then.
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}
