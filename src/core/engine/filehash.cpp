#include "engine/filehash.h"

#include "fs/filesystemutils.h"
#include "fs/platform.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <memory>

namespace {

// Large reads keep the system calls few; each read ends at the next mark at the latest, so
// the marks fall on exact multiples even when the system returns less than asked.
constexpr qint64 readBlockSize = 1048576;

struct DigestContextDeleter
{
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextDeleter>;

} // namespace

void FileHash::initialize()
{
    OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CONFIG, nullptr);
}

QByteArray FileHash::sha256(const QString& path, const MarkHandler& onMark, Reading reading)
{
    const QFileInfo linkInfo(path);
    const QString filePath = linkInfo.isSymLink() ? linkInfo.symLinkTarget() : path;

    DigestContext context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        qWarning() << "Unable to start the SHA-256 digest of file" << qUtf8Printable(filePath);
        return QByteArray();
    }

    QFile file(filePath);
    // Opening a FIFO blocks until a writer comes, and a device may never end: only regular
    // files are read.
    if (!QFileInfo(filePath).isFile() || !file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        qWarning() << "Unable to open file" << qUtf8Printable(filePath) << "to compute its hash";
        return QByteArray();
    }
    // A write error that only the flush reveals means the device does not hold the data.
    if (reading == Reading::FromDevice && !Platform::dropCachedData(file.handle())) {
        qWarning() << "Unable to read file" << qUtf8Printable(filePath) << "from its device";
        FileSystemUtils::lastErrorText(Platform::lastFailedCall());
        return QByteArray();
    }

    const qint64 size = file.size();
    qint64 total = 0;
    bool aborted = false;
    QByteArray buffer(int(readBlockSize), Qt::Uninitialized);
    while (!file.atEnd()) {
        const qint64 toNextMark = markInterval - total % markInterval;
        const qint64 bytesRead = file.read(buffer.data(), qMin(readBlockSize, toNextMark));
        if (bytesRead <= 0) {
            qWarning() << "Error occurred in read data of file" << qUtf8Printable(filePath);
            aborted = true;
            break;
        }
        if (EVP_DigestUpdate(context.get(), buffer.constData(), size_t(bytesRead)) != 1) {
            qWarning() << "Unable to update the SHA-256 digest of file" << qUtf8Printable(filePath);
            aborted = true;
            break;
        }
        total += bytesRead;
        if (total % markInterval == 0 && onMark && !onMark(total, size)) {
            qWarning() << "Integrity check stopped for file" << qUtf8Printable(filePath);
            aborted = true;
            break;
        }
    }
    file.close();

    if (total != size) {
        qWarning() << "Unable to read all the data in the file" << qUtf8Printable(filePath) << total
                   << "bytes read of" << size;
        return QByteArray();
    }
    if (aborted)
        return QByteArray();

    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
        qWarning() << "Unable to complete the SHA-256 digest of file" << qUtf8Printable(filePath);
        return QByteArray();
    }
    return QByteArray(reinterpret_cast<const char*>(digest), int(length));
}
