#include "jobs/transfercounters.h"

#include "testsupport.h"

#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>
#include <vector>

Q_DECLARE_METATYPE(std::vector<qint64>)

class TestTransferCounters : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void operations_data();
    void operations();
    void invalidSlotIsRefused_data();
    void invalidSlotIsRefused();
    void concurrentAddsAreNotLost();
    void fileSnapshotsAreConsistent();
    void processWideInstance();
};

void TestTransferCounters::initTestCase()
{
    TestSupport::initTestEnvironment();
}

void TestTransferCounters::operations_data()
{
    // Each step: operation ('s'et, 'a'dd, 'r'eset), slot, value.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<std::vector<qint64>>("expected");

    QTest::newRow("fresh table is zero") << QStringList() << std::vector<qint64>{0, 0};
    QTest::newRow("slots are independent")
        << QStringList{"s 1 10", "s 2 20"} << std::vector<qint64>{10, 20};
    QTest::newRow("set replaces, add accumulates")
        << QStringList{"s 1 5", "s 1 7", "a 2 5", "a 2 7"} << std::vector<qint64>{7, 12};
    QTest::newRow("values beyond 32 bits")
        << QStringList{"s 1 6000000000", "a 2 4294967296", "a 2 4294967296"}
        << std::vector<qint64>{6000000000, 8589934592};
    QTest::newRow("negative additions")
        << QStringList{"a 1 -5", "a 1 2"} << std::vector<qint64>{-3, 0};
    QTest::newRow("additions stop at the largest value")
        << QStringList{"a 2 9000000000000000000", "a 2 9000000000000000000", "a 2 -1"}
        << std::vector<qint64>{0, 9223372036854775806};
    QTest::newRow("reset clears every slot")
        << QStringList{"s 1 1", "a 2 2", "r"} << std::vector<qint64>{0, 0};
    QTest::newRow("work after reset")
        << QStringList{"a 2 9", "r", "a 2 2"} << std::vector<qint64>{0, 2};
}

void TestTransferCounters::operations()
{
    QFETCH(QStringList, steps);
    QFETCH(std::vector<qint64>, expected);

    TransferCounters counters;
    for (const QString& step : qAsConst(steps)) {
        const QStringList parts = step.split(' ');
        if (parts.at(0) == "r")
            counters.resetAll();
        else if (parts.at(0) == "s")
            counters.setValue(parts.at(1).toInt(), parts.at(2).toLongLong());
        else
            counters.addValue(parts.at(1).toInt(), parts.at(2).toLongLong());
    }
    for (int slot = TransferCounters::FirstSlot; slot <= TransferCounters::LastSlot; ++slot)
        QCOMPARE(counters.value(slot), expected.at(slot - 1));
}

void TestTransferCounters::invalidSlotIsRefused_data()
{
    QTest::addColumn<int>("slot");
    QTest::newRow("zero") << 0;
    QTest::newRow("one past the last") << TransferCounters::LastSlot + 1;
    QTest::newRow("negative") << -1;
}

void TestTransferCounters::invalidSlotIsRefused()
{
    QFETCH(int, slot);

    TransferCounters counters;
    for (int valid = TransferCounters::FirstSlot; valid <= TransferCounters::LastSlot; ++valid)
        counters.setValue(valid, valid);
    const QByteArray warning = "Invalid transfer counter slot " + QByteArray::number(slot);
    for (int i = 0; i < 3; ++i)
        QTest::ignoreMessage(QtWarningMsg, warning.constData());
    counters.setValue(slot, 99);
    counters.addValue(slot, 99);
    QCOMPARE(counters.value(slot), qint64(0));
    // Neighbouring slots are untouched.
    for (int valid = TransferCounters::FirstSlot; valid <= TransferCounters::LastSlot; ++valid)
        QCOMPARE(counters.value(valid), qint64(valid));
}

void TestTransferCounters::concurrentAddsAreNotLost()
{
    const int threadCount = 4;
    const int addsPerThread = 20000;
    TransferCounters counters;
    std::atomic<bool> go{false};
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back(QThread::create([&counters, &go, t, addsPerThread] {
            while (!go.load())
                QThread::yieldCurrentThread();
            for (int i = 0; i < addsPerThread; ++i) {
                counters.addValue(TransferCounters::BytesCompleted, 3);
                counters.addValue(TransferCounters::BytesToCopy, 1);
            }
        }));
        threads.back()->start();
    }
    go = true;
    for (auto& thread : threads)
        QVERIFY(thread->wait(120000));

    const qint64 total = qint64(threadCount) * addsPerThread;
    QCOMPARE(counters.value(TransferCounters::BytesCompleted), 3 * total);
    QCOMPARE(counters.value(TransferCounters::BytesToCopy), total);
}

