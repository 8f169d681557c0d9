#include "net/httpdownloader.h"

#include "app/appsettings.h"
#include "testhttpserver.h"
#include "testsupport.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QtTest>

class TestHttpDownloader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void emptyQueueFinishesAtOnce();
    void downloads_data();
    void downloads();
    void systemProxy_data();
    void systemProxy();
    void noDataFolderSavesNothing();

private:
    // Runs one batch and waits for jobFinished.
    bool run(HttpDownloader* downloader, QStringList* completed);

    TestHttpServer m_server;
    QTemporaryDir m_dataDir;
    QString m_dataFolder;
};

void TestHttpDownloader::initTestCase()
{
    TestSupport::initTestEnvironment();
    clearProxyEnvironment();
    QVERIFY(m_dataDir.isValid());
    m_dataFolder = QDir::toNativeSeparators(m_dataDir.path());

    m_server.setResponse(QStringLiteral("/files/version.txt"), "version file");
    m_server.setResponse(QStringLiteral("/one/same.txt"), "first");
    m_server.setResponse(QStringLiteral("/two/same.txt"), "second");
    m_server.setFallbackResponse("served for any other path", 200);
    m_server.setResponse(QStringLiteral("/missing.txt"), "not here", 404);
    QVERIFY(m_server.listen());
}

void TestHttpDownloader::init()
{
    AppSettings::instance()->setDataFolder(m_dataFolder);
}

// Every test starts with an empty data folder and no proxy.
void TestHttpDownloader::cleanup()
{
    clearProxyEnvironment();
    QDir dataFolder(m_dataFolder);
    const QStringList entries = dataFolder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    for (const QString& entry : entries)
        QFile::remove(dataFolder.filePath(entry));
}

bool TestHttpDownloader::run(HttpDownloader* downloader, QStringList* completed)
{
    QSignalSpy finished(downloader, &HttpDownloader::jobFinished);
    const QMetaObject::Connection connection =
        connect(downloader, &HttpDownloader::downloadCompleted, this, [&](const QString& path) {
            // Nothing may be reported after the end of the batch.
            QVERIFY(finished.isEmpty());
            completed->append(path);
        });
    QTimer::singleShot(0, downloader, &HttpDownloader::startDownload);
    const bool ended = finished.wait(20000);
    if (ended)
        QTest::qWait(20); // anything emitted after jobFinished would arrive meanwhile
    disconnect(connection);
    return ended && finished.count() == 1;
}

void TestHttpDownloader::emptyQueueFinishesAtOnce()
{
    HttpDownloader downloader(this);
    QStringList completed;
    const int before = m_server.requests().size();
    QVERIFY(run(&downloader, &completed));
    QVERIFY(completed.isEmpty());
    QCOMPARE(m_server.requests().size(), before);
}

void TestHttpDownloader::downloads_data()
{
    QTest::addColumn<QStringList>("urls");
    QTest::addColumn<QList<QByteArray>>("savedBodies");
    QTest::addColumn<QStringList>("savedNamePrefixes");
    QTest::addColumn<QStringList>("warnings"); // patterns, in the order they are logged

    const QString base = m_server.baseUrl();
    const QString closed = QStringLiteral("http://127.0.0.1:%1").arg(TestHttpServer::closedPort());
    const QString error = QStringLiteral(" has error: \".+\"$");

    QTest::newRow("one file") << QStringList{base + "/files/version.txt"}
                              << QList<QByteArray>{"version file"} << QStringList{"version.txt"}
                              << QStringList();
    QTest::newRow("same file name twice, both kept")
        << QStringList{base + "/one/same.txt", base + "/two/same.txt"}
        << QList<QByteArray>{"first", "second"} << QStringList{"same.txt", "same"} << QStringList();
    QTest::newRow("404 skipped, next url still fetched")
        << QStringList{base + "/missing.txt", base + "/files/version.txt"}
        << QList<QByteArray>{"version file"} << QStringList{"version.txt"}
        << QStringList{"^" + QRegularExpression::escape(base + "/missing.txt") + error};
    QTest::newRow("unreachable port")
        << QStringList{closed + "/files/version.txt"} << QList<QByteArray>() << QStringList()
        << QStringList{"^" + QRegularExpression::escape(closed + "/files/version.txt") + error};
    QTest::newRow("url naming a folder saves nothing")
        << QStringList{base + "/files/"} << QList<QByteArray>() << QStringList()
        << QStringList{"^HttpDownloader found no file name in url: " +
                       QRegularExpression::escape(base + "/files/") + "$"};
    QTest::newRow("encoded dots never name the parent folder")
        << QStringList{base + "/files/%2E%2E"} << QList<QByteArray>() << QStringList()
        << QStringList{"^HttpDownloader found no file name in url: "};
    QTest::newRow("encoded slash: only the last part names the file")
        << QStringList{base + "/files/sub%2Fname.txt"}
        << QList<QByteArray>{"served for any other path"} << QStringList{"name.txt"}
        << QStringList();
}

