#include "jobs/job.h"

#include "base/handover.h"
#include "base/mutexlocker.h"
#include "fs/platformcopy.h"

#include <QCoreApplication>

Job::Job(QObject* parent) : QObject(parent) {}

Job::~Job() = default;

bool Job::isStopped() const
{
    MutexLocker locker(&m_mutex);
    return m_stopped;
}

bool Job::isPaused() const
{
    return m_runFlag.load() == PlatformCopy::FlagPaused;
}

bool Job::waitWhilePaused() const
{
    return PlatformCopy::isCancelled(&m_runFlag);
}

bool Job::isFinished() const
{
    MutexLocker locker(&m_mutex);
    return m_finished;
}

qint64 Job::elapsedMsecs() const
{
    MutexLocker locker(&m_mutex);
    if (m_startTime.isNull())
        return 0;
    const QDateTime end = m_endTime.isNull() ? QDateTime::currentDateTimeUtc() : m_endTime;
    return qMax<qint64>(1, m_startTime.msecsTo(end));
}

void Job::startJob()
{
    MutexLocker locker(&m_mutex);
    m_stopped = false;
    int stopped = PlatformCopy::FlagCancelled;
    m_runFlag.compare_exchange_strong(stopped, PlatformCopy::FlagRunning);
    // UTC: only differences are used, and it is cheaper and immune to zone changes.
    m_startTime = QDateTime::currentDateTimeUtc();
    m_endTime = QDateTime();
}

void Job::stopJob()
{
    MutexLocker locker(&m_mutex);
    m_stopped = true;
    PlatformCopy::setCancelFlag(&m_runFlag, PlatformCopy::FlagCancelled);
}

void Job::pauseJob()
{
    MutexLocker locker(&m_mutex);
    if (!m_stopped)
        PlatformCopy::setCancelFlag(&m_runFlag, PlatformCopy::FlagPaused);
}

void Job::continueJob()
{
    MutexLocker locker(&m_mutex);
    if (!m_stopped)
        PlatformCopy::setCancelFlag(&m_runFlag, PlatformCopy::FlagRunning);
}

void Job::completeAndClose()
{
    HandOver::publish(this);
    {
        MutexLocker locker(&m_completionMutex);
        m_completing = true;
    }
    // No lock is held while the handlers run: one may ask the user (a modal box), and
    // the job's thread must not wait for that answer.
    emit jobCompleted();
    bool deletionDeferred = false;
    {
        MutexLocker locker(&m_completionMutex);
        m_completing = false;
        deletionDeferred = m_deletionDeferred;
    }
    if (deletionDeferred)
        deleteLater();
}

void Job::deleteLater()
{
    // The event is made before the hand-over is marked, so that the job's thread, which
    // reads it, is seen to come after both.
    auto* event = new QDeferredDeleteEvent();
    HandOver::publish(this);
    QCoreApplication::postEvent(this, event);
}

void Job::postStart()
{
    auto* event = new QEvent(StartEvent);
    HandOver::publish(this);
    QCoreApplication::postEvent(this, event);
}

bool Job::event(QEvent* event)
{
    // Every queued call and the deferred deletion reach the job here, in its thread.
    HandOver::receive(this);
    if (event->type() == StartEvent) {
        startJob();
        return true;
    }
    if (event->type() == QEvent::DeferredDelete) {
        // The owner's deleteLater, called while it handles jobCompleted, would otherwise
        // let this thread delete the job before that emission in the owner's thread ends:
        // the deletion is asked again once the emission is over.
        MutexLocker locker(&m_completionMutex);
        if (m_completing) {
            m_deletionDeferred = true;
            return true;
        }
    }
    return QObject::event(event);
}

void Job::finishJob()
{
    {
        MutexLocker locker(&m_mutex);
        // A second completion would make the owner handle the job twice.
        if (m_finished)
            return;
        m_finished = true;
        m_endTime = QDateTime::currentDateTimeUtc();
    }
    HandOver::publish(this);
    emit jobHasFinishedWithThread();
}
