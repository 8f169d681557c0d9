#include "net/httpdownloader.h"

#include "app/appsettings.h"
#include "app/programidentity.h"
#include "fs/filesystemutils.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>

HttpDownloader::HttpDownloader(QObject* parent)
    : QObject(parent), mp_networkAccessManager(new QNetworkAccessManager(this))
{
    setObjectName(QStringLiteral("HttpDownloader"));
    connect(mp_networkAccessManager, &QNetworkAccessManager::finished, this,
            &HttpDownloader::onReplyFinished);
}

void HttpDownloader::startDownload()
{
    if (m_urlQueue.isEmpty()) {
        mp_networkAccessManager->disconnect();
        emit jobFinished();
        return;
    }
    get(m_urlQueue.takeFirst());
}

void HttpDownloader::get(const QUrl& url)
{
    qDebug() << qUtf8Printable(objectName())
             << "gets url:" << qUtf8Printable(url.toDisplayString());

    const QList<QNetworkProxy> proxies =
        QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url));
    if (!proxies.isEmpty() && proxies.first().type() != QNetworkProxy::NoProxy) {
        const QNetworkProxy& proxy = proxies.first();
        qDebug() << qUtf8Printable(objectName()) << "uses network proxy" << proxy.hostName() << ":"
                 << proxy.port();
        mp_networkAccessManager->setProxy(proxy);
    }

    QNetworkRequest request(url);
    request.setRawHeader("User-Agent",
                         QStringLiteral("%1 %2")
                             .arg(ProgramIdentity::programName(), ProgramIdentity::versionText())
                             .toUtf8());
    QNetworkReply* reply = mp_networkAccessManager->get(request);
    connect(reply, &QNetworkReply::downloadProgress, this, &HttpDownloader::onDownloadProgress);
    connect(reply, &QNetworkReply::sslErrors, this, &HttpDownloader::onSslErrors);
}

void HttpDownloader::onReplyFinished(QNetworkReply* reply)
{
    const QUrl url = reply->url();
    const QString urlText = url.toDisplayString();
    qDebug() << qUtf8Printable(objectName()) << "has finished with url:" << qUtf8Printable(urlText);

    QString path;
    if (reply->error() != QNetworkReply::NoError)
        qWarning() << qUtf8Printable(urlText) << "has error:" << reply->errorString();
    else
        path = saveReply(reply);

    if (!path.isEmpty()) {
        m_downloadedFiles.append(path);
        emit downloadCompleted(path);
    }

    reply->deleteLater();
    // Posted, like the owner's queued slot for downloadCompleted, so the owner handles
    // the saved file before jobFinished reaches it.
    QMetaObject::invokeMethod(this, &HttpDownloader::startDownload, Qt::QueuedConnection);
}

// Writes the reply body into the data folder and returns the file's path, or an empty
// text when nothing could be saved.
QString HttpDownloader::saveReply(QNetworkReply* reply)
{
    const QString urlText = reply->url().toDisplayString();
    const QString fileName = QFileInfo(reply->url().path(QUrl::FullyDecoded)).fileName();
    // A URL ending in "/" or "/.." names no file; joined to the data folder it would
    // name the folder itself or its parent.
    if (fileName.isEmpty() || fileName == QLatin1String(".") || fileName == QLatin1String("..")) {
        qWarning() << qUtf8Printable(objectName())
                   << "found no file name in url:" << qUtf8Printable(urlText);
        return QString();
    }

    // Before the data folder is prepared the joined path would be "/name", at the root.
    const QString dataFolder = AppSettings::instance()->dataFolder();
    if (dataFolder.isEmpty()) {
        qWarning() << qUtf8Printable(objectName())
                   << "has no data folder to save url:" << qUtf8Printable(urlText);
        return QString();
    }

    const QString path = FileSystemUtils::uniqueFileName(
        QDir::toNativeSeparators(QStringLiteral("%1/%2").arg(dataFolder, fileName)));
    QFile file(path);
    // NewOnly: never overwrite, nor follow a link left at the chosen name.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        qWarning() << "Could not open" << qUtf8Printable(path)
                   << "for writing:" << file.errorString();
        return QString();
    }
    const QByteArray body = reply->readAll();
    const bool written = file.write(body) == body.size() && file.flush();
    const QString writeError = file.errorString();
    file.close();
    if (!written) {
        qWarning() << "Could not write" << qUtf8Printable(path) << ":" << writeError;
        file.remove();
        return QString();
    }
    qDebug() << "Url" << qUtf8Printable(urlText) << "saved to" << qUtf8Printable(path);
    return path;
}

void HttpDownloader::onSslErrors(const QList<QSslError>& errors)
{
    for (const QSslError& error : errors)
        qWarning() << qUtf8Printable(objectName()) << "has found SSL error:" << error.errorString();
}

void HttpDownloader::onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    Q_UNUSED(bytesReceived)
    Q_UNUSED(bytesTotal)
    if (!qobject_cast<QNetworkReply*>(sender()))
        qWarning() << qUtf8Printable(objectName())
                   << "received a signal from invalid QNetworkReply instance";
}
