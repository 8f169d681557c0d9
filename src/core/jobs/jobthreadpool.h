#pragma once

#include <QList>

class JobThread;

// The process-wide list of job threads. Built and rebuilt by the user-interface thread
// between runs; a run's thread picks threads from it.
class JobThreadPool
{
public:
    JobThreadPool() = delete;

    // Replaces the threads by count new ones named "Thread 1" to "Thread <count>", not
    // started yet. A count below 1 leaves the pool empty.
    static void createThreads(int count);
    // Starts every thread with the priority of the calling thread.
    static void startThreads();
    // Ends and deletes every thread. A thread whose job does not return within 3000 ms is
    // waited for until it does: deleting a running thread would crash the program.
    static void destroyThreads();
    // The thread for the next job: the first idle one, else the one with the fewest jobs
    // (the last of those with equally many). Null only when the pool is empty.
    static JobThread* leastBusyThread();
    // Asks every job of every thread to stop.
    static void stopAllJobs();
    // Pauses or continues every job of every thread.
    static void pauseAllJobs(bool pause);

    static int threadCount();
    static QList<JobThread*> threads();
};
