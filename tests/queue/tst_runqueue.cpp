#include "fs/platformqueue.h"
#include "queue/queuedrun.h"
#include "queue/queuestore.h"
#include "queue/runqueue.h"
#include "testsupport.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

// The order and devices runs start in, and the queue's files as a crash leaves them.
class TestRunQueue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void runsToStart_data();
    void runsToStart();
    void wholeDiskName_data();
    void wholeDiskName();
    void storeLoadsInOrder();
    void storeSkipsForeignFiles_data();
    void storeSkipsForeignFiles();
    void requests_data();
    void requests();
    void runningComesBackQueued();
};

namespace {

using State = QueuedRun::State;

QueuedRun runIn(State state)
{
    QueuedRun run;
    run.m_state = state;
    return run;
}

// "QQ" -> two queued runs; "ab" -> the first on device a, the second on b.
QList<QueuedRun> runsOf(const QString& states)
{
    QList<QueuedRun> runs;
    for (const QChar c : states) {
        const State state = c == 'Q'   ? State::Queued
                            : c == 'R' ? State::Running
                            : c == 'P' ? State::Paused
                                       : State::Done;
        runs.append(runIn(state));
    }
    return runs;
}

QList<QSet<QString>> devicesOf(const QStringList& devices)
{
    QList<QSet<QString>> sets;
    for (const QString& names : devices) {
        QSet<QString> set;
        for (const QChar c : names)
            set.insert(QString(c));
        sets.append(set);
    }
    return sets;
}

QueuedRun storedRun(const QueueStore& store, qint64 order)
{
    QueuedRun run;
    run.m_id = QueueStore::newId();
    run.m_order = order;
    run.m_taskFile = store.taskFilePath(run.m_id);
    return run;
}

} // namespace

void TestRunQueue::runsToStart_data()
{
    QTest::addColumn<QString>("states");
    QTest::addColumn<QStringList>("devices");
    QTest::addColumn<QList<int>>("starts");

    QTest::newRow("one device: one after another")
        << "QQ" << QStringList{"a", "a"} << QList<int>{0};
    QTest::newRow("two devices: side by side") << "QQ" << QStringList{"a", "b"} << QList<int>{0, 1};
    QTest::newRow("two to a, one to b") << "QQQ" << QStringList{"a", "a", "b"} << QList<int>{0, 2};
    QTest::newRow("a shared source waits") << "QQ" << QStringList{"ab", "bc"} << QList<int>{0};
    QTest::newRow("running holds its device")
        << "RQQ" << QStringList{"a", "a", "b"} << QList<int>{2};
    QTest::newRow("paused holds its device") << "PQ" << QStringList{"a", "a"} << QList<int>{};
    QTest::newRow("order kept behind a waiting run")
        << "RQQ" << QStringList{"a", "ab", "b"} << QList<int>{};
    QTest::newRow("ended runs hold nothing") << "DQ" << QStringList{"a", "a"} << QList<int>{1};
    QTest::newRow("unknown device shares nothing") << "RQ" << QStringList{"a", ""} << QList<int>{1};
}

void TestRunQueue::runsToStart()
{
    QFETCH(QString, states);
    QFETCH(QStringList, devices);
    QFETCH(QList<int>, starts);
    QCOMPARE(RunQueue::runsToStart(runsOf(states), devicesOf(devices)), starts);
}

void TestRunQueue::wholeDiskName_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("partition");
    QTest::addColumn<QString>("disk");
    QTest::newRow("partition") << "../../devices/pci0000:00/0000:00:1f.2/ata1/host0/block/sda/sda2"
                               << true << "sda";
    QTest::newRow("nvme partition")
        << "../../devices/pci/nvme/nvme0/nvme0n1/nvme0n1p3" << true << "nvme0n1";
    QTest::newRow("whole disk") << "../../devices/virtual/block/vda" << false << "vda";
}

void TestRunQueue::wholeDiskName()
{
    QFETCH(QString, target);
    QFETCH(bool, partition);
    QFETCH(QString, disk);
    QCOMPARE(Platform::wholeDiskName(target, partition), disk);
}

void TestRunQueue::storeLoadsInOrder()
{
    QTemporaryDir data;
    QueueStore store(data.path());
    QVERIFY(store.makeFolder());
    for (const qint64 order : {3, 1, 2}) {
        QueuedRun run = storedRun(store, order);
        // Names that are not UTF-8, with a newline and a backslash, come back as they were.
        run.m_source = QStringLiteral("/s\\a b\nc") + QChar(ushort(0xDC80 + order));
        QVERIFY(store.save(run));
    }
    const QList<QueuedRun> runs = store.load();
    QCOMPARE(runs.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(runs.at(i).m_order, qint64(i + 1));
        QCOMPARE(runs.at(i).m_source, QStringLiteral("/s\\a b\nc") + QChar(ushort(0xDC80 + i + 1)));
    }
    // No temporary is left beside them.
    QCOMPARE(QDir(store.folder()).entryList({"*.json"}, QDir::Files).size(), 3);
    QCOMPARE(QDir(store.folder()).entryList(QDir::Files).size(), 3);
}

