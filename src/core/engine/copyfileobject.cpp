#include "engine/copyfileobject.h"
#include "engine/checkfilejob.h"

#include "fs/filesystemutils.h"
#include "fs/platform.h"
#include "fs/platformcopy.h"
#include "jobs/transfercounters.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace {

const qint64 simpleBlockSize = 4096;
const int maxZeroReads = 3;
const qint64 maxModificationDriftSecs = 60;
// Names taken by other copiers one after the other before a copy gives up its place.
const int maxPlaceAttempts = 1000;

// The "user" flags describe what the running process may do (everything, for root), not
// the file's mode; setting them would add the owner's bits of that access.
QFileDevice::Permissions modeFlags(QFileDevice::Permissions permissions)
{
    return permissions & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
}

// The mode's permission bits as Qt's owner, group and other flags.
QFileDevice::Permissions permissionsFromMode(int mode)
{
    const int owner = (mode >> 6) & 7;
    const int group = (mode >> 3) & 7;
    const int other = mode & 7;
    return QFileDevice::Permissions(QFlag((owner << 12) | (group << 4) | other));
}

QString failureText(const PlatformCopy::Failure& failure)
{
    Platform::recordFailure(failure.call, failure.code);
    return FileSystemUtils::lastErrorText(QString::fromLatin1(failure.call));
}

} // namespace

CopyFileObject::CopyFileObject(QObject* parent) : CopyObject(parent) {}

void CopyFileObject::startCopy()
{
    CopyObject::startCopy();

    // One lstat answers most questions about the source; QFileInfo would ask several times.
    // A source that the job has opened is known, and readable, already.
    const bool opened = m_sourceFd >= 0;
    Platform::EntryStatus source = m_sourceStatus;
    const bool sourceKnown = opened || Platform::entryStatus(source_path, &source);
    // A FIFO, socket or device node is listed without data: one that was listed with data
    // was a regular file, replaced since.
    if (source.isSpecial && file_size > 0)
        source.isSpecial = false;
    file_size = sourceKnown ? source.size : 0;
    m_sourceMode = sourceKnown ? source.permissions : -1;
    m_sourcePermissions = permissionsFromMode(qMax(m_sourceMode, 0));

    if (source.isSymLink) {
        const QFileInfo link(source_path);
        file_size = link.size();
        m_sourcePermissions = link.permissions();
        // The text as stored: a relative link stays relative.
        if (link_target.isEmpty() && Platform::symbolicLinkText(source_path, &link_target))
            link_target = QDir::toNativeSeparators(link_target);
    } else if (!sourceKnown || (!opened && !Platform::isReadable(source_path))) {
        // Gone since the list was built, or closed to the user.
        setSourceError(Platform::entryMissing(source_path) ? tr("source file does not exist")
                                                           : tr("source file is not readable"));
        finishCopy();
        return;
    } else if (!source.isFile && !source.isSpecial) {
        // An entry of an unknown kind: opening one can block forever or never end.
        setSourceError(tr("source file is not a regular file"));
        finishCopy();
        return;
    }

    if (m_options.m_copyMode == CopyOptions::Verify) {
        m_options.m_overwriteMode = CopyOptions::NoOverwrite;
    } else if (m_options.m_copyMode == CopyOptions::FixErrors && isError()) {
        // Retried from scratch; an existing destination goes only by the overwrite mode, but
        // for a copy whose bytes were found to differ.
        if (CheckFileJob::failedCheck(*this))
            m_options.m_overwriteMode = CopyOptions::OverwriteAlways;
        resetState();
        info_list.clear();
    }

    m_requestedDestination = destination_path;
    // Asked again once the copy is made: a drive that goes meanwhile is found then.
    if (refuseLostDestination(m_options.m_copyMode) || refuseLinkOnTheWay(false)) {
        finishCopy();
        return;
    }
    Platform::EntryStatus existing;
    if (source.isSpecial && m_options.m_copyMode == CopyOptions::Verify) {
        copySpecialFile();
        finishCopy();
        return;
    }
    if (FileSystemUtils::fileExists(destination_path)) {
        // A hard link, or a path through a linked folder or a bind mount: replacing it, or
        // deleting the source of a move, would destroy the only copy.
        Platform::EntryIdentity sourceIdentity;
        Platform::EntryIdentity destinationIdentity;
        if (Platform::entryIdentity(source_path, &sourceIdentity, !source.isSymLink) &&
            Platform::entryIdentity(destination_path, &destinationIdentity, !source.isSymLink) &&
            sourceIdentity == destinationIdentity) {
            m_sameEntry = true;
            copy_state = Skipped;
            info_list.append(tr("source and destination are the same file"));
            finishCopy();
            return;
        }
        // A file is never put in a folder's place, nor skipped as if it were there: only an
        // automatic rename finds it a name of its own.
        if (m_options.m_overwriteMode != CopyOptions::AutoRename &&
            Platform::entryStatus(destination_path, &existing) && existing.isFolder) {
            info_list.append(tr("Unable to remove existing file"));
            setDestinationError(tr("the destination holds a folder of this name"));
            finishCopy();
            return;
        }
        QString storedName;
        if (m_checkStoredNames &&
            FileSystemUtils::destinationTraits(QFileInfo(destination_path).path(), true)
                .caseInsensitive &&
            FileSystemUtils::existsUnderOtherName(destination_path, &storedName)) {
            setDestinationError(
                tr("the destination holds this name in another case: %1").arg(storedName));
            finishCopy();
            return;
        }
        if (!decideExistingDestination()) {
            finishCopy();
            return;
        }
    } else if (m_options.m_copyMode == CopyOptions::Verify) {
        setDestinationError(tr("Destination file does not exist"));
        finishCopy();
        return;
    }

    if (source.isSpecial) {
        copySpecialFile();
        finishCopy();
        return;
    }

    // The native copy creates a missing folder when its first file cannot be created.
    if (source.isSymLink || !usesNativeCopy())
        createDestinationFolder();

    if (source.isSymLink) {
        if (!copySymbolicLink())
            setDestinationError(tr("unable to copy symbolic link"));
        finishCopy();
    } else if ((source.size == 0 || source.size == 4096) &&
               Platform::onPseudoFileSystem(source_path)) {
        copyPseudoFile();
        finishCopy();
    } else if (copyFileData()) {
        verifyCopiedFile();
    } else {
        finishCopy();
    }
}

