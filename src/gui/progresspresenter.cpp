#include "progresspresenter.h"

#include "app/appsettings.h"
#include "fs/pathutils.h"
#include "jobs/transfercounters.h"
#include "progressrules.h"
#include "ui_guimainwindow.h"
#include "windowseams.h"

#include <QFileInfo>

namespace {

// The bytes of the large file in progress last shown. Process-wide like the table it
// comes from: a new run, or a new window, does not show the same value again.
qint64 s_lastTransferredShown = 0;

// A file counts as completed only at its end: the bytes of the large files being copied
// are added, or the bar and the estimate would stand still for as long as each takes.
CopyTask::Counters withBytesInFlight(CopyTask::Counters counters)
{
    for (const TransferCounters::FileProgress& file : TransferCounters::instance()->files())
        if (!file.finished)
            counters[BytesCompleted] += qMax<qint64>(0, file.bytesCopied);
    return counters;
}

} // namespace

ProgressPresenter::ProgressPresenter(Ui::GuiMainWindow* ui, WindowSeams* seams,
                                     RunController* controller, QObject* parent)
    : QObject(parent), mp_ui(ui), mp_seams(seams), mp_controller(controller),
      mp_taskbarProgress(std::make_unique<TaskbarProgress>())
{
    mp_ui->mp_progress->setMaximum(100);
    mp_ui->mp_progress->setValue(0);
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &ProgressPresenter::onTimerTimeout);
    connect(mp_controller, &RunController::jobProgress, this, &ProgressPresenter::onJobProgress);
    connect(mp_controller, &RunController::copyCompleted, this,
            &ProgressPresenter::onCopyCompleted);
    connect(mp_controller, &RunController::flushProgress, this,
            &ProgressPresenter::onFlushProgress);
    clearLabels();
}

ProgressPresenter::~ProgressPresenter() = default;

void ProgressPresenter::setTaskbarProgress(std::unique_ptr<TaskbarProgress> progress)
{
    mp_taskbarProgress = progress ? std::move(progress) : std::make_unique<TaskbarProgress>();
}

void ProgressPresenter::clearLabels()
{
    mp_ui->mp_lStartTime->clear();
    mp_ui->mp_lEndTime->clear();
    mp_ui->mp_lStats->clear();
}

void ProgressPresenter::startRun()
{
    m_flushMeasured = false;
    m_paused = false;
    mp_ui->mp_progress->setValue(0);
    if (!m_timer.isActive())
        m_timer.start();
    clearLabels();
    m_speed = 1;
    m_remainingMs = -1;
    m_firstSampleMs = -1;
    m_fileSeen.clear();
    // The label was emptied for the new run: its first counters are shown whatever they are.
    m_lastCounters.clear();
}

void ProgressPresenter::endRun()
{
    m_paused = false;
    if (m_timer.isActive())
        m_timer.stop();
    mp_taskbarProgress->setVisible(false);
}

void ProgressPresenter::pulseProgress()
{
    mp_ui->mp_progress->setValue(ProgressRules::pulsed(mp_ui->mp_progress->value()));
}

void ProgressPresenter::updateBar(const CopyTask::Counters& counters)
{
    // While the final flush tells how far it got, the bar shows that instead.
    if (m_flushMeasured)
        return;
    const int percent = ProgressRules::barPercent(counters, mp_controller->isFileListCompleted(),
                                                  ProgressRules::RunView::Running);
    if (percent < 0)
        pulseProgress();
    else
        mp_ui->mp_progress->setValue(percent);
}

void ProgressPresenter::onJobProgress(const QString& name, qint64 done, qint64 total)
{
    // The bar follows the whole run; a job tells only what it is working on. A paused run's
    // last chunk does not take the place of the word "Paused".
    if (name.isEmpty() || total <= 0 || m_paused)
        return;
    if (done > 0 && done < total) {
        const Task task = mp_controller->task();
        mp_seams->setStatusText(ProgressRules::fileProgressText(
            ProgressRules::jobProgressLabel(name, task.m_sourcePath, task.m_destinationPath), done,
            total));
        return;
    }
    mp_seams->setStatusText(name);
}

void ProgressPresenter::setPaused(bool paused)
{
    m_paused = paused;
    m_lastCounters.clear();
    updateStatsLabel();
    mp_seams->setStatusText(paused ? tr("Paused: the run holds its place and goes on from there.")
                                   : QString());
}

void ProgressPresenter::onTimerTimeout()
{
    mp_ui->mp_lStartTime->setText(ProgressRules::elapsedLabelText(mp_controller->elapsedMs()));
    // Held: the time left does not count down, and nothing else moves.
    if (m_paused)
        return;
    m_speed = speedSoFar();
    const qint64 estimate = estimateRemainingMs();
    m_remainingMs = estimate < 0 ? -1
                                 : ProgressRules::smoothedRemainingMs(
                                       ProgressRules::countedDownMs(m_remainingMs), estimate);
    updateSpeedLabel(m_speed, m_remainingMs, false);
    updateBar(withBytesInFlight(mp_controller->counters()));
    const bool changed = updateStatsLabel();
    showLongFile();
    if (changed && m_fileSeen.isEmpty())
        mp_seams->setStatusText(QString());
}

