#include "jobs/jobthread.h"
#include "jobs/jobthreadpool.h"
#include "jobs/processjob.h"

#include "testsupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <signal.h>

namespace {

// Finishes on the first error, as a job that turns every error into its item's failure.
class FinishOnErrorJob : public ProcessJob
{
    Q_OBJECT

public:
    FinishOnErrorJob()
    {
        connect(this, &ProcessJob::errorOccurred, this, &FinishOnErrorJob::onErrorOccurred);
    }

private slots:
    void onErrorOccurred() { finishJob(); }
};

// Plays the owner in the test's thread: records what the job reports and deletes it on
// completion. Every connection is queued, so nothing here is touched by the job's thread.
class Collector : public QObject
{
    Q_OBJECT

public:
    explicit Collector(ProcessJob* job)
    {
        connect(job, &ProcessJob::outputAvailable, this,
                [this](const QString& text) { outputs << text; });
        connect(job, &ProcessJob::errorOccurred, this,
                [this](const QString& text) { errors << text; });
        connect(job, &Job::jobHasFinishedWithThread, this, [this] { ++finishes; });
        connect(job, &Job::jobCompleted, this, [this, job] {
            ++completions;
            nameAtCompletion = job->objectName();
            elapsedAtCompletion = job->elapsedMsecs();
            job->deleteLater();
        });
        connect(job, &QObject::destroyed, this, [this] { ++destructions; });
    }

    QStringList outputs;
    QStringList errors;
    int finishes = 0;
    int completions = 0;
    int destructions = 0;
    QString nameAtCompletion;
    qint64 elapsedAtCompletion = -1;
};

} // namespace

class TestProcessJob : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void programEnd_data();
    void programEnd();
    void startFailure_data();
    void startFailure();
    void commandAndOutputAreLogged();
    void stopKillsTheProgram_data();
    void stopKillsTheProgram();
    void stopBeforeStartRunsTheProgram();
    void pauseHoldsTheProgramAndItsChildren();
    void deletingTheJobEndsItsProgram();

private:
    QString writeScript(const QString& name, const QString& body);
    // Hands the job to the pool and waits until it is completed and deleted.
    void runToTheEnd(ProcessJob* job, Collector& collector);

    QTemporaryDir m_dir;
};

void TestProcessJob::initTestCase()
{
    TestSupport::initTestEnvironment();
    QVERIFY(m_dir.isValid());
}

void TestProcessJob::init()
{
    JobThreadPool::createThreads(2);
    JobThreadPool::startThreads();
}

void TestProcessJob::cleanup()
{
    JobThreadPool::destroyThreads();
}

QString TestProcessJob::writeScript(const QString& name, const QString& body)
{
    const QString path = m_dir.filePath(name);
    if (!TestSupport::writeFile(path, "#!/bin/sh\n" + body.toUtf8() + "\n"))
        return QString();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                    QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                    QFile::ExeOther);
    return path;
}

void TestProcessJob::runToTheEnd(ProcessJob* job, Collector& collector)
{
    JobThreadPool::leastBusyThread()->addJob(job);
    QTRY_COMPARE_WITH_TIMEOUT(collector.destructions, 1, 20000);
}

void TestProcessJob::programEnd_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("maxSuccessExitCode");
    QTest::addColumn<bool>("finishOnError");
    QTest::addColumn<QStringList>("outputs");
    QTest::addColumn<QStringList>("errors");
    QTest::addColumn<QStringList>("warnings");

    const QStringList none;
    QTest::newRow("exit code at the limit") << "exit 2" << 2 << false << none << none << none;
    QTest::newRow("exit code zero, limit zero") << "exit 0" << 0 << false << none << none << none;
    QTest::newRow("exit code above the limit")
        << "exit 3" << 2 << false << none << QStringList{"exit code 3"} << none;
    QTest::newRow("exit code above a zero limit")
        << "exit 1" << 0 << false << none << QStringList{"exit code 1"} << none;
    QTest::newRow("output is trimmed")
        << "echo '  hello world  '" << 0 << false << QStringList{"hello world"} << none << none;
    QTest::newRow("white space only gives no text")
        << "printf '  \\n\\t  '" << 0 << false << none << none << none;
    QTest::newRow("output is UTF-8")
        << "printf 'caf\\303\\251'" << 0 << false << QStringList{QString::fromUtf8("caf\xc3\xa9")}
        << none << none;
    QTest::newRow("standard error is an error, shown as well")
        << "echo '  disk full ' >&2" << 0 << false << QStringList{"disk full"}
        << QStringList{"disk full"} << QStringList{"(run.sh stderr) \"disk full\""};
    QTest::newRow("standard error, then a failing code")
        << "echo oops >&2; exit 5" << 1 << false << QStringList{"oops"}
        << QStringList{"oops", "exit code 5"} << QStringList{"(run.sh stderr) \"oops\""};
    QTest::newRow("failing code, finished by the subclass too")
        << "exit 3" << 0 << true << none << QStringList{"exit code 3"} << none;
    QTest::newRow("standard error while running, finished by the subclass")
        << "echo oops >&2; exec sleep 30" << 0 << true << QStringList{"oops"} << QStringList{"oops"}
        << QStringList{"(run.sh stderr) \"oops\""};
}