bool CopyFileObject::usesNativeCopy() const
{
    const int method = m_settings.copyMethod;
    return method != QtMethod && method != SimpleMethod;
}

bool CopyFileObject::createDestinationFolder()
{
    const QString folder = QFileInfo(destination_path).absolutePath();
    if (QDir(folder).exists())
        return true;
    // The copy then fails for want of the folder; the reason is the folder's.
    PlatformCopy::Failure failure;
    if (createFoldersBelowRoot(folder, &failure))
        return true;
    info_list.append(failureText(failure));
    qWarning() << "Unable to create folder" << qUtf8Printable(folder);
    return false;
}

bool CopyFileObject::decideExistingDestination()
{
    m_replaceExisting = false;
    if (m_options.m_overwriteMode == CopyOptions::AutoRename) {
        int number = 0;
        const QString renamed = FileSystemUtils::uniqueFileName(m_requestedDestination, &number);
        if (number > 0) {
            // One entry, for the name finally taken.
            const QString text = tr("Auto renamed") + QStringLiteral(" (%1)").arg(number);
            if (m_renameInfoIndex >= 0 && m_renameInfoIndex < info_list.size()) {
                info_list[m_renameInfoIndex] = text;
            } else {
                m_renameInfoIndex = info_list.size();
                info_list.append(text);
            }
            destination_path = renamed;
            return true;
        }
        destination_path = m_requestedDestination;
        if (!FileSystemUtils::fileExists(destination_path))
            return true;
        info_list.append(tr("Unable to rename destination file"));
    }
    return checkExistingDestination(QFileInfo(source_path), QFileInfo(destination_path));
}

