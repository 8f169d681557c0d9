#include "taveroapplication.h"

#include "app/translation.h"

#include <QDataStream>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileOpenEvent>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMetaMethod>
#include <QRegularExpression>
#include <QScreen>
#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {

// How long a start waits for the running instance to accept it, and how long the running
// instance waits for a message once a start connected.
constexpr int ConnectTimeout = 2000;
constexpr int WriteTimeout = 2000;
constexpr int MessageTimeout = 5000;
// A stale socket answers at once; a live one that is busy gets this long.
constexpr int ProbeTimeout = 500;

const char* const PortableArgument = "--portable";

int g_terminationPipe[2] = {-1, -1};

extern "C" void onTerminationSignalReceived(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_terminationPipe[1], &byte, 1);
}

void handleSignal(int signal, void (*handler)(int))
{
    struct sigaction action
    {
    };
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
}

// A folder that only this user can enter: a real folder (not a link), ours, mode 0700.
bool isPrivateFolder(const QString& path)
{
    struct stat info
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 0777) == 0700;
}

// The user's runtime folder, or a private folder of the user's own under the temporary
// folder. A folder that others can enter is never used: a socket planted there would make
// every start give way to it, and another user's socket could not be removed.
QString privateRuntimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && isPrivateFolder(runtime))
        return QDir::cleanPath(runtime);
    const QString fallback =
        QStringLiteral("%1/%2-%3")
            .arg(QDir::tempPath(), QCoreApplication::applicationName().toLower())
            .arg(::geteuid());
    ::mkdir(QFile::encodeName(fallback).constData(), 0700);
    if (isPrivateFolder(fallback))
        return fallback;
    qWarning() << "No private folder for the instance socket:" << qUtf8Printable(fallback)
               << "is not a folder of this user's alone. Every start opens a new window";
    return QString();
}

// What the socket holds, up to one byte beyond the largest message (which tells too large).
void readUpToCap(QLocalSocket* socket, QByteArray* message)
{
    if (socket->isOpen() && socket->bytesAvailable() > 0)
        message->append(socket->read(TaveroApplication::MaximumMessageSize + 1 - message->size()));
}

} // namespace

TaveroApplication::TaveroApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setObjectName(QStringLiteral("TaveroApplication"));
    if (!testAttribute(Qt::AA_UseHighDpiPixmaps))
        setAttribute(Qt::AA_UseHighDpiPixmaps);
    m_fileToOpenTimer.setSingleShot(true);
    m_fileToOpenTimer.setInterval(1000);
    connect(&m_fileToOpenTimer, &QTimer::timeout, this, &TaveroApplication::checkFileToOpen);
}

TaveroApplication::~TaveroApplication()
{
    setSingleInstance(false);
    if (g_terminationPipe[0] >= 0) {
        for (const int signal : {SIGINT, SIGTERM, SIGHUP})
            ::signal(signal, SIG_DFL);
        delete mp_terminationNotifier;
        ::close(g_terminationPipe[0]);
        ::close(g_terminationPipe[1]);
        g_terminationPipe[0] = g_terminationPipe[1] = -1;
    }
}

QString TaveroApplication::serverBaseName()
{
    static const QRegularExpression unsafe(QStringLiteral("[^\\w\\-. ]"));
    return QStringLiteral("%1_%2_%3")
        .arg(organizationDomain(), organizationName(), applicationName())
        .remove(unsafe);
}

QString TaveroApplication::serverName() const
{
    if (!m_serverNameKnown) {
        m_serverNameKnown = true;
        const QString folder = privateRuntimeFolder();
        if (!folder.isEmpty())
            m_serverName = QStringLiteral("%1/%2").arg(folder, serverBaseName());
    }
    return m_serverName;
}

