#include "guimainwindow.h"

#include "accessiblenames.h"
#include "app/appsettings.h"
#include "app/programidentity.h"
#include "desktop.h"
#include "desktopactions.h"
#include "dialogs.h"
#include "engine/runcontroller.h"
#include "engine/taskfilestore.h"
#include "guilog.h"
#include "jobs/jobthreadpool.h"
#include "manifestcheckactions.h"
#include "progresspresenter.h"
#include "queuepresenter.h"
#include "radiotabstops.h"
#include "reportview.h"
#include "runcheck.h"
#include "runpresenter.h"
#include "taskfileactions.h"
#include "taskform.h"
#include "ui_guimainwindow.h"
#include "windowseams.h"
#include "windowworker.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QEventLoop>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

// The images live in this static library: the program must register them itself. Outside
// the unnamed namespace: the macro declares the library's function.
static void initResources()
{
    Q_INIT_RESOURCE(brindle);
}

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

} // namespace

GuiMainWindow::PreferencesDialog::~PreferencesDialog() = default;

GuiMainWindow::GuiMainWindow(QWidget* parent)
    : QMainWindow(parent), mp_ui(std::make_unique<Ui::GuiMainWindow>()),
      mp_seams(std::make_unique<WindowSeams>(this, std::make_unique<QtDialogs>(),
                                             std::make_unique<SystemDesktop>()))
{
    initResources();
    mp_ui->setupUi(this);
    RadioTabStops::apply(this);
    setObjectName(QStringLiteral("GuiMainWindow"));
    setWindowIcon(QIcon(QStringLiteral(":/images/Brindle.png")));
    // The worker first: it goes first, and its last work may still wait for the run's thread.
    mp_worker = new WindowWorker(this);
    mp_controller = new RunController(this);

    AppSettings* settings = AppSettings::instance();
    QString title = ProgramIdentity::programName();
    if (settings->isPortable())
        title += QStringLiteral(" %1").arg(tr("Portable"));
    setWindowTitle(title);

    mp_recapLog = new GuiLog(mp_seams->dialogs(), this);
    mp_recapLog->setObjectName(QStringLiteral("mp_recapLog"));
    mp_recapLog->hideOpenLogFileButton();

    Ui::GuiMainWindow* ui = mp_ui.get();
    WindowSeams* seams = mp_seams.get();
    mp_form = new TaskForm(ui, mp_controller, this);
    mp_progress = new ProgressPresenter(ui, seams, mp_controller, this);
    mp_desktopActions = new DesktopActions(ui, seams, mp_worker, this);
    mp_run = new RunPresenter(ui, seams, mp_worker, mp_controller, mp_form, mp_progress,
                              mp_recapLog, this);
    mp_report = new ReportView(ui, seams, mp_controller, mp_run, mp_desktopActions, mp_form, this);
    mp_taskFiles = new TaskFileActions(ui, seams, mp_worker, mp_controller, mp_form, mp_run, this);
    mp_manifestCheck = new ManifestCheckActions(seams, mp_worker, statusBar(), this);
    mp_check = new RunCheck(seams, mp_worker, mp_form, mp_report, statusBar(), this);
    connect(mp_ui->mp_pbCheckFirst, &QPushButton::clicked, mp_check, &RunCheck::checkFirst);
    connect(mp_check, &RunCheck::runRequested, mp_run, [this](int copyMode) {
        if (copyMode == CopyOptions::Move)
            mp_run->startMove();
        else if (copyMode == CopyOptions::Verify)
            mp_run->verifyCopy();
        else
            mp_run->startCopy();
    });
    connect(mp_run, &RunPresenter::pathsChecked, mp_check, [this](bool accepted) {
        if (!accepted)
            mp_check->forgetDecisions();
    });
    mp_run->setStartGate([this](const Task& task, std::function<void(const Task&)> go) {
        mp_check->checkBeforeRun(task, std::move(go));
    });
    mp_queue = new QueuePresenter(
        mp_ui->mp_twMain, mp_ui->mp_layoutButtons, seams, mp_worker, mp_form,
        [this](const Task& task, std::function<void(const Task&)> go) {
            mp_check->checkBeforeRun(task, std::move(go));
        },
        this);
    QWidget::setTabOrder(mp_ui->mp_pbCheckFirst,
                         findChild<QPushButton*>(QStringLiteral("mp_pbAddToQueue")));

    // A task shown replaces what the window showed of the last run.
    connect(mp_form, &TaskForm::taskShown, this, [this] {
        mp_progress->clearLabels();
        mp_report->reset();
        mp_seams->setStatusText(tr("Ready"));
    });
    connect(mp_run, &RunPresenter::runStarting, mp_report, &ReportView::reset);
    connect(mp_run, &RunPresenter::errorsListRequested, mp_report, &ReportView::showErrorsList);
    connect(mp_run, &RunPresenter::windowWanted, this, &GuiMainWindow::showOnTop);
    connect(mp_taskFiles, &TaskFileActions::windowWanted, this, &GuiMainWindow::showOnTop);

    setUpMenus();
    // "Resume" is there while the last run stopped with its whole list, and nothing else
    // goes on.
    for (const auto signal : {&RunPresenter::runStarting, &RunPresenter::runEnded})
        connect(mp_run, signal, this, &GuiMainWindow::updateResumeAction);
    connect(mp_run, &RunPresenter::pathsChecked, this, &GuiMainWindow::updateResumeAction);
    connect(mp_taskFiles, &TaskFileActions::loaded, this, &GuiMainWindow::updateResumeAction);
    connect(mp_worker, &WindowWorker::idle, this, &GuiMainWindow::updateResumeAction);
    updateResumeAction();

    mp_ui->mp_twMain->addTab(mp_recapLog, tr("Recap"));
    if (settings->logEnabled()) {
        mp_logView = new GuiLog(mp_seams->dialogs(), this);
        mp_logView->setObjectName(QStringLiteral("mp_logView"));
        connect(mp_logView, &GuiLog::openLogFile, mp_desktopActions, &DesktopActions::openLogFile);
        mp_ui->mp_twMain->addTab(mp_logView, tr("Log"));
    }

    auto* statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("mp_statusLabel"));
    statusLabel->setAlignment(Qt::AlignCenter);
    // Status texts carry file names, which are never markup.
    statusLabel->setTextFormat(Qt::PlainText);
    statusLabel->setWordWrap(true);
    statusBar()->addWidget(statusLabel, 1);
    mp_seams->setStatusLabel(statusLabel);

    if (mp_logView)
        mp_logView->startRefresh();

    // The tabs come after every control of the pages, so that Tab starts at the source
    // field and walks the page before it reaches them.
    QWidget* tabBar = mp_ui->mp_twMain->tabBar();
    QWidget* last = previousInFocusChain();
    while (last != this && last->focusPolicy() == Qt::NoFocus)
        last = last->previousInFocusChain();
    if (last != this && last != tabBar)
        QWidget::setTabOrder(last, tabBar);
    AccessibleNames::nameQtButtons(this);

    mp_ui->mp_twMain->setCurrentIndex(0);
    mp_form->updateOptionWidgets();
}

