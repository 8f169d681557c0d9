#include "queue/runqueue.h"

#include "fs/platformqueue.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

// A run's brindle-cli process: it holds the run's lock open, so that the lock stays taken
// while the process lives, this queue's process gone or not.
class RunProcess : public QProcess
{
public:
    RunProcess(int lockFd, QObject* parent) : QProcess(parent), m_lockFd(lockFd) {}
    ~RunProcess() override { Platform::closeFile(m_lockFd); }

    QByteArray m_pending; // a line not yet complete
    QString m_lastError;
    // A stop was sent: a process that ends by the signal, before it could take it as a
    // stop request, ended stopped all the same.
    bool m_stopSent = false;

protected:
    void setupChildProcess() override { Platform::prepareRunProcess(m_lockFd); }

private:
    int m_lockFd;
};

namespace {

// The brindle-cli options a queued run may carry to its resume, each with its value.
const QStringList RunOptions = {QStringLiteral("--threads"), QStringLiteral("--method"),
                                QStringLiteral("--hash"), QStringLiteral("--manifest")};

bool acceptedOptions(const QStringList& options)
{
    if (options.size() % 2 != 0)
        return false;
    for (int i = 0; i < options.size(); i += 2) {
        if (!RunOptions.contains(options.at(i)) || options.at(i + 1).startsWith(QLatin1Char('-')))
            return false;
    }
    return true;
}

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// Progress goes to the run's file at most this often; the live view has it at once.
const qint64 StoreProgressEveryMs = 2000;

} // namespace

RunQueue::RunQueue(const QString& dataFolder, const QString& program, QObject* parent)
    : QObject(parent), m_store(dataFolder), m_program(program), m_deviceOf(Platform::deviceOf)
{
    // Also retries a run whose process from an earlier runner still ends.
    m_scheduleTimer.setInterval(500);
    connect(&m_scheduleTimer, &QTimer::timeout, this, &RunQueue::schedule);
}

RunQueue::~RunQueue()
{
    // Each run's process ends on its own (it is told when this process goes).
    for (RunProcess* process : qAsConst(m_processes)) {
        process->disconnect(this);
        process->setParent(nullptr);
    }
    Platform::closeFile(m_runnerLock);
}

bool RunQueue::open(bool runs)
{
    if (!m_store.makeFolder())
        return false;
    m_runnerLock = Platform::tryLockFile(m_store.runnerLockPath());
    if (m_runnerLock < 0)
        return false;
    m_runs = runs;
    m_list = m_store.load();
    for (int i = 0; i < m_list.size(); ++i) {
        // The process of a held run would never take the stop its runner's end sent it.
        if (m_list.at(i).m_pid > 0 &&
            Platform::isFileLocked(m_store.runLockPath(m_list.at(i).m_id)))
            Platform::signalRun(m_list.at(i).m_pid, Platform::RunSignal::Continue);
        if (m_list.at(i).m_state == QueuedRun::State::Running) {
            m_list[i].m_state = QueuedRun::State::Queued;
            m_list[i].m_message = tr("Interrupted; resumes from its task file.");
            store(i);
        }
    }
    if (m_runs) {
        m_scheduleTimer.start();
        QTimer::singleShot(0, this, &RunQueue::schedule);
    }
    return true;
}

bool RunQueue::hasPendingRuns() const
{
    for (const QueuedRun& run : m_list) {
        if (run.isPending())
            return true;
    }
    return !m_processes.isEmpty();
}

int RunQueue::indexOf(const QString& id) const
{
    for (int i = 0; i < m_list.size(); ++i) {
        if (m_list.at(i).m_id == id)
            return i;
    }
    return -1;
}

bool RunQueue::store(int index)
{
    m_lastStored.insert(m_list.at(index).m_id, now());
    return m_store.save(m_list.at(index));
}

QJsonObject RunQueue::listReply(const QList<QueuedRun>& runs)
{
    QJsonArray list;
    for (const QueuedRun& run : runs)
        list.append(run.toJson());
    return QJsonObject{{"ok", true}, {"runs", list}};
}

QJsonObject RunQueue::handle(const QJsonObject& request)
{
    const QString name = request.value(QStringLiteral("request")).toString();
    const auto failure = [](const QString& message) {
        return QJsonObject{{"ok", false}, {"error", message}};
    };
    if (name == QLatin1String("list"))
        return listReply(m_list);
    QString message;
    if (name == QLatin1String("add")) {
        QueuedRun run;
        if (!QueuedRun::fromJson(request.value(QStringLiteral("run")).toObject(), &run))
            return failure(tr("The run to add cannot be read."));
        const QString id = add(run, &message);
        return id.isEmpty() ? failure(message) : QJsonObject{{"ok", true}, {"id", id}};
    }
    const int index = indexOf(request.value(QStringLiteral("id")).toString());
    if (index < 0)
        return failure(tr("No queued run has the id \"%1\".")
                           .arg(request.value(QStringLiteral("id")).toString()));
    if (!control(name, index, &message))
        return failure(message);
    emit changed();
    QTimer::singleShot(0, this, &RunQueue::schedule);
    return QJsonObject{{"ok", true}};
}

