#pragma once

#include "fs/platformcopy.h"

#include <QString>
#include <QStringList>

#include <functional>

// The copy methods that go through Qt instead of the kernel's copy calls: each makes the
// copy in a new temporary file beside the destination, checks that the source did not
// change meanwhile, flushes the copy to disk and leaves it to the caller to name.
class PortableFileCopy
{
public:
    struct Outcome
    {
        // The item's error, empty on success; whose it is.
        QString error;
        bool sourceFailed = false;
        // Written to while it was read: no copy is kept (and error stays empty).
        bool sourceChanged = false;
        // The system's reasons, as notes of the item.
        QStringList notes;
        // On success: the source as it was read, and the finished copy.
        PlatformCopy::FileVersion sourceVersion;
        QString temporaryPath;
    };

    // Asked at each multiple of step bytes with the bytes copied: false stops the copy.
    using Progress = std::function<bool(qint64)>;

    // The simple method: read and written block by block (the holes of a sparse source
    // skipped, so that they stay holes).
    // observe, when given, gets every byte of the source once, in order (a hole as zeros).
    static Outcome copyInBlocks(const QString& source, const QString& destination, qint64 size,
                                qint64 step, const Progress& progress,
                                const std::function<void(const char*, qint64)>& observe = {});
    // QFile::copy, then the holes of the source punched out of the copy again.
    static Outcome copyWithQt(const QString& source, const QString& destination, qint64 size,
                              bool removeReadOnly);
};
