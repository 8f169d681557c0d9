#include "fs/filesystemutils.h"
#include "testsupport.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace FileSystemUtils;
using Lines = QStringList;

namespace {

const char childVariable[] = "BRINDLE_FS_CHILD";
const Lines missingEntry{"lstat 2: No such file or directory",
                         "Unable to get attributes of file %1"};

struct stat statOf(const QString& path)
{
    struct stat status = {};
    ::lstat(QFile::encodeName(path).constData(), &status);
    return status;
}

using TestSupport::modeOf;
using TestSupport::setMode;

bool setTimes(const QString& path, timespec access, timespec write)
{
    const timespec times[2] = {access, write};
    const QByteArray name = QFile::encodeName(path);
    return ::utimensat(AT_FDCWD, name.constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

// kind: "file", "folder", "link" (to the file path + ".target"), "dangling" or "missing".
void makeEntry(const QString& kind, const QString& path, int mode = 0644)
{
    const bool isLink = kind == "link" || kind == "dangling";
    if (kind == "folder")
        QVERIFY(QDir().mkpath(path));
    else if (kind == "file" || kind == "link")
        QVERIFY(TestSupport::writeFile(kind == "link" ? path + ".target" : path, "data"));
    if (isLink)
        QVERIFY(QFile::link(path + ".target", path));
    if (kind != "missing" && kind != "dangling")
        setMode(isLink ? path + ".target" : path, mode);
}

QString withPath(const QString& line, const QString& path)
{
    return line.contains("%1") ? line.arg(path) : line;
}

void expectWarnings(const Lines& lines, const QString& path)
{
    for (const QString& line : lines)
        QTest::ignoreMessage(QtWarningMsg, qPrintable(withPath(line, path)));
}

} // namespace

class TestFileSystemUtils : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void longPath_data();
    void longPath();
    void entries_data();
    void entries();
    void setReadOnly_data();
    void setReadOnly();
    void lastErrorTextIsPerThread();
    void removeFile_data();
    void removeFile();
    void asNobody_data();
    void asNobody();
    void runAsChild();
    void syncProperties_data();
    void syncProperties();
    void timeTolerance_data();
    void timeTolerance();
    void modificationComparisons_data();
    void modificationComparisons();
    void modificationComparisonsAsLocalTimes_data();
    void modificationComparisonsAsLocalTimes();
    void uniqueFileName_data();
    void uniqueFileName();
    void uniqueFileNameLimit_data();
    void uniqueFileNameLimit();
    void isStorageTooLow_data();
    void isStorageTooLow();
    void isStorageFullOnRealPaths();
    void showInExplorerWithoutBus_data();
    void showInExplorerWithoutBus();
    void writeLinesToFile_data();
    void writeLinesToFile();
    void plainErrorText_data();
    void plainErrorText();

private:
    QTemporaryDir m_busDir;
};

void TestFileSystemUtils::initTestCase()
{
    TestSupport::initTestEnvironment();
    // A unix socket nobody listens on: the session bus is unreachable, never remote.
    QVERIFY(m_busDir.isValid());
    qputenv("DBUS_SESSION_BUS_ADDRESS",
            "unix:path=" + QFile::encodeName(m_busDir.path()) + "/none");
}

void TestFileSystemUtils::longPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("local") << R"(C:\data\a.txt)"
                           << R"(\\?\C:\data\a.txt)";
    QTest::newRow("network") << R"(\\srv\share\a.txt)"
                             << R"(\\?\UNC\srv\share\a.txt)";
    QTest::newRow("one backslash") << R"(\data)"
                                   << R"(\\?\\data)";
    QTest::newRow("prefix not detected") << R"(\\?\C:\a)"
                                         << R"(\\?\UNC\?\C:\a)";
}

void TestFileSystemUtils::longPath()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(FileSystemUtils::longPath(path), expected);
    QCOMPARE(uncPrefix(), QString("//"));
}

