#pragma once

#include "model/task.h"

#include <QObject>

#include <functional>

class RunController;
class DesktopActions;
class QMenu;
class RunPresenter;
class TaskForm;
class WindowSeams;
class WindowWorker;

namespace Ui {
class GuiMainWindow;
}

// Task files and what starts a task from outside the fields: saving the run in the copy
// task (its items) or the task on screen (alone), loading a task file, the program's
// arguments and those a second start hands over, the "Recent paths" menu and the offer of
// a newer version. A task file is read and written on the worker; while it is, the
// controls that would change the copy task are locked.
class TaskFileActions : public QObject
{
    Q_OBJECT

public:
    TaskFileActions(Ui::GuiMainWindow* ui, WindowSeams* seams, WindowWorker* worker,
                    RunController* controller, TaskForm* form, RunPresenter* run,
                    QObject* parent = nullptr);

    // Built anew each time it opens.
    void setRecentPathsMenu(QMenu* menu);
    // After the last task is shown: the program's arguments, then the new-version check.
    void scheduleStartUpChecks();
    // Loads the file, shows its task and what it will do, and offers to start it: Start is
    // the default only for a file in the program's data folder, as any other may come from
    // anyone. done(loaded) follows.
    void loadTaskFile(const QString& path, const std::function<void(bool)>& done = {});

public slots:
    // The run in the copy task (its items) or the task on screen (alone).
    void saveTaskToFile();
    void loadTaskFromFile();
    // A task file handed to the program by the desktop.
    void onOpenFileRequest(const QString& path);
    // The arguments of a second start of the program, already absolute.
    void onArgumentsReceived(const QStringList& arguments);
    // The arguments the program was started with: a task file to load, or two paths to copy.
    void checkProgramArguments();
    // Offers to resume the newest run the program saved in its data folder when a closing
    // or a termination signal stopped it: "Resume" (the default) loads and resumes it,
    // "Later" keeps the file, "Discard" removes it.
    void offerStoppedTask();
    // A finished Updater (the sender) has the version on the web site.
    void onCheckForNewVersionCompleted();
    void fillRecentPathsMenu();

signals:
    // A task file has been written, or its writing failed; the box about it was answered.
    void saved(bool success);
    // A task file has been read and applied, or refused.
    void loaded(bool success);
    // The offer of a saved run has been answered, or there was none to make.
    void stoppedTaskOfferDone();
    // The window is to come up (arguments of a second start).
    void windowWanted();

private:
    struct StoppedTask;
    void askAboutStoppedTask(const StoppedTask& stopped);
    void resumeStoppedTask(const StoppedTask& stopped);
    // Once the resumed file's run completed, the file has served its purpose.
    void onRunEnded();
    void saveRunToFile(const Task& task);
    void saveDefinitionToFile(const Task& task);
    QString askTaskFileName(const Task& task);
    // Runs write on the worker with the controls locked, then tells how it went.
    void writeTaskFile(const QString& path, const std::function<bool()>& write);
    // False when they ask for nothing.
    bool applyArguments(const QStringList& arguments);
    // What a loaded task will do, in words, for the box that offers to start it; items is
    // the number of items the file lists.
    static QString taskSummary(const Task& task, int items);
    // Offers the version announced on the web site when it is newer than this one.
    void offerNewVersion(const QString& latestVersion, bool newer, const QString& url);
    void onRecentPathClicked();
    void onClearRecentPathsClicked();
    void onSaveRecentPathsClicked();

    Ui::GuiMainWindow* mp_ui;
    WindowSeams* mp_seams;
    WindowWorker* mp_worker;
    RunController* mp_controller;
    TaskForm* mp_form;
    RunPresenter* mp_run;
    QMenu* mp_recentPathsMenu = nullptr;
    // The saved run resumed from the offer at start-up, removed once its run completed.
    QString m_resumedStoppedPath;
};
