#include "fs/sleepinhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDebug>

SleepInhibitor::SleepInhibitor(QObject* parent)
    : SleepInhibitor(QDBusConnection::systemBus(), parent)
{
}

SleepInhibitor::SleepInhibitor(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_busName(bus.name())
{
}

SleepInhibitor::~SleepInhibitor()
{
    release();
    // An answer still on its way closes its descriptor with the call.
    delete mp_pending;
}

void SleepInhibitor::acquire(const QString& who, const QString& why)
{
    m_wanted = true;
    if (isHeld() || mp_pending)
        return;
    QDBusConnection bus(m_busName);
    if (!bus.isConnected()) {
        qDebug() << "No system bus: the computer may sleep during the run";
        m_wanted = false;
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:idle") << who << why << QStringLiteral("block");
    mp_pending = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(mp_pending, &QDBusPendingCallWatcher::finished, this,
            &SleepInhibitor::onInhibitFinished);
}

void SleepInhibitor::release()
{
    m_wanted = false;
    if (!isHeld())
        return;
    // Closing the last copy of the descriptor ends the lock.
    m_lock = QDBusUnixFileDescriptor();
    emit heldChanged(false);
}

void SleepInhibitor::onInhibitFinished(QDBusPendingCallWatcher* watcher)
{
    mp_pending = nullptr;
    // The reply holds its own copy of the descriptor: it goes with the watcher.
    watcher->deleteLater();
    const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *watcher;
    if (reply.isError()) {
        qDebug() << "No sleep lock from logind:" << qUtf8Printable(reply.error().message());
        return;
    }
    if (!m_wanted || !reply.value().isValid())
        return;
    m_lock = reply.value();
    emit heldChanged(true);
}
