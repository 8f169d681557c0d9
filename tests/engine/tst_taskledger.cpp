#include "engine/taskledger.h"
#include "model/copyoptions.h"

#include <QtTest>

using Entry = ListedBatches::Entry;

class TestTaskLedger : public QObject
{
    Q_OBJECT

private slots:
    void filesListedEntries_data();
    void filesListedEntries();
    void skipOfFirstNameReleasesLaterNames_data();
    void skipOfFirstNameReleasesLaterNames();
    void countsCompletedItems_data();
    void countsCompletedItems();
    void drainLeavesEveryItemCompleted();
};

// Where one entry of the walk lands: "copy", "folders", "links", "completed", "waiting".
void TestTaskLedger::filesListedEntries_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("isFolder");
    QTest::addColumn<bool>("copyEmptyFolders");
    QTest::addColumn<QStringList>("places");
    QTest::addColumn<qint64>("filesToCopy");
    QTest::addColumn<qint64>("foldersFound");

    QTest::newRow("file to copy") << int(Entry::ToCopy) << false << false << QStringList{"copy"}
                                  << qint64(1) << qint64(0);
    QTest::newRow("folder, empty folders not copied")
        << int(Entry::ToCopy) << true << false << QStringList{"folders"} << qint64(0) << qint64(1);
    QTest::newRow("folder, empty folders copied")
        << int(Entry::ToCopy) << true << true << QStringList{"copy", "folders"} << qint64(0)
        << qint64(1);
    QTest::newRow("link") << int(Entry::LinkToCopy) << false << false << QStringList{"links"}
                          << qint64(1) << qint64(0);
    QTest::newRow("skipped file is done at once")
        << int(Entry::ToSkip) << false << false << QStringList{"completed"} << qint64(1)
        << qint64(0);
}

void TestTaskLedger::filesListedEntries()
{
    QFETCH(int, kind);
    QFETCH(bool, isFolder);
    QFETCH(bool, copyEmptyFolders);
    QFETCH(QStringList, places);
    QFETCH(qint64, filesToCopy);
    QFETCH(qint64, foldersFound);

    TaskLedger ledger;
    Entry entry;
    entry.kind = Entry::Kind(kind);
    entry.source = QStringLiteral("/s/a");
    entry.destination = QStringLiteral("/d/a");
    entry.size = 10;
    entry.isFolder = isFolder;
    entry.text = kind == Entry::LinkToCopy ? QStringLiteral("target") : QStringLiteral("why");
    CopyItem done;
    bool linksQueued = false;
    const bool completed =
        ledger.fileListed(entry, copyEmptyFolders, false, false, &done, &linksQueued);

    QStringList found;
    if (!ledger.copyQueue().isEmpty())
        found << "copy";
    if (!ledger.folders().isEmpty())
        found << "folders";
    if (!ledger.symbolicLinks().isEmpty())
        found << "links";
    if (!ledger.completed().isEmpty())
        found << "completed";
    QCOMPARE(found, places);
    QCOMPARE(completed, places.contains("completed"));
    QCOMPARE(ledger.counter(FilesToCopy), filesToCopy);
    QCOMPARE(ledger.counter(FoldersFound), foldersFound);
    if (completed) {
        QCOMPARE(done.copy_state, Skipped);
        QCOMPARE(done.info_list, QStringList{"why"});
        QCOMPARE(ledger.counter(FilesSkipped), qint64(1));
    }
}

void TestTaskLedger::skipOfFirstNameReleasesLaterNames_data()
{
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<bool>("queued");
    QTest::newRow("running: later name goes ahead of the queue") << false << true;
    QTest::newRow("stopped: later name is completed, unprocessed") << true << false;
}

