#include "engine/runplan.h"

#include "engine/buildfilelistjob.h"
#include "engine/destinationnames.h"
#include "engine/overwritedecision.h"
#include "fs/filesystemutils.h"
#include "fs/platformcopy.h"
#include "fs/reachablefileinfo.h"
#include "model/copyoptions.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>

namespace {

// The reasons the walk gives a skipped entry that the run never compares.
bool isFilteredSkip(const QString& reason, bool isFolder)
{
    return isFolder || !reason.isEmpty();
}

QString newerReason()
{
    return QCoreApplication::translate("BuildFileListJob", "newer destination file exists");
}

// Whether the last component of path is name, without cutting a copy of it out.
bool hasFileName(const QString& path, QStringView name)
{
    const int at = path.size() - int(name.size());
    return QStringView(path).endsWith(name) && (at == 0 || path.at(at - 1) == QLatin1Char('/'));
}

// Files smaller than this cannot hold a hole worth a second look at their blocks.
constexpr qint64 SparseCheckFrom = qint64(1) << 20;

} // namespace

bool RunPlan::build(const Task& task, const RunSettings& settings,
                    const std::atomic<bool>* stopFlag)
{
    m_task = task;
    m_settings = settings;
    // Filtered entries are counted in the plan whatever the run reports of them.
    RunSettings walkSettings = settings;
    walkSettings.reportFilteredFiles = true;
    m_volume = Platform::VolumeInfo();
    m_onlyAscii = false;
    const bool verify = task.m_options.m_copyMode == CopyOptions::Verify;
    if (!verify && Platform::volumeInfo(task.m_destinationPath, &m_volume)) {
        m_family = TargetRules::familyOf(m_volume.type, m_volume.magic);
        m_onlyAscii = TargetRules::takesOnlyAscii(m_volume.type);
        // Told by the volume itself, a FAT or exFAT driver through FUSE is known to ignore
        // case: the walk then refuses twin names as the run's probe makes it.
        if (m_family == TargetRules::Family::Fat || m_family == TargetRules::Family::Exfat) {
            Platform::FileSystemTraits traits;
            traits.caseInsensitive = true;
            traits.timeStepNs = 2000000000;
            Platform::rememberFileSystemTraits(m_volume.device, traits);
        }
    }

    // What the walk will go by: the traits remembered, or told by the type.
    if (m_keepListing)
        m_assumedTraits = FileSystemUtils::destinationTraits(task.m_destinationPath, false);

    BuildFileListJob job;
    job.setPaths(task.m_sourcePath, task.m_destinationPath);
    job.setOptions(task.m_options);
    job.setSettings(walkSettings);
    job.setPlanOnly(true);
    m_listing.reset();
    if (m_keepListing) {
        m_listing = std::make_shared<WalkListing>();
        m_listing->sourcePath = job.sourcePath();
        m_listing->destinationPath = job.destinationPath();
        m_listing->options = task.m_options;
        // The job runs in this thread: each batch is taken as it is sealed.
        QObject::connect(&job, &BuildFileListJob::entriesListed,
                         [&] { m_listing->entries += job.takeListedEntries(); });
    }
    const bool move = task.m_options.m_copyMode == CopyOptions::Move;
    // Asked at each entry: a stop reaches the walk between two of them.
    const auto stopped = [&] {
        if (!stopFlag || !stopFlag->load())
            return false;
        if (!m_stopped)
            job.stopJob();
        m_stopped = true;
        return true;
    };
    QObject::connect(
        &job, &BuildFileListJob::itemToCopy,
        [&](const QString& source, const QString& destination, qint64 size, bool isFolder) {
            if (stopped())
                return;
            if (isFolder) {
                m_folders += 1;
                // The run cannot make it: an error, as each entry below it.
                if (checkTarget(source, destination, 0, true, false))
                    addEntry(Outcome::Error, source, destination, 0, true, false);
                return;
            }
            bool removes = move;
            // The walk read the destination already: missing is new, without a second look.
            const BuildFileListJob::DestinationState state = job.destinationState();
            const bool exists = state == BuildFileListJob::DestinationState::Unknown
                                    ? FileSystemUtils::fileExists(destination)
                                    : state == BuildFileListJob::DestinationState::Present;
            Outcome outcome =
                exists ? decideExisting(source, destination, QString(), &removes) : Outcome::New;
            if (exists)
                addConflict(outcome, source, destination, size, job.destinationOrder());
            // Another file of this run takes the name first: an automatic rename (the walk
            // refuses the later one under any other rule).
            m_twinRenamed =
                !exists && (renamedForTwin(source, destination) || claimedBefore(destination));
            if (m_twinRenamed) {
                outcome = Outcome::Rename;
                addProblem(QStringLiteral("name-clash"), destination);
            }
            addWrite(outcome, source, destination, size, false, removes);
            m_twinRenamed = false;
        });
    QObject::connect(
        &job, &BuildFileListJob::symbolicLinkToCopy,
        [&](const QString& source, const QString& destination, qint64 size, const QString& target) {
            if (stopped())
                return;
            bool removes = move;
            Platform::EntryStatus existing;
            const bool exists = Platform::entryStatus(destination, &existing);
            // A verify finds no copy of a link that is missing.
            const Outcome outcome = exists   ? decideExisting(source, destination, target, &removes)
                                    : verify ? Outcome::Error
                                             : Outcome::New;
            if (exists)
                addConflict(outcome, source, destination, size, BuildFileListJob::UnknownOrder);
            addWrite(outcome, source, destination, size, true, removes);
        });
    // Translated once, not for each entry skipped.
    const QString newerText = newerReason();
    QObject::connect(
        &job, &BuildFileListJob::itemToSkip,
        [&](const QString& source, const QString& destination, qint64 size, bool isFolder,
            const QString& reason) {
            if (stopped())
                return;
            const bool newer = !reason.isEmpty() && reason == newerText;
            const bool filtered = isFilteredSkip(reason, isFolder) && !newer;
            const Outcome outcome = newer      ? Outcome::SkipNewer
                                    : filtered ? Outcome::SkipFiltered
                                               : Outcome::SkipSame;
            if (!isFolder && (outcome == Outcome::SkipSame || outcome == Outcome::SkipNewer))
                addConflict(outcome, source, destination, size, job.destinationOrder());
            // An equal file a move finds is removed from the source.
            addEntry(outcome, source, destination, size, isFolder,
                     move && outcome == Outcome::SkipSame);
        });
    QEventLoop loop;
    QObject::connect(&job, &Job::jobHasFinishedWithThread, &loop, &QEventLoop::quit,
                     Qt::QueuedConnection);
    job.startJob();
    loop.exec();
    if (m_listing) {
        m_listing->errors = job.errorItems();
        m_listing->complete = job.pendingFolders().isEmpty() && !job.isStopped();
    }
    for (const CopyItem& error : job.errorItems()) {
        addEntry(Outcome::Error, error.source_path, error.destination_path, error.file_size,
                 error.is_folder, false);
        // Its name is that of another file of the run: its own name is not at fault.
        if (error.copy_message == DestinationNames::collatedTwinText()) {
            addProblem(QStringLiteral("name-clash"), error.destination_path);
            continue;
        }
        checkTarget(error.source_path, error.destination_path, error.file_size, error.is_folder,
                    false, true);
    }
    // A move removes each emptied source folder; one that keeps an entry stays, an error.
    for (const QString& folder : qAsConst(m_keptFolders))
        addEntry(Outcome::Error, folder, QString(), 0, true, false);
    if (verify)
        return true;

    const bool writes = tally(Outcome::New).files + tally(Outcome::Overwrite).files +
                            tally(Outcome::Rename).files + m_folders >
                        0;
    if (writes && m_volume.readOnly)
        addProblem(QStringLiteral("destination-read-only"), task.m_destinationPath);
    // The run makes what is missing of the destination in the nearest folder that exists.
    QString existing = task.m_destinationPath;
    while (!QFileInfo::exists(existing) && QFileInfo(existing).path() != existing)
        existing = QFileInfo(existing).path();
    if (writes && !m_volume.readOnly && !Platform::canWriteFolder(existing))
        addProblem(QStringLiteral("destination-unwritable"), existing);
    if (m_volume.availableBytes >= 0 && m_required > m_volume.availableBytes)
        addProblem(QStringLiteral("no-space"), task.m_destinationPath,
                   m_required - m_volume.availableBytes);
    return true;
}

