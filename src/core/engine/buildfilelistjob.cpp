#include "engine/buildfilelistjob.h"

#include "engine/extraentries.h"
#include "engine/overwritedecision.h"

#include "fs/filesystemutils.h"
#include "fs/platform.h"
#include "fs/platformcopy.h"
#include "fs/reachablefileinfo.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaMethod>
#include <QMetaObject>
#include <QScopeGuard>

#include <cerrno>
#include <vector>

namespace {

// A parent that already ends with a separator (the root folder) gets no second one.
QString joinPath(const QString& parent, const QString& name)
{
    // One allocation per path: two for each of a large tree's entries showed in profiles.
    QString path;
    path.reserve(parent.size() + 1 + name.size());
    path += parent;
    if (!parent.endsWith(QDir::separator()))
        path += QDir::separator();
    path += name;
    return path;
}

bool isAscii(const QByteArray& bytes)
{
    for (const char c : bytes) {
        if (c & 0x80)
            return false;
    }
    return true;
}

// Stored items join their fields with U+2028 and escape nothing: a name holding it (or its
// paragraph twin) would forge fields in a saved task or errors file.
bool hasLineSeparator(const QString& text)
{
    return text.contains(QChar(0x2028)) || text.contains(QChar(0x2029));
}

QString withoutLineSeparators(QString text)
{
    return text.replace(QChar(0x2028), QChar::ReplacementCharacter)
        .replace(QChar(0x2029), QChar::ReplacementCharacter);
}

} // namespace

struct BuildFileListJob::WalkEntry
{
    int folderFd = -1;
    QByteArray rawName;
    QString name;
    QString sourcePath;
    QString destinationPath;
    bool validName = true;
    Platform::FolderEntry::Type type = Platform::FolderEntry::Unknown;
    bool statusRead = false;
    int statusError = 0;
    Platform::EntryStatus status;
};

BuildFileListJob::BuildFileListJob(QObject* parent) : Job(parent)
{
    setObjectName(QStringLiteral("JobBuildFileList"));
}

void BuildFileListJob::reportToCopy(const QString& source, const QString& destination, qint64 size,
                                    bool isFolder)
{
    emit itemToCopy(source, destination, size, isFolder);
    addListedEntry({ListedEntry::ToCopy, source, destination, size, isFolder, QString(), QString(),
                    QString(), QString()});
}

void BuildFileListJob::reportToSkip(const QString& source, const QString& destination, qint64 size,
                                    bool isFolder, const QString& reason,
                                    const QString& hardLinkFirst)
{
    emit itemToSkip(source, destination, size, isFolder, reason);
    addListedEntry({ListedEntry::ToSkip, source, destination, size, isFolder, reason, hardLinkFirst,
                    QString(), QString()});
}

void BuildFileListJob::reportUnchanged(const QString& source, const QString& destination,
                                       qint64 size, const QString& hardLinkFirst)
{
    emit itemToSkip(source, destination, size, false, unchangedText());
    addListedEntry({ListedEntry::Unchanged, source, destination, size, false, unchangedText(),
                    hardLinkFirst, QString(), QString()});
}

void BuildFileListJob::reportLinkToCopy(const QString& source, const QString& destination,
                                        qint64 size, const QString& linkTarget)
{
    emit symbolicLinkToCopy(source, destination, size, linkTarget);
    addListedEntry({ListedEntry::LinkToCopy, source, destination, size, false, linkTarget,
                    QString(), QString(), QString()});
}

void BuildFileListJob::addListedEntry(ListedEntry&& entry)
{
    if (m_listed.add(std::move(entry)))
        sendListedEntries();
}

void BuildFileListJob::sendListedEntries()
{
    if (m_listed.seal())
        emit entriesListed();
}

QVector<BuildFileListJob::ListedEntry> BuildFileListJob::takeListedEntries()
{
    return m_listed.take();
}

void BuildFileListJob::finishJob()
{
    sendListedEntries();
    Job::finishJob();
}

void BuildFileListJob::setPaths(const QString& sourcePath, const QString& destinationPath)
{
    m_sourcePath = FileSystemUtils::normalizePath(sourcePath);
    m_destinationPath = FileSystemUtils::normalizePath(destinationPath);
}