void TestProcessJob::programEnd()
{
    QFETCH(QString, script);
    QFETCH(int, maxSuccessExitCode);
    QFETCH(bool, finishOnError);
    QFETCH(QStringList, outputs);
    QFETCH(QStringList, errors);
    QFETCH(QStringList, warnings);

    ProcessJob* job = finishOnError ? new FinishOnErrorJob : new ProcessJob;
    job->setProgram(writeScript("run.sh", script));
    job->setMaxSuccessExitCode(maxSuccessExitCode);
    Collector collector(job);
    for (const QString& warning : qAsConst(warnings))
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));

    runToTheEnd(job, collector);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(collector.outputs, outputs);
    QCOMPARE(collector.errors, errors);
    QCOMPARE(collector.finishes, 1);
    QCOMPARE(collector.completions, 1);
    QCOMPARE(collector.nameAtCompletion, QStringLiteral("run.sh"));
    QVERIFY(collector.elapsedAtCompletion >= 1);
}

void TestProcessJob::startFailure_data()
{
    QTest::addColumn<QString>("program"); // relative to the scratch folder
    QTest::addColumn<QStringList>("warnings");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("started");

    QTest::newRow("empty path") << QString()
                                << QStringList{"Unable to start process with an "
                                               "empty file path"}
                                << "external program is not valid"
                                << "ProcessJob" << false;
    QTest::newRow("missing file") << "missing.exe"
                                  << QStringList{"Unable to start process with an invalid file "
                                                 "path"}
                                  << "external program does not exist"
                                  << "ProcessJob" << false;
    QTest::newRow("folder") << "."
                            << QStringList{"Unable to start process with an invalid file path"}
                            << "external program does not exist"
                            << "ProcessJob" << false;
    // Exists but cannot be executed, not even by root: the start fails in the process.
    QTest::newRow("not executable")
        << "plain.sh" << QStringList{"\"plain.sh\" has process error 0"} << "process error code 0"
        << "plain.sh" << true;
}

void TestProcessJob::startFailure()
{
    QFETCH(QString, program);
    QFETCH(QStringList, warnings);
    QFETCH(QString, error);
    QFETCH(QString, name);
    QFETCH(bool, started);

    QVERIFY(TestSupport::writeFile(m_dir.filePath("plain.sh"), "#!/bin/sh\nexit 0\n"));
    auto* job = new ProcessJob;
    job->setProgram(program.isNull() ? QString() : m_dir.filePath(program));
    Collector collector(job);
    for (const QString& warning : qAsConst(warnings))
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));

    runToTheEnd(job, collector);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(collector.errors, QStringList{error});
    QCOMPARE(collector.finishes, 1);
    QCOMPARE(collector.completions, 1);
    QCOMPARE(collector.nameAtCompletion, name);
    // The job's clock runs only once a process is started.
    QCOMPARE(collector.elapsedAtCompletion > 0, started);
}

void TestProcessJob::commandAndOutputAreLogged()
{
    const QString path = writeScript("args.sh", "printf '%s|%s' \"$1\" \"$2\"; exit 1");
    auto* job = new ProcessJob;
    job->setProgram(path);
    job->setArguments({"two words", "x"});
    job->setMaxSuccessExitCode(1);
    QVERIFY(job->isReadOnly());
    Collector collector(job);

    QTest::ignoreMessage(QtDebugMsg, qPrintable("Cmd: " + path + " two words x"));
    QTest::ignoreMessage(QtDebugMsg, "(args.sh stdout) \"two words|x\"");
    QTest::ignoreMessage(QtDebugMsg, "\"args.sh\" has finished with code 1 and status 0");
    runToTheEnd(job, collector);
    if (QTest::currentTestFailed())
        return;
    // Each argument reaches the program as one element, blanks included.
    QCOMPARE(collector.outputs, QStringList{"two words|x"});
    QCOMPARE(collector.errors, QStringList());
}

void TestProcessJob::stopKillsTheProgram_data()
{
    QTest::addColumn<int>("maxSuccessExitCode");
    QTest::addColumn<bool>("finishOnError");
    QTest::addColumn<QStringList>("errors");

    // A killed program ends with the number of the signal as its code, and crashed (1).
    QTest::newRow("limit below the signal number")
        << 0 << false << QStringList{"process error code 1", "exit code 9"};
    QTest::newRow("limit at the signal number")
        << 9 << false << QStringList{"process error code 1"};
    QTest::newRow("finished by the subclass on the first error")
        << 0 << true << QStringList{"process error code 1", "exit code 9"};
}

