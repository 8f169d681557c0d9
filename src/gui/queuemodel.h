#pragma once

#include "queue/queuedrun.h"

#include <QAbstractTableModel>
#include <QList>

// The queue's runs as the window's queue view shows them: order, state, progress, paths.
class QueueModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum class Column
    {
        Order,
        State,
        Progress,
        Mode,
        Source,
        Destination,
        Message
    };
    Q_ENUM(Column)

    using QAbstractTableModel::QAbstractTableModel;

    // The same runs in the same order change their rows in place, so that the selection and
    // the scroll position stay; any other list replaces them.
    void setRuns(const QList<QueuedRun>& runs);
    const QList<QueuedRun>& runs() const { return m_runs; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    static QString stateText(QueuedRun::State state);

private:
    QList<QueuedRun> m_runs;
};