bool CopyFileObject::checkExistingDestination(const QFileInfo& source, const QFileInfo& destination)
{
    const bool isLink = source.isSymLink();
    bool older = false;
    bool newer = false;
    bool sizeDiffers = false;
    bool createdDiffers = false;
    bool linkDiffers = false;
    if (isLink) {
        linkDiffers = FileSystemUtils::linkTargetsDiffer(source, destination, link_target);
    } else {
        const int order = FileSystemUtils::modificationOrder(source, destination);
        older = order < 0;
        newer = order > 0;
        sizeDiffers = source.size() != destination.size();
        // Never true where creation dates are unknown.
        createdDiffers = FileSystemUtils::createdDatesDiffer(source, destination);
    }
    const bool differs = isLink ? linkDiffers : (older || newer || sizeDiffers || createdDiffers);

    const int mode = m_options.m_overwriteMode;
    const bool overwrite = mode == CopyOptions::OverwriteAlways ||
                           (mode == CopyOptions::OverwriteOlder && older) ||
                           (mode == CopyOptions::OverwriteDifferent && differs);

    if (older)
        info_list.append(tr("file with older modification date exists"));
    else if (newer)
        info_list.append(tr("file with newer modification date exixts"));
    else if (sizeDiffers)
        info_list.append(tr("file with different size exists"));
    if (linkDiffers)
        info_list.append(tr("symbolic link target is different"));

    if (overwrite) {
        // The copy replaces it by rename once complete; a rename never replaces a folder.
        if (!destination.isDir() || destination.isSymLink()) {
            m_replaceExisting = true;
            return true;
        }
        info_list.append(tr("Unable to remove existing file"));
    }

    // Dates are not trusted with that setting: only sizes and link targets count.
    const bool significant = (m_settings.skipErrorsInSync || isLink)
                                 ? (sizeDiffers || linkDiffers)
                                 : (sizeDiffers || createdDiffers || older || newer || linkDiffers);
    // Never overwriting, an existing file is skipped (its difference noted), as the file
    // list skips one it finds: whether a clash of two sources of a Collate run is met by the
    // list or by the copier then makes no difference. (A move still compares the bytes; a
    // verify reports every difference.)
    const bool neverOverwrite =
        mode == CopyOptions::NoOverwrite && m_options.m_copyMode != CopyOptions::Verify;
    if ((mode == CopyOptions::OverwriteOlder && newer) || neverOverwrite || !significant)
        copy_state = Skipped;
    else if (overwrite)
        setDestinationError(tr("file cannot be overwritten"));
    else if (!info_list.isEmpty())
        setDestinationError(info_list.takeLast());
    else
        setDestinationError(tr("different file exists"));
    return false;
}

bool CopyFileObject::copyFileData()
{
    switch (m_settings.copyMethod) {
    case QtMethod: {
        // Qt refuses an existing target: the copy is made under a temporary name and placed
        // as the other methods place theirs.
        const QString temporary = reserveTemporaryName();
        if (temporary.isEmpty()) {
            setDestinationError(tr("unable to copy file"));
            return false;
        }
        PlatformCopy::FileVersion before;
        PlatformCopy::FileVersion after;
        const bool known = PlatformCopy::fileVersion(source_path, &before);
        QString reason;
        if (!FileSystemUtils::copyFileWithQt(source_path, temporary,
                                             m_settings.removeReadOnlyAttribute, &reason)) {
            if (!reason.isEmpty())
                info_list.append(reason);
            setDestinationError(tr("unable to copy file"));
            FileSystemUtils::removeFile(temporary);
            return false;
        }
        // QFile::copy cannot skip holes: it reads and writes every byte, the zeros of a
        // source's holes too. They are punched out of the copy again here, before the source
        // is checked for changes and the copy flushed and placed: the copy of a sparse file
        // takes as little room as its source, but it costs the time of a full copy and needs
        // room for the full size for that moment.
        PlatformCopy::Failure punching;
        if (!PlatformCopy::punchHolesLike(source_path, temporary, &punching)) {
            info_list.append(failureText(punching));
            setDestinationError(tr("unable to copy file"));
            FileSystemUtils::removeFile(temporary);
            return false;
        }
        if (known && PlatformCopy::fileVersion(source_path, &after) &&
            (after != before || before.size != file_size)) {
            reportSourceChanged();
            FileSystemUtils::removeFile(temporary);
            return false;
        }
        // A move removes the source only while it is still this file.
        if (known)
            m_sourceVersion = before;
        PlatformCopy::Failure failure;
        if (!PlatformCopy::flushToDisk(temporary, &failure)) {
            info_list.append(failureText(failure));
            setDestinationError(tr("unable to copy file"));
            FileSystemUtils::removeFile(temporary);
            return false;
        }
        return placeCopy(temporary);
    }
    case SimpleMethod:
        return copyFileSimple();
    default:
        return copyFileNative();
    }
}