void TestProcessJob::stopKillsTheProgram()
{
    QFETCH(int, maxSuccessExitCode);
    QFETCH(bool, finishOnError);
    QFETCH(QStringList, errors);

    ProcessJob* job = finishOnError ? new FinishOnErrorJob : new ProcessJob;
    job->setProgram(writeScript("stop.sh", "echo ready; exec sleep 30"));
    job->setMaxSuccessExitCode(maxSuccessExitCode);
    Collector collector(job);
    JobThreadPool::leastBusyThread()->addJob(job);
    QTRY_COMPARE(collector.outputs, QStringList{"ready"});

    QTest::ignoreMessage(QtWarningMsg, "\"stop.sh\" has process error 1");
    QTest::ignoreMessage(QtDebugMsg, "\"stop.sh\" has finished with code 9 and status 1");
    QElapsedTimer timer;
    timer.start();
    JobThreadPool::stopAllJobs();
    QTRY_COMPARE(collector.destructions, 1);
    QVERIFY(timer.elapsed() < 20000); // killed, not waited for
    QCOMPARE(collector.errors, errors);
    QCOMPARE(collector.finishes, 1);
    QCOMPARE(collector.completions, 1);
}

// rsync and its like work in processes of their own: a pause halts them all, a continue
// lets them all go, and a stop of a paused program leaves none of them halted.
void TestProcessJob::pauseHoldsTheProgramAndItsChildren()
{
    auto* job = new ProcessJob;
    job->setProgram(writeScript("tree.sh", "sleep 30 & echo $!; wait"));
    Collector collector(job);
    JobThreadPool::leastBusyThread()->addJob(job);
    QTRY_COMPARE(collector.outputs.size(), 1);
    const qint64 child = collector.outputs.first().toLongLong();
    QVERIFY(TestSupport::processState(child) != 0);
    const QList<QByteArray> fields =
        TestSupport::readFile(QString("/proc/%1/stat").arg(child)).split(')').last().split(' ');
    const qint64 program = fields.value(2).toLongLong();

    JobThreadPool::pauseAllJobs(true);
    QTRY_COMPARE(TestSupport::processState(program), 'T');
    QTRY_COMPARE(TestSupport::processState(child), 'T');
    JobThreadPool::pauseAllJobs(false);
    QTRY_VERIFY(TestSupport::processState(child) != 'T');
    QTRY_VERIFY(TestSupport::processState(program) != 'T');

    JobThreadPool::pauseAllJobs(true);
    QTRY_COMPARE(TestSupport::processState(child), 'T');
    QTest::ignoreMessage(QtWarningMsg, "\"tree.sh\" has process error 1");
    QTest::ignoreMessage(QtDebugMsg, "\"tree.sh\" has finished with code 9 and status 1");
    JobThreadPool::stopAllJobs();
    QTRY_COMPARE(collector.destructions, 1);
    QVERIFY(TestSupport::processState(child) != 'T');
    ::kill(pid_t(child), SIGKILL);
}

void TestProcessJob::stopBeforeStartRunsTheProgram()
{
    JobThreadPool::createThreads(1);
    auto* job = new ProcessJob;
    job->setProgram(writeScript("ran.sh", "echo ran"));
    Collector collector(job);
    JobThreadPool::leastBusyThread()->addJob(job);

    // Like every job, one stopped before its start is started normally.
    JobThreadPool::stopAllJobs();
    QVERIFY(job->isStopped());
    JobThreadPool::startThreads();
    QTRY_COMPARE(collector.destructions, 1);
    QCOMPARE(collector.outputs, QStringList{"ran"});
    QCOMPARE(collector.errors, QStringList());
    QCOMPARE(collector.completions, 1);
}

void TestProcessJob::deletingTheJobEndsItsProgram()
{
    const QString pidFile = m_dir.filePath("pid");
    auto* job = new FinishOnErrorJob;
    job->setProgram(
        writeScript("linger.sh", "echo $$ > '" + pidFile + "'; echo gone >&2; exec sleep 30"));
    Collector collector(job);
    QTest::ignoreMessage(QtWarningMsg, "(linger.sh stderr) \"gone\"");

    // The job completes on the error while the program still runs; its deletion ends it.
    runToTheEnd(job, collector);
    if (QTest::currentTestFailed())
        return;
    const qint64 pid = TestSupport::readFile(pidFile).trimmed().toLongLong();
    QVERIFY(pid > 0);
    QCOMPARE(::kill(pid_t(pid), 0), -1);
    QCOMPARE(errno, ESRCH);
}

QTEST_GUILESS_MAIN(TestProcessJob)
#include "tst_processjob.moc"
