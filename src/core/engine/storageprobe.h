#pragma once

#include <QString>
#include <QtGlobal>

// The free-space question the copy task asks about its destination. The default answer
// comes from the file system; a subclass can answer with fixed numbers, so that the
// paths taken when the target storage is full can be run without filling a real disk.
class StorageProbe
{
public:
    StorageProbe() = default;
    StorageProbe(const StorageProbe&) = delete;
    StorageProbe& operator=(const StorageProbe&) = delete;
    virtual ~StorageProbe();

    // Bytes available to the user on the volume that holds path, or -1 when unknown.
    virtual qint64 availableBytes(const QString& path) const;

    // Whether neededBytes do not fit on the volume of path (a needed size of 0 or less:
    // whether fewer than 64000 bytes are left). A volume that cannot be read is not full;
    // ok tells whether it could be read.
    bool isStorageFull(const QString& path, qint64 neededBytes, bool* ok = nullptr) const;
};
