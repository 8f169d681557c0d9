#include "engine/externalcopyjob.h"

#include "fs/pathutils.h"

#include <QDebug>

ExternalCopyJob::ExternalCopyJob(QObject* parent) : ProcessJob(parent)
{
    setObjectName(QStringLiteral("ExternalJobCopy"));
    connect(this, &ProcessJob::errorOccurred, this, &ExternalCopyJob::onErrorOccurred,
            Qt::DirectConnection);
}

void ExternalCopyJob::setItem(const CopyItem& item)
{
    static_cast<CopyItem&>(*this) = item;
}

CopyItem ExternalCopyJob::item() const
{
    return *this;
}

void ExternalCopyJob::startJob()
{
    copy_state = Copied;
    ProcessJob::startJob();
}

void ExternalCopyJob::onErrorOccurred(const QString& copy_error)
{
    if (isFinished()) {
        qDebug() << objectName() << "has already finished; error not recorded:" << copy_error;
        return;
    }
    const QString programName = FileSystemUtils::fileNameOf(program()).toLower();
    setDestinationError(QStringLiteral("(%1) %2").arg(programName, copy_error));
    finishJob();
}

void ExternalCopyJob::finishJob()
{
    if (isFinished())
        return;
    elapsed_time += elapsedMsecs();
    ProcessJob::finishJob();
}
