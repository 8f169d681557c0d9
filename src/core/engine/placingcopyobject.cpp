#include "engine/placingcopyobject.h"

#include "fs/filesystemutils.h"
#include "fs/platform.h"
#include "fs/reachablefileinfo.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace {

// Names taken by other copiers one after the other before a copy gives up its place.
const int maxPlaceAttempts = 1000;

using FileSystemUtils::failureText;

// The file copier's texts (this part of it was split off; its texts stayed where they were).
QString text(const char* source)
{
    return QCoreApplication::translate("CopyFileObject", source);
}

} // namespace

PlacingCopyObject::PlacingCopyObject(QObject* parent) : CopyObject(parent) {}

bool PlacingCopyObject::createDestinationFolder()
{
    const QString folder = QFileInfo(destination_path).absolutePath();
    if (ReachableFileInfo(folder).isDir())
        return true;
    // The copy then fails for want of the folder; the reason is the folder's.
    PlatformCopy::Failure failure;
    if (createFoldersBelowRoot(folder, &failure))
        return true;
    info_list.append(failureText(failure));
    qWarning() << "Unable to create folder" << qUtf8Printable(folder);
    return false;
}

bool PlacingCopyObject::pinDestinationFolder()
{
    const bool created = createDestinationFolder();
    if (m_destinationRoot.isEmpty())
        return true; // reached by path
    PlatformCopy::Failure failure;
    if (m_folder.pin(m_destinationRoot, m_destinationRootFd,
                     QFileInfo(destination_path).absolutePath(), &failure))
        return true;
    // A folder that could not be made has given its reason already.
    if (created)
        info_list.append(failureText(failure));
    setDestinationError(
        failure.code == ELOOP
            ? CopyObject::tr("the destination holds a symbolic link where a folder is needed: %1")
                  .arg(QFileInfo(destination_path).absolutePath())
            : text(QT_TRANSLATE_NOOP("CopyFileObject", "unable to copy file")));
    return false;
}

int PlacingCopyObject::jobFolderDescriptor()
{
    // Opened once for the files of one folder, from the root without following links, as
    // each copy would open it.
    if (!mp_jobFolder || m_destinationRoot.isEmpty() || m_destinationRootFd < 0)
        return -1;
    const int slash = destination_path.lastIndexOf(QLatin1Char('/'));
    if (slash > 0 && mp_jobFolder->isPinned() &&
        destination_path.leftRef(slash) == mp_jobFolder->folder())
        return mp_jobFolder->descriptor();
    const QString folder = FileSystemUtils::folderOf(destination_path);
    PlatformCopy::Failure reaching;
    if ((mp_jobFolder->isPinned() && mp_jobFolder->folder() == folder) ||
        mp_jobFolder->pin(m_destinationRoot, m_destinationRootFd, folder, &reaching))
        return mp_jobFolder->descriptor();
    return -1;
}

int PlacingCopyObject::releaseJobFolder()
{
    if (mp_jobFolder)
        mp_jobFolder->release();
    return -1;
}

QString PlacingCopyObject::writePath(const QString& path) const
{
    return m_folder.entryPath(FileSystemUtils::fileNameOf(path), path);
}

QString PlacingCopyObject::reserveTemporaryName()
{
    PlatformCopy::Failure failure;
    QString temporary;
    const int fd =
        PlatformCopy::createTemporaryFile(writePath(destination_path), &temporary, &failure);
    if (fd < 0) {
        info_list.append(failureText(failure));
        return QString();
    }
    // The random name stays unused by others; the copy creates it anew.
    Platform::closeFile(fd);
    FileSystemUtils::removeFile(temporary);
    return temporary;
}