void BuildFileListJob::startJob()
{
    qDebug() << "Start to build the file list for path" << qUtf8Printable(m_sourcePath);
    Job::startJob();
    m_listed.start(isSignalConnected(QMetaMethod::fromSignal(&BuildFileListJob::entriesListed)));
    if (!m_options.m_copyFilters.isEmpty())
        qDebug() << "Patterns to copy:" << m_options.m_copyFilters.join(QStringLiteral(", "));
    if (!m_options.m_skipFilters.isEmpty())
        qDebug() << "Patterns to skip:" << m_options.m_skipFilters.join(QStringLiteral(", "));
    // Case counts in the filters as it counts among the source's own names.
    m_filters = PathFilters(m_options.m_copyFilters, m_options.m_skipFilters,
                            PathFilters::caseSensitiveFor(m_options.m_ignoreCase, m_sourcePath));
    m_errorItems.clear();
    m_names.clear();
    // A verify writes nothing, not even a probe.
    m_names.setMayProbe(m_options.m_copyMode != CopyOptions::Verify && !m_planOnly);
    m_hardLinks.clear();
    m_targetFamily = TargetRules::Family::Posix;
    Platform::VolumeInfo volume;
    if (m_options.m_replaceForbiddenNames && Platform::volumeInfo(m_destinationPath, &volume))
        m_targetFamily = TargetRules::familyOf(volume.type, volume.magic);
    QMetaObject::invokeMethod(this, "buildFileList", Qt::QueuedConnection);
}

void BuildFileListJob::buildFileList()
{
    m_pendingFolders.clear();
    const QFileInfo source(m_sourcePath);
    // A link to a folder, named as the source, stands for that folder (as cp -H takes it).
    if (FileSystemUtils::isRealDirectory(source) || (source.isSymLink() && source.isDir())) {
        processFolder(m_sourcePath, m_destinationPath);
        return;
    }
    const QString name = FileSystemUtils::fileNameOf(m_sourcePath);
    if (PlatformCopy::isTemporaryName(name)) {
        reportSourceError(m_sourcePath, joinPath(m_destinationPath, name), source.size(), false,
                          tr("name is that of a temporary file of an interrupted copy"));
        finishJob();
        return;
    }
    // A source named by the user is copied whatever the filters say; the copier decides
    // about an existing destination and reports a missing or special source.
    reportFileToCopy(m_sourcePath, joinPath(m_destinationPath, destinationName(name)),
                     source.size());
    removeStaleTemporaryFiles(m_destinationPath);
    finishJob();
}

void BuildFileListJob::processNextFolder()
{
    if (isStopped() && !m_pendingFolders.isEmpty()) {
        qDebug() << "Stop building list and clear folders";
        m_pendingFolders.clear();
    }
    if (m_pendingFolders.isEmpty()) {
        finishJob();
        return;
    }
    const CopyItem next = m_pendingFolders.takeFirst();
    processFolder(next.source_path, next.destination_path);
}

void BuildFileListJob::processFolder(const QString& folder, const QString& destinationFolder)
{
    // Comparing with the run's own destination keeps a destination inside the source out
    // of the walk: otherwise the copies made there while the walk goes on would be found
    // and copied again, deeper each time.
    if (folder == m_destinationPath || folder == destinationFolder)
        reportToSkip(folder, destinationFolder, 0, true, tr("recognized as destination folder"));
    else
        listFolder(folder, destinationFolder);
    sendListedEntries();
    QMetaObject::invokeMethod(this, "processNextFolder", Qt::QueuedConnection);
}

// A folder the user cannot enter is opened for him in a move when he owns it (the move
// takes it away); a copy or verify never changes its source, and the task's own source is
// taken as it is.
int BuildFileListJob::openFolderToList(const QString& folder)
{
    if (!Platform::canEnterFolder(folder)) {
        if (m_options.m_copyMode != CopyOptions::Move || folder == m_sourcePath || m_planOnly ||
            !Platform::grantFolderAccess(folder) || !Platform::canEnterFolder(folder))
            return -1;
    }
    // The source the user named may be a link to a folder: that folder is the source.
    return Platform::openFolder(folder, folder == m_sourcePath);
}

