// The main window's menus and everything it asks of the desktop: pickers for the paths,
// opening folders, files and web pages, the About box and a second window.
#include "guimainwindow.h"

#include "app/appsettings.h"
#include "app/programidentity.h"
#include "desktop.h"
#include "dialogs.h"
#include "fs/pathutils.h"
#include "mainwindowrules.h"
#include "ui_guimainwindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStandardPaths>
#include <QUrl>

namespace {

// A menu text that announces a dialog or another window.
QString withEllipsis(const QString& text)
{
    return text + QStringLiteral("...");
}

QIcon menuIcon(const char* name)
{
    return QIcon(QStringLiteral(":/images/%1.png").arg(QLatin1String(name)));
}

// Hides each separator that would stand at the top or the bottom of the menu, or next to
// another one, once hidden entries are left out; shows the others again.
void tidySeparators(QMenu* menu)
{
    QAction* pending = nullptr;
    bool entryAbove = false;
    const QList<QAction*> actions = menu->actions();
    for (QAction* action : actions) {
        if (action->isSeparator()) {
            action->setVisible(false);
            if (entryAbove && !pending)
                pending = action;
            continue;
        }
        if (!action->isVisible())
            continue;
        if (pending)
            pending->setVisible(true);
        pending = nullptr;
        entryAbove = true;
    }
}

// Entries hidden or shown later (preferences) must not leave separators behind.
void keepSeparatorsTidy(QMenu* menu)
{
    tidySeparators(menu);
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] { tidySeparators(menu); });
}

QString startFolderFor(const QString& path)
{
    if (!path.isEmpty())
        return path;
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

} // namespace

