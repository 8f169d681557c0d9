// The main window's task control: checks before a run, starting, stopping, the full
// target storage and the end of a run.
#include "guimainwindow.h"

#include "app/appsettings.h"
#include "app/programidentity.h"
#include "dialogs.h"
#include "engine/copytask.h"
#include "fs/pathutils.h"
#include "fs/platformcopy.h"
#include "fs/sleepinhibitor.h"
#include "guilog.h"
#include "jobs/jobthreadpool.h"
#include "mainwindowrules.h"
#include "ui_guimainwindow.h"

#include <QApplication>
#include <QButtonGroup>
#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

QString GuiMainWindow::fromPath() const
{
    return FileSystemUtils::normalizePath(mp_ui->mp_leFrom->text());
}

QString GuiMainWindow::toPath() const
{
    return FileSystemUtils::normalizePath(mp_ui->mp_leTo->text());
}

QStringList GuiMainWindow::filtersFromLineEdit(const QLineEdit* lineEdit)
{
    return FileSystemUtils::patternsFromText(lineEdit->text());
}

bool GuiMainWindow::validatePaths(bool verify)
{
    const struct
    {
        FileLineEdit* field;
    } fields[] = {{mp_ui->mp_leFrom}, {mp_ui->mp_leTo}};
    for (const auto& entry : fields) {
        if (entry.field->text().trimmed().isEmpty()) {
            entry.field->setFocus();
            return false;
        }
    }
    for (const auto& entry : fields) {
        const QString typed = entry.field->text();
        if (!MainWindowRules::hasEdgeSpaces(typed))
            continue;
        const int answer =
            ask(Dialogs::Question,
                tr("The path '%1' contains spaces at start or end. Do you want to delete them?")
                    .arg(typed),
                {tr("Yes"), tr("No")}, 0, 1);
        if (answer == 0)
            entry.field->setText(typed.trimmed());
    }

    // Both paths are made absolute once, here, so that every check, the creation of the
    // destination and the run itself mean the same folders.
    const QString base = QDir::currentPath();
    const QString source = MainWindowRules::absolutePath(fromPath(), base);
    const QString destination = MainWindowRules::absolutePath(toPath(), base);

    // Decided by identity: a destination that is the source through a link or a bind
    // mount is refused as well as the same text.
    const QString refusal = CopyTask::pathsRefusal(source, destination);
    if (!refusal.isEmpty()) {
        warn(refusal);
        return false;
    }
    const QFileInfo sourceInfo(source);
    if (!sourceInfo.exists() && !sourceInfo.isSymLink()) {
        if (MainWindowRules::hasEdgeSpaces(mp_ui->mp_leFrom->text()))
            qWarning() << "Unable to find source path" << qUtf8Printable(source)
                       << ". Please check spaces and strip it";
        warn(tr("Unable to find '%1'.").arg(source));
        return false;
    }
    const QFileInfo destinationInfo(destination);
    if (verify && !destinationInfo.exists()) {
        warn(tr("The destination '%1' does not exist: there is nothing to verify.")
                 .arg(destination));
        return false;
    }
    if (!destinationInfo.exists() && FileSystemUtils::isRealDirectory(sourceInfo)) {
        const int answer = ask(Dialogs::Warning, tr("Unable to find destination folder."),
                               {tr("Create folder"), tr("Cancel copy")}, 0, -1);
        if (answer != 0)
            return false;
        // Made private, like every folder a copy makes: the run gives it its source's mode
        // once the files are in it.
        PlatformCopy::Failure failure;
        if (!PlatformCopy::createFolders(destination, &failure)) {
            qWarning() << "Unable to create destination folder" << qUtf8Printable(destination)
                       << failure.call << qUtf8Printable(qt_error_string(failure.code));
            warn(tr("Unable to create destination folder."));
            return false;
        }
    }
    mp_ui->mp_leFrom->setText(source);
    mp_ui->mp_leTo->setText(destination);
    return true;
}

bool GuiMainWindow::askAboutPreviousTask(int copyMode, bool* resume)
{
    *resume = false;
    const Task previous = mp_copyTask->task();
    if (previous.m_sourcePath != fromPath() || previous.m_destinationPath != toPath() ||
        previous.m_options.m_copyMode != copyMode || !mp_copyTask->isStopRequested() ||
        !mp_copyTask->isFileListCompleted())
        return true;
    const int answer = ask(Dialogs::Information, tr("The previous task is not completed."),
                           {tr("Resume"), tr("Restart"), tr("Cancel")}, 0, 2);
    if (answer == 0)
        *resume = true;
    return answer == 0 || answer == 1;
}