void BuildFileListJob::listFolder(const QString& folder, const QString& destinationFolder)
{
    // The whole listing first: a folder that cannot be read to its end is an error, not a
    // copy of what happened to come before the failure.
    std::vector<Platform::FolderEntry> entries;
    const int fd = openFolderToList(folder);
    if (fd < 0 || !Platform::readFolder(fd, &entries)) {
        Platform::closeFolder(fd);
        CopyItem item(folder, destinationFolder, 0, true, QString());
        item.setSourceError(tr("unable to read source folder"));
        m_errorItems.append(item);
        qWarning() << "Folder" << qUtf8Printable(folder) << "is not readable";
        return;
    }
    if (m_options.m_destinationMode == CopyOptions::Normal && folder != m_sourcePath)
        reportToCopy(folder, destinationFolder, 0, true);
    const QString& entryFolder =
        m_options.m_destinationMode == CopyOptions::Collate ? m_destinationPath : destinationFolder;
    m_destinationTimesKnown = false;
    m_inCopiedFolderTree =
        m_filters.hasCopyPatterns() && m_filters.copiesFolderTree(relativePath(folder));
    m_names.startFolder(entries, entryFolder);
    if (m_targetFamily != TargetRules::Family::Posix)
        m_names.startReplacedFolder(
            entries, [this](const QString& name) { return destinationName(name); },
            TargetRules::ignoresCase(m_targetFamily));
    // A verify also names what the copy holds beyond its source.
    const bool findExtras = m_options.m_copyMode == CopyOptions::Verify &&
                            m_options.m_destinationMode == CopyOptions::Normal;
    QSet<QByteArray> sourceNames;
    for (const Platform::FolderEntry& listed : entries) {
        // Their copies' names, as the destination holds them.
        if (findExtras)
            sourceNames.insert(
                m_targetFamily == TargetRules::Family::Posix
                    ? listed.name
                    : QFile::encodeName(destinationName(QFile::decodeName(listed.name))));
    }
    // Its entries' destinations are looked up in it, by name: not a path walk each, and none
    // at all where the folder is missing.
    m_destinationFolderFd = Platform::openFolderToLookUp(entryFolder);
    // Collated files share one folder, where earlier copies of this run may be by now.
    if (m_destinationFolderFd < 0 && m_options.m_destinationMode == CopyOptions::Normal &&
        (Platform::lastErrorCode() == ENOENT || Platform::lastErrorCode() == ENOTDIR))
        m_destinationFolderFd = MissingFolder;
    const auto closeDestination = qScopeGuard([this] {
        if (m_destinationFolderFd >= 0)
            Platform::closeFolder(m_destinationFolderFd);
        m_destinationFolderFd = -1;
    });
    for (Platform::FolderEntry& listed : entries) {
        if (waitWhilePaused() || isStopped())
            break;
        WalkEntry entry;
        entry.folderFd = fd;
        entry.rawName.swap(listed.name);
        entry.name = QFile::decodeName(entry.rawName);
        // A name that does not survive the way back to bytes names another entry, or none.
        if (!isAscii(entry.rawName))
            entry.validName = QFile::encodeName(entry.name) == entry.rawName;
        entry.type = listed.type;
        entry.sourcePath = joinPath(folder, entry.name);
        entry.destinationPath = joinPath(entryFolder, destinationName(entry.name));
        processEntry(entry);
    }
    Platform::closeFolder(fd);
    m_names.endFolder();
    if (findExtras && !isStopped())
        m_errorItems += ExtraEntries::find(
            folder, destinationFolder, sourceNames,
            [this, &folder, &destinationFolder](const QString& name, bool isFolder) {
                return takesName(joinPath(folder, name), isFolder) &&
                       (isFolder || !isOwnFile(destinationFolder, name));
            });
    removeStaleTemporaryFiles(entryFolder);
}

bool BuildFileListJob::isOwnFile(const QString& folder, const QString& name) const
{
    const QFileInfo own(m_ownFile);
    if (m_ownFile.isEmpty() || QFileInfo(folder).absoluteFilePath() != own.absolutePath())
        return false;
    // The list, or its temporary file while it is written ("<name>.XXXXXX", QSaveFile).
    const QString listName = own.fileName();
    return name == listName ||
           (name.size() == listName.size() + 7 && name.startsWith(listName + QLatin1Char('.')));
}

