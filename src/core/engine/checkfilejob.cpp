#include "engine/checkfilejob.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QMetaObject>

#include <deque>
#include <memory>

namespace {

// Files up to this size are checked within the start. The queued call between the two
// hashes of a larger file lets other work of the thread run between two long reads; for
// small files it would only cost more than the reads.
constexpr qint64 smallFileSize = 1048576;
// How many small files, and bytes, one job takes at most: a job per file would cost more
// than the files, while a stop and the other threads should not wait long for one.
constexpr int maxFilesPerJob = 32;
constexpr qint64 maxBytesPerJob = 4 * smallFileSize;
// How many pairs are opened and read ahead beyond the one being hashed.
constexpr int pairsReadAhead = 4;

// The two files of a small item, opened to be hashed. The destination is opened first and
// its cached pages dropped, so that what is read ahead of it comes from its device.
struct FilePair
{
    explicit FilePair(const CopyItem& item)
        : destination(item.destination_path, FileHash::Reading::FromDevice, smallFileSize),
          source(item.source_path, FileHash::Reading::MayUseCache, smallFileSize)
    {
    }

    FileHash::OpenFile destination;
    FileHash::OpenFile source;
};

} // namespace

CheckFileJob::CheckFileJob(QObject* parent) : Job(parent)
{
    setObjectName(QStringLiteral("JobCheckFile"));
}

void CheckFileJob::setItem(const CopyItem& item)
{
    static_cast<CopyItem&>(*this) = item;
}

CopyItem CheckFileJob::item() const
{
    return *this;
}

bool CheckFileJob::canAdd(const CopyItem& item) const
{
    return file_size <= smallFileSize && item.file_size <= smallFileSize &&
           m_addedItems.size() + 1 < maxFilesPerJob &&
           file_size + m_addedBytes + item.file_size <= maxBytesPerJob;
}

void CheckFileJob::addItem(const CopyItem& item)
{
    m_addedItems.append(item);
    m_addedBytes += item.file_size;
}

QList<CopyItem> CheckFileJob::checkedItems() const
{
    return QList<CopyItem>{item()} + m_addedItems.mid(0, m_addedChecked);
}

QList<CopyItem> CheckFileJob::uncheckedItems() const
{
    return m_addedItems.mid(m_addedChecked);
}

QByteArray CheckFileJob::fileHash(const QString& path, FileHash::Reading reading)
{
    FileHash::OpenFile file(path, reading);
    return fileHash(file, path);
}

QByteArray CheckFileJob::fileHash(FileHash::OpenFile& file, const QString& path)
{
    return file.digest(m_algorithm, [this, &path](qint64 bytesRead, qint64 fileSize) {
        if (waitWhilePaused() || isStopped())
            return false;
        emit jobProgress(path, bytesRead, fileSize);
        return true;
    });
}

void CheckFileJob::startJob()
{
    Job::startJob();
    // A verdict from an earlier run must not make a failing check look passed.
    is_checked = false;
    for (CopyItem& added : m_addedItems)
        added.is_checked = false;
    m_addedChecked = 0;
    if (file_size <= smallFileSize) {
        checkSmallFiles();
        return;
    }
    // Queued, so that other work of this thread can run between the two long reads.
    QMetaObject::invokeMethod(this, "checkFromFile", Qt::QueuedConnection);
}

void CheckFileJob::checkSmallFiles()
{
    // The pairs are opened, and read ahead, a few files before they are hashed: their
    // reads from the devices overlap the work on the files before them.
    std::deque<std::unique_ptr<FilePair>> opened;
    int nextToOpen = 0;
    for (int i = 0; i <= m_addedItems.size(); ++i) {
        for (; nextToOpen <= m_addedItems.size() && nextToOpen <= i + pairsReadAhead; ++nextToOpen)
            opened.push_back(std::make_unique<FilePair>(
                nextToOpen == 0 ? item() : m_addedItems.at(nextToOpen - 1)));
        const std::unique_ptr<FilePair> pair = std::move(opened.front());
        opened.pop_front();
        CopyItem& item = i == 0 ? static_cast<CopyItem&>(*this) : m_addedItems[i - 1];
        QElapsedTimer timer;
        timer.start();
        // A stop that came while the source was hashed leaves the destination unread.
        if (hashSource(item, pair->source) && !isStopped())
            compareWithDestination(item, pair->destination);
        conclude(item, qMax<qint64>(1, timer.elapsed()));
        m_addedChecked = i;
        if (isStopped())
            break;
    }
    m_concluded = true;
    finishJob();
}

void CheckFileJob::checkFromFile()
{
    FileHash::OpenFile source(source_path);
    if (hashSource(*this, source))
        QMetaObject::invokeMethod(this, "checkToFile", Qt::QueuedConnection);
    else
        finishJob();
}

bool CheckFileJob::hashSource(CopyItem& item, FileHash::OpenFile& source)
{
    m_sourceHash = fileHash(source, item.source_path);
    if (!m_sourceHash.isEmpty())
        return true;
    qWarning() << "Unable to make hash of file (from)" << qUtf8Printable(item.source_path);
    item.setSourceError(tr("unable to check source file"));
    return false;
}

void CheckFileJob::checkToFile()
{
    if (!isStopped()) {
        FileHash::OpenFile destination(destination_path, FileHash::Reading::FromDevice);
        compareWithDestination(*this, destination);
    }
    finishJob();
}

bool CheckFileJob::failedCheck(const CopyItem& item)
{
    // The errors file may come from a run in another language, or from before a mismatch
    // was called what it is ("check error").
    return item.copy_state == DestinationError &&
           (item.copy_message == QLatin1String("content differs") ||
            item.copy_message == tr("content differs") ||
            item.copy_message == QLatin1String("check error") ||
            item.copy_message == tr("check error"));
}

void CheckFileJob::compareWithDestination(CopyItem& item, FileHash::OpenFile& destination)
{
    const QByteArray destinationHash = fileHash(destination, item.destination_path);
    if (destinationHash.isEmpty()) {
        qWarning() << "Unable to make hash of file (to)" << qUtf8Printable(item.destination_path);
        item.setDestinationError(tr("unable to check destination file"));
    } else if (destinationHash == m_sourceHash) {
        item.info_list.append(tr("copy verified"));
        item.is_checked = true;
        item.digest = destinationHash;
    } else {
        item.setDestinationError(tr("content differs"));
    }
}

void CheckFileJob::conclude(CopyItem& item, qint64 elapsedMsecs)
{
    item.elapsed_time += elapsedMsecs;
    if (!item.is_checked) {
        qWarning() << "Integrity check failed for file" << qUtf8Printable(item.destination_path);
        if (isStopped())
            item.setDestinationError(tr("check cancelled by user"));
    }
}

void CheckFileJob::finishJob()
{
    if (isFinished())
        return;
    if (!m_concluded)
        conclude(*this, elapsedMsecs());
    Job::finishJob();
}
