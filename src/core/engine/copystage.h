#pragma once

#include "engine/runstate.h"

#include <QObject>

class RunEnd;

// The copy stage of a copy task's run: hands the queued items to copy jobs (or to the
// external program) and the copies to check to check jobs while threads are free, files
// what they hand back in the ledger, has small copies placed in groups, and stops the run
// when asked to or when the destination's drive is gone.
class CopyStage : public QObject
{
    Q_OBJECT

public:
    explicit CopyStage(RunState* run, QObject* parent = nullptr);
    void setEnd(RunEnd* end) { mp_end = end; }

    // Stops the jobs and moves every queued item to the completed list (CopyTask::stopTask).
    void stop();
    // A stop was requested: the queues are emptied into the completed list and the end of
    // the run is checked; false, and nothing done, otherwise.
    bool drainQueues();
    // Starts placing the waiting copies when none are being placed and the group is large
    // enough (or force); true when it started.
    bool commitPendingCopies(bool force);

signals:
    void jobProgress(const QString& name, qint64 done, qint64 total);

public slots:
    void processNextCopyInQueue();
    // Starts copy jobs while threads are free (later names of files released at once).
    void startQueuedJobs();
    void processNextCheckInQueue();

private slots:
    void onJobProgress(const QString& name, qint64 done, qint64 total);
    void onCopyCompleted();
    void onExternalCopyCompleted();
    void onCheckFileCompleted();
    void onCommitFilesCompleted();

private:
    static void queueCall(QObject* target, const char* slot);
    // A full destination decides the item instead of a copy; true when it did.
    bool decideOnFullStorage(CopyItem& item);
    void startCopyJob(const CopyItem& item);
    void startExternalCopyJob(const CopyItem& item);
    // The item's outcome is known: later names of its file that waited for it are queued,
    // and every thread takes a share.
    void settleHardLinks(const CopyItem& item);
    // placed: the item comes from a group that was placed after the copies were made;
    // its error then has nothing to do with a stop.
    void finishCopiedItem(CopyItem item, bool placed = false);
    // A job found the destination's drive gone: the run stops with that error, and what it
    // could not place stays to be copied by a resume.
    void stopForLostDestination();
    bool shouldCheck(const CopyItem& item) const;

    RunState& m_run;
    RunEnd* mp_end = nullptr;
};
