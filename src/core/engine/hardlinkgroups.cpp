#include "engine/hardlinkgroups.h"

bool HardLinkGroups::holdBack(const CopyItem& item)
{
    if (item.hard_link_first.isEmpty() || item.is_folder)
        return false;
    if (!item.linksToEarlierName()) {
        // Queued (again, after a resume): its later names wait for this copy.
        Group& group = m_groups[item.source_path];
        group.settled = false;
        group.copy.clear();
        return false;
    }
    const auto group = m_groups.find(item.hard_link_first);
    // A first name this run does not copy (a retry of errors alone): copied as a file.
    if (group == m_groups.end() || group->settled)
        return false;
    group->waiting.append(item);
    ++m_waitingCount;
    return true;
}

QList<CopyItem> HardLinkGroups::settle(const CopyItem& item)
{
    if (item.hard_link_first.isEmpty() || item.linksToEarlierName())
        return {};
    Group& group = m_groups[item.source_path];
    group.settled = true;
    // A skipped first name leaves an entry that may hold the same data: the link is made
    // only when it does (PlatformCopy::createHardLinkBeneath).
    group.copy =
        item.copy_state == Copied || item.copy_state == Skipped ? item.destination_path : QString();
    m_waitingCount -= group.waiting.size();
    QList<CopyItem> waiting;
    waiting.swap(group.waiting);
    return waiting;
}

QString HardLinkGroups::linkTarget(const CopyItem& item) const
{
    if (!item.linksToEarlierName())
        return QString();
    const auto group = m_groups.constFind(item.hard_link_first);
    return group == m_groups.cend() || !group->settled ? QString() : group->copy;
}

QList<CopyItem> HardLinkGroups::takeAllWaiting()
{
    QList<CopyItem> all;
    for (Group& group : m_groups) {
        all += group.waiting;
        group.waiting.clear();
    }
    m_waitingCount = 0;
    return all;
}

void HardLinkGroups::clear()
{
    m_groups.clear();
    m_waitingCount = 0;
}
