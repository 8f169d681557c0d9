#include "fs/filenamecodec.h"
#include "fs/platformcopy.h"
#include "fs/platformreadbehind.h"
#include "testsupport.h"

#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace PlatformCopy;

Q_DECLARE_METATYPE(PlatformCopy::DataMover)

namespace {

QByteArray randomData(qint64 size)
{
    QVector<quint32> words(int(size / 4) + 1);
    QRandomGenerator::global()->fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char*>(words.constData()), int(size));
}

using TestSupport::entriesOf;

int openFile(const QString& path, int flags)
{
    return ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC, 0644);
}

// "<pid>-<start ticks>" of a running process, read here from /proc on its own.
QString writerTag(qint64 pid, qint64 tickOffset = 0)
{
    const QByteArray stat = TestSupport::readFile(QString("/proc/%1/stat").arg(pid));
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return QString("%1-%2").arg(pid).arg(fields.value(19).toLongLong() + tickOffset);
}

// A 64 MiB file holding two stretches of data, at its start and in its middle, the rest
// holes; its bytes, or empty when it could not be made or the file system keeps no holes.
QByteArray writeSparseFile(const QString& path)
{
    QByteArray bytes(64 * 1024 * 1024, '\0');
    const int fd = openFile(path, O_WRONLY | O_CREAT | O_TRUNC);
    bool ok = fd >= 0 && ::ftruncate(fd, bytes.size()) == 0;
    for (const qint64 offset : {qint64(0), qint64(40 * 1024 * 1024 + 123)}) {
        const QByteArray data = randomData(5000);
        bytes.replace(int(offset), data.size(), data);
        ok = ok && ::pwrite(fd, data.constData(), size_t(data.size()), offset) == data.size();
    }
    struct stat status;
    ok = ok && ::fstat(fd, &status) == 0 && status.st_blocks * 512 < 1024 * 1024;
    if (fd >= 0)
        ::close(fd);
    return ok ? bytes : QByteArray();
}

qint64 allocatedBytes(const QString& path)
{
    struct stat status = {};
    ::stat(QFile::encodeName(path).constData(), &status);
    return qint64(status.st_blocks) * 512;
}

} // namespace

class TestPlatformCopy : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void copiesEveryMover_data();
    void copiesEveryMover();
    void cancelsBetweenChunks_data();
    void cancelsBetweenChunks();
    void keepsHoles_data();
    void keepsHoles();
    void namesTheCallOfAWriteError_data();
    void namesTheCallOfAWriteError();
    void refusesWhatItMustNotCopy_data();
    void refusesWhatItMustNotCopy();
    void refusesASourceChangedWhileCopied_data();
    void refusesASourceChangedWhileCopied();
    void duplicatesLinkTargetText_data();
    void duplicatesLinkTargetText();
    void setsModeAndTimesBeforeNaming_data();
    void setsModeAndTimesBeforeNaming();
    void removesOnlyLeftoversOfGoneWriters_data();
    void removesOnlyLeftoversOfGoneWriters();
    void probeRemovesProbesOfGoneWriters();
    void comparesFiles_data();
    void comparesFiles();
    void createsFoldersOnlyBeneathRoot_data();
    void createsFoldersOnlyBeneathRoot();
    void copiesOnlyBeneathRoot_data();
    void copiesOnlyBeneathRoot();
    void pinnedFolderStaysPut();
    void readBehindSeesWhatWasCopied_data();
    void readBehindSeesWhatWasCopied();
};

void TestPlatformCopy::copiesEveryMover_data()
{
    QTest::addColumn<DataMover>("mover");
    QTest::addColumn<qint64>("size");
    const QList<QPair<const char*, DataMover>> movers{{"clone", Clone},
                                                      {"copy_file_range", CopyFileRange},
                                                      {"sendfile", SendFile},
                                                      {"read-write", ReadWrite}};
    // Empty; smaller than a buffer; crossing the chunk and buffer sizes.
    const QList<qint64> sizes{0, 5000, chunkSize + bufferSize + 7};
    for (const auto& mover : movers) {
        for (qint64 size : sizes)
            QTest::addRow("%s/%lld", mover.first, size) << mover.second << size;
    }
}

