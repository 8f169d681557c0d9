#include "fs/platform.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <unordered_map>

namespace Platform {

namespace {

// Jobs on different threads fail independently; each keeps its own last failure.
thread_local Failure t_lastFailure;

bool fail(const char* call)
{
    t_lastFailure.call = call;
    t_lastFailure.code = errno;
    return false;
}

} // namespace

ReachablePath::ReachablePath(const QString& path) : m_path(path)
{
    // Three bytes at most for each character: short without encoding it.
    if (path.size() <= MaxPathBytes / 3)
        return;
    m_bytes = QFile::encodeName(path);
    if (m_bytes.size() <= MaxPathBytes)
        return;
    const int savedErrno = errno;
    QByteArray rest = m_bytes;
    m_folderFd = ::open(rest.startsWith('/') ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    while (m_folderFd >= 0) {
        const QByteArray prefix = "/proc/self/fd/" + QByteArray::number(m_folderFd) + '/';
        if (prefix.size() + rest.size() <= MaxPathBytes) {
            m_bytes = prefix + rest;
            break;
        }
        // Whole folders only, as many as one call takes; the final entry stays in the rest.
        const int cut = rest.lastIndexOf('/', MaxPathBytes - 1);
        const QByteArray step = rest.left(cut).mid(rest.startsWith('/') ? 1 : 0);
        const int next = cut > 0 && !step.isEmpty() ? ::openat(m_folderFd, step.constData(),
                                                               O_PATH | O_DIRECTORY | O_CLOEXEC)
                                                    : -1;
        if (next < 0) {
            // "step/." fails as the step did: missing, not a folder, closed, a loop.
            m_bytes = prefix + (step.isEmpty() ? rest : step) + "/.";
            if (m_bytes.size() > MaxPathBytes)
                m_bytes = rest; // a name over the limit: the call fails as the system would
            break;
        }
        ::close(m_folderFd);
        m_folderFd = next;
        rest = rest.mid(cut + 1);
    }
    errno = savedErrno;
}

ReachablePath::~ReachablePath()
{
    if (m_folderFd >= 0) {
        const int savedErrno = errno;
        ::close(m_folderFd);
        errno = savedErrno;
    }
}

const char* ReachablePath::c_str() const
{
    if (m_bytes.isNull())
        m_bytes = QFile::encodeName(m_path);
    return m_bytes.constData();
}

QString ReachablePath::text() const
{
    return m_folderFd >= 0 ? QFile::decodeName(m_bytes) : m_path;
}

namespace {

bool lstatEntry(const QString& path, struct stat* status)
{
    if (::lstat(ReachablePath(path).c_str(), status) != 0)
        return fail("lstat");
    return true;
}

FileTime fromTimespec(const struct timespec& time)
{
    FileTime result;
    result.seconds = time.tv_sec;
    result.nanoseconds = static_cast<qint32>(time.tv_nsec);
    return result;
}

void fillEntryStatus(const struct stat& status, EntryStatus* result)
{
    result->isSymLink = S_ISLNK(status.st_mode);
    result->isFile = S_ISREG(status.st_mode);
    result->isFolder = S_ISDIR(status.st_mode);
    result->isSpecial = S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode) ||
                        S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode);
    result->device = quint64(status.st_dev);
    result->inode = quint64(status.st_ino);
    result->links = quint64(status.st_nlink);
    result->size = status.st_size;
    result->permissions = static_cast<int>(status.st_mode & 07777);
    result->owner = quint32(status.st_uid);
    result->allocated = qint64(status.st_blocks) * 512;
    result->lastWrite = fromTimespec(status.st_mtim);
}

struct timespec toTimespec(const FileTime& time)
{
    struct timespec result;
    result.tv_sec = static_cast<time_t>(time.seconds);
    result.tv_nsec = time.nanoseconds;
    return result;
}

const char fileManagerService[] = "org.freedesktop.FileManager1";
const char fileManagerPath[] = "/org/freedesktop/FileManager1";
// A file manager that answers at all answers fast; do not hang the caller.
const int fileManagerTimeoutMs = 2000;

} // namespace

