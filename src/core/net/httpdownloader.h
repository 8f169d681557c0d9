#pragma once

#include <QList>
#include <QObject>
#include <QSslError>
#include <QStringList>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// Fetches a queue of URLs with HTTP GET, one at a time and in queue order, and saves
// each body under a unique name in the data folder. Lives in the user-interface thread
// and never blocks. Use: create with a parent, append the URLs, connect the signals,
// then invoke startDownload from the event loop. One batch per downloader.
class HttpDownloader : public QObject
{
    Q_OBJECT

public:
    explicit HttpDownloader(QObject* parent = nullptr);

    void appendUrl(const QUrl& url) { m_urlQueue.append(url); }
    QList<QUrl> urlQueue() const { return m_urlQueue; }
    // Native-separator paths of the files saved so far, in the order they were saved.
    QStringList downloadedFiles() const { return m_downloadedFiles; }

signals:
    void downloadCompleted(const QString& path);
    void jobFinished();

public slots:
    void startDownload();
    void onReplyFinished(QNetworkReply* reply);
    void onSslErrors(const QList<QSslError>& errors);
    void onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal);

private:
    void get(const QUrl& url);
    QString saveReply(QNetworkReply* reply);

    QNetworkAccessManager* mp_networkAccessManager = nullptr;
    QList<QUrl> m_urlQueue;
    QStringList m_downloadedFiles;
};
