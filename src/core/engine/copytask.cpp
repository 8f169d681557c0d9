#include "engine/copytask.h"

#include "app/appsettings.h"
#include "base/handover.h"
#include "engine/buildfilelistjob.h"
#include "engine/storageprobe.h"
#include "fs/filesystemutils.h"
#include "fs/platform.h"
#include "jobs/jobthread.h"
#include "jobs/jobthreadpool.h"
#include "jobs/transfercounters.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMetaObject>

#include <algorithm>

CopyTask::CopyTask(QObject* parent) : QObject(parent), mp_storageProbe(new StorageProbe)
{
    setObjectName(QStringLiteral("TaskCopy"));
    qRegisterMetaType<CopyItem>();
    qRegisterMetaType<QList<CopyItem>>();
    m_flushTimer.setInterval(250);
    connect(&m_flushTimer, &QTimer::timeout, this, &CopyTask::pollFlushProgress);
}

CopyTask::~CopyTask()
{
    closeDestinationFileSystem();
}

void CopyTask::setTask(const Task& task)
{
    // A fix-errors run continues the run it fixes: the errors of a move are moved too.
    const bool wasMove = m_task.m_options.m_copyMode == CopyOptions::Move ||
                         (m_task.m_options.m_copyMode == CopyOptions::FixErrors && m_fixingMove);
    m_fixingMove = task.m_options.m_copyMode == CopyOptions::FixErrors && wasMove &&
                   task.m_sourcePath == m_task.m_sourcePath &&
                   task.m_destinationPath == m_task.m_destinationPath;
    m_task = task;
    m_skipErrorPatterns =
        FileSystemUtils::compileWildcardPatterns(task.m_options.m_skipErrorOnFiles);
    resetCounters();
}

void CopyTask::setStorageProbe(std::unique_ptr<StorageProbe> probe)
{
    mp_storageProbe = probe ? std::move(probe) : std::make_unique<StorageProbe>();
}

// ---------------------------------------------------------------------------------------
// Starting and building the list

bool CopyTask::endWithoutThreads()
{
    if (JobThreadPool::threadCount() >= 1)
        return false;
    // Nothing could run the jobs; end at once rather than wait for ever.
    qWarning() << "No job thread is available for the copy from"
               << qUtf8Printable(m_task.m_sourcePath) << "to"
               << qUtf8Printable(m_task.m_destinationPath);
    m_stopRequested = true;
    setPhase(RunPhase::Stopped);
    queueCall("onTaskCompleted");
    return true;
}

namespace {

// Whether other names the entry at path under another spelling, on a file system that
// ignores case: each component that differs is what its folder lists for the other. (FUSE
// gives every spelling an inode of its own, so identities cannot tell.)
bool sameEntryBySpelling(const QString& path, const QString& other)
{
    if (path == other || path.compare(other, Qt::CaseInsensitive) != 0 || !QFileInfo::exists(other))
        return false;
    const QStringList parts = path.split(QLatin1Char('/'));
    const QStringList otherParts = other.split(QLatin1Char('/'));
    if (parts.size() != otherParts.size())
        return false;
    for (int i = 0; i < parts.size(); ++i) {
        QString stored;
        if (parts.at(i) != otherParts.at(i) &&
            !(FileSystemUtils::existsUnderOtherName(otherParts.mid(0, i + 1).join('/'), &stored) &&
              stored == parts.at(i)))
            return false;
    }
    return true;
}

// The same for other or the part of it that spells path: other lies inside path.
bool withinBySpelling(const QString& path, const QString& other)
{
    return other.size() > path.size() && other.at(path.size()) == QLatin1Char('/') &&
           sameEntryBySpelling(path, other.left(path.size()));
}

} // namespace

