#pragma once

#include <QObject>

class GuiLog;
class ProgressPresenter;
class RunController;
class SleepInhibitor;

namespace Ui {
class GuiMainWindow;
}

// The Pause button (and the Pause key) of a running run: it asks the run controller to hold
// or to go on, and once the run says it did, the button, the figures, the recap and the
// sleep inhibitor follow.
class PausePresenter : public QObject
{
    Q_OBJECT

public:
    PausePresenter(Ui::GuiMainWindow* ui, RunController* controller, ProgressPresenter* progress,
                   GuiLog* recap, SleepInhibitor* sleepInhibitor, QObject* parent = nullptr);

    // A run starts or ends: the button offers a pause again.
    void reset();

public slots:
    // Pauses a running run, or lets a paused one go on.
    void toggle();

private:
    void onPausedChanged(bool paused);
    void show(bool paused);

    Ui::GuiMainWindow* mp_ui;
    RunController* mp_controller;
    ProgressPresenter* mp_progress;
    GuiLog* mp_recap;
    SleepInhibitor* mp_sleepInhibitor;
};
