#include "engine/destinationanchor.h"

#include "fs/platform.h"

#include <QCoreApplication>
#include <QFileInfo>

DestinationAnchor DestinationAnchor::fromOpenFolder(int fd, const QString& path)
{
    DestinationAnchor anchor;
    Platform::EntryIdentity identity;
    if (fd >= 0 && !path.isEmpty() && Platform::entryIdentity(fd, &identity)) {
        anchor.m_path = path;
        anchor.m_device = identity.device;
    }
    return anchor;
}

bool DestinationAnchor::isLost() const
{
    if (!isSet())
        return false;
    Platform::EntryIdentity now;
    for (QString path = m_path;; path = QFileInfo(path).path()) {
        if (Platform::entryIdentity(path, &now))
            return now.device != m_device;
        if (QFileInfo(path).path() == path)
            return true;
    }
}

QString DestinationAnchor::lostText()
{
    return QCoreApplication::translate("DestinationAnchor",
                                       "the destination's drive is no longer mounted");
}