void TestPlatformCopy::copiesEveryMover()
{
    QFETCH(DataMover, mover);
    QFETCH(qint64, size);
    QTemporaryDir dir;
    const QString from = dir.filePath("from.bin");
    const QString to = dir.filePath("to.bin");
    const QByteArray data = randomData(size);
    QVERIFY(TestSupport::writeFile(from, data));

    QList<qint64> reported;
    Failure failure;
    QVERIFY(copyFile(
        from, to, nullptr,
        [&](qint64 copied, qint64 total) {
            QCOMPARE(total, size);
            reported.append(copied);
        },
        &failure, mover));

    QCOMPARE(TestSupport::readFile(to), data);
    QCOMPARE(entriesOf(dir.path()), QStringList({"from.bin", "to.bin"}));
    if (size > 0) {
        QVERIFY(!reported.isEmpty());
        QCOMPARE(reported.last(), size);
        QVERIFY(std::is_sorted(reported.begin(), reported.end()));
    }
}

void TestPlatformCopy::cancelsBetweenChunks_data()
{
    QTest::addColumn<DataMover>("mover");
    QTest::addColumn<bool>("cancelAtStart");
    QTest::addColumn<QByteArray>("call");
    QTest::newRow("copy_file_range") << CopyFileRange << false << QByteArray("copy_file_range");
    QTest::newRow("sendfile") << SendFile << false << QByteArray("sendfile");
    QTest::newRow("read-write") << ReadWrite << false << QByteArray("read");
    QTest::newRow("before the first chunk") << Clone << true << QByteArray("ioctl");
}

void TestPlatformCopy::cancelsBetweenChunks()
{
    QFETCH(DataMover, mover);
    QFETCH(bool, cancelAtStart);
    QFETCH(QByteArray, call);
    QTemporaryDir dir;
    const QString from = dir.filePath("big.bin");
    QVERIFY(TestSupport::writeFile(from, randomData(3 * chunkSize)));

    std::atomic<int> cancel{cancelAtStart ? 1 : 0};
    int chunks = 0;
    Failure failure;
    QVERIFY(!copyFile(
        from, dir.filePath("copy.bin"), &cancel,
        [&](qint64, qint64) {
            ++chunks;
            cancel = 1;
        },
        &failure, mover));

    QCOMPARE(QByteArray(failure.call), call);
    QCOMPARE(failure.code, ECANCELED);
    QCOMPARE(chunks, cancelAtStart ? 0 : 1);
    // Nothing under the final name nor under the temporary one.
    QCOMPARE(entriesOf(dir.path()), QStringList({"big.bin"}));
}

void TestPlatformCopy::keepsHoles_data()
{
    QTest::addColumn<DataMover>("mover");
    QTest::newRow("clone") << Clone;
    QTest::newRow("copy_file_range") << CopyFileRange;
    QTest::newRow("sendfile") << SendFile;
    QTest::newRow("read-write") << ReadWrite;
}

void TestPlatformCopy::keepsHoles()
{
    QFETCH(DataMover, mover);
    QTemporaryDir dir;
    const QString from = dir.filePath("sparse.img");
    const QString to = dir.filePath("copy.img");
    const QByteArray bytes = writeSparseFile(from);
    if (bytes.isEmpty())
        QSKIP("The file system of the temporary folder keeps no holes");

    QList<qint64> reported;
    Failure failure;
    QVERIFY(copyFile(
        from, to, nullptr, [&](qint64 copied, qint64) { reported.append(copied); }, &failure,
        mover));
    QCOMPARE(TestSupport::readFile(to), bytes);
    QVERIFY2(allocatedBytes(to) < 1024 * 1024, qPrintable(QString::number(allocatedBytes(to))));
    QVERIFY(std::is_sorted(reported.begin(), reported.end()));
    QCOMPARE(reported.last(), qint64(bytes.size()));

    // copyData from the middle of the source, into the middle of a regular file.
    const QString part = dir.filePath("part.img");
    const int inFd = openFile(from, O_RDONLY);
    const int outFd = openFile(part, O_WRONLY | O_CREAT);
    QVERIFY(inFd >= 0 && outFd >= 0);
    QCOMPARE(::lseek(inFd, 1024 * 1024, SEEK_SET), off_t(1024 * 1024));
    QCOMPARE(::lseek(outFd, 4096, SEEK_SET), off_t(4096));
    const bool copied = copyData(inFd, outFd, 0, nullptr, {}, &failure, mover);
    ::close(inFd);
    ::close(outFd);
    QVERIFY(copied);
    QCOMPARE(TestSupport::readFile(part), QByteArray(4096, '\0') + bytes.mid(1024 * 1024));
    QVERIFY(allocatedBytes(part) < 1024 * 1024);
}

