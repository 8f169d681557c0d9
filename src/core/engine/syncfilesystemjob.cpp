#include "engine/syncfilesystemjob.h"

#include "fs/filesystemutils.h"
#include "fs/platform.h"

#include <QDebug>
#include <QElapsedTimer>

SyncFileSystemJob::SyncFileSystemJob(QObject* parent) : Job(parent)
{
    setObjectName(QStringLiteral("SyncFileSystemJob"));
}

void SyncFileSystemJob::setFileSystem(int handle, const QString& path)
{
    m_handle = handle;
    m_path = path;
}

void SyncFileSystemJob::startJob()
{
    Job::startJob();
    QElapsedTimer timer;
    timer.start();
    // A handle that could not be opened fails here too (EBADF), so the run hears of it.
    if (Platform::syncFileSystem(m_handle)) {
        m_flushed = true;
    } else {
        qWarning() << "Unable to flush the file system of" << qUtf8Printable(m_path);
        m_errorText = FileSystemUtils::lastErrorText(Platform::lastFailedCall());
    }
    m_flushMsecs = timer.elapsed();
    if (m_flushed)
        qDebug() << "File system of" << qUtf8Printable(m_path) << "flushed in" << m_flushMsecs
                 << "ms";
    finishJob();
}