bool RunPlan::renamedForTwin(const QString& source, const QString& destination) const
{
    // The walk numbered it: another name of its folder is the same once replaced.
    const CopyOptions& options = m_task.m_options;
    return options.m_replaceForbiddenNames && options.m_overwriteMode == CopyOptions::AutoRename &&
           FileSystemUtils::fileNameOf(destination) !=
               TargetRules::portableName(FileSystemUtils::fileNameOf(source), m_family);
}

bool RunPlan::claimedBefore(const QString& destination)
{
    // Only files collated into one folder can meet; the copier renames the later one.
    const CopyOptions& options = m_task.m_options;
    if (options.m_overwriteMode != CopyOptions::AutoRename ||
        options.m_destinationMode != CopyOptions::Collate)
        return false;
    const QString key =
        TargetRules::ignoresCase(m_family) ? destination.toCaseFolded() : destination;
    if (m_claimed.contains(key))
        return true;
    m_claimed.insert(key);
    return false;
}

std::shared_ptr<const WalkListing> RunPlan::listingForRun() const
{
    if (!m_listing || !m_listing->complete)
        return nullptr;
    const Platform::FileSystemTraits probed =
        FileSystemUtils::destinationTraits(m_task.m_destinationPath, true);
    if (probed.caseInsensitive != m_assumedTraits.caseInsensitive ||
        probed.timeStepNs != m_assumedTraits.timeStepNs)
        return nullptr;
    return m_listing;
}

