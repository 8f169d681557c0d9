#include "clirunner.h"

#include "app/appsettings.h"
#include "app/logger.h"
#include "app/programidentity.h"
#include "cliplan.h"
#include "clireport.h"
#include "engine/filehash.h"
#include "engine/runcontroller.h"
#include "engine/taskfilestore.h"
#include "fs/filesystemutils.h"
#include "fs/pathutils.h"
#include "fs/platformcopy.h"
#include "fs/sleepinhibitor.h"
#include "jobs/jobthreadpool.h"
#include "jobs/transfercounters.h"
#include "model/externalprogramsettings.h"
#include "model/inifileformat.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSettings>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The first Ctrl-C or termination request is handed to the event loop through a pipe; the
// second ends the process at once. A hang-up only ever asks for a stop: a closing terminal
// may send it more than once, and nobody is left to want a quick exit. Ctrl-Z (SIGTSTP) and
// the SIGCONT of `fg` go the same way, as their own bytes: they pause and continue the run.
int g_interruptPipe[2] = {-1, -1};
volatile std::sig_atomic_t g_interruptCount = 0;
constexpr char StopByte = 1;
constexpr char PauseByte = 2;
constexpr char ContinueByte = 3;

extern "C" void onSignal(int signal)
{
    const bool pause = signal == SIGTSTP || signal == SIGCONT;
    if (!pause && signal != SIGHUP && ++g_interruptCount > 1)
        ::_exit(CliRunner::Stopped);
    const char byte = signal == SIGTSTP ? PauseByte : (signal == SIGCONT ? ContinueByte : StopByte);
    [[maybe_unused]] const ssize_t written = ::write(g_interruptPipe[1], &byte, 1);
}

// A reader that went away must not end a run halfway: the write fails with EPIPE instead.
// A handler rather than SIG_IGN, so that an external copy program starts with the default.
extern "C" void onBrokenPipe(int) {}

void handleSignal(int signal, void (*handler)(int))
{
    struct sigaction action
    {
    };
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
}

QString shellQuoted(const QString& text)
{
    return ExternalProgramSettings::shellQuoted(text);
}

CliReport::RunKind runKindOf(int copyMode)
{
    if (copyMode == CopyOptions::Move)
        return CliReport::RunKind::Move;
    if (copyMode == CopyOptions::Verify)
        return CliReport::RunKind::Verify;
    return CliReport::RunKind::Copy;
}

} // namespace

CliRunner::CliRunner(const CliArguments& arguments, QObject* parent)
    : QObject(parent), m_arguments(arguments)
{
    m_progressTimer.setInterval(250); // at most four repaints a second
    connect(&m_progressTimer, &QTimer::timeout, this, &CliRunner::onTick);
}

CliRunner::~CliRunner()
{
    delete mp_controller;
    JobThreadPool::destroyThreads();
    TransferCounters::destroyInstance();
    if (g_interruptPipe[0] >= 0) {
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGTSTP, SIGCONT})
            ::signal(signal, SIG_DFL);
        ::close(g_interruptPipe[0]);
        ::close(g_interruptPipe[1]);
        g_interruptPipe[0] = g_interruptPipe[1] = -1;
    }
    ::signal(SIGPIPE, SIG_DFL);
}

