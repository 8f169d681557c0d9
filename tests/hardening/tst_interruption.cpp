#include "cliscratch.h"
#include "readgate.h"
#include "testsupport.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Bigger than the size from which the native copy reports its own progress.
const qint64 bigFileSize = 300 * 1024 * 1024;

using Result = TestSupport::CliScratch::Result;

// The copier's temporary name for target,
// ".<target>.<random>.<pid>-<start ticks>.brindle-part", written here
// independently of the program's own code.
QString temporaryTargetOf(const QString& fileName)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\.(.+)\\.[0-9a-z]{1,10}\\.[0-9]+-[0-9]+\\.brindle-part$"));
    const QRegularExpressionMatch match = pattern.match(fileName);
    return match.hasMatch() ? match.captured(1) : QString();
}

bool sameContent(const QString& a, const QString& b)
{
    QFile fa(a);
    QFile fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.size() != fb.size())
        return false;
    while (!fa.atEnd()) {
        if (fa.read(4 << 20) != fb.read(4 << 20))
            return false;
    }
    return true;
}

using TestSupport::filesBelow;
using TestSupport::treeOf;

// Size of a regular file below folder that process pid holds open (a copy on its way),
// or -1. Files created without a name show up through their descriptor too.
qint64 openFileSizeBelow(qint64 pid, const QString& folder)
{
    const QString descriptors = QStringLiteral("/proc/%1/fd").arg(pid);
    const QStringList names =
        QDir(descriptors).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QString link = descriptors + QLatin1Char('/') + name;
        char target[4096];
        const ssize_t length =
            ::readlink(QFile::encodeName(link).constData(), target, sizeof target - 1);
        if (length <= 0)
            continue;
        if (!QFile::decodeName(QByteArray(target, int(length))).startsWith(folder + '/'))
            continue;
        struct stat status;
        if (::stat(QFile::encodeName(link).constData(), &status) == 0 && S_ISREG(status.st_mode))
            return status.st_size;
    }
    return -1;
}

quint64 inodeOf(const QString& path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
}

// Kills the process held by the gate and lets the gate go.
bool killHeld(QProcess* process, TestSupport::ReadGate* gate)
{
    ::kill(pid_t(process->processId()), SIGKILL);
    const bool killed =
        process->waitForFinished(30000) && process->exitStatus() == QProcess::CrashExit;
    return gate->open() && killed;
}

void setModified(const QString& path, const QDateTime& time)
{
    struct timespec times[2];
    const qint64 ms = time.toMSecsSinceEpoch();
    times[0].tv_sec = times[1].tv_sec = ms / 1000;
    times[0].tv_nsec = times[1].tv_nsec = (ms % 1000) * 1000000;
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW),
             0);
}

} // namespace

// Kills brindle-cli in the middle of a copy: nothing partial may carry a final name, the
// same copy run again completes it, and the leftovers of the killed run go away.
class TestInterruption : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void killedLargeFileCopy_data();
    void killedLargeFileCopy();
    void pausedCopyGoesOnFromItsPlace_data();
    void pausedCopyGoesOnFromItsPlace();
    void killedTreeRun_data();
    void killedTreeRun();
    void movesAgainOverItsOwnCopies_data();
    void movesAgainOverItsOwnCopies();
    void removesOnlyStaleLeftovers_data();
    void removesOnlyStaleLeftovers();

private:
    QProcess* start(const QStringList& arguments);
    Result run(const QStringList& arguments);

    QTemporaryDir m_shared;
    QString m_bigFile;
    std::unique_ptr<TestSupport::CliScratch> m_dir;
};

