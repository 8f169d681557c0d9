#pragma once

#include "engine/copystage.h"
#include "engine/flushmonitor.h"
#include "engine/listingstage.h"
#include "engine/runend.h"
#include "engine/runstate.h"
#include "engine/taskledger.h"
#include "fs/pathutils.h"
#include "model/copyitem.h"
#include "model/externalprogramsettings.h"
#include "model/runsettings.h"
#include "model/task.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <array>
#include <memory>
#include <optional>

class Job;
class StorageProbe;
namespace TaskFile {
struct Result;
}

// Drives one run of a Task (copy, move, verify or fix errors) from its thread (the run's,
// behind a RunController): has the file list built, hands copy, check and folder work to jobs on
// the process-wide JobThreadPool, files every item the jobs hand back, and reports through its
// signals. Works under a plain QCoreApplication; the pool must hold started threads.
//
// Its parts share a RunState (the task, TaskLedger of the items and counters, TaskPhase,
// DestinationFileSystem, GroupedPlacing, RunManifest): ListingStage walks the source,
// CopyStage copies and checks, RunEnd syncs folders, flushes and ends the run; task files
// go through TaskFileStore. CopyTask starts, stops and resumes runs, and reports.
class CopyTask : public QObject
{
    Q_OBJECT

public:
    static constexpr int CounterCount = TaskLedger::CounterCount;
    using Counters = TaskLedger::Counters;

    explicit CopyTask(QObject* parent = nullptr);
    ~CopyTask() override;

    // Why a run from source to destination must not start, or an empty text: the
    // destination is the source folder itself or lies inside it through another name (a
    // symbolic link, a bind mount), or a single source file is its own destination. Such a
    // run would copy the items onto themselves, and a move would then remove them.
    static QString pathsRefusal(const QString& source, const QString& destination);
    // Why a resume must not write to the destination: it no longer lies on the file system
    // where the run began (the drive is not mounted, and its empty mount point would take the
    // copies on the system disk). Empty when it does, or when that is not known.
    QString destinationRefusal() const;
    // Why a resume must not run the program a task file asks for; empty when the file asks
    // for none, or for the very program the user's own settings use (own, when ownUsed).
    // Task files are shared and opened by file association: what they hold is data, never
    // a command.
    static QString externalProgramRefusal(const ExternalProgramSettings& asked, bool ownUsed,
                                          const ExternalProgramSettings& own);

    // Stores the task, compiles its skip-error patterns and clears the counters.
    void setTask(const Task& task);
    Task task() const { return m_run.m_task; }

    // An empty program path means the own copier is used.
    ExternalProgramSettings externalProgram() const { return m_run.m_externalProgram; }
    void setExternalProgram(const ExternalProgramSettings& program)
    {
        m_run.m_externalProgram = program;
    }
    bool skipBuildListForExternalProgram() const { return m_run.m_skipBuildListForExternalProgram; }
    void setSkipBuildListForExternalProgram(bool skip)
    {
        m_run.m_skipBuildListForExternalProgram = skip;
    }
    // The next start files this list, walked by the run's plan, rather than walk again.
    void setPlannedListing(std::shared_ptr<const WalkListing> listing)
    {
        m_run.m_plannedListing = std::move(listing);
    }

    // The preferences a run goes by. Each start or resume takes them from the preferences
    // (AppSettings::runSettings) and hands its own copy to every job and copier, so a
    // change in the preferences during a run applies to the next run. setRunSettings gives
    // every later start or resume these settings instead, whatever the preferences say;
    // useAppRunSettings goes back to the preferences. Neither changes a run in progress.
    void setRunSettings(const RunSettings& settings) { m_givenRunSettings = settings; }
    void useAppRunSettings() { m_givenRunSettings.reset(); }
    // The settings of the run in progress, or of the last one.
    RunSettings runSettings() const { return m_run.m_settings; }

    // Replaces the free-space test of the destination (null restores the file system's).
    void setStorageProbe(std::unique_ptr<StorageProbe> probe);

    bool isFileListCompleted() const { return m_run.m_fileListCompleted; }
    // True while no run is in progress.
    bool isTaskCompleted() const { return m_run.m_phase.isEnded(); }
    bool isStopRequested() const { return m_run.m_stopRequested; }
    QDateTime startTime() const { return m_run.m_startTime; }
    // The end of the run, or while it is paused, the start of the pause.
    QDateTime endTime() const { return m_run.clockEnd(); }
    bool isPaused() const { return m_run.m_paused; }
    // Jobs handed to the pool whose completion has not been handled yet.
    int runningJobCount() const { return m_run.m_runningJobs; }

    // On by default: small copies are flushed to the device and given their final names in
    // groups, and every item is reported once its group is placed, in the order of the
    // queue. Off, each copy is flushed and named on its own and reported at once. Takes
    // effect at the next start or resume.
    void setGroupedCopies(bool enabled) { m_run.m_groupedCopies = enabled; }
    // A verify, or a copy or move with CopyOptions::m_verifyCopies, writes the checksum list
    // of the files it verified to path (RunManifest), in the run's
    // digest; the list takes its name only once the run completed. Empty: none.
    void setManifestPath(const QString& path) { m_run.m_manifest.setPath(path); }
    QString manifestPath() const { return m_run.m_manifest.path(); }
    // Why the last run wrote no checksum list although it was asked to; empty when it did.
    QString manifestFailure() const { return m_run.m_manifest.failure(); }
    bool groupedCopies() const { return m_run.m_groupedCopies; }

