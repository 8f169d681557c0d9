#include "pausepresenter.h"

#include "app/programidentity.h"
#include "engine/runcontroller.h"
#include "fs/sleepinhibitor.h"
#include "guilog.h"
#include "mainwindowrules.h"
#include "progresspresenter.h"
#include "ui_guimainwindow.h"

#include <QIcon>
#include <QShortcut>

PausePresenter::PausePresenter(Ui::GuiMainWindow* ui, RunController* controller,
                               ProgressPresenter* progress, GuiLog* recap,
                               SleepInhibitor* sleepInhibitor, QObject* parent)
    : QObject(parent), mp_ui(ui), mp_controller(controller), mp_progress(progress), mp_recap(recap),
      mp_sleepInhibitor(sleepInhibitor)
{
    mp_ui->mp_pbPause->setEnabled(false);
    connect(mp_ui->mp_pbPause, &QPushButton::clicked, this, &PausePresenter::toggle);
    auto* pauseKey = new QShortcut(QKeySequence(Qt::Key_Pause), mp_ui->mp_pbPause->window());
    connect(pauseKey, &QShortcut::activated, this, &PausePresenter::toggle);
    connect(mp_controller, &RunController::pausedChanged, this, &PausePresenter::onPausedChanged);
    show(false);
}

void PausePresenter::reset()
{
    show(false);
}

void PausePresenter::toggle()
{
    // Disabled while no run goes on and once a stop was asked for.
    if (!mp_ui->mp_pbPause->isEnabled() || mp_controller->isTaskCompleted())
        return;
    // Until the run answers: a second click would only undo the first.
    mp_ui->mp_pbPause->setEnabled(false);
    if (mp_controller->isPaused())
        mp_controller->continueRun();
    else
        mp_controller->pause();
}

void PausePresenter::onPausedChanged(bool paused)
{
    if (mp_controller->isTaskCompleted())
        return;
    mp_ui->mp_pbPause->setEnabled(mp_ui->mp_pbStop->isEnabled());
    show(paused);
    mp_progress->setPaused(paused);
    mp_recap->appendLine(paused ? tr("Paused") : tr("Continued"));
    // A paused run lets the computer sleep; it holds its files, and goes on after.
    if (paused)
        mp_sleepInhibitor->release();
    else
        mp_sleepInhibitor->acquire(
            ProgramIdentity::programName(),
            MainWindowRules::sleepReason(mp_controller->task().m_options.m_copyMode));
}

void PausePresenter::show(bool paused)
{
    mp_ui->mp_pbPause->setText(paused ? tr("Continue") : tr("Pause"));
    mp_ui->mp_pbPause->setIcon(QIcon(paused ? QStringLiteral(":/images/Continue.png")
                                            : QStringLiteral(":/images/Pause.png")));
    mp_ui->mp_pbPause->setToolTip(paused ? tr("Go on from where the run holds (Pause key)")
                                         : tr("Hold the run where it is, files open (Pause key)"));
}
