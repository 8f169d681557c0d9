#include "privatebus.h"

PrivateBus::PrivateBus()
{
    m_daemon.setProgram(QStringLiteral("dbus-daemon"));
    m_daemon.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    // It complains of limits it may not raise here; its address is all a test needs.
    m_daemon.setStandardErrorFile(QProcess::nullDevice());
    m_daemon.start();
    while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(10000)) {
    }
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
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

namespace {
MessageRecorder* g_recorder = nullptr;
QtMessageHandler g_previousHandler = nullptr;
} // namespace

MessageRecorder::MessageRecorder()
{
    g_recorder = this;
    g_previousHandler = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&,
                                                  const QString& text) {
        (type == QtDebugMsg || type == QtInfoMsg ? g_recorder->debugLines : g_recorder->warnings)
            .append(text);
    });
}

MessageRecorder::~MessageRecorder()
{
    qInstallMessageHandler(g_previousHandler);
    g_recorder = nullptr;
}
