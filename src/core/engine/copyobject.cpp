#include "engine/copyobject.h"

#include "base/mutexlocker.h"
#include "fs/pathutils.h"
#include "fs/platform.h"
#include "fs/platformcopy.h"
#include "fs/reachablefileinfo.h"
#include "model/copyoptions.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFileInfo>

CopyObject::CopyObject(QObject* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("CopyObject"));
}

bool CopyObject::isStopRequested() const
{
    MutexLocker locker(&m_mutex);
    return m_stopFlag.load() == PlatformCopy::FlagCancelled;
}

void CopyObject::completeWithoutCopy()
{
    resetState();
    emit copyCompleted();
}

void CopyObject::startCopy()
{
    MutexLocker locker(&m_mutex);
    m_stopFlag.store(m_paused ? PlatformCopy::FlagPaused : PlatformCopy::FlagRunning);
}

void CopyObject::stopCopy()
{
    MutexLocker locker(&m_mutex);
    PlatformCopy::setCancelFlag(&m_stopFlag, PlatformCopy::FlagCancelled);
}

void CopyObject::pauseCopy()
{
    MutexLocker locker(&m_mutex);
    m_paused = true;
    if (m_stopFlag.load() == PlatformCopy::FlagRunning)
        PlatformCopy::setCancelFlag(&m_stopFlag, PlatformCopy::FlagPaused);
}

void CopyObject::continueCopy()
{
    MutexLocker locker(&m_mutex);
    m_paused = false;
    if (m_stopFlag.load() == PlatformCopy::FlagPaused)
        PlatformCopy::setCancelFlag(&m_stopFlag, PlatformCopy::FlagRunning);
}

QStringList CopyObject::metadataNotes(int lost)
{
    QStringList notes;
    if (lost & PlatformCopy::OwnerNotKept)
        notes.append(tr("unable to keep the owner"));
    if (lost & PlatformCopy::GroupNotKept)
        notes.append(tr("unable to keep the group"));
    if (lost & PlatformCopy::AttributesNotKept)
        notes.append(tr("unable to keep extended attributes or ACLs"));
    if (lost & PlatformCopy::AttributesUnsupported)
        notes.append(unsupportedAttributesNote());
    return notes;
}

QString CopyObject::unsupportedAttributesNote()
{
    return tr("destination file system keeps no extended attributes or ACLs");
}

bool CopyObject::createFoldersBelowRoot(const QString& path, PlatformCopy::Failure* failure)
{
    const QString prefix = m_destinationRoot.endsWith(QLatin1Char('/'))
                               ? m_destinationRoot
                               : m_destinationRoot + QLatin1Char('/');
    if (m_destinationRoot.isEmpty() || !path.startsWith(prefix) ||
        !QFileInfo(m_destinationRoot).isDir())
        return PlatformCopy::createFolders(path, failure);
    return PlatformCopy::createFoldersBeneath(m_destinationRoot, path, failure,
                                              m_destinationRootFd);
}

bool CopyObject::refuseLostDestination(int copyMode)
{
    // Written through the root the job vouched for, a copy lands on the anchor's file system
    // also between two checks.
    const qint64 reuseMs = m_destinationRootFd >= 0 ? DestinationAnchor::recheckIntervalMs : 0;
    if (copyMode == CopyOptions::Verify ||
        (!m_rootElsewhere && !m_destinationAnchor.isLost(reuseMs)))
        return false;
    qWarning() << "Destination" << qUtf8Printable(m_destinationAnchor.path())
               << "is no longer on the file system the run began with";
    setDestinationError(DestinationAnchor::lostText());
    m_destinationLost = true;
    return true;
}

namespace {

// The folder this thread last found without a link on the way, and when. The check only
// names the link early: the copy reaches the folder without following links all the same.
struct LinkFreeFolder
{
    QString root;
    QString folder;
    QElapsedTimer since;
};
thread_local LinkFreeFolder t_linkFree;

} // namespace

bool CopyObject::refuseLinkOnTheWay(bool itemIsFolder)
{
    LinkFreeFolder& known = t_linkFree;
    // The folder's text is compared in place: the next files of a folder take this way.
    const int slash = destination_path.lastIndexOf(QLatin1Char('/'));
    if (!itemIsFolder && slash > 0 && known.since.isValid() &&
        !known.since.hasExpired(DestinationAnchor::recheckIntervalMs) &&
        destination_path.leftRef(slash) == known.folder && known.root == m_destinationRoot)
        return false;
    const QString folder = FileSystemUtils::folderOf(destination_path);
    QString link = Platform::linkOnTheWay(m_destinationRoot, destination_path);
    if (link.isEmpty() && !itemIsFolder) {
        known.root = m_destinationRoot;
        known.folder = folder;
        known.since.start();
    }
    if (link.isEmpty() && itemIsFolder && ReachableFileInfo(destination_path).isSymLink())
        link = destination_path;
    if (link.isEmpty())
        return false;
    qWarning() << "Destination entry" << qUtf8Printable(destination_path)
               << "lies behind the symbolic link" << qUtf8Printable(link);
    setDestinationError(
        tr("the destination holds a symbolic link where a folder is needed: %1").arg(link));
    return true;
}