RunPlan::Outcome RunPlan::decideExisting(const QString& source, const QString& destination,
                                         const QString& linkTarget, bool* removesSource) const
{
    const CopyOptions& options = m_task.m_options;
    // The copier's own order: the same entry, a folder in the way, a rename, the rule.
    if (FileSystemUtils::isSameEntry(source, destination)) {
        *removesSource = false;
        return options.m_copyMode == CopyOptions::Verify ? Outcome::Error : Outcome::SkipSame;
    }
    Platform::EntryStatus existing;
    const bool known = Platform::entryStatus(destination, &existing);
    const int mode = OverwriteDecision::modeFor(options, m_task.m_destinationPath, destination);
    if (mode != CopyOptions::AutoRename && known && existing.isFolder) {
        *removesSource = false;
        return Outcome::Error;
    }
    if (mode == CopyOptions::AutoRename && options.m_copyMode != CopyOptions::Verify)
        return Outcome::Rename;
    OverwriteDecision::Result decision = OverwriteDecision::decide(
        OverwriteDecision::compare(ReachableFileInfo(source), ReachableFileInfo(destination),
                                   linkTarget),
        mode, options.m_copyMode, m_settings.skipErrorsInSync);
    if (decision.verdict == OverwriteDecision::Verdict::CompareContent)
        decision = OverwriteDecision::byContent(source, destination, nullptr, decision);
    const bool verify = options.m_copyMode == CopyOptions::Verify;
    switch (decision.verdict) {
    case OverwriteDecision::Verdict::Replace:
        return Outcome::Overwrite;
    case OverwriteDecision::Verdict::Skip: {
        if (verify)
            return Outcome::New; // compared by its bytes
        if (options.m_copyMode == CopyOptions::Move) {
            // A move removes the source of a kept file only when both hold the same bytes.
            bool equal = false;
            PlatformCopy::Failure failure;
            const bool same =
                linkTarget.isEmpty()
                    ? existing.isFile &&
                          PlatformCopy::compareFiles(source, destination, nullptr, &equal,
                                                     &failure) &&
                          equal
                    : !FileSystemUtils::linkTargetsDiffer(
                          ReachableFileInfo(source), ReachableFileInfo(destination), linkTarget);
            *removesSource = same;
            if (!same)
                return Outcome::Error;
            // The same bytes, whatever the dates: the run removes the source as of an equal copy.
            return Outcome::SkipSame;
        }
        const OverwriteDecision::Comparison c = OverwriteDecision::compare(
            ReachableFileInfo(source), ReachableFileInfo(destination), linkTarget);
        return c.newer ? Outcome::SkipNewer : Outcome::SkipSame;
    }
    case OverwriteDecision::Verdict::CannotOverwrite:
    case OverwriteDecision::Verdict::Differs:
    case OverwriteDecision::Verdict::CompareContent:
        break;
    }
    *removesSource = false;
    return Outcome::Error;
}

void RunPlan::addWrite(Outcome outcome, const QString& source, const QString& destination,
                       qint64 size, bool isLink, bool removesSource)
{
    const bool writes =
        outcome == Outcome::New || outcome == Outcome::Overwrite || outcome == Outcome::Rename;
    if (writes && checkTarget(source, destination, size, false, isLink)) {
        outcome = Outcome::Error;
        removesSource = false;
    }
    addEntry(outcome, source, destination, size, false, removesSource);
}

