#pragma once

#include "engine/filehash.h"
#include "jobs/job.h"
#include "model/copyitem.h"

#include <QByteArray>
#include <QString>

// Verifies one copied file: hashes the source, then the destination as its device holds
// it (not as the page cache remembers it), and compares the SHA-256 digests. A small file
// is checked within the start; a larger one in two queued calls, one per file. The job is
// itself the item it checks; its owner sets the item before handing the job to a thread
// and reads it back when jobCompleted arrives. A file that passes keeps its state and
// gains is_checked and "copy verified"; one that fails ends in an error state.
class CheckFileJob : public Job, public CopyItem
{
    Q_OBJECT

public:
    explicit CheckFileJob(QObject* parent = nullptr);

    void setItem(const CopyItem& item);
    CopyItem item() const;

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
    // Both hashes in one call, without the queued call between them.
    void checkSmallFile();
    // Keeps the source's hash; on failure, records the error and finishes.
    bool hashSource(FileHash::OpenFile& source);
    // Hashes the destination, records the verdict and finishes.
    void compareWithDestination(FileHash::OpenFile& destination);

    QByteArray m_sourceHash;
};
