#include "engine/filehash.h"

#include "fs/filesystemutils.h"
#include "fs/platformcopy.h"
#include "fs/platformreadaside.h"

#include <QDebug>
#include <QFileInfo>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <memory>

namespace {

// Large reads keep the system calls few; each read ends at the next mark at the latest, so
// the marks fall on exact multiples even when the system returns less than asked.
constexpr qint64 readBlockSize = 1048576;

// What a hashing thread keeps from one file to the next: starting an algorithm and
// allocating a context and a buffer for every small file costs more than hashing it.
struct HashingState
{
    std::unique_ptr<Digest> digests[3];
    Platform::ReadBuffer buffer;
};

thread_local HashingState t_state;

// The thread's digest of that algorithm, started afresh; null when that fails.
Digest* startDigest(Digest::Algorithm algorithm)
{
    std::unique_ptr<Digest>& digest = t_state.digests[int(algorithm)];
    if (!digest)
        digest.reset(new Digest(algorithm));
    return digest->reset() ? digest.get() : nullptr;
}

char* readBuffer()
{
    if (!t_state.buffer)
        t_state.buffer = Platform::allocateReadBuffer(readBlockSize);
    return t_state.buffer.get();
}

// The file the messages name: the target of a symbolic link, the path otherwise.
QString reportedPath(const QString& path)
{
    const QFileInfo linkInfo(path);
    return linkInfo.isSymLink() ? linkInfo.symLinkTarget() : path;
}

} // namespace

void FileHash::initialize()
{
    OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CONFIG, nullptr);
}

FileHash::OpenFile::OpenFile(const QString& path, Reading reading, qint64 readAhead) : m_path(path)
{
    // Opening a FIFO could block until a writer comes, and a device may never end: only
    // regular files are kept open.
    m_fd = Platform::openRegularFile(path, &m_size);
    if (m_fd < 0)
        return;
    // Such a file has no device to read from, nor a size to read ahead.
    m_readToEnd = Platform::isPseudoFile(path, m_size);
    if (m_readToEnd)
        return;
    // A write error that only the write-back reveals means the device does not hold the
    // data.
    if (reading == Reading::FromDevice && !Platform::dropCachedData(m_fd)) {
        m_fromDeviceFailed = true;
        m_failure = Platform::lastFailure();
        return;
    }
    if (readAhead > 0)
        Platform::readAhead(m_fd, qMin(readAhead, m_size));
}

FileHash::OpenFile::~OpenFile()
{
    Platform::closeFile(m_fd);
}

QByteArray FileHash::OpenFile::sha256(const MarkHandler& onMark)
{
    return digest(Digest::Algorithm::Sha256, onMark);
}

QByteArray FileHash::OpenFile::digest(Digest::Algorithm algorithm, const MarkHandler& onMark)
{
    Digest* context = startDigest(algorithm);
    if (!context) {
        qWarning() << "Unable to start the SHA-256 digest of file"
                   << qUtf8Printable(reportedPath(m_path));
        return QByteArray();
    }
    if (m_fd < 0) {
        qWarning() << "Unable to open file" << qUtf8Printable(reportedPath(m_path))
                   << "to compute its hash";
        return QByteArray();
    }
    if (m_fromDeviceFailed) {
        qWarning() << "Unable to read file" << qUtf8Printable(reportedPath(m_path))
                   << "from its device";
        Platform::recordFailure(m_failure.call, m_failure.code);
        FileSystemUtils::lastErrorText(Platform::lastFailedCall());
        return QByteArray();
    }

    std::unique_ptr<PlatformReadAside> aside;
    if (m_readAside && !m_readToEnd && m_size >= readAsideFromSize) {
        aside.reset(new PlatformReadAside(m_fd));
        if (!aside->isReading())
            aside.reset();
    }
    char* buffer = readBuffer();
    qint64 total = 0;
    bool aborted = false;
    for (;;) {
        // The pieces read aside divide the interval between two marks.
        static_assert(markInterval % PlatformReadAside::pieceSize == 0, "marks between pieces");
        const char* data = buffer;
        const qint64 wanted = aside ? PlatformReadAside::pieceSize
                                    : qMin(readBlockSize, markInterval - total % markInterval);
        const qint64 bytesRead =
            aside ? aside->next(&data) : Platform::readFile(m_fd, buffer, wanted);
        if (bytesRead == 0)
            break;
        if (bytesRead < 0) {
            qWarning() << "Error occurred in read data of file"
                       << qUtf8Printable(reportedPath(m_path));
            aborted = true;
            break;
        }
        if (!context->update(data, bytesRead)) {
            qWarning() << "Unable to update the SHA-256 digest of file"
                       << qUtf8Printable(reportedPath(m_path));
            aborted = true;
            break;
        }
        total += bytesRead;
        if (m_stopFlag && PlatformCopy::isCancelled(m_stopFlag)) {
            aside.reset();
            Platform::closeFile(m_fd);
            m_fd = -1;
            return QByteArray(); // stopped: not a fault of the file
        }
        if (total % markInterval == 0 && onMark && !onMark(total, m_size)) {
            qWarning() << "Integrity check stopped for file"
                       << qUtf8Printable(reportedPath(m_path));
            aborted = true;
            break;
        }
        if (m_readToEnd && total > Platform::maxPseudoFileBytes) {
            qWarning() << "File" << qUtf8Printable(reportedPath(m_path)) << "has no end";
            aborted = true;
            break;
        }
        // Less than asked where the file should end is its end: no further call to hear it.
        // A file that grew since it was opened still shows, as more than its size.
        if (bytesRead < wanted && total >= m_size && !m_readToEnd)
            break;
    }
    aside.reset();
    Platform::closeFile(m_fd);
    m_fd = -1;

    if (total != m_size && !m_readToEnd) {
        qWarning() << "Unable to read all the data in the file"
                   << qUtf8Printable(reportedPath(m_path)) << total << "bytes read of" << m_size;
        return QByteArray();
    }
    if (aborted)
        return QByteArray();

    const QByteArray result = context->result();
    if (result.isEmpty())
        qWarning() << "Unable to complete the SHA-256 digest of file"
                   << qUtf8Printable(reportedPath(m_path));
    return result;
}

QByteArray FileHash::sha256(const QString& path, const MarkHandler& onMark, Reading reading)
{
    OpenFile file(path, reading);
    return file.sha256(onMark);
}