QString BuildFileListJob::relativePath(const QString& sourcePath) const
{
    return PathFilters::relativePath(m_sourcePath, sourcePath);
}

bool BuildFileListJob::takesName(const QString& sourcePath, bool isFolder) const
{
    const QString relative = relativePath(sourcePath);
    if ((!m_options.m_copyHiddenFiles &&
         FileSystemUtils::fileNameOf(sourcePath).startsWith(QLatin1Char('.'))) ||
        !m_filters.skippedBy(relative, isFolder).isNull())
        return false;
    return isFolder ? m_options.m_recursive : m_filters.copies(relative, m_inCopiedFolderTree);
}

void BuildFileListJob::reportFiltered(WalkEntry& entry, const QString& filter,
                                      const QString& pattern)
{
    if (!m_settings.reportFilteredFiles)
        return;
    const bool isFolder = entry.type == Platform::FolderEntry::Folder;
    // A link is counted by the size of what it names, as when it is copied.
    const qint64 size = isFolder ? 0
                        : entry.type == Platform::FolderEntry::SymLink
                            ? ReachableFileInfo(entry.sourcePath).size()
                        : readStatus(entry) ? entry.status.size
                                            : 0;
    QString reason;
    if (filter == QLatin1String("hidden"))
        reason = isFolder ? tr("source folder is hidden") : tr("source file is hidden");
    else if (filter == QLatin1String("link"))
        reason = tr("source file is symbolic link");
    else if (filter == QLatin1String("include"))
        reason = tr("source file matches no copy filter");
    else
        reason = isFolder ? tr("source folder is left out by the skip filter \"%1\"").arg(pattern)
                          : tr("source file is left out by the skip filter \"%1\"").arg(pattern);
    emit itemToSkip(entry.sourcePath, entry.destinationPath, size, isFolder, reason);
    addListedEntry({ListedEntry::ToSkip, entry.sourcePath, entry.destinationPath, size, isFolder,
                    reason, QString(), filter, pattern});
}

bool BuildFileListJob::readDestinationStatus(const WalkEntry& entry,
                                             Platform::EntryStatus* status) const
{
    if (m_destinationFolderFd == MissingFolder)
        return false;
    if (m_destinationFolderFd < 0)
        return Platform::entryStatus(entry.destinationPath, status);
    // Its name there: the source's own bytes unless replaced for the target.
    return Platform::entryStatusAt(
        m_destinationFolderFd,
        m_targetFamily == TargetRules::Family::Posix
            ? entry.rawName
            : QFile::encodeName(FileSystemUtils::fileNameOf(entry.destinationPath)),
        status);
}

bool BuildFileListJob::readStatus(WalkEntry& entry)
{
    if (!entry.statusRead) {
        entry.statusRead = Platform::entryStatusAt(entry.folderFd, entry.rawName, &entry.status);
        entry.statusError = entry.statusRead ? 0 : Platform::lastErrorCode();
    }
    return entry.statusRead;
}

