#include "fs/platformcopy.h"

#include "fs/pathutils.h"
#include "fs/platform.h"
#include "fs/platformcopy_linux_p.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

// Where copies go: temporary names and their removal, final names, the probe of a
// destination's file system, created folders, flushes and symbolic links.

namespace PlatformCopy {

using namespace LinuxInternal;

namespace {

// Leaves room for the temporary name's prefix and suffix within the 255 bytes of a name.
const int maxKeptNameBytes = 200;
const int maxTemporaryNameAttempts = 100;

// The target's name as a temporary name keeps it: shortened to leave room for the
// prefix and suffix within the 255 bytes of a name.
QString keptName(const QString& targetName)
{
    // Three bytes at most for each UTF-16 unit: short without encoding it.
    if (targetName.size() * 3 <= maxKeptNameBytes)
        return targetName;
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

// A hidden name for a copy of the file name, unique enough to be created with O_EXCL:
// ".<kept name>.<random>.<pid>-<start ticks>.brindle-part", at most 254 bytes.
QString temporaryFileName(const QString& fileName)
{
    // The random part in base 36, as QString::number would write it, at a third of its cost.
    quint64 random = QRandomGenerator::global()->generate64() & 0xffffffffffffULL;
    char digits[16];
    int count = 0;
    do {
        digits[count++] = "0123456789abcdefghijklmnopqrstuvwxyz"[random % 36];
        random /= 36;
    } while (random != 0);
    const QString kept = keptName(fileName);
    const QString& tag = ownWriterTag();
    const QLatin1String suffix(temporarySuffix);
    // Joined in place: arg() parses its pattern again for each of the run's files.
    QString name;
    name.reserve(3 + kept.size() + count + tag.size() + suffix.size());
    name += QLatin1Char('.');
    name += kept;
    name += QLatin1Char('.');
    while (count > 0)
        name += QLatin1Char(digits[--count]);
    name += QLatin1Char('.');
    name += tag;
    name += suffix;
    return name;
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

// Reads a name of the form temporaryFileName makes; false for any other name.
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
bool renameKeepingTimes(int folderFd, const QByteArray& from, const QByteArray& to)
{
    struct stat before;
    const bool known = ::fstatat(folderFd, from.constData(), &before, AT_SYMLINK_NOFOLLOW) == 0;
    if (::renameat(folderFd, from.constData(), folderFd, to.constData()) != 0)
        return false;
    struct stat after;
    if (known && ::fstatat(folderFd, to.constData(), &after, AT_SYMLINK_NOFOLLOW) == 0 &&
        (after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
         after.st_mtim.tv_nsec != before.st_mtim.tv_nsec)) {
        const struct timespec times[2] = {before.st_atim, before.st_mtim};
        ::utimensat(folderFd, to.constData(), times, AT_SYMLINK_NOFOLLOW);
    }
    return true;
}

} // namespace

namespace LinuxInternal {

// Gives the finished temporary file its final name, refusing to replace anything there
// unless asked to.
bool moveIntoPlace(int folderFd, const QByteArray& temporary, const QByteArray& target,
                   Failure* failure, bool replace)
{
    if (replace) {
        if (renameKeepingTimes(folderFd, temporary, target))
            return true;
        return fail(failure, "rename", errno);
    }
    if (::renameat2(folderFd, temporary.constData(), folderFd, target.constData(),
                    RENAME_NOREPLACE) == 0)
        return true;
    const int code = errno;
    if (code != EINVAL && code != ENOSYS && code != EOPNOTSUPP)
        return fail(failure, "renameat2", code);
    // File systems without that flag (NFS) still refuse to link over an existing name.
    if (::linkat(folderFd, temporary.constData(), folderFd, target.constData(), 0) == 0) {
        // The copy is in place; a failed unlink leaves only a second name of the same data.
        ::unlinkat(folderFd, temporary.constData(), 0);
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
    if (::fstatat(folderFd, target.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0)
        return fail(failure, "rename", EEXIST);
    if (errno != ENOENT)
        return fail(failure, "lstat", errno);
    if (!renameKeepingTimes(folderFd, temporary, target))
        return fail(failure, "rename", errno);
    return true;
}

int openTemporaryFile(int folderFd, const QString& target, QByteArray* temporary, Failure* failure)
{
    // Beside the target: in the folder given, or else in the target's own.
    const QString folderPath = folderFd == AT_FDCWD ? FileSystemUtils::folderOf(target) : QString();
    const QString prefix = folderFd == AT_FDCWD ? folderPath + QLatin1Char('/') : QString();
    // A folder whose path is over the system's limit is reached through a descriptor.
    const Platform::ReachablePath folder(folderPath);
    const QString fileName = FileSystemUtils::fileNameOf(target);
    int fd = -1;
    for (int attempt = 0; attempt < maxTemporaryNameAttempts; ++attempt) {
        const QString name = temporaryFileName(fileName);
        *temporary = QFile::encodeName(prefix + name);
        const QByteArray reached = folder.isLong()
                                       ? QByteArray(folder.c_str()) + '/' + QFile::encodeName(name)
                                       : *temporary;
        fd = ::openat(folderFd, reached.constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            break;
    }
    if (fd < 0)
        fail(failure, "open", errno);
    return fd;
}

} // namespace LinuxInternal

namespace {

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

} // namespace

int createTemporaryFile(const QString& target, QString* temporaryPath, Failure* failure)
{
    QByteArray temporary;
    const int fd = openTemporaryFile(AT_FDCWD, target, &temporary, failure);
    if (fd >= 0 && temporaryPath)
        *temporaryPath = QFile::decodeName(temporary);
    return fd;
}

bool moveIntoPlace(const QString& temporary, const QString& target, Failure* failure, bool replace)
{
    const Platform::ReachablePath from(temporary);
    const Platform::ReachablePath to(target);
    return moveIntoPlace(AT_FDCWD, from.c_str(), to.c_str(), failure, replace);
}

bool moveIntoPlaceAt(int folderFd, QStringView temporaryName, QStringView targetName,
                     Failure* failure, bool replace)
{
    // The names as QFile::encodeName gives them, without a copy of each cut out first.
    return moveIntoPlace(folderFd, temporaryName.toLocal8Bit(), targetName.toLocal8Bit(), failure,
                         replace);
}

Platform::FileSystemTraits probeFileSystem(const QString& folder)
{
    struct stat folderStatus;
    if (::stat(Platform::ReachablePath(folder).c_str(), &folderStatus) != 0)
        return Platform::FileSystemTraits();
    const quint64 device = quint64(folderStatus.st_dev);
    Platform::FileSystemTraits traits = Platform::fileSystemTraits(device, folder);
    if (traits.probed)
        return traits;
    // A process killed while it probed left its probe behind: gone with the next probe.
    const QString probeName = QStringLiteral("brindle-probe");
    removeStaleTemporaryFiles(folder, {probeName});
    QByteArray probe;
    const int fd =
        openTemporaryFile(AT_FDCWD, folder + QLatin1Char('/') + probeName, &probe, nullptr);
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
    const bool caseInsensitive =
        timesKnown &&
        ::lstat(Platform::ReachablePath(QFile::decodeName(upper)).c_str(), &other) == 0;
    ::unlink(Platform::ReachablePath(QFile::decodeName(probe)).c_str());
    // The folder looks untouched: a run that copies nothing changes nothing. Only times
    // that moved are put back: a FAT root keeps none (0), and fusefat ends on a date before
    // 1980.
    struct stat after;
    if (::stat(Platform::ReachablePath(folder).c_str(), &after) == 0 &&
        folderStatus.st_mtim.tv_sec > 0 &&
        (after.st_mtim.tv_sec != folderStatus.st_mtim.tv_sec ||
         after.st_mtim.tv_nsec != folderStatus.st_mtim.tv_nsec)) {
        const struct timespec folderTimes[2] = {folderStatus.st_atim, folderStatus.st_mtim};
        ::utimensat(AT_FDCWD, Platform::ReachablePath(folder).c_str(), folderTimes, 0);
    }
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

QStringList removeStaleTemporaryFiles(const QString& folder, const QSet<QString>& targetNames,
                                      bool anyName)
{
    QStringList removed;
    if (targetNames.isEmpty() && !anyName)
        return removed;
    QSet<QString> keptNames;
    for (const QString& name : targetNames)
        keptNames.insert(keptName(name));
    // Listed as bytes: QDir leaves out the names that are not valid text, and a copy of
    // such a name leaves a temporary name that is not either. (A destination named through
    // a link is listed through it, as QDir did.)
    const int fd = Platform::openFolder(folder, true);
    if (fd < 0)
        return removed;
    std::vector<Platform::FolderEntry> entries;
    Platform::readFolder(fd, &entries);
    const QDir dir(folder);
    for (const Platform::FolderEntry& entry : entries) {
        if (!entry.name.endsWith(temporarySuffix) || entry.type == Platform::FolderEntry::Folder)
            continue;
        const QString name = QFile::decodeName(entry.name);
        TemporaryName parsed;
        if (!parseTemporaryName(name, &parsed) || (!anyName && !keptNames.contains(parsed.kept)) ||
            writerIsAlive(parsed))
            continue;
        struct stat status;
        if (::fstatat(fd, entry.name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(status.st_mode))
            continue;
        if (::unlinkat(fd, entry.name.constData(), 0) == 0)
            removed.append(dir.filePath(name));
    }
    Platform::closeFolder(fd);
    return removed;
}

bool createFolders(const QString& path, Failure* failure)
{
    const QByteArray encoded = QFile::encodeName(QDir::cleanPath(path));
    // Parents first; an existing one answers EEXIST before any permission is checked.
    for (int end = 1; end <= encoded.size(); ++end) {
        if (end < encoded.size() && encoded.at(end) != '/')
            continue;
        const Platform::ReachablePath part(QFile::decodeName(encoded.left(end)));
        if (::mkdir(part.c_str(), createdFolderMode) != 0 && errno != EEXIST)
            return fail(failure, "mkdir", errno);
    }
    struct stat status;
    if (::stat(Platform::ReachablePath(QFile::decodeName(encoded)).c_str(), &status) != 0)
        return fail(failure, "stat", errno);
    if (!S_ISDIR(status.st_mode))
        return fail(failure, "mkdir", ENOTDIR);
    return true;
}

namespace {

// The components of path below root, or false when path is not inside root.
// The absolute, clean form of path. A copy job asks for each folder it writes to: an
// absolute path (every path of a run) is cleaned without the work of a QDir.
QString cleanAbsolutePath(const QString& path)
{
    return QDir::cleanPath(path.startsWith(QLatin1Char('/')) ? path : QDir(path).absolutePath());
}

bool componentsBelow(const QString& root, const QString& path, QList<QByteArray>* parts)
{
    const QString cleanRoot = cleanAbsolutePath(root);
    const QString cleanPath = cleanAbsolutePath(path);
    if (cleanPath == cleanRoot)
        return true;
    const QString prefix =
        cleanRoot.endsWith(QLatin1Char('/')) ? cleanRoot : cleanRoot + QLatin1Char('/');
    if (!cleanPath.startsWith(prefix))
        return false;
    const QByteArray rest = QFile::encodeName(cleanPath.mid(prefix.size()));
    for (const QByteArray& part : rest.split('/'))
        if (!part.isEmpty())
            parts->append(part);
    return true;
}

// One folder below parentFd, never through a link: openat2 refuses any link on the way,
// and the plain openat with O_NOFOLLOW refuses a link as the last (and only) component.
int openChildFolder(int parentFd, const QByteArray& name)
{
    static bool hasOpenat2 = true;
    if (hasOpenat2) {
        struct open_how how = {};
        how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
        const long fd = ::syscall(SYS_openat2, parentFd, name.constData(), &how, sizeof(how));
        if (fd >= 0 || errno != ENOSYS)
            return static_cast<int>(fd);
        hasOpenat2 = false;
    }
    return ::openat(parentFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Walks from root to path, creating missing folders when create is set; with folderFd, the
// folder reached stays open there.
bool walkBeneath(const QString& root, const QString& path, bool create, Failure* failure,
                 int* folderFd = nullptr, int rootFd = -1)
{
    QList<QByteArray> parts;
    if (!componentsBelow(root, path, &parts))
        return fail(failure, "openat", EXDEV);
    // From the root the caller holds: the file system it was opened on, whatever is mounted
    // at its path since.
    int fd = rootFd >= 0 ? ::fcntl(rootFd, F_DUPFD_CLOEXEC, 0)
                         : ::open(Platform::ReachablePath(root).c_str(),
                                  O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return fail(failure, "open", errno);
    for (const QByteArray& part : parts) {
        if (part == "..") {
            closeDescriptor(fd);
            return fail(failure, "openat", EXDEV);
        }
        if (create && ::mkdirat(fd, part.constData(), createdFolderMode) != 0 && errno != EEXIST) {
            const int code = errno;
            closeDescriptor(fd);
            return fail(failure, "mkdirat", code);
        }
        int child = openChildFolder(fd, part);
        // The fallback's O_NOFOLLOW answers ELOOP for a link; ENOTDIR stays for a file.
        const int code = errno;
        closeDescriptor(fd);
        if (child < 0)
            return fail(failure, "openat", code == EXDEV ? ELOOP : code);
        fd = child;
    }
    if (folderFd)
        *folderFd = fd;
    else
        closeDescriptor(fd);
    return true;
}

} // namespace

bool createFoldersBeneath(const QString& root, const QString& path, Failure* failure, int rootFd)
{
    return walkBeneath(root, path, true, failure, nullptr, rootFd);
}

bool isFolderBeneath(const QString& root, const QString& path, Failure* failure)
{
    return walkBeneath(root, path, false, failure);
}

namespace LinuxInternal {

int openFolderBeneath(const QString& root, const QString& path, Failure* failure, int rootFd)
{
    if (rootFd >= 0) {
        // One call for the whole way where the kernel resolves it beneath the root.
        QList<QByteArray> parts;
        if (!componentsBelow(root, path, &parts) || parts.contains(".."))
            return fail(failure, "openat", EXDEV), -1;
        struct open_how how = {};
        how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
        // In steps the call takes when the way is over the system's limit for a path.
        long fd = rootFd;
        for (int first = 0; fd >= 0 && (first < parts.size() || fd == rootFd);) {
            QByteArray relative = first < parts.size() ? parts.at(first++) : QByteArray(".");
            while (first < parts.size() &&
                   relative.size() + 1 + parts.at(first).size() <= Platform::MaxPathBytes)
                relative += '/' + parts.at(first++);
            const long next =
                ::syscall(SYS_openat2, int(fd), relative.constData(), &how, sizeof(how));
            const int code = errno;
            if (fd != rootFd)
                closeDescriptor(int(fd));
            fd = next;
            errno = code;
        }
        if (fd >= 0)
            return static_cast<int>(fd);
        if (errno != ENOSYS)
            return fail(failure, "openat", errno == EXDEV ? ELOOP : errno), -1;
    }
    int fd = -1;
    return walkBeneath(root, path, false, failure, &fd, rootFd) ? fd : -1;
}

} // namespace LinuxInternal

namespace {

bool linkBetween(int fromFd, const QByteArray& fromName, int toFd, const QByteArray& toName,
                 const FileVersion& expected, bool replace, Failure* failure)
{
    struct stat first;
    if (::fstatat(fromFd, fromName.constData(), &first, AT_SYMLINK_NOFOLLOW) != 0)
        return fail(failure, "lstat", errno);
    if (!S_ISREG(first.st_mode) || !versionOf(first).sameData(expected))
        return fail(failure, "lstat", ESTALE);
    if (!replace) {
        if (::linkat(fromFd, fromName.constData(), toFd, toName.constData(), 0) != 0)
            return fail(failure, "linkat", errno);
    } else {
        // Made under a temporary name, then renamed over the entry: it stays whole until then.
        QByteArray temporary;
        for (int attempt = 0;; ++attempt) {
            temporary = QFile::encodeName(temporaryFileName(QFile::decodeName(toName)));
            if (::linkat(fromFd, fromName.constData(), toFd, temporary.constData(), 0) == 0)
                break;
            if (errno != EEXIST || attempt + 1 >= maxTemporaryNameAttempts)
                return fail(failure, "linkat", errno);
        }
        const bool renamed = ::renameat(toFd, temporary.constData(), toFd, toName.constData()) == 0;
        const int code = errno;
        // A rename between two names of one file does nothing: the temporary name stays.
        ::unlinkat(toFd, temporary.constData(), 0);
        if (!renamed)
            return fail(failure, "rename", code);
    }
    struct stat made;
    if (::fstatat(toFd, toName.constData(), &made, AT_SYMLINK_NOFOLLOW) != 0)
        return fail(failure, "lstat", errno);
    if (made.st_dev != first.st_dev || made.st_ino != first.st_ino)
        return fail(failure, "lstat", ESTALE);
    return true;
}

} // namespace

bool createHardLinkBeneath(const QString& root, int rootFd, const QString& existing,
                           const QString& newPath, const FileVersion& expected, bool replace,
                           Failure* failure)
{
    const QFileInfo from(existing);
    const QFileInfo to(newPath);
    const int fromFd = openFolderBeneath(root, from.path(), failure, rootFd);
    if (fromFd < 0)
        return false;
    const int toFd = openFolderBeneath(root, to.path(), failure, rootFd);
    bool made = false;
    if (toFd >= 0) {
        made = linkBetween(fromFd, QFile::encodeName(from.fileName()), toFd,
                           QFile::encodeName(to.fileName()), expected, replace, failure);
        closeDescriptor(toFd);
    }
    closeDescriptor(fromFd);
    return made;
}

bool isCreatedFolder(const QString& path)
{
    struct stat status;
    return ::lstat(Platform::ReachablePath(path).c_str(), &status) == 0 &&
           isCreatedFolderStatus(status);
}

bool releaseCreatedFolder(const QString& path)
{
    const int fd = ::open(Platform::ReachablePath(path).c_str(),
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

bool flushToDisk(const QString& path, Failure* failure)
{
    // A FIFO or device node holds no data, and opening one may block or start a device:
    // only its name, in the folder, is flushed.
    struct stat status;
    if (::lstat(Platform::ReachablePath(path).c_str(), &status) != 0)
        return fail(failure, "lstat", errno);
    if (S_ISREG(status.st_mode)) {
        const int fd = ::open(Platform::ReachablePath(path).c_str(),
                              O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            return fail(failure, "open", errno);
        if (::fdatasync(fd) != 0) {
            const int code = errno;
            closeDescriptor(fd);
            return fail(failure, "fdatasync", code);
        }
        closeDescriptor(fd);
    }

    const int folderFd = ::open(Platform::ReachablePath(QFileInfo(path).absolutePath()).c_str(),
                                O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
    if (::symlink(target.constData(), Platform::ReachablePath(newLink).c_str()) != 0)
        return fail(failure, "symlink", errno);
    return true;
}

bool duplicateSpecialFile(const QString& existing, const QString& newPath, Failure* failure)
{
    struct stat status;
    if (::lstat(Platform::ReachablePath(existing).c_str(), &status) != 0)
        return fail(failure, "lstat", errno);
    const mode_t type = status.st_mode & S_IFMT;
    if (type != S_IFIFO && type != S_IFSOCK && type != S_IFCHR && type != S_IFBLK)
        return fail(failure, "mknod", EINVAL);
    // Private until its metadata is copied, as every file of a run.
    if (::mknod(Platform::ReachablePath(newPath).c_str(), type | 0600, status.st_rdev) != 0)
        return fail(failure, "mknod", errno);
    return true;
}

bool createSymbolicLink(const QString& target, const QString& newLink, Failure* failure)
{
    if (::symlink(Platform::ReachablePath(target).c_str(),
                  Platform::ReachablePath(newLink).c_str()) != 0)
        return fail(failure, "symlink", errno);
    return true;
}

PinnedFolder::~PinnedFolder()
{
    release();
}

bool PinnedFolder::pin(const QString& root, int rootFd, const QString& folder, Failure* failure)
{
    release();
    m_fd = openFolderBeneath(root, folder, failure, rootFd);
    if (m_fd < 0)
        return false;
    m_folder = folder;
    // Without /proc mounted the descriptor cannot be named: the folder is reached by path,
    // as checked by the caller. Asked once: /proc does not come and go during a run.
    static const bool namesDescriptors = ::access("/proc/self/fd", X_OK) == 0;
    if (!namesDescriptors) {
        release();
        return true;
    }
    m_prefix = QStringLiteral("/proc/self/fd/%1/").arg(m_fd);
    return true;
}

void PinnedFolder::release()
{
    if (m_fd >= 0)
        closeDescriptor(m_fd);
    m_fd = -1;
    m_prefix.clear();
    m_folder.clear();
}

QString PinnedFolder::entryPath(const QString& fileName, const QString& fallback) const
{
    return m_fd >= 0 ? m_prefix + fileName : fallback;
}

} // namespace PlatformCopy