bool entryStatus(const QString& path, EntryStatus* result)
{
    struct stat status;
    if (!lstatEntry(path, &status))
        return false;
    fillEntryStatus(status, result);
    return true;
}

bool entryIdentity(const QString& path, EntryIdentity* identity, bool followLinks)
{
    struct stat status;
    const ReachablePath reachable(path);
    if ((followLinks ? ::stat(reachable.c_str(), &status) : ::lstat(reachable.c_str(), &status)) !=
        0)
        return fail(followLinks ? "stat" : "lstat");
    identity->device = static_cast<quint64>(status.st_dev);
    identity->inode = static_cast<quint64>(status.st_ino);
    return true;
}

bool entryIdentity(int fd, EntryIdentity* identity)
{
    struct stat status;
    if (::fstat(fd, &status) != 0)
        return fail("fstat");
    identity->device = static_cast<quint64>(status.st_dev);
    identity->inode = static_cast<quint64>(status.st_ino);
    return true;
}

bool onPseudoFileSystem(const QString& path)
{
    struct statfs status;
    if (::statfs(ReachablePath(path).c_str(), &status) != 0)
        return false;
    switch (static_cast<unsigned long>(status.f_type)) {
    case 0x9fa0UL:     // proc
    case 0x62656572UL: // sysfs
    case 0x64626720UL: // debugfs
    case 0x73636673UL: // securityfs
    case 0x27e0ebUL:   // cgroup
    case 0x63677270UL: // cgroup2
    case 0x74726163UL: // tracefs
    case 0x62656570UL: // configfs
    case 0x6165676cUL: // pstore
    case 0xde5e81e4UL: // efivarfs
        return true;
    default:
        return false;
    }
}

bool isPseudoFile(const QString& path, qint64 size)
{
    return (size == 0 || size == 4096) && onPseudoFileSystem(path);
}

QString mountPointOf(const QString& path)
{
    QString current = QFileInfo(path).absoluteFilePath();
    struct stat status;
    while (::stat(ReachablePath(current).c_str(), &status) != 0) {
        const QString parent = QFileInfo(current).path();
        if (parent == current)
            return QString();
        current = parent;
    }
    for (;;) {
        const QString parent = QFileInfo(current).path();
        struct stat above;
        if (parent == current || ::stat(ReachablePath(parent).c_str(), &above) != 0 ||
            above.st_dev != status.st_dev)
            return current;
        current = parent;
    }
}

QString linkOnTheWay(const QString& root, const QString& path)
{
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    if (root.isEmpty() || !path.startsWith(prefix))
        return QString();
    struct stat status;
    for (int slash = path.indexOf(QLatin1Char('/'), prefix.size()); slash > 0;
         slash = path.indexOf(QLatin1Char('/'), slash + 1)) {
        const QString folder = path.left(slash);
        if (::lstat(ReachablePath(folder).c_str(), &status) != 0)
            return QString(); // not there yet: made by the run, as a folder
        if (S_ISLNK(status.st_mode))
            return folder;
    }
    return QString();
}

bool sameSpecialFile(const QString& path, const QString& otherPath)
{
    struct stat a;
    struct stat b;
    if (::lstat(ReachablePath(path).c_str(), &a) != 0 ||
        ::lstat(ReachablePath(otherPath).c_str(), &b) != 0)
        return fail("lstat");
    const mode_t type = a.st_mode & S_IFMT;
    if (type != (b.st_mode & S_IFMT))
        return false;
    if (type == S_IFIFO || type == S_IFSOCK)
        return true;
    return (type == S_IFCHR || type == S_IFBLK) && a.st_rdev == b.st_rdev;
}