void BuildFileListJob::processEntry(WalkEntry& entry)
{
    using Type = Platform::FolderEntry;
    // Before anything is reported: no item may carry such a name.
    if (!isAscii(entry.rawName) && hasLineSeparator(entry.name)) {
        reportSourceError(withoutLineSeparators(entry.sourcePath),
                          withoutLineSeparators(entry.destinationPath), 0,
                          entry.type == Type::Folder, tr("name contains a line separator"));
        return;
    }
    if (entry.type == Type::Unknown) {
        // A file system without types in its listings.
        if (!readStatus(entry)) {
            // Removed since the listing: nothing left to copy.
            if (entry.statusError != ENOENT)
                reportSourceError(entry.sourcePath, entry.destinationPath, 0, false,
                                  tr("unable to read source file: %1")
                                      .arg(Platform::errorMessage(entry.statusError)));
            return;
        }
        entry.type = entry.status.isSymLink  ? Type::SymLink
                     : entry.status.isFolder ? Type::Folder
                     : entry.status.isFile   ? Type::File
                                             : Type::Other;
    }
    const bool isFolder = entry.type == Type::Folder;
    // Hidden and skipped names first, links among them, as the folder sync decides.
    if (!m_options.m_copyHiddenFiles && entry.name.startsWith(QLatin1Char('.'))) {
        reportFiltered(entry, QStringLiteral("hidden"), QString());
        return;
    }
    // Without filters nothing below asks for the path below the source.
    const QString relative = m_filters.isEmpty() ? QString() : relativePath(entry.sourcePath);
    const QString skippedBy = m_filters.skippedBy(relative, isFolder);
    if (!skippedBy.isNull()) {
        reportFiltered(entry, QStringLiteral("exclude"), skippedBy);
        return;
    }
    // The copy filters pick files only: every folder, also behind a link, is walked.
    if (!isFolder && !m_filters.copies(relative, m_inCopiedFolderTree) &&
        !(entry.type == Type::SymLink && ReachableFileInfo(entry.sourcePath).isDir())) {
        reportFiltered(entry, QStringLiteral("include"), QString());
        return;
    }
    if (entry.type == Type::SymLink) {
        processSymbolicLink(entry);
        return;
    }
    if (isFolder) {
        processSubfolder(entry);
        return;
    }
    // FIFOs, sockets and device nodes are made anew at the destination, never read (that
    // may block forever or never end). Anything else would be left out: the user would not
    // know, so it is reported whatever the settings say.
    if (entry.type == Type::Other && readStatus(entry) && entry.status.isSpecial) {
        processFile(entry);
        return;
    }
    if (entry.type == Type::Other) {
        reportToSkip(entry.sourcePath, entry.destinationPath,
                     readStatus(entry) ? entry.status.size : 0, false,
                     tr("source file is not a regular file"));
        return;
    }
    processFile(entry);
}

// An entry the walk would copy or enter, but whose path the rest of the program could not
// use to reach it, is an error: left out quietly, the user would believe it copied.
bool BuildFileListJob::refuseEntry(WalkEntry& entry)
{
    const auto refused = m_earlier.refused.constFind(entry.sourcePath);
    if (refused != m_earlier.refused.constEnd()) {
        m_errorItems.append(*refused);
        return true;
    }
    const bool isFolder = entry.type == Platform::FolderEntry::Folder;
    QString reason;
    if (!entry.validName)
        reason =
            isFolder ? tr("folder name is not valid UTF-8") : tr("file name is not valid UTF-8");
    // Copied, such a name would pass for a leftover of ours, to be removed by a later run.
    else if (PlatformCopy::isTemporaryName(entry.name))
        reason = tr("name is that of a temporary file of an interrupted copy");
    else
        return refuseNameTwin(entry);
    reportSourceError(entry.sourcePath, entry.destinationPath,
                      entry.statusRead && !isFolder ? entry.status.size : 0, isFolder, reason);
    return true;
}

QString BuildFileListJob::unchangedText()
{
    return tr("unchanged since an earlier run");
}

bool BuildFileListJob::refusedAsTwin(const CopyItem& item)
{
    return DestinationNames::refusedAsTwin(item);
}

