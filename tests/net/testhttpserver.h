#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <QtGlobal>

// The system proxy settings come from the environment here; clear them so every test
// request goes straight to the test server on 127.0.0.1.
inline void clearProxyEnvironment()
{
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "ftp_proxy",
                             "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"})
        qunsetenv(name);
}

// A minimal HTTP/1.1 server for the network tests. It listens on 127.0.0.1 only, on a
// free port, answers each request from a table of paths (404 for the rest), closes
// the connection after every answer and records what it received. It runs in the
// test's own thread, driven by the event loop that QTRY_* and QSignalSpy::wait spin.
class TestHttpServer
{
public:
    struct Response
    {
        int status = 200;
        QByteArray body;
    };

    struct Request
    {
        QByteArray method;
        QByteArray target; // as sent: a path, or an absolute URL when we act as a proxy
        QMap<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };

    TestHttpServer()
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket,
                                 [this, socket] { onReadyRead(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
                    m_buffers.remove(socket);
                    socket->deleteLater();
                });
            }
        });
    }

    // A connection still open is a child of the server, destroyed after the tables below:
    // its last signals must not reach them.
    ~TestHttpServer()
    {
        for (QTcpSocket* socket : m_server.findChildren<QTcpSocket*>())
            socket->disconnect();
    }

    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return m_server.serverPort(); }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(port()); }
    QString url(const QString& path) const { return baseUrl() + path; }

    // Answer for paths that have none of their own; 404 unless set.
    void setFallbackResponse(const QByteArray& body, int status)
    {
        m_fallback = Response{status, body};
    }

    void setResponse(const QString& path, const QByteArray& body, int status = 200)
    {
        m_responses.insert(path, Response{status, body});
    }

    const QList<Request>& requests() const { return m_requests; }

    // A port on 127.0.0.1 that nothing listens on: bound, then released.
    static quint16 closedPort()
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0))
            return 0;
        const quint16 port = probe.serverPort();
        probe.close();
        return port;
    }

private:
    void onReadyRead(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const int headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;

        Request request;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.target = requestLine.value(1);
        for (int i = 1; i < lines.size(); ++i) {
            const int colon = lines.at(i).indexOf(':');
            if (colon > 0)
                request.headers.insert(lines.at(i).left(colon).trimmed().toLower(),
                                       lines.at(i).mid(colon + 1).trimmed());
        }
        const int length = request.headers.value("content-length", "0").toInt();
        if (buffer.size() - headerEnd - 4 < length)
            return; // body not complete yet
        request.body = buffer.mid(headerEnd + 4, length);
        m_buffers.remove(socket);
        m_requests.append(request);

        const QString path = QUrl(QString::fromLatin1(request.target)).path();
        const Response response = m_responses.value(path, m_fallback);
        QByteArray answer = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                            (response.status == 200 ? "OK" : "Error") + "\r\n";
        answer += "Content-Type: text/plain\r\n";
        answer += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        answer += "Connection: close\r\n\r\n";
        answer += response.body;
        socket->write(answer);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QString, Response> m_responses;
    Response m_fallback{404, "not found"};
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QList<Request> m_requests;
};
