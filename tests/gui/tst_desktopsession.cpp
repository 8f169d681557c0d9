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

const QString LauncherInterface = QStringLiteral("com.canonical.Unity.LauncherEntry");
const QString NotificationsName = QStringLiteral("org.freedesktop.Notifications");
const QString NotificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const QString ServiceConnection = QStringLiteral("fake-desktop");

// Every Update a launcher would hear, one "uri property=value" line per property.
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

// The desktop's notification server: records each Notify and answers with a new id.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QVariantList lastCall;
    uint lastId = 40;

    void invoke(uint id, const QString& action)
    {
        QDBusMessage signal = QDBusMessage::createSignal(NotificationsPath, NotificationsName,
                                                         QStringLiteral("ActionInvoked"));
        signal << id << action;
        QVERIFY(QDBusConnection(ServiceConnection).send(signal));
    }

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int expireTimeout)
    {
        lastCall = {appName, replacesId, appIcon, summary, body, actions, hints, expireTimeout};
        return ++lastId;
    }
};

// Warnings and errors given while it lives.
QStringList g_warnings;
class WarningCatcher
{
public:
    WarningCatcher()
    {
        g_warnings.clear();
        m_previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext&, const QString& text) {
                if (type != QtDebugMsg && type != QtInfoMsg)
                    g_warnings << text;
            });
    }
    ~WarningCatcher() { qInstallMessageHandler(m_previous); }

private:
    QtMessageHandler m_previous = nullptr;
};

} // namespace

class TestDesktopSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void launcherProgress_data();
    void launcherProgress();
    void launcherWithoutBus();
    void notificationClicked();
    void notificationWithoutServer();

private:
    std::unique_ptr<PrivateBus> mp_bus;
};

void TestDesktopSession::initTestCase()
{
    TestSupport::initTestEnvironment();
    mp_bus = std::make_unique<PrivateBus>();
    if (mp_bus->address().isEmpty())
        QSKIP(qPrintable(mp_bus->why()));
    // The session bus of this process is the private one, taken before anything asks for it.
    qputenv("DBUS_SESSION_BUS_ADDRESS", mp_bus->address().toUtf8());
    QVERIFY(QDBusConnection::sessionBus().isConnected());
    QVERIFY(QDBusConnection::connectToBus(mp_bus->address(), ServiceConnection).isConnected());
}

void TestDesktopSession::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(ServiceConnection);
    mp_bus.reset();
}

void TestDesktopSession::launcherProgress_data()
{
    QTest::addColumn<QString>("desktopId");
    QTest::addColumn<QStringList>("steps"); // show, hide, a percent, or gone
    QTest::addColumn<QStringList>("updates");

    const QString id = QStringLiteral("org.orvanesoft.Brindle");
    const QString uri = QStringLiteral("application://org.orvanesoft.Brindle.desktop ");
    QTest::newRow("a run shown and hidden")
        << id << QStringList{"show", "30", "30", "90", "hide", "hide"}
        << QStringList{uri + "progress-visible=true", uri + "progress=0.3", uri + "progress=0.9",
                       uri + "progress-visible=false"};
    QTest::newRow("hidden from the start says nothing")
        << id << QStringList{"hide", "40"} << QStringList{uri + "progress=0.4"};
    QTest::newRow("gone while shown hides it")
        << id << QStringList{"show", "gone"}
        << QStringList{uri + "progress-visible=true", uri + "progress-visible=false"};
    QTest::newRow("percent held to 0..100")
        << id << QStringList{"150", "-5"} << QStringList{uri + "progress=1", uri + "progress=0"};
    QTest::newRow("id given with its suffix")
        << id + ".desktop" << QStringList{"show"} << QStringList{uri + "progress-visible=true"};
    QTest::newRow("no desktop id, no entry to update")
        << QString() << QStringList{"show", "50"} << QStringList();
}