void RunPlan::addEntry(Outcome outcome, const QString& source, const QString& destination,
                       qint64 size, bool isFolder, bool removesSource)
{
    const bool stays = outcome == Outcome::Error || outcome == Outcome::SkipNewer ||
                       (outcome == Outcome::SkipSame && !removesSource);
    if (m_task.m_options.m_copyMode == CopyOptions::Move && stays && !destination.isEmpty()) {
        for (QString folder = QFileInfo(source).path();
             folder.startsWith(m_task.m_sourcePath) && !m_keptFolders.contains(folder);
             folder = QFileInfo(folder).path())
            m_keptFolders.insert(folder);
    }
    // The run counts files; a folder in error is still an error.
    if (isFolder && outcome != Outcome::Error)
        return;
    // A verify has no target to check: what it cannot compare is what the user must see.
    if (outcome == Outcome::Error && !isFolder && !destination.isEmpty() &&
        m_task.m_options.m_copyMode == CopyOptions::Verify)
        addProblem(QStringLiteral("not-comparable"), destination);
    Tally& tally = m_tallies[size_t(outcome)];
    tally.files += 1;
    tally.bytes = qMax<qint64>(0, tally.bytes + qMax<qint64>(0, size));
    if (removesSource && outcome != Outcome::Error && outcome != Outcome::SkipFiltered &&
        outcome != Outcome::SkipNewer) {
        m_removed.files += 1;
        m_removed.bytes += qMax<qint64>(0, size);
    }
}

QStringList RunPlan::entryProblems(const QString& destination, TargetRules::Family family,
                                   int maxNameBytes)
{
    return entryProblems(destination, FileSystemUtils::fileNameOf(destination), family,
                         maxNameBytes);
}

QStringList RunPlan::entryProblems(const QString& destination, const QString& name,
                                   TargetRules::Family family, int maxNameBytes)
{
    QStringList codes;
    const QString nameCode = TargetRules::nameProblem(name, family, maxNameBytes);
    if (!nameCode.isEmpty())
        codes << nameCode;
    if (TargetRules::pathTooLong(destination, family))
        codes << QStringLiteral("path-too-long");
    return codes;
}

bool RunPlan::checkTarget(const QString& source, const QString& destination, qint64 size,
                          bool isFolder, bool isLink, bool inError)
{
    if (m_task.m_options.m_copyMode == CopyOptions::Verify)
        return false;
    bool fails = false;
    // Below a folder the run cannot make, nothing can be made either.
    if (!m_refusedFolders.isEmpty() &&
        m_refusedFolders.contains(FileSystemUtils::folderOf(destination))) {
        if (isFolder)
            m_refusedFolders.insert(destination);
        return true;
    }
    const QStringView name =
        QStringView(destination).mid(destination.lastIndexOf(QLatin1Char('/')) + 1);
    // A short name on a POSIX file system, on a path far from its limit, has no problem to
    // find: the common case is told without a list made for each entry.
    const bool plain = m_family == TargetRules::Family::Posix &&
                       name.size() * 3 <= m_volume.maxNameLength && destination.size() * 3 < 4096;
    const QStringList problems =
        plain ? QStringList()
              : entryProblems(destination, name.toString(), m_family, m_volume.maxNameLength);
    for (const QString& code : problems) {
        addProblem(code, destination);
        // Windows keeps the others from reading such names; the drivers here take them.
        fails = fails || code == QLatin1String("forbidden-character") ||
                code == QLatin1String("name-too-long") || code == QLatin1String("name-not-utf8");
    }
    if (m_onlyAscii && !TargetRules::isAscii(name.toString())) {
        addProblem(QStringLiteral("name-not-ascii"), destination);
        fails = true;
    }
    if (TargetRules::ignoresCase(m_family) && !m_twinRenamed) {
        const QString folded = destination.toCaseFolded();
        if (m_foldedNames.contains(folded)) {
            addProblem(QStringLiteral("case-clash"), destination);
            fails = true;
        } else {
            m_foldedNames.insert(folded);
        }
    }
    if (fails && isFolder)
        m_refusedFolders.insert(destination);
    if (inError)
        return true;
    // Written under a look-alike name (--replace-forbidden-names): copied, not a problem.
    if (!fails && m_task.m_options.m_replaceForbiddenNames && !hasFileName(source, name))
        m_renamed << destination;
    const bool keepsAll = TargetRules::keepsOwners(m_family);
    Platform::EntryStatus status;
    const bool known = (!keepsAll || isLink || size >= SparseCheckFrom || isFolder) &&
                       Platform::entryStatus(source, &status);
    // A file with holes takes only its data there, where holes stay holes.
    const qint64 data = known && status.isFile && TargetRules::keepsHoles(m_family)
                            ? qMin(size, status.allocated)
                            : size;
    if (isLink && !TargetRules::keepsSymbolicLinks(m_family)) {
        addProblem(QStringLiteral("links-lost"), destination);
        fails = true;
    }
    const qint64 limit = TargetRules::maxFileSize(m_family);
    const bool tooLarge = !isFolder && !isLink && limit >= 0 && size > limit;
    if (tooLarge)
        addProblem(QStringLiteral("file-too-large"), destination, size);
    if (known && status.isSpecial && !TargetRules::keepsSpecialFiles(m_family)) {
        addProblem(QStringLiteral("special-files-lost"), destination);
        fails = true;
    }
    if (!fails)
        m_required += TargetRules::spaceFor(isFolder || isLink ? 0 : data, m_volume.blockSize);
    // Counted in the room it would take (what --force would try), and an error as the run
    // reports it.
    if (tooLarge)
        return true;
    if (!known || keepsAll || fails || isLink)
        return fails;
    if (status.owner != Platform::userId())
        addProblem(QStringLiteral("owners-lost"), destination);
    // The mount's own mode replaces each: a private file there is as open as any other.
    if (!TargetRules::keepsModes(m_family) && status.permissions != (isFolder ? 0755 : 0644))
        addProblem(QStringLiteral("modes-lost"), destination);
    return fails;
}

