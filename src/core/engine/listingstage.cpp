#include "engine/listingstage.h"

#include "base/handover.h"
#include "engine/buildfilelistjob.h"
#include "engine/copystage.h"
#include "engine/runend.h"
#include "engine/storageprobe.h"
#include "fs/filesystemutils.h"
#include "fs/platform.h"
#include "fs/platformcopy.h"
#include "jobs/jobthreadpool.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMetaObject>

ListingStage::ListingStage(RunState* run, CopyStage* copy, RunEnd* end, QObject* parent)
    : QObject(parent), m_run(*run), mp_copy(copy), mp_end(end)
{
    setObjectName(QStringLiteral("ListingStage"));
}

void ListingStage::queueCall(QObject* target, const char* slot)
{
    QMetaObject::invokeMethod(target, slot, Qt::QueuedConnection);
}

void ListingStage::startBuildFileList()
{
    if (m_run.m_stopRequested) {
        // Stopped before the walk began: the list stays incomplete, as after a stopped walk.
        abandonFileList(QCoreApplication::translate("CopyTask", "file list is not completed"));
        queueCall(mp_end, "checkTaskCompleted");
        return;
    }
    if (!m_run.m_ledger.copyQueue().isEmpty()) {
        qDebug() << "Copy queue is not empty. Skip to build file list";
        queueCall(mp_copy, "processNextCopyInQueue");
        return;
    }
    if (m_run.m_skipBuildListForExternalProgram) {
        qDebug() << "Skip building file list for external program";
        QString source = QDir::toNativeSeparators(m_run.m_task.m_sourcePath);
        const QFileInfo info(source);
        const bool isFolder = FileSystemUtils::isRealDirectory(info);
        if (isFolder && !source.endsWith(QDir::separator()))
            source += QDir::separator();
        qDebug() << "Copying" << qUtf8Printable(source) << "to"
                 << qUtf8Printable(m_run.m_task.m_destinationPath);
        // The one item stands for the whole copy: it is queued even when empty folders
        // are not copied, or nothing would be copied at all.
        const CopyItem item(source, m_run.m_task.m_destinationPath, info.size(), isFolder,
                            QString());
        if (isFolder)
            m_run.m_ledger.folders().append(item);
        m_run.m_ledger.copyQueue().append(item);
        m_run.m_ledger.countToCopy(item);
        m_run.m_fileListCompleted = true;
        m_run.setPhase(TaskPhase::Phase::Copying);
        queueCall(mp_copy, "processNextCopyInQueue");
        return;
    }

    const std::shared_ptr<const WalkListing> planned = std::move(m_run.m_plannedListing);
    m_run.m_plannedListing.reset();
    if (planned && takesPlannedListing(*planned)) {
        fileListing(*planned);
        return;
    }

    auto* job = new BuildFileListJob();
    job->setPaths(m_run.m_task.m_sourcePath, m_run.m_task.m_destinationPath);
    job->setOptions(m_run.jobOptions());
    job->setSettings(m_run.m_settings);
    job->setOwnFile(m_run.m_manifest.path());
    if (m_run.m_earlier.isActive())
        job->setEarlierRun(m_run.m_earlier.hints());
    // In batches: one hand-over between the threads per folder rather than per entry.
    connect(job, &BuildFileListJob::entriesListed, this, &ListingStage::addListedEntries);
    connect(job, &Job::jobCompleted, this, &ListingStage::onBuildFileListCompleted);
    m_run.runJob(job);
}

bool ListingStage::takesPlannedListing(const WalkListing& listing) const
{
    const CopyOptions options = m_run.jobOptions();
    if (!listing.complete || m_run.m_earlier.isActive() ||
        listing.sourcePath != FileSystemUtils::normalizePath(m_run.m_task.m_sourcePath) ||
        listing.destinationPath != FileSystemUtils::normalizePath(m_run.m_task.m_destinationPath) ||
        listing.options != options)
        return false;
    // A plan never opens a closed folder a move would open for its owner: walked again.
    if (options.m_copyMode == CopyOptions::Move) {
        for (const CopyItem& error : listing.errors) {
            if (error.is_folder)
                return false;
        }
    }
    return true;
}