bool CopyFileObject::copyFileNative()
{
    TransferCounters* counters = TransferCounters::instance();
    const bool large = file_size >= largeFileSize;
    PlatformCopy::ProgressFunction progress;
    if (large) {
        counters->setValue(TransferCounters::CurrentFileBytesCopied, 0);
        counters->setValue(TransferCounters::CurrentFileSize, file_size);
        progress = [counters](qint64 copied, qint64 total) {
            counters->setValue(TransferCounters::CurrentFileBytesCopied, copied);
            counters->setValue(TransferCounters::CurrentFileSize, total);
        };
    }

    // Dates, permissions, owner and extended attributes are set on the open copy, before it
    // takes its name.
    PlatformCopy::CopyRequest request;
    request.permissions = m_sourceMode & 07777;
    request.sourceMetadata = true;
    // Otherwise a read-only source would make a read-only copy.
    if (m_settings.removeReadOnlyAttribute)
        request.permissions |= 0200;
    request.sourceTimes = true;
    request.deferBelowSize = m_deferBelowSize;
    request.deferDevice = m_deferDevice;
    request.sourceFd = m_sourceFd;
    request.replaceExisting = m_replaceExisting;
    request.keepOnClash = true;
    request.destinationRoot = m_destinationRoot;

    PlatformCopy::Failure failure;
    PlatformCopy::CopyOutcome outcome;
    bool copied = PlatformCopy::copyFile(source_path, destination_path, stopFlag(), progress,
                                         &failure, request, &outcome);
    if (!copied && !failure.sourceChanged && qstrcmp(failure.call, "open") == 0 &&
        (failure.code == ENOENT || failure.code == ENOTDIR) &&
        FileSystemUtils::fileExists(source_path)) {
        // The destination folder is missing (or was, until another copy of this run made
        // it): created when needed, then the copy is tried once more.
        if (createDestinationFolder()) {
            failure = PlatformCopy::Failure();
            request.sourceFd = -1; // read from the start again
            copied = PlatformCopy::copyFile(source_path, destination_path, stopFlag(), progress,
                                            &failure, request, &outcome);
        }
    }
    if (large) {
        counters->setValue(TransferCounters::CurrentFileBytesCopied, file_size);
        counters->setValue(TransferCounters::CurrentFileSize, file_size);
    }
    if (!copied && failure.sourceChanged) {
        reportSourceChanged();
        return false;
    }
    if (!copied && !outcome.temporaryPath.isEmpty()) {
        // Complete, but another copier took the name meanwhile.
        if (!placeCopy(outcome.temporaryPath))
            return false;
        outcome.temporaryPath.clear();
    } else if (!copied && m_replaceExisting && qstrcmp(failure.call, "rename") == 0) {
        info_list.append(failureText(failure));
        info_list.append(tr("Unable to remove existing file"));
        setDestinationError(tr("file cannot be overwritten"));
        return false;
    } else if (!copied) {
        info_list.append(failureText(failure));
        setDestinationError(tr("unable to copy file"));
        return false;
    } else if (m_replaceExisting && outcome.temporaryPath.isEmpty()) {
        info_list.append(tr("existing file is removed"));
    }
    info_list += metadataNotes(outcome.metadataLoss);
    m_nativeOutcome = true;
    m_sourceVersion = outcome.source;
    m_copyVersion = outcome.copy;
    m_pendingTemporaryPath = outcome.temporaryPath;
    return true;
}

