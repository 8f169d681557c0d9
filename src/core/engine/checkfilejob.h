#pragma once

#include "engine/filehash.h"
#include "jobs/job.h"
#include "model/copyitem.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Verifies copied files: hashes the source, then the destination as its device holds it
// (not as the page cache remembers it), and compares the SHA-256 digests. The job is
// itself the first item it checks; its owner sets the item (and, when it is a small file,
// may add more small files) before handing the job to a thread and reads them back when
// jobCompleted arrives. A file that passes keeps its state and gains is_checked and "copy
// verified"; one that fails ends in an error state.
//
// Small files are checked one after the other within the start, each pair opened and read
// ahead a few files before it is hashed; a larger file in two queued calls, one per file.
class CheckFileJob : public Job, public CopyItem
{
    Q_OBJECT

public:
    explicit CheckFileJob(QObject* parent = nullptr);

    // Whether the item's copy failed a check: its bytes differ from the source's.
    static bool failedCheck(const CopyItem& item);

    void setItem(const CopyItem& item);
    // The digest both sides are compared by (SHA-256 unless set).
    void setAlgorithm(Digest::Algorithm algorithm) { m_algorithm = algorithm; }
    CopyItem item() const;
    // Whether item may be added: the item set and item are small files, and the job holds
    // few enough of them that a stop or a free thread need not wait long for it.
    bool canAdd(const CopyItem& item) const;
    // A further file, checked after the ones before it.
    void addItem(const CopyItem& item);
    // The item and the added files with their verdicts, in order, but for the added files a
    // stop left unchecked, which uncheckedItems returns unchanged.
    QList<CopyItem> checkedItems() const;
    QList<CopyItem> uncheckedItems() const;

    // SHA-256 of the file, reporting jobProgress and honouring a stop every 16 MiB; empty
    // on any failure and when stopped.
    QByteArray fileHash(const QString& path,
                        FileHash::Reading reading = FileHash::Reading::MayUseCache);

public slots:
    void startJob() override;
    void checkFromFile();
    void checkToFile();

protected:
    void finishJob() override;

private:
    // fileHash of a file already opened at path.
    QByteArray fileHash(FileHash::OpenFile& file, const QString& path);
    void checkSmallFiles();
    // Hashes the source into m_sourceHash; on failure records it in item and returns false.
    bool hashSource(CopyItem& item, FileHash::OpenFile& source);
    // Hashes the destination and records the verdict in item.
    void compareWithDestination(CopyItem& item, FileHash::OpenFile& destination);
    // Adds the item's time and, when it did not pass, says so (and why, after a stop).
    void conclude(CopyItem& item, qint64 elapsedMsecs);

    QByteArray m_sourceHash;
    QList<CopyItem> m_addedItems;
    qint64 m_addedBytes = 0;
    // Added files checked so far.
    int m_addedChecked = 0;
    // Set once every checked item has its time and verdict.
    bool m_concluded = false;
    Digest::Algorithm m_algorithm = Digest::Algorithm::Sha256;
};
