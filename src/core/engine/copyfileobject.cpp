#include "engine/copyfileobject.h"
#include "engine/checkfilejob.h"
#include "engine/copyverification.h"
#include "engine/overwritedecision.h"
#include "engine/portablefilecopy.h"
#include "engine/sourceremover.h"

#include "fs/filesystemutils.h"
#include "fs/platform.h"
#include "fs/platformcopy.h"
#include "fs/reachablefileinfo.h"
#include "jobs/transfercounters.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace {

const qint64 maxModificationDriftSecs = 60;
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

using FileSystemUtils::failureText;

} // namespace

CopyFileObject::CopyFileObject(QObject* parent) : PlacingCopyObject(parent) {}

CopyFileObject::~CopyFileObject() = default;

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
        const ReachableFileInfo link(source_path);
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

    // The user's decision for this file, where there is one, is its overwrite mode; a copy
    // renamed so takes its name on its own, as in an auto rename run.
    m_options.m_overwriteMode =
        OverwriteDecision::modeFor(m_options, m_destinationRoot, destination_path);
    if (m_options.m_overwriteMode == CopyOptions::AutoRename)
        m_deferBelowSize = 0;
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
    // A link is no copy of a file, even one to an equal file (or to the source itself).
    if (m_options.m_copyMode == CopyOptions::Verify && !source.isSymLink &&
        Platform::entryStatus(destination_path, &existing) && existing.isSymLink) {
        setDestinationError(tr("the destination holds a symbolic link, not a copy of the file"));
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
            // Verified, the only copy would pass for two.
            if (m_options.m_copyMode == CopyOptions::Verify) {
                setDestinationError(tr("source and destination are the same file"));
            } else {
                copy_state = Skipped;
                info_list.append(tr("source and destination are the same file"));
            }
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

    const bool pseudo = !source.isSymLink && Platform::isPseudoFile(source_path, source.size);
    // The native copy reaches (and creates) its folder itself.
    if ((source.isSymLink || pseudo || !usesNativeCopy()) && !pinDestinationFolder()) {
        finishCopy();
        return;
    }

    if (source.isSymLink) {
        if (!copySymbolicLink())
            setDestinationError(tr("unable to copy symbolic link"));
        finishCopy();
    } else if (!m_hardLinkTo.isEmpty() && m_options.m_copyMode != CopyOptions::Verify &&
               linkToFirstCopy()) {
        finishCopy();
    } else if (m_skipUnlessLinked) {
        m_replaceExisting = false;
        copy_state = Skipped;
        finishCopy();
    } else if (pseudo) {
        copyPseudoFile();
        finishCopy();
    } else if (copyFileData()) {
        verifyCopiedFile();
    } else {
        finishCopy();
    }
}

bool CopyFileObject::linkToFirstCopy()
{
    // The first copy must hold what this name holds now, as far as size and time tell: the
    // copy kept the source's modification time.
    PlatformCopy::FileVersion version;
    const bool known = m_sourceFd >= 0 ? PlatformCopy::fileVersion(m_sourceFd, &version)
                                       : PlatformCopy::fileVersion(source_path, &version);
    if (!known || !linkTo(m_hardLinkTo, version))
        return false;
    // The file has its dates and metadata already.
    m_nativeOutcome = true;
    m_linked = true;
    return true;
}

bool CopyFileObject::usesNativeCopy() const
{
    const int method = m_settings.copyMethod;
    return method != QtMethod && method != SimpleMethod;
}

bool CopyFileObject::decideExistingDestination()
{
    m_replaceExisting = m_skipUnlessLinked = false;
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
    return checkExistingDestination(ReachableFileInfo(source_path),
                                    ReachableFileInfo(destination_path));
}

