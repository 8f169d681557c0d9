#include "engine/commitfilesjob.h"
#include "fs/platform.h"
#include "fs/platformcopy.h"
#include "base/handover.h"
#include "jobs/jobthread.h"
#include "jobs/jobthreadpool.h"
#include "testsupport.h"

#include <QtTest>

#include <unistd.h>

namespace {

// Every entry of the folder, hidden temporary names included, with its data.
QMap<QString, QByteArray> contentsOf(const QString& folder)
{
    QMap<QString, QByteArray> contents;
    for (const QString& name : QDir(folder).entryList(QDir::AllEntries | QDir::Hidden |
                                                      QDir::System | QDir::NoDotAndDotDot))
        contents.insert(name, TestSupport::readFile(folder + '/' + name));
    return contents;
}

QByteArray dataOf(const QString& name)
{
    return "data of " + name.toUtf8();
}

// "state|message|info;info", as the rows give the expected outcome of an item.
QString outcomeOf(const CopyItem& item)
{
    return QStringLiteral("%1|%2|%3")
        .arg(item.copy_state)
        .arg(item.copy_message, item.info_list.join(QLatin1Char(';')));
}

// A copy as the copier leaves it: written and closed under its temporary name, neither
// flushed nor named.
bool makePendingCopy(CommitFilesJob::PendingCopy* copy, const QByteArray& data)
{
    copy->item.copy_state = Copied;
    PlatformCopy::Failure failure;
    if (!PlatformCopy::fileVersion(copy->item.source_path, &copy->source))
        return false;
    const int fd = PlatformCopy::createTemporaryFile(copy->item.destination_path,
                                                     &copy->temporaryPath, &failure);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, data.constData(), size_t(data.size())) == data.size();
    ::close(fd);
    return written;
}

// Runs a commit job in a pool thread and returns its items once it has completed; context
// receives the completion in the test's thread.
QList<CopyItem> runCommit(QObject* context, int handle, const QString& destination,
                          const QList<CommitFilesJob::PendingCopy>& copies, bool move,
                          const DestinationAnchor& anchor = DestinationAnchor(),
                          const QString& root = QString())
{
    auto* job = new CommitFilesJob;
    job->setDestinationRoot(root);
    job->setFileSystem(handle, destination);
    job->setDestinationAnchor(anchor);
    job->setCopies(copies);
    job->setMove(move);
    int completions = 0;
    QObject::connect(job, &Job::jobCompleted, context, [&completions] { ++completions; });
    JobThreadPool::leastBusyThread()->addJob(job);
    if (!QTest::qWaitFor([&completions] { return completions > 0; }, 30000))
        return {};
    HandOver::receive(static_cast<Job*>(job));
    const QList<CopyItem> items = job->items();
    job->deleteLater();
    QTest::qWait(0); // the completion is counted once
    return completions == 1 ? items : QList<CopyItem>();
}

} // namespace

class TestCommitFilesJob : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void placesGroup_data();
    void placesGroup();
    void keepsSourcesOfALostDestination();
    void movesLargeGroup();
    void placesOnlyBeneathRoot();
};

void TestCommitFilesJob::initTestCase()
{
    TestSupport::initTestEnvironment();
    JobThreadPool::createThreads(1);
    JobThreadPool::startThreads();
}

void TestCommitFilesJob::cleanupTestCase()
{
    JobThreadPool::destroyThreads();
}