void GuiMainWindow::startCopy()
{
    bool resume = false;
    if (!validatePaths() || !askAboutPreviousTask(CopyOptions::Copy, &resume))
        return;
    runTask(mp_copyTask, resume, CopyOptions::Copy);
}

void GuiMainWindow::startMove()
{
    if (!validatePaths())
        return;
    if (ask(Dialogs::Question, tr("Do you really want to move these files?"), {tr("Yes"), tr("No")},
            1, 1) != 0)
        return;
    bool resume = false;
    if (!askAboutPreviousTask(CopyOptions::Move, &resume))
        return;
    runTask(mp_copyTask, resume, CopyOptions::Move);
}

void GuiMainWindow::verifyCopy()
{
    bool resume = false;
    if (!validatePaths(true) || !askAboutPreviousTask(CopyOptions::Verify, &resume))
        return;
    runTask(mp_copyTask, resume, CopyOptions::Verify);
}

void GuiMainWindow::fixErrors()
{
    if (!validatePaths())
        return;
    if (mp_copyTask->errorItems().isEmpty()) {
        inform(tr("There is not errors to fix."));
        return;
    }
    // The errors belong to the paths of their run: fixing them under other paths would
    // pair the new paths with the old run's items.
    const Task previous = mp_copyTask->task();
    if (previous.m_sourcePath != fromPath() || previous.m_destinationPath != toPath()) {
        warn(tr("The errors to fix belong to the copy from '%1' to '%2'. The paths are set "
                "back to them; press \"Fix errors\" again to copy the errors again.")
                 .arg(previous.m_sourcePath, previous.m_destinationPath));
        mp_ui->mp_leFrom->setText(previous.m_sourcePath);
        mp_ui->mp_leTo->setText(previous.m_destinationPath);
        return;
    }
    runTask(mp_copyTask, true, CopyOptions::FixErrors);
}

Task GuiMainWindow::taskFromUi() const
{
    Task task;
    task.m_sourcePath = fromPath();
    task.m_destinationPath = toPath();
    CopyOptions& options = task.m_options;
    options.m_copyHiddenFiles = mp_ui->mp_cbCopyHiddenFiles->isChecked();
    const int overwrite = mp_bgOverwriteMode->checkedId();
    options.m_overwriteMode = overwrite >= 0 && overwrite <= 4 ? overwrite : 0;
    options.m_copyFilters = filtersFromLineEdit(mp_ui->mp_leCopyFilters);
    options.m_skipFilters = filtersFromLineEdit(mp_ui->mp_leSkipFilters);
    options.m_skipErrorOnFiles = filtersFromLineEdit(mp_ui->mp_leSkipErrorFilters);
    options.m_recursive = mp_ui->mp_cbRecursive->isChecked();
    options.m_copySymbolicLinks = mp_ui->mp_cbCopySymbolicLinks->isChecked();
    options.m_copyEmptyFolders = mp_ui->mp_cbCopyEmptyFolders->isChecked();
    const int destinationMode = mp_bgDestinationMode->checkedId();
    options.m_destinationMode =
        destinationMode == 0 || destinationMode == 1 ? destinationMode : CopyOptions::Normal;
    task.updateName();
    return task;
}

void GuiMainWindow::setUiFromTask(const Task& task)
{
    const CopyOptions& options = task.m_options;
    mp_ui->mp_leFrom->setText(task.m_sourcePath);
    mp_ui->mp_leTo->setText(task.m_destinationPath);
    mp_ui->mp_rbDestinationNormal->setChecked(options.m_destinationMode == CopyOptions::Normal);
    mp_ui->mp_rbDestinationCollate->setChecked(options.m_destinationMode == CopyOptions::Collate);
    mp_ui->mp_cbRecursive->setChecked(options.m_recursive);
    mp_ui->mp_cbCopyHiddenFiles->setChecked(options.m_copyHiddenFiles);
    mp_ui->mp_cbCopySymbolicLinks->setChecked(options.m_copySymbolicLinks);
    mp_ui->mp_cbCopyEmptyFolders->setChecked(options.m_copyEmptyFolders);
    mp_ui->mp_leCopyFilters->setText(options.m_copyFilters.join(QStringLiteral(", ")));
    mp_ui->mp_leSkipFilters->setText(options.m_skipFilters.join(QStringLiteral(", ")));
    mp_ui->mp_leSkipErrorFilters->setText(options.m_skipErrorOnFiles.join(QStringLiteral(", ")));
    if (QAbstractButton* button = mp_bgOverwriteMode->button(options.m_overwriteMode))
        button->setChecked(true);
    updateOptionWidgets();
    mp_ui->mp_lStartTime->clear();
    mp_ui->mp_lEndTime->clear();
    mp_ui->mp_lStats->clear();
    resetViewFileList();
    setStatusText(tr("Ready"));
}

