#include "engine/copyjob.h"

#include "engine/copyfileobject.h"
#include "engine/copyfolderobject.h"
#include "jobs/mutexlocker.h"

#include <QDebug>

CopyJob::CopyJob(QObject* parent) : Job(parent)
{
    setObjectName(QStringLiteral("JobCopy"));
}

void CopyJob::startJob()
{
    Job::startJob();

    CopyObject* copier;
    if (is_folder) {
        copier = new CopyFolderObject(this);
    } else {
        auto* fileCopier = new CopyFileObject(this);
        fileCopier->m_options = m_options;
        fileCopier->m_deferBelowSize = m_deferBelowSize;
        fileCopier->m_deferDevice = m_deferDevice;
        copier = fileCopier;
    }
    static_cast<CopyItem&>(*copier) = static_cast<const CopyItem&>(*this);
    connect(copier, &CopyObject::copyCompleted, this, &CopyJob::onCopyCompleted);
    connect(copier, &CopyObject::copyProgress, this, &CopyJob::onCopyProgress);
    {
        MutexLocker locker(&m_copierMutex);
        m_copyObject = copier;
    }

    // A stop that came while the copier was being made: it never starts, but it still
    // completes, so that the job reports and the item goes back to the queue on resume.
    if (isStopped()) {
        copier->stopCopy();
        copier->completeWithoutCopy();
    } else {
        copier->startCopy();
    }
}

void CopyJob::stopJob()
{
    Job::stopJob();
    MutexLocker locker(&m_copierMutex);
    if (m_copyObject)
        m_copyObject->stopCopy();
}

void CopyJob::onCopyProgress(qint64 done, qint64 total)
{
    emit jobProgress(destination_path, done, total);
}

void CopyJob::onCopyCompleted()
{
    const CopyObject* copier = qobject_cast<const CopyObject*>(sender());
    if (copier) {
        static_cast<CopyItem&>(*this) = static_cast<const CopyItem&>(*copier);
        if (const auto* fileCopier = qobject_cast<const CopyFileObject*>(copier)) {
            m_pendingTemporaryPath = fileCopier->pendingTemporaryPath();
            m_pendingSourceVersion = fileCopier->sourceVersion();
        }
    } else {
        qWarning() << "CopyJob has received a signal from invalid CopyObject instance (copy "
                      "completed)";
        qWarning() << "Copy of" << qUtf8Printable(source_path) << "has an internal error";
        setDestinationError(tr("internal error"));
    }
    finishJob();
}

void CopyJob::finishJob()
{
    if (isFinished())
        return;
    elapsed_time += elapsedMsecs();
    Job::finishJob();
}
