#include "net/ganalytics.h"

#include "app/programidentity.h"

#include <QDebug>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <QUuid>

GAnalytics::GAnalytics(QObject* parent)
    : QObject(parent), mp_networkAccessManager(new QNetworkAccessManager(this)),
      m_localeName(QLocale::system().name())
{
    setObjectName(QStringLiteral("GAnalytics"));
    connect(mp_networkAccessManager, &QNetworkAccessManager::finished, this,
            &GAnalytics::onReplyFinished);
}

void GAnalytics::setEvent(const QString& category, const QString& action, qint64 value)
{
    m_eventCategory = category;
    m_eventAction = action;
    m_eventValue = value;
}

QUrlQuery GAnalytics::hitQuery() const
{
    const QString programName = ProgramIdentity::programName();
    const QString version = ProgramIdentity::versionText();

    QUrlQuery query;
    query.addQueryItem(QStringLiteral("v"), ProgramIdentity::analyticsProtocolVersion());
    query.addQueryItem(QStringLiteral("tid"), ProgramIdentity::analyticsTrackingId());
    // A new client id for every hit keeps the events anonymous and unlinkable.
    query.addQueryItem(QStringLiteral("cid"), QUuid::createUuid().toString());
    query.addQueryItem(QStringLiteral("aip"), QStringLiteral("1"));
    query.addQueryItem(QStringLiteral("ds"), QStringLiteral("app"));
    query.addQueryItem(QStringLiteral("an"), programName.toLower());
    query.addQueryItem(QStringLiteral("av"), version);
    if (!m_localeName.isEmpty())
        query.addQueryItem(QStringLiteral("ul"), m_localeName.toLower());
    query.addQueryItem(QStringLiteral("t"), QStringLiteral("event"));
    query.addQueryItem(QStringLiteral("ec"),
                       m_eventCategory.isEmpty() ? programName : m_eventCategory);
    query.addQueryItem(QStringLiteral("ea"),
                       m_eventAction.isEmpty() ? QStringLiteral("usage") : m_eventAction);
    query.addQueryItem(
        QStringLiteral("el"),
        QStringLiteral("%1-%2").arg(ProgramIdentity::operatingSystemName().toLower(), version));
    query.addQueryItem(QStringLiteral("ev"), QString::number(m_eventValue));
    return query;
}

void GAnalytics::doPost()
{
    const QString endpoint = ProgramIdentity::analyticsEndpoint();
    if (endpoint.isEmpty()) {
        qDebug() << qUtf8Printable(objectName()) << "is off: no analytics endpoint";
        emit jobFinished();
        return;
    }

    const QUrl url(endpoint);
    const QList<QNetworkProxy> proxies =
        QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url));
    if (!proxies.isEmpty() && proxies.first().type() != QNetworkProxy::NoProxy)
        mp_networkAccessManager->setProxy(proxies.first());

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    mp_networkAccessManager->post(request, hitQuery().query().toLatin1());
}

void GAnalytics::onReplyFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    emit jobFinished();
}
