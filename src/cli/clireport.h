#pragma once

#include "engine/copytask.h"
#include "model/copyitem.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// The texts brindle-cli prints: the progress line while a run goes on, and the report
// at its end.
namespace CliReport {

// A snapshot of a copy task's counters, indexed by TaskCounter.
using Counters = CopyTask::Counters;

// What a run does, as the report names it.
enum class RunKind
{
    Copy,
    Move,
    Verify
};

enum class Outcome
{
    Completed,
    CompletedWithErrors,
    Stopped,
    // Completed, and there was nothing left to do: a resume of a finished run.
    NothingToDo
};

// "250 ms", "4.70 s", "3:01 m".
QString elapsedText(qint64 ms);

// "copy", "move" or "verify".
QString runName(RunKind kind);

// "The move is completed.", "The verify has some errors.", "The copy is stopped." ...
QString headline(RunKind kind, Outcome outcome);

// The text with every control character (and every character that reorders text on
// screen) written as an escape: a file name cannot move the cursor, recolour the
// terminal or split a line. A backslash stays as it is (FileNameCodec::visibleText).
QString safeText(const QString& text);

// "Total Folders: 3" ... "Errors: 0", "Elapsed Time: ...", "Average Speed: ...", "Done",
// with the files counted under the name of what the run did to them; a resume also tells
// how many files it found changed since the run it goes on with.
QStringList reportLines(const Counters& counters, RunKind kind, qint64 elapsedMs,
                        bool resumed = false);

// Whether a completed run did nothing at all: no file copied, moved or checked, no error.
bool didNothing(const Counters& counters);

// One line per item in error: its path, its message and the reasons behind it.
QStringList errorLines(const QList<CopyItem>& errorItems);

// The items a filter left out (CopyItem::filtered_by), in the order the walk met them.
QList<CopyItem> filteredItems(const QList<CopyItem>& skippedItems);
// "Filtered Files: 2", then one line per item: its path and the filter that left it out.
QStringList filteredLines(const QList<CopyItem>& filteredItems);
// Adds "filteredFiles", "filteredFolders" and "filteredItems" to a report.
void addFiltered(QJsonObject& report, const QList<CopyItem>& filteredItems);

// Bytes per second over the whole run, however short; 0 when nothing was measured.
qint64 realSpeed(qint64 bytes, qint64 elapsedMs);

// Speed and remaining time measured from what the run has done since it was first
// sampled, so that a resumed run's earlier work does not count as done quickly.
class ProgressEstimate
{
public:
    // The counters at elapsedMs after the start of the run.
    void update(qint64 elapsedMs, const Counters& counters, bool fileListCompleted);
    // 0 until a second has been measured.
    qint64 bytesPerSecond() const { return m_bytesPerSecond; }
    // -1 while unknown: list still growing, or nothing measured yet.
    qint64 remainingMs() const { return m_remainingMs; }

    // Each file costs as much as copying this many bytes: opening, creating, naming and
    // dating it. A tree of small files is bound by their number, one of large files by
    // their size.
    static constexpr qint64 FileCostInBytes = 64 * 1024;

private:
    bool m_started = false;
    qint64 m_startMs = 0;
    qint64 m_startBytes = 0;
    qint64 m_startUnits = 0;
    qint64 m_bytesPerSecond = 0;
    qint64 m_remainingMs = -1;
};

// "12/40 files, 1.2 MB/3.4 MB, 850 kB/s, 3 s left"; while the list is still being
// built the totals are marked as growing and no time is given. A speed of 0 and a
// negative time are left out.
QString progressLine(const Counters& counters, bool fileListCompleted, qint64 bytesPerSecond,
                     qint64 remainingMs);

// While the end of a run writes what it copied to the device: "Writing to the device… 45%",
// without the percent while the amount waiting is unknown (total 0).
QString flushLine(qint64 written, qint64 total);

// The version of the --json objects' keys (docs/cli-json.md); raised when one changes meaning.
constexpr int jsonSchema = 1;

// The one --json object of a run refused before it began (exit 2): code "usage" (the
// command line) or "refused" (its paths, task file or checksum list).
QByteArray errorJson(const QString& command, const QString& code, const QString& text);

// The whole report for --json.
QJsonObject reportJson(const QString& command, const QString& outcome, const Counters& counters,
                       const QList<CopyItem>& errorItems, qint64 bytesPerSecond);

} // namespace CliReport
