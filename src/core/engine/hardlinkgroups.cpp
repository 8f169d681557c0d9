#include "engine/hardlinkgroups.h"

bool HardLinkGroups::holdBack(const CopyItem& item)
{
    if (item.hard_link_first.isEmpty() || item.is_folder)
        return false;
    if (!item.linksToEarlierName()) {
        // Queued (again, after a resume): its later names wait for this copy.
        Group& group = m_groups[item.source_path];
        group.settled = group.tentative = group.trying = false;
        group.copy.clear();
        return false;
    }
    const auto group = m_groups.find(item.hard_link_first);
    // A first name this run does not copy (a retry of errors alone): copied as a file.
    if (group == m_groups.end())
        return false;
    if (group->settled && !group->trying) {
        group->trying = group->tentative;
        return false;
    }
    group->waiting.append(item);
    ++m_waitingCount;
    return true;
}

QList<CopyItem> HardLinkGroups::settle(const CopyItem& item)
{
    if (item.hard_link_first.isEmpty())
        return {};
    Group* group = nullptr;
    if (item.linksToEarlierName()) {
        const auto found = m_groups.find(item.hard_link_first);
        if (found == m_groups.end() || !found->trying)
            return {};
        group = &*found;
        group->trying = false;
        // Copied, or linked to the kept entry: either way the file the others are to name.
        if (item.copy_state == Copied) {
            group->copy = item.destination_path;
            group->tentative = false;
        }
    } else {
        group = &m_groups[item.source_path];
        group->settled = true;
        group->trying = false;
        // A skipped first name leaves an entry that may hold the same data: the link is made
        // only when it does (CopyFileObject::linkToFirstCopy).
        group->tentative = item.copy_state != Copied;
        group->copy = item.copy_state == Copied || item.copy_state == Skipped
                          ? item.destination_path
                          : QString();
    }
    QList<CopyItem> waiting;
    if (group->tentative && !group->waiting.isEmpty()) {
        waiting.append(group->waiting.takeFirst());
        group->trying = true;
    } else {
        waiting.swap(group->waiting);
    }
    m_waitingCount -= waiting.size();
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
