#include "desktop.h"

#include "fs/filesystemutils.h"

#include <QDesktopServices>
#include <QProcess>

Desktop::~Desktop() = default;

bool SystemDesktop::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

bool SystemDesktop::showInFileManager(const QString& path)
{
    return FileSystemUtils::showInExplorer(path);
}

bool SystemDesktop::startDetached(const QString& program, const QStringList& arguments)
{
    return QProcess::startDetached(program, arguments);
}

void SystemDesktop::notify(const QString& summary, const QString& body,
                           std::function<void()> onClicked)
{
    // Desktop notifications come with the desktop session services.
    Q_UNUSED(summary)
    Q_UNUSED(body)
    Q_UNUSED(onClicked)
}
