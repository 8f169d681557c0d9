#include "engine/copystage.h"

#include "engine/overwritedecision.h"

#include "base/handover.h"
#include "engine/checkfilejob.h"
#include "engine/copyjob.h"
#include "engine/externalcopyjob.h"
#include "engine/runend.h"
#include "engine/storageprobe.h"
#include "fs/filesystemutils.h"
#include "fs/platformcopy.h"
#include "fs/reachablefileinfo.h"
#include "jobs/jobthreadpool.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMetaObject>

CopyStage::CopyStage(RunState* run, QObject* parent) : QObject(parent), m_run(*run)
{
    setObjectName(QStringLiteral("CopyStage"));
}

void CopyStage::queueCall(QObject* target, const char* slot)
{
    QMetaObject::invokeMethod(target, slot, Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------------------
// Copying

void CopyStage::processNextCopyInQueue()
{
    if (drainQueues())
        return;
    QList<CopyItem>& queue = m_run.m_ledger.copyQueue();
    if (queue.isEmpty()) {
        mp_end->checkTaskCompleted();
        return;
    }
    if (!m_run.canStartJob())
        return;
    // Links come last and may point to copied files: those must be in place first, or the
    // link would keep the source's target.
    if (!queue.first().link_target.isEmpty() &&
        (m_run.m_runningJobs > 0 || !m_run.m_placing.isEmpty())) {
        commitPendingCopies(true);
        return;
    }

    CopyItem item = queue.takeFirst();
    if (decideOnFullStorage(item))
        return;
    if (m_run.m_externalProgram.filePath.isEmpty() ||
        (!m_run.m_skipBuildListForExternalProgram && item.is_folder))
        startCopyJob(item);
    else
        startExternalCopyJob(item);
}

bool CopyStage::decideOnFullStorage(CopyItem& item)
{
    // A verify run writes nothing, so a full storage must not keep it from comparing.
    if (m_run.m_skipStorageCheck || m_run.m_task.m_options.m_copyMode == CopyOptions::Verify)
        return false;
    bool ok = false;
    // A link takes no room for data.
    const qint64 needed =
        m_run.m_ledger.hardLinks().linkTarget(item).isEmpty() ? item.file_size : 0;
    if (!m_run.mp_storageProbe->isStorageFull(m_run.m_task.m_destinationPath, needed, &ok)) {
        if (!ok)
            m_run.m_skipStorageCheck = true;
        return false;
    }
    const int mode = OverwriteDecision::modeFor(
        m_run.m_task.m_options, m_run.m_task.m_destinationPath, item.destination_path);
    bool keepDestination = false;
    if (FileSystemUtils::fileExists(item.destination_path)) {
        const ReachableFileInfo destination(item.destination_path);
        const ReachableFileInfo source(item.source_path);
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
        item.setDestinationError(QCoreApplication::translate("CopyTask", "storage is full"));
    }
    finishCopiedItem(item);
    queueCall(this, "processNextCopyInQueue");
    return true;
}

void CopyStage::startCopyJob(const CopyItem& item)
{
    auto* job = new CopyJob();
    static_cast<CopyItem&>(*job) = item;
    job->m_options = m_run.jobOptions();
    job->m_settings = m_run.m_settings;
    job->m_destinationRoot = m_run.m_task.m_destinationPath;
    job->m_destinationAnchor = m_run.m_destination.anchor();
    // Retried without a walk, an item may be the twin of another by case, its name taken.
    job->m_checkStoredNames = m_run.m_task.m_options.m_copyMode == CopyOptions::FixErrors;
    const bool defer =
        !item.is_folder && GroupedPlacing::canDefer(m_run.m_groupedCopies, m_run.m_task.m_options,
                                                    m_run.m_destination);
    if (defer) {
        job->m_deferBelowSize = GroupedPlacing::DeferBelowSize;
        job->m_deferDevice = m_run.m_destination.device();
    }
    // A verify only compares: its small files share jobs as well. Once the storage is known
    // to be large enough, no item needs a check of its own.
    const bool verify = m_run.m_task.m_options.m_copyMode == CopyOptions::Verify;
    const HardLinkGroups& hardLinks = m_run.m_ledger.hardLinks();
    QStringList targets{hardLinks.linkTarget(item)};
    if ((defer || (verify && m_run.m_groupedCopies)) && m_run.m_skipStorageCheck &&
        GroupedPlacing::sharesJobs(item)) {
        QList<CopyItem>& queue = m_run.m_ledger.copyQueue();
        QList<CopyItem> following;
        while (following.size() < GroupedPlacing::SharedJobItems - 1 && !queue.isEmpty() &&
               GroupedPlacing::sharesJobs(queue.first()))
            following.append(queue.takeFirst());
        job->setFollowingItems(following);
        for (const CopyItem& next : qAsConst(following))
            targets << hardLinks.linkTarget(next);
    }
    if (targets.size() > 1 || !targets.first().isEmpty())
        job->m_hardLinkTargets = targets;
    connect(job, &Job::jobProgress, this, &CopyStage::onJobProgress);
    connect(job, &Job::jobCompleted, this, &CopyStage::onCopyCompleted);
    m_run.runJob(job);
}

void CopyStage::startExternalCopyJob(const CopyItem& item)
{
    auto* job = new ExternalCopyJob();
    job->setItem(item);
    job->setProgram(m_run.m_externalProgram.filePath);
    // The whole tree in one call: the program copies what the folder holds, as Brindle does.
    const QString source =
        item.is_folder && m_run.m_skipBuildListForExternalProgram
            ? ExternalProgramSettings::contentsSource(m_run.m_externalProgram, item.source_path)
            : item.source_path;
    job->setArguments(ExternalProgramSettings::buildArguments(m_run.m_externalProgram, source,
                                                              item.destination_path));
    job->setMaxSuccessExitCode(
        ExternalProgramSettings::maxSuccessExitCode(m_run.m_externalProgram.syntaxType));
    job->setMovesSource(m_run.movesSources());
    job->setDestinationAnchor(m_run.m_destination.anchor());
    job->setDestinationRoot(m_run.m_task.m_destinationPath);
    emit m_run.logAvailable(
        QStringLiteral("%1 %2").arg(QCoreApplication::translate("CopyTask", "Starting"),
                                    ExternalProgramSettings::commandLine(
                                        m_run.m_externalProgram, source, item.destination_path)));
    connect(job, &ProcessJob::outputAvailable, &m_run, &RunState::logAvailable);
    connect(job, &Job::jobCompleted, this, &CopyStage::onExternalCopyCompleted);
    m_run.runJob(job);
}

void CopyStage::settleHardLinks(const CopyItem& item)
{
    // Many at once (a group of copies placed): every thread takes a share.
    if (m_run.m_ledger.settleHardLinks(item, m_run.m_stopRequested))
        queueCall(this, "startQueuedJobs");
}

void CopyStage::startQueuedJobs()
{
    while (!m_run.m_phase.isEnded() && !m_run.m_ledger.copyQueue().isEmpty() &&
           m_run.m_runningJobs > 0 && m_run.canStartJob()) {
        const int running = m_run.m_runningJobs;
        processNextCopyInQueue();
        if (m_run.m_runningJobs == running)
            break;
    }
}

bool CopyStage::drainQueues()
{
    if (!m_run.m_stopRequested)
        return false;
    m_run.m_ledger.drain();
    queueCall(mp_end, "checkTaskCompleted");
    return true;
}

void CopyStage::onCopyCompleted()
{
    m_run.m_runningJobs -= 1;
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
                (m_run.m_placing.isEmpty() || (m_run.m_stopRequested && item.isError())))
                finishCopiedItem(item);
            else
                // Reported once its group is placed; an item decided meanwhile waits with
                // the group, so that items are reported in the order of the queue.
                m_run.m_placing.add(
                    {item, pending, sourceVersions.value(i), replaceFlags.value(i)});
        }
        commitPendingCopies(false);
        job->deleteLater();
    } else {
        qWarning() << parent()->objectName()
                   << "has received a signal from invalid CopyJob instance";
    }
    processNextCopyInQueue();
}