// Names two sources would share at the destination. Collated, files of different folders may
// take one name: the first keeps it, and the others are errors decided here, once, before
// anything is written; otherwise the outcome would depend on which copy came last, and a
// move would remove the sources of copies replaced by another. An automatic rename gives
// each its own name instead.
bool BuildFileListJob::refuseNameTwin(WalkEntry& entry)
{
    const bool isFolder = entry.type == Platform::FolderEntry::Folder;
    // An entry whose name another entry of its folder keeps (case aside) on a destination
    // that ignores case: copied, it would replace that entry's copy, or be skipped as if it
    // were the same file.
    const QString keeper = m_names.caseKeeper(entry.name);
    if (!keeper.isEmpty()) {
        CopyItem item(entry.sourcePath, entry.destinationPath,
                      !isFolder && readStatus(entry) ? entry.status.size : 0, isFolder, QString());
        // The source is sound: the destination cannot hold both names.
        item.setDestinationError(DestinationNames::caseTwinText(keeper));
        m_errorItems.append(item);
        qWarning() << "Source entry" << qUtf8Printable(entry.sourcePath)
                   << "is left out: its name differs only by case from" << qUtf8Printable(keeper);
        return true;
    }
    // Two names that are one once replaced for the target: an automatic rename gives the
    // later copy a name of its own, here and once (copied side by side, both would find the
    // name free), any other rule keeps the first.
    if (m_targetFamily != TargetRules::Family::Posix) {
        int number = 0;
        const QString replacedKeeper = m_names.replacedKeeper(
            entry.name, FileSystemUtils::fileNameOf(entry.destinationPath), &number);
        if (!replacedKeeper.isEmpty() && m_options.m_overwriteMode == CopyOptions::AutoRename &&
            !isFolder) {
            entry.destinationPath =
                FileSystemUtils::numberedFileName(entry.destinationPath, number);
            return false;
        }
        if (!replacedKeeper.isEmpty()) {
            CopyItem item(entry.sourcePath, entry.destinationPath,
                          !isFolder && readStatus(entry) ? entry.status.size : 0, isFolder,
                          QString());
            item.setDestinationError(DestinationNames::collatedTwinText());
            m_errorItems.append(item);
            qWarning() << "Source entry" << qUtf8Printable(entry.sourcePath)
                       << "is left out: its name for the target is that of"
                       << qUtf8Printable(replacedKeeper);
            return true;
        }
    }
    if (m_options.m_destinationMode != CopyOptions::Collate ||
        m_options.m_overwriteMode == CopyOptions::AutoRename || isFolder)
        return false;
    const QString first = m_names.takeCollated(FileSystemUtils::fileNameOf(entry.destinationPath),
                                               entry.sourcePath, m_destinationPath);
    if (first.isEmpty())
        return false;
    CopyItem item(entry.sourcePath, entry.destinationPath,
                  readStatus(entry) ? entry.status.size : 0, false, QString());
    item.setDestinationError(DestinationNames::collatedTwinText());
    m_errorItems.append(item);
    qWarning() << "Source entry" << qUtf8Printable(entry.sourcePath)
               << "is left out: its collated name is taken by" << qUtf8Printable(first);
    return true;
}

void BuildFileListJob::reportSourceError(const QString& sourcePath, const QString& destinationPath,
                                         qint64 size, bool isFolder, const QString& reason)
{
    CopyItem item(sourcePath, destinationPath, size, isFolder, QString());
    item.setSourceError(reason);
    m_errorItems.append(item);
    qWarning() << "Source entry" << qUtf8Printable(sourcePath)
               << "is left out:" << qUtf8Printable(reason);
}

void BuildFileListJob::processSymbolicLink(WalkEntry& entry)
{
    const ReachableFileInfo info(entry.sourcePath);
    if (!m_options.m_copySymbolicLinks) {
        reportFiltered(entry, QStringLiteral("link"), QString());
        return;
    }
    if (refuseEntry(entry))
        return;
    const QString target = linkTargetInCopy(entry.sourcePath);
    if (hasLineSeparator(target)) {
        reportSourceError(entry.sourcePath, entry.destinationPath, 0, false,
                          tr("link target contains a line separator"));
        return;
    }
    const auto finished = m_earlier.finished.constFind(entry.sourcePath);
    if (finished != m_earlier.finished.constEnd() && EarlierRun::linkAgrees(*finished, target)) {
        reportUnchanged(entry.sourcePath, *finished, info.size(), QString());
        return;
    }
    reportLinkToCopy(entry.sourcePath, entry.destinationPath, info.size(), target);
}

void BuildFileListJob::processSubfolder(WalkEntry& entry)
{
    if (!m_options.m_recursive || refuseEntry(entry))
        return;
    // Whether it can be entered is found when its turn comes.
    m_pendingFolders.append(CopyItem(entry.sourcePath, entry.destinationPath, 0, true, QString()));
}

