#include "engine/checkfilejob.h"

#include <QDebug>
#include <QMetaObject>

namespace {

// Files up to this size are checked in one go. The queued call between the two hashes of
// a larger file lets other work of the thread run between two long reads; for small
// files it would only cost more than the reads.
constexpr qint64 smallFileSize = 1048576;

} // namespace

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
    FileHash::OpenFile file(path, reading);
    return fileHash(file, path);
}

QByteArray CheckFileJob::fileHash(FileHash::OpenFile& file, const QString& path)
{
    return file.sha256([this, &path](qint64 bytesRead, qint64 fileSize) {
        if (isStopped())
            return false;
        emit jobProgress(path, bytesRead, fileSize);
        return true;
    });
}

void CheckFileJob::startJob()
{
    Job::startJob();
    // A verdict from an earlier run must not make a failing check look passed.
    is_checked = false;
    if (file_size <= smallFileSize) {
        checkSmallFile();
        return;
    }
    // Queued, so that other work of this thread can run between the two long reads.
    QMetaObject::invokeMethod(this, "checkFromFile", Qt::QueuedConnection);
}

void CheckFileJob::checkSmallFile()
{
    // The destination is opened first and read ahead from its device (after its cached
    // pages are dropped), so that it arrives while the source is read.
    FileHash::OpenFile destination(destination_path, FileHash::Reading::FromDevice, smallFileSize);
    FileHash::OpenFile source(source_path);
    if (!hashSource(source))
        return;
    if (isStopped()) {
        finishJob();
        return;
    }
    compareWithDestination(destination);
}

void CheckFileJob::checkFromFile()
{
    FileHash::OpenFile source(source_path);
    if (hashSource(source))
        QMetaObject::invokeMethod(this, "checkToFile", Qt::QueuedConnection);
}

bool CheckFileJob::hashSource(FileHash::OpenFile& source)
{
    m_sourceHash = fileHash(source, source_path);
    if (!m_sourceHash.isEmpty())
        return true;
    qWarning() << "Unable to make hash of file (from)" << qUtf8Printable(source_path);
    setSourceError(tr("unable to check source file"));
    finishJob();
    return false;
}

void CheckFileJob::checkToFile()
{
    if (isStopped()) {
        finishJob();
        return;
    }
    FileHash::OpenFile destination(destination_path, FileHash::Reading::FromDevice);
    compareWithDestination(destination);
}

void CheckFileJob::compareWithDestination(FileHash::OpenFile& destination)
{
    const QByteArray destinationHash = fileHash(destination, destination_path);
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
