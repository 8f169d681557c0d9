#include "engine/copytask.h"

#include "app/appsettings.h"
#include "base/handover.h"
#include "engine/buildfilelistjob.h"
#include "engine/checkfilejob.h"
#include "engine/commitfilesjob.h"
#include "engine/copyjob.h"
#include "engine/copyobject.h"
#include "engine/externalcopyjob.h"
#include "engine/storageprobe.h"
#include "engine/syncfilesystemjob.h"
#include "engine/syncfoldersjob.h"
#include "fs/filesystemutils.h"
#include "fs/platform.h"
#include "fs/platformcopy.h"
#include "jobs/jobthread.h"
#include "jobs/jobthreadpool.h"
#include "jobs/transfercounters.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMetaObject>

#include <algorithm>
#include <climits>

CopyTask::CopyTask(QObject* parent) : QObject(parent), mp_storageProbe(new StorageProbe)
{
    setObjectName(QStringLiteral("TaskCopy"));
    qRegisterMetaType<CopyItem>();
    qRegisterMetaType<QList<CopyItem>>();
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

QString CopyTask::pathsRefusal(const QString& source, const QString& destination)
{
    const QString sourcePath = FileSystemUtils::normalizePath(QFileInfo(source).absoluteFilePath());
    const QString destinationPath =
        FileSystemUtils::normalizePath(QFileInfo(destination).absoluteFilePath());
    const QString onItself = tr("Unable to copy an item on itself.");
    if (sourcePath == destinationPath)
        return onItself;
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
    if (target == sourcePath || FileSystemUtils::isSameEntry(sourcePath, target))
        return onItself;
    return QString();
}

bool CopyTask::refuseUnsafePaths(bool newRun)
{
    const QString refusal = pathsRefusal(m_task.m_sourcePath, m_task.m_destinationPath);
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
            addItemToCopy(entry.source, entry.destination, entry.size, entry.isFolder);
            break;
        case BuildFileListJob::ListedEntry::ToSkip:
            addItemToSkip(entry.source, entry.destination, entry.size, entry.isFolder, entry.text);
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
                             bool isFolder)
{
    const CopyItem item(source, destination, size, isFolder, QString());
    if (isFolder) {
        if (m_task.m_options.m_copyEmptyFolders)
            m_copyQueue.append(item);
        m_folders.append(item);
    } else {
        m_copyQueue.append(item);
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
                             bool isFolder, const QString& reason)
{
    CopyItem item(source, destination, size, isFolder, QString());
    item.copy_state = Skipped;
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
        const qint64 required = m_counters[BytesToCopy];
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
    CopyItem item = taskItem();
    item.setSourceError(message);
    emit errorOccurred(item);
}

// ---------------------------------------------------------------------------------------
// Copying

namespace {

// Copies below this size are flushed and placed in groups; larger ones are flushed one by
// one, as their own data dominates the cost of the flush.
constexpr qint64 deferredCopyMaxSize = 8 * 1024 * 1024;
// A group is placed once it has this many files or bytes, or when nothing else is queued.
constexpr int commitGroupFiles = 2000;
constexpr qint64 commitGroupBytes = 128 * 1024 * 1024;
// Files below this size are handed to a job several at a time, up to this many: for them the
// hand-over between threads costs about as much as the copy itself.
constexpr qint64 sharedJobMaxSize = 1024 * 1024;
constexpr int sharedJobItems = 16;

bool sharesJobs(const CopyItem& item)
{
    return !item.is_folder && item.link_target.isEmpty() && item.file_size < sharedJobMaxSize;
}

} // namespace

void CopyTask::processNextCopyInQueue()
{
    if (drainQueues())
        return;
    if (m_copyQueue.isEmpty()) {
        checkTaskCompleted();
        return;
    }
    if (!canStartJob())
        return;
    // Links come last and may point to copied files: those must be in place first, or the
    // link would keep the source's target.
    if (!m_copyQueue.first().link_target.isEmpty() &&
        (m_runningJobs > 0 || !m_pendingCopies.isEmpty())) {
        commitPendingCopies(true);
        return;
    }

    CopyItem item = m_copyQueue.takeFirst();
    // A verify run writes nothing, so a full storage must not keep it from comparing.
    if (!m_skipStorageCheck && m_task.m_options.m_copyMode != CopyOptions::Verify) {
        bool ok = false;
        if (mp_storageProbe->isStorageFull(m_task.m_destinationPath, item.file_size, &ok)) {
            const int mode = m_task.m_options.m_overwriteMode;
            bool keepDestination = false;
            if (FileSystemUtils::fileExists(item.destination_path)) {
                const QFileInfo destination(item.destination_path);
                const QFileInfo source(item.source_path);
                keepDestination = mode == CopyOptions::NoOverwrite ||
                                  (mode == CopyOptions::OverwriteOlder &&
                                   !(destination.lastModified() < source.lastModified()));
            }
            if (keepDestination) {
                qDebug() << "Skip file" << qUtf8Printable(item.destination_path)
                         << "because it is newer than source (storage is full)";
                item.copy_state = Skipped;
            } else {
                qWarning() << "Unable to copy" << qUtf8Printable(item.source_path)
                           << "because target storage is full";
                item.setDestinationError(tr("storage is full"));
            }
            finishCopiedItem(item);
            queueCall("processNextCopyInQueue");
            return;
        }
        if (!ok)
            m_skipStorageCheck = true;
    }

    if (m_externalProgram.filePath.isEmpty() ||
        (!m_skipBuildListForExternalProgram && item.is_folder))
        startCopyJob(item);
    else
        startExternalCopyJob(item);
}

void CopyTask::startCopyJob(const CopyItem& item)
{
    auto* job = new CopyJob();
    static_cast<CopyItem&>(*job) = item;
    job->m_options = jobOptions();
    job->m_settings = m_runSettings;
    // Retried without a walk, an item may be the twin of another by case, its name taken.
    job->m_checkStoredNames = m_task.m_options.m_copyMode == CopyOptions::FixErrors;
    const bool defer = !item.is_folder && canDeferCopies();
    if (defer) {
        job->m_deferBelowSize = deferredCopyMaxSize;
        job->m_deferDevice = m_fileSystemDevice;
    }
    // A verify only compares: its small files share jobs as well. Once the storage is known
    // to be large enough, no item needs a check of its own.
    const bool verify = m_task.m_options.m_copyMode == CopyOptions::Verify;
    if ((defer || (verify && m_groupedCopies)) && m_skipStorageCheck && sharesJobs(item)) {
        QList<CopyItem> following;
        while (following.size() < sharedJobItems - 1 && !m_copyQueue.isEmpty() &&
               sharesJobs(m_copyQueue.first()))
            following.append(m_copyQueue.takeFirst());
        job->setFollowingItems(following);
    }
    connect(job, &Job::jobProgress, this, &CopyTask::onJobProgress);
    connect(job, &Job::jobCompleted, this, &CopyTask::onCopyCompleted);
    runJob(job);
}

void CopyTask::startExternalCopyJob(const CopyItem& item)
{
    auto* job = new ExternalCopyJob();
    job->setItem(item);
    job->setProgram(m_externalProgram.filePath);
    job->setArguments(ExternalProgramSettings::buildArguments(m_externalProgram, item.source_path,
                                                              item.destination_path));
    job->setMaxSuccessExitCode(
        ExternalProgramSettings::maxSuccessExitCode(m_externalProgram.syntaxType));
    emit logAvailable(QStringLiteral("%1 %2").arg(
        tr("Starting"), ExternalProgramSettings::commandLine(m_externalProgram, item.source_path,
                                                             item.destination_path)));
    connect(job, &ProcessJob::outputAvailable, this, &CopyTask::logAvailable);
    connect(job, &Job::jobCompleted, this, &CopyTask::onExternalCopyCompleted);
    runJob(job);
}

bool CopyTask::drainQueues()
{
    if (!m_stopRequested)
        return false;
    if (!m_copyQueue.isEmpty()) {
        m_completedItems.append(m_copyQueue);
        qDebug() << m_copyQueue.size() << "items are moved from copy queue to completed";
        m_copyQueue.clear();
    }
    if (!m_checkQueue.isEmpty()) {
        m_completedItems.append(m_checkQueue);
        qDebug() << m_checkQueue.size() << "items are moved from copy queue to completed";
        m_checkQueue.clear();
    }
    queueCall("checkTaskCompleted");
    return true;
}

void CopyTask::onCopyCompleted()
{
    m_runningJobs -= 1;
    if (auto* job = qobject_cast<CopyJob*>(sender())) {
        HandOver::receive(static_cast<Job*>(job));
        const QList<CopyItem> results = job->results();
        const QStringList pendingPaths = job->pendingTemporaryPaths();
        const QList<PlatformCopy::FileVersion> sourceVersions = job->pendingSourceVersions();
        const QList<bool> replaceFlags = job->pendingReplaceFlags();
        for (int i = 0; i < results.size(); ++i) {
            const CopyItem& item = results.at(i);
            const QString pending = pendingPaths.value(i);
            if (pending.isEmpty() &&
                (m_pendingCopies.isEmpty() || (m_stopRequested && item.isError()))) {
                finishCopiedItem(item);
            } else {
                // Reported once its group is placed; an item decided meanwhile waits with
                // the group, so that items are reported in the order of the queue.
                m_pendingCopies.append(
                    {item, pending, sourceVersions.value(i), replaceFlags.value(i)});
                if (!pending.isEmpty())
                    m_pendingBytes += item.file_size;
            }
        }
        commitPendingCopies(false);
        job->deleteLater();
    } else {
        qWarning() << objectName() << "has received a signal from invalid CopyJob instance";
    }
    processNextCopyInQueue();
}

void CopyTask::onExternalCopyCompleted()
{
    m_runningJobs -= 1;
    if (auto* job = qobject_cast<ExternalCopyJob*>(sender())) {
        HandOver::receive(static_cast<Job*>(job));
        finishCopiedItem(job->item());
        job->deleteLater();
    } else {
        qWarning() << objectName() << "has received a signal from invalid ExternalCopyJob instance";
    }
    processNextCopyInQueue();
}

void CopyTask::finishCopiedItem(CopyItem item, bool placed)
{
    warnOfUnkeptAttributes(item);
    if (item.copy_state == Copied && m_task.m_options.m_copyMode != CopyOptions::Verify)
        m_wroteData = true;
    if (item.isError()) {
        if (m_stopRequested && !placed) {
            // Most likely failed because of the stop: a resume copies it again.
            qDebug() << "Restoring to copy queue the item:"
                     << qUtf8Printable(item.destination_path);
            item.resetState();
            m_completedItems.append(item);
            return;
        }
        if (item.copy_message.isEmpty())
            item.setDestinationError(item.is_folder ? tr("unable to create folder")
                                                    : tr("unable to copy file"));
        const bool excused = applySkipErrorPatterns(item);
        countCompleted(item);
        m_completedItems.append(item);
        signalCompleted(item, excused);
        return;
    }
    if (m_task.m_options.m_copyMode == CopyOptions::Verify && !item.is_folder &&
        item.link_target.isEmpty()) {
        // After a stop, compared and checked on resume.
        if (m_stopRequested)
            m_completedItems.append(item);
        else
            m_checkQueue.append(item);
        return;
    }
    // Done on disk, stopped or not: the report of a stopped run counts it too.
    countCompleted(item);
    m_completedItems.append(item);
    emit copyCompleted(item);
}

void CopyTask::warnOfUnkeptAttributes(const CopyItem& item)
{
    if (m_warnedOfUnkeptAttributes ||
        !item.info_list.contains(CopyObject::unsupportedAttributesNote()))
        return;
    m_warnedOfUnkeptAttributes = true;
    qWarning() << "The destination keeps no extended attributes or ACLs, first met with"
               << qUtf8Printable(item.destination_path);
}

bool CopyTask::applySkipErrorPatterns(CopyItem& item) const
{
    QString pattern;
    if (m_skipErrorPatterns.isEmpty() || !FileSystemUtils::fileNameMatchesAnyPattern(
                                             item.source_path, m_skipErrorPatterns, &pattern))
        return false;
    qWarning() << "Error skipped with pattern" << pattern << "on file"
               << qUtf8Printable(item.source_path);
    if (!item.copy_message.isEmpty())
        item.info_list.append(item.copy_message);
    item.resetState();
    item.copy_state = Skipped;
    return true;
}

void CopyTask::signalCompleted(const CopyItem& item, bool excused)
{
    if (excused)
        emit copyCompleted(item);
    else
        emit errorOccurred(item);
}

// ---------------------------------------------------------------------------------------
// Checking

void CopyTask::processNextCheckInQueue()
{
    for (;;) {
        if (drainQueues())
            return;
        if (m_checkQueue.isEmpty()) {
            checkTaskCompleted();
            return;
        }
        if (!canStartJob())
            return;

        CopyItem item = m_checkQueue.takeFirst();
        if (shouldCheck(item)) {
            auto* job = new CheckFileJob();
            job->setItem(item);
            while (!m_checkQueue.isEmpty() && shouldCheck(m_checkQueue.first()) &&
                   job->canAdd(m_checkQueue.first()))
                job->addItem(m_checkQueue.takeFirst());
            connect(job, &Job::jobProgress, this, &CopyTask::onJobProgress);
            connect(job, &Job::jobCompleted, this, &CopyTask::onCheckFileCompleted);
            runJob(job);
            return;
        }
        qDebug() << "Skip integrity check for file" << qUtf8Printable(item.destination_path)
                 << "with size" << item.file_size;
        item.info_list.append(tr("file too large to check"));
        countCompleted(item);
        m_completedItems.append(item);
        emit copyCompleted(item);
    }
}

bool CopyTask::shouldCheck(const CopyItem& item) const
{
    if (item.is_folder || m_task.m_options.m_copyMode != CopyOptions::Verify)
        return false;
    const qint64 limit = m_runSettings.skipIntegrityCheckForFileSizeMoreThan;
    return limit <= 0 || item.file_size <= limit;
}

void CopyTask::onCheckFileCompleted()
{
    m_runningJobs -= 1;
    if (auto* job = qobject_cast<CheckFileJob*>(sender())) {
        HandOver::receive(static_cast<Job*>(job));
        const QList<CopyItem> checked = job->checkedItems();
        for (CopyItem item : checked) {
            bool signal = true;
            bool excused = true;
            if (item.isError()) {
                if (m_stopRequested) {
                    // Compared and checked again after a resume.
                    item.resetState();
                    signal = false;
                } else {
                    excused = applySkipErrorPatterns(item);
                }
            }
            countCompleted(item);
            m_completedItems.append(item);
            if (signal)
                signalCompleted(item, excused);
        }
        // Left unchecked by a stop: the stop empties the queue into the completed list.
        m_checkQueue = job->uncheckedItems() + m_checkQueue;
        job->deleteLater();
    } else {
        qWarning() << objectName() << "has received a signal from invalid CheckFileJob instance";
    }
    processNextCheckInQueue();
}

void CopyTask::onJobProgress(const QString& name, qint64 done, qint64 total)
{
    if (!m_stopRequested && done != total)
        emit jobProgress(name, done, total);
}

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

    // A move of a folder without subfolders still has its emptied root to remove. (Collate
    // leaves the source subfolders in place, so its root is not removed either.)
    const bool rootOnly =
        hasSourceRootToMove() && m_task.m_options.m_destinationMode == CopyOptions::Normal;
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
    runJob(job);
}

void CopyTask::onSyncFileSystemCompleted()
{
    m_runningJobs -= 1;
    if (auto* job = qobject_cast<SyncFileSystemJob*>(sender())) {
        HandOver::receive(static_cast<Job*>(job));
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

bool CopyTask::canDeferCopies() const
{
    const CopyOptions& options = m_task.m_options;
    // Collate and auto-rename can give two items one destination name within a run; the
    // second must see the first in place.
    return m_groupedCopies && m_fileSystemHandle >= 0 && m_fileSystemDevice != 0 &&
           options.m_copyMode != CopyOptions::Verify &&
           options.m_destinationMode == CopyOptions::Normal &&
           options.m_overwriteMode != CopyOptions::AutoRename;
}

bool CopyTask::commitPendingCopies(bool force)
{
    if (m_commitRunning || m_pendingCopies.isEmpty())
        return false;
    if (!force && m_pendingCopies.size() < commitGroupFiles && m_pendingBytes < commitGroupBytes)
        return false;
    auto* job = new CommitFilesJob();
    job->setFileSystem(m_fileSystemHandle, m_fileSystemPath);
    job->setCopies(m_pendingCopies);
    job->setMove(movesSources());
    m_pendingCopies.clear();
    m_pendingBytes = 0;
    connect(job, &Job::jobCompleted, this, &CopyTask::onCommitFilesCompleted);
    m_commitRunning = true;
    runJob(job);
    return true;
}

void CopyTask::onCommitFilesCompleted()
{
    m_runningJobs -= 1;
    m_commitRunning = false;
    if (auto* job = qobject_cast<CommitFilesJob*>(sender())) {
        HandOver::receive(static_cast<Job*>(job));
        const QList<CopyItem> items = job->items();
        for (const CopyItem& item : items)
            finishCopiedItem(item, true);
        job->deleteLater();
    } else {
        qWarning() << objectName() << "has received a signal from invalid CommitFilesJob instance";
    }
    processNextCopyInQueue();
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
    queueCall("processNextCopyInQueue");
}

void CopyTask::clearLists(bool withCompleted)
{
    m_copyQueue.clear();
    m_checkQueue.clear();
    m_symbolicLinksQueue.clear();
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
    for (CopyItem item : items) {
        countToCopy(item);
        if (item.isError() && mode == CopyOptions::FixErrors) {
            // Copied afresh: the copier then decides about the destination as for a new item.
            item.resetState();
            item.info_list.clear();
            item.elapsed_time = 0;
            m_copyQueue.append(item);
        } else if (mode != CopyOptions::Verify && copyIsMissing(item)) {
            // A task file may be older than what happened to the destination since.
            qDebug() << "The copy of" << qUtf8Printable(item.source_path)
                     << "is missing or incomplete: copying it again";
            item.resetState();
            item.info_list.clear();
            item.elapsed_time = 0;
            m_copyQueue.append(item);
        } else if (item.copy_state != Skipped && item.copy_state != Copied) {
            if (!item.link_target.isEmpty()) {
                item.elapsed_time = 0;
                m_symbolicLinksQueue.append(item);
                ++linkCount;
            } else if (item.copy_state == Unprocessed) {
                item.elapsed_time = 0;
                m_copyQueue.append(item);
            } else {
                countCompleted(item);
                m_completedItems.append(item);
            }
        } else if (!item.is_folder && item.link_target.isEmpty() && mode == CopyOptions::Verify &&
                   !item.is_checked) {
            m_checkQueue.append(item);
        } else {
            countCompleted(item);
            m_completedItems.append(item);
        }
    }
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