    // Task files. errorsOnly writes the items in error alone; allItems writes every
    // completed item and not only the unprocessed ones; errorsAsUnprocessed resets the
    // written error items so that a resume copies them like new ones.
    bool saveToFile(const QString& path, bool errorsOnly, bool allItems, bool errorsAsUnprocessed);
    // A task file that holds the task alone, without items and with a list that is not
    // complete: loaded and resumed, it walks the source afresh.
    static bool saveTaskDefinition(const QString& path, const Task& task);
    // Leaves the task stopped; the list counts as complete only when every item and
    // folder the file announces could be read. A file that is refused leaves the task
    // unchanged.
    bool loadFromFile(const QString& path);
    // The same with a file TaskFile has read; false, and nothing changed, when the file
    // was refused or a run is in progress.
    bool load(const TaskFile::Result& file);
    // "copyerrors-<sha-256 of source and destination>.bdt"
    QString errorsFileName() const { return errorsFileNameFor(m_run.m_task); }
    static QString errorsFileNameFor(const Task& task);

    // Statistics. An index outside 1..12 reads 0.
    qint64 counter(int index) const;
    Counters counters() const { return m_run.m_ledger.counters(); }
    qint64 elapsedMs() const;
    // Bytes per second, at least 1 and at most the MaxTransferSpeed setting.
    qint64 averageSpeed() const;
    // Milliseconds; -1 while the file list is being built.
    qint64 remainingTime() const;

    // The clock-free arithmetic behind elapsedMs, averageSpeed and remainingTime.
    static qint64 elapsedMsBetween(const QDateTime& start, const QDateTime& end,
                                   const QDateTime& now)
    {
        return TaskLedger::elapsedMsBetween(start, end, now);
    }
    static qint64 averageSpeedFor(qint64 bytesCompleted, qint64 elapsedMs, qint64 maxTransferSpeed)
    {
        return TaskLedger::averageSpeedFor(bytesCompleted, elapsedMs, maxTransferSpeed);
    }
    static qint64 remainingTimeFor(const Counters& counters, int copyMode, bool fileListCompleted,
                                   bool taskCompleted, qint64 averageSpeed)
    {
        return TaskLedger::remainingTimeFor(counters, copyMode, fileListCompleted, taskCompleted,
                                            averageSpeed);
    }

    // The progress of the final flush, from the bytes waiting to be written to the device
    // when it began and now (-1: unknown): written of total, clamped to 0..total, or 0 of 0
    // when either amount is unknown.
    using FlushProgress = FlushMonitor::Progress;
    static FlushProgress flushProgressFor(qint64 waitingAtStart, qint64 waitingNow)
    {
        return FlushMonitor::progressFor(waitingAtStart, waitingNow);
    }

    // Item queries; each returns a new list.
    QList<CopyItem> errorItems() const;
    QList<CopyItem> copiedItems() const;
    QList<CopyItem> skippedItems() const;
    QList<CopyItem> checkedItems() const;
    QList<CopyItem> unprocessedItems() const;
    QList<CopyItem> folderItems() const;
    QList<CopyItem> completedItems() const { return m_run.m_ledger.completed(); }
    // Where the items of the run are (the item queries read it).
    const TaskLedger& ledger() const { return m_run.m_ledger; }

signals:
    void pausedChanged(bool paused);
    void jobProgress(const QString& name, qint64 done, qint64 total);
    void taskCompleted();
    void errorOccurred(const CopyItem& item);
    void logAvailable(const QString& text);
    void copyCompleted(const CopyItem& item);
    void copyListCompleted(const QList<CopyItem>& items);
    void storageIsFull(qint64 available, qint64 required);
    // While the end of a run writes what it copied to the destination's device: written of
    // total bytes so far; total 0 while the amount waiting cannot be read.
    void flushProgress(qint64 written, qint64 total);

public slots:
    void startTask();
    void resumeTask();
    void stopTask();
    // Holds a running run where it is (CopyTask's jobs wait, mid-file, holding their files),
    // and lets it go on from there; the time paused is not counted.
    void pauseTask();
    void continueTask();

private:
    // Takes the settings of the run that begins now.
    void takeRunSettings();
    // Ends the run as stopped when the pool has no thread; true when it did.
    bool endWithoutThreads();
    // Ends a run that pathsRefusal forbids before anything is read or written; true when it
    // did. A new run forgets the lists of the previous one; a resume keeps them.
    bool refuseUnsafePaths(bool newRun);
    // What a start and a resume both reset before their first job.
    void beginRun();
    // Ends a pause: the clock goes on, the jobs are woken. False when not paused.
    bool takeBackPause();
    void openDestinationFileSystem();
    void openManifest();
    void queueCall(QObject* target, const char* slot);

    std::optional<RunSettings> m_givenRunSettings;
    // The parts of a run; see RunState.
    RunState m_run;
    CopyStage m_copy;
    RunEnd m_end;
    ListingStage m_listing;
};
