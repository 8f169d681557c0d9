#pragma once

#include "engine/copytask.h"
#include "model/copyitem.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// The texts brindle-cli prints: the progress line while a run goes on, and the report
// at its end (the same lines as the window's recap).
namespace CliReport {

// A snapshot of a copy task's counters, indexed by TaskCounter.
using Counters = CopyTask::Counters;

// "Total Folders: 3" ... "Errors: 0", "Done".
QStringList reportLines(const Counters& counters);

// One line per item in error: the path and its message.
QStringList errorLines(const QList<CopyItem>& errorItems);

// "12/40 files, 1.2 Mb/3.4 Mb, 850 kb/s, 3 s left"; while the list is still being
// built the totals are marked as growing and no time is given.
QString progressLine(const Counters& counters, bool fileListCompleted, qint64 bytesPerSecond,
                     qint64 remainingMs);

// The whole report for --json.
QJsonObject reportJson(const QString& command, const QString& outcome, const Counters& counters,
                       const QList<CopyItem>& errorItems, qint64 bytesPerSecond);

} // namespace CliReport