GuiMainWindow::~GuiMainWindow()
{
    // A check still running ends at its next block, so that the worker need not wait long.
    mp_manifestCheck->cancel();
    // First: work still running on the worker may read the copy task.
    delete mp_worker;
}

void GuiMainWindow::setUpMenus()
{
    QMenuBar* bar = menuBar();
    const AppSettings* settings = AppSettings::instance();
    const auto named = [](QAction* action, const char* name) {
        action->setObjectName(QLatin1String(name));
        return action;
    };

    QMenu* fileMenu = bar->addMenu(tr("&File"));
    mp_actNewWindow =
        named(fileMenu->addAction(menuIcon("Brindle"), withEllipsis(tr("&Open new window")),
                                  mp_desktopActions, &DesktopActions::openNewWindow),
              "mp_actNewWindow");
    mp_actNewWindow->setShortcut(QKeySequence(QKeySequence::New));
    mp_actNewWindow->setEnabled(settings->allowMultipleInstances());
    fileMenu->addSeparator();
    QAction* newTask = named(
        fileMenu->addAction(menuIcon("NewTask"), tr("&New task"), mp_form, &TaskForm::newTask),
        "mp_actNewTask");
    QAction* selectFile =
        named(fileMenu->addAction(menuIcon("File"), withEllipsis(tr("Select single &file to copy")),
                                  mp_desktopActions, &DesktopActions::selectFromAsFile),
              "mp_actSelectFile");
    fileMenu->addSeparator();
    QAction* loadTask = named(fileMenu->addAction(menuIcon("Path"), withEllipsis(tr("&Load task")),
                                                  mp_taskFiles, &TaskFileActions::loadTaskFromFile),
                              "mp_actLoadTask");
    QAction* saveTask =
        named(fileMenu->addAction(menuIcon("SaveTask"), withEllipsis(tr("&Save task")),
                                  mp_taskFiles, &TaskFileActions::saveTaskToFile),
              "mp_actSaveTask");
    mp_actResume = named(fileMenu->addAction(menuIcon("Start"), tr("&Resume stopped run"), this,
                                             &GuiMainWindow::resumeStoppedRun),
                         "mp_actResume");
    mp_actResume->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_R));
    fileMenu->addSeparator();
    // "Check first" plans a copy; a move or a verify is planned from here.
    QAction* checkMove =
        named(fileMenu->addAction(menuIcon("Verify"), withEllipsis(tr("Check a &move first")),
                                  mp_check, [this] { mp_check->checkFirstFor(CopyOptions::Move); }),
              "mp_actCheckMove");
    QAction* checkVerify = named(
        fileMenu->addAction(menuIcon("Verify"), withEllipsis(tr("Check a &verify first")), mp_check,
                            [this] { mp_check->checkFirstFor(CopyOptions::Verify); }),
        "mp_actCheckVerify");
    QAction* checkManifest =
        named(fileMenu->addAction(menuIcon("Verify"), withEllipsis(tr("Check manifest")),
                                  mp_manifestCheck, &ManifestCheckActions::checkManifest),
              "mp_actCheckManifest");
    mp_manifestCheck->setAction(checkManifest);
    fileMenu->addSeparator();
    fileMenu->addAction(menuIcon("DataFolder"), withEllipsis(tr("Open &data folder")),
                        mp_desktopActions, &DesktopActions::openDataFolder);
    fileMenu->addSeparator();
    mp_actPreferences =
        named(fileMenu->addAction(menuIcon("Options"), withEllipsis(tr("&Preferences")), this,
                                  &GuiMainWindow::onShowSettings),
              "mp_actPreferences");
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
    mp_form->setTaskActions(
        {loadTask, mp_actPreferences, newTask, selectFile, saveTask, checkMove, checkVerify});

    mp_taskFiles->setRecentPathsMenu(bar->addMenu(tr("&Recent paths")));

    QMenu* helpMenu = bar->addMenu(tr("?"));
    QAction* about = helpMenu->addAction(menuIcon("Brindle"), withEllipsis(tr("&About")),
                                         mp_desktopActions, &DesktopActions::showAbout);
    about->setMenuRole(QAction::AboutRole);
    QAction* aboutQt = helpMenu->addAction(menuIcon("Qt"), withEllipsis(tr("Show &Qt info")), qApp,
                                           &QApplication::aboutQt);
    aboutQt->setMenuRole(QAction::AboutQtRole);
    helpMenu->addSeparator();
    // Without a web site (a build or an environment that turns it off) its entries are
    // hidden rather than left to do nothing.
    const bool hasWebSite = !ProgramIdentity::webSiteUrl().isEmpty();
    QAction* webSite =
        named(helpMenu->addAction(menuIcon("Web"), withEllipsis(tr("Open &website")),
                                  mp_desktopActions, &DesktopActions::openOfficialWebSite),
              "mp_actOpenWebSite");
    webSite->setVisible(hasWebSite);
    QAction* help =
        named(helpMenu->addAction(menuIcon("Help"), withEllipsis(tr("Open &help online")),
                                  mp_desktopActions, &DesktopActions::openHelpWebSite),
              "mp_actOpenHelp");
    help->setVisible(hasWebSite);
    helpMenu->addSeparator();
    QAction* donate =
        named(helpMenu->addAction(menuIcon("Donate"), withEllipsis(tr("&Donate")),
                                  mp_desktopActions, &DesktopActions::openDonationWebSite),
              "mp_actDonate");
    donate->setVisible(!ProgramIdentity::donationPageUrl().isEmpty());
    keepSeparatorsTidy(helpMenu);

    auto* versionLabel =
        new QLabel(QStringLiteral(" v %1 ").arg(ProgramIdentity::versionText(true, true)), bar);
    versionLabel->setObjectName(QStringLiteral("mp_versionLabel"));
    versionLabel->setAlignment(Qt::AlignCenter);
    bar->setCornerWidget(versionLabel);
}

