#include "fs/platform.h"
#include "testsupport.h"

#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <vector>

// The calls behind the flush at the end of a run and the check of a destination from its
// device; the rest of the platform layer is tested through the file-system helpers.
class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void entryMissing_data();
    void entryMissing();
    void linkOnTheWay_data();
    void linkOnTheWay();
    void openFileAhead_data();
    void openFileAhead();
    void availableBytes();
    void kernelStatsBytes_data();
    void kernelStatsBytes();
    void openFileSystem_data();
    void openFileSystem();
    void syncFileSystemReportsABadHandle();
    void dropCachedData_data();
    void dropCachedData();
    void dropCachedDataWritesPagesAndDropsThem();
};

namespace {

} // namespace

void TestPlatform::entryMissing_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("missing");
    QTest::addColumn<bool>("deep"); // below a chain of folders past the longest path

    for (const bool deep : {false, true}) {
        auto row = [&](const char* name) -> QTestData& {
            return QTest::newRow(qPrintable(QString(deep ? "past the limit: " : "") + name));
        };
        row("file") << "file" << false << deep;
        row("folder") << "folder" << false << deep;
        row("link pointing nowhere") << "dangling" << false << deep;
        row("nothing") << "gone" << true << deep;
        row("inside a missing folder") << "gone/file" << true << deep;
        row("below a file") << "file/file" << true << deep;
    }
}

void TestPlatform::entryMissing()
{
    QFETCH(QString, entry);
    QFETCH(bool, missing);
    QFETCH(bool, deep);
    QTemporaryDir dir;
    QString folder = dir.path();
    int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; deep && level < 20; ++level) {
        const QByteArray name(250, char('a' + level));
        ::mkdirat(fd, name.constData(), 0700);
        const int next = ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        folder += '/' + QString::fromLatin1(name);
    }
    QVERIFY(fd >= 0);
    ::close(::openat(fd, "file", O_WRONLY | O_CREAT, 0600));
    QCOMPARE(::mkdirat(fd, "folder", 0700), 0);
    QCOMPARE(::symlinkat("gone", fd, "dangling"), 0);
    ::close(fd);
    QCOMPARE(Platform::entryMissing(folder + '/' + entry), missing);
    Platform::EntryStatus status;
    QCOMPARE(Platform::entryStatus(folder + '/' + entry, &status), !missing);
    QProcess::execute("rm", {"-rf", dir.path()}); // past what QTemporaryDir removes
}

void TestPlatform::openFileAhead_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("opens");

    QTest::newRow("regular file") << "file" << true;
    QTest::newRow("empty file") << "empty" << true;
    QTest::newRow("link to a file") << "link" << false;
    QTest::newRow("folder") << "folder" << false;
    QTest::newRow("FIFO, without hanging") << "fifo" << false;
    QTest::newRow("nothing") << "gone" << false;
}

// A copy job opens its sources ahead; only a regular file itself may be read that way.
void TestPlatform::openFileAhead()
{
    QFETCH(QString, entry);
    QFETCH(bool, opens);
    QTemporaryDir dir;
    QVERIFY(TestSupport::writeFile(dir.filePath("file"), "12345"));
    QVERIFY(TestSupport::writeFile(dir.filePath("empty"), ""));
    QCOMPARE(::chmod(QFile::encodeName(dir.filePath("file")).constData(), 0640), 0);
    QVERIFY(QFile::link(dir.filePath("file"), dir.filePath("link")));
    QVERIFY(QDir().mkpath(dir.filePath("folder")));
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0644), 0);

    Platform::EntryStatus status;
    const int fd = Platform::openFileAhead(dir.filePath(entry), 5, &status);
    QCOMPARE(fd >= 0, opens);
    if (fd < 0)
        return;
    Platform::EntryStatus byPath;
    QVERIFY(Platform::entryStatus(dir.filePath(entry), &byPath));
    QVERIFY(status.isFile && !status.isSymLink && !status.isFolder);
    QCOMPARE(status.size, byPath.size);
    QCOMPARE(status.permissions, byPath.permissions);
    QCOMPARE(status.lastWrite.seconds, byPath.lastWrite.seconds);
    QCOMPARE(status.lastWrite.nanoseconds, byPath.lastWrite.nanoseconds);
    char buffer[8];
    QCOMPARE(Platform::readFile(fd, buffer, sizeof buffer), byPath.size);
    Platform::closeFile(fd);
}

