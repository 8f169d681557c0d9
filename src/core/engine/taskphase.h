#pragma once

#include <QString>

// The phase of a copy task's run, and the changes of phase a run may make. A run goes from
// Listing (a start) or Copying (a resume) to Completed or Stopped in this order, leaving out
// the phases it has no work for; a refused one goes through Refused alone. A stop request
// is not a phase: it can come in any phase of a run, which then goes on through the phases
// left (jobs finish, what was written is flushed), only filing what the jobs hand back
// differently and ending Stopped.
class TaskPhase
{
public:
    enum class Phase
    {
        // No run has started yet.
        Idle,
        // The list is not whole: the source is walked and what it finds is copied meanwhile.
        // A walk that was stopped leaves the run here while its last jobs finish.
        Listing,
        // The list is whole: its items are copied and, in a verify run, checked.
        Copying,
        // A run that CopyTask::pathsRefusal forbids: it ends with its one error, having read
        // and written nothing; the folders of a refused resume stay as they were.
        Refused,
        // The folders get their times and attributes; a move removes its emptied sources.
        SyncingFolders,
        // What the run wrote is flushed to the destination's device.
        Flushing,
        // The ends of a run. Stopped also stands for a loaded task file and for a start
        // without job threads.
        Completed,
        Stopped
    };

    // What a change of phase is checked against.
    struct Run
    {
        bool fileListCompleted = false;
        bool stopRequested = false;
        // Every item is filed in the completed list and no job is out.
        bool settled = false;
    };

    Phase phase() const { return m_phase; }
    bool is(Phase phase) const { return m_phase == phase; }
    // True while no run is in progress.
    bool isEnded() const { return isEnd(m_phase); }
    // Every change of phase goes through here; run (source to destination) names it in the
    // log. A change no run makes is a fault of the caller (asserted).
    void set(Phase phase, const Run& facts, const QString& source, const QString& destination);
    // Whether a run may go from one phase to the other.
    static bool allowed(Phase from, Phase to, const Run& facts);
    static const char* name(Phase phase);

private:
    static bool isEnd(Phase phase)
    {
        return phase == Phase::Idle || phase == Phase::Completed || phase == Phase::Stopped;
    }

    Phase m_phase = Phase::Idle;
};
