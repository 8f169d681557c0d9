#include "fs/platformreadbehind.h"

#include "fs/platform.h"

#include <QByteArray>

#include <cerrno>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <system_error>
#include <thread>
#include <unistd.h>

struct PlatformReadBehind::State
{
    Sink sink;
    std::mutex mutex;
    std::condition_variable changed;
    int fd = -1;
    qint64 copiedEnd = 0;
    bool finishing = false;
    bool stopping = false;
    bool done = false;
    bool failed = false;
    PlatformCopy::Failure failure;
    std::thread thread;
    Platform::ReadBuffer buffer;

    bool fail(const char* call, int code)
    {
        failure.call = call;
        failure.code = code;
        return false;
    }

    bool readStretch(int from, qint64 offset, qint64 length)
    {
        if (!buffer)
            buffer = Platform::allocateReadBuffer(stretchSize);
        qint64 got = 0;
        while (got < length) {
            const ssize_t n = ::pread(from, buffer.get() + got, size_t(length - got), offset + got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return fail("read", errno);
            if (n == 0)
                return fail("read", ENODATA); // shorter than the copy
            got += n;
        }
        return sink(buffer.get(), got) || fail("read", EIO);
    }

    void run()
    {
        qint64 next = 0;
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [&] {
                return stopping || failed || finishing ||
                       (fd >= 0 && copiedEnd >= next + stretchSize);
            });
            if (stopping)
                return;
            const qint64 end = finishing ? qMin(copiedEnd, next + stretchSize) : next + stretchSize;
            if (failed || next >= end || fd < 0) {
                done = true;
                changed.notify_all();
                return;
            }
            const int from = fd;
            lock.unlock();
            const bool ok = readStretch(from, next, end - next);
            lock.lock();
            next = end;
            failed = failed || !ok;
        }
    }
};

PlatformReadBehind::PlatformReadBehind(Sink sink) : mp_state(new State)
{
    mp_state->sink = std::move(sink);
    try {
        mp_state->thread = std::thread(&State::run, mp_state.get());
    } catch (const std::system_error&) {
        // Out of threads: isReading tells the caller to read the bytes another way.
    }
}

bool PlatformReadBehind::isReading() const
{
    return mp_state->thread.joinable();
}

PlatformReadBehind::~PlatformReadBehind()
{
    {
        std::lock_guard<std::mutex> lock(mp_state->mutex);
        mp_state->stopping = true;
    }
    mp_state->changed.notify_all();
    if (mp_state->thread.joinable())
        mp_state->thread.join();
    if (mp_state->fd >= 0)
        ::close(mp_state->fd);
}

void PlatformReadBehind::copied(int fd, qint64 end)
{
    std::lock_guard<std::mutex> lock(mp_state->mutex);
    if (mp_state->fd < 0 && !mp_state->failed) {
        // A description of its own, so that the copier's file position stays its own.
        const QByteArray name = QByteArray("/proc/self/fd/") + QByteArray::number(fd);
        mp_state->fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (mp_state->fd < 0) {
            mp_state->failed = true;
            mp_state->fail("open", errno);
        }
    }
    if (end > mp_state->copiedEnd)
        mp_state->copiedEnd = end;
    mp_state->changed.notify_all();
}

bool PlatformReadBehind::finish(PlatformCopy::Failure* failure)
{
    std::unique_lock<std::mutex> lock(mp_state->mutex);
    mp_state->finishing = true;
    mp_state->changed.notify_all();
    mp_state->changed.wait(lock, [this] { return mp_state->done; });
    if (mp_state->failed && failure)
        *failure = mp_state->failure;
    return !mp_state->failed;
}