bool CopyFileObject::copyFileSimple()
{
    QFile source(source_path);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        qWarning() << qUtf8Printable(source_path) << "is not readable";
        setSourceError(tr("unable to read source file"));
        return false;
    }
    // Written under a hidden temporary name that takes the final one only once complete,
    // so that a crash or a kill never leaves a partial file under the final name.
    PlatformCopy::Failure failure;
    QString temporary;
    const int fd = PlatformCopy::createTemporaryFile(destination_path, &temporary, &failure);
    QFile destination;
    if (fd < 0 || !destination.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                                    QFileDevice::AutoCloseHandle)) {
        source.close();
        if (fd < 0)
            info_list.append(failureText(failure));
        else
            FileSystemUtils::removeFile(temporary);
        qWarning() << "Unable to open destination file for copy"
                   << qUtf8Printable(destination_path);
        setDestinationError(tr("unable to open destination file"));
        return false;
    }

    PlatformCopy::FileVersion before;
    const bool versionKnown = PlatformCopy::fileVersion(source.handle(), &before);

    char buffer[simpleBlockSize];
    qint64 copied = 0;
    int zeroReads = 0;
    // Of a source with holes only the stretches of data are read and written: the holes
    // between them are skipped and stay holes in the copy, which gets its full size at the
    // end. dataEnd is where the stretch being copied ends.
    const bool sparse = PlatformCopy::mayHaveHoles(source.handle());
    qint64 dataEnd = sparse ? 0 : file_size;
    qint64 nextMark = progressStep;
    if (file_size != 0) {
        do {
            if (copied >= dataEnd) {
                qint64 start = file_size;
                qint64 end = file_size;
                const PlatformCopy::DataSearch found =
                    PlatformCopy::findData(source.handle(), copied, &start, &end, &failure);
                if (found == PlatformCopy::DataSearch::Failed) {
                    info_list.append(failureText(failure));
                    setSourceError(tr("unable to complete reading from source file"));
                    break;
                }
                if (found == PlatformCopy::DataSearch::Unsupported) {
                    start = copied;
                    end = file_size;
                }
                // The search moved the source's position: both files go to the data.
                start = qMin(start, file_size);
                dataEnd = end;
                if (!source.seek(start)) {
                    info_list.append(source.errorString());
                    setSourceError(tr("unable to complete reading from source file"));
                    break;
                }
                if (!destination.seek(start)) {
                    info_list.append(destination.errorString());
                    setDestinationError(tr("unable to write to destination file"));
                    break;
                }
                copied = start;
                if (copied == file_size)
                    break; // a hole up to the end
            }
            const qint64 got = source.read(buffer, simpleBlockSize);
            if (got < 0) {
                info_list.append(source.errorString());
                setSourceError(tr("unable to complete reading from source file"));
                break;
            }
            if (got == 0) {
                // The source shrank since its size was read.
                if (copied == file_size || ++zeroReads >= maxZeroReads)
                    break;
                continue;
            }
            // A short write is retried: the call that fails then tells why.
            qint64 written = 0;
            while (written < got) {
                const qint64 put = destination.write(buffer + written, got - written);
                if (put <= 0)
                    break;
                written += put;
            }
            if (written < got) {
                info_list.append(destination.errorString());
                qWarning() << "Unable to write data in destination file"
                           << qUtf8Printable(destination_path);
                setDestinationError(tr("unable to write to destination file"));
                break;
            }
            copied += got;
            if (copied >= nextMark) {
                nextMark = (copied / progressStep + 1) * progressStep;
                if (isStopRequested())
                    break;
                emit copyProgress(copied, file_size);
            }
        } while (copied != file_size);
    }
    if (sparse && copied == file_size && !isError() && !destination.resize(file_size)) {
        info_list.append(destination.errorString());
        setDestinationError(tr("unable to write to destination file"));
    }
    // The loop ends at the size read before the copy, or past it: a source that grew, or
    // was written to meanwhile, would leave a copy of no version it ever had. (One that
    // shrank ends short of the size, as an incomplete copy.)
    PlatformCopy::FileVersion after;
    const bool changed = copied >= file_size && versionKnown &&
                         PlatformCopy::fileVersion(source.handle(), &after) &&
                         (!after.sameData(before) || after.size != file_size);
    source.close();
    destination.close();
    if (versionKnown && !changed)
        m_sourceVersion = before;

    if (copied == file_size && !changed && !isError()) {
        // On disk before it takes the final name, as the native copy does.
        if (PlatformCopy::flushToDisk(temporary, &failure)) {
            if (!placeCopy(temporary))
                return false;
            if (!FileSystemUtils::syncFile(source_path, destination_path,
                                           m_settings.removeReadOnlyAttribute))
                qWarning() << "Unable to sync file:" << qUtf8Printable(destination_path);
            return true;
        }
        info_list.append(failureText(failure));
    }
    if (changed && !isError())
        reportSourceChanged();
    else if (!isError())
        setDestinationError(tr("unable to complete the copy"));
    FileSystemUtils::removeFile(temporary);
    return false;
}

