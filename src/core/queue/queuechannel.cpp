#include "queue/queuechannel.h"

#include "fs/pathutils.h"
#include "fs/platformqueue.h"
#include "queue/runqueue.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>

QString QueueChannel::socketName(const QString& dataFolder)
{
    const QString folder = Platform::privateRuntimeFolder(QStringLiteral("brindle"));
    if (folder.isEmpty())
        return QString();
    // One queue per data folder: a portable copy has its own.
    const QByteArray hash =
        QCryptographicHash::hash(QDir::cleanPath(dataFolder).toUtf8(), QCryptographicHash::Sha256)
            .toHex()
            .left(12);
    return QStringLiteral("%1/brindle-queue-%2").arg(folder, QString::fromLatin1(hash));
}

bool QueueChannel::request(const QString& socketName, const QJsonObject& request,
                           QJsonObject* reply, int timeoutMs)
{
    if (socketName.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(socketName);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    QElapsedTimer timer;
    timer.start();
    QByteArray line;
    while (!line.endsWith('\n')) {
        if (socket.bytesAvailable() == 0 &&
            !socket.waitForReadyRead(int(qMax<qint64>(1, timeoutMs - timer.elapsed()))))
            return false;
        line += socket.readAll();
        if (line.size() > MaximumLineSize * 16)
            return false;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    *reply = document.object();
    return true;
}

QueueChannel::QueueChannel(RunQueue* queue, QObject* parent) : QObject(parent), mp_queue(queue) {}

bool QueueChannel::listen(const QString& socketName)
{
    if (socketName.isEmpty())
        return false;
    mp_server = new QLocalServer(this);
    mp_server->setSocketOptions(QLocalServer::UserAccessOption);
    // The queue's lock is held: a socket left there is a dead runner's.
    QLocalServer::removeServer(socketName);
    if (!mp_server->listen(socketName))
        return false;
    connect(mp_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = mp_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadable(socket); });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    return true;
}

void QueueChannel::onReadable(QLocalSocket* socket)
{
    QByteArray pending = socket->property("pending").toByteArray() + socket->readAll();
    int end;
    while ((end = pending.indexOf('\n')) >= 0) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(pending.left(end), &error);
        pending.remove(0, end + 1);
        const QJsonObject reply =
            error.error == QJsonParseError::NoError && document.isObject()
                ? mp_queue->handle(document.object())
                : QJsonObject{{"ok", false}, {"error", tr("The request cannot be read.")}};
        socket->write(QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n');
    }
    if (pending.size() > MaximumLineSize) {
        socket->abort();
        return;
    }
    socket->setProperty("pending", pending);
}
