#pragma once

#include "engine/destinationnames.h"
#include "engine/earlierrun.h"
#include "engine/listedbatches.h"
#include "engine/targetrules.h"
#include "engine/walkedhardlinks.h"
#include "fs/pathfilters.h"
#include "fs/pathutils.h"
#include "fs/platform.h"
#include "jobs/job.h"
#include "model/copyitem.h"
#include "model/copyoptions.h"
#include "model/runsettings.h"

#include <QList>
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
    // The note of a file a resume left as an earlier run finished it.
    static QString unchangedText();

    // One entry as the signals below report it, for listeners that take entries in batches.
    using ListedEntry = ListedBatches::Entry;

    // The oldest batch not taken yet, its entries in the order of the signals (empty when
    // none is left). Called from any thread, once per entriesListed.
    QVector<ListedEntry> takeListedEntries();

    void setOptions(const CopyOptions& options) { m_options = options; }
    // A file the run writes itself, its checksum list, which a verify never counts as an
    // entry the destination holds beyond its source (nor the list's temporary file).
    void setOwnFile(const QString& path) { m_ownFile = path; }
    CopyOptions options() const { return m_options; }
    // The run's copy of the preferences: whether the entries left out by the filters are
    // reported as skipped.
    void setSettings(const RunSettings& settings) { m_settings = settings; }
    // For the walk of a resume: what earlier runs finished, and refused.
    void setEarlierRun(const EarlierRun::Hints& hints) { m_earlier = hints; }
    // A plan of the run: the walk writes nothing, neither probes nor the removal of an
    // interrupted copy's leftovers, and opens no closed folder of a move.
    void setPlanOnly(bool planOnly) { m_planOnly = planOnly; }

    // Read by the owner after the job has finished. Folders still pending mean the walk
    // did not end.
    QList<CopyItem> pendingFolders() const { return m_pendingFolders; }
    QList<CopyItem> errorItems() const { return m_errorItems; }
    // While itemToCopy is emitted for a file (in the walk's thread): whether the walk found
    // the entry at its destination, read without following a link; Unknown when it did not
    // look. A listener decides from it without reading the destination again.
    enum class DestinationState
    {
        Unknown,
        Missing,
        Present
    };
    Q_ENUM(DestinationState)
    DestinationState destinationState() const { return m_destinationState; }
    const Platform::EntryStatus& destinationStatus() const { return m_destinationStatus; }
    // While itemToSkip or itemToCopy is emitted for two regular files the walk compared: the
    // order of their modification times (FileSystemUtils::modificationOrder); else
    // UnknownOrder.
    static constexpr int UnknownOrder = -2;
    int destinationOrder() const { return m_destinationOrder; }

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
    void reportUnchanged(const QString& source, const QString& destination, qint64 size,
                         const QString& hardLinkFirst);
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
    bool readDestinationStatus(const WalkEntry& entry, Platform::EntryStatus* status) const;
    bool refuseEntry(WalkEntry& entry);
    bool refuseNameTwin(WalkEntry& entry);
    bool isOwnFile(const QString& folder, const QString& name) const;
    // Whether the filters let the walk take an entry at this path of the source.
    bool takesName(const QString& sourcePath, bool isFolder) const;
    // The path below the source, with '/' between folders, as the filters match it.
    QString relativePath(const QString& sourcePath) const;
    // An entry a filter left out, listed as skipped when the settings ask for it. filter:
    // "exclude" (pattern: the skip pattern), "include", "hidden" or "link".
    void reportFiltered(WalkEntry& entry, const QString& filter, const QString& pattern);
    void reportSourceError(const QString& sourcePath, const QString& destinationPath, qint64 size,
                           bool isFolder, const QString& reason);
    // An existing regular file at the destination of a regular file, by the overwrite rule:
    // order as FileSystemUtils::modificationOrder(source, destination).
    void decideBetweenFiles(const QString& sourcePath, const QString& destinationPath, qint64 size,
                            const QString& linkFirst, int order, bool sizesDiffer, int overwrite);
    void reportFileToCopy(const QString& sourcePath, const QString& destinationPath, qint64 size,
                          const QString& hardLinkFirst = QString());
    void removeStaleTemporaryFiles(const QString& destinationFolder);
    QString linkTargetInCopy(const QString& linkPath) const;
    // The name an entry takes at the destination: its own, or the look-alike of one the
    // destination's file system refuses (CopyOptions::m_replaceForbiddenNames).
    QString destinationName(const QString& name) const;

    QString m_sourcePath;
    QString m_destinationPath;
    CopyOptions m_options;
    QString m_ownFile;
    QList<CopyItem> m_pendingFolders;
    PathFilters m_filters;
    // Whether a folder-only copy pattern picks the folder being listed with all below it.
    bool m_inCopiedFolderTree = false;
    QList<CopyItem> m_errorItems;
    RunSettings m_settings;
    EarlierRun::Hints m_earlier;
    ListedBatches m_listed;
    DestinationNames m_names;
    WalkedHardLinks m_hardLinks;
    // Whether the destination of the folder being listed had its file system learnt.
    bool m_destinationTimesKnown = false;
    bool m_planOnly = false;
    DestinationState m_destinationState = DestinationState::Unknown;
    Platform::EntryStatus m_destinationStatus;
    int m_destinationOrder = UnknownOrder;
    // The destination folder of the folder being listed, open to look its entries up;
    // MissingFolder when there is none (nothing to look up), -1 when not open.
    static constexpr int MissingFolder = -2;
    int m_destinationFolderFd = -1;
    // The destination's kind, where names it refuses are replaced; Posix replaces none.
    TargetRules::Family m_targetFamily = TargetRules::Family::Posix;
};
