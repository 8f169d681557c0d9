#include "privatebus.h"

#include <QStandardPaths>

PrivateBus::PrivateBus()
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (program.isEmpty()) {
        m_why = QStringLiteral("dbus-daemon is not installed (apt package dbus)");
        return;
    }
    m_daemon.setProgram(program);
    m_daemon.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    // It complains of limits it may not raise here; its address is all a test needs.
    m_daemon.setStandardErrorFile(QProcess::nullDevice());
    m_daemon.start();
    while (m_daemon.waitForReadyRead(10000)) {
        if (m_daemon.canReadLine()) {
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
            return;
        }
    }
    m_why = QStringLiteral("dbus-daemon did not start: %1").arg(m_daemon.errorString());
}

PrivateBus::~PrivateBus()
{
    if (m_daemon.state() == QProcess::NotRunning)
        return;
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(5000)) {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
}
