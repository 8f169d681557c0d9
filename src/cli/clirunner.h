#pragma once

#include "cliarguments.h"

#include <QObject>
#include <QString>
#include <QTimer>

class CopyTask;
class QSocketNotifier;

// Runs one brindle-cli command on the copy task, in the main thread's event loop, and
// turns its end into an exit code: 0 completed without errors, 1 completed with errors,
// 2 usage or path error, 3 stopped.
class CliRunner : public QObject
{
    Q_OBJECT

public:
    enum ExitCode
    {
        Completed = 0,
        CompletedWithErrors = 1,
        UsageOrPathError = 2,
        Stopped = 3
    };

    explicit CliRunner(const CliArguments& arguments, QObject* parent = nullptr);
    ~CliRunner() override;

    // Sets up the process-wide objects, starts the run and returns the exit code once
    // the run has ended.
    int run();

    // Source and destination made absolute and checked as the window checks them; a
    // missing destination folder for a folder source is created, except in a verify.
    // False with a message.
    static bool preparePaths(QString* source, QString* destination, bool verify, QString* message);

private slots:
    void onTaskCompleted();
    void onTick();
    void onLogAvailable(const QString& text);
    void onInterrupt();

private:
    bool setUpTask(QString* message);
    void printProgress(bool final);
    void finish();
    QString saveStoppedTask();
    void installInterruptHandler();

    CliArguments m_arguments;
    CopyTask* mp_copyTask = nullptr;
    QTimer m_progressTimer;
    QSocketNotifier* mp_interruptNotifier = nullptr;
    bool m_progressOnTerminal = false;
    int m_lastLineLength = 0;
    qint64 m_lastPlainProgress = 0;
    int m_exitCode = Completed;
};
