#include "jobs/job.h"
#include "jobs/jobthread.h"
#include "jobs/jobthreadpool.h"

#include "testsupport.h"

#include <QHash>
#include <QSemaphore>
#include <QTimer>
#include <QtTest>

#include <atomic>

namespace {

// A job that finishes at once, twice in a row, or only when released or stopped.
class TestJob : public Job
{
    Q_OBJECT

public:
    enum Mode
    {
        FinishAtOnce,
        FinishTwice,
        WorkUntilReleasedOrStopped
    };

    explicit TestJob(Mode mode) : m_mode(mode) {}

    void release() { m_released = true; }

    std::atomic<int> starts{0};
    std::atomic<QThread*> startedIn{nullptr};
    std::atomic<bool> stoppedAtStart{false};
    std::atomic<bool> finishedByStop{false};

signals:
    void started();

public slots:
    void startJob() override
    {
        Job::startJob();
        stoppedAtStart = isStopped();
        startedIn = QThread::currentThread();
        ++starts;
        emit started();
        if (m_mode == WorkUntilReleasedOrStopped) {
            checkpoint();
            return;
        }
        finishJob();
        if (m_mode == FinishTwice)
            finishJob();
    }

private:
    void checkpoint()
    {
        if (isStopped()) {
            finishedByStop = true;
            finishJob();
        } else if (m_released) {
            finishJob();
        } else {
            QTimer::singleShot(1, this, &TestJob::checkpoint);
        }
    }

    const Mode m_mode;
    std::atomic<bool> m_released{false};
};

// Blocks its thread inside startJob until the gate opens, like a long copy.
class BlockingJob : public Job
{
    Q_OBJECT

public:
    QSemaphore gate;
    std::atomic<bool> returned{false};

signals:
    void started();

public slots:
    void startJob() override
    {
        Job::startJob();
        emit started();
        gate.acquire();
        returned = true;
        finishJob();
    }
};

// Finishes at once and tells when its deferred deletion reaches its thread and when it is
// destroyed.
class DeletionProbeJob : public Job
{
    Q_OBJECT

public:
    DeletionProbeJob(QSemaphore* deletionArrived, QSemaphore* destroyed)
        : mp_deletionArrived(deletionArrived), mp_destroyed(destroyed)
    {
    }
    ~DeletionProbeJob() override { mp_destroyed->release(); }

public slots:
    void startJob() override
    {
        Job::startJob();
        finishJob();
    }

protected:
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::DeferredDelete)
            mp_deletionArrived->release();
        return Job::event(event);
    }

private:
    QSemaphore* mp_deletionArrived;
    QSemaphore* mp_destroyed;
};

// Plays the copy task: owns the jobs, hands them to the pool and deletes them on completion.
class Owner : public QObject
{
    Q_OBJECT

public:
    TestJob* run(TestJob::Mode mode, JobThread* thread = nullptr)
    {
        auto* job = new TestJob(mode);
        if (!thread)
            thread = JobThreadPool::leastBusyThread();
        m_threadOf.insert(job, thread);
        connect(job, &Job::jobCompleted, this, &Owner::onJobCompleted);
        connect(job, &Job::jobHasFinishedWithThread, this, [this] { ++finishSignals; });
        connect(job, &TestJob::started, this, [this, job] { ++m_starts[job]; });
        thread->addJob(job);
        return job;
    }

    int completions(Job* job) const { return m_completions.value(job); }
    // Counted in this thread: a QSignalSpy would record the worker's signal in the worker.
    int starts(Job* job) const { return m_starts.value(job); }

    int totalCompletions = 0;
    int finishSignals = 0;
    int finishSignalsAtFirstCompletion = -1;
    QHash<Job*, int> countLeftOnThread;
    QHash<Job*, QThread*> ranIn;
    QHash<Job*, bool> stoppedWhenDone;

private slots:
    void onJobCompleted()
    {
        auto* job = qobject_cast<TestJob*>(sender());
        QVERIFY(job);
        if (finishSignalsAtFirstCompletion < 0)
            finishSignalsAtFirstCompletion = finishSignals;
        ++totalCompletions;
        ++m_completions[job];
        countLeftOnThread.insert(job, m_threadOf.value(job)->jobCount());
        ranIn.insert(job, job->startedIn);
        stoppedWhenDone.insert(job, job->finishedByStop);
        job->deleteLater();
    }

private:
    QHash<Job*, JobThread*> m_threadOf;
    QHash<Job*, int> m_completions;
    QHash<Job*, int> m_starts;
};

