#pragma once

#include <QJsonObject>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class QObject;
class QProcess;

namespace TestSupport {

// Runs the built brindle-cli (named by the BRINDLE_CLI variable) in a scratch folder of its
// own, with HOME and the XDG folders inside it: a run never touches the user's settings
// or task files.
class CliScratch
{
public:
    struct Result
    {
        int exitCode = -1; // -1 when the program did not end normally in time
        QString out;
        QString err;
        QJsonObject json; // standard output read as one JSON object; empty when it is not
    };

    // The program's path; empty when BRINDLE_CLI does not name an executable.
    static QString program();

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& relative) const { return m_dir.filePath(relative); }
    QProcessEnvironment environment() const;

    // Set up to run in the scratch folder, not started yet; parent owns it.
    QProcess* create(QObject* parent = nullptr) const;
    // Started in the scratch folder and not waited for; parent owns it.
    QProcess* start(const QStringList& arguments, QObject* parent = nullptr) const;
    // Waits up to timeoutMs for the end.
    Result run(const QStringList& arguments, int timeoutMs = 120000) const;

private:
    QTemporaryDir m_dir;
};

} // namespace TestSupport
