#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;
class RunQueue;

// The queue's per-user socket in the runtime folder: the process that runs the queue
// serves it, every other process (brindle-cli, the window) sends it requests. One JSON
// object a line each way: a request, its reply.
class QueueChannel : public QObject
{
    Q_OBJECT

public:
    // The socket of the queue kept in dataFolder; empty when the user has no private
    // runtime folder.
    static QString socketName(const QString& dataFolder);

    // Blocking, for brindle-cli and a worker thread: false when no runner answered in time.
    static bool request(const QString& socketName, const QJsonObject& request, QJsonObject* reply,
                        int timeoutMs = 5000);

    // Serves the queue on socketName; false when the socket cannot be made.
    QueueChannel(RunQueue* queue, QObject* parent = nullptr);
    bool listen(const QString& socketName);

    // A request line larger than this closes the connection.
    static constexpr int MaximumLineSize = 1 << 20;

private:
    void onReadable(QLocalSocket* socket);

    RunQueue* mp_queue;
    QLocalServer* mp_server = nullptr;
};
