#include "engine/copyverification.h"

#include "engine/filehash.h"
#include "fs/filesystemutils.h"
#include "fs/platformcopy.h"
#include "fs/platformreadbehind.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

QMutex hookMutex;
CopyVerification::TamperHook tamperHook;

// Copies of a group opened ahead of the one hashed.
constexpr int readBackWindow = 32;
// Read ahead of each at most (grouped copies are below 8 MiB).
constexpr qint64 readBackAhead = 8 << 20;

thread_local std::unique_ptr<Digest> t_digests[3];

// Paths from this many bytes on are reached through their folder held open.
constexpr int longPathBytes = 3072;

// A name the system takes for the entry at path below root, however long path is: through
// its folder held open by pin (/proc/self/fd/N/name) when path is too long to be named.
QString reachable(const QString& root, const QString& path, PlatformCopy::PinnedFolder* pin)
{
    if (root.isEmpty() || QFile::encodeName(path).size() < longPathBytes)
        return path;
    const QFileInfo info(path);
    PlatformCopy::Failure failure;
    if (!pin->pin(root, -1, info.absolutePath(), &failure))
        return path;
    return pin->entryPath(info.fileName(), path);
}

Digest* threadDigest(Digest::Algorithm algorithm)
{
    std::unique_ptr<Digest>& digest = t_digests[int(algorithm)];
    if (!digest)
        digest.reset(new Digest(algorithm));
    return digest.get();
}

// The file copier's texts.
QString text(const char* source)
{
    return QCoreApplication::translate("CopyFileObject", source);
}

} // namespace

// The hashing thread of a large source: the copy's thread copies each piece into a buffer
// of the queue, the hashing thread takes them in order. At most maxQueued wait, so a slow
// digest holds the copy back instead of filling the memory.
struct CopyVerification::Aside
{
    static constexpr size_t maxQueued = 16;

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::vector<char>> queue;
    std::vector<std::vector<char>> spare;
    bool ending = false;
    bool failed = false;
    std::thread thread;

    void give(const char* data, qint64 size)
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return queue.size() < maxQueued; });
        std::vector<char> buffer;
        if (!spare.empty()) {
            buffer = std::move(spare.back());
            spare.pop_back();
        }
        buffer.assign(data, data + size);
        queue.push_back(std::move(buffer));
        changed.notify_all();
    }

    void hash(Digest* digest)
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return !queue.empty() || ending; });
            if (queue.empty())
                return;
            std::vector<char> buffer = std::move(queue.front());
            queue.pop_front();
            changed.notify_all();
            lock.unlock();
            const bool ok = digest->update(buffer.data(), qint64(buffer.size()));
            lock.lock();
            failed = failed || !ok;
            spare.push_back(std::move(buffer));
        }
    }
};

CopyVerification::CopyVerification(Digest::Algorithm algorithm) : m_digest(threadDigest(algorithm))
{
}

CopyVerification::~CopyVerification()
{
    m_behind.reset();
    stopAside();
}

void CopyVerification::stopAside()
{
    if (!m_aside)
        return;
    {
        std::lock_guard<std::mutex> lock(m_aside->mutex);
        m_aside->ending = true;
    }
    m_aside->changed.notify_all();
    m_aside->thread.join();
    m_failed = m_failed || m_aside->failed;
    m_aside.reset();
}

std::function<void(const char*, qint64)> CopyVerification::startSource(qint64 size)
{
    stopAside();
    m_failed = !m_digest->reset();
    if (size >= hashAsideFromSize && !m_failed) {
        // The digest is the copy thread's; it waits in sourceDigest until this thread ends.
        auto aside = std::make_unique<Aside>();
        try {
            aside->thread = std::thread(&Aside::hash, aside.get(), m_digest);
            m_aside = std::move(aside);
        } catch (const std::system_error&) {
            // Out of threads: hashed on the copy's own.
        }
    }
    if (m_aside) {
        Aside* aside = m_aside.get();
        return [aside](const char* data, qint64 length) { aside->give(data, length); };
    }
    return [this](const char* data, qint64 length) {
        if (!m_failed && !m_digest->update(data, length))
            m_failed = true;
    };
}

QByteArray CopyVerification::sourceDigest()
{
    if (m_behind) {
        PlatformCopy::Failure failure;
        if (!m_behind->finish(&failure)) {
            qWarning() << "Unable to read the source again behind its copy:" << failure.call
                       << failure.code;
            m_failed = true;
        }
        m_behind.reset();
    }
    stopAside();
    return m_failed ? QByteArray() : m_digest->result();
}

