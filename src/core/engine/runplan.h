#pragma once

#include "engine/targetrules.h"
#include "engine/walklisting.h"
#include "fs/platform.h"
#include "model/runsettings.h"
#include "model/task.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <atomic>
#include <memory>

// A run looked at before it is made: the source and the destination walked as the run walks
// them (BuildFileListJob, without writing), each file's outcome decided by the run's own
// rules (OverwriteDecision), and the destination's file system checked for what it would
// refuse or lose. Nothing is written on either side.
class RunPlan
{
    Q_GADGET

public:
    enum class Outcome
    {
        New,          // copied to a free name (in a verify: compared)
        Overwrite,    // replaces the file there
        SkipSame,     // the file there is kept: equal, or never overwritten
        SkipNewer,    // the file there is newer
        SkipFiltered, // left out by the filters, hidden files, links not copied
        Rename,       // copied beside the file there under a new name
        Error         // the run would report an error for it
    };
    Q_ENUM(Outcome)
    static constexpr int OutcomeCount = 7;

    struct Tally
    {
        qint64 files = 0;
        qint64 bytes = 0;
    };
    // One kind of trouble at the destination, by its machine key.
    struct Problem
    {
        QString code;
        qint64 count = 0;
        qint64 bytes = 0;    // no-space: the shortfall; file-too-large: their bytes
        QStringList entries; // destination paths, in walk order
        // The run would fail on it for certain: refused before writing, unless forced.
        bool certain = false;
    };
    // The time a run would take, from fixed costs measured on this machine (bench/RESULTS.md).
    struct Estimate
    {
        qint64 ms = 0;
        double perFileMs = 0;
        qint64 bytesPerSecond = 0;
        QString basis;
    };

    // From bench/RESULTS.md ("Plan estimate"): 1 GiB copied in 1.062 s, and 20,000 small
    // files (82 MB) in 1.667 s once their bytes are paid at that rate.
    static constexpr double PerFileMs = 0.08;
    static constexpr qint64 BytesPerSecond = 1011000000;

    // A file already at the destination that the run would overwrite, skip or rename.
    struct Conflict
    {
        QString destination;
        Outcome outcome = Outcome::SkipSame;
        qint64 size = 0;
        // The file there is older than the source (by the run's comparison of dates).
        bool destinationOlder = false;
    };

    // Walks and decides; false when the walk could not run (no job could be made). A set
    // stop flag (from any thread) ends the walk at its next entry.
    bool build(const Task& task, const RunSettings& settings,
               const std::atomic<bool>* stopFlag = nullptr);
    bool wasStopped() const { return m_stopped; }
    // The plan of a run that follows at once: its walk's list is kept for the run.
    void keepListing() { m_keepListing = true; }
    // The list kept, for the run to file instead of walking again; null when the run must
    // walk itself. A plan writes nothing, so its walk took the destination's file system
    // by its type: the run's probe (made here) must agree, or the list is not the run's.
    std::shared_ptr<const WalkListing> listingForRun() const;

    Tally tally(Outcome outcome) const { return m_tallies[size_t(outcome)]; }
    // A move: the sources it removes (its copies, and those whose equal copy is there).
    Tally removed() const { return m_removed; }
    qint64 folders() const { return m_folders; }
    Estimate estimate() const;

    TargetRules::Family family() const { return m_family; }
    const Platform::VolumeInfo& volume() const { return m_volume; }
    // Bytes the copies would take there, with a block of metadata for each entry.
    qint64 requiredBytes() const { return m_required; }
    QList<Problem> problems() const;
    // In walk order.
    const QList<Conflict>& conflicts() const { return m_conflicts; }
    // Destination paths written under a look-alike name (CopyOptions::m_replaceForbiddenNames).
    const QStringList& renamedForTarget() const { return m_renamed; }
    bool hasCertainFailure() const;

    // The problems of one destination path's name and length on family.
    static QStringList entryProblems(const QString& destination, TargetRules::Family family,
                                     int maxNameBytes);
    // The same, with the path's file name already cut out.
    static QStringList entryProblems(const QString& destination, const QString& name,
                                     TargetRules::Family family, int maxNameBytes);

private:
    void addEntry(Outcome outcome, const QString& source, const QString& destination, qint64 size,
                  bool isFolder, bool removesSource);
    Outcome decideExisting(const QString& source, const QString& destination,
                           const QString& linkTarget, bool* removesSource) const;
    // Records what the destination refuses or loses of the entry; true when the run would
    // fail on it (a name the file system refuses, a link or special file it cannot make). An
    // entry in error already has only its name checked.
    bool checkTarget(const QString& source, const QString& destination, qint64 size, bool isFolder,
                     bool isLink, bool inError = false);
    // Counts a file to write, or an error where the target refuses it.
    void addWrite(Outcome outcome, const QString& source, const QString& destination, qint64 size,
                  bool isLink, bool removesSource);
    void addProblem(const QString& code, const QString& path, qint64 bytes = 0);
    // Whether another file of the run was to be written at destination first (then an
    // automatic rename gives this one a name of its own).
    bool claimedBefore(const QString& destination);
    bool renamedForTwin(const QString& source, const QString& destination) const;
    // order: the walk's order of the two files' dates (BuildFileListJob::destinationOrder).
    void addConflict(Outcome outcome, const QString& source, const QString& destination,
                     qint64 size, int order);

    Task m_task;
    RunSettings m_settings;
    bool m_keepListing = false;
    std::shared_ptr<WalkListing> m_listing;
    Platform::FileSystemTraits m_assumedTraits;
    std::array<Tally, OutcomeCount> m_tallies{};
    Tally m_removed;
    qint64 m_folders = 0;
    qint64 m_required = 0;
    Platform::VolumeInfo m_volume;
    TargetRules::Family m_family = TargetRules::Family::Posix;
    bool m_onlyAscii = false; // TargetRules::takesOnlyAscii of the volume's type
    QHash<QString, Problem> m_problems;
    QStringList m_problemOrder;
    // Case-folded destination paths met, for names a target that ignores case takes as one.
    QSet<QString> m_foldedNames;
    // Destinations of the files to write, where two sources may take one name.
    QSet<QString> m_claimed;
    // The file being counted is renamed for a twin: its name is no case clash.
    bool m_twinRenamed = false;
    // Destination folders the run cannot make, for their entries.
    QSet<QString> m_refusedFolders;
    QStringList m_renamed;
    // A move: the source folders that keep an entry the run does not take, which stay
    // behind as errors.
    QSet<QString> m_keptFolders;
    QList<Conflict> m_conflicts;
    bool m_stopped = false;
};
