#pragma once

#include "base/handover.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QRunnable>
#include <QThread>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>

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

    // On a thread of its own that nobody waits for, for work that may never return (a walk
    // on a hung mount): neither the calls in order nor the window's closing wait for it. A
    // result that comes after the worker went is dropped.
    template <typename Result>
    void runDetached(std::function<Result()> work, std::function<void(const Result&)> done)
    {
        std::shared_ptr<Link> link = mp_link;
        ++s_detachedRunning;
        QThread* thread = QThread::create([link, work, done] {
            Delivery* delivery = new Delivery([done, result = work()] { done(result); });
            {
                QMutexLocker locker(&link->mutex);
                if (link->worker)
                    post(link->worker, delivery);
                else
                    delete delivery;
            }
            --s_detachedRunning;
        });
        connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        thread->start();
    }

    // Detached work of every worker still running: a test waits for it to have let go of
    // a mount it hung on, instead of guessing from the threads that wait at one moment.
    static int detachedRunning() { return s_detachedRunning.load(); }

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
            post(this, new Delivery([this, done, result = work()] {
                     --m_pending;
                     done(result);
                     if (m_pending == 0)
                         emit idle();
                 }));
        }));
    }

    // A result on its way to the window's thread. It is posted as an event of its own, not
    // through a queued functor: the hand-over is marked once the result is complete, so
    // that the thread checker sees what QtCore's event queue orders.
    class Delivery : public QEvent
    {
    public:
        static QEvent::Type type()
        {
            static const int registered = QEvent::registerEventType();
            return static_cast<QEvent::Type>(registered);
        }
        explicit Delivery(std::function<void()> deliver)
            : QEvent(type()), m_deliver(std::move(deliver))
        {
        }
        // Also when it is dropped undelivered, by the worker that goes.
        ~Delivery() override { HandOver::receive(this); }
        void deliver()
        {
            HandOver::receive(this);
            m_deliver();
        }

    private:
        std::function<void()> m_deliver;
    };

    static void post(WindowWorker* worker, Delivery* delivery)
    {
        HandOver::publish(delivery);
        QCoreApplication::postEvent(worker, delivery);
    }

protected:
    void customEvent(QEvent* event) override
    {
        if (event->type() == Delivery::type())
            static_cast<Delivery*>(event)->deliver();
    }

private:
    // Tells a detached thread whether the worker is still there to take its result.
    struct Link
    {
        QMutex mutex;
        WindowWorker* worker = nullptr;
    };
    std::shared_ptr<Link> mp_link = std::make_shared<Link>();
    static inline std::atomic<int> s_detachedRunning{0};
    QThreadPool m_inOrder;
    QThreadPool m_alongside;
    int m_pending = 0;
};