void TestFileSystemUtils::entries_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("attributes");
    QTest::newRow("writable file") << "file" << 0644 << 0;
    QTest::newRow("read-only file") << "file" << 0444 << 1;
    QTest::newRow("owner write only") << "file" << 0200 << 0;
    QTest::newRow("group writable, owner not") << "file" << 0464 << 1;
    QTest::newRow("read-only folder") << "folder" << 0555 << 1;
    QTest::newRow("dangling link") << "dangling" << 0 << 0;
    QTest::newRow("link to read-only file") << "link" << 0444 << 0;
    QTest::newRow("missing") << "missing" << 0 << -1;
}

void TestFileSystemUtils::entries()
{
    QFETCH(QString, kind);
    QFETCH(int, mode);
    QFETCH(int, attributes);
    QTemporaryDir dir;
    const QString path = dir.filePath("entry");
    makeEntry(kind, path, mode);
    QCOMPARE(fileExists(path), kind != "missing");
    if (kind == "missing")
        expectWarnings(missingEntry + missingEntry, path);
    QCOMPARE(fileAttributes(path), attributes);
    QCOMPARE(isReadOnly(path), attributes == 1);
}

void TestFileSystemUtils::setReadOnly_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("wanted");
    QTest::addColumn<int>("expectedMode"); // of a link's target for links
    QTest::addColumn<Lines>("warnings");   // the call fails when there are any
    QTest::newRow("set removes all write bits") << "file" << 0666 << true << 0444 << Lines();
    QTest::newRow("already read-only, no write") << "file" << 0464 << true << 0464 << Lines();
    QTest::newRow("clear adds owner write") << "file" << 0440 << false << 0640 << Lines();
    QTest::newRow("read-only folder cleared") << "folder" << 0555 << false << 0755 << Lines();
    QTest::newRow("link target untouched")
        << "link" << 0644 << true << 0644
        << Lines{"chmod 95: Operation not supported",
                 "Unable to set READ ONLY attribute in file %1 with value = true )"};
    QTest::newRow("missing") << "missing" << 0 << true << 0 << missingEntry;
}

void TestFileSystemUtils::setReadOnly()
{
    QFETCH(QString, kind);
    QFETCH(int, mode);
    QFETCH(bool, wanted);
    QFETCH(int, expectedMode);
    QFETCH(Lines, warnings);
    QTemporaryDir dir;
    const QString path = dir.filePath("entry");
    makeEntry(kind, path, mode);
    expectWarnings(warnings, path);
    QCOMPARE(FileSystemUtils::setReadOnly(path, wanted), warnings.isEmpty());
    if (kind != "missing")
        QCOMPARE(modeOf(kind == "link" ? path + ".target" : path), expectedMode);
}

void TestFileSystemUtils::lastErrorTextIsPerThread()
{
    Platform::recordFailure("open", 13);
    QScopedPointer<QThread> thread(QThread::create([] { Platform::recordFailure("lstat", 2); }));
    thread->start();
    QVERIFY(thread->wait(10000));
    QTest::ignoreMessage(QtWarningMsg, "open 13: Permission denied");
    QCOMPARE(FileSystemUtils::lastErrorText("open"), QString("open 13: Permission denied"));
}

void TestFileSystemUtils::removeFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << "missing";
    QTest::newRow("read-only file") << "file";
    QTest::newRow("dangling link") << "dangling";
    QTest::newRow("link to read-only file") << "link";
}

void TestFileSystemUtils::removeFile()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath("entry");
    makeEntry(kind, path, 0444);
    QVERIFY(FileSystemUtils::removeFile(path));
    QVERIFY(!fileExists(path));
    if (kind == "link") // the link goes, its target stays as it was
        QCOMPARE(modeOf(path + ".target"), 0444);
}

