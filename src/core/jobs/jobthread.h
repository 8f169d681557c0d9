#pragma once

#include <QList>
#include <QMutex>
#include <QThread>

class Job;

// A worker thread of the pool. It runs the default event loop; the jobs handed to it live
// in it and run their slots there, one after the other. The thread object itself lives in
// the thread that created it (the user-interface thread), where its slots run.
class JobThread : public QThread
{
    Q_OBJECT

public:
    explicit JobThread(QObject* parent = nullptr);
    ~JobThread() override;

    // Moves the job into this thread and queues its start there. The job must have no
    // parent and live in the calling thread.
    void addJob(Job* job);
    // Jobs handed over and not yet completed.
    int jobCount() const;
    // Asks every job of this thread to stop, directly from the calling thread.
    void stopAllJobs();
    // Pauses or continues every job of this thread (Job::pauseJob), from the calling thread.
    void pauseAllJobs(bool pause);

public slots:
    void onJobCompleted();
    void onThreadExit();

private:
    QList<Job*> m_jobs;
    mutable QMutex m_mutex;
};
