#include "engine/copyobject.h"

#include "base/mutexlocker.h"
#include "fs/platform.h"
#include "fs/platformcopy.h"
#include "model/copyoptions.h"

#include <QDebug>
#include <QFileInfo>

CopyObject::CopyObject(QObject* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("CopyObject"));
}

bool CopyObject::isStopRequested() const
{
    MutexLocker locker(&m_mutex);
    return m_stopFlag.load() != 0;
}

void CopyObject::completeWithoutCopy()
{
    resetState();
    emit copyCompleted();
}

void CopyObject::startCopy()
{
    MutexLocker locker(&m_mutex);
    m_stopFlag.store(0);
}

void CopyObject::stopCopy()
{
    MutexLocker locker(&m_mutex);
    m_stopFlag.store(1);
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
    return PlatformCopy::createFoldersBeneath(m_destinationRoot, path, failure);
}

bool CopyObject::refuseLostDestination(int copyMode)
{
    if (copyMode == CopyOptions::Verify || !m_destinationAnchor.isLost())
        return false;
    qWarning() << "Destination" << qUtf8Printable(m_destinationAnchor.path())
               << "is no longer on the file system the run began with";
    setDestinationError(DestinationAnchor::lostText());
    m_destinationLost = true;
    return true;
}

bool CopyObject::refuseLinkOnTheWay(bool itemIsFolder)
{
    QString link = Platform::linkOnTheWay(m_destinationRoot, destination_path);
    if (link.isEmpty() && itemIsFolder && QFileInfo(destination_path).isSymLink())
        link = destination_path;
    if (link.isEmpty())
        return false;
    qWarning() << "Destination entry" << qUtf8Printable(destination_path)
               << "lies behind the symbolic link" << qUtf8Printable(link);
    setDestinationError(
        tr("the destination holds a symbolic link where a folder is needed: %1").arg(link));
    return true;
}
