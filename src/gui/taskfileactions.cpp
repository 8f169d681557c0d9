#include "taskfileactions.h"

#include "app/appsettings.h"
#include "app/programidentity.h"
#include "desktop.h"
#include "dialogs.h"
#include "engine/runcontroller.h"
#include "engine/taskfile.h"
#include "engine/taskfilestore.h"
#include "fs/filesystemutils.h"
#include "fs/pathutils.h"
#include "mainwindowrules.h"
#include "net/updater.h"
#include "runpresenter.h"
#include "taskform.h"
#include "ui_guimainwindow.h"
#include "windowseams.h"
#include "windowworker.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace {

QString taskFileSuffix()
{
    return QLatin1Char('.') + ProgramIdentity::taskFileExtension();
}

QString taskFileFilter()
{
    return QLatin1Char('*') + taskFileSuffix();
}

// What the worker learnt of a task file.
struct LoadedFile
{
    bool loaded = false;
    // Below the program's data folder, where it saves its own tasks.
    bool own = false;
    int items = 0;
};

QIcon imageIcon(const char* name)
{
    return QIcon(QStringLiteral(":/images/%1.png").arg(QLatin1String(name)));
}

} // namespace

TaskFileActions::TaskFileActions(Ui::GuiMainWindow* ui, WindowSeams* seams, WindowWorker* worker,
                                 RunController* controller, TaskForm* form, RunPresenter* run,
                                 QObject* parent)
    : QObject(parent), mp_ui(ui), mp_seams(seams), mp_worker(worker), mp_controller(controller),
      mp_form(form), mp_run(run)
{
    connect(mp_run, &RunPresenter::saveRequested, this, &TaskFileActions::saveTaskToFile);
    connect(mp_run, &RunPresenter::runEnded, this, &TaskFileActions::onRunEnded);
}

// A run the program saved when it was closed, read on the worker.
struct TaskFileActions::StoppedTask
{
    QString path;
    std::shared_ptr<const TaskFile::Result> file;
};

void TaskFileActions::offerStoppedTask()
{
    const QString dataFolder = AppSettings::instance()->dataFolder();
    if (mp_run->isRunning() || dataFolder.isEmpty()) {
        emit stoppedTaskOfferDone();
        return;
    }
    mp_worker->run<StoppedTask>(
        [dataFolder] {
            StoppedTask found;
            // The newest file that reads as a resumable run; a damaged one is left alone.
            for (const QString& path : TaskFileStore::stoppedTaskFiles(dataFolder)) {
                auto file = std::make_shared<TaskFile::Result>(TaskFile::read(path));
                if (!file->error.isEmpty() || file->task.m_sourcePath.isEmpty() ||
                    file->task.m_destinationPath.isEmpty()) {
                    qWarning() << "Unable to read the saved run" << qUtf8Printable(path)
                               << qUtf8Printable(file->error);
                    continue;
                }
                found.path = path;
                found.file = std::move(file);
                break;
            }
            return found;
        },
        [this](const StoppedTask& stopped) { askAboutStoppedTask(stopped); });
}

void TaskFileActions::askAboutStoppedTask(const StoppedTask& stopped)
{
    // A run started meanwhile (arguments, a second start) goes first; the file waits.
    if (stopped.path.isEmpty() || mp_run->isRunning() || !mp_run->isIdle()) {
        emit stoppedTaskOfferDone();
        return;
    }
    const TaskFile::Result& file = *stopped.file;
    const QString text =
        tr("A run was stopped when %1 closed, and saved:").arg(ProgramIdentity::programName()) +
        QStringLiteral("\n%1\n\n").arg(stopped.path) +
        taskSummary(file.task, file.items.size() + file.folders.size()) + QStringLiteral("\n\n") +
        tr("Do you want to resume it now?");
    const int answer =
        mp_seams->ask(Dialogs::Question, text, {tr("Resume"), tr("Later"), tr("Discard")}, 0, 1);
    if (answer == 0) {
        resumeStoppedTask(stopped);
        return;
    }
    if (answer == 2) {
        const QString path = stopped.path;
        mp_worker->run<bool>([path] { return QFile::remove(path); },
                             [this, path](const bool& removed) {
                                 if (!removed)
                                     qWarning() << "Unable to remove the saved run"
                                                << qUtf8Printable(path);
                                 emit stoppedTaskOfferDone();
                             });
        return;
    }
    emit stoppedTaskOfferDone();
}

