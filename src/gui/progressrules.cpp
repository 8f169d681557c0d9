#include "progressrules.h"

#include "base/saturating.h"
#include "fs/pathutils.h"

#include <limits>

namespace {

QString number(qint64 value)
{
    return QString::number(value);
}

QString sizeText(qint64 bytes)
{
    return FileSystemUtils::byteSizeText(bytes);
}

} // namespace

int ProgressRules::pulsed(int value)
{
    return value >= 99 ? 1 : value + 1;
}

int ProgressRules::percentOf(qint64 done, qint64 total)
{
    if (total <= 0)
        return 0;
    const qint64 percent = FileSystemUtils::roundToInt64(double(done) / double(total) * 100.0);
    return static_cast<int>(qBound<qint64>(0, percent, 100));
}

qint64 ProgressRules::workUnits(qint64 files, qint64 bytes)
{
    return saturatingAdd(qMax<qint64>(0, bytes),
                         saturatingMultiply(qMax<qint64>(0, files), FileCostInBytes));
}

ProgressRules::Counters ProgressRules::clamped(const Counters& counters)
{
    Counters result = counters;
    for (const auto& pair : {std::pair<int, int>{FilesCompleted, FilesToCopy},
                             {BytesCompleted, BytesToCopy},
                             {FoldersSynced, FoldersFound}}) {
        result[pair.first] =
            qBound<qint64>(0, result[pair.first], qMax<qint64>(0, result[pair.second]));
        result[pair.second] = qMax<qint64>(0, result[pair.second]);
    }
    return result;
}

int ProgressRules::barPercent(const Counters& counters, bool fileListCompleted, RunView view)
{
    if (view == RunView::Completed && fileListCompleted)
        return 100;
    const Counters c = clamped(counters);
    const qint64 total = workUnits(c[FilesToCopy], c[BytesToCopy]);
    if (view == RunView::Running && !fileListCompleted)
        return -1;
    if (total <= 0)
        return view == RunView::Running ? 0 : 100;
    // Floored: 100 only once the last unit is done.
    const qint64 done = workUnits(c[FilesCompleted], c[BytesCompleted]);
    return static_cast<int>(qBound<qint64>(0, qint64(double(done) / double(total) * 100.0), 100));
}

qint64 ProgressRules::remainingMsFor(qint64 firstMs, qint64 firstUnits, qint64 nowMs,
                                     qint64 nowUnits, qint64 leftUnits, bool fileListCompleted)
{
    const qint64 measuredMs = nowMs - firstMs;
    const qint64 doneUnits = nowUnits - firstUnits;
    // Under a second, or before anything is done, a rate would be noise.
    if (!fileListCompleted || measuredMs < 1000 || doneUnits <= 0)
        return -1;
    const double estimate =
        double(qMax<qint64>(0, leftUnits)) * double(measuredMs) / double(doneUnits);
    // Held far beyond any run, so that the count never wraps to a negative one.
    const qint64 longest = std::numeric_limits<qint64>::max() / 2;
    return estimate >= double(longest) ? longest : FileSystemUtils::roundToInt64(estimate);
}

QString ProgressRules::fileProgressText(const QString& name, qint64 done, qint64 size)
{
    const qint64 shown = qBound<qint64>(0, done, qMax<qint64>(0, size));
    //: A large file being copied: its name, the share done, the bytes done of its size.
    return tr("%1: %2 % (%3 of %4)")
        .arg(name)
        .arg(percentOf(shown, size))
        .arg(sizeText(shown), sizeText(size));
}

QString ProgressRules::jobProgressLabel(const QString& text, const QString& sourcePath,
                                        const QString& destinationPath)
{
    if (FileSystemUtils::relativeDisplayPath(sourcePath, text) == text)
        return FileSystemUtils::relativeDisplayPath(destinationPath, text);
    return text;
}

QString ProgressRules::speedText(qint64 speed, qint64 maxSpeed)
{
    if (speed < 2)
        return QString();
    if (speed >= maxSpeed)
        return tr("max speed");
    return QStringLiteral("%1/s").arg(sizeText(speed));
}

