// The result log as the list shows it: one row per rename attempt with its whole entry; the
// row's text (the old full path, a preview's new name after an arrow), its ResultKind as the
// row's number, its tooltip and whether it is a preview. Rows are only ever appended.
#pragma once

#include <QAbstractListModel>
#include <QString>
#include <vector>

#include "form/FormView.h"

class ResultLogModel : public QAbstractListModel {
    Q_OBJECT

  public:
    static constexpr int KindRole = Qt::UserRole;
    static constexpr int PreviewRole = Qt::UserRole + 1;

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void Append(const tovana::LogEntry& entry, bool preview);
    const tovana::ResultRow& Row(std::size_t index) const { return rows_.at(index).row; }
    // While held, appended rows wait and Release shows them in one insertion: a run's batch of
    // thousands of rows costs the view one update instead of one each.
    void Hold() { held_ = true; }
    void Release();

  private:
    struct Shown {
        tovana::ResultRow row;
        QString text;
    };
    std::vector<Shown> rows_;
    std::vector<Shown> waiting_;
    bool held_ = false;
};
