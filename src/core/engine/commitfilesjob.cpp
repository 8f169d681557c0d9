#include "engine/commitfilesjob.h"
#include "engine/copyverification.h"

#include "fs/filesystemutils.h"
#include "fs/platform.h"
#include "fs/platformcopy.h"

#include <QDebug>
#include <QFileInfo>

#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Sources of a group removed side by side, at most this many at once, one more helper
// thread for each removalsPerHelper sources.
constexpr int maxRemovers = 8;
constexpr int removalsPerHelper = 32;

} // namespace

CommitFilesJob::CommitFilesJob(QObject* parent) : Job(parent)
{
    setObjectName(QStringLiteral("CommitFilesJob"));
}

void CommitFilesJob::setFileSystem(int handle, const QString& path)
{
    m_handle = handle;
    m_path = path;
}

bool CommitFilesJob::place(const PendingCopy& copy, PlatformCopy::Failure* failure)
{
    const QString& temporary = copy.temporaryPath;
    const QString& target = copy.item.destination_path;
    if (m_root.isEmpty())
        return PlatformCopy::moveIntoPlace(temporary, target, failure, copy.replace);
    // The pin cleans the path and walks it from the root: the text only keys the folder.
    // Most copies of a group share their folder: its text is cut out only for a new one.
    const int slash = target.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0 || target.leftRef(slash) != m_folderPath || !m_folder.isPinned()) {
        const QString folder = FileSystemUtils::folderOf(target);
        m_folderPath.clear();
        if (!m_folder.pin(m_root, -1, folder, failure))
            return false;
        m_folderPath = folder;
    }
    const QStringView temporaryName =
        QStringView(temporary).mid(temporary.lastIndexOf(QLatin1Char('/')) + 1);
    const QStringView targetName = QStringView(target).mid(slash + 1);
    // Both names in the folder held open; by path only where /proc cannot name it.
    if (m_folder.isPinned())
        return PlatformCopy::moveIntoPlaceAt(m_folder.descriptor(), temporaryName, targetName,
                                             failure, copy.replace);
    return PlatformCopy::moveIntoPlace(m_folder.entryPath(temporaryName.toString(), temporary),
                                       m_folder.entryPath(targetName.toString(), target), failure,
                                       copy.replace);
}

bool CommitFilesJob::flush(QString* failureText)
{
    if (Platform::syncFileSystem(m_handle))
        return true;
    qWarning() << "Unable to flush the file system of" << qUtf8Printable(m_path);
    *failureText = FileSystemUtils::lastErrorText(Platform::lastFailedCall());
    return false;
}

