#include "runpresenter.h"

#include "app/appsettings.h"
#include "app/programidentity.h"
#include "desktop.h"
#include "dialogs.h"
#include "fs/filesystemutils.h"
#include "fs/pathutils.h"
#include "fs/platformcopy.h"
#include "fs/sleepinhibitor.h"
#include "guilog.h"
#include "jobs/jobthreadpool.h"
#include "mainwindowrules.h"
#include "net/ganalytics.h"
#include "pausepresenter.h"
#include "progresspresenter.h"
#include "progressrules.h"
#include "taskform.h"
#include "ui_guimainwindow.h"
#include "windowseams.h"
#include "windowworker.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>
#include <QShortcut>
#include <QTimer>

namespace {

QString richText(const char* colour, const QString& text)
{
    return QStringLiteral("<font color=%1><b>%2</b></font>")
        .arg(QLatin1String(colour), text.toHtmlEscaped());
}

} // namespace

// What the worker learnt of the two paths, made absolute.
struct RunPresenter::PathFacts
{
    QString source;
    QString destination;
    QString refusal;
    bool sourceFound = false;
    bool sourceIsFolder = false;
    bool destinationExists = false;
    // The highest missing folder above a missing destination; empty when only the
    // destination itself is missing.
    QString missingAbove;
};

// A run that ended, taken once, before any box: what is reported is this run, whatever
// happens while a box waits for its answer.
struct RunPresenter::Outcome
{
    CopyTask::Counters counters{};
    Task task;
    bool stopped = false;
    bool resumable = false;
    bool resumed = false;
};

RunPresenter::RunPresenter(Ui::GuiMainWindow* ui, WindowSeams* seams, WindowWorker* worker,
                           RunController* controller, TaskForm* form, ProgressPresenter* progress,
                           GuiLog* recap, QObject* parent)
    : QObject(parent), mp_ui(ui), mp_seams(seams), mp_worker(worker), mp_controller(controller),
      mp_form(form), mp_progress(progress), mp_recap(recap),
      mp_sleepInhibitor(new SleepInhibitor(this)),
      mp_pause(new PausePresenter(ui, controller, progress, recap, mp_sleepInhibitor, this))
{
    mp_ui->mp_pbStop->setEnabled(false);
    mp_ui->mp_pbFixErrors->setEnabled(false);
    connect(mp_ui->mp_pbStart, &QPushButton::clicked, this, &RunPresenter::startCopy);
    connect(mp_ui->mp_pbStartMove, &QPushButton::clicked, this, &RunPresenter::startMove);
    connect(mp_ui->mp_pbStop, &QPushButton::clicked, this, &RunPresenter::stopCopy);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), mp_ui->mp_pbStop->window());
    connect(escape, &QShortcut::activated, this, &RunPresenter::askToStop);
    connect(mp_ui->mp_pbVerify, &QPushButton::clicked, this, &RunPresenter::verifyCopy);
    connect(mp_ui->mp_pbFixErrors, &QPushButton::clicked, this, &RunPresenter::fixErrors);
    connect(mp_controller, &RunController::logAvailable, this, &RunPresenter::onLogAvailable);
    connect(mp_controller, &RunController::taskCompleted, this, &RunPresenter::onTaskCompleted);
    connect(mp_controller, &RunController::storageIsFull, this, &RunPresenter::onStorageFull);
}

RunPresenter::~RunPresenter() = default;

void RunPresenter::onLogAvailable(const QString& text)
{
    mp_recap->appendLine(text);
    // What a paused run still finishes (the end of its walk) goes to the recap only.
    if (!mp_controller->isPaused())
        mp_seams->setStatusText(text);
}

void RunPresenter::checkPaths(bool verify)
{
    checkPaths(verify, {});
}

