#include "engine/taskledger.h"

#include "base/saturating.h"
#include "engine/buildfilelistjob.h"
#include "engine/checkfilejob.h"
#include "engine/runmanifest.h"
#include "fs/filesystemutils.h"
#include "fs/platform.h"
#include "jobs/transfercounters.h"
#include "model/copyoptions.h"

#include <QDateTime>
#include <QDebug>

#include <algorithm>

namespace {

const qint64 MinimumElapsedForSpeedMs = 1000;
const qint64 MinimumBytesForSpeed = 32000;
const qint64 MaximumFileCostMs = 1800000;
const qint64 MaximumFolderCostMs = 300000;

// An item never measured has the size -1: it adds nothing to the totals.
qint64 countedSize(const CopyItem& item)
{
    return qMax<qint64>(0, item.file_size);
}

} // namespace

// ---------------------------------------------------------------------------------------
// Counters

void TaskLedger::resetCounters()
{
    m_counters.fill(0);
    m_linkedBytes = 0;
    m_carriedBytes = 0;
}

void TaskLedger::countToCopy(const CopyItem& item)
{
    // Left out by a filter: listed, never part of the run's work (nor skipped as equal).
    if (!item.filtered_by.isEmpty())
        return;
    if (item.is_folder) {
        m_counters[FoldersFound] += 1;
        return;
    }
    m_counters[FilesToCopy] += 1;
    m_counters[BytesToCopy] = saturatingAdd(m_counters[BytesToCopy], countedSize(item));
    TransferCounters::instance()->addValue(TransferCounters::BytesToCopy, countedSize(item));
}

bool TaskLedger::verifiedInVerify(const CopyItem& item) const
{
    // A verify leaves every file as it is: one whose check passed is verified, not skipped.
    return item.is_checked && m_verify;
}

void TaskLedger::countCompleted(const CopyItem& item)
{
    if (!item.filtered_by.isEmpty())
        return;
    if (!item.is_folder) {
        m_counters[FilesCompleted] += 1;
        m_counters[BytesCompleted] = saturatingAdd(m_counters[BytesCompleted], countedSize(item));
        TransferCounters::instance()->addValue(TransferCounters::BytesCompleted, countedSize(item));
        if (item.copy_state == Copied)
            m_counters[FilesCopied] += 1;
        else if (item.copy_state == Skipped && !verifiedInVerify(item))
            m_counters[FilesSkipped] += 1;
        if (item.is_checked) {
            m_counters[FilesChecked] += 1;
            if (mp_manifest)
                mp_manifest->list(item);
        }
    }
    if (item.isError())
        m_counters[ErrorItems] += 1;
}

qint64 TaskLedger::counter(int index) const
{
    if (index < FilesCompleted || index > FilesChanged)
        return 0;
    return m_counters[index];
}

qint64 TaskLedger::elapsedMsBetween(const QDateTime& start, const QDateTime& end,
                                    const QDateTime& now)
{
    if (start.isNull())
        return 0;
    const qint64 ms = start.msecsTo(end.isNull() ? now : end);
    return qMax<qint64>(1, ms);
}

qint64 TaskLedger::averageSpeedFor(qint64 bytesCompleted, qint64 elapsedMs, qint64 maxTransferSpeed)
{
    if (elapsedMs < MinimumElapsedForSpeedMs || bytesCompleted < MinimumBytesForSpeed)
        return 1;
    const qint64 speed =
        FileSystemUtils::roundToInt64(double(bytesCompleted) / double(elapsedMs) * 1000.0);
    if (speed <= 1)
        return 1;
    return qMax<qint64>(1, qMin(speed, maxTransferSpeed));
}

qint64 TaskLedger::remainingTimeFor(const Counters& counters, int copyMode, bool fileListCompleted,
                                    bool taskCompleted, qint64 averageSpeed)
{
    if (!fileListCompleted)
        return -1;
    if (taskCompleted)
        return 0;
    // Moving deletes every source file and folder, which costs more per entry.
    const bool move = copyMode == CopyOptions::Move;
    const qint64 fileCost = qMin(
        (counters[FilesToCopy] - counters[FilesCompleted]) * (move ? 30 : 10), MaximumFileCostMs);
    const qint64 folderCost = qMin(
        (counters[FoldersFound] - counters[FoldersSynced]) * (move ? 50 : 5), MaximumFolderCostMs);
    if (fileCost <= 0)
        return qMax<qint64>(folderCost, 1000);
    const qint64 transfer =
        FileSystemUtils::roundToInt64(double(counters[BytesToCopy] - counters[BytesCompleted]) /
                                      double(qMax<qint64>(1, averageSpeed)) * 1000.0);
    if (transfer <= 1000)
        return folderCost + 1000 + fileCost;
    return saturatingAdd(saturatingAdd(folderCost, transfer), fileCost);
}

