#include "engine/destinationfilesystem.h"

#include <QtTest>

class TestDestinationFileSystem : public QObject
{
    Q_OBJECT

private slots:
    void refusesAResumeOnAnotherDrive_data();
    void refusesAResumeOnAnotherDrive();
};

void TestDestinationFileSystem::refusesAResumeOnAnotherDrive_data()
{
    QTest::addColumn<QString>("mountPoint"); // "*": where the destination is mounted now
    QTest::addColumn<bool>("refused");

    QTest::newRow("not known: a task file without it") << QString() << false;
    QTest::newRow("the same drive") << "*" << false;
    QTest::newRow("the drive is gone") << "/media/brindle-stick-gone" << true;
}

void TestDestinationFileSystem::refusesAResumeOnAnotherDrive()
{
    QFETCH(QString, mountPoint);
    QFETCH(bool, refused);

    QTemporaryDir destination;
    DestinationFileSystem fileSystem;
    if (mountPoint == QLatin1String("*"))
        fileSystem.rememberMountPoint(destination.path());
    else
        fileSystem.setMountPoint(mountPoint);
    const QString refusal = fileSystem.refusal(destination.path());
    QCOMPARE(!refusal.isEmpty(), refused);
    if (refused)
        QCOMPARE(refusal, fileSystem.driveGoneText(destination.path()));
    // Opened for a run that writes, the file system is held until closed.
    fileSystem.open(destination.path(), true);
    QVERIFY(fileSystem.handle() >= 0);
    QCOMPARE(fileSystem.path().isEmpty(), false);
    fileSystem.close();
    QCOMPARE(fileSystem.handle(), -1);
    fileSystem.open(destination.path(), false);
    QCOMPARE(fileSystem.handle(), -1);
}

QTEST_GUILESS_MAIN(TestDestinationFileSystem)
#include "tst_destinationfilesystem.moc"
