// The main window's task files and start-up: saving and loading a task, the arguments of
// the program (or of a second start of it) and the offer of a newer version.
#include "guimainwindow.h"

#include "app/appsettings.h"
#include "app/programidentity.h"
#include "desktop.h"
#include "dialogs.h"
#include "engine/copytask.h"
#include "fs/pathutils.h"
#include "mainwindowrules.h"
#include "net/updater.h"
#include "ui_guimainwindow.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QTimer>
#include <QUrl>

namespace {

QString taskFileSuffix()
{
    return QLatin1Char('.') + ProgramIdentity::taskFileExtension();
}

QString taskFileFilter()
{
    return QLatin1Char('*') + taskFileSuffix();
}

} // namespace

void GuiMainWindow::saveTaskToFile()
{
    const Task previous = mp_copyTask->task();
    const Task onScreen = taskFromUi();
    // The fields carry no copy mode: the task on screen is compared in the run's mode.
    Task compared = onScreen;
    compared.m_options.m_copyMode = previous.m_options.m_copyMode;
    if (compared == previous) {
        saveRunToFile(previous);
        return;
    }
    if (!mp_copyTask->isStopRequested()) {
        // No stopped run to go on with: what is on screen is the task to keep.
        saveDefinitionToFile(onScreen);
        return;
    }
    const QString newText = tr("New");
    const QString previousText = tr("Previous");
    const int answer =
        ask(Dialogs::Question,
            tr("Which task do you want to save?") +
                QStringLiteral("\n1) %1: %2\n2) %3: %4")
                    .arg(newText, onScreen.m_name, previousText, previous.m_name),
            {tr("1) %1").arg(newText), tr("2) %2").arg(previousText), tr("Cancel")}, 2, 2);
    // The stopped run keeps its own task and items; the new task is saved alone, so that
    // its paths are never paired with the items of another run.
    if (answer == 0)
        saveDefinitionToFile(onScreen);
    else if (answer == 1)
        saveRunToFile(previous);
}

void GuiMainWindow::saveRunToFile(const Task& task)
{
    if (task.m_sourcePath.isEmpty() || task.m_destinationPath.isEmpty() ||
        !mp_copyTask->isFileListCompleted()) {
        inform(tr("Current copy is not a task with a file list completed."));
        return;
    }
    const QString path = askTaskFileName(task);
    if (path.isEmpty())
        return;
    const int scope =
        ask(Dialogs::Question, tr("Do you want to save copied and skipped files also?"),
            {tr("Save all"), tr("Save only errors and not copied files"), tr("Cancel")}, 1, 2);
    if (scope != 0 && scope != 1)
        return;
    const bool allItems = scope == 0;
    bool errorsAsUnprocessed = false;
    if (!allItems && mp_copyTask->counter(ErrorItems) > 0)
        errorsAsUnprocessed =
            ask(Dialogs::Question, tr("Do you want to save errors as unprocessed items?"),
                {tr("Yes, I will try to fix errors in the next copy"), tr("No")}, 1, 1) == 0;
    writeTaskFile(path, [this, path, allItems, errorsAsUnprocessed] {
        return mp_copyTask->saveToFile(path, false, allItems, errorsAsUnprocessed);
    });
}

void GuiMainWindow::saveDefinitionToFile(const Task& task)
{
    if (task.m_sourcePath.isEmpty() || task.m_destinationPath.isEmpty()) {
        inform(tr("Please fill in the source and the destination of the task to save."));
        return;
    }
    // A task file is loaded from anywhere: its paths must not depend on the working folder.
    Task definition = task;
    const QString base = QDir::currentPath();
    definition.m_sourcePath = MainWindowRules::absolutePath(task.m_sourcePath, base);
    definition.m_destinationPath = MainWindowRules::absolutePath(task.m_destinationPath, base);
    definition.updateName();
    const QString path = askTaskFileName(definition);
    if (path.isEmpty())
        return;
    writeTaskFile(path,
                  [path, definition] { return CopyTask::saveTaskDefinition(path, definition); });
}

QString GuiMainWindow::askTaskFileName(const Task& task)
{
    const QString proposed =
        QStringLiteral("%1%2%3%4")
            .arg(AppSettings::instance()->dataFolder(), QString(QDir::separator()),
                 FileSystemUtils::fileNameOf(task.m_sourcePath).toLower(), taskFileSuffix());
    QString path =
        mp_dialogs->saveFileName(this, ProgramIdentity::programName(), proposed, taskFileFilter());
    if (!path.isEmpty() && !path.endsWith(taskFileSuffix()))
        path += taskFileSuffix();
    return path;
}

void GuiMainWindow::writeTaskFile(const QString& path, const std::function<bool()>& write)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    setStatusText(tr("Please wait..."));
    QApplication::processEvents();
    const bool saved = write();
    QApplication::restoreOverrideCursor();
    if (saved) {
        setStatusText(tr("Save completed"));
        inform(tr("Copy task is saved in file") + QStringLiteral(":\n%1").arg(path));
    } else {
        setStatusText(tr("Save failed"));
        warn(tr("Unable to save copy task in file") + QStringLiteral(":\n%1").arg(path));
    }
}

