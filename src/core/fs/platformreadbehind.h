#pragma once

#include "fs/platformcopy.h"

#include <QtGlobal>

#include <functional>
#include <memory>

// Reads a file again right behind its copy, on a thread of its own: each stretch the copier
// reports copied is read from the page cache, where the copy has just brought it, and handed
// to a sink (a digest). The copy itself keeps the kernel's fastest way of moving data, the
// device reads the source once, and the digest runs beside the copy on another processor.
class PlatformReadBehind
{
public:
    // Given the file's bytes in order, holes as zeros; false stops the reading.
    using Sink = std::function<bool(const char* data, qint64 size)>;
    static constexpr qint64 stretchSize = PlatformCopy::chunkSize;

    explicit PlatformReadBehind(Sink sink);
    // Stops the reading (a copy that failed) and waits for the thread.
    ~PlatformReadBehind();
    PlatformReadBehind(const PlatformReadBehind&) = delete;
    PlatformReadBehind& operator=(const PlatformReadBehind&) = delete;

    // False when its thread could not be started: nothing is read.
    bool isReading() const;

    // The copier has copied the bytes of the file open as fd before end (for
    // PlatformCopy::CopyRequest::observeRead). The first call opens the file again through
    // the descriptor: the copier may close its own.
    void copied(int fd, qint64 end);
    // The copy is complete and the last end given is the file's size: the rest is read and
    // every byte has reached the sink. False, with failure set, when a read failed or the file
    // was shorter than copied.
    bool finish(PlatformCopy::Failure* failure);

private:
    struct State;
    std::unique_ptr<State> mp_state;
};
