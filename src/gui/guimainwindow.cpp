#include "guimainwindow.h"

#include "accessiblenames.h"
#include "app/appsettings.h"
#include "app/programidentity.h"
#include "desktop.h"
#include "dialogs.h"
#include "engine/copytask.h"
#include "fs/sleepinhibitor.h"
#include "guilog.h"
#include "jobs/jobthreadpool.h"
#include "mainwindowrules.h"
#include "ui_guimainwindow.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QDebug>
#include <QFontMetrics>
#include <QLabel>
#include <QStatusBar>

// The images live in this static library: the program must register them itself.
static void initResources()
{
    Q_INIT_RESOURCE(brindle);
}

GuiMainWindow::PreferencesDialog::~PreferencesDialog() = default;

GuiMainWindow::GuiMainWindow(QWidget* parent)
    : QMainWindow(parent), mp_ui(std::make_unique<Ui::GuiMainWindow>()),
      mp_dialogs(std::make_unique<QtDialogs>()), mp_desktop(std::make_unique<SystemDesktop>())
{
    initResources();
    mp_ui->setupUi(this);
    setObjectName(QStringLiteral("GuiMainWindow"));
    setWindowIcon(QIcon(QStringLiteral(":/images/Brindle.png")));
    mp_copyTask = new CopyTask(this);
    mp_sleepInhibitor = new SleepInhibitor(this);

    AppSettings* settings = AppSettings::instance();
    QString title = ProgramIdentity::programName();
    if (settings->isPortable())
        title += QStringLiteral(" %1").arg(tr("Portable"));
    setWindowTitle(title);

    mp_ui->mp_leFrom->setClearButtonEnabled(true);
    mp_ui->mp_leTo->setClearButtonEnabled(true);
    mp_ui->mp_pbStop->setEnabled(false);
    mp_ui->mp_pbFixErrors->setEnabled(false);
    mp_ui->mp_progress->setMaximum(100);
    mp_ui->mp_progress->setValue(0);

    setUpMenus();

    mp_bgOverwriteMode = new QButtonGroup(this);
    mp_bgOverwriteMode->setExclusive(true);
    mp_bgOverwriteMode->addButton(mp_ui->mp_rbNoOverwrite, CopyOptions::NoOverwrite);
    mp_bgOverwriteMode->addButton(mp_ui->mp_rbOverwriteOlderExistings, CopyOptions::OverwriteOlder);
    mp_bgOverwriteMode->addButton(mp_ui->mp_rbOverwriteExistings, CopyOptions::OverwriteAlways);
    mp_bgOverwriteMode->addButton(mp_ui->mp_rbAutoRenameExistings, CopyOptions::AutoRename);
    mp_bgOverwriteMode->addButton(mp_ui->mp_rbOverwriteDifferentExistings,
                                  CopyOptions::OverwriteDifferent);
    mp_bgDestinationMode = new QButtonGroup(this);
    mp_bgDestinationMode->setExclusive(true);
    mp_bgDestinationMode->addButton(mp_ui->mp_rbDestinationCollate, CopyOptions::Collate);
    mp_bgDestinationMode->addButton(mp_ui->mp_rbDestinationNormal, CopyOptions::Normal);
    mp_bgViewFileMode = new QButtonGroup(this);
    const QList<QRadioButton*> viewButtons{mp_ui->mp_rbViewNone,   mp_ui->mp_rbViewUnprocessed,
                                           mp_ui->mp_rbViewErrors, mp_ui->mp_rbViewSkipped,
                                           mp_ui->mp_rbViewCopied, mp_ui->mp_rbViewChecked,
                                           mp_ui->mp_rbViewFolders};
    for (int id = 0; id < viewButtons.size(); ++id)
        mp_bgViewFileMode->addButton(viewButtons.at(id), id);
    mp_ui->mp_rbViewNone->setChecked(true);

    const QString filterTip =
        tr("Add one or more filters separated by comma (example: *.jpg, *.tiff)");
    mp_ui->mp_leCopyFilters->setToolTip(filterTip);
    mp_ui->mp_leSkipFilters->setToolTip(filterTip);
    setUpActions();
    setUpProgress();

    setUpFileLists();

    mp_recapLog = new GuiLog(mp_dialogs.get(), this);
    mp_recapLog->setObjectName(QStringLiteral("mp_recapLog"));
    mp_recapLog->hideOpenLogFileButton();
    mp_ui->mp_twMain->addTab(mp_recapLog, tr("Recap"));
    if (settings->logEnabled()) {
        mp_logView = new GuiLog(mp_dialogs.get(), this);
        mp_logView->setObjectName(QStringLiteral("mp_logView"));
        connect(mp_logView, &GuiLog::openLogFile, this, &GuiMainWindow::onOpenLogFile);
        mp_ui->mp_twMain->addTab(mp_logView, tr("Log"));
    }

    mp_statusLabel = new QLabel(this);
    mp_statusLabel->setObjectName(QStringLiteral("mp_statusLabel"));
    mp_statusLabel->setAlignment(Qt::AlignCenter);
    // Status texts carry file names, which are never markup.
    mp_statusLabel->setTextFormat(Qt::PlainText);
    mp_statusLabel->setWordWrap(true);
    statusBar()->addWidget(mp_statusLabel, 1);

    m_timer.setInterval(1000);
    mp_ui->mp_lStartTime->clear();
    mp_ui->mp_lEndTime->clear();
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
    updateOptionWidgets();
}

