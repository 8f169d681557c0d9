#pragma once

#include "engine/runstate.h"

#include <QObject>

class CopyStage;
class RunEnd;

// The listing stage of a copy task's run: has the source walked by a BuildFileListJob,
// files the entries it lists in the ledger batch by batch (copying starts meanwhile), and
// once the walk ends files its errors, checks the room at the destination for the whole
// list and starts the copy stage on every thread. A walk that was stopped leaves the list
// partial: the run then ends stopped, and a resume walks the source afresh.
class ListingStage : public QObject
{
    Q_OBJECT

public:
    ListingStage(RunState* run, CopyStage* copy, RunEnd* end, QObject* parent = nullptr);

    // Files the files a stopped move took before its resume; one whose copy is gone since
    // is an error, not a file moved.
    void carryMoved(const QList<CopyItem>& moved);

signals:
    void storageIsFull(qint64 available, qint64 required);

public slots:
    void startBuildFileList();

private slots:
    // Queues the walk's next batch of entries (BuildFileListJob::entriesListed).
    void addListedEntries();
    void onBuildFileListCompleted();

private:
    static void queueCall(QObject* target, const char* slot);
    // Whether the plan's list stands for this run's walk; then it is filed instead.
    bool takesPlannedListing(const WalkListing& listing) const;
    void fileListing(const WalkListing& listing);
    void fileEntries(const QVector<ListedBatches::Entry>& entries);
    // The walk ended: its errors are filed, and a complete list starts the copies.
    void listEnded(const QList<CopyItem>& errors, bool complete);
    void abandonFileList(const QString& message);

    RunState& m_run;
    CopyStage* mp_copy;
    RunEnd* mp_end;
};
