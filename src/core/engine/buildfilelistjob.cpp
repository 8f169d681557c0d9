#include "engine/buildfilelistjob.h"

#include "app/appsettings.h"
#include "fs/filesystemutils.h"
#include "fs/platformcopy.h"
#include "jobs/mutexlocker.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaMethod>
#include <QMetaObject>

namespace {

// A temporary file of this run is written after the walk began, but its time may read
// earlier: coarse file-system clocks, and two-second steps on some file systems.
const qint64 staleMarginMs = 3000;

// Entries handed over at once at most, so that copying starts early in a large folder.
const int maxListedBatch = 256;

// A parent that already ends with a separator (the root folder) gets no second one.
QString joinPath(const QString& parent, const QString& name)
{
    if (parent.endsWith(QDir::separator()))
        return parent + name;
    return parent + QDir::separator() + name;
}

// Adds read and execute permission for the owner; it works only when the current user
// owns the folder, and the result is checked again because ACLs may still deny access.
bool grantTraversal(const QFileInfo& entry)
{
    const QFileDevice::Permissions userBits =
        QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
    const QFileDevice::Permissions wanted =
        (entry.permissions() & ~userBits) | QFileDevice::ReadOwner | QFileDevice::ExeOwner;
    if (!QFile::setPermissions(entry.filePath(), wanted))
        return false;
    return QFileInfo(entry.filePath()).isExecutable();
}

} // namespace

BuildFileListJob::BuildFileListJob(QObject* parent) : Job(parent)
{
    setObjectName(QStringLiteral("JobBuildFileList"));
}

void BuildFileListJob::reportToCopy(const QString& source, const QString& destination, qint64 size,
                                    bool isFolder)
{
    emit itemToCopy(source, destination, size, isFolder);
    addListedEntry({ListedEntry::ToCopy, source, destination, size, isFolder, QString()});
}

void BuildFileListJob::reportToSkip(const QString& source, const QString& destination, qint64 size,
                                    bool isFolder, const QString& reason)
{
    emit itemToSkip(source, destination, size, isFolder, reason);
    addListedEntry({ListedEntry::ToSkip, source, destination, size, isFolder, reason});
}

void BuildFileListJob::reportLinkToCopy(const QString& source, const QString& destination,
                                        qint64 size, const QString& linkTarget)
{
    emit symbolicLinkToCopy(source, destination, size, linkTarget);
    addListedEntry({ListedEntry::LinkToCopy, source, destination, size, false, linkTarget});
}

void BuildFileListJob::addListedEntry(ListedEntry&& entry)
{
    if (!m_listingInBatches)
        return;
    m_listedEntries.append(std::move(entry));
    if (m_listedEntries.size() >= maxListedBatch)
        sendListedEntries();
}

void BuildFileListJob::sendListedEntries()
{
    if (m_listedEntries.isEmpty())
        return;
    {
        MutexLocker locker(&m_listedMutex);
        // Swapped in, not shared: nothing of the batch stays with this thread.
        m_listedBatches.append(QVector<ListedEntry>());
        m_listedBatches.last().swap(m_listedEntries);
    }
    emit entriesListed();
}

QVector<BuildFileListJob::ListedEntry> BuildFileListJob::takeListedEntries()
{
    MutexLocker locker(&m_listedMutex);
    return m_listedBatches.isEmpty() ? QVector<ListedEntry>() : m_listedBatches.takeFirst();
}

void BuildFileListJob::finishJob()
{
    sendListedEntries();
    Job::finishJob();
}

void BuildFileListJob::setPaths(const QString& sourcePath, const QString& destinationPath)
{
    m_sourcePath = FileSystemUtils::normalizePath(sourcePath);
    m_destinationPath = FileSystemUtils::normalizePath(destinationPath);
}

void BuildFileListJob::startJob()
{
    qDebug() << "Start to build the file list for path" << qUtf8Printable(m_sourcePath);
    Job::startJob();
    m_listedEntries.clear();
    m_listingInBatches =
        isSignalConnected(QMetaMethod::fromSignal(&BuildFileListJob::entriesListed));
    if (!m_options.m_copyFilters.isEmpty())
        qDebug() << "Patterns to copy:" << m_options.m_copyFilters.join(QStringLiteral(", "));
    m_copyPatterns = FileSystemUtils::compileWildcardPatterns(m_options.m_copyFilters);
    m_skipPatterns.clear();
    m_errorItems.clear();
    for (const QString& filter : qAsConst(m_options.m_skipFilters)) {
        m_skipPatterns += FileSystemUtils::compileWildcardPatterns(QStringList{filter});
        qDebug() << "Patterns to skip:" << filter;
    }
    m_reportFilteredFiles = AppSettings::instance()->reportFilteredFiles();
    m_staleBefore = QDateTime::currentDateTime().addMSecs(-staleMarginMs);
    QMetaObject::invokeMethod(this, "buildFileList", Qt::QueuedConnection);
}

