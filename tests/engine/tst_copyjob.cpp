#include "app/appsettings.h"
#include "base/handover.h"
#include "engine/copyfileobject.h"
#include "engine/copyjob.h"
#include "jobs/jobthread.h"
#include "jobs/jobthreadpool.h"
#include "jobs/transfercounters.h"
#include "readgate.h"
#include "testsupport.h"

#include <QtTest>

#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int openDescriptors()
{
    return QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size();
}

const qint64 MiB = 1024 * 1024;

struct Progress
{
    QString path;
    qint64 done;
    qint64 total;
    bool operator==(const Progress& other) const
    {
        return path == other.path && done == other.done && total == other.total;
    }
};

// Stops itself while it creates its copier: a stop request that arrives after the job
// has started but before its copier has.
class StopWhileCreatingCopierJob : public CopyJob
{
protected:
    void childEvent(QChildEvent* event) override
    {
        if (event->added())
            stopJob();
        CopyJob::childEvent(event);
    }
};

// A file of the given size that costs no disk space.
bool makeSparseFile(const QString& path, qint64 size)
{
    return TestSupport::writeFile(path, QByteArray()) &&
           ::truncate(QFile::encodeName(path).constData(), size) == 0;
}

// A file of the given size whose room is reserved but never written (it reads as zeros):
// cheap to make, yet without holes, so that a copy moves every byte of it.
bool makeAllocatedFile(const QString& path, qint64 size)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const bool made = fd >= 0 && ::posix_fallocate(fd, 0, size) == 0;
    if (fd >= 0)
        ::close(fd);
    return made;
}

using TestSupport::entriesOf;

// Stops itself when it creates the copier of the item at stopAt (0 = its own item).
class StopAtItemJob : public CopyJob
{
public:
    int stopAt = -1;

protected:
    void childEvent(QChildEvent* event) override
    {
        // The job's only children are its copiers (not yet of their own type when added).
        if (event->added() && m_created++ == stopAt)
            stopJob();
        CopyJob::childEvent(event);
    }

private:
    int m_created = 0;
};

quint64 deviceOfFolder(const QString& path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? quint64(status.st_dev) : 0;
}

} // namespace

class TestCopyJob : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void copiesOnAPoolThread_data();
    void copiesOnAPoolThread();
    void forwardsProgressWithTheGivenDestination();
    void simpleMethodStopsAtAMark();
    void nativeMethodStopsBetweenChunks();
    void largeFileProgressInTransferCounters_data();
    void largeFileProgressInTransferCounters();
    void completesWhenStoppedBeforeTheCopierStarts_data();
    void completesWhenStoppedBeforeTheCopierStarts();
    void completionFromAnInvalidSender();
    void copiesFollowingItemsInOrder_data();
    void copiesFollowingItemsInOrder();
    void writesNothingThroughARootElsewhere();

private:
    // Dispatches the job as the copy task does and waits for its one completion.
    // inspect, when given, reads the job after its completion, before it is deleted.
    bool run(CopyJob* job, CopyItem* result, QList<Progress>* progress = nullptr,
             const std::function<void(CopyJob*)>& inspect = nullptr);
};

void TestCopyJob::initTestCase()
{
    TestSupport::initTestEnvironment();
    AppSettings::instance();
    TransferCounters::instance();
    JobThreadPool::createThreads(2);
    JobThreadPool::startThreads();
}

void TestCopyJob::cleanupTestCase()
{
    JobThreadPool::destroyThreads();
}

bool TestCopyJob::run(CopyJob* job, CopyItem* result, QList<Progress>* progress,
                      const std::function<void(CopyJob*)>& inspect)
{
    QObject receiver;
    int completions = 0;
    connect(job, &Job::jobCompleted, &receiver, [&completions] { ++completions; });
    if (progress) {
        connect(job, &Job::jobProgress, &receiver,
                [progress](const QString& path, qint64 done, qint64 total) {
                    progress->append({path, done, total});
                });
    }
    JobThreadPool::leastBusyThread()->addJob(job);
    const bool completed = QTest::qWaitFor([&completions] { return completions > 0; }, 60000);
    if (completed) {
        // Anything still queued (progress, a second completion) arrives first.
        QCoreApplication::processEvents();
        HandOver::receive(job);
        *result = *job;
        if (inspect)
            inspect(job);
        job->deleteLater();
    }
    return completed && completions == 1;
}