bool CliRunner::preparePaths(QString* source, QString* destination, bool verify, bool makeParents,
                             QString* message, bool create)
{
    // Relative paths are taken from the current folder, as any command-line tool does.
    *source = FileSystemUtils::normalizePath(QFileInfo(*source).absoluteFilePath());
    *destination = FileSystemUtils::normalizePath(QFileInfo(*destination).absoluteFilePath());
    const QString refusal = CopyTask::pathsRefusal(*source, *destination);
    if (!refusal.isEmpty()) {
        *message = refusal;
        return false;
    }
    const QFileInfo sourceInfo(*source);
    if (!sourceInfo.exists() && !sourceInfo.isSymLink()) {
        *message = tr("Unable to find '%1'.").arg(*source);
        return false;
    }
    // The destination is the folder that receives the items: a file there would fail
    // every item one by one.
    const QFileInfo destinationInfo(*destination);
    if (destinationInfo.exists() || destinationInfo.isSymLink()) {
        if (destinationInfo.isDir())
            return true;
        *message = tr("The destination '%1' is not a folder.").arg(*destination);
        return false;
    }
    // A verify only reads: a missing destination is one error, never created.
    if (verify) {
        *message = tr("The destination '%1' does not exist: there is nothing to verify.")
                       .arg(*destination);
        return false;
    }
    // As with cp: only the last folder is made unless asked (the window asks the same).
    const QString parent = destinationInfo.absolutePath();
    if (!makeParents && !FileSystemUtils::missingFolderAbove(*destination).isEmpty()) {
        *message = tr("The destination's parent folder '%1' does not exist (is the "
                      "drive mounted?); use --parents to create it.")
                       .arg(parent);
        return false;
    }
    // Made private, like every folder of a copy: the run gives it its source's mode at its
    // end. A file source's copier makes its destination folder itself.
    if (create && FileSystemUtils::isRealDirectory(sourceInfo)) {
        PlatformCopy::Failure failure;
        if (!PlatformCopy::createFolders(*destination, &failure)) {
            *message = tr("Unable to create destination folder '%1'.").arg(*destination);
            return false;
        }
    }
    return true;
}

bool CliRunner::checkWritableFile(const QString& path, QString* message)
{
    const QFileInfo info(path);
    if (path.isEmpty() || info.fileName().isEmpty() || info.isDir()) {
        *message = tr("The task file '%1' needs a file name.").arg(path);
        return false;
    }
    QFile file(path);
    // Opened for appending, an existing file keeps its content; a new one is removed again.
    const bool existed = info.exists();
    if (!file.open(existed ? QIODevice::WriteOnly | QIODevice::Append
                           : QIODevice::WriteOnly | QIODevice::NewOnly)) {
        *message = tr("Unable to write the task file '%1': %2.").arg(path, file.errorString());
        return false;
    }
    file.close();
    if (!existed)
        file.remove();
    return true;
}

bool CliRunner::isOwnTaskFile(const QString& path, const QString& dataFolder)
{
    const QFileInfo info(path);
    static const QRegularExpression ownName(
        QStringLiteral("^(stopped|copyerrors)-[0-9a-f]+\\.%1$")
            .arg(QRegularExpression::escape(ProgramIdentity::taskFileExtension())));
    return !dataFolder.isEmpty() && ownName.match(info.fileName()).hasMatch() &&
           QFileInfo(info.absolutePath()).canonicalFilePath() ==
               QFileInfo(dataFolder).canonicalFilePath();
}