// ---------------------------------------------------------------------------------------
// Queues

bool TaskLedger::queuesEmpty() const
{
    return m_copyQueue.isEmpty() && m_checkQueue.isEmpty() && m_symbolicLinks.isEmpty() &&
           !m_hardLinks.hasWaiting();
}

void TaskLedger::queueFile(const CopyItem& item, bool external)
{
    if (external) {
        m_copyQueue.append(item);
        return;
    }
    if (item.linksToEarlierName())
        m_linkedBytes += item.file_size;
    if (!m_hardLinks.holdBack(item))
        m_copyQueue.append(item);
}

bool TaskLedger::fileListed(const ListedBatches::Entry& entry, bool copyEmptyFolders, bool external,
                            bool stopped, CopyItem* completed, bool* linksQueued)
{
    if (entry.kind == ListedBatches::Entry::LinkToCopy) {
        const CopyItem item(entry.source, entry.destination, entry.size, false, entry.text);
        m_symbolicLinks.append(item);
        countToCopy(item);
        return false;
    }
    CopyItem item(entry.source, entry.destination, entry.size, entry.isFolder, QString());
    item.hard_link_first = entry.hardLinkFirst;
    if (entry.kind == ListedBatches::Entry::ToCopy) {
        if (entry.isFolder) {
            if (copyEmptyFolders)
                m_copyQueue.append(item);
            m_folders.append(item);
        } else {
            queueFile(item, external);
        }
        countToCopy(item);
        return false;
    }
    item.copy_state = Skipped;
    item.filtered_by = entry.filter;
    item.filter_pattern = entry.pattern;
    // A skip is an outcome: later names waiting for it go ahead.
    *linksQueued = settleHardLinks(item, stopped);
    if (!entry.text.isEmpty())
        item.info_list.append(entry.text);
    if (entry.isFolder) {
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
    m_completed.append(item);
    *completed = item;
    return true;
}

bool TaskLedger::carry(const CopyItem& item, bool stopped)
{
    countToCopy(item);
    m_carriedBytes = saturatingAdd(m_carriedBytes, countedSize(item));
    const bool linksQueued = settleHardLinks(item, stopped);
    countCompleted(item);
    m_completed.append(item);
    return linksQueued;
}

bool TaskLedger::settleHardLinks(const CopyItem& item, bool stopped)
{
    if (item.hard_link_first.isEmpty())
        return false;
    const QList<CopyItem> waiting = m_hardLinks.settle(item);
    if (waiting.isEmpty())
        return false;
    if (stopped) {
        m_completed.append(waiting);
        return false;
    }
    // Ahead of the rest: a link costs next to nothing, and the names are then complete. One
    // by one: QList keeps room at its front, where a copy of the queue would cost its length.
    for (auto it = waiting.crbegin(); it != waiting.crend(); ++it)
        m_copyQueue.prepend(*it);
    return true;
}

void TaskLedger::drain()
{
    if (m_hardLinks.hasWaiting())
        m_completed.append(m_hardLinks.takeAllWaiting());
    if (!m_copyQueue.isEmpty()) {
        m_completed.append(m_copyQueue);
        qDebug() << m_copyQueue.size() << "items are moved from copy queue to completed";
        m_copyQueue.clear();
    }
    if (!m_checkQueue.isEmpty()) {
        m_completed.append(m_checkQueue);
        qDebug() << m_checkQueue.size() << "items are moved from copy queue to completed";
        m_checkQueue.clear();
    }
}

void TaskLedger::abandonQueued()
{
    m_completed.append(m_copyQueue);
    m_copyQueue.clear();
    m_completed.append(m_symbolicLinks);
    m_symbolicLinks.clear();
    m_completed.append(m_hardLinks.takeAllWaiting());
}

void TaskLedger::appendSortedSymbolicLinks()
{
    if (m_symbolicLinks.isEmpty())
        return;
    // Links to the same target end up next to each other.
    std::sort(m_symbolicLinks.begin(), m_symbolicLinks.end(),
              [](const CopyItem& a, const CopyItem& b) {
                  const QString targetA = a.link_target.toLower();
                  const QString targetB = b.link_target.toLower();
                  if (targetA != targetB)
                      return targetA < targetB;
                  return a.destination_path.toLower() < b.destination_path.toLower();
              });
    m_copyQueue.append(m_symbolicLinks);
    m_symbolicLinks.clear();
}

void TaskLedger::clear(bool withCompleted)
{
    m_copyQueue.clear();
    m_checkQueue.clear();
    m_symbolicLinks.clear();
    m_hardLinks.clear();
    m_recheckSources.clear();
    if (withCompleted) {
        m_completed.clear();
        m_folders.clear();
    }
    resetCounters();
}

bool TaskLedger::copyIsMissing(const CopyItem& item)
{
    if (item.copy_state != Copied || item.is_folder || !item.link_target.isEmpty())
        return false;
    Platform::EntryStatus status;
    if (!Platform::entryStatus(item.destination_path, &status))
        return true;
    // A FIFO or device node is made anew, with no data: the copy of a source of its kind (or
    // of one a move took away already).
    Platform::EntryStatus source;
    if (status.isSpecial)
        return Platform::entryStatus(item.source_path, &source) && !source.isSpecial;
    return !status.isFile || status.size != item.file_size;
}

bool TaskLedger::rebuild(int mode, bool external)
{
    bool linksQueued = false;
    const QList<CopyItem> items = m_completed;
    m_completed.clear();
    int linkCount = 0;
    // Queued once every first name is known: a later name is linked to a first name's copy
    // found in the list, or waits for the first name queued again.
    QList<CopyItem> laterNames;
    const auto queue = [this, &laterNames, external](const CopyItem& item) {
        if (item.linksToEarlierName())
            laterNames.append(item);
        else
            queueFile(item, external);
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
                m_symbolicLinks.append(item);
                ++linkCount;
            } else if (item.copy_state == Unprocessed) {
                item.elapsed_time = 0;
                queue(item);
            } else {
                countCompleted(item);
                m_completed.append(item);
            }
        } else if (!item.is_folder && item.link_target.isEmpty() && mode == CopyOptions::Verify &&
                   !item.is_checked) {
            m_checkQueue.append(item);
        } else {
            linksQueued = settleHardLinks(item, false) || linksQueued;
            countCompleted(item);
            m_completed.append(item);
        }
    }
    for (const CopyItem& item : qAsConst(laterNames))
        queueFile(item, external);
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
    return linksQueued;
}