void RunPlan::addConflict(Outcome outcome, const QString& source, const QString& destination,
                          qint64 size, int order)
{
    // A verify compares what is there; a folder in the file's place is an error either way.
    if (m_task.m_options.m_copyMode == CopyOptions::Verify ||
        (outcome != Outcome::Overwrite && outcome != Outcome::SkipSame &&
         outcome != Outcome::SkipNewer && outcome != Outcome::Rename))
        return;
    Conflict conflict;
    conflict.destination = destination;
    conflict.outcome = outcome;
    conflict.size = size;
    // The walk's own comparison where it made one.
    if (order == BuildFileListJob::UnknownOrder)
        order = FileSystemUtils::modificationOrder(ReachableFileInfo(source),
                                                   ReachableFileInfo(destination));
    conflict.destinationOlder = order < 0;
    m_conflicts << conflict;
}

void RunPlan::addProblem(const QString& code, const QString& path, qint64 bytes)
{
    Problem& problem = m_problems[code];
    if (problem.code.isEmpty()) {
        problem.code = code;
        problem.certain = code == QLatin1String("no-space") ||
                          code == QLatin1String("file-too-large") ||
                          code == QLatin1String("destination-read-only") ||
                          code == QLatin1String("destination-unwritable");
        m_problemOrder << code;
    }
    problem.count += 1;
    problem.bytes += bytes;
    problem.entries << path;
}

QList<RunPlan::Problem> RunPlan::problems() const
{
    QList<Problem> list;
    for (const QString& code : m_problemOrder)
        list << m_problems.value(code);
    return list;
}

bool RunPlan::hasCertainFailure() const
{
    for (const Problem& problem : m_problems) {
        if (problem.certain)
            return true;
    }
    return false;
}

RunPlan::Estimate RunPlan::estimate() const
{
    Estimate estimate;
    estimate.perFileMs = PerFileMs;
    estimate.bytesPerSecond = BytesPerSecond;
    estimate.basis = QStringLiteral("fixed constants measured on the development machine "
                                    "(bench/RESULTS.md, \"Plan estimate\")");
    qint64 files = 0;
    qint64 bytes = 0;
    for (const Outcome outcome : {Outcome::New, Outcome::Overwrite, Outcome::Rename}) {
        files += tally(outcome).files;
        bytes += tally(outcome).bytes;
    }
    estimate.ms =
        qint64(double(files) * PerFileMs + double(bytes) * 1000.0 / double(BytesPerSecond));
    return estimate;
}
