#include "launcherentryprogress.h"

#include <QDBusMessage>
#include <QGuiApplication>
#include <QtGlobal>

LauncherEntryProgress::LauncherEntryProgress()
    : LauncherEntryProgress(QDBusConnection::sessionBus())
{
}

LauncherEntryProgress::LauncherEntryProgress(const QDBusConnection& bus) : m_bus(bus) {}

LauncherEntryProgress::~LauncherEntryProgress()
{
    setVisible(false);
}

void LauncherEntryProgress::setValue(int value)
{
    value = qBound(0, value, 100);
    if (value == m_value)
        return;
    m_value = value;
    send({{QStringLiteral("progress"), value / 100.0}});
}

void LauncherEntryProgress::setVisible(bool visible)
{
    // Hidden is where a launcher starts: nothing to say until it is first shown.
    if (visible == m_visible)
        return;
    m_visible = visible;
    send({{QStringLiteral("progress-visible"), visible}});
}

void LauncherEntryProgress::send(const QVariantMap& properties)
{
    QString id = QGuiApplication::desktopFileName();
    if (id.endsWith(QLatin1String(".desktop")))
        id.chop(8);
    if (id.isEmpty() || !m_bus.isConnected())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(
        objectPath(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
        QStringLiteral("Update"));
    signal << QStringLiteral("application://%1.desktop").arg(id) << properties;
    m_bus.send(signal);
}
