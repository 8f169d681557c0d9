#pragma once

#include "model/task.h"
#include "queue/queuedrun.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QTimer>

#include <functional>

class QueueModel;
class QPushButton;
class QTableView;
class QTabWidget;
class QBoxLayout;
class TaskForm;
class WindowSeams;
class WindowWorker;

// The window's side of the queue of runs: "Add to queue" beside the run buttons, and the
// "Queue" tab that shows the user's queue live and pauses, continues, stops, removes and
// moves its runs. Every socket and file call goes to the worker; the queue itself is run by
// a brindle-cli process (started here when none runs it), so closing the window leaves the
// queue running.
class QueuePresenter : public QObject
{
    Q_OBJECT

public:
    // gate: the check a run makes before it starts, handed the task and what to do with
    // the task it accepted.
    using Gate = std::function<void(const Task&, std::function<void(const Task&)>)>;

    QueuePresenter(QTabWidget* tabs, QBoxLayout* runButtons, WindowSeams* seams,
                   WindowWorker* worker, TaskForm* form, Gate gate, QObject* parent = nullptr);

    QueueModel* model() const { return mp_model; }
    QTableView* view() const { return mp_view; }
    // How often the queue is read while the window is open.
    void setRefreshInterval(int ms) { m_refresh.setInterval(ms); }
    // The program that runs the queue; by default brindle-cli beside the window's program.
    void setRunnerProgram(const QString& program) { m_runnerProgram = program; }

public slots:
    void refresh();
    void addToQueue(int copyMode);
    // One of "pause", "continue", "stop", "remove", "up", "down" for the selected run.
    void control(const QString& request);

signals:
    // A refresh was shown.
    void refreshed();

private:
    struct Snapshot
    {
        bool read = false;
        QList<QueuedRun> runs;
    };
    void show(const Snapshot& snapshot);
    void notifyEnds(const QList<QueuedRun>& runs);
    QString runnerProgram() const;

    WindowSeams* mp_seams;
    WindowWorker* mp_worker;
    TaskForm* mp_form;
    Gate m_gate;
    QueueModel* mp_model;
    QTableView* mp_view;
    QTimer m_refresh;
    bool m_reading = false;
    QString m_dataFolder;
    QString m_socketName;
    QString m_runnerProgram;
    // The states last shown, to tell the runs that ended since.
    QHash<QString, QueuedRun::State> m_shownStates;
    bool m_shownOnce = false;
};
