#include "engine/copytask.h"

#include "app/appsettings.h"
#include "engine/storageprobe.h"
#include "fs/filesystemutils.h"
#include "fs/platform.h"
#include "jobs/jobthreadpool.h"
#include "jobs/transfercounters.h"

#include <QDebug>
#include <QMetaObject>

#include <cerrno>

CopyTask::CopyTask(QObject* parent)
    : QObject(parent), m_run(this), m_copy(&m_run, this), m_end(&m_run, &m_copy, this),
      m_listing(&m_run, &m_copy, &m_end, this)
{
    setObjectName(QStringLiteral("TaskCopy"));
    qRegisterMetaType<CopyItem>();
    qRegisterMetaType<QList<CopyItem>>();
    m_copy.setEnd(&m_end);
    connect(&m_run, &RunState::copyCompleted, this, &CopyTask::copyCompleted);
    connect(&m_run, &RunState::errorOccurred, this, &CopyTask::errorOccurred);
    connect(&m_run, &RunState::logAvailable, this, &CopyTask::logAvailable);
    connect(&m_copy, &CopyStage::jobProgress, this, &CopyTask::jobProgress);
    connect(&m_listing, &ListingStage::storageIsFull, this, &CopyTask::storageIsFull);
    connect(&m_end, &RunEnd::copyListCompleted, this, &CopyTask::copyListCompleted);
    connect(&m_end, &RunEnd::flushProgress, this, &CopyTask::flushProgress);
    connect(&m_end, &RunEnd::taskCompleted, this, &CopyTask::taskCompleted);
}

CopyTask::~CopyTask() = default;

void CopyTask::setTask(const Task& task)
{
    // A fix-errors run continues the run it fixes: the errors of a move are moved too.
    const Task& previous = m_run.m_task;
    const bool wasMove =
        previous.m_options.m_copyMode == CopyOptions::Move ||
        (previous.m_options.m_copyMode == CopyOptions::FixErrors && m_run.m_fixingMove);
    m_run.m_fixingMove = task.m_options.m_copyMode == CopyOptions::FixErrors && wasMove &&
                         task.m_sourcePath == previous.m_sourcePath &&
                         task.m_destinationPath == previous.m_destinationPath;
    m_run.m_task = task;
    m_run.m_ledger.setVerify(task.m_options.m_copyMode == CopyOptions::Verify);
    m_run.m_skipErrorPatterns =
        FileSystemUtils::compileWildcardPatterns(task.m_options.m_skipErrorOnFiles);
    m_run.m_ledger.resetCounters();
}

void CopyTask::setStorageProbe(std::unique_ptr<StorageProbe> probe)
{
    m_run.mp_storageProbe = probe ? std::move(probe) : std::make_unique<StorageProbe>();
}

QString CopyTask::pathsRefusal(const QString& source, const QString& destination)
{
    return DestinationFileSystem::pathsRefusal(source, destination);
}

QString CopyTask::destinationRefusal() const
{
    if (m_run.isVerify())
        return QString();
    return m_run.m_destination.refusal(m_run.m_task.m_destinationPath);
}

// ---------------------------------------------------------------------------------------
// Starting, stopping and resuming

bool CopyTask::endWithoutThreads()
{
    if (JobThreadPool::threadCount() >= 1)
        return false;
    // Nothing could run the jobs; end at once rather than wait for ever.
    qWarning() << "No job thread is available for the copy from"
               << qUtf8Printable(m_run.m_task.m_sourcePath) << "to"
               << qUtf8Printable(m_run.m_task.m_destinationPath);
    m_run.m_stopRequested = true;
    m_run.setPhase(TaskPhase::Phase::Stopped);
    queueCall(&m_end, "onTaskCompleted");
    return true;
}

