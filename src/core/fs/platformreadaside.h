#pragma once

#include <QtGlobal>

#include <memory>

// Reads an open file from its start to its end in large pieces on a thread of its own, a few
// pieces ahead of the caller, so that the device's reading and the caller's work on the piece
// before (a digest) overlap instead of taking turns. The kernel is asked to read two pieces
// ahead of the thread, whatever its own read-ahead for the device is.
class PlatformReadAside
{
public:
    // Divides FileHash::markInterval, so that the marks fall between two pieces.
    static constexpr qint64 pieceSize = 4 << 20;

    // fd stays the caller's, at its start; it must stay open until this object is gone.
    explicit PlatformReadAside(int fd);
    // Stops the reading and waits for the thread.
    ~PlatformReadAside();
    PlatformReadAside(const PlatformReadAside&) = delete;
    PlatformReadAside& operator=(const PlatformReadAside&) = delete;

    // False when its thread could not be started: the caller reads the file itself.
    bool isReading() const;
    // The next piece, valid until the next call: pieceSize bytes but at the end; 0 bytes at
    // the end, -1 (with the failure recorded for this thread, Platform::lastFailure) when a
    // read failed.
    qint64 next(const char** data);

private:
    struct State;
    std::unique_ptr<State> mp_state;
};