void CopyStage::onExternalCopyCompleted()
{
    m_run.m_runningJobs -= 1;
    if (auto* job = qobject_cast<ExternalCopyJob*>(sender())) {
        HandOver::receive(static_cast<Job*>(job));
        if (job->destinationLost())
            stopForLostDestination();
        finishCopiedItem(job->item());
        job->deleteLater();
    } else {
        qWarning() << parent()->objectName()
                   << "has received a signal from invalid ExternalCopyJob instance";
    }
    processNextCopyInQueue();
}

void CopyStage::finishCopiedItem(CopyItem item, bool placed)
{
    m_run.m_destination.noteUnkeptAttributes(item);
    // An item put back for a resume has no outcome yet.
    if (!(item.isError() && m_run.m_stopRequested && !placed))
        settleHardLinks(item);
    if (item.copy_state == Copied && m_run.m_task.m_options.m_copyMode != CopyOptions::Verify)
        m_run.m_wroteData = true;
    if (item.isError()) {
        if (m_run.m_stopRequested && !placed) {
            // Most likely failed because of the stop: a resume copies it again.
            qDebug() << "Restoring to copy queue the item:"
                     << qUtf8Printable(item.destination_path);
            item.resetState();
            m_run.m_ledger.completed().append(item);
            return;
        }
        if (item.copy_message.isEmpty())
            item.setDestinationError(
                item.is_folder ? QCoreApplication::translate("CopyTask", "unable to create folder")
                               : QCoreApplication::translate("CopyTask", "unable to copy file"));
        const bool excused = m_run.applySkipErrorPatterns(item);
        m_run.m_ledger.countCompleted(item);
        m_run.m_ledger.completed().append(item);
        m_run.reportCompleted(item, excused);
        return;
    }
    const bool recheck = item.copy_state == Copied && m_run.m_ledger.isRechecked(item);
    if ((m_run.m_task.m_options.m_copyMode == CopyOptions::Verify || recheck) && !item.is_folder &&
        item.link_target.isEmpty() && !item.is_checked) {
        // After a stop, compared and checked on resume.
        if (m_run.m_stopRequested)
            m_run.m_ledger.completed().append(item);
        else
            m_run.m_ledger.checkQueue().append(item);
        return;
    }
    // Done on disk, stopped or not: the report of a stopped run counts it too.
    m_run.m_ledger.countCompleted(item);
    m_run.m_ledger.completed().append(item);
    m_run.reportCompleted(item);
}

