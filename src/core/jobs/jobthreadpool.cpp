#include "jobs/jobthreadpool.h"

#include "base/handover.h"
#include "jobs/jobthread.h"

#include <QDebug>

namespace {

// Created empty on first use and kept until the program ends.
QList<JobThread*>& threadList()
{
    static QList<JobThread*> list;
    return list;
}

const unsigned long JobReturnTimeoutMsecs = 3000;

} // namespace

void JobThreadPool::createThreads(int count)
{
    destroyThreads();
    QList<JobThread*>& list = threadList();
    for (int i = 1; i <= count; ++i) {
        auto* thread = new JobThread();
        thread->setObjectName(QStringLiteral("Thread %1").arg(i));
        list.append(thread);
    }
}

void JobThreadPool::startThreads()
{
    for (JobThread* thread : qAsConst(threadList()))
        thread->start(QThread::InheritPriority);
}

void JobThreadPool::destroyThreads()
{
    QList<JobThread*>& list = threadList();
    // Ask all first so that busy threads wind down in parallel.
    for (JobThread* thread : qAsConst(list))
        thread->exit(0);
    for (JobThread* thread : qAsConst(list)) {
        if (!thread->wait(JobReturnTimeoutMsecs)) {
            qWarning() << thread->objectName()
                       << "has a job that did not return within 3000 ms, waiting for it";
            thread->wait();
        }
        HandOver::receive(thread);
        delete thread;
    }
    list.clear();
}

JobThread* JobThreadPool::leastBusyThread()
{
    const QList<JobThread*>& list = threadList();
    if (list.isEmpty())
        return nullptr;
    for (JobThread* thread : list) {
        if (thread->jobCount() <= 0)
            return thread;
    }
    JobThread* candidate = list.last();
    int candidateCount = candidate->jobCount();
    for (JobThread* thread : list) {
        const int count = thread->jobCount();
        if (count < candidateCount) {
            candidate = thread;
            candidateCount = count;
        }
    }
    return candidate;
}

void JobThreadPool::stopAllJobs()
{
    for (JobThread* thread : qAsConst(threadList()))
        thread->stopAllJobs();
}

void JobThreadPool::pauseAllJobs(bool pause)
{
    for (JobThread* thread : qAsConst(threadList()))
        thread->pauseAllJobs(pause);
}

int JobThreadPool::threadCount()
{
    return threadList().size();
}

QList<JobThread*> JobThreadPool::threads()
{
    return threadList();
}
