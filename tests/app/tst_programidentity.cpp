#include "app/programidentity.h"

#include <QtTest>

class TestProgramIdentity : public QObject
{
    Q_OBJECT

private slots:
    void versionText_data();
    void versionText();
    void frameworkMajorVersion_data();
    void frameworkMajorVersion();
    void derivedUrls();
    void addressesComeFromEnvironment();
};

void TestProgramIdentity::versionText_data()
{
    QTest::addColumn<bool>("withFramework");
    QTest::addColumn<bool>("withBuild");
    QTest::addColumn<QString>("expected");

    // As the build sets them: the project's version and build number.
    const QString version = QStringLiteral(BRINDLE_TEST_VERSION);
    const QString build = version + QStringLiteral("-b" BRINDLE_TEST_BUILD_NUMBER);
    const QString qt = QStringLiteral("-qt") + QString::fromLatin1(qVersion()).section('.', 0, 0);
    QTest::newRow("plain") << false << false << version;
    QTest::newRow("build only") << false << true << build;
    QTest::newRow("framework only") << true << false << version + qt;
    QTest::newRow("build and framework") << true << true << build + qt;
}

void TestProgramIdentity::versionText()
{
    QFETCH(bool, withFramework);
    QFETCH(bool, withBuild);
    QFETCH(QString, expected);
    QCOMPARE(ProgramIdentity::versionText(withFramework, withBuild), expected);
}

void TestProgramIdentity::frameworkMajorVersion_data()
{
    QTest::addColumn<QString>("qtVersion");
    QTest::addColumn<QString>("expected");
    QTest::newRow("dotted") << "5.15.8"
                            << "5";
    QTest::newRow("no dots") << "17"
                             << "17";
    QTest::newRow("empty") << ""
                           << "0";
}

void TestProgramIdentity::frameworkMajorVersion()
{
    QFETCH(QString, qtVersion);
    QFETCH(QString, expected);
    QCOMPARE(ProgramIdentity::frameworkMajorVersion(qtVersion), expected);
}

void TestProgramIdentity::derivedUrls()
{
    qputenv("BRINDLE_WEBSITE_URL", "http://127.0.0.1:8080");
    QCOMPARE(ProgramIdentity::helpUrl(), QStringLiteral("http://127.0.0.1:8080/help.php"));
    QCOMPARE(ProgramIdentity::versionFileUrl(),
             QStringLiteral("http://127.0.0.1:8080/update/brindleupdater.txt"));
    qunsetenv("BRINDLE_WEBSITE_URL");
}

void TestProgramIdentity::addressesComeFromEnvironment()
{
    qunsetenv("BRINDLE_ANALYTICS_ENDPOINT");
    const QString builtIn = ProgramIdentity::analyticsEndpoint();
    qputenv("BRINDLE_ANALYTICS_ENDPOINT", "http://127.0.0.1:9/collect");
    QCOMPARE(ProgramIdentity::analyticsEndpoint(), QStringLiteral("http://127.0.0.1:9/collect"));
    qputenv("BRINDLE_ANALYTICS_ENDPOINT", "");
    QVERIFY(ProgramIdentity::analyticsEndpoint().isEmpty());
    qunsetenv("BRINDLE_ANALYTICS_ENDPOINT");
    QCOMPARE(ProgramIdentity::analyticsEndpoint(), builtIn);
}

QTEST_GUILESS_MAIN(TestProgramIdentity)
#include "tst_programidentity.moc"
