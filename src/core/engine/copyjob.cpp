#include "engine/copyjob.h"

#include "base/mutexlocker.h"
#include "engine/copyfileobject.h"
#include "engine/copyfolderobject.h"
#include "fs/platform.h"

#include <QDebug>

#include <atomic>

CopyJob::CopyJob(QObject* parent) : Job(parent)
{
    setObjectName(QStringLiteral("JobCopy"));
}

void CopyJob::setFollowingItems(const QList<CopyItem>& items)
{
    m_followingItems = items;
}

void CopyJob::startJob()
{
    Job::startJob();
    m_results.clear();
    m_pendingPaths.clear();
    m_sourceVersions.clear();
    m_replaceFlags.clear();
    m_next = 0;
    openSources();
    // Opened once for the copiers of the job, which reach their folders from it.
    if (!m_destinationRoot.isEmpty() && m_options.m_copyMode != CopyOptions::Verify)
        m_destinationRootFd = Platform::openFolder(m_destinationRoot, true);
    // Opened by its path after the drive went: the copiers would write to what is there now.
    m_rootElsewhere = m_destinationRootFd >= 0 && !m_destinationAnchor.holds(m_destinationRootFd);
    copyNextItem();
}

namespace {

// Descriptors held open ahead by all jobs together, well below the usual limit of 1024 per
// process: the copies themselves, and the rest of the program, need theirs.
constexpr int maxFilesOpenAhead = 256;
std::atomic<int> s_filesOpenAhead{0};

} // namespace

CopyJob::~CopyJob()
{
    closeSources();
    releaseDestinationRoot();
}

void CopyJob::openSources()
{
    // Small files read one after the other wait for the device once each; opened together,
    // with the reads asked for at once, their reads reach the device together and overlap.
    // The copiers then read the open files: no second open, no second status.
    closeSources();
    releaseDestinationRoot();
    if (m_followingItems.isEmpty() || m_options.m_copyMode == CopyOptions::Verify)
        return;
    m_sourceFds.fill(-1, m_followingItems.size() + 1);
    m_sourceStatuses.resize(size_t(m_sourceFds.size()));
    for (int i = 0; i < m_sourceFds.size(); ++i) {
        const CopyItem& item =
            i == 0 ? static_cast<const CopyItem&>(*this) : m_followingItems.at(i - 1);
        // Nothing to read ahead in an empty file; and FIFOs and device nodes, empty too, must
        // never be opened (an open may block, or start a device).
        // A name to be linked is not read.
        if (item.is_folder || item.file_size <= 0 || !m_hardLinkTargets.value(i).isEmpty())
            continue;
        if (s_filesOpenAhead.fetch_add(1) >= maxFilesOpenAhead) {
            s_filesOpenAhead.fetch_sub(1);
            break;
        }
        m_sourceFds[i] =
            Platform::openFileAhead(item.source_path, item.file_size, &m_sourceStatuses[size_t(i)]);
        if (m_sourceFds[i] < 0)
            s_filesOpenAhead.fetch_sub(1);
    }
}

void CopyJob::closeSources()
{
    for (int fd : qAsConst(m_sourceFds)) {
        if (fd >= 0) {
            Platform::closeFile(fd);
            s_filesOpenAhead.fetch_sub(1);
        }
    }
    m_sourceFds.clear();
}