void GuiMainWindow::restoreLastTask()
{
    const QList<Task> recent = AppSettings::instance()->recentTasks();
    setUiFromTask(recent.isEmpty() ? Task() : recent.first());
    scheduleStartUpChecks();
}

void GuiMainWindow::addRecentTask(const Task& task)
{
    AppSettings* settings = AppSettings::instance();
    settings->setRecentTasks(MainWindowRules::recentTasksWith(settings->recentTasks(), task));
    settings->save();
}

void GuiMainWindow::onNewTaskClicked()
{
    setUiFromTask(Task());
    mp_ui->mp_leFrom->setFocus();
}

void GuiMainWindow::setRunControlsEnabled(bool running)
{
    for (QAction* action :
         {mp_actLoadTask, mp_actPreferences, mp_actNewTask, mp_actSelectFile, mp_actSaveTask})
        action->setEnabled(!running);
    mp_ui->mp_pbStop->setEnabled(running);
    mp_ui->mp_pbStart->setEnabled(!running);
    mp_ui->mp_pbVerify->setEnabled(!running);
    mp_ui->mp_gbPaths->setEnabled(!running);
    if (running) {
        mp_ui->mp_pbStartMove->setEnabled(false);
        mp_ui->mp_pbFixErrors->setEnabled(false);
        for (QWidget* group : {static_cast<QWidget*>(mp_ui->mp_gbOverwriteModeOptions),
                               static_cast<QWidget*>(mp_ui->mp_gbCopyOptions),
                               static_cast<QWidget*>(mp_ui->mp_gbFilters),
                               static_cast<QWidget*>(mp_ui->mp_gbDestinationMode)})
            group->setEnabled(false);
    } else {
        updateOptionWidgets();
    }
}

QString GuiMainWindow::copyMethodText() const
{
    int method = AppSettings::instance()->copyMethod();
    if (method == 0)
        method = ProgramIdentity::defaultCopyMethod(fromPath(), toPath());
    return MainWindowRules::copyMethodName(method);
}

void GuiMainWindow::runTask(CopyTask* copyTask, bool resume, int copyMode)
{
    ++m_runSerial;
    m_flushMeasured = false;
    setRunControlsEnabled(true);
    mp_ui->mp_progress->setValue(1);
    if (!m_timer.isActive())
        m_timer.start();
    mp_ui->mp_lStartTime->clear();
    mp_ui->mp_lEndTime->clear();
    mp_ui->mp_lStats->clear();
    resetSpeedState();
    setStatusText(QString());
    resetViewFileList();

    const AppSettings* settings = AppSettings::instance();
    if (settings->useExternalCopyProgram() && copyMode != CopyOptions::Verify) {
        copyTask->setExternalProgram(settings->externalProgram());
        copyTask->setSkipBuildListForExternalProgram(settings->skipBuildListForExternalProgram());
    } else {
        copyTask->setExternalProgram(ExternalProgramSettings());
        copyTask->setSkipBuildListForExternalProgram(false);
    }

    Task task = taskFromUi();
    addRecentTask(task);
    task.m_options.m_copyMode = copyMode >= 0 && copyMode <= 3 ? copyMode : CopyOptions::Copy;
    copyTask->setTask(task);
    // Sleep would cut a run short; a computer left alone with a long copy must not sleep.
    mp_sleepInhibitor->acquire(ProgramIdentity::programName(),
                               sleepReason(task.m_options.m_copyMode));
    updateStatsLabel();

    if (resume) {
        mp_recapLog->appendLine(QStringLiteral("\n%1").arg(tr("Resuming") + QStringLiteral("...")));
        QTimer::singleShot(500, copyTask, [this, copyTask, run = m_runSerial] {
            if (run == m_runSerial && !m_closing)
                copyTask->resumeTask();
        });
    } else {
        mp_recapLog->clearText();
        mp_recapLog->appendLine(
            tr("Brindle v. %1 (by Orvane)").arg(ProgramIdentity::versionText(true, true)));
        QTimer::singleShot(500, copyTask, [this, copyTask, run = m_runSerial] {
            if (run == m_runSerial && !m_closing)
                copyTask->startTask();
        });
    }
    const auto recap = [this](const QString& label, const QString& value) {
        mp_recapLog->appendLine(QStringLiteral("%1: %2").arg(label, value));
    };
    recap(tr("From"), task.m_sourcePath);
    recap(tr("To"), task.m_destinationPath);
    recap(tr("Copy method"), copyMethodText());
    recap(tr("Threads used"), QString::number(JobThreadPool::threadCount()));
    if (copyTask->skipBuildListForExternalProgram()) {
        mp_recapLog->appendLine(tr("External program skips building the file list"));
        return;
    }
    mp_recapLog->appendLine(tr("Task will use these copy options") + QStringLiteral(":"));
    const QStringList description = task.m_options.toDescriptionList();
    for (const QString& line : description)
        mp_recapLog->appendLine(line);
    qDebug() << "Copy options:" << qUtf8Printable(description.join(QStringLiteral(", ")));
    qDebug() << "Skip check for file size more than"
             << settings->skipIntegrityCheckForFileSizeMoreThan() << "bytes";
}