void CommitFilesJob::startJob()
{
    Job::startJob();
    m_items.clear();
    m_items.reserve(m_copies.size());

    QString dataFailure;
    const bool dataFlushed = flush(&dataFailure);
    m_destinationLost = m_anchor.isLost();
    QList<int> placed;
    // The verified copies of the group, read back from the device once it is flushed.
    QStringList readBacks;
    for (const PendingCopy& copy : qAsConst(m_copies))
        readBacks << (copy.item.digest.isEmpty() || copy.item.is_checked ? QString()
                                                                         : copy.temporaryPath);
    CopyVerification::GroupReadBack readBack(readBacks, Digest::Algorithm(m_algorithm), m_root);
    for (int index = 0; index < m_copies.size(); ++index) {
        PendingCopy& copy = m_copies[index];
        CopyItem item = copy.item;
        PlatformCopy::Failure failure;
        // A pause holds the read-back between files; a stop does not end it: the group's
        // copies are on the device and each still takes its name or goes.
        if (!readBacks.at(index).isEmpty())
            waitWhilePaused();
        if (copy.temporaryPath.isEmpty()) {
            // Decided by its copier.
        } else if (m_destinationLost) {
            // The copy is on the drive that went away; its name would be taken elsewhere.
            item.setDestinationError(DestinationAnchor::lostText());
        } else if (!dataFlushed) {
            // Nothing tells which files the failed write-back belonged to: none is trusted.
            item.info_list.append(dataFailure);
            item.setDestinationError(tr("unable to copy file"));
            FileSystemUtils::removeFile(copy.temporaryPath);
        } else if (!readBacks.at(index).isEmpty() &&
                   !verify(copy, item, int(readBack.check(index, item.digest)))) {
            // Decided by its check.
        } else if (!place(copy, &failure)) {
            item.info_list.append(FileSystemUtils::failureText(failure));
            if (copy.replace) {
                item.info_list.append(tr("Unable to remove existing file"));
                item.setDestinationError(tr("file cannot be overwritten"));
            } else {
                item.setDestinationError(tr("unable to copy file"));
            }
            FileSystemUtils::removeFile(copy.temporaryPath);
        } else {
            if (copy.replace)
                item.info_list.append(tr("existing file is removed"));
            placed.append(m_items.size());
        }
        m_items.append(item);
    }

    m_folder.release();
    m_folderPath.clear();

    // Asked once the names are taken: a name taken before the drive went away was on it.
    if (!placed.isEmpty() && m_anchor.isLost()) {
        m_destinationLost = true;
        for (int index : qAsConst(placed))
            m_items[index].setDestinationError(DestinationAnchor::lostText());
        placed.clear();
    }
    if (m_destinationLost)
        qWarning() << "The destination" << qUtf8Printable(m_anchor.path())
                   << "is no longer on the file system the run began with";
    if (m_move && !placed.isEmpty()) {
        // The only other copy of the data goes: the new names must be on the device first.
        QString namesFailure;
        const bool namesFlushed = flush(&namesFailure);
        const std::vector<SourceRemover::Outcome> removals =
            namesFlushed ? removeSources(placed) : std::vector<SourceRemover::Outcome>();
        for (int i = 0; i < placed.size(); ++i) {
            CopyItem& item = m_items[placed.at(i)];
            if (!namesFlushed) {
                item.info_list.append(namesFailure);
                item.setDestinationError(tr("unable to write destination file to disk"));
                continue;
            }
            switch (removals.at(size_t(i))) {
            case SourceRemover::Outcome::Gone:
                break;
            case SourceRemover::Outcome::SameEntry:
                // The source's name now leads to the copy: deleting it would delete the copy.
                item.info_list.append(tr("source and destination are the same file"));
                break;
            case SourceRemover::Outcome::Changed:
                qWarning() << "Source file changed during the copy:"
                           << qUtf8Printable(item.source_path);
                item.setSourceError(tr("source file changed during the copy"));
                break;
            case SourceRemover::Outcome::Removed:
                item.info_list.append(tr("File moved"));
                break;
            case SourceRemover::Outcome::Kept:
                qWarning() << "Unable to remove file" << qUtf8Printable(item.source_path);
                item.setSourceError(tr("Unable to delete source file"));
                break;
            }
        }
    }
    finishJob();
}

std::vector<SourceRemover::Outcome> CommitFilesJob::removeSources(const QList<int>& indexes) const
{
    // A removal can wait for the device: a file system mounted with online discard hands the
    // freed blocks back to it before unlink returns. Side by side, those waits overlap
    // (20,000 sources: 1 s instead of 1.5 s to 60 s one by one, as busy as the device was).
    // Each worker only reads the lists and writes its own entries of the result.
    std::vector<SourceRemover::Outcome> removals(size_t(indexes.size()),
                                                 SourceRemover::Outcome::Kept);
    std::atomic<int> next{0};
    const auto work = [&] {
        for (int i = next++; i < indexes.size(); i = next++)
            removals[size_t(i)] = SourceRemover::remove(m_items.at(indexes.at(i)).source_path,
                                                        m_items.at(indexes.at(i)).destination_path,
                                                        m_copies.at(indexes.at(i)).source);
    };
    const int helpers = qMin(maxRemovers - 1, indexes.size() / removalsPerHelper);
    std::vector<std::thread> threads;
    threads.reserve(size_t(helpers));
    for (int i = 0; i < helpers; ++i) {
        // A process out of threads removes with fewer helpers, or alone.
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    work();
    for (std::thread& thread : threads)
        thread.join();
    return removals;
}