QString CopyTask::pathsRefusal(const QString& source, const QString& destination)
{
    const QString sourcePath = FileSystemUtils::normalizePath(QFileInfo(source).absoluteFilePath());
    const QString destinationPath =
        FileSystemUtils::normalizePath(QFileInfo(destination).absoluteFilePath());
    const QString onItself = tr("Unable to copy an item on itself.");
    if (sourcePath == destinationPath || sameEntryBySpelling(sourcePath, destinationPath) ||
        withinBySpelling(sourcePath, destinationPath))
        return onItself;
    // Refused once, before anything starts, rather than once for every item of the run.
    const QFileInfo destinationInfo(destinationPath);
    if ((destinationInfo.exists() || destinationInfo.isSymLink()) && !destinationInfo.isDir())
        return tr("The destination '%1' is not a folder.").arg(destinationPath);
    if (FileSystemUtils::isRealDirectory(QFileInfo(sourcePath))) {
        if (FileSystemUtils::isSameEntry(sourcePath, destinationPath))
            return onItself;
        // A destination below the source by its very path is left out of the walk; reached
        // through another name, the walk would not know it and would copy the copies again.
        const QString prefix =
            sourcePath.endsWith(QDir::separator()) ? sourcePath : sourcePath + QDir::separator();
        if (!destinationPath.startsWith(prefix) &&
            FileSystemUtils::isWithinFolder(destinationPath, sourcePath))
            return onItself;
        return QString();
    }
    const QString target =
        destinationPath.endsWith(QDir::separator())
            ? destinationPath + FileSystemUtils::fileNameOf(sourcePath)
            : destinationPath + QDir::separator() + FileSystemUtils::fileNameOf(sourcePath);
    if (target == sourcePath || FileSystemUtils::isSameEntry(sourcePath, target) ||
        sameEntryBySpelling(sourcePath, target))
        return onItself;
    return QString();
}

QString CopyTask::destinationRefusal() const
{
    if (m_destinationMountPoint.isEmpty() || m_task.m_options.m_copyMode == CopyOptions::Verify)
        return QString();
    const QString now = Platform::mountPointOf(m_task.m_destinationPath);
    if (now == m_destinationMountPoint)
        return QString();
    return driveGoneText();
}

QString CopyTask::driveGoneText() const
{
    return tr("The destination '%1' is no longer on the drive mounted at '%2' (is the drive "
              "mounted?).")
        .arg(m_task.m_destinationPath, m_destinationMountPoint);
}

bool CopyTask::refuseUnsafePaths(bool newRun)
{
    QString refusal = pathsRefusal(m_task.m_sourcePath, m_task.m_destinationPath);
    if (refusal.isEmpty() && !newRun)
        refusal = destinationRefusal();
    if (refusal.isEmpty())
        return false;
    qWarning() << "Copy from" << qUtf8Printable(m_task.m_sourcePath) << "to"
               << qUtf8Printable(m_task.m_destinationPath)
               << "is refused:" << qUtf8Printable(refusal);
    m_stopRequested = false;
    m_wroteData = false;
    clearLists(newRun);
    m_runningJobs = 0;
    m_startTime = QDateTime::currentDateTime();
    m_endTime = QDateTime();
    // Nothing to list: the run ends at once, with this one error.
    m_fileListCompleted = true;
    setPhase(RunPhase::Refused);
    m_runError = taskItem();
    m_runError.setDestinationError(refusal);
    m_counters[ErrorItems] = 1;
    emit errorOccurred(m_runError);
    queueCall("checkTaskCompleted");
    return true;
}

void CopyTask::startTask()
{
    if (!isTaskCompleted()) {
        qWarning() << "Copy from" << qUtf8Printable(m_task.m_sourcePath) << "to"
                   << qUtf8Printable(m_task.m_destinationPath) << "is already running";
        return;
    }
    takeRunSettings();
    if (endWithoutThreads() || refuseUnsafePaths(true))
        return;
    qDebug() << "Starting copy" << qUtf8Printable(m_task.m_sourcePath) << "to"
             << qUtf8Printable(m_task.m_destinationPath);
    m_fileListCompleted = false;
    m_destinationMountPoint = Platform::mountPointOf(m_task.m_destinationPath);
    setPhase(RunPhase::Listing);
    m_stopRequested = false;
    m_skipStorageCheck = false;
    openDestinationFileSystem();
    clearLists(true);
    m_runningJobs = 0;
    m_pendingCopies.clear();
    m_pendingBytes = 0;
    m_commitRunning = false;
    m_startTime = QDateTime::currentDateTime();
    m_endTime = QDateTime();
    TransferCounters::instance()->resetAll();
    queueCall("startBuildFileList");
}

