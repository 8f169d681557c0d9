#include "jobs/transfercounters.h"

#include "base/mutexlocker.h"
#include "base/saturating.h"

#include <QDebug>
#include <QThread>

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
    m_files.clear();
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
    m_values[slot] = saturatingAdd(m_values[slot], delta);
}

qint64 TransferCounters::value(int slot) const
{
    if (!isValidSlot(slot))
        return 0;
    MutexLocker locker(&m_mutex);
    return m_values[slot];
}

TransferCounters::Entry* TransferCounters::entry(quint64 id)
{
    for (Entry& file : m_files) {
        if (file.id == id)
            return &file;
    }
    return nullptr;
}

quint64 TransferCounters::startFile(const QString& name, qint64 size)
{
    const void* thread = QThread::currentThread();
    MutexLocker locker(&m_mutex);
    // Removed and appended, so that the list stays in the order the files started.
    for (int i = 0; i < m_files.size(); ++i) {
        if (m_files.at(i).thread == thread) {
            m_files.remove(i);
            break;
        }
    }
    Entry file;
    file.id = ++m_lastId;
    file.thread = thread;
    file.progress.name = name;
    file.progress.size = size;
    m_files.append(file);
    return file.id;
}

void TransferCounters::setFileProgress(quint64 id, qint64 bytesCopied, qint64 size)
{
    MutexLocker locker(&m_mutex);
    if (Entry* file = entry(id)) {
        file->progress.bytesCopied = bytesCopied;
        file->progress.size = size;
    }
}

void TransferCounters::finishFile(quint64 id)
{
    MutexLocker locker(&m_mutex);
    if (Entry* file = entry(id)) {
        file->progress.bytesCopied = file->progress.size;
        file->progress.finished = true;
    }
}

QVector<TransferCounters::FileProgress> TransferCounters::files() const
{
    QVector<FileProgress> list;
    MutexLocker locker(&m_mutex);
    list.reserve(m_files.size());
    for (const Entry& file : m_files)
        list.append(file.progress);
    return list;
}

TransferCounters::FileProgress TransferCounters::currentFile() const
{
    MutexLocker locker(&m_mutex);
    for (const Entry& file : m_files) {
        if (!file.progress.finished)
            return file.progress;
    }
    return {};
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
