#pragma once

#include "model/copyitem.h"
#include "model/externalprogramsettings.h"
#include "model/task.h"

#include <QList>
#include <QString>
#include <QStringList>

// Writes a copy task's run to a task file (TaskFile reads them back): the task, the items
// still to do or all of them, and what a resume needs to trust the file.
class TaskFileStore
{
public:
    // What a run has to write.
    struct Run
    {
        Task task;
        QList<CopyItem> completed;
        QList<CopyItem> folders;
        ExternalProgramSettings externalProgram;
        bool skipBuildListForExternalProgram = false;
        bool fileListCompleted = false;
        qint64 elapsedTime = 0;
        QString destinationMountPoint;
        // The run ended stopped, rather than completed.
        bool stopped = false;
    };

    // See CopyTask::saveToFile.
    static bool save(const QString& path, const Run& run, bool errorsOnly, bool allItems,
                     bool errorsAsUnprocessed);
    // See CopyTask::saveTaskDefinition.
    static bool saveTaskDefinition(const QString& path, const Task& task);
    // Where a stopped run of task is kept in the data folder, by brindle-cli and the window
    // alike: one file per pair of paths, so that a later stop of the same task replaces it.
    static QString stoppedTaskPath(const Task& task, const QString& dataFolder);
    // The stopped runs the program saved in the data folder, the newest first.
    static QStringList stoppedTaskFiles(const QString& dataFolder);
    // See CopyTask::externalProgramRefusal.
    static QString externalProgramRefusal(const ExternalProgramSettings& asked, bool ownUsed,
                                          const ExternalProgramSettings& own);
};
