#pragma once

#include "engine/copyobject.h"
#include "fs/platform.h"
#include "fs/platformcopy.h"
#include "model/copyoptions.h"
#include "model/runsettings.h"

#include <QFileDevice>

class QFileInfo;

// Copies one file or symbolic link: decides about an existing destination by the
// overwrite mode, copies the data by the configured method, checks the result, copies
// dates and permissions, removes the source of a move, and records the outcome.
class CopyFileObject : public CopyObject
{
    Q_OBJECT

public:
    // The copy method of RunSettings.
    enum CopyMethod
    {
        DefaultMethod = 0, // the native method
        NativeMethod = 1,
        QtMethod = 2,
        SimpleMethod = 3
    };

    // Files from this size on report their progress through the transfer counters.
    static constexpr qint64 largeFileSize = 257949696;
    // The simple method polls the stop flag and reports progress at each multiple.
    static constexpr qint64 progressStep = 16777216;

    explicit CopyFileObject(QObject* parent = nullptr);

    // The options of the run; set by the job before the copy starts.
    CopyOptions m_options;
    // The run's copy of the preferences (copy method, dates, read-only state); set by the job
    // before the copy starts. The copier reads no other.
    RunSettings m_settings;
    // Native copies smaller than this on the file system m_deferDevice are left, finished
    // but not flushed, under a temporary name (pendingTemporaryPath) for the owner to flush
    // and place with others; 0 places every copy at once.
    qint64 m_deferBelowSize = 0;
    quint64 m_deferDevice = 0;
    // The item is retried without a walk (fix errors): on a destination that ignores case,
    // an existing destination spelt otherwise is the copy of another source, which the walk
    // would have found, and is never taken for this item's own.
    bool m_checkStoredNames = false;
    // The source, already opened by the job (see CopyJob) with its status then; the copy
    // reads it instead of opening the path. The job closes it. -1 when not opened.
    int m_sourceFd = -1;
    Platform::EntryStatus m_sourceStatus;
    // The destination root, opened by the job for its copiers (-1: not opened).
    int m_destinationRootFd = -1;
    // The item is a later name of a file whose first name was copied there: the destination
    // is made a hard link to that copy; where it cannot be (a file system without links, a
    // copy no longer as the source is), the file is copied as any other.
    QString m_hardLinkTo;

    // The finished copy awaiting its final name; empty when the copy was placed (or failed).
    QString pendingTemporaryPath() const { return m_pendingTemporaryPath; }
    // Whether that copy replaces an existing destination when it takes its name.
    bool pendingReplacesExisting() const { return m_replaceExisting; }
    // The source as the native copy read it; size -1 after the other methods.
    PlatformCopy::FileVersion sourceVersion() const { return m_sourceVersion; }

public slots:
    void startCopy() override;

private:
    // Decides about the entry at destination_path by the overwrite mode: true when the copy
    // goes on (to a free name, or replacing it: m_replaceExisting), false when the outcome
    // is decided.
    bool decideExistingDestination();
    // The comparison part of that decision; nothing is removed here.
    bool checkExistingDestination(const QFileInfo& source, const QFileInfo& destination);
    // Gives the finished temporary file its final name. When another copier took the name
    // meanwhile, decides again against the entry now there and tries once more. False
    // (the temporary file removed) when the outcome is decided otherwise.
    bool placeCopy(const QString& temporary);
    // A temporary name beside the destination, reserved and left free for a copy made by
    // other means; empty (with the reason) when the folder refuses it.
    QString reserveTemporaryName();
    bool usesNativeCopy() const;
    // Creates the destination's folder when missing; false (with the reason) when it cannot.
    bool createDestinationFolder();
    // Creates the copy's folder and holds it open from the destination root (m_folder); an
    // error of the item when that fails.
    bool pinDestinationFolder();
    // Where entries of the copy are made: the destination through m_folder once pinned.
    QString writePath(const QString& path) const;
    // The link to m_hardLinkTo; false when the file is to be copied instead.
    bool linkToFirstCopy();
    bool copyFileData();
    bool copyFileNative();
    bool copySymbolicLink();
    // A file of a kernel file system (its size tells nothing of its bytes).
    void copyPseudoFile();
    // A FIFO, socket or device node is made anew (a verify compares its kind and device
    // number).
    void copySpecialFile();
    void verifyCopiedFile();
    // Every path of startCopy ends here exactly once.
    void finishCopy();
    void removeMovedSource();
    // A move that wrote nothing deletes its source only when the destination holds the same
    // bytes; otherwise the item is an error and the source stays.
    void checkSkippedDestination();
    // The source was written to while it was copied: an error of the source, and the
    // copy is not kept.
    void reportSourceChanged();
    // For the copies of the other methods, placed before: a copy made here gets the owner,
    // mode and extended attributes of its source (PlatformCopy::copyMetadata), noted where
    // they could not be kept.
    void applySourcePermissions();
    // Removes a deferred copy that turned out not to be good.
    void discardPendingCopy();

    QFileDevice::Permissions m_sourcePermissions;
    int m_sourceMode = -1;
    // Set by a successful native copy, which reports both versions itself.
    bool m_nativeOutcome = false;
    PlatformCopy::FileVersion m_sourceVersion;
    PlatformCopy::FileVersion m_copyVersion;
    QString m_pendingTemporaryPath;
    // The destination as the item gave it, before any automatic rename.
    QString m_requestedDestination;
    PlatformCopy::PinnedFolder m_folder;
    int m_renameInfoIndex = -1;
    bool m_replaceExisting = false;
    // The destination was made a link to m_hardLinkTo.
    bool m_linked = false;
    // The destination is the source itself, reached by another name: nothing is touched.
    bool m_sameEntry = false;
};
