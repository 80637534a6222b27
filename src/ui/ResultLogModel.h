// The result log as the list shows it: one row per rename attempt, its old full path as the
// text and its ResultKind as the row's number. Rows are only ever appended.
#pragma once

#include <QAbstractListModel>
#include <QString>
#include <vector>

#include "rename/RenameRun.h"

class ResultLogModel : public QAbstractListModel {
    Q_OBJECT

  public:
    static constexpr int KindRole = Qt::UserRole;

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void Append(const QString& text, tovana::ResultKind kind);
    // While held, appended rows wait and Release shows them in one insertion: a run's batch of
    // thousands of rows costs the view one update instead of one each.
    void Hold() { held_ = true; }
    void Release();

  private:
    struct Row {
        QString text;
        tovana::ResultKind kind;
    };
    std::vector<Row> rows_;
    std::vector<Row> waiting_;
    bool held_ = false;
};
