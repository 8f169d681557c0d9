#pragma once

#include "engine/runplan.h"
#include "model/copyitem.h"
#include "model/task.h"

#include <QCoreApplication>
#include <QList>
#include <QMap>
#include <QStringList>
#include <QVector>

#include <array>

// What the window shows of a run's plan, taken from a RunPlan on the thread that built it:
// a value the dialog, the Report tab and the tests read without the file system.
class PlanReport
{
    Q_DECLARE_TR_FUNCTIONS(PlanReport)

public:
    static PlanReport of(const RunPlan& plan, const Task& task);

    // "To copy: 3 files, 1.20 MB", one line per outcome, what a move takes from the source,
    // the folders, the estimated time with its basis and the destination's file system.
    QStringList summaryLines() const;
    // Each problem in plain words with its count, then its first entries by name.
    QStringList problemLines(int shownEntries = 5) const;
    // The plain words of a problem's machine key.
    static QString problemText(const QString& code);
    // Said above the buttons when the run is certain to fail on some files; else empty.
    QString failureText() const;
    bool hasProblems() const { return !problems.isEmpty(); }
    // A problem worth stopping a run for: owners and modes a FAT stick never keeps are
    // listed, but do not ask before every copy to one.
    bool needsQuestion() const;
    bool hasCertainFailure() const;
    // Some names are refused as they are, and look-alike characters would make them fit.
    bool refusesNames() const;
    // Every problem entry, as an error item with the problem's words, for the Report tab.
    QList<CopyItem> problemItems() const;
    // The decision (CopyOptions::FileDecision) that the planned outcome of a conflict is.
    static int decisionOf(RunPlan::Outcome outcome);
    // The decisions to run with: those the task held, and each row's choice that differs
    // from what the plan would do (decisions holds one choice per conflict).
    QMap<QString, int> decisionsWith(const QVector<int>& decisions) const;
    // The relative path of a conflict, as decisions name it.
    QString keyOf(const RunPlan::Conflict& conflict) const;

    Task task;
    bool built = false;
    bool stopped = false;
    std::array<RunPlan::Tally, RunPlan::OutcomeCount> tallies{};
    RunPlan::Tally removed;
    qint64 folders = 0;
    RunPlan::Estimate estimate;
    QString fileSystem;
    QString mountType;
    qint64 availableBytes = -1;
    qint64 requiredBytes = 0;
    QList<RunPlan::Problem> problems;
    QList<RunPlan::Conflict> conflicts;
};
