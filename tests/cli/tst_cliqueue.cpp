#include "cliscratch.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include <csignal>
#include <unistd.h>

using TestSupport::CliScratch;

// The queue through the real program: runs on one device one after another, on another
// beside them, and a queue whose runner is killed that comes back and finishes.
class TestCliQueue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void unmount();
    void devicesOrderRuns();
    void killedRunnerComesBack_data();
    void killedRunnerComesBack();

private:
    // A tmpfs of its own at a new folder of the scratch; empty (and skipped) when it cannot be
    // mounted.
    QString mountTmpfs(const CliScratch& scratch, const QString& name, const QString& size);
    QJsonArray list(const CliScratch& scratch);

    QStringList m_mounts;
};

namespace {

// The digest of every file written, by name below its run's source.
QHash<QString, QByteArray> g_written;

void writeRandomFile(const QString& path, qint64 size)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QFile file(path);
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (qint64 written = 0; written < size; written += block.size()) {
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(block.data()),
                                              block.size() / 4);
        const qint64 length = qMin<qint64>(block.size(), size - written);
        file.write(block.constData(), length);
        hash.addData(block.constData(), int(length));
    }
    g_written.insert(path, hash.result());
}

QByteArray digestOf(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

// Every file written to source is in destination, whole.
bool arrived(const QString& source, const QString& destination)
{
    int count = 0;
    for (auto it = g_written.cbegin(); it != g_written.cend(); ++it) {
        if (!it.key().startsWith(source + '/'))
            continue;
        ++count;
        if (digestOf(destination + it.key().mid(source.size())) != it.value())
            return false;
    }
    return count > 0 && QDir(destination).entryList(QDir::Files).size() == count;
}

QString queuedId(QProcess* process, QByteArray* out)
{
    *out += process->readAllStandardOutput();
    const QRegularExpressionMatch match =
        QRegularExpression("Queued as ([0-9a-f]{16})").match(QString::fromUtf8(*out));
    return match.captured(1);
}

} // namespace

void TestCliQueue::initTestCase()
{
    TestSupport::initTestEnvironment();
    if (CliScratch::program().isEmpty())
        QSKIP("BRINDLE_CLI does not name the program");
}

void TestCliQueue::cleanup()
{
    g_written.clear();
    unmount();
}

void TestCliQueue::unmount()
{
    for (const QString& mount : qAsConst(m_mounts))
        QProcess::execute("umount", {"-l", mount});
    m_mounts.clear();
}

