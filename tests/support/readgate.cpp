#include "readgate.h"

#include <QDebug>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/fanotify.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace TestSupport {

namespace {

long long nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

ReadGate::ReadGate(const QString& root, Event event) : m_ownThread(pid_t(::syscall(SYS_gettid)))
{
    // Permission events are reported as the thread that waits on them, so that the
    // test's own thread can be told apart from the copier's threads of this process.
    m_fd = ::fanotify_init(FAN_CLASS_PRE_CONTENT | FAN_CLOEXEC | FAN_NONBLOCK | FAN_REPORT_TID,
                           O_RDONLY | O_LARGEFILE | O_CLOEXEC);
    if (m_fd < 0) {
        m_skipReason = errno == EPERM ? QStringLiteral("fanotify needs root (CAP_SYS_ADMIN)")
                                      : QStringLiteral("no fanotify permission events here: %1")
                                            .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    const unsigned long long mask =
        event == Event::Open ? FAN_OPEN_PERM | FAN_ONDIR : FAN_ACCESS_PERM;
    // The folders are listed before any is marked: this thread's own opens would wait on
    // a gate that nobody serves yet.
    QStringList folders;
    QDirIterator it(root, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        folders << it.next();
    bool marked = mark(root, mask, QFileInfo(root).isDir());
    for (const QString& folder : qAsConst(folders))
        marked = marked && mark(folder, mask, true);
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (!marked || m_wakeFd < 0) {
        m_skipReason = QStringLiteral("fanotify cannot watch %1: %2")
                           .arg(root, QString::fromLocal8Bit(std::strerror(errno)));
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_thread = std::thread([this] { serve(); });
}

ReadGate::~ReadGate()
{
    if (m_fd < 0)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_armed = false;
        releaseHeld();
    }
    const quint64 one = 1;
    if (::write(m_wakeFd, &one, sizeof one) != sizeof one)
        qWarning() << "ReadGate: cannot wake its thread";
    m_thread.join();
    // Closing the group lets any event still pending go on too.
    ::close(m_fd);
    ::close(m_wakeFd);
}

bool ReadGate::mark(const QString& path, unsigned long long mask, bool folder)
{
    // A folder's mark covers the files right inside it as well.
    const unsigned long long full =
        folder ? mask | FAN_EVENT_ON_CHILD : mask & ~(unsigned long long)FAN_ONDIR;
    return ::fanotify_mark(m_fd, FAN_MARK_ADD, full, AT_FDCWD,
                           QFile::encodeName(path).constData()) == 0;
}

void ReadGate::holdAfter(int count, int timeoutMs)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_armed = true;
        m_timedOut = false;
        m_allowance = count;
        m_passed = 0;
        m_deadlineMs = nowMs() + timeoutMs;
    }
    const quint64 one = 1; // the thread's wait now has a deadline
    if (::write(m_wakeFd, &one, sizeof one) != sizeof one)
        qWarning() << "ReadGate: cannot wake its thread";
}

bool ReadGate::open()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_armed = false;
    releaseHeld();
    return !m_timedOut;
}

bool ReadGate::isHolding() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_held.empty();
}

bool ReadGate::waitUntilHolding(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        return !m_held.empty() || m_timedOut;
    }) && !m_held.empty();
}

int ReadGate::passed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_passed;
}

void ReadGate::answer(int eventFd, bool allow)
{
    const fanotify_response response{eventFd, allow ? __u32(FAN_ALLOW) : __u32(FAN_DENY)};
    // ENOENT: the reader was killed while held, nothing waits for the answer.
    if (::write(m_fd, &response, sizeof response) != sizeof response && errno != ENOENT)
        qWarning() << "ReadGate: cannot answer:" << std::strerror(errno);
    ::close(eventFd);
}

void ReadGate::releaseHeld()
{
    for (int eventFd : m_held)
        answer(eventFd, true);
    m_held.clear();
    m_changed.notify_all();
}

void ReadGate::serve()
{
    alignas(fanotify_event_metadata) char buffer[8192];
    for (;;) {
        int waitMs = -1;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopping)
                return;
            if (m_armed) {
                const long long left = m_deadlineMs - nowMs();
                if (left <= 0) {
                    qWarning() << "ReadGate: held readers past the timeout; they go on now";
                    m_timedOut = true;
                    m_armed = false;
                    releaseHeld();
                    continue;
                }
                waitMs = int(left);
            }
        }
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, waitMs) < 0 && errno != EINTR)
            return;
        if (fds[1].revents & POLLIN) {
            quint64 count;
            (void)!::read(m_wakeFd, &count, sizeof count);
        }
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length <= 0)
            continue;
        auto* event = reinterpret_cast<const fanotify_event_metadata*>(buffer);
        for (ssize_t left = length; FAN_EVENT_OK(event, left);
             event = FAN_EVENT_NEXT(event, left)) {
            if (event->fd < 0)
                continue;
            if (!(event->mask & (FAN_OPEN_PERM | FAN_ACCESS_PERM))) {
                ::close(event->fd);
                continue;
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_armed || event->pid == m_ownThread) {
                answer(event->fd, true);
            } else if (m_allowance > 0) {
                --m_allowance;
                ++m_passed;
                answer(event->fd, true);
            } else {
                m_held.push_back(event->fd);
                m_changed.notify_all();
            }
        }
    }
}

} // namespace TestSupport