// Each row runs its call in a child process as user nobody, on a file in a folder owned
// by nobody; the file belongs to nobody or to root. See runAsChild.
void TestFileSystemUtils::asNobody_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("ownedByNobody");
    QTest::addColumn<bool>("result");
    QTest::addColumn<Lines>("warnings");
    QTest::newRow("remove from locked folder")
        << "removeFile" << 0555 << 0444 << true << false << Lines();
    QTest::newRow("remove other user's read-only file")
        << "removeFile" << 0755 << 0444 << false << true
        << Lines{"chmod 1: Operation not permitted",
                 "Unable to set READ ONLY attribute in file %1 with value = false )"};
    QTest::newRow("sync dates to other user's file")
        << "syncProperties" << 0755 << 0644 << false << false
        << Lines{"utimensat 1: Operation not permitted",
                 "Sync properties: unable to sync dates to file %1"};
    QTest::newRow("sync to other user's read-only file")
        << "syncProperties" << 0755 << 0444 << false << false
        << Lines{"chmod 1: Operation not permitted",
                 "Sync properties: unable to remove READ ONLY attribute from file %1"};
}

void TestFileSystemUtils::asNobody()
{
    QFETCH(QString, call);
    QFETCH(int, folderMode);
    QFETCH(int, mode);
    QFETCH(bool, ownedByNobody);
    QFETCH(bool, result);
    QFETCH(Lines, warnings);
    if (!TestSupport::runningAsRoot())
        QSKIP("Handing files to user nobody needs root");
    QTemporaryDir dir;
    setMode(dir.path(), 0755);
    const QString folder = dir.filePath("folder");
    const QString path = folder + "/entry";
    makeEntry("file", dir.filePath("source"));
    makeEntry("file", path, mode);
    QCOMPARE(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
    if (ownedByNobody)
        QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
    setMode(folder, folderMode);

    const Lines request{call, dir.filePath("source"), path, result ? "true" : "false"};
    qputenv(childVariable, request.join('\n').toLocal8Bit());
    QByteArray output;
    // The child's verdict is its test line, not its exit code: sanitizer builds may
    // report Qt's own teardown after the test has finished.
    TestSupport::runAsNobody(QCoreApplication::applicationFilePath(), {"runAsChild"}, &output);
    qunsetenv(childVariable);
    QVERIFY2(output.contains("PASS   : TestFileSystemUtils::runAsChild()"), output.constData());
    for (const QString& line : warnings)
        QVERIFY2(output.contains(withPath(line, path).toLocal8Bit()), qPrintable(line));
    QCOMPARE(fileExists(path), !(call == "removeFile" && result));
}

void TestFileSystemUtils::runAsChild()
{
    const Lines request = QString::fromLocal8Bit(qgetenv(childVariable)).split('\n');
    if (request.size() != 4)
        QSKIP("Run only as the child process of asNobody");
    const bool expected = request.at(3) == "true";
    if (request.at(0) == "removeFile")
        QCOMPARE(FileSystemUtils::removeFile(request.at(2)), expected);
    else
        QCOMPARE(FileSystemUtils::syncProperties(request.at(1), request.at(2), false), expected);
}

void TestFileSystemUtils::syncProperties_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("sourceMode");
    QTest::addColumn<int>("destinationMode");
    QTest::addColumn<bool>("removeReadOnly");
    QTest::addColumn<int>("expectedMode");
    QTest::newRow("writable to writable") << "file" << 0640 << 0644 << false << 0644;
    QTest::newRow("read-only kept") << "file" << 0444 << 0664 << false << 0444;
    QTest::newRow("read-only to read-only kept") << "file" << 0444 << 0444 << false << 0444;
    QTest::newRow("read-only removed") << "file" << 0444 << 0444 << true << 0644;
    QTest::newRow("writable to read-only") << "file" << 0644 << 0444 << false << 0644;
    QTest::newRow("read-only folder") << "folder" << 0555 << 0755 << false << 0555;
    QTest::newRow("link itself, not its target") << "link" << 0444 << 0644 << false << 0777;
    QTest::newRow("missing source") << "missing" << 0 << 0 << false << 0;
}