void TaskFileActions::resumeStoppedTask(const StoppedTask& stopped)
{
    mp_form->setLocked(true);
    RunController* controller = mp_controller;
    const std::shared_ptr<const TaskFile::Result> file = stopped.file;
    mp_worker->run<bool>([controller, file] { return controller->load(*file); },
                         [this, stopped](const bool& loaded) {
                             mp_form->setLocked(false);
                             if (!loaded || mp_run->isRunning()) {
                                 mp_seams->warn(tr("Unable to load copy task from file") +
                                                QStringLiteral(":\n%1").arg(stopped.path));
                                 emit stoppedTaskOfferDone();
                                 return;
                             }
                             m_resumedStoppedPath = stopped.path;
                             const Task task = mp_controller->task();
                             mp_form->showTask(task);
                             mp_ui->mp_twMain->setCurrentIndex(0);
                             mp_run->runTask(true, task.m_options.m_copyMode);
                             emit stoppedTaskOfferDone();
                         });
}

void TaskFileActions::onRunEnded()
{
    if (m_resumedStoppedPath.isEmpty() || mp_run->isRunning())
        return;
    const QString path = m_resumedStoppedPath;
    m_resumedStoppedPath.clear();
    // A run stopped again keeps its file; a closing saves it anew.
    if (mp_controller->isStopRequested())
        return;
    mp_worker->run<bool>([path] { return QFile::remove(path); }, [](const bool&) {});
}

