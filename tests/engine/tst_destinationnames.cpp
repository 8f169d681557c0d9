#include "engine/destinationnames.h"
#include "fs/filenamecodec.h"
#include "fs/platform.h"

#include <QtTest>

class TestDestinationNames : public QObject
{
    Q_OBJECT

private slots:
    void firstCollatedSourceKeepsTheName();
    void knowsRefusedTwins_data();
    void knowsRefusedTwins();
    void caseTwinsOfAFolder_data();
    void caseTwinsOfAFolder();
};

void TestDestinationNames::firstCollatedSourceKeepsTheName()
{
    QTemporaryDir destination; // tmpfs or ext4: case counts
    DestinationNames names(false);
    QVERIFY(names.takeCollated("a.txt", "/s/1/a.txt", destination.path()).isEmpty());
    QVERIFY(names.takeCollated("A.txt", "/s/2/A.txt", destination.path()).isEmpty());
    QCOMPARE(names.takeCollated("a.txt", "/s/3/a.txt", destination.path()),
             QStringLiteral("/s/1/a.txt"));
    names.clear();
    QVERIFY(names.takeCollated("a.txt", "/s/3/a.txt", destination.path()).isEmpty());
    // No folder listed yet: no name is anyone's twin by case.
    QVERIFY(names.caseKeeper("A.TXT").isEmpty());
}

void TestDestinationNames::knowsRefusedTwins_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("twin");

    QTest::newRow("collated twin")
        << int(DestinationError) << DestinationNames::collatedTwinText() << true;
    QTest::newRow("case twin") << int(DestinationError) << DestinationNames::caseTwinText("Read.me")
                               << true;
    QTest::newRow("another destination error")
        << int(DestinationError) << QStringLiteral("unable to copy file") << false;
    QTest::newRow("a source error is never a twin")
        << int(SourceError) << DestinationNames::collatedTwinText() << false;
}

void TestDestinationNames::knowsRefusedTwins()
{
    QFETCH(int, state);
    QFETCH(QString, message);
    QFETCH(bool, twin);

    CopyItem item(QStringLiteral("/s/a"), QStringLiteral("/d/a"), 1, false, QString());
    item.copy_state = state;
    item.copy_message = message;
    QCOMPARE(DestinationNames::refusedAsTwin(item), twin);
}

void TestDestinationNames::caseTwinsOfAFolder_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QString>("keeper");

    QTest::newRow("ASCII spellings: the byte-wise first keeps the name")
        << QStringList{"Read.me", "READ.ME", "other"} << "Read.me"
        << "READ.ME";
    QTest::newRow("the keeper is no twin of itself")
        << QStringList{"Read.me", "READ.ME"} << "READ.ME"
        << "";
    QTest::newRow("accented spellings") << QStringList{"ärger", "Ärger"} << "ärger"
                                        << "Ärger";
    // The Kelvin sign folds to an ASCII k: a look at ASCII names alone would miss it.
    QTest::newRow("Kelvin sign beside an ASCII k")
        << QStringList{"k.txt", QString(QChar(0x212a)) + ".txt"} << QString(QChar(0x212a)) + ".txt"
        << "k.txt";
    QTest::newRow("names apart by more than case") << QStringList{"a", "b", "ab"} << "A"
                                                   << "";
}

void TestDestinationNames::caseTwinsOfAFolder()
{
    QFETCH(QStringList, names);
    QFETCH(QString, asked);
    QFETCH(QString, keeper);

    QTemporaryDir destination;
    Platform::EntryIdentity identity;
    QVERIFY(Platform::entryIdentity(destination.path(), &identity));
    Platform::FileSystemTraits ignoringCase;
    ignoringCase.caseInsensitive = true;
    Platform::rememberFileSystemTraits(identity.device, ignoringCase);
    std::vector<Platform::FolderEntry> entries;
    for (const QString& name : qAsConst(names))
        entries.push_back({FileNameCodec::encode(name), Platform::FolderEntry::File});
    DestinationNames folderNames(false);
    folderNames.startFolder(entries, destination.path());
    Platform::forgetFileSystemTraits();
    QCOMPARE(folderNames.caseKeeper(asked), keeper);
}

QTEST_GUILESS_MAIN(TestDestinationNames)
#include "tst_destinationnames.moc"
