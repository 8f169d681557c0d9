#include "engine/syncfoldersjob.h"

#include "engine/copyobject.h"
#include "fs/filesystemutils.h"
#include "fs/pathutils.h"
#include "fs/platform.h"
#include "fs/platformcopy.h"
#include "fs/reachablefileinfo.h"

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
// serves its event loop (the other jobs it holds, its signals to the copy task's thread
// flowing meanwhile). A stop is seen between any two removals.
constexpr int moveIntervalMs = 0;
constexpr qint64 moveBatchMs = 25;

// Bits added to a folder's mode: with that setting, no folder is left read-only.
int addedPermissions(const RunSettings& settings)
{
    return settings.removeReadOnlyAttribute ? 0200 : 0;
}

} // namespace

SyncFoldersJob::SyncFoldersJob(QObject* parent) : Job(parent)
{
    setObjectName(QStringLiteral("SyncFoldersJob"));
    m_clock = [] {
        static QElapsedTimer monotonic = [] {
            QElapsedTimer timer;
            timer.start();
            return timer;
        }();
        return monotonic.elapsed();
    };
}

void SyncFoldersJob::startJob()
{
    if (!m_sourceRootItem.source_path.isEmpty() && !m_sourceRootItem.destination_path.isEmpty())
        m_foldersToMove.append(m_sourceRootItem);
    m_rootFinished = false;
    Job::startJob();
    QMetaObject::invokeMethod(this, "checkExistingFolders", Qt::QueuedConnection);
}