void TestInterruption::initTestCase()
{
    QVERIFY2(!TestSupport::CliScratch::program().isEmpty(),
             "BRINDLE_CLI must name the built program");
    QVERIFY(m_shared.isValid());

    // Every mebibyte differs from the others, so that a misplaced block would show.
    m_bigFile = m_shared.filePath(QStringLiteral("big.bin"));
    QFile file(m_bigFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVector<quint32> words(1 << 18);
    QRandomGenerator(7).fillRange(words.data(), words.size());
    for (qint64 written = 0; written < bigFileSize; written += 1 << 20) {
        words[0] = quint32(written >> 20);
        QCOMPARE(file.write(reinterpret_cast<const char*>(words.constData()), 1 << 20),
                 qint64(1 << 20));
    }
    file.close();
}

void TestInterruption::init()
{
    m_dir = std::make_unique<TestSupport::CliScratch>();
    QVERIFY(m_dir->isValid());
}

QProcess* TestInterruption::start(const QStringList& arguments)
{
    return m_dir->start(arguments, this);
}

Result TestInterruption::run(const QStringList& arguments)
{
    return m_dir->run(arguments + QStringList{"--json"});
}

void TestInterruption::killedLargeFileCopy_data()
{
    QTest::addColumn<QStringList>("method");
    QTest::addColumn<int>("readsBeforeKill"); // the source's reads let through
    QTest::newRow("default method") << QStringList() << 2;
    // Qt hands the whole file to the kernel in one call: it is killed before that call,
    // with its copy begun but still empty.
    QTest::newRow("qt method") << QStringList{"--method", "qt"} << 0;
    QTest::newRow("simple method") << QStringList{"--method", "simple"} << 2;
}

void TestInterruption::killedLargeFileCopy()
{
    QFETCH(QStringList, method);
    QFETCH(int, readsBeforeKill);
    const QString destination = m_dir->filePath("dest");
    QVERIFY(QDir().mkpath(destination));
    const QString copy = destination + "/big.bin";

    TestSupport::ReadGate gate(m_shared.path(), TestSupport::ReadGate::Event::Read);
    if (!gate.isValid())
        QSKIP(qPrintable(gate.skipReason()));
    gate.holdAfter(readsBeforeKill);
    std::unique_ptr<QProcess> process(
        start(QStringList{"copy", m_bigFile, destination, "--threads", "1"} + method));
    QVERIFY(process->waitForStarted());
    QVERIFY2(gate.waitUntilHolding(), "the copy never read its source");
    // Killed with the data on its way: the file being written holds some of it, not all.
    const qint64 size = openFileSizeBelow(process->processId(), destination);
    QVERIFY2(size >= qMin(readsBeforeKill, 1) && size < bigFileSize,
             qPrintable(QString::number(size)));
    QVERIFY(killHeld(process.get(), &gate));

    QVERIFY2(!QFileInfo::exists(copy), "a partial file took the final name");
    QStringList leftovers = filesBelow(destination);
    for (const QString& leftover : qAsConst(leftovers))
        QCOMPARE(temporaryTargetOf(leftover), QStringLiteral("big.bin"));

    const Result again = run(QStringList{"copy", m_bigFile, destination} + method);
    QVERIFY2(again.exitCode == 0, qPrintable(again.out + again.err));
    QCOMPARE(again.json.value("copiedFiles").toInt(), 1);
    QVERIFY(sameContent(m_bigFile, copy));
    // The killed run's temporary file is gone with it.
    QCOMPARE(filesBelow(destination), QStringList{"big.bin"});

    const Result verify = run({"verify", m_bigFile, destination});
    QVERIFY2(verify.exitCode == 0, qPrintable(verify.out + verify.err));
    QCOMPARE(verify.json.value("checkedFiles").toInt(), 1);
}

void TestInterruption::pausedCopyGoesOnFromItsPlace_data()
{
    QTest::addColumn<QStringList>("method");
    QTest::newRow("default method") << QStringList();
    QTest::newRow("simple method") << QStringList{"--method", "simple"};
}

// Ctrl-Z halts the run mid-file and the process, fg lets it go on from the same byte of the
// same file: no second copy, no new walk.
void TestInterruption::pausedCopyGoesOnFromItsPlace()
{
    QFETCH(QStringList, method);
    const QString destination = m_dir->filePath("dest");
    QVERIFY(QDir().mkpath(destination));
    TestSupport::ReadGate gate(m_shared.path(), TestSupport::ReadGate::Event::Read);
    if (!gate.isValid())
        QSKIP(qPrintable(gate.skipReason()));
    gate.holdAfter(2);
    std::unique_ptr<QProcess> process(
        start(QStringList{"copy", m_bigFile, destination, "--threads", "1", "--json"} + method));
    QVERIFY(process->waitForStarted());
    const qint64 pid = process->processId();
    QVERIFY2(gate.waitUntilHolding(), "the copy never read its source");
    ::kill(pid_t(pid), SIGTSTP);
    // The held read returns; the copier then waits, and the process stops itself.
    QVERIFY(gate.open());
    QTRY_COMPARE_WITH_TIMEOUT(TestSupport::processState(pid), 'T', 30000);
    const QStringList held = filesBelow(destination);
    QCOMPARE(held.size(), 1);
    QCOMPARE(temporaryTargetOf(held.first()), QStringLiteral("big.bin"));
    const QString partial = destination + QLatin1Char('/') + held.first();
    const qint64 heldSize = QFileInfo(partial).size();
    QVERIFY2(heldSize > 0 && heldSize < bigFileSize, qPrintable(QString::number(heldSize)));
    const quint64 heldInode = inodeOf(partial);

    ::kill(pid_t(pid), SIGCONT);
    QVERIFY(process->waitForFinished(120000));
    const QString err = QString::fromLocal8Bit(process->readAllStandardError());
    QVERIFY2(process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0,
             qPrintable(err));
    QVERIFY2(err.contains("Paused") && err.contains("Continuing."), qPrintable(err));
    const QJsonObject json = QJsonDocument::fromJson(process->readAllStandardOutput()).object();
    QCOMPARE(json.value("copiedFiles").toInt(), 1);
    // The file that was half written is the one that took the final name.
    QCOMPARE(inodeOf(destination + "/big.bin"), heldInode);
    QVERIFY(sameContent(m_bigFile, destination + "/big.bin"));
}

void TestInterruption::killedTreeRun_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("copy") << "copy";
    QTest::newRow("move") << "move";
}