// Passes every message on to the test framework's handler and calls back on one text.
class MessageHook
{
public:
    MessageHook(const QString& text, std::function<void()> callback)
    {
        s_text = text;
        s_callback = std::move(callback);
        s_previous = qInstallMessageHandler(&MessageHook::handle);
    }
    ~MessageHook() { qInstallMessageHandler(s_previous); }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (message.contains(s_text))
            s_callback();
        s_previous(type, context, message);
    }

    static inline QString s_text;
    static inline std::function<void()> s_callback;
    static inline QtMessageHandler s_previous = nullptr;
};

QStringList poolThreadNames()
{
    QStringList names;
    for (JobThread* thread : JobThreadPool::threads())
        names << thread->objectName();
    return names;
}

} // namespace

Q_DECLARE_METATYPE(QList<int>)

class TestJobThreadPool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void elapsedTime_data();
    void elapsedTime();
    void threadNames_data();
    void threadNames();
    void leastBusyThread_data();
    void leastBusyThread();
    void jobRunsInItsThreadAndCompletesOnce_data();
    void jobRunsInItsThreadAndCompletesOnce();
    void stopBeforeStartRunsNormally();
    void stopWhileWorkingStillCompletes();
    void manyJobsCompleteOnceWhileStopsRace();
    void poolRebuiltWithNewThreadCount_data();
    void poolRebuiltWithNewThreadCount();
    void destroyWaitsForJobThatDoesNotReturn();
    void completionFromInvalidSender_data();
    void completionFromInvalidSender();
    void deletionWaitsForCompletionHandlers();
};

void TestJobThreadPool::initTestCase()
{
    TestSupport::initTestEnvironment();
}

void TestJobThreadPool::cleanup()
{
    JobThreadPool::destroyThreads();
}

void TestJobThreadPool::elapsedTime_data()
{
    QTest::addColumn<bool>("start");
    QTest::addColumn<int>("workMsecs");
    QTest::addColumn<bool>("finish");
    QTest::addColumn<qint64>("minimum");
    QTest::addColumn<qint64>("maximum");

    QTest::newRow("never started") << false << 0 << false << qint64(0) << qint64(0);
    QTest::newRow("finished without start") << false << 0 << true << qint64(0) << qint64(0);
    QTest::newRow("no time passed") << true << 0 << true << qint64(1) << qint64(1000);
    QTest::newRow("still working") << true << 30 << false << qint64(30) << qint64(60000);
    QTest::newRow("finished after work") << true << 30 << true << qint64(30) << qint64(60000);
}

void TestJobThreadPool::elapsedTime()
{
    QFETCH(bool, start);
    QFETCH(int, workMsecs);
    QFETCH(bool, finish);
    QFETCH(qint64, minimum);
    QFETCH(qint64, maximum);

    // Called directly, without a thread: only the clock matters here.
    class ClockJob : public Job
    {
    public:
        using Job::finishJob;
    } job;
    if (start)
        job.startJob();
    if (workMsecs > 0)
        QTest::qSleep(workMsecs);
    if (finish)
        job.finishJob();

    const qint64 first = job.elapsedMsecs();
    QVERIFY2(first >= minimum && first <= maximum, QByteArray::number(first));
    if (start && finish) {
        QTest::qSleep(5);
        QCOMPARE(job.elapsedMsecs(), first); // fixed once finished
    }
    if (start && !finish) {
        QTest::qSleep(5);
        QVERIFY(job.elapsedMsecs() >= first + 5); // grows while working
    }
}

void TestJobThreadPool::threadNames_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("three") << 3 << QStringList{"Thread 1", "Thread 2", "Thread 3"};
    QTest::newRow("one") << 1 << QStringList{"Thread 1"};
    QTest::newRow("zero leaves the pool empty") << 0 << QStringList();
    QTest::newRow("negative leaves the pool empty") << -2 << QStringList();
}

