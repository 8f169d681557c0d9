#pragma once

#include "engine/buildfilelistjob.h"
#include "engine/commitfilesjob.h"
#include "engine/hardlinkgroups.h"
#include "fs/pathutils.h"
#include "model/copyitem.h"
#include "model/externalprogramsettings.h"
#include "model/runsettings.h"
#include "model/task.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <array>
#include <memory>
#include <optional>

class Job;
class StorageProbe;
namespace TaskFile {
struct Result;
}

// Index of a copy task's counters; 0 carries nothing.
enum TaskCounter
{
    FilesCompleted = 1,
    BytesCompleted = 2,
    FilesToCopy = 3,
    BytesToCopy = 4,
    FoldersSynced = 5,
    FoldersFound = 6,
    FilesCopied = 7,
    FilesSkipped = 8,
    ErrorItems = 9,
    FilesChecked = 10,
    TaskElapsedTime = 11
};

// Drives one run of a Task (copy, move, verify or fix errors) from the user-interface
// thread: has the file list built, hands copy, check and folder work to jobs on the
// process-wide JobThreadPool, files every item the jobs hand back, and reports through its
// signals. Works under a plain QCoreApplication; the pool must hold started threads.
//
// Every item of a run is in exactly one of the copy queue, the check queue, the
// symbolic-link queue, the hard links waiting for their first name, or the completed list;
// the folders list is kept apart.
class CopyTask : public QObject
{
    Q_OBJECT

public:
    static constexpr int CounterCount = TaskElapsedTime + 1;
    using Counters = std::array<qint64, CounterCount>;

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
    Task task() const { return m_task; }

    // An empty program path means the own copier is used.
    ExternalProgramSettings externalProgram() const { return m_externalProgram; }
    void setExternalProgram(const ExternalProgramSettings& program) { m_externalProgram = program; }
    bool skipBuildListForExternalProgram() const { return m_skipBuildListForExternalProgram; }
    void setSkipBuildListForExternalProgram(bool skip) { m_skipBuildListForExternalProgram = skip; }

    // The preferences a run goes by. Each start or resume takes them from the preferences
    // (AppSettings::runSettings) and hands its own copy to every job and copier, so a
    // change in the preferences during a run applies to the next run. setRunSettings gives
    // every later start or resume these settings instead, whatever the preferences say;
    // useAppRunSettings goes back to the preferences. Neither changes a run in progress.
    void setRunSettings(const RunSettings& settings) { m_givenRunSettings = settings; }
    void useAppRunSettings() { m_givenRunSettings.reset(); }
    // The settings of the run in progress, or of the last one.
    RunSettings runSettings() const { return m_runSettings; }

    // Replaces the free-space test of the destination (null restores the file system's).
    void setStorageProbe(std::unique_ptr<StorageProbe> probe);

    bool isFileListCompleted() const { return m_fileListCompleted; }
    // True while no run is in progress.
    bool isTaskCompleted() const
    {
        return m_phase == RunPhase::Idle || m_phase == RunPhase::Completed ||
               m_phase == RunPhase::Stopped;
    }
    bool isStopRequested() const { return m_stopRequested; }
    QDateTime startTime() const { return m_startTime; }
    QDateTime endTime() const { return m_endTime; }
    // Jobs handed to the pool whose completion has not been handled yet.
    int runningJobCount() const { return m_runningJobs; }

    // On by default: small copies are flushed to the device and given their final names in
    // groups, and every item is reported once its group is placed, in the order of the
    // queue. Off, each copy is flushed and named on its own and reported at once. Takes
    // effect at the next start or resume.
    void setGroupedCopies(bool enabled) { m_groupedCopies = enabled; }
    bool groupedCopies() const { return m_groupedCopies; }

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
    QString errorsFileName() const;

    // Statistics. An index outside 1..11 reads 0.
    qint64 counter(int index) const;
    Counters counters() const { return m_counters; }
    qint64 elapsedMs() const;
    // Bytes per second, at least 1 and at most the MaxTransferSpeed setting.
    qint64 averageSpeed() const;
    // Milliseconds; -1 while the file list is being built.
    qint64 remainingTime() const;

    // The clock-free arithmetic behind elapsedMs, averageSpeed and remainingTime.
    static qint64 elapsedMsBetween(const QDateTime& start, const QDateTime& end,
                                   const QDateTime& now);
    static qint64 averageSpeedFor(qint64 bytesCompleted, qint64 elapsedMs, qint64 maxTransferSpeed);
    static qint64 remainingTimeFor(const Counters& counters, int copyMode, bool fileListCompleted,
                                   bool taskCompleted, qint64 averageSpeed);

