#include "net/updater.h"

#include "app/programidentity.h"
#include "net/httpdownloader.h"
#include "net/versioncompare.h"

#include <QDebug>
#include <QFile>
#include <QSettings>
#include <QUrl>

Updater::Updater(QObject* parent) : QObject(parent) {}

QString Updater::updateUrl() const
{
    return m_downloadUrl.isEmpty() ? ProgramIdentity::webSiteUrl() : m_downloadUrl;
}

bool Updater::isNewVersionAvailable() const
{
    // Numeric, part by part: as plain text "2.1.10" would sort before "2.1.4".
    return !m_latestVersion.isEmpty() &&
           compareVersions(ProgramIdentity::versionText(), m_latestVersion) < 0;
}

void Updater::checkForNewVersion()
{
    m_latestVersion.clear();
    m_downloadUrl.clear();

    auto* downloader = new HttpDownloader(this);
    connect(downloader, &HttpDownloader::downloadCompleted, this, &Updater::onDownloadCompleted,
            Qt::QueuedConnection);
    connect(downloader, &HttpDownloader::jobFinished, this, &Updater::jobCompleted);

    // Without a web-site address the downloader gets an empty queue: nothing is
    // requested and jobCompleted still follows.
    if (ProgramIdentity::webSiteUrl().isEmpty())
        qDebug() << "New-version check is off: no web-site address";
    else
        downloader->appendUrl(QUrl(ProgramIdentity::versionFileUrl()));
    QMetaObject::invokeMethod(downloader, &HttpDownloader::startDownload, Qt::QueuedConnection);
}

void Updater::onDownloadCompleted(const QString& path)
{
    if (!qobject_cast<HttpDownloader*>(sender())) {
        qWarning() << "Updater received a signal from invalid HttpDownloader instance";
        return;
    }

    {
        QSettings versionFile(path, QSettings::IniFormat);
        versionFile.beginGroup(ProgramIdentity::operatingSystemName());
        m_latestVersion = versionFile.value(QStringLiteral("CurrentVersion")).toString();
        m_downloadUrl = versionFile.value(QStringLiteral("DownloadUrl")).toString();
        versionFile.endGroup();
    }

    if (m_latestVersion.isEmpty())
        qWarning() << qUtf8Printable(path) << "is not valid to check new version";
    if (!m_downloadUrl.isEmpty())
        m_downloadUrl = QUrl::fromUserInput(m_downloadUrl).toString();

    if (!QFile::remove(path))
        qWarning() << "Unable to remove downloaded file" << qUtf8Printable(path);
}
