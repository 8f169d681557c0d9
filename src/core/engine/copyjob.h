#pragma once

#include "engine/destinationanchor.h"
#include "fs/platform.h"
#include "fs/platformcopy.h"
#include "jobs/job.h"
#include "model/copyitem.h"
#include "model/copyoptions.h"
#include "model/runsettings.h"

#include <QList>
#include <QMutex>
#include <QStringList>
#include <QVector>

#include <deque>

class CopyObject;

// Copies one item of the copy queue on a worker thread. The owner fills the item and the
// options, dispatches the job and, on jobCompleted, reads the item back with its outcome.
class CopyJob : public Job, public CopyItem
{
    Q_OBJECT

public:
    explicit CopyJob(QObject* parent = nullptr);
    ~CopyJob() override;

    CopyOptions m_options;
    // Passed to the copiers: the run's destination, below which no link is written through.
    QString m_destinationRoot;
    DestinationAnchor m_destinationAnchor;
    // Passed to the file copiers: the run's copy of the preferences.
    RunSettings m_settings;
    // Passed to the file copier: small native copies on that file system are left under a
    // temporary name for the owner to flush and place in groups (see CommitFilesJob).
    qint64 m_deferBelowSize = 0;
    quint64 m_deferDevice = 0;
    // Passed to the file copier: items retried without a walk (fix errors).
    bool m_checkStoredNames = false;
    // Passed to the file copiers, by index (the job's own item first, then the following
    // ones): for a later name of a file, the copy of the first name to link it to; empty (or
    // missing) copies the item as a file.
    QStringList m_hardLinkTargets;

    // After completion: the temporary file holding a deferred copy, or empty.
    QString pendingTemporaryPath() const { return m_pendingTemporaryPath; }
    // With it, the source as that copy read it.
    PlatformCopy::FileVersion pendingSourceVersion() const { return m_pendingSourceVersion; }

    // Items copied after the job's own one, one after the other in this thread: for small
    // files, one job (and one pair of thread hand-overs) serves several. Set before the start.
    void setFollowingItems(const QList<CopyItem>& items);
    // After completion: every item of the job with its outcome, its own first, and for each
    // the temporary file of a deferred copy (or empty).
    QList<CopyItem> results() const { return m_results; }
    QStringList pendingTemporaryPaths() const { return m_pendingPaths; }
    // And the source as each deferred copy read it.
    QList<PlatformCopy::FileVersion> pendingSourceVersions() const { return m_sourceVersions; }
    // And whether each deferred copy replaces an existing destination.
    QList<bool> pendingReplaceFlags() const { return m_replaceFlags; }
    // Whether an item found the destination's drive gone (see DestinationAnchor).
    bool destinationLost() const { return m_destinationLost; }

public slots:
    void startJob() override;
    void stopJob() override;
    void pauseJob() override;
    void continueJob() override;
    void onCopyProgress(qint64 done, qint64 total);
    void onCopyCompleted();

protected:
    void finishJob() override;

private:
    void copyNextItem();
    void openSources();
    void closeSources();
    void releaseDestinationRoot();
    // The job's own item takes the first outcome; then the job finishes.
    void finishItems();

    // Written by the worker thread, read by stopJob from other threads under the mutex.
    CopyObject* m_copyObject = nullptr;
    QString m_pendingTemporaryPath;
    QList<CopyItem> m_followingItems;
    QList<CopyItem> m_results;
    QStringList m_pendingPaths;
    int m_next = 0;
    bool m_starting = false;
    PlatformCopy::FileVersion m_pendingSourceVersion;
    QList<PlatformCopy::FileVersion> m_sourceVersions;
    QList<bool> m_replaceFlags;
    bool m_destinationLost = false;
    QMutex m_copierMutex;
    // The items' sources opened ahead, by index in the job (-1: not opened), and their status.
    QVector<int> m_sourceFds;
    // In blocks of 512 bytes: a job's statuses in one piece (over 1 KiB) made the allocator
    // merge its free small blocks for every job, a tenth of a copy job's own work.
    std::deque<Platform::EntryStatus> m_sourceStatuses;
    int m_destinationRootFd = -1;
    // The folder of the latest copy, held open for the next ones of the same folder.
    PlatformCopy::PinnedFolder m_folder;
    bool m_rootElsewhere = false;
};