void TestTransferCounters::fileSnapshotsAreConsistent()
{
    // Each copier reports pairs whose difference tells it apart; a reader that mixed two
    // copiers' (or two reports') fields would see another difference.
    const int copiers = 3;
    const qint64 reports = 20000;
    TransferCounters counters;
    std::atomic<int> started{0};
    std::atomic<int> snapshots{0};
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < copiers; ++t) {
        threads.emplace_back(QThread::create([&counters, &started, &snapshots, t, reports] {
            const quint64 id = counters.startFile(QString::number(t), t);
            ++started;
            for (qint64 i = 1; i <= reports; ++i)
                counters.setFileProgress(id, i, i + t);
            // However fast the reports went, the reader sees files in progress.
            while (snapshots.load() == 0)
                QThread::yieldCurrentThread();
            counters.finishFile(id);
        }));
        threads.back()->start();
    }
    while (started < copiers || !counters.currentFile().name.isEmpty() ||
           counters.files().size() < copiers) {
        for (const TransferCounters::FileProgress& file : counters.files()) {
            ++snapshots;
            QVERIFY(file.size - file.bytesCopied == file.name.toLongLong() ||
                    (file.finished && file.bytesCopied == file.size));
        }
    }
    for (auto& thread : threads)
        QVERIFY(thread->wait(120000));
    QVERIFY(snapshots > 0);
    const QVector<TransferCounters::FileProgress> files = counters.files();
    QCOMPARE(files.size(), copiers);
    for (const TransferCounters::FileProgress& file : files)
        QVERIFY(file.finished && file.bytesCopied == file.size);

    // A thread's next file replaces its snapshot and is the current one; a reset forgets
    // them all, and a late report after it changes nothing.
    const quint64 first = counters.startFile(QStringLiteral("a"), 10);
    const quint64 second = counters.startFile(QStringLiteral("b"), 20);
    counters.setFileProgress(first, 5, 10);
    QCOMPARE(counters.files().size(), copiers + 1);
    QCOMPARE(counters.currentFile().name, QStringLiteral("b"));
    counters.resetAll();
    counters.setFileProgress(second, 7, 20);
    QVERIFY(!counters.currentFile().isValid());
    QVERIFY(counters.files().isEmpty());
}

void TestTransferCounters::processWideInstance()
{
    TransferCounters::createInstance();
    TransferCounters* counters = TransferCounters::instance();
    QVERIFY(counters);
    QCOMPARE(TransferCounters::instance(), counters);
    counters->addValue(TransferCounters::BytesToCopy, 42);

    // Creating again at start-up keeps the table and resets it.
    TransferCounters::createInstance();
    QCOMPARE(TransferCounters::instance()->value(TransferCounters::BytesToCopy), qint64(0));

    // After destruction a late user gets a fresh, zeroed table rather than a dangling one.
    TransferCounters::instance()->setValue(TransferCounters::BytesToCopy, 7);
    TransferCounters::destroyInstance();
    QCOMPARE(TransferCounters::instance()->value(TransferCounters::BytesToCopy), qint64(0));

    // First use from several threads at once creates exactly one table.
    TransferCounters::destroyInstance();
    std::atomic<bool> go{false};
    std::atomic<TransferCounters*> seen[4] = {};
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back(QThread::create([&go, &seen, t] {
            while (!go.load())
                QThread::yieldCurrentThread();
            seen[t] = TransferCounters::instance();
            seen[t].load()->addValue(TransferCounters::BytesCompleted, 1);
        }));
        threads.back()->start();
    }
    go = true;
    for (auto& thread : threads)
        QVERIFY(thread->wait(60000));
    for (const auto& pointer : seen)
        QCOMPARE(pointer.load(), TransferCounters::instance());
    QCOMPARE(TransferCounters::instance()->value(TransferCounters::BytesCompleted), qint64(4));
    TransferCounters::destroyInstance();
}

QTEST_GUILESS_MAIN(TestTransferCounters)
#include "tst_transfercounters.moc"