void TestFileSystemUtils::syncProperties()
{
    QFETCH(QString, kind);
    QFETCH(int, sourceMode);
    QFETCH(int, destinationMode);
    QFETCH(bool, removeReadOnly);
    QFETCH(int, expectedMode);
    QTemporaryDir dir;
    const QString source = dir.filePath("source");
    const QString destination = dir.filePath("destination");
    makeEntry(kind, source, sourceMode);
    makeEntry(kind, destination, destinationMode);
    if (kind == "missing") {
        expectWarnings({"lstat 2: No such file or directory",
                        "Sync properties: unable to get dates from file %1"},
                       source);
        QVERIFY(!syncFile(source, destination, false));
        return;
    }
    QVERIFY(setTimes(source, {1000000000, 123456789}, {1200000000, 987654321}));
    QVERIFY(syncFile(source, destination, removeReadOnly));
    const struct stat copied = statOf(destination);
    QCOMPARE(copied.st_atim.tv_sec, 1000000000);
    QCOMPARE(copied.st_atim.tv_nsec, 123456789);
    QCOMPARE(copied.st_mtim.tv_sec, 1200000000);
    QCOMPARE(copied.st_mtim.tv_nsec, 987654321);
    QCOMPARE(modeOf(destination), expectedMode);
    if (kind == "link")
        QVERIFY(statOf(destination + ".target").st_mtim.tv_sec != 1200000000);
}

namespace {

Platform::FileTime fileTime(qint64 ns)
{
    return {ns / 1000000000, qint32(ns % 1000000000)};
}

} // namespace

void TestFileSystemUtils::timeTolerance_data()
{
    // Time steps of the two file systems (1 ns: ext4, tmpfs; 100 ns: NTFS; 1 s: exfat-fuse;
    // 2 s: FAT), then both times in nanoseconds since 1970, and b's order against a.
    QTest::addColumn<qint64>("stepA");
    QTest::addColumn<qint64>("stepB");
    QTest::addColumn<qint64>("a");
    QTest::addColumn<qint64>("b");
    QTest::addColumn<int>("order");
    const qint64 s = 1000000000LL;
    const qint64 t = 1500000000 * s;
    const qint64 a = t + 123456789;
    QTest::newRow("ext4: 1 s newer") << 1LL << 1LL << a << a + s << 1;
    QTest::newRow("ext4: 1 ns older") << 1LL << 1LL << a << a - 1 << -1;
    QTest::newRow("ext4: whole seconds, 1 s newer") << 1LL << 1LL << t << t + s << 1;
    QTest::newRow("ext4: set to the millisecond elsewhere")
        << 1LL << 1LL << a << t + 123000000 << 0;
    QTest::newRow("NTFS: 99 ns apart") << 1LL << 100LL << t + 123456701 << t + 123456800 << 0;
    QTest::newRow("NTFS: 100 ns apart") << 1LL << 100LL << t + 123456701 << t + 123456801 << 1;
    QTest::newRow("to FAT: 1 s newer") << 1LL << 2 * s << a << a + s << 0;
    QTest::newRow("to exfat-fuse: 1 s older") << 1LL << s << a << a - s << 0;
    QTest::newRow("FAT: 1.999999999 s newer") << 2 * s << 2 * s << a << a + 2 * s - 1 << 0;
    QTest::newRow("FAT: 2 s newer") << 2 * s << 2 * s << a << a + 2 * s << 1;
    QTest::newRow("FAT: 2 s older") << 2 * s << 1LL << a << a - 2 * s << -1;
}

// Exact where both file systems keep fine times, FAT's 2 seconds where either does not.
void TestFileSystemUtils::timeTolerance()
{
    QFETCH(qint64, stepA);
    QFETCH(qint64, stepB);
    QFETCH(qint64, a);
    QFETCH(qint64, b);
    QFETCH(int, order);
    Platform::FileSystemTraits traitsA, traitsB;
    traitsA.timeStepNs = stepA;
    traitsB.timeStepNs = stepB;
    const qint64 tolerance = timeToleranceNs(traitsA, traitsB, fileTime(a), fileTime(b));
    QCOMPARE(modificationOrder(fileTime(a), fileTime(b), tolerance), order);
    QCOMPARE(modificationOrder(fileTime(b), fileTime(a), tolerance), -order);
}

