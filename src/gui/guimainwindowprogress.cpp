// The main window's view of a run in progress and of its outcome.
#include "guimainwindow.h"

#include "app/appsettings.h"
#include "app/programidentity.h"
#include "desktop.h"
#include "dialogs.h"
#include "engine/copytask.h"
#include "fs/pathutils.h"
#include "guilog.h"
#include "jobs/transfercounters.h"
#include "net/ganalytics.h"
#include "progressrules.h"
#include "ui_guimainwindow.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

namespace {

// The bytes of the large file in progress last shown. Process-wide like the table it
// comes from: a new run, or a new window, does not show the same value again.
qint64 s_lastTransferredShown = 0;

QString richText(const char* colour, const QString& text)
{
    return QStringLiteral("<font color=%1><b>%2</b></font>")
        .arg(QLatin1String(colour), text.toHtmlEscaped());
}

} // namespace

void GuiMainWindow::setUpProgress()
{
    mp_taskbarProgress = std::make_unique<TaskbarProgress>();
    connect(mp_copyTask, &CopyTask::copyCompleted, this, &GuiMainWindow::onCopyCompleted);
    connect(mp_copyTask, &CopyTask::flushProgress, this, &GuiMainWindow::onFlushProgress);
}

void GuiMainWindow::setTaskbarProgress(std::unique_ptr<TaskbarProgress> progress)
{
    mp_taskbarProgress = progress ? std::move(progress) : std::make_unique<TaskbarProgress>();
}

void GuiMainWindow::resetSpeedState()
{
    m_speed = 1;
    m_remainingMs = 0;
    // The label was emptied for the new run: its first counters are shown whatever they are.
    m_lastCounters.clear();
}

void GuiMainWindow::pulseProgress()
{
    mp_ui->mp_progress->setValue(ProgressRules::pulsed(mp_ui->mp_progress->value()));
}

void GuiMainWindow::onJobProgress(const QString& name, qint64 done, qint64 total)
{
    if (total == 0) {
        mp_ui->mp_progress->setValue(mp_ui->mp_progress->minimum());
        return;
    }
    if (done > 0 && total > 0 && done != total) {
        const int percent = ProgressRules::percentOf(done, total);
        if (mp_ui->mp_progress->value() < percent)
            mp_ui->mp_progress->setValue(percent);
        else
            pulseProgress();
        if (name.isEmpty())
            return;
        const Task task = mp_copyTask->task();
        setStatusText(QStringLiteral("%1 %2 (%3)")
                          .arg(tr("Processing"),
                               ProgressRules::jobProgressLabel(name, task.m_sourcePath,
                                                               task.m_destinationPath),
                               FileSystemUtils::byteSizeText(done)));
        return;
    }
    // A finished job (done equals total) is no percentage to hold: the bar shows activity.
    if (!name.isEmpty())
        setStatusText(name);
    pulseProgress();
}

void GuiMainWindow::onTimerTimeout()
{
    mp_ui->mp_lStartTime->setText(ProgressRules::elapsedLabelText(mp_copyTask->elapsedMs()));
    m_remainingMs = ProgressRules::countedDownMs(m_remainingMs);
    updateSpeedLabel(m_speed, m_remainingMs < 0 ? -1 : m_remainingMs, false);
    // While the final flush tells how far it got, the bar shows that instead.
    if (!m_flushMeasured)
        pulseProgress();
    if (updateStatsLabel()) {
        setStatusText(QString());
        return;
    }
    // No file finished within the second: one large file is being copied, and the native
    // copier tells how far it got.
    // One snapshot: the bytes and the size are of the same file.
    const TransferCounters::FileProgress file = TransferCounters::instance()->currentFile();
    if (file.bytesCopied > 0 && file.size > 0 && file.bytesCopied != s_lastTransferredShown) {
        setStatusText(QStringLiteral("%1: %2 %3 (%4)")
                          .arg(QFileInfo(file.name).fileName(),
                               FileSystemUtils::byteSizeText(file.bytesCopied), tr("transferred"),
                               FileSystemUtils::byteSizeText(file.size)));
        s_lastTransferredShown = file.bytesCopied;
    }
}