GuiMainWindow::~GuiMainWindow() = default;

void GuiMainWindow::setUpActions()
{
    connect(mp_ui->mp_pbSelectFrom, &QPushButton::clicked, this, &GuiMainWindow::selectFrom);
    connect(mp_ui->mp_pbOpenFrom, &QPushButton::clicked, this, &GuiMainWindow::openFrom);
    connect(mp_ui->mp_pbSelectTo, &QPushButton::clicked, this, &GuiMainWindow::selectTo);
    connect(mp_ui->mp_pbOpenTo, &QPushButton::clicked, this, &GuiMainWindow::openTo);
    connect(mp_ui->mp_pbStart, &QPushButton::clicked, this, &GuiMainWindow::startCopy);
    connect(mp_ui->mp_pbStartMove, &QPushButton::clicked, this, &GuiMainWindow::startMove);
    connect(mp_ui->mp_pbStop, &QPushButton::clicked, this, &GuiMainWindow::stopCopy);
    connect(mp_ui->mp_pbVerify, &QPushButton::clicked, this, &GuiMainWindow::verifyCopy);
    connect(mp_ui->mp_pbFixErrors, &QPushButton::clicked, this, &GuiMainWindow::fixErrors);
    connect(mp_ui->mp_pbClearCopyFilters, &QPushButton::clicked, mp_ui->mp_leCopyFilters,
            &QLineEdit::clear);
    connect(mp_ui->mp_pbClearSkipFilters, &QPushButton::clicked, mp_ui->mp_leSkipFilters,
            &QLineEdit::clear);
    connect(mp_ui->mp_pbClearSkipErrors, &QPushButton::clicked, mp_ui->mp_leSkipErrorFilters,
            &QLineEdit::clear);

    connect(mp_copyTask, &CopyTask::logAvailable, this, &GuiMainWindow::onLogAvailable);
    connect(mp_copyTask, &CopyTask::jobProgress, this, &GuiMainWindow::onJobProgress);
    connect(mp_copyTask, &CopyTask::taskCompleted, this, &GuiMainWindow::onTaskCompleted);
    connect(mp_copyTask, &CopyTask::storageIsFull, this, &GuiMainWindow::onStorageFull);
    connect(&m_timer, &QTimer::timeout, this, &GuiMainWindow::onTimerTimeout);
}