void GuiMainWindow::loadTaskFromFile()
{
    const QString path =
        mp_dialogs->openFileName(this, ProgramIdentity::programName(),
                                 AppSettings::instance()->dataFolder(), taskFileFilter());
    if (!path.isEmpty())
        loadTaskFile(path);
}

bool GuiMainWindow::loadTaskFile(const QString& path)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    setStatusText(tr("Please wait..."));
    QApplication::processEvents();
    const bool loaded = mp_copyTask->loadFromFile(path);
    QApplication::restoreOverrideCursor();
    if (!loaded) {
        setStatusText(tr("Load failed"));
        warn(tr("Unable to load copy task from file") + QStringLiteral(":\n%1").arg(path));
        return false;
    }
    const Task task = mp_copyTask->task();
    setUiFromTask(task);
    mp_ui->mp_twMain->setCurrentIndex(0);
    mp_ui->mp_pbFixErrors->setEnabled(!mp_copyTask->errorItems().isEmpty());
    setStatusText(tr("Load completed"));
    const int answer = ask(Dialogs::Information,
                           tr("Copy task is load from file") + QStringLiteral(":\n%1").arg(path),
                           {tr("Start"), tr("Cancel")}, 0, 1);
    if (answer == 0)
        runTask(mp_copyTask, true, task.m_options.m_copyMode);
    return true;
}

void GuiMainWindow::onOpenFileRequest(const QString& path)
{
    if (isRunning()) {
        qWarning() << "Unable to load" << qUtf8Printable(path)
                   << "because a copy is already in progress";
        return;
    }
    QApplication::processEvents();
    loadTaskFile(path);
}

void GuiMainWindow::scheduleStartUpChecks()
{
    QTimer::singleShot(1000, this, &GuiMainWindow::checkProgramArguments);
    // Without a web-site address there is nothing to ask for.
    if (!AppSettings::instance()->checkForNewVersionAtStartup() ||
        ProgramIdentity::webSiteUrl().isEmpty())
        return;
    qDebug() << "Checking for new version...";
    auto* updater = new Updater(this);
    connect(updater, &Updater::jobCompleted, this, &GuiMainWindow::onCheckForNewVersionCompleted);
    QTimer::singleShot(2000, updater, &Updater::checkForNewVersion);
}

void GuiMainWindow::checkProgramArguments()
{
    applyArguments(AppSettings::instance()->arguments());
}

void GuiMainWindow::onArgumentsReceived(const QStringList& arguments)
{
    showOnTop();
    if (isRunning()) {
        inform(tr("A copy is already in progress: the paths given to the new start are not used."));
        return;
    }
    applyArguments(arguments);
}

void GuiMainWindow::applyArguments(const QStringList& arguments)
{
    // The program never changes its working folder: it is still the one it started in.
    const MainWindowRules::ArgumentsRequest request = MainWindowRules::argumentsRequest(
        arguments, QDir::currentPath(), ProgramIdentity::taskFileExtension());
    switch (request.kind) {
    case MainWindowRules::ArgumentsRequest::Nothing:
        break;
    case MainWindowRules::ArgumentsRequest::LoadTaskFile:
        if (!loadTaskFile(request.taskFile))
            qWarning() << "Unable to load task from file:" << qUtf8Printable(request.taskFile);
        break;
    case MainWindowRules::ArgumentsRequest::Copy:
        mp_ui->mp_leFrom->setText(request.source);
        mp_ui->mp_leTo->setText(request.destination);
        QTimer::singleShot(0, this, &GuiMainWindow::startCopy);
        break;
    }
}

void GuiMainWindow::onCheckForNewVersionCompleted()
{
    auto* updater = qobject_cast<Updater*>(sender());
    if (!updater) {
        qWarning() << "Received a signal from invalid Updater instance";
        return;
    }
    const QString latest = updater->latestVersion();
    const bool newer = updater->isNewVersionAvailable();
    const QString url = updater->updateUrl();
    updater->deleteLater();
    offerNewVersion(latest, newer, url);
}

void GuiMainWindow::offerNewVersion(const QString& latestVersion, bool newer, const QString& url)
{
    if (latestVersion.isEmpty())
        return;
    if (!newer) {
        qDebug() << "Latest version on the website is" << qUtf8Printable(latestVersion)
                 << "(update is not needed)";
        return;
    }
    qDebug() << "Latest version on website is" << qUtf8Printable(latestVersion)
             << "(update is recommended)";
    // The address comes from a file on the network: anything but a web page is refused
    // before the user is offered to open it.
    if (!MainWindowRules::isSafeUpdateUrl(url)) {
        qWarning() << "Refusing to offer the update address" << qUtf8Printable(url)
                   << "because it is not a web page";
        return;
    }
    if (isRunning())
        return;
    const int answer = ask(Dialogs::Information, tr("Version %1 is available.").arg(latestVersion),
                           {tr("Update"), tr("Close")}, 0, -1);
    if (answer == 0 && !mp_desktop->openUrl(QUrl(url)))
        inform(tr("Unable to open %1").arg(url));
}