void BuildFileListJob::buildFileList()
{
    m_pendingFolders.clear();
    const QFileInfo source(m_sourcePath);
    if (FileSystemUtils::isRealDirectory(source)) {
        processFolder(m_sourcePath, m_destinationPath);
        return;
    }
    // A source named by the user is copied whatever the filters say; the copier decides
    // about an existing destination and reports a missing or special source.
    reportFileToCopy(m_sourcePath,
                     joinPath(m_destinationPath, FileSystemUtils::fileNameOf(m_sourcePath)),
                     source.size());
    removeStaleTemporaryFiles(m_destinationPath);
    finishJob();
}

void BuildFileListJob::processNextFolder()
{
    if (isStopped() && !m_pendingFolders.isEmpty()) {
        qDebug() << "Stop building list and clear folders";
        m_pendingFolders.clear();
    }
    if (m_pendingFolders.isEmpty()) {
        finishJob();
        return;
    }
    const CopyItem next = m_pendingFolders.takeFirst();
    processFolder(next.source_path, next.destination_path);
}

void BuildFileListJob::processFolder(const QString& folder, const QString& destinationFolder)
{
    // Comparing with the run's own destination keeps a destination inside the source out
    // of the walk: otherwise the copies made there while the walk goes on would be found
    // and copied again, deeper each time.
    if (folder == m_destinationPath || folder == destinationFolder) {
        reportToSkip(folder, destinationFolder, 0, true, tr("recognized as destination folder"));
    } else {
        const QFileInfo info(folder);
        // Without execute permission the names could be read but not their types.
        if (!info.isDir() || !info.isReadable() || !info.isExecutable()) {
            CopyItem item(folder, destinationFolder, 0, true, QString());
            item.setSourceError(tr("unable to read source folder"));
            m_errorItems.append(item);
            qWarning() << "Folder" << qUtf8Printable(folder) << "is not readable";
        } else {
            if (m_options.m_destinationMode == CopyOptions::Normal && folder != m_sourcePath)
                reportToCopy(folder, destinationFolder, 0, true);
            const QFileInfoList entries = QDir(folder).entryInfoList(
                QDir::Files | QDir::AllDirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                QDir::Unsorted);
            for (const QFileInfo& entry : entries) {
                if (isStopped())
                    break;
                processEntry(entry, folder, destinationFolder);
            }
            removeStaleTemporaryFiles(m_options.m_destinationMode == CopyOptions::Collate
                                          ? m_destinationPath
                                          : destinationFolder);
        }
    }
    sendListedEntries();
    QMetaObject::invokeMethod(this, "processNextFolder", Qt::QueuedConnection);
}

void BuildFileListJob::processEntry(const QFileInfo& entry, const QString& folder,
                                    const QString& destinationFolder)
{
    if (!isSelectedByCopyFilters(entry))
        return;
    const QString name = entry.fileName();
    const QString sourcePath = joinPath(folder, name);
    const QString destinationPath = joinPath(
        m_options.m_destinationMode == CopyOptions::Collate ? m_destinationPath : destinationFolder,
        name);

    if (entry.isSymLink()) {
        processSymbolicLink(entry, sourcePath, destinationPath);
        return;
    }
    const bool isFolder = FileSystemUtils::isRealDirectory(entry);
    const qint64 size = isFolder ? 0 : entry.size();
    if (!m_options.m_copyHiddenFiles && entry.isHidden()) {
        if (m_reportFilteredFiles)
            reportToSkip(sourcePath, destinationPath, size, isFolder,
                         isFolder ? tr("source folder is hidden") : tr("source file is hidden"));
        return;
    }
    if (FileSystemUtils::matchesAnyPattern(name, m_skipPatterns)) {
        if (m_reportFilteredFiles)
            reportToSkip(sourcePath, destinationPath, size, isFolder,
                         isFolder ? tr("source folder is filtered by name")
                                  : tr("source file is filtered by name"));
        return;
    }
    if (isFolder) {
        processSubfolder(entry, sourcePath, destinationPath);
        return;
    }
    // FIFOs, sockets and devices: reading one may block forever or never end. The user
    // would not know the entry was left out, so it is reported whatever the settings say.
    if (!entry.isFile()) {
        reportToSkip(sourcePath, destinationPath, size, false,
                     tr("source file is not a regular file"));
        return;
    }
    processFile(entry, sourcePath, destinationPath);
}

void BuildFileListJob::processSymbolicLink(const QFileInfo& entry, const QString& sourcePath,
                                           const QString& destinationPath)
{
    if (m_options.m_copySymbolicLinks) {
        reportLinkToCopy(sourcePath, destinationPath, entry.size(), linkTargetInCopy(entry));
    } else if (m_reportFilteredFiles) {
        reportToSkip(sourcePath, destinationPath, entry.size(), false,
                     tr("source file is symbolic link"));
    }
}