void TestCopyJob::copiesOnAPoolThread_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<bool>("isFolder");
    QTest::newRow("file, native") << int(CopyFileObject::NativeMethod) << false;
    QTest::newRow("file, simple") << int(CopyFileObject::SimpleMethod) << false;
    QTest::newRow("folder") << 0 << true;
}

void TestCopyJob::copiesOnAPoolThread()
{
    QFETCH(int, method);
    QFETCH(bool, isFolder);
    QTemporaryDir dir;
    const QString source = dir.filePath("src/item");
    const QString destination = dir.filePath("dst/item");
    if (isFolder)
        QVERIFY(QDir().mkpath(source));
    else
        QVERIFY(TestSupport::writeFile(source, "content"));

    auto* job = new CopyJob;
    job->m_settings.copyMethod = method;
    QCOMPARE(job->objectName(), QString("JobCopy"));
    static_cast<CopyItem&>(*job) = CopyItem(source, destination, 7, isFolder, QString());
    job->elapsed_time = 5000;
    CopyItem item;
    QVERIFY(run(job, &item));
    QCOMPARE(item.copy_state, int(Copied));
    QCOMPARE(item.destination_path, destination);
    QVERIFY(item.elapsed_time > 5000);
    QCOMPARE(QFileInfo(destination).isDir(), isFolder);
    if (!isFolder)
        QCOMPARE(TestSupport::readFile(destination), QByteArray("content"));
}

void TestCopyJob::forwardsProgressWithTheGivenDestination()
{
    QTemporaryDir dir;
    const QString source = dir.filePath("big.bin");
    const QString destination = dir.filePath("dst/big.bin");
    QVERIFY(makeAllocatedFile(source, 40 * MiB));
    QVERIFY(TestSupport::writeFile(destination, "old"));

    auto* job = new CopyJob;
    job->m_settings.copyMethod = CopyFileObject::SimpleMethod;
    static_cast<CopyItem&>(*job) = CopyItem(source, destination, 0, false, QString());
    job->m_options.m_overwriteMode = CopyOptions::AutoRename;
    CopyItem item;
    QList<Progress> progress;
    QVERIFY(run(job, &item, &progress));
    QCOMPARE(item.copy_state, int(Copied));
    QCOMPARE(item.destination_path, dir.filePath("dst/big (1).bin"));
    // Reported under the path the job was given, every 16 MiB.
    const QList<Progress> expected{{destination, 16 * MiB, 40 * MiB},
                                   {destination, 32 * MiB, 40 * MiB}};
    QCOMPARE(progress, expected);
    QCOMPARE(QFileInfo(item.destination_path).size(), 40 * MiB);
}

void TestCopyJob::simpleMethodStopsAtAMark()
{
    QTemporaryDir dir;
    const QString source = dir.filePath("big.bin");
    QVERIFY(makeAllocatedFile(source, 40 * MiB));

    auto* job = new CopyJob;
    job->m_settings.copyMethod = CopyFileObject::SimpleMethod;
    static_cast<CopyItem&>(*job) = CopyItem(source, dir.filePath("dst/big.bin"), 0, false, {});
    // Stopped from the worker thread at the first mark, so the copy ends at the next one.
    connect(
        job, &Job::jobProgress, job, [job] { job->stopJob(); }, Qt::DirectConnection);
    CopyItem item;
    QList<Progress> progress;
    QVERIFY(run(job, &item, &progress));
    QCOMPARE(item.copy_state, int(DestinationError));
    QCOMPARE(item.copy_message, QString("unable to complete the copy"));
    QCOMPARE(progress.size(), 1);
    QCOMPARE(progress.first().done, 16 * MiB);
    QCOMPARE(entriesOf(dir.filePath("dst")), QStringList());
}

