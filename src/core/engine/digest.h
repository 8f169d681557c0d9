#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <atomic>
#include <memory>

// The digest of bytes given in pieces, in one of the algorithms whose checksum lists the
// usual command-line tools read: SHA-256 (sha256sum), BLAKE2b-512 (b2sum) and XXH3-128
// (xxhsum -H2).
class Digest
{
    Q_GADGET

public:
    enum class Algorithm
    {
        Sha256,
        Blake2b512,
        Xxh3_128
    };
    Q_ENUM(Algorithm)

    explicit Digest(Algorithm algorithm);
    ~Digest();
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;

    Algorithm algorithm() const { return m_algorithm; }
    // False when the library could not start the algorithm; update and result then fail.
    bool isValid() const;
    // Starts again with no bytes.
    bool reset();
    bool update(const char* data, qint64 size);
    // The digest's bytes, as the tools print them in hexadecimal (XXH3 in its canonical,
    // big-endian form); empty on failure. The digest must be reset before it is used again.
    QByteArray result();

    // Every algorithm, in the order of the enum.
    static const std::array<Algorithm, 3>& all();
    // "sha256", "blake2b", "xxh3": the names options and settings store.
    static QString name(Algorithm algorithm);
    static bool fromName(const QString& name, Algorithm* algorithm);
    // The digest's size in bytes.
    static int size(Algorithm algorithm);
    // The algorithm's word in a tagged ("BSD") line: SHA256, BLAKE2b, XXH128.
    static QByteArray tag(Algorithm algorithm);

    // The digest of a file's content, read through a symbolic link. fromDevice: its data is
    // written to its device and dropped from the cache first, so that the digest is that of
    // what the device holds. Empty, with error set, when the file cannot be read or cancel
    // was set while it was read.
    static QByteArray ofFile(const QString& path, Algorithm algorithm, bool fromDevice,
                             QString* error, const std::atomic_bool* cancel = nullptr);

private:
    struct State;
    Algorithm m_algorithm;
    std::unique_ptr<State> d;
};