void TestPlatformCopy::namesTheCallOfAWriteError_data()
{
    QTest::addColumn<DataMover>("mover");
    QTest::addColumn<QByteArray>("call");
    // The kernel paths refuse that device as target, so each mover falls back to the
    // plain write, which meets the full device.
    QTest::newRow("copy_file_range") << CopyFileRange << QByteArray("write");
    QTest::newRow("sendfile") << SendFile << QByteArray("write");
    QTest::newRow("read-write") << ReadWrite << QByteArray("write");
}

void TestPlatformCopy::namesTheCallOfAWriteError()
{
    QFETCH(DataMover, mover);
    QFETCH(QByteArray, call);
    if (!QFileInfo::exists("/dev/full"))
        QSKIP("/dev/full is missing on this system");
    QTemporaryDir dir;
    const QString from = dir.filePath("data");
    QVERIFY(TestSupport::writeFile(from, randomData(100000)));
    const int inFd = openFile(from, O_RDONLY);
    const int outFd = openFile("/dev/full", O_WRONLY);
    QVERIFY(inFd >= 0 && outFd >= 0);

    Failure failure;
    DataMover last = mover;
    const bool copied = copyData(inFd, outFd, 100000, nullptr, {}, &failure, mover, &last);
    ::close(inFd);
    ::close(outFd);
    QVERIFY(!copied);
    QCOMPARE(last, ReadWrite);
    QCOMPARE(QByteArray(failure.call), call);
    QCOMPARE(failure.code, ENOSPC);
}

void TestPlatformCopy::refusesWhatItMustNotCopy_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("call");
    QTest::addColumn<int>("code");
    QTest::newRow("fifo source") << "fifo" << QByteArray("open") << EINVAL;
    QTest::newRow("folder source") << "folder" << QByteArray("open") << EINVAL;
    QTest::newRow("missing source") << "missing" << QByteArray("open") << ENOENT;
    QTest::newRow("existing target") << "target" << QByteArray("renameat2") << EEXIST;
}

void TestPlatformCopy::refusesWhatItMustNotCopy()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, call);
    QFETCH(int, code);
    QTemporaryDir dir;
    const QString from = dir.filePath("source");
    const QString to = dir.filePath("target");
    if (kind == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(from).constData(), 0644), 0);
    else if (kind == "folder")
        QVERIFY(QDir().mkpath(from));
    else if (kind == "target")
        QVERIFY(TestSupport::writeFile(from, "new") && TestSupport::writeFile(to, "old"));
    const QStringList entries = entriesOf(dir.path());

    // A FIFO without writer would block a plain open forever.
    Failure failure;
    QVERIFY(!copyFile(from, to, nullptr, {}, &failure));
    QCOMPARE(QByteArray(failure.call), call);
    QCOMPARE(failure.code, code);
    QCOMPARE(entriesOf(dir.path()), entries);
    if (kind == "target")
        QCOMPARE(TestSupport::readFile(to), QByteArray("old"));
}

void TestPlatformCopy::refusesASourceChangedWhileCopied_data()
{
    QTest::addColumn<DataMover>("mover");
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("refused");
    const QList<QPair<const char*, DataMover>> movers{
        {"copy_file_range", CopyFileRange}, {"sendfile", SendFile}, {"read-write", ReadWrite}};
    for (const auto& mover : movers) {
        for (const char* change : {"grows", "shrinks", "rewritten in place"})
            QTest::addRow("%s, %s", mover.first, change) << mover.second << change << true;
    }
    // The open file is still the version being copied, whole and unchanged.
    QTest::newRow("replaced under its name") << CopyFileRange << "replaced" << false;
}

