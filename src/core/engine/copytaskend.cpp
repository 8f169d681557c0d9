// CopyTask, continued: the end of a run (folder sync, flush of the destination), stopping
// and resuming.

#include "engine/checkfilejob.h"
#include "engine/copytask.h"

#include "base/handover.h"
#include "engine/buildfilelistjob.h"
#include "engine/staletemporariesjob.h"
#include "engine/syncfilesystemjob.h"
#include "engine/syncfoldersjob.h"
#include "fs/filesystemutils.h"
#include "fs/platform.h"
#include "fs/platformcopy.h"
#include "jobs/jobthreadpool.h"
#include "jobs/transfercounters.h"

#include <QDebug>
#include <QFileInfo>

#include <algorithm>
#include <climits>

// ---------------------------------------------------------------------------------------
// The end of a run

void CopyTask::checkTaskCompleted()
{
    if (isTaskCompleted() || !canStartJob())
        return;
    if (!m_copyQueue.isEmpty()) {
        processNextCopyInQueue();
        return;
    }
    if (!m_checkQueue.isEmpty()) {
        processNextCheckInQueue();
        return;
    }
    // Nothing else to copy now: the waiting copies are placed without waiting for more.
    if (commitPendingCopies(true) || m_commitRunning)
        return;
    if (m_runningJobs > 0)
        return;
    if (m_hardLinks.hasWaiting()) {
        // Their first names were never copied (nothing should leave them so): copied as
        // files rather than lost.
        qWarning() << "Later names of files with several names are copied as files";
        m_copyQueue.append(m_hardLinks.takeAllWaiting());
        processNextCopyInQueue();
        return;
    }

    // A move of a folder without subfolders still has its emptied root to remove; so has a
    // collated move, which lists no folders (the folder job removes its emptied ones).
    const bool rootOnly = hasSourceRootToMove();
    // Only a whole list has its folders synced. A destination root that the run made is still
    // private.
    if (m_phase == RunPhase::Copying && !m_stopRequested &&
        (!m_folders.isEmpty() || rootOnly ||
         (m_task.m_options.m_copyMode != CopyOptions::Verify &&
          PlatformCopy::isCreatedFolder(m_task.m_destinationPath)))) {
        startSyncFoldersJob();
        return;
    }
    // "Completed" (and "stopped", which a resume trusts) must mean that what the run wrote
    // is on the device, not only in the system's cache.
    if (m_wroteData && m_phase != RunPhase::Flushing) {
        startSyncFileSystemJob();
        return;
    }
    closeDestinationFileSystem();

    if (!m_fileListCompleted && !m_stopRequested)
        m_stopRequested = true;
    setPhase(m_stopRequested ? RunPhase::Stopped : RunPhase::Completed);
    m_endTime = QDateTime::currentDateTime();
    m_elapsedTime = elapsedMs();
    m_counters[TaskElapsedTime] = m_elapsedTime;

    const QString elapsedText =
        FileSystemUtils::elapsedTimeText(int(qMin<qint64>(m_elapsedTime, INT_MAX)));
    QString text;
    if (m_stopRequested) {
        qWarning() << "Copy from" << qUtf8Printable(m_task.m_sourcePath) << "to"
                   << qUtf8Printable(m_task.m_destinationPath) << "is stopped after"
                   << m_elapsedTime << "ms";
        text = tr("Task is stopped after %1").arg(elapsedText);
    } else {
        qDebug() << "Copy from" << qUtf8Printable(m_task.m_sourcePath) << "to"
                 << qUtf8Printable(m_task.m_destinationPath) << "is finished in" << m_elapsedTime
                 << "ms";
        text = tr("Task completed in %1").arg(elapsedText);
    }
    emit logAvailable(text);
    queueCall("onTaskCompleted");
}

bool CopyTask::hasSourceRootToMove() const
{
    return movesSources() && FileSystemUtils::isRealDirectory(QFileInfo(m_task.m_sourcePath));
}

bool CopyTask::movesSources() const
{
    const int mode = m_task.m_options.m_copyMode;
    return mode == CopyOptions::Move || (mode == CopyOptions::FixErrors && m_fixingMove);
}

