#include "app/logger.h"
#include "testsupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString Stamp = QStringLiteral("\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\]");

// Checks that text consists of exactly these lines, where each expected line is a
// regular expression that "STAMP" stands in for the time stamp.
bool linesMatch(const QString& text, const QStringList& expected, QString* why)
{
    const QStringList lines = text.split('\n');
    if (lines.size() != expected.size()) {
        *why = QStringLiteral("%1 lines instead of %2:\n%3")
                   .arg(lines.size())
                   .arg(expected.size())
                   .arg(text);
        return false;
    }
    for (int i = 0; i < lines.size(); ++i) {
        QString pattern = expected.at(i);
        pattern.replace(QLatin1String("STAMP"), Stamp);
        if (!QRegularExpression(QStringLiteral("\\A%1\\z").arg(pattern))
                 .match(lines.at(i))
                 .hasMatch()) {
            *why =
                QStringLiteral("line %1 is \"%2\", expected /%3/").arg(i).arg(lines.at(i), pattern);
            return false;
        }
    }
    return true;
}

QString fileText(const QString& path)
{
    return QString::fromUtf8(TestSupport::readFile(path));
}

} // namespace

class TestLogger : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void formatLine_data();
    void formatLine();
    void emptyMessageIgnored();
    void bufferedLinesWrittenAtOpen();
    void bufferKeptWhenNotBufferingOnlyWhileClosed();
    void takeBufferedEntriesEmptiesBuffer();
    void existingFileGetsSeparator();
    void resize_data();
    void resize();
    void openFailures();
    void disabledDropsEverything();
    void bufferBound();
    void concurrentWritersNeverInterleave();
    void handlerRoutesQtMessages();
    void fatalAborts_data();
    void fatalAborts();
    void fatalChild();

private:
    QTemporaryDir m_dir;
};

void TestLogger::initTestCase()
{
    TestSupport::initTestEnvironment();
    QVERIFY(m_dir.isValid());
}

void TestLogger::cleanup()
{
    Logger::destroyInstance();
}

void TestLogger::formatLine_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("expected");

    QTest::newRow("debug") << 0 << QString() << "STAMP hello world";
    QTest::newRow("warning") << 1 << QString() << "STAMP \\[WARNING\\] hello world";
    QTest::newRow("critical") << 2 << QString() << "STAMP \\[CRITIC\\] hello world";
    QTest::newRow("fatal") << 3 << QString() << "STAMP \\[FATAL\\] hello world";
    QTest::newRow("info is untagged") << 4 << QString() << "STAMP hello world";
    QTest::newRow("unknown is untagged") << -7 << QString() << "STAMP hello world";
    QTest::newRow("context") << 1 << "ctx"
                             << "STAMP \\[WARNING\\] hello world \\(ctx\\)";
}

void TestLogger::formatLine()
{
    QFETCH(int, level);
    QFETCH(QString, context);
    QFETCH(QString, expected);
    QString why;
    QVERIFY2(linesMatch(Logger::formatLine({level, "hello world", context}), {expected}, &why),
             qPrintable(why));
}

void TestLogger::emptyMessageIgnored()
{
    Logger* logger = Logger::instance();
    logger->logMessage(QtDebugMsg, QString());
    logger->logMessage(QtWarningMsg, QLatin1String(""));
    QVERIFY(logger->bufferedEntries().isEmpty());
}

void TestLogger::bufferedLinesWrittenAtOpen()
{
    const QString path = m_dir.filePath("buffered.txt");
    Logger* logger = Logger::instance();
    logger->setBufferOnlyWhileClosed(true);
    logger->logMessage(QtDebugMsg, "first");
    logger->logMessage(QtWarningMsg, "second");

    QTest::ignoreMessage(QtDebugMsg, qPrintable("Logging to file " + path));
    QVERIFY(logger->openLogFile(path));
    logger->logMessage(QtDebugMsg, "after open");

    // The open adds where the log goes on; later messages stay out of the buffer.
    const QList<LogEntry> buffered = logger->bufferedEntries();
    QCOMPARE(buffered.size(), 3);
    QCOMPARE(buffered.last().message, "Continue to log in file " + path);

    QTest::ignoreMessage(QtDebugMsg, "Log file closed");
    Logger::destroyInstance();
    QString why;
    QVERIFY2(linesMatch(fileText(path),
                        {"STAMP first", "STAMP \\[WARNING\\] second", "STAMP after open", ""},
                        &why),
             qPrintable(why));
}

