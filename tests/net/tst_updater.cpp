#include "net/updater.h"

#include "app/appsettings.h"
#include "app/programidentity.h"
#include "net/httpdownloader.h"
#include "testhttpserver.h"
#include "testsupport.h"

#include <QtTest>

class TestUpdater : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void versionFile_data();
    void versionFile();
    void unreachableSiteEndsQuietly();
    void noSiteAddressRequestsNothing();

private:
    // Runs one check and waits for jobCompleted; false when it never came.
    bool check(Updater* updater);

    TestHttpServer m_server;
    QTemporaryDir m_dataDir;
    QString m_versionFilePath;
};

void TestUpdater::initTestCase()
{
    TestSupport::initTestEnvironment();
    clearProxyEnvironment();
    QVERIFY(m_dataDir.isValid());
    AppSettings::instance()->setDataFolder(m_dataDir.path());
    m_versionFilePath = ProgramIdentity::versionFilePath();
    QVERIFY(m_server.listen());
}

void TestUpdater::init()
{
    qputenv("BRINDLE_WEBSITE_URL", m_server.baseUrl().toUtf8());
}

void TestUpdater::cleanupTestCase()
{
    qunsetenv("BRINDLE_WEBSITE_URL");
}

bool TestUpdater::check(Updater* updater)
{
    QSignalSpy completed(updater, &Updater::jobCompleted);
    QTimer::singleShot(0, updater, &Updater::checkForNewVersion);
    if (!completed.wait(20000))
        return false;
    QTest::qWait(20); // a second jobCompleted would arrive meanwhile
    return completed.count() == 1;
}

void TestUpdater::versionFile_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("latestVersion");
    QTest::addColumn<QString>("downloadUrl");
    QTest::addColumn<bool>("newVersionAvailable");
    QTest::addColumn<QString>("warning"); // pattern; empty when none is expected

    const QString invalid = QStringLiteral(" is not valid to check new version$");
    const QString site = m_server.baseUrl();

    // The version the build gives the program.
    const QByteArray version(BRINDLE_TEST_VERSION);
    QTest::newRow("same version, download url normalised")
        << 200 << QByteArray("[Linux]\nCurrentVersion=" + version + "\nDownloadUrl=127.0.0.1/get\n")
        << QString::fromLatin1(version) << "http://127.0.0.1/get" << false << "";
    QTest::newRow("two-digit release is newer")
        << 200 << QByteArray("[Linux]\nCurrentVersion=2.1.10\n") << "2.1.10"
        << "" << true << "";
    QTest::newRow("other groups and keys ignored")
        << 200
        << QByteArray("[Windows]\nCurrentVersion=9.0\n[Linux]\nCurrentVersion=2.2\nNotes=x\n"
                      "[General]\nCurrentVersion=8.0\n")
        << "2.2"
        << "" << true << "";
    QTest::newRow("no group for this system")
        << 200 << QByteArray("[Windows]\nCurrentVersion=9.0\n") << ""
        << "" << false << invalid;
    QTest::newRow("empty CurrentVersion")
        << 200 << QByteArray("[Linux]\nCurrentVersion=\nDownloadUrl=http://127.0.0.1/get\n") << ""
        << "http://127.0.0.1/get" << false << invalid;
    // Read by Qt's INI reader, the list that Notes announces asked for 16 GiB and aborted
    // the program.
    QTest::newRow("object value in the group")
        << 200
        << QByteArray(
               "[Linux]\nCurrentVersion=2.2\nNotes=@Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)\n")
        << "2.2"
        << "" << true << "";
    QTest::newRow("version file missing")
        << 404 << QByteArray("not found") << ""
        << "" << false
        << "^" + QRegularExpression::escape(site + m_versionFilePath) + " has error: ";
}

void TestUpdater::versionFile()
{
    QFETCH(int, status);
    QFETCH(QByteArray, content);
    QFETCH(QString, latestVersion);
    QFETCH(QString, downloadUrl);
    QFETCH(bool, newVersionAvailable);
    QFETCH(QString, warning);

    m_server.setResponse(m_versionFilePath, content, status);
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));

    Updater updater;
    // The results must be there by the time jobCompleted arrives.
    QString latestAtCompletion = QStringLiteral("<not completed>");
    connect(&updater, &Updater::jobCompleted, this,
            [&] { latestAtCompletion = updater.latestVersion(); });
    const int before = m_server.requests().size();
    QVERIFY(check(&updater));

    QCOMPARE(m_server.requests().size(), before + 1);
    QCOMPARE(m_server.requests().last().target, m_versionFilePath.toLatin1());
    QCOMPARE(latestAtCompletion, latestVersion);
    QCOMPARE(updater.latestVersion(), latestVersion);
    QCOMPARE(updater.downloadUrl(), downloadUrl);
    QCOMPARE(updater.updateUrl(), downloadUrl.isEmpty() ? m_server.baseUrl() : downloadUrl);
    QCOMPARE(updater.isNewVersionAvailable(), newVersionAvailable);

    // The saved version file does not outlive the check.
    const HttpDownloader* downloader = updater.findChild<HttpDownloader*>();
    QVERIFY(downloader);
    QCOMPARE(downloader->downloadedFiles().size(), status == 200 ? 1 : 0);
    for (const QString& path : downloader->downloadedFiles())
        QVERIFY2(!QFile::exists(path), qPrintable(path));
}

void TestUpdater::unreachableSiteEndsQuietly()
{
    const QString site = QStringLiteral("http://127.0.0.1:%1").arg(TestHttpServer::closedPort());
    qputenv("BRINDLE_WEBSITE_URL", site.toUtf8());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^" + QRegularExpression::escape(site) +
                                                          ".* has error: "));
    Updater updater;
    QVERIFY(check(&updater));
    QVERIFY(updater.latestVersion().isEmpty());
    QVERIFY(!updater.isNewVersionAvailable());
}

void TestUpdater::noSiteAddressRequestsNothing()
{
    qputenv("BRINDLE_WEBSITE_URL", "");
    QTest::ignoreMessage(QtDebugMsg, "New-version check is off: no web-site address");
    const int before = m_server.requests().size();
    Updater updater;
    QVERIFY(check(&updater));
    QCOMPARE(m_server.requests().size(), before);
    QVERIFY(updater.latestVersion().isEmpty());
    QVERIFY(!updater.isNewVersionAvailable());
}

QTEST_GUILESS_MAIN(TestUpdater)
#include "tst_updater.moc"
