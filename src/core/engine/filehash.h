#pragma once

#include <QByteArray>
#include <QString>

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

// The SHA-256 digest (32 bytes) of a file's content, read through a symbolic link. Empty when
// the file cannot be opened or read completely, or when the handler stopped the hash.
QByteArray sha256(const QString& path, const MarkHandler& onMark = MarkHandler(),
                  Reading reading = Reading::MayUseCache);

} // namespace FileHash
