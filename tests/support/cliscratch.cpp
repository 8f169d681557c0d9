#include "cliscratch.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>

#include <memory>

namespace TestSupport {

QString CliScratch::program()
{
    const QString path = qEnvironmentVariable("BRINDLE_CLI");
    return QFileInfo(path).isExecutable() ? path : QString();
}

QProcessEnvironment CliScratch::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", m_dir.filePath("home"));
    environment.insert("XDG_CONFIG_HOME", m_dir.filePath("home/.config"));
    environment.insert("XDG_DATA_HOME", m_dir.filePath("home/.local/share"));
    return environment;
}

QProcess* CliScratch::create(QObject* parent) const
{
    auto* process = new QProcess(parent);
    process->setProcessEnvironment(environment());
    process->setWorkingDirectory(m_dir.path());
    process->setProgram(program());
    return process;
}

QProcess* CliScratch::start(const QStringList& arguments, QObject* parent) const
{
    QProcess* process = create(parent);
    process->setArguments(arguments);
    process->start();
    return process;
}

CliScratch::Result CliScratch::run(const QStringList& arguments, int timeoutMs) const
{
    std::unique_ptr<QProcess> process(start(arguments));
    Result result;
    if (!process->waitForFinished(timeoutMs) || process->exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process->exitCode();
    result.out = QString::fromLocal8Bit(process->readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process->readAllStandardError());
    result.json = QJsonDocument::fromJson(result.out.toUtf8()).object();
    return result;
}

} // namespace TestSupport
