// The window program's application object: where the window goes, the message a second
// start hands over, and the real program kept to one instance per user.
#include "app/programidentity.h"
#include "taveroapplication.h"
#include "testsupport.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A home of its own (runtime, settings, data and temporary folders) for the started programs.
struct Home
{
    QTemporaryDir root;
    QString path(const QString& name) const { return root.filePath(name); }
    QString settingsPath() const
    {
        return path(QStringLiteral("config/%1/%2.ini")
                        .arg(ProgramIdentity::organizationName(), ProgramIdentity::programName()));
    }
    QString defaultLogPath() const
    {
        return path(QStringLiteral("data/%1/%2/%3_log.txt")
                        .arg(ProgramIdentity::organizationName(), ProgramIdentity::programName(),
                             ProgramIdentity::programName().toLower()));
    }
    QString socketIn(const QString& folder) const
    {
        return path(folder + "/" + TaveroApplication::serverBaseName());
    }

    Home(const QString& logPath, bool multipleInstances)
    {
        for (const char* folder : {"runtime", "config", "data", "tmp", "work"})
            QDir().mkpath(path(QString::fromLatin1(folder)));
        TestSupport::setMode(path("runtime"), 0700);
        QSettings settings(settingsPath(), QSettings::IniFormat);
        settings.setValue("Log/Disabled", false);
        settings.setValue("Log/FilePath", path(logPath));
        settings.setValue("System/AllowMultipleInstances", multipleInstances);
    }

    void start(QProcess* process, const QStringList& arguments = {},
               const QString& workingFolder = QString()) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", root.path());
        environment.insert("XDG_RUNTIME_DIR", path("runtime"));
        environment.insert("XDG_CONFIG_HOME", path("config"));
        environment.insert("XDG_DATA_HOME", path("data"));
        environment.insert("TMPDIR", path("tmp"));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(path(workingFolder));
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(qEnvironmentVariable("BRINDLE_APP"), arguments);
    }
};

bool canConnect(const QString& socketPath)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    const bool connected = socket.waitForConnected(1000);
    socket.abort();
    return connected;
}

} // namespace

// SIGTERM, which the program takes as a close by the user: a clean exit.
#define QUIT(process)                                                                              \
    (process).terminate();                                                                         \
    QVERIFY((process).waitForFinished(30000));                                                     \
    QCOMPARE((process).exitStatus(), QProcess::NormalExit);                                        \
    QCOMPARE((process).exitCode(), 0)

#define REQUIRE_PROGRAM()                                                                          \
    if (qEnvironmentVariableIsEmpty("BRINDLE_APP"))                                                \
    QSKIP("BRINDLE_APP does not name the window program (run through ctest)")

class TestTaveroApplication : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::initTestEnvironment(); }
    void placement_data();
    void placement();
    void decodeArguments_data();
    void decodeArguments();
    void secondStartHandsOverArguments();
    void startUpNotBlocked_data();
    void startUpNotBlocked();
    void logFallsBackToDefaultPath();
};

void TestTaveroApplication::placement_data()
{
    QTest::addColumn<QSize>("window");
    QTest::addColumn<bool>("maximized");
    QTest::addColumn<QPoint>("position"); // on a 1920x1040 available area
    QTest::newRow("fits: centred") << QSize(800, 600) << false << QPoint(560, 220);
    QTest::newRow("exactly the margins: centred") << QSize(1820, 960) << false << QPoint(50, 40);
    QTest::newRow("one pixel too wide") << QSize(1821, 600) << true << QPoint(49, 220);
    QTest::newRow("one pixel too tall") << QSize(800, 961) << true << QPoint(560, 39);
    QTest::newRow("larger than the screen: never off it")
        << QSize(2400, 1300) << true << QPoint(0, 0);
}

void TestTaveroApplication::placement()
{
    QFETCH(QSize, window);
    QFETCH(bool, maximized);
    QFETCH(QPoint, position);
    const TaveroApplication::Placement placement =
        TaveroApplication::placementFor(QSize(1920, 1040), window);
    QCOMPARE(placement.maximized, maximized);
    QCOMPARE(placement.position, position);
}