void GuiMainWindow::onCopyCompleted(const CopyItem& item)
{
    // A placed group reports up to 2000 items in one go: the estimate is taken once for them
    // all, when the burst is over, or the window would stall for its length.
    if (qobject_cast<CopyTask*>(sender()) && !m_speedUpdateQueued) {
        m_speedUpdateQueued = true;
        QTimer::singleShot(0, this, &GuiMainWindow::updateSpeedEstimate);
    }
    onCopyCompletedForView(item);
}

void GuiMainWindow::updateSpeedEstimate()
{
    m_speedUpdateQueued = false;
    // The end of the run has shown its own figures.
    if (!isRunning())
        return;
    m_speed = mp_copyTask->averageSpeed();
    m_remainingMs = ProgressRules::smoothedRemainingMs(m_remainingMs, mp_copyTask->remainingTime());
    updateSpeedLabel(m_speed, m_remainingMs, mp_copyTask->isTaskCompleted());
}

void GuiMainWindow::onFlushProgress(qint64 written, qint64 total)
{
    setStatusText(tr("Writing to the device…"));
    m_flushMeasured = total > 0;
    if (total > 0)
        mp_ui->mp_progress->setValue(ProgressRules::percentOf(written, total));
    else
        pulseProgress();
}

void GuiMainWindow::updateSpeedLabel(qint64 speed, qint64 remainingMs, bool finished)
{
    mp_ui->mp_lEndTime->setText(ProgressRules::speedLabelText(
        speed, remainingMs, finished, AppSettings::instance()->maxTransferSpeed()));
}

bool GuiMainWindow::updateStatsLabel()
{
    const CopyTask::Counters counters = mp_copyTask->counters();
    const QVector<qint64> values(counters.begin(), counters.end());
    if (values == m_lastCounters)
        return false;
    m_lastCounters = values;
    const bool listCompleted = mp_copyTask->isFileListCompleted();
    mp_ui->mp_lStats->setText(ProgressRules::statsText(
        counters, mp_copyTask->task().m_options.m_copyMode, listCompleted));
    const ProgressRules::LauncherProgress launcher =
        ProgressRules::launcherProgress(counters, listCompleted, mp_copyTask->isTaskCompleted());
    if (launcher.visible)
        mp_taskbarProgress->setValue(launcher.value);
    mp_taskbarProgress->setVisible(launcher.visible);
    return true;
}

