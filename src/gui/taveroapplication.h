#pragma once

#include <QApplication>
#include <QPoint>
#include <QSize>
#include <QStringList>
#include <QTimer>

class QLocalServer;
class QLocalSocket;
class QSocketNotifier;
class QTranslator;

// The window program's application object. Besides Qt's own work it keeps the program to
// one instance per user: the first start listens on a local socket in the user's private
// runtime folder, and a later start hands its arguments over to it and quits. It also turns
// a file handed over by the desktop into a request to open it, installs the translation and
// places the main window on the screen.
class TaveroApplication : public QApplication
{
    Q_OBJECT

public:
    // Where a window goes on a screen whose available area has the given size.
    struct Placement
    {
        bool maximized = false;
        QPoint position;
    };

    // The largest message another instance may hand over.
    static constexpr int MaximumMessageSize = 1 << 20;

    TaveroApplication(int& argc, char** argv);
    ~TaveroApplication() override;

    // Whether an instance of the program already listens for this user. When one does,
    // the arguments (the command line as arguments() gives it) are handed over to it,
    // their paths made absolute against the working folder.
    bool isAnotherInstanceRunning(const QStringList& arguments);
    // Listens for later starts (or stops listening).
    void setSingleInstance(bool enable);
    // The full path of the socket the instances meet on; empty when the user has no private
    // folder to keep it in.
    QString serverName() const;
    // The socket's file name: organisation domain, organisation and application names.
    static QString serverBaseName();

    // True when the translation of path was loaded and installed (with Qt's own, when the
    // system has it for that language).
    bool installLanguage(QTranslator* translator, const QString& path);
    // Shows the window centred on its screen, or maximized when it hardly fits.
    void showMainWindow(QWidget* window);
    static Placement placementFor(QSize available, QSize window);

    // What is handed over to the running instance: the arguments without the program path
    // and "--portable", each path made absolute against workingFolder.
    static QStringList forwardedArguments(const QStringList& arguments,
                                          const QString& workingFolder);
    // The message that carries arguments, and its reading; false for a message that is
    // malformed or larger than MaximumMessageSize.
    static QByteArray encodeArguments(const QStringList& arguments);
    static bool decodeArguments(const QByteArray& message, QStringList* arguments);

    // SIGTERM, SIGINT and SIGHUP close the windows and end the event loop, so that the
    // settings are saved as after a close by the user.
    void quitOnTerminationSignals();

signals:
    void showUp();
    void openFileRequest(const QString& file);
    void argumentsReceived(const QStringList& arguments);
    // A termination signal came: the session ends or someone asked the program to quit.
    // Without a receiver the windows are closed as a user would close them.
    void terminationRequested();

public slots:
    void onConnectionToLocalServerEstablished();
    void checkFileToOpen();

protected:
    bool event(QEvent* event) override;

private:
    void readMessage(QLocalSocket* socket);
    void handOver(const QByteArray& message);
    void onTerminationSignal();

    QLocalServer* mp_server = nullptr;
    QString m_fileToOpen;
    QTimer m_fileToOpenTimer;
    QSocketNotifier* mp_terminationNotifier = nullptr;
    mutable QString m_serverName;
    mutable bool m_serverNameKnown = false;
};
