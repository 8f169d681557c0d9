#include "engine/runhost.h"

#include "base/mutexlocker.h"

namespace {

constexpr int GatherMs = 100;
constexpr int GatherCount = 512;

} // namespace

RunItemLists RunItemLists::of(const CopyTask& task)
{
    const TaskLedger& ledger = task.ledger();
    return {ledger.completed(), ledger.folders(), ledger.copyQueue(), ledger.runError(),
            ledger.isVerify()};
}

void RunItemLists::fill(TaskLedger& ledger) const
{
    ledger.setVerify(verify);
    ledger.completed() = completed;
    ledger.folders() = folders;
    ledger.copyQueue() = queued;
    ledger.runError() = runError;
}

RunHost::RunHost(std::function<void()> wake) : mp_task(new CopyTask), m_wake(std::move(wake))
{
    setObjectName(QStringLiteral("RunHost"));
    m_gatherTimer.setSingleShot(true);
    m_gatherTimer.setInterval(GatherMs);
    connect(&m_gatherTimer, &QTimer::timeout, this, &RunHost::sendGathered);
    CopyTask* task = mp_task.get();
    using Kind = Report::Kind;
    connect(task, &CopyTask::copyCompleted, this,
            [this](const CopyItem& item) { gather(Kind::Copied, item); });
    connect(task, &CopyTask::errorOccurred, this,
            [this](const CopyItem& item) { gather(Kind::Errors, item); });
    connect(task, &CopyTask::jobProgress, this,
            [this](const QString& name, qint64 done, qint64 total) {
                push({Kind::JobProgress, {}, name, done, total, {}, {}}, false, false);
            });
    connect(task, &CopyTask::taskCompleted, this, [this] {
        push({Kind::TaskCompleted, {}, {}, 0, 0, {}, {}}, true, true);
    });
    connect(task, &CopyTask::logAvailable, this, [this](const QString& text) {
        push({Kind::Log, {}, text, 0, 0, {}, {}}, true, false);
    });
    connect(task, &CopyTask::copyListCompleted, this, [this](const QList<CopyItem>& items) {
        push({Kind::CopyList, items, {}, 0, 0, {}, {}}, true, true);
    });
    connect(task, &CopyTask::storageIsFull, this, [this](qint64 available, qint64 required) {
        push({Kind::StorageFull, {}, {}, available, required, {}, {}}, true, false);
    });
    connect(task, &CopyTask::pausedChanged, this, [this](bool paused) {
        push({Kind::Paused, {}, {}, paused ? 1 : 0, 0, {}, {}}, true, false);
    });
    connect(task, &CopyTask::flushProgress, this, [this](qint64 written, qint64 total) {
        push({Kind::FlushProgress, {}, {}, written, total, {}, {}}, false, false);
    });
}

RunHost::~RunHost()
{
    // What the controller's thread gave last goes under the locks it was given under.
    MutexLocker inbox(&m_inboxMutex);
    m_inbox.clear();
    MutexLocker outbox(&m_mutex);
    m_outbox.clear();
}

RunSnapshot RunHost::state() const
{
    const CopyTask& task = *mp_task;
    RunSnapshot state;
    state.commandsHandled = m_commandsHandled;
    state.task = task.task();
    state.externalProgram = task.externalProgram();
    state.skipBuildListForExternalProgram = task.skipBuildListForExternalProgram();
    state.runSettings = task.runSettings();
    state.counters = task.counters();
    state.taskCompleted = task.isTaskCompleted();
    state.fileListCompleted = task.isFileListCompleted();
    state.stopRequested = task.isStopRequested();
    state.paused = task.isPaused();
    state.startTime = task.startTime();
    state.endTime = task.endTime();
    state.manifestPath = task.manifestPath();
    state.manifestFailure = task.manifestFailure();
    return state;
}

void RunHost::publishState(bool lists)
{
    push({Report::Kind::State, {}, {}, 0, 0, {}, {}}, true, lists);
}

void RunHost::gather(Report::Kind kind, const CopyItem& item)
{
    if (!m_gathered.items.isEmpty() && m_gathered.kind != kind)
        sendGathered();
    m_gathered.kind = kind;
    m_gathered.items.append(item);
    if (m_gathered.items.size() >= GatherCount)
        sendGathered();
    else if (!m_gatherTimer.isActive())
        m_gatherTimer.start();
}

void RunHost::sendGathered()
{
    m_gatherTimer.stop();
    if (m_gathered.items.isEmpty())
        return;
    Report report;
    report.kind = m_gathered.kind;
    report.items.swap(m_gathered.items);
    push(std::move(report), true, false);
}

void RunHost::push(Report report, bool withState, bool withLists)
{
    if (report.kind != Report::Kind::Copied && report.kind != Report::Kind::Errors)
        sendGathered();
    if (withState)
        report.state = std::make_shared<const RunSnapshot>(state());
    if (withLists)
        report.lists = std::make_shared<const RunItemLists>(RunItemLists::of(*mp_task));
    bool wasEmpty;
    {
        MutexLocker locker(&m_mutex);
        wasEmpty = m_outbox.empty();
        // The progress of a file replaces its own last report, still untaken.
        if (report.kind == Report::Kind::JobProgress && !wasEmpty &&
            m_outbox.back().kind == Report::Kind::JobProgress &&
            m_outbox.back().text == report.text)
            m_outbox.back() = std::move(report);
        else
            m_outbox.push_back(std::move(report));
    }
    if (wasEmpty)
        m_wake();
}

std::vector<RunHost::Report> RunHost::takeReports()
{
    MutexLocker locker(&m_mutex);
    std::vector<Report> reports;
    reports.swap(m_outbox);
    return reports;
}

void RunHost::enqueue(std::function<void(RunHost&)> command)
{
    bool wasEmpty;
    {
        MutexLocker locker(&m_inboxMutex);
        wasEmpty = m_inbox.empty();
        m_inbox.push_back(std::move(command));
    }
    // Posted by name, with nothing attached: what a command carries passes through the
    // inbox's mutex.
    if (wasEmpty)
        QMetaObject::invokeMethod(this, "runCommands", Qt::QueuedConnection);
}

void RunHost::runCommands()
{
    std::vector<std::function<void(RunHost&)>> commands;
    {
        MutexLocker locker(&m_inboxMutex);
        commands.swap(m_inbox);
    }
    for (const auto& command : commands)
        command(*this);
}
