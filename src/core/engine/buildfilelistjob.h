#pragma once

#include "fs/pathutils.h"
#include "fs/platform.h"
#include "jobs/job.h"
#include "model/copyitem.h"
#include "model/copyoptions.h"
#include "model/runsettings.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QVector>

#include <vector>

class QFileInfo;

// Walks the source of a run and tells the copy task, entry by entry, what to copy, what
// to skip and why, and which symbolic links to recreate.
//
// The walk is breadth-first and lists one folder per turn of the thread's event loop, so
// a stop request is seen between folders; inside a folder the stop flag is checked before
// each entry. Problems that cannot be turned into a skip are collected as error items the
// owner files once the job has finished.
class BuildFileListJob : public Job
{
    Q_OBJECT

public:
    explicit BuildFileListJob(QObject* parent = nullptr);

    // Both paths are stored normalized (native separators, no trailing separator), so
    // the paths reported are built the same way whatever form the caller used.
    void setPaths(const QString& sourcePath, const QString& destinationPath);
    QString sourcePath() const { return m_sourcePath; }
    QString destinationPath() const { return m_destinationPath; }
    // Whether the walk refused the item for a name another source of the run takes: fixing
    // errors keeps it refused, or it would replace that source's copy (and, in a move, the
    // other source is gone already).
    static bool refusedAsTwin(const CopyItem& item);

    // One entry as the signals below report it, for listeners that take entries in batches.
    struct ListedEntry
    {
        enum Kind
        {
            ToCopy,
            ToSkip,
            LinkToCopy
        };
        Kind kind = ToCopy;
        QString source;
        QString destination;
        qint64 size = 0;
        bool isFolder = false;
        QString text; // the reason of a skip, the target of a link
        // A file with several names: the source of the name met first (CopyItem::hard_link_first).
        QString hardLinkFirst;
    };

    // The oldest batch not taken yet, its entries in the order of the signals (empty when
    // none is left). Called from any thread, once per entriesListed.
    QVector<ListedEntry> takeListedEntries();

    void setOptions(const CopyOptions& options) { m_options = options; }
    CopyOptions options() const { return m_options; }
    // The run's copy of the preferences: whether the entries left out by the filters are
    // reported as skipped.
    void setSettings(const RunSettings& settings) { m_settings = settings; }

    // Read by the owner after the job has finished. Folders still pending mean the walk
    // did not end.
    QList<CopyItem> pendingFolders() const { return m_pendingFolders; }
    QList<CopyItem> errorItems() const { return m_errorItems; }

signals:
    void itemToCopy(const QString& source, const QString& destination, qint64 size, bool isFolder);
    void itemToSkip(const QString& source, const QString& destination, qint64 size, bool isFolder,
                    const QString& reason);
    void symbolicLinkToCopy(const QString& source, const QString& destination, qint64 size,
                            const QString& linkTarget);
    // A batch of the entries reported by the signals above is ready for takeListedEntries:
    // at the end of each folder, every few hundred entries, and before the job finishes. A
    // listener in another thread then wakes once per batch instead of once per entry.
    void entriesListed();

public slots:
    void startJob() override;

protected:
    void finishJob() override;

private slots:
    void buildFileList();
    void processNextFolder();

private:
    struct WalkEntry;

    void reportToCopy(const QString& source, const QString& destination, qint64 size,
                      bool isFolder);
    void reportToSkip(const QString& source, const QString& destination, qint64 size, bool isFolder,
                      const QString& reason, const QString& hardLinkFirst = QString());
    void reportLinkToCopy(const QString& source, const QString& destination, qint64 size,
                          const QString& linkTarget);
    void addListedEntry(ListedEntry&& entry);
    void sendListedEntries();
    void processFolder(const QString& folder, const QString& destinationFolder);
    void listFolder(const QString& folder, const QString& destinationFolder);
    int openFolderToList(const QString& folder);
    void processEntry(WalkEntry& entry);
    void processSymbolicLink(WalkEntry& entry);
    void processSubfolder(WalkEntry& entry);
    void processFile(WalkEntry& entry);
    bool readStatus(WalkEntry& entry);
    bool refuseEntry(WalkEntry& entry);
    bool refuseCollatedTwin(WalkEntry& entry);
    bool refuseCaseTwin(WalkEntry& entry);
    bool mayProbeDestination() const;
    // Whether the filters let the walk take an entry of this name.
    bool takesName(const QString& name, bool isFolder) const;
    void findCaseTwins(const std::vector<Platform::FolderEntry>& entries,
                       const QString& destinationFolder);
    void reportSourceError(const QString& sourcePath, const QString& destinationPath, qint64 size,
                           bool isFolder, const QString& reason);
    void reportFileToCopy(const QString& sourcePath, const QString& destinationPath, qint64 size,
                          const QString& hardLinkFirst = QString());
    QString hardLinkFirst(const WalkEntry& entry);
    void removeStaleTemporaryFiles(const QString& destinationFolder);
    QString linkTargetInCopy(const QString& linkPath) const;

    QString m_sourcePath;
    QString m_destinationPath;
    CopyOptions m_options;
    QList<CopyItem> m_pendingFolders;
    FileSystemUtils::PatternList m_skipPatterns;
    FileSystemUtils::PatternList m_copyPatterns;
    QList<CopyItem> m_errorItems;
    RunSettings m_settings;
    bool m_listingInBatches = false;
    QVector<ListedEntry> m_listedEntries;
    // Batches waiting for the listener, guarded by the mutex: a batch does not travel in
    // the signal, so the listener's thread reads it only after taking the lock.
    QMutex m_listedMutex;
    QList<QVector<ListedEntry>> m_listedBatches;
    // Names of the files to copy into the folder being listed.
    QSet<QString> m_namesToCopy;
    // Where the destination of the folder being listed ignores case: for each name shared,
    // case aside, by several entries of the folder, the one entry that keeps it.
    QHash<QString, QString> m_caseKeptNames;
    // Collated names taken so far, and by which source; case-folded where the destination
    // ignores case (-1: not known yet).
    QHash<QString, QString> m_collatedNames;
    int m_collateIgnoresCase = -1;
    // Files with several names met so far whose other names are still to come: device and
    // inode, to the source of the first name and the number of names not met yet.
    struct HardLinkGroup
    {
        QString firstSource;
        quint64 namesLeft = 0;
    };
    QHash<QPair<quint64, quint64>, HardLinkGroup> m_hardLinks;
    // Whether the destination of the folder being listed had its file system learnt.
    bool m_destinationTimesKnown = false;
};