bool CopyFileObject::copySymbolicLink()
{
    // Made under a temporary name and placed like a file: an existing link is replaced
    // only once the new one exists.
    const QString temporary = reserveTemporaryName();
    if (temporary.isEmpty())
        return false;
    // A dangling source link is copied all the same, pointing nowhere as it does.
    if (!QFileInfo::exists(source_path))
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
    FileSystemUtils::syncFile(source_path, destination_path, m_settings.removeReadOnlyAttribute);
    copy_state = Copied;
    return true;
}

void CopyFileObject::copyPseudoFile()
{
    // Read to the end whatever the size says (as cp does), then placed like any copy.
    constexpr qint64 maxBytes = 64 << 20;
    QFile in(source_path);
    QByteArray data;
    if (in.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        char block[65536];
        qint64 read = 0;
        while (data.size() <= maxBytes && (read = in.read(block, sizeof block)) > 0)
            data.append(block, int(read));
        if (read < 0)
            data.clear();
    }
    if (!in.isOpen() || data.size() > maxBytes) {
        setSourceError(tr("source file is not readable"));
        return;
    }
    createDestinationFolder();
    const QString temporary = reserveTemporaryName();
    QFile out(temporary);
    if (temporary.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(data) != data.size()) {
        if (!temporary.isEmpty())
            FileSystemUtils::removeFile(temporary);
        setDestinationError(tr("unable to copy file"));
        return;
    }
    out.close();
    file_size = data.size();
    if (!placeCopy(temporary))
        return; // decided
    copy_state = Copied;
}

void CopyFileObject::copySpecialFile()
{
    if (m_options.m_copyMode == CopyOptions::Verify) {
        // Nothing to hash: the same kind of entry, and the same device, is the check.
        if (!FileSystemUtils::fileExists(destination_path)) {
            setDestinationError(tr("Destination file does not exist"));
        } else if (Platform::sameSpecialFile(source_path, destination_path)) {
            copy_state = Skipped;
            is_checked = true;
            info_list.append(tr("copy verified"));
        } else {
            setDestinationError(tr("different file exists"));
        }
        return;
    }
    createDestinationFolder();
    const QString temporary = reserveTemporaryName();
    PlatformCopy::Failure failure;
    if (temporary.isEmpty() ||
        !PlatformCopy::duplicateSpecialFile(source_path, temporary, &failure)) {
        if (!temporary.isEmpty())
            info_list.append(failureText(failure));
        setDestinationError(tr("unable to copy file"));
        return;
    }
    // Its owner and mode before it takes its name, as a copied file's.
    info_list += metadataNotes(PlatformCopy::copyMetadata(source_path, temporary, 0));
    if (!placeCopy(temporary))
        return; // decided
    FileSystemUtils::syncFile(source_path, destination_path, m_settings.removeReadOnlyAttribute);
    copy_state = Copied;
}

QString CopyFileObject::reserveTemporaryName()
{
    PlatformCopy::Failure failure;
    QString temporary;
    const int fd = PlatformCopy::createTemporaryFile(destination_path, &temporary, &failure);
    if (fd < 0) {
        info_list.append(failureText(failure));
        return QString();
    }
    // The random name stays unused by others; the copy creates it anew.
    Platform::closeFile(fd);
    FileSystemUtils::removeFile(temporary);
    return temporary;
}

bool CopyFileObject::placeCopy(const QString& temporary)
{
    for (int attempt = 0;; ++attempt) {
        PlatformCopy::Failure failure;
        if (PlatformCopy::moveIntoPlace(temporary, destination_path, &failure, m_replaceExisting)) {
            if (m_replaceExisting)
                info_list.append(tr("existing file is removed"));
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
            info_list.append(tr("Unable to remove existing file"));
            setDestinationError(tr("file cannot be overwritten"));
        } else {
            setDestinationError(tr("unable to copy file"));
        }
        FileSystemUtils::removeFile(temporary);
        return false;
    }
}

