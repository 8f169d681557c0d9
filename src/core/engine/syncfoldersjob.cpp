#include "engine/syncfoldersjob.h"

#include "app/appsettings.h"
#include "fs/filesystemutils.h"

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMetaObject>
#include <QTimer>

#include <algorithm>

namespace {

// The removals start once the event loop has turned (a zero timer) and go on in batches of
// at most this long, each queued after the last: between two batches the job's thread
// serves its event loop (the other jobs it holds, its signals to the user-interface thread
// flowing meanwhile). A stop is seen between any two removals.
constexpr int moveIntervalMs = 0;
constexpr qint64 moveBatchMs = 25;

} // namespace

SyncFoldersJob::SyncFoldersJob(QObject* parent) : Job(parent)
{
    setObjectName(QStringLiteral("SyncFoldersJob"));
}

void SyncFoldersJob::startJob()
{
    if (!m_sourceRootItem.source_path.isEmpty() && !m_sourceRootItem.destination_path.isEmpty())
        m_foldersToMove.append(m_sourceRootItem);
    Job::startJob();
    QMetaObject::invokeMethod(this, "checkExistingFolders", Qt::QueuedConnection);
}

void SyncFoldersJob::checkExistingFolders()
{
    for (CopyItem folder : qAsConst(m_folders)) {
        if (!QFileInfo(folder.destination_path).isDir()) {
            if (folder.copy_state == Unprocessed)
                folder.copy_state = Skipped;
            m_processedFolders.append(folder);
        } else if (folder.copy_state == Unprocessed) {
            folder.copy_state = Copied;
            m_foldersToSync.append(folder);
        } else {
            m_processedFolders.append(folder);
        }
    }
    QMetaObject::invokeMethod(this, "processNextFolder", Qt::QueuedConnection);
}

void SyncFoldersJob::processNextFolder()
{
    if (isStopped() && !m_foldersToSync.isEmpty()) {
        qDebug() << "Stop synching folders...";
        passOnUnchanged(m_foldersToSync);
    }
    if (m_foldersToSync.isEmpty()) {
        if (m_foldersToMove.isEmpty()) {
            finishJob();
            return;
        }
        // A folder's path is a prefix of its subfolders' paths and sorts before them, so
        // taking from the end removes every subfolder before its parent.
        std::sort(
            m_foldersToMove.begin(), m_foldersToMove.end(),
            [](const CopyItem& a, const CopyItem& b) { return a.source_path < b.source_path; });
        QTimer::singleShot(moveIntervalMs, this, &SyncFoldersJob::processNextFolderToMove);
        return;
    }

    CopyItem folder = m_foldersToSync.takeFirst();
    if (m_options.m_copyMode == CopyOptions::Verify) {
        // A verify changes nothing, folder dates included.
        folder.copy_state = Skipped;
    } else if (m_options.m_copyMode == CopyOptions::Move &&
               !FileSystemUtils::fileExists(folder.source_path)) {
        // Removed by the move that this run resumes: nothing left to sync or to remove.
        folder.info_list.append(tr("Folder moved"));
        addProcessedFolder(folder);
        QMetaObject::invokeMethod(this, "processNextFolder", Qt::QueuedConnection);
        return;
    } else if (FileSystemUtils::syncFile(folder.source_path, folder.destination_path)) {
        folder.info_list.append(tr("Folder synced"));
    } else {
        qWarning() << "Unable to sync destination folder:"
                   << qUtf8Printable(folder.destination_path);
        if (AppSettings::instance()->skipErrorsInSync())
            folder.info_list.append(tr("Unable to sync folder"));
        else
            folder.setDestinationError(tr("Unable to sync folder"));
    }
    // A folder in error is never removed: its source may still hold what failed.
    if (folder.isError() || m_options.m_copyMode != CopyOptions::Move)
        addProcessedFolder(folder);
    else
        m_foldersToMove.append(folder);
    QMetaObject::invokeMethod(this, "processNextFolder", Qt::QueuedConnection);
}

void SyncFoldersJob::processNextFolderToMove()
{
    QElapsedTimer batch;
    batch.start();
    do {
        if (isStopped() && !m_foldersToMove.isEmpty()) {
            qDebug() << "Stop moving folders...";
            passOnUnchanged(m_foldersToMove);
        }
        if (m_foldersToMove.isEmpty()) {
            finishJob();
            return;
        }

        CopyItem folder = m_foldersToMove.takeLast();
        if (FileSystemUtils::fileExists(folder.source_path)) {
            // rmdir removes only an empty folder: anything left behind keeps its folder.
            if (QDir().rmdir(folder.source_path)) {
                folder.info_list.append(tr("Folder moved"));
            } else {
                qWarning() << "Unable to remove folder" << qUtf8Printable(folder.source_path);
                folder.setSourceError(tr("Unable to delete source folder"));
            }
        }
        addProcessedFolder(folder);
    } while (!batch.hasExpired(moveBatchMs));
    QMetaObject::invokeMethod(this, "processNextFolderToMove", Qt::QueuedConnection);
}

void SyncFoldersJob::addProcessedFolder(const CopyItem& folder)
{
    m_processedFolders.append(folder);
    const qint64 done = m_processedFolders.size();
    const qint64 total = done + m_foldersToSync.size() + m_foldersToMove.size();
    emit folderSynced(folder.source_path, folder.destination_path, done, total);
}

void SyncFoldersJob::passOnUnchanged(QList<CopyItem>& folders)
{
    m_processedFolders += folders;
    folders.clear();
}
