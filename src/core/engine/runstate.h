#pragma once

#include "engine/destinationfilesystem.h"
#include "engine/earlierrun.h"
#include "engine/groupedplacing.h"
#include "engine/runmanifest.h"
#include "engine/taskledger.h"
#include "engine/taskphase.h"
#include "engine/walklisting.h"
#include "fs/pathutils.h"
#include "model/copyitem.h"
#include "model/externalprogramsettings.h"
#include "model/runsettings.h"
#include "model/task.h"

#include <QDateTime>
#include <QObject>

#include <memory>

class Job;
class StorageProbe;

// What the parts of a copy task's run share (CopyTask, ListingStage, CopyStage, RunEnd):
// the task and the settings it runs by, where its items are, the destination, the phase,
// the jobs out on the JobThreadPool, and the reports every part makes, which CopyTask
// passes on as its own signals. Lives on the run's thread, with the copy task.
class RunState : public QObject
{
    Q_OBJECT

public:
    explicit RunState(QObject* parent = nullptr);
    ~RunState() override;

    // Whether the run removes the sources it copied: a move, or a fix-errors run of one.
    bool movesSources() const;
    // The options handed to the jobs: a fix-errors run of a move moves what it fixes.
    CopyOptions jobOptions() const;
    bool isVerify() const { return m_task.m_options.m_copyMode == CopyOptions::Verify; }
    // The task's source and destination as one item, for the run's own errors.
    CopyItem taskItem() const;
    // Turns an error excused by a skip-error pattern into Skipped; true when it did.
    bool applySkipErrorPatterns(CopyItem& item) const;
    // Files the run's own error and reports it.
    void addRunError(const QString& message, const QStringList& info = QStringList());
    // Reports an item the run is done with: an error unless excused.
    void reportCompleted(const CopyItem& item, bool excused = true);

    bool canStartJob() const;
    // Hands the job to the least busy thread of the pool (deleted when there is none).
    void runJob(Job* job);
    // The completion of a job handed out was received.
    void jobEnded() { m_runningJobs -= 1; }
    // Without the time spent paused.
    qint64 elapsedMs() const;
    // Where the run's clock stands still: its end, or while paused, the start of the pause.
    QDateTime clockEnd() const { return m_endTime.isNull() ? m_pausedSince : m_endTime; }
    // Every change of phase goes through here.
    void setPhase(TaskPhase::Phase phase);

    Task m_task;
    // The task is a fix-errors run of a move (CopyTask::setTask replaced a move of the same
    // paths by it): the files it copies again are moved.
    bool m_fixingMove = false;
    ExternalProgramSettings m_externalProgram;
    bool m_skipBuildListForExternalProgram = false;
    // The list a plan walked just before this run (RunPlan::keepListing): taken by the next
    // listing instead of a walk, once.
    std::shared_ptr<const WalkListing> m_plannedListing;
    RunSettings m_settings;
    bool m_groupedCopies = true;
    FileSystemUtils::PatternList m_skipErrorPatterns;
    TaskLedger m_ledger;
    // A resume's walk: what the runs before it did.
    EarlierRun m_earlier;
    TaskPhase m_phase;
    DestinationFileSystem m_destination;
    GroupedPlacing m_placing;
    RunManifest m_manifest;
    std::unique_ptr<StorageProbe> mp_storageProbe;
    // The list holds the whole source: its walk ended unstopped, or the loaded task file says
    // so. Kept once the run is over: a resume of a partial list walks the source again.
    bool m_fileListCompleted = false;
    // Set by a stop request until the next start or resume; a run left with a partial list
    // counts as stopped too.
    bool m_stopRequested = false;
    // Set once a job has written to the destination in this run: the run then ends with a
    // flush of the destination's file system.
    bool m_wroteData = false;
    // The destination was found large enough for the whole list: no item is checked alone.
    bool m_skipStorageCheck = false;
    // Paused (CopyTask::pauseTask): no job starts and the jobs out wait, holding their files;
    // the clock stands still from m_pausedSince.
    bool m_paused = false;
    QDateTime m_pausedSince;
    // Jobs handed to the pool whose completion has not been handled yet.
    int m_runningJobs = 0;
    QDateTime m_startTime;
    QDateTime m_endTime;
    qint64 m_elapsedTime = 0;
    // How the last run ended: 1 stopped, 0 completed, -1 unknown (a task file that does not
    // say). A resume of a stopped run goes on with its figures (EarlierRun::carries).
    int m_lastRunStopped = -1;

signals:
    void copyCompleted(const CopyItem& item);
    void errorOccurred(const CopyItem& item);
    void logAvailable(const QString& text);
};