bool CliRunner::setUpTask(QString* message)
{
    // Known before the run, not once it is over.
    if (!m_arguments.saveTaskPath.isEmpty() &&
        !checkWritableFile(QFileInfo(m_arguments.saveTaskPath).absoluteFilePath(), message))
        return false;

    mp_controller = new RunController(this);
    connect(mp_controller, &RunController::taskCompleted, this, &CliRunner::onTaskCompleted);
    // The options of the command line shape this run only; the preferences stay as saved.
    RunSettings settings = AppSettings::instance()->runSettings();
    if (m_arguments.copyMethod >= 0)
        settings.copyMethod = m_arguments.copyMethod;
    if (m_arguments.hashAlgorithm >= 0)
        settings.hashAlgorithm = m_arguments.hashAlgorithm;
    if (m_arguments.reportFilteredFiles)
        settings.reportFilteredFiles = true;
    RunController::Request request;
    request.runSettings = settings;
    if (!m_arguments.manifestPath.isEmpty()) {
        const QString manifest = QFileInfo(m_arguments.manifestPath).absoluteFilePath();
        // A folder the run makes first (the destination) is asked when the run opens it.
        QString reason;
        const QString folder = QFileInfo(manifest).absolutePath();
        const bool later = !QFileInfo::exists(folder) &&
                           folder == QFileInfo(m_arguments.destinationPath).absoluteFilePath();
        // Written while the source is walked, it would be copied half made (or moved away).
        const QString source = QFileInfo(m_arguments.sourcePath).absoluteFilePath();
        if (!m_arguments.sourcePath.isEmpty() &&
            (manifest == source || manifest.startsWith(source + QLatin1Char('/')))) {
            *message = tr("The checksum list '%1' cannot be inside the source.").arg(manifest);
            return false;
        }
        if (!later && !checkWritableFile(manifest, &reason)) {
            *message = tr("The checksum list '%1' cannot be written.").arg(manifest);
            return false;
        }
        request.manifestPath = manifest;
    }

    if (m_arguments.command == CliArguments::ResumeCommand) {
        const QString path = QFileInfo(m_arguments.taskFile).absoluteFilePath();
        if (!mp_controller->loadFromFile(path)) {
            *message = tr("Unable to load the task file '%1'.").arg(path);
            return false;
        }
        m_resumedPath = path;
        // A run saved without an external program keeps using the own copier: a task
        // file without that group would otherwise get the default program.
        const QSettings taskFile(path, IniFileFormat::format());
        if (taskFile.childGroups().contains(QStringLiteral("ExternalCopyProcess"))) {
            request.externalProgram = mp_controller->externalProgram();
            request.skipBuildListForExternalProgram =
                mp_controller->skipBuildListForExternalProgram();
        }
        const AppSettings* own = AppSettings::instance();
        *message = CopyTask::externalProgramRefusal(
            request.externalProgram, own->useExternalCopyProgram(), own->externalProgram());
        if (message->isEmpty())
            *message = mp_controller->destinationRefusal();
        if (!message->isEmpty())
            return false;
        Task task = mp_controller->task();
        m_copyMode = task.m_options.m_copyMode;
        m_runKind = runKindOf(m_copyMode);
        if (m_arguments.fixErrors) {
            if (mp_controller->errorItems().isEmpty()) {
                *message = tr("There is not errors to fix.");
                return false;
            }
            task.m_options.m_copyMode = CopyOptions::FixErrors;
        }
        request.task = task;
        mp_controller->resume(request);
        return true;
    }

    Task task = m_arguments.task();
    const bool verify = m_arguments.options.m_copyMode == CopyOptions::Verify;
    // The destination's check comes before its folder is made: a refused run writes nothing.
    if (!preparePaths(&task.m_sourcePath, &task.m_destinationPath, verify, m_arguments.makeParents,
                      message, false))
        return false;
    if (!verify && !m_arguments.force && !m_arguments.skipBuildListForExternalProgram &&
        !checkPlan(task, settings, &request.plannedListing, message))
        return false;
    if (!preparePaths(&task.m_sourcePath, &task.m_destinationPath, verify, m_arguments.makeParents,
                      message))
        return false;
    task.updateName();
    m_copyMode = task.m_options.m_copyMode;
    m_runKind = runKindOf(m_copyMode);
    request.task = task;
    if (m_arguments.useExternalProgram) {
        request.externalProgram = m_arguments.externalProgram;
        request.skipBuildListForExternalProgram = m_arguments.skipBuildListForExternalProgram;
    }
    qDebug() << "Copy options:" << qUtf8Printable(task.m_options.toDescriptionList().join(", "));
    // Shown as a run at once: an interrupt from now on stops it.
    mp_controller->start(request);
    return true;
}

bool CliRunner::checkPlan(const Task& task, const RunSettings& settings,
                          std::shared_ptr<const WalkListing>* listing, QString* message)
{
    // The walk of a large tree takes a while before the first progress line.
    if (!m_arguments.quiet)
        writeLine(stderr, tr("Checking the destination (--force skips it)..."));
    RunPlan plan;
    // The run files the list walked here: one walk for both.
    plan.keepListing();
    if (!plan.build(task, settings))
        return true;
    if (!plan.hasCertainFailure()) {
        *listing = plan.listingForRun();
        return true;
    }
    m_refusalCode = CliPlan::refusalCode(plan);
    *message = CliPlan::refusalText(plan);
    return false;
}

