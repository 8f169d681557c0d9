#include "engine/destinationnames.h"
#include "engine/targetrules.h"
#include "fs/platform.h"

#include <QtTest>

using Names = QList<QByteArray>;
using Keepers = QMap<QString, QString>; // name refused -> name that keeps it
Q_DECLARE_METATYPE(Keepers)

class TestDestinationNames : public QObject
{
    Q_OBJECT

private slots:
    void firstCollatedSourceKeepsTheName();
    void knowsRefusedTwins_data();
    void knowsRefusedTwins();
    void keepersOfOneName_data();
    void keepersOfOneName();
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

void TestDestinationNames::keepersOfOneName_data()
{
    QTest::addColumn<Names>("names");
    QTest::addColumn<bool>("replaced"); // names replaced for exFAT, else only case ignored
    QTest::addColumn<Keepers>("keepers");

    const QString colon = QString::fromUtf8("a\uff1ab");
    QTest::newRow("ASCII by case, the byte-wise first keeps")
        << Names{"read.me", "Read.me", "other"} << false << Keepers{{"read.me", "Read.me"}};
    QTest::newRow("accented by case, Kelvin sign as k")
        << Names{"\xc3\xa4", "\xc3\x84", "\xe2\x84\xaa", "k"} << false
        << Keepers{{QString::fromUtf8("\u00e4"), QString::fromUtf8("\u00c4")},
                   {QString::fromUtf8("\u212a"), "k"}};
    QTest::newRow("names apart by more than case") << Names{"a", "b", "ab"} << false << Keepers();
    QTest::newRow("bytes that are not UTF-8 stay apart")
        << Names{"\xe9", "\xea", "a", "\xc3\xa4"} << false << Keepers();
    QTest::newRow("one once replaced, case aside")
        << Names{"a:b", "A:b", colon.toUtf8()} << true << Keepers{{"a:b", "A:b"}, {colon, "A:b"}};
}

void TestDestinationNames::keepersOfOneName()
{
    QFETCH(Names, names);
    QFETCH(bool, replaced);
    QFETCH(Keepers, keepers);
    QTemporaryDir destination;
    Platform::EntryIdentity identity;
    QVERIFY(Platform::entryIdentity(destination.path(), &identity));
    // Taken as a destination that ignores case, as exFAT does.
    Platform::FileSystemTraits traits;
    traits.caseInsensitive = true;
    Platform::rememberFileSystemTraits(identity.device, traits);
    const auto forget = qScopeGuard([] { Platform::forgetFileSystemTraits(); });
    std::vector<Platform::FolderEntry> entries;
    for (const QByteArray& name : names)
        entries.push_back({name, Platform::FolderEntry::File});
    const auto forExfat = [](const QString& name) {
        return TargetRules::portableName(name, TargetRules::Family::Exfat);
    };
    DestinationNames walk(false);
    walk.startFolder(entries, destination.path());
    walk.startReplacedFolder(entries, forExfat, true);
    Keepers found;
    for (const QByteArray& raw : names) {
        const QString name = QFile::decodeName(raw);
        const QString keeper =
            replaced ? walk.replacedKeeper(name, forExfat(name)) : walk.caseKeeper(name);
        if (!keeper.isEmpty())
            found.insert(name, keeper);
    }
    QCOMPARE(found, keepers);
}

QTEST_GUILESS_MAIN(TestDestinationNames)
#include "tst_destinationnames.moc"
