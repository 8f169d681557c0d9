#include "clirunner.h"

#include "app/appsettings.h"
#include "app/logger.h"
#include "app/programidentity.h"
#include "clireport.h"
#include "engine/copytask.h"
#include "engine/filehash.h"
#include "fs/pathutils.h"
#include "fs/platformcopy.h"
#include "jobs/jobthreadpool.h"
#include "jobs/transfercounters.h"
#include "model/inifileformat.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
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

// The first Ctrl-C or SIGTERM is handed to the event loop through a pipe; the second
// ends the process at once.
int g_interruptPipe[2] = {-1, -1};
volatile std::sig_atomic_t g_interruptCount = 0;

extern "C" void onSignal(int)
{
    if (++g_interruptCount > 1)
        ::_exit(CliRunner::Stopped);
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_interruptPipe[1], &byte, 1);
}

void printLine(FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// Program output may hold any byte: control characters other than new lines and tabs are
// shown as \xNN, so that they cannot move the cursor or change the terminal's state.
QString terminalSafe(const QString& text)
{
    QString safe;
    safe.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control && c != QLatin1Char('\n') &&
            c != QLatin1Char('\t'))
            safe += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            safe += c;
    }
    return safe;
}

CliReport::Counters snapshot(const CopyTask& task)
{
    return task.counters();
}

QString shellQuoted(const QString& text)
{
    if (!text.isEmpty() && !text.contains(QRegularExpression(QStringLiteral("[^\\w@%+=:,./-]"))))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("'"), QLatin1String("'\\''"));
    return QStringLiteral("'%1'").arg(quoted);
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
    delete mp_copyTask;
    JobThreadPool::destroyThreads();
    TransferCounters::destroyInstance();
    if (g_interruptPipe[0] >= 0) {
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        ::close(g_interruptPipe[0]);
        ::close(g_interruptPipe[1]);
        g_interruptPipe[0] = g_interruptPipe[1] = -1;
    }
}

bool CliRunner::preparePaths(QString* source, QString* destination, bool verify, QString* message)
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
        *message = QStringLiteral("Unable to find '%1'.").arg(*source);
        return false;
    }
    // A verify only reads: a missing destination is reported file by file, never created.
    // Made private, like every folder of a copy: the run gives it its source's mode at its end.
    if (!verify && !QFileInfo::exists(*destination) &&
        FileSystemUtils::isRealDirectory(sourceInfo)) {
        PlatformCopy::Failure failure;
        if (!PlatformCopy::createFolders(*destination, &failure)) {
            *message =
                QStringLiteral("Unable to create destination folder '%1'.").arg(*destination);
            return false;
        }
    }
    return true;
}

bool CliRunner::setUpTask(QString* message)
{
    AppSettings* settings = AppSettings::instance();
    if (m_arguments.copyMethod >= 0)
        settings->setCopyMethod(m_arguments.copyMethod);
    if (m_arguments.reportFilteredFiles)
        settings->setReportFilteredFiles(true);

    mp_copyTask = new CopyTask();
    connect(mp_copyTask, &CopyTask::taskCompleted, this, &CliRunner::onTaskCompleted);

    if (m_arguments.command == CliArguments::ResumeCommand) {
        const QString path = QFileInfo(m_arguments.taskFile).absoluteFilePath();
        if (!mp_copyTask->loadFromFile(path)) {
            *message = QStringLiteral("Unable to load the task file '%1'.").arg(path);
            return false;
        }
        // A run saved without an external program keeps using the own copier: a task
        // file without that group would otherwise get the default program.
        const QSettings taskFile(path, IniFileFormat::format());
        if (!taskFile.childGroups().contains(QStringLiteral("ExternalCopyProcess"))) {
            mp_copyTask->setExternalProgram(ExternalProgramSettings());
            mp_copyTask->setSkipBuildListForExternalProgram(false);
        }
        Task task = mp_copyTask->task();
        if (m_arguments.fixErrors) {
            if (mp_copyTask->errorItems().isEmpty()) {
                *message = QStringLiteral("There is not errors to fix.");
                return false;
            }
            task.m_options.m_copyMode = CopyOptions::FixErrors;
        }
        mp_copyTask->setTask(task);
        QTimer::singleShot(0, mp_copyTask, &CopyTask::resumeTask);
        return true;
    }

    Task task;
    task.m_sourcePath = m_arguments.sourcePath;
    task.m_destinationPath = m_arguments.destinationPath;
    if (!preparePaths(&task.m_sourcePath, &task.m_destinationPath,
                      m_arguments.options.m_copyMode == CopyOptions::Verify, message))
        return false;
    task.m_options = m_arguments.options;
    task.updateName();
    mp_copyTask->setTask(task);
    if (m_arguments.useExternalProgram) {
        mp_copyTask->setExternalProgram(m_arguments.externalProgram);
        mp_copyTask->setSkipBuildListForExternalProgram(
            m_arguments.skipBuildListForExternalProgram);
    }
    qDebug() << "Copy options:" << qUtf8Printable(task.m_options.toDescriptionList().join(", "));
    QTimer::singleShot(0, mp_copyTask, &CopyTask::startTask);
    return true;
}

