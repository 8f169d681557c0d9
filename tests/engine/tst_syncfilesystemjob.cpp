#include "engine/syncfilesystemjob.h"
#include "fs/platform.h"
#include "jobs/jobthread.h"
#include "jobs/jobthreadpool.h"
#include "testsupport.h"

#include <QtTest>

class TestSyncFileSystemJob : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void flushes_data();
    void flushes();
};

void TestSyncFileSystemJob::initTestCase()
{
    TestSupport::initTestEnvironment();
    JobThreadPool::createThreads(1);
    JobThreadPool::startThreads();
}

void TestSyncFileSystemJob::cleanupTestCase()
{
    JobThreadPool::destroyThreads();
}

void TestSyncFileSystemJob::flushes_data()
{
    QTest::addColumn<bool>("opened");
    QTest::addColumn<QString>("errorText");

    QTest::newRow("file system opened before the run") << true << QString();
    // The run must hear that nothing was flushed.
    QTest::newRow("file system that could not be opened")
        << false << QStringLiteral("syncfs 9: Bad file descriptor");
}

void TestSyncFileSystemJob::flushes()
{
    QFETCH(bool, opened);
    QFETCH(QString, errorText);
    QTemporaryDir dir;
    const QString destination = dir.filePath("dst");
    QVERIFY(TestSupport::writeFile(destination + "/written", QByteArray(1 << 20, 'w')));
    const int handle = opened ? Platform::openFileSystem(destination) : -1;
    if (opened) {
        QVERIFY(handle >= 0);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^File system of %1 "
                                                                           "flushed in \\d+ ms$")
                                                                .arg(destination)));
    } else {
        QTest::ignoreMessage(QtWarningMsg,
                             qPrintable("Unable to flush the file system of " + destination));
        QTest::ignoreMessage(QtWarningMsg, qPrintable(errorText));
    }

    auto* job = new SyncFileSystemJob;
    job->setFileSystem(handle, destination);
    int completions = 0;
    connect(job, &Job::jobCompleted, this, [&completions] { ++completions; });
    JobThreadPool::leastBusyThread()->addJob(job);
    QTRY_COMPARE_WITH_TIMEOUT(completions, 1, 30000);
    QCOMPARE(job->isFlushed(), opened);
    QCOMPARE(job->errorText(), errorText);
    QVERIFY(job->flushMsecs() >= 0);
    QVERIFY(job->isFinished());
    job->deleteLater();
    QTest::qWait(20);
    QCOMPARE(completions, 1);
    Platform::closeFileSystem(handle);
}

QTEST_GUILESS_MAIN(TestSyncFileSystemJob)
#include "tst_syncfilesystemjob.moc"