void ProgressPresenter::showLongFile()
{
    // One snapshot: the bytes and the size are of the same file.
    const TransferCounters::FileProgress file = TransferCounters::instance()->currentFile();
    const bool inProgress =
        file.isValid() && !file.finished && file.size > 0 && file.bytesCopied < file.size;
    const QString seen = m_fileSeen;
    m_fileSeen = inProgress ? file.name : QString();
    if (!inProgress || file.name != seen || file.bytesCopied == s_lastTransferredShown)
        return;
    mp_seams->setStatusText(ProgressRules::fileProgressText(QFileInfo(file.name).fileName(),
                                                            file.bytesCopied, file.size));
    s_lastTransferredShown = file.bytesCopied;
}

qint64 ProgressPresenter::speedSoFar() const
{
    // The bytes of the large files being copied count, or a run of one large file would show
    // no speed until its end.
    return CopyTask::averageSpeedFor(withBytesInFlight(mp_controller->counters())[BytesCompleted],
                                     mp_controller->elapsedMs(),
                                     AppSettings::instance()->maxTransferSpeed());
}

qint64 ProgressPresenter::estimateRemainingMs()
{
    const CopyTask::Counters counters =
        ProgressRules::clamped(withBytesInFlight(mp_controller->counters()));
    const qint64 now = mp_controller->elapsedMs();
    const qint64 units =
        ProgressRules::workUnits(counters[FilesCompleted], counters[BytesCompleted]);
    if (m_firstSampleMs < 0) {
        m_firstSampleMs = now;
        m_firstSampleUnits = units;
    }
    const qint64 left =
        ProgressRules::workUnits(counters[FilesToCopy], counters[BytesToCopy]) - units;
    return ProgressRules::remainingMsFor(m_firstSampleMs, m_firstSampleUnits, now, units, left,
                                         mp_controller->isFileListCompleted());
}

void ProgressPresenter::onCopyCompleted(const CopyItem&)
{
    // A placed group reports up to 2000 items in one go: the estimate is taken once for them
    // all, when the burst is over, or the window would stall for its length.
    if (!m_speedUpdateQueued) {
        m_speedUpdateQueued = true;
        QTimer::singleShot(0, this, &ProgressPresenter::updateSpeedEstimate);
    }
}

void ProgressPresenter::updateSpeedEstimate()
{
    m_speedUpdateQueued = false;
    // The end of the run has shown its own figures.
    if (!m_timer.isActive())
        return;
    m_speed = speedSoFar();
    const qint64 estimate = estimateRemainingMs();
    m_remainingMs = ProgressRules::smoothedRemainingMs(m_remainingMs, estimate);
    updateSpeedLabel(m_speed, m_remainingMs, false);
    const int shown = mp_ui->mp_progress->value();
    updateBar(withBytesInFlight(mp_controller->counters()));
    // The count follows the bar when it moves, or for up to a second the two disagree; at
    // most once a percent, not with every burst of a run of small files.
    if (mp_ui->mp_progress->value() != shown)
        updateStatsLabel();
}

void ProgressPresenter::onFlushProgress(qint64 written, qint64 total)
{
    mp_seams->setStatusText(tr("Writing to the device…"));
    m_flushMeasured = total > 0;
    if (total > 0)
        mp_ui->mp_progress->setValue(ProgressRules::percentOf(written, total));
    else
        pulseProgress();
}

void ProgressPresenter::updateSpeedLabel(qint64 speed, qint64 remainingMs, bool finished)
{
    mp_ui->mp_lEndTime->setText(ProgressRules::speedLabelText(
        speed, remainingMs, finished, AppSettings::instance()->maxTransferSpeed()));
}

bool ProgressPresenter::updateStatsLabel()
{
    const CopyTask::Counters counters = mp_controller->counters();
    const QVector<qint64> values(counters.begin(), counters.end());
    if (values == m_lastCounters)
        return false;
    m_lastCounters = values;
    const bool listCompleted = mp_controller->isFileListCompleted();
    mp_ui->mp_lStats->setText(
        ProgressRules::statsText(counters, mp_controller->task().m_options.m_copyMode,
                                 listCompleted, ProgressRules::RunView::Running, m_paused));
    const ProgressRules::LauncherProgress launcher =
        ProgressRules::launcherProgress(counters, listCompleted, mp_controller->isTaskCompleted());
    if (launcher.visible)
        mp_taskbarProgress->setValue(launcher.value);
    mp_taskbarProgress->setVisible(launcher.visible);
    return true;
}

void ProgressPresenter::showFinalFigures(const CopyTask::Counters& counters, bool stopped)
{
    mp_ui->mp_lStartTime->setText(ProgressRules::finishedElapsedText(counters[TaskElapsedTime]));
    m_speed = mp_controller->averageSpeed();
    m_remainingMs = 0;
    if (m_speed < 2)
        m_speed = AppSettings::instance()->maxTransferSpeed();
    updateSpeedLabel(m_speed, 0, true);
    const ProgressRules::RunView view =
        stopped ? ProgressRules::RunView::Stopped : ProgressRules::RunView::Completed;
    const bool listCompleted = mp_controller->isFileListCompleted();
    m_lastCounters = QVector<qint64>(counters.begin(), counters.end());
    mp_ui->mp_lStats->setText(ProgressRules::statsText(
        counters, mp_controller->task().m_options.m_copyMode, listCompleted, view));
    mp_ui->mp_progress->setValue(qMax(0, ProgressRules::barPercent(counters, listCompleted, view)));
}