void CopyFileObject::verifyCopiedFile()
{
    PlatformCopy::FileVersion source = m_sourceVersion;
    PlatformCopy::FileVersion copy = m_copyVersion;
    if (!m_nativeOutcome) {
        // Links followed, as a link copied by the other methods is checked by its target.
        if (!PlatformCopy::fileVersion(source_path, &source))
            source = PlatformCopy::FileVersion();
        if (!PlatformCopy::fileVersion(destination_path, &copy))
            copy = PlatformCopy::FileVersion();
    }
    if (copy.size != file_size) {
        setDestinationError(tr("file size error"));
        discardPendingCopy();
        finishCopy();
        return;
    }
    copy_state = Copied;
    bool problem = false;

    const qint64 sourceMs = source.seconds * 1000 + source.nanoseconds / 1000000;
    const qint64 copyMs = copy.seconds * 1000 + copy.nanoseconds / 1000000;
    if (source.size >= 0 && qAbs(copyMs - sourceMs) / 1000 >= maxModificationDriftSecs) {
        info_list.append(tr("unable to sync last modification date"));
        problem = true;
    }

    // Invalid where the platform does not keep creation dates: never a problem then.
    const QDateTime sourceCreated = Platform::creationTime(source_path);
    const QDateTime destinationCreated = Platform::creationTime(destination_path);
    if (sourceCreated.isValid() && destinationCreated.isValid() &&
        sourceCreated.date() != destinationCreated.date()) {
        const QDateTime sourceModified = QDateTime::fromMSecsSinceEpoch(sourceMs);
        if (sourceCreated.date() <= sourceModified.date()) {
            info_list.append(tr("unable to sync creation date"));
            problem = true;
        } else {
            info_list.append(tr("creation date is newer than modification date on source file"));
        }
    }

    if (problem && !m_settings.skipErrorsInSync) {
        if (info_list.isEmpty())
            setDestinationError(tr("unable to sync destination file"));
        else
            setDestinationError(info_list.takeLast());
        discardPendingCopy();
    }
    finishCopy();
}

void CopyFileObject::discardPendingCopy()
{
    if (m_pendingTemporaryPath.isEmpty())
        return;
    FileSystemUtils::removeFile(m_pendingTemporaryPath);
    m_pendingTemporaryPath.clear();
}

void CopyFileObject::finishCopy()
{
    // A deferred copy is checked once placed, with its group.
    const bool wrote = copy_state == Copied && m_pendingTemporaryPath.isEmpty();
    const bool moving = m_options.m_copyMode == CopyOptions::Move && !m_sameEntry &&
                        (copy_state == Copied || copy_state == Skipped);
    if (wrote || moving)
        refuseLostDestination(m_options.m_copyMode);
    if (m_options.m_copyMode == CopyOptions::Move && copy_state == Skipped && !m_sameEntry)
        checkSkippedDestination();
    if (isError()) {
        restoreSourcePermissions();
    } else if (!m_sameEntry) {
        // A verify run leaves the destination as it is; the native copy has set them.
        const bool apply = m_options.m_copyMode != CopyOptions::Verify && !m_nativeOutcome;
        if (m_options.m_copyMode == CopyOptions::Move) {
            // Taken from the source, before it goes.
            if (apply)
                applySourcePermissions();
            // A deferred copy's source goes once the copy is placed and on the device.
            if (m_pendingTemporaryPath.isEmpty() && FileSystemUtils::fileExists(source_path))
                removeMovedSource();
        } else {
            // The native copy never changes the source.
            if (!m_nativeOutcome)
                restoreSourcePermissions();
            if (apply)
                applySourcePermissions();
        }
    }
    emit copyCompleted();
}

