// CopyTask, continued: handing the queued items to copy and check jobs, filing what they
// hand back, and placing grouped copies under their names.

#include "engine/copytask.h"

#include "base/handover.h"
#include "base/saturating.h"
#include "engine/checkfilejob.h"
#include "engine/commitfilesjob.h"
#include "engine/copyjob.h"
#include "engine/copyobject.h"
#include "engine/externalcopyjob.h"
#include "engine/storageprobe.h"
#include "fs/filesystemutils.h"
#include "fs/platformcopy.h"

#include <QDebug>
#include <QFileInfo>

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
        // A link takes no room for data.
        const qint64 needed = m_hardLinks.linkTarget(item).isEmpty() ? item.file_size : 0;
        if (mp_storageProbe->isStorageFull(m_task.m_destinationPath, needed, &ok)) {
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
    job->m_destinationRoot = m_task.m_destinationPath;
    job->m_destinationAnchor = m_destinationAnchor;
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
    QStringList targets{m_hardLinks.linkTarget(item)};
    if ((defer || (verify && m_groupedCopies)) && m_skipStorageCheck && sharesJobs(item)) {
        QList<CopyItem> following;
        while (following.size() < sharedJobItems - 1 && !m_copyQueue.isEmpty() &&
               sharesJobs(m_copyQueue.first()))
            following.append(m_copyQueue.takeFirst());
        job->setFollowingItems(following);
        for (const CopyItem& next : qAsConst(following))
            targets << m_hardLinks.linkTarget(next);
    }
    if (targets.size() > 1 || !targets.first().isEmpty())
        job->m_hardLinkTargets = targets;
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
    job->setMovesSource(movesSources());
    job->setDestinationAnchor(m_destinationAnchor);
    job->setDestinationRoot(m_task.m_destinationPath);
    emit logAvailable(QStringLiteral("%1 %2").arg(
        tr("Starting"), ExternalProgramSettings::commandLine(m_externalProgram, item.source_path,
                                                             item.destination_path)));
    connect(job, &ProcessJob::outputAvailable, this, &CopyTask::logAvailable);
    connect(job, &Job::jobCompleted, this, &CopyTask::onExternalCopyCompleted);
    runJob(job);
}

void CopyTask::queueFile(const CopyItem& item)
{
    // An external program copies each name as it sees fit.
    if (!m_externalProgram.filePath.isEmpty()) {
        m_copyQueue.append(item);
        return;
    }
    if (item.linksToEarlierName())
        m_linkedBytes += item.file_size;
    if (!m_hardLinks.holdBack(item))
        m_copyQueue.append(item);
}

void CopyTask::settleHardLinks(const CopyItem& item)
{
    if (item.hard_link_first.isEmpty())
        return;
    const QList<CopyItem> waiting = m_hardLinks.settle(item);
    if (waiting.isEmpty())
        return;
    if (m_stopRequested) {
        m_completedItems.append(waiting);
        return;
    }
    // Ahead of the rest: a link costs next to nothing, and the names are then complete. One
    // by one: QList keeps room at its front, where a copy of the queue would cost its length.
    for (auto it = waiting.crbegin(); it != waiting.crend(); ++it)
        m_copyQueue.prepend(*it);
    // Many at once (a group of copies placed): every thread takes a share.
    queueCall("startQueuedJobs");
}

void CopyTask::startQueuedJobs()
{
    while (!isTaskCompleted() && !m_copyQueue.isEmpty() && m_runningJobs > 0 && canStartJob()) {
        const int running = m_runningJobs;
        processNextCopyInQueue();
        if (m_runningJobs == running)
            break;
    }
}

bool CopyTask::drainQueues()
{
    if (!m_stopRequested)
        return false;
    if (m_hardLinks.hasWaiting())
        m_completedItems.append(m_hardLinks.takeAllWaiting());
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
        if (job->destinationLost())
            stopForLostDestination();
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
                    m_pendingBytes = saturatingAdd(m_pendingBytes, item.file_size);
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
        if (job->destinationLost())
            stopForLostDestination();
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
    // An item put back for a resume has no outcome yet.
    if (!(item.isError() && m_stopRequested && !placed))
        settleHardLinks(item);
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
    const bool recheck = item.copy_state == Copied && m_recheckSources.contains(item.source_path);
    if ((m_task.m_options.m_copyMode == CopyOptions::Verify || recheck) && !item.is_folder &&
        item.link_target.isEmpty() && !item.is_checked) {
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

void CopyTask::stopForLostDestination()
{
    if (m_runError.isError())
        return;
    qWarning() << "Stopping copy to" << qUtf8Printable(m_task.m_destinationPath)
               << "because its drive is no longer mounted";
    m_runError = taskItem();
    m_runError.setDestinationError(driveGoneText());
    m_counters[ErrorItems] += 1;
    emit errorOccurred(m_runError);
    stopTask();
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
    // A verify reports every difference: the patterns excuse copy errors, not changed data.
    if (m_task.m_options.m_copyMode == CopyOptions::Verify)
        return false;
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
            job->setAlgorithm(Digest::Algorithm(m_runSettings.hashAlgorithm));
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
    if (item.is_folder || (m_task.m_options.m_copyMode != CopyOptions::Verify &&
                           !m_recheckSources.contains(item.source_path)))
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
// Placing grouped copies

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
    job->setDestinationAnchor(m_destinationAnchor);
    job->setDestinationRoot(m_task.m_destinationPath);
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
        // Placed where the drive was no longer: copied again on resume.
        const bool lost = job->destinationLost();
        if (lost)
            stopForLostDestination();
        for (const CopyItem& item : items)
            finishCopiedItem(item, !lost);
        job->deleteLater();
    } else {
        qWarning() << objectName() << "has received a signal from invalid CommitFilesJob instance";
    }
    processNextCopyInQueue();
}