void CopyJob::copyNextItem()
{
    while (m_next <= m_followingItems.size()) {
        // Between two items a pause holds here; a stop is seen below.
        waitWhilePaused();
        const CopyItem item =
            m_next == 0 ? static_cast<const CopyItem&>(*this) : m_followingItems.at(m_next - 1);
        ++m_next;

        CopyObject* copier;
        if (item.is_folder) {
            auto* folderCopier = new CopyFolderObject(this);
            folderCopier->m_verifyOnly = m_options.m_copyMode == CopyOptions::Verify;
            copier = folderCopier;
        } else {
            auto* fileCopier = new CopyFileObject(this);
            fileCopier->m_options = m_options;
            fileCopier->m_settings = m_settings;
            fileCopier->m_deferBelowSize = m_deferBelowSize;
            fileCopier->m_deferDevice = m_deferDevice;
            fileCopier->m_checkStoredNames = m_checkStoredNames;
            fileCopier->mp_jobFolder = &m_folder;
            fileCopier->m_hardLinkTo = m_hardLinkTargets.value(m_next - 1);
            if (m_next - 1 < m_sourceFds.size() && m_sourceFds.at(m_next - 1) >= 0) {
                fileCopier->m_sourceFd = m_sourceFds.at(m_next - 1);
                fileCopier->m_sourceStatus = m_sourceStatuses.at(size_t(m_next - 1));
            }
            copier = fileCopier;
        }
        static_cast<CopyItem&>(*copier) = item;
        copier->m_destinationRoot = m_destinationRoot;
        copier->m_destinationAnchor = m_destinationAnchor;
        copier->m_destinationRootFd = m_rootElsewhere ? -1 : m_destinationRootFd;
        copier->m_rootElsewhere = m_rootElsewhere;
        connect(copier, &CopyObject::copyCompleted, this, &CopyJob::onCopyCompleted);
        connect(copier, &CopyObject::copyProgress, this, &CopyJob::onCopyProgress);
        {
            MutexLocker locker(&m_copierMutex);
            m_copyObject = copier;
            // Under the lock that pauseJob and continueJob take to reach the copier.
            if (isPaused())
                copier->pauseCopy();
        }

        // Copiers mostly complete within startCopy: the next item then follows in this loop
        // instead of in a call from onCopyCompleted, which would nest one level per item.
        const int completedBefore = m_results.size();
        m_starting = true;
        // A stop that came while the copier was being made: it never starts, but it still
        // completes, so that the job reports and the item goes back to the queue on resume.
        if (isStopped()) {
            copier->stopCopy();
            copier->completeWithoutCopy();
        } else {
            copier->startCopy();
        }
        m_starting = false;
        if (m_results.size() == completedBefore)
            return; // onCopyCompleted carries on
    }
    finishItems();
}

void CopyJob::stopJob()
{
    Job::stopJob();
    MutexLocker locker(&m_copierMutex);
    if (m_copyObject)
        m_copyObject->stopCopy();
}

void CopyJob::pauseJob()
{
    Job::pauseJob();
    MutexLocker locker(&m_copierMutex);
    if (m_copyObject)
        m_copyObject->pauseCopy();
}

void CopyJob::continueJob()
{
    Job::continueJob();
    MutexLocker locker(&m_copierMutex);
    if (m_copyObject)
        m_copyObject->continueCopy();
}

void CopyJob::onCopyProgress(qint64 done, qint64 total)
{
    emit jobProgress(destination_path, done, total);
}

void CopyJob::onCopyCompleted()
{
    CopyObject* copier = qobject_cast<CopyObject*>(sender());
    if (copier) {
        const auto* fileCopier = qobject_cast<const CopyFileObject*>(copier);
        // A file copier asks before its move removes a source; a folder is asked here.
        if (!fileCopier && copier->copy_state == Copied)
            copier->refuseLostDestination(m_options.m_copyMode);
        m_destinationLost = m_destinationLost || copier->destinationLost();
        m_results.append(static_cast<const CopyItem&>(*copier));
        m_pendingPaths.append(fileCopier ? fileCopier->pendingTemporaryPath() : QString());
        m_sourceVersions.append(fileCopier ? fileCopier->sourceVersion()
                                           : PlatformCopy::FileVersion());
        m_replaceFlags.append(fileCopier && fileCopier->pendingReplacesExisting());
    } else {
        qWarning() << "CopyJob has received a signal from invalid CopyObject instance (copy "
                      "completed)";
        qWarning() << "Copy of" << qUtf8Printable(source_path) << "has an internal error";
        CopyItem item =
            m_next <= 1 ? static_cast<const CopyItem&>(*this) : m_followingItems.value(m_next - 2);
        item.setDestinationError(tr("internal error"));
        m_results.append(item);
        m_pendingPaths.append(QString());
        m_sourceVersions.append(PlatformCopy::FileVersion());
        m_replaceFlags.append(false);
    }
    // Without a start (m_next == 0) there is nothing to go on with.
    if (m_starting)
        return;
    if (m_next > 0)
        copyNextItem();
    else
        finishItems();
}

void CopyJob::releaseDestinationRoot()
{
    m_folder.release();
    if (m_destinationRootFd >= 0)
        Platform::closeFolder(m_destinationRootFd);
    m_destinationRootFd = -1;
}

void CopyJob::finishItems()
{
    closeSources();
    releaseDestinationRoot();
    if (!m_results.isEmpty()) {
        static_cast<CopyItem&>(*this) = m_results.first();
        m_pendingTemporaryPath = m_pendingPaths.first();
        m_pendingSourceVersion = m_sourceVersions.first();
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
