#include "fs/platformcopy.h"

#include "fs/platform.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/falloc.h>
#include <linux/fs.h>
#include <memory>
#include <set>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace PlatformCopy {

namespace {

// Leaves room for the temporary name's prefix and suffix within the 255 bytes of a name.
const int maxKeptNameBytes = 200;
const int maxTemporaryNameAttempts = 100;

bool fail(Failure* failure, const char* call, int code)
{
    if (failure) {
        failure->call = call;
        failure->code = code;
    }
    return false;
}

FileVersion versionOf(const struct stat& status)
{
    FileVersion version;
    version.size = status.st_size;
    version.seconds = status.st_mtim.tv_sec;
    version.nanoseconds = status.st_mtim.tv_nsec;
    return version;
}

bool isCancelled(const std::atomic<int>* cancelFlag)
{
    return cancelFlag && cancelFlag->load(std::memory_order_relaxed) != 0;
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

bool closeDescriptor(int fd)
{
    // Linux releases the descriptor even when close reports EINTR; never retry.
    return ::close(fd) == 0;
}

// Reads one buffer (at most length bytes) and writes all of it. Returns the bytes moved, 0
// at the end, or -1 with errno set and failedCall naming the call.
ssize_t readWriteChunk(int inFd, int outFd, char* buffer, size_t length, const char** failedCall)
{
    ssize_t got;
    do {
        got = ::read(inFd, buffer, qMin(length, static_cast<size_t>(bufferSize)));
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
        *failedCall = "read";
        return got;
    }
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

// The target's name as a temporary name keeps it: shortened to leave room for the
// prefix and suffix within the 255 bytes of a name.
QString keptName(const QString& targetName)
{
    QString name = targetName;
    while (QFile::encodeName(name).size() > maxKeptNameBytes)
        name.chop(1);
    return name;
}

// Ends every temporary name: a user's file has it only when copied from a temporary file,
// which the walk refuses to do.
const char temporarySuffix[] = ".brindle-part";

// When the process pid started, in clock ticks since boot (field 22 of /proc/<pid>/stat);
// 0 when that cannot be read. With the pid it names one process for the life of the system.
quint64 processStartTicks(qint64 pid)
{
    const QByteArray path = "/proc/" + QByteArray::number(pid) + "/stat";
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char buffer[1024];
    const ssize_t length = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (length <= 0)
        return 0;
    // The command name, in parentheses, may hold blanks and parentheses itself.
    const QByteArray text(buffer, int(length));
    const int end = text.lastIndexOf(')');
    if (end < 0)
        return 0;
    const QList<QByteArray> fields = text.mid(end + 2).split(' ');
    // The fields after the name begin with field 3, the state.
    return fields.size() > 19 ? fields.at(19).toULongLong() : 0;
}

// "<pid>-<start ticks>" of this process, which every temporary name it makes carries.
const QString& ownWriterTag()
{
    static const QString tag =
        QStringLiteral("%1-%2").arg(qint64(::getpid())).arg(processStartTicks(::getpid()));
    return tag;
}

// A hidden name beside the target, unique enough to be created with O_EXCL:
// ".<kept name>.<random>.<pid>-<start ticks>.brindle-part", at most 254 bytes.
QByteArray temporaryName(const QString& target)
{
    const QFileInfo info(target);
    const QString random =
        QString::number(QRandomGenerator::global()->generate64() & 0xffffffffffffULL, 36);
    return QFile::encodeName(QStringLiteral("%1/.%2.%3.%4%5")
                                 .arg(info.path(), keptName(info.fileName()), random,
                                      ownWriterTag(), QLatin1String(temporarySuffix)));
}

bool isDigits(const QStringRef& text)
{
    if (text.isEmpty() || text.size() > 20)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

struct TemporaryName
{
    QString kept;
    qint64 pid = 0;
    quint64 startTicks = 0;
};

// Reads a name of the form temporaryName makes; false for any other name.
bool parseTemporaryName(const QString& fileName, TemporaryName* parsed)
{
    const QLatin1String suffix(temporarySuffix);
    if (!fileName.startsWith(QLatin1Char('.')) || !fileName.endsWith(suffix))
        return false;
    const QStringRef middle = fileName.midRef(1, fileName.size() - 1 - suffix.size());
    const int tagDot = middle.lastIndexOf(QLatin1Char('.'));
    if (tagDot < 0)
        return false;
    const QStringRef tag = middle.mid(tagDot + 1);
    const int dash = tag.indexOf(QLatin1Char('-'));
    if (dash < 0 || !isDigits(tag.left(dash)) || !isDigits(tag.mid(dash + 1)))
        return false;
    const int randomDot = middle.left(tagDot).lastIndexOf(QLatin1Char('.'));
    // 48 random bits in base 36: 1 to 10 digits or lower-case letters.
    const QStringRef random = middle.mid(randomDot + 1, tagDot - randomDot - 1);
    if (randomDot < 1 || random.isEmpty() || random.size() > 10)
        return false;
    for (const QChar c : random) {
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
              (c >= QLatin1Char('a') && c <= QLatin1Char('z'))))
            return false;
    }
    parsed->kept = middle.left(randomDot).toString();
    parsed->pid = tag.left(dash).toLongLong();
    parsed->startTicks = tag.mid(dash + 1).toULongLong();
    return parsed->pid > 0;
}

// Whether the process that wrote a temporary name may still be at work on it. Unsure
// answers (a process of another user whose start cannot be read) count as alive.
bool writerIsAlive(const TemporaryName& name)
{
    if (::kill(pid_t(name.pid), 0) != 0 && errno == ESRCH)
        return false;
    const quint64 started = processStartTicks(name.pid);
    // Otherwise the pid now names another process: the writer is gone.
    return started == 0 || started == name.startTicks;
}

// A plain rename that keeps the times the file had: fusefat gives a renamed file the time
// of the rename, which would make the next run take the copy for another file.
bool renameKeepingTimes(const QByteArray& from, const QByteArray& to)
{
    struct stat before;
    const bool known = ::lstat(from.constData(), &before) == 0;
    if (::rename(from.constData(), to.constData()) != 0)
        return false;
    struct stat after;
    if (known && ::lstat(to.constData(), &after) == 0 &&
        (after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
         after.st_mtim.tv_nsec != before.st_mtim.tv_nsec)) {
        const struct timespec times[2] = {before.st_atim, before.st_mtim};
        ::utimensat(AT_FDCWD, to.constData(), times, AT_SYMLINK_NOFOLLOW);
    }
    return true;
}

// Gives the finished temporary file its final name, refusing to replace anything there
// unless asked to.
bool moveIntoPlace(const QByteArray& temporary, const QByteArray& target, Failure* failure,
                   bool replace)
{
    if (replace) {
        if (renameKeepingTimes(temporary, target))
            return true;
        return fail(failure, "rename", errno);
    }
    if (::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, target.constData(),
                    RENAME_NOREPLACE) == 0)
        return true;
    const int code = errno;
    if (code != EINVAL && code != ENOSYS && code != EOPNOTSUPP)
        return fail(failure, "renameat2", code);
    // File systems without that flag (NFS) still refuse to link over an existing name.
    if (::link(temporary.constData(), target.constData()) == 0) {
        // The copy is in place; a failed unlink leaves only a second name of the same data.
        ::unlink(temporary.constData());
        return true;
    }
    const int linkCode = errno;
    if (linkCode != EPERM && linkCode != ENOSYS && linkCode != EOPNOTSUPP)
        return fail(failure, "link", linkCode);
    // Neither (exFAT and FAT through FUSE): the name is checked free, then taken by a plain
    // rename. Another writer that creates the name between the check and the rename would
    // lose its file to ours. That is accepted there: these file systems offer no atomic
    // way to refuse an existing name at all, the window is a few microseconds, and the
    // copiers of one run decide their clashes before placing (an existing name still fails
    // with EEXIST, so that the copier decides again).
    struct stat status;
    if (::lstat(target.constData(), &status) == 0)
        return fail(failure, "rename", EEXIST);
    if (errno != ENOENT)
        return fail(failure, "lstat", errno);
    if (!renameKeepingTimes(temporary, target))
        return fail(failure, "rename", errno);
    return true;
}

int openTemporaryFile(const QString& target, QByteArray* temporary, Failure* failure)
{
    int fd = -1;
    for (int attempt = 0; attempt < maxTemporaryNameAttempts; ++attempt) {
        *temporary = temporaryName(target);
        fd = ::open(temporary->constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            break;
    }
    if (fd < 0)
        fail(failure, "open", errno);
    return fd;
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
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return false;
    *version = versionOf(status);
    return true;
}

bool fileVersion(const QString& path, FileVersion* version, quint64* device, quint64* inode)
{
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return false;
    *version = versionOf(status);
    *device = quint64(status.st_dev);
    *inode = quint64(status.st_ino);
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
              bool stopAtTotal, bool writeBack, qint64 base = 0, qint64 reportedTotal = -1)
{
    std::unique_ptr<char[]> buffer;
    qint64 copied = 0;
    for (;;) {
        if (isCancelled(cancelFlag))
            return fail(failure, moverCallName(mover), ECANCELED);
        if (stopAtTotal && copied >= total && total > 0)
            break;
        // Never past total when stopping there: a stretch of data ends where a hole begins.
        const size_t length = static_cast<size_t>(
            stopAtTotal && total > 0 ? qMin(chunkSize, total - copied) : chunkSize);
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
                buffer.reset(new char[bufferSize]);
            moved = readWriteChunk(inFd, outFd, buffer.get(), length, &failedCall);
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
                           bool writeBack)
{
    qint64 offset = inStart;
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
        if (!moveData(inFd, outFd, stop - start, cancelFlag, progress, failure, mover, true,
                      writeBack, start - inStart, total))
            return RegionCopy::Failed;
        offset = stop;
    }
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

// One end of a copy of metadata: an open descriptor, or else a path, never followed when it
// names a link (the mode is never set through a path that names one).
struct MetadataEntry
{
    int fd = -1;
    QByteArray path;

    int status(struct stat* result) const
    {
        return fd >= 0 ? ::fstat(fd, result) : ::lstat(path.constData(), result);
    }
    int changeOwner(uid_t owner, gid_t group) const
    {
        return fd >= 0 ? ::fchown(fd, owner, group) : ::lchown(path.constData(), owner, group);
    }
    int changeMode(mode_t mode) const
    {
        return fd >= 0 ? ::fchmod(fd, mode) : ::chmod(path.constData(), mode);
    }
    ssize_t listAttributes(char* names, size_t size) const
    {
        return fd >= 0 ? ::flistxattr(fd, names, size)
                       : ::llistxattr(path.constData(), names, size);
    }
    ssize_t attribute(const char* name, void* value, size_t size) const
    {
        return fd >= 0 ? ::fgetxattr(fd, name, value, size)
                       : ::lgetxattr(path.constData(), name, value, size);
    }
    int setAttribute(const char* name, const QByteArray& value) const
    {
        return fd >= 0 ? ::fsetxattr(fd, name, value.constData(), size_t(value.size()), 0)
                       : ::lsetxattr(path.constData(), name, value.constData(),
                                     size_t(value.size()), 0);
    }
    int removeAttribute(const char* name) const
    {
        return fd >= 0 ? ::fremovexattr(fd, name) : ::lremovexattr(path.constData(), name);
    }
};

const char accessAclName[] = "system.posix_acl_access";
const char defaultAclName[] = "system.posix_acl_default";

bool isAclName(const QByteArray& name)
{
    return name == accessAclName || name == defaultAclName;
}

// The names of the entry's extended attributes; empty when it has none, or when its file
// system keeps none.
QList<QByteArray> attributeNames(const MetadataEntry& entry)
{
    QList<QByteArray> names;
    // The list may grow between the two calls: asked again.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = entry.listAttributes(nullptr, 0);
        if (size <= 0)
            return names;
        QByteArray buffer(int(size), Qt::Uninitialized);
        const ssize_t got = entry.listAttributes(buffer.data(), size_t(buffer.size()));
        if (got < 0 && errno == ERANGE)
            continue;
        if (got <= 0)
            return names;
        buffer.truncate(int(got));
        for (const QByteArray& name : buffer.split('\0')) {
            if (!name.isEmpty())
                names.append(name);
        }
        return names;
    }
    return names;
}

bool attributeValue(const MetadataEntry& entry, const QByteArray& name, QByteArray* value)
{
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = entry.attribute(name.constData(), nullptr, 0);
        if (size < 0)
            return false;
        value->resize(int(size));
        const ssize_t got = entry.attribute(name.constData(), value->data(), size_t(size));
        if (got >= 0) {
            value->truncate(int(got));
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
    return false;
}

// Whether the calling thread holds the capability in its effective set.
bool hasCapability(int capability)
{
    struct __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    struct __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    return data[capability / 32].effective & (1u << (capability % 32));
}

// Which attributes a copy keeps: the user's own, the ACLs, and the security.* ones where a
// privileged process may set them (elsewhere, such as SELinux labels, they are the
// system's business, and refused).
bool keepsAttribute(const QByteArray& name, int* privileged)
{
    if (name.startsWith("user.") || isAclName(name))
        return true;
    if (!name.startsWith("security."))
        return false;
    if (*privileged < 0)
        *privileged = hasCapability(CAP_SYS_ADMIN) ? 1 : 0;
    return *privileged == 1;
}

// See copyMetadata; from is the source's status, mode the bits the destination is to have.
int applyMetadata(const MetadataEntry& source, const struct stat& from,
                  const MetadataEntry& destination, mode_t mode)
{
    struct stat to;
    if (destination.status(&to) != 0)
        return OwnerNotKept | GroupNotKept | ModeNotKept | AttributesNotKept;
    int lost = 0;
    // First, since a change of owner clears the set-id bits and any file capability.
    if (from.st_uid != to.st_uid || from.st_gid != to.st_gid) {
        if (destination.changeOwner(from.st_uid, from.st_gid) != 0) {
            if (from.st_uid == to.st_uid) {
                lost |= GroupNotKept;
            } else {
                lost |= OwnerNotKept;
                // Not privileged: the group alone, which succeeds where the user belongs to it.
                if (from.st_gid != to.st_gid &&
                    destination.changeOwner(uid_t(-1), from.st_gid) != 0)
                    lost |= GroupNotKept;
            }
        }
    }
    if (S_ISLNK(to.st_mode) || S_ISLNK(from.st_mode))
        return lost;

    // Another's set-id bit on a copy the user owns would hand the user's rights to whoever
    // runs it (cp drops them as well).
    mode &= 07777;
    if (lost & OwnerNotKept)
        mode &= ~mode_t(S_ISUID);
    if (lost & GroupNotKept)
        mode &= ~mode_t(S_ISGID);

    int privileged = -1;
    QList<QByteArray> names = attributeNames(source);
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&privileged](const QByteArray& name) {
                                   return !keepsAttribute(name, &privileged);
                               }),
                names.end());
    // ACLs inherited from the destination's folder are not the source's.
    for (const QByteArray& name : attributeNames(destination)) {
        if (isAclName(name) && !names.contains(name) &&
            destination.removeAttribute(name.constData()) != 0)
            lost |= AttributesNotKept;
    }
    if (destination.changeMode(mode) != 0)
        lost |= ModeNotKept;