void BuildFileListJob::processFile(WalkEntry& entry)
{
    if (refuseEntry(entry))
        return;
    const QString& sourcePath = entry.sourcePath;
    const QString& destinationPath = entry.destinationPath;
    if (!readStatus(entry)) {
        if (entry.statusError != ENOENT)
            reportSourceError(sourcePath, destinationPath, 0, false,
                              tr("unable to read source file: %1")
                                  .arg(Platform::errorMessage(entry.statusError)));
        return;
    }
    const qint64 size = entry.status.size;
    const bool verify = m_options.m_copyMode == CopyOptions::Verify;
    // Every way below copies or skips the file: one of its names is met here.
    const QString linkFirst =
        verify ? QString() : m_hardLinks.firstName(entry.sourcePath, entry.status);
    // A resume leaves a file an earlier run finished while its copy still agrees with it.
    const auto finished = m_earlier.finished.constFind(sourcePath);
    if (finished != m_earlier.finished.constEnd() &&
        EarlierRun::copyAgrees(sourcePath, entry.status, *finished)) {
        reportUnchanged(sourcePath, *finished, size, linkFirst);
        return;
    }
    // The destination's entry itself, read once: its absence, or what the rule compares.
    Platform::EntryStatus& existing = m_destinationStatus;
    if (!readDestinationStatus(entry, &existing)) {
        m_destinationState = DestinationState::Missing;
        if (verify) {
            CopyItem item(sourcePath, destinationPath, size, false, QString());
            item.setDestinationError(tr("Destination file does not exist"));
            m_errorItems.append(item);
        } else {
            reportFileToCopy(sourcePath, destinationPath, size, linkFirst);
        }
        m_destinationState = DestinationState::Unknown;
        return;
    }
    m_destinationState = DestinationState::Present;
    const auto unknownAfter =
        qScopeGuard([this] { m_destinationState = DestinationState::Unknown; });
    // The copier compares an existing destination in a verify run.
    if (verify) {
        reportToCopy(sourcePath, destinationPath, size, false);
        return;
    }
    const int overwrite = OverwriteDecision::modeFor(m_options, m_destinationPath, destinationPath);
    if (!m_destinationTimesKnown && (overwrite == CopyOptions::OverwriteOlder ||
                                     overwrite == CopyOptions::OverwriteDifferent)) {
        // The comparisons below use the time step of the destination's file system: learnt
        // once per device, by a probe, before the first of them.
        FileSystemUtils::destinationTraits(QFileInfo(destinationPath).path(),
                                           m_options.m_copyMode != CopyOptions::Verify &&
                                               !m_planOnly);
        m_destinationTimesKnown = true;
    }
    // Two regular files (the common case): decided from the statuses read, as below.
    if (existing.isFile && entry.status.isFile) {
        const int order =
            FileSystemUtils::modificationOrder(entry.status, sourcePath, existing, destinationPath);
        decideBetweenFiles(sourcePath, destinationPath, size, linkFirst, order,
                           existing.size != size, overwrite);
        return;
    }
    const ReachableFileInfo source(sourcePath);
    const ReachableFileInfo destination(destinationPath);
    // A folder in the file's place is the copier's error, under every rule.
    if (destination.isDir() && !destination.isSymLink()) {
        reportFileToCopy(sourcePath, destinationPath, size, linkFirst);
        return;
    }
    // The same rules as for two regular files, from what QFileInfo reads of these.
    decideBetweenFiles(sourcePath, destinationPath, size, linkFirst,
                       FileSystemUtils::modificationOrder(source, destination),
                       destination.size() != size, overwrite);
}

