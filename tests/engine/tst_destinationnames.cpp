#include "engine/destinationnames.h"

#include <QtTest>

class TestDestinationNames : public QObject
{
    Q_OBJECT

private slots:
    void firstCollatedSourceKeepsTheName();
    void knowsRefusedTwins_data();
    void knowsRefusedTwins();
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

QTEST_GUILESS_MAIN(TestDestinationNames)
#include "tst_destinationnames.moc"
