#pragma once

#include "model/task.h"

#include <QObject>

class RunController;
class QAction;
class QButtonGroup;
class QLineEdit;

namespace Ui {
class GuiMainWindow;
}

// The task fields of the window's "Copy" page: the two paths and the options. It turns them
// into a Task and back, keeps the options the settings leave open, and locks what may not
// change while a run goes on.
class TaskForm : public QObject
{
    Q_OBJECT

public:
    TaskForm(Ui::GuiMainWindow* ui, RunController* controller, QObject* parent = nullptr);

    // The typed paths, normalized; relative ones stay relative.
    QString fromPath() const;
    QString toPath() const;
    void setPaths(const QString& from, const QString& to);
    Task task() const;
    // Shows the task in the fields and emits taskShown.
    void showTask(const Task& task);
    // The options an external copy program leaves, and "Fix errors" when the copy task has
    // errors of a whole list.
    void updateOptionWidgets();
    // Locks the fields, options and start buttons (running: the stop button is the way out)
    // or unlocks them. The actions are the menu entries that would change the task.
    void setRunControlsEnabled(bool running);
    // While a task file is read or written: the same lock, without the stop button. Counted:
    // the controls come back when every lock taken is given back.
    void setLocked(bool locked);
    void setTaskActions(const QList<QAction*>& actions) { m_taskActions = actions; }
    // Puts the task first in the settings' recent tasks and saves them.
    static void addRecentTask(const Task& task);

public slots:
    // An empty task, the source field focused.
    void newTask();

signals:
    // A task was shown: what the window showed of the previous run is to be cleared.
    void taskShown();

private:
    static QStringList filtersFromLineEdit(const QLineEdit* lineEdit);
    // Locked while a run goes on or a lock is held.
    void applyLocks();

    Ui::GuiMainWindow* mp_ui;
    RunController* mp_controller;
    QButtonGroup* mp_bgOverwriteMode;
    QButtonGroup* mp_bgDestinationMode;
    QList<QAction*> m_taskActions;
    int m_locks = 0;
    bool m_running = false;
    // The window has no field for it: a task shown keeps the choice its file (or the command
    // line that saved it) made.
    bool m_ignoreCase = false;
};