void TestPlatformCopy::refusesASourceChangedWhileCopied()
{
    QFETCH(DataMover, mover);
    QFETCH(QString, change);
    QFETCH(bool, refused);
    QTemporaryDir dir;
    const QString from = dir.filePath("growing.log");
    const QString to = dir.filePath("copy.log");
    const QByteArray data = randomData(3 * chunkSize);
    QVERIFY(TestSupport::writeFile(from, data));
    // An old time, so that any write is seen even within one tick of the file system clock.
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(from).constData(), old, 0), 0);

    int chunks = 0;
    const auto changeSource = [&](qint64, qint64) {
        if (++chunks > 1)
            return;
        QFile file(from);
        if (change == "grows") {
            QVERIFY(file.open(QIODevice::Append));
            QCOMPARE(file.write("more"), qint64(4));
        } else if (change == "shrinks") {
            QVERIFY(file.resize(chunkSize));
        } else if (change == "rewritten in place") {
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.seek(2 * chunkSize));
            QCOMPARE(file.write("XXXX"), qint64(4));
        } else {
            QVERIFY(TestSupport::writeFile(dir.filePath("new"), "new version"));
            QVERIFY(::rename(QFile::encodeName(dir.filePath("new")).constData(),
                             QFile::encodeName(from).constData()) == 0);
        }
    };
    Failure failure;
    const bool copied = copyFile(from, to, nullptr, changeSource, &failure, mover);
    QVERIFY(chunks > 0);
    if (!refused) {
        QVERIFY(copied);
        QCOMPARE(TestSupport::readFile(to), data);
        return;
    }
    QVERIFY(!copied);
    QVERIFY(failure.sourceChanged);
    QCOMPARE(QByteArray(failure.call), QByteArray("fstat"));
    // No copy of a version that never existed, under any name.
    QCOMPARE(entriesOf(dir.path()), QStringList{"growing.log"});
}

void TestPlatformCopy::duplicatesLinkTargetText_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("relative, pointing nowhere") << "../nowhere/file.txt";
    QTest::newRow("absolute, pointing nowhere") << "/nonexistent/brindle/file";
    QTest::newRow("long name") << QString(300, 'x');
}

void TestPlatformCopy::duplicatesLinkTargetText()
{
    QFETCH(QString, target);
    QTemporaryDir dir;
    const QString link = dir.filePath("link");
    const QString copy = dir.filePath("copy");
    QCOMPARE(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()),
             0);

    Failure failure;
    QVERIFY(duplicateSymbolicLink(link, copy, &failure));
    char buffer[1024];
    const ssize_t length = ::readlink(QFile::encodeName(copy).constData(), buffer, sizeof buffer);
    QCOMPARE(QFile::decodeName(QByteArray(buffer, int(length))), target);

    QVERIFY(!duplicateSymbolicLink(link, copy, &failure));
    QCOMPARE(QByteArray(failure.call), QByteArray("symlink"));
    QCOMPARE(failure.code, EEXIST);
}

void TestPlatformCopy::setsModeAndTimesBeforeNaming_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("deferBelowSize");
    QTest::addColumn<bool>("sameDevice"); // deferDevice is the folder's file system
    QTest::addColumn<bool>("deferred");

    QTest::newRow("small, on the flushed file system: deferred")
        << qint64(1000) << qint64(4096) << true << true;
    QTest::newRow("empty: deferred") << qint64(0) << qint64(4096) << true << true;
    QTest::newRow("at the limit: placed") << qint64(4096) << qint64(4096) << true << false;
    QTest::newRow("another file system: placed") << qint64(1000) << qint64(4096) << false << false;
    QTest::newRow("no deferral asked: placed") << qint64(1000) << qint64(0) << true << false;
}

