#include "engine/listedbatches.h"

#include <QtTest>

class TestListedBatches : public QObject
{
    Q_OBJECT

private slots:
    void handsOverInOrder_data();
    void handsOverInOrder();
};

void TestListedBatches::handsOverInOrder_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("entries");
    QTest::addColumn<QList<int>>("batches");

    QTest::newRow("nobody listens: nothing kept") << false << 5 << QList<int>{};
    QTest::newRow("one folder") << true << 5 << QList<int>{5};
    QTest::newRow("a large folder is cut")
        << true << ListedBatches::MaxBatch + 3 << QList<int>{ListedBatches::MaxBatch, 3};
    QTest::newRow("an empty folder seals nothing") << true << 0 << QList<int>{};
}

void TestListedBatches::handsOverInOrder()
{
    QFETCH(bool, enabled);
    QFETCH(int, entries);
    QFETCH(QList<int>, batches);

    ListedBatches listed;
    listed.start(enabled);
    int sealed = 0;
    for (int i = 0; i < entries; ++i) {
        ListedBatches::Entry entry;
        entry.source = QString::number(i);
        if (listed.add(std::move(entry)))
            sealed += listed.seal() ? 1 : 0;
    }
    // The end of the folder.
    sealed += listed.seal() ? 1 : 0;
    QCOMPARE(sealed, batches.size());

    int next = 0;
    for (const int size : qAsConst(batches)) {
        const QVector<ListedBatches::Entry> batch = listed.take();
        QCOMPARE(batch.size(), size);
        for (const ListedBatches::Entry& entry : batch)
            QCOMPARE(entry.source, QString::number(next++));
    }
    QVERIFY(listed.take().isEmpty());
}

QTEST_GUILESS_MAIN(TestListedBatches)
#include "tst_listedbatches.moc"