int CliRunner::runPlan()
{
    Task task = m_arguments.task();
    QString message;
    if (!preparePaths(&task.m_sourcePath, &task.m_destinationPath,
                      task.m_options.m_copyMode == CopyOptions::Verify, m_arguments.makeParents,
                      &message, false)) {
        writeLine(stderr, QStringLiteral("brindle-cli: %1").arg(message));
        if (m_arguments.json)
            std::fputs(CliReport::errorJson(CliArguments::commandName(m_arguments.command),
                                            QStringLiteral("refused"), message)
                           .constData(),
                       stdout);
        return UsageOrPathError;
    }
    RunSettings settings = AppSettings::instance()->runSettings();
    if (m_arguments.reportFilteredFiles)
        settings.reportFilteredFiles = true;
    RunPlan plan;
    plan.build(task, settings);
    const QString command = CliArguments::commandName(m_arguments.command);
    if (m_arguments.json) {
        const QByteArray text =
            QJsonDocument(CliPlan::planJson(command, plan)).toJson(QJsonDocument::Compact) + '\n';
        if (std::fwrite(text.constData(), 1, size_t(text.size()), stdout) != size_t(text.size()) ||
            std::fflush(stdout) != 0)
            return OutputFailed;
    } else if (!m_arguments.quiet) {
        for (const QString& line : CliPlan::planLines(plan, runKindOf(task.m_options.m_copyMode)))
            writeLine(stdout, line);
    }
    return m_outputFailed ? int(OutputFailed) : CliPlan::exitCode(plan);
}

int CliRunner::run()
{
    handleSignal(SIGPIPE, onBrokenPipe);
    AppSettings* settings = AppSettings::instance();
    FileHash::initialize();
    const int threads = m_arguments.threads > 0 ? m_arguments.threads : settings->maxNumThreads();
    JobThreadPool::createThreads(threads);
    JobThreadPool::startThreads();
    TransferCounters::createInstance();
    if (m_arguments.dryRun)
        return runPlan();

    QString message;
    if (!setUpTask(&message)) {
        writeLine(stderr, QStringLiteral("brindle-cli: %1").arg(message));
        if (m_arguments.json)
            std::fputs(CliReport::errorJson(CliArguments::commandName(m_arguments.command),
                                            m_refusalCode, message)
                           .constData(),
                       stdout);
        return UsageOrPathError;
    }
    installInterruptHandler();
    // Sleep would cut a copy short; a laptop left alone with a long run should not.
    mp_sleepInhibitor = new SleepInhibitor(this);
    acquireSleepInhibitor();
    connect(mp_controller, &RunController::flushProgress, this, &CliRunner::onFlushProgress);
    m_progressOnTerminal = ::isatty(STDERR_FILENO);
    // What the external program writes, and the command that started it, tell the user
    // what was done; without a program the log repeats the progress and the report.
    if (!m_arguments.quiet && !mp_controller->externalProgram().filePath.isEmpty())
        connect(mp_controller, &RunController::logAvailable, this, &CliRunner::onLogAvailable);
    if (!m_arguments.quiet)
        m_progressTimer.start();
    return QCoreApplication::exec();
}

void CliRunner::installInterruptHandler()
{
    if (::pipe2(g_interruptPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    mp_interruptNotifier = new QSocketNotifier(g_interruptPipe[0], QSocketNotifier::Read, this);
    connect(mp_interruptNotifier, &QSocketNotifier::activated, this, &CliRunner::onInterrupt);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGTSTP, SIGCONT})
        handleSignal(signal, onSignal);
    connect(mp_controller, &RunController::pausedChanged, this, &CliRunner::onPausedChanged);
}

void CliRunner::onInterrupt()
{
    char byte;
    bool stop = false;
    // The last of a pause and a continue counts: Ctrl-Z then fg before this turn is a no-op.
    char pause = 0;
    while (::read(g_interruptPipe[0], &byte, 1) > 0) {
        if (byte == StopByte)
            stop = true;
        else
            pause = byte;
    }
    if (mp_controller->isTaskCompleted() || mp_controller->isStopRequested())
        return;
    if (stop) {
        m_stopWhenPaused = false;
        printProgress(true);
        writeLine(stderr, tr("Stopping... (press Ctrl-C again to quit at once)"));
        mp_controller->stop();
    } else if (pause == PauseByte) {
        // The process halts itself once the run holds, so that the pause is not counted.
        m_stopWhenPaused = true;
        mp_controller->pause();
    } else if (pause == ContinueByte) {
        m_stopWhenPaused = false;
        mp_controller->continueRun();
    }
}

void CliRunner::onPausedChanged(bool paused)
{
    if (paused) {
        mp_sleepInhibitor->release();
        printProgress(true);
        writeLine(stderr, tr("Paused, holding open files and their place. Continue with fg "
                             "(or kill -CONT %1).")
                              .arg(QCoreApplication::applicationPid()));
        if (m_stopWhenPaused) {
            m_stopWhenPaused = false;
            // As the shell expects of Ctrl-Z: the process stops, and fg's SIGCONT wakes it.
            ::raise(SIGSTOP);
        }
        return;
    }
    acquireSleepInhibitor();
    writeLine(stderr, tr("Continuing."));
}

