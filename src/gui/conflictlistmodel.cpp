#include "conflictlistmodel.h"

#include "fs/filenamecodec.h"

ConflictListModel::ConflictListModel(const PlanReport& report, QObject* parent)
    : QAbstractTableModel(parent), m_report(report)
{
    m_decisions.reserve(report.conflicts.size());
    for (const RunPlan::Conflict& conflict : report.conflicts)
        m_decisions << PlanReport::decisionOf(conflict.outcome);
}

int ConflictListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_decisions.size();
}

int ConflictListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString ConflictListModel::decisionText(int decision)
{
    switch (decision) {
    case CopyOptions::DecideOverwrite:
        return tr("Overwrite");
    case CopyOptions::DecideRename:
        return tr("Rename");
    default:
        return tr("Skip");
    }
}

QString ConflictListModel::outcomeText(RunPlan::Outcome outcome)
{
    switch (outcome) {
    case RunPlan::Outcome::Overwrite:
        return tr("overwritten");
    case RunPlan::Outcome::Rename:
        return tr("renamed");
    case RunPlan::Outcome::SkipNewer:
        return tr("skipped: newer there");
    default:
        return tr("skipped");
    }
}

QVariant ConflictListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_decisions.size() ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return QVariant();
    const RunPlan::Conflict& conflict = m_report.conflicts.at(index.row());
    switch (index.column()) {
    case FileColumn:
        // Names may hold newlines and bytes that are no UTF-8: shown escaped.
        return FileNameCodec::visibleText(role == Qt::ToolTipRole ? conflict.destination
                                                                  : m_report.keyOf(conflict));
    case PlannedColumn:
        return outcomeText(conflict.outcome);
    case DecisionColumn: {
        const int decision = m_decisions.at(index.row());
        const QString text = decisionText(decision);
        // A changed decision is marked, so the user sees what differs from the rule.
        return decision == PlanReport::decisionOf(conflict.outcome) ? text
                                                                    : text + QStringLiteral(" *");
    }
    default:
        return QVariant();
    }
}

QVariant ConflictListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case FileColumn:
        return tr("File");
    case PlannedColumn:
        return tr("By the rule");
    case DecisionColumn:
        return tr("Decision");
    default:
        return QVariant();
    }
}

void ConflictListModel::setDecision(const QList<int>& rows, int decision)
{
    for (const int row : rows) {
        if (row < 0 || row >= m_decisions.size())
            continue;
        m_decisions[row] = decision;
        emit dataChanged(index(row, DecisionColumn), index(row, DecisionColumn));
    }
}

void ConflictListModel::setAll(int decision, bool onlyOlder)
{
    if (m_decisions.isEmpty())
        return;
    for (int row = 0; row < m_decisions.size(); ++row) {
        if (!onlyOlder || m_report.conflicts.at(row).destinationOlder)
            m_decisions[row] = decision;
    }
    emit dataChanged(index(0, DecisionColumn), index(m_decisions.size() - 1, DecisionColumn));
}