QString ProgressRules::speedLabelText(qint64 speed, qint64 remainingMs, bool finished,
                                      qint64 maxSpeed)
{
    const QString speedPart = speedText(speed, maxSpeed);
    if (finished)
        return QStringLiteral("<b>%1</b>").arg(speedPart.isEmpty() ? tr("finished") : speedPart);
    if (speed < 2)
        return QStringLiteral("<font color=#003399>%1</font>").arg(tr("unknown"));
    QString remaining;
    if (remainingMs < 0)
        remaining = tr("unknown");
    else if (remainingMs < 3000)
        remaining = tr("almost finished");
    else
        //: The time a run still needs: "3 s left", "1:05 m left".
        remaining = tr("%1 left").arg(FileSystemUtils::durationText(remainingMs, false));
    return QStringLiteral("<font color=#003399>%1</font>&nbsp;&nbsp;<b>%2</b>")
        .arg(remaining, speedPart);
}

QString ProgressRules::elapsedLabelText(qint64 elapsedMs)
{
    return QStringLiteral("<font color=#04B404>%1</font>")
        .arg(FileSystemUtils::durationText(qMax<qint64>(1000, elapsedMs), false));
}

QString ProgressRules::finishedElapsedText(qint64 elapsedMs)
{
    // The text takes an int: a run of more than 24 days shows that much.
    const qint64 shown = qBound<qint64>(1000, elapsedMs, std::numeric_limits<int>::max());
    return FileSystemUtils::elapsedTimeText(static_cast<int>(shown));
}

qint64 ProgressRules::smoothedRemainingMs(qint64 shownMs, qint64 estimateMs)
{
    // Unknown either way round is taken at once: "unknown" never hides a first estimate.
    if (estimateMs < 0 || shownMs < 0)
        return estimateMs;
    const qint64 move = qAbs(estimateMs - shownMs);
    if (estimateMs < 12000)
        return move >= 2500 ? estimateMs : shownMs;
    if (estimateMs <= 60000)
        return estimateMs;
    return move > 60000 ? estimateMs : shownMs;
}

qint64 ProgressRules::countedDownMs(qint64 shownMs)
{
    return shownMs >= 3000 ? shownMs - 1000 : shownMs;
}

ProgressRules::LauncherProgress ProgressRules::launcherProgress(const Counters& counters,
                                                                bool fileListCompleted,
                                                                bool taskCompleted)
{
    // Nothing runs: an indicator left on the launcher would claim a copy in progress.
    if (taskCompleted)
        return {false, 0};
    if (!fileListCompleted || counters[BytesToCopy] - counters[BytesCompleted] <= 0)
        return {true, 50};
    // Held away from both ends: a share says little about the time left.
    return {true, qBound(30, barPercent(counters, true, RunView::Running), 90)};
}

QString ProgressRules::statsText(const Counters& shownCounters, int copyMode,
                                 bool fileListCompleted, RunView view, bool paused)
{
    const Counters counters = clamped(shownCounters);
    QString title;
    if (view == RunView::Running && paused)
        title = tr("Paused");
    else if (view == RunView::Completed)
        title = tr("Completed");
    else if (view == RunView::Stopped)
        title = tr("Stopped");
    else if (copyMode == CopyOptions::Move)
        title = tr("Moving…");
    else if (copyMode == CopyOptions::Verify)
        title = tr("Verifying…");
    else if (copyMode == CopyOptions::FixErrors)
        title = tr("Fixing errors…");
    else
        title = tr("Copying…");
    const QString head = QStringLiteral("<b>%1</b>").arg(title);
    const QString processed =
        QStringLiteral("<b>%1</b> (<b>%2</b>) %3")
            .arg(number(counters[FilesCompleted]), sizeText(counters[BytesCompleted]),
                 tr("processed files of"));
    const QString total =
        (fileListCompleted ? QStringLiteral("<b>%1</b> (<b>%2</b>)") : QStringLiteral("%1 (%2)"))
            .arg(number(counters[FilesToCopy]), sizeText(counters[BytesToCopy]));
    const auto coloured = [](const char* colour, qint64 count, const QString& word) {
        return QStringLiteral("<font color=%1><b>%2</b> %3</font>")
            .arg(QLatin1String(colour), number(count), word);
    };
    QString text =
        QStringLiteral("%1<br />%2 %3<br />%4 - %5 - %6 - %7")
            .arg(head, processed, total, coloured("#ffbf00", counters[FilesSkipped], tr("skipped")),
                 coloured("#009933", counters[FilesCopied], tr("copied")),
                 coloured("#003399", counters[FilesChecked], tr("checked")),
                 coloured("#ff0000", counters[ErrorItems], tr("errors")));

    const qint64 remainingBytes = counters[BytesToCopy] - counters[BytesCompleted];
    if (!fileListCompleted)
        text += QStringLiteral("<br /><font color=#808080><b>%1</b></font>")
                    .arg(view == RunView::Running ? tr("building file list")
                                                  : tr("file list not completed"));
    else if (remainingBytes > 0)
        text += QStringLiteral("<br /><font color=#808080><b>%1 %2</b></font>")
                    .arg(sizeText(remainingBytes), tr("left"));
    else if (counters[FoldersSynced] == counters[FoldersFound])
        text += QStringLiteral("<br /><font color=#808080><b>%1</b></font>")
                    .arg(tr("operation completed"));
    else
        text += QStringLiteral("<br /><font color=#808080>%1</font>")
                    .arg(tr("%1 copied folders of %2 processed")
                             .arg(QStringLiteral("<b>%1</b>").arg(counters[FoldersSynced]),
                                  number(counters[FoldersFound])));
    return text;
}