void ListingStage::fileListing(const WalkListing& listing)
{
    qDebug() << "Filing the list the plan walked:" << listing.entries.size() << "entries";
    QVector<BuildFileListJob::ListedEntry> entries;
    entries.reserve(listing.entries.size());
    // What the plan's walk left undone that the run's walk does: the leftovers of an
    // interrupted copy are removed from each folder the run writes to.
    QSet<QString> folders{listing.destinationPath};
    const bool collate = listing.options.m_destinationMode == CopyOptions::Collate;
    for (const BuildFileListJob::ListedEntry& entry : listing.entries) {
        if (entry.kind == BuildFileListJob::ListedEntry::ToSkip && !entry.filter.isEmpty() &&
            !m_run.m_settings.reportFilteredFiles)
            continue;
        if (entry.isFolder && entry.kind == BuildFileListJob::ListedEntry::ToCopy && !collate)
            folders.insert(entry.destination);
        entries.append(entry);
    }
    for (const QString& folder : qAsConst(folders)) {
        for (const QString& path :
             PlatformCopy::removeStaleTemporaryFiles(folder, QSet<QString>(), true))
            qDebug() << "Removed the temporary file of an interrupted copy" << qUtf8Printable(path);
    }
    // Counted as the walk's job is, so that the copies started meanwhile do not end the run
    // before its list is whole.
    m_run.m_runningJobs += 1;
    fileEntries(entries);
    m_run.m_runningJobs -= 1;
    listEnded(listing.errors, true);
}

void ListingStage::addListedEntries()
{
    auto* job = qobject_cast<BuildFileListJob*>(sender());
    if (job)
        fileEntries(job->takeListedEntries());
}

void ListingStage::fileEntries(const QVector<ListedBatches::Entry>& entries)
{
    // The queue takes the whole batch before a job is made, so that the job can take
    // several of its items.
    const bool external = !m_run.m_externalProgram.filePath.isEmpty();
    using Entry = BuildFileListJob::ListedEntry;
    for (Entry entry : entries) {
        const QString movedFirst = m_run.m_earlier.movedFirstName(entry.source);
        if (!movedFirst.isEmpty() && entry.kind == Entry::ToCopy) {
            // Its first name was moved before the stop: linked to that copy, not a new one.
            entry.hardLinkFirst = movedFirst;
            const CopyItem moved = m_run.m_earlier.takeMoved(movedFirst);
            if (!moved.source_path.isEmpty() && m_run.m_earlier.carries())
                m_run.m_ledger.carry(moved, m_run.m_stopRequested);
            else if (!moved.source_path.isEmpty())
                m_run.m_ledger.hardLinks().settle(moved);
        }
        if (!entry.isFolder)
            m_run.m_earlier.met(entry.source,
                                entry.kind == Entry::ToCopy || entry.kind == Entry::LinkToCopy);
        if (entry.kind == Entry::Unchanged && m_run.m_earlier.carries()) {
            CopyItem item = m_run.m_earlier.finishedItem(entry.source);
            item.hard_link_first = entry.hardLinkFirst;
            if (m_run.m_ledger.carry(item, m_run.m_stopRequested))
                queueCall(mp_copy, "startQueuedJobs");
            continue;
        }
        CopyItem skipped;
        bool linksQueued = false;
        if (m_run.m_ledger.fileListed(entry, m_run.m_task.m_options.m_copyEmptyFolders, external,
                                      m_run.m_stopRequested, &skipped, &linksQueued)) {
            if (linksQueued)
                queueCall(mp_copy, "startQueuedJobs");
            m_run.reportCompleted(skipped);
        }
    }
    if (m_run.canStartJob())
        mp_copy->processNextCopyInQueue();
}

void ListingStage::onBuildFileListCompleted()
{
    m_run.m_runningJobs -= 1;
    auto* job = qobject_cast<BuildFileListJob*>(sender());
    if (!job) {
        qWarning() << parent()->objectName()
                   << "has received a signal from invalid BuildFileListJob instance";
        abandonFileList(QCoreApplication::translate("CopyTask", "unable to get file list"));
        queueCall(mp_end, "checkTaskCompleted");
        return;
    }
    // The job's last writes happened in its own thread.
    HandOver::receive(static_cast<Job*>(job));
    const QList<CopyItem> errors = job->errorItems();
    const bool complete = job->pendingFolders().isEmpty() && !job->isStopped();
    job->deleteLater();
    listEnded(errors, complete);
}