void CopyStage::stopForLostDestination()
{
    if (m_run.m_ledger.runError().isError())
        return;
    qWarning() << "Stopping copy to" << qUtf8Printable(m_run.m_task.m_destinationPath)
               << "because its drive is no longer mounted";
    m_run.addRunError(m_run.m_destination.driveGoneText(m_run.m_task.m_destinationPath));
    stop();
}

// ---------------------------------------------------------------------------------------
// Checking

void CopyStage::processNextCheckInQueue()
{
    QList<CopyItem>& queue = m_run.m_ledger.checkQueue();
    for (;;) {
        if (drainQueues())
            return;
        if (queue.isEmpty()) {
            mp_end->checkTaskCompleted();
            return;
        }
        if (!m_run.canStartJob())
            return;

        CopyItem item = queue.takeFirst();
        if (shouldCheck(item)) {
            auto* job = new CheckFileJob();
            job->setItem(item);
            job->setAlgorithm(Digest::Algorithm(m_run.m_settings.hashAlgorithm));
            while (!queue.isEmpty() && shouldCheck(queue.first()) && job->canAdd(queue.first()))
                job->addItem(queue.takeFirst());
            connect(job, &Job::jobProgress, this, &CopyStage::onJobProgress);
            connect(job, &Job::jobCompleted, this, &CopyStage::onCheckFileCompleted);
            m_run.runJob(job);
            return;
        }
        qDebug() << "Skip integrity check for file" << qUtf8Printable(item.destination_path)
                 << "with size" << item.file_size;
        item.info_list.append(QCoreApplication::translate("CopyTask", "file too large to check"));
        m_run.m_ledger.countCompleted(item);
        m_run.m_ledger.completed().append(item);
        m_run.reportCompleted(item);
    }
}