void TestFileSystemUtils::modificationComparisons_data()
{
    QTest::addColumn<qint64>("laterNs"); // b's modification time after a's
    QTest::addColumn<QByteArray>("bData");
    QTest::addColumn<bool>("newer");
    QTest::addColumn<bool>("older");
    QTest::addColumn<bool>("differ");
    QTest::newRow("same") << 0LL << QByteArray("data") << false << false << false;
    QTest::newRow("1 ns later") << 1LL << QByteArray("data") << true << false << true;
    QTest::newRow("1 s later") << 1000000000LL << QByteArray("data") << true << false << true;
    QTest::newRow("1 s earlier") << -1000000000LL << QByteArray("data") << false << true << true;
    QTest::newRow("other size") << 0LL << QByteArray("longer") << false << false << true;
}

// On the file system of the temporary folder, which keeps times to the nanosecond.
void TestFileSystemUtils::modificationComparisons()
{
    QFETCH(qint64, laterNs);
    QFETCH(QByteArray, bData);
    QFETCH(bool, newer);
    QFETCH(bool, older);
    QFETCH(bool, differ);
    QTemporaryDir dir;
    const QFileInfo a(dir.filePath("a")), b(dir.filePath("b"));
    QVERIFY(TestSupport::writeFile(a.filePath(), "data") &&
            TestSupport::writeFile(b.filePath(), bData));
    Platform::EntryIdentity identity;
    QVERIFY(Platform::entryIdentity(dir.path(), &identity));
    if (Platform::fileSystemTraits(identity.device, dir.path()).coarseTimes())
        QSKIP("The temporary folder's file system keeps coarse times");
    const qint64 aNs = 1500000000500000001LL;
    const qint64 bNs = aNs + laterNs;
    QVERIFY(setTimes(a.filePath(), {aNs / 1000000000, aNs % 1000000000},
                     {aNs / 1000000000, aNs % 1000000000}));
    QVERIFY(setTimes(b.filePath(), {bNs / 1000000000, bNs % 1000000000},
                     {bNs / 1000000000, bNs % 1000000000}));
    QCOMPARE(isNewer(a, b), newer);
    QCOMPARE(isOlder(a, b), older);
    QCOMPARE(modificationOrder(a, b), newer ? 1 : (older ? -1 : 0));
    QCOMPARE(filesDiffer(a, b), differ); // creation times are unknown here and never differ
}

void TestFileSystemUtils::modificationComparisonsAsLocalTimes_data()
{
    QTest::addColumn<QString>("bKind"); // as makeEntry; a link's target gets the time
    QTest::addColumn<qint64>("aMs");
    QTest::addColumn<qint64>("bMs");
    QTest::addColumn<int>("secsApart"); // as QDateTime::secsTo counts them
    QTest::newRow("2 s later, fractions") << "file" << 1500000000999LL << 1500000003000LL << 2;
    QTest::newRow("1.001 s later, fractions") << "file" << 1500000000999LL << 1500000002000LL << 1;
    QTest::newRow("before 1970, 2 s later") << "file" << -3500LL << -1500LL << 2;
    QTest::newRow("before 1970, 1.999 s earlier") << "file" << -1501LL << -3500LL << -1;
    QTest::newRow("across 1970, 2.2 s later") << "file" << -1100LL << 1100LL << 2;
    QTest::newRow("link to a file 5 s later") << "link" << 1500000000000LL << 1500000005000LL << 5;
    QTest::newRow("dangling link") << "dangling" << 1500000000000LL << 0LL << 0;
    QTest::newRow("missing") << "missing" << 1500000000000LL << 0LL << 0;
}

