#pragma once

#include <QMetaObject>
#include <QObject>
#include <QRunnable>
#include <QThreadPool>

#include <functional>

// Runs the window's file-system and D-Bus calls off its thread: work runs on a pool thread,
// and done gets its result back on the window's thread through a queued call. A worker
// that goes waits for the work still running; results not delivered by then are dropped.
class WindowWorker : public QObject
{
    Q_OBJECT

public:
    explicit WindowWorker(QObject* parent = nullptr);
    ~WindowWorker() override;

    // One call after the other, their results in the same order: the work that reads the
    // copy task (a task file written) is over before the result of a later call (a task
    // file read, the paths of a run checked) can lead to a change of it.
    template <typename Result>
    void run(std::function<Result()> work, std::function<void(const Result&)> done)
    {
        start(m_inOrder, std::move(work), std::move(done));
    }
    // Beside the others, for a call that touches nothing of the copy task and may wait long
    // (the file manager over D-Bus).
    template <typename Result>
    void runAlongside(std::function<Result()> work, std::function<void(const Result&)> done)
    {
        start(m_alongside, std::move(work), std::move(done));
    }

    // No work is running and no result waits to be delivered.
    bool isIdle() const { return m_pending == 0; }

signals:
    // The last result has been delivered.
    void idle();

private:
    template <typename Result>
    void start(QThreadPool& pool, std::function<Result()> work,
               std::function<void(const Result&)> done)
    {
        ++m_pending;
        pool.start(QRunnable::create([this, work, done] {
            const Result result = work();
            QMetaObject::invokeMethod(
                this,
                [this, done, result] {
                    --m_pending;
                    done(result);
                    if (m_pending == 0)
                        emit idle();
                },
                Qt::QueuedConnection);
        }));
    }

    QThreadPool m_inOrder;
    QThreadPool m_alongside;
    int m_pending = 0;
};