bool CopyStage::shouldCheck(const CopyItem& item) const
{
    if (item.is_folder || (m_run.m_task.m_options.m_copyMode != CopyOptions::Verify &&
                           !m_run.m_ledger.isRechecked(item)))
        return false;
    const qint64 limit = m_run.m_settings.skipIntegrityCheckForFileSizeMoreThan;
    return limit <= 0 || item.file_size <= limit;
}

void CopyStage::onCheckFileCompleted()
{
    m_run.m_runningJobs -= 1;
    if (auto* job = qobject_cast<CheckFileJob*>(sender())) {
        HandOver::receive(static_cast<Job*>(job));
        const QList<CopyItem> checked = job->checkedItems();
        for (CopyItem item : checked) {
            bool signal = true;
            bool excused = true;
            if (item.isError()) {
                if (m_run.m_stopRequested) {
                    // Compared and checked again after a resume.
                    item.resetState();
                    signal = false;
                } else {
                    excused = m_run.applySkipErrorPatterns(item);
                }
            }
            m_run.m_ledger.countCompleted(item);
            m_run.m_ledger.completed().append(item);
            if (signal)
                m_run.reportCompleted(item, excused);
        }
        // Left unchecked by a stop: the stop empties the queue into the completed list.
        m_run.m_ledger.checkQueue() = job->uncheckedItems() + m_run.m_ledger.checkQueue();
        job->deleteLater();
    } else {
        qWarning() << parent()->objectName()
                   << "has received a signal from invalid CheckFileJob instance";
    }
    processNextCheckInQueue();
}

void CopyStage::onJobProgress(const QString& name, qint64 done, qint64 total)
{
    if (!m_run.m_stopRequested && done != total)
        emit jobProgress(name, done, total);
}

// ---------------------------------------------------------------------------------------
// Placing grouped copies

bool CopyStage::commitPendingCopies(bool force)
{
    CommitFilesJob* job =
        m_run.m_placing.takeGroup(force, m_run.m_destination, m_run.movesSources(),
                                  m_run.m_task.m_destinationPath, m_run.m_settings);
    if (!job)
        return false;
    connect(job, &Job::jobCompleted, this, &CopyStage::onCommitFilesCompleted);
    m_run.runJob(job);
    return true;
}

void CopyStage::onCommitFilesCompleted()
{
    m_run.m_runningJobs -= 1;
    m_run.m_placing.placed();
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
        qWarning() << parent()->objectName()
                   << "has received a signal from invalid CommitFilesJob instance";
    }
    processNextCopyInQueue();
}

// ---------------------------------------------------------------------------------------
// Stopping

void CopyStage::stop()
{
    if (m_run.m_phase.isEnded() || m_run.m_stopRequested)
        return;
    emit m_run.logAvailable(
        QCoreApplication::translate("CopyTask", "Please wait while stopping the process"));
    qDebug() << "Stopping copy" << qUtf8Printable(m_run.m_task.m_sourcePath) << "to"
             << qUtf8Printable(m_run.m_task.m_destinationPath);
    m_run.m_stopRequested = true;
    JobThreadPool::stopAllJobs();
    drainQueues();
}
