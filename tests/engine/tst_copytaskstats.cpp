#include "engine/copytask.h"

#include "app/appsettings.h"
#include "copytaskfixture.h"
#include "jobs/transfercounters.h"
#include "testsupport.h"

#include <QtTest>

#include <limits>

Q_DECLARE_METATYPE(CopyTask::Counters)

namespace {

const qint64 Unlimited = 999999999000;

CopyTask::Counters makeCounters(const QList<QPair<TaskCounter, qint64>>& values)
{
    CopyTask::Counters counters{};
    for (const auto& value : values)
        counters[value.first] = value.second;
    return counters;
}

CopyItem makeItem(const QString& name, int state, qint64 size, bool folder = false,
                  bool checked = false)
{
    CopyItem item(QStringLiteral("/src/") + name, QStringLiteral("/dst/") + name, size, folder,
                  QString());
    item.copy_state = state;
    item.is_checked = checked;
    return item;
}

// Loads a list through a task file, the one way to hand a copy task finished items
// without running it.
bool loadItems(CopyTask& task, const QString& path, const QList<CopyItem>& items,
               const QList<CopyItem>& folders)
{
    return TestSupport::writeTaskFile(path, TestSupport::makeTask("/src", "/dst"), items,
                                      folders) &&
           task.loadFromFile(path);
}

QStringList names(const QList<CopyItem>& items)
{
    QStringList list;
    for (const CopyItem& item : items)
        list << item.source_path.mid(5);
    return list;
}

} // namespace

class TestCopyTaskStats : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void averageSpeedFor_data();
    void averageSpeedFor();
    void remainingTimeFor_data();
    void remainingTimeFor();
    void elapsedMsBetween_data();
    void elapsedMsBetween();
    void flushProgressFor_data();
    void flushProgressFor();
    void freshTask();
    void countersOfLoadedItems();
    void hugeTotalsSaturate();
    void itemQueries();

private:
    QTemporaryDir m_dir;
};

void TestCopyTaskStats::initTestCase()
{
    TestSupport::initTestEnvironment();
    QVERIFY(m_dir.isValid());
}

void TestCopyTaskStats::cleanup()
{
    AppSettings::instance()->setMaxTransferSpeed(Unlimited);
}

void TestCopyTaskStats::averageSpeedFor_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<qint64>("elapsed");
    QTest::addColumn<qint64>("maximum");
    QTest::addColumn<qint64>("speed");

    QTest::newRow("under one second") << qint64(50000000) << qint64(999) << Unlimited << qint64(1);
    QTest::newRow("under 32000 bytes") << qint64(31999) << qint64(1000) << Unlimited << qint64(1);
    QTest::newRow("both thresholds reached")
        << qint64(32000) << qint64(1000) << Unlimited << qint64(32000);
    QTest::newRow("rounds down below a half")
        << qint64(100000) << qint64(3000) << Unlimited << qint64(33333);
    QTest::newRow("rounds a half up")
        << qint64(32125) << qint64(2000) << Unlimited << qint64(16063);
    QTest::newRow("slow but measured")
        << qint64(40000) << qint64(80000000) << Unlimited << qint64(1);
    QTest::newRow("capped by the setting")
        << qint64(10000000) << qint64(2000) << qint64(1000) << qint64(1000);
    QTest::newRow("setting below one")
        << qint64(10000000) << qint64(2000) << qint64(0) << qint64(1);
    QTest::newRow("one terabyte a second")
        << qint64(1000000000000) << qint64(1000) << Unlimited << Unlimited;
}

void TestCopyTaskStats::averageSpeedFor()
{
    QFETCH(qint64, bytes);
    QFETCH(qint64, elapsed);
    QFETCH(qint64, maximum);
    QFETCH(qint64, speed);
    QCOMPARE(CopyTask::averageSpeedFor(bytes, elapsed, maximum), speed);
}

