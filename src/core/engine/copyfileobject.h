#pragma once

#include "engine/placingcopyobject.h"
#include "fs/platform.h"
#include "fs/platformcopy.h"
#include "model/copyoptions.h"
#include "model/runsettings.h"

#include <QFileDevice>

#include <functional>
#include <memory>

class CopyVerification;

class QFileInfo;

// Copies one file or symbolic link: decides about an existing destination by the
// overwrite mode, copies the data by the configured method, checks the result, copies
// dates and permissions, removes the source of a move, and records the outcome.
class CopyFileObject : public PlacingCopyObject
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
    ~CopyFileObject() override;

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
    bool decideExistingDestination() override;
    // The comparison part of that decision; nothing is removed here.
    bool checkExistingDestination(const QFileInfo& source, const QFileInfo& destination);
    bool usesNativeCopy() const;
    // The link to m_hardLinkTo; false when the file is to be copied instead.
    bool linkToFirstCopy();
    bool copyFileData();
    bool copyFileNative();
    // The Qt and simple methods: the finished copy under its temporary name, or false with
    // the item's error. observe: see PlatformCopy::CopyRequest::observeSource.
    bool copyPortable(QString* temporary, const std::function<void(const char*, qint64)>& observe);
    // With m_options.m_verifyCopies (copyfileobjectverify.cpp): each attempt's copy is read
    // back from the device before it takes its name; a grouped copy is checked by its group.
    bool copyVerified();
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
    PlatformCopy::FileVersion m_copyVersion;
    QString m_pendingTemporaryPath;
    // The destination was made a link to m_hardLinkTo.
    bool m_linked = false;
    // An equal destination, replaced only by a link to m_hardLinkTo.
    bool m_skipUnlessLinked = false;
    // The destination is the source itself, reached by another name: nothing is touched.
    bool m_sameEntry = false;
    // Set for a verified copy or move, for the time of its copy.
    std::unique_ptr<CopyVerification> m_verification;
};
