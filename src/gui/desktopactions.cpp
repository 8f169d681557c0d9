#include "desktopactions.h"

#include "app/appsettings.h"
#include "app/programidentity.h"
#include "desktop.h"
#include "dialogs.h"
#include "fs/pathutils.h"
#include "mainwindowrules.h"
#include "ui_guimainwindow.h"
#include "windowseams.h"
#include "windowworker.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

namespace {

QString startFolderFor(const QString& path)
{
    if (!path.isEmpty())
        return path;
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

} // namespace

// What the worker found: the item shown in the file manager, or the path to open and
// whether it exists.
struct DesktopActions::Opening
{
    bool shown = false;
    QString path;
    bool exists = false;
};

DesktopActions::DesktopActions(Ui::GuiMainWindow* ui, WindowSeams* seams, WindowWorker* worker,
                               QObject* parent)
    : QObject(parent), mp_ui(ui), mp_seams(seams), mp_worker(worker)
{
    connect(mp_ui->mp_pbSelectFrom, &QPushButton::clicked, this, &DesktopActions::selectFrom);
    connect(mp_ui->mp_pbOpenFrom, &QPushButton::clicked, this, &DesktopActions::openFrom);
    connect(mp_ui->mp_pbSelectTo, &QPushButton::clicked, this, &DesktopActions::selectTo);
    connect(mp_ui->mp_pbOpenTo, &QPushButton::clicked, this, &DesktopActions::openTo);
}

void DesktopActions::selectFrom()
{
    const QString path = mp_seams->dialogs()->existingFolder(
        mp_seams->window(), tr("Select source folder"),
        startFolderFor(FileSystemUtils::normalizePath(mp_ui->mp_leFrom->text())));
    if (!path.isEmpty())
        mp_ui->mp_leFrom->setText(QDir::toNativeSeparators(path));
}

void DesktopActions::selectFromAsFile()
{
    const QString path = mp_seams->dialogs()->openFileName(
        mp_seams->window(), tr("Select source file"),
        startFolderFor(FileSystemUtils::normalizePath(mp_ui->mp_leFrom->text())), QString());
    if (!path.isEmpty())
        mp_ui->mp_leFrom->setText(QDir::toNativeSeparators(path));
}

void DesktopActions::selectTo()
{
    const QString path = mp_seams->dialogs()->existingFolder(
        mp_seams->window(), tr("Select destination folder"),
        startFolderFor(FileSystemUtils::normalizePath(mp_ui->mp_leTo->text())));
    if (!path.isEmpty())
        mp_ui->mp_leTo->setText(QDir::toNativeSeparators(path));
}

void DesktopActions::openFrom()
{
    if (!mp_ui->mp_leFrom->text().trimmed().isEmpty())
        showPathInFolder(FileSystemUtils::normalizePath(mp_ui->mp_leFrom->text()));
}

void DesktopActions::openTo()
{
    if (!mp_ui->mp_leTo->text().trimmed().isEmpty())
        showPathInFolder(FileSystemUtils::normalizePath(mp_ui->mp_leTo->text()));
}

void DesktopActions::showPathInFolder(const QString& path)
{
    const std::shared_ptr<Desktop> desktop = mp_seams->desktop();
    mp_worker->runAlongside<Opening>(
        [desktop, path] {
            Opening opening;
            const QFileInfo info(path);
            // A folder is opened itself; a missing path is reported rather than handed to
            // the file manager, which would show nothing.
            if (FileSystemUtils::isRealDirectory(info) || (!info.exists() && !info.isSymLink())) {
                opening.path = path;
            } else if (desktop->showInFileManager(path)) {
                opening.shown = true;
                return opening;
            } else {
                opening.path = info.absolutePath();
            }
            opening.exists = QFileInfo::exists(opening.path);
            return opening;
        },
        [this](const Opening& opening) { finishOpening(opening); });
}

void DesktopActions::openLocalPath(const QString& path)
{
    mp_worker->run<Opening>(
        [path] {
            return Opening{false, path, QFileInfo::exists(path)};
        },
        [this](const Opening& opening) { finishOpening(opening); });
}

void DesktopActions::finishOpening(const Opening& opening)
{
    if (!opening.shown) {
        if (!opening.exists)
            mp_seams->inform(QStringLiteral("%1 %2.").arg(opening.path, tr("does not exist")));
        else if (!mp_seams->desktop()->openUrl(QUrl::fromLocalFile(opening.path)))
            mp_seams->inform(tr("Unable to open %1").arg(opening.path));
    }
    emit opened();
}

bool DesktopActions::openWebUrl(const QString& url)
{
    if (mp_seams->desktop()->openUrl(QUrl(url)))
        return true;
    mp_seams->inform(tr("Unable to open %1").arg(url));
    return false;
}

void DesktopActions::openOfficialWebSite()
{
    const QString url = ProgramIdentity::webSiteUrl();
    if (!url.isEmpty())
        openWebUrl(url);
}

void DesktopActions::openHelpWebSite()
{
    // The help page lives on the web site: no site, no page.
    if (!ProgramIdentity::webSiteUrl().isEmpty())
        openWebUrl(ProgramIdentity::helpUrl());
}

void DesktopActions::openDonationWebSite()
{
    const QString url = ProgramIdentity::donationPageUrl();
    if (!url.isEmpty())
        openWebUrl(url);
}

void DesktopActions::openDataFolder()
{
    openLocalPath(AppSettings::instance()->dataFolder());
}

void DesktopActions::openLogFile()
{
    openLocalPath(AppSettings::instance()->logFilePath());
}

void DesktopActions::showAbout()
{
    QString text =
        QStringLiteral("<h3>%1</h3><p>%2<br>%3</p><p>%4<br>%5</p>")
            .arg(ProgramIdentity::programName().toHtmlEscaped(),
                 tr("v %1").arg(ProgramIdentity::versionText(true, true)).toHtmlEscaped(),
                 tr("for %1").arg(ProgramIdentity::operatingSystemName(true)).toHtmlEscaped(),
                 tr("Copies, moves and verifies your files.").toHtmlEscaped(),
                 tr("\u00a9 Orvanesoft").toHtmlEscaped());
    const QString webSite = ProgramIdentity::webSiteUrl();
    if (!webSite.isEmpty())
        text += QStringLiteral("<p><a href=\"%1\">%1</a></p>").arg(webSite.toHtmlEscaped());
    mp_seams->ask(Dialogs::Information, text, {tr("Ok")}, 0, 0, Qt::RichText);
}

void DesktopActions::openNewWindow()
{
    const bool started = mp_seams->desktop()->startDetached(
        QCoreApplication::applicationFilePath(),
        MainWindowRules::newWindowArguments(QCoreApplication::arguments()));
    if (!started)
        mp_seams->warn(tr("Unable to open new window of %1.").arg(ProgramIdentity::programName()));
}
