#pragma once

#include "planreport.h"

#include <QAbstractTableModel>
#include <QVector>

// The files already at the destination that a run would overwrite, skip or rename, with
// the user's decision for each: what the plan does, changed per row or for a whole class.
class ConflictListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        FileColumn = 0,
        PlannedColumn,
        DecisionColumn,
        ColumnCount
    };

    explicit ConflictListModel(const PlanReport& report, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // decision is a CopyOptions::FileDecision.
    void setDecision(const QList<int>& rows, int decision);
    // Every row; onlyOlder: only those whose file there is older than the source.
    void setAll(int decision, bool onlyOlder = false);
    const QVector<int>& decisions() const { return m_decisions; }
    static QString decisionText(int decision);
    static QString outcomeText(RunPlan::Outcome outcome);

private:
    const PlanReport& m_report;
    QVector<int> m_decisions;
};
