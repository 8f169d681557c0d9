#pragma once

#include "engine/copyobject.h"
#include "model/copyoptions.h"

#include <QFileDevice>

class QFileInfo;

// Copies one file or symbolic link: decides about an existing destination by the
// overwrite mode, copies the data by the configured method, checks the result, copies
// dates and permissions, removes the source of a move, and records the outcome.
class CopyFileObject : public CopyObject
{
    Q_OBJECT

public:
    // The CopyMethod setting.
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

public slots:
    void startCopy() override;

private:
    // True when the destination was removed and the copy goes on; false when the
    // outcome is decided.
    bool checkExistingDestination(const QFileInfo& source, const QFileInfo& destination);
    bool copyFileData();
    bool copyFileNative();
    bool copyFileSimple();
    bool copySymbolicLink();
    void verifyCopiedFile();
    // Every path of startCopy ends here exactly once.
    void finishCopy();
    void removeMovedSource();
    // The source was written to while it was copied: an error of the source, and the
    // copy is not kept.
    void reportSourceChanged();
    void restoreSourcePermissions();
    void applySourcePermissions();

    QFileDevice::Permissions m_sourcePermissions;
};
