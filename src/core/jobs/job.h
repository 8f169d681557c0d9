#pragma once

#include <QDateTime>
#include <QEvent>
#include <QMutex>
#include <QObject>
#include <QString>

#include <atomic>

// One unit of background work. A job is created without parent by its owner, handed to a
// JobThread (which moves it there and starts it), announces its progress and end through
// signals, and is deleted by its owner once jobCompleted has arrived.
class Job : public QObject
{
    Q_OBJECT

public:
    explicit Job(QObject* parent = nullptr);
    ~Job() override;

    // Thread-safe: polled by the worker at its checkpoints, set from other threads.
    bool isStopped() const;
    bool isPaused() const;
    // True once finishJob has run; a job finishes only once.
    bool isFinished() const;
    // Milliseconds from the start to the end (or to now while working); 0 before the
    // start, at least 1 after it.
    qint64 elapsedMsecs() const;

signals:
    void jobProgress(const QString& path, qint64 done, qint64 total);
    // Emitted in the owner's thread, by a slot of the job's thread object, once the job is
    // over. The job is not deleted while the handlers run, so they must not wait for the
    // job's thread, nor destroy the pool.
    void jobCompleted();
    void jobHasFinishedWithThread();

public slots:
    virtual void startJob();
    virtual void stopJob();
    // Thread-safe. A paused job waits at its checkpoints (waitWhilePaused), holding what it
    // has open, until it is continued or stopped; a pause before the start holds.
    virtual void pauseJob();
    virtual void continueJob();
    void completeAndClose();
    // Same as QObject::deleteLater; it also tells ThreadSanitizer that the owner has
    // handed the job back to its thread for deletion.
    void deleteLater();
    // Posts the start to the job's thread (JobThread::addJob), where startJob runs.
    void postStart();

protected:
    static constexpr QEvent::Type StartEvent = QEvent::Type(QEvent::User + 1);
    bool event(QEvent* event) override;

    // Every job calls this once when its work is over, successful or not. Later calls do
    // nothing, so an override that records something must return early when isFinished().
    virtual void finishJob();
    // In the job's thread: returns at once unless paused, else once continued or stopped.
    // True when the job is to stop.
    bool waitWhilePaused() const;

private:
    bool m_stopped = false;
    // PlatformCopy's flag values: a pause is waited out on it without a lock.
    std::atomic<int> m_runFlag{0};
    QDateTime m_startTime;
    QDateTime m_endTime;
    mutable QMutex m_mutex;
    bool m_finished = false;
    // Guards the two flags below. While jobCompleted is emitted from the owner's thread
    // the deferred deletion is put off until the emission is over, rather than waited for.
    QMutex m_completionMutex;
    bool m_completing = false;
    bool m_deletionDeferred = false;
};