int openFolder(const QString& path, bool followLink)
{
    const int fd = ::open(ReachablePath(path).c_str(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
    if (fd < 0)
        fail("open");
    return fd;
}

bool readFolder(int folderFd, std::vector<FolderEntry>* entries)
{
    // getdents64 rather than readdir: the same calls without a second buffer, and a
    // failure is told apart from the end of the listing.
    struct LinuxDirent64
    {
        quint64 d_ino;
        qint64 d_off;
        unsigned short d_reclen;
        unsigned char d_type;
        char d_name[1];
    };
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const long count = ::syscall(SYS_getdents64, folderFd, buffer.data(), buffer.size());
        if (count == 0)
            return true;
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return fail("getdents64");
        }
        for (long offset = 0; offset < count;) {
            const auto* entry = reinterpret_cast<const LinuxDirent64*>(buffer.constData() + offset);
            offset += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            FolderEntry result;
            result.name = QByteArray(name);
            switch (entry->d_type) {
            case DT_UNKNOWN:
                break;
            case DT_REG:
                result.type = FolderEntry::File;
                break;
            case DT_DIR:
                result.type = FolderEntry::Folder;
                break;
            case DT_LNK:
                result.type = FolderEntry::SymLink;
                break;
            default:
                result.type = FolderEntry::Other;
                break;
            }
            entries->push_back(std::move(result));
        }
    }
}