QString RunQueue::add(QueuedRun run, QString* message)
{
    // The task file must be the queue's own, made for this run before it was added.
    if (indexOf(run.m_id) >= 0 || run.m_taskFile != m_store.taskFilePath(run.m_id) ||
        !QFileInfo(run.m_taskFile).isFile() || !acceptedOptions(run.m_options)) {
        *message = tr("The run to add is not one this queue can take.");
        return QString();
    }
    run.m_order = m_list.isEmpty() ? 1 : m_list.constLast().m_order + 1;
    run.m_state = QueuedRun::State::Queued;
    run.m_bytesDone = run.m_bytesTotal = run.m_started = run.m_ended = 0;
    run.m_exitCode = -1;
    run.m_message.clear();
    m_list.append(run);
    if (!store(m_list.size() - 1)) {
        m_list.removeLast();
        *message = tr("Unable to write the queue's file in '%1'.").arg(m_store.folder());
        return QString();
    }
    emit changed();
    QTimer::singleShot(0, this, &RunQueue::schedule);
    return run.m_id;
}

bool RunQueue::control(const QString& request, int index, QString* message)
{
    QueuedRun& run = m_list[index];
    RunProcess* process = m_processes.value(run.m_id);
    using State = QueuedRun::State;
    if (request == QLatin1String("pause")) {
        if (run.m_state == State::Running && process)
            Platform::signalRun(process->processId(), Platform::RunSignal::Pause);
        else if (run.m_state != State::Queued) {
            *message = tr("Only a queued or running run can be paused.");
            return false;
        }
        run.m_state = State::Paused;
    } else if (request == QLatin1String("continue")) {
        if (run.m_state == State::Paused && process) {
            Platform::signalRun(process->processId(), Platform::RunSignal::Continue);
            run.m_state = State::Running;
        } else if (!run.isPending() || run.m_state == State::Paused) {
            // A stopped or failed run goes on from its task file.
            run.m_state = State::Queued;
            run.m_message.clear();
        } else {
            *message = tr("The run is not paused.");
            return false;
        }
    } else if (request == QLatin1String("stop")) {
        if (process) {
            process->m_stopSent = true;
            Platform::signalRun(process->processId(), Platform::RunSignal::Stop);
        } else if (run.isPending()) {
            run.m_state = State::Stopped;
        } else {
            *message = tr("The run has ended already.");
            return false;
        }
    } else if (request == QLatin1String("remove")) {
        if (process) {
            m_removeWhenEnded.insert(run.m_id);
            Platform::signalRun(process->processId(), Platform::RunSignal::Stop);
            return true;
        }
        m_store.remove(run.m_id);
        m_list.removeAt(index);
        return true;
    } else if (request == QLatin1String("up") || request == QLatin1String("down")) {
        const int other = request == QLatin1String("up") ? index - 1 : index + 1;
        if (other < 0 || other >= m_list.size())
            return true;
        std::swap(m_list[index].m_order, m_list[other].m_order);
        m_list.swapItemsAt(index, other);
        return store(index) && store(other);
    } else {
        *message = tr("Unknown request \"%1\".").arg(request);
        return false;
    }
    return store(index);
}

QSet<QString> RunQueue::devicesOf(const QueuedRun& run)
{
    // Asked once per run: a hung mount would hold the runner at every turn.
    const auto known = m_devices.constFind(run.m_id);
    if (known != m_devices.cend())
        return known.value();
    QSet<QString> devices;
    for (const QString& path : {run.m_source, run.m_destination}) {
        const QString device = m_deviceOf(path);
        // A path that cannot be reached yet shares nothing; its run will say why it fails.
        if (!device.isEmpty())
            devices.insert(device);
    }
    m_devices.insert(run.m_id, devices);
    return devices;
}

QList<int> RunQueue::runsToStart(const QList<QueuedRun>& runs, const QList<QSet<QString>>& devices)
{
    QSet<QString> used;
    for (int i = 0; i < runs.size(); ++i) {
        if (runs.at(i).m_state == QueuedRun::State::Running ||
            runs.at(i).m_state == QueuedRun::State::Paused)
            used.unite(devices.at(i));
    }
    QList<int> starts;
    for (int i = 0; i < runs.size(); ++i) {
        if (runs.at(i).m_state != QueuedRun::State::Queued)
            continue;
        if (!used.intersects(devices.at(i)))
            starts.append(i);
        // Started or waiting, its devices are taken for every run after it.
        used.unite(devices.at(i));
    }
    return starts;
}

void RunQueue::schedule()
{
    if (!m_runs || m_shuttingDown)
        return;
    // A paused run without a process (held while queued, or across a restart) holds
    // nothing.
    QList<QueuedRun> view = m_list;
    QList<QSet<QString>> devices;
    for (QueuedRun& run : view) {
        if (run.m_state == QueuedRun::State::Paused && !m_processes.contains(run.m_id))
            run.m_state = QueuedRun::State::Stopped;
        devices.append(run.isPending() ? devicesOf(run) : QSet<QString>());
    }
    const QList<int> starts = runsToStart(view, devices);
    for (const int index : starts)
        start(index);
    if (!hasPendingRuns())
        emit drained();
}