void CopyTask::startBuildFileList()
{
    if (m_stopRequested) {
        // Stopped before the walk began: the list stays incomplete, as after a stopped walk.
        abandonFileList(tr("file list is not completed"));
        queueCall("checkTaskCompleted");
        return;
    }
    if (!m_copyQueue.isEmpty()) {
        qDebug() << "Copy queue is not empty. Skip to build file list";
        queueCall("processNextCopyInQueue");
        return;
    }
    if (m_skipBuildListForExternalProgram) {
        qDebug() << "Skip building file list for external program";
        QString source = QDir::toNativeSeparators(m_task.m_sourcePath);
        const QFileInfo info(source);
        const bool isFolder = FileSystemUtils::isRealDirectory(info);
        if (isFolder && !source.endsWith(QDir::separator()))
            source += QDir::separator();
        qDebug() << "Copying" << qUtf8Printable(source) << "to"
                 << qUtf8Printable(m_task.m_destinationPath);
        // The one item stands for the whole copy: it is queued even when empty folders
        // are not copied, or nothing would be copied at all.
        const CopyItem item(source, m_task.m_destinationPath, info.size(), isFolder, QString());
        if (isFolder)
            m_folders.append(item);
        m_copyQueue.append(item);
        countToCopy(item);
        m_fileListCompleted = true;
        setPhase(RunPhase::Copying);
        queueCall("processNextCopyInQueue");
        return;
    }

    auto* job = new BuildFileListJob();
    job->setPaths(m_task.m_sourcePath, m_task.m_destinationPath);
    job->setOptions(jobOptions());
    job->setSettings(m_runSettings);
    // In batches: one hand-over between the threads per folder rather than per entry.
    connect(job, &BuildFileListJob::entriesListed, this, &CopyTask::addListedEntries);
    connect(job, &Job::jobCompleted, this, &CopyTask::onBuildFileListCompleted);
    runJob(job);
}

void CopyTask::addListedEntries()
{
    auto* job = qobject_cast<BuildFileListJob*>(sender());
    if (!job)
        return;
    const QVector<BuildFileListJob::ListedEntry> entries = job->takeListedEntries();
    // The queue takes the whole batch before a job is made, so that the job can take
    // several of its items.
    m_addingListedEntries = true;
    for (const BuildFileListJob::ListedEntry& entry : entries) {
        switch (entry.kind) {
        case BuildFileListJob::ListedEntry::ToCopy:
            addItemToCopy(entry.source, entry.destination, entry.size, entry.isFolder,
                          entry.hardLinkFirst);
            break;
        case BuildFileListJob::ListedEntry::ToSkip:
            addItemToSkip(entry.source, entry.destination, entry.size, entry.isFolder, entry.text,
                          entry.hardLinkFirst);
            break;
        case BuildFileListJob::ListedEntry::LinkToCopy:
            addSymbolicLinkToCopy(entry.source, entry.destination, entry.size, entry.text);
            break;
        }
    }
    m_addingListedEntries = false;
    if (canStartJob())
        processNextCopyInQueue();
}

void CopyTask::addItemToCopy(const QString& source, const QString& destination, qint64 size,
                             bool isFolder, const QString& hardLinkFirst)
{
    CopyItem item(source, destination, size, isFolder, QString());
    item.hard_link_first = hardLinkFirst;
    if (isFolder) {
        if (m_task.m_options.m_copyEmptyFolders)
            m_copyQueue.append(item);
        m_folders.append(item);
    } else {
        queueFile(item);
    }
    countToCopy(item);
    // Copying starts while the list is still being built.
    if (!m_addingListedEntries && canStartJob())
        processNextCopyInQueue();
}

void CopyTask::addSymbolicLinkToCopy(const QString& source, const QString& destination, qint64 size,
                                     const QString& linkTarget)
{
    const CopyItem item(source, destination, size, false, linkTarget);
    m_symbolicLinksQueue.append(item);
    countToCopy(item);
    if (!m_addingListedEntries && canStartJob())
        processNextCopyInQueue();
}

void CopyTask::addItemToSkip(const QString& source, const QString& destination, qint64 size,
                             bool isFolder, const QString& reason, const QString& hardLinkFirst)
{
    CopyItem item(source, destination, size, isFolder, QString());
    item.hard_link_first = hardLinkFirst;
    item.copy_state = Skipped;
    settleHardLinks(item);
    if (!reason.isEmpty())
        item.info_list.append(reason);
    if (isFolder) {
        const auto queued =
            std::find_if(m_copyQueue.begin(), m_copyQueue.end(), [&item](const CopyItem& other) {
                return other.source_path == item.source_path &&
                       other.destination_path == item.destination_path;
            });
        if (queued != m_copyQueue.end())
            m_copyQueue.erase(queued);
    } else {
        countToCopy(item);
    }
    countCompleted(item);
    m_completedItems.append(item);
    emit copyCompleted(item);
}