void TestTaskLedger::skipOfFirstNameReleasesLaterNames()
{
    QFETCH(bool, stopped);
    QFETCH(bool, queued);

    TaskLedger ledger;
    CopyItem first(QStringLiteral("/s/a"), QStringLiteral("/d/a"), 5, false, QString());
    first.hard_link_first = first.source_path;
    ledger.queueFile(first, false); // its later names now wait for it
    ledger.copyQueue().clear();
    ledger.queueFile(CopyItem(QStringLiteral("/s/x"), QStringLiteral("/d/x"), 1, false, QString()),
                     false);
    CopyItem later(QStringLiteral("/s/b"), QStringLiteral("/d/b"), 5, false, QString());
    later.hard_link_first = first.source_path;
    ledger.queueFile(later, false);
    QVERIFY(ledger.hardLinks().hasWaiting());
    QCOMPARE(ledger.linkedBytes(), qint64(5));

    Entry skip{Entry::ToSkip, first.source_path, first.destination_path, 5,
               false,         QString(),         first.source_path,      QString(),
               QString()};
    CopyItem done;
    bool linksQueued = false;
    QVERIFY(ledger.fileListed(skip, false, false, stopped, &done, &linksQueued));
    QCOMPARE(linksQueued, queued);
    QVERIFY(!ledger.hardLinks().hasWaiting());
    QCOMPARE(ledger.copyQueue().first().source_path,
             queued ? later.source_path : QStringLiteral("/s/x"));
    QCOMPARE(ledger.completed().size(), queued ? 1 : 2);
}

void TestTaskLedger::countsCompletedItems_data()
{
    QTest::addColumn<bool>("verify");
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<int>("counter");
    QTest::addColumn<int>("skippedListed");

    QTest::newRow("copied") << false << int(Copied) << false << int(FilesCopied) << 0;
    QTest::newRow("skipped") << false << int(Skipped) << false << int(FilesSkipped) << 1;
    QTest::newRow("checked skip of a copy is a skip")
        << false << int(Skipped) << true << int(FilesSkipped) << 1;
    QTest::newRow("checked in a verify is verified, not skipped")
        << true << int(Skipped) << true << int(FilesChecked) << 0;
    QTest::newRow("error") << false << int(SourceError) << false << int(ErrorItems) << 0;
}

void TestTaskLedger::countsCompletedItems()
{
    QFETCH(bool, verify);
    QFETCH(int, state);
    QFETCH(bool, checked);
    QFETCH(int, counter);
    QFETCH(int, skippedListed);

    TaskLedger ledger;
    ledger.setVerify(verify);
    CopyItem item(QStringLiteral("/s/a"), QStringLiteral("/d/a"), 7, false, QString());
    item.copy_state = CopyState(state);
    item.is_checked = checked;
    ledger.countCompleted(item);
    ledger.completed().append(item);
    QCOMPARE(ledger.counter(counter), qint64(1));
    QCOMPARE(ledger.counter(FilesCompleted), qint64(1));
    QCOMPARE(ledger.counter(BytesCompleted), qint64(7));
    QCOMPARE(ledger.skippedItems().size(), skippedListed);
    QCOMPARE(ledger.counter(0), qint64(0));
    QCOMPARE(ledger.counter(TaskElapsedTime + 1), qint64(0));
}

void TestTaskLedger::drainLeavesEveryItemCompleted()
{
    TaskLedger ledger;
    CopyItem first(QStringLiteral("/s/a"), QStringLiteral("/d/a"), 1, false, QString());
    first.hard_link_first = first.source_path;
    CopyItem later(QStringLiteral("/s/b"), QStringLiteral("/d/b"), 1, false, QString());
    later.hard_link_first = first.source_path;
    ledger.queueFile(first, false);
    ledger.queueFile(later, false);
    ledger.checkQueue().append(
        CopyItem(QStringLiteral("/s/c"), QStringLiteral("/d/c"), 1, false, QString()));
    QVERIFY(!ledger.queuesEmpty());
    ledger.drain();
    QVERIFY(ledger.queuesEmpty());
    QCOMPARE(ledger.completed().size(), 3);
    QCOMPARE(ledger.unprocessedItems().size(), 3);
}

QTEST_GUILESS_MAIN(TestTaskLedger)
#include "tst_taskledger.moc"
