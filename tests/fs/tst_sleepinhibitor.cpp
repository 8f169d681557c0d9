#include "fs/sleepinhibitor.h"
#include "privatebus.h"
#include "testsupport.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QtTest>

#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

const QString FakeConnection = QStringLiteral("fake-login1");

// logind's Inhibit as far as the lock goes: hands out the write end of a pipe and keeps the
// read end, which reads the end of the file once every copy of the lock is closed.
class FakeLogin1 : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    ~FakeLogin1() override { ::close(readEnd); }
    bool lockClosed() const
    {
        char byte;
        return readEnd >= 0 && ::read(readEnd, &byte, 1) == 0;
    }
    void answer()
    {
        int ends[2];
        QVERIFY(::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0);
        readEnd = ends[0];
        const QDBusUnixFileDescriptor lock(ends[1]); // a copy of its own
        ::close(ends[1]);
        QVERIFY(QDBusConnection(FakeConnection).send(call.createReply(QVariant::fromValue(lock))));
    }

    QStringList arguments;
    bool answerLater = false;
    QDBusMessage call;
    int readEnd = -1;

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode)
    {
        arguments = QStringList{what, who, why, mode};
        setDelayedReply(true);
        call = message();
        if (!answerLater)
            answer();
        return QDBusUnixFileDescriptor();
    }
};

} // namespace

class TestSleepInhibitor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void lockHeldUntilGivenUp_data();
    void lockHeldUntilGivenUp();
    void silentWithoutLock_data();
    void silentWithoutLock();

private:
    std::unique_ptr<PrivateBus> mp_bus;
};

void TestSleepInhibitor::initTestCase()
{
    TestSupport::initTestEnvironment();
    mp_bus = std::make_unique<PrivateBus>();
    if (mp_bus->address().isEmpty())
        QSKIP("no dbus-daemon to run a private bus (apt package dbus)");
    // The system bus of this process is the private one: nothing reaches the real logind.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", mp_bus->address().toUtf8());
    QVERIFY(QDBusConnection::connectToBus(mp_bus->address(), FakeConnection).isConnected());
}

void TestSleepInhibitor::lockHeldUntilGivenUp_data()
{
    QTest::addColumn<bool>("answerLater");
    QTest::addColumn<bool>("byDestruction");

    QTest::newRow("released") << false << false;
    QTest::newRow("inhibitor destroyed") << false << true;
    QTest::newRow("released before the answer") << true << false;
    QTest::newRow("destroyed before the answer") << true << true;
}

void TestSleepInhibitor::lockHeldUntilGivenUp()
{
    QFETCH(bool, answerLater);
    QFETCH(bool, byDestruction);
    QDBusConnection service(FakeConnection);
    FakeLogin1 login1;
    login1.answerLater = answerLater;
    QVERIFY(service.registerObject("/org/freedesktop/login1", &login1,
                                   QDBusConnection::ExportAllSlots));
    QVERIFY(service.registerService("org.freedesktop.login1"));
    const auto unregister = qScopeGuard([&] {
        service.unregisterService("org.freedesktop.login1");
        service.unregisterObject("/org/freedesktop/login1");
    });

    auto inhibitor = std::make_unique<SleepInhibitor>();
    QSignalSpy held(inhibitor.get(), &SleepInhibitor::heldChanged);
    inhibitor->acquire("Brindle", "Copying files");
    inhibitor->acquire("Brindle", "Copying files"); // still one lock
    QTRY_COMPARE(login1.arguments,
                 QStringList({"sleep:idle", "Brindle", "Copying files", "block"}));
    if (!answerLater) {
        QTRY_VERIFY(inhibitor->isHeld());
        QVERIFY(!login1.lockClosed());
    }
    if (byDestruction)
        inhibitor.reset();
    else
        inhibitor->release();
    if (answerLater)
        login1.answer();
    QTRY_VERIFY(login1.lockClosed());
    if (inhibitor) {
        QVERIFY(!inhibitor->isHeld());
        QCOMPARE(held.count(), answerLater ? 0 : 2);
    }
}

void TestSleepInhibitor::silentWithoutLock_data()
{
    QTest::addColumn<bool>("withBus");
    QTest::addColumn<QString>("debugLine");

    // A container: a bus, no logind.
    QTest::newRow("no logind") << true << "No sleep lock from logind:";
    QTest::newRow("no bus") << false << "No system bus: the computer may sleep during the run";
}

void TestSleepInhibitor::silentWithoutLock()
{
    QFETCH(bool, withBus);
    QFETCH(QString, debugLine);
    QTemporaryDir dir;
    MessageRecorder messages;
    const QDBusConnection bus =
        withBus ? QDBusConnection::systemBus()
                : QDBusConnection::connectToBus("unix:path=" + dir.filePath("none"), "none");
    SleepInhibitor inhibitor(bus);
    inhibitor.acquire("Brindle", "Copying files");
    QTRY_COMPARE(messages.debugLines.size(), 1);
    QVERIFY2(messages.debugLines.first().startsWith(debugLine),
             qPrintable(messages.debugLines.first()));
    QVERIFY(!inhibitor.isHeld());
    QCOMPARE(messages.warnings, QStringList());
}

QTEST_GUILESS_MAIN(TestSleepInhibitor)
#include "tst_sleepinhibitor.moc"