void BuildFileListJob::processSubfolder(const QFileInfo& entry, const QString& sourcePath,
                                        const QString& destinationPath)
{
    if (!m_options.m_recursive)
        return;
    if (!entry.isExecutable() && !grantTraversal(entry)) {
        reportToSkip(sourcePath, destinationPath, 0, true, tr("unable to access to source folder"));
        return;
    }
    m_pendingFolders.append(CopyItem(sourcePath, destinationPath, 0, true, QString()));
}

void BuildFileListJob::processFile(const QFileInfo& entry, const QString& sourcePath,
                                   const QString& destinationPath)
{
    const qint64 size = entry.size();
    const bool verify = m_options.m_copyMode == CopyOptions::Verify;
    if (!FileSystemUtils::fileExists(destinationPath)) {
        if (verify) {
            CopyItem item(sourcePath, destinationPath, size, false, QString());
            item.setDestinationError(tr("Destination file does not exist"));
            m_errorItems.append(item);
        } else {
            reportFileToCopy(sourcePath, destinationPath, size);
        }
        return;
    }
    // The copier compares an existing destination in a verify run.
    if (verify) {
        reportToCopy(sourcePath, destinationPath, size, false);
        return;
    }
    const QFileInfo destination(destinationPath);
    // In a move the copier decides about an equal destination: it skips the file and
    // removes its source, as a move stopped between the copy and the removal needs.
    // A newer destination keeps its source.
    if (m_options.m_copyMode == CopyOptions::Move &&
        !(m_options.m_overwriteMode == CopyOptions::OverwriteOlder &&
          FileSystemUtils::isNewer(entry, destination))) {
        reportFileToCopy(sourcePath, destinationPath, size);
        return;
    }
    switch (m_options.m_overwriteMode) {
    case CopyOptions::NoOverwrite:
        reportToSkip(sourcePath, destinationPath, size, false, QString());
        break;
    case CopyOptions::OverwriteOlder: {
        const int order = FileSystemUtils::modificationOrder(entry, destination);
        if (order < 0)
            reportFileToCopy(sourcePath, destinationPath, size);
        else if (order > 0)
            reportToSkip(sourcePath, destinationPath, size, false,
                         tr("newer destination file exists"));
        else
            reportToSkip(sourcePath, destinationPath, size, false, QString());
        break;
    }
    case CopyOptions::OverwriteDifferent:
        if (FileSystemUtils::filesDiffer(entry, destination))
            reportFileToCopy(sourcePath, destinationPath, size);
        else
            reportToSkip(sourcePath, destinationPath, size, false, QString());
        break;
    default:
        // Overwrite always and auto rename: the copier replaces or renames.
        reportFileToCopy(sourcePath, destinationPath, size);
        break;
    }
}

void BuildFileListJob::reportFileToCopy(const QString& sourcePath, const QString& destinationPath,
                                        qint64 size)
{
    m_namesToCopy.insert(FileSystemUtils::fileNameOf(destinationPath));
    reportToCopy(sourcePath, destinationPath, size, false);
}

// A copy killed before its end leaves its data under a hidden temporary name beside the
// file; the next run that copies that file removes it. Only the names this run writes
// are touched, and only files too old to be one of its own copies in progress.
void BuildFileListJob::removeStaleTemporaryFiles(const QString& destinationFolder)
{
    const QSet<QString> names = std::move(m_namesToCopy);
    m_namesToCopy.clear();
    if (names.isEmpty() || m_options.m_copyMode == CopyOptions::Verify)
        return;
    const QStringList removed =
        PlatformCopy::removeStaleTemporaryFiles(destinationFolder, names, m_staleBefore);
    for (const QString& path : removed)
        qDebug() << "Removed the temporary file of an interrupted copy" << qUtf8Printable(path);
}

// A link into the copied tree is pointed at the copy of its target.
QString BuildFileListJob::linkTargetInCopy(const QFileInfo& entry) const
{
    const QString target = QDir::toNativeSeparators(entry.symLinkTarget());
    QString rest;
    if (target != m_sourcePath) {
        // A whole-component match: "/data/src" must not capture "/data/src2/file".
        const QString prefix = m_sourcePath.endsWith(QDir::separator())
                                   ? m_sourcePath
                                   : m_sourcePath + QDir::separator();
        if (!target.startsWith(prefix))
            return target;
        rest = target.mid(prefix.size());
    }
    if (m_options.m_destinationMode == CopyOptions::Collate) {
        // Collate puts every file straight into the destination and replicates no folder:
        // a file's copy is found by its name there, and a folder has no copy, so a link
        // to one keeps pointing at the original.
        if (FileSystemUtils::isRealDirectory(QFileInfo(target)))
            return target;
        return joinPath(m_destinationPath, FileSystemUtils::fileNameOf(target));
    }
    return rest.isEmpty() ? m_destinationPath : joinPath(m_destinationPath, rest);
}

bool BuildFileListJob::isSelectedByCopyFilters(const QFileInfo& entry) const
{
    // The copy filters pick files only: every folder is walked whatever its name.
    if (m_copyPatterns.isEmpty() || entry.isDir())
        return true;
    return FileSystemUtils::matchesAnyPattern(entry.fileName(), m_copyPatterns);
}