void CopyTask::onBuildFileListCompleted()
{
    m_runningJobs -= 1;
    auto* job = qobject_cast<BuildFileListJob*>(sender());
    if (!job) {
        qWarning() << objectName()
                   << "has received a signal from invalid BuildFileListJob instance";
        abandonFileList(tr("unable to get file list"));
        queueCall("checkTaskCompleted");
        return;
    }
    // The job's last writes happened in its own thread.
    HandOver::receive(static_cast<Job*>(job));

    const QList<CopyItem> errors = job->errorItems();
    if (!errors.isEmpty()) {
        qWarning() << errors.size() << "errors found in build file list";
        for (CopyItem item : errors) {
            const bool excused = applySkipErrorPatterns(item);
            // Among the files found, so that processed never exceeds the total.
            if (!item.is_folder)
                countToCopy(item);
            countCompleted(item);
            m_completedItems.append(item);
            signalCompleted(item, excused);
        }
    }
    if (!job->pendingFolders().isEmpty() || job->isStopped()) {
        qWarning() << "The build of file list is stopped by user";
        abandonFileList(tr("file list is not completed"));
        queueCall("checkTaskCompleted");
    } else {
        m_fileListCompleted = true;
        setPhase(RunPhase::Copying);
    }
    job->deleteLater();
    if (!m_fileListCompleted)
        return;

    m_counters[FoldersFound] = m_folders.size();
    qDebug() << m_copyQueue.size() << "items found"
             << qUtf8Printable(QStringLiteral("(%1 bytes)").arg(m_counters[BytesToCopy]))
             << "in path" << qUtf8Printable(m_task.m_sourcePath) << "in" << elapsedMs() << "ms";
    emit logAvailable(tr("List is built with %1 folders and %2 files")
                          .arg(m_counters[FoldersFound])
                          .arg(m_counters[FilesToCopy]));

    if (m_task.m_options.m_copyMode == CopyOptions::Verify) {
        m_skipStorageCheck = true;
    } else {
        bool ok = false;
        const qint64 required = m_counters[BytesToCopy] - m_linkedBytes;
        if (mp_storageProbe->isStorageFull(m_task.m_destinationPath, required, &ok)) {
            const qint64 available = mp_storageProbe->availableBytes(m_task.m_destinationPath);
            qWarning() << "Target storage has" << available << "bytes available but the copy is"
                       << required << "bytes";
            emit storageIsFull(available, required);
        } else {
            m_skipStorageCheck = true;
        }
        if (!ok)
            m_skipStorageCheck = true;
    }

    appendSortedSymbolicLinks();

    const int wanted = qMax(1, qMin(m_copyQueue.size(), JobThreadPool::threadCount()));
    for (int i = m_runningJobs; i < wanted; ++i)
        processNextCopyInQueue();
}

void CopyTask::abandonFileList(const QString& message)
{
    // Items already reported stay in the run, unchanged and unsignalled, as a stop leaves
    // them; the run ends as stopped and a resume starts it afresh.
    m_completedItems.append(m_copyQueue);
    m_copyQueue.clear();
    m_completedItems.append(m_symbolicLinksQueue);
    m_symbolicLinksQueue.clear();
    m_completedItems.append(m_hardLinks.takeAllWaiting());
    CopyItem item = taskItem();
    item.setSourceError(message);
    emit errorOccurred(item);
}

// ---------------------------------------------------------------------------------------
// Helpers

void CopyTask::takeRunSettings()
{
    m_runSettings =
        m_givenRunSettings ? *m_givenRunSettings : AppSettings::instance()->runSettings();
}