void CopyFileObject::checkSkippedDestination()
{
    if (!FileSystemUtils::fileExists(source_path))
        return;
    // A link is the same when it points to the same target (one kept by no-overwrite may
    // not); for a file, dates and sizes say nothing about bytes.
    if (!link_target.isEmpty()) {
        if (FileSystemUtils::linkTargetsDiffer(QFileInfo(source_path), QFileInfo(destination_path),
                                               link_target))
            setDestinationError(tr("different file exists"));
        return;
    }
    // A link to an equal file elsewhere is not a copy: the bytes would go with the source.
    Platform::EntryStatus destination;
    if (!Platform::entryStatus(destination_path, &destination) || !destination.isFile) {
        setDestinationError(tr("different file exists"));
        return;
    }
    bool equal = false;
    PlatformCopy::Failure failure;
    if (!PlatformCopy::compareFiles(source_path, destination_path, stopFlag(), &equal, &failure)) {
        info_list.append(failureText(failure));
        setDestinationError(tr("unable to compare with the existing file"));
    } else if (!equal) {
        setDestinationError(tr("different file exists"));
    }
}

void CopyFileObject::removeMovedSource()
{
    // The copy must be on disk before the only other copy of the data goes away.
    if (link_target.isEmpty()) {
        PlatformCopy::Failure failure;
        if (!PlatformCopy::flushToDisk(destination_path, &failure)) {
            info_list.append(failureText(failure));
            qWarning() << "Unable to flush file" << qUtf8Printable(destination_path);
            setDestinationError(tr("unable to write destination file to disk"));
            restoreSourcePermissions();
            return;
        }
    }
    if (link_target.isEmpty() && FileSystemUtils::isSameEntry(source_path, destination_path)) {
        // Reached by another name since the start: the source is the only copy.
        info_list.append(tr("source and destination are the same file"));
        return;
    }
    // Saved over since it was read (an editor writes a new file and renames it over the old
    // one): the new version is not in the copy and stays.
    PlatformCopy::FileVersion now;
    if (link_target.isEmpty() && m_sourceVersion.size >= 0 &&
        (!PlatformCopy::fileVersion(source_path, &now) || now != m_sourceVersion)) {
        qWarning() << "Source file changed during the move:" << qUtf8Printable(source_path);
        setSourceError(tr("source file changed during the move"));
        return;
    }
    if (FileSystemUtils::removeFile(source_path)) {
        info_list.append(tr("File moved"));
    } else {
        qWarning() << "Unable to remove file" << qUtf8Printable(source_path);
        setSourceError(tr("Unable to delete source file"));
    }
}

void CopyFileObject::reportSourceChanged()
{
    qWarning() << "Source file changed during the copy:" << qUtf8Printable(source_path);
    setSourceError(tr("source file changed during the copy"));
}

void CopyFileObject::restoreSourcePermissions()
{
    // A verify only reads the source.
    if (!link_target.isEmpty() || m_sourceMode < 0 || m_options.m_copyMode == CopyOptions::Verify)
        return;
    Platform::EntryStatus now;
    if (Platform::entryStatus(source_path, &now) &&
        (now.permissions & 0777) != (m_sourceMode & 0777) &&
        !QFile::setPermissions(source_path, modeFlags(m_sourcePermissions)))
        info_list.append(tr("unable to restore file permissions"));
}

void CopyFileObject::applySourcePermissions()
{
    if (copy_state == Copied) {
        // What the native copy gives the copy before it is placed: owner, mode and extended
        // attributes (a link, its owner alone). Otherwise the read-only state that the date
        // sync has just removed would come back.
        const int add = m_settings.removeReadOnlyAttribute && link_target.isEmpty() ? 0200 : 0;
        const int lost = PlatformCopy::copyMetadata(source_path, destination_path, add);
        if (lost & PlatformCopy::ModeNotKept)
            qWarning() << "Unable to set permissions on file" << qUtf8Printable(destination_path);
        info_list += metadataNotes(lost);
        return;
    }
    if (!link_target.isEmpty())
        return;
    QFileDevice::Permissions permissions = modeFlags(m_sourcePermissions);
    // Otherwise the read-only state that the date sync has just removed would come back.
    if (m_settings.removeReadOnlyAttribute)
        permissions |= QFileDevice::WriteOwner;
    if (!QFile::setPermissions(destination_path, permissions))
        qWarning() << "Unable to set permissions on file" << qUtf8Printable(destination_path);
}
