#include "engine/runcontroller.h"

#include "app/appsettings.h"
#include "engine/runhost.h"
#include "engine/storageprobe.h"
#include "engine/taskfile.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <array>
#include <future>

namespace {

// What a blocking call left behind, for a caller on the controller's own thread, whose
// mirror cannot wait for the queued reports.
template <typename Result> struct Answer
{
    Result result;
    RunSnapshot state;
    std::shared_ptr<const RunItemLists> lists;
};

} // namespace

RunController::RunController(QObject* parent) : QObject(parent), mp_thread(new QThread(this))
{
    mp_thread->setObjectName(QStringLiteral("Run"));
    qRegisterMetaType<CopyItem>();
    qRegisterMetaType<QList<CopyItem>>();
    std::promise<RunHost*> made;
    // The host, and the copy task with its timers, are made and deleted on the run's thread,
    // which alone reads this pointer to it.
    auto host = std::make_shared<RunHost*>(nullptr);
    connect(
        mp_thread, &QThread::started, mp_thread,
        [this, &made, host] {
            *host = new RunHost([this] {
                QMetaObject::invokeMethod(this, "deliverReports", Qt::QueuedConnection);
            });
            made.set_value(*host);
        },
        Qt::DirectConnection);
    connect(
        mp_thread, &QThread::finished, mp_thread, [host] { delete *host; }, Qt::DirectConnection);
    std::future<RunHost*> answer = made.get_future();
    mp_thread->start();
    mp_host = answer.get();
}

RunController::~RunController()
{
    mp_thread->quit();
    mp_thread->wait();
}

quint64 RunController::give(std::function<void(RunHost&)> command)
{
    const quint64 serial = ++m_commandsGiven;
    mp_host->enqueue([serial, command](RunHost& host) {
        host.beginCommand(serial);
        command(host);
    });
    return serial;
}

void RunController::run(const Request& given, bool resume)
{
    Request request = given;
    // Read here, on the thread that owns the preferences.
    if (!request.runSettings)
        request.runSettings = AppSettings::instance()->runSettings();
    const quint64 serial = give([request, resume](RunHost& host) {
        CopyTask& task = host.task();
        task.setRunSettings(*request.runSettings);
        task.setExternalProgram(request.externalProgram);
        task.setSkipBuildListForExternalProgram(request.skipBuildListForExternalProgram);
        task.setManifestPath(request.manifestPath);
        task.setTask(request.task);
        task.setPlannedListing(resume ? nullptr : request.plannedListing);
        if (resume)
            task.resumeTask();
        else
            task.startTask();
    });
    // The run shows at once; the states the run's thread took before it are stale.
    m_stateCommand = serial;
    m_state.task = request.task;
    m_state.externalProgram = request.externalProgram;
    m_state.skipBuildListForExternalProgram = request.skipBuildListForExternalProgram;
    m_state.manifestPath = request.manifestPath;
    m_state.runSettings = *request.runSettings;
    m_state.counters = {};
    m_state.taskCompleted = false;
    m_state.stopRequested = false;
    m_state.paused = false;
    // A verify counts a file whose check passed as verified, not skipped.
    const bool verify = request.task.m_options.m_copyMode == CopyOptions::Verify;
    if (!resume) {
        m_state.fileListCompleted = false;
        RunItemLists none;
        none.verify = verify;
        replaceLists(none);
    }
    m_live.setVerify(verify);
}

void RunController::start(const Request& request)
{
    run(request, false);
}

void RunController::resume(const Request& request)
{
    run(request, true);
}

void RunController::stop()
{
    give([](RunHost& host) { host.task().stopTask(); });
}

void RunController::pause()
{
    give([](RunHost& host) { host.task().pauseTask(); });
}

void RunController::continueRun()
{
    give([](RunHost& host) { host.task().continueTask(); });
}

void RunController::setTask(const Task& task)
{
    m_stateCommand = give([task](RunHost& host) { host.task().setTask(task); });
    m_state.task = task;
    m_state.counters = {};
}

void RunController::setStorageProbe(std::unique_ptr<StorageProbe> probe)
{
    auto holder = std::make_shared<std::unique_ptr<StorageProbe>>(std::move(probe));
    give([holder](RunHost& host) { host.task().setStorageProbe(std::move(*holder)); });
}

void RunController::setGroupedCopies(bool enabled)
{
    give([enabled](RunHost& host) { host.task().setGroupedCopies(enabled); });
}

template <typename Result>
Result RunController::call(std::function<Result(CopyTask&)> command, bool changesState)
{
    auto promise = std::make_shared<std::promise<Answer<Result>>>();
    std::future<Answer<Result>> future = promise->get_future();
    const auto work = [command, changesState, promise](RunHost& host) {
        Answer<Result> answer{command(host.task()), {}, {}};
        if (changesState) {
            host.publishState(true);
            answer.state = host.state();
            answer.lists = std::make_shared<const RunItemLists>(RunItemLists::of(host.task()));
        }
        promise->set_value(std::move(answer));
    };
    if (QThread::currentThread() == mp_thread)
        work(*mp_host);
    else
        give(work);
    Answer<Result> answer = future.get();
    // The queued reports bring the same state to a controller on another thread.
    if (changesState && QThread::currentThread() == thread()) {
        applyState(answer.state);
        replaceLists(*answer.lists);
    }
    return answer.result;
}

