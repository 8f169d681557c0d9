#include "app/logger.h"

#include "app/appsettings.h"

#include "base/mutexlocker.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {
std::unique_ptr<Logger>& storage()
{
    static std::unique_ptr<Logger> logger;
    return logger;
}
} // namespace

Logger* Logger::instance()
{
    std::unique_ptr<Logger>& logger = storage();
    if (!logger)
        logger.reset(new Logger());
    return logger.get();
}

void Logger::destroyInstance()
{
    // Closed while still installed, so the closing line reaches the file.
    if (storage())
        storage()->closeLogFile();
    storage().reset();
}

void Logger::messageHandler(QtMsgType type, const QMessageLogContext& context,
                            const QString& message)
{
    Q_UNUSED(context)
    instance()->logMessage(int(type), message);
}

Logger::Logger()
{
    m_stream.setDevice(this);
}

Logger::~Logger()
{
    closeLogFile();
}

QString Logger::levelTag(int level)
{
    switch (level) {
    case QtWarningMsg:
        return QStringLiteral("[WARNING]");
    case QtCriticalMsg:
        return QStringLiteral("[CRITIC]");
    case QtFatalMsg:
        return QStringLiteral("[FATAL]");
    default:
        return QString();
    }
}

QString Logger::formatLine(const LogEntry& entry)
{
    const QString contextPart =
        entry.context.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(entry.context);
    const QString tag = levelTag(entry.level);
    const QString tagPart = tag.isEmpty() ? QStringLiteral(" ") : QStringLiteral(" %1 ").arg(tag);
    return QStringLiteral("[%1]%2%3%4")
        .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")), tagPart,
             entry.message, contextPart);
}

void Logger::logMessage(int level, const QString& message, const QString& context)
{
    if (message.isEmpty())
        return;
    if (level == QtFatalMsg) {
        std::fprintf(stderr, "FATAL ERROR: %s\n", message.toLatin1().constData());
        std::fflush(stderr);
        closeLogFile();
        std::abort();
    }
    if (m_disabled)
        return;

    MutexLocker locker(&m_mutex);
    const LogEntry entry{level, message, context};
    const QString line = formatLine(entry);
    const bool open = isOpen();
    if (open) {
        m_stream << line << Qt::endl;
    } else if (m_echoWhileClosed) {
        std::fprintf(stderr, "%s\n", line.toLatin1().constData());
        std::fflush(stderr);
    }
    if (!m_bufferOnlyWhileClosed || !open)
        appendToBuffer(entry);
}

void Logger::appendToBuffer(const LogEntry& entry)
{
    if (m_buffer.size() > MaximumBufferedEntries)
        m_buffer.removeFirst();
    m_buffer.append(entry);
}

void Logger::setBufferOnlyWhileClosed(bool enable)
{
    MutexLocker locker(&m_mutex);
    m_bufferOnlyWhileClosed = enable;
}

QList<LogEntry> Logger::bufferedEntries() const
{
    MutexLocker locker(&m_mutex);
    return m_buffer;
}

void Logger::clearBuffer()
{
    MutexLocker locker(&m_mutex);
    m_buffer.clear();
}

QList<LogEntry> Logger::takeBufferedEntries()
{
    MutexLocker locker(&m_mutex);
    QList<LogEntry> entries;
    entries.swap(m_buffer);
    return entries;
}

bool Logger::openLogFile(const QString& path)
{
    setFileName(path);
    if (exists()) {
        resizeIfNeeded();
        if (!open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            qWarning() << "Unable to open the existing log file" << qUtf8Printable(path);
            return false;
        }
        // Separates this run from the previous one.
        m_stream << Qt::endl << "*****" << Qt::endl;
    } else if (!open(QIODevice::WriteOnly | QIODevice::Text)) {
        qWarning() << "Unable to open the log file" << qUtf8Printable(path);
        return false;
    }
    if (!writeBuffer())
        return false;
    qDebug() << "Logging to file" << qUtf8Printable(path);
    return true;
}

bool Logger::writeBuffer()
{
    {
        MutexLocker locker(&m_mutex);
        if (isOpen()) {
            for (const LogEntry& entry : qAsConst(m_buffer))
                m_stream << formatLine(entry) << Qt::endl;
            if (m_bufferOnlyWhileClosed)
                appendToBuffer({QtDebugMsg,
                                QStringLiteral("Continue to log in file %1")
                                    .arg(QDir::toNativeSeparators(fileName())),
                                QString()});
            return true;
        }
    }
    qWarning() << "Unable to dump log to the file because it is not opened";
    return false;
}

void Logger::resizeIfNeeded()
{
    const qint64 currentSize = size();
    if (currentSize < m_maximumSize)
        return;
    const QString name = fileName();
    if (!open(QIODevice::ReadOnly)) {
        qWarning() << "Unable to resize log file" << qUtf8Printable(name) << "(read step)";
        return;
    }
    // Only the tail is kept, so only the tail is read.
    const qint64 keep = qBound<qint64>(0, m_minimumSize, currentSize);
    seek(currentSize - keep);
    const QByteArray kept = read(keep);
    close();

    if (!open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        qWarning() << "Unable to resize log file" << qUtf8Printable(name) << "(write step)";
        return;
    }
    {
        QTextStream stream(this);
        stream << "Resized in date " << QDateTime::currentDateTime().toString(Qt::TextDate)
               << Qt::endl
               << "*****" << Qt::endl;
    }
    write(kept);
    close();
    qDebug() << "Log file" << qUtf8Printable(name) << "resized to" << size() << "bytes";
}

void Logger::closeLogFile()
{
    if (!isOpen())
        return;
    qDebug() << "Log file closed";
    MutexLocker locker(&m_mutex);
    m_stream.flush();
    flush();
    close();
}

bool Logger::openFromSettings(AppSettings& settings)
{
    if (!settings.logEnabled()) {
        disable();
        return false;
    }
    setMaximumSize(settings.logMaximumSize() << 20);
    setMinimumSize(settings.logMinimumSize() << 20);
    if (openLogFile(settings.logFilePath()))
        return true;
    const QString defaultPath = settings.defaultLogFilePath();
    qDebug() << "Restore default log path:" << qUtf8Printable(defaultPath);
    if (openLogFile(defaultPath)) {
        // Kept, so that the next start does not try the unusable path again.
        settings.setLogFilePath(defaultPath);
        return true;
    }
    qWarning() << "Unable to log in file path:" << qUtf8Printable(defaultPath);
    return false;
}
