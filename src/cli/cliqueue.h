#pragma once

#include "cliarguments.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

class RunQueue;
class QSocketNotifier;

// brindle-cli's side of the queue: adds a run (copy ... --queue), sends the queue actions
// to the process that runs the queue, and runs the queue itself when no process does.
class CliQueue : public QObject
{
    Q_OBJECT

public:
    explicit CliQueue(const CliArguments& arguments, QObject* parent = nullptr);
    ~CliQueue() override;

    // The exit code (CliRunner::ExitCode).
    int run();

    // The lines of queue list, one per run: ID, state, progress, mode, paths.
    static QStringList listLines(const QJsonObject& reply);

private:
    int add();
    int action();
    // Runs the queue until no run is left (0), or until a stop request ended its runs (3).
    int serve(RunQueue* queue);
    // The reply of the runner, or of the stored queue when no runner is up; false when
    // neither answered.
    bool send(const QJsonObject& request, QJsonObject* reply);
    // Takes the queue to run it and answers request (true), or has the runner that
    // answers it reply (false).
    bool becomeRunner(RunQueue* queue, const QJsonObject& request, QJsonObject* reply);
    int report(const QJsonObject& reply);
    void print(const QString& line, bool error = false);

    CliArguments m_arguments;
    QString m_dataFolder;
    QString m_socketName;
    // The last request was answered by the stored queue: no runner is up.
    bool m_stored = false;
    QSocketNotifier* mp_interruptNotifier = nullptr;
};