bool RunController::saveToFile(const QString& path, bool errorsOnly, bool allItems,
                               bool errorsAsUnprocessed)
{
    return call<bool>(
        [=](CopyTask& task) {
            return task.saveToFile(path, errorsOnly, allItems, errorsAsUnprocessed);
        },
        false);
}

bool RunController::load(const TaskFile::Result& file)
{
    return call<bool>([file](CopyTask& task) { return task.load(file); }, true);
}

bool RunController::loadFromFile(const QString& path)
{
    return call<bool>([path](CopyTask& task) { return task.loadFromFile(path); }, true);
}

QString RunController::destinationRefusal()
{
    return call<QString>([](CopyTask& task) { return task.destinationRefusal(); }, false);
}

void RunController::applyState(const RunSnapshot& state)
{
    if (state.commandsHandled >= m_stateCommand)
        m_state = state;
}

void RunController::replaceLists(const RunItemLists& lists)
{
    // The last reference to a list of 100,000 items is freed on the run's thread: freeing
    // them here would hold up the window for tens of milliseconds.
    auto old = std::make_shared<std::array<QList<CopyItem>, 4>>(std::array<QList<CopyItem>, 4>{
        m_ledger.completed(), m_live.completed(), m_ledger.folders(), m_ledger.copyQueue()});
    lists.fill(m_ledger);
    m_live.completed().clear();
    m_live.setVerify(lists.verify);
    mp_host->enqueue([old](RunHost&) {});
}

void RunController::deliverReports()
{
    using Kind = RunHost::Report::Kind;
    auto reports = std::make_shared<std::vector<RunHost::Report>>(mp_host->takeReports());
    bool large = false;
    for (const RunHost::Report& report : *reports) {
        large = large || report.lists || report.items.size() > 1000;
        const bool current = !report.state || report.state->commandsHandled >= m_stateCommand;
        if (report.state && current)
            m_state = *report.state;
        if (report.lists && current)
            replaceLists(*report.lists);
        switch (report.kind) {
        case Kind::Copied:
        case Kind::Errors:
            for (const CopyItem& item : report.items) {
                if (current)
                    m_live.completed().append(item);
                if (report.kind == Kind::Copied)
                    emit copyCompleted(item);
                else
                    emit errorOccurred(item);
            }
            break;
        case Kind::JobProgress:
            emit jobProgress(report.text, report.first, report.second);
            break;
        case Kind::TaskCompleted:
            emit taskCompleted();
            break;
        case Kind::Log:
            emit logAvailable(report.text);
            break;
        case Kind::CopyList:
            emit copyListCompleted(report.items);
            break;
        case Kind::StorageFull:
            emit storageIsFull(report.first, report.second);
            break;
        case Kind::FlushProgress:
            emit flushProgress(report.first, report.second);
            break;
        case Kind::Paused:
            emit pausedChanged(report.first != 0);
            break;
        case Kind::State:
            break;
        }
    }
    // A whole list's last reference may be the report's: freed on the run's thread too.
    if (large)
        mp_host->enqueue([reports](RunHost&) {});
    if (!reports->empty())
        emit reportsTaken();
}

qint64 RunController::counter(int index) const
{
    if (index < FilesCompleted || index > FilesChanged)
        return 0;
    return m_state.counters[index];
}

qint64 RunController::elapsedMs() const
{
    return CopyTask::elapsedMsBetween(m_state.startTime, m_state.endTime,
                                      QDateTime::currentDateTime());
}

qint64 RunController::averageSpeed() const
{
    return CopyTask::averageSpeedFor(m_state.counters[BytesCompleted], elapsedMs(),
                                     AppSettings::instance()->maxTransferSpeed());
}

qint64 RunController::remainingTime() const
{
    return CopyTask::remainingTimeFor(m_state.counters, m_state.task.m_options.m_copyMode,
                                      m_state.fileListCompleted, m_state.taskCompleted,
                                      averageSpeed());
}

QString RunController::errorsFileName() const
{
    return CopyTask::errorsFileNameFor(m_state.task);
}

bool RunController::waitForRunToEnd(int timeoutMs)
{
    if (isTaskCompleted())
        return true;
    QEventLoop loop;
    QTimer silence;
    silence.setSingleShot(true);
    connect(this, &RunController::taskCompleted, &loop, &QEventLoop::quit);
    connect(&silence, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (timeoutMs >= 0) {
        connect(this, &RunController::reportsTaken, &silence, [&silence] { silence.start(); });
        silence.start(timeoutMs);
    }
    if (!isTaskCompleted())
        loop.exec();
    return isTaskCompleted();
}