    // The ACLs last: they hold the group class's bits, which a later mode would rewrite.
    std::stable_partition(names.begin(), names.end(),
                          [](const QByteArray& name) { return !isAclName(name); });
    bool aclSet = false;
    QByteArray value;
    for (const QByteArray& name : qAsConst(names)) {
        if (!attributeValue(source, name, &value)) {
            // Removed since it was listed: nothing to keep.
            if (errno != ENODATA)
                lost |= AttributesNotKept;
            continue;
        }
        if (destination.setAttribute(name.constData(), value) == 0) {
            aclSet = aclSet || isAclName(name);
        } else if (errno == EOPNOTSUPP) {
            lost |= AttributesUnsupported;
        } else {
            lost |= AttributesNotKept;
        }
    }
    if (aclSet && !(lost & ModeNotKept)) {
        // An ACL brings the owner's bits of the source: bits added to them (owner write) are
        // set again, which leaves the mask, the group class's bits, as the ACL has it.
        struct stat now;
        if (destination.status(&now) == 0 && (now.st_mode & 07777) != mode &&
            (destination.changeMode(mode) != 0 ||
             (destination.status(&now) == 0 && (now.st_mode & 07777) != mode)))
            lost |= ModeNotKept;
    }
    return lost;
}

bool isCreatedFolderStatus(const struct stat& status)
{
    return S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() &&
           (status.st_mode & 07777 & ~mode_t(S_ISGID)) == mode_t(createdFolderMode);
}