void TestRunQueue::storeSkipsForeignFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("otherName");
    QTest::newRow("cut short") << QByteArray("{\"version\":1,\"id\":") << false;
    QTest::newRow("not an object") << QByteArray("[1,2]") << false;
    QTest::newRow("unknown state") << QByteArray("state") << false;
    QTest::newRow("another run's file under this name") << QByteArray() << true;
    QTest::newRow("task file elsewhere") << QByteArray("task") << false;
}

void TestRunQueue::storeSkipsForeignFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, otherName);
    QTemporaryDir data;
    QueueStore store(data.path());
    QVERIFY(store.makeFolder());
    QVERIFY(store.save(storedRun(store, 1)));
    QueuedRun bad = storedRun(store, 2);
    QJsonObject json = bad.toJson();
    if (content == "state")
        json.insert("state", "sleeping");
    if (content == "task")
        json.insert("taskFile", "/etc/passwd");
    const QByteArray text = content.isEmpty() || content == "state" || content == "task"
                                ? QJsonDocument(json).toJson()
                                : content;
    QFile file(store.runFilePath(otherName ? QueueStore::newId() : bad.m_id));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    QStringList skipped;
    QCOMPARE(store.load(&skipped).size(), 1);
    QCOMPARE(skipped, QStringList{file.fileName()});
}

void TestRunQueue::requests_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("states");
    QTest::addColumn<QString>("order"); // the ids' first letters after the request

    QTest::newRow("pause a queued run") << "pause" << 0 << true << "paused queued queued"
                                        << "abc";
    QTest::newRow("stop a queued run") << "stop" << 1 << true << "queued stopped queued"
                                       << "abc";
    QTest::newRow("continue a queued run") << "continue" << 0 << false << "queued queued queued"
                                           << "abc";
    QTest::newRow("move up") << "up" << 2 << true << "queued queued queued"
                             << "acb";
    QTest::newRow("move the first up") << "up" << 0 << true << "queued queued queued"
                                       << "abc";
    QTest::newRow("move down") << "down" << 0 << true << "queued queued queued"
                               << "bac";
    QTest::newRow("remove") << "remove" << 1 << true << "queued queued"
                            << "ac";
    QTest::newRow("unknown request") << "jump" << 1 << false << "queued queued queued"
                                     << "abc";
}

void TestRunQueue::requests()
{
    QFETCH(QString, request);
    QFETCH(int, index);
    QFETCH(bool, ok);
    QFETCH(QString, states);
    QFETCH(QString, order);
    QTemporaryDir data;
    QueueStore store(data.path());
    QVERIFY(store.makeFolder());
    QStringList ids;
    for (const char letter : {'a', 'b', 'c'}) {
        QueuedRun run = storedRun(store, letter);
        run.m_id = QString(letter) + run.m_id.mid(1);
        run.m_taskFile = store.taskFilePath(run.m_id);
        QVERIFY(store.save(run));
        ids.append(run.m_id);
    }
    RunQueue queue(data.path(), QString());
    QVERIFY(queue.open(false));
    const QJsonObject reply = queue.handle({{"request", request}, {"id", ids.at(index)}});
    QCOMPARE(reply.value("ok").toBool(), ok);
    // What is stored is what the queue holds: a restart finds the same.
    QStringList stateNames;
    QString letters;
    for (const QueuedRun& run : store.load()) {
        stateNames << QueuedRun::stateName(run.m_state);
        letters += run.m_id.at(0);
    }
    QCOMPARE(stateNames.join(' '), states);
    QCOMPARE(letters, order);
}

void TestRunQueue::runningComesBackQueued()
{
    QTemporaryDir data;
    QueueStore store(data.path());
    QVERIFY(store.makeFolder());
    QueuedRun run = storedRun(store, 1);
    run.m_state = State::Running;
    QVERIFY(store.save(run));
    {
        RunQueue first(data.path(), QString());
        QVERIFY(first.open(false));
        // One process holds the queue at a time.
        RunQueue second(data.path(), QString());
        QVERIFY(!second.open(false));
    }
    QCOMPARE(store.load().value(0).m_state, State::Queued);
}

QTEST_GUILESS_MAIN(TestRunQueue)
#include "tst_runqueue.moc"