void TestLogger::bufferKeptWhenNotBufferingOnlyWhileClosed()
{
    const QString path = m_dir.filePath("always-buffered.txt");
    Logger* logger = Logger::instance();
    logger->logMessage(QtDebugMsg, "before");
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Logging to file " + path));
    QVERIFY(logger->openLogFile(path));
    logger->logMessage(QtDebugMsg, "after");
    const QList<LogEntry> buffered = logger->bufferedEntries();
    QCOMPARE(buffered.size(), 2);
    QCOMPARE(buffered.at(1).message, QStringLiteral("after"));
    logger->clearBuffer();
    QVERIFY(logger->bufferedEntries().isEmpty());
}

void TestLogger::takeBufferedEntriesEmptiesBuffer()
{
    Logger* logger = Logger::instance();
    logger->setEchoWhileClosed(false);
    logger->logMessage(QtDebugMsg, "one");
    logger->logMessage(QtWarningMsg, "two");
    const QList<LogEntry> taken = logger->takeBufferedEntries();
    QCOMPARE(taken.size(), 2);
    QCOMPARE(taken.at(1).message, QStringLiteral("two"));
    QVERIFY(logger->takeBufferedEntries().isEmpty());
}

void TestLogger::existingFileGetsSeparator()
{
    const QString path = m_dir.filePath("existing.txt");
    QVERIFY(TestSupport::writeFile(path, "old run\n"));
    Logger* logger = Logger::instance();
    logger->setMaximumSize(1 << 20);
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Logging to file " + path));
    QVERIFY(logger->openLogFile(path));
    logger->logMessage(QtDebugMsg, "new run");
    QTest::ignoreMessage(QtDebugMsg, "Log file closed");
    Logger::destroyInstance();
    QString why;
    QVERIFY2(
        linesMatch(fileText(path), {"old run", "", "\\*\\*\\*\\*\\*", "STAMP new run", ""}, &why),
        qPrintable(why));
}

void TestLogger::resize_data()
{
    QTest::addColumn<int>("fileSize");
    QTest::addColumn<bool>("resized");
    // Maximum 100 bytes, minimum 30.
    QTest::newRow("exactly the maximum") << 100 << true;
    QTest::newRow("one byte under") << 99 << false;
    QTest::newRow("far above") << 5000 << true;
}

void TestLogger::resize()
{
    QFETCH(int, fileSize);
    QFETCH(bool, resized);

    const QString path = m_dir.filePath(QStringLiteral("resize-%1.txt").arg(fileSize));
    QByteArray content;
    for (int i = 0; i < fileSize; ++i)
        content.append(char('a' + i % 26));
    QVERIFY(TestSupport::writeFile(path, content));

    Logger* logger = Logger::instance();
    logger->setMaximumSize(100);
    logger->setMinimumSize(30);
    if (resized)
        QTest::ignoreMessage(
            QtDebugMsg, QRegularExpression(QStringLiteral("^Log file %1 resized to \\d+ bytes$")
                                               .arg(QRegularExpression::escape(path))));
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Logging to file " + path));
    QVERIFY(logger->openLogFile(path));
    QTest::ignoreMessage(QtDebugMsg, "Log file closed");
    Logger::destroyInstance();

    const QString text = fileText(path);
    QString why;
    if (resized) {
        const QString tail = QString::fromLatin1(content.right(30));
        QVERIFY2(linesMatch(text,
                            {"Resized in date \\w+ \\w+ \\d+ \\d\\d:\\d\\d:\\d\\d \\d{4}",
                             "\\*\\*\\*\\*\\*", tail, "\\*\\*\\*\\*\\*", ""},
                            &why),
                 qPrintable(why));
    } else {
        QCOMPARE(text, QString::fromLatin1(content) + "\n*****\n");
    }
}

void TestLogger::openFailures()
{
    Logger* logger = Logger::instance();
    const QString missing = m_dir.filePath("no/such/folder/log.txt");
    QTest::ignoreMessage(QtWarningMsg, qPrintable("Unable to open the log file " + missing));
    QVERIFY(!logger->openLogFile(missing));
    QVERIFY(!logger->isOpen());
}

void TestLogger::disabledDropsEverything()
{
    const QString path = m_dir.filePath("disabled.txt");
    Logger* logger = Logger::instance();
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Logging to file " + path));
    QVERIFY(logger->openLogFile(path));
    logger->disable();
    logger->logMessage(QtWarningMsg, "dropped");
    QVERIFY(logger->bufferedEntries().isEmpty());
    QTest::ignoreMessage(QtDebugMsg, "Log file closed");
    Logger::destroyInstance();
    QCOMPARE(fileText(path), QString());
}

