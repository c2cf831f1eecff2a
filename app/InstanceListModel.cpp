#include "app/InstanceListModel.h"

#include "app/WindowStyle.h"
#include "form/frmMain.h"

#include <climits>

namespace {
constexpr int kShownRowsKept = 512;
}

InstanceListModel::InstanceListModel(const form::frmMain& form, QObject* parent)
    : QAbstractListModel(parent), form_(form), shown_(kShownRowsKept) {}

void InstanceListModel::Reset() {
    beginResetModel();
    shown_.clear();
    endResetModel();
}

int InstanceListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    const std::size_t size = form_.InstanceCount();
    return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

QVariant InstanceListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole)
        return {};
    if (const QString* cached = shown_.object(index.row()))
        return *cached;
    auto* shown = new QString(windowstyle::FromAnsi(
        form_.InstanceRow(static_cast<std::size_t>(index.row()), form::frmMain::kInstanceRowBytes)));
    const QString result = *shown;
    shown_.insert(index.row(), shown);
    return result;
}
