#include "engine/flushmonitor.h"

#include "fs/platform.h"

// The timer is a child, so that it follows the task to another thread.
FlushMonitor::FlushMonitor(QObject* parent) : QObject(parent), m_timer(this)
{
    m_timer.setInterval(250);
    connect(&m_timer, &QTimer::timeout, this, &FlushMonitor::poll);
}

FlushMonitor::Progress FlushMonitor::progressFor(qint64 waitingAtStart, qint64 waitingNow)
{
    if (waitingAtStart <= 0 || waitingNow < 0)
        return Progress();
    // Other writers may add to what waits: the progress never goes back below nothing.
    return Progress{qBound<qint64>(0, waitingAtStart - waitingNow, waitingAtStart), waitingAtStart};
}

void FlushMonitor::start(quint64 device)
{
    m_device = device;
    m_waitingAtStart = Platform::bytesWaitingForDevice(device);
    const Progress first = progressFor(m_waitingAtStart, m_waitingAtStart);
    emit progress(first.written, first.total);
    m_timer.start();
}

void FlushMonitor::poll()
{
    const Progress now = progressFor(m_waitingAtStart, Platform::bytesWaitingForDevice(m_device));
    emit progress(now.written, now.total);
}

void FlushMonitor::finish(bool flushed)
{
    m_timer.stop();
    if (flushed && m_waitingAtStart > 0)
        emit progress(m_waitingAtStart, m_waitingAtStart);
}
