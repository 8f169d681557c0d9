#include "engine/taskphase.h"

#include <QDebug>

bool TaskPhase::allowed(Phase from, Phase phase, const Run& facts)
{
    const bool ended = isEnd(from);
    switch (phase) {
    case Phase::Idle:
        return false;
    case Phase::Listing:
    case Phase::Refused:
        return ended;
    case Phase::Copying:
        // The walk has ended whole, or a resume goes on with the whole list of a run.
        return (from == Phase::Listing || from == Phase::Completed || from == Phase::Stopped) &&
               facts.fileListCompleted;
    case Phase::SyncingFolders:
        return from == Phase::Copying && !facts.stopRequested;
    case Phase::Flushing:
        return from == Phase::Listing || from == Phase::Copying || from == Phase::SyncingFolders;
    case Phase::Completed:
        return !ended && from != Phase::Listing && facts.fileListCompleted && !facts.stopRequested;
    case Phase::Stopped:
        // Besides the end of a stopped run: a start without job threads, a loaded task file.
        return facts.stopRequested;
    }
    return false;
}

void TaskPhase::set(Phase phase, const Run& facts, const QString& source,
                    const QString& destination)
{
    const Phase from = m_phase;
    Q_ASSERT_X(allowed(from, phase, facts), "CopyTask::setPhase",
               "change of phase that no run makes");
    // A run ends with every item filed in one place, the completed list, and no job out.
    Q_ASSERT_X((phase != Phase::Completed && phase != Phase::Stopped) || facts.settled,
               "CopyTask::setPhase", "a run ends with items queued or jobs out");
    qDebug() << "Copy from" << qUtf8Printable(source) << "to" << qUtf8Printable(destination)
             << "goes from phase" << name(from) << "to" << name(phase);
    m_phase = phase;
}

const char* TaskPhase::name(Phase phase)
{
    switch (phase) {
    case Phase::Idle:
        return "Idle";
    case Phase::Listing:
        return "Listing";
    case Phase::Copying:
        return "Copying";
    case Phase::Refused:
        return "Refused";
    case Phase::SyncingFolders:
        return "SyncingFolders";
    case Phase::Flushing:
        return "Flushing";
    case Phase::Completed:
        return "Completed";
    case Phase::Stopped:
        return "Stopped";
    }
    return "?";
}
