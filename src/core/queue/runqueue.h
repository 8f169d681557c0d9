#pragma once

#include "queue/queuedrun.h"
#include "queue/queuestore.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>

class RunProcess;

// The queue of runs of one user, as the one process that runs it holds it: each run is a
// brindle-cli process that resumes the run's task file, so a run cut short (a stop, a crash
// of this process, of the machine) goes on from what its task file holds. Runs on one
// device go one after another, in queue order; runs on other devices beside them.
//
// Without runs enabled it only edits the stored queue (for a process that holds the
// runner's lock while no runner is up).
class RunQueue : public QObject
{
    Q_OBJECT

public:
    // deviceOf: the device a path lies on (Platform::deviceOf; a test gives its own).
    using DeviceOf = std::function<QString(const QString&)>;

    RunQueue(const QString& dataFolder, const QString& program, QObject* parent = nullptr);
    ~RunQueue() override;

    void setDeviceOf(DeviceOf deviceOf) { m_deviceOf = std::move(deviceOf); }

    // Takes the runner's lock and loads the stored queue: a run that was running when its
    // runner went away is queued again, to resume. False when another process holds it.
    bool open(bool runs);
    QueueStore& store() { return m_store; }
    QList<QueuedRun> runs() const { return m_list; }
    // Queued, running or paused runs are left.
    bool hasPendingRuns() const;

    // A request as the queue's socket carries it ({"request": "add" | "list" | "pause" |
    // "continue" | "stop" | "remove" | "up" | "down", "id", "run"}): the reply.
    QJsonObject handle(const QJsonObject& request);
    static QJsonObject listReply(const QList<QueuedRun>& runs);

    // Stops every run, which saves its place; each comes back queued on the next start.
    void shutDown();

    // The runs to start now, in order: a queued run starts when none of its devices is used
    // by a run started or held, or wanted by a queued run before it. Pure, for tests.
    static QList<int> runsToStart(const QList<QueuedRun>& runs,
                                  const QList<QSet<QString>>& devices);

signals:
    void changed();
    void runStarted(const QueuedRun& run);
    void runEnded(const QueuedRun& run);
    // No run is left queued, running or paused.
    void drained();
    void shutDownFinished();

private slots:
    void schedule();

private:
    int indexOf(const QString& id) const;
    bool store(int index);
    QString add(QueuedRun run, QString* message);
    bool control(const QString& request, int index, QString* message);
    void start(int index);
    void onOutput(const QString& id);
    void onFinished(const QString& id, int exitCode, bool crashed);
    QSet<QString> devicesOf(const QueuedRun& run);

    QueueStore m_store;
    QString m_program;
    DeviceOf m_deviceOf;
    int m_runnerLock = -1;
    bool m_runs = false;
    bool m_shuttingDown = false;
    QList<QueuedRun> m_list;
    QHash<QString, RunProcess*> m_processes;
    // Runs to remove once their process has ended.
    QSet<QString> m_removeWhenEnded;
    QTimer m_scheduleTimer;
    QHash<QString, qint64> m_lastStored;
    QHash<QString, QSet<QString>> m_devices;
};