void SyncFoldersJob::checkExistingFolders()
{
    for (CopyItem folder : qAsConst(m_folders)) {
        // A link in a folder's place is never synced through (nor its source removed).
        const ReachableFileInfo destination(folder.destination_path);
        if (!destination.isDir() || destination.isSymLink() ||
            !Platform::linkOnTheWay(m_destinationRoot, folder.destination_path).isEmpty()) {
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
        // Not synced: a resume syncs them (and the folders it made stay private until then).
        for (CopyItem& folder : m_foldersToSync)
            folder.copy_state = Unprocessed;
        passOnUnchanged(m_foldersToSync);
    }
    if (m_foldersToSync.isEmpty()) {
        if (!m_rootFinished && !isStopped())
            finishCreatedRoot();
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
    } else {
        // Made by this run (or by a stopped one that it resumes): after its dates, the folder
        // gets its source's owner, mode and attributes, the mode last, once every file is in
        // it (a read-only folder would have refused them). One that was there before the run
        // keeps its own.
        // Held open from the root without following a link: a folder swapped for a link
        // since it was checked is not synced through.
        PlatformCopy::PinnedFolder pinned;
        PlatformCopy::Failure failure;
        const bool reached = m_destinationRoot.isEmpty() ||
                             pinned.pin(m_destinationRoot, -1, folder.destination_path, &failure);
        const QString path = pinned.entryPath(QStringLiteral("."), folder.destination_path);
        const bool created = reached && PlatformCopy::isCreatedFolder(path);
        if (reached && FileSystemUtils::syncFile(folder.source_path, path,
                                                 m_settings.removeReadOnlyAttribute)) {
            folder.info_list.append(tr("Folder synced"));
        } else {
            qWarning() << "Unable to sync destination folder:"
                       << qUtf8Printable(folder.destination_path);
            if (m_settings.skipErrorsInSync)
                folder.info_list.append(tr("Unable to sync folder"));
            else
                folder.setDestinationError(tr("Unable to sync folder"));
        }
        if (created)
            folder.info_list += CopyObject::metadataNotes(
                PlatformCopy::copyMetadata(folder.source_path, path, addedPermissions(m_settings)));
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
    const qint64 batchStart = m_clock();
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
        // A source named through a link to a folder: its content moved, the link and the
        // folder it names stay.
        if (folder.source_path == m_sourceRootItem.source_path &&
            ReachableFileInfo(folder.source_path).isSymLink()) {
            addProcessedFolder(folder);
            continue;
        }
        if (folder.source_path == m_sourceRootItem.source_path &&
            m_options.m_destinationMode == CopyOptions::Collate && m_options.m_recursive)
            removeCollatedSubfolders(folder.source_path);
        if (FileSystemUtils::fileExists(folder.source_path)) {
            // rmdir removes only an empty folder: anything left behind keeps its folder.
            if (Platform::removeEmptyFolder(folder.source_path)) {
                folder.info_list.append(tr("Folder moved"));
            } else if (holdsOnlyLeftOutEntries(folder.source_path)) {
                // What the filters left out stays where it is, and so does its folder.
                m_keptFolders.insert(folder.source_path);
                folder.info_list.append(tr("Folder kept: it holds entries the run left out"));
            } else {
                qWarning() << "Unable to remove folder" << qUtf8Printable(folder.source_path);
                folder.setSourceError(tr("Unable to delete source folder"));
            }
        }
        addProcessedFolder(folder);
    } while (m_clock() - batchStart <= moveBatchMs);
    QMetaObject::invokeMethod(this, "processNextFolderToMove", Qt::QueuedConnection);
}

void SyncFoldersJob::finishCreatedRoot()
{
    m_rootFinished = true;
    if (m_destinationRoot.isEmpty() || m_options.m_copyMode == CopyOptions::Verify)
        return;
    QString path = m_destinationRoot;
    Platform::EntryStatus source;
    if (PlatformCopy::isCreatedFolder(path) && Platform::entryStatus(m_sourceRoot, &source) &&
        source.isFolder) {
        // The copy of the source folder: its dates, as every folder below it gets them.
        if (!FileSystemUtils::syncFile(m_sourceRoot, path, m_settings.removeReadOnlyAttribute))
            qWarning() << "Unable to sync destination folder:" << qUtf8Printable(path);
        const int lost =
            PlatformCopy::copyMetadata(m_sourceRoot, path, addedPermissions(m_settings));
        if (lost != 0)
            qDebug() << "Destination folder" << qUtf8Printable(path)
                     << "does not keep:" << CopyObject::metadataNotes(lost);
        path = QFileInfo(path).path();
    }
    // Folders made on the way to it, which have no source.
    while (PlatformCopy::releaseCreatedFolder(path)) {
        const QString parent = QFileInfo(path).path();
        if (parent == path)
            break;
        path = parent;
    }
}

void SyncFoldersJob::removeCollatedSubfolders(const QString& path)
{
    const PathFilters filters = runFilters();
    const QString root = FileSystemUtils::normalizePath(m_sourceRoot);
    for (const Entry& folder : entriesOf(path)) {
        // Folders the walk did not enter are not the run's.
        if (!folder.status.isFolder ||
            (!m_options.m_copyHiddenFiles && folder.name.startsWith(QLatin1Char('.'))) ||
            !filters.skippedBy(PathFilters::relativePath(root, folder.path), true).isNull())
            continue;
        removeCollatedSubfolders(folder.path);
        if (!Platform::removeEmptyFolder(folder.path) && holdsOnlyLeftOutEntries(folder.path))
            m_keptFolders.insert(folder.path);
    }
}

// Listed as bytes, so that names that are not valid text and paths of any length are seen.
QVector<SyncFoldersJob::Entry> SyncFoldersJob::entriesOf(const QString& path)
{
    QVector<Entry> result;
    const int fd = Platform::openFolder(path);
    std::vector<Platform::FolderEntry> listed;
    if (fd < 0 || !Platform::readFolder(fd, &listed)) {
        Platform::closeFolder(fd);
        return result;
    }
    for (const Platform::FolderEntry& entry : listed) {
        Entry item;
        if (!Platform::entryStatusAt(fd, entry.name, &item.status))
            continue; // gone since the listing
        item.name = QFile::decodeName(entry.name);
        item.path = path + QLatin1Char('/') + item.name;
        result.append(item);
    }
    Platform::closeFolder(fd);
    return result;
}

bool SyncFoldersJob::holdsOnlyLeftOutEntries(const QString& path) const
{
    const CopyOptions& o = m_options;
    if (o.m_copyFilters.isEmpty() && o.m_skipFilters.isEmpty() && o.m_copyHiddenFiles &&
        o.m_recursive && o.m_copySymbolicLinks)
        return false;
    const PathFilters filters = runFilters();
    const QString root = FileSystemUtils::normalizePath(m_sourceRoot);
    const QVector<Entry> entries = entriesOf(path);
    if (entries.isEmpty())
        return false;
    for (const Entry& listed : entries) {
        const QString& name = listed.name;
        const QString relative = PathFilters::relativePath(root, listed.path);
        const bool folder = listed.status.isFolder;
        const bool isLink = listed.status.isSymLink;
        const bool linkToFolder = isLink && ReachableFileInfo(listed.path).isDir();
        // As the walk decides: hidden and skipped names first, then the kind of entry.
        if ((!o.m_copyHiddenFiles && name.startsWith(QLatin1Char('.'))) ||
            !filters.skippedBy(relative, folder).isNull())
            continue;
        // The copy filters pick files and links, not links to folders.
        const bool notPicked = !linkToFolder && !filters.copies(relative);
        if (folder ? (!o.m_recursive || m_keptFolders.contains(listed.path))
                   : (notPicked || (isLink && !o.m_copySymbolicLinks)))
            continue;
        return false;
    }
    return true;
}

PathFilters SyncFoldersJob::runFilters() const
{
    return PathFilters(m_options.m_copyFilters, m_options.m_skipFilters,
                       PathFilters::caseSensitiveFor(m_options.m_ignoreCase, m_sourceRoot));
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
