#pragma once

#include "engine/destinationanchor.h"
#include "engine/sourceremover.h"
#include "fs/platformcopy.h"
#include "jobs/job.h"
#include "model/copyitem.h"

#include <QList>
#include <QString>

#include <vector>

// Places a group of finished copies that were left, not yet flushed, under temporary names
// beside their destinations: one flush of the file system puts the data of all of them on
// the device, then each takes its final name. A flush per file costs a journal commit and a
// device cache flush each time; for small files that is most of the copy. For a move, a
// second flush makes the new names durable before the sources are deleted. A stop is
// ignored: the group is short work and leaves every item decided.
class CommitFilesJob : public Job
{
    Q_OBJECT

public:
    struct PendingCopy
    {
        CopyItem item; // as the copier left it
        // Empty for an item already decided, which only keeps its place in the order.
        QString temporaryPath;
        // The source as the copy read it. A move deletes the source only while it is that
        // version (one not known keeps it): a change made since the copy is not in the copy.
        PlatformCopy::FileVersion source;
        // The copy replaces the existing destination (an overwrite): one rename, so that the
        // old file stays whole until the new one takes its name.
        bool replace = false;
    };

    explicit CommitFilesJob(QObject* parent = nullptr);

    // The descriptor of Platform::openFileSystem for the destination, opened before the run
    // wrote anything (so that the flush reports earlier write-back errors too), and the path
    // it stands for, for the log. The owner keeps and closes it.
    void setFileSystem(int handle, const QString& path);
    void setCopies(const QList<PendingCopy>& copies) { m_copies = copies; }
    // The sources of placed copies are deleted.
    void setMove(bool move) { m_move = move; }
    // Copies placed after the destination's drive went away are errors, their sources kept.
    void setDestinationAnchor(const DestinationAnchor& anchor) { m_anchor = anchor; }
    bool destinationLost() const { return m_destinationLost; }
    // The run's destination folder: each copy's folder is reached from it without following
    // a link, and the name given there. Empty: by path.
    void setDestinationRoot(const QString& root) { m_root = root; }
    // A verified run: each copy that carries its source's digest (CopyItem::digest) is read
    // back from the device once flushed, and copied once more, on its own, when it differs.
    // addOwnerWrite: such a copy gets the owner's write permission.
    void setVerification(int algorithm, bool addOwnerWrite)
    {
        m_algorithm = algorithm;
        m_addOwnerWrite = addOwnerWrite;
    }

    // The items with their outcome, in the order given; read after completion.
    QList<CopyItem> items() const { return m_items; }

public slots:
    void startJob() override;

private:
    // Whether the data written so far is on the device; failureText receives why not.
    bool flush(QString* failureText);
    // SourceRemover::remove for the items at indexes, several at a time; outcomes by
    // position.
    std::vector<SourceRemover::Outcome> removeSources(const QList<int>& indexes) const;

    // Gives the finished copy its name in its folder, reached from m_root (kept open while
    // the next copies are in the same folder).
    bool place(const PendingCopy& copy, PlatformCopy::Failure* failure);
    // The read-back of a verified copy (commitfilesverify.cpp); false with the item's error,
    // the temporary file removed.
    bool verify(PendingCopy& copy, CopyItem& item, int firstCheck) const;

    int m_handle = -1;
    QString m_path;
    QString m_root;
    PlatformCopy::PinnedFolder m_folder;
    QString m_folderPath;
    bool m_move = false;
    int m_algorithm = 0;
    bool m_addOwnerWrite = false;
    DestinationAnchor m_anchor;
    bool m_destinationLost = false;
    QList<PendingCopy> m_copies;
    QList<CopyItem> m_items;
};
