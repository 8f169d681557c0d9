#include "engine/walkedhardlinks.h"

QString WalkedHardLinks::firstName(const QString& source, const Platform::EntryStatus& status)
{
    if (!status.isFile || (status.links < 2 && m_groups.isEmpty()))
        return QString();
    const QPair<quint64, quint64> key(status.device, status.inode);
    const auto group = m_groups.find(key);
    if (group == m_groups.end()) {
        if (status.links < 2)
            return QString();
        m_groups.insert(key, {source, status.links - 1});
        return source;
    }
    // Looked up whatever the count says now: a move may have taken the first name away.
    const QString first = group->firstSource;
    // All names met: forgotten, so that a tree of many such files costs no memory.
    if (--group->namesLeft == 0)
        m_groups.erase(group);
    return first;
}
