#include "desktop.h"
#include "launcherentryprogress.h"
#include "privatebus.h"
#include "testsupport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QGuiApplication>
#include <QtTest>

#include <memory>

namespace {

const QString ServiceConnection = QStringLiteral("fake-desktop");
const QString NotificationsPath = QStringLiteral("/org/freedesktop/Notifications");

// What a launcher hears: one "uri property=value" line per property of each Update.
class LauncherListener : public QObject
{
    Q_OBJECT

public:
    QStringList updates;

public slots:
    void onUpdate(const QString& uri, const QVariantMap& properties)
    {
        for (auto it = properties.cbegin(); it != properties.cend(); ++it)
            updates << QStringLiteral("%1 %2=%3").arg(uri, it.key(), it.value().toString());
    }
};

// The notification server: records each Notify and answers with a new id.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    void invoke(uint id, const QString& action)
    {
        QDBusMessage signal = QDBusMessage::createSignal(
            NotificationsPath, "org.freedesktop.Notifications", "ActionInvoked");
        QVERIFY(QDBusConnection(ServiceConnection).send(signal << id << action));
    }
    QVariantList lastCall;
    uint lastId = 40;

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int expireTimeout)
    {
        lastCall = {appName, replacesId, appIcon, summary, body, actions, hints, expireTimeout};
        return ++lastId;
    }
};

} // namespace

class TestDesktopSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void launcherProgress_data();
    void launcherProgress();
    void notificationClicked();
    void silentWithoutService();

private:
    std::unique_ptr<PrivateBus> mp_bus;
};

void TestDesktopSession::initTestCase()
{
    TestSupport::initTestEnvironment();
    mp_bus = std::make_unique<PrivateBus>();
    if (mp_bus->address().isEmpty())
        QSKIP("no dbus-daemon to run a private bus (apt package dbus)");
    // The session bus of this process is the private one, set before anything asks for it.
    qputenv("DBUS_SESSION_BUS_ADDRESS", mp_bus->address().toUtf8());
    QVERIFY(QDBusConnection::sessionBus().isConnected());
    QVERIFY(QDBusConnection::connectToBus(mp_bus->address(), ServiceConnection).isConnected());
}

void TestDesktopSession::launcherProgress_data()
{
    QTest::addColumn<QString>("desktopId");
    QTest::addColumn<QStringList>("steps"); // show, hide, a percent, or gone
    QTest::addColumn<QStringList>("updates");

    const QString id = QStringLiteral("org.orvanesoft.Brindle");
    const QString uri = QStringLiteral("application://org.orvanesoft.Brindle.desktop ");
    QTest::newRow("a run shown and hidden")
        << id << QStringList{"hide", "show", "30", "30", "90", "hide", "hide"}
        << QStringList{uri + "progress-visible=true", uri + "progress=0.3", uri + "progress=0.9",
                       uri + "progress-visible=false"};
    QTest::newRow("gone while shown hides it")
        << id + ".desktop" << QStringList{"show", "gone"}
        << QStringList{uri + "progress-visible=true", uri + "progress-visible=false"};
    QTest::newRow("percent held to 0..100")
        << id << QStringList{"150", "-5"} << QStringList{uri + "progress=1", uri + "progress=0"};
    QTest::newRow("no desktop id, no entry to update")
        << QString() << QStringList{"show", "50"} << QStringList();
}

