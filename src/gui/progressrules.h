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
    Q_DECLARE_TR_FUNCTIONS(ProgressRules)

public:
    using Counters = CopyTask::Counters;

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

    // The remaining time to show once a new estimate arrives: a negative estimate (unknown)
    // always; below 12 s only a move of 2.5 s or more; up to a minute always; beyond, only
    // a move of more than a minute, so that the label does not jump with every file.
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
    // otherwise the share of files done, held between 30 and 90.
    static LauncherProgress launcherProgress(const Counters& counters, bool fileListCompleted,
                                             bool taskCompleted);

    // The rich text of the statistics label.
    static QString statsText(const Counters& counters, int copyMode, bool fileListCompleted);
    // The lines of the report written into the recap at the end of a run.
    static QStringList reportLines(const Counters& counters);

    // The outcome of a finished run in plain words ("The copy is completed.").
    static QString outcomeText(bool stopped, qint64 errors, int copyMode);
    // A usage event is due for a run that ended by itself and had files to copy.
    static bool isUsageEventDue(bool stopped, qint64 filesToCopy);
};