QStringList TaveroApplication::forwardedArguments(const QStringList& arguments,
                                                  const QString& workingFolder)
{
    const QDir folder(workingFolder);
    QStringList forwarded;
    for (int index = 1; index < arguments.size(); ++index) {
        const QString& argument = arguments.at(index);
        if (argument.isEmpty() || argument == QLatin1String(PortableArgument))
            continue;
        forwarded.append(QDir::cleanPath(folder.absoluteFilePath(argument)));
    }
    return forwarded;
}

QByteArray TaveroApplication::encodeArguments(const QStringList& arguments)
{
    QByteArray message;
    QDataStream stream(&message, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_5_15);
    stream << arguments;
    return message;
}

bool TaveroApplication::decodeArguments(const QByteArray& message, QStringList* arguments)
{
    arguments->clear();
    if (message.size() > MaximumMessageSize)
        return false;
    QDataStream stream(message);
    stream.setVersion(QDataStream::Qt_5_15);
    // Read one by one: the count comes from the other side, and QDataStream would reserve
    // room for all of it at once.
    quint32 count = 0;
    stream >> count;
    // Each string takes at least its four bytes of length.
    if (stream.status() != QDataStream::Ok || count > quint32(message.size()) / 4)
        return false;
    for (quint32 index = 0; index < count; ++index) {
        QString argument;
        stream >> argument;
        if (stream.status() != QDataStream::Ok) {
            arguments->clear();
            return false;
        }
        arguments->append(argument);
    }
    if (!stream.atEnd()) {
        arguments->clear();
        return false;
    }
    return true;
}

bool TaveroApplication::isAnotherInstanceRunning(const QStringList& arguments)
{
    const QString name = serverName();
    if (name.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(ConnectTimeout))
        return false;
    qDebug() << "Another instance of" << name << "exists";
    QByteArray message = encodeArguments(forwardedArguments(arguments, QDir::currentPath()));
    if (message.size() > MaximumMessageSize) {
        qWarning() << "Too many arguments to hand over; the running window is only brought up";
        message = encodeArguments(QStringList());
    }
    socket.write(message);
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(WriteTimeout)) {
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(WriteTimeout);
    return true;
}

void TaveroApplication::setSingleInstance(bool enable)
{
    if (mp_server) {
        mp_server->close();
        delete mp_server;
        mp_server = nullptr;
    }
    if (!enable)
        return;
    const QString name = serverName();
    if (name.isEmpty())
        return;
    // A socket left by an instance that died refuses connections; only then is it removed.
    // One that answers belongs to an instance started meanwhile: it is left alone, since
    // listening would take its name (the socket is made aside and renamed over it).
    {
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(ProbeTimeout)) {
            probe.abort();
            qDebug() << "Another instance listens on" << name << "- this one does not";
            return;
        }
        if (probe.error() == QLocalSocket::ConnectionRefusedError) {
            QLocalServer::removeServer(name);
        } else if (probe.error() != QLocalSocket::ServerNotFoundError) {
            qDebug() << "Cannot tell whether another instance listens on" << name
                     << "- this one does not";
            return;
        }
    }
    mp_server = new QLocalServer(this);
    mp_server->setSocketOptions(QLocalServer::UserAccessOption);
    mp_server->listen(name);
    connect(mp_server, &QLocalServer::newConnection, this,
            &TaveroApplication::onConnectionToLocalServerEstablished);
}

void TaveroApplication::onConnectionToLocalServerEstablished()
{
    if (!mp_server)
        return;
    while (QLocalSocket* socket = mp_server->nextPendingConnection())
        readMessage(socket);
}

