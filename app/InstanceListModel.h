// The rows of the instance list: the lines of a debug log file in which one event occurs, held by the form
// as offsets into the file and read back only when a row is shown, so that a million instances list at once
// and in little memory.
#pragma once

#include <QAbstractListModel>
#include <QCache>
#include <QString>

namespace form {
class frmMain;
}

class InstanceListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    // Shows the instance rows of `form`, which must outlive the model.
    explicit InstanceListModel(const form::frmMain& form, QObject* parent = nullptr);

    // The form's rows changed whole: the view reads them again.
    void Reset();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    const form::frmMain& form_;
    mutable QCache<int, QString> shown_; // decoded rows recently painted
};
