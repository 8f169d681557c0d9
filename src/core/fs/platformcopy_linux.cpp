#include "fs/platformcopy.h"

#include "fs/pathutils.h"
#include "fs/platformcopy_linux_p.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/falloc.h>
#include <linux/fs.h>
#include <linux/futex.h>
#include <memory>
#include <set>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

// The data of a copy: the movers, files with holes, the copy of one file and the
// comparison of two.

namespace PlatformCopy {

using namespace LinuxInternal;

static_assert(sizeof(std::atomic<int>) == sizeof(int) && std::atomic<int>::is_always_lock_free,
              "a cancel flag is waited on as a plain int");

void setCancelFlag(std::atomic<int>* flag, int value)
{
    if (flag->exchange(value) == FlagPaused && value != FlagPaused)
        ::syscall(SYS_futex, reinterpret_cast<int*>(flag), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr,
                  nullptr, 0);
}

bool isCancelled(const std::atomic<int>* flag)
{
    if (!flag)
        return false;
    int value = flag->load(std::memory_order_acquire);
    // A wait cut short by a signal, or woken by another change, looks again.
    while (value == FlagPaused) {
        ::syscall(SYS_futex, reinterpret_cast<const int*>(flag), FUTEX_WAIT_PRIVATE, FlagPaused,
                  nullptr, nullptr, 0);
        value = flag->load(std::memory_order_acquire);
    }
    return value != FlagRunning;
}

namespace {

using SourceObserver = std::function<void(const char*, qint64)>;

// Gives the observer the zeros of a hole of length bytes.
void observeZeros(const SourceObserver& observe, qint64 length)
{
    static const char zeros[65536] = {};
    for (; length > 0; length -= qint64(sizeof(zeros)))
        observe(zeros, qMin(length, qint64(sizeof(zeros))));
}

// Errors by which the kernel says that a mover does not work for these two files, as
// opposed to a failure of the copy itself.
bool isUnsupported(int code)
{
    return code == ENOSYS || code == EXDEV || code == EOPNOTSUPP || code == EINVAL || code == EBADF;
}

DataMover nextMover(DataMover mover)
{
    return mover == ReadWrite ? ReadWrite : static_cast<DataMover>(mover + 1);
}

// Reads one buffer (at most length bytes) and writes all of it. Returns the bytes moved, 0
// at the end, or -1 with errno set and failedCall naming the call.
ssize_t readWriteChunk(int inFd, int outFd, char* buffer, size_t length, const char** failedCall,
                       const SourceObserver& observe)
{
    ssize_t got;
    do {
        got = ::read(inFd, buffer, qMin(length, static_cast<size_t>(bufferSize)));
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
        *failedCall = "read";
        return got;
    }
    if (observe)
        observe(buffer, got);
    ssize_t written = 0;
    while (written < got) {
        const ssize_t put = ::write(outFd, buffer + written, static_cast<size_t>(got - written));
        if (put < 0) {
            if (errno == EINTR)
                continue;
            *failedCall = "write";
            return -1;
        }
        written += put;
    }
    return got;
}

} // namespace

bool fileVersion(int fd, FileVersion* version)
{
    struct stat status;
    if (::fstat(fd, &status) != 0)
        return false;
    *version = versionOf(status);
    return true;
}

bool fileVersion(const QString& path, FileVersion* version)
{
    struct stat status;
    if (::stat(Platform::ReachablePath(path).c_str(), &status) != 0)
        return false;
    *version = versionOf(status);
    return true;
}

const char* moverCallName(DataMover mover)
{
    switch (mover) {
    case Clone:
        return "ioctl";
    case CopyFileRange:
        return "copy_file_range";
    case SendFile:
        return "sendfile";
    case ReadWrite:
        return "read";
    }
    return "";
}

namespace {

// Files from this size on are written back while the copy goes on, so that the flush before
// the final name waits only for the last chunks.
constexpr qint64 writeBackFromSize = 2 * chunkSize;

// File systems of this thread on which a clone was refused: not tried again for each file.
thread_local std::set<dev_t> t_noCloneDevices;

// A chunk that takes longer than this on a slow device is halved, so that a pause or a stop,
// read between chunks, takes effect within about a tenth of a second; after a run of quick
// ones it doubles again, up to chunkSize. (Read-ahead makes some chunks of a slow device
// quick: one quick chunk proves nothing.)
constexpr qint64 slowChunkNs = 40'000'000;
constexpr qint64 quickChunkNs = 10'000'000;
constexpr qint64 smallestChunk = 256 * 1024;
constexpr int quickChunksToGrow = 8;

struct ChunkSize
{
    qint64 bytes = chunkSize;
    int quickInARow = 0;