bool entryStatusAt(int folderFd, const QByteArray& name, EntryStatus* result)
{
    struct stat status;
    if (::fstatat(folderFd, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return fail("fstatat");
    fillEntryStatus(status, result);
    return true;
}

int openFolderToLookUp(const QString& path)
{
    const int fd = ::open(ReachablePath(path).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        fail("open");
    return fd;
}

void closeFolder(int folderFd)
{
    if (folderFd >= 0)
        ::close(folderFd);
}

bool canEnterFolder(const QString& path)
{
    if (::access(ReachablePath(path).c_str(), R_OK | X_OK) != 0)
        return fail("access");
    return true;
}

bool grantFolderAccess(const QString& path)
{
    const ReachablePath encoded(path);
    struct stat status;
    if (::lstat(encoded.c_str(), &status) != 0)
        return fail("lstat");
    if (!S_ISDIR(status.st_mode)) {
        errno = ENOTDIR;
        return fail("chmod");
    }
    if (::chmod(encoded.c_str(), (status.st_mode & 07777) | S_IRUSR | S_IXUSR) != 0)
        return fail("chmod");
    return true;
}

bool isReadable(const QString& path)
{
    if (::access(ReachablePath(path).c_str(), R_OK) != 0)
        return fail("access");
    return true;
}

bool entryExists(const QString& path)
{
    struct stat status;
    return lstatEntry(path, &status);
}

int fileAttributes(const QString& path)
{
    struct stat status;
    if (!lstatEntry(path, &status))
        return InvalidAttributes;
    return (status.st_mode & S_IWUSR) ? 0 : ReadOnlyAttribute;
}

bool setFileAttributes(const QString& path, int attributes)
{
    struct stat status;
    if (!lstatEntry(path, &status))
        return false;
    const bool readOnly = attributes & ReadOnlyAttribute;
    if (S_ISLNK(status.st_mode)) {
        // A link has no permissions of its own and is never read-only; changing the
        // mode through it would change its target.
        if (!readOnly)
            return true;
        errno = EOPNOTSUPP;
        return fail("chmod");
    }
    mode_t mode = status.st_mode & 07777;
    if (readOnly)
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    if (::chmod(ReachablePath(path).c_str(), mode) != 0)
        return fail("chmod");
    return true;
}

bool readFileTimes(const QString& path, FileTimes* times)
{
    struct stat status;
    if (!lstatEntry(path, &status))
        return false;
    times->lastAccess = fromTimespec(status.st_atim);
    times->lastWrite = fromTimespec(status.st_mtim);
    // The birth time may be readable, but it can never be written to a copy.
    times->creationKnown = false;
    times->creation = FileTime();
    return true;
}

bool modificationTime(const QString& path, FileTime* time, quint64* device)
{
    struct stat status;
    if (::stat(ReachablePath(path).c_str(), &status) != 0)
        return fail("stat");
    *time = fromTimespec(status.st_mtim);
    if (device)
        *device = static_cast<quint64>(status.st_dev);
    return true;
}

namespace {

std::mutex g_traitsMutex;
std::unordered_map<quint64, FileSystemTraits> g_traits;

// What the type of a file system says. Unknown kinds, FUSE among them (exfat-fuse shows
// only "fuseblk" in the mount table), keep coarse times until a probe says otherwise:
// the tolerance then costs at worst a change made within two seconds of the copy.
FileSystemTraits traitsByType(const QString& path)
{
    constexpr qint64 twoSeconds = 2000000000;
    FileSystemTraits traits;
    traits.timeStepNs = twoSeconds;
    struct statfs status;
    if (::statfs(ReachablePath(path).c_str(), &status) != 0)
        return traits;
    switch (static_cast<unsigned long>(status.f_type)) {
    case 0x4d44UL:     // MSDOS_SUPER_MAGIC: FAT, vfat
    case 0x2011bab0UL: // exFAT
        traits.caseInsensitive = true;
        break;
    case 0xef53UL:     // ext2, ext3, ext4
    case 0x58465342UL: // XFS
    case 0x9123683eUL: // Btrfs
    case 0x01021994UL: // tmpfs
    case 0x858458f6UL: // ramfs
    case 0xf2f52010UL: // F2FS
    case 0x2fc12fc1UL: // ZFS
    case 0xca451a4eUL: // bcachefs
    case 0x794c7630UL: // overlayfs
    case 0x6969UL:     // NFS
        traits.timeStepNs = 1;
        break;
    default:
        break;
    }
    return traits;
}

} // namespace

FileSystemTraits fileSystemTraits(quint64 device, const QString& path)
{
    {
        std::lock_guard<std::mutex> lock(g_traitsMutex);
        const auto known = g_traits.find(device);
        if (known != g_traits.end())
            return known->second;
    }
    const FileSystemTraits traits = traitsByType(path);
    std::lock_guard<std::mutex> lock(g_traitsMutex);
    // A probe that answered meanwhile wins over the type.
    return g_traits.emplace(device, traits).first->second;
}

void rememberFileSystemTraits(quint64 device, const FileSystemTraits& traits)
{
    std::lock_guard<std::mutex> lock(g_traitsMutex);
    g_traits[device] = traits;
}

void forgetFileSystemTraits()
{
    std::lock_guard<std::mutex> lock(g_traitsMutex);
    g_traits.clear();
}

bool writeFileTimes(const QString& path, const FileTimes& times)
{
    const struct timespec values[2] = {toTimespec(times.lastAccess), toTimespec(times.lastWrite)};
    if (::utimensat(AT_FDCWD, ReachablePath(path).c_str(), values, AT_SYMLINK_NOFOLLOW) != 0)
        return fail("utimensat");
    return true;
}

QDateTime creationTime(const QString& path)
{
    Q_UNUSED(path)
    return QDateTime();
}

bool symbolicLinkBytes(const QString& path, QByteArray* target)
{
    const ReachablePath link(path);
    QByteArray text(256, Qt::Uninitialized);
    for (;;) {
        const ssize_t length = ::readlink(link.c_str(), text.data(), text.size());
        if (length < 0)
            return fail("readlink");
        if (length < text.size()) {
            text.resize(static_cast<int>(length));
            break;
        }
        text.resize(text.size() * 2);
    }
    *target = text;
    return true;
}

bool symbolicLinkText(const QString& path, QString* target)
{
    QByteArray bytes;
    if (!symbolicLinkBytes(path, &bytes))
        return false;
    *target = QFile::decodeName(bytes);
    return true;
}

bool entryMissing(const QString& path)
{
    struct stat status;
    if (lstatEntry(path, &status))
        return false;
    return t_lastFailure.code == ENOENT || t_lastFailure.code == ENOTDIR;
}

bool removeFile(const QString& path)
{
    if (::unlink(ReachablePath(path).c_str()) != 0)
        return fail("unlink");
    return true;
}

bool removeEmptyFolder(const QString& path)
{
    if (::rmdir(ReachablePath(path).c_str()) != 0)
        return fail("rmdir");
    return true;
}

int openFileSystem(const QString& path, QString* openedPath)
{
    if (path.isEmpty()) {
        errno = ENOENT;
        fail("open");
        return -1;
    }
    QString candidate = path;
    for (;;) {
        // Non-blocking, so that a FIFO in the way cannot hang the open.
        const int fd =
            ::open(ReachablePath(candidate).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0) {
            if (openedPath)
                *openedPath = candidate;
            return fd;
        }
        fail("open");
        // Missing, or closed to the user (a folder one may write to but not read): the
        // folder above is almost always on the same file system.
        const QString parent = QFileInfo(candidate).path();
        if (parent == candidate)
            return -1;
        candidate = parent;
    }
}

bool syncFileSystem(int handle)
{
    if (::syncfs(handle) != 0)
        return fail("syncfs");
    return true;
}

void closeFileSystem(int handle)
{
    if (handle >= 0)
        ::close(handle);
}

namespace {

qint64 kernelField(const QByteArray& text, const QByteArray& name)
{
    for (const QByteArray& line : text.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon < 0 || line.left(colon).trimmed() != name)
            continue;
        const QList<QByteArray> words = line.mid(colon + 1).simplified().split(' ');
        bool ok = false;
        const qint64 value = words.value(0).toLongLong(&ok);
        if (!ok || value < 0 || value > std::numeric_limits<qint64>::max() / 2048)
            return -1;
        // Both files count in kB; a bare number would be pages or bytes, never guessed.
        if (words.value(1) != "kB")
            return -1;
        return value * 1024;
    }
    return -1;
}

QByteArray readKernelFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// The name of the backing device of a block device ("8:0" for the partition 8:1), or an
// empty text when it has none.
QString backingDeviceName(quint64 device)
{
    QString folder = QFileInfo(QStringLiteral("/sys/dev/block/%1:%2")
                                   .arg(::major(dev_t(device)))
                                   .arg(::minor(dev_t(device))))
                         .canonicalFilePath();
    if (folder.isEmpty())
        return QString();
    // A partition writes through its disk's queue.
    if (!QFileInfo::exists(folder + QLatin1String("/bdi")) &&
        QFileInfo::exists(folder + QLatin1String("/partition")))
        folder = QFileInfo(folder).path();
    return QFileInfo(QFileInfo(folder + QLatin1String("/bdi")).canonicalFilePath()).fileName();
}

} // namespace

qint64 kernelStatsBytes(const QByteArray& text, const QByteArray& firstField,
                        const QByteArray& secondField)
{
    const qint64 first = kernelField(text, firstField);
    const qint64 second = kernelField(text, secondField);
    if (first < 0 || second < 0)
        return -1;
    return first + second;
}

qint64 bytesWaitingForDevice(quint64 device)
{
    // Major 0 is an anonymous device: no queue of its own to ask.
    if (::major(dev_t(device)) != 0) {
        const QString name = backingDeviceName(device);
        if (!name.isEmpty()) {
            const qint64 bytes = kernelStatsBytes(
                readKernelFile(QStringLiteral("/sys/kernel/debug/bdi/%1/stats").arg(name)),
                "BdiReclaimable", "BdiWriteback");
            if (bytes >= 0)
                return bytes;
        }
    }
    return kernelStatsBytes(readKernelFile(QStringLiteral("/proc/meminfo")), "Dirty", "Writeback");
}

bool dropCachedData(int fd)
{
    // Not fdatasync: that also has the device empty its own write cache, one more round
    // trip to the device for every file checked. EINVAL, EROFS and ESPIPE: nothing of such
    // a file waits to be written.
    if (::sync_file_range(fd, 0, 0,
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                              SYNC_FILE_RANGE_WAIT_AFTER) != 0 &&
        errno != EINVAL && errno != EROFS && errno != ESPIPE)
        return fail("sync_file_range");
    const int code = ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    if (code != 0) {
        errno = code;
        return fail("posix_fadvise");
    }
    return true;
}

ReadBuffer allocateReadBuffer(qint64 size)
{
    constexpr qint64 page = 4096;
    void* data = std::aligned_alloc(size_t(page), size_t((size + page - 1) / page * page));
    if (!data)
        throw std::bad_alloc();
    return ReadBuffer(static_cast<char*>(data));
}

int openRegularFile(const QString& path, qint64* size)
{
    const int fd =
        ::open(ReachablePath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        fail("open");
        return -1;
    }
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        fail("fstat");
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        fail("open");
        return -1;
    }
    // O_NONBLOCK changes nothing for the reads of a regular file.
    *size = status.st_size;
    return fd;
}

qint64 readFile(int fd, char* buffer, qint64 length)
{
    for (;;) {
        const ssize_t count = ::read(fd, buffer, size_t(length));
        if (count >= 0)
            return count;
        if (errno != EINTR) {
            fail("read");
            return -1;
        }
    }
}

void closeFile(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

void readAhead(int fd, qint64 length)
{
    ::posix_fadvise(fd, 0, off_t(length), POSIX_FADV_WILLNEED);
}

int openFileAhead(const QString& path, qint64 readAheadLength, EntryStatus* result)
{
    const int fd = ::open(ReachablePath(path).c_str(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return -1;
    }
    fillEntryStatus(status, result);
    if (readAheadLength > 0)
        readAhead(fd, readAheadLength);
    return fd;
}

qint64 availableBytes(const QString& path)
{
    // statvfs alone: QStorageInfo would also resolve the path and read the mount table,
    // and the copy asks before every job.
    struct statvfs status;
    if (::statvfs(ReachablePath(path).c_str(), &status) != 0) {
        fail("statvfs");
        return -1;
    }
    return qint64(status.f_bavail) * qint64(status.f_frsize);
}

bool mountOf(const QByteArray& mountInfo, quint64 device, QString* type, QString* source)
{
    const QByteArray wanted =
        QByteArray::number(major(device)) + ':' + QByteArray::number(minor(device));
    bool found = false;
    for (const QByteArray& line : mountInfo.split('\n')) {
        // "id parent major:minor root mountpoint options [optional...] - type source super"
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 3 || fields.at(2) != wanted)
            continue;
        const int separator = fields.indexOf("-", 6);
        if (separator < 0 || separator + 2 >= fields.size())
            continue;
        *type = QString::fromUtf8(fields.at(separator + 1));
        // Spaces and backslashes are written as octal escapes there.
        *source = QString::fromUtf8(fields.at(separator + 2))
                      .replace(QLatin1String("\\040"), QLatin1String(" "))
                      .replace(QLatin1String("\\134"), QLatin1String("\\"));
        found = true;
    }
    return found;
}

QString bootSectorType(const QByteArray& sector)
{
    if (sector.size() < 90)
        return QString();
    if (sector.mid(3, 8) == "EXFAT   ")
        return QStringLiteral("exfat");
    if (sector.mid(3, 8) == "NTFS    ")
        return QStringLiteral("ntfs");
    if (sector.mid(82, 5) == "FAT32" || sector.mid(54, 5) == "FAT12" ||
        sector.mid(54, 5) == "FAT16")
        return QStringLiteral("vfat");
    return QString();
}

bool volumeInfo(const QString& path, VolumeInfo* info)
{
    // A destination the run would make is asked through the folder that will hold it.
    QString existing = path;
    struct stat entry;
    while (::stat(ReachablePath(existing).c_str(), &entry) != 0) {
        const QString parent = QFileInfo(existing).path();
        if (parent == existing || parent.isEmpty())
            return fail("stat");
        existing = parent;
    }
    struct statfs fs;
    struct statvfs vfs;
    if (::statfs(ReachablePath(existing).c_str(), &fs) != 0)
        return fail("statfs");
    if (::statvfs(ReachablePath(existing).c_str(), &vfs) != 0)
        return fail("statvfs");
    info->magic = static_cast<unsigned long>(fs.f_type);
    info->device = quint64(entry.st_dev);
    info->availableBytes = qint64(vfs.f_bavail) * qint64(vfs.f_frsize);
    info->blockSize = vfs.f_frsize > 0 ? qint64(vfs.f_frsize) : 4096;
    info->maxNameLength = fs.f_namelen > 0 ? int(fs.f_namelen) : 255;
    info->readOnly = (vfs.f_flag & ST_RDONLY) != 0;
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    QString source;
    // A file of the kernel's: its size says nothing, so it is read to its end.
    if (!table.open(QIODevice::ReadOnly) ||
        !mountOf(table.readAll(), quint64(entry.st_dev), &info->type, &source))
        return true;
    if (info->type == QLatin1String("fuseblk") && source.startsWith(QLatin1Char('/'))) {
        // Readable by root or the disk group only; otherwise the driver stays unknown.
        QFile device(source);
        if (device.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            const QString driver = bootSectorType(device.read(512));
            if (!driver.isEmpty())
                info->type += QLatin1Char('.') + driver;
        }
    }
    return true;
}

bool canWriteFolder(const QString& path)
{
    if (::access(ReachablePath(path).c_str(), W_OK | X_OK) != 0)
        return fail("access");
    return true;
}

quint32 userId()
{
    return quint32(::geteuid());
}

bool showInFileManager(const QString& absolutePath, bool isFolder, QString* request)
{
    const QString method = isFolder ? QStringLiteral("ShowFolders") : QStringLiteral("ShowItems");
    const QString uri = QUrl::fromLocalFile(absolutePath).toString(QUrl::FullyEncoded);
    if (request)
        *request = QStringLiteral("%1.%2 %3").arg(QLatin1String(fileManagerService), method, uri);

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(fileManagerService),
                                                       QLatin1String(fileManagerPath),
                                                       QLatin1String(fileManagerService), method);
    // Arguments: the URIs to show and a startup notification id (none).
    call << QStringList{uri} << QString();
    const QDBusMessage reply = bus.call(call, QDBus::Block, fileManagerTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

QString lastFailedCall()
{
    return QString::fromLatin1(t_lastFailure.call);
}

int lastErrorCode()
{
    return t_lastFailure.code;
}

Failure lastFailure()
{
    return t_lastFailure;
}

void recordFailure(const char* call, int code)
{
    t_lastFailure.call = call ? call : "";
    t_lastFailure.code = code;
}

QString errorMessage(int code)
{
    char buffer[256];
    // GNU strerror_r: returns either buffer or a static text.
    const char* text = ::strerror_r(code, buffer, sizeof buffer);
    return QString::fromLocal8Bit(text);
}

namespace {

// The processes whose parent is in parents, from /proc.
QList<pid_t> childrenOf(const QList<pid_t>& parents)
{
    QList<pid_t> children;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return children;
    while (const dirent* entry = ::readdir(proc)) {
        const pid_t pid = pid_t(std::strtol(entry->d_name, nullptr, 10));
        if (pid <= 0)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold spaces and parentheses.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && parents.contains(pid_t(fields.at(1).toLong())))
            children.append(pid);
    }
    ::closedir(proc);
    return children;
}

} // namespace

bool holdProcessTree(qint64 pid, bool hold)
{
    if (pid <= 0 || ::kill(pid_t(pid), hold ? SIGSTOP : SIGCONT) != 0)
        return false;
    // A program such as rsync works in processes of its own: each is held (or let go) too,
    // from the top down, so that a child started meanwhile is met on the next level.
    QList<pid_t> level{pid_t(pid)};
    for (int depth = 0; depth < 8 && !level.isEmpty(); ++depth) {
        level = childrenOf(level);
        for (const pid_t child : qAsConst(level))
            ::kill(child, hold ? SIGSTOP : SIGCONT);
    }
    return true;
}

} // namespace Platform
