// CopyTask, continued: task files (TaskFileStore), the counters and the item lists
// (TaskLedger).

#include "engine/copytask.h"

#include "app/appsettings.h"
#include "app/programidentity.h"
#include "engine/taskfile.h"
#include "engine/taskfilestore.h"

#include <QDebug>

QString CopyTask::externalProgramRefusal(const ExternalProgramSettings& asked, bool ownUsed,
                                         const ExternalProgramSettings& own)
{
    return TaskFileStore::externalProgramRefusal(asked, ownUsed, own);
}

bool CopyTask::saveTaskDefinition(const QString& path, const Task& task)
{
    return TaskFileStore::saveTaskDefinition(path, task);
}

bool CopyTask::saveToFile(const QString& path, bool errorsOnly, bool allItems,
                          bool errorsAsUnprocessed)
{
    const TaskFileStore::Run run{m_run.m_task,
                                 m_run.m_ledger.completed(),
                                 m_run.m_ledger.folders(),
                                 m_run.m_externalProgram,
                                 m_run.m_skipBuildListForExternalProgram,
                                 m_run.m_fileListCompleted,
                                 m_run.m_elapsedTime,
                                 m_run.m_destination.mountPoint(),
                                 m_run.m_stopRequested};
    return TaskFileStore::save(path, run, errorsOnly, allItems, errorsAsUnprocessed);
}

bool CopyTask::loadFromFile(const QString& path)
{
    if (!isTaskCompleted()) {
        qWarning() << "Unable to load task from file" << qUtf8Printable(path)
                   << "while a copy is running";
        return false;
    }
    if (!load(TaskFile::read(path)))
        return false;
    qDebug() << "Load task completed from file" << qUtf8Printable(path);
    return true;
}

bool CopyTask::load(const TaskFile::Result& file)
{
    // Nothing of a file that was refused reaches the task.
    if (!isTaskCompleted() || !file.error.isEmpty())
        return false;
    m_run.m_ledger.clear(true);
    m_run.m_earlier.clear();
    m_run.m_task = file.task;
    m_run.m_ledger.setVerify(m_run.m_task.m_options.m_copyMode == CopyOptions::Verify);
    // What setTask does, for a caller that resumes the loaded task as it stands.
    m_run.m_skipErrorPatterns =
        FileSystemUtils::compileWildcardPatterns(m_run.m_task.m_options.m_skipErrorOnFiles);
    m_run.m_externalProgram = file.externalProgram;
    m_run.m_skipBuildListForExternalProgram = file.skipBuildListForExternalProgram;
    m_run.m_elapsedTime = file.elapsedTime;
    m_run.m_lastRunStopped = file.runStopped;
    m_run.m_destination.setMountPoint(file.destinationMountPoint);
    m_run.m_ledger.completed() = file.items;
    m_run.m_ledger.folders() = file.folders;
    for (const CopyItem& item : qAsConst(m_run.m_ledger.completed())) {
        if (item.copy_state != Unprocessed)
            m_run.m_ledger.countCompleted(item);
        m_run.m_ledger.countToCopy(item);
    }

    // A loaded task is a stopped run; one whose list is not whole starts afresh on resume.
    m_run.m_stopRequested = true;
    m_run.m_fileListCompleted = file.fileListCompleted;
    m_run.setPhase(TaskPhase::Phase::Stopped);
    m_run.m_skipStorageCheck = false;
    return true;
}

QString CopyTask::errorsFileNameFor(const Task& task)
{
    return QStringLiteral("copyerrors-%1.%2")
        .arg(FileSystemUtils::twoStringHash(task.m_sourcePath, task.m_destinationPath),
             ProgramIdentity::taskFileExtension());
}

qint64 CopyTask::counter(int index) const
{
    return m_run.m_ledger.counter(index);
}

qint64 CopyTask::elapsedMs() const
{
    return m_run.elapsedMs();
}

qint64 CopyTask::averageSpeed() const
{
    // Read live, not from the run's settings: it only bounds the displayed estimate, on this
    // thread, and never changes what the run does.
    return averageSpeedFor(m_run.m_ledger.counters()[BytesCompleted], elapsedMs(),
                           AppSettings::instance()->maxTransferSpeed());
}

qint64 CopyTask::remainingTime() const
{
    return remainingTimeFor(m_run.m_ledger.counters(), m_run.m_task.m_options.m_copyMode,
                            m_run.m_fileListCompleted, isTaskCompleted(), averageSpeed());
}

QList<CopyItem> CopyTask::errorItems() const
{
    return m_run.m_ledger.errorItems();
}

QList<CopyItem> CopyTask::copiedItems() const
{
    return m_run.m_ledger.copiedItems();
}

QList<CopyItem> CopyTask::skippedItems() const
{
    return m_run.m_ledger.skippedItems();
}

QList<CopyItem> CopyTask::checkedItems() const
{
    return m_run.m_ledger.checkedItems();
}

QList<CopyItem> CopyTask::unprocessedItems() const
{
    return m_run.m_ledger.unprocessedItems();
}

QList<CopyItem> CopyTask::folderItems() const
{
    return m_run.m_ledger.folderItems();
}
