#include "app/InstanceListModel.h"

#include "text/Ansi.h"

#include <climits>

namespace {
constexpr int kShownRowsKept = 512;
}

InstanceListModel::InstanceListModel(QObject* parent) : QAbstractListModel(parent), shown_(kShownRowsKept) {}

text::Status InstanceListModel::Build(const std::string& path, std::string_view searchString) {
    beginResetModel();
    shown_.clear();
    text::Status status = lines_.Build(path, searchString);
    if (!status)
        lines_.Clear();
    endResetModel();
    return status;
}

void InstanceListModel::Clear() {
    beginResetModel();
    shown_.clear();
    lines_.Clear();
    endResetModel();
}

std::string InstanceListModel::Item(int row) const {
    if (row < 0 || row >= rowCount())
        return {};
    return lines_.Line(static_cast<std::size_t>(row), kItemBytes);
}

int InstanceListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    const std::size_t size = lines_.Size();
    return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

QVariant InstanceListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole)
        return {};
    if (const QString* cached = shown_.object(index.row()))
        return *cached;
    const std::string bytes = lines_.Line(static_cast<std::size_t>(index.row()), kDisplayBytes);
    auto* shown = new QString(QString::fromStdU16String(text::DecodeAnsi(bytes)));
    const QString result = *shown;
    shown_.insert(index.row(), shown);
    return result;
}
