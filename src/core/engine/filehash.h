#pragma once

#include "engine/digest.h"
#include "fs/platform.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>

namespace FileHash {

// Progress is reported and stop requests are honoured each time this many bytes were read.
constexpr qint64 markInterval = 16777216;

// Called at every mark with the bytes read so far and the file's size; false stops the hash.
using MarkHandler = std::function<bool(qint64 bytesRead, qint64 fileSize)>;

enum class Reading
{
    MayUseCache,
    // The file's data is written to its device and dropped from the cache first, so that
    // the digest is that of what the device holds.
    FromDevice
};

// Loads the crypto library on the calling thread, which must outlive every hashing
// thread (the main thread). Done lazily on a pool thread instead, the library's state
// for that thread is never freed.
void initialize();

// A file opened to be hashed. With a read-ahead, the system starts reading that many of its
// first bytes in the background when it is opened, so that the files opened before their
// hashes are made come from their devices at the same time. A file that cannot be opened
// is reported by sha256, so that the warnings come in the order of the hashes.
class OpenFile
{
public:
    explicit OpenFile(const QString& path, Reading reading = Reading::MayUseCache,
                      qint64 readAhead = 0);
    ~OpenFile();
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    // The SHA-256 digest as FileHash::sha256 makes it; the file is read once.
    QByteArray sha256(const MarkHandler& onMark = MarkHandler());
    // The same in another algorithm.
    QByteArray digest(Digest::Algorithm algorithm, const MarkHandler& onMark = MarkHandler());

    // From readAsideFromSize on, a file is read on a second thread (PlatformReadAside) while
    // the digest is made of the piece before. Off: read and hashed in turns on the calling
    // thread.
    static constexpr qint64 readAsideFromSize = 8 << 20;
    void setReadAside(bool on) { m_readAside = on; }
    // A run's stop flag (PlatformCopy::CancelFlag): read after every piece, a pause holds the
    // read there and a stop ends it, so that a large file pauses within one piece.
    void setStopFlag(const std::atomic<int>* flag) { m_stopFlag = flag; }

private:
    QString m_path;
    int m_fd = -1;
    qint64 m_size = 0;
    // The file was opened, but its data could not be made to come from its device.
    bool m_fromDeviceFailed = false;
    // A file of a kernel file system: read to its end, whatever its size says.
    bool m_readToEnd = false;
    bool m_readAside = true;
    const std::atomic<int>* m_stopFlag = nullptr;
    Platform::Failure m_failure;
};

// The SHA-256 digest (32 bytes) of a file's content, read through a symbolic link. Empty when
// the file cannot be opened or read completely, or when the handler stopped the hash.
QByteArray sha256(const QString& path, const MarkHandler& onMark = MarkHandler(),
                  Reading reading = Reading::MayUseCache);

} // namespace FileHash
