#pragma once

#include <QFile>
#include <QList>
#include <QMutex>
#include <QString>
#include <QTextStream>

#include <atomic>

class AppSettings;

// One message as the logger keeps it in its buffer.
struct LogEntry
{
    int level = 0; // QtMsgType: 0 debug, 1 warning, 2 critical, 3 fatal
    QString message;
    QString context;
};

// Receives every diagnostic of the program through the Qt message handler, stamps it
// and writes it to the log file. Until the file is open, messages go to standard
// error and into a bounded buffer, which is written into the file when it opens.
//
// Messages arrive from every thread: one mutex serialises formatting, writing and the
// buffer, so lines never interleave. No warning is ever issued while it is held (a
// warning comes back into this object and would deadlock).
class Logger : public QFile
{
    Q_OBJECT

public:
    // The buffer never holds more than this many entries plus one.
    static constexpr int MaximumBufferedEntries = 10000;

    static Logger* instance();
    // Closes the file and destroys the logger; a later message creates a new one.
    static void destroyInstance();
    // The function to give to qInstallMessageHandler.
    static void messageHandler(QtMsgType type, const QMessageLogContext& context,
                               const QString& message);

    ~Logger() override;

    void logMessage(int level, const QString& message, const QString& context = QString());
    static QString formatLine(const LogEntry& entry);
    static QString levelTag(int level);

    void setBufferOnlyWhileClosed(bool enable);
    void setMaximumSize(qint64 bytes) { m_maximumSize = bytes; }
    void setMinimumSize(qint64 bytes) { m_minimumSize = bytes; }
    qint64 maximumSize() const { return m_maximumSize; }
    qint64 minimumSize() const { return m_minimumSize; }

    bool openLogFile(const QString& path);
    // Opens the log file the settings name, or the default one when that fails (which then
    // becomes the settings' path), with their size limits; disables the logger when the
    // settings turn logging off. False when no file is open.
    bool openFromSettings(AppSettings& settings);
    void closeLogFile();
    void disable() { m_disabled = true; }
    // While the file is closed messages are also echoed on standard error; a program
    // that owns the terminal (the command line) turns that off.
    void setEchoWhileClosed(bool echo) { m_echoWhileClosed = echo; }
    bool isDisabled() const { return m_disabled; }

    QList<LogEntry> bufferedEntries() const;
    void clearBuffer();
    // The buffered entries, oldest first, and an empty buffer, under one lock: a message
    // logged meanwhile is either returned now or kept for the next call, never lost.
    QList<LogEntry> takeBufferedEntries();

private:
    Logger();

    void resizeIfNeeded();
    bool writeBuffer();
    void appendToBuffer(const LogEntry& entry);

    QTextStream m_stream;
    QList<LogEntry> m_buffer;
    bool m_bufferOnlyWhileClosed = false; // guarded by m_mutex
    std::atomic<bool> m_disabled{false};
    std::atomic<bool> m_echoWhileClosed{true};
    std::atomic<qint64> m_maximumSize{0};
    std::atomic<qint64> m_minimumSize{0};
    mutable QMutex m_mutex;
};
