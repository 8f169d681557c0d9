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
// read end, which sees the end of the file once every copy of the lock is closed.
class FakeLogin1 : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    ~FakeLogin1() override
    {
        if (readEnd >= 0)
            ::close(readEnd);
    }

    // Whether the lock handed out is closed everywhere.
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

// The warnings and debug lines given while it lives.
class MessageCatcher
{
public:
    MessageCatcher()
    {
        s_catcher = this;
        m_previous = qInstallMessageHandler(&MessageCatcher::handle);
    }
    ~MessageCatcher()
    {
        qInstallMessageHandler(m_previous);
        s_catcher = nullptr;
    }
    QStringList warnings;
    QStringList debugLines;

private:
    static void handle(QtMsgType type, const QMessageLogContext&, const QString& text)
    {
        (type == QtDebugMsg ? s_catcher->debugLines : s_catcher->warnings).append(text);
    }
    static MessageCatcher* s_catcher;
    QtMessageHandler m_previous = nullptr;
};
MessageCatcher* MessageCatcher::s_catcher = nullptr;

} // namespace

class TestSleepInhibitor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void lockHeldUntilGivenUp_data();
    void lockHeldUntilGivenUp();
    void withoutLogind();
    void withoutBus();

private:
    std::unique_ptr<PrivateBus> mp_bus;
};

void TestSleepInhibitor::initTestCase()
{
    TestSupport::initTestEnvironment();
    mp_bus = std::make_unique<PrivateBus>();
    // The system bus of this process is the private one: nothing reaches the real logind.
    if (!mp_bus->address().isEmpty())
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", mp_bus->address().toUtf8());
}

void TestSleepInhibitor::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(FakeConnection);
    mp_bus.reset();
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
    if (mp_bus->address().isEmpty())
        QSKIP(qPrintable(mp_bus->why()));

    QDBusConnection service = QDBusConnection::connectToBus(mp_bus->address(), FakeConnection);
    FakeLogin1 login1;
    login1.answerLater = answerLater;
    QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/login1"), &login1,
                                   QDBusConnection::ExportAllSlots));
    QVERIFY(service.registerService(QStringLiteral("org.freedesktop.login1")));
    const auto unregister = qScopeGuard([&service] {
        service.unregisterService(QStringLiteral("org.freedesktop.login1"));
        service.unregisterObject(QStringLiteral("/org/freedesktop/login1"));
    });

    auto inhibitor = std::make_unique<SleepInhibitor>();
    QSignalSpy held(inhibitor.get(), &SleepInhibitor::heldChanged);
    inhibitor->acquire(QStringLiteral("Brindle"), QStringLiteral("Copying files"));
    inhibitor->acquire(QStringLiteral("Brindle"), QStringLiteral("Copying files")); // one lock
    QTRY_COMPARE(login1.arguments,
                 QStringList({QStringLiteral("sleep:idle"), QStringLiteral("Brindle"),
                              QStringLiteral("Copying files"), QStringLiteral("block")}));
    if (answerLater) {
        if (byDestruction)
            inhibitor.reset();
        else
            inhibitor->release();
        login1.answer();
    } else {
        QTRY_VERIFY(inhibitor->isHeld());
        QCOMPARE(held.count(), 1);
        // Held while the run goes on.
        QTest::qWait(0);
        QVERIFY(!login1.lockClosed());
        if (byDestruction)
            inhibitor.reset();
        else
            inhibitor->release();
    }
    QTRY_VERIFY(login1.lockClosed());
    if (inhibitor) {
        QVERIFY(!inhibitor->isHeld());
        QCOMPARE(held.count(), answerLater ? 0 : 2);
    }
}

// A bus without logind (a container): no lock, one debug line, no warning.
void TestSleepInhibitor::withoutLogind()
{
    if (mp_bus->address().isEmpty())
        QSKIP(qPrintable(mp_bus->why()));
    SleepInhibitor inhibitor;
    MessageCatcher messages;
    inhibitor.acquire(QStringLiteral("Brindle"), QStringLiteral("Copying files"));
    QTRY_COMPARE(messages.debugLines.size(), 1);
    QVERIFY(messages.debugLines.first().startsWith(QLatin1String("No sleep lock from logind:")));
    QVERIFY(!inhibitor.isHeld());
    QCOMPARE(messages.warnings, QStringList());
}

void TestSleepInhibitor::withoutBus()
{
    QTemporaryDir dir;
    MessageCatcher messages;
    const QDBusConnection none = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=%1").arg(dir.filePath("no-bus")), QStringLiteral("none"));
    SleepInhibitor inhibitor(none);
    inhibitor.acquire(QStringLiteral("Brindle"), QStringLiteral("Copying files"));
    QVERIFY(!inhibitor.isHeld());
    inhibitor.release();
    QCOMPARE(messages.debugLines,
             QStringList("No system bus: the computer may sleep during the run"));
    QCOMPARE(messages.warnings, QStringList());
    QDBusConnection::disconnectFromBus(QStringLiteral("none"));
}

QTEST_GUILESS_MAIN(TestSleepInhibitor)
#include "tst_sleepinhibitor.moc"
