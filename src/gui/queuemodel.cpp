#include "queuemodel.h"

#include "fs/pathutils.h"

void QueueModel::setRuns(const QList<QueuedRun>& runs)
{
    bool same = runs.size() == m_runs.size();
    for (int i = 0; same && i < runs.size(); ++i)
        same = runs.at(i).m_id == m_runs.at(i).m_id;
    if (!same) {
        beginResetModel();
        m_runs = runs;
        endResetModel();
        return;
    }
    m_runs = runs;
    if (!m_runs.isEmpty())
        emit dataChanged(index(0, 0), index(m_runs.size() - 1, columnCount() - 1));
}

int QueueModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_runs.size();
}

int QueueModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(Column::Message) + 1;
}

QString QueueModel::stateText(QueuedRun::State state)
{
    using State = QueuedRun::State;
    switch (state) {
    case State::Queued:
        return tr("Queued");
    case State::Running:
        return tr("Running");
    case State::Paused:
        return tr("Paused");
    case State::Stopped:
        return tr("Stopped");
    case State::Done:
        return tr("Done");
    case State::Failed:
        return tr("Failed");
    }
    return QString();
}

QVariant QueueModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_runs.size())
        return QVariant();
    const QueuedRun& run = m_runs.at(index.row());
    if (role == Qt::ToolTipRole && index.column() >= int(Column::Source))
        return data(index, Qt::DisplayRole);
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (Column(index.column())) {
    case Column::Order:
        return index.row() + 1;
    case Column::State:
        return stateText(run.m_state);
    case Column::Progress:
        if (run.m_state == QueuedRun::State::Done)
            return QStringLiteral("100%");
        if (run.m_bytesTotal <= 0)
            return QString();
        return QStringLiteral("%1% (%2)")
            .arg(int(double(run.m_bytesDone) * 100.0 / double(run.m_bytesTotal)))
            .arg(FileSystemUtils::byteSizeText(run.m_bytesTotal));
    case Column::Mode:
        return run.m_mode;
    case Column::Source:
        return run.m_source;
    case Column::Destination:
        return run.m_destination;
    case Column::Message:
        return run.m_message;
    }
    return QVariant();
}

QVariant QueueModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    static const char* const titles[] = {
        QT_TR_NOOP("#"),      QT_TR_NOOP("State"),       QT_TR_NOOP("Progress"), QT_TR_NOOP("Run"),
        QT_TR_NOOP("Source"), QT_TR_NOOP("Destination"), QT_TR_NOOP("Message")};
    return section >= 0 && section <= int(Column::Message) ? tr(titles[section]) : QVariant();
}
