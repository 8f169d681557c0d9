#include "engine/groupedplacing.h"

#include "base/saturating.h"
#include "engine/destinationfilesystem.h"
#include "model/runsettings.h"

bool GroupedPlacing::sharesJobs(const CopyItem& item)
{
    return !item.is_folder && item.link_target.isEmpty() && item.file_size < SharedJobMaxSize;
}

bool GroupedPlacing::canDefer(bool enabled, const CopyOptions& options,
                              const DestinationFileSystem& destination)
{
    return enabled && destination.handle() >= 0 && destination.device() != 0 &&
           options.m_copyMode != CopyOptions::Verify &&
           options.m_destinationMode == CopyOptions::Normal &&
           options.m_overwriteMode != CopyOptions::AutoRename;
}

void GroupedPlacing::clear()
{
    m_waiting.clear();
    m_waitingBytes = 0;
    m_placing = false;
}

void GroupedPlacing::add(const CommitFilesJob::PendingCopy& copy)
{
    m_waiting.append(copy);
    if (!copy.temporaryPath.isEmpty())
        m_waitingBytes = saturatingAdd(m_waitingBytes, copy.item.file_size);
}

CommitFilesJob* GroupedPlacing::takeGroup(bool force, const DestinationFileSystem& destination,
                                          bool move, const QString& root,
                                          const RunSettings& settings)
{
    if (m_placing || m_waiting.isEmpty())
        return nullptr;
    if (!force && m_waiting.size() < GroupFiles && m_waitingBytes < GroupBytes)
        return nullptr;
    auto* job = new CommitFilesJob();
    job->setFileSystem(destination.handle(), destination.path());
    job->setCopies(m_waiting);
    job->setMove(move);
    job->setDestinationAnchor(destination.anchor());
    job->setDestinationRoot(root);
    job->setVerification(settings.hashAlgorithm, settings.removeReadOnlyAttribute);
    m_waiting.clear();
    m_waitingBytes = 0;
    m_placing = true;
    return job;
}
