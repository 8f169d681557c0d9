#pragma once

#include "engine/copytask.h"
#include "model/copyitem.h"
#include "model/externalprogramsettings.h"
#include "model/runsettings.h"
#include "model/task.h"

#include <QDateTime>
#include <QList>
#include <QString>

// What the window's thread knows of a run without asking the run's thread: the copy task's
// state as its thread last reported it.
struct RunSnapshot
{
    // The controller's commands the run's thread had taken when it took this state: a state
    // older than the last command that changed the copy task is not applied.
    quint64 commandsHandled = 0;
    Task task;
    ExternalProgramSettings externalProgram;
    bool skipBuildListForExternalProgram = false;
    RunSettings runSettings;
    CopyTask::Counters counters{};
    bool taskCompleted = true;
    bool fileListCompleted = false;
    bool stopRequested = false;
    bool paused = false;
    QDateTime startTime;
    QDateTime endTime;
    QString manifestPath;
    QString manifestFailure;
};

// The copy task's item lists as its ledger holds them: taken at the end of a run, when a list
// is completed and when a task file is loaded. Shared with the run's thread, not copied.
struct RunItemLists
{
    QList<CopyItem> completed;
    QList<CopyItem> folders;
    QList<CopyItem> queued;
    CopyItem runError;
    bool verify = false;

    static RunItemLists of(const CopyTask& task);
    // Into ledger, whose item queries then give what the task's would.
    void fill(TaskLedger& ledger) const;
};