// The comparisons read the times without the local-time conversions of QFileInfo: the
// seconds apart still agree with QDateTime::secsTo, and the order with the times.
void TestFileSystemUtils::modificationComparisonsAsLocalTimes()
{
    QFETCH(QString, bKind);
    QFETCH(qint64, aMs);
    QFETCH(qint64, bMs);
    QFETCH(int, secsApart);
    QTemporaryDir dir;
    const QString a = dir.filePath("a");
    const QString b = dir.filePath("b");
    makeEntry("file", a);
    makeEntry(bKind, b);
    auto timeOf = [](qint64 ms) {
        const qint64 seconds = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
        return timespec{time_t(seconds), long((ms - seconds * 1000) * 1000000)};
    };
    QVERIFY(setTimes(a, timeOf(aMs), timeOf(aMs)));
    if (bKind == "file" || bKind == "link")
        QVERIFY(setTimes(bKind == "link" ? b + ".target" : b, timeOf(bMs), timeOf(bMs)));

    const QFileInfo infoA(a), infoB(b);
    const qint64 qtSecs = infoA.lastModified().secsTo(infoB.lastModified());
    QCOMPARE(qtSecs, qint64(secsApart));
    const bool known = bKind == "file" || bKind == "link";
    QCOMPARE(isNewer(infoA, infoB), known && bMs > aMs);
    QCOMPARE(isOlder(infoA, infoB), known && bMs < aMs);
    QCOMPARE(isNewer(infoB, infoA), known && bMs < aMs);
}

void TestFileSystemUtils::uniqueFileName_data()
{
    QTest::addColumn<Lines>("existing"); // "@name": a dangling link
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("number");
    QTest::newRow("free") << Lines() << "a.txt"
                          << "a.txt" << 0;
    QTest::newRow("taken") << Lines{"a.txt"} << "a.txt"
                           << "a (1).txt" << 1;
    QTest::newRow("1 taken") << Lines{"a.txt", "a (1).txt"} << "a.txt"
                             << "a (2).txt" << 2;
    QTest::newRow("no suffix") << Lines{"a"} << "a"
                               << "a (1)" << 1;
    QTest::newRow("leading dot") << Lines{".cfg", ".cfg(1)"} << ".cfg"
                                 << ".cfg(2)" << 2;
    QTest::newRow("last dot") << Lines{"x.tar.gz"} << "x.tar.gz"
                              << "x.tar (1).gz" << 1;
    QTest::newRow("dangling link") << Lines{"a.txt", "@a (1).txt"} << "a.txt"
                                   << "a (2).txt" << 2;
}

void TestFileSystemUtils::uniqueFileName()
{
    QFETCH(Lines, existing);
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QFETCH(int, number);
    QTemporaryDir dir;
    for (const QString& entry : existing)
        makeEntry(entry.startsWith('@') ? "dangling" : "file",
                  dir.filePath(QString(entry).remove('@')));
    int found = -1;
    QCOMPARE(FileSystemUtils::uniqueFileName(dir.filePath(name), &found), dir.filePath(expected));
    QCOMPARE(found, number);
}

void TestFileSystemUtils::uniqueFileNameLimit_data()
{
    QTest::addColumn<int>("taken"); // numbered names taken besides a.txt
    QTest::addColumn<int>("number");
    QTest::newRow("last number free") << 998 << 999;
    QTest::newRow("every number taken") << 999 << 0;
}

void TestFileSystemUtils::uniqueFileNameLimit()
{
    QFETCH(int, taken);
    QFETCH(int, number);
    QTemporaryDir dir;
    const QString path = dir.filePath("a.txt");
    makeEntry("file", path);
    for (int i = 1; i <= taken; ++i)
        makeEntry("file", dir.filePath(QString("a (%1).txt").arg(i)));
    if (number == 0)
        expectWarnings({"Unable to find a unique file name from path %1"}, path);
    int found = -1;
    const QString expected = number ? dir.filePath(QString("a (%1).txt").arg(number)) : path;
    QCOMPARE(FileSystemUtils::uniqueFileName(path, &found), expected);
    QCOMPARE(found, number);
}

void TestFileSystemUtils::isStorageTooLow_data()
{
    QTest::addColumn<qint64>("available");
    QTest::addColumn<qint64>("needed");
    QTest::addColumn<bool>("full");
    QTest::newRow("reserve not met") << qint64(63999) << qint64(0) << true;
    QTest::newRow("reserve met") << qint64(64000) << qint64(0) << false;
    QTest::newRow("negative need") << qint64(63999) << qint64(-1) << true;
    QTest::newRow("need equals free") << qint64(100) << qint64(100) << true;
    QTest::newRow("need below free") << qint64(101) << qint64(100) << false;
}