void TestCopyJob::nativeMethodStopsBetweenChunks()
{
    TransferCounters* counters = TransferCounters::instance();
    counters->resetAll();
    QTemporaryDir dir;
    const QString source = dir.filePath("huge.bin");
    const qint64 size = 256 * MiB;
    QVERIFY(makeAllocatedFile(source, size));
    // The copier is held at its third chunk: the stop certainly comes before the end.
    TestSupport::ReadGate gate(source, TestSupport::ReadGate::Event::Read);
    if (!gate.isValid())
        QSKIP(qPrintable(gate.skipReason()));
    gate.holdAfter(2);
    QVERIFY(QDir().mkpath(dir.filePath("dst")));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^(copy_file_range|sendfile|read) 125: Operation "
                                            "canceled$"));

    auto* job = new CopyJob;
    job->m_settings.copyMethod = CopyFileObject::NativeMethod;
    static_cast<CopyItem&>(*job) = CopyItem(source, dir.filePath("dst/huge.bin"), 0, false, {});
    QObject receiver;
    int completions = 0;
    connect(job, &Job::jobCompleted, &receiver, [&completions] { ++completions; });
    JobThreadPool::leastBusyThread()->addJob(job);
    // Stopped once the first chunks are reported, as the copy task stops a run.
    QVERIFY(gate.waitUntilHolding());
    const TransferCounters::FileProgress file = counters->currentFile();
    QVERIFY(file.bytesCopied > 0 && file.bytesCopied < size);
    QCOMPARE(file.size, size);
    QCOMPARE(file.name, source);
    JobThreadPool::stopAllJobs();
    QVERIFY(gate.open());
    QTRY_COMPARE_WITH_TIMEOUT(completions, 1, 60000);

    HandOver::receive(job);
    const CopyItem item = *job;
    job->deleteLater();
    QCOMPARE(item.copy_state, int(DestinationError));
    QCOMPARE(item.copy_message, QString("unable to copy file"));
    QCOMPARE(item.info_list.size(), 1);
    // Nothing under the final name nor under the temporary one.
    QCOMPARE(entriesOf(dir.filePath("dst")), QStringList());
    QVERIFY(!counters->currentFile().isValid());
    QCOMPARE(counters->files().size(), 1);
    QVERIFY(counters->files().first().finished);
}

void TestCopyJob::largeFileProgressInTransferCounters_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("reported");
    QTest::newRow("just below the limit") << CopyFileObject::largeFileSize - 1 << false;
    QTest::newRow("at the limit") << CopyFileObject::largeFileSize << true;
}

void TestCopyJob::largeFileProgressInTransferCounters()
{
    QFETCH(qint64, size);
    QFETCH(bool, reported);
    TransferCounters* counters = TransferCounters::instance();
    counters->resetAll();
    QTemporaryDir dir;
    const QString source = dir.filePath("large.bin");
    QVERIFY(makeSparseFile(source, size));

    auto* job = new CopyJob;
    static_cast<CopyItem&>(*job) = CopyItem(source, dir.filePath("dst/large.bin"), 0, false, {});
    CopyItem item;
    QVERIFY(run(job, &item));
    QCOMPARE(item.copy_state, int(Copied));
    QCOMPARE(QFileInfo(item.destination_path).size(), size);
    const QVector<TransferCounters::FileProgress> files = counters->files();
    QCOMPARE(files.size(), reported ? 1 : 0);
    if (reported) {
        QCOMPARE(files.first().bytesCopied, size);
        QCOMPARE(files.first().size, size);
        QVERIFY(files.first().finished);
    }
}

void TestCopyJob::completesWhenStoppedBeforeTheCopierStarts_data()
{
    QTest::addColumn<bool>("isFolder");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("previousState");
    QTest::newRow("file") << false << int(CopyOptions::Copy) << int(Unprocessed);
    QTest::newRow("folder") << true << int(CopyOptions::Copy) << int(Unprocessed);
    QTest::newRow("failed file of a fix-errors run")
        << false << int(CopyOptions::FixErrors) << int(DestinationError);
}