    // The progress of the final flush, from the bytes waiting to be written to the device
    // when it began and now (-1: unknown): written of total, clamped to 0..total, or 0 of 0
    // when either amount is unknown.
    struct FlushProgress
    {
        qint64 written = 0;
        qint64 total = 0;
    };
    static FlushProgress flushProgressFor(qint64 waitingAtStart, qint64 waitingNow);

    // Item queries; each returns a new list.
    QList<CopyItem> errorItems() const;
    QList<CopyItem> copiedItems() const;
    QList<CopyItem> skippedItems() const;
    QList<CopyItem> checkedItems() const;
    QList<CopyItem> unprocessedItems() const;
    QList<CopyItem> folderItems() const;
    QList<CopyItem> completedItems() const { return m_completedItems; }

signals:
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

private slots:
    void onJobProgress(const QString& name, qint64 done, qint64 total);
    void startBuildFileList();
    // Queues the walk's next batch of entries (BuildFileListJob::entriesListed).
    void addListedEntries();
    void addItemToCopy(const QString& source, const QString& destination, qint64 size,
                       bool isFolder, const QString& hardLinkFirst = QString());
    void addSymbolicLinkToCopy(const QString& source, const QString& destination, qint64 size,
                               const QString& linkTarget);
    void addItemToSkip(const QString& source, const QString& destination, qint64 size,
                       bool isFolder, const QString& reason,
                       const QString& hardLinkFirst = QString());
    void onBuildFileListCompleted();
    void processNextCopyInQueue();
    // Starts copy jobs while threads are free (later names of files released at once).
    void startQueuedJobs();
    void onCopyCompleted();
    void onExternalCopyCompleted();
    void processNextCheckInQueue();
    void onCheckFileCompleted();
    void checkTaskCompleted();
    void onFolderSynced(const QString& source, const QString& destination, qint64 done,
                        qint64 total);
    void onSyncFoldersCompleted();
    void onSyncFileSystemCompleted();
    // Reads what still waits to be written to the device and emits flushProgress.
    void pollFlushProgress();
    void onCommitFilesCompleted();
    void onTaskCompleted();

private:
    // Takes the settings of the run that begins now.
    void takeRunSettings();
    // The phases of a run. A run goes from Listing (a start) or Copying (a resume) to
    // Completed or Stopped in this order, leaving out the phases it has no work for; a
    // refused one goes through Refused alone. A stop request is not a phase
    // (m_stopRequested): it can come in any phase of a run, which then goes on through the
    // phases left (jobs finish, what was written is flushed), only filing what the jobs hand
    // back differently and ending Stopped.
    enum class RunPhase
    {
        // No run has started yet.
        Idle,
        // The list is not whole: the source is walked and what it finds is copied meanwhile.
        // A walk that was stopped leaves the run here while its last jobs finish.
        Listing,
        // The list is whole: its items are copied and, in a verify run, checked.
        Copying,
        // A run that pathsRefusal forbids: it ends with its one error, having read and
        // written nothing; the folders of a refused resume stay as they were.
        Refused,
        // The folders get their times and attributes; a move removes its emptied sources.
        SyncingFolders,
        // What the run wrote is flushed to the destination's device.
        Flushing,
        // The ends of a run. Stopped also stands for a loaded task file and for a start
        // without job threads.
        Completed,
        Stopped
    };

