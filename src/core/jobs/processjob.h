#pragma once

#include "jobs/job.h"

#include <QProcess>
#include <QString>
#include <QStringList>

// Runs one external program inside a job thread, reports what it writes and how it ended.
// The job finishes once: when the program cannot be started or when it has ended, whatever
// errors came before. Subclasses may finish earlier, on an error; the later end of the
// program then changes nothing.
class ProcessJob : public Job
{
    Q_OBJECT

public:
    explicit ProcessJob(QObject* parent = nullptr);
    ~ProcessJob() override;

    // Set by the creator before the job is handed to a thread.
    void setProgram(const QString& program);
    QString program() const { return m_program; }
    void setArguments(const QStringList& arguments);
    QStringList arguments() const { return m_arguments; }
    void setMaxSuccessExitCode(int code);
    int maxSuccessExitCode() const { return m_maxSuccessExitCode; }
    bool isReadOnly() const { return m_readOnly; }

signals:
    // What the program writes, on either stream, trimmed, for display; never empty.
    void outputAvailable(const QString& text);
    // Text on standard error, a failing exit code or a failed start.
    void errorOccurred(const QString& text);

public slots:
    void startJob() override;
    void stopJob() override;
    // The program is halted (SIGSTOP) while the job is paused.
    void pauseJob() override;
    void continueJob() override;
    void onReadyReadStandardOutput();
    void onReadyReadStandardError();
    void onProcessError(QProcess::ProcessError error);
    void onProcessFinished(int exitCode, QProcess::ExitStatus exitStatus);

private:
    void killIfStopped();
    void onProcessStarted();

    QString m_program;
    QStringList m_arguments;
    bool m_readOnly = true;
    // The running program's id, or 0: read by pauseJob and continueJob from other threads.
    std::atomic<qint64> m_pid{0};
    int m_maxSuccessExitCode = 0;
    QProcess* mp_process;
};