void TestCopyJob::completesWhenStoppedBeforeTheCopierStarts()
{
    QFETCH(bool, isFolder);
    QFETCH(int, mode);
    QFETCH(int, previousState);
    QTemporaryDir dir;
    const QString source = dir.filePath("src/item");
    if (isFolder)
        QVERIFY(QDir().mkpath(source));
    else
        QVERIFY(TestSupport::writeFile(source, "content"));

    auto* job = new StopWhileCreatingCopierJob;
    static_cast<CopyItem&>(*job) = CopyItem(source, dir.filePath("dst/item"), 7, isFolder, {});
    job->copy_state = previousState;
    job->copy_message = previousState == Unprocessed ? QString() : "unable to copy file";
    job->m_options.m_copyMode = mode;
    CopyItem item;
    QVERIFY(run(job, &item));
    QCOMPARE(item.copy_state, int(Unprocessed));
    QCOMPARE(item.copy_message, QString());
    QVERIFY(!QFileInfo::exists(dir.filePath("dst")));
    QVERIFY(QFileInfo::exists(source));
}

void TestCopyJob::completionFromAnInvalidSender()
{
    CopyJob job;
    static_cast<CopyItem&>(job) = CopyItem("/data/source.txt", "/backup/source.txt", 1, false, {});
    QSignalSpy finished(&job, &Job::jobHasFinishedWithThread);
    QTest::ignoreMessage(
        QtWarningMsg,
        "CopyJob has received a signal from invalid CopyObject instance (copy completed)");
    QTest::ignoreMessage(QtWarningMsg, "Copy of /data/source.txt has an internal error");
    job.onCopyCompleted();
    QCOMPARE(job.copy_state, int(DestinationError));
    QCOMPARE(job.copy_message, QString("internal error"));
    QCOMPARE(finished.count(), 1);
}

void TestCopyJob::copiesFollowingItemsInOrder_data()
{
    QTest::addColumn<int>("stopAt");      // the item whose copier stops the job; -1 none
    QTest::addColumn<QString>("missing"); // a source removed before the start
    QTest::addColumn<bool>("deferred");   // copies left under temporary names
    QTest::addColumn<QStringList>("states");

    QTest::newRow("all copied") << -1 << QString() << false
                                << QStringList{"Copied", "Copied", "Copied"};
    QTest::newRow("a missing source fails alone")
        << -1 << "b" << false << QStringList{"Copied", "SourceError", "Copied"};
    QTest::newRow("left for a group flush")
        << -1 << QString() << true << QStringList{"Copied", "Copied", "Copied"};
    QTest::newRow("stopped at the second")
        << 1 << QString() << false << QStringList{"Copied", "Unprocessed", "Unprocessed"};
    QTest::newRow("stopped at once")
        << 0 << QString() << true << QStringList{"Unprocessed", "Unprocessed", "Unprocessed"};
}

