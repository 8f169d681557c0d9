#pragma once

#include <QMutex>

#include "base/handover.h"

// Scoped lock of a QMutex shared between threads, used instead of QMutexLocker.
// QtCore locks its mutexes through futexes inside the library, which ThreadSanitizer
// cannot see: without telling it, every access guarded by a QMutex would be reported
// as a race and lock-order inversions would go unnoticed. Outside sanitizer builds this
// is exactly QMutexLocker.
class MutexLocker
{
public:
    explicit MutexLocker(QMutex* mutex) : mp_mutex(mutex) { relock(); }
    ~MutexLocker()
    {
        if (m_locked)
            unlock();
    }
    MutexLocker(const MutexLocker&) = delete;
    MutexLocker& operator=(const MutexLocker&) = delete;

    void relock()
    {
#ifdef BRINDLE_THREAD_SANITIZER
        __tsan_mutex_pre_lock(mp_mutex, 0);
#endif
        mp_mutex->lock();
#ifdef BRINDLE_THREAD_SANITIZER
        __tsan_mutex_post_lock(mp_mutex, 0, 0);
#endif
        m_locked = true;
    }

    void unlock()
    {
        m_locked = false;
#ifdef BRINDLE_THREAD_SANITIZER
        __tsan_mutex_pre_unlock(mp_mutex, 0);
#endif
        mp_mutex->unlock();
#ifdef BRINDLE_THREAD_SANITIZER
        __tsan_mutex_post_unlock(mp_mutex, 0);
#endif
    }

private:
    QMutex* mp_mutex;
    bool m_locked = false;
};
