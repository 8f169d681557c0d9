#include "engine/commitfilesjob.h"

#include "fs/filesystemutils.h"
#include "fs/platform.h"
#include "fs/platformcopy.h"

#include <QDebug>

CommitFilesJob::CommitFilesJob(QObject* parent) : Job(parent)
{
    setObjectName(QStringLiteral("CommitFilesJob"));
}

void CommitFilesJob::setFileSystem(int handle, const QString& path)
{
    m_handle = handle;
    m_path = path;
}

bool CommitFilesJob::flush(QString* failureText)
{
    if (Platform::syncFileSystem(m_handle))
        return true;
    qWarning() << "Unable to flush the file system of" << qUtf8Printable(m_path);
    *failureText = FileSystemUtils::lastErrorText(Platform::lastFailedCall());
    return false;
}

bool CommitFilesJob::changedSinceCopy(const PendingCopy& copy)
{
    PlatformCopy::FileVersion now;
    return !PlatformCopy::fileVersion(copy.item.source_path, &now) || now != copy.source;
}

void CommitFilesJob::startJob()
{
    Job::startJob();
    m_items.clear();
    m_items.reserve(m_copies.size());

    QString dataFailure;
    const bool dataFlushed = flush(&dataFailure);
    QList<int> placed;
    for (const PendingCopy& copy : qAsConst(m_copies)) {
        CopyItem item = copy.item;
        PlatformCopy::Failure failure;
        if (copy.temporaryPath.isEmpty()) {
            // Decided by its copier.
        } else if (!dataFlushed) {
            // Nothing tells which files the failed write-back belonged to: none is trusted.
            item.info_list.append(dataFailure);
            item.setDestinationError(tr("unable to copy file"));
            FileSystemUtils::removeFile(copy.temporaryPath);
        } else if (!PlatformCopy::moveIntoPlace(copy.temporaryPath, item.destination_path, &failure,
                                                copy.replace)) {
            Platform::recordFailure(failure.call, failure.code);
            item.info_list.append(
                FileSystemUtils::lastErrorText(QString::fromLatin1(failure.call)));
            if (copy.replace) {
                item.info_list.append(tr("Unable to remove existing file"));
                item.setDestinationError(tr("file cannot be overwritten"));
            } else {
                item.setDestinationError(tr("unable to copy file"));
            }
            FileSystemUtils::removeFile(copy.temporaryPath);
        } else {
            if (copy.replace)
                item.info_list.append(tr("existing file is removed"));
            placed.append(m_items.size());
        }
        m_items.append(item);
    }

    if (m_move && !placed.isEmpty()) {
        // The only other copy of the data goes: the new names must be on the device first.
        QString namesFailure;
        const bool namesFlushed = flush(&namesFailure);
        for (const int index : qAsConst(placed)) {
            CopyItem& item = m_items[index];
            if (!namesFlushed) {
                item.info_list.append(namesFailure);
                item.setDestinationError(tr("unable to write destination file to disk"));
            } else if (!FileSystemUtils::fileExists(item.source_path)) {
                continue;
            } else if (FileSystemUtils::isSameEntry(item.source_path, item.destination_path)) {
                // The source's name now leads to the copy: deleting it would delete the copy.
                item.info_list.append(tr("source and destination are the same file"));
            } else if (changedSinceCopy(m_copies.at(index))) {
                qWarning() << "Source file changed during the copy:"
                           << qUtf8Printable(item.source_path);
                item.setSourceError(tr("source file changed during the copy"));
            } else if (FileSystemUtils::removeFile(item.source_path)) {
                item.info_list.append(tr("File moved"));
            } else {
                qWarning() << "Unable to remove file" << qUtf8Printable(item.source_path);
                item.setSourceError(tr("Unable to delete source file"));
            }
        }
    }
    finishJob();
}
