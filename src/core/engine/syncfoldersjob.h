#pragma once

#include "fs/pathfilters.h"
#include "fs/platform.h"
#include "jobs/job.h"
#include "model/copyitem.h"
#include "model/copyoptions.h"
#include "model/runsettings.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QVector>

#include <functional>

// Runs once at the end of a run, after every file has been handled: gives each destination
// folder the dates and attributes of its source folder (copying files into a folder
// changes the folder's own times, so this can only come last) and, in a move, removes the
// emptied source folders, deepest first. A folder that the run made (private until then,
// see PlatformCopy::createFolders) also gets its source's owner, mode and extended
// attributes; so does the destination root when the run made it, and folders made above it
// get the mode of mkdir -p. Every folder it is given ends in processedFolders() exactly
// once, with its outcome.
class SyncFoldersJob : public Job
{
    Q_OBJECT

public:
    explicit SyncFoldersJob(QObject* parent = nullptr);

    // The folders of the run as the copy task found them, with their state so far.
    void setFolders(const QList<CopyItem>& folders) { m_folders = folders; }
    // In a move of a folder: the source root, removed last once it is empty.
    void setSourceRootItem(const CopyItem& item) { m_sourceRootItem = item; }
    // The run's source and destination, for a destination root that the run made.
    void setRoots(const QString& source, const QString& destination)
    {
        m_sourceRoot = source;
        m_destinationRoot = destination;
    }
    void setOptions(const CopyOptions& options) { m_options = options; }
    CopyOptions options() const { return m_options; }
    // The run's copy of the preferences: whether a folder that cannot be synced is an error,
    // and whether folders are left writable.
    void setSettings(const RunSettings& settings) { m_settings = settings; }

    // Milliseconds on a monotonic clock, read to end a batch of removals; tests set one
    // that they move by hand.
    using Clock = std::function<qint64()>;
    void setClock(Clock clock) { m_clock = std::move(clock); }

    // Read by the owner after the job has finished.
    QList<CopyItem> processedFolders() const { return m_processedFolders; }

signals:
    // done: folders processed so far, this one included; total: folders still known to
    // the job (processed, waiting to be synced and waiting to be removed).
    void folderSynced(const QString& source, const QString& destination, qint64 done, qint64 total);

public slots:
    void startJob() override;

private slots:
    void checkExistingFolders();
    void processNextFolder();
    void processNextFolderToMove();

private:
    void addProcessedFolder(const CopyItem& folder);
    // After the folders, before any removal (the source root's metadata is read).
    void finishCreatedRoot();
    void passOnUnchanged(QList<CopyItem>& folders);
    // Whether a folder that a move could not remove holds only what the run's filters left
    // out (or folders kept for that reason): then it stays, without an error.
    bool holdsOnlyLeftOutEntries(const QString& path) const;
    // The run's filters, matched as the walk matched them.
    PathFilters runFilters() const;
    struct Entry
    {
        QString name;
        QString path;
        Platform::EntryStatus status;
    };
    static QVector<Entry> entriesOf(const QString& path);
    // A collated move lists no folders: the emptied ones below the source are removed before
    // it, deepest first (one that still holds something stays, and so does the source).
    void removeCollatedSubfolders(const QString& path);

    QList<CopyItem> m_folders;
    QList<CopyItem> m_foldersToSync;
    QList<CopyItem> m_processedFolders;
    QList<CopyItem> m_foldersToMove;
    CopyOptions m_options;
    RunSettings m_settings;
    CopyItem m_sourceRootItem;
    QString m_sourceRoot;
    QString m_destinationRoot;
    bool m_rootFinished = false;
    QSet<QString> m_keptFolders;
    Clock m_clock;
};
