#pragma once

#include "engine/runcontroller.h"

#include <QObject>

#include <functional>

class GuiLog;
class ProgressPresenter;
class PausePresenter;
class SleepInhibitor;
class TaskForm;
class WindowSeams;
class WindowWorker;

namespace Ui {
class GuiMainWindow;
}

// A run from its button to its outcome: the checks of the paths (their file-system part on
// the worker), the questions before a copy, move, verify or fix-errors run, the start and
// the stop, the full-storage question, the recap and the end-of-run box. A question that a
// copy task's signal calls for is queued, so that the signal returns before a box opens.
// Start, resume and stop reach the copy task through its RunController, queued: the
// window never waits for the run's thread.
class RunPresenter : public QObject
{
    Q_OBJECT

public:
    RunPresenter(Ui::GuiMainWindow* ui, WindowSeams* seams, WindowWorker* worker,
                 RunController* controller, TaskForm* form, ProgressPresenter* progress,
                 GuiLog* recap, QObject* parent = nullptr);
    ~RunPresenter() override;

    // From the button on, until the copy task has ended the run.
    bool isRunning() const { return m_running; }
    // No run, no check of paths and no end-of-run box waiting.
    bool isIdle() const { return !m_running && !m_checking && !m_outcomePending; }
    // Checks the fields before a run, asks what there is to ask, makes both paths absolute
    // and, when asked, creates the destination; emits pathsChecked. verify: the destination
    // must be there, nothing is created. A check already under way makes this do nothing.
    void checkPaths(bool verify);
    // When the fields show the stopped run in this mode: whether to go on, and whether to
    // resume it.
    bool askAboutPreviousTask(int copyMode, bool* resume);
    // Starts (or resumes) the task shown in the fields. A resume keeps the choices of the
    // stopped run that the fields do not show (decisions per file, replaced names).
    void runTask(bool resume, int copyMode);
    // Asked before a copy or move starts (not a resume) with the task to run; it calls go,
    // with the options the user chose, for the run to start.
    using StartGate = std::function<void(const Task&, std::function<void(const Task&)> go)>;
    void setStartGate(StartGate gate) { m_startGate = std::move(gate); }
    // Whether the copy task holds a run that stopped with its whole list, and nothing
    // else goes on: it can be resumed as it stands.
    bool canResumeStopped() const;
    // The window closes: a run's start still due is dropped, nothing more is shown.
    void close();
    // Returns once the copy task has no run going on, or when the run has reported nothing
    // for silenceMs (negative: no limit); true when no run goes on.
    bool waitForRunToEnd(int silenceMs = -1);

public slots:
    void startCopy();
    void startMove();
    void verifyCopy();
    void fixErrors();
    void stopCopy();
    // Resumes the stopped run of the copy task, in its own mode and paths (shown first).
    void resumeStopped();
    // Escape during a run: asks, then stops.
    void askToStop();

signals:
    void pathsChecked(bool accepted);
    // A run is about to start: the report of the last one is to be cleared.
    void runStarting();
    // The end-of-run box has been answered (or the run ended without one).
    void runEnded();
    // The user chose "Save task..." in the box of a stopped run.
    void saveRequested();
    // The user chose "View errors".
    void errorsListRequested();
    // The desktop notification of the end of a run was clicked.
    void windowWanted();

private:
    struct PathFacts;
    struct Outcome;
    void checkPaths(bool verify, const std::function<void()>& accepted);
    void onPathFacts(const PathFacts& facts, bool verify, const std::function<void()>& accepted);
    void createDestination(const QString& source, const QString& destination,
                           const std::function<void()>& accepted);
    void acceptPaths(const QString& source, const QString& destination,
                     const std::function<void()>& accepted);
    void finishCheck(bool accepted);
    // Through the start gate unless it resumes.
    void startRun(bool resume, int copyMode);
    void runTask(bool resume, Task task);
    void onLogAvailable(const QString& text);
    void onStorageFull(qint64 available, qint64 required);
    void askAboutFullStorage(qint64 available, qint64 required);
    void onTaskCompleted();
    void showRunOutcome(const Outcome& outcome);
    void finishOutcome();
    void sendUsageEvent(const QString& action, qint64 value);
    // Writes the errors file of the run into the data folder (the AutoSaveErrors setting).
    void autoSaveErrors();
    QString copyMethodText() const;

    Ui::GuiMainWindow* mp_ui;
    WindowSeams* mp_seams;
    WindowWorker* mp_worker;
    RunController* mp_controller;
    TaskForm* mp_form;
    ProgressPresenter* mp_progress;
    GuiLog* mp_recap;
    SleepInhibitor* mp_sleepInhibitor;
    PausePresenter* mp_pause;
    StartGate m_startGate;
    bool m_running = false;
    bool m_checking = false;
    bool m_outcomePending = false;
    bool m_closing = false;
    bool m_stopping = false;
    // The run going on (or the last) resumes a task.
    bool m_resumed = false;
};
