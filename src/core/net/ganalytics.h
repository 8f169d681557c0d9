#pragma once

#include <QObject>
#include <QString>
#include <QUrlQuery>

class QNetworkAccessManager;
class QNetworkReply;

// Posts one anonymous usage event (Measurement Protocol, version 1) to the analytics
// endpoint of the program identity. The owner creates one object per event, sets the
// event, invokes doPost from its event loop and deletes the object on jobFinished.
// With no endpoint configured nothing is sent, but jobFinished still arrives.
class GAnalytics : public QObject
{
    Q_OBJECT

public:
    explicit GAnalytics(QObject* parent = nullptr);

    void setEvent(const QString& category, const QString& action, qint64 value = 1);

    // The locale reported in the hit: the system locale's name unless set otherwise.
    QString localeName() const { return m_localeName; }
    void setLocaleName(const QString& name) { m_localeName = name; }

signals:
    void jobFinished();

public slots:
    void doPost();
    void onReplyFinished(QNetworkReply* reply);

private:
    QUrlQuery hitQuery() const;

    QString m_eventCategory;
    QString m_eventAction;
    qint64 m_eventValue = 1;
    QNetworkAccessManager* mp_networkAccessManager = nullptr;
    QString m_localeName;
};