void TestPlatformCopy::setsModeAndTimesBeforeNaming()
{
    QFETCH(qint64, size);
    QFETCH(qint64, deferBelowSize);
    QFETCH(bool, sameDevice);
    QFETCH(bool, deferred);
    QTemporaryDir dir;
    const QString from = dir.filePath("from");
    const QString to = dir.filePath("to");
    const QByteArray data = randomData(size);
    QVERIFY(TestSupport::writeFile(from, data));
    QCOMPARE(::chmod(QFile::encodeName(from).constData(), 0600), 0);
    // Nanoseconds that a copy through seconds or microseconds would lose.
    const timespec times[2] = {{1400000000, 987654321}, {1500000000, 123456789}};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(from).constData(), times, 0), 0);
    struct stat folder;
    QCOMPARE(::stat(QFile::encodeName(dir.path()).constData(), &folder), 0);

    CopyRequest request;
    request.permissions = 0751;
    request.sourceTimes = true;
    request.deferBelowSize = deferBelowSize;
    request.deferDevice = quint64(folder.st_dev) + (sameDevice ? 0 : 1);
    CopyOutcome outcome;
    Failure failure;
    QVERIFY(copyFile(from, to, nullptr, {}, &failure, request, &outcome));

    const QStringList entries = entriesOf(dir.path());
    QCOMPARE(entries.size(), 2);
    QVERIFY(entries.contains("from"));
    QString copy = to;
    if (deferred) {
        // Only the temporary name exists, and the outcome names it.
        QVERIFY(!entries.contains("to"));
        QCOMPARE(QFileInfo(outcome.temporaryPath).path(), dir.path());
        QVERIFY(entries.contains(QFileInfo(outcome.temporaryPath).fileName()));
        QVERIFY(isTemporaryNameFor(QFileInfo(outcome.temporaryPath).fileName(), "to"));
        copy = outcome.temporaryPath;
    } else {
        QVERIFY(entries.contains("to"));
        QVERIFY(outcome.temporaryPath.isEmpty());
    }
    // Read before the contents, which may move the access time.
    struct stat status;
    QCOMPARE(::stat(QFile::encodeName(copy).constData(), &status), 0);
    QCOMPARE(int(status.st_mode & 07777), 0751);
    QCOMPARE(qint64(status.st_mtim.tv_sec), qint64(1500000000));
    QCOMPARE(qint64(status.st_mtim.tv_nsec), qint64(123456789));
    QCOMPARE(qint64(status.st_atim.tv_sec), qint64(1400000000));
    QCOMPARE(qint64(status.st_atim.tv_nsec), qint64(987654321));
    const FileVersion expected{size, 1500000000, 123456789};
    QVERIFY(outcome.copy.sameData(expected));
    QVERIFY(outcome.source.sameData(expected));
    QCOMPARE(TestSupport::readFile(copy), data);
}

void TestPlatformCopy::removesOnlyLeftoversOfGoneWriters_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<bool>("removed");
    const QString own = writerTag(QCoreApplication::applicationPid());
    QTest::newRow("no process has the pid")
        << ".a.txt.k3j9x.2147483647-5.brindle-part" << false << true;
    QTest::newRow("pid now of another process")
        << ".a.txt.k3j9x." + writerTag(QCoreApplication::applicationPid(), 1) + ".brindle-part"
        << false << true;
    // "bad\xff": a name that is not UTF-8, which QDir does not list.
    QTest::newRow("name not UTF-8, gone writer")
        << QString(".bad%1.k3j9x.2147483647-5.brindle-part").arg(FileNameCodec::escapeByte(0xff))
        << false << true;
    QTest::newRow("shortened long name, gone writer")
        << "." + QString(200, 'n') + ".zzzzzzzzzz.2147483647-5.brindle-part" << false << true;
    QTest::newRow("this process: a copy in progress")
        << ".a.txt.k3j9x." + own + ".brindle-part" << false << false;
    QTest::newRow("another live process")
        << ".a.txt.0." + writerTag(1) + ".brindle-part" << false << false;
    QTest::newRow("older form, maybe a user's file") << ".a.txt.k3j9x.part" << false << false;
    QTest::newRow("of a name not copied")
        << ".c.txt.k3j9x.2147483647-5.brindle-part" << false << false;
    QTest::newRow("upper-case random part")
        << ".a.txt.K3J9X.2147483647-5.brindle-part" << false << false;
    QTest::newRow("no writer") << ".a.txt.k3j9x.brindle-part" << false << false;
    QTest::newRow("a folder") << ".a.txt.k3j9x.2147483647-5.brindle-part" << true << false;
}

