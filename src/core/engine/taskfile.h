#pragma once

#include "model/copyitem.h"
#include "model/externalprogramsettings.h"
#include "model/task.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Reads a task file (a stopped or failed run that CopyTask::saveToFile wrote, or one from
// elsewhere) into plain values, without a copy task, a QSettings object or any other state
// outside the call: the same text always reads the same. Items and folders that cannot be
// read or that leave the task's source or destination are left out, each with a warning;
// a malformed task, count or time refuses the whole file.
//
// Every problem is logged as it is found, naming the file; the caller applies a result
// only when it holds no error.
namespace TaskFile {

struct Result
{
    // The warning that refused the file; empty when the file was read.
    QString error;

    Task task;
    // Every item read, in the file's order, with its saved state.
    QList<CopyItem> items;
    QList<CopyItem> folders;
    // The defaults of ExternalProgramSettings where the file leaves them out.
    ExternalProgramSettings externalProgram;
    // Whether the file holds any key of the external program's group.
    bool hasExternalProgram = false;
    bool skipBuildListForExternalProgram = false;
    // Where the destination's file system was mounted when the run began; empty in older
    // files.
    QString destinationMountPoint;
    // Milliseconds the saved run had taken.
    qint64 elapsedTime = 0;
    // 1 when the saved run ended stopped, 0 when it completed, -1 when the file does not say.
    int runStopped = -1;
    // The file says that its run had listed the whole source, it announces at least one
    // item, and every item and folder it announces was read. A resume of a list that is
    // not whole walks the source again.
    bool fileListCompleted = false;
};

// The file at path; an unreadable path, binary data or an over-long line refuse it.
Result read(const QString& path);
// The text of a task file held in memory; name stands for the file in the warnings.
Result read(const QByteArray& text, const QString& name);

} // namespace TaskFile