QStringList ProgressRules::reportLines(const Counters& shownCounters, qint64 filteredFiles,
                                       qint64 filteredFolders)
{
    const Counters counters = clamped(shownCounters);
    const auto line = [](const QString& label, qint64 value) {
        return QStringLiteral("%1: %2").arg(label, number(value));
    };
    const auto sizeLine = [](const QString& label, qint64 bytes) {
        return tr("%1: %2 (%3 bytes)").arg(label, sizeText(bytes), number(bytes));
    };
    QStringList lines{line(tr("Total Folders"), counters[FoldersFound]),
                      line(tr("Processed Folders"), counters[FoldersSynced]),
                      line(tr("Total Files"), counters[FilesToCopy]),
                      sizeLine(tr("Total File Size"), counters[BytesToCopy]),
                      line(tr("Processed Files"), counters[FilesCompleted]),
                      sizeLine(tr("Processed File Size"), counters[BytesCompleted]),
                      line(tr("Copied Files"), counters[FilesCopied]),
                      line(tr("Skipped Files"), counters[FilesSkipped])};
    if (filteredFiles > 0)
        lines << line(tr("Filtered Files"), filteredFiles);
    if (filteredFolders > 0)
        lines << line(tr("Filtered Folders"), filteredFolders);
    lines << line(tr("Checked Files"), counters[FilesChecked]);
    // A resume walks both sides again: what it found changed since the earlier run.
    if (counters[FilesChanged] > 0)
        lines << line(tr("Changed Since The Earlier Run"), counters[FilesChanged]);
    return lines << line(tr("Errors"), counters[ErrorItems]) << tr("Done");
}

bool ProgressRules::didNothing(const CopyTask::Counters& counters)
{
    return counters[FilesCopied] == 0 && counters[FilesChecked] == 0 && counters[ErrorItems] == 0;
}

QString ProgressRules::outcomeText(bool stopped, qint64 errors, int copyMode, bool nothingToDo)
{
    // Each kind of run by its own name.
    const bool verify = copyMode == CopyOptions::Verify;
    const bool move = copyMode == CopyOptions::Move;
    if (nothingToDo && !stopped && errors == 0)
        return verify ? tr("Nothing to do: the verify was complete.")
               : move ? tr("Nothing to do: the move was complete.")
                      : tr("Nothing to do: the copy was complete.");
    if (stopped)
        return verify ? tr("The verification of files is stopped.")
               : move ? tr("The move is stopped.")
                      : tr("The copy is stopped.");
    if (errors > 0)
        return verify ? tr("The verification found errors.")
               : move ? tr("The move has some errors.")
                      : tr("The copy has some errors.");
    return verify ? tr("The copy is verified.")
           : move ? tr("The move is completed.")
                  : tr("The copy is completed.");
}

bool ProgressRules::isUsageEventDue(bool stopped, qint64 filesToCopy)
{
    return !stopped && filesToCopy > 0;
}