void TestCommitFilesJob::placesGroup_data()
{
    QTest::addColumn<bool>("move");
    QTest::addColumn<bool>("opened"); // the file system handle is valid
    // A name given to another file before the commit; " replaced" ends it for an overwrite.
    QTest::addColumn<QString>("taken");
    QTest::addColumn<QString>("decided");      // an item its copier decided: no temporary file
    QTest::addColumn<QString>("changed");      // a source written to after its copy was made
    QTest::addColumn<QStringList>("outcomes"); // of a, b and c, in this order
    QTest::addColumn<QStringList>("placed");   // destinations holding their source's data
    QTest::addColumn<QStringList>("sources");  // sources left

    const QString copied = QStringLiteral("4||");
    const QString moved = QStringLiteral("4||File moved");
    const QString exists = QStringLiteral("2|unable to copy file|renameat2 17: File exists");
    const QString badHandle = QStringLiteral("2|unable to copy file|syncfs 9: Bad file descriptor");
    const QString refused = QStringLiteral("2|different file exists|");
    const QStringList all{"a", "b", "c"};

    QTest::newRow("copy places all") << false << true << QString() << QString() << QString()
                                     << QStringList{copied, copied, copied} << all << all;
    QTest::newRow("move places all, deletes the sources")
        << true << true << QString() << QString() << QString() << QStringList{moved, moved, moved}
        << all << QStringList();
    QTest::newRow("copy, a name taken meanwhile")
        << false << true << "b" << QString() << QString() << QStringList{copied, exists, copied}
        << QStringList{"a", "c"} << all;
    QTest::newRow("move, a name taken meanwhile keeps its source")
        << true << true << "b" << QString() << QString() << QStringList{moved, exists, moved}
        << QStringList{"a", "c"} << QStringList{"b"};
    // An overwrite replaces the old file only here, once the new one is on the device.
    QTest::newRow("move, an overwrite replaces the old file")
        << true << true << "b replaced" << QString() << QString()
        << QStringList{moved, "4||existing file is removed;File moved", moved} << all
        << QStringList();
    QTest::newRow("copy, a folder in the way of an overwrite")
        << false << true << "c replaced" << QString() << QString()
        << QStringList{copied, copied,
                       "2|file cannot be overwritten|rename 21: Is a directory;Unable to remove "
                       "existing file"}
        << QStringList{"a", "b"} << all;
    // Nothing tells which files the failed write-back hit: none takes its name.
    QTest::newRow("copy, flush fails")
        << false << false << QString() << QString() << QString()
        << QStringList{badHandle, badHandle, badHandle} << QStringList() << all;
    QTest::newRow("move, flush fails keeps every source")
        << true << false << QString() << QString() << QString()
        << QStringList{badHandle, badHandle, badHandle} << QStringList() << all;
    QTest::newRow("copy, an item already decided keeps its place")
        << false << true << QString() << "b" << QString() << QStringList{copied, refused, copied}
        << QStringList{"a", "c"} << all;
    QTest::newRow("move, an item already decided keeps its source")
        << true << true << QString() << "a" << QString() << QStringList{refused, moved, moved}
        << QStringList{"b", "c"} << QStringList{"a"};
    QTest::newRow("move, flush fails, decided item untouched")
        << true << false << QString() << "c" << QString()
        << QStringList{badHandle, badHandle, refused} << QStringList() << all;
    // The copy holds the version that was read; the newer one must not go with the move.
    QTest::newRow("move, a source changed since its copy is kept")
        << true << true << QString() << QString() << "c"
        << QStringList{moved, moved, "1|source file changed during the copy|"} << all
        << QStringList{"c"};
}

