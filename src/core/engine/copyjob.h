#pragma once

#include "fs/platformcopy.h"
#include "jobs/job.h"
#include "model/copyitem.h"
#include "model/copyoptions.h"

#include <QMutex>

class CopyObject;

// Copies one item of the copy queue on a worker thread. The owner fills the item and the
// options, dispatches the job and, on jobCompleted, reads the item back with its outcome.
class CopyJob : public Job, public CopyItem
{
    Q_OBJECT

public:
    explicit CopyJob(QObject* parent = nullptr);

    CopyOptions m_options;
    // Passed to the file copier: small native copies on that file system are left under a
    // temporary name for the owner to flush and place in groups (see CommitFilesJob).
    qint64 m_deferBelowSize = 0;
    quint64 m_deferDevice = 0;

    // After completion: the temporary file holding a deferred copy, or empty.
    QString pendingTemporaryPath() const { return m_pendingTemporaryPath; }
    // With it, the source as that copy read it.
    PlatformCopy::FileVersion pendingSourceVersion() const { return m_pendingSourceVersion; }

public slots:
    void startJob() override;
    void stopJob() override;
    void onCopyProgress(qint64 done, qint64 total);
    void onCopyCompleted();

protected:
    void finishJob() override;

private:
    // Written by the worker thread, read by stopJob from other threads under the mutex.
    CopyObject* m_copyObject = nullptr;
    QString m_pendingTemporaryPath;
    PlatformCopy::FileVersion m_pendingSourceVersion;
    QMutex m_copierMutex;
};