void RunPresenter::checkPaths(bool verify, const std::function<void()>& accepted)
{
    if (m_checking)
        return;
    const struct
    {
        FileLineEdit* field;
    } fields[] = {{mp_ui->mp_leFrom}, {mp_ui->mp_leTo}};
    for (const auto& entry : fields) {
        if (entry.field->text().trimmed().isEmpty()) {
            entry.field->setFocus();
            // Said where the eye goes next, without a box for a field left empty.
            mp_seams->setStatusText(entry.field == mp_ui->mp_leFrom
                                        ? tr("Name the file or folder to copy first.")
                                        : tr("Name the destination folder first."));
            emit pathsChecked(false);
            return;
        }
    }
    for (const auto& entry : fields) {
        const QString typed = entry.field->text();
        if (!MainWindowRules::hasEdgeSpaces(typed))
            continue;
        const int answer = mp_seams->ask(
            Dialogs::Question,
            tr("The path '%1' contains spaces at start or end. Do you want to delete them?")
                .arg(typed),
            {tr("Yes"), tr("No")}, 0, 1);
        if (answer == 0)
            entry.field->setText(typed.trimmed());
    }

    // Both paths are made absolute once, here, so that every check, the creation of the
    // destination and the run itself mean the same folders.
    const QString base = QDir::currentPath();
    const QString source = MainWindowRules::absolutePath(mp_form->fromPath(), base);
    const QString destination = MainWindowRules::absolutePath(mp_form->toPath(), base);
    m_checking = true;
    mp_worker->run<PathFacts>(
        [source, destination] {
            PathFacts facts;
            facts.source = source;
            facts.destination = destination;
            // Decided by identity: a destination that is the source through a link or a
            // bind mount is refused as well as the same text.
            facts.refusal = CopyTask::pathsRefusal(source, destination);
            const QFileInfo sourceInfo(source);
            facts.sourceFound = sourceInfo.exists() || sourceInfo.isSymLink();
            facts.sourceIsFolder = FileSystemUtils::isRealDirectory(sourceInfo);
            facts.destinationExists = QFileInfo::exists(destination);
            if (!facts.destinationExists)
                facts.missingAbove = FileSystemUtils::missingFolderAbove(destination);
            return facts;
        },
        [this, verify, accepted](const PathFacts& facts) { onPathFacts(facts, verify, accepted); });
}

void RunPresenter::onPathFacts(const PathFacts& facts, bool verify,
                               const std::function<void()>& accepted)
{
    if (m_closing) {
        finishCheck(false);
        return;
    }
    if (!facts.refusal.isEmpty()) {
        mp_seams->warn(facts.refusal);
        finishCheck(false);
        return;
    }
    if (!facts.sourceFound) {
        if (MainWindowRules::hasEdgeSpaces(mp_ui->mp_leFrom->text()))
            qWarning() << "Unable to find source path" << qUtf8Printable(facts.source)
                       << ". Please check spaces and strip it";
        mp_seams->warn(tr("Unable to find '%1'.").arg(facts.source));
        finishCheck(false);
        return;
    }
    if (verify && !facts.destinationExists) {
        mp_seams->warn(tr("The destination '%1' does not exist: there is nothing to verify.")
                           .arg(facts.destination));
        finishCheck(false);
        return;
    }
    // A missing folder above the destination is most often a drive that is not mounted:
    // making the chain would copy onto the system disk, so it is never the default, even for
    // a file whose copier would make its folder unasked.
    if (!facts.destinationExists && (facts.sourceIsFolder || !facts.missingAbove.isEmpty())) {
        bool create = false;
        if (facts.missingAbove.isEmpty())
            create = mp_seams->ask(
                         Dialogs::Warning,
                         tr("Unable to find the destination folder '%1'.").arg(facts.destination),
                         {tr("Create folder"), tr("Cancel")}, 0, 1) == 0;
        else
            create = mp_seams->ask(Dialogs::Warning,
                                   tr("The folder '%1' on the way to the destination '%2' "
                                      "does not exist. Is the drive mounted?")
                                       .arg(facts.missingAbove, facts.destination),
                                   {tr("Cancel"), tr("Create all folders")}, 0, 0) == 1;
        if (!create) {
            finishCheck(false);
            return;
        }
        createDestination(facts.source, facts.destination, accepted);
        return;
    }
    acceptPaths(facts.source, facts.destination, accepted);
}