bool CopyFileObject::checkExistingDestination(const QFileInfo& source, const QFileInfo& destination)
{
    OverwriteDecision::Result decision = OverwriteDecision::decide(
        OverwriteDecision::compare(source, destination, link_target), m_options.m_overwriteMode,
        m_options.m_copyMode, m_settings.skipErrorsInSync);
    const bool compared = decision.verdict == OverwriteDecision::Verdict::CompareContent;
    if (compared)
        decision =
            OverwriteDecision::byContent(source_path, destination_path, stopFlag(), decision);
    info_list += decision.notes;
    switch (decision.verdict) {
    case OverwriteDecision::Verdict::Replace:
        m_replaceExisting = true;
        return true;
    case OverwriteDecision::Verdict::Skip:
        // The same bytes under a later name of a file: linked to the first name's copy, as
        // cp -a makes it (unless it is that file already), and kept where the link cannot be
        // made (startCopy).
        m_skipUnlessLinked = compared && !m_hardLinkTo.isEmpty() &&
                             m_options.m_copyMode != CopyOptions::Verify &&
                             !FileSystemUtils::isSameEntry(destination_path, m_hardLinkTo);
        m_replaceExisting = m_skipUnlessLinked;
        if (m_skipUnlessLinked)
            return true;
        copy_state = Skipped;
        break;
    case OverwriteDecision::Verdict::CannotOverwrite:
        setDestinationError(tr("file cannot be overwritten"));
        break;
    case OverwriteDecision::Verdict::Differs:
    case OverwriteDecision::Verdict::CompareContent: // decided by byContent above
        setDestinationError(info_list.isEmpty() ? tr("different file exists")
                                                : info_list.takeLast());
        break;
    }
    return false;
}

bool CopyFileObject::copyFileData()
{
    if (m_options.m_verifyCopies && m_options.m_copyMode != CopyOptions::Verify)
        return copyVerified();
    const int method = m_settings.copyMethod;
    if (method != QtMethod && method != SimpleMethod)
        return copyFileNative();
    QString temporary;
    if (!copyPortable(&temporary, {}))
        return false;
    if (!placeCopy(temporary))
        return false;
    if (method == SimpleMethod &&
        !FileSystemUtils::syncFile(source_path, writePath(destination_path),
                                   m_settings.removeReadOnlyAttribute))
        qWarning() << "Unable to sync file:" << qUtf8Printable(destination_path);
    return true;
}

bool CopyFileObject::copyPortable(QString* temporary,
                                  const std::function<void(const char*, qint64)>& observe)
{
    // QFile::copy never shows the bytes it copies: observed, the source is read in blocks.
    const PortableFileCopy::Outcome outcome =
        m_settings.copyMethod == QtMethod && !observe
            ? PortableFileCopy::copyWithQt(source_path, writePath(destination_path), file_size,
                                           m_settings.removeReadOnlyAttribute)
            : PortableFileCopy::copyInBlocks(
                  source_path, writePath(destination_path), file_size, progressStep,
                  [this](qint64 copied) {
                      if (isStopRequested())
                          return false;
                      emit copyProgress(copied, file_size);
                      return true;
                  },
                  observe);
    info_list += outcome.notes;
    if (!outcome.error.isEmpty()) {
        if (outcome.sourceFailed)
            setSourceError(outcome.error);
        else
            setDestinationError(outcome.error);
        return false;
    }
    if (outcome.sourceChanged) {
        reportSourceChanged();
        return false;
    }
    // A move removes the source only while it is still this file.
    m_sourceVersion = outcome.sourceVersion;
    *temporary = outcome.temporaryPath;
    return true;
}

bool CopyFileObject::copyFileNative()
{
    TransferCounters* counters = TransferCounters::instance();
    const bool large = file_size >= largeFileSize;
    PlatformCopy::ProgressFunction progress;
    quint64 progressId = 0;
    if (large) {
        progressId = counters->startFile(source_path, file_size);
        progress = [counters, progressId](qint64 copied, qint64 total) {
            counters->setFileProgress(progressId, copied, total);
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
    request.destinationRootFd = m_destinationRootFd;
    request.destinationFolderFd = jobFolderDescriptor();
    if (m_verification) // left under its temporary name, read back before it takes its name
        m_verification->prepare(&request, file_size);

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
            request.sourceFd = -1;                            // read from the start again
            request.destinationFolderFd = releaseJobFolder(); // made anew: reached afresh
            copied = PlatformCopy::copyFile(source_path, destination_path, stopFlag(), progress,
                                            &failure, request, &outcome);
        }
    }
    if (large)
        counters->finishFile(progressId);
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
    const bool moving =
        m_options.m_copyMode == CopyOptions::Move && !m_sameEntry && copy_state == Skipped;
    if (m_pendingTemporaryPath.isEmpty() && (copy_state == Copied || moving))
        refuseLostDestination(m_options.m_copyMode);
    if (m_options.m_copyMode == CopyOptions::Move && copy_state == Skipped && !m_sameEntry)
        checkSkippedDestination();
    if (!isError() && !m_sameEntry) {
        // A verify run leaves the destination as it is; the native copy has set them.
        const bool apply = m_options.m_copyMode != CopyOptions::Verify && !m_nativeOutcome;
        if (m_options.m_copyMode == CopyOptions::Move) {
            // Taken from the source, before it goes.
            if (apply)
                applySourcePermissions();
            // A deferred copy's source goes once the copy is placed and on the device.
            if (m_pendingTemporaryPath.isEmpty() && FileSystemUtils::fileExists(source_path))
                removeMovedSource();
        } else if (apply) {
            applySourcePermissions();
        }
    }
    m_folder.release();
    emit copyCompleted();
}

