// The window program as it is started: what it answers without a display.
#include "app/programidentity.h"

#include <QProcess>
#include <QtTest>

class TestWindowProgram : public QObject
{
    Q_OBJECT

private slots:
    void withoutWindow_data();
    void withoutWindow();
};

void TestWindowProgram::withoutWindow_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // found in standard output or error
    QTest::newRow("no display") << QStringList() << 1 << "use the command-line program instead";
    QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: brindle [--portable]";
    QTest::newRow("version") << QStringList{"--version"} << 0
                             << "Brindle " + ProgramIdentity::versionText(true, true) + " for ";
}

void TestWindowProgram::withoutWindow()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    const QString program = qEnvironmentVariable("BRINDLE_APP");
    if (program.isEmpty())
        QSKIP("BRINDLE_APP does not name the window program (run through ctest)");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QString::fromLatin1(name));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    const QString text =
        QString::fromLocal8Bit(process.readAllStandardOutput() + process.readAllStandardError());
    QVERIFY2(text.contains(output), qPrintable(text));
    if (exitCode != 0)
        QVERIFY(text.contains("brindle-cli --help"));
}

QTEST_GUILESS_MAIN(TestWindowProgram)
#include "tst_windowprogram.moc"