void CliRunner::acquireSleepInhibitor()
{
    // The desktop shows the reason to the user who asks why the computer stays awake.
    static const char* const reasons[] = {QT_TR_NOOP("Copying files"), QT_TR_NOOP("Moving files"),
                                          QT_TR_NOOP("Verifying files")};
    mp_sleepInhibitor->acquire(QCoreApplication::applicationName(), tr(reasons[int(m_runKind)]));
}

void CliRunner::onLogAvailable(const QString& text)
{
    // Line by line, each made safe; the progress line is cleared first (by writeLine) and
    // redrawn by the next tick.
    for (const QString& line : text.split(QLatin1Char('\n')))
        writeLine(stderr, line);
}

void CliRunner::onFlushProgress(qint64 written, qint64 total)
{
    m_flushing = true;
    m_flushWritten = written;
    m_flushTotal = total;
}

void CliRunner::onTick()
{
    m_estimate.update(mp_controller->elapsedMs(), mp_controller->counters(),
                      mp_controller->isFileListCompleted());
    printProgress(false);
    if (m_arguments.progressJson && !m_stdoutFailed) {
        const CliReport::Counters counters = mp_controller->counters();
        const QJsonObject progress{{"done", double(counters[BytesCompleted])},
                                   {"total", double(counters[BytesToCopy])},
                                   {"files", double(counters[FilesCompleted])},
                                   {"listed", mp_controller->isFileListCompleted()}};
        const QByteArray line =
            QJsonDocument(QJsonObject{{"progress", progress}}).toJson(QJsonDocument::Compact) +
            '\n';
        if (std::fwrite(line.constData(), 1, size_t(line.size()), stdout) != size_t(line.size()) ||
            std::fflush(stdout) != 0)
            m_stdoutFailed = true;
    }
}

bool CliRunner::writeLine(FILE* stream, const QString& text)
{
    bool& failed = stream == stdout ? m_stdoutFailed : m_stderrFailed;
    if (failed)
        return false;
    if (stream == stderr)
        clearProgressLine();
    const QByteArray line = CliReport::safeText(text).toLocal8Bit() + '\n';
    if (std::fwrite(line.constData(), 1, size_t(line.size()), stream) != size_t(line.size()) ||
        std::fflush(stream) != 0) {
        failed = true;
        m_outputFailed = true;
        return false;
    }
    return true;
}

void CliRunner::clearProgressLine()
{
    if (!m_progressShown || m_stderrFailed)
        return;
    m_progressShown = false;
    if (std::fputs("\r\x1b[K", stderr) < 0 || std::fflush(stderr) != 0)
        m_stderrFailed = m_outputFailed = true;
}

void CliRunner::printProgress(bool final)
{
    if (m_arguments.quiet || !mp_controller || m_stderrFailed)
        return;
    QString line = m_flushing ? CliReport::flushLine(m_flushWritten, m_flushTotal)
                              : CliReport::progressLine(
                                    mp_controller->counters(), mp_controller->isFileListCompleted(),
                                    m_estimate.bytesPerSecond(), m_estimate.remainingMs());
    // A large file reports its own progress while it is copied.
    if (TransferCounters* transfer = m_flushing ? nullptr : TransferCounters::instance()) {
        const TransferCounters::FileProgress file = transfer->currentFile();
        if (file.size > 0 && file.bytesCopied < file.size)
            line += tr(", large file %1%")
                        .arg(int(double(qMax<qint64>(0, file.bytesCopied)) * 100.0 /
                                 double(file.size)));
    }
    if (m_progressOnTerminal) {
        // One line, rewritten in place; a final one stays.
        const QByteArray text = "\r" + line.toLocal8Bit() + "\x1b[K" + (final ? "\n" : "");
        if (std::fputs(text.constData(), stderr) < 0 || std::fflush(stderr) != 0) {
            m_stderrFailed = m_outputFailed = true;
            return;
        }
        m_progressShown = !final;
        return;
    }
    // Logs and pipes get a plain line every few seconds, not four a second.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (final || now - m_lastPlainProgress >= 5000) {
        m_lastPlainProgress = now;
        writeLine(stderr, line);
    }
}