void CopyTask::setPhase(RunPhase phase)
{
    const RunPhase from = m_phase;
    const bool ended =
        from == RunPhase::Idle || from == RunPhase::Completed || from == RunPhase::Stopped;
    bool allowed = false;
    switch (phase) {
    case RunPhase::Idle:
        break;
    case RunPhase::Listing:
    case RunPhase::Refused:
        allowed = ended;
        break;
    case RunPhase::Copying:
        // The walk has ended whole, or a resume goes on with the whole list of a run.
        allowed = (from == RunPhase::Listing || from == RunPhase::Completed ||
                   from == RunPhase::Stopped) &&
                  m_fileListCompleted;
        break;
    case RunPhase::SyncingFolders:
        allowed = from == RunPhase::Copying && !m_stopRequested;
        break;
    case RunPhase::Flushing:
        allowed = from == RunPhase::Listing || from == RunPhase::Copying ||
                  from == RunPhase::SyncingFolders;
        break;
    case RunPhase::Completed:
        allowed = !ended && from != RunPhase::Listing && m_fileListCompleted && !m_stopRequested;
        break;
    case RunPhase::Stopped:
        // Besides the end of a stopped run: a start without job threads, a loaded task file.
        allowed = m_stopRequested;
        break;
    }
    Q_ASSERT_X(allowed, "CopyTask::setPhase", "change of phase that no run makes");
    // A run ends with every item filed in one place, the completed list, and no job out.
    Q_ASSERT_X((phase != RunPhase::Completed && phase != RunPhase::Stopped) ||
                   (m_copyQueue.isEmpty() && m_checkQueue.isEmpty() &&
                    m_symbolicLinksQueue.isEmpty() && !m_hardLinks.hasWaiting() &&
                    m_runningJobs == 0),
               "CopyTask::setPhase", "a run ends with items queued or jobs out");
    qDebug() << "Copy from" << qUtf8Printable(m_task.m_sourcePath) << "to"
             << qUtf8Printable(m_task.m_destinationPath) << "goes from phase" << phaseName(from)
             << "to" << phaseName(phase);
    m_phase = phase;
}

const char* CopyTask::phaseName(RunPhase phase)
{
    switch (phase) {
    case RunPhase::Idle:
        return "Idle";
    case RunPhase::Listing:
        return "Listing";
    case RunPhase::Copying:
        return "Copying";
    case RunPhase::Refused:
        return "Refused";
    case RunPhase::SyncingFolders:
        return "SyncingFolders";
    case RunPhase::Flushing:
        return "Flushing";
    case RunPhase::Completed:
        return "Completed";
    case RunPhase::Stopped:
        return "Stopped";
    }
    return "?";
}

bool CopyTask::canStartJob() const
{
    return m_runningJobs == 0 || m_runningJobs < JobThreadPool::threadCount();
}

void CopyTask::runJob(Job* job)
{
    JobThread* thread = JobThreadPool::leastBusyThread();
    if (!thread) {
        qWarning() << "No job thread is available for" << job->objectName();
        delete job;
        return;
    }
    m_runningJobs += 1;
    thread->addJob(job);
}

CopyItem CopyTask::taskItem() const
{
    const QFileInfo info(m_task.m_sourcePath);
    const bool isFolder = FileSystemUtils::isRealDirectory(info);
    return CopyItem(m_task.m_sourcePath, m_task.m_destinationPath, isFolder ? 0 : info.size(),
                    isFolder, QString());
}

bool CopyTask::copyIsMissing(const CopyItem& item)
{
    if (item.copy_state != Copied || item.is_folder || !item.link_target.isEmpty())
        return false;
    Platform::EntryStatus status;
    return !Platform::entryStatus(item.destination_path, &status) || !status.isFile ||
           status.size != item.file_size;
}

void CopyTask::appendSortedSymbolicLinks()
{
    if (m_symbolicLinksQueue.isEmpty())
        return;
    // Links to the same target end up next to each other.
    std::sort(m_symbolicLinksQueue.begin(), m_symbolicLinksQueue.end(),
              [](const CopyItem& a, const CopyItem& b) {
                  const QString targetA = a.link_target.toLower();
                  const QString targetB = b.link_target.toLower();
                  if (targetA != targetB)
                      return targetA < targetB;
                  return a.destination_path.toLower() < b.destination_path.toLower();
              });
    m_copyQueue.append(m_symbolicLinksQueue);
    m_symbolicLinksQueue.clear();
}

void CopyTask::queueCall(const char* slot)
{
    QMetaObject::invokeMethod(this, slot, Qt::QueuedConnection);
}
