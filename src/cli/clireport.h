#pragma once

#include "model/copyitem.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

// The texts brindle-cli prints: the progress line while a run goes on, and the report
// at its end (the same lines as the window's recap).
namespace CliReport {

// A snapshot of a copy task's counters, indexed as the task indexes them (1 to 11).
struct Counters
{
    enum Index
    {
        FilesCompleted = 1,
        BytesCompleted = 2,
        FilesToCopy = 3,
        BytesToCopy = 4,
        FoldersSynced = 5,
        FoldersFound = 6,
        FilesCopied = 7,
        FilesSkipped = 8,
        ErrorItems = 9,
        FilesChecked = 10,
        TaskElapsedTime = 11,
        Count = 12
    };
    QVector<qint64> values = QVector<qint64>(Count, 0);

    qint64 operator[](Index index) const { return values.value(index); }
    qint64& operator[](Index index) { return values[index]; }
};

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