void RunPresenter::createDestination(const QString& source, const QString& destination,
                                     const std::function<void()>& accepted)
{
    // Made private, like every folder a copy makes: the run gives it its source's mode
    // once the files are in it.
    mp_worker->run<PlatformCopy::Failure>(
        [destination] {
            PlatformCopy::Failure failure;
            failure.code = -1;
            if (PlatformCopy::createFolders(destination, &failure))
                failure.code = 0;
            else if (failure.code == 0)
                failure.code = -2;
            return failure;
        },
        [this, source, destination, accepted](const PlatformCopy::Failure& failure) {
            if (failure.code != 0) {
                qWarning() << "Unable to create destination folder" << qUtf8Printable(destination)
                           << failure.call << qUtf8Printable(qt_error_string(failure.code));
                mp_seams->warn(tr("Unable to create destination folder."));
                finishCheck(false);
                return;
            }
            if (m_closing) {
                finishCheck(false);
                return;
            }
            acceptPaths(source, destination, accepted);
        });
}

void RunPresenter::acceptPaths(const QString& source, const QString& destination,
                               const std::function<void()>& accepted)
{
    mp_form->setPaths(source, destination);
    finishCheck(true);
    if (accepted)
        accepted();
}

void RunPresenter::finishCheck(bool accepted)
{
    m_checking = false;
    emit pathsChecked(accepted);
}

bool RunPresenter::askAboutPreviousTask(int copyMode, bool* resume)
{
    *resume = false;
    const Task previous = mp_controller->task();
    if (previous.m_sourcePath != mp_form->fromPath() ||
        previous.m_destinationPath != mp_form->toPath() ||
        previous.m_options.m_copyMode != copyMode || !mp_controller->isStopRequested() ||
        !mp_controller->isFileListCompleted())
        return true;
    const int answer =
        mp_seams->ask(Dialogs::Information, tr("The previous task is not completed."),
                      {tr("Resume"), tr("Restart"), tr("Cancel")}, 0, 2);
    if (answer == 0)
        *resume = true;
    return answer == 0 || answer == 1;
}

bool RunPresenter::canResumeStopped() const
{
    const Task task = mp_controller->task();
    return isIdle() && !m_closing && mp_controller->isTaskCompleted() &&
           mp_controller->isStopRequested() && mp_controller->isFileListCompleted() &&
           !task.m_sourcePath.isEmpty() && !task.m_destinationPath.isEmpty();
}

void RunPresenter::resumeStopped()
{
    if (!canResumeStopped())
        return;
    const Task task = mp_controller->task();
    // The fields may show another task by now: the run goes on with its own.
    mp_form->showTask(task);
    runTask(true, task.m_options.m_copyMode);
}

void RunPresenter::startCopy()
{
    checkPaths(false, [this] {
        bool resume = false;
        if (askAboutPreviousTask(CopyOptions::Copy, &resume))
            startRun(resume, CopyOptions::Copy);
    });
}

void RunPresenter::startMove()
{
    checkPaths(false, [this] {
        if (mp_seams->ask(Dialogs::Question, tr("Do you really want to move these files?"),
                          {tr("Yes"), tr("No")}, 1, 1) != 0)
            return;
        bool resume = false;
        if (askAboutPreviousTask(CopyOptions::Move, &resume))
            startRun(resume, CopyOptions::Move);
    });
}

void RunPresenter::verifyCopy()
{
    checkPaths(true, [this] {
        bool resume = false;
        if (askAboutPreviousTask(CopyOptions::Verify, &resume))
            startRun(resume, CopyOptions::Verify);
    });
}

void RunPresenter::fixErrors()
{
    checkPaths(false, [this] {
        if (mp_controller->errorItems().isEmpty()) {
            mp_seams->inform(tr("There is not errors to fix."));
            return;
        }
        // The errors belong to the paths of their run: fixing them under other paths would
        // pair the new paths with the old run's items.
        const Task previous = mp_controller->task();
        if (previous.m_sourcePath != mp_form->fromPath() ||
            previous.m_destinationPath != mp_form->toPath()) {
            mp_seams->warn(
                tr("The errors to fix belong to the copy from '%1' to '%2'. The paths are set "
                   "back to them; press \"Fix errors\" again to copy the errors again.")
                    .arg(previous.m_sourcePath, previous.m_destinationPath));
            mp_form->setPaths(previous.m_sourcePath, previous.m_destinationPath);
            return;
        }
        runTask(true, CopyOptions::FixErrors);
    });
}