void TestInterruption::killedTreeRun()
{
    QFETCH(QString, command);
    const QString source = m_dir->filePath("src");
    const QString destination = m_dir->filePath("dest");
    QVERIFY(QDir().mkpath(destination));
    // Sizes from a few bytes to an eighth of a mebibyte, so copies take different times; files
    // enough that the run lasts long enough to be caught in the middle.
    for (int f = 0; f < 30; ++f) {
        for (int i = 0; i < 40; ++i) {
            QByteArray data(((f * 40 + i) * 7919) % (128 * 1024) + 1, char('a' + (f + i) % 26));
            data.append(QByteArray::number(f * 1000 + i));
            QVERIFY(TestSupport::writeFile(
                QStringLiteral("%1/d%2/f%3.bin").arg(source).arg(f).arg(i), data));
        }
    }
    const QMap<QString, QByteArray> original = treeOf(source);

    TestSupport::ReadGate gate(source, TestSupport::ReadGate::Event::Read);
    if (!gate.isValid())
        QSKIP(qPrintable(gate.skipReason()));
    // A file takes one read or two: a tenth to a fifth of the files are done when the
    // gate holds both copiers.
    gate.holdAfter(original.size() / 5);
    std::unique_ptr<QProcess> process(start({command, source, destination, "--threads", "2"}));
    QVERIFY(process->waitForStarted());
    QVERIFY2(gate.waitUntilHolding(), "the run never read its source");
    // The held copier has its copy open: the kill comes in the middle of it.
    QTRY_VERIFY(openFileSizeBelow(process->processId(), destination) >= 0);
    QVERIFY(killHeld(process.get(), &gate));

    // Every file under its final name is whole; anything else is a temporary file of a
    // file of the same folder.
    int complete = 0;
    const QMap<QString, QByteArray> copied = treeOf(destination);
    for (auto it = copied.cbegin(); it != copied.cend(); ++it) {
        const QFileInfo info(it.key());
        const QString target = temporaryTargetOf(info.fileName());
        if (!target.isEmpty()) {
            const QString targetPath = info.path() == "." ? target : info.path() + '/' + target;
            QVERIFY2(original.contains(targetPath), qPrintable(it.key()));
            continue;
        }
        QVERIFY2(original.value(it.key()) == it.value(),
                 qPrintable(it.key() + " is partial or unknown"));
        ++complete;
    }
    QVERIFY2(complete < original.size(), "the run ended before it was killed");
    if (command == "move") {
        // Every file is somewhere, whole.
        for (auto it = original.cbegin(); it != original.cend(); ++it) {
            const QString inSource = source + '/' + it.key();
            QVERIFY2(copied.contains(it.key()) || QFileInfo::exists(inSource),
                     qPrintable(it.key() + " is lost"));
            if (QFileInfo::exists(inSource))
                QCOMPARE(TestSupport::readFile(inSource), it.value());
        }
    }

    const Result again = run({command, source, destination});
    QVERIFY2(again.exitCode == 0, qPrintable(again.out + again.err));
    QCOMPARE(treeOf(destination), original);

    if (command == "copy") {
        const Result verify = run({"verify", source, destination});
        QVERIFY2(verify.exitCode == 0, qPrintable(verify.out + verify.err));
        QCOMPARE(verify.json.value("checkedFiles").toInt(), original.size());
        return;
    }
    // A file the killed move had copied but not yet removed is found whole in place: it
    // is skipped and its source removed like the others.
    QVERIFY2(!QFileInfo::exists(source), qPrintable(filesBelow(source).join(", ")));
}