void GuiMainWindow::setDialogs(std::unique_ptr<Dialogs> dialogs)
{
    mp_seams->setDialogs(std::move(dialogs));
    mp_recapLog->setDialogs(mp_seams->dialogs());
    if (mp_logView)
        mp_logView->setDialogs(mp_seams->dialogs());
}

void GuiMainWindow::setDesktop(std::unique_ptr<Desktop> desktop)
{
    mp_seams->setDesktop(std::move(desktop));
}

Dialogs* GuiMainWindow::dialogs() const
{
    return mp_seams->dialogs();
}

Desktop* GuiMainWindow::desktop() const
{
    return mp_seams->desktop().get();
}

void GuiMainWindow::setTaskbarProgress(std::unique_ptr<TaskbarProgress> progress)
{
    mp_progress->setTaskbarProgress(std::move(progress));
}

void GuiMainWindow::setPreferencesFactory(PreferencesFactory factory)
{
    m_preferencesFactory = std::move(factory);
    mp_actPreferences->setVisible(static_cast<bool>(m_preferencesFactory));
}

bool GuiMainWindow::isRunning() const
{
    return mp_run->isRunning();
}

bool GuiMainWindow::isIdle() const
{
    return mp_run->isIdle() && mp_worker->isIdle() && !mp_check->isChecking();
}