void TestCopyTaskStats::remainingTimeFor_data()
{
    QTest::addColumn<CopyTask::Counters>("counters");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("listCompleted");
    QTest::addColumn<bool>("taskCompleted");
    QTest::addColumn<qint64>("speed");
    QTest::addColumn<qint64>("remaining");

    const int copy = CopyOptions::Copy;
    const int move = CopyOptions::Move;
    const CopyTask::Counters busy = makeCounters(
        {{FilesToCopy, 10}, {FilesCompleted, 4}, {BytesToCopy, 10000000}, {BytesCompleted, 0}});

    QTest::newRow("list being built")
        << busy << copy << false << false << qint64(1000) << qint64(-1);
    QTest::newRow("run ended") << busy << copy << true << true << qint64(1000) << qint64(0);
    QTest::newRow("files done, a few folders left")
        << makeCounters({{FilesToCopy, 5}, {FilesCompleted, 5}, {FoldersFound, 10}}) << copy << true
        << false << qint64(1) << qint64(1000);
    QTest::newRow("files done, many folders left, copy")
        << makeCounters({{FoldersFound, 1000}, {FoldersSynced, 100}}) << copy << true << false
        << qint64(1) << qint64(4500);
    QTest::newRow("files done, many folders left, move")
        << makeCounters({{FoldersFound, 1000}, {FoldersSynced, 100}}) << move << true << false
        << qint64(1) << qint64(45000);
    QTest::newRow("folder cost capped at five minutes")
        << makeCounters({{FoldersFound, 100000}}) << move << true << false << qint64(1)
        << qint64(300000);
    QTest::newRow("more completed than counted")
        << makeCounters({{FilesToCopy, 2}, {FilesCompleted, 3}, {FoldersFound, 0}}) << copy << true
        << false << qint64(1) << qint64(1000);
    // 6 files x 10 ms, 10 MB at 1 MB/s.
    QTest::newRow("transfer dominates")
        << busy << copy << true << false << qint64(1000000) << qint64(10000 + 60);
    QTest::newRow("transfer of a second or less counts one second")
        << busy << copy << true << false << qint64(10000000) << qint64(1000 + 60);
    QTest::newRow("speed of one right after the start")
        << busy << copy << true << false << qint64(1) << qint64(10000000000 + 60);
    QTest::newRow("100000 files left in a copy")
        << makeCounters({{FilesToCopy, 100000}, {BytesToCopy, 1000}}) << copy << true << false
        << qint64(1000) << qint64(1000000 + 1000);
    QTest::newRow("100000 files left in a move")
        << makeCounters({{FilesToCopy, 100000}, {BytesToCopy, 1000}, {FoldersFound, 2}}) << move
        << true << false << qint64(1000) << qint64(1800000 + 1000 + 100);
    QTest::newRow("transfer rounds a half up")
        << makeCounters({{FilesToCopy, 1}, {BytesToCopy, 3001}}) << copy << true << false
        << qint64(2) << qint64(1500500 + 10);
    QTest::newRow("absurd byte count saturates")
        << makeCounters({{FilesToCopy, 1}, {BytesToCopy, std::numeric_limits<qint64>::max()}})
        << copy << true << false << qint64(1) << std::numeric_limits<qint64>::max();
}

void TestCopyTaskStats::remainingTimeFor()
{
    QFETCH(CopyTask::Counters, counters);
    QFETCH(int, mode);
    QFETCH(bool, listCompleted);
    QFETCH(bool, taskCompleted);
    QFETCH(qint64, speed);
    QFETCH(qint64, remaining);
    QCOMPARE(CopyTask::remainingTimeFor(counters, mode, listCompleted, taskCompleted, speed),
             remaining);
}

void TestCopyTaskStats::elapsedMsBetween_data()
{
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QDateTime>("end");
    QTest::addColumn<qint64>("elapsed");

    const QDateTime start = QDateTime::fromMSecsSinceEpoch(1600000000000);
    QTest::newRow("never started") << QDateTime() << start << qint64(0);
    QTest::newRow("ended in the same millisecond") << start << start << qint64(1);
    QTest::newRow("ended") << start << start.addMSecs(61234) << qint64(61234);
    QTest::newRow("going on") << start << QDateTime() << qint64(5000);
    QTest::newRow("clock set back") << start << start.addSecs(-30) << qint64(1);
}

void TestCopyTaskStats::elapsedMsBetween()
{
    QFETCH(QDateTime, start);
    QFETCH(QDateTime, end);
    QFETCH(qint64, elapsed);
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(1600000005000);
    QCOMPARE(CopyTask::elapsedMsBetween(start, end, now), elapsed);
}

void TestCopyTaskStats::flushProgressFor_data()
{
    QTest::addColumn<qint64>("atStart");
    QTest::addColumn<qint64>("now");
    QTest::addColumn<qint64>("written");
    QTest::addColumn<qint64>("total");

    QTest::newRow("part written") << qint64(1000) << qint64(250) << qint64(750) << qint64(1000);
    QTest::newRow("all written") << qint64(1000) << qint64(0) << qint64(1000) << qint64(1000);
    QTest::newRow("others wrote more meanwhile")
        << qint64(1000) << qint64(5000) << qint64(0) << qint64(1000);
    QTest::newRow("unknown at start") << qint64(-1) << qint64(200) << qint64(0) << qint64(0);
    QTest::newRow("unreadable now") << qint64(1000) << qint64(-1) << qint64(0) << qint64(0);
}

void TestCopyTaskStats::flushProgressFor()
{
    QFETCH(qint64, atStart);
    QFETCH(qint64, now);
    const CopyTask::FlushProgress progress = CopyTask::flushProgressFor(atStart, now);
    QTEST(progress.written, "written");
    QTEST(progress.total, "total");
}