void TestJobThreadPool::threadNames()
{
    QFETCH(int, count);
    QFETCH(QStringList, expected);

    // Creating again must first remove the threads of the previous call.
    JobThreadPool::createThreads(4);
    JobThreadPool::createThreads(count);
    QCOMPARE(poolThreadNames(), expected);
    QCOMPARE(JobThreadPool::threadCount(), expected.size());
    QCOMPARE(JobThreadPool::leastBusyThread() == nullptr, expected.isEmpty());
}

void TestJobThreadPool::leastBusyThread_data()
{
    QTest::addColumn<QList<int>>("jobsPerThread");
    QTest::addColumn<int>("expected");

    QTest::newRow("1,2,1 takes the last of the least") << QList<int>{1, 2, 1} << 2;
    QTest::newRow("2,1,1 takes the last of the least") << QList<int>{2, 1, 1} << 2;
    QTest::newRow("1,2,3 takes the first") << QList<int>{1, 2, 3} << 0;
    QTest::newRow("3,1,2 takes the middle") << QList<int>{3, 1, 2} << 1;
    QTest::newRow("equal counts take the last") << QList<int>{2, 2, 2} << 2;
    QTest::newRow("idle first") << QList<int>{0, 3, 1} << 0;
    QTest::newRow("idle in the middle before busy") << QList<int>{1, 0, 0} << 1;
    QTest::newRow("idle last") << QList<int>{1, 1, 0} << 2;
    QTest::newRow("all idle take the first") << QList<int>{0, 0, 0} << 0;
    QTest::newRow("single busy thread") << QList<int>{5} << 0;
}

void TestJobThreadPool::leastBusyThread()
{
    QFETCH(QList<int>, jobsPerThread);
    QFETCH(int, expected);

    // Threads not started yet: the jobs stay listed until the threads run.
    JobThreadPool::createThreads(jobsPerThread.size());
    const QList<JobThread*> threads = JobThreadPool::threads();
    Owner owner;
    int total = 0;
    for (int i = 0; i < threads.size(); ++i) {
        for (int j = 0; j < jobsPerThread.at(i); ++j)
            owner.run(TestJob::FinishAtOnce, threads.at(i));
        total += jobsPerThread.at(i);
        QCOMPARE(threads.at(i)->jobCount(), jobsPerThread.at(i));
    }
    QCOMPARE(JobThreadPool::leastBusyThread(), threads.at(expected));

    JobThreadPool::startThreads();
    QTRY_COMPARE(owner.totalCompletions, total);
    for (JobThread* thread : threads)
        QCOMPARE(thread->jobCount(), 0);
}

void TestJobThreadPool::jobRunsInItsThreadAndCompletesOnce_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("finishes once") << int(TestJob::FinishAtOnce);
    QTest::newRow("finishes twice") << int(TestJob::FinishTwice);
}

void TestJobThreadPool::jobRunsInItsThreadAndCompletesOnce()
{
    QFETCH(int, mode);

    JobThreadPool::createThreads(2);
    JobThreadPool::startThreads();
    JobThread* thread = JobThreadPool::leastBusyThread();
    Owner owner;
    TestJob* job = owner.run(TestJob::Mode(mode), thread);
    QTRY_COMPARE(owner.totalCompletions, 1);

    QCOMPARE(owner.ranIn.value(job), static_cast<QThread*>(thread));
    // Unlisted before the owner heard of it, so the choice never counts finished jobs.
    QCOMPARE(owner.countLeftOnThread.value(job), 0);
    QCOMPARE(owner.finishSignalsAtFirstCompletion, 1);
    // Give a wrongly repeated completion the time to arrive.
    QTest::qWait(50);
    QCOMPARE(owner.completions(job), 1);
    QCOMPARE(owner.finishSignals, 1);
}

void TestJobThreadPool::stopBeforeStartRunsNormally()
{
    JobThreadPool::createThreads(1);
    JobThread* thread = JobThreadPool::leastBusyThread();
    Owner owner;
    TestJob* job = owner.run(TestJob::WorkUntilReleasedOrStopped, thread);

    JobThreadPool::stopAllJobs();
    QVERIFY(job->isStopped());
    JobThreadPool::startThreads();
    QTRY_COMPARE(owner.starts(job), 1);
    QCOMPARE(job->stoppedAtStart.load(), false);
    QVERIFY(!job->isStopped());

    job->release();
    QTRY_COMPARE(owner.totalCompletions, 1);
    QCOMPARE(owner.stoppedWhenDone.value(job), false);
}