CopyOptions CopyTask::jobOptions() const
{
    CopyOptions options = m_task.m_options;
    if (movesSources())
        options.m_copyMode = CopyOptions::Move;
    return options;
}

void CopyTask::startSyncFoldersJob()
{
    setPhase(RunPhase::SyncingFolders);
    auto* job = new SyncFoldersJob();
    job->setFolders(m_folders);
    if (hasSourceRootToMove()) {
        // After a stopped sync the root may already be in the list; it is removed once.
        const CopyItem root(m_task.m_sourcePath, m_task.m_destinationPath, 0, true, QString());
        const bool listed =
            std::any_of(m_folders.cbegin(), m_folders.cend(), [&root](const CopyItem& folder) {
                return folder.source_path == root.source_path &&
                       folder.destination_path == root.destination_path;
            });
        if (!listed) {
            job->setSourceRootItem(root);
            m_counters[FoldersFound] += 1;
        }
    }
    job->setRoots(m_task.m_sourcePath, m_task.m_destinationPath);
    job->setOptions(jobOptions());
    job->setSettings(m_runSettings);
    connect(job, &SyncFoldersJob::folderSynced, this, &CopyTask::onFolderSynced);
    connect(job, &Job::jobCompleted, this, &CopyTask::onSyncFoldersCompleted);
    runJob(job);
}

void CopyTask::onFolderSynced(const QString&, const QString&, qint64, qint64)
{
    m_counters[FoldersSynced] += 1;
}

void CopyTask::onSyncFoldersCompleted()
{
    m_runningJobs -= 1;
    if (auto* job = qobject_cast<SyncFoldersJob*>(sender())) {
        HandOver::receive(static_cast<Job*>(job));
        m_folders = job->processedFolders();
        for (const CopyItem& folder : qAsConst(m_folders))
            warnOfUnkeptAttributes(folder);
        m_counters[ErrorItems] +=
            std::count_if(m_folders.cbegin(), m_folders.cend(),
                          [](const CopyItem& folder) { return folder.isError(); });
        emit copyListCompleted(m_folders);
        job->deleteLater();
    } else {
        qWarning() << objectName() << "has received a signal from invalid SyncFoldersJob instance";
    }
    checkTaskCompleted();
}

void CopyTask::openDestinationFileSystem()
{
    closeDestinationFileSystem();
    m_destinationAnchor = DestinationAnchor();
    m_wroteData = false;
    m_warnedOfUnkeptAttributes = false;
    m_runError = CopyItem();
    // Learnt afresh for each run: a device number may stand for another file system by now.
    Platform::forgetFileSystemTraits();
    // A verify run writes nothing.
    if (m_task.m_options.m_copyMode == CopyOptions::Verify)
        return;
    // Opened before anything is written, so that the final flush also reports the
    // write-back errors that happen before it.
    m_fileSystemHandle = Platform::openFileSystem(m_task.m_destinationPath, &m_fileSystemPath);
    m_fileSystemDevice = m_fileSystemHandle >= 0 ? PlatformCopy::deviceOf(m_fileSystemHandle) : 0;
    m_destinationAnchor = DestinationAnchor::fromOpenFolder(m_fileSystemHandle, m_fileSystemPath);
    if (m_fileSystemHandle < 0) {
        m_fileSystemPath = m_task.m_destinationPath;
        qWarning() << "Unable to open the file system of" << qUtf8Printable(m_fileSystemPath);
        FileSystemUtils::lastErrorText(Platform::lastFailedCall());
    }
}

void CopyTask::closeDestinationFileSystem()
{
    Platform::closeFileSystem(m_fileSystemHandle);
    m_fileSystemHandle = -1;
    m_fileSystemDevice = 0;
}

void CopyTask::startSyncFileSystemJob()
{
    setPhase(RunPhase::Flushing);
    auto* job = new SyncFileSystemJob();
    job->setFileSystem(m_fileSystemHandle, m_fileSystemPath);
    connect(job, &Job::jobCompleted, this, &CopyTask::onSyncFileSystemCompleted);
    // A flush onto a slow stick can take minutes: what is left is shown meanwhile.
    m_flushWaitingAtStart = Platform::bytesWaitingForDevice(m_fileSystemDevice);
    const FlushProgress progress = flushProgressFor(m_flushWaitingAtStart, m_flushWaitingAtStart);
    emit flushProgress(progress.written, progress.total);
    m_flushTimer.start();
    runJob(job);
}

