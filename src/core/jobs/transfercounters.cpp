#include "jobs/transfercounters.h"

#include "base/mutexlocker.h"

#include <QDebug>

#include <atomic>

namespace {

std::atomic<TransferCounters*> s_instance{nullptr};

QMutex& instanceMutex()
{
    static QMutex mutex;
    return mutex;
}

} // namespace

TransferCounters::TransferCounters() = default;

bool TransferCounters::isValidSlot(int slot)
{
    if (slot >= FirstSlot && slot <= LastSlot)
        return true;
    qWarning() << "Invalid transfer counter slot" << slot;
    return false;
}

void TransferCounters::resetAll()
{
    MutexLocker locker(&m_mutex);
    for (qint64& value : m_values)
        value = 0;
}

void TransferCounters::setValue(int slot, qint64 value)
{
    if (!isValidSlot(slot))
        return;
    MutexLocker locker(&m_mutex);
    m_values[slot] = value;
}

void TransferCounters::addValue(int slot, qint64 delta)
{
    if (!isValidSlot(slot))
        return;
    MutexLocker locker(&m_mutex);
    m_values[slot] += delta;
}

qint64 TransferCounters::value(int slot) const
{
    if (!isValidSlot(slot))
        return 0;
    MutexLocker locker(&m_mutex);
    return m_values[slot];
}

TransferCounters* TransferCounters::instance()
{
    TransferCounters* counters = s_instance.load(std::memory_order_acquire);
    if (counters)
        return counters;
    MutexLocker locker(&instanceMutex());
    counters = s_instance.load(std::memory_order_relaxed);
    if (!counters) {
        counters = new TransferCounters();
        s_instance.store(counters, std::memory_order_release);
    }
    return counters;
}

void TransferCounters::createInstance()
{
    instance()->resetAll();
}

void TransferCounters::destroyInstance()
{
    MutexLocker locker(&instanceMutex());
    delete s_instance.exchange(nullptr, std::memory_order_acq_rel);
}