QString RunPresenter::copyMethodText() const
{
    int method = AppSettings::instance()->copyMethod();
    if (method == 0)
        method = ProgramIdentity::defaultCopyMethod(mp_form->fromPath(), mp_form->toPath());
    return MainWindowRules::copyMethodName(method);
}

void RunPresenter::startRun(bool resume, int copyMode)
{
    if (resume || !m_startGate) {
        runTask(resume, copyMode);
        return;
    }
    Task task = mp_form->task();
    task.m_options.m_copyMode = copyMode;
    m_startGate(task, [this](const Task& checked) {
        if (!m_closing && !m_running)
            runTask(false, checked);
    });
}

void RunPresenter::runTask(bool resume, int copyMode)
{
    Task task = mp_form->task();
    task.m_options.m_copyMode = copyMode >= 0 && copyMode <= 3 ? copyMode : CopyOptions::Copy;
    const Task previous = mp_controller->task();
    if (resume && previous.m_sourcePath == task.m_sourcePath &&
        previous.m_destinationPath == task.m_destinationPath) {
        task.m_options.m_fileDecisions = previous.m_options.m_fileDecisions;
        task.m_options.m_replaceForbiddenNames = previous.m_options.m_replaceForbiddenNames;
    }
    runTask(resume, task);
}

void RunPresenter::runTask(bool resume, Task task)
{
    m_running = true;
    m_resumed = resume;
    mp_pause->reset();
    mp_form->setRunControlsEnabled(true);
    mp_progress->startRun();
    mp_seams->setStatusText(QString());
    emit runStarting();

    const AppSettings* settings = AppSettings::instance();
    RunController::Request request;
    if (settings->useExternalCopyProgram() && task.m_options.m_copyMode != CopyOptions::Verify) {
        request.externalProgram = settings->externalProgram();
        request.skipBuildListForExternalProgram = settings->skipBuildListForExternalProgram();
    }
    TaskForm::addRecentTask(task);
    request.task = task;
    request.manifestPath = settings->manifestPath();
    // Sleep would cut a run short; a computer left alone with a long copy must not sleep.
    mp_sleepInhibitor->acquire(ProgramIdentity::programName(),
                               MainWindowRules::sleepReason(task.m_options.m_copyMode));

    // The controller queues the start: the window goes on at once, and a stop reaches it.
    if (resume) {
        mp_recap->appendLine(QStringLiteral("\n%1").arg(tr("Resuming") + QStringLiteral("...")));
        mp_controller->resume(request);
    } else {
        mp_recap->clearText();
        mp_recap->appendLine(
            tr("Brindle v. %1 (by Orvane)").arg(ProgramIdentity::versionText(true, true)));
        mp_controller->start(request);
    }
    mp_progress->updateStatsLabel();
    const auto recap = [this](const QString& label, const QString& value) {
        mp_recap->appendLine(QStringLiteral("%1: %2").arg(label, value));
    };
    recap(tr("From"), task.m_sourcePath);
    recap(tr("To"), task.m_destinationPath);
    recap(tr("Copy method"), copyMethodText());
    recap(tr("Threads used"), QString::number(JobThreadPool::threadCount()));
    if (request.skipBuildListForExternalProgram) {
        mp_recap->appendLine(tr("External program skips building the file list"));
        return;
    }
    mp_recap->appendLine(tr("Task will use these copy options") + QStringLiteral(":"));
    for (const QString& line : MainWindowRules::optionsInWords(task.m_options))
        mp_recap->appendLine(line);
    const QStringList description = task.m_options.toDescriptionList();
    qDebug() << "Copy options:" << qUtf8Printable(description.join(QStringLiteral(", ")));
    qDebug() << "Skip check for file size more than"
             << settings->skipIntegrityCheckForFileSizeMoreThan() << "bytes";
}

void RunPresenter::askToStop()
{
    if (!isRunning() || m_stopping)
        return;
    // A list still being made has its own question, about what a stop then loses.
    if (mp_controller->isFileListCompleted() &&
        mp_seams->ask(Dialogs::Question,
                      tr("Do you want to stop the run? A stopped run can be saved and resumed."),
                      {tr("Stop"), tr("Continue")}, 1, 1) != 0)
        return;
    stopCopy();
}

