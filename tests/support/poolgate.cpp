#include "poolgate.h"

#include "jobs/jobthread.h"
#include "jobs/jobthreadpool.h"

#include <QMetaObject>
#include <QObject>

namespace TestSupport {

PoolGate::PoolGate() : mp_shared(std::make_shared<Shared>()) {}

PoolGate::~PoolGate()
{
    open();
    for (QObject* anchor : qAsConst(m_anchors))
        anchor->deleteLater();
}

void PoolGate::close()
{
    {
        std::lock_guard<std::mutex> lock(mp_shared->mutex);
        mp_shared->open = false;
    }
    const QList<JobThread*> threads = JobThreadPool::threads();
    for (JobThread* thread : threads) {
        // Anchored in the thread, a queued call runs in its event loop, ahead of any job
        // queued after it.
        auto* anchor = new QObject;
        anchor->moveToThread(thread);
        m_anchors.append(anchor);
        std::shared_ptr<Shared> shared = mp_shared;
        QMetaObject::invokeMethod(
            anchor,
            [shared] {
                std::unique_lock<std::mutex> lock(shared->mutex);
                ++shared->waiting;
                shared->changed.notify_all();
                shared->changed.wait(lock, [&shared] { return shared->open; });
                --shared->waiting;
            },
            Qt::QueuedConnection);
    }
    std::unique_lock<std::mutex> lock(mp_shared->mutex);
    mp_shared->changed.wait(lock,
                            [this, &threads] { return mp_shared->waiting == threads.size(); });
}

void PoolGate::open()
{
    std::lock_guard<std::mutex> lock(mp_shared->mutex);
    mp_shared->open = true;
    mp_shared->changed.notify_all();
}

} // namespace TestSupport