void TaskFileActions::saveTaskToFile()
{
    const Task previous = mp_controller->task();
    const Task onScreen = mp_form->task();
    // The fields carry no copy mode: the task on screen is compared in the run's mode.
    Task compared = onScreen;
    compared.m_options.m_copyMode = previous.m_options.m_copyMode;
    if (compared == previous) {
        saveRunToFile(previous);
        return;
    }
    if (!mp_controller->isStopRequested()) {
        // No stopped run to go on with: what is on screen is the task to keep.
        saveDefinitionToFile(onScreen);
        return;
    }
    const QString newText = tr("New");
    const QString previousText = tr("Previous");
    const int answer = mp_seams->ask(
        Dialogs::Question,
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

void TaskFileActions::saveRunToFile(const Task& task)
{
    if (task.m_sourcePath.isEmpty() || task.m_destinationPath.isEmpty() ||
        !mp_controller->isFileListCompleted()) {
        mp_seams->inform(tr("Current copy is not a task with a file list completed."));
        return;
    }
    const QString path = askTaskFileName(task);
    if (path.isEmpty())
        return;
    const int scope = mp_seams->ask(
        Dialogs::Question, tr("Do you want to save copied and skipped files also?"),
        {tr("Save all"), tr("Save only errors and not copied files"), tr("Cancel")}, 1, 2);
    if (scope != 0 && scope != 1)
        return;
    const bool allItems = scope == 0;
    bool errorsAsUnprocessed = false;
    if (!allItems && mp_controller->counter(ErrorItems) > 0)
        errorsAsUnprocessed =
            mp_seams->ask(Dialogs::Question, tr("Do you want to save errors as unprocessed items?"),
                          {tr("Yes, I will try to fix errors in the next copy"), tr("No")}, 1,
                          1) == 0;
    RunController* controller = mp_controller;
    writeTaskFile(path, [controller, path, allItems, errorsAsUnprocessed] {
        return controller->saveToFile(path, false, allItems, errorsAsUnprocessed);
    });
}

void TaskFileActions::saveDefinitionToFile(const Task& task)
{
    if (task.m_sourcePath.isEmpty() || task.m_destinationPath.isEmpty()) {
        mp_seams->inform(tr("Please fill in the source and the destination of the task to save."));
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

QString TaskFileActions::askTaskFileName(const Task& task)
{
    const QString proposed =
        QStringLiteral("%1%2%3%4")
            .arg(AppSettings::instance()->dataFolder(), QString(QDir::separator()),
                 FileSystemUtils::fileNameOf(task.m_sourcePath).toLower(), taskFileSuffix());
    QString path = mp_seams->dialogs()->saveFileName(
        mp_seams->window(), ProgramIdentity::programName(), proposed, taskFileFilter());
    if (!path.isEmpty() && !path.endsWith(taskFileSuffix()))
        path += taskFileSuffix();
    return path;
}

void TaskFileActions::writeTaskFile(const QString& path, const std::function<bool()>& write)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    mp_seams->setStatusText(tr("Please wait..."));
    // No run may change the copy task while the worker reads it.
    mp_form->setLocked(true);
    mp_worker->run<bool>(write, [this, path](const bool& written) {
        mp_form->setLocked(false);
        QApplication::restoreOverrideCursor();
        if (written) {
            mp_seams->setStatusText(tr("Save completed"));
            mp_seams->inform(tr("Copy task is saved in file") + QStringLiteral(":\n%1").arg(path));
        } else {
            mp_seams->setStatusText(tr("Save failed"));
            mp_seams->warn(tr("Unable to save copy task in file") +
                           QStringLiteral(":\n%1").arg(path));
        }
        emit saved(written);
    });
}

void TaskFileActions::loadTaskFromFile()
{
    const QString path =
        mp_seams->dialogs()->openFileName(mp_seams->window(), ProgramIdentity::programName(),
                                          AppSettings::instance()->dataFolder(), taskFileFilter());
    if (!path.isEmpty())
        loadTaskFile(path);
}

void TaskFileActions::loadTaskFile(const QString& path, const std::function<void(bool)>& done)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    mp_seams->setStatusText(tr("Please wait..."));
    const bool running = mp_run->isRunning();
    if (!running)
        mp_form->setLocked(true);
    RunController* controller = mp_controller;
    const QString dataFolder = AppSettings::instance()->dataFolder();
    // Read and taken by the run's thread off the window's: its state comes back before the
    // answer does.
    mp_worker->run<LoadedFile>(
        [path, running, controller, dataFolder] {
            LoadedFile result;
            if (running)
                return result;
            const TaskFile::Result file = TaskFile::read(path);
            result.loaded = controller->load(file);
            result.items = file.items.size() + file.folders.size();
            // By identity: a link in the data folder to a file elsewhere is not the program's.
            result.own = !dataFolder.isEmpty() && FileSystemUtils::isWithinFolder(path, dataFolder);
            return result;
        },
        [this, path, running, done](const LoadedFile& file) {
            const bool loaded = file.loaded;
            if (!running)
                mp_form->setLocked(false);
            QApplication::restoreOverrideCursor();
            if (running)
                qWarning() << "Unable to load task from file" << qUtf8Printable(path)
                           << "while a copy is running";
            if (!loaded) {
                mp_seams->setStatusText(tr("Load failed"));
                mp_seams->warn(tr("Unable to load copy task from file") +
                               QStringLiteral(":\n%1").arg(path));
                emit this->loaded(false);
                if (done)
                    done(false);
                return;
            }
            qDebug() << "Load task completed from file" << qUtf8Printable(path);
            const Task task = mp_controller->task();
            mp_form->showTask(task);
            mp_ui->mp_twMain->setCurrentIndex(0);
            mp_ui->mp_pbFixErrors->setEnabled(!mp_controller->errorItems().isEmpty());
            mp_seams->setStatusText(tr("Load completed"));
            // A file from elsewhere (a download, a shared folder) decides what is replaced
            // where: it starts only when the user chooses to, having read what it does.
            QString text = tr("Copy task is loaded from file") + QStringLiteral(":\n%1").arg(path);
            if (!file.own)
                text += QStringLiteral("\n\n") +
                        tr("This file was not saved by this program in its data folder. Check "
                           "what it will do before you start it.");
            text += QStringLiteral("\n\n") + taskSummary(task, file.items);
            const int answer =
                mp_seams->ask(file.own ? Dialogs::Information : Dialogs::Warning, text,
                              {tr("Start"), tr("Cancel")}, file.own ? 0 : 1, 1);
            if (answer == 0)
                mp_run->runTask(true, task.m_options.m_copyMode);
            emit this->loaded(true);
            if (done)
                done(true);
        });
}

QString TaskFileActions::taskSummary(const Task& task, int items)
{
    QStringList lines = MainWindowRules::optionsInWords(task.m_options);
    lines.insert(
        1, tr("Source: %1").arg(MainWindowRules::withoutControlCharacters(task.m_sourcePath)));
    lines.insert(2, tr("Destination: %1")
                        .arg(MainWindowRules::withoutControlCharacters(task.m_destinationPath)));
    lines << (items > 0 ? tr("Items in the task: %1").arg(items)
                        : tr("Items in the task: none yet, the source is read when it starts"));
    return lines.join(QLatin1Char('\n'));
}

void TaskFileActions::onOpenFileRequest(const QString& path)
{
    if (mp_run->isRunning()) {
        qWarning() << "Unable to load" << qUtf8Printable(path)
                   << "because a copy is already in progress";
        return;
    }
    loadTaskFile(path);
}

void TaskFileActions::scheduleStartUpChecks()
{
    QTimer::singleShot(1000, this, &TaskFileActions::checkProgramArguments);
    // Without a web-site address there is nothing to ask for.
    if (!AppSettings::instance()->checkForNewVersionAtStartup() ||
        ProgramIdentity::webSiteUrl().isEmpty())
        return;
    qDebug() << "Checking for new version...";
    auto* updater = new Updater(this);
    connect(updater, &Updater::jobCompleted, this, &TaskFileActions::onCheckForNewVersionCompleted);
    QTimer::singleShot(2000, updater, &Updater::checkForNewVersion);
}

void TaskFileActions::checkProgramArguments()
{
    // Nothing asked: a run stopped when the program last closed is offered.
    if (!applyArguments(AppSettings::instance()->arguments()))
        offerStoppedTask();
}

void TaskFileActions::onArgumentsReceived(const QStringList& arguments)
{
    emit windowWanted();
    if (mp_run->isRunning()) {
        mp_seams->inform(
            tr("A copy is already in progress: the paths given to the new start are not used."));
        return;
    }
    applyArguments(arguments);
}

bool TaskFileActions::applyArguments(const QStringList& arguments)
{
    // The program never changes its working folder: it is still the one it started in.
    const MainWindowRules::ArgumentsRequest request = MainWindowRules::argumentsRequest(
        arguments, QDir::currentPath(), ProgramIdentity::taskFileExtension());
    switch (request.kind) {
    case MainWindowRules::ArgumentsRequest::Nothing:
        return false;
    case MainWindowRules::ArgumentsRequest::LoadTaskFile: {
        const QString path = request.taskFile;
        loadTaskFile(path, [path](bool loaded) {
            if (!loaded)
                qWarning() << "Unable to load task from file:" << qUtf8Printable(path);
        });
        break;
    }
    case MainWindowRules::ArgumentsRequest::Copy:
        mp_form->setPaths(request.source, request.destination);
        QTimer::singleShot(0, mp_run, &RunPresenter::startCopy);
        break;
    }
    return true;
}

void TaskFileActions::onCheckForNewVersionCompleted()
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

void TaskFileActions::offerNewVersion(const QString& latestVersion, bool newer, const QString& url)
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
    if (mp_run->isRunning())
        return;
    const int answer =
        mp_seams->ask(Dialogs::Information, tr("Version %1 is available.").arg(latestVersion),
                      {tr("Update"), tr("Close")}, 0, -1);
    if (answer == 0 && !mp_seams->desktop()->openUrl(QUrl(url)))
        mp_seams->inform(tr("Unable to open %1").arg(url));
}

// ---------------------------------------------------------------------------------------
// Recent paths

void TaskFileActions::setRecentPathsMenu(QMenu* menu)
{
    mp_recentPathsMenu = menu;
    // The placeholder lets the menu open at all.
    menu->addAction(QStringLiteral("dummy"));
    connect(menu, &QMenu::aboutToShow, this, &TaskFileActions::fillRecentPathsMenu);
}

void TaskFileActions::fillRecentPathsMenu()
{
    QMenu* menu = mp_recentPathsMenu;
    menu->clear();
    AppSettings* settings = AppSettings::instance();
    const QList<Task> tasks = settings->recentTasks();
    for (const Task& task : tasks) {
        // An "&" in a path is text, not a keyboard accelerator.
        QString text = task.m_name;
        text.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction* action =
            menu->addAction(imageIcon("Task"), text, this, &TaskFileActions::onRecentPathClicked);
        action->setData(task.m_name);
        action->setEnabled(!mp_run->isRunning());
    }
    if (!menu->isEmpty())
        menu->addSeparator();
    QAction* clear = menu->addAction(imageIcon("Clear"), tr("Clear") + QStringLiteral("..."), this,
                                     &TaskFileActions::onClearRecentPathsClicked);
    clear->setEnabled(!tasks.isEmpty());
    menu->addSeparator();
    QAction* save =
        menu->addAction(tr("Save recent paths"), this, &TaskFileActions::onSaveRecentPathsClicked);
    save->setCheckable(true);
    save->setChecked(settings->saveRecent());
}

void TaskFileActions::onRecentPathClicked()
{
    const auto* action = qobject_cast<QAction*>(sender());
    if (!action || mp_run->isRunning())
        return;
    const QString name = action->data().toString();
    const QList<Task> tasks = AppSettings::instance()->recentTasks();
    for (const Task& task : tasks) {
        if (task.m_name != name)
            continue;
        mp_form->showTask(task);
        mp_ui->mp_twMain->setCurrentIndex(0);
        TaskForm::addRecentTask(task);
        mp_ui->mp_pbStart->setFocus();
        return;
    }
    qWarning() << "Recent task" << qUtf8Printable(name) << "not found";
}

void TaskFileActions::onClearRecentPathsClicked()
{
    AppSettings* settings = AppSettings::instance();
    const int count = settings->recentTasks().size();
    if (count == 0)
        return;
    if (mp_seams->ask(Dialogs::Question,
                      tr("Do you really want to clear %1 recent paths?").arg(count),
                      {tr("Yes"), tr("No")}, 1, 1) != 0)
        return;
    settings->clearRecentTasks();
    settings->save();
    qDebug() << "Recent paths are cleared";
}

void TaskFileActions::onSaveRecentPathsClicked()
{
    const auto* action = qobject_cast<QAction*>(sender());
    if (!action)
        return;
    AppSettings::instance()->setSaveRecent(action->isChecked());
    qDebug() << "Saving recent paths option is" << (action->isChecked() ? "enabled" : "disabled");
}