void ListingStage::listEnded(const QList<CopyItem>& errors, bool complete)
{
    if (!errors.isEmpty()) {
        qWarning() << errors.size() << "errors found in build file list";
        for (CopyItem item : errors) {
            if (!item.is_folder)
                m_run.m_earlier.met(item.source_path, true);
            const bool excused = m_run.applySkipErrorPatterns(item);
            // Among the files found, so that processed never exceeds the total.
            if (!item.is_folder)
                m_run.m_ledger.countToCopy(item);
            m_run.m_ledger.countCompleted(item);
            m_run.m_ledger.completed().append(item);
            m_run.reportCompleted(item, excused);
        }
    }
    if (!complete) {
        qWarning() << "The build of file list is stopped by user";
        abandonFileList(QCoreApplication::translate("CopyTask", "file list is not completed"));
        queueCall(mp_end, "checkTaskCompleted");
    } else {
        m_run.m_fileListCompleted = true;
        m_run.setPhase(TaskPhase::Phase::Copying);
    }
    if (!m_run.m_fileListCompleted)
        return;

    TaskLedger::Counters& counters = m_run.m_ledger.counters();
    counters[FoldersFound] = m_run.m_ledger.folders().size();
    if (m_run.m_earlier.isActive()) {
        QList<CopyItem> moved;
        counters[FilesChanged] = m_run.m_earlier.walkEnded(&moved);
        carryMoved(moved);
        emit m_run.logAvailable(
            QCoreApplication::translate("CopyTask",
                                        "Files new, changed or gone since the earlier run: %1")
                .arg(counters[FilesChanged]));
    }
    qDebug() << m_run.m_ledger.copyQueue().size() << "items found"
             << qUtf8Printable(QStringLiteral("(%1 bytes)").arg(counters[BytesToCopy])) << "in path"
             << qUtf8Printable(m_run.m_task.m_sourcePath) << "in" << m_run.elapsedMs() << "ms";
    emit m_run.logAvailable(
        QCoreApplication::translate("CopyTask", "List is built with %1 folders and %2 files")
            .arg(counters[FoldersFound])
            .arg(counters[FilesToCopy]));

    if (m_run.m_task.m_options.m_copyMode == CopyOptions::Verify) {
        m_run.m_skipStorageCheck = true;
    } else {
        bool ok = false;
        const qint64 required =
            counters[BytesToCopy] - m_run.m_ledger.linkedBytes() - m_run.m_ledger.carriedBytes();
        if (m_run.mp_storageProbe->isStorageFull(m_run.m_task.m_destinationPath, required, &ok)) {
            const qint64 available =
                m_run.mp_storageProbe->availableBytes(m_run.m_task.m_destinationPath);
            qWarning() << "Target storage has" << available << "bytes available but the copy is"
                       << required << "bytes";
            emit storageIsFull(available, required);
        } else {
            m_run.m_skipStorageCheck = true;
        }
        if (!ok)
            m_run.m_skipStorageCheck = true;
    }

    m_run.m_ledger.appendSortedSymbolicLinks();

    const int wanted =
        qMax(1, qMin(m_run.m_ledger.copyQueue().size(), JobThreadPool::threadCount()));
    for (int i = m_run.m_runningJobs; i < wanted; ++i)
        mp_copy->processNextCopyInQueue();
}

void ListingStage::carryMoved(const QList<CopyItem>& moved)
{
    for (CopyItem item : moved) {
        Platform::EntryStatus copy;
        if (Platform::entryStatus(item.destination_path, &copy)) {
            m_run.m_ledger.carry(item, false);
            continue;
        }
        item.setDestinationError(QCoreApplication::translate(
            "CopyTask", "the copy made before the stop is gone, and its source was moved"));
        m_run.m_ledger.carry(item, false);
        m_run.reportCompleted(item, false);
    }
}

void ListingStage::abandonFileList(const QString& message)
{
    // Items already reported stay in the run, unchanged and unsignalled, as a stop leaves
    // them; the run ends as stopped and a resume starts it afresh.
    m_run.m_ledger.abandonQueued();
    CopyItem item = m_run.taskItem();
    item.setSourceError(message);
    emit m_run.errorOccurred(item);
}