QString CliRunner::stoppedTaskPath() const
{
    // A resumed task file goes on holding its run, and so does the file --save-task names:
    // no second file in the data folder, left behind once the user's own is resumed.
    if (!m_resumedPath.isEmpty())
        return m_resumedPath;
    if (!m_arguments.saveTaskPath.isEmpty())
        return QFileInfo(m_arguments.saveTaskPath).absoluteFilePath();
    return TaskFileStore::stoppedTaskPath(mp_controller->task(),
                                          AppSettings::instance()->dataFolder());
}

bool CliRunner::saveTask(const QString& path)
{
    return mp_controller->saveToFile(path, false, true, false);
}

QStringList CliRunner::finishTaskFiles(bool stopped, qint64 errorCount)
{
    // Files written from here on hold the run's own mode: a later resume of a fix-errors
    // pass goes on with the copy or move it fixed.
    if (mp_controller->task().m_options.m_copyMode != m_copyMode) {
        Task task = mp_controller->task();
        task.m_options.m_copyMode = m_copyMode;
        mp_controller->setTask(task);
    }
    const QString program = shellQuoted(QCoreApplication::applicationFilePath());
    const QString dataFolder = AppSettings::instance()->dataFolder();
    QStringList notes;
    const auto failed = [&](const QString& note) {
        notes << note;
        m_outputFailed = true;
    };
    m_savedFiles = QJsonObject{{"taskFile", QJsonValue()},
                               {"errorsFile", QJsonValue()},
                               {"resumeCommand", QJsonValue()},
                               {"manifest", QJsonValue()}};
    if (stopped) {
        const QString path = stoppedTaskPath();
        if (!mp_controller->isFileListCompleted())
            notes << tr("The file list was not complete, so no task was saved: run "
                        "the same command again to finish.");
        else if (!saveTask(path))
            failed(tr("Unable to save the stopped task in '%1'.").arg(path));
        else {
            const QString command =
                QStringLiteral("%1 resume %2%3")
                    .arg(program, shellQuoted(path),
                         m_arguments.fixErrors ? QStringLiteral(" --fix-errors") : QString());
            //: %1 is the command that resumes the run; its words stay.
            notes << tr("To resume: %1").arg(command);
            m_savedFiles.insert(QStringLiteral("taskFile"), path);
            m_savedFiles.insert(QStringLiteral("resumeCommand"), command);
        }
    } else {
        const QString errorsPath = QDir(dataFolder).filePath(mp_controller->errorsFileName());
        if (!m_resumedPath.isEmpty()) {
            // A file this program saved has served its purpose; the user's own file is kept
            // up to date, so that it never brings back errors that are fixed.
            if (isOwnTaskFile(m_resumedPath, dataFolder)) {
                if (m_resumedPath != errorsPath || errorCount == 0)
                    QFile::remove(m_resumedPath);
            } else if (!saveTask(m_resumedPath)) {
                failed(tr("Unable to update the task file '%1'.").arg(m_resumedPath));
            } else {
                m_savedFiles.insert(QStringLiteral("taskFile"), m_resumedPath);
            }
        }
        if (errorCount > 0) {
            if (mp_controller->saveToFile(errorsPath, true, false, false)) {
                const QString command = QStringLiteral("%1 resume %2 --fix-errors")
                                            .arg(program, shellQuoted(errorsPath));
                //: %1 is the command that copies the errors again; its words stay.
                notes << tr("To copy the errors again: %1").arg(command);
                m_savedFiles.insert(QStringLiteral("errorsFile"), errorsPath);
                m_savedFiles.insert(QStringLiteral("resumeCommand"), command);
            } else {
                // The run already ends with errors, and the report lists them all.
                qWarning() << "Unable to save errors in file" << qUtf8Printable(errorsPath);
                notes << tr("Unable to save the errors in '%1'.").arg(errorsPath);
            }
        }
    }
    if (!m_arguments.saveTaskPath.isEmpty()) {
        const QString path = QFileInfo(m_arguments.saveTaskPath).absoluteFilePath();
        if (path == m_savedFiles.value(QStringLiteral("taskFile")).toString()) {
            // Saved above as the stopped run.
        } else if (path != m_resumedPath && !saveTask(path))
            failed(tr("Unable to save the task file '%1'.").arg(path));
        else if (m_savedFiles.value(QStringLiteral("taskFile")).isNull())
            m_savedFiles.insert(QStringLiteral("taskFile"), path);
    }
    if (!mp_controller->manifestPath().isEmpty()) {
        const QString failure = mp_controller->manifestFailure();
        if (failure.isEmpty()) {
            notes << tr("Checksum list written: %1").arg(mp_controller->manifestPath());
            m_savedFiles.insert(QStringLiteral("manifest"), mp_controller->manifestPath());
        } else if (stopped)
            notes << failure;
        else
            failed(failure);
    }
    return notes;
}