void TestLogger::bufferBound()
{
    Logger* logger = Logger::instance();
    // Each buffered line also goes to standard error: silence it for the duration.
    std::fflush(stderr);
    const int savedStderr = ::dup(2);
    const int devNull = ::open("/dev/null", O_WRONLY);
    ::dup2(devNull, 2);
    for (int i = 0; i < Logger::MaximumBufferedEntries + 5; ++i)
        logger->logMessage(QtDebugMsg, QString::number(i));
    const QList<LogEntry> full = logger->bufferedEntries();
    ::dup2(savedStderr, 2);
    ::close(savedStderr);
    ::close(devNull);
    QCOMPARE(full.size(), Logger::MaximumBufferedEntries + 1);
    QCOMPARE(full.first().message, QStringLiteral("4"));
    QCOMPARE(full.last().message, QString::number(Logger::MaximumBufferedEntries + 4));
}

void TestLogger::concurrentWritersNeverInterleave()
{
    const QString path = m_dir.filePath("threads.txt");
    Logger* logger = Logger::instance();
    logger->setBufferOnlyWhileClosed(true);
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Logging to file " + path));
    QVERIFY(logger->openLogFile(path));

    const int threads = 4;
    const int perThread = 500;
    QList<QThread*> workers;
    for (int t = 0; t < threads; ++t) {
        workers.append(QThread::create([logger, t] {
            for (int i = 0; i < perThread; ++i)
                logger->logMessage(QtWarningMsg, QStringLiteral("thread %1 line %2").arg(t).arg(i));
        }));
        workers.last()->start();
    }
    for (QThread* worker : qAsConst(workers)) {
        QVERIFY(worker->wait(30000));
        delete worker;
    }
    QTest::ignoreMessage(QtDebugMsg, "Log file closed");
    Logger::destroyInstance();

    const QStringList lines = fileText(path).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), threads * perThread);
    const QRegularExpression whole(
        QStringLiteral("\\A%1 \\[WARNING\\] thread \\d line \\d+\\z").arg(Stamp));
    for (const QString& line : lines)
        QVERIFY2(whole.match(line).hasMatch(), qPrintable(line));
}

void TestLogger::handlerRoutesQtMessages()
{
    const QString path = m_dir.filePath("handler.txt");
    Logger* logger = Logger::instance();
    QtMessageHandler previous = qInstallMessageHandler(Logger::messageHandler);
    const bool opened = logger->openLogFile(path);
    qWarning() << "routed" << 42;
    qDebug() << "Path" << qUtf8Printable("/a b/c");
    Logger::destroyInstance();
    qInstallMessageHandler(previous);
    QVERIFY(opened);

    QString why;
    QVERIFY2(linesMatch(fileText(path),
                        {"STAMP Logging to file " + QRegularExpression::escape(path),
                         "STAMP \\[WARNING\\] routed 42", "STAMP Path /a b/c",
                         "STAMP Log file closed", ""},
                        &why),
             qPrintable(why));
}

void TestLogger::fatalAborts_data()
{
    QTest::addColumn<bool>("disabled");
    QTest::newRow("enabled") << false;
    QTest::newRow("disabled") << true;
}

void TestLogger::fatalAborts()
{
    if (qEnvironmentVariableIsSet("BRINDLE_LOGGER_FATAL"))
        QSKIP("runs in the parent only");
    QFETCH(bool, disabled);

    const QString path = m_dir.filePath(QStringLiteral("fatal-%1.txt").arg(disabled));
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("BRINDLE_LOGGER_FATAL", path);
    environment.insert("BRINDLE_LOGGER_DISABLED", disabled ? "1" : "0");
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {"fatalChild"});
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QVERIFY(child.readAllStandardError().contains("FATAL ERROR: it is over\n"));

    QString why;
    const QStringList expected =
        disabled ? QStringList{""} : QStringList{"STAMP before", "STAMP Log file closed", ""};
    QVERIFY2(linesMatch(fileText(path), expected, &why), qPrintable(why));
}

void TestLogger::fatalChild()
{
    const QString path = qEnvironmentVariable("BRINDLE_LOGGER_FATAL");
    if (path.isEmpty())
        QSKIP("started by fatalAborts");
    Logger* logger = Logger::instance();
    logger->setBufferOnlyWhileClosed(true);
    QVERIFY(logger->openLogFile(path));
    qInstallMessageHandler(Logger::messageHandler);
    if (qEnvironmentVariable("BRINDLE_LOGGER_DISABLED") == QLatin1String("1"))
        logger->disable();
    qDebug() << "before";
    logger->logMessage(QtFatalMsg, "it is over");
    QFAIL("the fatal message must abort the process");
}

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