void BuildFileListJob::decideBetweenFiles(const QString& sourcePath, const QString& destinationPath,
                                          qint64 size, const QString& linkFirst, int order,
                                          bool sizesDiffer, int overwrite)
{
    m_destinationOrder = order;
    const auto unknownAfter = qScopeGuard([this] { m_destinationOrder = UnknownOrder; });
    // In a move the copier decides about an equal destination: it skips the file and
    // removes its source, as a move stopped between the copy and the removal needs.
    // A newer destination keeps its source.
    if (m_options.m_copyMode == CopyOptions::Move &&
        !(overwrite == CopyOptions::OverwriteOlder && order > 0)) {
        reportFileToCopy(sourcePath, destinationPath, size, linkFirst);
        return;
    }
    // The file's own rule: the user's decision for it, or the run's.
    switch (overwrite) {
    case CopyOptions::NoOverwrite:
        reportToSkip(sourcePath, destinationPath, size, false, QString(), linkFirst);
        break;
    case CopyOptions::OverwriteOlder:
        if (order < 0 || (order == 0 && sizesDiffer))
            reportFileToCopy(sourcePath, destinationPath, size, linkFirst);
        else if (order > 0)
            reportToSkip(sourcePath, destinationPath, size, false,
                         tr("newer destination file exists"), linkFirst);
        else
            reportToSkip(sourcePath, destinationPath, size, false, QString(), linkFirst);
        break;
    case CopyOptions::OverwriteDifferent:
        // The birth times are read only where sizes and dates agree.
        if (sizesDiffer || order != 0 ||
            FileSystemUtils::createdDatesDiffer(QFileInfo(sourcePath), QFileInfo(destinationPath)))
            reportFileToCopy(sourcePath, destinationPath, size, linkFirst);
        else
            reportToSkip(sourcePath, destinationPath, size, false, QString(), linkFirst);
        break;
    default:
        reportFileToCopy(sourcePath, destinationPath, size, linkFirst);
        break;
    }
}

void BuildFileListJob::reportFileToCopy(const QString& sourcePath, const QString& destinationPath,
                                        qint64 size, const QString& hardLinkFirst)
{
    emit itemToCopy(sourcePath, destinationPath, size, false);
    addListedEntry({ListedEntry::ToCopy, sourcePath, destinationPath, size, false, QString(),
                    hardLinkFirst, QString(), QString()});
}

// A copy killed before its end leaves its data under a hidden temporary name beside the
// file; the next run that copies that file removes it. Only the names this run writes are
// touched, and only those whose writing process is gone.
void BuildFileListJob::removeStaleTemporaryFiles(const QString& destinationFolder)
{
    if (m_options.m_copyMode == CopyOptions::Verify || m_planOnly)
        return;
    // Also those of names the run no longer copies (their source was removed since).
    const QStringList removed =
        PlatformCopy::removeStaleTemporaryFiles(destinationFolder, QSet<QString>(), true);
    for (const QString& path : removed)
        qDebug() << "Removed the temporary file of an interrupted copy" << qUtf8Printable(path);
}

QString BuildFileListJob::destinationName(const QString& name) const
{
    return m_targetFamily == TargetRules::Family::Posix
               ? name
               : TargetRules::portableName(name, m_targetFamily);
}

// A link keeps its own text, so that a copied tree stays whole wherever it is mounted; only
// an absolute link into the copied tree is pointed at the copy of its target.
QString BuildFileListJob::linkTargetInCopy(const QString& linkPath) const
{
    QString text;
    // Gone since the listing: the copier reads it again and reports what it finds.
    if (!Platform::symbolicLinkText(linkPath, &text))
        return QString();
    const QString target = QDir::toNativeSeparators(text);
    // Names replaced for the target are replaced in the links that pass them too.
    if (QDir::isRelativePath(target))
        return linkPath == m_sourcePath
                   ? target
                   : TargetRules::portableLinkText(
                         target, relativePath(linkPath).count(QLatin1Char('/')), m_targetFamily);
    QString rest;
    if (target != m_sourcePath) {
        // A whole-component match: "/data/src" must not capture "/data/src2/file".
        const QString prefix = m_sourcePath.endsWith(QDir::separator())
                                   ? m_sourcePath
                                   : m_sourcePath + QDir::separator();
        if (!target.startsWith(prefix))
            return target;
        rest = target.mid(prefix.size());
    }
    if (m_options.m_destinationMode == CopyOptions::Collate) {
        // Collate puts every file straight into the destination and replicates no folder:
        // a file's copy is found by its name there, and a folder has no copy, so a link
        // to one keeps pointing at the original.
        if (FileSystemUtils::isRealDirectory(ReachableFileInfo(target)))
            return target;
        return joinPath(m_destinationPath, destinationName(FileSystemUtils::fileNameOf(target)));
    }
    return rest.isEmpty() ? m_destinationPath
                          : joinPath(m_destinationPath,
                                     TargetRules::portableLinkText(rest, 0, m_targetFamily));
}