    void took(qint64 ns)
    {
        quickInARow = ns < quickChunkNs ? quickInARow + 1 : 0;
        if (ns > slowChunkNs) {
            bytes = qMax(smallestChunk, bytes / 2);
        } else if (quickInARow >= quickChunksToGrow && bytes < chunkSize) {
            bytes *= 2;
            quickInARow = 0;
        }
    }
};

qint64 monotonicNs()
{
    struct timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

bool isCloneRefusal(int code)
{
    return code == EOPNOTSUPP || code == ENOTTY || code == EINVAL || code == ENOSYS ||
           code == EBADF;
}

// Moves the data from the current positions until the end of the input, or, with
// stopAtTotal, until total bytes are moved (what follows is a change the caller detects).
// mover is the mover to begin with and, on return, the one in use at the end. base is where
// these bytes begin in the copy, counted from where the copy began: progress reports
// base + the bytes moved, of reportedTotal (-1: total), and the write-back starts there.
bool moveData(int inFd, int outFd, qint64 total, const std::atomic<int>* cancelFlag,
              const ProgressFunction& progress, Failure* failure, DataMover& mover,
              bool stopAtTotal, bool writeBack, qint64 base = 0, qint64 reportedTotal = -1,
              const SourceObserver& observe = SourceObserver())
{
    Platform::ReadBuffer buffer;
    qint64 copied = 0;
    ChunkSize chunk;
    for (;;) {
        if (isCancelled(cancelFlag))
            return fail(failure, moverCallName(mover), ECANCELED);
        if (stopAtTotal && copied >= total && total > 0)
            break;
        // Never past total when stopping there: a stretch of data ends where a hole begins.
        const size_t length = static_cast<size_t>(
            stopAtTotal && total > 0 ? qMin(chunk.bytes, total - copied) : chunk.bytes);
        const qint64 started = monotonicNs();
        const char* failedCall = moverCallName(mover);
        ssize_t moved;
        switch (mover) {
        case CopyFileRange:
            moved = ::copy_file_range(inFd, nullptr, outFd, nullptr, length, 0);
            break;
        case SendFile:
            moved = ::sendfile(outFd, inFd, nullptr, length);
            break;
        default:
            if (!buffer)
                buffer = Platform::allocateReadBuffer(bufferSize);
            moved = readWriteChunk(inFd, outFd, buffer.get(), length, &failedCall, observe);
            break;
        }
        if (moved < 0) {
            const int code = errno;
            if (code == EINTR)
                continue;
            if (mover != ReadWrite && copied == 0 && isUnsupported(code)) {
                mover = nextMover(mover);
                continue;
            }
            return fail(failure, failedCall, code);
        }
        if (moved == 0) {
            // Some file systems (proc-like, some FUSE) give nothing through the kernel
            // paths although the file has data.
            if (copied == 0 && total > 0 && mover != ReadWrite) {
                mover = nextMover(mover);
                continue;
            }
            break;
        }
        if (writeBack)
            ::sync_file_range(outFd, base + copied, moved, SYNC_FILE_RANGE_WRITE);
        chunk.took(monotonicNs() - started);
        copied += moved;
        if (progress)
            progress(base + copied, reportedTotal < 0 ? total : reportedTotal);
    }
    return true;
}

bool mayHaveHoles(const struct stat& status)
{
    return S_ISREG(status.st_mode) && status.st_size > 0 &&
           qint64(status.st_blocks) * 512 < qint64(status.st_size);
}

enum class RegionCopy
{
    Copied,
    Failed,
    Unsupported // nothing written: the caller copies every byte instead
};

// Copies the stretches of data of inFd between inStart and end (its size when the copy
// began), each to the same place of outFd counted from outStart, and seeks over the holes
// between them, which the output keeps as holes; at the end the output is extended to its
// full length (a hole at the end is never written). Progress counts from inStart, holes
// included, of total. A change of the source meanwhile is the caller's to detect.
RegionCopy moveDataRegions(int inFd, int outFd, qint64 inStart, qint64 outStart, qint64 end,
                           qint64 total, const std::atomic<int>* cancelFlag,
                           const ProgressFunction& progress, Failure* failure, DataMover& mover,
                           bool writeBack, const SourceObserver& observe = SourceObserver())
{
    qint64 offset = inStart;
    // Where the bytes given to the observer end: a hole before the next stretch is zeros.
    qint64 observed = inStart;
    while (offset < end) {
        if (isCancelled(cancelFlag)) {
            fail(failure, moverCallName(mover), ECANCELED);
            return RegionCopy::Failed;
        }
        qint64 start = end;
        qint64 stop = end;
        const DataSearch found = findData(inFd, offset, &start, &stop, failure);
        if (found == DataSearch::Unsupported && offset == inStart)
            return RegionCopy::Unsupported;
        if (found == DataSearch::Failed)
            return RegionCopy::Failed;
        if (found == DataSearch::Unsupported) {
            // Cannot happen on one file system; were it to, the rest counts as data.
            start = offset;
            stop = end;
        }
        if (found == DataSearch::NoMoreData || start >= end)
            break;
        stop = qMin(stop, end);
        if (::lseek(inFd, start, SEEK_SET) < 0 ||
            ::lseek(outFd, outStart + (start - inStart), SEEK_SET) < 0) {
            fail(failure, "lseek", errno);
            return RegionCopy::Failed;
        }
        if (observe)
            observeZeros(observe, start - observed);
        if (!moveData(inFd, outFd, stop - start, cancelFlag, progress, failure, mover, true,
                      writeBack, start - inStart, total, observe))
            return RegionCopy::Failed;
        offset = stop;
        observed = stop;
    }
    if (observe)
        observeZeros(observe, end - observed);
    struct stat output;
    const qint64 length = outStart + (end - inStart);
    if (::fstat(outFd, &output) != 0 ||
        (output.st_size < length && ::ftruncate(outFd, length) != 0)) {
        fail(failure, "ftruncate", errno);
        return RegionCopy::Failed;
    }
    if (progress)
        progress(end - inStart, total);
    return RegionCopy::Copied;
}

} // namespace

bool copyData(int inFd, int outFd, qint64 total, const std::atomic<int>* cancelFlag,
              const ProgressFunction& progress, Failure* failure, DataMover firstMover,
              DataMover* lastMover)
{
    DataMover ignored;
    DataMover& mover = lastMover ? *lastMover : ignored;
    mover = firstMover;
    if (isCancelled(cancelFlag))
        return fail(failure, moverCallName(mover), ECANCELED);
    if (mover == Clone) {
        // A clone replaces the whole output; only valid when both files start at 0.
        if (::lseek(inFd, 0, SEEK_CUR) == 0 && ::lseek(outFd, 0, SEEK_CUR) == 0 &&
            ::ioctl(outFd, FICLONE, inFd) == 0) {
            if (progress)
                progress(total, total);
            return true;
        }
        mover = CopyFileRange;
    }
    // A source with holes into a regular file: only its data is moved.
    struct stat input;
    struct stat output;
    if (::fstat(inFd, &input) == 0 && mayHaveHoles(input) && ::fstat(outFd, &output) == 0 &&
        S_ISREG(output.st_mode)) {
        const off_t inStart = ::lseek(inFd, 0, SEEK_CUR);
        const off_t outStart = ::lseek(outFd, 0, SEEK_CUR);
        const RegionCopy copied =
            inStart < 0 || outStart < 0 || inStart >= input.st_size
                ? RegionCopy::Unsupported
                : moveDataRegions(inFd, outFd, inStart, outStart, input.st_size, total, cancelFlag,
                                  progress, failure, mover, false);
        if (copied != RegionCopy::Unsupported)
            return copied == RegionCopy::Copied;
    }
    return moveData(inFd, outFd, total, cancelFlag, progress, failure, mover, false, false);
}

namespace {

bool copyFileWith(const QString& from, const QString& to, const std::atomic<int>* cancelFlag,
                  const ProgressFunction& progress, Failure* failure, DataMover firstMover,
                  const CopyRequest& request, CopyOutcome* outcome)
{
    // Non-blocking, so that a FIFO put in place of the source cannot hang the open; the
    // flag has no effect on the reads of a regular file.
    const bool ownSource = request.sourceFd < 0;
    const int inFd = ownSource ? ::open(Platform::ReachablePath(from).c_str(),
                                        O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)
                               : request.sourceFd;
    if (inFd < 0)
        return fail(failure, "open", errno);
    const auto releaseSource = [&] {
        if (ownSource)
            closeDescriptor(inFd);
    };
    // Taken now, also of a descriptor opened earlier: the version that the copy reads.
    struct stat status;
    if (::fstat(inFd, &status) != 0) {
        const int code = errno;
        releaseSource();
        return fail(failure, "fstat", code);
    }
    if (!S_ISREG(status.st_mode)) {
        releaseSource();
        return fail(failure, "open", EINVAL);
    }
    const qint64 size = status.st_size;
    if (size >= chunkSize)
        ::posix_fadvise(inFd, 0, 0, POSIX_FADV_SEQUENTIAL);

    // The folder of the copy, from the root down; names below are then taken in it.
    int folderFd = AT_FDCWD;
    const QString folder = FileSystemUtils::folderOf(to);
    const bool ownFolder = request.destinationFolderFd < 0;
    if (!ownFolder) {
        folderFd = request.destinationFolderFd;
    } else if (!request.destinationRoot.isEmpty()) {
        Failure reaching;
        folderFd = openFolderBeneath(request.destinationRoot, folder, &reaching,
                                     request.destinationRootFd);
        if (folderFd < 0) {
            releaseSource();
            // A missing folder fails as the open of the copy would: the caller makes it.
            const bool missing = reaching.code == ENOENT || reaching.code == ENOTDIR;
            return fail(failure, missing ? "open" : reaching.call, reaching.code);
        }
    }
    const auto releaseFolder = [&] {
        if (ownFolder && folderFd != AT_FDCWD)
            closeDescriptor(folderFd);
    };
    // The path of the temporary file, for the caller that places it later.
    const auto temporaryPath = [&](const QByteArray& name) {
        return folderFd == AT_FDCWD ? QFile::decodeName(name)
                                    : folder + QLatin1Char('/') + QFile::decodeName(name);
    };
    QByteArray temporary;
    const int outFd = openTemporaryFile(folderFd, to, &temporary, failure);
    if (outFd < 0) {
        releaseSource();
        releaseFolder();
        return false;
    }
    bool ok = true;
    // Only a user buffer shows the bytes.
    DataMover mover = request.observeSource ? ReadWrite : firstMover;
    // Progress counts the bytes copied from the file's start, holes included.
    ProgressFunction reported = progress;
    if (request.observeRead)
        reported = [&](qint64 copied, qint64 total) {
            request.observeRead(inFd, copied);
            if (progress)
                progress(copied, total);
        };
    if (isCancelled(cancelFlag))
        ok = fail(failure, moverCallName(mover), ECANCELED);
    if (ok && mover == Clone) {
        // Once refused on the source's file system, never tried there again (a clone only
        // works within one file system; another one answers EXDEV, which is not kept).
        if (size > 0 && !t_noCloneDevices.count(status.st_dev)) {
            if (::ioctl(outFd, FICLONE, inFd) == 0) {
                if (reported)
                    reported(size, size);
            } else {
                if (isCloneRefusal(errno))
                    t_noCloneDevices.insert(status.st_dev);
                mover = CopyFileRange;
            }
        } else {
            mover = CopyFileRange;
        }
    }
    // Written back while copying only when flushed on its own; the size decides.
    const bool groupSize = request.deferBelowSize > 0 && size < request.deferBelowSize;
    const bool maybeDeferred = request.leaveTemporary || groupSize;
    const bool writeBack = !groupSize && size >= writeBackFromSize;
    if (ok && mover != Clone) {
        // Only a file with holes is walked by its data (a clone keeps the holes already).
        const RegionCopy copied =
            mayHaveHoles(status)
                ? moveDataRegions(inFd, outFd, 0, 0, size, size, cancelFlag, reported, failure,
                                  mover, writeBack, request.observeSource)
                : RegionCopy::Unsupported;
        ok = copied == RegionCopy::Unsupported
                 ? moveData(inFd, outFd, size, cancelFlag, reported, failure, mover, true,
                            writeBack, 0, -1, request.observeSource)
                 : copied == RegionCopy::Copied;
    }

    FileVersion after;
    if (ok && !fileVersion(inFd, &after)) {
        ok = fail(failure, "fstat", errno);
    } else if (ok && !after.sameData(versionOf(status))) {
        ok = fail(failure, "fstat", 0);
        if (failure)
            failure->sourceChanged = true;
    }
    if (ok) {
        // Before the flush, so that the copy never has its final name without them. A
        // failure shows in the copy's version, which the caller checks.
        if (request.sourceMetadata) {
            const int mode = request.permissions >= 0 ? request.permissions : int(status.st_mode);
            const int lost =
                applyMetadata(MetadataEntry{inFd, QByteArray()}, status,
                              MetadataEntry{outFd, QByteArray()}, mode_t(mode & 07777));
            if (outcome)
                outcome->metadataLoss = lost;
        } else if (request.permissions >= 0) {
            ::fchmod(outFd, static_cast<mode_t>(request.permissions & 0777));
        }
        if (request.sourceTimes) {
            const struct timespec times[2] = {status.st_atim, status.st_mtim};
            ::futimens(outFd, times);
        }
    }
    struct stat copyStatus;
    const bool copyKnown = ok && ::fstat(outFd, &copyStatus) == 0;
    if (ok && outcome) {
        outcome->source = versionOf(status);
        if (copyKnown)
            outcome->copy = versionOf(copyStatus);
    }
    // Only on the file system that the caller flushes as a whole.
    const bool defer =
        maybeDeferred && copyKnown &&
        (request.leaveTemporary || quint64(copyStatus.st_dev) == request.deferDevice);
    if (ok && defer) {
        releaseSource();
        if (!closeDescriptor(outFd)) {
            fail(failure, "close", errno);
            ::unlinkat(folderFd, temporary.constData(), 0);
            releaseFolder();
            return false;
        }
        releaseFolder();
        if (outcome)
            outcome->temporaryPath = temporaryPath(temporary);
        return true;
    }
    // On disk before it takes the final name: after a power loss the final name holds
    // either nothing or the whole file.
    if (ok && ::fdatasync(outFd) != 0)
        ok = fail(failure, "fdatasync", errno);
    releaseSource();
    if (!closeDescriptor(outFd) && ok)
        ok = fail(failure, "close", errno);
    if (ok) {
        Failure placing;
        const Platform::ReachablePath reachable(to);
        const QByteArray target = folderFd == AT_FDCWD
                                      ? QByteArray(reachable.c_str())
                                      : QFile::encodeName(QFileInfo(to).fileName());
        const Platform::ReachablePath reachableTemporary(QFile::decodeName(temporary));
        ok = moveIntoPlace(
            folderFd, folderFd == AT_FDCWD ? QByteArray(reachableTemporary.c_str()) : temporary,
            target, &placing, request.replaceExisting);
        if (!ok && failure)
            *failure = placing;
        if (!ok && request.keepOnClash && !request.replaceExisting && placing.code == EEXIST) {
            // Complete and on disk: the caller decides against the entry now there.
            releaseFolder();
            if (outcome)
                outcome->temporaryPath = temporaryPath(temporary);
            return false;
        }
    }
    if (!ok)
        ::unlinkat(folderFd,
                   folderFd == AT_FDCWD
                       ? Platform::ReachablePath(QFile::decodeName(temporary)).c_str()
                       : temporary.constData(),
                   0);
    releaseFolder();
    return ok;
}

} // namespace

bool copyFile(const QString& from, const QString& to, const std::atomic<int>* cancelFlag,
              const ProgressFunction& progress, Failure* failure, DataMover firstMover)
{
    return copyFileWith(from, to, cancelFlag, progress, failure, firstMover, CopyRequest(),
                        nullptr);
}

bool copyFile(const QString& from, const QString& to, const std::atomic<int>* cancelFlag,
              const ProgressFunction& progress, Failure* failure, const CopyRequest& request,
              CopyOutcome* outcome)
{
    return copyFileWith(from, to, cancelFlag, progress, failure, Clone, request, outcome);
}

bool mayHaveHoles(int fd)
{
    struct stat status;
    return ::fstat(fd, &status) == 0 && mayHaveHoles(status);
}

DataSearch findData(int fd, qint64 offset, qint64* start, qint64* end, Failure* failure)
{
    const off_t data = ::lseek(fd, off_t(offset), SEEK_DATA);
    if (data < 0) {
        const int code = errno;
        // ENXIO: no data at or after offset, the rest of the file is a hole.
        if (code == ENXIO)
            return DataSearch::NoMoreData;
        if (code == EINVAL || code == EOPNOTSUPP || code == ENOSYS)
            return DataSearch::Unsupported;
        fail(failure, "lseek", code);
        return DataSearch::Failed;
    }
    const off_t hole = ::lseek(fd, data, SEEK_HOLE);
    if (hole < 0) {
        // Shortened since the data was found: what is left is a hole.
        if (errno == ENXIO)
            return DataSearch::NoMoreData;
        fail(failure, "lseek", errno);
        return DataSearch::Failed;
    }
    *start = data;
    *end = hole;
    return DataSearch::Found;
}

bool punchHolesLike(const QString& source, const QString& copy, Failure* failure)
{
    const int inFd = ::open(Platform::ReachablePath(source).c_str(),
                            O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (inFd < 0)
        return fail(failure, "open", errno);
    struct stat status;
    if (::fstat(inFd, &status) != 0 || !mayHaveHoles(status)) {
        closeDescriptor(inFd);
        return true;
    }
    const int outFd =
        ::open(Platform::ReachablePath(copy).c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    struct stat copyStatus;
    if (outFd < 0 || ::fstat(outFd, &copyStatus) != 0) {
        const int code = errno;
        closeDescriptor(inFd);
        if (outFd >= 0)
            closeDescriptor(outFd);
        return fail(failure, outFd < 0 ? "open" : "fstat", code);
    }
    const qint64 size = qMin(qint64(status.st_size), qint64(copyStatus.st_size));
    const auto punch = [&](qint64 from, qint64 to) {
        if (to <= from)
            return 0;
        if (::fallocate(outFd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, off_t(from),
                        off_t(to - from)) == 0)
            return 0;
        return errno;
    };
    int code = 0;
    bool punched = false;
    for (qint64 offset = 0; offset < size && code == 0;) {
        qint64 start = size;
        qint64 end = size;
        const DataSearch found = findData(inFd, offset, &start, &end, failure);
        if (found == DataSearch::Failed) {
            closeDescriptor(inFd);
            closeDescriptor(outFd);
            return false;
        }
        if (found == DataSearch::Unsupported)
            break;
        code = punch(offset, qMin(start, size));
        punched = punched || (code == 0 && start > offset);
        offset = found == DataSearch::NoMoreData ? size : end;
    }
    const char* call = "fallocate";
    // A file system that cannot punch holes keeps the whole copy, which is still right.
    if (code == EOPNOTSUPP || code == ENOSYS)
        code = 0;
    // The copy's times as they were: punching counts as a write.
    const struct timespec times[2] = {copyStatus.st_atim, copyStatus.st_mtim};
    if (punched && ::futimens(outFd, times) != 0 && code == 0) {
        code = errno;
        call = "futimens";
    }
    closeDescriptor(inFd);
    if (!closeDescriptor(outFd) && code == 0) {
        code = errno;
        call = "close";
    }
    return code == 0 || fail(failure, call, code);
}

quint64 deviceOf(int fd)
{
    struct stat status;
    if (::fstat(fd, &status) != 0)
        return 0;
    return quint64(status.st_dev);
}

namespace {

// Reads until the buffer is full or the file ends: the bytes read, or -1 with errno set.
ssize_t readFully(int fd, char* buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, buffer + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += size_t(got);
    }
    return ssize_t(done);
}

} // namespace

bool compareFiles(const QString& a, const QString& b, const std::atomic<int>* cancelFlag,
                  bool* equal, Failure* failure)
{
    *equal = false;
    int fds[2] = {-1, -1};
    const auto closeBoth = [&fds] {
        for (const int fd : fds) {
            if (fd >= 0)
                closeDescriptor(fd);
        }
    };
    const QString paths[2] = {a, b};
    struct stat status[2];
    for (int i = 0; i < 2; ++i) {
        // Non-blocking: a FIFO put in place of a file cannot hang the open.
        fds[i] = ::open(Platform::ReachablePath(paths[i]).c_str(),
                        O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fds[i] < 0 || ::fstat(fds[i], &status[i]) != 0) {
            const int code = errno;
            closeBoth();
            return fail(failure, fds[i] < 0 ? "open" : "fstat", code);
        }
        if (!S_ISREG(status[i].st_mode)) {
            closeBoth();
            return fail(failure, "open", EINVAL);
        }
    }
    if (status[0].st_size != status[1].st_size) {
        closeBoth();
        return true;
    }
    for (const int fd : fds)
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    const Platform::ReadBuffer buffers = Platform::allocateReadBuffer(2 * bufferSize);
    char* const first = buffers.get();
    char* const second = first + bufferSize;
    for (;;) {
        if (isCancelled(cancelFlag)) {
            closeBoth();
            return fail(failure, "read", ECANCELED);
        }
        const ssize_t got = readFully(fds[0], first, size_t(bufferSize));
        const ssize_t other = got < 0 ? 0 : readFully(fds[1], second, size_t(bufferSize));
        if (got < 0 || other < 0) {
            const int code = errno;
            closeBoth();
            return fail(failure, "read", code);
        }
        if (got != other || ::memcmp(first, second, size_t(got)) != 0)
            break;
        if (got == 0) {
            *equal = true;
            break;
        }
    }
    closeBoth();
    return true;
}

} // namespace PlatformCopy