void TestDesktopSession::launcherProgress()
{
    QFETCH(QString, desktopId);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, updates);

    QDBusConnection listenerBus(ServiceConnection);
    LauncherListener listener;
    QVERIFY(listenerBus.connect(QString(), LauncherEntryProgress::objectPath(), LauncherInterface,
                                QStringLiteral("Update"), &listener,
                                SLOT(onUpdate(QString, QVariantMap))));
    const auto disconnect = qScopeGuard([&] {
        listenerBus.disconnect(QString(), LauncherEntryProgress::objectPath(), LauncherInterface,
                               QStringLiteral("Update"), &listener,
                               SLOT(onUpdate(QString, QVariantMap)));
    });

    QGuiApplication::setDesktopFileName(desktopId);
    auto progress = std::make_unique<LauncherEntryProgress>();
    for (const QString& step : qAsConst(steps)) {
        if (step == QLatin1String("show") || step == QLatin1String("hide"))
            progress->setVisible(step == QLatin1String("show"));
        else if (step == QLatin1String("gone"))
            progress.reset();
        else
            progress->setValue(step.toInt());
    }
    // A last update through the same connection: once it is heard, all before it was.
    QGuiApplication::setDesktopFileName(QStringLiteral("end"));
    LauncherEntryProgress().setVisible(true);
    const QString end = QStringLiteral("application://end.desktop progress-visible=");
    QTRY_VERIFY(!listener.updates.filter(end).isEmpty());
    QCOMPARE(listener.updates.mid(0, listener.updates.indexOf(QRegularExpression(end + ".*"))),
             updates);
    QGuiApplication::setDesktopFileName(QString());
}

void TestDesktopSession::launcherWithoutBus()
{
    QTemporaryDir dir;
    const QDBusConnection none = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=%1").arg(dir.filePath("no-bus")), QStringLiteral("none"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.orvanesoft.Brindle"));
    {
        WarningCatcher catcher;
        LauncherEntryProgress progress(none);
        progress.setVisible(true);
        progress.setValue(50);
    }
    QCOMPARE(g_warnings, QStringList());
    QGuiApplication::setDesktopFileName(QString());
    QDBusConnection::disconnectFromBus(QStringLiteral("none"));
}

void TestDesktopSession::notificationClicked()
{
    QDBusConnection service(ServiceConnection);
    FakeNotifications server;
    QVERIFY(service.registerObject(NotificationsPath, &server, QDBusConnection::ExportAllSlots));
    QVERIFY(service.registerService(NotificationsName));
    const auto unregister = qScopeGuard([&] {
        service.unregisterService(NotificationsName);
        service.unregisterObject(NotificationsPath);
    });

    QGuiApplication::setDesktopFileName(QStringLiteral("org.orvanesoft.Brindle"));
    SystemDesktop desktop;
    int clicks = 0;
    desktop.notify(QStringLiteral("Copy completed"), QStringLiteral("12 files"), [&] { ++clicks; });
    QTRY_VERIFY(!server.lastCall.isEmpty());
    QGuiApplication::setDesktopFileName(QString());
    const QVariantList expected{
        QStringLiteral("Brindle"),
        0u,
        QStringLiteral("brindle"),
        QStringLiteral("Copy completed"),
        QStringLiteral("12 files"),
        QStringList{QStringLiteral("default"), QStringLiteral("Show")},
        QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("org.orvanesoft.Brindle")}},
        -1};
    QCOMPARE(server.lastCall, expected);

    // Another notification's click, another action, then the click twice: it runs once.
    server.invoke(server.lastId + 1, QStringLiteral("default"));
    server.invoke(server.lastId, QStringLiteral("other"));
    server.invoke(server.lastId, QStringLiteral("default"));
    server.invoke(server.lastId, QStringLiteral("default"));
    QTRY_COMPARE(clicks, 1);
    // The second notification proves the repeated click was heard and ignored.
    int laterClicks = 0;
    desktop.notify(QStringLiteral("Copy stopped"), QString(), [&] { ++laterClicks; });
    QTRY_COMPARE(server.lastCall.value(3).toString(), QStringLiteral("Copy stopped"));
    server.invoke(server.lastId, QStringLiteral("default"));
    QTRY_COMPARE(laterClicks, 1);
    QCOMPARE(clicks, 1);
}

// A session without a notification server: nothing shown, nothing said.
void TestDesktopSession::notificationWithoutServer()
{
    WarningCatcher catcher;
    SystemDesktop desktop;
    bool clicked = false;
    desktop.notify(QStringLiteral("Copy completed"), QString(), [&] { clicked = true; });
    // The refusal comes back from the bus; a ping through it proves it was handled.
    QDBusMessage ping = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
    QDBusPendingCallWatcher watcher(QDBusConnection::sessionBus().asyncCall(ping));
    QSignalSpy answered(&watcher, &QDBusPendingCallWatcher::finished);
    QTRY_COMPARE(answered.count(), 1);
    QVERIFY(!clicked);
    QCOMPARE(g_warnings, QStringList());
}

QTEST_GUILESS_MAIN(TestDesktopSession)
#include "tst_desktopsession.moc"
