#include "engine/listedbatches.h"

#include "base/mutexlocker.h"

void ListedBatches::start(bool enabled)
{
    m_enabled = enabled;
    m_open.clear();
}

bool ListedBatches::add(Entry&& entry)
{
    if (!m_enabled)
        return false;
    m_open.append(std::move(entry));
    return m_open.size() >= MaxBatch;
}

bool ListedBatches::seal()
{
    if (m_open.isEmpty())
        return false;
    MutexLocker locker(&m_mutex);
    // Swapped in, not shared: nothing of the batch stays with the walk's thread.
    m_sealed.append(QVector<Entry>());
    m_sealed.last().swap(m_open);
    return true;
}

QVector<ListedBatches::Entry> ListedBatches::take()
{
    MutexLocker locker(&m_mutex);
    return m_sealed.isEmpty() ? QVector<Entry>() : m_sealed.takeFirst();
}
