#include "engine/copytask.h"

#include "copytaskfixture.h"

#include <QtTest>

#include <functional>

using namespace TestSupport;

namespace {

void rewrite(const QString& path, const QByteArray& data, int secondsLater)
{
    const QDateTime time = QFileInfo(path).lastModified().addSecs(secondsLater);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(data), qint64(data.size()));
    // Written out first: a later write would date the file again.
    QVERIFY(file.flush());
    QVERIFY(file.setFileTime(time, QFileDevice::FileModificationTime));
}

} // namespace

// A resume goes on from a task file, but walks both sides again: what changed since is
// handled as a new run would handle it, and the counters are the resume's own.
class TestResumedRun : public QObject, public CopyTaskFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { initRuns(2); }
    void init()
    {
        initScratch();
        usePool(2);
    }
    void cleanup() { cleanupScratch(); }
    void cleanupTestCase() { cleanupRuns(); }

    void seesTheWorldAsItIs_data();
    void seesTheWorldAsItIs();
    void stopDuringItsWalkKeepsTheList();
    void stoppedMoveTellsOfALostCopy();
};

void TestResumedRun::seesTheWorldAsItIs_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("overwrite");
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("copied");
    QTest::addColumn<int>("changed");
    QTest::addColumn<int>("errors");
    const int copy = CopyOptions::Copy;
    const int older = CopyOptions::OverwriteOlder;
    const int always = CopyOptions::OverwriteAlways;
    QTest::newRow("copy, nothing changed: nothing to do") << copy << older << "" << 0 << 0 << 0;
    QTest::newRow("copy: a file added") << copy << older << "add" << 1 << 1 << 0;
    QTest::newRow("copy: a file removed is left alone") << copy << older << "remove" << 0 << 1 << 0;
    QTest::newRow("copy: a file rewritten, same size") << copy << older << "rewrite" << 1 << 1 << 0;
    QTest::newRow("copy: a copy deleted") << copy << older << "delete copy" << 1 << 1 << 0;
    QTest::newRow("copy: a copy cut, same date: replaced as rsync --update does")
        << copy << older << "cut copy" << 1 << 1 << 0;
    QTest::newRow("copy, always: unchanged files are not copied again")
        << copy << always << "" << 0 << 0 << 0;
    QTest::newRow("copy, always: a copy of the same size and date is not read")
        << copy << always << "tamper copy" << 0 << 0 << 0;
    QTest::newRow("copy, rename: no second copy of anything")
        << copy << int(CopyOptions::AutoRename) << "" << 0 << 0 << 0;
    const int move = CopyOptions::Move;
    QTest::newRow("move, nothing left: nothing to do") << move << older << "" << 0 << 0 << 0;
    QTest::newRow("move: a moved file back in the source")
        << move << older << "add again" << 1 << 1 << 0;
    const int verify = CopyOptions::Verify;
    QTest::newRow("verify, nothing changed: nothing read") << verify << older << "" << 0 << 0 << 0;
    QTest::newRow("verify: a copy rewritten since")
        << verify << older << "rewrite copy" << 0 << 1 << 1;
    QTest::newRow("verify: a copy deleted since")
        << verify << older << "delete copy" << 0 << 1 << 1;
}