void CliRunner::onTaskCompleted()
{
    m_progressTimer.stop();
    mp_sleepInhibitor->release();
    // The last line tells what the run did, not the flush.
    m_flushing = false;
    if (m_progressOnTerminal && !m_arguments.quiet)
        printProgress(true);

    // Taken first: saving a file with another mode resets the task's counters.
    const CliReport::Counters counters = mp_controller->counters();
    const QList<CopyItem> errors = mp_controller->errorItems();
    const QList<CopyItem> filtered = CliReport::filteredItems(mp_controller->skippedItems());
    const bool stopped = mp_controller->isStopRequested();
    const qint64 errorCount = counters[ErrorItems];
    const qint64 speed = CliReport::realSpeed(counters[BytesCompleted], counters[TaskElapsedTime]);
    const bool resumed = m_arguments.command == CliArguments::ResumeCommand;

    CliReport::Outcome outcome = CliReport::Outcome::Completed;
    QString outcomeName = QStringLiteral("completed");
    if (stopped) {
        m_exitCode = Stopped;
        outcome = CliReport::Outcome::Stopped;
        outcomeName = QStringLiteral("stopped");
    } else if (errorCount > 0) {
        m_exitCode = CompletedWithErrors;
        outcome = CliReport::Outcome::CompletedWithErrors;
        outcomeName = QStringLiteral("completed with errors");
    } else if (resumed && CliReport::didNothing(counters)) {
        outcome = CliReport::Outcome::NothingToDo;
    }
    const QStringList notes = finishTaskFiles(stopped, errorCount);

    if (m_arguments.json) {
        QJsonObject json = CliReport::reportJson(resumed ? QStringLiteral("resume")
                                                         : CliReport::runName(m_runKind),
                                                 outcomeName, counters, errors, speed);
        json.insert(QStringLiteral("notesText"), QJsonArray::fromStringList(notes));
        CliReport::addFiltered(json, filtered);
        // What was copied, moved or verified, a resumed run too.
        json.insert(QStringLiteral("mode"), CliReport::runName(m_runKind));
        for (auto file = m_savedFiles.constBegin(); file != m_savedFiles.constEnd(); ++file)
            json.insert(file.key(), file.value());
        // JSON escapes what a terminal would act on; written as is.
        const QByteArray text = QJsonDocument(json).toJson(QJsonDocument::Compact) + '\n';
        if (std::fwrite(text.constData(), 1, size_t(text.size()), stdout) != size_t(text.size()) ||
            std::fflush(stdout) != 0)
            m_outputFailed = true;
    } else if (m_arguments.quiet) {
        for (const QString& line : CliReport::errorLines(errors))
            writeLine(stderr, line);
        for (const QString& note : notes)
            writeLine(stderr, note);
    } else {
        writeLine(stdout, CliReport::headline(m_runKind, outcome));
        for (const QString& line :
             CliReport::reportLines(counters, m_runKind, counters[TaskElapsedTime], resumed))
            writeLine(stdout, line);
        if (m_arguments.reportFilteredFiles) {
            for (const QString& line : CliReport::filteredLines(filtered))
                writeLine(stdout, line);
        }
        for (const QString& line : CliReport::errorLines(errors))
            writeLine(stdout, line);
        for (const QString& note : notes)
            writeLine(stdout, note);
    }
    // A stop stays a stop; otherwise a report or file that was not written is no success.
    if (m_outputFailed && m_exitCode != Stopped)
        m_exitCode = OutputFailed;
    QCoreApplication::exit(m_exitCode);
}
