#pragma once

#include "engine/runsnapshot.h"
#include "engine/walklisting.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QThread;
class RunHost;
class StorageProbe;
namespace TaskFile {
struct Result;
}

// A copy task on a thread of its own, reached only through queued commands, so that no
// file-system call of a run (the resume's checks of what was copied, the storage checks,
// the final flush, a hung mount) ever holds up the thread that owns the controller.
//
// Commands (start, resume, stop, the test seams) return at once and reach the task in the
// order given. The task's signals come back as the controller's, in the task's order, in
// batches; the queries answer from the state the run's thread last reported (RunSnapshot), so
// they never wait. A start or resume shows as a run at once: a stop given right after it
// reaches that run. The blocking calls (task files, destinationRefusal) wait for the run's
// thread: a window calls them from a worker, never from its own thread.
class RunController : public QObject
{
    Q_OBJECT

public:
    // What a start or resume hands the copy task.
    struct Request
    {
        Task task;
        // Empty: the own copier.
        ExternalProgramSettings externalProgram;
        bool skipBuildListForExternalProgram = false;
        QString manifestPath;
        // The preferences a run goes by; unset: the user's preferences at the command.
        std::optional<RunSettings> runSettings;
        // A start: the list the run's plan walked a moment ago (RunPlan::keepListing), filed
        // instead of a second walk.
        std::shared_ptr<const WalkListing> plannedListing;
    };

    explicit RunController(QObject* parent = nullptr);
    // Waits for the run's thread to end; a run still going on is the caller's to wait for
    // first (waitForRunToEnd).
    ~RunController() override;

    void start(const Request& request);
    // A resume of the task as loaded or stopped; request's task replaces it (its mode, say).
    void resume(const Request& request);
    void stop();
    // The run holds where it is, and goes on from there (CopyTask::pauseTask); pausedChanged
    // tells when it did.
    void pause();
    void continueRun();
    // Gives the task another task (its mode, say) between runs; clears its counters.
    void setTask(const Task& task);
    // Test seams, taken by the next start or resume.
    void setStorageProbe(std::unique_ptr<StorageProbe> probe);
    void setGroupedCopies(bool enabled);

    // Blocking: the answer of the run's thread.
    bool saveToFile(const QString& path, bool errorsOnly, bool allItems, bool errorsAsUnprocessed);
    bool load(const TaskFile::Result& file);
    bool loadFromFile(const QString& path);
    QString destinationRefusal();

    // The mirror.
    const RunSnapshot& state() const { return m_state; }
    Task task() const { return m_state.task; }
    ExternalProgramSettings externalProgram() const { return m_state.externalProgram; }
    bool skipBuildListForExternalProgram() const { return m_state.skipBuildListForExternalProgram; }
    QString manifestPath() const { return m_state.manifestPath; }
    QString manifestFailure() const { return m_state.manifestFailure; }
    bool isTaskCompleted() const { return m_state.taskCompleted; }
    bool isFileListCompleted() const { return m_state.fileListCompleted; }
    bool isStopRequested() const { return m_state.stopRequested; }
    bool isPaused() const { return m_state.paused && !m_state.taskCompleted; }
    QDateTime startTime() const { return m_state.startTime; }
    CopyTask::Counters counters() const { return m_state.counters; }
    qint64 counter(int index) const;
    qint64 elapsedMs() const;
    qint64 averageSpeed() const;
    qint64 remainingTime() const;
    QString errorsFileName() const;
    // The lists last reported whole, then the items reported since.
    QList<CopyItem> errorItems() const { return m_ledger.errorItems() + m_live.errorItems(); }
    QList<CopyItem> copiedItems() const { return m_ledger.copiedItems() + m_live.copiedItems(); }
    QList<CopyItem> skippedItems() const { return m_ledger.skippedItems() + m_live.skippedItems(); }
    QList<CopyItem> checkedItems() const { return m_ledger.checkedItems() + m_live.checkedItems(); }
    QPair<qint64, qint64> filteredCounts() const
    {
        const QPair<qint64, qint64> whole = m_ledger.filteredCounts();
        const QPair<qint64, qint64> since = m_live.filteredCounts();
        return {whole.first + since.first, whole.second + since.second};
    }
    QList<CopyItem> unprocessedItems() const
    {
        return m_ledger.unprocessedItems() + m_live.unprocessedItems();
    }
    QList<CopyItem> folderItems() const
    {
        return TaskLedger::folderItemsOf(m_ledger.completed() + m_live.completed(),
                                         m_ledger.folders() + m_live.folders());
    }
    QList<CopyItem> completedItems() const { return m_ledger.completed() + m_live.completed(); }

    // Waits, with an event loop, until the run has ended or timeoutMs passed with no report
    // of the run (negative: no limit); true when no run goes on.
    bool waitForRunToEnd(int timeoutMs = -1);
    QThread* runThread() const { return mp_thread; }

signals:
    void jobProgress(const QString& name, qint64 done, qint64 total);
    void taskCompleted();
    void errorOccurred(const CopyItem& item);
    void logAvailable(const QString& text);
    void copyCompleted(const CopyItem& item);
    void copyListCompleted(const QList<CopyItem>& items);
    void storageIsFull(qint64 available, qint64 required);
    void flushProgress(qint64 written, qint64 total);
    void pausedChanged(bool paused);
    // Reports have been taken (waitForRunToEnd's sign of life).
    void reportsTaken();

private slots:
    void deliverReports();

private:
    void run(const Request& request, bool resume);
    // Runs command on the run's thread and waits for its result, then for the state it left.
    template <typename Result>
    Result call(std::function<Result(CopyTask&)> command, bool changesState);
    // The command's serial.
    quint64 give(std::function<void(RunHost&)> command);
    void applyState(const RunSnapshot& state);
    void replaceLists(const RunItemLists& lists);

    QThread* mp_thread = nullptr;
    RunHost* mp_host = nullptr;
    // Also counted by blocking calls from other threads.
    std::atomic<quint64> m_commandsGiven{0};
    // The last command that changed the copy task's state: older states are not applied.
    quint64 m_stateCommand = 0;
    RunSnapshot m_state;
    // The item lists of the last whole report, shared with the run's thread, and the items
    // reported after it: appending to the shared lists would copy them all.
    TaskLedger m_ledger;
    TaskLedger m_live;
};