void TestInterruption::movesAgainOverItsOwnCopies_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("inPlace"); // what dest/a.txt holds before the run
    QTest::addColumn<int>("inPlaceAgeSecs"); // its age relative to the source
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message"); // of a.txt's error, if any

    const QByteArray same = "content of a";
    QTest::newRow("whole copy") << QStringList() << same << 0 << 0 << QString();
    QTest::newRow("whole copy, never overwrite")
        << QStringList{"--overwrite", "never"} << same << 0 << 0 << QString();
    QTest::newRow("whole copy, overwrite different")
        << QStringList{"--overwrite", "different"} << same << 0 << 0 << QString();
    // Only equal files count as moved; anything else keeps its source, unless the rule
    // replaces it: "older" takes the same date with another size as a difference.
    QTest::newRow("other size, replaced as older")
        << QStringList() << QByteArray("other") << 0 << 0 << QString();
    QTest::newRow("other size, never overwrite")
        << QStringList{"--overwrite", "never"} << QByteArray("other") << 0 << 1
        << "different file exists";
    QTest::newRow("newer destination") << QStringList() << same << -3600 << 1 << QString();
}

void TestInterruption::movesAgainOverItsOwnCopies()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, inPlace);
    QFETCH(int, inPlaceAgeSecs);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    const QString source = m_dir->filePath("src");
    const QString destination = m_dir->filePath("dest");
    const QDateTime modified = QDateTime::currentDateTime().addSecs(-7200);
    QVERIFY(TestSupport::writeFile(source + "/a.txt", "content of a"));
    QVERIFY(TestSupport::writeFile(source + "/sub/b.txt", "content of b"));
    setModified(source + "/a.txt", modified);
    QVERIFY(TestSupport::writeFile(destination + "/a.txt", inPlace));
    setModified(destination + "/a.txt", modified.addSecs(-inPlaceAgeSecs));

    const Result result = run(QStringList{"move", source, destination} + options);
    QVERIFY2(result.exitCode == exitCode, qPrintable(result.out + result.err));
    QCOMPARE(TestSupport::readFile(destination + "/sub/b.txt"), QByteArray("content of b"));
    QCOMPARE(TestSupport::readFile(destination + "/a.txt"),
             exitCode == 0 ? QByteArray("content of a") : inPlace);
    QVERIFY(!QFileInfo::exists(source + "/sub"));
    if (exitCode == 0) {
        QVERIFY(!QFileInfo::exists(source));
        return;
    }
    QCOMPARE(TestSupport::readFile(source + "/a.txt"), QByteArray("content of a"));
    QString reported;
    for (const QJsonValue& item : result.json.value("errorItems").toArray()) {
        if (item.toObject().value("source").toString() == source + "/a.txt")
            reported = item.toObject().value("messageText").toString();
    }
    QCOMPARE(reported, message);
}

