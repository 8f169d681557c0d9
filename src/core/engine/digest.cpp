#include "engine/digest.h"

#include "fs/filesystemutils.h"
#include "fs/platform.h"
#include "model/runsettings.h"

#include <QThread>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <xxhash.h>
#if defined(__x86_64__)
// The library picks the widest vector unit of the processor (AVX2, AVX-512) at run time, as
// xxhsum does; its plain update keeps to SSE2.
#include <xxh_x86dispatch.h>
#define BRINDLE_XXH3_UPDATE XXH3_128bits_update_dispatch
#else
#define BRINDLE_XXH3_UPDATE XXH3_128bits_update
#endif

namespace {

constexpr qint64 readBlockSize = 1 << 20;

const char* evpName(Digest::Algorithm algorithm)
{
    return algorithm == Digest::Algorithm::Sha256 ? "SHA256" : "BLAKE2B-512";
}

// The library keeps per-thread state (its error queue) that it frees only when the thread
// ends; the owner's wait() returns before that, so a program ending right after a run
// could still hold it. Freed here from the ending thread, before its owner is woken.
void releaseThreadStateWhenThreadEnds()
{
    thread_local bool registered = false;
    QThread* thread = QThread::currentThread();
    if (registered || !thread)
        return;
    registered = true;
    QObject::connect(
        thread, &QThread::finished, thread, [] { OPENSSL_thread_stop(); }, Qt::DirectConnection);
}

} // namespace

struct Digest::State
{
    ~State()
    {
        EVP_MD_CTX_free(context);
        EVP_MD_free(md);
        if (xxh)
            XXH3_freeState(xxh);
    }

    EVP_MD* md = nullptr;
    EVP_MD_CTX* context = nullptr;
    XXH3_state_t* xxh = nullptr;
    bool started = false;
};

Digest::Digest(Algorithm algorithm) : m_algorithm(algorithm), d(new State)
{
    if (algorithm == Algorithm::Xxh3_128) {
        d->xxh = XXH3_createState();
    } else {
        releaseThreadStateWhenThreadEnds();
        d->md = EVP_MD_fetch(nullptr, evpName(algorithm), nullptr);
        d->context = EVP_MD_CTX_new();
    }
    reset();
}

Digest::~Digest() = default;

bool Digest::isValid() const
{
    return d->started;
}

bool Digest::reset()
{
    if (m_algorithm == Algorithm::Xxh3_128)
        d->started = d->xxh && XXH3_128bits_reset(d->xxh) == XXH_OK;
    else
        d->started = d->md && d->context && EVP_DigestInit_ex(d->context, d->md, nullptr) == 1;
    return d->started;
}

bool Digest::update(const char* data, qint64 size)
{
    if (!d->started)
        return false;
    if (m_algorithm == Algorithm::Xxh3_128)
        d->started = BRINDLE_XXH3_UPDATE(d->xxh, data, size_t(size)) == XXH_OK;
    else
        d->started = EVP_DigestUpdate(d->context, data, size_t(size)) == 1;
    return d->started;
}

QByteArray Digest::result()
{
    if (!d->started)
        return QByteArray();
    d->started = false;
    if (m_algorithm == Algorithm::Xxh3_128) {
        XXH128_canonical_t canonical;
        XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(d->xxh));
        return QByteArray(reinterpret_cast<const char*>(canonical.digest), sizeof canonical.digest);
    }
    QByteArray digest(EVP_MAX_MD_SIZE, '\0');
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(d->context, reinterpret_cast<unsigned char*>(digest.data()), &length) !=
        1)
        return QByteArray();
    digest.truncate(int(length));
    return digest;
}

QString Digest::name(Algorithm algorithm)
{
    return QLatin1String(RunSettings::hashNames().at(size_t(algorithm)));
}

const std::array<Digest::Algorithm, 3>& Digest::all()
{
    static const std::array<Algorithm, 3> algorithms{Algorithm::Sha256, Algorithm::Blake2b512,
                                                     Algorithm::Xxh3_128};
    return algorithms;
}

bool Digest::fromName(const QString& name, Algorithm* algorithm)
{
    const int found = RunSettings::hashAlgorithmNamed(name);
    if (found >= 0)
        *algorithm = Algorithm(found);
    return found >= 0;
}

int Digest::size(Algorithm algorithm)
{
    return algorithm == Algorithm::Sha256 ? 32 : algorithm == Algorithm::Blake2b512 ? 64 : 16;
}

QByteArray Digest::tag(Algorithm algorithm)
{
    return algorithm == Algorithm::Sha256       ? QByteArrayLiteral("SHA256")
           : algorithm == Algorithm::Blake2b512 ? QByteArrayLiteral("BLAKE2b")
                                                : QByteArrayLiteral("XXH128");
}

QByteArray Digest::ofFile(const QString& path, Algorithm algorithm, bool fromDevice, QString* error,
                          const std::atomic_bool* cancel)
{
    qint64 size = 0;
    // Only a regular file: a FIFO could block, a device never end.
    const int fd = Platform::openRegularFile(path, &size);
    if (fd < 0) {
        *error = FileSystemUtils::lastErrorText(Platform::lastFailedCall());
        return QByteArray();
    }
    Digest digest(algorithm);
    const Platform::ReadBuffer buffer = Platform::allocateReadBuffer(readBlockSize);
    bool read = !fromDevice || Platform::dropCachedData(fd);
    while (read) {
        const qint64 count = Platform::readFile(fd, buffer.get(), readBlockSize);
        if (count <= 0) {
            read = count == 0;
            break;
        }
        digest.update(buffer.get(), count);
        if (cancel && *cancel) {
            Platform::closeFile(fd);
            *error = QStringLiteral("cancelled");
            return QByteArray();
        }
    }
    if (!read)
        *error = FileSystemUtils::lastErrorText(Platform::lastFailedCall());
    Platform::closeFile(fd);
    const QByteArray result = read ? digest.result() : QByteArray();
    if (read && result.isEmpty())
        *error = QStringLiteral("digest failed");
    return result;
}
