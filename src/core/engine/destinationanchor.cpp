#include "engine/destinationanchor.h"

#include <QCoreApplication>

DestinationAnchor DestinationAnchor::fromOpenFolder(int fd, const QString& path)
{
    DestinationAnchor anchor;
    if (fd >= 0 && !path.isEmpty() && Platform::entryIdentity(fd, &anchor.m_identity))
        anchor.m_path = path;
    return anchor;
}

bool DestinationAnchor::isLost() const
{
    if (!isSet())
        return false;
    Platform::EntryIdentity now;
    return !Platform::entryIdentity(m_path, &now) || now != m_identity;
}

QString DestinationAnchor::lostText()
{
    return QCoreApplication::translate("DestinationAnchor",
                                       "the destination's drive is no longer mounted");
}