void TestPlatformCopy::removesOnlyLeftoversOfGoneWriters()
{
    QFETCH(QString, name);
    QFETCH(bool, folder);
    QFETCH(bool, removed);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QVERIFY(folder ? QDir().mkpath(path) : TestSupport::writeFile(path, "half a copy"));
    const QString longName = QString(230, 'n') + ".txt";
    const QString notUtf8 = QString("bad%1").arg(FileNameCodec::escapeByte(0xff));
    const QStringList gone =
        removeStaleTemporaryFiles(dir.path(), {"a.txt", "b.txt", longName, notUtf8});
    QCOMPARE(gone, removed ? QStringList{path} : QStringList{});
    QCOMPARE(QFileInfo::exists(path), !removed);
    // Whatever name it was for, when asked: only its form and its writer decide.
    if (!removed)
        QCOMPARE(removeStaleTemporaryFiles(dir.path(), {}, true).contains(path),
                 QByteArray(QTest::currentDataTag()) == "of a name not copied");

    // The names this process makes are recognised, fit in a name, and are never its own
    // leftovers.
    QString temporary;
    Failure failure;
    const int fd = createTemporaryFile(dir.filePath(longName), &temporary, &failure);
    QVERIFY(fd >= 0);
    ::close(fd);
    const QString made = QFileInfo(temporary).fileName();
    QVERIFY(QFile::encodeName(made).size() <= 255);
    QVERIFY(isTemporaryName(made) && isTemporaryNameFor(made, longName));
    QVERIFY(!removeStaleTemporaryFiles(dir.path(), {longName}).contains(temporary));
}

void TestPlatformCopy::probeRemovesProbesOfGoneWriters()
{
    // A run killed in the moment it probed the destination left its probe there.
    QTemporaryDir dir;
    const QString gone = dir.filePath(".brindle-probe.k3j9x.2147483647-5.brindle-part");
    const QString alive = dir.filePath(
        ".brindle-probe.k3j9x." + writerTag(QCoreApplication::applicationPid()) + ".brindle-part");
    QVERIFY(TestSupport::writeFile(gone, "") && TestSupport::writeFile(alive, ""));
    Platform::forgetFileSystemTraits();
    QVERIFY(probeFileSystem(dir.path()).probed);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QFileInfo(alive).fileName()});
}

void TestPlatformCopy::comparesFiles_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("changedAt"); // the byte of b that differs, -1 none
    QTest::addColumn<bool>("cancelled");
    const int block = int(PlatformCopy::bufferSize);
    QTest::newRow("empty") << 0 << -1 << false;
    QTest::newRow("equal, several blocks") << 2 * block + 7 << -1 << false;
    QTest::newRow("first byte") << 100 << 0 << false;
    QTest::newRow("last byte of a block") << 2 * block << block - 1 << false;
    QTest::newRow("last byte of the file") << 2 * block + 7 << 2 * block + 6 << false;
    QTest::newRow("other size") << 100 << 100 << false;
    QTest::newRow("cancelled") << 100 << -1 << true;
}

