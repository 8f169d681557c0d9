#include "engine/externalcopyjob.h"
#include "jobs/jobthread.h"
#include "jobs/jobthreadpool.h"
#include "model/externalprogramsettings.h"
#include "testsupport.h"

#include <QtTest>

#include <mutex>

namespace {

// Every message of the run, to learn when the program's end has been handled.
std::mutex g_messagesMutex;
QStringList g_messages;
QtMessageHandler g_previousHandler = nullptr;

void captureMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    {
        std::lock_guard<std::mutex> lock(g_messagesMutex);
        g_messages.append(text);
    }
    g_previousHandler(type, context, text);
}

bool programEndHandled()
{
    std::lock_guard<std::mutex> lock(g_messagesMutex);
    for (const QString& message : qAsConst(g_messages)) {
        if (message.contains("has finished with code"))
            return true;
    }
    return false;
}

struct ExternalRun
{
    CopyItem item;
    // The item once the program's end has been handled as well: nothing may change it.
    CopyItem finalItem;
    int completions = 0;
    QStringList output;
};

// Runs the job on a pool thread as the copy task does and, when a program was started,
// waits until its end has been handled too, so that a late second completion or a late
// change of the item would be seen.
bool runExternal(ExternalCopyJob* job, bool programRuns, bool stopAtFirstOutput, ExternalRun* run)
{
    {
        std::lock_guard<std::mutex> lock(g_messagesMutex);
        g_messages.clear();
    }
    QObject receiver;
    bool destroyed = false;
    QObject::connect(job, &ProcessJob::outputAvailable, &receiver,
                     [run, stopAtFirstOutput](const QString& text) {
                         run->output.append(text);
                         if (stopAtFirstOutput)
                             JobThreadPool::stopAllJobs();
                     });
    QObject::connect(job, &Job::jobCompleted, &receiver, [run, job] {
        ++run->completions;
        run->item = job->item();
    });
    QObject::connect(job, &QObject::destroyed, &receiver, [&destroyed] { destroyed = true; });
    JobThreadPool::leastBusyThread()->addJob(job);

    if (!QTest::qWaitFor([run] { return run->completions > 0; }, 20000))
        return false;
    if (programRuns && !QTest::qWaitFor(programEndHandled, 20000))
        return false;
    // Let anything the end set off travel to the pool thread and back.
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::processEvents();
        QMetaObject::invokeMethod(
            job, [] {}, Qt::BlockingQueuedConnection);
    }
    QCoreApplication::processEvents();
    run->finalItem = job->item();
    job->deleteLater();
    return QTest::qWaitFor([&destroyed] { return destroyed; }, 5000);
}

} // namespace

class TestExternalCopyJob : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void run_data();
    void run();
    void programThatCopiesNothing();
    void neverGivenALink();
    void stop();

private:
    ExternalCopyJob* makeJob(const QString& program, int maxCode) const;
    QString writeProgram(const QString& name, const QByteArray& body, bool executable) const;

    QTemporaryDir m_dir;
};

void TestExternalCopyJob::initTestCase()
{
    TestSupport::initTestEnvironment();
    QVERIFY(m_dir.isValid());
    g_previousHandler = qInstallMessageHandler(captureMessage);
    JobThreadPool::createThreads(2);
    JobThreadPool::startThreads();
}

void TestExternalCopyJob::cleanupTestCase()
{
    JobThreadPool::destroyThreads();
    qInstallMessageHandler(g_previousHandler);
}

QString TestExternalCopyJob::writeProgram(const QString& name, const QByteArray& body,
                                          bool executable) const
{
    const QString path = m_dir.filePath(name);
    if (!TestSupport::writeFile(path, "#!/bin/sh\n" + body + "\n"))
        return QString();
    QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;
    if (executable)
        permissions |= QFile::ExeOwner;
    return QFile::setPermissions(path, permissions) ? path : QString();
}

ExternalCopyJob* TestExternalCopyJob::makeJob(const QString& program, int maxCode) const
{
    auto* job = new ExternalCopyJob;
    CopyItem item(m_dir.filePath("from/a b.txt"), m_dir.filePath("to"), 5, false, QString());
    item.elapsed_time = 1000;
    job->setItem(item);
    ExternalProgramSettings settings;
    settings.filePath = program;
    settings.arguments = QStringList{"-v"};
    job->setProgram(program);
    job->setArguments(
        ExternalProgramSettings::buildArguments(settings, item.source_path, item.destination_path));
    job->setMaxSuccessExitCode(maxCode);
    return job;
}