void TestJobThreadPool::stopWhileWorkingStillCompletes()
{
    JobThreadPool::createThreads(2);
    JobThreadPool::startThreads();
    Owner owner;
    TestJob* first = owner.run(TestJob::WorkUntilReleasedOrStopped);
    TestJob* second = owner.run(TestJob::WorkUntilReleasedOrStopped);
    QTRY_COMPARE(owner.starts(first) + owner.starts(second), 2);
    QTRY_VERIFY(first->elapsedMsecs() > 0);

    JobThreadPool::stopAllJobs();
    QTRY_COMPARE(owner.totalCompletions, 2);
    QCOMPARE(owner.finishSignals, 2);
    QVERIFY(owner.finishSignalsAtFirstCompletion >= 1);
    for (Job* job : {static_cast<Job*>(first), static_cast<Job*>(second)}) {
        QCOMPARE(owner.stoppedWhenDone.value(job), true);
        QCOMPARE(owner.countLeftOnThread.value(job), 0);
        QCOMPARE(owner.completions(job), 1);
    }
    QVERIFY(owner.ranIn.value(first) != owner.ranIn.value(second));
}

void TestJobThreadPool::manyJobsCompleteOnceWhileStopsRace()
{
    const int jobCount = 60;
    JobThreadPool::createThreads(3);
    JobThreadPool::startThreads();
    Owner owner;
    QList<TestJob*> jobs;
    for (int i = 0; i < jobCount; ++i) {
        const auto mode = i % 3 == 0   ? TestJob::WorkUntilReleasedOrStopped
                          : i % 3 == 1 ? TestJob::FinishTwice
                                       : TestJob::FinishAtOnce;
        jobs << owner.run(mode);
    }
    // Stop requests keep arriving while jobs start, finish and are deleted.
    QTimer stopper;
    connect(&stopper, &QTimer::timeout, [] { JobThreadPool::stopAllJobs(); });
    stopper.start(1);

    QTRY_COMPARE(owner.totalCompletions, jobCount);
    stopper.stop();
    QCOMPARE(owner.finishSignals, jobCount);
    for (TestJob* job : qAsConst(jobs))
        QCOMPARE(owner.completions(job), 1);
    for (JobThread* thread : JobThreadPool::threads())
        QCOMPARE(thread->jobCount(), 0);
}

void TestJobThreadPool::poolRebuiltWithNewThreadCount_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::newRow("more threads") << 2 << 4;
    QTest::newRow("fewer threads") << 3 << 1;
    QTest::newRow("same count") << 2 << 2;
}

void TestJobThreadPool::poolRebuiltWithNewThreadCount()
{
    QFETCH(int, before);
    QFETCH(int, after);

    Owner owner;
    JobThreadPool::createThreads(before);
    JobThreadPool::startThreads();
    for (int i = 0; i < before; ++i)
        owner.run(TestJob::FinishAtOnce);
    QTRY_COMPARE(owner.totalCompletions, before);
    const QList<JobThread*> oldThreads = JobThreadPool::threads();
    for (JobThread* thread : oldThreads)
        QVERIFY(thread->isRunning());

    JobThreadPool::createThreads(after);
    JobThreadPool::startThreads();
    QCOMPARE(JobThreadPool::threadCount(), after);
    QCOMPARE(poolThreadNames().last(), QStringLiteral("Thread %1").arg(after));

    // One job per thread: each thread is idle when chosen, so all of them take part.
    QList<TestJob*> jobs;
    for (int i = 0; i < after; ++i)
        jobs << owner.run(TestJob::WorkUntilReleasedOrStopped);
    for (JobThread* thread : JobThreadPool::threads())
        QCOMPARE(thread->jobCount(), 1);
    for (TestJob* job : qAsConst(jobs))
        job->release();
    QTRY_COMPARE(owner.totalCompletions, before + after);

    const QList<JobThread*> newThreads = JobThreadPool::threads();
    QSet<QThread*> used;
    for (TestJob* job : qAsConst(jobs))
        used.insert(owner.ranIn.value(job));
    QCOMPARE(used.size(), after);
    for (JobThread* thread : newThreads)
        QVERIFY(used.contains(thread));
}