void GuiMainWindow::stopCopy()
{
    const Task task = mp_copyTask->task();
    if (task.m_sourcePath.isEmpty() || task.m_destinationPath.isEmpty() ||
        !mp_copyTask->isFileListCompleted()) {
        const int answer = ask(Dialogs::Warning,
                               tr("The file list is not completed yet. If you stop the process "
                                  "now you cannot save or resume the copy."),
                               {tr("Stop the copy"), tr("Continue")}, 1, 1);
        if (answer != 0)
            return;
    }
    // The run may have ended while the question was open.
    if (!isRunning())
        return;
    mp_ui->mp_pbStop->setEnabled(false);
    if (!m_stopping)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    m_stopping = true;
    // Only this run is stopped: one that ended meanwhile does not take a new one along.
    const int run = m_runSerial;
    QTimer::singleShot(500, mp_copyTask, [this, run] {
        if (run == m_runSerial && !mp_copyTask->isTaskCompleted())
            mp_copyTask->stopTask();
    });
}

void GuiMainWindow::onStorageFull(qint64 available, qint64 required)
{
    if (!qobject_cast<CopyTask*>(sender()))
        qWarning() << "Invalid CopyTask object found in onStorageFull(...)";
    const QString text =
        tr("Target storage has %1 of free space and it doesn't contain a complete copy of %2.")
            .arg(FileSystemUtils::byteSizeText(available),
                 FileSystemUtils::byteSizeText(required)) +
        QStringLiteral("\n") + tr("Do you want to continue or stop the process?");
    const int answer = ask(Dialogs::Warning, text, {tr("Continue"), tr("Stop")}, 1, 0);
    if (answer == 1)
        QTimer::singleShot(0, this, &GuiMainWindow::stopCopy);
}

void GuiMainWindow::onTaskCompleted()
{
    // Also when the window is closing: the run has ended either way.
    mp_sleepInhibitor->release();
    if (m_closing) {
        qDebug() << "Main window is closed. Break all operations";
        return;
    }
    if (m_timer.isActive())
        m_timer.stop();
    setRunControlsEnabled(false);
    mp_ui->mp_progress->setValue(0);
    mp_taskbarProgress->setVisible(false);

    if (!qobject_cast<CopyTask*>(sender())) {
        qWarning() << objectName() << "has received a signal from invalid CopyTask instance";
        return;
    }
    if (m_stopping) {
        QApplication::restoreOverrideCursor();
        m_stopping = false;
    }
    showRunOutcome();
}

void GuiMainWindow::waitForRunToEnd()
{
    if (mp_copyTask->isTaskCompleted())
        return;
    QEventLoop loop;
    connect(mp_copyTask, &CopyTask::taskCompleted, &loop, &QEventLoop::quit);
    if (!mp_copyTask->isTaskCompleted())
        loop.exec();
}

QString GuiMainWindow::sleepReason(int copyMode)
{
    switch (copyMode) {
    case CopyOptions::Move:
        return tr("Moving files");
    case CopyOptions::Verify:
        return tr("Verifying copies");
    default:
        return tr("Copying files");
    }
}