void TestPlatformCopy::comparesFiles()
{
    QFETCH(int, size);
    QFETCH(int, changedAt);
    QFETCH(bool, cancelled);
    QTemporaryDir dir;
    QByteArray data(size, 'x');
    for (int i = 0; i < size; ++i)
        data[i] = char(i * 7);
    QVERIFY(TestSupport::writeFile(dir.filePath("a"), data));
    if (changedAt >= size)
        data.append('!');
    else if (changedAt >= 0)
        data[changedAt] = char(data.at(changedAt) + 1);
    QVERIFY(TestSupport::writeFile(dir.filePath("b"), data));
    const std::atomic<int> cancel{cancelled ? 1 : 0};
    bool equal = true;
    PlatformCopy::Failure failure;
    QCOMPARE(
        PlatformCopy::compareFiles(dir.filePath("a"), dir.filePath("b"), &cancel, &equal, &failure),
        !cancelled);
    QCOMPARE(equal, changedAt < 0 && !cancelled);
    QCOMPARE(failure.code, cancelled ? ECANCELED : 0);
    QVERIFY(!PlatformCopy::compareFiles(dir.filePath("a"), dir.filePath("missing"), nullptr, &equal,
                                        &failure));
    QCOMPARE(failure.code, ENOENT);
}

void TestPlatformCopy::createsFoldersOnlyBeneathRoot_data()
{
    // The folder to make, below the destination; the link put at dst/sub first (empty: none).
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("linkTarget");
    QTest::addColumn<int>("code");
    QTest::newRow("plain folders") << "sub/a/b"
                                   << "" << 0;
    QTest::newRow("link to an outside folder") << "sub/a"
                                               << "../outside" << ELOOP;
    QTest::newRow("link as the folder itself") << "sub"
                                               << "../outside" << ELOOP;
    QTest::newRow("dangling link") << "sub/a"
                                   << "../missing" << ELOOP;
    QTest::newRow("link to a folder inside") << "sub/a"
                                             << "inner" << ELOOP;
    QTest::newRow("parent reference") << "../outside/a"
                                      << "" << EXDEV;
}

void TestPlatformCopy::createsFoldersOnlyBeneathRoot()
{
    QFETCH(QString, relative);
    QFETCH(QString, linkTarget);
    QFETCH(int, code);
    QTemporaryDir dir;
    const QString dst = dir.filePath("dst");
    QVERIFY(QDir().mkpath(dst + "/inner") && QDir().mkpath(dir.filePath("outside")));
    if (!linkTarget.isEmpty())
        QVERIFY(QFile::link(linkTarget, dst + "/sub"));

    Failure failure;
    const QString path = dst + '/' + relative;
    QCOMPARE(createFoldersBeneath(dst, path, &failure), code == 0);
    QCOMPARE(failure.code, code);
    QCOMPARE(isFolderBeneath(dst, path, &failure), code == 0);
    QVERIFY(entriesOf(dir.filePath("outside")).isEmpty());
    QVERIFY(entriesOf(dst + "/inner").isEmpty());
    if (!linkTarget.isEmpty())
        QCOMPARE(QFileInfo(dst + "/sub").symLinkTarget(),
                 QFileInfo(dst + '/' + linkTarget).absoluteFilePath());
}

QTEST_GUILESS_MAIN(TestPlatformCopy)
void TestPlatformCopy::copiesOnlyBeneathRoot_data()
{
    // When dst/sub becomes a link to a folder outside: before the copy, or while it runs.
    QTest::addColumn<bool>("during");
    QTest::addColumn<bool>("rootOpened"); // the caller holds the root open
    QTest::newRow("link put there before the copy") << false << false;
    QTest::newRow("link put there before, root held open") << false << true;
    QTest::newRow("folder swapped for a link during the copy") << true << true;
}

// The copy is made and named in the folder reached from the root, never through a link.
void TestPlatformCopy::copiesOnlyBeneathRoot()
{
    QFETCH(bool, during);
    QFETCH(bool, rootOpened);
    QTemporaryDir dir;
    const QString dst = dir.filePath("dst");
    const QString from = dir.filePath("from.bin");
    QVERIFY(QDir().mkpath(dst + "/sub") && QDir().mkpath(dir.filePath("outside")));
    const QByteArray data = randomData(3 * chunkSize);
    QVERIFY(TestSupport::writeFile(from, data));
    const auto swap = [&] {
        return QDir().rename(dst + "/sub", dst + "/old") &&
               QFile::link(dir.filePath("outside"), dst + "/sub");
    };
    if (!during)
        QVERIFY(swap());
    bool swapped = !during;
    CopyRequest request;
    request.destinationRoot = dst;
    request.destinationRootFd = rootOpened ? Platform::openFolder(dst) : -1;
    Failure failure;
    const bool copied = copyFile(
        from, dst + "/sub/f", nullptr,
        [&](qint64, qint64) {
            if (!swapped)
                swapped = swap();
        },
        &failure, request, nullptr);
    Platform::closeFolder(request.destinationRootFd);
    QVERIFY(swapped);
    QVERIFY(QDir(dir.filePath("outside")).isEmpty());
    QCOMPARE(copied, during);
    if (during)
        QCOMPARE(TestSupport::readFile(dst + "/old/f"), data);
    else
        QCOMPARE(failure.code, ELOOP);
}