void TestHttpDownloader::downloads()
{
    QFETCH(QStringList, urls);
    QFETCH(QList<QByteArray>, savedBodies);
    QFETCH(QStringList, savedNamePrefixes);
    QFETCH(QStringList, warnings);

    HttpDownloader downloader(this);
    for (const QString& url : urls)
        downloader.appendUrl(QUrl(url));
    for (const QString& warning : warnings)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
    const int before = m_server.requests().size();

    QStringList completed;
    QVERIFY(run(&downloader, &completed));

    QCOMPARE(completed, downloader.downloadedFiles());
    QCOMPARE(completed.size(), savedBodies.size());
    QCOMPARE(QSet<QString>(completed.begin(), completed.end()).size(), completed.size());
    for (int i = 0; i < completed.size(); ++i) {
        const QFileInfo saved(completed.at(i));
        QVERIFY2(saved.isAbsolute(), qPrintable(completed.at(i)));
        QCOMPARE(QDir::toNativeSeparators(saved.absolutePath()), m_dataFolder);
        QVERIFY2(saved.fileName().startsWith(savedNamePrefixes.at(i)), qPrintable(completed.at(i)));
        QCOMPARE(TestSupport::readFile(completed.at(i)), savedBodies.at(i));
    }

    // Requests go out one by one in queue order, as GET with the program's User-Agent.
    QStringList requested;
    for (const TestHttpServer::Request& request : m_server.requests().mid(before)) {
        QCOMPARE(request.method, QByteArray("GET"));
        QCOMPARE(request.headers.value("user-agent"), QByteArray("Brindle 2.1.4"));
        requested.append(QString::fromLatin1(request.target));
    }
    QStringList reachable;
    for (const QString& url : urls) {
        if (url.startsWith(m_server.baseUrl()))
            reachable.append(
                QUrl(url).adjusted(QUrl::NormalizePathSegments).path(QUrl::FullyEncoded));
    }
    QCOMPARE(requested, reachable);
    QVERIFY(downloader.urlQueue().isEmpty());
}

void TestHttpDownloader::systemProxy_data()
{
    QTest::addColumn<QByteArray>("httpProxy");
    QTest::addColumn<QByteArray>("noProxy");
    QTest::addColumn<bool>("viaProxy");

    const QByteArray server = m_server.baseUrl().toLatin1();
    QTest::newRow("no proxy configured") << QByteArray() << QByteArray() << false;
    QTest::newRow("proxy configured") << server << QByteArray() << true;
    QTest::newRow("host excluded from the proxy") << server << QByteArray("127.0.0.1") << false;
}

// The test server doubles as the proxy: a proxied request arrives with the absolute
// URL as its target, a direct one with the path alone.
void TestHttpDownloader::systemProxy()
{
    QFETCH(QByteArray, httpProxy);
    QFETCH(QByteArray, noProxy);
    QFETCH(bool, viaProxy);

    if (!httpProxy.isEmpty())
        qputenv("http_proxy", httpProxy);
    if (!noProxy.isEmpty())
        qputenv("no_proxy", noProxy);

    HttpDownloader downloader(this);
    const QString url = m_server.url(QStringLiteral("/files/version.txt"));
    downloader.appendUrl(QUrl(url));
    if (viaProxy)
        QTest::ignoreMessage(
            QtDebugMsg,
            qPrintable(QStringLiteral("HttpDownloader uses network proxy \"127.0.0.1\" : %1")
                           .arg(m_server.port())));
    const int before = m_server.requests().size();
    QStringList completed;
    QVERIFY(run(&downloader, &completed));
    QCOMPARE(completed.size(), 1);
    QCOMPARE(m_server.requests().size(), before + 1);

    const QByteArray target = m_server.requests().last().target;
    QCOMPARE(target, viaProxy ? url.toLatin1() : QByteArray("/files/version.txt"));
    const QNetworkProxy proxy = downloader.findChild<QNetworkAccessManager*>()->proxy();
    if (viaProxy) {
        QCOMPARE(proxy.type(), QNetworkProxy::HttpProxy);
        QCOMPARE(proxy.hostName(), QStringLiteral("127.0.0.1"));
        QCOMPARE(proxy.port(), m_server.port());
    } else {
        QCOMPARE(proxy.type(), QNetworkProxy::DefaultProxy);
    }
}

void TestHttpDownloader::noDataFolderSavesNothing()
{
    AppSettings::instance()->setDataFolder(QString());
    const QString url = m_server.url(QStringLiteral("/files/version.txt"));
    HttpDownloader downloader(this);
    downloader.appendUrl(QUrl(url));
    QTest::ignoreMessage(QtWarningMsg,
                         qPrintable("HttpDownloader has no data folder to save url: " + url));
    QStringList completed;
    QVERIFY(run(&downloader, &completed));
    QVERIFY(completed.isEmpty());
}

QTEST_GUILESS_MAIN(TestHttpDownloader)
#include "tst_httpdownloader.moc"