// ---------------------------------------------------------------------------------------
// Item queries

QList<CopyItem> TaskLedger::errorItems() const
{
    QList<CopyItem> items;
    for (const CopyItem& item : m_completed) {
        if (item.isError())
            items.append(item);
    }
    for (const CopyItem& folder : m_folders) {
        if (folder.isError())
            items.append(folder);
    }
    if (m_runError.isError())
        items.append(m_runError);
    return items;
}

QList<CopyItem> TaskLedger::copiedItems() const
{
    QList<CopyItem> items;
    for (const CopyItem& item : m_completed) {
        if (item.copy_state == Copied)
            items.append(item);
    }
    return items;
}

QList<CopyItem> TaskLedger::skippedItems() const
{
    QList<CopyItem> items;
    for (const CopyItem& item : m_completed) {
        if (item.copy_state == Skipped && !verifiedInVerify(item))
            items.append(item);
    }
    return items;
}

QPair<qint64, qint64> TaskLedger::filteredCounts() const
{
    QPair<qint64, qint64> counts{0, 0};
    for (const CopyItem& item : m_completed) {
        if (item.copy_state == Skipped && !item.filtered_by.isEmpty())
            (item.is_folder ? counts.second : counts.first) += 1;
    }
    return counts;
}

QList<CopyItem> TaskLedger::checkedItems() const
{
    QList<CopyItem> items;
    for (const CopyItem& item : m_completed) {
        if (item.is_checked)
            items.append(item);
    }
    return items;
}

QList<CopyItem> TaskLedger::unprocessedItems() const
{
    QList<CopyItem> items;
    for (const CopyItem& item : m_completed) {
        if (item.copy_state == Unprocessed)
            items.append(item);
    }
    items.append(m_copyQueue);
    return items;
}

QList<CopyItem> TaskLedger::folderItems() const
{
    return folderItemsOf(m_completed, m_folders);
}

QList<CopyItem> TaskLedger::folderItemsOf(const QList<CopyItem>& completed,
                                          const QList<CopyItem>& folders)
{
    // A folder made as an empty folder is completed and also kept for the final sync: it is
    // listed once, with the sync's outcome, the last one it had.
    QSet<QString> synced;
    for (const CopyItem& item : folders)
        synced.insert(item.destination_path);
    QList<CopyItem> items;
    for (const CopyItem& item : completed) {
        if (item.is_folder && !synced.contains(item.destination_path))
            items.append(item);
    }
    items.append(folders);
    return items;
}