void RunPresenter::stopCopy()
{
    const Task task = mp_controller->task();
    if (task.m_sourcePath.isEmpty() || task.m_destinationPath.isEmpty() ||
        !mp_controller->isFileListCompleted()) {
        const int answer = mp_seams->ask(Dialogs::Warning,
                                         tr("The file list is not completed yet. If you stop the "
                                            "process now you cannot save or resume the copy."),
                                         {tr("Stop the copy"), tr("Continue")}, 1, 1);
        if (answer != 0)
            return;
    }
    // The run may have ended while the question was open.
    if (!isRunning())
        return;
    mp_ui->mp_pbStop->setEnabled(false);
    mp_ui->mp_pbPause->setEnabled(false);
    if (!m_stopping)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    m_stopping = true;
    // Only this run is stopped: one that ended meanwhile does not take a new one along.
    if (!mp_controller->isTaskCompleted())
        mp_controller->stop();
}

void RunPresenter::onStorageFull(qint64 available, qint64 required)
{
    if (!qobject_cast<RunController*>(sender()))
        qWarning() << "Invalid CopyTask object found in onStorageFull(...)";
    // Asked once the copy task's signal has returned: a box waits in a loop of its own.
    QMetaObject::invokeMethod(
        this, [this, available, required] { askAboutFullStorage(available, required); },
        Qt::QueuedConnection);
}

void RunPresenter::askAboutFullStorage(qint64 available, qint64 required)
{
    const QString text =
        tr("Target storage has %1 of free space and it doesn't contain a complete copy of %2.")
            .arg(FileSystemUtils::byteSizeText(available),
                 FileSystemUtils::byteSizeText(required)) +
        QStringLiteral("\n") + tr("Do you want to continue or stop the process?");
    const int answer = mp_seams->ask(Dialogs::Warning, text, {tr("Continue"), tr("Stop")}, 1, 0);
    if (answer == 1)
        QTimer::singleShot(0, this, &RunPresenter::stopCopy);
}

void RunPresenter::onTaskCompleted()
{
    // Also when the window is closing: the run has ended either way.
    mp_sleepInhibitor->release();
    if (m_closing) {
        qDebug() << "Main window is closed. Break all operations";
        return;
    }
    m_running = false;
    mp_pause->reset();
    mp_progress->endRun();
    mp_form->setRunControlsEnabled(false);

    if (!qobject_cast<RunController*>(sender())) {
        qWarning() << mp_seams->window()->objectName()
                   << "has received a signal from invalid CopyTask instance";
        return;
    }
    if (m_stopping) {
        QApplication::restoreOverrideCursor();
        m_stopping = false;
    }
    Outcome outcome;
    outcome.counters = mp_controller->counters();
    outcome.task = mp_controller->task();
    outcome.stopped = mp_controller->isStopRequested();
    outcome.resumed = m_resumed;
    outcome.resumable = !outcome.task.m_sourcePath.isEmpty() &&
                        !outcome.task.m_destinationPath.isEmpty() &&
                        mp_controller->isFileListCompleted();
    // The boxes come once the copy task's signal has returned.
    m_outcomePending = true;
    QMetaObject::invokeMethod(
        this, [this, outcome] { showRunOutcome(outcome); }, Qt::QueuedConnection);
}

