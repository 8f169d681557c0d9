#pragma once

#include <QString>
#include <QTemporaryDir>

#include <sys/types.h>

namespace TestSupport {

// A 64 MiB exFAT image on a loop device, mounted through FUSE (mount.exfat-fuse) in a
// temporary folder: case-insensitive names, no links, no owners; and a daemon that can be
// stopped to make every access to the mount hang, as a dead network server does. Needs
// root, /dev/fuse, exfatprogs and exfat-fuse; without them isValid() is false and
// skipReason() tells why. Whatever the test did, the destructor lets the daemon go on,
// unmounts, detaches the loop device and removes the image.
class ExfatMount
{
public:
    explicit ExfatMount(qint64 sizeBytes = 64 * 1024 * 1024);
    ~ExfatMount();
    ExfatMount(const ExfatMount&) = delete;
    ExfatMount& operator=(const ExfatMount&) = delete;

    bool isValid() const { return m_daemon > 0; }
    QString skipReason() const { return m_skipReason; }
    // The mounted folder.
    QString path() const { return m_mountPoint; }
    pid_t daemonPid() const { return m_daemon; }

    // Stops the FUSE daemon: every call into the mount blocks until answer().
    bool hang();
    bool answer();

    // How many threads of process pid wait for an answer of a FUSE daemon (the kernel's
    // request_wait_answer or fuse_get_req, read from /proc/PID/task/*/wchan).
    static int threadsWaitingOnFuse(pid_t pid);

private:
    bool setUp(qint64 sizeBytes);
    pid_t findDaemon() const;

    QTemporaryDir m_dir;
    QString m_image;
    QString m_loopDevice;
    QString m_mountPoint;
    QString m_skipReason;
    bool m_mounted = false;
    pid_t m_daemon = 0;
};

} // namespace TestSupport
