#pragma once

#include "cliarguments.h"
#include "clireport.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdio>
#include <memory>

class RunController;
class SleepInhibitor;
class QSocketNotifier;

// Runs one brindle-cli command on the copy task, in the main thread's event loop, and
// turns its end into an exit code.
struct WalkListing;

class CliRunner : public QObject
{
    Q_OBJECT

public:
    enum ExitCode
    {
        Completed = 0,
        CompletedWithErrors = 1,
        UsageOrPathError = 2,
        Stopped = 3,
        // The run completed, but its report or the task file asked for could not be
        // written (a closed pipe or terminal, a full device).
        OutputFailed = 4
    };

    explicit CliRunner(const CliArguments& arguments, QObject* parent = nullptr);
    ~CliRunner() override;

    // Sets up the process-wide objects, starts the run and returns the exit code once
    // the run has ended.
    int run();

    // Source and destination made absolute and checked: the destination must be a folder
    // or missing, and a missing one needs its parent folder unless makeParents. A missing
    // destination folder for a folder source is created, except in a verify. False with a
    // message.
    // Without create, nothing is made: a plan looks at the paths as they are.
    static bool preparePaths(QString* source, QString* destination, bool verify, bool makeParents,
                             QString* message, bool create = true);

    // Whether a task file can be written at path, tried without leaving a trace. False with
    // a message.
    static bool checkWritableFile(const QString& path, QString* message);

    // A task or errors file that the program itself wrote into the data folder.
    static bool isOwnTaskFile(const QString& path, const QString& dataFolder);

private slots:
    void onTaskCompleted();
    void onTick();
    void onLogAvailable(const QString& text);
    void onInterrupt();
    void onPausedChanged(bool paused);
    void onFlushProgress(qint64 written, qint64 total);

private:
    void acquireSleepInhibitor();
    bool setUpTask(QString* message);
    // --dry-run: walks, prints the plan and returns the exit code.
    int runPlan();
    // A run's plan, checked before anything is written: false with the refusal's key and text
    // when it foresees a certain failure. listing: what the plan walked, for the run to file.
    bool checkPlan(const Task& task, const RunSettings& settings,
                   std::shared_ptr<const WalkListing>* listing, QString* message);
    void printProgress(bool final);
    // Writes one line, made safe for a terminal; false once the stream has failed.
    bool writeLine(FILE* stream, const QString& text);
    void clearProgressLine();
    // Saves the run as it stands, with its own copy mode rather than the fix-errors pass.
    bool saveTask(const QString& path);
    QString stoppedTaskPath() const;
    QStringList finishTaskFiles(bool stopped, qint64 errorCount);
    void installInterruptHandler();

    CliArguments m_arguments;
    RunController* mp_controller = nullptr;
    CliReport::RunKind m_runKind = CliReport::RunKind::Copy;
    int m_copyMode = 0; // of the task, before a fix-errors pass
    QString m_resumedPath;
    // The files the run's end saved and the command that goes on from them, for --json.
    QJsonObject m_savedFiles;
    CliReport::ProgressEstimate m_estimate;
    QTimer m_progressTimer;
    QSocketNotifier* mp_interruptNotifier = nullptr;
    // Keeps the computer awake while the run goes on.
    SleepInhibitor* mp_sleepInhibitor = nullptr;
    // Ctrl-Z asked for the pause: once the run holds, the process stops itself.
    bool m_stopWhenPaused = false;
    // The final flush has begun: the progress line shows it.
    bool m_flushing = false;
    qint64 m_flushWritten = 0;
    qint64 m_flushTotal = 0;
    bool m_progressOnTerminal = false;
    bool m_progressShown = false;
    bool m_outputFailed = false;
    bool m_stdoutFailed = false;
    bool m_stderrFailed = false;
    qint64 m_lastPlainProgress = 0;
    int m_exitCode = Completed;
    // The key of a refusal's JSON error: "refused", or the check that refused the run.
    QString m_refusalCode = QStringLiteral("refused");
};
