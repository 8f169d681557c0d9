// The main window's view of a run in progress and of its outcome.
#include "guimainwindow.h"

#include "engine/copytask.h"
#include "fs/pathutils.h"
#include "guilog.h"
#include "ui_guimainwindow.h"

void GuiMainWindow::onJobProgress(const QString& name, qint64 done, qint64 total)
{
    if (total <= 0) {
        mp_ui->mp_progress->setValue(mp_ui->mp_progress->minimum());
        return;
    }
    if (done > 0 && done != total) {
        const int percent = static_cast<int>(done * 100 / total);
        if (mp_ui->mp_progress->value() < percent)
            mp_ui->mp_progress->setValue(percent);
        if (!name.isEmpty())
            setStatusText(QStringLiteral("%1 %2 (%3)")
                              .arg(tr("Processing"), name, FileSystemUtils::byteSizeText(done)));
        return;
    }
    if (!name.isEmpty())
        setStatusText(name);
}

void GuiMainWindow::onTimerTimeout()
{
    const CopyTask::Counters counters = mp_copyTask->counters();
    mp_ui->mp_lStartTime->setText(
        FileSystemUtils::durationText(qMax<qint64>(1000, mp_copyTask->elapsedMs()), false));
    QString stats = tr("%1 of %2 files (%3 of %4)")
                        .arg(counters[FilesCompleted])
                        .arg(counters[FilesToCopy])
                        .arg(FileSystemUtils::byteSizeText(counters[BytesCompleted]),
                             FileSystemUtils::byteSizeText(counters[BytesToCopy]));
    if (counters[ErrorItems] > 0)
        stats += QStringLiteral(" - ") + tr("%1 errors").arg(counters[ErrorItems]);
    if (!mp_copyTask->isFileListCompleted())
        stats += QStringLiteral(" - ") + tr("building file list");
    mp_ui->mp_lStats->setText(stats);
    if (counters[BytesToCopy] > 0 && mp_copyTask->isFileListCompleted())
        mp_ui->mp_progress->setValue(static_cast<int>(
            qBound<qint64>(1, counters[BytesCompleted] * 100 / counters[BytesToCopy], 100)));
}

void GuiMainWindow::writeRunOutcome()
{
    onTimerTimeout();
    const int copyMode = mp_copyTask->task().m_options.m_copyMode;
    const qint64 errors = mp_copyTask->counter(ErrorItems);
    QString outcome;
    if (mp_copyTask->isStopRequested())
        outcome = copyMode == CopyOptions::Verify ? tr("The verification of files is stopped.")
                                                  : tr("The copy is stopped.");
    else if (errors > 0)
        outcome = tr("The copy has %1 errors").arg(errors);
    else
        outcome = copyMode == CopyOptions::Verify ? tr("The copy is verified.")
                                                  : tr("The copy is completed.");
    mp_recapLog->appendLine(outcome);
    mp_ui->mp_progress->setValue(
        mp_copyTask->counter(FilesCompleted) == mp_copyTask->counter(FilesToCopy) ? 100 : 0);
    setStatusText(outcome);
}
