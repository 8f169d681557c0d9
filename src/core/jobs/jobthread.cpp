#include "jobs/jobthread.h"

#include "base/handover.h"
#include "base/mutexlocker.h"
#include "jobs/job.h"

#include <QDebug>
#include <QMetaObject>

JobThread::JobThread(QObject* parent) : QThread(parent)
{
    setObjectName(QStringLiteral("JobThread"));
    connect(this, &QThread::finished, this, &JobThread::onThreadExit);
    // Runs in this thread after its last use of the thread object; destroyThreads
    // receives the object back once wait() has returned.
    connect(
        this, &QThread::finished, this, [this] { HandOver::publish(this); }, Qt::DirectConnection);
    // Runs in this thread once its event loop's wake-up descriptor exists: a thread that
    // later posts a job here (addJob) has seen it made.
    connect(
        this, &QThread::started, this, [this] { HandOver::publish(this); }, Qt::DirectConnection);
}

JobThread::~JobThread() = default;

void JobThread::addJob(Job* job)
{
    if (!job)
        return;
    HandOver::receive(this);
    MutexLocker locker(&m_mutex);
    // Queued because the thread object lives in the owner's thread, not in this thread.
    connect(job, &Job::jobHasFinishedWithThread, this, &JobThread::onJobCompleted);
    job->moveToThread(this);
    m_jobs.append(job);
    job->postStart();
}

int JobThread::jobCount() const
{
    MutexLocker locker(&m_mutex);
    return m_jobs.size();
}

void JobThread::stopAllJobs()
{
    MutexLocker locker(&m_mutex);
    // A job stays alive while it is listed: its owner deletes it only after completion,
    // which needs this mutex to unlist it first.
    const QList<Job*> jobs = m_jobs;
    for (Job* job : jobs) {
        if (!job->isStopped())
            job->stopJob();
    }
}

void JobThread::pauseAllJobs(bool pause)
{
    MutexLocker locker(&m_mutex);
    for (Job* job : qAsConst(m_jobs)) {
        if (pause)
            job->pauseJob();
        else
            job->continueJob();
    }
}

void JobThread::onJobCompleted()
{
    QObject* source = sender();
    if (source)
        HandOver::receive(source);
    Job* job = qobject_cast<Job*>(source);
    if (!job) {
        qWarning() << objectName() << "has received a signal from invalid Job instance";
        return;
    }
    bool listed;
    {
        MutexLocker locker(&m_mutex);
        listed = m_jobs.removeOne(job);
    }
    // Unlisted first, so that the owner, once told, never sees the job counted as busy.
    // Completed from here, the owner's thread, rather than through another round trip to
    // the job's thread: the job has finished, and this event comes after every signal it
    // queued before, so the owner's handlers have seen them all and a stop from one of
    // them still reached the job.
    // Each job finishes once (Job::finishJob), so it is still listed here.
    Q_ASSERT_X(listed, "JobThread::onJobCompleted", "a job finished twice or on another thread");
    if (listed)
        job->completeAndClose();
}

void JobThread::onThreadExit() {}