void TestCommitFilesJob::placesGroup()
{
    QFETCH(bool, move);
    QFETCH(bool, opened);
    QFETCH(QString, taken);
    QFETCH(QString, decided);
    QFETCH(QString, changed);
    QFETCH(QStringList, outcomes);
    QFETCH(QStringList, placed);
    QFETCH(QStringList, sources);
    const bool replace = taken.endsWith(" replaced");
    taken = taken.section(' ', 0, 0);

    QTemporaryDir dir;
    const QString source = dir.filePath("src");
    const QString destination = dir.filePath("dst");
    QVERIFY(QDir().mkpath(destination));
    QList<CommitFilesJob::PendingCopy> copies;
    QMap<QString, QByteArray> expectedDestination; // what was there stays untouched
    for (const QString& name : QStringList{"a", "b", "c"}) {
        QVERIFY(TestSupport::writeFile(source + '/' + name, dataOf(name)));
        CommitFilesJob::PendingCopy copy;
        copy.item = CopyItem(source + '/' + name, destination + '/' + name, dataOf(name).size(),
                             false, QString());
        if (name == decided) {
            copy.item.setDestinationError(QStringLiteral("different file exists"));
            QVERIFY(TestSupport::writeFile(copy.item.destination_path, "other"));
            expectedDestination.insert(name, "other");
        } else {
            QVERIFY(makePendingCopy(&copy, dataOf(name)));
            copy.replace = replace && name == taken;
        }
        copies << copy;
    }
    if (!taken.isEmpty() && replace && taken == "c") {
        QVERIFY(QDir().mkpath(destination + "/c/inside"));
        expectedDestination.insert(taken, QByteArray());
    } else if (!taken.isEmpty()) {
        QVERIFY(TestSupport::writeFile(destination + '/' + taken, "existing"));
        if (!replace)
            expectedDestination.insert(taken, "existing");
    }
    QMap<QString, QByteArray> expectedSource;
    for (const QString& name : sources)
        expectedSource.insert(name, dataOf(name));
    if (!changed.isEmpty()) {
        expectedSource.insert(changed, dataOf(changed) + " and more");
        QVERIFY(TestSupport::writeFile(source + '/' + changed, expectedSource.value(changed)));
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Source file changed during the copy: " +
                                                      source + '/' + changed));
    }

    const int handle = opened ? Platform::openFileSystem(destination) : -1;
    if (opened) {
        QVERIFY(handle >= 0);
    } else {
        QTest::ignoreMessage(QtWarningMsg,
                             qPrintable("Unable to flush the file system of " + destination));
        QTest::ignoreMessage(QtWarningMsg, "syncfs 9: Bad file descriptor");
    }
    if (!taken.isEmpty() && !replace)
        QTest::ignoreMessage(QtWarningMsg, "renameat2 17: File exists");
    if (replace && taken == "c")
        QTest::ignoreMessage(QtWarningMsg, "rename 21: Is a directory");

    const QList<CopyItem> items = runCommit(this, handle, destination, copies, move);
    Platform::closeFileSystem(handle);

    QStringList order;
    QStringList results;
    for (const CopyItem& item : items) {
        order << QFileInfo(item.source_path).fileName();
        results << outcomeOf(item);
    }
    QCOMPARE(order, QStringList({"a", "b", "c"}));
    QCOMPARE(results, outcomes);

    // No temporary file is left.
    for (const QString& name : placed)
        expectedDestination.insert(name, dataOf(name));
    QCOMPARE(contentsOf(destination), expectedDestination);
    QCOMPARE(contentsOf(source), expectedSource);
}

// The drive went away (its mount point now on another file system, here the anchor's is that
// of /proc): no name is taken elsewhere, no source goes.
void TestCommitFilesJob::keepsSourcesOfALostDestination()
{
    QTemporaryDir dir;
    const QString destination = dir.filePath("dst");
    QVERIFY(QDir().mkpath(destination));
    const int handle = Platform::openFileSystem(destination);
    const int proc = Platform::openFolder("/proc");
    const DestinationAnchor anchor = DestinationAnchor::fromOpenFolder(proc, destination);
    Platform::closeFolder(proc);
    CommitFilesJob::PendingCopy copy;
    copy.item = CopyItem(dir.filePath("a"), destination + "/a", 1, false, QString());
    QVERIFY(TestSupport::writeFile(copy.item.source_path, dataOf("a")));
    QVERIFY(makePendingCopy(&copy, dataOf("a")));
    QTest::ignoreMessage(QtWarningMsg, qPrintable("The destination " + destination +
                                                  " is no longer on the file system the run began with"));
    const QList<CopyItem> items = runCommit(this, handle, destination, {copy}, true, anchor);
    Platform::closeFileSystem(handle);
    QCOMPARE(items.size(), 1);
    QCOMPARE(items.first().copy_message, DestinationAnchor::lostText());
    QVERIFY(!QFileInfo::exists(destination + "/a"));
    QCOMPARE(TestSupport::readFile(copy.item.source_path), dataOf("a"));
}

