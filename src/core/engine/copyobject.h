#pragma once

#include "engine/destinationanchor.h"
#include "model/copyitem.h"

#include <QMutex>
#include <QObject>
#include <QStringList>

#include <atomic>

namespace PlatformCopy {
struct Failure;
}

// The base of the copiers: copies the item it carries, records the outcome in that item
// and announces the end once. It lives in its job's thread; only stopCopy, pauseCopy,
// continueCopy and isStopRequested are called from other threads.
class CopyObject : public QObject, public CopyItem
{
    Q_OBJECT

public:
    explicit CopyObject(QObject* parent = nullptr);

    bool isStopRequested() const;

    // The notes on an item for what a copy of metadata could not keep (the
    // PlatformCopy::MetadataLoss bits): they are no error. A permission bit that cannot be set
    // is no note (a FAT storage takes none); a set-id bit dropped for a lost owner or group is
    // told by that note.
    static QStringList metadataNotes(int lost);
    // The note of an item whose destination's file system keeps no extended attributes or
    // ACLs that its source had.
    static QString unsupportedAttributesNote();
    // Ends a copier that was stopped before it began: nothing is touched, the item comes
    // back Unprocessed (so that a resume copies it) and copyCompleted is emitted.
    void completeWithoutCopy();
    // Creates the folder path with its missing parents; below the destination root each
    // one is reached without following a link, so that a link put there during the run
    // is not written through. The failure as PlatformCopy::createFolders gives it.
    bool createFoldersBelowRoot(const QString& path, PlatformCopy::Failure* failure);

    // The run's destination root, set by the job: nothing is written through a symbolic
    // link met below it.
    QString m_destinationRoot;
    // The run's destination as it found it: nothing written once it is lost counts.
    DestinationAnchor m_destinationAnchor;
    // The destination root, opened by the job for its copiers (-1: not opened), which reach
    // every folder from it. Found on another file system than the anchor's, the copiers
    // write nothing (m_rootElsewhere).
    int m_destinationRootFd = -1;
    bool m_rootElsewhere = false;

    // An item written (or, in a move, found) at the destination after the destination's
    // drive went away is an error instead: true when so. Verify runs write nothing.
    bool refuseLostDestination(int copyMode);
    bool destinationLost() const { return m_destinationLost; }

signals:
    void copyProgress(qint64 done, qint64 total);
    void copyCompleted();

public slots:
    virtual void startCopy();
    virtual void stopCopy();
    // A paused copier waits at its next look at the stop flag (between chunks of data),
    // holding its files, until it is continued or stopped. A pause before the start holds.
    void pauseCopy();
    void continueCopy();

protected:
    // A symbolic link where a folder of the destination is needed (the item's own folder
    // too, when the item is one) is an error, never written through: true when refused.
    bool refuseLinkOnTheWay(bool itemIsFolder);
    // For the native copy, which polls it between chunks without taking the mutex.
    const std::atomic<int>* stopFlag() const { return &m_stopFlag; }

private:
    std::atomic<int> m_stopFlag{0};
    bool m_paused = false;
    bool m_destinationLost = false;
    mutable QMutex m_mutex;
};