bool GuiMainWindow::waitForRunToEnd(int silenceMs)
{
    return mp_run->waitForRunToEnd(silenceMs);
}

void GuiMainWindow::restoreLastTask()
{
    const QList<Task> recent = AppSettings::instance()->recentTasks();
    mp_form->showTask(recent.isEmpty() ? Task() : recent.first());
    mp_taskFiles->scheduleStartUpChecks();
}

void GuiMainWindow::onOpenFileRequest(const QString& path)
{
    mp_taskFiles->onOpenFileRequest(path);
}

void GuiMainWindow::onArgumentsReceived(const QStringList& arguments)
{
    mp_taskFiles->onArgumentsReceived(arguments);
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

void GuiMainWindow::onShowSettings()
{
    if (!m_preferencesFactory)
        return;
    std::unique_ptr<PreferencesDialog> dialog = m_preferencesFactory(this);
    dialog->loadSettings();
    if (!dialog->exec())
        return;
    dialog->storeSettings();
    AppSettings* settings = AppSettings::instance();
    const int threads = JobThreadPool::threadCount();
    if (threads != settings->maxNumThreads() && !isRunning()) {
        qDebug() << "Maximum number of threads changed from" << threads << "to"
                 << settings->maxNumThreads();
        JobThreadPool::createThreads(settings->maxNumThreads());
        JobThreadPool::startThreads();
    }
    mp_actNewWindow->setEnabled(settings->allowMultipleInstances());
    mp_form->updateOptionWidgets();
}

void GuiMainWindow::updateResumeAction()
{
    const bool possible = mp_run->canResumeStopped();
    mp_actResume->setVisible(possible);
    mp_actResume->setEnabled(possible && mp_worker->isIdle());
}

void GuiMainWindow::resumeStoppedRun()
{
    // A task file still being written or read holds the copy task.
    if (!mp_worker->isIdle() || !mp_run->canResumeStopped())
        return;
    mp_run->resumeStopped();
    updateResumeAction();
}

int GuiMainWindow::finishClosing()
{
    if (!m_runStoppedByClosing || !mp_controller->isTaskCompleted())
        return 0;
    m_runStoppedByClosing = false;
    const Task task = mp_controller->task();
    const QString dataFolder = AppSettings::instance()->dataFolder();
    if (!mp_controller->isStopRequested())
        return 0;
    if (!mp_controller->isFileListCompleted() || task.m_sourcePath.isEmpty() ||
        task.m_destinationPath.isEmpty() || dataFolder.isEmpty()) {
        qWarning() << "The file list was not complete, so no task was saved";
        return StoppedExitCode;
    }
    const QString path = TaskFileStore::stoppedTaskPath(task, dataFolder);
    RunController* controller = mp_controller;
    bool saved = false;
    QEventLoop loop;
    // Written by the run's thread, asked from the worker: this thread only waits.
    mp_worker->run<bool>(
        [controller, path] { return controller->saveToFile(path, false, true, false); },
        [&saved, &loop](const bool& written) {
            saved = written;
            loop.quit();
        });
    loop.exec();
    if (saved) {
        m_savedStoppedTask = path;
        qDebug() << "The stopped run is saved in" << qUtf8Printable(path);
    } else {
        qWarning() << "Unable to save the stopped task in" << qUtf8Printable(path);
    }
    return StoppedExitCode;
}

void GuiMainWindow::closeWithoutAsking()
{
    m_closeWithoutAsking = true;
    // A hidden window is closed as well, so that the program's loop ends.
    close();
    m_closeWithoutAsking = false;
}

void GuiMainWindow::closeEvent(QCloseEvent* event)
{
    // A run counts from the button on: one whose start is still queued is asked about too,
    // and closing drops that start.
    if (!m_closeWithoutAsking && (isRunning() || !mp_controller->isTaskCompleted())) {
        const int answer =
            mp_seams->ask(Dialogs::Question,
                          tr("Do you really want to quit %1?").arg(ProgramIdentity::programName()),
                          {tr("Yes"), tr("No")}, 1, 1);
        if (answer != 0) {
            event->ignore();
            return;
        }
        if (!mp_controller->isTaskCompleted()) {
            m_runStoppedByClosing = true;
            mp_controller->stop();
        }
    }
    if (m_closeWithoutAsking && !mp_controller->isTaskCompleted()) {
        m_runStoppedByClosing = true;
        mp_controller->stop();
    }
    mp_run->close();
    mp_manifestCheck->cancel();
    if (mp_logView)
        mp_logView->stopRefresh();
    event->accept();
}