void TestInterruption::removesOnlyStaleLeftovers_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("leftover"); // below the destination
    QTest::addColumn<QString>("kind");     // file, folder or link
    QTest::addColumn<int>("ageSecs");
    QTest::addColumn<bool>("removed");

    const QString longName = QString(230, 'n') + ".txt";
    const QStringList copy{"copy", "src", "dest"};
    // Of a writer no longer running: no process has that pid.
    const QString gone = ".2147483647-5.brindle-part";
    QTest::newRow("old, of a file copied") << copy << ".a.txt.k3j9x" + gone << "file" << 60 << true;
    QTest::newRow("old, in a subfolder") << copy << "sub/.b.txt.0" + gone << "file" << 60 << true;
    QTest::newRow("old, of a shortened long name")
        << copy << "." + longName.left(200) + ".zzzzzzzzzz" + gone << "file" << 60 << true;
    QTest::newRow("collate puts it in the destination")
        << QStringList{"copy", "src", "dest", "--collate"} << ".b.txt.a1" + gone << "file" << 60
        << true;
    QTest::newRow("written just now by a gone writer")
        << copy << ".a.txt.k3j9x" + gone << "file" << 0 << true;
    QTest::newRow("a second old, gone writer")
        << copy << ".a.txt.k3j9x" + gone << "file" << 1 << true;
    QTest::newRow("older form, maybe a user's file") << copy << ".a.txt.k3j9x.part"
                                                     << "file" << 60 << false;
    // Its source removed since, or left out now: a leftover all the same.
    QTest::newRow("of a file the run does not copy")
        << copy << ".c.txt.k3j9x" + gone << "file" << 60 << true;
    QTest::newRow("of a file the filters leave out")
        << QStringList{"copy", "src", "dest", "--exclude", "a.*"} << ".a.txt.k3j9x" + gone << "file"
        << 60 << true;
    QTest::newRow("in a folder the run does not write")
        << copy << "other/.a.txt.k3j9x" + gone << "file" << 60 << false;
    QTest::newRow("in a verify run")
        << QStringList{"verify", "src", "dest"} << ".a.txt.k3j9x" + gone << "file" << 60 << false;
    QTest::newRow("upper-case random part")
        << copy << ".a.txt.K3J9X" + gone << "file" << 60 << false;
    QTest::newRow("random part too long")
        << copy << ".a.txt.abcdefghijk" + gone << "file" << 60 << false;
    QTest::newRow("no random part") << copy << ".a" + gone << "file" << 60 << false;
    QTest::newRow("not hidden") << copy << "a.txt.k3j9x" + gone << "file" << 60 << false;
    QTest::newRow("other suffix") << copy << ".a.txt.k3j9x.tmp"
                                  << "file" << 60 << false;
    QTest::newRow("a folder") << copy << ".a.txt.k3j9x" + gone << "folder" << 60 << false;
    QTest::newRow("a symbolic link") << copy << ".a.txt.k3j9x" + gone << "link" << 60 << false;
}

void TestInterruption::removesOnlyStaleLeftovers()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, leftover);
    QFETCH(QString, kind);
    QFETCH(int, ageSecs);
    QFETCH(bool, removed);

    const QString longName = QString(230, 'n') + ".txt";
    for (const QString& name : {QString("a.txt"), QString("sub/b.txt"), longName})
        QVERIFY(TestSupport::writeFile(m_dir->filePath("src/" + name), name.toUtf8()));
    const QString path = m_dir->filePath("dest/" + leftover);
    const QString outside = m_dir->filePath("outside.txt");
    QVERIFY(TestSupport::writeFile(outside, "keep me"));
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    if (kind == "folder")
        QVERIFY(QDir().mkpath(path + "/inside"));
    else if (kind == "link")
        QVERIFY(QFile::link(outside, path));
    else
        QVERIFY(TestSupport::writeFile(path, "half a copy"));
    // Whatever its age: the writer's pid, not a date, tells a leftover from a copy at work.
    setModified(path, QDateTime::currentDateTime().addSecs(-ageSecs));

    const Result result = run(arguments);
    if (arguments.first() == "copy")
        QVERIFY2(result.exitCode == 0, qPrintable(result.out + result.err));
    QCOMPARE(QFileInfo::exists(path) || QFileInfo(path).isSymLink(), !removed);
    QCOMPARE(TestSupport::readFile(outside), QByteArray("keep me"));
    if (kind == "folder")
        QVERIFY(QFileInfo::exists(path + "/inside"));
}

QTEST_GUILESS_MAIN(TestInterruption)
#include "tst_interruption.moc"
