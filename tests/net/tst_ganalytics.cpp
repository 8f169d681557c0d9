#include "net/ganalytics.h"

#include "app/programidentity.h"
#include "testhttpserver.h"
#include "testsupport.h"

#include <QtTest>

using Items = QList<QPair<QString, QString>>;

class TestGAnalytics : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void hitItems_data();
    void hitItems();
    void everyHitHasNewClientId();
    void unreachableEndpointStillFinishes();
    void emptyEndpointSendsNothing();

private:
    // Posts one hit and waits for jobFinished; false when it never came.
    bool post(GAnalytics* analytics);

    TestHttpServer m_server;
};

void TestGAnalytics::initTestCase()
{
    TestSupport::initTestEnvironment();
    clearProxyEnvironment();
    m_server.setResponse(QStringLiteral("/collect"), QByteArray());
    QVERIFY(m_server.listen());
}

void TestGAnalytics::init()
{
    qputenv("BRINDLE_ANALYTICS_ENDPOINT", m_server.url(QStringLiteral("/collect")).toUtf8());
}

void TestGAnalytics::cleanupTestCase()
{
    qunsetenv("BRINDLE_ANALYTICS_ENDPOINT");
}

bool TestGAnalytics::post(GAnalytics* analytics)
{
    QSignalSpy finished(analytics, &GAnalytics::jobFinished);
    QTimer::singleShot(0, analytics, &GAnalytics::doPost);
    return finished.wait(10000) && finished.count() == 1;
}

void TestGAnalytics::hitItems_data()
{
    QTest::addColumn<QString>("category");
    QTest::addColumn<QString>("action");
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<Items>("expectedAfterCid");

    const QString version = ProgramIdentity::versionText();
    const QString label = ProgramIdentity::operatingSystemName().toLower() + '-' + version;
    const Items head{{"aip", "1"}, {"ds", "app"}, {"an", "brindle"}, {"av", version}};

    QTest::newRow("event of a finished copy")
        << "Brindle"
        << "copy" << qint64(1234) << "de_DE"
        << head + Items{{"ul", "de_de"}, {"t", "event"}, {"ec", "Brindle"},
                        {"ea", "copy"},  {"el", label},  {"ev", "1234"}};
    QTest::newRow("empty category and action fall back")
        << ""
        << "" << qint64(1) << "en_US"
        << head + Items{{"ul", "en_us"}, {"t", "event"}, {"ec", "Brindle"},
                        {"ea", "usage"}, {"el", label},  {"ev", "1"}};
    QTest::newRow("empty locale leaves ul out")
        << "Brindle"
        << "copy" << qint64(7) << ""
        << head +
               Items{{"t", "event"}, {"ec", "Brindle"}, {"ea", "copy"}, {"el", label}, {"ev", "7"}};
}

void TestGAnalytics::hitItems()
{
    QFETCH(QString, category);
    QFETCH(QString, action);
    QFETCH(qint64, value);
    QFETCH(QString, locale);
    QFETCH(Items, expectedAfterCid);

    GAnalytics analytics;
    analytics.setEvent(category, action, value);
    analytics.setLocaleName(locale);
    const int before = m_server.requests().size();
    QVERIFY(post(&analytics));
    QCOMPARE(m_server.requests().size(), before + 1);

    const TestHttpServer::Request& request = m_server.requests().last();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.target, QByteArray("/collect"));
    QCOMPARE(request.headers.value("content-type"),
             QByteArray("application/x-www-form-urlencoded"));

    const Items items = QUrlQuery(QString::fromLatin1(request.body)).queryItems();
    QVERIFY2(items.size() == expectedAfterCid.size() + 3, request.body.constData());
    QCOMPARE(items.at(0), qMakePair(QStringLiteral("v"), QStringLiteral("1")));
    QCOMPARE(items.at(1), qMakePair(QStringLiteral("tid"), ProgramIdentity::analyticsTrackingId()));
    QCOMPARE(items.at(2).first, QStringLiteral("cid"));
    QVERIFY2(!QUuid(items.at(2).second).isNull(), qPrintable(items.at(2).second));
    QVERIFY(items.at(2).second.startsWith('{') && items.at(2).second.endsWith('}'));
    QCOMPARE(items.mid(3), expectedAfterCid);
}

void TestGAnalytics::everyHitHasNewClientId()
{
    GAnalytics analytics;
    QVERIFY(post(&analytics));
    QVERIFY(post(&analytics));
    GAnalytics other;
    QVERIFY(post(&other));

    QSet<QString> clientIds;
    for (int i = m_server.requests().size() - 3; i < m_server.requests().size(); ++i)
        clientIds.insert(QUrlQuery(QString::fromLatin1(m_server.requests().at(i).body))
                             .queryItemValue(QStringLiteral("cid")));
    QCOMPARE(clientIds.size(), 3);
}

void TestGAnalytics::unreachableEndpointStillFinishes()
{
    qputenv(
        "BRINDLE_ANALYTICS_ENDPOINT",
        QStringLiteral("http://127.0.0.1:%1/collect").arg(TestHttpServer::closedPort()).toUtf8());
    GAnalytics analytics;
    QVERIFY(post(&analytics));
}

void TestGAnalytics::emptyEndpointSendsNothing()
{
    qputenv("BRINDLE_ANALYTICS_ENDPOINT", "");
    const int before = m_server.requests().size();
    GAnalytics analytics;
    QTest::ignoreMessage(QtDebugMsg, "GAnalytics is off: no analytics endpoint");
    QVERIFY(post(&analytics));
    QTest::qWait(50); // a request, had one been made, would reach the server meanwhile
    QCOMPARE(m_server.requests().size(), before);
}

QTEST_GUILESS_MAIN(TestGAnalytics)
#include "tst_ganalytics.moc"
