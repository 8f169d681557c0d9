#include "net/versioncompare.h"

#include <QtTest>

class TestVersionCompare : public QObject
{
    Q_OBJECT

private slots:
    void compareVersions_data();
    void compareVersions();
};

void TestVersionCompare::compareVersions_data()
{
    QTest::addColumn<QString>("left");
    QTest::addColumn<QString>("right");
    QTest::addColumn<int>("expected");

    QTest::newRow("same release") << "2.1.4"
                                  << "2.1.4" << 0;
    QTest::newRow("two-digit part is newer than one-digit") << "2.1.10"
                                                            << "2.1.4" << 1;
    QTest::newRow("major decides before minor") << "10.0"
                                                << "9.9" << 1;
    QTest::newRow("minor decides before patch") << "2.2.0"
                                                << "2.1.99" << 1;
    QTest::newRow("missing part counts as zero") << "2.1"
                                                 << "2.1.0" << 0;
    QTest::newRow("extra non-zero part is newer") << "2.1.4.1"
                                                  << "2.1.4" << 1;
    QTest::newRow("leading zeros are ignored") << "2.01.4"
                                               << "2.1.04" << 0;
    QTest::newRow("part beyond 64 bits") << "2.99999999999999999999999"
                                         << "2.9" << 1;
    QTest::newRow("long part with leading zeros") << "2.000000000000000000000009"
                                                  << "2.10" << -1;
    QTest::newRow("text part in text order") << "2.1.4b"
                                             << "2.1.4a" << 1;
    QTest::newRow("non-numeric part compared as text") << "2.1.4-rc1"
                                                       << "2.1.4" << 1;
    QTest::newRow("surrounding blanks ignored") << " 2.1.4\n"
                                                << "2.1.4" << 0;
    QTest::newRow("empty is older than a release") << ""
                                                   << "1" << -1;
}

void TestVersionCompare::compareVersions()
{
    QFETCH(QString, left);
    QFETCH(QString, right);
    QFETCH(int, expected);

    QCOMPARE(::compareVersions(left, right), expected);
    QCOMPARE(::compareVersions(right, left), -expected);
}

QTEST_GUILESS_MAIN(TestVersionCompare)
#include "tst_versioncompare.moc"
