#include "engine/runstate.h"

#include "engine/storageprobe.h"
#include "fs/filesystemutils.h"
#include "jobs/jobthread.h"
#include "jobs/jobthreadpool.h"

#include <QDebug>
#include <QFileInfo>

RunState::RunState(QObject* parent) : QObject(parent), mp_storageProbe(new StorageProbe)
{
    m_ledger.setManifest(&m_manifest);
}

RunState::~RunState() = default;

bool RunState::movesSources() const
{
    const int mode = m_task.m_options.m_copyMode;
    return mode == CopyOptions::Move || (mode == CopyOptions::FixErrors && m_fixingMove);
}

CopyOptions RunState::jobOptions() const
{
    CopyOptions options = m_task.m_options;
    if (movesSources())
        options.m_copyMode = CopyOptions::Move;
    return options;
}

CopyItem RunState::taskItem() const
{
    const QFileInfo info(m_task.m_sourcePath);
    const bool isFolder = FileSystemUtils::isRealDirectory(info);
    return CopyItem(m_task.m_sourcePath, m_task.m_destinationPath, isFolder ? 0 : info.size(),
                    isFolder, QString());
}

bool RunState::applySkipErrorPatterns(CopyItem& item) const
{
    QString pattern;
    // A verify reports every difference: the patterns excuse copy errors, not changed data.
    if (isVerify())
        return false;
    if (m_skipErrorPatterns.isEmpty() || !FileSystemUtils::fileNameMatchesAnyPattern(
                                             item.source_path, m_skipErrorPatterns, &pattern))
        return false;
    qWarning() << "Error skipped with pattern" << pattern << "on file"
               << qUtf8Printable(item.source_path);
    if (!item.copy_message.isEmpty())
        item.info_list.append(item.copy_message);
    item.resetState();
    item.copy_state = Skipped;
    return true;
}

void RunState::addRunError(const QString& message, const QStringList& info)
{
    CopyItem& error = m_ledger.runError();
    error = taskItem();
    error.setDestinationError(message);
    error.info_list.append(info);
    m_ledger.counters()[ErrorItems] += 1;
    emit errorOccurred(error);
}

void RunState::reportCompleted(const CopyItem& item, bool excused)
{
    if (excused)
        emit copyCompleted(item);
    else
        emit errorOccurred(item);
}

bool RunState::canStartJob() const
{
    return !m_paused && (m_runningJobs == 0 || m_runningJobs < JobThreadPool::threadCount());
}

void RunState::runJob(Job* job)
{
    JobThread* thread = JobThreadPool::leastBusyThread();
    if (!thread) {
        qWarning() << "No job thread is available for" << job->objectName();
        delete job;
        return;
    }
    m_runningJobs += 1;
    thread->addJob(job);
}

void RunState::setPhase(TaskPhase::Phase to)
{
    const bool settled = m_ledger.queuesEmpty() && m_runningJobs == 0;
    m_phase.set(to, {m_fileListCompleted, m_stopRequested, settled}, m_task.m_sourcePath,
                m_task.m_destinationPath);
}

qint64 RunState::elapsedMs() const
{
    return TaskLedger::elapsedMsBetween(m_startTime, clockEnd(), QDateTime::currentDateTime());
}