void TestTaveroApplication::decodeArguments_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QStringList>("arguments");
    const QStringList paths{"/home/u/from", "/home/u/to ü"};
    const QByteArray sent = TaveroApplication::encodeArguments(paths);
    QTest::newRow("two paths") << sent << true << paths;
    QTest::newRow("no argument") << TaveroApplication::encodeArguments({}) << true << QStringList();
    QTest::newRow("count of four billion")
        << QByteArray("\xff\xff\xff\xf0", 4) << false << QStringList();
    QTest::newRow("cut short") << sent.chopped(3) << false << QStringList();
    QTest::newRow("bytes after the list") << sent + "x" << false << QStringList();
    QTest::newRow("larger than the cap")
        << TaveroApplication::encodeArguments({QString(TaveroApplication::MaximumMessageSize, 'a')})
        << false << QStringList();
}

void TestTaveroApplication::decodeArguments()
{
    QFETCH(QByteArray, message);
    QFETCH(bool, valid);
    QFETCH(QStringList, arguments);
    QStringList decoded{"left over"};
    QCOMPARE(TaveroApplication::decodeArguments(message, &decoded), valid);
    QCOMPARE(decoded, arguments);
}

void TestTaveroApplication::secondStartHandsOverArguments()
{
    REQUIRE_PROGRAM();
    const Home home("first.log", false);
    QProcess first;
    home.start(&first);
    QTRY_VERIFY_WITH_TIMEOUT(canConnect(home.socketIn("runtime")), 30000);

    QProcess second;
    home.start(&second, {"from", "--portable", "../to"}, "work");
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    const QString expected = QStringLiteral("from another instance: (\"%1\", \"%2\")")
                                 .arg(home.path("work/from"), home.path("to"));
    QTRY_VERIFY_WITH_TIMEOUT(
        TestSupport::readFile(home.path("first.log")).contains(expected.toUtf8()), 10000);
    QCOMPARE(first.state(), QProcess::Running);
    QUIT(first);
}

void TestTaveroApplication::startUpNotBlocked_data()
{
    QTest::addColumn<int>("runtimeMode");
    QTest::addColumn<bool>("foreignRuntime"); // owned by "nobody"
    QTest::addColumn<bool>("liveSocket");     // else a socket nobody listens on
    QTest::addColumn<QString>("ownFolder");   // where the program's socket must appear
    QTest::newRow("stale socket in the runtime folder") << 0700 << false << false << "runtime";
    QTest::newRow("runtime folder open to others, socket planted")
        << 0777 << false << true << QStringLiteral("tmp/brindle-%1").arg(::geteuid());
    QTest::newRow("runtime folder of another user with its instance")
        << 0700 << true << true << QStringLiteral("tmp/brindle-%1").arg(::geteuid());
}

void TestTaveroApplication::startUpNotBlocked()
{
    QFETCH(int, runtimeMode);
    QFETCH(bool, foreignRuntime);
    QFETCH(bool, liveSocket);
    QFETCH(QString, ownFolder);
    REQUIRE_PROGRAM();
    if (foreignRuntime && !TestSupport::runningAsRoot())
        QSKIP("giving a folder to another user needs root");
    const Home home("program.log", false);
    const QString planted = home.socketIn("runtime");
    QLocalServer other;
    if (liveSocket) {
        QVERIFY(other.listen(planted));
    } else {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(planted).constData(), sizeof address.sun_path);
        const int descriptor = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QCOMPARE(::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(descriptor);
    }
    QVERIFY(TestSupport::setMode(home.path("runtime"), runtimeMode));
    if (foreignRuntime)
        QCOMPARE(::chown(QFile::encodeName(home.path("runtime")).constData(), 65534, 65534), 0);

    QProcess program;
    home.start(&program);
    QTRY_VERIFY_WITH_TIMEOUT(canConnect(home.socketIn(ownFolder)), 30000);
    QCOMPARE(program.state(), QProcess::Running);
    QCOMPARE(TestSupport::modeOf(home.path(ownFolder)), 0700);
    QUIT(program);
}

void TestTaveroApplication::logFallsBackToDefaultPath()
{
    REQUIRE_PROGRAM();
    const Home home("missing/folder/program.log", true);
    QProcess program;
    home.start(&program);
    QTRY_VERIFY_WITH_TIMEOUT(
        TestSupport::readFile(home.defaultLogPath()).contains("Restore default log path:"), 30000);
    QUIT(program);
    const QSettings settings(home.settingsPath(), QSettings::IniFormat);
    QCOMPARE(settings.value("Log/FilePath").toString(), home.defaultLogPath());
}

QTEST_GUILESS_MAIN(TestTaveroApplication)
#include "tst_taveroapplication.moc"
