#include "jobs/processjob.h"

#include "fs/pathutils.h"
#include "fs/platform.h"

#include <QDebug>
#include <QFileInfo>
#include <QMetaObject>

ProcessJob::ProcessJob(QObject* parent) : Job(parent), mp_process(new QProcess(this))
{
    setObjectName(QStringLiteral("ProcessJob"));
    connect(mp_process, &QProcess::readyReadStandardOutput, this,
            &ProcessJob::onReadyReadStandardOutput);
    connect(mp_process, &QProcess::readyReadStandardError, this,
            &ProcessJob::onReadyReadStandardError);
    connect(mp_process, &QProcess::errorOccurred, this, &ProcessJob::onProcessError);
    // A pause that came while the program was being started holds it as soon as it runs.
    connect(mp_process, &QProcess::started, this, &ProcessJob::onProcessStarted);
    connect(mp_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &ProcessJob::onProcessFinished);
}

ProcessJob::~ProcessJob()
{
    // A subclass may finish on the first error while the program still runs; the owner
    // then deletes the job, and the program must not outlive it.
    if (mp_process->state() != QProcess::NotRunning) {
        mp_process->disconnect(this);
        mp_process->kill();
        mp_process->waitForFinished();
    }
}

void ProcessJob::setProgram(const QString& program)
{
    m_program = program;
}

void ProcessJob::setArguments(const QStringList& arguments)
{
    m_arguments = arguments;
}

void ProcessJob::setMaxSuccessExitCode(int code)
{
    m_maxSuccessExitCode = code;
}

void ProcessJob::startJob()
{
    QString errorText;
    if (m_program.isEmpty()) {
        qWarning() << "Unable to start process with an empty file path";
        errorText = QStringLiteral("external program is not valid");
    } else if (!QFileInfo(m_program).isFile()) {
        qWarning() << "Unable to start process with an invalid file path";
        errorText = QStringLiteral("external program does not exist");
    } else {
        setObjectName(FileSystemUtils::fileNameOf(m_program));
        Job::startJob();
        qDebug() << "Cmd:" << qUtf8Printable((QStringList(m_program) + m_arguments).join(' '));
        mp_process->setProgram(m_program);
        mp_process->setArguments(m_arguments);
        mp_process->start(m_readOnly ? QIODevice::ReadOnly : QIODevice::ReadWrite);
        return;
    }
    emit errorOccurred(errorText);
    finishJob();
}

void ProcessJob::stopJob()
{
    const bool paused = isPaused();
    Job::stopJob();
    // Let go first: the programs a held one started would stay halted once it is killed.
    if (paused)
        Platform::holdProcessTree(m_pid.load(), false);
    // The process belongs to the job's thread and is not thread-safe, while stop requests
    // come from the copy task's thread: the kill is carried out in the job's thread.
    QMetaObject::invokeMethod(this, [this] { killIfStopped(); });
}

// Signalled from the calling thread, so that the program is held by the time the pause is
// told: the process id is kept apart from the QProcess, which belongs to the job's thread.
void ProcessJob::pauseJob()
{
    Job::pauseJob();
    Platform::holdProcessTree(m_pid.load(), true);
}

void ProcessJob::continueJob()
{
    Job::continueJob();
    Platform::holdProcessTree(m_pid.load(), false);
}

void ProcessJob::onProcessStarted()
{
    // Kept before the pause is looked at: a pause in between is seen by one side or both.
    m_pid.store(mp_process->processId());
    if (isPaused())
        Platform::holdProcessTree(m_pid.load(), true);
}

void ProcessJob::killIfStopped()
{
    // A stop that arrived before the start is cancelled by the start, as for every job.
    if (isStopped() && mp_process->state() != QProcess::NotRunning)
        mp_process->kill();
}

void ProcessJob::onReadyReadStandardOutput()
{
    const QString text = QString::fromUtf8(mp_process->readAllStandardOutput().trimmed());
    if (!text.isEmpty())
        emit outputAvailable(text);
    qDebug() << qUtf8Printable(
                    QStringLiteral("(%1 %2)").arg(objectName(), QStringLiteral("stdout")))
             << text;
}

void ProcessJob::onReadyReadStandardError()
{
    const QString text = QString::fromUtf8(mp_process->readAllStandardError().trimmed());
    qWarning() << qUtf8Printable(
                      QStringLiteral("(%1 %2)").arg(objectName(), QStringLiteral("stderr")))
               << text;
    // Shown as well, before the error: a subclass may finish the job on the error, and the
    // text must reach its owner ahead of the end.
    if (!text.isEmpty())
        emit outputAvailable(text);
    emit errorOccurred(text);
}

void ProcessJob::onProcessError(QProcess::ProcessError error)
{
    qWarning() << objectName() << "has process error" << int(error);
    emit errorOccurred(tr("process error code %1").arg(int(error)));
    // A program that could not be started never reports an end.
    if (error == QProcess::FailedToStart)
        finishJob();
}

void ProcessJob::onProcessFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    m_pid.store(0);
    qDebug() << objectName() << "has finished with code" << exitCode << "and status"
             << int(exitStatus);
    if (exitCode > m_maxSuccessExitCode)
        emit errorOccurred(tr("exit code %1").arg(exitCode));
    // Also after a failing code: left unfinished, the job would never complete.
    finishJob();
}
