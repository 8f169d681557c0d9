#include "engine/storageprobe.h"

#include "fs/filesystemutils.h"

#include <QDebug>

StorageProbe::~StorageProbe() = default;

qint64 StorageProbe::availableBytes(const QString& path) const
{
    return FileSystemUtils::availableBytes(path);
}

bool StorageProbe::isStorageFull(const QString& path, qint64 neededBytes, bool* ok) const
{
    const qint64 available = availableBytes(path);
    if (ok)
        *ok = available >= 0;
    if (available < 0) {
        qWarning() << "Unable to check if the target storage is full:" << qUtf8Printable(path);
        return false;
    }
    return FileSystemUtils::isStorageTooLow(available, neededBytes);
}
