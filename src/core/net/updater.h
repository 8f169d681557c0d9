#pragma once

#include <QObject>
#include <QString>

// Checks the product web site for a newer version: downloads the version file, an
// INI text with one group per operating system holding CurrentVersion and an optional
// DownloadUrl, and keeps what it announces. jobCompleted ends every check, failed or
// not (also when no web-site address is configured and nothing is requested); read
// the results after it.
class Updater : public QObject
{
    Q_OBJECT

public:
    explicit Updater(QObject* parent = nullptr);

    // The announced version, empty when the check failed.
    QString latestVersion() const { return m_latestVersion; }
    // The announced download address, normalised; empty when none was given.
    QString downloadUrl() const { return m_downloadUrl; }
    // Where to send the user for the update: the download address, else the web site.
    QString updateUrl() const;
    // True when a version was announced and it is newer than the running one.
    bool isNewVersionAvailable() const;

signals:
    void jobCompleted();

public slots:
    void checkForNewVersion();
    void onDownloadCompleted(const QString& path);

private:
    QString m_latestVersion;
    QString m_downloadUrl;
};