    // Every change of phase goes through here.
    void setPhase(RunPhase phase);
    static const char* phaseName(RunPhase phase);
    bool canStartJob() const;
    // Ends the run as stopped when the pool has no thread; true when it did.
    bool endWithoutThreads();
    // Ends a run that pathsRefusal forbids before anything is read or written; true when it
    // did. A new run forgets the lists of the previous one; a resume keeps them.
    bool refuseUnsafePaths(bool newRun);
    void runJob(Job* job);
    CopyItem taskItem() const;
    bool drainQueues();
    void abandonFileList(const QString& message);
    // placed: the item comes from a group that was placed after the copies were made;
    // its error then has nothing to do with a stop.
    void finishCopiedItem(CopyItem item, bool placed = false);
    // A job found the destination's drive gone: the run stops with that error, and what it
    // could not place stays to be copied by a resume.
    void stopForLostDestination();
    QString driveGoneText() const;
    // A resume has no walk: the temporary files an earlier process left beside the names it
    // copies are removed by a job of their own.
    void removeStaleTemporaries();
    // The one warning of a run whose destination keeps no extended attributes (each item
    // concerned has its note).
    void warnOfUnkeptAttributes(const CopyItem& item);
    // Turns an error excused by a skip-error pattern into Skipped; true when it did.
    bool applySkipErrorPatterns(CopyItem& item) const;
    void signalCompleted(const CopyItem& item, bool excused);
    bool shouldCheck(const CopyItem& item) const;
    bool hasSourceRootToMove() const;
    // Whether the run removes the sources it copied: a move, or a fix-errors run of one.
    bool movesSources() const;
    // The options handed to the jobs: a fix-errors run of a move moves what it fixes.
    CopyOptions jobOptions() const;
    // A copied file of an earlier run whose destination is gone or has another size.
    static bool copyIsMissing(const CopyItem& item);
    void startCopyJob(const CopyItem& item);
    // Queues a file, or holds it back while it waits for the copy of its first name.
    void queueFile(const CopyItem& item);
    // The item's outcome is known: later names of its file that waited for it are queued.
    void settleHardLinks(const CopyItem& item);
    void startExternalCopyJob(const CopyItem& item);
    void startSyncFoldersJob();
    void openDestinationFileSystem();
    void closeDestinationFileSystem();
    void startSyncFileSystemJob();
    // Whether small copies of this run may be flushed and placed in groups.
    bool canDeferCopies() const;
    // Starts placing the waiting copies when none are being placed and the group is large
    // enough (or force); true when it started.
    bool commitPendingCopies(bool force);
    // Empties the queues and the counters, and with withCompleted the completed and folder
    // lists too.
    void clearLists(bool withCompleted);
    void rebuildQueues();
    void appendSortedSymbolicLinks();
    void queueCall(const char* slot);

    void resetCounters();
    void countToCopy(const CopyItem& item);
    bool verifiedInVerify(const CopyItem& item) const;
    void countCompleted(const CopyItem& item);

    Task m_task;
    // The task is a fix-errors run of a move (setTask replaced a move of the same paths by
    // it): the files it copies again are moved.
    bool m_fixingMove = false;
    ExternalProgramSettings m_externalProgram;
    bool m_skipBuildListForExternalProgram = false;
    RunSettings m_runSettings;
    std::optional<RunSettings> m_givenRunSettings;
    Counters m_counters{};
    QList<CopyItem> m_copyQueue;
    QList<CopyItem> m_checkQueue;
    QList<CopyItem> m_completedItems;
    QList<CopyItem> m_folders;
    QList<CopyItem> m_symbolicLinksQueue;
    // Later names of files with several names, waiting for their first name's copy.
    HardLinkGroups m_hardLinks;
    // The bytes of those later names found by the walk: they need no room of their own.
    qint64 m_linkedBytes = 0;
    // Sources whose copy failed its check, copied again by a fix-errors run: each is checked
    // once more before it leaves the errors.
    QSet<QString> m_recheckSources;
    RunPhase m_phase = RunPhase::Idle;
    // The list holds the whole source: its walk ended unstopped, or the loaded task file says
    // so. Kept once the run is over: a resume of a partial list walks the source again.
    bool m_fileListCompleted = false;
    // Where the destination's file system was mounted when the run began (saved with it).
    QString m_destinationMountPoint;
    // The destination's nearest existing folder when the run began (see DestinationAnchor).
    DestinationAnchor m_destinationAnchor;
    // Set by a stop request until the next start or resume; a run left with a partial list
    // counts as stopped too.
    bool m_stopRequested = false;
    // Set once a job has written to the destination in this run: the run then ends with a
    // flush of the destination's file system.
    bool m_wroteData = false;
    bool m_warnedOfUnkeptAttributes = false;
    int m_fileSystemHandle = -1;
    quint64 m_fileSystemDevice = 0;
    // Finished copies waiting under temporary names to be flushed and placed as a group.
    QList<CommitFilesJob::PendingCopy> m_pendingCopies;
    qint64 m_pendingBytes = 0;
    bool m_commitRunning = false;
    bool m_groupedCopies = true;
    // While a batch from the walk is being queued: jobs are made once it is all in.
    bool m_addingListedEntries = false;
    QString m_fileSystemPath;
    // While the final flush runs: polls what waits to be written, every 250 ms.
    QTimer m_flushTimer;
    // Bytes waiting to be written when the flush began; -1 when unknown.
    qint64 m_flushWaitingAtStart = -1;
    // The run's own error, on the task's source and destination: a refused start, or a
    // failed final flush.
    CopyItem m_runError;
    bool m_skipStorageCheck = false;
    QDateTime m_startTime;
    QDateTime m_endTime;
    qint64 m_elapsedTime = 0;
    FileSystemUtils::PatternList m_skipErrorPatterns;
    int m_runningJobs = 0;
    std::unique_ptr<StorageProbe> mp_storageProbe;
};
