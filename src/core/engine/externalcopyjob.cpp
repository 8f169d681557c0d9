#include "engine/externalcopyjob.h"
#include "engine/copyobject.h"
#include "engine/sourceremover.h"

#include "fs/filesystemutils.h"
#include "fs/pathutils.h"
#include "fs/platform.h"
#include "fs/platformcopy.h"

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
    const QString refusal = linkRefusal();
    if (refusal.isEmpty()) {
        ProcessJob::startJob();
        return;
    }
    qWarning() << "Destination entry" << qUtf8Printable(destination_path)
               << "is not handed to the external program:" << qUtf8Printable(refusal);
    Job::startJob();
    setDestinationError(refusal);
    finishJob();
}

QString ExternalCopyJob::linkRefusal() const
{
    const QString link = Platform::linkOnTheWay(m_root, destination_path);
    if (!link.isEmpty())
        return CopyObject::tr("the destination holds a symbolic link where a folder is needed: %1")
            .arg(link);
    Platform::EntryStatus existing;
    if (link_target.isEmpty() && Platform::entryStatus(destination_path, &existing) &&
        existing.isSymLink)
        return tr("the destination holds a symbolic link in this entry's place");
    return QString();
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
    if (!isError() && !isStopped() && m_anchor.isLost()) {
        m_destinationLost = true;
        setDestinationError(DestinationAnchor::lostText());
    }
    if (!isError() && !isStopped()) {
        checkCopy();
        if (!isError() && m_movesSource && !is_folder)
            removeMovedSource();
    }
    ProcessJob::finishJob();
}

void ExternalCopyJob::checkCopy()
{
    Platform::EntryStatus source;
    Platform::EntryStatus copy;
    const bool there = Platform::entryStatus(destination_path, &copy);
    const bool sourceRead = Platform::entryStatus(source_path, &source);
    bool good = there;
    if (there && is_folder)
        good = copy.isFolder;
    else if (there && link_target.isEmpty() && !(sourceRead && source.isSpecial))
        good = copy.isFile && (!sourceRead || copy.size == source.size);
    if (!good)
        setDestinationError(tr("the program left no copy of the file"));
}

void ExternalCopyJob::removeMovedSource()
{
    // The bytes, not only the size: the source is the only other copy. It goes only while
    // it is the version compared.
    bool equal = !link_target.isEmpty(); // a link: its entry is there
    PlatformCopy::FileVersion compared;
    PlatformCopy::Failure failure;
    if (link_target.isEmpty() && (!PlatformCopy::fileVersion(source_path, &compared) ||
                                  !PlatformCopy::compareFiles(source_path, destination_path,
                                                              nullptr, &equal, &failure)))
        equal = false;
    if (!equal) {
        setDestinationError(tr("different file exists"));
        return;
    }
    const SourceRemover::Outcome outcome =
        link_target.isEmpty() ? SourceRemover::remove(source_path, destination_path, compared)
        : FileSystemUtils::removeFile(source_path) ? SourceRemover::Outcome::Removed
                                                   : SourceRemover::Outcome::Kept;
    if (outcome == SourceRemover::Outcome::Removed)
        info_list.append(tr("File moved"));
    else if (outcome == SourceRemover::Outcome::Changed)
        setSourceError(tr("source file changed during the move"));
    else if (outcome == SourceRemover::Outcome::SameEntry)
        info_list.append(tr("source and destination are the same file"));
    else if (outcome == SourceRemover::Outcome::Kept)
        setSourceError(tr("Unable to delete source file"));
}
