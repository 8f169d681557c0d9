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