void TestCopyJob::copiesFollowingItemsInOrder()
{
    QFETCH(int, stopAt);
    QFETCH(QString, missing);
    QFETCH(bool, deferred);
    QFETCH(QStringList, states);
    const QMap<int, QString> stateNames{
        {Unprocessed, "Unprocessed"}, {Copied, "Copied"}, {SourceError, "SourceError"}};
    QTemporaryDir dir;
    QList<CopyItem> items;
    for (const QString name : {"a", "b", "c"}) {
        const QString source = dir.filePath("src/" + name);
        QVERIFY(TestSupport::writeFile(source, name.toUtf8().repeated(3)));
        items << CopyItem(source, dir.filePath("dst/" + name), 3, false, QString());
    }
    QVERIFY(QDir().mkpath(dir.filePath("dst")));
    if (!missing.isEmpty())
        QVERIFY(QFile::remove(dir.filePath("src/" + missing)));

    const int descriptorsBefore = openDescriptors();
    auto* job = new StopAtItemJob;
    job->stopAt = stopAt;
    static_cast<CopyItem&>(*job) = items.first();
    job->setFollowingItems(items.mid(1));
    if (deferred) {
        job->m_deferBelowSize = MiB;
        job->m_deferDevice = deviceOfFolder(dir.filePath("dst"));
    }
    CopyItem first;
    QList<CopyItem> results;
    QStringList pending;
    QVERIFY(run(job, &first, nullptr, [&](CopyJob* done) {
        results = done->results();
        pending = done->pendingTemporaryPaths();
    }));
    QCOMPARE(results.size(), 3);
    QCOMPARE(pending.size(), 3);
    // The sources that the job opened ahead are closed again, stopped or not.
    QCOMPARE(openDescriptors(), descriptorsBefore);
    QCOMPARE(first.source_path, items.first().source_path);
    QCOMPARE(first.copy_state, results.first().copy_state);
    QStringList placed;
    for (int i = 0; i < 3; ++i) {
        const CopyItem& result = results.at(i);
        QCOMPARE(result.source_path, items.at(i).source_path);
        QCOMPARE(stateNames.value(result.copy_state), states.at(i));
        const bool copied = result.copy_state == Copied;
        // A deferred copy exists only under its temporary name, beside the final one.
        QCOMPARE(!pending.at(i).isEmpty(), copied && deferred);
        if (copied && deferred) {
            QCOMPARE(QFileInfo(pending.at(i)).path(), dir.filePath("dst"));
            QCOMPARE(TestSupport::readFile(pending.at(i)),
                     QFileInfo(result.source_path).fileName().toUtf8().repeated(3));
        }
        if (QFileInfo::exists(result.destination_path))
            placed << QFileInfo(result.destination_path).fileName();
        if (copied && !deferred)
            QCOMPARE(TestSupport::readFile(result.destination_path),
                     TestSupport::readFile(result.source_path));
    }
    QStringList expectedPlaced;
    for (int i = 0; i < 3; ++i) {
        if (!deferred && states.at(i) == "Copied")
            expectedPlaced << QFileInfo(items.at(i).destination_path).fileName();
    }
    QCOMPARE(placed, expectedPlaced);
    // Nothing else is left in the destination folder.
    QCOMPARE(entriesOf(dir.filePath("dst")).size(),
             expectedPlaced.size() + pending.size() - pending.count(QString()));
}

// The job opened its root by path after the drive went (the anchor, here, is that of /proc):
// what is there now is another file system, and no copier writes to it.
void TestCopyJob::writesNothingThroughARootElsewhere()
{
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath("dst")));
    QList<CopyItem> items;
    for (const QString name : {"a", "b"}) {
        QVERIFY(TestSupport::writeFile(dir.filePath("src/" + name), "abc"));
        items << CopyItem(dir.filePath("src/" + name), dir.filePath("dst/" + name), 3, false,
                          QString());
    }
    auto* job = new CopyJob;
    static_cast<CopyItem&>(*job) = items.first();
    job->setFollowingItems(items.mid(1));
    job->m_destinationRoot = dir.filePath("dst");
    const int proc = ::open("/proc", O_RDONLY | O_DIRECTORY);
    job->m_destinationAnchor = DestinationAnchor::fromOpenFolder(proc, dir.filePath("dst"));
    ::close(proc);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("is no longer on the file system"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("is no longer on the file system"));
    QList<CopyItem> results;
    CopyItem first;
    QVERIFY(run(job, &first, nullptr, [&](CopyJob* done) { results = done->results(); }));
    QCOMPARE(results.size(), 2);
    for (const CopyItem& result : results)
        QCOMPARE(result.copy_message, DestinationAnchor::lostText());
    QCOMPARE(entriesOf(dir.filePath("dst")), QStringList());
}

QTEST_GUILESS_MAIN(TestCopyJob)
#include "tst_copyjob.moc"