void TestJobThreadPool::destroyWaitsForJobThatDoesNotReturn()
{
    JobThreadPool::createThreads(2);
    JobThreadPool::startThreads();
    JobThread* thread = JobThreadPool::threads().last();
    auto* job = new BlockingJob;
    int started = 0;
    connect(job, &BlockingJob::started, this, [&started] { ++started; });
    thread->addJob(job);
    QTRY_COMPARE(started, 1);

    const QString warning =
        QStringLiteral("\"Thread 2\" has a job that did not return within 3000 ms, waiting for it");
    // The job returns only once the pool has given up waiting and said so.
    MessageHook hook(warning, [job] { job->gate.release(); });
    QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    JobThreadPool::destroyThreads();

    QVERIFY(job->returned);
    QCOMPARE(JobThreadPool::threadCount(), 0);
    // Its thread is gone before the completion could be delivered: the owner deletes it.
    delete job;
}

void TestJobThreadPool::completionFromInvalidSender_data()
{
    QTest::addColumn<bool>("fromSignal");
    QTest::newRow("signal of a non-job") << true;
    QTest::newRow("direct call without sender") << false;
}

void TestJobThreadPool::completionFromInvalidSender()
{
    QFETCH(bool, fromSignal);

    JobThreadPool::createThreads(1);
    JobThread* thread = JobThreadPool::leastBusyThread();
    Owner owner;
    owner.run(TestJob::FinishAtOnce, thread);

    QTest::ignoreMessage(QtWarningMsg,
                         "\"Thread 1\" has received a signal from invalid Job instance");
    if (fromSignal) {
        QTimer notAJob;
        connect(&notAJob, &QTimer::timeout, thread, &JobThread::onJobCompleted);
        notAJob.setSingleShot(true);
        notAJob.start(0);
        QTRY_VERIFY(!notAJob.isActive());
    } else {
        thread->onJobCompleted();
    }
    QCOMPARE(thread->jobCount(), 1);

    JobThreadPool::startThreads();
    QTRY_COMPARE(owner.totalCompletions, 1);
}

// jobCompleted is emitted in the owner's thread while the job lives in its own: the
// deleteLater of a handler must not free the job under the emission still going on.
void TestJobThreadPool::deletionWaitsForCompletionHandlers()
{
    JobThreadPool::createThreads(1);
    JobThreadPool::startThreads();
    QSemaphore deletionArrived;
    QSemaphore destroyed;
    auto* job = new DeletionProbeJob(&deletionArrived, &destroyed);
    bool arrivedDuringHandler = false;
    bool destroyedDuringHandler = true;
    bool threadFreeDuringHandler = false;
    QString nameAfterHandler;
    QObject inJobThread;
    connect(job, &Job::jobCompleted, this, [&] {
        job->deleteLater();
        arrivedDuringHandler = deletionArrived.tryAcquire(1, 5000);
        // A handler may ask the user: the job's thread goes on meanwhile, not waiting for
        // a lock the emission holds.
        QSemaphore ran;
        inJobThread.moveToThread(job->thread());
        QMetaObject::invokeMethod(
            &inJobThread, [&ran] { ran.release(); }, Qt::QueuedConnection);
        threadFreeDuringHandler = ran.tryAcquire(1, 5000);
        destroyedDuringHandler = destroyed.tryAcquire(1, 100);
    });
    // A second handler of the same emission still finds the job.
    connect(job, &Job::jobCompleted, this, [&] { nameAfterHandler = job->objectName(); });
    job->setObjectName(QStringLiteral("probe"));
    JobThreadPool::leastBusyThread()->addJob(job);

    QTRY_COMPARE(nameAfterHandler, QStringLiteral("probe"));
    QVERIFY(arrivedDuringHandler);
    QVERIFY(threadFreeDuringHandler);
    QVERIFY(!destroyedDuringHandler);
    QVERIFY(destroyed.tryAcquire(1, 5000));
    QMetaObject::invokeMethod(
        &inJobThread, [&inJobThread] { inJobThread.moveToThread(qApp->thread()); },
        Qt::BlockingQueuedConnection);
}

QTEST_GUILESS_MAIN(TestJobThreadPool)
#include "tst_jobthreadpool.moc"
