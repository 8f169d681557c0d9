#include "cliqueue.h"

#include "app/appsettings.h"
#include "cliplan.h"
#include "clireport.h"
#include "clirunner.h"
#include "engine/runplan.h"
#include "engine/taskfilestore.h"
#include "queue/queuechannel.h"
#include "queue/runqueue.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_stopPipe[2] = {-1, -1};

extern "C" void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_stopPipe[1], &byte, 1);
}

QString percentText(const QJsonObject& run)
{
    const double total = run.value(QStringLiteral("bytesTotal")).toDouble();
    if (run.value(QStringLiteral("state")).toString() == QLatin1String("done"))
        return QStringLiteral("100%");
    if (total <= 0)
        return QStringLiteral("-");
    return QStringLiteral("%1%").arg(
        int(run.value(QStringLiteral("bytesDone")).toDouble() * 100.0 / total));
}

} // namespace

CliQueue::CliQueue(const CliArguments& arguments, QObject* parent)
    : QObject(parent), m_arguments(arguments)
{
    m_dataFolder = AppSettings::instance()->dataFolder();
    m_socketName = QueueChannel::socketName(m_dataFolder);
}

CliQueue::~CliQueue()
{
    if (g_stopPipe[0] >= 0) {
        for (const int signal : {SIGINT, SIGTERM, SIGHUP})
            ::signal(signal, SIG_DFL);
        ::close(g_stopPipe[0]);
        ::close(g_stopPipe[1]);
        g_stopPipe[0] = g_stopPipe[1] = -1;
    }
}

void CliQueue::print(const QString& line, bool error)
{
    if (m_arguments.quiet && !error)
        return;
    std::fputs((CliReport::safeText(line) + QLatin1Char('\n')).toLocal8Bit().constData(),
               error ? stderr : stdout);
    std::fflush(error ? stderr : stdout);
}

int CliQueue::run()
{
    if (m_dataFolder.isEmpty()) {
        print(tr("brindle-cli: there is no data folder to keep the queue in."), true);
        return CliRunner::UsageOrPathError;
    }
    if (m_arguments.queue)
        return add();
    if (m_arguments.queueAction == QLatin1String("run")) {
        RunQueue queue(m_dataFolder, QCoreApplication::applicationFilePath());
        QJsonObject reply;
        if (!becomeRunner(&queue, QJsonObject{{"request", "list"}}, &reply)) {
            print(tr("The queue is run by another process already."));
            return CliRunner::Completed;
        }
        return serve(&queue);
    }
    return action();
}

bool CliQueue::becomeRunner(RunQueue* queue, const QJsonObject& request, QJsonObject* reply)
{
    // The lock may be held a moment by a process that only edits the stored queue: asked
    // again until a runner answers or the lock is this process's.
    const QDeadlineTimer deadline(10000);
    do {
        if (queue->open(true)) {
            *reply = queue->handle(request);
            return true;
        }
        if (QueueChannel::request(m_socketName, request, reply, 2000))
            return false;
        QThread::msleep(50);
    } while (!deadline.hasExpired());
    *reply = QJsonObject{{"ok", false}, {"error", tr("The queue does not answer.")}};
    return false;
}

bool CliQueue::send(const QJsonObject& request, QJsonObject* reply)
{
    // A runner that is starting has its lock before its socket: asked again for a while.
    const QDeadlineTimer deadline(5000);
    do {
        if (QueueChannel::request(m_socketName, request, reply, 2000))
            return true;
        RunQueue stored(m_dataFolder, QString());
        if (stored.open(false)) {
            *reply = stored.handle(request);
            m_stored = true;
            return true;
        }
        QThread::msleep(100);
    } while (!deadline.hasExpired());
    return false;
}