// 0777 less the process's umask, read without changing it (umask() would, for a moment,
// for every thread).
mode_t defaultFolderMode()
{
    mode_t mask = 022;
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        char buffer[4096];
        const ssize_t length = ::read(fd, buffer, sizeof buffer - 1);
        ::close(fd);
        if (length > 0) {
            const QByteArray text(buffer, int(length));
            const int start = text.indexOf("\nUmask:");
            if (start >= 0) {
                bool ok = false;
                const uint value = text.mid(start + 7, text.indexOf('\n', start + 1) - start - 7)
                                       .trimmed()
                                       .toUInt(&ok, 8);
                if (ok)
                    mask = mode_t(value);
            }
        }
    }
    return 0777 & ~mask;
}

bool copyFileWith(const QString& from, const QString& to, const std::atomic<int>* cancelFlag,
                  const ProgressFunction& progress, Failure* failure, DataMover firstMover,
                  const CopyRequest& request, CopyOutcome* outcome)
{
    // Non-blocking, so that a FIFO put in place of the source cannot hang the open; the
    // flag has no effect on the reads of a regular file.
    const bool ownSource = request.sourceFd < 0;
    const int inFd = ownSource ? ::open(QFile::encodeName(from).constData(),
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

    QByteArray temporary;
    const int outFd = openTemporaryFile(to, &temporary, failure);
    if (outFd < 0) {
        releaseSource();
        return false;
    }
    bool ok = true;
    DataMover mover = firstMover;
    if (isCancelled(cancelFlag))
        ok = fail(failure, moverCallName(mover), ECANCELED);
    if (ok && mover == Clone) {
        // Once refused on the source's file system, never tried there again (a clone only
        // works within one file system; another one answers EXDEV, which is not kept).
        if (size > 0 && !t_noCloneDevices.count(status.st_dev)) {
            if (::ioctl(outFd, FICLONE, inFd) == 0) {
                if (progress)
                    progress(size, size);
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
    const bool maybeDeferred = request.deferBelowSize > 0 && size < request.deferBelowSize;
    const bool writeBack = !maybeDeferred && size >= writeBackFromSize;
    if (ok && mover != Clone) {
        // Only a file with holes is walked by its data (a clone keeps the holes already).
        const RegionCopy copied = mayHaveHoles(status)
                                      ? moveDataRegions(inFd, outFd, 0, 0, size, size, cancelFlag,
                                                        progress, failure, mover, writeBack)
                                      : RegionCopy::Unsupported;
        ok = copied == RegionCopy::Unsupported ? moveData(inFd, outFd, size, cancelFlag, progress,
                                                          failure, mover, true, writeBack)
                                               : copied == RegionCopy::Copied;
    }

    FileVersion after;
    if (ok && !fileVersion(inFd, &after)) {
        ok = fail(failure, "fstat", errno);
    } else if (ok && after != versionOf(status)) {
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
        maybeDeferred && copyKnown && quint64(copyStatus.st_dev) == request.deferDevice;
    if (ok && defer) {
        releaseSource();
        if (!closeDescriptor(outFd)) {
            fail(failure, "close", errno);
            ::unlink(temporary.constData());
            return false;
        }
        if (outcome)
            outcome->temporaryPath = QFile::decodeName(temporary);
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
        ok = moveIntoPlace(temporary, QFile::encodeName(to), &placing, request.replaceExisting);
        if (!ok && failure)
            *failure = placing;
        if (!ok && request.keepOnClash && !request.replaceExisting && placing.code == EEXIST) {
            // Complete and on disk: the caller decides against the entry now there.
            if (outcome)
                outcome->temporaryPath = QFile::decodeName(temporary);
            return false;
        }
    }
    if (!ok)
        ::unlink(temporary.constData());
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
    const int inFd =
        ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (inFd < 0)
        return fail(failure, "open", errno);
    struct stat status;
    if (::fstat(inFd, &status) != 0 || !mayHaveHoles(status)) {
        closeDescriptor(inFd);
        return true;
    }
    const int outFd = ::open(QFile::encodeName(copy).constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
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

int createTemporaryFile(const QString& target, QString* temporaryPath, Failure* failure)
{
    QByteArray temporary;
    const int fd = openTemporaryFile(target, &temporary, failure);
    if (fd >= 0 && temporaryPath)
        *temporaryPath = QFile::decodeName(temporary);
    return fd;
}

bool moveIntoPlace(const QString& temporary, const QString& target, Failure* failure, bool replace)
{
    return moveIntoPlace(QFile::encodeName(temporary), QFile::encodeName(target), failure, replace);
}

Platform::FileSystemTraits probeFileSystem(const QString& folder)
{
    struct stat folderStatus;
    const QByteArray encodedFolder = QFile::encodeName(folder);
    if (::stat(encodedFolder.constData(), &folderStatus) != 0)
        return Platform::FileSystemTraits();
    const quint64 device = quint64(folderStatus.st_dev);
    Platform::FileSystemTraits traits = Platform::fileSystemTraits(device, folder);
    if (traits.probed)
        return traits;
    QByteArray probe;
    const int fd = openTemporaryFile(folder + QStringLiteral("/brindle-probe"), &probe, nullptr);
    if (fd < 0)
        return traits; // read-only or closed: the type's answer stands
    // An odd second and a fraction: FAT keeps neither, exfat-fuse keeps the second.
    constexpr qint64 probeSeconds = 1000000001;
    constexpr long probeNanoseconds = 123456789;
    const struct timespec times[2] = {{probeSeconds, probeNanoseconds},
                                      {probeSeconds, probeNanoseconds}};
    struct stat written;
    const bool timesKnown = ::futimens(fd, times) == 0 && ::fstat(fd, &written) == 0 &&
                            quint64(written.st_dev) == device;
    closeDescriptor(fd);
    // The same random name in capitals exists only where case does not count. (Its inode
    // may differ: FUSE file systems number paths, not files.)
    const int slash = probe.lastIndexOf('/');
    const QByteArray upper = probe.left(slash + 1) + probe.mid(slash + 1).toUpper();
    struct stat other;
    const bool caseInsensitive = timesKnown && ::lstat(upper.constData(), &other) == 0;
    ::unlink(probe.constData());
    // The folder looks untouched: a run that copies nothing changes nothing.
    const struct timespec folderTimes[2] = {folderStatus.st_atim, folderStatus.st_mtim};
    ::utimensat(AT_FDCWD, encodedFolder.constData(), folderTimes, 0);
    if (!timesKnown)
        return traits;
    traits.caseInsensitive = caseInsensitive;
    if (written.st_mtim.tv_sec != probeSeconds) {
        traits.timeStepNs = 2000000000;
    } else if (written.st_mtim.tv_nsec == 0) {
        traits.timeStepNs = 1000000000;
    } else {
        // The smallest power of ten within which the kept fraction lies, cut or rounded.
        const qint64 lost = qAbs(qint64(probeNanoseconds) - qint64(written.st_mtim.tv_nsec));
        traits.timeStepNs = 1;
        while (traits.timeStepNs <= lost)
            traits.timeStepNs *= 10;
    }
    traits.probed = true;
    Platform::rememberFileSystemTraits(device, traits);
    return traits;
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
        fds[i] = ::open(QFile::encodeName(paths[i]).constData(),
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
    std::unique_ptr<char[]> buffers(new char[2 * bufferSize]);
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

bool isTemporaryName(const QString& fileName)
{
    TemporaryName parsed;
    return parseTemporaryName(fileName, &parsed);
}

bool isTemporaryNameFor(const QString& fileName, const QString& targetName)
{
    TemporaryName parsed;
    return parseTemporaryName(fileName, &parsed) && parsed.kept == keptName(targetName);
}

QStringList removeStaleTemporaryFiles(const QString& folder, const QSet<QString>& targetNames)
{
    QStringList removed;
    if (targetNames.isEmpty())
        return removed;
    QSet<QString> keptNames;
    for (const QString& name : targetNames)
        keptNames.insert(keptName(name));
    const QDir dir(folder);
    const QStringList candidates =
        dir.entryList(QStringList{QStringLiteral(".*") + QLatin1String(temporarySuffix)},
                      QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString& name : candidates) {
        TemporaryName parsed;
        if (!parseTemporaryName(name, &parsed) || !keptNames.contains(parsed.kept) ||
            writerIsAlive(parsed))
            continue;
        const QString path = dir.filePath(name);
        const QByteArray encoded = QFile::encodeName(path);
        struct stat status;
        if (::lstat(encoded.constData(), &status) != 0 || !S_ISREG(status.st_mode))
            continue;
        if (::unlink(encoded.constData()) == 0)
            removed.append(path);
    }
    return removed;
}

bool createFolders(const QString& path, Failure* failure)
{
    const QByteArray encoded = QFile::encodeName(QDir::cleanPath(path));
    // Parents first; an existing one answers EEXIST before any permission is checked.
    for (int end = 1; end <= encoded.size(); ++end) {
        if (end < encoded.size() && encoded.at(end) != '/')
            continue;
        const QByteArray part = encoded.left(end);
        if (::mkdir(part.constData(), createdFolderMode) != 0 && errno != EEXIST)
            return fail(failure, "mkdir", errno);
    }
    struct stat status;
    if (::stat(encoded.constData(), &status) != 0)
        return fail(failure, "stat", errno);
    if (!S_ISDIR(status.st_mode))
        return fail(failure, "mkdir", ENOTDIR);
    return true;
}

bool isCreatedFolder(const QString& path)
{
    struct stat status;
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 &&
           isCreatedFolderStatus(status);
}

bool releaseCreatedFolder(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status;
    // A set-group-ID bit inherited from the parent stays, as with mkdir -p.
    const bool released = ::fstat(fd, &status) == 0 && isCreatedFolderStatus(status) &&
                          ::fchmod(fd, defaultFolderMode() | (status.st_mode & S_ISGID)) == 0;
    closeDescriptor(fd);
    return released;
}

int copyMetadata(const QString& source, const QString& destination, int addPermissions)
{
    const MetadataEntry from{-1, QFile::encodeName(source)};
    struct stat fromStatus;
    if (from.status(&fromStatus) != 0)
        return OwnerNotKept | GroupNotKept | ModeNotKept | AttributesNotKept;
    MetadataEntry to{-1, QFile::encodeName(destination)};
    struct stat toStatus;
    if (to.status(&toStatus) != 0)
        return OwnerNotKept | GroupNotKept | ModeNotKept | AttributesNotKept;
    if (!S_ISLNK(toStatus.st_mode)) {
        // Through a descriptor, so that every change reaches the same entry. (A file closed
        // to the user cannot be opened: its path is used then.)
        to.fd =
            ::open(to.path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                                            (S_ISDIR(toStatus.st_mode) ? O_DIRECTORY : 0));
    }
    const int lost = applyMetadata(from, fromStatus, to,
                                   mode_t((fromStatus.st_mode & 07777) | mode_t(addPermissions)));
    if (to.fd >= 0)
        closeDescriptor(to.fd);
    return lost;
}

bool flushToDisk(const QString& path, Failure* failure)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return fail(failure, "open", errno);
    if (::fdatasync(fd) != 0) {
        const int code = errno;
        closeDescriptor(fd);
        return fail(failure, "fdatasync", code);
    }
    closeDescriptor(fd);

    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return fail(failure, "open", errno);
    if (::fsync(folderFd) != 0) {
        const int code = errno;
        closeDescriptor(folderFd);
        return fail(failure, "fsync", code);
    }
    closeDescriptor(folderFd);
    return true;
}

bool duplicateSymbolicLink(const QString& existingLink, const QString& newLink, Failure* failure)
{
    // The bytes as stored: a target that is not valid text survives too.
    QByteArray target;
    if (!Platform::symbolicLinkBytes(existingLink, &target))
        return fail(failure, "readlink", Platform::lastErrorCode());
    if (::symlink(target.constData(), QFile::encodeName(newLink).constData()) != 0)
        return fail(failure, "symlink", errno);
    return true;
}

bool createSymbolicLink(const QString& target, const QString& newLink, Failure* failure)
{
    if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(newLink).constData()) !=
        0)
        return fail(failure, "symlink", errno);
    return true;
}

} // namespace PlatformCopy