void TestFileSystemUtils::isStorageTooLow()
{
    QFETCH(qint64, available);
    QFETCH(qint64, needed);
    QFETCH(bool, full);
    QCOMPARE(FileSystemUtils::isStorageTooLow(available, needed), full);
}

void TestFileSystemUtils::isStorageFullOnRealPaths()
{
    QTemporaryDir dir;
    const qint64 available = availableBytes(dir.path());
    if (available < 1000000)
        QSKIP("The scratch volume is nearly full");
    bool ok = false;
    QVERIFY(!isStorageFull(dir.path(), 0, &ok) && ok);
    QVERIFY(isStorageFull(dir.path(), available * 1000, &ok) && ok);
    const QString missing = dir.filePath("missing/folder");
    expectWarnings({"Unable to check if the target storage is full: %1"}, missing);
    QVERIFY(!isStorageFull(missing, 1, &ok));
    QVERIFY(!ok);
}

void TestFileSystemUtils::showInExplorerWithoutBus_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("method");
    QTest::newRow("file selected") << "file"
                                   << "ShowItems";
    QTest::newRow("folder opened") << "folder"
                                   << "ShowFolders";
}

void TestFileSystemUtils::showInExplorerWithoutBus()
{
    QFETCH(QString, kind);
    QFETCH(QString, method);
#ifdef __SANITIZE_THREAD__
    QSKIP("QtDBus's connection thread runs in uninstrumented Qt and glib code");
#endif
    QTemporaryDir dir;
    const QString path = dir.filePath("shown item");
    makeEntry(kind, path);
    const QString uri = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    expectWarnings({"Unable to start process: org.freedesktop.FileManager1." + method + " " + uri},
                   path);
    QVERIFY(!showInExplorer(path));
}

void TestFileSystemUtils::writeLinesToFile_data()
{
    QTest::addColumn<QString>("target"); // "file" (has old content), "folder" or a device path
    QTest::addColumn<Lines>("lines");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("content replaced")
        << "file" << Lines{"a", "", "c d"} << true << QByteArray("a\n\nc d\n");
    QTest::newRow("no lines") << "file" << Lines() << true << QByteArray();
    QTest::newRow("folder") << "folder" << Lines{"x"} << false << QByteArray();
    QTest::newRow("full device") << "/dev/full" << Lines{"x"} << false << QByteArray();
}

void TestFileSystemUtils::writeLinesToFile()
{
    QFETCH(QString, target);
    QFETCH(Lines, lines);
    QFETCH(bool, result);
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString path = target.startsWith('/') ? target : dir.filePath("lines.txt");
    if (!target.startsWith('/'))
        makeEntry(target, path);
    QCOMPARE(FileSystemUtils::writeLinesToFile(lines, path), result);
    if (result)
        QCOMPARE(TestSupport::readFile(path), content);
}

void TestFileSystemUtils::plainErrorText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("plain");
    QTest::newRow("no permission") << "open 13: Permission denied"
                                   << "No permission.";
    QTest::newRow("full disk") << "write 28: No space left on device"
                               << "The disk is full.";
    QTest::newRow("drive gone") << "statx 107: Transport endpoint is not connected"
                                << "The drive cannot be reached.";
    QTest::newRow("unknown code kept") << "ioctl 95: Operation not supported"
                                       << "ioctl 95: Operation not supported";
    QTest::newRow("a sentence kept") << "Unable to open source file"
                                     << "Unable to open source file";
    QTest::newRow("a name that looks alike kept") << "my file 13: notes"
                                                  << "my file 13: notes";
}

void TestFileSystemUtils::plainErrorText()
{
    QFETCH(QString, text);
    QTEST(FileSystemUtils::plainErrorText(text), "plain");
}

QTEST_GUILESS_MAIN(TestFileSystemUtils)

#include "tst_filesystemutils.moc"