// Free space from the file system itself: known for a folder and a file, unknown for a path
// that does not exist.
void TestPlatform::availableBytes()
{
    QTemporaryDir dir;
    QVERIFY(TestSupport::writeFile(dir.filePath("file"), "x"));
    struct statvfs expected;
    QCOMPARE(::statvfs(QFile::encodeName(dir.path()).constData(), &expected), 0);
    const qint64 free = qint64(expected.f_bavail) * qint64(expected.f_frsize);
    // Other processes write meanwhile: the two readings agree within a few MiB.
    QVERIFY(qAbs(Platform::availableBytes(dir.path()) - free) < 64 * 1024 * 1024);
    QVERIFY(qAbs(Platform::availableBytes(dir.filePath("file")) - free) < 64 * 1024 * 1024);
    QCOMPARE(Platform::availableBytes(dir.filePath("gone/deeper")), -1);
}

void TestPlatform::kernelStatsBytes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("bytes");

    QTest::newRow("both fields, others and longer names ignored")
        << QByteArray("MemFree: 100 kB\nDirty:   740 kB\nWritebackTmp: 9 kB\nWriteback: 4 kB\n")
        << qint64(744 * 1024);
    QTest::newRow("field missing") << QByteArray("Dirty: 740 kB\n") << qint64(-1);
    QTest::newRow("not a number") << QByteArray("Dirty: x kB\nWriteback: 0 kB\n") << qint64(-1);
    QTest::newRow("unit unknown") << QByteArray("Dirty: 7\nWriteback: 0\n") << qint64(-1);
}

void TestPlatform::kernelStatsBytes()
{
    QFETCH(QByteArray, text);
    QTEST(Platform::kernelStatsBytes(text, "Dirty", "Writeback"), "bytes");
    // Always known on Linux: at worst the whole system's count stands in.
    QVERIFY(Platform::bytesWaitingForDevice(0) >= 0);
}

void TestPlatform::openFileSystem_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("opened"); // "" when nothing can be opened

    QTest::newRow("existing folder") << "dst"
                                     << "dst";
    QTest::newRow("file") << "dst/file"
                          << "dst/file";
    QTest::newRow("missing folders below an existing one") << "dst/a/b/c"
                                                           << "dst";
    QTest::newRow("empty path") << ""
                                << "";
}

void TestPlatform::openFileSystem()
{
    QFETCH(QString, path);
    QFETCH(QString, opened);
    QTemporaryDir dir;
    QVERIFY(TestSupport::writeFile(dir.filePath("dst/file"), "x"));
    const auto full = [&dir](const QString& relative) {
        return relative.isEmpty() ? QString() : dir.filePath(relative);
    };

    QString openedPath;
    const int handle = Platform::openFileSystem(full(path), &openedPath);
    QCOMPARE(handle >= 0, !opened.isEmpty());
    QCOMPARE(openedPath, full(opened));
    if (handle < 0)
        return;
    QVERIFY(Platform::syncFileSystem(handle));
    Platform::closeFileSystem(handle);
}

void TestPlatform::syncFileSystemReportsABadHandle()
{
    QVERIFY(!Platform::syncFileSystem(-1));
    QCOMPARE(Platform::lastFailedCall(), QStringLiteral("syncfs"));
    QCOMPARE(Platform::lastErrorCode(), EBADF);
}

