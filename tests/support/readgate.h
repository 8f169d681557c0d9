#pragma once

#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace TestSupport {

// Holds whoever reads the files of a tree (another process, or another thread of this one)
// at a chosen moment, through fanotify permission events: a test can then act while a copy
// is certainly on its way, with no timer to guess how long the copy takes. Needs root.
//
// The tree is watched as it is when the gate is made. Opens and reads by the thread that
// made the gate always pass, so that the test itself can look at the tree meanwhile.
class ReadGate
{
public:
    enum class Event
    {
        Open, // opens of the files and folders (a listing opens every folder)
        Read, // reads of the files' data (read, sendfile, copy_file_range)
    };

    ReadGate(const QString& root, Event event);
    // Every held reader goes on: nothing hangs on a test that failed.
    ~ReadGate();
    ReadGate(const ReadGate&) = delete;
    ReadGate& operator=(const ReadGate&) = delete;

    bool isValid() const { return m_fd >= 0; }
    // Why the gate could not be made (not root, no fanotify): for QSKIP.
    QString skipReason() const { return m_skipReason; }

    // Lets count events through, then holds the next ones until open(), for at most
    // timeoutMs: past that they go on and open() returns false.
    void holdAfter(int count, int timeoutMs = 60000);
    // Lets everything through from now on; false when the hold had already timed out.
    bool open();

    bool isHolding() const;
    // Blocks this thread until some reader is held (or the timeout passed: false).
    bool waitUntilHolding(int timeoutMs = 60000);
    // Events let through since holdAfter().
    int passed() const;

private:
    void serve();
    void answer(int eventFd, bool allow);
    void releaseHeld(); // m_mutex held
    bool mark(const QString& path, unsigned long long mask, bool folder);

    int m_fd = -1;
    int m_wakeFd = -1;
    pid_t m_ownThread = 0;
    QString m_skipReason;
    std::thread m_thread;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_armed = false;
    bool m_timedOut = false;
    bool m_stopping = false;
    int m_allowance = 0;
    int m_passed = 0;
    long long m_deadlineMs = 0;
    std::vector<int> m_held; // event descriptors not answered yet
};

} // namespace TestSupport
