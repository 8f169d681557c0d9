#include "fs/platformqueue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace Platform {

QString wholeDiskName(const QString& sysfsTarget, bool isPartition)
{
    QStringList parts = sysfsTarget.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return QString();
    if (isPartition && parts.size() >= 2)
        return parts.at(parts.size() - 2);
    return parts.constLast();
}

QString deviceOf(const QString& path)
{
    // A destination that is not made yet lies on the device of the folder that will hold it.
    QString existing = QFileInfo(path).absoluteFilePath();
    struct stat info
    {
    };
    while (::stat(QFile::encodeName(existing).constData(), &info) != 0) {
        const QString parent = QFileInfo(existing).absolutePath();
        if (parent == existing)
            return QString();
        existing = parent;
    }
    const unsigned major = ::major(info.st_dev);
    const unsigned minor = ::minor(info.st_dev);
    const QString sysfs = QStringLiteral("/sys/dev/block/%1:%2").arg(major).arg(minor);
    const QString target = QFile::symLinkTarget(sysfs);
    if (target.isEmpty())
        return QStringLiteral("fs:%1:%2").arg(major).arg(minor);
    const bool partition = QFileInfo::exists(sysfs + QStringLiteral("/partition"));
    const QString disk = wholeDiskName(target, partition);
    // Devices stacked on others (LVM, dm-crypt, md) are their own device here: the disks
    // below are named in their "slaves", which a later version may follow.
    return QStringLiteral("block:%1").arg(disk);
}

int tryLockFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool isFileLocked(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    const bool locked = ::flock(fd, LOCK_SH | LOCK_NB) != 0;
    ::close(fd);
    return locked;
}

bool makePrivateFolder(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    ::mkdir(name.constData(), 0700);
    struct stat info
    {
    };
    return ::lstat(name.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 0077) == 0;
}

bool syncFolder(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

QString privateRuntimeFolder(const QString& fallbackName)
{
    const auto isPrivate = [](const QString& folder) {
        struct stat info
        {
        };
        return ::lstat(QFile::encodeName(folder).constData(), &info) == 0 &&
               S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 0777) == 0700;
    };
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && isPrivate(runtime))
        return QDir::cleanPath(runtime);
    const QString fallback =
        QStringLiteral("%1/%2-%3").arg(QDir::tempPath(), fallbackName).arg(::geteuid());
    ::mkdir(QFile::encodeName(fallback).constData(), 0700);
    return isPrivate(fallback) ? fallback : QString();
}

void prepareRunProcess(int lockFd)
{
    // A session of its own: the runner's terminal signals (Ctrl-C, Ctrl-Z) reach the
    // runner, which decides for its runs.
    ::setsid();
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (lockFd >= 0)
        ::fcntl(lockFd, F_SETFD, 0);
}

bool signalRun(qint64 pid, RunSignal signal)
{
    if (pid <= 0)
        return false;
    switch (signal) {
    case RunSignal::Pause:
        return ::kill(pid_t(pid), SIGTSTP) == 0;
    case RunSignal::Continue:
        return ::kill(pid_t(pid), SIGCONT) == 0;
    case RunSignal::Stop:
        // A held process takes the request once it runs again; the continue that wakes it
        // comes after the stop, so the run never copies on in between.
        if (::kill(pid_t(pid), SIGTERM) != 0)
            return false;
        ::kill(pid_t(pid), SIGCONT);
        return true;
    }
    return false;
}

} // namespace Platform