void CopyFileObject::checkSkippedDestination()
{
    if (!FileSystemUtils::fileExists(source_path))
        return;
    // A link is the same when it points to the same target (one kept by no-overwrite may
    // not); for a file, dates and sizes say nothing about bytes.
    if (!link_target.isEmpty()) {
        if (FileSystemUtils::linkTargetsDiffer(ReachableFileInfo(source_path),
                                               ReachableFileInfo(destination_path), link_target))
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
    // The version compared is the one the move may remove.
    PlatformCopy::fileVersion(source_path, &m_sourceVersion);
    if (!PlatformCopy::compareFiles(source_path, destination_path, stopFlag(), &equal, &failure)) {
        info_list.append(failureText(failure));
        setDestinationError(tr("unable to compare with the existing file"));
    } else if (!equal) {
        setDestinationError(tr("different file exists"));
    }
}

void CopyFileObject::removeMovedSource()
{
    if (!link_target.isEmpty()) {
        if (FileSystemUtils::removeFile(source_path))
            info_list.append(tr("File moved"));
        else
            setSourceError(tr("Unable to delete source file"));
        return;
    }
    // The copy must be on disk before the only other copy of the data goes away. A link's
    // data is the first name's copy, on the device before that name was settled (in a move
    // its source went only then): one flush per name would cost a move of many links
    // several times its copy.
    PlatformCopy::Failure failure;
    if (!m_linked && !PlatformCopy::flushToDisk(destination_path, &failure)) {
        info_list.append(failureText(failure));
        qWarning() << "Unable to flush file" << qUtf8Printable(destination_path);
        setDestinationError(tr("unable to write destination file to disk"));
        return;
    }
    switch (SourceRemover::remove(source_path, destination_path, m_sourceVersion)) {
    case SourceRemover::Outcome::Gone:
        break;
    case SourceRemover::Outcome::SameEntry:
        // Reached by another name since the start: the source is the only copy.
        info_list.append(tr("source and destination are the same file"));
        break;
    case SourceRemover::Outcome::Changed:
        qWarning() << "Source file changed during the move:" << qUtf8Printable(source_path);
        setSourceError(tr("source file changed during the move"));
        break;
    case SourceRemover::Outcome::Removed:
        info_list.append(tr("File moved"));
        break;
    case SourceRemover::Outcome::Kept:
        qWarning() << "Unable to remove file" << qUtf8Printable(source_path);
        setSourceError(tr("Unable to delete source file"));
        break;
    }
}

void CopyFileObject::reportSourceChanged()
{
    qWarning() << "Source file changed during the copy:" << qUtf8Printable(source_path);
    setSourceError(tr("source file changed during the copy"));
}

void CopyFileObject::applySourcePermissions()
{
    if (copy_state == Copied) {
        // What the native copy gives the copy before it is placed: owner, mode and extended
        // attributes (a link, its owner alone). Otherwise the read-only state that the date
        // sync has just removed would come back.
        const int add = m_settings.removeReadOnlyAttribute && link_target.isEmpty() ? 0200 : 0;
        const int lost = PlatformCopy::copyMetadata(source_path, writePath(destination_path), add);
        if (lost & PlatformCopy::ModeNotKept)
            qWarning() << "Unable to set permissions on file" << qUtf8Printable(destination_path);
        info_list += metadataNotes(lost);
        return;
    }
    // A kept destination that is a link is left as it is: its target may be anywhere.
    Platform::EntryStatus kept;
    if (!link_target.isEmpty() || !Platform::entryStatus(destination_path, &kept) || !kept.isFile)
        return;
    QFileDevice::Permissions permissions = modeFlags(m_sourcePermissions);
    // Otherwise the read-only state that the date sync has just removed would come back.
    if (m_settings.removeReadOnlyAttribute)
        permissions |= QFileDevice::WriteOwner;
    if (!QFile::setPermissions(Platform::ReachablePath(destination_path).text(), permissions))
        qWarning() << "Unable to set permissions on file" << qUtf8Printable(destination_path);
}
