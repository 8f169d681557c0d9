#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

class QDBusConnection;
class QDBusPendingCallWatcher;

// Keeps the computer from going to sleep or idling into a screen lock that ends in sleep
// while a run goes on: a "block" lock of logind (org.freedesktop.login1) on the system bus,
// which lasts as long as the descriptor logind hands back stays open. Asked for without
// waiting; where there is no system bus or no logind the run simply goes on without a lock.
class SleepInhibitor : public QObject
{
    Q_OBJECT

public:
    // On the system bus.
    explicit SleepInhibitor(QObject* parent = nullptr);
    // On the given bus (another bus than the system's: tests).
    explicit SleepInhibitor(const QDBusConnection& bus, QObject* parent = nullptr);
    // Releases the lock.
    ~SleepInhibitor() override;

    // Asks for the lock; who names the program, why is the reason the desktop may show.
    // Does nothing while a lock is held or asked for.
    void acquire(const QString& who, const QString& why);
    // Gives the lock up; one still on its way is given up when it arrives.
    void release();
    bool isHeld() const { return m_lock.isValid(); }

signals:
    // The lock arrived (true) or was given up (false).
    void heldChanged(bool held);

private:
    void onInhibitFinished(QDBusPendingCallWatcher* watcher);

    QString m_busName;
    QDBusPendingCallWatcher* mp_pending = nullptr;
    // Whether the lock is wanted: false once released, also while an answer is on its way.
    bool m_wanted = false;
    QDBusUnixFileDescriptor m_lock;
};
