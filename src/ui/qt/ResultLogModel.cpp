#include "ui/qt/ResultLogModel.h"

#include "form/Form.h"

int ResultLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_);
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
    rows_.push_back({std::move(entry), preview});
    if (!held_) {
        Release();
    }
}

void ResultLogModel::Release() {
    held_ = false;
    if (!Waiting()) {
        return;
    }
    beginInsertRows(QModelIndex(), static_cast<int>(shown_), static_cast<int>(rows_.size()) - 1);
    shown_ = rows_.size();
    endInsertRows();
}