int CliRunner::run()
{
    AppSettings* settings = AppSettings::instance();
    FileHash::initialize();
    const int threads = m_arguments.threads > 0 ? m_arguments.threads : settings->maxNumThreads();
    JobThreadPool::createThreads(threads);
    JobThreadPool::startThreads();
    TransferCounters::createInstance();

    QString message;
    if (!setUpTask(&message)) {
        printLine(stderr, QStringLiteral("brindle-cli: %1").arg(message));
        return UsageOrPathError;
    }
    installInterruptHandler();
    m_progressOnTerminal = ::isatty(STDERR_FILENO);
    // What the external program writes, and the command that started it, tell the user
    // what was done; without a program the log repeats the progress and the report.
    if (!m_arguments.quiet && !mp_copyTask->externalProgram().filePath.isEmpty())
        connect(mp_copyTask, &CopyTask::logAvailable, this, &CliRunner::onLogAvailable);
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
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

void CliRunner::onInterrupt()
{
    char byte;
    while (::read(g_interruptPipe[0], &byte, 1) > 0) {
    }
    if (mp_copyTask->isTaskCompleted())
        return;
    printProgress(true);
    printLine(stderr, QStringLiteral("Stopping... (press Ctrl-C again to quit at once)"));
    mp_copyTask->stopTask();
}

void CliRunner::onLogAvailable(const QString& text)
{
    // The progress line is cleared first and redrawn by the next tick.
    if (m_progressOnTerminal)
        std::fputs("\r\x1b[K", stderr);
    printLine(stderr, terminalSafe(text));
}

void CliRunner::onTick()
{
    printProgress(false);
}

void CliRunner::printProgress(bool final)
{
    if (m_arguments.quiet || !mp_copyTask)
        return;
    QString line =
        CliReport::progressLine(snapshot(*mp_copyTask), mp_copyTask->isFileListCompleted(),
                                mp_copyTask->averageSpeed(), mp_copyTask->remainingTime());
    // A large file reports its own progress while it is copied.
    if (TransferCounters* transfer = TransferCounters::instance()) {
        const qint64 done = transfer->value(TransferCounters::CurrentFileBytesCopied);
        const qint64 size = transfer->value(TransferCounters::CurrentFileSize);
        if (size > 0 && done < size)
            line += QStringLiteral(", large file %1%").arg(done * 100 / size);
    }
    if (m_progressOnTerminal) {
        // One line, rewritten in place.
        std::fprintf(stderr, "\r%s\x1b[K", line.toLocal8Bit().constData());
        if (final)
            std::fputc('\n', stderr);
        std::fflush(stderr);
        return;
    }
    // Logs and pipes get a plain line every few seconds, not four a second.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (final || now - m_lastPlainProgress >= 5000) {
        m_lastPlainProgress = now;
        printLine(stderr, line);
    }
}

