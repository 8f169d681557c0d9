#pragma once

#include "engine/commitfilesjob.h"
#include "model/copyitem.h"
#include "model/copyoptions.h"

#include <QList>

class DestinationFileSystem;
struct RunSettings;

// The grouped placing of a run's small copies: copies below DeferBelowSize are left under
// temporary names by their jobs and wait here, then are flushed to the device and given
// their final names together by one CommitFilesJob, once the group is large enough or
// nothing else is queued. One group is placed at a time.
class GroupedPlacing
{
public:
    // Copies below this size are flushed and placed in groups; larger ones are flushed one
    // by one, as their own data dominates the cost of the flush.
    static constexpr qint64 DeferBelowSize = 8 * 1024 * 1024;
    // A group is placed once it has this many files or bytes, or when nothing else is queued.
    static constexpr int GroupFiles = 2000;
    static constexpr qint64 GroupBytes = 128 * 1024 * 1024;
    // Files below this size are handed to a job several at a time, up to this many: for
    // them the hand-over between threads costs about as much as the copy itself.
    static constexpr qint64 SharedJobMaxSize = 1024 * 1024;
    static constexpr int SharedJobItems = 16;

    // Whether the item may share a copy job with the items queued after it.
    static bool sharesJobs(const CopyItem& item);
    // Whether small copies of a run may be placed in groups: grouping is enabled and the
    // destination's file system is open. Collate and auto-rename can give two items one
    // destination name within a run; the second must see the first in place.
    static bool canDefer(bool enabled, const CopyOptions& options,
                         const DestinationFileSystem& destination);

    void clear();
    bool isEmpty() const { return m_waiting.isEmpty(); }
    // A group is being placed by its job.
    bool isPlacing() const { return m_placing; }
    // A finished copy (pendingPath empty: an item decided meanwhile, reported with the
    // group so that items are reported in the order of the queue).
    void add(const CommitFilesJob::PendingCopy& copy);
    // The job that places the waiting copies, when none is being placed and the group is
    // large enough (or force); null otherwise.
    CommitFilesJob* takeGroup(bool force, const DestinationFileSystem& destination, bool move,
                              const QString& root, const RunSettings& settings);
    // The group's job has ended.
    void placed() { m_placing = false; }

private:
    QList<CommitFilesJob::PendingCopy> m_waiting;
    qint64 m_waitingBytes = 0;
    bool m_placing = false;
};