void TestPlatform::dropCachedData_data()
{
    QTest::addColumn<QString>("path"); // "*" a new file with unwritten data, "|" a pipe
    QTest::addColumn<bool>("dropped");

    QTest::newRow("file with data not yet written") << "*" << true;
    // Such a file cannot be synced (EINVAL): nothing of it waits to be written.
    QTest::newRow("file of a special file system") << "/proc/self/status" << true;
    QTest::newRow("pipe") << "|" << false;
}

void TestPlatform::dropCachedData()
{
    QFETCH(QString, path);
    QFETCH(bool, dropped);
    QTemporaryDir dir;
    if (path == "*") {
        path = dir.filePath("data");
        QVERIFY(TestSupport::writeFile(path, QByteArray(1 << 20, 'd')));
    }
    int pipeFds[2] = {-1, -1};
    if (path == "|")
        QCOMPARE(::pipe(pipeFds), 0);
    const int fd = path == "|" ? pipeFds[0]
                               : ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(fd >= 0);
    QCOMPARE(Platform::dropCachedData(fd), dropped);
    ::close(fd);
    if (path == "|") {
        ::close(pipeFds[1]);
        QCOMPARE(Platform::lastFailedCall(), QStringLiteral("posix_fadvise"));
        QCOMPARE(Platform::lastErrorCode(), ESPIPE);
    }
}

// Dirty pages cannot be dropped: they must have been written to the device first, and the
// data read afterwards, from the device, is what was written.
void TestPlatform::dropCachedDataWritesPagesAndDropsThem()
{
    QTemporaryDir dir;
    struct statfs fileSystem = {};
    QCOMPARE(::statfs(QFile::encodeName(dir.path()).constData(), &fileSystem), 0);
    if (fileSystem.f_type == TMPFS_MAGIC)
        QSKIP("The pages of a file on tmpfs are its only storage: nothing can be dropped");
    const QString path = dir.filePath("data");
    QByteArray data(1 << 20, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 7 + i / 4096);
    QVERIFY(TestSupport::writeFile(path, data));
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(fd >= 0);
    const int pages = int(data.size() / ::sysconf(_SC_PAGESIZE));
    if (TestSupport::residentPages(fd, 0, data.size()) != pages) {
        ::close(fd);
        QSKIP("The page cache does not keep the data just written here");
    }

    QVERIFY(Platform::dropCachedData(fd));
    QCOMPARE(TestSupport::residentPages(fd, 0, data.size()), 0);
    QByteArray readBack(data.size(), '\0');
    QCOMPARE(::pread(fd, readBack.data(), size_t(readBack.size()), 0), ssize_t(data.size()));
    ::close(fd);
    QVERIFY(readBack == data);
}

void TestPlatform::linkOnTheWay_data()
{
    QTest::addColumn<QString>("path"); // below dst, which holds a/b/ and l -> ../outside
    QTest::addColumn<QString>("link");
    QTest::newRow("real folders") << "a/b/f"
                                  << "";
    QTest::newRow("folders not made yet") << "a/new/deeper/f"
                                          << "";
    QTest::newRow("the final entry is not looked at") << "l"
                                                      << "";
    QTest::newRow("link to a folder outside") << "l/f"
                                              << "l";
    QTest::newRow("deeper behind the link") << "l/x/y/f"
                                            << "l";
    QTest::newRow("outside the root: not this check's") << "../outside/f"
                                                        << "";
}

void TestPlatform::linkOnTheWay()
{
    QFETCH(QString, path);
    QFETCH(QString, link);
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath("dst/a/b")) && QDir().mkpath(dir.filePath("outside")));
    QVERIFY(QFile::link("../outside", dir.filePath("dst/l")));
    const QString root = dir.filePath("dst");
    QCOMPARE(Platform::linkOnTheWay(root, root + "/" + path),
             link.isEmpty() ? QString() : root + "/" + link);
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
