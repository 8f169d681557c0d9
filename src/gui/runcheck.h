#pragma once

#include "model/task.h"
#include "planreport.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

class QPushButton;
class QStatusBar;
class ReportView;
class TaskForm;
class WindowSeams;
class WindowWorker;

// A run looked at before it is made: "Check first" plans a copy, move or verify of the task
// shown and shows the plan, and every run is planned before it starts, the plan shown only
// when it found a problem. The plan is built off the window's thread, on a thread of its own that a
// cancel leaves behind (a hung mount never returns); the window goes on answering meanwhile.
class RunCheck : public QObject
{
    Q_OBJECT

public:
    RunCheck(WindowSeams* seams, WindowWorker* worker, TaskForm* form, ReportView* report,
             QStatusBar* statusBar, QObject* parent = nullptr);
    ~RunCheck() override;

    bool isChecking() const { return bool(mp_stop); }
    // Plans task and calls go with the task to run (the user's decisions and choices in its
    // options) unless the plan found a problem and the user cancelled. Nothing when a check
    // is already under way or this one is cancelled.
    void checkBeforeRun(const Task& task, std::function<void(const Task&)> go);
    // The plan of the last check (tests).
    const PlanReport& lastReport() const { return m_report; }

public slots:
    // "Check first": plans a copy of the task shown and shows the plan; its "Copy" starts
    // that copy with the decisions made.
    void checkFirst() { checkFirstFor(CopyOptions::Copy); }
    // The same for a run of that mode (CopyOptions::CopyMode); its plan's button starts it.
    void checkFirstFor(int copyMode);
    // Leaves the check under way: its result, when it comes, is dropped.
    void cancel();
    // The decisions of "Check first" no longer wait for a run (its paths were refused).
    void forgetDecisions() { m_decidedTask = Task(); }

signals:
    // A check ended: shown, answered, cancelled or dropped.
    void checkFinished();
    // "Copy", "Move" or "Verify" in the dialog of "Check first"; the decisions wait for that
    // run's check.
    void runRequested(int copyMode);

private:
    void plan(const Task& task, std::function<void(const PlanReport&)> done);
    void finish();
    void showFirstCheck(const PlanReport& report);
    void askBeforeRun(const PlanReport& report, const std::function<void(const Task&)>& go);

    WindowSeams* mp_seams;
    WindowWorker* mp_worker;
    TaskForm* mp_form;
    ReportView* mp_report;
    QPushButton* mp_cancelButton;
    // Set while a check is under way; its flag tells the plan's walk to stop.
    std::shared_ptr<std::atomic<bool>> mp_stop;
    PlanReport m_report;
    // The decisions made in "Check first", for the run of that same task.
    Task m_decidedTask;
};