void RunQueue::start(int index)
{
    QueuedRun& run = m_list[index];
    // The process of an earlier runner may still be saving this run's place.
    const int lock = Platform::tryLockFile(m_store.runLockPath(run.m_id));
    if (lock < 0)
        return;
    auto* process = new RunProcess(lock, this);
    const QString id = run.m_id;
    connect(process, &QProcess::readyReadStandardOutput, this, [this, id] { onOutput(id); });
    connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this, id](int code, QProcess::ExitStatus status) {
                onFinished(id, code, status != QProcess::NormalExit);
            });
    connect(process, &QProcess::errorOccurred, this, [this, id](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            onFinished(id, -1, true);
    });
    QStringList arguments{QStringLiteral("resume"), run.m_taskFile, QStringLiteral("--json"),
                          QStringLiteral("--progress-json")};
    arguments += run.m_options;
    m_processes.insert(id, process);
    run.m_state = QueuedRun::State::Running;
    run.m_started = now();
    run.m_ended = 0;
    run.m_message.clear();
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->start(m_program, arguments, QIODevice::ReadOnly);
    run.m_pid = process->processId();
    store(index);
    emit runStarted(run);
    emit changed();
}

void RunQueue::onOutput(const QString& id)
{
    RunProcess* process = m_processes.value(id);
    const int index = indexOf(id);
    if (!process || index < 0)
        return;
    process->m_pending += process->readAllStandardOutput();
    // The report's lines are not kept: a few values are taken from each.
    bool progressed = false;
    int end;
    while ((end = process->m_pending.indexOf('\n')) >= 0) {
        const QJsonObject line = QJsonDocument::fromJson(process->m_pending.left(end)).object();
        process->m_pending.remove(0, end + 1);
        const QJsonObject progress = line.value(QStringLiteral("progress")).toObject();
        if (!progress.isEmpty()) {
            m_list[index].m_bytesDone = qint64(progress.value(QStringLiteral("done")).toDouble());
            m_list[index].m_bytesTotal = qint64(progress.value(QStringLiteral("total")).toDouble());
            progressed = true;
        } else if (line.value(QStringLiteral("error")).isObject()) {
            // A refusal: the task file, the destination's file system, the external program.
            process->m_lastError = line.value(QStringLiteral("error"))
                                       .toObject()
                                       .value(QStringLiteral("text"))
                                       .toString();
        } else if (line.contains(QStringLiteral("outcome"))) {
            m_list[index].m_message = line.value(QStringLiteral("outcome")).toString();
        }
    }
    // A line longer than any the run writes is nothing to wait for.
    if (process->m_pending.size() > (1 << 20))
        process->m_pending.clear();
    if (progressed) {
        if (now() - m_lastStored.value(id) >= StoreProgressEveryMs)
            store(index);
        emit changed();
    }
}

void RunQueue::onFinished(const QString& id, int exitCode, bool crashed)
{
    RunProcess* process = m_processes.take(id);
    if (!process)
        return;
    process->deleteLater();
    const int index = indexOf(id);
    if (index < 0)
        return;
    QueuedRun& run = m_list[index];
    using State = QueuedRun::State;
    run.m_exitCode = crashed ? -1 : exitCode;
    run.m_pid = 0;
    run.m_ended = now();
    if (m_shuttingDown && (crashed || exitCode == 3)) {
        // Not the user's stop: the next runner goes on with it.
        run.m_state = run.m_state == State::Paused ? State::Paused : State::Queued;
    } else if (crashed && process->m_stopSent) {
        run.m_state = State::Stopped;
    } else if (crashed) {
        run.m_state = State::Failed;
        run.m_message = tr("The run's process ended unexpectedly.");
    } else if (exitCode == 0 || exitCode == 4) {
        run.m_state = State::Done;
        if (run.m_bytesTotal > 0)
            run.m_bytesDone = run.m_bytesTotal;
    } else if (exitCode == 3) {
        run.m_state = State::Stopped;
    } else {
        run.m_state = State::Failed;
        if (!process->m_lastError.isEmpty())
            run.m_message = process->m_lastError;
    }
    if (m_removeWhenEnded.remove(id)) {
        m_store.remove(id);
        m_list.removeAt(index);
    } else {
        store(index);
        emit runEnded(run);
    }
    emit changed();
    if (m_shuttingDown) {
        if (m_processes.isEmpty())
            emit shutDownFinished();
        return;
    }
    QTimer::singleShot(0, this, &RunQueue::schedule);
}

void RunQueue::shutDown()
{
    m_shuttingDown = true;
    m_scheduleTimer.stop();
    if (m_processes.isEmpty()) {
        QTimer::singleShot(0, this, &RunQueue::shutDownFinished);
        return;
    }
    for (RunProcess* process : qAsConst(m_processes))
        Platform::signalRun(process->processId(), Platform::RunSignal::Stop);
}