void RunPresenter::showRunOutcome(const Outcome& outcome)
{
    const CopyTask::Counters& counters = outcome.counters;
    const Task& task = outcome.task;
    const int copyMode = task.m_options.m_copyMode;
    const qint64 errors = counters[ErrorItems];
    const AppSettings* settings = AppSettings::instance();
    mp_progress->showFinalFigures(counters, outcome.stopped);

    // Whoever is looking elsewhere hears of the end; decided before a box takes the focus.
    const QString outcomeText = ProgressRules::outcomeText(
        outcome.stopped, errors, copyMode, outcome.resumed && ProgressRules::didNothing(counters));
    if (!mp_seams->window()->isActiveWindow()) {
        QPointer<RunPresenter> self(this);
        mp_seams->desktop()->notify(ProgramIdentity::programName(), outcomeText, [self] {
            if (self)
                emit self->windowWanted();
        });
    }

    if (outcome.stopped) {
        const QString text = richText("red", outcomeText);
        mp_recap->appendLine(tr("Stopped an uncompleted job"));
        if (outcome.resumable) {
            const int answer =
                mp_seams->ask(Dialogs::Warning, text,
                              {tr("Resume"), tr("Save task") + QStringLiteral("..."), tr("Close")},
                              0, 2, Qt::RichText);
            if (m_closing || answer == 0) {
                if (!m_closing)
                    runTask(true, copyMode);
                finishOutcome();
                return;
            }
            if (answer == 1)
                QTimer::singleShot(0, this, &RunPresenter::saveRequested);
        } else {
            mp_seams->ask(Dialogs::Information, text, {tr("Ok")}, 0, 0, Qt::RichText);
        }
    } else if (errors <= 0) {
        const QString text = copyMode == CopyOptions::Verify ? richText("blue", outcomeText)
                                                             : richText("darkGreen", outcomeText);
        if (mp_seams->ask(Dialogs::Information, text, {tr("View report"), tr("Ok")}, 1, 1,
                          Qt::RichText) == 0)
            mp_ui->mp_twMain->setCurrentWidget(mp_recap);
    } else {
        if (settings->autoSaveErrors())
            autoSaveErrors();
        if (mp_seams->ask(Dialogs::Information, richText("red", outcomeText),
                          {tr("View errors"), tr("Ok")}, 0, 1, Qt::RichText) == 0)
            emit errorsListRequested();
        mp_recap->appendLine(tr("The copy has %1 errors").arg(errors));
    }
    if (m_closing) {
        finishOutcome();
        return;
    }

    for (const QString& line : ProgressRules::reportLines(counters))
        mp_recap->appendLine(line);
    const ExternalProgramSettings external = settings->externalProgram();
    if (!external.filePath.isEmpty()) {
        // Whether the source is a folder is a question for the file system: asked off the
        // window's thread, the command follows the report.
        const QString source = task.m_sourcePath;
        const QString destination = task.m_destinationPath;
        QPointer<GuiLog> recap(mp_recap);
        mp_worker->runAlongside<QString>(
            [external, source, destination] {
                return ExternalProgramSettings::terminalCommand(
                    external, source, destination,
                    FileSystemUtils::isRealDirectory(QFileInfo(source)));
            },
            [recap](const QString& command) {
                if (!recap)
                    return;
                recap->appendLine(
                    tr("To make this copy from terminal you can try to use this command") +
                    QStringLiteral(":"));
                recap->appendLine(command);
            });
    }
    if (ProgressRules::isUsageEventDue(outcome.stopped, counters[FilesToCopy]))
        sendUsageEvent(QStringLiteral("copy"), counters[FilesToCopy]);
    mp_seams->window()->activateWindow();
    finishOutcome();
}

void RunPresenter::finishOutcome()
{
    m_outcomePending = false;
    emit runEnded();
}

void RunPresenter::autoSaveErrors()
{
    const QString folder = AppSettings::instance()->dataFolder();
    const QString path = folder + QDir::separator() + mp_controller->errorsFileName();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    mp_seams->setStatusText(tr("Please wait..."));
    // No run may change the copy task while the worker reads it.
    mp_form->setLocked(true);
    RunController* controller = mp_controller;
    mp_worker->run<bool>(
        // Without a data folder the path would land in the root folder.
        [controller, folder, path] {
            return !folder.isEmpty() && controller->saveToFile(path, true, false, false);
        },
        [this, path](const bool& saved) {
            if (!saved)
                qWarning() << "Unable to save errors in file" << qUtf8Printable(path);
            mp_form->setLocked(false);
            QApplication::restoreOverrideCursor();
            mp_seams->setStatusText(QString());
        });
}

void RunPresenter::sendUsageEvent(const QString& action, qint64 value)
{
    auto* analytics = new GAnalytics(this);
    analytics->setEvent(ProgramIdentity::programName(), action, value);
    // The usage event has been posted (or given up): its sender goes.
    connect(analytics, &GAnalytics::jobFinished, analytics, &QObject::deleteLater);
    QTimer::singleShot(0, analytics, &GAnalytics::doPost);
}

void RunPresenter::close()
{
    m_closing = true;
    m_running = false;
    mp_progress->endRun();
}

bool RunPresenter::waitForRunToEnd(int silenceMs)
{
    return mp_controller->waitForRunToEnd(silenceMs);
}
