#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>

// One run of the queue as its file in the data folder holds it: where it stands in the
// queue, its state, the task file it runs from and how far it got.
class QueuedRun
{
    Q_GADGET

public:
    enum class State
    {
        Queued,
        Running,
        Paused,
        Stopped,
        Done,
        Failed
    };
    Q_ENUM(State)

    static QString stateName(State state);
    // False for a name no state has.
    static bool stateFromName(const QString& name, State* state);

    // Null values are refused: a file that does not read back whole is no run.
    static bool fromJson(const QJsonObject& json, QueuedRun* run);
    QJsonObject toJson() const;

    // Waiting, working or held: the queue is not through with it.
    bool isPending() const
    {
        return m_state == State::Queued || m_state == State::Running || m_state == State::Paused;
    }

    QString m_id;       // [0-9a-f]{16}: names its files
    qint64 m_order = 0; // smaller runs first
    State m_state = State::Queued;
    QString m_mode; // copy, move or verify, for the list
    QString m_source;
    QString m_destination;
    QString m_taskFile;    // the run's task file, resumed by each start
    QStringList m_options; // brindle-cli options of the run that a resume takes
    qint64 m_bytesDone = 0;
    qint64 m_bytesTotal = 0;
    qint64 m_started = 0; // ms since the epoch, 0 before
    qint64 m_ended = 0;
    int m_exitCode = -1;
    QString m_message; // why it failed or stopped
    qint64 m_pid = 0;  // of its process while it runs
};