bool PlacingCopyObject::placeCopy(const QString& temporary)
{
    PlatformCopy::Failure reaching;
    if (!m_folder.isPinned() && !m_destinationRoot.isEmpty() &&
        !m_folder.pin(m_destinationRoot, m_destinationRootFd,
                      QFileInfo(destination_path).absolutePath(), &reaching)) {
        // Its folder is no longer where it was taken from: the name is never given.
        info_list.append(failureText(reaching));
        setDestinationError(text(QT_TRANSLATE_NOOP("CopyFileObject", "unable to copy file")));
        FileSystemUtils::removeFile(temporary);
        return false;
    }
    for (int attempt = 0;; ++attempt) {
        PlatformCopy::Failure failure;
        // Through the folder held open, where it is: no way to it looked up again.
        const bool placed =
            m_folder.isPinned()
                ? PlatformCopy::moveIntoPlaceAt(
                      m_folder.descriptor(), FileSystemUtils::fileNameOf(temporary),
                      FileSystemUtils::fileNameOf(destination_path), &failure, m_replaceExisting)
                : PlatformCopy::moveIntoPlace(temporary, destination_path, &failure,
                                              m_replaceExisting);
        if (placed) {
            if (m_replaceExisting)
                info_list.append(
                    text(QT_TRANSLATE_NOOP("CopyFileObject", "existing file is removed")));
            return true;
        }
        if (!m_replaceExisting && failure.code == EEXIST && attempt < maxPlaceAttempts) {
            // Placed by another copier since the decision (collate, auto rename): decided
            // again against that entry. Under no-overwrite it is skipped, as the file list
            // skips an existing file.
            if (m_options.m_overwriteMode == CopyOptions::NoOverwrite)
                copy_state = Skipped;
            else if (decideExistingDestination())
                continue;
            FileSystemUtils::removeFile(temporary);
            return false;
        }
        info_list.append(failureText(failure));
        if (m_replaceExisting) {
            info_list.append(
                text(QT_TRANSLATE_NOOP("CopyFileObject", "Unable to remove existing file")));
            setDestinationError(
                text(QT_TRANSLATE_NOOP("CopyFileObject", "file cannot be overwritten")));
        } else {
            setDestinationError(text(QT_TRANSLATE_NOOP("CopyFileObject", "unable to copy file")));
        }
        FileSystemUtils::removeFile(temporary);
        return false;
    }
}

bool PlacingCopyObject::copySymbolicLink()
{
    // Made under a temporary name and placed like a file: an existing link is replaced
    // only once the new one exists.
    const QString temporary = reserveTemporaryName();
    if (temporary.isEmpty())
        return false;
    // A dangling source link is copied all the same, pointing nowhere as it does.
    if (!ReachableFileInfo(source_path).exists())
        qWarning() << "Symbolic link target not found:" << qUtf8Printable(link_target);
    // A target kept as the source stores it is copied byte for byte (it need not be valid
    // text); a target pointed into the copy is written as given.
    QString sourceText;
    const bool sameText =
        Platform::symbolicLinkText(source_path, &sourceText) && sourceText == link_target;
    PlatformCopy::Failure failure;
    if (!(sameText ? PlatformCopy::duplicateSymbolicLink(source_path, temporary, &failure)
                   : PlatformCopy::createSymbolicLink(link_target, temporary, &failure))) {
        info_list.append(failureText(failure));
        return false;
    }
    if (!placeCopy(temporary))
        return true; // decided
    FileSystemUtils::syncFile(source_path, writePath(destination_path),
                              m_settings.removeReadOnlyAttribute);
    copy_state = Copied;
    return true;
}

void PlacingCopyObject::copyPseudoFile()
{
    // Read to the end whatever the size says (as cp does), then placed like any copy.
    QByteArray data;
    if (!FileSystemUtils::readToEnd(source_path, Platform::maxPseudoFileBytes, &data)) {
        setSourceError(text(QT_TRANSLATE_NOOP("CopyFileObject", "source file is not readable")));
        return;
    }
    const QString temporary = reserveTemporaryName();
    const Platform::ReachablePath reachable(temporary);
    QFile out(reachable.text());
    if (temporary.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(data) != data.size()) {
        if (!temporary.isEmpty())
            FileSystemUtils::removeFile(temporary);
        setDestinationError(text(QT_TRANSLATE_NOOP("CopyFileObject", "unable to copy file")));
        return;
    }
    out.close();
    file_size = data.size();
    if (!placeCopy(temporary))
        return; // decided
    copy_state = Copied;
}

