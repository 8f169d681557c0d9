#pragma once

#include <QList>

#include <condition_variable>
#include <memory>
#include <mutex>

class QObject;

namespace TestSupport {

// Holds every thread of the job pool in a wait, so that a run's jobs queue up behind it:
// a run that has started but whose walk cannot begin, for as long as a test needs. Open
// (or the destructor) lets the threads go.
class PoolGate
{
public:
    PoolGate();
    ~PoolGate();
    PoolGate(const PoolGate&) = delete;
    PoolGate& operator=(const PoolGate&) = delete;

    // Returns once every pool thread waits.
    void close();
    void open();

private:
    struct Shared
    {
        std::mutex mutex;
        std::condition_variable changed;
        bool open = true;
        int waiting = 0;
    };
    std::shared_ptr<Shared> mp_shared;
    QList<QObject*> m_anchors;
};

} // namespace TestSupport