bool CopyTask::refuseUnsafePaths(bool newRun)
{
    const Task& task = m_run.m_task;
    QString refusal = pathsRefusal(task.m_sourcePath, task.m_destinationPath);
    if (refusal.isEmpty() && !newRun)
        refusal = destinationRefusal();
    if (refusal.isEmpty())
        return false;
    qWarning() << "Copy from" << qUtf8Printable(task.m_sourcePath) << "to"
               << qUtf8Printable(task.m_destinationPath)
               << "is refused:" << qUtf8Printable(refusal);
    m_run.m_stopRequested = false;
    m_run.m_wroteData = false;
    m_run.m_ledger.clear(newRun);
    m_run.m_runningJobs = 0;
    m_run.m_startTime = QDateTime::currentDateTime();
    m_run.m_endTime = QDateTime();
    // Nothing to list: the run ends at once, with this one error.
    m_run.m_fileListCompleted = true;
    m_run.setPhase(TaskPhase::Phase::Refused);
    m_run.addRunError(refusal);
    queueCall(&m_end, "checkTaskCompleted");
    return true;
}

void CopyTask::beginRun()
{
    m_run.m_runningJobs = 0;
    m_run.m_placing.clear();
    m_run.m_startTime = QDateTime::currentDateTime();
    m_run.m_endTime = QDateTime();
    TransferCounters::instance()->resetAll();
}

void CopyTask::startTask()
{
    const Task& task = m_run.m_task;
    if (!isTaskCompleted()) {
        qWarning() << "Copy from" << qUtf8Printable(task.m_sourcePath) << "to"
                   << qUtf8Printable(task.m_destinationPath) << "is already running";
        return;
    }
    takeRunSettings();
    if (endWithoutThreads() || refuseUnsafePaths(true))
        return;
    qDebug() << "Starting copy" << qUtf8Printable(task.m_sourcePath) << "to"
             << qUtf8Printable(task.m_destinationPath);
    m_run.m_fileListCompleted = false;
    m_run.m_destination.rememberMountPoint(task.m_destinationPath);
    m_run.setPhase(TaskPhase::Phase::Listing);
    m_run.m_stopRequested = false;
    m_run.m_skipStorageCheck = false;
    openDestinationFileSystem();
    m_run.m_ledger.clear(true);
    m_run.m_earlier.clear();
    beginRun();
    openManifest();
    queueCall(&m_listing, "startBuildFileList");
}

void CopyTask::stopTask()
{
    // A paused run stops from where it stands: its jobs are woken to end.
    takeBackPause();
    m_copy.stop();
}

void CopyTask::pauseTask()
{
    if (m_run.m_paused || isTaskCompleted() || m_run.m_stopRequested)
        return;
    qDebug() << "Pausing copy" << qUtf8Printable(m_run.m_task.m_sourcePath) << "to"
             << qUtf8Printable(m_run.m_task.m_destinationPath);
    m_run.m_paused = true;
    m_run.m_pausedSince = QDateTime::currentDateTime();
    JobThreadPool::pauseAllJobs(true);
    emit pausedChanged(true);
}

void CopyTask::continueTask()
{
    if (!takeBackPause())
        return;
    qDebug() << "Continuing copy" << qUtf8Printable(m_run.m_task.m_sourcePath) << "to"
             << qUtf8Printable(m_run.m_task.m_destinationPath);
    // What waited for a free thread while paused starts now, as many as there are threads.
    for (;;) {
        const int running = m_run.m_runningJobs;
        m_end.checkTaskCompleted();
        if (m_run.m_runningJobs == running || !m_run.canStartJob())
            break;
    }
}

bool CopyTask::takeBackPause()
{
    if (!m_run.m_paused)
        return false;
    m_run.m_paused = false;
    // The clock goes on from where it stood.
    m_run.m_startTime =
        m_run.m_startTime.addMSecs(m_run.m_pausedSince.msecsTo(QDateTime::currentDateTime()));
    m_run.m_pausedSince = QDateTime();
    JobThreadPool::pauseAllJobs(false);
    emit pausedChanged(false);
    return true;
}

