// The result log as the list shows it: one row per rename attempt with its whole entry; the
// row's text (the old full path, a preview's new name after an arrow), its ResultKind as the
// row's number, its tooltip and whether it is a preview. Rows are only ever appended. A row's
// text is made when the list asks for it, which it does for the rows it paints: a run of a
// hundred thousand rows makes a handful of texts, not a hundred thousand.
#pragma once

#include <QAbstractListModel>
#include <QString>
#include <deque>

#include "form/FormView.h"

class ResultLogModel : public QAbstractListModel {
    Q_OBJECT

  public:
    static constexpr int KindRole = Qt::UserRole;
    static constexpr int PreviewRole = Qt::UserRole + 1;

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void Append(tovana::LogEntry entry, bool preview);
    const tovana::ResultRow& Row(std::size_t index) const { return rows_.at(index); }
    // While held, appended rows wait and Release shows them in one insertion: a run's batch of
    // thousands of rows costs the view one update instead of one each.
    void Hold() { held_ = true; }
    void Release();
    bool Waiting() const { return rows_.size() > shown_; }

  private:
    // The rows shown, then those waiting; a deque grows without moving the rows it has.
    std::deque<tovana::ResultRow> rows_;
    std::size_t shown_ = 0;
    bool held_ = false;
};