void GuiMainWindow::setUpMenus()
{
    QMenuBar* bar = menuBar();
    const AppSettings* settings = AppSettings::instance();

    QMenu* fileMenu = bar->addMenu(tr("&File"));
    mp_actNewWindow = fileMenu->addAction(menuIcon("Brindle"), withEllipsis(tr("&Open new window")),
                                          this, &GuiMainWindow::onNewInstanceClicked);
    mp_actNewWindow->setShortcut(QKeySequence(QKeySequence::New));
    mp_actNewWindow->setEnabled(settings->allowMultipleInstances());
    fileMenu->addSeparator();
    mp_actNewTask = fileMenu->addAction(menuIcon("NewTask"), tr("&New task"), this,
                                        &GuiMainWindow::onNewTaskClicked);
    mp_actSelectFile =
        fileMenu->addAction(menuIcon("File"), withEllipsis(tr("Select single &file to copy")), this,
                            &GuiMainWindow::selectFromAsFile);
    fileMenu->addSeparator();
    mp_actLoadTask = fileMenu->addAction(menuIcon("Path"), withEllipsis(tr("&Load task")), this,
                                         &GuiMainWindow::loadTaskFromFile);
    mp_actSaveTask = fileMenu->addAction(menuIcon("SaveTask"), withEllipsis(tr("&Save task")), this,
                                         &GuiMainWindow::saveTaskToFile);
    fileMenu->addSeparator();
    fileMenu->addAction(menuIcon("DataFolder"), withEllipsis(tr("Open &data folder")), this,
                        &GuiMainWindow::openDataFolder);
    fileMenu->addSeparator();
    mp_actPreferences = fileMenu->addAction(menuIcon("Options"), withEllipsis(tr("&Preferences")),
                                            this, &GuiMainWindow::onShowSettings);
    QList<QKeySequence> preferencesKeys{QKeySequence(Qt::CTRL + Qt::Key_Comma)};
    const QList<QKeySequence> standardKeys = QKeySequence::keyBindings(QKeySequence::Preferences);
    for (const QKeySequence& key : standardKeys) {
        if (!preferencesKeys.contains(key))
            preferencesKeys.append(key);
    }
    mp_actPreferences->setShortcuts(preferencesKeys);
    mp_actPreferences->setMenuRole(QAction::PreferencesRole);
    mp_actPreferences->setVisible(static_cast<bool>(m_preferencesFactory));
    fileMenu->addSeparator();
    QAction* quit = fileMenu->addAction(menuIcon("Quit"), tr("&Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence(QKeySequence::Quit));
    quit->setMenuRole(QAction::QuitRole);
    keepSeparatorsTidy(fileMenu);

    // Built anew each time it opens; the placeholder lets it open at all.
    mp_recentPathsMenu = bar->addMenu(tr("&Recent paths"));
    mp_recentPathsMenu->addAction(QStringLiteral("dummy"));
    connect(mp_recentPathsMenu, &QMenu::aboutToShow, this,
            &GuiMainWindow::onRecentPathsMenuAboutToShow);

    QMenu* helpMenu = bar->addMenu(tr("?"));
    QAction* about = helpMenu->addAction(menuIcon("Brindle"), withEllipsis(tr("&About")), this,
                                         &GuiMainWindow::showAbout);
    about->setMenuRole(QAction::AboutRole);
    QAction* aboutQt = helpMenu->addAction(menuIcon("Qt"), withEllipsis(tr("Show &Qt info")), qApp,
                                           &QApplication::aboutQt);
    aboutQt->setMenuRole(QAction::AboutQtRole);
    helpMenu->addSeparator();
    // Without a web site (a build or an environment that turns it off) its entries are
    // hidden rather than left to do nothing.
    const bool hasWebSite = !ProgramIdentity::webSiteUrl().isEmpty();
    mp_actOpenWebSite = helpMenu->addAction(menuIcon("Web"), withEllipsis(tr("Open &website")),
                                            this, &GuiMainWindow::openOfficialWebSite);
    mp_actOpenWebSite->setVisible(hasWebSite);
    mp_actOpenHelp = helpMenu->addAction(menuIcon("Help"), withEllipsis(tr("Open &help online")),
                                         this, &GuiMainWindow::openHelpWebSite);
    mp_actOpenHelp->setVisible(hasWebSite);
    helpMenu->addSeparator();
    mp_actDonate = helpMenu->addAction(menuIcon("Donate"), withEllipsis(tr("&Donate")), this,
                                       &GuiMainWindow::openDonationWebSite);
    mp_actDonate->setVisible(!ProgramIdentity::donationPageUrl().isEmpty());
    keepSeparatorsTidy(helpMenu);

    mp_versionLabel =
        new QLabel(QStringLiteral(" v %1 ").arg(ProgramIdentity::versionText(true, true)), bar);
    mp_versionLabel->setObjectName(QStringLiteral("mp_versionLabel"));
    mp_versionLabel->setAlignment(Qt::AlignCenter);
    bar->setCornerWidget(mp_versionLabel);
}

void GuiMainWindow::selectFrom()
{
    const QString path =
        mp_dialogs->existingFolder(this, tr("Select source folder"), startFolderFor(fromPath()));
    if (!path.isEmpty())
        mp_ui->mp_leFrom->setText(QDir::toNativeSeparators(path));
}

void GuiMainWindow::selectFromAsFile()
{
    const QString path = mp_dialogs->openFileName(this, tr("Select source file"),
                                                  startFolderFor(fromPath()), QString());
    if (!path.isEmpty())
        mp_ui->mp_leFrom->setText(QDir::toNativeSeparators(path));
}

void GuiMainWindow::selectTo()
{
    const QString path =
        mp_dialogs->existingFolder(this, tr("Select destination folder"), startFolderFor(toPath()));
    if (!path.isEmpty())
        mp_ui->mp_leTo->setText(QDir::toNativeSeparators(path));
}

void GuiMainWindow::openFrom()
{
    if (!mp_ui->mp_leFrom->text().trimmed().isEmpty())
        showPathInFolder(fromPath());
}

void GuiMainWindow::openTo()
{
    if (!mp_ui->mp_leTo->text().trimmed().isEmpty())
        showPathInFolder(toPath());
}

void GuiMainWindow::showPathInFolder(const QString& path)
{
    const QFileInfo info(path);
    // A folder is opened itself; a missing path is reported rather than handed to the
    // file manager, which would show nothing.
    if (FileSystemUtils::isRealDirectory(info) || (!info.exists() && !info.isSymLink())) {
        openLocalPath(path);
        return;
    }
    if (!mp_desktop->showInFileManager(path))
        openLocalPath(info.absolutePath());
}

void GuiMainWindow::openLocalPath(const QString& path)
{
    if (!QFileInfo::exists(path)) {
        inform(QStringLiteral("%1 %2.").arg(path, tr("does not exist")));
        return;
    }
    if (!mp_desktop->openUrl(QUrl::fromLocalFile(path)))
        inform(tr("Unable to open %1").arg(path));
}

bool GuiMainWindow::openWebUrl(const QString& url)
{
    if (mp_desktop->openUrl(QUrl(url)))
        return true;
    inform(tr("Unable to open %1").arg(url));
    return false;
}

void GuiMainWindow::openOfficialWebSite()
{
    const QString url = ProgramIdentity::webSiteUrl();
    if (!url.isEmpty())
        openWebUrl(url);
}

void GuiMainWindow::openHelpWebSite()
{
    // The help page lives on the web site: no site, no page.
    if (!ProgramIdentity::webSiteUrl().isEmpty())
        openWebUrl(ProgramIdentity::helpUrl());
}

void GuiMainWindow::openDonationWebSite()
{
    const QString url = ProgramIdentity::donationPageUrl();
    if (!url.isEmpty())
        openWebUrl(url);
}

void GuiMainWindow::openDataFolder()
{
    openLocalPath(AppSettings::instance()->dataFolder());
}

void GuiMainWindow::onOpenLogFile()
{
    openLocalPath(AppSettings::instance()->logFilePath());
}

void GuiMainWindow::showAbout()
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
    ask(Dialogs::Information, text, {tr("Ok")}, 0, 0, Qt::RichText);
}

void GuiMainWindow::onNewInstanceClicked()
{
    const bool started = mp_desktop->startDetached(
        QCoreApplication::applicationFilePath(),
        MainWindowRules::newWindowArguments(QCoreApplication::arguments()));
    if (!started)
        warn(tr("Unable to open new window of %1.").arg(ProgramIdentity::programName()));
}

void GuiMainWindow::showOnTop()
{
    if (isMinimized())
        showNormal();
    else if (isHidden())
        show();
    raise();
    activateWindow();
}
