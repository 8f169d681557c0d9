#pragma once

#include <QList>
#include <QMutex>
#include <QString>
#include <QVector>

// The entries a walk lists, handed to a listener in another thread in batches: the walk
// appends, seals a batch at the end of each folder or once it is large, and the listener
// takes the sealed batches in order. Only the sealed batches are shared, under a mutex: a
// batch does not travel in a signal, so the listener reads it only after taking the lock.
class ListedBatches
{
public:
    // One entry as BuildFileListJob's signals report it.
    struct Entry
    {
        enum Kind
        {
            ToCopy,
            ToSkip,
            LinkToCopy,
            // Skipped: a resume found it as an earlier run finished it (EarlierRun).
            Unchanged
        };
        Kind kind = ToCopy;
        QString source;
        QString destination;
        qint64 size = 0;
        bool isFolder = false;
        QString text; // the reason of a skip, the target of a link
        // A file with several names: the source of the name met first (CopyItem::hard_link_first).
        QString hardLinkFirst;
        // A skip because of a filter: which one (CopyItem::filtered_by) and its pattern.
        QString filter;
        QString pattern;
    };

    // Entries handed over at once at most, so that copying starts early in a large folder.
    static constexpr int MaxBatch = 256;

    // Forgets the entries not sealed yet; enabled: whether add keeps entries at all.
    void start(bool enabled);
    bool isEnabled() const { return m_enabled; }
    // Walk side. True when the batch is full and should be sealed now.
    bool add(Entry&& entry);
    // Makes the entries added so far a batch for take; false when there were none.
    bool seal();
    // Listener side, from any thread: the oldest sealed batch, empty when none is left.
    QVector<Entry> take();

private:
    bool m_enabled = false;
    QVector<Entry> m_open;
    QMutex m_mutex;
    QList<QVector<Entry>> m_sealed;
};
