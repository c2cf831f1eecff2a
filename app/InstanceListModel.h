// The rows of the instance list: the lines of a debug log file in which one event occurs, held as offsets
// into the file and read back only when a row is shown or chosen, so that a million instances list at once
// and in little memory.
#pragma once

#include <QAbstractListModel>
#include <QCache>
#include <QString>

#include <cstddef>
#include <string>
#include <string_view>

#include "scan/Scan.h"
#include "text/Status.h"

class InstanceListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    // Shown rows are cut here (display only; the chosen item is read whole, up to kItemBytes).
    static constexpr std::size_t kDisplayBytes = 2048;
    // The most of one line that is taken as the chosen item: longer lines are cut here rather than read
    // whole into memory.
    static constexpr std::size_t kItemBytes = std::size_t{1} << 20;

    explicit InstanceListModel(QObject* parent = nullptr);

    // Lists the lines of the file at `path` that hold `searchString` followed by CR LF. On failure (the file
    // cannot be opened or read) the list is empty and the Status says why.
    [[nodiscard]] text::Status Build(const std::string& path, std::string_view searchString);
    // Empties the list.
    void Clear();

    // The instance item of a row: the line's bytes as read (ANSI), at most kItemBytes; "" for a row that
    // does not exist or cannot be read back.
    std::string Item(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    scan::InstanceLines lines_;
    mutable QCache<int, QString> shown_; // decoded rows recently painted
};
