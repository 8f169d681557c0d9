#include "engine/copytask.h"

#include "app/appsettings.h"
#include "base/saturating.h"
#include "jobs/transfercounters.h"

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

void CopyTask::resetCounters()
{
    m_counters.fill(0);
    m_linkedBytes = 0;
}

void CopyTask::countToCopy(const CopyItem& item)
{
    if (item.is_folder) {
        m_counters[FoldersFound] += 1;
        return;
    }
    m_counters[FilesToCopy] += 1;
    m_counters[BytesToCopy] = saturatingAdd(m_counters[BytesToCopy], countedSize(item));
    TransferCounters::instance()->addValue(TransferCounters::BytesToCopy, countedSize(item));
}

bool CopyTask::verifiedInVerify(const CopyItem& item) const
{
    // A verify leaves every file as it is: one whose check passed is verified, not skipped.
    return item.is_checked && m_task.m_options.m_copyMode == CopyOptions::Verify;
}

void CopyTask::countCompleted(const CopyItem& item)
{
    if (!item.is_folder) {
        m_counters[FilesCompleted] += 1;
        m_counters[BytesCompleted] = saturatingAdd(m_counters[BytesCompleted], countedSize(item));
        TransferCounters::instance()->addValue(TransferCounters::BytesCompleted, countedSize(item));
        if (item.copy_state == Copied)
            m_counters[FilesCopied] += 1;
        else if (item.copy_state == Skipped && !verifiedInVerify(item))
            m_counters[FilesSkipped] += 1;
        if (item.is_checked)
            m_counters[FilesChecked] += 1;
    }
    if (item.isError())
        m_counters[ErrorItems] += 1;
}

qint64 CopyTask::counter(int index) const
{
    if (index < FilesCompleted || index > TaskElapsedTime)
        return 0;
    return m_counters[index];
}

qint64 CopyTask::elapsedMs() const
{
    return elapsedMsBetween(m_startTime, m_endTime, QDateTime::currentDateTime());
}

qint64 CopyTask::averageSpeed() const
{
    // Read live, not from the run's settings: it only bounds the displayed estimate, on this
    // thread, and never changes what the run does.
    return averageSpeedFor(m_counters[BytesCompleted], elapsedMs(),
                           AppSettings::instance()->maxTransferSpeed());
}

qint64 CopyTask::remainingTime() const
{
    return remainingTimeFor(m_counters, m_task.m_options.m_copyMode, m_fileListCompleted,
                            isTaskCompleted(), averageSpeed());
}

qint64 CopyTask::elapsedMsBetween(const QDateTime& start, const QDateTime& end,
                                  const QDateTime& now)
{
    if (start.isNull())
        return 0;
    const qint64 ms = start.msecsTo(end.isNull() ? now : end);
    return qMax<qint64>(1, ms);
}

qint64 CopyTask::averageSpeedFor(qint64 bytesCompleted, qint64 elapsedMs, qint64 maxTransferSpeed)
{
    if (elapsedMs < MinimumElapsedForSpeedMs || bytesCompleted < MinimumBytesForSpeed)
        return 1;
    const qint64 speed =
        FileSystemUtils::roundToInt64(double(bytesCompleted) / double(elapsedMs) * 1000.0);
    if (speed <= 1)
        return 1;
    return qMax<qint64>(1, qMin(speed, maxTransferSpeed));
}

qint64 CopyTask::remainingTimeFor(const Counters& counters, int copyMode, bool fileListCompleted,
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

QList<CopyItem> CopyTask::errorItems() const
{
    QList<CopyItem> items;
    for (const CopyItem& item : m_completedItems) {
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

QList<CopyItem> CopyTask::copiedItems() const
{
    QList<CopyItem> items;
    for (const CopyItem& item : m_completedItems) {
        if (item.copy_state == Copied)
            items.append(item);
    }
    return items;
}

QList<CopyItem> CopyTask::skippedItems() const
{
    QList<CopyItem> items;
    for (const CopyItem& item : m_completedItems) {
        if (item.copy_state == Skipped && !verifiedInVerify(item))
            items.append(item);
    }
    return items;
}

QList<CopyItem> CopyTask::checkedItems() const
{
    QList<CopyItem> items;
    for (const CopyItem& item : m_completedItems) {
        if (item.is_checked)
            items.append(item);
    }
    return items;
}

QList<CopyItem> CopyTask::unprocessedItems() const
{
    QList<CopyItem> items;
    for (const CopyItem& item : m_completedItems) {
        if (item.copy_state == Unprocessed)
            items.append(item);
    }
    items.append(m_copyQueue);
    return items;
}

QList<CopyItem> CopyTask::folderItems() const
{
    QList<CopyItem> items;
    for (const CopyItem& item : m_completedItems) {
        if (item.is_folder)
            items.append(item);
    }
    items.append(m_folders);
    return items;
}
