#include "ui/ResultLogModel.h"

int ResultLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant ResultLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole) {
        return row.text;
    }
    if (role == KindRole) {
        return static_cast<int>(row.kind);
    }
    return {};
}

void ResultLogModel::Append(const QString& text, tovana::ResultKind kind) {
    if (held_) {
        waiting_.push_back({text, kind});
        return;
    }
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    rows_.push_back({text, kind});
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
