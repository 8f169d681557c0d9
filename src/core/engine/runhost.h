#pragma once

#include "engine/runsnapshot.h"

#include <QMutex>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

// The run's side of a RunController: lives on the run's thread with the copy task it owns,
// and turns the task's signals into reports that the controller's thread takes in batches.
// Items are gathered for up to 100 ms (or 512 of them), so that a run of small files costs
// the window a handful of wake-ups per second instead of one per file; every other signal
// sends the gathered items first, so that the order of the reports is the task's own.
class RunHost : public QObject
{
    Q_OBJECT

public:
    struct Report
    {
        enum class Kind
        {
            Copied,
            Errors,
            JobProgress,
            TaskCompleted,
            Log,
            CopyList,
            StorageFull,
            FlushProgress,
            // The run was paused (first 1) or went on (first 0).
            Paused,
            // A command changed the task (a task file loaded): only the state and lists.
            State
        };
        Kind kind = Kind::State;
        QList<CopyItem> items;
        QString text;
        qint64 first = 0;
        qint64 second = 0;
        std::shared_ptr<const RunSnapshot> state;
        std::shared_ptr<const RunItemLists> lists;
    };

    // Called on the run's thread; wake is called, from the run's thread, whenever reports
    // wait and none waited before.
    explicit RunHost(std::function<void()> wake);
    ~RunHost() override;

    CopyTask& task() { return *mp_task; }
    // The next command is being taken.
    void beginCommand(quint64 serial) { m_commandsHandled = serial; }
    // Reports the state, and with lists the item lists, after a command changed them.
    void publishState(bool lists);
    RunSnapshot state() const;

    // Any thread: the reports waiting, in order.
    std::vector<Report> takeReports();
    // Any thread: runs command on the run's thread, after the commands given before it.
    void enqueue(std::function<void(RunHost&)> command);

private slots:
    void runCommands();

private:
    void gather(Report::Kind kind, const CopyItem& item);
    void sendGathered();
    void push(Report report, bool withState, bool withLists);

    std::unique_ptr<CopyTask> mp_task;
    std::function<void()> m_wake;
    quint64 m_commandsHandled = 0;
    Report m_gathered;
    QTimer m_gatherTimer;
    QMutex m_mutex;
    std::vector<Report> m_outbox;
    QMutex m_inboxMutex;
    std::vector<std::function<void(RunHost&)>> m_inbox;
};