void CopyTask::resumeTask()
{
    const Task& task = m_run.m_task;
    qDebug() << "Resuming copy" << qUtf8Printable(task.m_sourcePath) << "to"
             << qUtf8Printable(task.m_destinationPath);
    if (!isTaskCompleted()) {
        qWarning() << "Copy from" << qUtf8Printable(task.m_sourcePath) << "to"
                   << qUtf8Printable(task.m_destinationPath) << "is already running";
        return;
    }
    if (!m_run.m_fileListCompleted) {
        qDebug() << "File list is not completed. Restarting...";
        queueCall(this, "startTask");
        return;
    }
    takeRunSettings();
    if (endWithoutThreads() || refuseUnsafePaths(false))
        return;
    // The counters and the time are this run's own, or go on with a stopped run's
    // (EarlierRun::carries); never the totals of a run that had finished.
    beginRun();
    m_run.m_stopRequested = false;
    const int mode = task.m_options.m_copyMode;
    if (mode != CopyOptions::FixErrors && !m_run.m_skipBuildListForExternalProgram) {
        // The list tells what was done, not what exists now: the source and the destination
        // are walked again, and what changed since is handled as a new run would handle it.
        m_run.m_earlier.take(m_run.m_ledger.completed(), m_run.m_ledger.folders(), mode,
                             m_run.m_lastRunStopped);
        m_run.m_ledger.clear(true);
        if (m_run.m_earlier.carries() && m_run.m_elapsedTime > 0)
            m_run.m_startTime = m_run.m_startTime.addMSecs(-m_run.m_elapsedTime);
        m_run.m_skipStorageCheck = false;
        openDestinationFileSystem();
        openManifest();
        emit copyListCompleted(m_run.m_ledger.completed());
        Platform::EntryStatus source;
        if (m_run.movesSources() && !Platform::entryStatus(task.m_sourcePath, &source) &&
            Platform::lastErrorCode() == ENOENT) {
            // The move took its whole source, its folder too: there is nothing left to walk.
            QList<CopyItem> moved;
            m_run.m_ledger.counters()[FilesChanged] = m_run.m_earlier.walkEnded(&moved);
            m_listing.carryMoved(moved);
            m_run.setPhase(TaskPhase::Phase::Copying);
            queueCall(&m_copy, "processNextCopyInQueue");
            return;
        }
        m_run.m_fileListCompleted = false;
        m_run.setPhase(TaskPhase::Phase::Listing);
        queueCall(&m_listing, "startBuildFileList");
        return;
    }
    // Fixing errors works on the items of the list: those left in it are queued again.
    m_run.setPhase(TaskPhase::Phase::Copying);
    openDestinationFileSystem();
    openManifest();
    m_run.m_ledger.clear(false);
    if (m_run.m_ledger.rebuild(task.m_options.m_copyMode,
                               !m_run.m_externalProgram.filePath.isEmpty()))
        queueCall(&m_copy, "startQueuedJobs");
    emit copyListCompleted(m_run.m_ledger.completed());
    m_end.removeStaleTemporaries();
    queueCall(&m_copy, "processNextCopyInQueue");
}

// ---------------------------------------------------------------------------------------
// Helpers

void CopyTask::takeRunSettings()
{
    m_run.m_settings =
        m_givenRunSettings ? *m_givenRunSettings : AppSettings::instance()->runSettings();
}

void CopyTask::openDestinationFileSystem()
{
    m_run.m_wroteData = false;
    m_run.m_ledger.runError() = CopyItem();
    // Opened before anything is written, so that the final flush also reports the
    // write-back errors that happen before it (a verify run writes nothing).
    m_run.m_destination.open(m_run.m_task.m_destinationPath, !m_run.isVerify());
}

void CopyTask::openManifest()
{
    const QString failure = m_run.m_manifest.open(m_run.m_task, m_run.m_settings.hashAlgorithm);
    if (!failure.isEmpty())
        emit logAvailable(failure);
}

void CopyTask::queueCall(QObject* target, const char* slot)
{
    QMetaObject::invokeMethod(target, slot, Qt::QueuedConnection);
}
