#pragma once

#include "engine/flushmonitor.h"
#include "engine/runstate.h"

#include <QList>
#include <QObject>

class CopyStage;

// The end of a copy task's run: once nothing is queued or out, the folders get their times
// and attributes (a move removes its emptied sources), what the run wrote is flushed to the
// destination's device while the FlushMonitor reports it, and the run ends Completed or
// Stopped with its checksum list named or discarded. Also removes the temporary files an
// earlier process left, for a resume, which has no walk to do it.
class RunEnd : public QObject
{
    Q_OBJECT

public:
    RunEnd(RunState* run, CopyStage* copy, QObject* parent = nullptr);

    // A resume has no walk: the temporary files an earlier process left beside the names it
    // copies are removed by a job of their own.
    void removeStaleTemporaries();

signals:
    void copyListCompleted(const QList<CopyItem>& items);
    void flushProgress(qint64 written, qint64 total);
    void taskCompleted();

public slots:
    // Goes on with what is left to do, or takes the run to its next phase or its end.
    void checkTaskCompleted();
    void onTaskCompleted();

private slots:
    void onSyncFoldersCompleted();
    void onSyncFileSystemCompleted();

private:
    using RunPhase = TaskPhase::Phase;

    static void queueCall(QObject* target, const char* slot);
    bool hasSourceRootToMove() const;
    void startSyncFoldersJob();
    void startSyncFileSystemJob();
    void closeManifest();

    RunState& m_run;
    CopyStage* mp_copy;
    FlushMonitor m_flushMonitor;
};
