#include "engine/destinationfilesystem.h"

#include "engine/copyobject.h"
#include "fs/filesystemutils.h"
#include "fs/platform.h"
#include "fs/platformcopy.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>

namespace {

// Whether other names the entry at path under another spelling, on a file system that
// ignores case: each component that differs is what its folder lists for the other. (FUSE
// gives every spelling an inode of its own, so identities cannot tell.)
bool sameEntryBySpelling(const QString& path, const QString& other)
{
    if (path == other || path.compare(other, Qt::CaseInsensitive) != 0 || !QFileInfo::exists(other))
        return false;
    const QStringList parts = path.split(QLatin1Char('/'));
    const QStringList otherParts = other.split(QLatin1Char('/'));
    if (parts.size() != otherParts.size())
        return false;
    for (int i = 0; i < parts.size(); ++i) {
        QString stored;
        if (parts.at(i) != otherParts.at(i) &&
            !(FileSystemUtils::existsUnderOtherName(otherParts.mid(0, i + 1).join('/'), &stored) &&
              stored == parts.at(i)))
            return false;
    }
    return true;
}

// The same for other or the part of it that spells path: other lies inside path.
bool withinBySpelling(const QString& path, const QString& other)
{
    return other.size() > path.size() && other.at(path.size()) == QLatin1Char('/') &&
           sameEntryBySpelling(path, other.left(path.size()));
}

} // namespace

QString DestinationFileSystem::pathsRefusal(const QString& source, const QString& destination)
{
    const QString sourcePath = FileSystemUtils::normalizePath(QFileInfo(source).absoluteFilePath());
    const QString destinationPath =
        FileSystemUtils::normalizePath(QFileInfo(destination).absoluteFilePath());
    const QString onItself =
        QCoreApplication::translate("CopyTask", "Unable to copy an item on itself.");
    if (sourcePath == destinationPath || sameEntryBySpelling(sourcePath, destinationPath) ||
        withinBySpelling(sourcePath, destinationPath))
        return onItself;
    // Refused once, before anything starts, rather than once for every item of the run.
    const QFileInfo destinationInfo(destinationPath);
    if ((destinationInfo.exists() || destinationInfo.isSymLink()) && !destinationInfo.isDir())
        return QCoreApplication::translate("CopyTask", "The destination '%1' is not a folder.")
            .arg(destinationPath);
    if (FileSystemUtils::isRealDirectory(QFileInfo(sourcePath))) {
        if (FileSystemUtils::isSameEntry(sourcePath, destinationPath))
            return onItself;
        // A destination below the source by its very path is left out of the walk; reached
        // through another name, the walk would not know it and would copy the copies again.
        const QString prefix =
            sourcePath.endsWith(QDir::separator()) ? sourcePath : sourcePath + QDir::separator();
        if (!destinationPath.startsWith(prefix) &&
            FileSystemUtils::isWithinFolder(destinationPath, sourcePath))
            return onItself;
        return QString();
    }
    const QString target =
        destinationPath.endsWith(QDir::separator())
            ? destinationPath + FileSystemUtils::fileNameOf(sourcePath)
            : destinationPath + QDir::separator() + FileSystemUtils::fileNameOf(sourcePath);
    if (target == sourcePath || FileSystemUtils::isSameEntry(sourcePath, target) ||
        sameEntryBySpelling(sourcePath, target))
        return onItself;
    return QString();
}

void DestinationFileSystem::rememberMountPoint(const QString& destination)
{
    m_mountPoint = Platform::mountPointOf(destination);
}

QString DestinationFileSystem::refusal(const QString& destination) const
{
    if (m_mountPoint.isEmpty())
        return QString();
    const QString now = Platform::mountPointOf(destination);
    if (now == m_mountPoint)
        return QString();
    return driveGoneText(destination);
}

QString DestinationFileSystem::driveGoneText(const QString& destination) const
{
    return QCoreApplication::translate(
               "CopyTask",
               "The destination '%1' is no longer on the drive mounted at '%2' (is the drive "
               "mounted?).")
        .arg(destination, m_mountPoint);
}

void DestinationFileSystem::open(const QString& destination, bool writes)
{
    close();
    m_anchor = DestinationAnchor();
    m_warnedOfUnkeptAttributes = false;
    m_unkeptAttributesNote.clear(); // in the language of this run
    // Learnt afresh for each run: a device number may stand for another file system by now.
    Platform::forgetFileSystemTraits();
    if (!writes)
        return;
    m_handle = Platform::openFileSystem(destination, &m_path);
    m_device = m_handle >= 0 ? PlatformCopy::deviceOf(m_handle) : 0;
    m_anchor = DestinationAnchor::fromOpenFolder(m_handle, m_path);
    if (m_handle < 0) {
        m_path = destination;
        qWarning() << "Unable to open the file system of" << qUtf8Printable(m_path);
        FileSystemUtils::lastErrorText(Platform::lastFailedCall());
    }
}

void DestinationFileSystem::close()
{
    Platform::closeFileSystem(m_handle);
    m_handle = -1;
    m_device = 0;
}

void DestinationFileSystem::noteUnkeptAttributes(const CopyItem& item)
{
    if (m_warnedOfUnkeptAttributes || item.info_list.isEmpty())
        return;
    if (m_unkeptAttributesNote.isEmpty())
        m_unkeptAttributesNote = CopyObject::unsupportedAttributesNote();
    if (!item.info_list.contains(m_unkeptAttributesNote))
        return;
    m_warnedOfUnkeptAttributes = true;
    qWarning() << "The destination keeps no extended attributes or ACLs, first met with"
               << qUtf8Printable(item.destination_path);
}