void TestResumedRun::seesTheWorldAsItIs()
{
    QFETCH(int, mode);
    QFETCH(int, overwrite);
    QFETCH(QString, change);
    QFETCH(int, copied);
    QFETCH(int, changed);
    QFETCH(int, errors);
    const QStringList tree{"a=5", "s/", "s/b=9", "l->a"};
    makeTree(m_source, tree);
    Task definition = makeTask(m_source, m_destination, mode);
    definition.m_options.m_overwriteMode = overwrite;
    const QString path = mp_dir->filePath("run.bdt");
    {
        CopyTask first;
        RunRecorder recorder(&first);
        // A verify checks a copy, dated as its source.
        if (mode == CopyOptions::Verify) {
            first.setTask(makeTask(m_source, m_destination));
            runToEnd(first, recorder);
        }
        first.setTask(definition);
        runToEnd(first, recorder);
        QCOMPARE(first.counter(ErrorItems), qint64(0));
        QVERIFY(first.saveToFile(path, false, true, false));
    }

    const QByteArray tampered = "xxxxx";
    const QString a = m_source + "/a";
    const QString copyOfA = m_destination + "/a";
    if (change == "add")
        makeTree(m_source, {"s/n=3"});
    else if (change == "remove")
        QVERIFY(QFile::remove(a));
    else if (change == "rewrite")
        rewrite(a, "other", 10);
    else if (change == "delete copy")
        QVERIFY(QFile::remove(copyOfA));
    else if (change == "cut copy")
        rewrite(copyOfA, "abc", 0);
    else if (change == "tamper copy")
        rewrite(copyOfA, tampered, 0);
    else if (change == "add again")
        makeTree(m_source, {"a=7"});
    else if (change == "rewrite copy")
        rewrite(copyOfA, "other", 10);
    const QHash<QString, QByteArray> source = fileContents(m_source);

    CopyTask task;
    QVERIFY(task.loadFromFile(path));
    for (int round = 0; round < 2; ++round) {
        RunRecorder recorder(&task);
        runToEnd(task, recorder, true);
        verifyRunInvariant(task, recorder, EveryItemDone);
        // A second resume finds what the first one left.
        QCOMPARE(task.counter(FilesCopied), qint64(round == 0 ? copied : 0));
        QCOMPARE(task.counter(FilesChanged), qint64(round == 0 ? changed : 0));
        QCOMPARE(task.counter(ErrorItems), qint64(errors));
        // Every file the run met is among its totals, whatever became of it.
        QCOMPARE(task.counter(FilesCompleted), task.counter(FilesToCopy));
        QVERIFY(task.counter(TaskElapsedTime) < 60000);
    }
    if (mode == CopyOptions::Verify)
        return;
    const QHash<QString, QByteArray> copies = fileContents(m_destination);
    for (auto it = source.cbegin(); it != source.cend(); ++it) {
        if (change == "tamper copy" && it.key() == "a")
            QCOMPARE(copies.value(it.key()), tampered);
        else
            QCOMPARE(copies.value(it.key()), it.value());
    }
    if (change != "remove")
        QCOMPARE(listTree(m_destination).size(),
                 listTree(m_source).size() + (mode == CopyOptions::Move ? 4 : 0));
    if (mode == CopyOptions::Move)
        QVERIFY(fileContents(m_source).isEmpty());
}

// Stopped before its walk is whole, a resume must not leave a partial list behind: the task
// would then start afresh, and a move would take back what it had moved in.
void TestResumedRun::stopDuringItsWalkKeepsTheList()
{
    makeTree(m_source, {"a=5", "b=6"});
    CopyTask task;
    task.setTask(makeTask(m_source, m_destination));
    RunRecorder recorder(&task);
    runToEnd(task, recorder);
    makeTree(m_source, {"c=7"});
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Copy from .* is stopped after"));
    recorder.clear();
    task.resumeTask();
    task.stopTask();
    QTRY_COMPARE_WITH_TIMEOUT(recorder.ended, 1, m_runTimeoutMs);
    QVERIFY(task.isStopRequested());
    QVERIFY(task.isFileListCompleted());
    QCOMPARE(sorted(relativeSources(task.completedItems(), m_source)), QStringList({"a", "b"}));
    runToEnd(task, recorder, true);
    // It goes on with the stopped run's figures: the first two copies, and the new one.
    QCOMPARE(task.counter(FilesCopied), qint64(3));
    QCOMPARE(recorder.states(), QStringList{"4"});
    QCOMPARE(task.counter(FilesChanged), qint64(1));
    QCOMPARE(listTree(m_destination), listTree(m_source));
}

// What a stopped move took is counted as moved on its resume only while its copy is there.
void TestResumedRun::stoppedMoveTellsOfALostCopy()
{
    usePool(1);
    makeTree(m_source, {"a=5", "b=6", "c=7"});
    CopyTask task;
    task.setGroupedCopies(false);
    task.setTask(makeTask(m_source, m_destination, CopyOptions::Move));
    RunRecorder recorder(&task);
    QString moved;
    recorder.onItem = [&](const CopyItem& item) {
        moved = item.destination_path;
        task.stopTask();
    };
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Copy from .* is stopped after"));
    runToEnd(task, recorder);
    recorder.onItem = nullptr;
    QVERIFY(QFile::remove(moved));
    runToEnd(task, recorder, true);
    QCOMPARE(task.counter(ErrorItems), qint64(1));
    QCOMPARE(task.errorItems().value(0).destination_path, moved);
    QCOMPARE(task.counter(FilesCopied), qint64(2));
    QCOMPARE(task.counter(FilesCompleted), task.counter(FilesToCopy));
}

QTEST_GUILESS_MAIN(TestResumedRun)
#include "tst_resumedrun.moc"
