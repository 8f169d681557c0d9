#include "engine/destinationanchor.h"

#include "fs/platform.h"

#include <QCoreApplication>
#include <QElapsedTimer>
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

namespace {

// The last anchor this thread found in place, and when.
struct LastCheck
{
    QString path;
    quint64 device = 0;
    QElapsedTimer since;
};
thread_local LastCheck t_lastCheck;

} // namespace

bool DestinationAnchor::isLost(qint64 reuseMs) const
{
    if (!isSet())
        return false;
    LastCheck& last = t_lastCheck;
    if (reuseMs > 0 && last.device == m_device && last.since.isValid() &&
        !last.since.hasExpired(reuseMs) && last.path == m_path)
        return false;
    Platform::EntryIdentity now;
    for (QString path = m_path;; path = QFileInfo(path).path()) {
        if (Platform::entryIdentity(path, &now)) {
            if (now.device != m_device)
                return true;
            last.path = m_path;
            last.device = m_device;
            last.since.start();
            return false;
        }
        if (QFileInfo(path).path() == path)
            return true;
    }
}

bool DestinationAnchor::holds(int fd) const
{
    Platform::EntryIdentity identity;
    return !isSet() ||
           (fd >= 0 && Platform::entryIdentity(fd, &identity) && identity.device == m_device);
}

QString DestinationAnchor::lostText()
{
    return QCoreApplication::translate("DestinationAnchor",
                                       "the destination's drive is no longer mounted");
}
