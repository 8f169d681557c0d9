#pragma once

#include <QtGlobal>

#if defined(__SANITIZE_THREAD__)
#define BRINDLE_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define BRINDLE_THREAD_SANITIZER 1
#endif
#endif

#ifdef BRINDLE_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#endif

// Marks where an object passes from one thread to another through Qt's event queues.
// QtCore orders posted events with its own futex-based mutexes, which ThreadSanitizer
// cannot see: without these marks every access made before the hand-over would be
// reported as racing with the accesses made after it. They compile to nothing outside
// sanitizer builds and never change what the program does.
namespace HandOver {

// Called by the sending thread before the event that hands the object over is posted.
inline void publish(const void* object)
{
#ifdef BRINDLE_THREAD_SANITIZER
    __tsan_release(const_cast<void*>(object));
#else
    Q_UNUSED(object);
#endif
}

// Called by the receiving thread before it touches the object.
inline void receive(const void* object)
{
#ifdef BRINDLE_THREAD_SANITIZER
    __tsan_acquire(const_cast<void*>(object));
#else
    Q_UNUSED(object);
#endif
}

} // namespace HandOver
