#include "engine/checkfilejob.h"

#include <QDebug>
#include <QMetaObject>

CheckFileJob::CheckFileJob(QObject* parent) : Job(parent)
{
    setObjectName(QStringLiteral("JobCheckFile"));
}

void CheckFileJob::setItem(const CopyItem& item)
{
    static_cast<CopyItem&>(*this) = item;
}

CopyItem CheckFileJob::item() const
{
    return *this;
}

QByteArray CheckFileJob::fileHash(const QString& path, FileHash::Reading reading)
{
    return FileHash::sha256(
        path,
        [this, &path](qint64 bytesRead, qint64 fileSize) {
            if (isStopped())
                return false;
            emit jobProgress(path, bytesRead, fileSize);
            return true;
        },
        reading);
}

void CheckFileJob::startJob()
{
    Job::startJob();
    // A verdict from an earlier run must not make a failing check look passed.
    is_checked = false;
    // Queued, so that other work of this thread can run between the two long reads.
    QMetaObject::invokeMethod(this, "checkFromFile", Qt::QueuedConnection);
}

void CheckFileJob::checkFromFile()
{
    m_sourceHash = fileHash(source_path);
    if (!m_sourceHash.isEmpty()) {
        QMetaObject::invokeMethod(this, "checkToFile", Qt::QueuedConnection);
        return;
    }
    qWarning() << "Unable to make hash of file (from)" << qUtf8Printable(source_path);
    setSourceError(tr("unable to check source file"));
    finishJob();
}

void CheckFileJob::checkToFile()
{
    if (isStopped()) {
        finishJob();
        return;
    }
    const QByteArray destinationHash = fileHash(destination_path, FileHash::Reading::FromDevice);
    if (destinationHash.isEmpty()) {
        qWarning() << "Unable to make hash of file (to)" << qUtf8Printable(destination_path);
        setDestinationError(tr("unable to check destination file"));
    } else if (destinationHash == m_sourceHash) {
        info_list.append(tr("copy verified"));
        is_checked = true;
    } else {
        setDestinationError(tr("check error"));
    }
    finishJob();
}

void CheckFileJob::finishJob()
{
    if (isFinished())
        return;
    elapsed_time += elapsedMsecs();
    if (!is_checked) {
        qWarning() << "Integrity check failed for file" << qUtf8Printable(destination_path);
        if (isStopped())
            setDestinationError(tr("check cancelled by user"));
    }
    Job::finishJob();
}