// Sources of a large group are removed several at a time; outcomes keep the group's order.
void TestCommitFilesJob::movesLargeGroup()
{
    QTemporaryDir dir;
    const QString source = dir.filePath("src");
    const QString destination = dir.filePath("dst");
    QVERIFY(QDir().mkpath(destination));
    QList<CommitFilesJob::PendingCopy> copies;
    QStringList expected;
    for (int i = 0; i < 300; ++i) {
        const QString name = QString::number(i);
        QVERIFY(TestSupport::writeFile(source + '/' + name, dataOf(name)));
        CommitFilesJob::PendingCopy copy;
        copy.item = CopyItem(source + '/' + name, destination + '/' + name, 0, false, QString());
        QVERIFY(makePendingCopy(&copy, QByteArray()));
        copies << copy;
        expected << (i == 150  ? "1|source file changed during the copy|"
                     : i == 10 ? "4||"
                               : "4||File moved");
    }
    QVERIFY(QFile::remove(source + "/10")); // gone meanwhile: nothing to remove
    QVERIFY(TestSupport::writeFile(source + "/150", "changed since its copy"));
    QTest::ignoreMessage(QtWarningMsg,
                         qPrintable("Source file changed during the copy: " + source + "/150"));

    const int handle = Platform::openFileSystem(destination);
    QStringList results;
    for (const CopyItem& item : runCommit(this, handle, destination, copies, true))
        results << outcomeOf(item);
    Platform::closeFileSystem(handle);
    QCOMPARE(results, expected);
    QCOMPARE(QDir(source).entryList(QDir::Files), QStringList{"150"});
    QCOMPARE(QDir(destination).entryList(QDir::Files).size(), 300);
}

QTEST_GUILESS_MAIN(TestCommitFilesJob)
// A copy's folder swapped for a link to elsewhere before the group is placed: that copy is
// an error, nothing is named outside, its source stays; the next folder's copy is placed.
void TestCommitFilesJob::placesOnlyBeneathRoot()
{
    QTemporaryDir dir;
    const QString destination = dir.filePath("dst");
    QVERIFY(QDir().mkpath(destination + "/sub") && QDir().mkpath(destination + "/next") &&
            QDir().mkpath(dir.filePath("outside")));
    const int handle = Platform::openFileSystem(destination);
    QList<CommitFilesJob::PendingCopy> copies;
    for (const QString& folder : {QString("sub"), QString("next")}) {
        CommitFilesJob::PendingCopy copy;
        copy.item =
            CopyItem(dir.filePath(folder), destination + "/" + folder + "/a", 1, false, QString());
        QVERIFY(TestSupport::writeFile(copy.item.source_path, dataOf("a")));
        QVERIFY(makePendingCopy(&copy, dataOf("a")));
        copies.append(copy);
    }
    QVERIFY(QDir().rename(destination + "/sub", destination + "/old") &&
            QFile::link(dir.filePath("outside"), destination + "/sub"));
    const QList<CopyItem> items =
        runCommit(this, handle, destination, copies, true, DestinationAnchor(), destination);
    Platform::closeFileSystem(handle);
    QCOMPARE(items.size(), 2);
    QVERIFY(items.at(0).isError());
    QVERIFY(QDir(dir.filePath("outside")).isEmpty());
    QCOMPARE(TestSupport::readFile(dir.filePath("sub")), dataOf("a"));
    QVERIFY(!items.at(1).isError());
    QCOMPARE(TestSupport::readFile(destination + "/next/a"), dataOf("a"));
    QVERIFY(!QFileInfo::exists(dir.filePath("next")));
}

#include "tst_commitfilesjob.moc"
