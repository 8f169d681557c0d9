#include "engine/earlierrun.h"

#include "engine/buildfilelistjob.h"
#include "fs/filesystemutils.h"
#include "model/copyoptions.h"

void EarlierRun::take(const QList<CopyItem>& items, const QList<CopyItem>& folders, int copyMode,
                      int stopped)
{
    clear();
    m_active = true;
    m_items = items;
    m_folders = folders;
    m_move = copyMode == CopyOptions::Move;
    const bool verify = copyMode == CopyOptions::Verify;
    m_unmet.reserve(items.size());
    bool unfinished = false;
    for (const CopyItem& item : items) {
        if (item.is_folder)
            continue;
        // A verify has finished a file once it compared its bytes.
        const bool finished = (item.copy_state == Copied || item.copy_state == Skipped) &&
                              !(verify && item.link_target.isEmpty() && !item.is_checked);
        m_unmet.insert(item.source_path,
                       finished || item.isError() ? item.copy_state : int(Unprocessed));
        unfinished = unfinished || item.copy_state == Unprocessed ||
                     (item.copy_state == Skipped && !finished);
        m_knowsFinished = m_knowsFinished || finished;
        if (finished)
            m_finished.insert(item.source_path, item);
        if (finished && !m_move)
            m_hints.finished.insert(item.source_path, item.destination_path);
        else if (m_move && item.isError() && BuildFileListJob::refusedAsTwin(item))
            m_hints.refused.insert(item.source_path, item);
    }
    m_carries = stopped == 1 || (stopped == -1 && unfinished);
    for (const CopyItem& item : items) {
        if (m_move && item.linksToEarlierName() &&
            m_finished.value(item.hard_link_first).copy_state == Copied)
            m_movedFirsts.insert(item.source_path, item.hard_link_first);
    }
}

CopyItem EarlierRun::takeMoved(const QString& first)
{
    if (!m_unmet.contains(first))
        return CopyItem();
    m_unmet.remove(first);
    return m_finished.value(first);
}

void EarlierRun::clear()
{
    m_active = false;
    m_carries = false;
    m_knowsFinished = false;
    m_hints = Hints();
    m_finished.clear();
    m_movedFirsts.clear();
    m_items.clear();
    m_folders.clear();
    m_unmet.clear();
    m_changes = 0;
}

void EarlierRun::restore(QList<CopyItem>* items, QList<CopyItem>* folders) const
{
    QHash<QString, int> done;
    for (int i = 0; i < items->size(); ++i) {
        if (items->at(i).copy_state != Unprocessed)
            done.insert(items->at(i).source_path, i);
    }
    QList<CopyItem> restored;
    restored.reserve(m_items.size());
    for (const CopyItem& item : m_items) {
        const int now = done.value(item.source_path, -1);
        restored.append(now >= 0 ? items->at(now) : item);
        done.remove(item.source_path);
    }
    for (const int index : qAsConst(done))
        restored.append(items->at(index));
    *items = restored;
    // Synced (in a move, removed) again after what the resume copies.
    *folders = m_folders;
    for (CopyItem& folder : *folders)
        folder.resetState();
}

bool EarlierRun::copyAgrees(const QString& source, const Platform::EntryStatus& status,
                            const QString& copy)
{
    Platform::EntryStatus kept;
    if (!Platform::entryStatus(copy, &kept))
        return false;
    if (status.isSpecial)
        return kept.isSpecial;
    // A file of /proc or /sys tells nothing of its bytes by its size and date.
    if (!status.isFile || !kept.isFile || kept.size != status.size ||
        Platform::isPseudoFile(source, status.size))
        return false;
    const qint64 tolerance = FileSystemUtils::timeToleranceNs(
        Platform::fileSystemTraits(status.device, source),
        Platform::fileSystemTraits(kept.device, copy), status.lastWrite, kept.lastWrite);
    return FileSystemUtils::modificationOrder(status.lastWrite, kept.lastWrite, tolerance) == 0;
}

bool EarlierRun::linkAgrees(const QString& copy, const QString& text)
{
    QString kept;
    return Platform::symbolicLinkText(copy, &kept) && kept == text;
}

void EarlierRun::met(const QString& source, bool handled)
{
    if (!m_active)
        return;
    const auto earlier = m_unmet.constFind(source);
    if (earlier == m_unmet.constEnd()) {
        if (handled && m_knowsFinished)
            m_changes += 1;
        return;
    }
    // A move copies again what is still in its source: only a file it moved and that is
    // back there is a change.
    const bool finished = *earlier == Copied || (*earlier == Skipped && !m_move);
    if (handled && finished)
        m_changes += 1;
    m_unmet.erase(earlier);
}

qint64 EarlierRun::walkEnded(QList<CopyItem>* moved)
{
    if (!m_active)
        return 0;
    for (auto it = m_unmet.constBegin(); it != m_unmet.constEnd(); ++it) {
        if (!(m_move && *it == Copied))
            m_changes += 1;
        else if (moved && m_carries)
            moved->append(m_finished.value(it.key()));
    }
    const qint64 changes = m_changes;
    clear();
    m_changes = changes;
    return changes;
}