// Entries made through a pinned folder land in it after it was swapped for a link, and a
// link on the way is never pinned.
void TestPlatformCopy::pinnedFolderStaysPut()
{
    QTemporaryDir dir;
    const QString dst = dir.filePath("dst");
    QVERIFY(QDir().mkpath(dst + "/sub") && QDir().mkpath(dir.filePath("outside")));
    PinnedFolder folder;
    Failure failure;
    QVERIFY(folder.pin(dst, -1, dst + "/sub", &failure));
    QVERIFY(QDir().rename(dst + "/sub", dst + "/old") &&
            QFile::link(dir.filePath("outside"), dst + "/sub"));
    QVERIFY(TestSupport::writeFile(folder.entryPath("t", dst + "/sub/t"), "data"));
    QVERIFY(moveIntoPlace(folder.entryPath("t", QString()), folder.entryPath("f", QString()),
                          &failure, false));
    QVERIFY(createSymbolicLink("x", folder.entryPath("l", QString()), &failure));
    QCOMPARE(entriesOf(dst + "/old"), QStringList({"f", "l"}));
    QVERIFY(QDir(dir.filePath("outside")).isEmpty());

    QVERIFY(!folder.pin(dst, -1, dst + "/sub", &failure));
    QCOMPARE(failure.code, ELOOP);
    QVERIFY(!folder.isPinned());
    QCOMPARE(folder.entryPath("f", "by path"), QString("by path"));
}

#include "tst_platformcopy.moc"

void TestPlatformCopy::readBehindSeesWhatWasCopied_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("sparse");
    QTest::addColumn<qint64>("claimed"); // beyond the size: the file is shorter than said

    QTest::newRow("empty") << qint64(0) << false << qint64(0);
    QTest::newRow("below one stretch") << qint64(5000) << false << qint64(0);
    QTest::newRow("two stretches and a bit")
        << 2 * PlatformReadBehind::stretchSize + 17 << false << qint64(0);
    QTest::newRow("with holes") << qint64(0) << true << qint64(0);
    QTest::newRow("shorter than copied") << qint64(5000) << false << qint64(10);
}

// The reader behind a copy hands on every byte the copy read, holes as zeros, in order.
void TestPlatformCopy::readBehindSeesWhatWasCopied()
{
    QFETCH(qint64, size);
    QFETCH(bool, sparse);
    QFETCH(qint64, claimed);
    QTemporaryDir dir;
    const QString from = dir.filePath("source");
    QByteArray bytes = sparse ? writeSparseFile(from) : randomData(size);
    if (sparse && bytes.isEmpty())
        QSKIP("The file system of the temporary folder keeps no holes");
    if (!sparse)
        QVERIFY(TestSupport::writeFile(from, bytes));

    QByteArray seen;
    PlatformReadBehind behind([&](const char* data, qint64 length) {
        seen.append(data, int(length));
        return true;
    });
    CopyRequest request;
    request.observeRead = [&](int fd, qint64 end) { behind.copied(fd, end + claimed); };
    Failure failure;
    QVERIFY(copyFile(from, dir.filePath("copy"), nullptr, {}, &failure, request, nullptr));
    QCOMPARE(behind.finish(&failure), claimed == 0);
    if (claimed == 0)
        QCOMPARE(seen, bytes);
    else
        QCOMPARE(failure.code, ENODATA);
}