void GuiMainWindow::setDialogs(std::unique_ptr<Dialogs> dialogs)
{
    mp_dialogs = std::move(dialogs);
    mp_recapLog->setDialogs(mp_dialogs.get());
    if (mp_logView)
        mp_logView->setDialogs(mp_dialogs.get());
}

void GuiMainWindow::setDesktop(std::unique_ptr<Desktop> desktop)
{
    mp_desktop = std::move(desktop);
}

void GuiMainWindow::setPreferencesFactory(PreferencesFactory factory)
{
    m_preferencesFactory = std::move(factory);
    mp_actPreferences->setVisible(static_cast<bool>(m_preferencesFactory));
}

int GuiMainWindow::ask(int kind, const QString& text, const QStringList& buttons, int defaultButton,
                       int escapeButton, Qt::TextFormat format)
{
    return mp_dialogs->ask(this, {static_cast<Dialogs::Kind>(kind), text, buttons, defaultButton,
                                  escapeButton, format});
}

void GuiMainWindow::inform(const QString& text)
{
    mp_dialogs->inform(this, text, tr("Ok"));
}

void GuiMainWindow::warn(const QString& text)
{
    mp_dialogs->warn(this, text, tr("Ok"));
}

void GuiMainWindow::onLogAvailable(const QString& text)
{
    mp_recapLog->appendLine(text);
    setStatusText(text);
}

void GuiMainWindow::setStatusText(const QString& text)
{
    if (text.isEmpty()) {
        mp_statusLabel->clear();
        return;
    }
    const QFontMetrics metrics(mp_statusLabel->font());
    const QString fitted =
        MainWindowRules::fittedStatusText(text, width() - 40, [&metrics](const QString& candidate) {
            return metrics.horizontalAdvance(candidate);
        });
    if (!fitted.isNull())
        mp_statusLabel->setText(fitted);
}

void GuiMainWindow::updateOptionWidgets()
{
    const AppSettings* settings = AppSettings::instance();
    const MainWindowRules::OptionRules rules = MainWindowRules::optionRules(
        settings->useExternalCopyProgram(), settings->skipBuildListForExternalProgram());
    const QString externalTip =
        tr("This option is not available when external program is used to copy");
    const auto apply = [&externalTip](QWidget* widget, bool enabled) {
        widget->setEnabled(enabled);
        widget->setToolTip(enabled ? QString() : externalTip);
    };
    apply(mp_ui->mp_gbCopyOptions, rules.copyOptionsEnabled);
    apply(mp_ui->mp_gbFilters, rules.filtersEnabled);
    apply(mp_ui->mp_gbOverwriteModeOptions, rules.overwriteModeEnabled);
    apply(mp_ui->mp_gbDestinationMode, true);
    apply(mp_ui->mp_pbStartMove, true);
    mp_ui->mp_pbFixErrors->setEnabled(!mp_copyTask->errorItems().isEmpty() &&
                                      mp_copyTask->isFileListCompleted());
    mp_ui->mp_pbFixErrors->setToolTip(QString());
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
    updateOptionWidgets();
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
    if (!m_closeWithoutAsking && (isRunning() || !mp_copyTask->isTaskCompleted())) {
        const int answer =
            ask(Dialogs::Question,
                tr("Do you really want to quit %1?").arg(ProgramIdentity::programName()),
                {tr("Yes"), tr("No")}, 1, 1);
        if (answer != 0) {
            event->ignore();
            return;
        }
        if (!mp_copyTask->isTaskCompleted())
            mp_copyTask->stopTask();
    }
    if (m_closeWithoutAsking && !mp_copyTask->isTaskCompleted())
        mp_copyTask->stopTask();
    m_closing = true;
    if (mp_logView)
        mp_logView->stopRefresh();
    if (m_timer.isActive())
        m_timer.stop();
    event->accept();
}