CopyTask::FlushProgress CopyTask::flushProgressFor(qint64 waitingAtStart, qint64 waitingNow)
{
    if (waitingAtStart <= 0 || waitingNow < 0)
        return FlushProgress();
    // Other writers may add to what waits: the progress never goes back below nothing.
    return FlushProgress{qBound<qint64>(0, waitingAtStart - waitingNow, waitingAtStart),
                         waitingAtStart};
}

void CopyTask::pollFlushProgress()
{
    if (m_phase != RunPhase::Flushing) {
        m_flushTimer.stop();
        return;
    }
    const FlushProgress progress = flushProgressFor(
        m_flushWaitingAtStart, Platform::bytesWaitingForDevice(m_fileSystemDevice));
    emit flushProgress(progress.written, progress.total);
}

void CopyTask::onSyncFileSystemCompleted()
{
    m_runningJobs -= 1;
    m_flushTimer.stop();
    if (auto* job = qobject_cast<SyncFileSystemJob*>(sender())) {
        HandOver::receive(static_cast<Job*>(job));
        // Only a flush that succeeded has written everything.
        if (job->isFlushed() && m_flushWaitingAtStart > 0)
            emit flushProgress(m_flushWaitingAtStart, m_flushWaitingAtStart);
        if (!job->isFlushed()) {
            // The device may not hold what the run wrote: never a run without errors.
            m_runError = taskItem();
            m_runError.setDestinationError(
                tr("unable to write the copied data to the storage device"));
            m_runError.info_list.append(job->errorText());
            m_counters[ErrorItems] += 1;
            emit errorOccurred(m_runError);
        }
        job->deleteLater();
    } else {
        qWarning() << objectName()
                   << "has received a signal from invalid SyncFileSystemJob instance";
    }
    checkTaskCompleted();
}

void CopyTask::onTaskCompleted()
{
    emit taskCompleted();
}

// ---------------------------------------------------------------------------------------
// Stopping and resuming

void CopyTask::stopTask()
{
    if (isTaskCompleted() || m_stopRequested)
        return;
    emit logAvailable(tr("Please wait while stopping the process"));
    qDebug() << "Stopping copy" << qUtf8Printable(m_task.m_sourcePath) << "to"
             << qUtf8Printable(m_task.m_destinationPath);
    m_stopRequested = true;
    JobThreadPool::stopAllJobs();
    drainQueues();
}

void CopyTask::resumeTask()
{
    qDebug() << "Resuming copy" << qUtf8Printable(m_task.m_sourcePath) << "to"
             << qUtf8Printable(m_task.m_destinationPath);
    if (!isTaskCompleted()) {
        qWarning() << "Copy from" << qUtf8Printable(m_task.m_sourcePath) << "to"
                   << qUtf8Printable(m_task.m_destinationPath) << "is already running";
        return;
    }
    if (!m_fileListCompleted) {
        qDebug() << "File list is not completed. Restarting...";
        queueCall("startTask");
        return;
    }
    takeRunSettings();
    if (endWithoutThreads() || refuseUnsafePaths(false))
        return;
    m_startTime = QDateTime::currentDateTime();
    m_endTime = QDateTime();
    TransferCounters::instance()->resetAll();
    m_runningJobs = 0;
    m_pendingCopies.clear();
    m_pendingBytes = 0;
    m_commitRunning = false;
    m_stopRequested = false;
    // The list is whole: the items left in it are queued again.
    setPhase(RunPhase::Copying);
    openDestinationFileSystem();
    rebuildQueues();
    removeStaleTemporaries();
    queueCall("processNextCopyInQueue");
}