void PlacingCopyObject::copySpecialFile()
{
    if (m_options.m_copyMode == CopyOptions::Verify) {
        // Nothing to hash: the same kind of entry, and the same device, is the check.
        if (!FileSystemUtils::fileExists(destination_path)) {
            setDestinationError(
                text(QT_TRANSLATE_NOOP("CopyFileObject", "Destination file does not exist")));
        } else if (Platform::sameSpecialFile(source_path, destination_path)) {
            copy_state = Skipped;
            is_checked = true;
            info_list.append(text(QT_TRANSLATE_NOOP("CopyFileObject", "copy verified")));
        } else {
            setDestinationError(text(QT_TRANSLATE_NOOP("CopyFileObject", "different file exists")));
        }
        return;
    }
    if (!pinDestinationFolder())
        return;
    const QString temporary = reserveTemporaryName();
    PlatformCopy::Failure failure;
    PlatformCopy::fileVersion(source_path, &m_sourceVersion);
    if (temporary.isEmpty() ||
        !PlatformCopy::duplicateSpecialFile(source_path, temporary, &failure)) {
        if (!temporary.isEmpty()) {
            info_list.append(failureText(failure));
            // A failed mknod may still leave an entry (FUSE exFAT makes a file, then fails).
            FileSystemUtils::removeFile(temporary);
        }
        setDestinationError(text(QT_TRANSLATE_NOOP("CopyFileObject", "unable to copy file")));
        return;
    }
    // Its owner and mode before it takes its name, as a copied file's.
    info_list += metadataNotes(PlatformCopy::copyMetadata(source_path, temporary, 0));
    if (!placeCopy(temporary))
        return; // decided
    FileSystemUtils::syncFile(source_path, writePath(destination_path),
                              m_settings.removeReadOnlyAttribute);
    copy_state = Copied;
}

bool PlacingCopyObject::linkTo(const QString& firstCopy, const PlatformCopy::FileVersion& version)
{
    if (m_destinationRoot.isEmpty())
        return false;
    createDestinationFolder();
    PlatformCopy::Failure failure;
    bool linked =
        PlatformCopy::createHardLinkBeneath(m_destinationRoot, m_destinationRootFd, firstCopy,
                                            destination_path, version, m_replaceExisting, &failure);
    // A file the overwrite rule kept for the first name has its own time: it serves when it
    // holds this name's bytes (and still is the file compared when linked).
    PlatformCopy::FileVersion kept;
    if (!linked && failure.code == ESTALE && keptCopyHoldsSource(firstCopy, version, &kept))
        linked = PlatformCopy::createHardLinkBeneath(m_destinationRoot, m_destinationRootFd,
                                                     firstCopy, destination_path, kept,
                                                     m_replaceExisting, &failure);
    if (!linked) {
        qDebug() << "Copying" << qUtf8Printable(source_path) << "as a file instead of a link to"
                 << qUtf8Printable(firstCopy) << ":" << qUtf8Printable(failureText(failure));
        return false;
    }
    // The copier's own texts, where they were first written.
    if (m_replaceExisting)
        info_list.append(QCoreApplication::translate("CopyFileObject", "existing file is removed"));
    info_list.append(
        QCoreApplication::translate("CopyFileObject", "hard link to %1").arg(firstCopy));
    file_size = version.size;
    // The move removes the source only while it is still the version linked.
    m_sourceVersion = version;
    copy_state = Copied;
    return true;
}

bool PlacingCopyObject::keptCopyHoldsSource(const QString& firstCopy,
                                            const PlatformCopy::FileVersion& source,
                                            PlatformCopy::FileVersion* kept) const
{
    Platform::EntryStatus status;
    if (!Platform::entryStatus(firstCopy, &status) || !status.isFile || status.size != source.size)
        return false;
    kept->size = status.size;
    kept->seconds = status.lastWrite.seconds;
    kept->nanoseconds = status.lastWrite.nanoseconds;
    bool equal = false;
    PlatformCopy::FileVersion after;
    return PlatformCopy::compareFiles(source_path, firstCopy, stopFlag(), &equal, nullptr) &&
           equal && PlatformCopy::fileVersion(source_path, &after) && after.sameData(source);
}