int CliQueue::report(const QJsonObject& reply)
{
    if (m_arguments.json) {
        std::fputs((QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n').constData(),
                   stdout);
        std::fflush(stdout);
    }
    if (!reply.value(QStringLiteral("ok")).toBool()) {
        print(
            QStringLiteral("brindle-cli: %1").arg(reply.value(QStringLiteral("error")).toString()),
            true);
        return CliRunner::UsageOrPathError;
    }
    return CliRunner::Completed;
}

int CliQueue::action()
{
    QJsonObject reply;
    if (!send(QJsonObject{{"request", m_arguments.queueAction}, {"id", m_arguments.queueId}},
              &reply)) {
        print(tr("brindle-cli: the queue does not answer."), true);
        return CliRunner::UsageOrPathError;
    }
    const int code = report(reply);
    if (code == CliRunner::Completed && !m_arguments.json &&
        m_arguments.queueAction == QLatin1String("list")) {
        for (const QString& line : listLines(reply))
            print(line);
    }
    if (code == CliRunner::Completed && m_stored &&
        m_arguments.queueAction == QLatin1String("continue"))
        print(tr("No process runs the queue: brindle-cli queue run runs it."));
    return code;
}

QStringList CliQueue::listLines(const QJsonObject& reply)
{
    QStringList lines;
    for (const QJsonValue& value : reply.value(QStringLiteral("runs")).toArray()) {
        const QJsonObject run = value.toObject();
        QString line = QStringLiteral("%1  %2  %3  %4 %5 -> %6")
                           .arg(run.value(QStringLiteral("id")).toString(),
                                run.value(QStringLiteral("state")).toString(), percentText(run),
                                run.value(QStringLiteral("mode")).toString(),
                                run.value(QStringLiteral("source")).toString(),
                                run.value(QStringLiteral("destination")).toString());
        const QString message = run.value(QStringLiteral("message")).toString();
        if (!message.isEmpty())
            line += QStringLiteral("  (%1)").arg(message);
        lines.append(line);
    }
    if (lines.isEmpty())
        lines.append(tr("The queue is empty."));
    return lines;
}

int CliQueue::add()
{
    Task task = m_arguments.task();
    const bool verify = task.m_options.m_copyMode == CopyOptions::Verify;
    QString message;
    const auto refuse = [this](const QString& text) {
        print(QStringLiteral("brindle-cli: %1").arg(text), true);
        if (m_arguments.json)
            report(QJsonObject{{"ok", false}, {"error", text}});
        return CliRunner::UsageOrPathError;
    };
    if (!CliRunner::preparePaths(&task.m_sourcePath, &task.m_destinationPath, verify,
                                 m_arguments.makeParents, &message, false))
        return refuse(message);
    // The check a run makes first, made now: a refused run is never queued.
    if (!verify && !m_arguments.force) {
        RunPlan plan;
        if (plan.build(task, AppSettings::instance()->runSettings()) && plan.hasCertainFailure())
            return refuse(CliPlan::refusalText(plan));
    }
    if (!CliRunner::preparePaths(&task.m_sourcePath, &task.m_destinationPath, verify,
                                 m_arguments.makeParents, &message))
        return refuse(message);
    task.updateName();

    QueueStore store(m_dataFolder);
    QueuedRun run;
    run.m_id = QueueStore::newId();
    run.m_taskFile = store.taskFilePath(run.m_id);
    run.m_mode = CliArguments::commandName(m_arguments.command);
    run.m_source = task.m_sourcePath;
    run.m_destination = task.m_destinationPath;
    if (m_arguments.threads > 0)
        run.m_options << QStringLiteral("--threads") << QString::number(m_arguments.threads);
    static const QStringList methods = {"default", "native", "qt", "simple"};
    if (m_arguments.copyMethod >= 0)
        run.m_options << QStringLiteral("--method") << methods.value(m_arguments.copyMethod);
    if (m_arguments.hashAlgorithm >= 0)
        run.m_options << QStringLiteral("--hash")
                      << QStringList{"sha256", "blake2b", "xxh3"}.value(m_arguments.hashAlgorithm);
    if (!m_arguments.manifestPath.isEmpty())
        run.m_options << QStringLiteral("--manifest")
                      << QFileInfo(m_arguments.manifestPath).absoluteFilePath();
    if (!store.makeFolder() || !TaskFileStore::saveTaskDefinition(run.m_taskFile, task))
        return refuse(tr("Unable to write the queue's task file '%1'.").arg(run.m_taskFile));

    const QJsonObject request{{"request", "add"}, {"run", run.toJson()}};
    QJsonObject reply;
    // Without a runner, this process becomes it.
    RunQueue queue(m_dataFolder, QCoreApplication::applicationFilePath());
    const bool runner = !QueueChannel::request(m_socketName, request, &reply) &&
                        becomeRunner(&queue, request, &reply);
    if (!reply.value(QStringLiteral("ok")).toBool())
        QFile::remove(run.m_taskFile);
    const int code = report(reply);
    if (code != CliRunner::Completed)
        return code;
    print(tr("Queued as %1.").arg(reply.value(QStringLiteral("id")).toString()));
    return runner ? serve(&queue) : code;
}

int CliQueue::serve(RunQueue* queue)
{
    RunQueue::connect(queue, &RunQueue::runStarted, this, [this](const QueuedRun& run) {
        print(tr("Started %1: %2 %3 -> %4")
                  .arg(run.m_id, run.m_mode, run.m_source, run.m_destination));
    });
    RunQueue::connect(queue, &RunQueue::runEnded, this, [this](const QueuedRun& run) {
        print(tr("Ended %1: %2%3")
                  .arg(run.m_id, QueuedRun::stateName(run.m_state),
                       run.m_message.isEmpty() ? QString()
                                               : QStringLiteral(" (%1)").arg(run.m_message)));
    });
    QueueChannel channel(queue);
    if (!channel.listen(m_socketName))
        print(tr("The queue's socket cannot be made: other processes do not see this queue."),
              true);
    int code = CliRunner::Completed;
    connect(queue, &RunQueue::drained, this, [this] {
        print(tr("The queue is done."));
        QCoreApplication::exit(CliRunner::Completed);
    });
    connect(queue, &RunQueue::shutDownFinished, this, [&code] {
        code = CliRunner::Stopped;
        QCoreApplication::exit(CliRunner::Stopped);
    });
    if (::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        mp_interruptNotifier = new QSocketNotifier(g_stopPipe[0], QSocketNotifier::Read, this);
        connect(mp_interruptNotifier, &QSocketNotifier::activated, this, [this, queue] {
            char byte;
            while (::read(g_stopPipe[0], &byte, 1) > 0) {
            }
            print(tr("Stopping the runs; they go on from their place at the next start."), true);
            queue->shutDown();
        });
        struct sigaction action
        {
        };
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP})
            ::sigaction(signal, &action, nullptr);
    }
    // A run added just as the queue ran dry is served too.
    do
        QCoreApplication::exec();
    while (code != CliRunner::Stopped && queue->hasPendingRuns());
    return code;
}
