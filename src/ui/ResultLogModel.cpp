#include "ui/ResultLogModel.h"

#include "form/Form.h"

int ResultLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant ResultLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const tovana::ResultRow& row = rows_[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(tovana::RowText(row));
        case Qt::ToolTipRole:
            return QString::fromStdString(tovana::RowTooltip(row));
        case KindRole:
            return static_cast<int>(row.Entry.Kind);
        case PreviewRole:
            return row.Preview;
        default:
            return {};
    }
}

void ResultLogModel::Append(tovana::LogEntry entry, bool preview) {
    if (held_) {
        waiting_.push_back({std::move(entry), preview});
        return;
    }
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    rows_.push_back({std::move(entry), preview});
    endInsertRows();
}

void ResultLogModel::Release() {
    held_ = false;
    if (waiting_.empty()) {
        return;
    }
    const int first = rowCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(waiting_.size()) - 1);
    rows_.insert(rows_.end(), std::make_move_iterator(waiting_.begin()),
                 std::make_move_iterator(waiting_.end()));
    waiting_.clear();
    endInsertRows();
}
