#pragma once

#include "engine/copytask.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

// How the main window presents a run: the texts of its labels and report, the pulse of
// its progress bar, the launcher progress and the smoothing of the remaining time. Pure
// functions of the copy task's numbers, so that every rule is plain to test.
class ProgressRules
{
    Q_GADGET
    Q_DECLARE_TR_FUNCTIONS(ProgressRules)

public:
    using Counters = CopyTask::Counters;

    // Where the run shown stands: the statistics title and the bar follow it.
    enum class RunView
    {
        Running,
        Completed,
        Stopped
    };
    Q_ENUM(RunView)

    // Each file costs as much as copying this many bytes (opening, creating, naming and
    // dating it), as brindle-cli reckons: a tree of small files is bound by their number.
    static constexpr qint64 FileCostInBytes = 64 * 1024;
    // The work of files and bytes in one measure.
    static qint64 workUnits(qint64 files, qint64 bytes);
    // The counters with what is processed held within what was found: an item counted done
    // before it was counted found never shows as "12 of 10".
    static Counters clamped(const Counters& counters);
    // The bar, in percent: the weighted share of files and bytes done; full for a run that
    // completed with its whole list, whatever its errors; a stopped run keeps its share.
    // -1 while the list is built and no share is known (the bar shows activity).
    static int barPercent(const Counters& counters, bool fileListCompleted, RunView view);
    // The remaining time from the work done between two samples of the run (elapsed ms and
    // work units) and the work left; -1 (unknown) while the list grows, under a second
    // measured or before anything was done. Never negative otherwise.
    static qint64 remainingMsFor(qint64 firstMs, qint64 firstUnits, qint64 nowMs, qint64 nowUnits,
                                 qint64 leftUnits, bool fileListCompleted);
    // The line of a file in progress: "name: 45 % (1.2 MB of 2.6 MB)".
    static QString fileProgressText(const QString& name, qint64 done, qint64 size);

    // Shows activity where no percentage is known: one step on, back to 1 from 99.
    static int pulsed(int value);
    // done of total in percent, rounded, held between 0 and 100; 0 for no total.
    static int percentOf(qint64 done, qint64 total);

    // The name shown with a job's progress: a path below the destination is shown from
    // there ("./rest"); any other text, a source path included, as it is.
    static QString jobProgressLabel(const QString& text, const QString& sourcePath,
                                    const QString& destinationPath);

    // "1.5 MB/s", "max speed" at or above maxSpeed, or empty while unknown (below 2).
    static QString speedText(qint64 speed, qint64 maxSpeed);
    // The speed label: the speed, and the remaining time while the run goes on (negative:
    // unknown; below 3000 ms: "almost finished").
    static QString speedLabelText(qint64 speed, qint64 remainingMs, bool finished, qint64 maxSpeed);
    // The elapsed-time label while a run goes on; a second at least.
    static QString elapsedLabelText(qint64 elapsedMs);
    // The elapsed time of a finished run; a second at least.
    static QString finishedElapsedText(qint64 elapsedMs);

    // The remaining time to show once a new estimate arrives: a negative estimate (unknown),
    // or any estimate while unknown is shown, always; below 12 s only a move of 2.5 s or more; up
    // to a minute always; beyond, only a move of more than a minute, so that the label does not
    // jump with every file.
    static qint64 smoothedRemainingMs(qint64 shownMs, qint64 estimateMs);
    // One second of countdown between two estimates, down to the last 3 s.
    static qint64 countedDownMs(qint64 shownMs);

    // The launcher (task-bar) progress, in percent.
    struct LauncherProgress
    {
        bool visible = false;
        int value = 0;
    };
    // Hidden when no run goes on; 50 while the list is built or no bytes are left;
    // otherwise the weighted share of files and bytes done, held between 30 and 90.
    static LauncherProgress launcherProgress(const Counters& counters, bool fileListCompleted,
                                             bool taskCompleted);

    // The rich text of the statistics label, titled with the run's state ("Paused" for a
    // running one that holds).
    static QString statsText(const Counters& counters, int copyMode, bool fileListCompleted,
                             RunView view = RunView::Running, bool paused = false);
    // The lines of the report written into the recap at the end of a run; the files and
    // folders the filters left out (listed with "report filtered" on) have a line each when
    // there are any.
    static QStringList reportLines(const Counters& counters, qint64 filteredFiles = 0,
                                   qint64 filteredFolders = 0);

    // The outcome of a finished run in plain words ("The copy is completed.").
    // nothingToDo: a resume that found every item done (it copied, checked and failed none).
    static QString outcomeText(bool stopped, qint64 errors, int copyMode, bool nothingToDo = false);
    // Whether a run copied, checked and failed nothing.
    static bool didNothing(const CopyTask::Counters& counters);
    // A usage event is due for a run that ended by itself and had files to copy.
    static bool isUsageEventDue(bool stopped, qint64 filesToCopy);
};
