#include "exfatmount.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <csignal>
#include <unistd.h>

namespace TestSupport {

namespace {

const QStringList systemFolders{"/usr/sbin", "/sbin", "/usr/bin", "/bin"};

QString tool(const QString& name)
{
    const QString found = QStandardPaths::findExecutable(name);
    return found.isEmpty() ? QStandardPaths::findExecutable(name, systemFolders) : found;
}

// Runs program to its end; its standard output, or a null string when it failed.
QString runTool(const QString& program, const QStringList& arguments, QString* error = nullptr)
{
    QProcess process;
    process.start(tool(program), arguments);
    const bool ended = process.waitForFinished(60000);
    if (!ended)
        process.kill();
    if (!ended || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("%1 %2 failed: %3")
                         .arg(program, arguments.join(' '),
                              QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
        return QString();
    }
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    return out.isNull() ? QStringLiteral("") : out;
}

} // namespace

ExfatMount::ExfatMount(qint64 sizeBytes)
{
    if (!setUp(sizeBytes) && m_skipReason.isEmpty())
        m_skipReason = QStringLiteral("the exFAT mount could not be set up");
}

bool ExfatMount::setUp(qint64 sizeBytes)
{
    if (::geteuid() != 0) {
        m_skipReason = QStringLiteral("loop devices and mounts need root");
        return false;
    }
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        m_skipReason = QStringLiteral("no /dev/fuse");
        return false;
    }
    for (const char* name : {"mkfs.exfat", "losetup", "mount.exfat-fuse", "umount"}) {
        if (tool(QString::fromLatin1(name)).isEmpty()) {
            m_skipReason = QStringLiteral("%1 is missing (packages exfatprogs, exfat-fuse)")
                               .arg(QString::fromLatin1(name));
            return false;
        }
    }
    if (!m_dir.isValid())
        return false;
    m_image = m_dir.filePath(QStringLiteral("exfat.img"));
    m_mountPoint = m_dir.filePath(QStringLiteral("mount"));
    QFile image(m_image);
    if (!image.open(QIODevice::WriteOnly) || !image.resize(sizeBytes) ||
        !QDir().mkpath(m_mountPoint))
        return false;
    image.close();
    if (runTool("mkfs.exfat", {m_image}, &m_skipReason).isNull())
        return false;
    m_loopDevice = runTool("losetup", {"-f", "--show", m_image}, &m_skipReason);
    if (m_loopDevice.isEmpty())
        return false;
    if (runTool("mount.exfat-fuse", {m_loopDevice, m_mountPoint}, &m_skipReason).isNull())
        return false;
    m_mounted = true;
    m_daemon = findDaemon();
    if (m_daemon <= 0) {
        m_skipReason = QStringLiteral("no FUSE daemon serves %1").arg(m_mountPoint);
        return false;
    }
    // A listing needs the daemon's answers: it has taken the mount over, and a hang()
    // stops a daemon at work rather than one still starting.
    QDir(m_mountPoint).entryList();
    return true;
}

ExfatMount::~ExfatMount()
{
    // A stopped daemon would hang the unmount too.
    if (m_daemon > 0)
        ::kill(m_daemon, SIGCONT);
    if (m_mounted && runTool("umount", {m_mountPoint}).isNull() &&
        runTool("umount", {"-l", m_mountPoint}).isNull())
        qWarning() << "ExfatMount: cannot unmount" << m_mountPoint;
    if (!m_loopDevice.isEmpty() && runTool("losetup", {"-d", m_loopDevice}).isNull())
        qWarning() << "ExfatMount: cannot detach" << m_loopDevice;
    // The temporary folder takes the image with it.
}

// The mount.exfat-fuse process whose arguments name this loop device and mount point.
pid_t ExfatMount::findDaemon() const
{
    const QStringList processes = QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : processes) {
        bool number = false;
        const pid_t pid = pid_t(name.toInt(&number));
        if (!number)
            continue;
        QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> arguments = file.readAll().split('\0');
        if (!arguments.isEmpty() && QFileInfo(arguments.first()).fileName().contains("exfat") &&
            arguments.contains(QFile::encodeName(m_loopDevice)) &&
            arguments.contains(QFile::encodeName(m_mountPoint)))
            return pid;
    }
    return 0;
}

bool ExfatMount::hang()
{
    return m_daemon > 0 && ::kill(m_daemon, SIGSTOP) == 0;
}

bool ExfatMount::answer()
{
    return m_daemon > 0 && ::kill(m_daemon, SIGCONT) == 0;
}

int ExfatMount::threadsWaitingOnFuse(pid_t pid)
{
    int waiting = 0;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    const QStringList threads = QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& thread : threads) {
        QFile wchan(tasks + '/' + thread + "/wchan");
        if (!wchan.open(QIODevice::ReadOnly))
            continue;
        // fuse_get_req: a request waits for the daemon to take up the mount at all.
        const QByteArray where = wchan.readAll();
        if (where.contains("wait_answer") || where.contains("fuse_get_req"))
            ++waiting;
    }
    return waiting;
}

} // namespace TestSupport
