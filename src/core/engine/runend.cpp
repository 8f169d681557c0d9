#include "engine/runend.h"

#include "base/handover.h"
#include "engine/copystage.h"
#include "engine/staletemporariesjob.h"
#include "engine/syncfilesystemjob.h"
#include "engine/syncfoldersjob.h"
#include "fs/filesystemutils.h"
#include "fs/platformcopy.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QMetaObject>

#include <algorithm>
#include <climits>

RunEnd::RunEnd(RunState* run, CopyStage* copy, QObject* parent)
    : QObject(parent), m_run(*run), mp_copy(copy), m_flushMonitor(this)
{
    setObjectName(QStringLiteral("RunEnd"));
    connect(&m_flushMonitor, &FlushMonitor::progress, this, &RunEnd::flushProgress);
}

void RunEnd::queueCall(QObject* target, const char* slot)
{
    QMetaObject::invokeMethod(target, slot, Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------------------
// The end of a run

void RunEnd::checkTaskCompleted()
{
    if (m_run.m_phase.isEnded() || !m_run.canStartJob())
        return;
    if (!m_run.m_ledger.copyQueue().isEmpty()) {
        mp_copy->processNextCopyInQueue();
        return;
    }
    if (!m_run.m_ledger.checkQueue().isEmpty()) {
        mp_copy->processNextCheckInQueue();
        return;
    }
    // Nothing else to copy now: the waiting copies are placed without waiting for more.
    if (mp_copy->commitPendingCopies(true) || m_run.m_placing.isPlacing())
        return;
    if (m_run.m_runningJobs > 0)
        return;
    if (m_run.m_ledger.hardLinks().hasWaiting()) {
        // Their first names were never copied (nothing should leave them so): copied as
        // files rather than lost.
        qWarning() << "Later names of files with several names are copied as files";
        m_run.m_ledger.copyQueue().append(m_run.m_ledger.hardLinks().takeAllWaiting());
        mp_copy->processNextCopyInQueue();
        return;
    }

    // A move of a folder without subfolders still has its emptied root to remove; so has a
    // collated move, which lists no folders (the folder job removes its emptied ones).
    const bool rootOnly = hasSourceRootToMove();
    // Only a whole list has its folders synced. A destination root that the run made is still
    // private.
    if (m_run.m_phase.is(RunPhase::Copying) && !m_run.m_stopRequested &&
        (!m_run.m_ledger.folders().isEmpty() || rootOnly ||
         (m_run.m_task.m_options.m_copyMode != CopyOptions::Verify &&
          PlatformCopy::isCreatedFolder(m_run.m_task.m_destinationPath)))) {
        startSyncFoldersJob();
        return;
    }
    // "Completed" (and "stopped", which a resume trusts) must mean that what the run wrote
    // is on the device, not only in the system's cache.
    if (m_run.m_wroteData && !m_run.m_phase.is(RunPhase::Flushing)) {
        startSyncFileSystemJob();
        return;
    }
    m_run.m_destination.close();

    if (!m_run.m_fileListCompleted && !m_run.m_stopRequested)
        m_run.m_stopRequested = true;
    if (m_run.m_earlier.isActive() && !m_run.m_fileListCompleted) {
        // A resume stopped during its walk stays resumable: its earlier list comes back,
        // with what this run finished in its place.
        m_run.m_earlier.restore(&m_run.m_ledger.completed(), &m_run.m_ledger.folders());
        m_run.m_fileListCompleted = true;
    }
    m_run.m_earlier.clear();
    m_run.setPhase(m_run.m_stopRequested ? RunPhase::Stopped : RunPhase::Completed);
    m_run.m_lastRunStopped = m_run.m_stopRequested ? 1 : 0;
    closeManifest();
    m_run.m_endTime = QDateTime::currentDateTime();
    m_run.m_elapsedTime = m_run.elapsedMs();
    m_run.m_ledger.counters()[TaskElapsedTime] = m_run.m_elapsedTime;

    const QString elapsedText =
        FileSystemUtils::elapsedTimeText(int(qMin<qint64>(m_run.m_elapsedTime, INT_MAX)));
    QString text;
    if (m_run.m_stopRequested) {
        qWarning() << "Copy from" << qUtf8Printable(m_run.m_task.m_sourcePath) << "to"
                   << qUtf8Printable(m_run.m_task.m_destinationPath) << "is stopped after"
                   << m_run.m_elapsedTime << "ms";
        text = QCoreApplication::translate("CopyTask", "Task is stopped after %1").arg(elapsedText);
    } else {
        qDebug() << "Copy from" << qUtf8Printable(m_run.m_task.m_sourcePath) << "to"
                 << qUtf8Printable(m_run.m_task.m_destinationPath) << "is finished in"
                 << m_run.m_elapsedTime << "ms";
        text = QCoreApplication::translate("CopyTask", "Task completed in %1").arg(elapsedText);
    }
    emit m_run.logAvailable(text);
    queueCall(this, "onTaskCompleted");
}

bool RunEnd::hasSourceRootToMove() const
{
    return m_run.movesSources() &&
           FileSystemUtils::isRealDirectory(QFileInfo(m_run.m_task.m_sourcePath));
}

void RunEnd::startSyncFoldersJob()
{
    m_run.setPhase(RunPhase::SyncingFolders);
    auto* job = new SyncFoldersJob();
    const QList<CopyItem>& folders = m_run.m_ledger.folders();
    job->setFolders(folders);
    if (hasSourceRootToMove()) {
        // After a stopped sync the root may already be in the list; it is removed once.
        const CopyItem root(m_run.m_task.m_sourcePath, m_run.m_task.m_destinationPath, 0, true,
                            QString());
        const bool listed =
            std::any_of(folders.cbegin(), folders.cend(), [&root](const CopyItem& folder) {
                return folder.source_path == root.source_path &&
                       folder.destination_path == root.destination_path;
            });
        if (!listed) {
            job->setSourceRootItem(root);
            m_run.m_ledger.counters()[FoldersFound] += 1;
        }
    }
    job->setRoots(m_run.m_task.m_sourcePath, m_run.m_task.m_destinationPath);
    job->setOptions(m_run.jobOptions());
    job->setSettings(m_run.m_settings);
    connect(job, &SyncFoldersJob::folderSynced, this,
            [this] { m_run.m_ledger.counters()[FoldersSynced] += 1; });
    connect(job, &Job::jobCompleted, this, &RunEnd::onSyncFoldersCompleted);
    m_run.runJob(job);
}

void RunEnd::onSyncFoldersCompleted()
{
    m_run.m_runningJobs -= 1;
    if (auto* job = qobject_cast<SyncFoldersJob*>(sender())) {
        HandOver::receive(static_cast<Job*>(job));
        QList<CopyItem>& folders = m_run.m_ledger.folders();
        folders = job->processedFolders();
        for (const CopyItem& folder : qAsConst(folders))
            m_run.m_destination.noteUnkeptAttributes(folder);
        m_run.m_ledger.counters()[ErrorItems] +=
            std::count_if(folders.cbegin(), folders.cend(),
                          [](const CopyItem& folder) { return folder.isError(); });
        emit copyListCompleted(folders);
        job->deleteLater();
    } else {
        qWarning() << parent()->objectName()
                   << "has received a signal from invalid SyncFoldersJob instance";
    }
    checkTaskCompleted();
}

void RunEnd::startSyncFileSystemJob()
{
    m_run.setPhase(RunPhase::Flushing);
    auto* job = new SyncFileSystemJob();
    job->setFileSystem(m_run.m_destination.handle(), m_run.m_destination.path());
    connect(job, &Job::jobCompleted, this, &RunEnd::onSyncFileSystemCompleted);
    // A flush onto a slow stick can take minutes: what is left is shown meanwhile.
    m_flushMonitor.start(m_run.m_destination.device());
    m_run.runJob(job);
}

void RunEnd::onSyncFileSystemCompleted()
{
    m_run.m_runningJobs -= 1;
    if (auto* job = qobject_cast<SyncFileSystemJob*>(sender())) {
        HandOver::receive(static_cast<Job*>(job));
        // Only a flush that succeeded has written everything.
        m_flushMonitor.finish(job->isFlushed());
        // The device may not hold what the run wrote: never a run without errors.
        if (!job->isFlushed())
            m_run.addRunError(
                QCoreApplication::translate(
                    "CopyTask", "unable to write the copied data to the storage device"),
                {job->errorText()});
        job->deleteLater();
    } else {
        m_flushMonitor.finish(false);
        qWarning() << parent()->objectName()
                   << "has received a signal from invalid SyncFileSystemJob instance";
    }
    checkTaskCompleted();
}

void RunEnd::onTaskCompleted()
{
    emit taskCompleted();
}

void RunEnd::removeStaleTemporaries()
{
    const QList<CopyItem>& queue = m_run.m_ledger.copyQueue();
    if (m_run.m_task.m_options.m_copyMode == CopyOptions::Verify || queue.isEmpty())
        return;
    QHash<QString, QSet<QString>> targets;
    for (const CopyItem& item : queue) {
        if (!item.is_folder)
            targets[QFileInfo(item.destination_path).path()].insert(
                QFileInfo(item.destination_path).fileName());
    }
    auto* job = new StaleTemporariesJob();
    job->setTargets(targets);
    connect(job, &Job::jobCompleted, this, [this, job] {
        m_run.m_runningJobs -= 1;
        HandOver::receive(static_cast<Job*>(job));
        job->deleteLater();
        checkTaskCompleted();
    });
    m_run.runJob(job);
}

// ---------------------------------------------------------------------------------------
// The checksum list of a run (RunManifest)

void RunEnd::closeManifest()
{
    const QString failure = m_run.m_manifest.close(m_run.m_phase.is(RunPhase::Completed));
    if (!failure.isEmpty())
        emit m_run.logAvailable(failure);
}