void TestCopyTaskStats::freshTask()
{
    CopyTask task;
    QCOMPARE(task.objectName(), QStringLiteral("TaskCopy"));
    QVERIFY(task.isTaskCompleted());
    QVERIFY(!task.isFileListCompleted());
    QCOMPARE(task.elapsedMs(), qint64(0));
    QCOMPARE(task.averageSpeed(), qint64(1));
    QCOMPARE(task.remainingTime(), qint64(-1));
    for (int index = 0; index <= TaskElapsedTime + 1; ++index)
        QCOMPARE(task.counter(index), qint64(0));
}

void TestCopyTaskStats::countersOfLoadedItems()
{
    TransferCounters::instance()->resetAll();
    CopyTask task;
    const QList<CopyItem> items{
        makeItem("copied-checked", Copied, 100, false, true),
        makeItem("skipped", Skipped, 50),
        makeItem("unreadable", SourceError, 10),
        makeItem("folder-in-error", DestinationError, 0, true),
        makeItem("copied-folder", Copied, 0, true),
        makeItem("waiting", Unprocessed, 7),
        makeItem("full", DestinationError, 1000),
    };
    const QList<CopyItem> folders{makeItem("synced", Copied, 0, true),
                                  makeItem("broken", DestinationError, 0, true)};
    QVERIFY(loadItems(task, m_dir.filePath("counters.bdt"), items, folders));

    // Every item counts as to be copied, the ones with an outcome as completed; the
    // folders list is not counted.
    const CopyTask::Counters expected = makeCounters({{FilesToCopy, 5},
                                                      {BytesToCopy, 1167},
                                                      {FoldersFound, 2},
                                                      {FilesCompleted, 4},
                                                      {BytesCompleted, 1160},
                                                      {FilesCopied, 1},
                                                      {FilesSkipped, 1},
                                                      {FilesChecked, 1},
                                                      {ErrorItems, 3}});
    QVERIFY2(task.counters() == expected, "counters differ");
    QCOMPARE(TransferCounters::instance()->value(TransferCounters::BytesToCopy), qint64(1167));
    QCOMPARE(TransferCounters::instance()->value(TransferCounters::BytesCompleted), qint64(1160));

    Task other;
    other.m_sourcePath = QStringLiteral("/elsewhere");
    task.setTask(other);
    QVERIFY(task.counters() == CopyTask::Counters{});
}

void TestCopyTaskStats::hugeTotalsSaturate()
{
    TransferCounters::instance()->resetAll();
    CopyTask task;
    const qint64 largest = CopyItem::MaximumFileSize;
    QVERIFY(loadItems(task, m_dir.filePath("huge.bdt"),
                      {makeItem("a", Copied, largest), makeItem("b", Copied, largest),
                       makeItem("c", Skipped, largest)},
                      {}));
    const qint64 top = std::numeric_limits<qint64>::max();
    QCOMPARE(task.counter(BytesToCopy), top);
    QCOMPARE(task.counter(BytesCompleted), top);
    QCOMPARE(TransferCounters::instance()->value(TransferCounters::BytesToCopy), top);
    QCOMPARE(TransferCounters::instance()->value(TransferCounters::BytesCompleted), top);
}

void TestCopyTaskStats::itemQueries()
{
    CopyTask task;
    const QList<CopyItem> items{
        makeItem("copied", Copied, 1, false, true),
        makeItem("skipped", Skipped, 1),
        makeItem("source-error", SourceError, 1),
        makeItem("waiting", Unprocessed, 1),
        makeItem("folder", Copied, 0, true),
        makeItem("destination-error", DestinationError, 1),
        makeItem("skipped-checked", Skipped, 1, false, true),
    };
    // "folder" was made as an empty folder and is kept for the final sync too: listed once.
    const QList<CopyItem> folders{makeItem("folder", Copied, 0, true),
                                  makeItem("f-error", SourceError, 0, true),
                                  makeItem("f-synced", Copied, 0, true)};
    QVERIFY(loadItems(task, m_dir.filePath("queries.bdt"), items, folders));

    QCOMPARE(names(task.errorItems()),
             QStringList({"source-error", "destination-error", "f-error"}));
    QCOMPARE(names(task.copiedItems()), QStringList({"copied", "folder"}));
    QCOMPARE(names(task.skippedItems()), QStringList({"skipped", "skipped-checked"}));
    QCOMPARE(names(task.checkedItems()), QStringList({"copied", "skipped-checked"}));
    QCOMPARE(names(task.unprocessedItems()), QStringList({"waiting"}));
    QCOMPARE(names(task.folderItems()), QStringList({"folder", "f-error", "f-synced"}));
    QCOMPARE(names(task.completedItems()).size(), items.size());
}

QTEST_GUILESS_MAIN(TestCopyTaskStats)
#include "tst_copytaskstats.moc"