void TestExternalCopyJob::run_data()
{
    QTest::addColumn<QString>("programName");
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("executable");
    QTest::addColumn<int>("maxCode");
    QTest::addColumn<bool>("programRuns");
    QTest::addColumn<QString>("expectedMessage");

    const QString tool = "CopyTool.sh";
    QTest::newRow("success, arguments passed on")
        << tool << QByteArray("printf '%s|' \"$@\"") << true << 0 << true << QString();
    QTest::newRow("exit code at the limit")
        << tool << QByteArray("exit 1") << true << 1 << true << QString();
    QTest::newRow("exit code above the limit")
        << tool << QByteArray("exit 2") << true << 1 << true << "(copytool.sh) exit code 2";
    QTest::newRow("text on standard error, exit code 0")
        << tool << QByteArray("echo '  cannot open target  ' >&2") << true << 0 << true
        << "(copytool.sh) cannot open target";
    QTest::newRow("standard error, then a failing exit code")
        << tool << QByteArray("echo first >&2\nexit 7") << true << 0 << true
        << "(copytool.sh) first";
    QTest::newRow("standard error while the program still runs")
        << tool << QByteArray("echo early >&2\nsleep 1\nexit 3") << true << 0 << true
        << "(copytool.sh) early";
    QTest::newRow("killed by a signal") << tool << QByteArray("kill -9 $$") << true << 0 << true
                                        << "(copytool.sh) process error code 1";
    QTest::newRow("program not executable") << tool << QByteArray("exit 0") << false << 0 << false
                                            << "(copytool.sh) process error code 0";
    QTest::newRow("program missing") << "missing.sh" << QByteArray() << true << 0 << false
                                     << "(missing.sh) external program does not exist";
    QTest::newRow("program path empty")
        << QString() << QByteArray() << true << 0 << false << "() external program is not valid";
}

void TestExternalCopyJob::run()
{
    QFETCH(QString, programName);
    QFETCH(QByteArray, script);
    QFETCH(bool, executable);
    QFETCH(int, maxCode);
    QFETCH(bool, programRuns);
    QFETCH(QString, expectedMessage);

    QString program = programName.isEmpty() ? QString() : m_dir.filePath(programName);
    if (!script.isNull()) {
        program = writeProgram(programName, script, executable);
        QVERIFY(!program.isEmpty());
    }
    // The copy the program is taken to have made; the next test leaves it out.
    QVERIFY(TestSupport::writeFile(m_dir.filePath("from/a b.txt"), "12345"));
    QVERIFY(TestSupport::writeFile(m_dir.filePath("to"), "12345"));
    ExternalCopyJob* job = makeJob(program, maxCode);
    const QStringList arguments = job->arguments();
    ExternalRun run;
    QVERIFY(runExternal(job, programRuns, false, &run));

    QCOMPARE(run.completions, 1);
    QCOMPARE(run.item.copy_state, int(expectedMessage.isEmpty() ? Copied : DestinationError));
    QCOMPARE(run.item.copy_message, expectedMessage);
    QCOMPARE(run.finalItem.toDataString(), run.item.toDataString());
    QCOMPARE(run.item.source_path, m_dir.filePath("from/a b.txt"));
    if (script.startsWith("printf"))
        QCOMPARE(run.output, QStringList{arguments.join('|') + '|'});
    else if (script.contains(">&2")) // the error's text is shown too, before the end
        QCOMPARE(run.output, QStringList{expectedMessage.section(") ", 1)});
    else
        QCOMPARE(run.output, QStringList());
}

void TestExternalCopyJob::stop()
{
    const QString program = writeProgram("Slow.sh", "echo started\nexec sleep 30", true);
    QVERIFY(!program.isEmpty());
    QElapsedTimer timer;
    timer.start();
    ExternalRun run;
    QVERIFY(runExternal(makeJob(program, 0), true, true, &run));

    QVERIFY2(timer.elapsed() < 20000, "the program was not killed");
    QCOMPARE(run.output, QStringList{"started"});
    QCOMPARE(run.completions, 1);
    QCOMPARE(run.item.copy_state, int(DestinationError));
    QCOMPARE(run.item.copy_message, QString("(slow.sh) process error code 1"));
    QCOMPARE(run.finalItem.toDataString(), run.item.toDataString());
    QVERIFY(run.item.elapsed_time > 1000);
}

// Whatever its exit code says, a program that made no copy copied nothing.
void TestExternalCopyJob::programThatCopiesNothing()
{
    QVERIFY(TestSupport::writeFile(m_dir.filePath("from/a b.txt"), "12345"));
    QFile::remove(m_dir.filePath("to"));
    const QString program = writeProgram("echo.sh", "exit 0", true);
    ExternalRun run;
    QVERIFY(runExternal(makeJob(program, 0), true, false, &run));
    QCOMPARE(run.item.copy_state, int(DestinationError));
    QCOMPARE(run.item.copy_message, QString("the program left no copy of the file"));
}

// A program writes through a link it is handed: the job refuses such a destination and never
// starts the program (which would leave a mark if it ran).
void TestExternalCopyJob::neverGivenALink()
{
    QVERIFY(TestSupport::writeFile(m_dir.filePath("from/a b.txt"), "12345"));
    QVERIFY(QDir().mkpath(m_dir.filePath("outside")));
    QFile::remove(m_dir.filePath("to"));
    QVERIFY(QFile::link(m_dir.filePath("outside/target"), m_dir.filePath("to")));
    const QString mark = m_dir.filePath("outside/ran");
    ExternalCopyJob* job =
        makeJob(writeProgram("mark.sh", "touch '" + mark.toUtf8() + "'", true), 0);
    job->setDestinationRoot(m_dir.path());
    ExternalRun run;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("is not handed to the external program"));
    QVERIFY(runExternal(job, false, false, &run));
    QFile::remove(m_dir.filePath("to"));
    QCOMPARE(run.item.copy_state, int(DestinationError));
    QCOMPARE(run.item.copy_message,
             QString("the destination holds a symbolic link in this entry's place"));
    QVERIFY(!QFileInfo::exists(mark));
}

QTEST_GUILESS_MAIN(TestExternalCopyJob)
#include "tst_externalcopyjob.moc"
