#pragma once

#include "taskbarprogress.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class RunController;
class Desktop;
class DesktopActions;
class Dialogs;
class GuiLog;
class ManifestCheckActions;
class ProgressPresenter;
class QueuePresenter;
class QAction;
class ReportView;
class RunCheck;
class RunPresenter;
class TaskFileActions;
class TaskForm;
class WindowSeams;
class WindowWorker;

namespace Ui {
class GuiMainWindow;
}

// The program's one window. It owns the process's RunController, whose copy task, on the
// run's own thread, is reused for every run, and lays out and wires the parts that do the work: the
// task fields (TaskForm), a run from its button to its outcome (RunPresenter), what a run shows
// while it goes (ProgressPresenter), the "Report" tab (ReportView), task files and arguments
// (TaskFileActions), what it asks of the desktop (DesktopActions) and a folder checked against a
// checksum list (ManifestCheckActions). They reach the user only
// through the window's Dialogs and the desktop only through its Desktop, both replaceable, and make
// their file-system and D-Bus calls on its WindowWorker.
class GuiMainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit GuiMainWindow(QWidget* parent = nullptr);
    ~GuiMainWindow() override;

    // Replace the questions and the desktop (tests answer from a script).
    void setDialogs(std::unique_ptr<Dialogs> dialogs);
    void setDesktop(std::unique_ptr<Desktop> desktop);
    Dialogs* dialogs() const;
    Desktop* desktop() const;
    // Replaces the launcher (task-bar) progress; the default one shows nothing.
    void setTaskbarProgress(std::unique_ptr<TaskbarProgress> progress);

    RunController* controller() const { return mp_controller; }
    TaskForm* taskForm() const { return mp_form; }
    RunPresenter* runPresenter() const { return mp_run; }
    ProgressPresenter* progressPresenter() const { return mp_progress; }
    ReportView* reportView() const { return mp_report; }
    TaskFileActions* taskFileActions() const { return mp_taskFiles; }
    DesktopActions* desktopActions() const { return mp_desktopActions; }
    ManifestCheckActions* manifestCheckActions() const { return mp_manifestCheck; }
    RunCheck* runCheck() const { return mp_check; }
    QueuePresenter* queuePresenter() const { return mp_queue; }

    // Fills the widgets from the most recent task of the settings, or from the default one,
    // and then follows the program's arguments and checks for a new version.
    void restoreLastTask();
    // Closes the window without asking: a run going on is stopped, as the quit question's
    // "Yes" would (the program was asked to end by a signal, nobody may be there to answer).
    void closeWithoutAsking();
    // Whether a run is going on.
    bool isRunning() const;
    // No run, no check, no end-of-run box and no work on the worker is under way.
    bool isIdle() const;
    // What the program exits with once its window closed: StoppedExitCode after a run the
    // closing (or a termination signal) stopped, whose task was then saved in the data
    // folder as brindle-cli saves it (on the worker; this waits for it) when its list was
    // complete; 0 otherwise. Call it once the run has ended (waitForRunToEnd).
    int finishClosing();
    static constexpr int StoppedExitCode = 3;
    // Where finishClosing saved the stopped run; empty when it saved none.
    QString savedStoppedTask() const { return m_savedStoppedTask; }
    // Returns once no run is going on: a window closed during a run has stopped it, and
    // the program waits for its jobs to finish and for what they wrote to be placed. False
    // when the run reported nothing for silenceMs (negative: no limit) and goes on.
    bool waitForRunToEnd(int silenceMs = -1);

    // A preferences dialog as the window needs it: filled from the settings, run modally,
    // and on acceptance stored into them. The window builds one with the factory given
    // here; without a factory the "Preferences" entry is hidden.
    class PreferencesDialog
    {
    public:
        virtual ~PreferencesDialog();
        virtual void loadSettings() = 0;
        // True when accepted.
        virtual bool exec() = 0;
        virtual void storeSettings() = 0;
    };
    using PreferencesFactory = std::function<std::unique_ptr<PreferencesDialog>(QWidget* parent)>;
    void setPreferencesFactory(PreferencesFactory factory);

public slots:
    void showOnTop();
    // The "Resume" action: the run stopped with its whole list goes on.
    void resumeStoppedRun();
    void onShowSettings();
    // A task file handed to the program by the desktop.
    void onOpenFileRequest(const QString& path);
    // The arguments of a second start of the program, already absolute.
    void onArgumentsReceived(const QStringList& arguments);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void setUpMenus();
    void updateResumeAction();

    std::unique_ptr<Ui::GuiMainWindow> mp_ui;
    std::unique_ptr<WindowSeams> mp_seams;
    PreferencesFactory m_preferencesFactory;
    RunController* mp_controller = nullptr;
    WindowWorker* mp_worker = nullptr;
    TaskForm* mp_form = nullptr;
    ProgressPresenter* mp_progress = nullptr;
    RunPresenter* mp_run = nullptr;
    ReportView* mp_report = nullptr;
    TaskFileActions* mp_taskFiles = nullptr;
    DesktopActions* mp_desktopActions = nullptr;
    ManifestCheckActions* mp_manifestCheck = nullptr;
    RunCheck* mp_check = nullptr;
    QueuePresenter* mp_queue = nullptr;
    GuiLog* mp_recapLog = nullptr;
    GuiLog* mp_logView = nullptr;
    bool m_closeWithoutAsking = false;
    // Closing stopped a run: its task is saved for the next start.
    bool m_runStoppedByClosing = false;
    QString m_savedStoppedTask;
    QAction* mp_actResume = nullptr;
    QAction* mp_actNewWindow = nullptr;
    QAction* mp_actPreferences = nullptr;
};