QString TestCliQueue::mountTmpfs(const CliScratch& scratch, const QString& name,
                                 const QString& size)
{
    const QString path = scratch.filePath(name);
    QDir().mkpath(path);
    if (::geteuid() != 0 ||
        QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=" + size, "tmpfs", path}) != 0)
        return QString();
    m_mounts.append(path);
    return path;
}

QJsonArray TestCliQueue::list(const CliScratch& scratch)
{
    return scratch.run({"queue", "list", "--json"}).json.value("runs").toArray();
}

void TestCliQueue::devicesOrderRuns()
{
    CliScratch scratch;
    const auto unmounted = qScopeGuard([this] { unmount(); });
    const QString x = mountTmpfs(scratch, "x", "900m");
    const QString y = mountTmpfs(scratch, "y", "64m");
    if (x.isEmpty() || y.isEmpty())
        QSKIP("Needs root to mount two tmpfs");
    writeRandomFile(x + "/src1/big", 384 << 20);
    writeRandomFile(x + "/src2/a", 1 << 20);
    writeRandomFile(y + "/src3/a", 1 << 20);

    std::unique_ptr<QProcess> runner(
        scratch.start({"copy", x + "/src1", x + "/d1", "--queue", "--force"}));
    QByteArray out;
    QString first;
    QTRY_VERIFY_WITH_TIMEOUT(
        !(first = queuedId(runner.get(), &out)).isEmpty() && out.contains("Started"), 20000);
    // Held, the first run keeps its device: a second run there waits, one elsewhere goes.
    QCOMPARE(scratch.run({"queue", "pause", first}).exitCode, 0);
    if (list(scratch).at(0).toObject().value("state") != "paused")
        QSKIP("The first run ended before it could be held");
    QCOMPARE(scratch.run({"copy", x + "/src2", x + "/d2", "--queue"}).exitCode, 0);
    QCOMPARE(scratch.run({"copy", y + "/src3", y + "/d3", "--queue"}).exitCode, 0);
    QTRY_COMPARE_WITH_TIMEOUT(list(scratch).at(2).toObject().value("state").toString(),
                              QString("done"), 20000);
    QCOMPARE(list(scratch).at(1).toObject().value("state").toString(), QString("queued"));
    QCOMPARE(scratch.run({"queue", "continue", first}).exitCode, 0);
    QVERIFY(runner->waitForFinished(120000));
    QCOMPARE(runner->exitCode(), 0);

    const QJsonArray runs = list(scratch);
    QCOMPARE(runs.size(), 3);
    const auto at = [&runs](int i, const char* key) {
        return qint64(runs.at(i).toObject().value(key).toDouble());
    };
    for (int i = 0; i < 3; ++i)
        QCOMPARE(runs.at(i).toObject().value("state").toString(), QString("done"));
    QVERIFY2(at(1, "started") >= at(0, "ended"), "one device: one after another");
    QVERIFY2(at(2, "started") < at(0, "ended") && at(2, "ended") < at(0, "ended"),
             "another device: beside it");
    for (const QString& run :
         {x + "/src1|" + x + "/d1", x + "/src2|" + x + "/d2", y + "/src3|" + y + "/d3"})
        QVERIFY2(arrived(run.section('|', 0, 0), run.section('|', 1, 1)), qPrintable(run));
}

void TestCliQueue::killedRunnerComesBack_data()
{
    QTest::addColumn<bool>("killRuns");
    QTest::newRow("runner killed, its runs save their place") << false;
    QTest::newRow("runner and runs killed, as in a crash") << true;
}

void TestCliQueue::killedRunnerComesBack()
{
    QFETCH(bool, killRuns);
    CliScratch scratch;
    const auto unmounted = qScopeGuard([this] { unmount(); });
    const QString x = mountTmpfs(scratch, "x", "900m");
    // Without a mount the runs go one after another in the scratch all the same.
    const QString root = x.isEmpty() ? scratch.filePath("x") : x;
    for (int run = 0; run < 3; ++run) {
        for (int file = 0; file < 24; ++file)
            writeRandomFile(QStringLiteral("%1/src%2/f%3").arg(root).arg(run).arg(file), 4 << 20);
    }
    std::unique_ptr<QProcess> runner(
        scratch.start({"copy", root + "/src0", root + "/d0", "--queue", "--quiet"}));
    QTRY_COMPARE_WITH_TIMEOUT(list(scratch).size(), 1, 20000);
    for (int run = 1; run < 3; ++run)
        QCOMPARE(scratch
                     .run({"move", QStringLiteral("%1/src%2").arg(root).arg(run),
                           QStringLiteral("%1/d%2").arg(root).arg(run), "--queue"})
                     .exitCode,
                 0);
    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("seed %u", seed);
    QRandomGenerator random(seed);
    const qint64 total = 3 * 24 * (4 << 20);
    for (int kill = 0; kill < 4; ++kill) {
        // A random point of the queue's bytes, as far as the runs tell them.
        const qint64 point = qint64(random.bounded(double(total / 5))) + kill * total / 5;
        const auto done = [&] {
            qint64 bytes = 0;
            for (const QJsonValue& run : list(scratch)) {
                const QString state = run.toObject().value("state").toString();
                bytes += state == "done" ? 24 * (4 << 20)
                                         : qint64(run.toObject().value("bytesDone").toDouble());
            }
            return bytes;
        };
        QTRY_VERIFY_WITH_TIMEOUT(done() >= point || runner->state() == QProcess::NotRunning, 60000);
        if (runner->state() == QProcess::NotRunning)
            break;
        const QJsonArray runs = list(scratch);
        ::kill(pid_t(runner->processId()), SIGKILL);
        if (killRuns) {
            for (const QJsonValue& run : runs) {
                if (const qint64 pid = qint64(run.toObject().value("pid").toDouble()))
                    ::kill(pid_t(pid), SIGKILL);
            }
        }
        QVERIFY(runner->state() == QProcess::NotRunning || runner->waitForFinished(10000));
        runner.reset(scratch.start({"queue", "run", "--quiet"}));
    }
    QVERIFY(runner->state() == QProcess::NotRunning || runner->waitForFinished(180000));
    QCOMPARE(runner->exitCode(), 0);

    const QJsonArray runs = list(scratch);
    QCOMPARE(runs.size(), 3);
    for (int run = 0; run < 3; ++run) {
        const QJsonObject entry = runs.at(run).toObject();
        QCOMPARE(entry.value("state").toString(), QString("done"));
        QVERIFY(entry.value("destination").toString().endsWith(QString("/d%1").arg(run)));
        if (run > 0)
            QVERIFY(entry.value("started").toDouble() >= runs.at(run - 1)["ended"].toDouble());
    }
    // Nothing lost: the copy is whole, and a moved file is at its destination, once.
    for (int run = 0; run < 3; ++run)
        QVERIFY(arrived(QStringLiteral("%1/src%2").arg(root).arg(run),
                        QStringLiteral("%1/d%2").arg(root).arg(run)));
    for (int run = 1; run < 3; ++run)
        QVERIFY(
            QDir(QStringLiteral("%1/src%2").arg(root).arg(run)).entryList(QDir::Files).isEmpty());
}

QTEST_GUILESS_MAIN(TestCliQueue)
#include "tst_cliqueue.moc"
