#include "engine/destinationfilesystem.h"
#include "engine/groupedplacing.h"
#include "model/runsettings.h"

#include <QtTest>

#include <memory>

class TestGroupedPlacing : public QObject
{
    Q_OBJECT

private slots:
    void placesGroupsWhenLargeEnough_data();
    void placesGroupsWhenLargeEnough();
    void defersOnlyWhereNamesCannotClash_data();
    void defersOnlyWhereNamesCannotClash();
};

void TestGroupedPlacing::placesGroupsWhenLargeEnough_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<qint64>("fileSize");
    QTest::addColumn<bool>("force");
    QTest::addColumn<bool>("placed");

    QTest::newRow("nothing waits") << 0 << qint64(1) << true << false;
    QTest::newRow("a small group waits") << 10 << qint64(1000) << false << false;
    QTest::newRow("a small group forced") << 10 << qint64(1000) << true << true;
    QTest::newRow("enough files") << GroupedPlacing::GroupFiles << qint64(1) << false << true;
    QTest::newRow("enough bytes") << 16 << GroupedPlacing::GroupBytes / 16 << false << true;
}

void TestGroupedPlacing::placesGroupsWhenLargeEnough()
{
    QFETCH(int, files);
    QFETCH(qint64, fileSize);
    QFETCH(bool, force);
    QFETCH(bool, placed);

    GroupedPlacing placing;
    const DestinationFileSystem destination;
    for (int i = 0; i < files; ++i) {
        CommitFilesJob::PendingCopy copy;
        copy.item = CopyItem(QStringLiteral("/s/%1").arg(i), QStringLiteral("/d/%1").arg(i),
                             fileSize, false, QString());
        copy.temporaryPath = QStringLiteral("/d/.tmp%1").arg(i);
        placing.add(copy);
    }
    std::unique_ptr<CommitFilesJob> job(
        placing.takeGroup(force, destination, false, QStringLiteral("/d"), RunSettings()));
    QCOMPARE(bool(job), placed);
    QCOMPARE(placing.isPlacing(), placed);
    QCOMPARE(placing.isEmpty(), placed || files == 0);
    // One group at a time, whatever waits meanwhile.
    placing.add(CommitFilesJob::PendingCopy());
    std::unique_ptr<CommitFilesJob> second(
        placing.takeGroup(true, destination, false, QStringLiteral("/d"), RunSettings()));
    QCOMPARE(bool(second), !placed);
    // The copy that waited goes once the group is placed.
    placing.placed();
    std::unique_ptr<CommitFilesJob> third(
        placing.takeGroup(true, destination, false, QStringLiteral("/d"), RunSettings()));
    QCOMPARE(bool(third), placed);
}

void TestGroupedPlacing::defersOnlyWhereNamesCannotClash_data()
{
    QTest::addColumn<int>("copyMode");
    QTest::addColumn<int>("destinationMode");
    QTest::addColumn<int>("overwriteMode");
    QTest::addColumn<bool>("deferred");

    QTest::newRow("copy") << int(CopyOptions::Copy) << int(CopyOptions::Normal)
                          << int(CopyOptions::OverwriteAlways) << true;
    QTest::newRow("verify writes nothing") << int(CopyOptions::Verify) << int(CopyOptions::Normal)
                                           << int(CopyOptions::OverwriteAlways) << false;
    QTest::newRow("collate") << int(CopyOptions::Copy) << int(CopyOptions::Collate)
                             << int(CopyOptions::OverwriteAlways) << false;
    QTest::newRow("auto-rename") << int(CopyOptions::Move) << int(CopyOptions::Normal)
                                 << int(CopyOptions::AutoRename) << false;
}

void TestGroupedPlacing::defersOnlyWhereNamesCannotClash()
{
    QFETCH(int, copyMode);
    QFETCH(int, destinationMode);
    QFETCH(int, overwriteMode);
    QFETCH(bool, deferred);

    QTemporaryDir folder;
    DestinationFileSystem destination;
    destination.open(folder.path(), true);
    QVERIFY(destination.handle() >= 0);
    CopyOptions options;
    options.m_copyMode = copyMode;
    options.m_destinationMode = destinationMode;
    options.m_overwriteMode = overwriteMode;
    QCOMPARE(GroupedPlacing::canDefer(true, options, destination), deferred);
    QVERIFY(!GroupedPlacing::canDefer(false, options, destination));
    destination.close();
    QVERIFY(!GroupedPlacing::canDefer(true, options, destination));
}

QTEST_GUILESS_MAIN(TestGroupedPlacing)
#include "tst_groupedplacing.moc"