void GuiMainWindow::showRunOutcome()
{
    // Taken once, before any box: what is reported is this run, whatever happens while a
    // box waits for its answer.
    const CopyTask::Counters counters = mp_copyTask->counters();
    const Task task = mp_copyTask->task();
    const int copyMode = task.m_options.m_copyMode;
    const bool stopped = mp_copyTask->isStopRequested();
    const bool resumable = !task.m_sourcePath.isEmpty() && !task.m_destinationPath.isEmpty() &&
                           mp_copyTask->isFileListCompleted();
    const qint64 errors = counters[ErrorItems];
    const AppSettings* settings = AppSettings::instance();

    mp_ui->mp_lStartTime->setText(ProgressRules::finishedElapsedText(counters[TaskElapsedTime]));
    m_speed = mp_copyTask->averageSpeed();
    m_remainingMs = 0;
    if (m_speed < 2)
        m_speed = settings->maxTransferSpeed();
    updateSpeedLabel(m_speed, 0, true);
    updateStatsLabel();
    mp_ui->mp_progress->setValue(counters[FilesCompleted] == counters[FilesToCopy] ? 100 : 0);

    // Whoever is looking elsewhere hears of the end; decided before a box takes the focus.
    const QString outcome = ProgressRules::outcomeText(stopped, errors, copyMode);
    if (!isActiveWindow()) {
        QPointer<GuiMainWindow> window(this);
        mp_desktop->notify(ProgramIdentity::programName(), outcome, [window] {
            if (window)
                window->showOnTop();
        });
    }

    if (stopped) {
        const QString text = richText("red", outcome);
        mp_recapLog->appendLine(tr("Stopped an uncompleted job"));
        if (resumable) {
            const int answer =
                ask(Dialogs::Warning, text,
                    {tr("Resume"), tr("Save task") + QStringLiteral("..."), tr("Close")}, 0, 2,
                    Qt::RichText);
            if (m_closing)
                return;
            if (answer == 0) {
                runTask(mp_copyTask, true, copyMode);
                return;
            }
            if (answer == 1)
                QTimer::singleShot(0, this, &GuiMainWindow::saveTaskToFile);
        } else {
            ask(Dialogs::Information, text, {tr("Ok")}, 0, 0, Qt::RichText);
        }
    } else if (errors <= 0) {
        const QString text = copyMode == CopyOptions::Verify ? richText("blue", outcome)
                                                             : richText("darkGreen", outcome);
        if (ask(Dialogs::Information, text, {tr("View report"), tr("Ok")}, 1, 1, Qt::RichText) == 0)
            mp_ui->mp_twMain->setCurrentWidget(mp_recapLog);
    } else {
        if (settings->autoSaveErrors())
            autoSaveErrors();
        if (ask(Dialogs::Information, richText("red", outcome), {tr("View errors"), tr("Ok")}, 0, 1,
                Qt::RichText) == 0)
            showErrorsList();
        mp_recapLog->appendLine(tr("The copy has %1 errors").arg(errors));
    }
    if (m_closing)
        return;

    for (const QString& line : ProgressRules::reportLines(counters))
        mp_recapLog->appendLine(line);
    const ExternalProgramSettings external = settings->externalProgram();
    if (!external.filePath.isEmpty()) {
        mp_recapLog->appendLine(
            tr("To make this copy from terminal you can try to use this command") +
            QStringLiteral(":"));
        mp_recapLog->appendLine(ExternalProgramSettings::commandLine(external, task.m_sourcePath,
                                                                     task.m_destinationPath));
    }
    if (ProgressRules::isUsageEventDue(stopped, counters[FilesToCopy]))
        sendUsageEvent(QStringLiteral("copy"), counters[FilesToCopy]);
    activateWindow();
}

void GuiMainWindow::autoSaveErrors()
{
    const QString folder = AppSettings::instance()->dataFolder();
    const QString path = folder + QDir::separator() + mp_copyTask->errorsFileName();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    setStatusText(tr("Please wait..."));
    // Painted now: the events of the queue wait until the file is written.
    mp_statusLabel->repaint();
    // Without a data folder the path would land in the root folder.
    if (folder.isEmpty() || !mp_copyTask->saveToFile(path, true, false, false))
        qWarning() << "Unable to save errors in file" << qUtf8Printable(path);
    QApplication::restoreOverrideCursor();
    setStatusText(QString());
}

// Shows the file lists with the errors in view; the list follows the checked view mode.
void GuiMainWindow::showErrorsList()
{
    const int index = mp_ui->mp_twMain->indexOf(mp_ui->mp_tabFiles);
    mp_ui->mp_twMain->setTabVisible(index, true);
    mp_ui->mp_twMain->setCurrentIndex(index);
    if (m_viewMode != 2) {
        mp_ui->mp_rbViewErrors->setChecked(true);
        QTimer::singleShot(0, this, &GuiMainWindow::updateViewFileList);
    }
}

void GuiMainWindow::sendUsageEvent(const QString& action, qint64 value)
{
    auto* analytics = new GAnalytics(this);
    analytics->setEvent(ProgramIdentity::programName(), action, value);
    connect(analytics, &GAnalytics::jobFinished, this, &GuiMainWindow::onStatsSentToWeb);
    QTimer::singleShot(0, analytics, &GAnalytics::doPost);
}

void GuiMainWindow::onStatsSentToWeb()
{
    if (auto* analytics = qobject_cast<GAnalytics*>(sender()))
        analytics->deleteLater();
}
