#pragma once

#include "engine/hardlinkgroups.h"
#include "engine/listedbatches.h"
#include "model/copyitem.h"

#include <QList>
#include <QSet>
#include <QString>

#include <array>

class RunManifest;

// Index of a copy task's counters; 0 carries nothing.
enum TaskCounter
{
    FilesCompleted = 1,
    BytesCompleted = 2,
    FilesToCopy = 3,
    BytesToCopy = 4,
    FoldersSynced = 5,
    FoldersFound = 6,
    FilesCopied = 7,
    FilesSkipped = 8,
    ErrorItems = 9,
    FilesChecked = 10,
    TaskElapsedTime = 11,
    // Files a resume found new, changed or gone since the run it goes on with.
    FilesChanged = 12
};

// Where every item of a copy task's run is, and the counters of the run. Every item is in
// exactly one of the copy queue, the check queue, the symbolic-link queue, the hard links
// waiting for their first name, or the completed list; the folders list is kept apart. Kept
// by the copy task on the run's thread; it starts no job.
class TaskLedger
{
public:
    static constexpr int CounterCount = FilesChanged + 1;
    using Counters = std::array<qint64, CounterCount>;

    // A verify counts a file whose check passed as verified, not skipped.
    void setVerify(bool verify) { m_verify = verify; }
    // Where the checked files are listed as they are counted (null: nowhere).
    void setManifest(RunManifest* manifest) { mp_manifest = manifest; }

    Counters& counters() { return m_counters; }
    const Counters& counters() const { return m_counters; }
    // An index outside 1..12 reads 0.
    qint64 counter(int index) const;
    void resetCounters();
    void countToCopy(const CopyItem& item);
    void countCompleted(const CopyItem& item);
    // The bytes of later names of files found by the walk: they need no room of their own.
    qint64 linkedBytes() const { return m_linkedBytes; }
    // The bytes of items carried from an earlier run: they are in place already.
    qint64 carriedBytes() const { return m_carriedBytes; }

    QList<CopyItem>& copyQueue() { return m_copyQueue; }
    const QList<CopyItem>& copyQueue() const { return m_copyQueue; }
    QList<CopyItem>& checkQueue() { return m_checkQueue; }
    QList<CopyItem>& symbolicLinks() { return m_symbolicLinks; }
    HardLinkGroups& hardLinks() { return m_hardLinks; }
    // Sources whose copy failed its check, copied again by a fix-errors run: each is
    // checked once more before it leaves the errors.
    QSet<QString>& recheckSources() { return m_recheckSources; }
    bool isRechecked(const CopyItem& item) const
    {
        return m_recheckSources.contains(item.source_path);
    }
    QList<CopyItem>& completed() { return m_completed; }
    const QList<CopyItem>& completed() const { return m_completed; }
    QList<CopyItem>& folders() { return m_folders; }
    const QList<CopyItem>& folders() const { return m_folders; }
    // The run's own error, on the task's source and destination.
    CopyItem& runError() { return m_runError; }
    const CopyItem& runError() const { return m_runError; }
    bool isVerify() const { return m_verify; }

    // Whether every queue is empty and no later name waits.
    bool queuesEmpty() const;
    // Queues a file, or holds it back while it waits for the copy of its first name; an
    // external program copies each name as it sees fit.
    void queueFile(const CopyItem& item, bool external);
    // Files an entry of the walk; true with *completed set when it is done at once (a skip).
    // *linksQueued: later names of its file were queued by settleHardLinks.
    bool fileListed(const ListedBatches::Entry& entry, bool copyEmptyFolders, bool external,
                    bool stopped, CopyItem* completed, bool* linksQueued);
    // Files an item as an earlier run finished it (a resume found it unchanged), counted but
    // not reported again. True when later names of its file were queued.
    bool carry(const CopyItem& item, bool stopped);
    // The item's outcome is known: later names of its file that waited for it go ahead of
    // the copy queue, or with stopped to the completed list. True when some were queued.
    bool settleHardLinks(const CopyItem& item, bool stopped);
    // Moves every queued or waiting item to the completed list (a stop).
    void drain();
    // The same for a walk that was given up, which leaves the check queue alone.
    void abandonQueued();
    // Appends the symbolic links to the copy queue, links to one target next to each other.
    void appendSortedSymbolicLinks();
    // Empties the queues and the counters, and with withCompleted the completed and folder
    // lists too.
    void clear(bool withCompleted);
    // Queues again what a resume of a whole list has left to do (copyMode: of its task);
    // the rest is counted and stays completed. True when settleHardLinks queued names.
    bool rebuild(int copyMode, bool external);

    QList<CopyItem> errorItems() const;
    QList<CopyItem> copiedItems() const;
    QList<CopyItem> skippedItems() const;
    // How many files (first) and folders (second) a filter left out, as skippedItems lists
    // them, without copying the list.
    QPair<qint64, qint64> filteredCounts() const;
    QList<CopyItem> checkedItems() const;
    QList<CopyItem> unprocessedItems() const;
    QList<CopyItem> folderItems() const;
    // The folders among completed that folders does not hold, then folders.
    static QList<CopyItem> folderItemsOf(const QList<CopyItem>& completed,
                                         const QList<CopyItem>& folders);

    // The clock-free arithmetic behind a task's speed and remaining time.
    static qint64 elapsedMsBetween(const QDateTime& start, const QDateTime& end,
                                   const QDateTime& now);
    static qint64 averageSpeedFor(qint64 bytesCompleted, qint64 elapsedMs, qint64 maxTransferSpeed);
    static qint64 remainingTimeFor(const Counters& counters, int copyMode, bool fileListCompleted,
                                   bool taskCompleted, qint64 averageSpeed);

private:
    bool verifiedInVerify(const CopyItem& item) const;
    // A copied file of an earlier run whose destination is gone or has another size.
    static bool copyIsMissing(const CopyItem& item);

    bool m_verify = false;
    RunManifest* mp_manifest = nullptr;
    Counters m_counters{};
    qint64 m_linkedBytes = 0;
    qint64 m_carriedBytes = 0;
    QList<CopyItem> m_copyQueue;
    QList<CopyItem> m_checkQueue;
    QList<CopyItem> m_symbolicLinks;
    // Later names of files with several names, waiting for their first name's copy.
    HardLinkGroups m_hardLinks;
    QSet<QString> m_recheckSources;
    QList<CopyItem> m_completed;
    QList<CopyItem> m_folders;
    CopyItem m_runError;
};
