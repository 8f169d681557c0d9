#pragma once

#include "engine/runcontroller.h"
#include "taskbarprogress.h"

#include <QObject>
#include <QTimer>
#include <QVector>

#include <memory>

class WindowSeams;

namespace Ui {
class GuiMainWindow;
}

// What a run shows while it goes: the bar, the elapsed time, the speed and remaining time,
// the statistics label, the launcher progress and the status line's file in progress. It
// feeds ProgressRules the copy task's counters once a second and on each finished item,
// and repaints only when they changed.
class ProgressPresenter : public QObject
{
    Q_OBJECT

public:
    ProgressPresenter(Ui::GuiMainWindow* ui, WindowSeams* seams, RunController* controller,
                      QObject* parent = nullptr);
    ~ProgressPresenter() override;

    // Replaces the launcher (task-bar) progress; the default one shows nothing.
    void setTaskbarProgress(std::unique_ptr<TaskbarProgress> progress);

    // A run begins: figures of the last one cleared, the once-a-second refresh started.
    void startRun();
    // The refresh stops and the launcher progress goes; the bar keeps its value.
    void endRun();
    // The run holds (or goes on): the figures say so and stand still.
    void setPaused(bool paused);
    // The figures of a run that ended (stopped or not), with these counters.
    void showFinalFigures(const CopyTask::Counters& counters, bool stopped);
    // Empties the time, speed and statistics labels (a task is shown).
    void clearLabels();
    // Returns whether the counters changed since the label last showed them.
    bool updateStatsLabel();

private slots:
    void onJobProgress(const QString& name, qint64 done, qint64 total);
    void onTimerTimeout();
    // The speed and remaining time, on every item a copy task finishes.
    void onCopyCompleted(const CopyItem& item);
    // The final flush of a run: written of total bytes (total 0: amount unknown).
    void onFlushProgress(qint64 written, qint64 total);

private:
    void updateSpeedEstimate();
    void updateSpeedLabel(qint64 speed, qint64 remainingMs, bool finished);
    void pulseProgress();
    // The bar from the counters while the run goes on (activity while the list is built).
    void updateBar(const CopyTask::Counters& counters);
    // The remaining time measured since the first sample of this run.
    qint64 speedSoFar() const;
    qint64 estimateRemainingMs();
    // The status line's large file in progress, once it has taken more than a second.
    void showLongFile();

    Ui::GuiMainWindow* mp_ui;
    WindowSeams* mp_seams;
    RunController* mp_controller;
    std::unique_ptr<TaskbarProgress> mp_taskbarProgress;
    QTimer m_timer;
    // The final flush of the run reports how much of it is written.
    bool m_flushMeasured = false;
    bool m_speedUpdateQueued = false;
    bool m_paused = false;
    // Bytes per second, last taken from the task (1: unknown).
    qint64 m_speed = 1;
    // Remaining time shown, counted down between estimates; negative: unknown.
    qint64 m_remainingMs = -1;
    // The first sample of this run (elapsed ms, work units; ms negative: none yet): a
    // resumed run's earlier work does not count as done quickly.
    qint64 m_firstSampleMs = -1;
    qint64 m_firstSampleUnits = 0;
    // The large file seen at the last tick: shown from the second tick that sees it.
    QString m_fileSeen;
    // The counters the statistics label last showed; empty before the first.
    QVector<qint64> m_lastCounters;
};