QString CliRunner::saveStoppedTask()
{
    const Task task = mp_copyTask->task();
    const QString name =
        QStringLiteral("stopped-%1.%2")
            .arg(FileSystemUtils::twoStringHash(task.m_sourcePath, task.m_destinationPath).left(16),
                 ProgramIdentity::taskFileExtension());
    const QString path = QDir(AppSettings::instance()->dataFolder()).filePath(name);
    return mp_copyTask->saveToFile(path, false, true, false) ? path : QString();
}

void CliRunner::onTaskCompleted()
{
    m_progressTimer.stop();
    if (m_progressOnTerminal && !m_arguments.quiet)
        printProgress(true);

    const CliReport::Counters counters = snapshot(*mp_copyTask);
    const QList<CopyItem> errors = mp_copyTask->errorItems();
    const bool stopped = mp_copyTask->isStopRequested();
    const bool verify = mp_copyTask->task().m_options.m_copyMode == CopyOptions::Verify;
    const qint64 errorCount = counters[ErrorItems];

    QString outcome;
    QString headline;
    if (stopped) {
        m_exitCode = Stopped;
        outcome = QStringLiteral("stopped");
        headline = verify ? QStringLiteral("The verification of files is stopped.")
                          : QStringLiteral("The copy is stopped.");
    } else if (errorCount > 0) {
        m_exitCode = CompletedWithErrors;
        outcome = QStringLiteral("completed with errors");
        headline = QStringLiteral("The copy has some errors.");
    } else {
        outcome = QStringLiteral("completed");
        headline = verify ? QStringLiteral("The copy is verified.")
                          : QStringLiteral("The copy is completed.");
    }

    const QString program = QCoreApplication::applicationFilePath();
    QStringList notes;
    if (stopped && mp_copyTask->isFileListCompleted()) {
        const QString path = saveStoppedTask();
        if (path.isEmpty())
            notes << QStringLiteral("Unable to save the stopped task in the data folder.");
        else
            notes << QStringLiteral("To resume: %1 resume %2")
                         .arg(shellQuoted(program), shellQuoted(path));
    }
    if (!stopped && errorCount > 0 && AppSettings::instance()->autoSaveErrors()) {
        const QString path =
            QDir(AppSettings::instance()->dataFolder()).filePath(mp_copyTask->errorsFileName());
        if (mp_copyTask->saveToFile(path, true, false, false))
            notes << QStringLiteral("To copy the errors again: %1 resume %2 --fix-errors")
                         .arg(shellQuoted(program), shellQuoted(path));
        else
            qWarning() << "Unable to save errors in file" << qUtf8Printable(path);
    }
    if (!m_arguments.saveTaskPath.isEmpty()) {
        const QString path = QFileInfo(m_arguments.saveTaskPath).absoluteFilePath();
        if (!mp_copyTask->saveToFile(path, false, true, false)) {
            notes << QStringLiteral("Unable to save the task file '%1'.").arg(path);
            if (m_exitCode == Completed)
                m_exitCode = CompletedWithErrors;
        }
    }

    if (m_arguments.json) {
        QJsonObject json = CliReport::reportJson(
            m_arguments.command == CliArguments::ResumeCommand ? QStringLiteral("resume")
            : verify                                           ? QStringLiteral("verify")
            : mp_copyTask->task().m_options.m_copyMode == CopyOptions::Move
                ? QStringLiteral("move")
                : QStringLiteral("copy"),
            outcome, counters, errors, mp_copyTask->averageSpeed());
        json.insert(QStringLiteral("notes"), QJsonArray::fromStringList(notes));
        std::fputs(QJsonDocument(json).toJson(QJsonDocument::Compact).constData(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    } else if (m_arguments.quiet) {
        for (const QString& line : CliReport::errorLines(errors))
            printLine(stderr, line);
        for (const QString& note : qAsConst(notes))
            printLine(stderr, note);
    } else {
        printLine(stdout, headline);
        for (const QString& line : CliReport::reportLines(counters))
            printLine(stdout, line);
        for (const QString& line : CliReport::errorLines(errors))
            printLine(stdout, line);
        for (const QString& note : qAsConst(notes))
            printLine(stdout, note);
    }
    QCoreApplication::exit(m_exitCode);
}