void CopyTask::removeStaleTemporaries()
{
    if (m_task.m_options.m_copyMode == CopyOptions::Verify || m_copyQueue.isEmpty())
        return;
    QHash<QString, QSet<QString>> targets;
    for (const CopyItem& item : qAsConst(m_copyQueue)) {
        if (!item.is_folder)
            targets[QFileInfo(item.destination_path).path()].insert(
                QFileInfo(item.destination_path).fileName());
    }
    auto* job = new StaleTemporariesJob();
    job->setTargets(targets);
    connect(job, &Job::jobCompleted, this, [this, job] {
        m_runningJobs -= 1;
        HandOver::receive(static_cast<Job*>(job));
        job->deleteLater();
        checkTaskCompleted();
    });
    runJob(job);
}

void CopyTask::clearLists(bool withCompleted)
{
    m_copyQueue.clear();
    m_checkQueue.clear();
    m_symbolicLinksQueue.clear();
    m_hardLinks.clear();
    m_recheckSources.clear();
    if (withCompleted) {
        m_completedItems.clear();
        m_folders.clear();
    }
    resetCounters();
}

void CopyTask::rebuildQueues()
{
    clearLists(false);

    if (m_elapsedTime > 0) {
        // The time of the earlier run is carried on.
        m_startTime = QDateTime::currentDateTime().addMSecs(-m_elapsedTime);
        m_elapsedTime = 0;
    }

    const int mode = m_task.m_options.m_copyMode;
    const QList<CopyItem> items = m_completedItems;
    m_completedItems.clear();
    int linkCount = 0;
    // Queued once every first name is known: a later name is linked to a first name's copy
    // found in the list, or waits for the first name queued again.
    QList<CopyItem> laterNames;
    const auto queue = [this, &laterNames](const CopyItem& item) {
        if (item.linksToEarlierName())
            laterNames.append(item);
        else
            queueFile(item);
    };
    for (CopyItem item : items) {
        countToCopy(item);
        if (item.isError() && mode == CopyOptions::FixErrors && CheckFileJob::failedCheck(item)) {
            // A copy whose bytes differ is replaced whatever the dates say (the copier reads
            // the failed check), then checked again.
            m_recheckSources.insert(item.source_path);
            item.elapsed_time = 0;
            queue(item);
        } else if (item.isError() && mode == CopyOptions::FixErrors &&
                   !BuildFileListJob::refusedAsTwin(item)) {
            // Copied afresh: the copier then decides about the destination as for a new item.
            item.resetState();
            item.info_list.clear();
            item.elapsed_time = 0;
            queue(item);
        } else if (mode != CopyOptions::Verify && copyIsMissing(item)) {
            // A task file may be older than what happened to the destination since.
            qDebug() << "The copy of" << qUtf8Printable(item.source_path)
                     << "is missing or incomplete: copying it again";
            item.resetState();
            item.info_list.clear();
            item.elapsed_time = 0;
            queue(item);
        } else if (item.copy_state != Skipped && item.copy_state != Copied) {
            if (!item.link_target.isEmpty()) {
                item.elapsed_time = 0;
                m_symbolicLinksQueue.append(item);
                ++linkCount;
            } else if (item.copy_state == Unprocessed) {
                item.elapsed_time = 0;
                queue(item);
            } else {
                countCompleted(item);
                m_completedItems.append(item);
            }
        } else if (!item.is_folder && item.link_target.isEmpty() && mode == CopyOptions::Verify &&
                   !item.is_checked) {
            m_checkQueue.append(item);
        } else {
            settleHardLinks(item);
            countCompleted(item);
            m_completedItems.append(item);
        }
    }
    for (const CopyItem& item : qAsConst(laterNames))
        queueFile(item);
    appendSortedSymbolicLinks();
    if (!m_copyQueue.isEmpty() || !m_checkQueue.isEmpty()) {
        // Folders are synced (and in a move removed) again after the items copied now.
        for (CopyItem& folder : m_folders) {
            if (folder.copy_state != Unprocessed) {
                folder.resetState();
                folder.info_list.clear();
            }
        }
    }

    qDebug() << m_copyQueue.size() << "items added to copy queue";
    qDebug() << linkCount << "items added to symbolic links queue";
    m_counters[FoldersFound] = m_folders.size();
    emit copyListCompleted(m_completedItems);
}