void TestDesktopSession::launcherProgress()
{
    QFETCH(QString, desktopId);
    QFETCH(QStringList, steps);
    QDBusConnection listenerBus(ServiceConnection);
    LauncherListener listener;
    QVERIFY(listenerBus.connect(QString(), LauncherEntryProgress::objectPath(),
                                "com.canonical.Unity.LauncherEntry", "Update", &listener,
                                SLOT(onUpdate(QString, QVariantMap))));

    QGuiApplication::setDesktopFileName(desktopId);
    auto progress = std::make_unique<LauncherEntryProgress>();
    for (const QString& step : qAsConst(steps)) {
        if (step == "show" || step == "hide")
            progress->setVisible(step == "show");
        else if (step == "gone")
            progress.reset();
        else
            progress->setValue(step.toInt());
    }
    // A last update through the same connection: once it is heard, all before it were.
    QGuiApplication::setDesktopFileName("end");
    LauncherEntryProgress().setVisible(true);
    QGuiApplication::setDesktopFileName(QString());
    const QString end = QStringLiteral("application://end.desktop progress-visible=true");
    QTRY_VERIFY(listener.updates.contains(end));
    QFETCH(QStringList, updates);
    QCOMPARE(listener.updates.mid(0, listener.updates.indexOf(end)), updates);
    listenerBus.disconnect(QString(), LauncherEntryProgress::objectPath(),
                           "com.canonical.Unity.LauncherEntry", "Update", &listener,
                           SLOT(onUpdate(QString, QVariantMap)));
}

void TestDesktopSession::notificationClicked()
{
    QDBusConnection service(ServiceConnection);
    FakeNotifications server;
    QVERIFY(service.registerObject(NotificationsPath, &server, QDBusConnection::ExportAllSlots));
    QVERIFY(service.registerService("org.freedesktop.Notifications"));
    const auto unregister = qScopeGuard([&] {
        service.unregisterService("org.freedesktop.Notifications");
        service.unregisterObject(NotificationsPath);
    });

    QGuiApplication::setDesktopFileName("org.orvanesoft.Brindle");
    SystemDesktop desktop;
    int clicks = 0;
    desktop.notify("Copy completed", "12 files", [&] { ++clicks; });
    QGuiApplication::setDesktopFileName(QString());
    QTRY_VERIFY(!server.lastCall.isEmpty());
    const QVariantList expected{"Brindle",
                                0u,
                                "brindle",
                                "Copy completed",
                                "12 files",
                                QStringList{"default", "Show"},
                                QVariantMap{{"desktop-entry", "org.orvanesoft.Brindle"}},
                                -1};
    QCOMPARE(server.lastCall, expected);

    // Another notification's click and another action do nothing; a click runs it once.
    server.invoke(server.lastId + 1, "default");
    server.invoke(server.lastId, "other");
    server.invoke(server.lastId, "default");
    server.invoke(server.lastId, "default");
    QTRY_COMPARE(clicks, 1);
    // A second notification's click, heard after the repeated one, shows that it was ignored.
    int laterClicks = 0;
    desktop.notify("Copy stopped", QString(), [&] { ++laterClicks; });
    QTRY_COMPARE(server.lastCall.value(3).toString(), QStringLiteral("Copy stopped"));
    server.invoke(server.lastId, "default");
    QTRY_COMPARE(laterClicks, 1);
    QCOMPARE(clicks, 1);
}

// No notification server on the bus, no bus for the launcher: nothing shown, nothing said.
void TestDesktopSession::silentWithoutService()
{
    QTemporaryDir dir;
    MessageRecorder messages;
    QGuiApplication::setDesktopFileName("org.orvanesoft.Brindle");
    {
        LauncherEntryProgress progress(
            QDBusConnection::connectToBus("unix:path=" + dir.filePath("none"), "none"));
        progress.setVisible(true);
        progress.setValue(50);
    }
    bool clicked = false;
    SystemDesktop().notify("Copy completed", QString(), [&] { clicked = true; });
    QGuiApplication::setDesktopFileName(QString());
    // The refusal comes back before the answer to a later call on the same bus.
    QDBusPendingCallWatcher ping(
        QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
            "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.Peer", "Ping")));
    QSignalSpy answered(&ping, &QDBusPendingCallWatcher::finished);
    QTRY_COMPARE(answered.count(), 1);
    QVERIFY(!clicked);
    QCOMPARE(messages.warnings, QStringList());
}

QTEST_GUILESS_MAIN(TestDesktopSession)
#include "tst_desktopsession.moc"