void TaveroApplication::readMessage(QLocalSocket* socket)
{
    // The whole message is read before anything is done with it, with a cap on its size
    // and on the time it takes: a client that sends too much or never ends is dropped.
    socket->setReadBufferSize(MaximumMessageSize + 1);
    auto message = std::make_shared<QByteArray>();
    auto done = std::make_shared<bool>(false);
    auto* timer = new QTimer(socket);
    timer->setSingleShot(true);
    auto finish = [this, socket, message, done](bool complete) {
        if (*done)
            return;
        *done = true;
        if (complete)
            readUpToCap(socket, message.get());
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
        if (!complete)
            qWarning() << "Dropped a connection from another instance that sent no complete "
                          "message in time";
        else if (message->size() > MaximumMessageSize)
            qWarning() << "Dropped a message from another instance larger than"
                       << MaximumMessageSize << "bytes";
        else
            handOver(*message);
    };
    connect(socket, &QLocalSocket::readyRead, this, [socket, message, finish] {
        readUpToCap(socket, message.get());
        if (message->size() > MaximumMessageSize)
            finish(true);
    });
    connect(socket, &QLocalSocket::disconnected, this, [finish] { finish(true); });
    connect(timer, &QTimer::timeout, this, [finish] { finish(false); });
    timer->start(MessageTimeout);
    readUpToCap(socket, message.get());
    if (socket->state() == QLocalSocket::UnconnectedState)
        finish(true);
}

void TaveroApplication::handOver(const QByteArray& message)
{
    // A start always sends its list, even an empty one; nothing at all comes from a start
    // that only looked whether this instance is alive.
    if (message.isEmpty())
        return;
    QStringList arguments;
    if (!decodeArguments(message, &arguments)) {
        qWarning() << "Dropped a malformed message from another instance";
        return;
    }
    qDebug() << "New instance is called by user. Show the main window";
    emit showUp();
    if (!arguments.isEmpty()) {
        qDebug() << "Arguments received from another instance:" << arguments;
        emit argumentsReceived(arguments);
    }
}

bool TaveroApplication::event(QEvent* event)
{
    if (event->type() == QEvent::FileOpen) {
        // The desktop may hand over several in a row; the last one is opened, once things
        // have settled.
        m_fileToOpen = static_cast<QFileOpenEvent*>(event)->file();
        m_fileToOpenTimer.start();
    }
    return QApplication::event(event);
}

void TaveroApplication::checkFileToOpen()
{
    if (m_fileToOpen.isEmpty())
        return;
    const QString file = m_fileToOpen;
    m_fileToOpen.clear();
    emit openFileRequest(file);
}

bool TaveroApplication::installLanguage(QTranslator* translator, const QString& path)
{
    return Translation::install(translator, path);
}

TaveroApplication::Placement TaveroApplication::placementFor(QSize available, QSize window)
{
    Placement placement;
    placement.maximized =
        window.width() > available.width() - 100 || window.height() > available.height() - 80;
    placement.position = QPoint(qMax(0, (available.width() - window.width()) / 2),
                                qMax(0, (available.height() - window.height()) / 2));
    return placement;
}

void TaveroApplication::showMainWindow(QWidget* window)
{
    window->show();
    const QScreen* screen = window->screen() ? window->screen() : primaryScreen();
    if (!screen)
        return;
    const Placement placement =
        placementFor(screen->availableGeometry().size(), window->frameGeometry().size());
    if (placement.maximized)
        window->showMaximized();
    else
        window->move(screen->geometry().topLeft() + placement.position);
}

void TaveroApplication::quitOnTerminationSignals()
{
    if (g_terminationPipe[0] >= 0 || ::pipe2(g_terminationPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    mp_terminationNotifier = new QSocketNotifier(g_terminationPipe[0], QSocketNotifier::Read);
    connect(mp_terminationNotifier, &QSocketNotifier::activated, this,
            &TaveroApplication::onTerminationSignal);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        handleSignal(signal, onTerminationSignalReceived);
}

void TaveroApplication::onTerminationSignal()
{
    char byte;
    while (::read(g_terminationPipe[0], &byte, 1) > 0) {
    }
    qDebug() << "Asked to quit by a signal; closing the windows";
    if (isSignalConnected(QMetaMethod::fromSignal(&TaveroApplication::terminationRequested))) {
        emit terminationRequested();
        return;
    }
    // A window that refuses (it asks about a run going on) keeps the program alive.
    closeAllWindows();
    for (const QWidget* widget : topLevelWidgets()) {
        if (widget->isVisible())
            return;
    }
    quit();
}