void CopyVerification::prepare(PlatformCopy::CopyRequest* request, qint64 size)
{
    m_behind.reset();
    request->leaveTemporary = true;
    request->observeSource = nullptr;
    request->observeRead = nullptr;
    if (size >= hashAsideFromSize) {
        stopAside();
        m_failed = !m_digest->reset();
        // The digest is this thread's; it waits in sourceDigest until the reading thread ends.
        Digest* digest = m_digest;
        m_behind.reset(new PlatformReadBehind(
            [digest](const char* data, qint64 length) { return digest->update(data, length); }));
    }
    if (!m_behind || !m_behind->isReading()) {
        m_behind.reset();
        request->observeSource = startSource(size);
        return;
    }
    PlatformReadBehind* behind = m_behind.get();
    request->observeRead = [behind](int fd, qint64 end) { behind->copied(fd, end); };
}

CopyVerification::Check CopyVerification::check(const QString& path, const QByteArray& expected,
                                                int attempt, const QString& root,
                                                const std::atomic<int>* stopFlag) const
{
    return checkCopy(path, algorithm(), expected, true, attempt, root, stopFlag);
}

void CopyVerification::tamper(const QString& path, int attempt)
{
    TamperHook hook;
    {
        QMutexLocker locker(&hookMutex);
        hook = tamperHook;
    }
    if (hook)
        hook(path, attempt);
}

CopyVerification::Check CopyVerification::checkCopy(const QString& path,
                                                    Digest::Algorithm algorithm,
                                                    const QByteArray& expected, bool flush,
                                                    int attempt, const QString& root,
                                                    const std::atomic<int>* stopFlag)
{
    tamper(path, attempt);
    PlatformCopy::PinnedFolder pin;
    const QString at = reachable(root, path, &pin);
    PlatformCopy::Failure failure;
    if (flush && !PlatformCopy::flushToDisk(at, &failure)) {
        qWarning() << "Unable to flush the copy" << qUtf8Printable(path) << failure.call
                   << failure.code;
        return Check::Unreadable;
    }
    // Its pages are written back and dropped first: the digest is of what the device holds.
    FileHash::OpenFile copy(at, FileHash::Reading::FromDevice);
    copy.setStopFlag(stopFlag);
    return compare(copy, path, algorithm, expected, attempt);
}

void CopyVerification::removeCopy(const QString& path, const QString& root)
{
    PlatformCopy::PinnedFolder pin;
    FileSystemUtils::removeFile(reachable(root, path, &pin));
}

CopyVerification::Check CopyVerification::compare(FileHash::OpenFile& copy, const QString& path,
                                                  Digest::Algorithm algorithm,
                                                  const QByteArray& expected, int attempt)
{
    const QByteArray digest = copy.digest(algorithm);
    if (digest.isEmpty() || expected.isEmpty())
        return Check::Unreadable;
    if (digest == expected)
        return Check::Equal;
    qWarning() << "The copy" << qUtf8Printable(path) << "differs from its source, attempt"
               << attempt;
    return Check::Differs;
}

CopyVerification::GroupReadBack::GroupReadBack(const QStringList& paths,
                                               Digest::Algorithm algorithm, const QString& root)
    : m_paths(paths), m_algorithm(algorithm), m_root(root)
{
}

CopyVerification::GroupReadBack::~GroupReadBack() = default;

CopyVerification::Check CopyVerification::GroupReadBack::check(int index,
                                                               const QByteArray& expected)
{
    for (; m_opened < m_paths.size() && m_opened <= index + readBackWindow; ++m_opened) {
        const QString& path = m_paths.at(m_opened);
        if (path.isEmpty() || m_opened < index)
            continue;
        tamper(path, 1);
        // Open, the file stays reachable without its folder.
        PlatformCopy::PinnedFolder pin;
        m_files[m_opened].reset(new FileHash::OpenFile(
            reachable(m_root, path, &pin), FileHash::Reading::FromDevice, readBackAhead));
    }
    const auto found = m_files.find(index);
    if (found == m_files.end())
        return Check::Unreadable;
    const std::unique_ptr<FileHash::OpenFile> file = std::move(found->second);
    m_files.erase(found);
    // Those passed over (decided otherwise meanwhile) are closed.
    m_files.erase(m_files.begin(), m_files.lower_bound(index));
    return compare(*file, m_paths.at(index), m_algorithm, expected, 1);
}

void CopyVerification::setTamperHook(const TamperHook& hook)
{
    QMutexLocker locker(&hookMutex);
    tamperHook = hook;
}

QString CopyVerification::verifiedNote()
{
    return text(QT_TRANSLATE_NOOP("CopyFileObject", "copy verified"));
}

QString CopyVerification::copiedAgainNote()
{
    return text(QT_TRANSLATE_NOOP("CopyFileObject",
                                  "the copy differed from its source and was copied again"));
}

QString CopyVerification::differsError()
{
    return text(
        QT_TRANSLATE_NOOP("CopyFileObject", "copy differs from its source after two attempts"));
}

QString CopyVerification::unreadableError()
{
    return text(QT_TRANSLATE_NOOP("CopyFileObject", "unable to read the copy back"));
}
