#include "engine/checkfilejob.h"
#include "engine/filehash.h"
#include "fs/platformcopy.h"
#include "jobs/jobthread.h"
#include "jobs/jobthreadpool.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtTest>

#include <condition_variable>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

enum FileKind
{
    Regular,
    Missing,
    LinkToFile,
    DanglingLink,
    Fifo,
    OldDates
};

constexpr qint64 MiB = 1048576;

struct CheckRun
{
    CopyItem item;
    int completions = 0;
    QList<QVariantList> progress;
};

// Holds the pool thread until opened, so that the calls queued meanwhile run in the order
// they were posted, however fast the thread would otherwise have been.
class ThreadGate
{
public:
    void wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_condition.wait(lock, [this] { return m_open; });
    }
    void open()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_open = true;
        }
        m_condition.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_open = false;
};

// Runs the job on a pool thread as the copy task does. stopAfterTurns > 0 asks for a stop
// after that many turns of the job thread's event queue: 1 lands between the start and the
// source hash, 2 between the source hash and the destination hash. threadAnchor lives in
// the pool thread.
bool runCheck(const CopyItem& item, int stopAfterTurns, QObject* threadAnchor, CheckRun* run)
{
    auto* job = new CheckFileJob;
    job->setItem(item);
    QObject receiver;
    bool destroyed = false;
    QObject::connect(job, &Job::jobProgress, &receiver,
                     [run](const QString& path, qint64 done, qint64 total) {
                         run->progress.append({path, done, total});
                     });
    QObject::connect(job, &Job::jobCompleted, &receiver, [run, job] {
        ++run->completions;
        run->item = job->item();
    });
    QObject::connect(job, &QObject::destroyed, &receiver, [&destroyed] { destroyed = true; });
    std::function<void(int)> stopLater = [job, &stopLater](int turns) {
        QMetaObject::invokeMethod(
            job,
            [job, turns, &stopLater] {
                if (turns <= 1)
                    job->stopJob();
                else
                    stopLater(turns - 1);
            },
            Qt::QueuedConnection);
    };
    ThreadGate gate;
    if (stopAfterTurns > 0)
        QMetaObject::invokeMethod(
            threadAnchor, [&gate] { gate.wait(); }, Qt::QueuedConnection);
    JobThreadPool::leastBusyThread()->addJob(job);
    if (stopAfterTurns > 0) {
        stopLater(stopAfterTurns);
        gate.open();
    }
    if (!QTest::qWaitFor([run] { return run->completions > 0; }, 30000))
        return false;
    job->deleteLater();
    return QTest::qWaitFor([&destroyed] { return destroyed; }, 5000) && run->completions == 1;
}

// Pages of the file between offset (page aligned) and offset + length that the page cache
// holds, or -1 when that cannot be told.
int residentPages(const QString& path, qint64 offset, qint64 length)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const int resident = TestSupport::residentPages(fd, offset, length);
    ::close(fd);
    return resident;
}

void ignoreWarnings(const QStringList& lines, const QString& source, const QString& destination,
                    const QString& linkTarget)
{
    for (QString line : lines) {
        line.replace("{S}", source).replace("{D}", destination).replace("{T}", linkTarget);
        QTest::ignoreMessage(QtWarningMsg, qUtf8Printable(line));
    }
}

// Every message of every thread, in order, while it lives; instead of the test's own
// handler, so that an unexpected warning shows as well.
class MessageCollector
{
public:
    MessageCollector()
    {
        s_messages.clear();
        s_previous = qInstallMessageHandler(&MessageCollector::collect);
    }
    ~MessageCollector() { qInstallMessageHandler(s_previous); }

    static void add(const QString& text)
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        s_messages << text;
    }
    QStringList messages() const
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        return s_messages;
    }

private:
    static void collect(QtMsgType, const QMessageLogContext&, const QString& text) { add(text); }

    static inline std::mutex s_mutex;
    static inline QStringList s_messages;
    static inline QtMessageHandler s_previous = nullptr;
};

} // namespace

class TestCheckFileJob : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void digest_data();
    void digest();
    void changedWhileOpen_data();
    void changedWhileOpen();
    void failedCheckOfEveryVersion();
    void check_data();
    void check();
    void pseudoFiles_data();
    void pseudoFiles();
    void progressMarks_data();
    void progressMarks();
    void stop_data();
    void stop();
    void readsDestinationFromDevice_data();
    void readsDestinationFromDevice();
    void changedSinceListing_data();
    void changedSinceListing();
    void stopBetweenSourceAndDestination_data();
    void stopBetweenSourceAndDestination();
    void openFileChangedAfterOpening_data();
    void openFileChangedAfterOpening();
    void openFileReportsWhenHashed();
    void batch_data();
    void batch();
    void pausedDigestHoldsItsPlace_data();
    void pausedDigestHoldsItsPlace();

private:
    bool makeFile(const QString& path, FileKind kind, const QByteArray& content);
    bool makeLargeFiles(qint64 size, bool lastByteDiffers, CopyItem* item);

    QTemporaryDir m_dir;
    int m_fileNumber = 0;
    QObject* mp_threadAnchor = nullptr;
};

void TestCheckFileJob::initTestCase()
{
    TestSupport::initTestEnvironment();
    QVERIFY(m_dir.isValid());
    JobThreadPool::createThreads(1);
    JobThreadPool::startThreads();
    mp_threadAnchor = new QObject;
    mp_threadAnchor->moveToThread(JobThreadPool::leastBusyThread());
}

void TestCheckFileJob::cleanupTestCase()
{
    mp_threadAnchor->deleteLater();
    JobThreadPool::destroyThreads();
}

bool TestCheckFileJob::makeFile(const QString& path, FileKind kind, const QByteArray& content)
{
    const QString target = path + ".target";
    switch (kind) {
    case Regular:
        return TestSupport::writeFile(path, content);
    case Missing:
        return true;
    case LinkToFile:
        return TestSupport::writeFile(target, content) && QFile::link(target, path);
    case DanglingLink:
        return QFile::link(target, path);
    case Fifo:
        return mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    case OldDates: {
        QFile file(path);
        return TestSupport::writeFile(path, content) && file.open(QIODevice::ReadWrite) &&
               file.setFileTime(QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)),
                                QFileDevice::FileModificationTime);
    }
    }
    return false;
}

bool TestCheckFileJob::makeLargeFiles(qint64 size, bool lastByteDiffers, CopyItem* item)
{
    const QString base = m_dir.filePath(QString::number(++m_fileNumber));
    item->source_path = base + ".src";
    item->destination_path = base + ".dst";
    item->file_size = size;
    item->copy_state = Copied;
    // Sparse files: large to read, yet nothing on disk.
    QFile source(item->source_path);
    QFile destination(item->destination_path);
    if (!source.open(QIODevice::WriteOnly) || !source.resize(size) ||
        !destination.open(QIODevice::WriteOnly) || !destination.resize(size))
        return false;
    return !lastByteDiffers || (destination.seek(size - 1) && destination.write("x", 1) == 1);
}

void TestCheckFileJob::digest_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("expectedHex");

    QTest::newRow("abc") << QByteArray("abc")
                         << QByteArray(
                                "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    QTest::newRow("empty file")
        << QByteArray()
        << QByteArray("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    // From 8 MiB on the file is read aside in pieces of 4 MiB: the ends of pieces and marks.
    for (const qint64 size : {5 * MiB + 17, 8 * MiB, 12 * MiB + 5, 16 * MiB, 16 * MiB + 1}) {
        QByteArray content(int(size), Qt::Uninitialized);
        QRandomGenerator generator{quint32(size)};
        generator.fillRange(reinterpret_cast<quint32*>(content.data()), int(size / 4));
        QTest::addRow("random %lld bytes", size)
            << content << QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex();
    }
    // The other digests a verify may compare by, as b2sum and xxhsum -H2 print them.
    QTest::newRow("blake2b:abc") << QByteArray("abc")
                                 << QByteArray("ba80a53f981c4d0d6a2797b69f12f6e94c212f14685ac4b74b"
                                               "12bb6fdbffa2d17d87c5392aab792dc252d5de4533cc9518d3"
                                               "8aa8dbf1925ab92386edd4009923");
    QTest::newRow("xxh3:abc") << QByteArray("abc")
                              << QByteArray("06b05ab6733a618578af5f94892f3950");
    QTest::newRow("xxh3:empty file")
        << QByteArray() << QByteArray("99aa06d3014798d86001c324468d497f");
}

void TestCheckFileJob::digest()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, expectedHex);

    const QString path = m_dir.filePath(QString::number(++m_fileNumber));
    QVERIFY(TestSupport::writeFile(path, content));
    const QString tag = QTest::currentDataTag();
    Digest::Algorithm algorithm = Digest::Algorithm::Sha256;
    if (tag.contains(':'))
        QVERIFY(Digest::fromName(tag.section(':', 0, 0), &algorithm));
    // Read aside or in turns, through the cache or from the device: the same bytes.
    for (const bool readAside : {true, false}) {
        for (const auto reading : {FileHash::Reading::MayUseCache, FileHash::Reading::FromDevice}) {
            FileHash::OpenFile file(path, reading);
            file.setReadAside(readAside);
            QCOMPARE(file.digest(algorithm).toHex(), expectedHex);
        }
    }
}

void TestCheckFileJob::changedWhileOpen_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("changedSize");

    QTest::newRow("small, shortened") << 3 * MiB << MiB;
    QTest::newRow("read aside, shortened within the last piece") << 10 * MiB << 9 * MiB;
    QTest::newRow("read aside, shortened to a piece's end") << 10 * MiB << 8 * MiB;
    QTest::newRow("read aside, grown by a byte") << 10 * MiB << 10 * MiB + 1;
    QTest::newRow("read aside, grown past a piece's end") << 8 * MiB << 13 * MiB;
}

// A file that is not the size it had when opened gives no digest, however it is read.
void TestCheckFileJob::changedWhileOpen()
{
    QFETCH(qint64, size);
    QFETCH(qint64, changedSize);

    const QString path = m_dir.filePath(QString::number(++m_fileNumber));
    QVERIFY(TestSupport::writeFile(path, QByteArray(int(size), 'a')));
    FileHash::OpenFile file(path);
    QVERIFY(QFile::resize(path, changedSize));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Unable to read all the data"));
    QVERIFY(file.digest(Digest::Algorithm::Xxh3_128).isEmpty());
}

void TestCheckFileJob::check_data()
{
    QTest::addColumn<int>("sourceKind");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<int>("destinationKind");
    QTest::addColumn<QByteArray>("destination");
    QTest::addColumn<int>("initialState");
    QTest::addColumn<int>("expectedState");
    QTest::addColumn<QString>("expectedMessage");
    QTest::addColumn<QStringList>("warnings");

    const QStringList failed{"Integrity check failed for file {D}"};
    const QStringList destinationUnreadable{"Unable to open file {D} to compute its hash",
                                            "Unable to make hash of file (to) {D}", failed.first()};
    const QStringList sourceUnreadable{"Unable to open file {S} to compute its hash",
                                       "Unable to make hash of file (from) {S}", failed.first()};

    QTest::newRow("identical files")
        << int(Regular) << QByteArray("hello") << int(Regular) << QByteArray("hello") << int(Copied)
        << int(Copied) << QString() << QStringList();
    QTest::newRow("identical, skipped item stays skipped")
        << int(Regular) << QByteArray("hello") << int(Regular) << QByteArray("hello")
        << int(Skipped) << int(Skipped) << QString() << QStringList();
    QTest::newRow("two empty files") << int(Regular) << QByteArray() << int(Regular) << QByteArray()
                                     << int(Copied) << int(Copied) << QString() << QStringList();
    QTest::newRow("other dates, same content")
        << int(Regular) << QByteArray("hello") << int(OldDates) << QByteArray("hello")
        << int(Copied) << int(Copied) << QString() << QStringList();
    QTest::newRow("one byte changed")
        << int(Regular) << QByteArray("hello") << int(Regular) << QByteArray("hellO") << int(Copied)
        << int(DestinationError) << "content differs" << failed;
    QTest::newRow("destination one byte longer")
        << int(Regular) << QByteArray("hello") << int(Regular) << QByteArray("hello!")
        << int(Copied) << int(DestinationError) << "content differs" << failed;
    QTest::newRow("destination missing")
        << int(Regular) << QByteArray("hello") << int(Missing) << QByteArray() << int(Copied)
        << int(DestinationError) << "unable to check destination file" << destinationUnreadable;
    QTest::newRow("source missing")
        << int(Missing) << QByteArray() << int(Regular) << QByteArray("hello") << int(Copied)
        << int(SourceError) << "unable to check source file" << sourceUnreadable;
    QTest::newRow("source is a FIFO")
        << int(Fifo) << QByteArray() << int(Regular) << QByteArray() << int(Copied)
        << int(SourceError) << "unable to check source file" << sourceUnreadable;
    QTest::newRow("links to identical files")
        << int(LinkToFile) << QByteArray("hello") << int(LinkToFile) << QByteArray("hello")
        << int(Copied) << int(Copied) << QString() << QStringList();
    QTest::newRow("link to a changed file")
        << int(LinkToFile) << QByteArray("hello") << int(LinkToFile) << QByteArray("jello")
        << int(Copied) << int(DestinationError) << "content differs" << failed;
    QTest::newRow("dangling destination link")
        << int(Regular) << QByteArray("hello") << int(DanglingLink) << QByteArray() << int(Copied)
        << int(DestinationError) << "unable to check destination file"
        << QStringList{"Unable to open file {T} to compute its hash",
                       "Unable to make hash of file (to) {D}", failed.first()};
}

void TestCheckFileJob::check()
{
    QFETCH(int, sourceKind);
    QFETCH(QByteArray, source);
    QFETCH(int, destinationKind);
    QFETCH(QByteArray, destination);
    QFETCH(int, initialState);
    QFETCH(int, expectedState);
    QFETCH(QString, expectedMessage);
    QFETCH(QStringList, warnings);

    const QString base = m_dir.filePath(QString::number(++m_fileNumber));
    CopyItem item(base + ".src", base + ".dst", source.size(), false, QString());
    item.copy_state = initialState;
    item.elapsed_time = 1000;
    item.info_list = QStringList{"earlier note"};
    // A verdict carried over from an earlier run must not survive a failing check.
    item.is_checked = true;
    QVERIFY(makeFile(item.source_path, FileKind(sourceKind), source));
    QVERIFY(makeFile(item.destination_path, FileKind(destinationKind), destination));
    ignoreWarnings(warnings, item.source_path, item.destination_path,
                   item.destination_path + ".target");

    CheckRun run;
    QVERIFY(runCheck(item, 0, mp_threadAnchor, &run));
    const bool passed = expectedMessage.isEmpty();
    QCOMPARE(run.item.copy_state, expectedState);
    QCOMPARE(run.item.copy_message, expectedMessage);
    QCOMPARE(run.item.is_checked, passed);
    const QStringList expectedInfo =
        passed ? QStringList{"earlier note", "copy verified"} : QStringList{"earlier note"};
    QCOMPARE(run.item.info_list, expectedInfo);
    QVERIFY(run.item.elapsed_time > 1000);
    QCOMPARE(run.item.source_path, item.source_path);
}

void TestCheckFileJob::pseudoFiles_data()
{
    // Files of /proc that say 0 bytes and give more, the same on every read.
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("passes");
    for (const QString source : {"/proc/version", "/proc/sys/kernel/ostype"}) {
        QTest::addRow("%s, copied", qPrintable(source)) << source << QString() << true;
        QTest::addRow("%s, last byte changed", qPrintable(source)) << source << "X" << false;
        QTest::addRow("%s, a byte more", qPrintable(source)) << source << "+" << false;
    }
}

void TestCheckFileJob::pseudoFiles()
{
    QFETCH(QString, source);
    QFETCH(QString, change);
    QFETCH(bool, passes);

    QFile in(source);
    QVERIFY(in.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    QByteArray content = in.readAll();
    QVERIFY(in.size() == 0 && !content.isEmpty());
    if (change == "X")
        content[content.size() - 1] = 'X';
    else if (change == "+")
        content.append('+');
    const QString destination = m_dir.filePath(QString::number(++m_fileNumber));
    QVERIFY(TestSupport::writeFile(destination, content));
    CopyItem item(source, destination, 0, false, QString());
    item.copy_state = Skipped;
    if (!passes)
        QTest::ignoreMessage(QtWarningMsg,
                             qPrintable("Integrity check failed for file " + destination));

    CheckRun run;
    QVERIFY(runCheck(item, 0, mp_threadAnchor, &run));
    QCOMPARE(run.item.is_checked, passes);
    QCOMPARE(run.item.copy_message, passes ? QString() : QString("content differs"));
}

void TestCheckFileJob::progressMarks_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("lastByteDiffers");
    QTest::addColumn<QList<qint64>>("marks");

    QTest::newRow("just below 16 MiB") << 16 * MiB - 1 << false << QList<qint64>();
    QTest::newRow("exactly 16 MiB") << 16 * MiB << false << QList<qint64>{16 * MiB};
    QTest::newRow("40 MiB") << 40 * MiB << false << QList<qint64>{16 * MiB, 32 * MiB};
    QTest::newRow("40 MiB, last byte differs")
        << 40 * MiB << true << QList<qint64>{16 * MiB, 32 * MiB};
}

void TestCheckFileJob::progressMarks()
{
    QFETCH(qint64, size);
    QFETCH(bool, lastByteDiffers);
    QFETCH(QList<qint64>, marks);

    CopyItem item;
    QVERIFY(makeLargeFiles(size, lastByteDiffers, &item));
    if (lastByteDiffers)
        ignoreWarnings({"Integrity check failed for file {D}"}, QString(), item.destination_path,
                       QString());
    CheckRun run;
    QVERIFY(runCheck(item, 0, mp_threadAnchor, &run));

    QList<QVariantList> expected;
    for (const QString& path : {item.source_path, item.destination_path}) {
        for (const qint64 mark : marks)
            expected.append({path, mark, size});
    }
    QCOMPARE(run.progress, expected);
    QCOMPARE(run.item.is_checked, !lastByteDiffers);
    QCOMPARE(run.item.copy_message, lastByteDiffers ? QString("content differs") : QString());
}

void TestCheckFileJob::stop_data()
{
    QTest::addColumn<int>("stopAfterTurns");
    QTest::addColumn<int>("progressReports");
    QTest::addColumn<QStringList>("warnings");

    QTest::newRow("while the source is hashed")
        << 1 << 0
        << QStringList{
               "Integrity check stopped for file {S}",
               "Unable to read all the data in the file {S} 16777216 bytes read of 41943040",
               "Unable to make hash of file (from) {S}", "Integrity check failed for file {D}"};
    QTest::newRow("before the destination is hashed")
        << 2 << 2 << QStringList{"Integrity check failed for file {D}"};
}

void TestCheckFileJob::stop()
{
    QFETCH(int, stopAfterTurns);
    QFETCH(int, progressReports);
    QFETCH(QStringList, warnings);

    CopyItem item;
    QVERIFY(makeLargeFiles(40 * MiB, false, &item));
    ignoreWarnings(warnings, item.source_path, item.destination_path, QString());
    CheckRun run;
    QVERIFY(runCheck(item, stopAfterTurns, mp_threadAnchor, &run));
    QCOMPARE(run.item.copy_state, int(DestinationError));
    QCOMPARE(run.item.copy_message, QString("check cancelled by user"));
    QCOMPARE(run.item.is_checked, false);
    QCOMPARE(run.progress.size(), progressReports);
}

void TestCheckFileJob::readsDestinationFromDevice_data()
{
    QTest::addColumn<bool>("destination");
    QTest::addColumn<bool>("tailCached");
    QTest::addColumn<bool>("listedSmall"); // checked in one call, as a small file

    // The source may come from the cache; it shows that the probe sees cached pages at all.
    QTest::newRow("source, as cached") << false << true << false;
    QTest::newRow("destination, from its device") << true << false << false;
    QTest::newRow("listed small: source, as cached") << false << true << true;
    QTest::newRow("listed small: destination, from its device") << true << false << true;
}

// At the first progress mark of a file, 16 MiB into it, its last 16 MiB are looked at: still
// cached from the writing, or dropped before the hash began (read-ahead never goes that
// far).
void TestCheckFileJob::readsDestinationFromDevice()
{
    QFETCH(bool, destination);
    QFETCH(bool, tailCached);
    QFETCH(bool, listedSmall);
    struct statfs fileSystem = {};
    QCOMPARE(::statfs(QFile::encodeName(m_dir.path()).constData(), &fileSystem), 0);
    if (fileSystem.f_type == TMPFS_MAGIC)
        QSKIP("The pages of a file on tmpfs are its only storage: nothing can be dropped");

    const qint64 size = 48 * MiB;
    const qint64 tail = size - 16 * MiB;
    const QString base = m_dir.filePath(QString::number(++m_fileNumber));
    CopyItem item(base + ".src", base + ".dst", size, false, QString());
    item.copy_state = Copied;
    QByteArray data(int(size), '\0');
    for (int i = 0; i < data.size(); i += 4096)
        data[i] = char(i / 4096);
    QVERIFY(TestSupport::writeFile(item.source_path, data));
    QVERIFY(TestSupport::writeFile(item.destination_path, data));
    const QString probed = destination ? item.destination_path : item.source_path;
    const int tailPages = int(16 * MiB / ::sysconf(_SC_PAGESIZE));
    if (residentPages(probed, tail, 16 * MiB) != tailPages)
        QSKIP("The page cache does not keep the data just written here");

    // Grown since it was listed: the size the check goes by is the listed one.
    if (listedSmall)
        item.file_size = 100;
    auto* job = new CheckFileJob;
    job->setItem(item);
    std::atomic<int> resident{-2};
    std::atomic<bool> completed{false};
    // Direct: measured in the job's thread while the hash waits.
    connect(
        job, &Job::jobProgress, job,
        [&](const QString& path, qint64 done, qint64) {
            if (path == probed && done == 16 * MiB)
                resident = residentPages(path, tail, 16 * MiB);
        },
        Qt::DirectConnection);
    connect(job, &Job::jobCompleted, this, [&] { completed = true; });
    JobThreadPool::leastBusyThread()->addJob(job);
    QTRY_VERIFY_WITH_TIMEOUT(completed, 30000);
    const CopyItem checked = job->item();
    job->deleteLater();

    QVERIFY(checked.is_checked);
    QCOMPARE(checked.info_list, QStringList{"copy verified"});
    QCOMPARE(resident.load(), tailCached ? tailPages : 0);
}

void TestCheckFileJob::changedSinceListing_data()
{
    QTest::addColumn<qint64>("listedSize");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("lastByteDiffers");

    // Checked in one call or in two by the listed size, whatever the files hold now.
    QTest::newRow("listed small, now 2 MiB, identical") << 100LL << 2 * MiB << false;
    QTest::newRow("listed small, now 2 MiB, last byte differs") << 100LL << 2 * MiB << true;
    QTest::newRow("listed 2 MiB, now small, identical") << 2 * MiB << 100LL << false;
    QTest::newRow("listed 2 MiB, now small, last byte differs") << 2 * MiB << 100LL << true;
    QTest::newRow("listed small, now empty") << 100LL << 0LL << false;
}

void TestCheckFileJob::changedSinceListing()
{
    QFETCH(qint64, listedSize);
    QFETCH(qint64, size);
    QFETCH(bool, lastByteDiffers);

    CopyItem item;
    QVERIFY(makeLargeFiles(size, lastByteDiffers, &item));
    item.file_size = listedSize;
    if (lastByteDiffers)
        ignoreWarnings({"Integrity check failed for file {D}"}, QString(), item.destination_path,
                       QString());
    CheckRun run;
    QVERIFY(runCheck(item, 0, mp_threadAnchor, &run));
    QCOMPARE(run.item.is_checked, !lastByteDiffers);
    QCOMPARE(run.item.copy_state, int(lastByteDiffers ? DestinationError : Copied));
    QCOMPARE(run.item.copy_message, lastByteDiffers ? QString("content differs") : QString());
    QVERIFY(run.progress.isEmpty());
}

void TestCheckFileJob::stopBetweenSourceAndDestination_data()
{
    QTest::addColumn<qint64>("listedSize");
    QTest::newRow("listed small: one call") << 100LL;
    QTest::newRow("listed large: two queued calls") << 16 * MiB;
}

// The stop comes at the source's only mark, its last byte: the source hash is complete,
// and the destination is never read.
void TestCheckFileJob::stopBetweenSourceAndDestination()
{
    QFETCH(qint64, listedSize);

    CopyItem item;
    QVERIFY(makeLargeFiles(16 * MiB, false, &item));
    item.file_size = listedSize;
    MessageCollector collector;
    auto* job = new CheckFileJob;
    job->setItem(item);
    QStringList progress;
    std::atomic<bool> completed{false};
    connect(
        job, &Job::jobProgress, job,
        [job, &progress](const QString& path, qint64 done, qint64 total) {
            progress << QStringLiteral("%1 %2 %3").arg(path).arg(done).arg(total);
            job->stopJob();
        },
        Qt::DirectConnection);
    connect(job, &Job::jobCompleted, this, [&] { completed = true; });
    JobThreadPool::leastBusyThread()->addJob(job);
    QTRY_VERIFY_WITH_TIMEOUT(completed, 30000);
    const CopyItem checked = job->item();
    job->deleteLater();

    QCOMPARE(progress, QStringList{QStringLiteral("%1 %2 %2").arg(item.source_path).arg(16 * MiB)});
    QCOMPARE(checked.copy_state, int(DestinationError));
    QCOMPARE(checked.copy_message, QString("check cancelled by user"));
    QVERIFY(!checked.is_checked);
    // Nothing about the destination's hash.
    QCOMPARE(collector.messages(),
             QStringList{"Integrity check failed for file " + item.destination_path});
}

void TestCheckFileJob::openFileChangedAfterOpening_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("change"); // bytes added (negative: removed) after the opening
    QTest::addColumn<QString>("warning");

    const QString readAll = "Unable to read all the data in the file {P} %1 bytes read of %2";
    QTest::newRow("small, rewritten, same size") << 5LL << 0 << QString();
    QTest::newRow("small, grown") << 5LL << 1 << readAll.arg(6).arg(5);
    QTest::newRow("small, shrunk") << 5LL << -1 << readAll.arg(4).arg(5);
    // The first read gets all it asked for: only a second one tells the end.
    QTest::newRow("one read block, rewritten") << MiB << 0 << QString();
    QTest::newRow("one read block, grown") << MiB << 1 << readAll.arg(MiB + 1).arg(MiB);
    QTest::newRow("one block and a byte, shrunk") << MiB + 1 << -1 << readAll.arg(MiB).arg(MiB + 1);
}

void TestCheckFileJob::openFileChangedAfterOpening()
{
    QFETCH(qint64, size);
    QFETCH(int, change);
    QFETCH(QString, warning);

    const QString path = m_dir.filePath(QString::number(++m_fileNumber));
    QVERIFY(TestSupport::writeFile(path, QByteArray(int(size), 'a')));
    FileHash::OpenFile file(path, FileHash::Reading::MayUseCache, size);
    const QByteArray changed(int(size + change), 'b');
    QVERIFY(TestSupport::writeFile(path, changed));
    if (!warning.isEmpty())
        ignoreWarnings({warning.replace("{P}", path)}, QString(), QString(), QString());

    const QByteArray expected = warning.isEmpty()
                                    ? QCryptographicHash::hash(changed, QCryptographicHash::Sha256)
                                    : QByteArray();
    QCOMPARE(file.sha256().toHex(), expected.toHex());
}

// A check opens the destination before it hashes the source: a destination that cannot be
// opened must be reported after the source's messages, when its own hash is made.
void TestCheckFileJob::openFileReportsWhenHashed()
{
    const QString missing = m_dir.filePath("missing");
    const QString fifo = m_dir.filePath("fifo");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    MessageCollector collector;
    {
        FileHash::OpenFile missingFile(missing, FileHash::Reading::FromDevice, MiB);
        FileHash::OpenFile fifoFile(fifo, FileHash::Reading::FromDevice, MiB);
        MessageCollector::add("opened");
        QVERIFY(missingFile.sha256().isEmpty());
        QVERIFY(fifoFile.sha256().isEmpty());
    }
    QCOMPARE(collector.messages(),
             QStringList({"opened", "Unable to open file " + missing + " to compute its hash",
                          "Unable to open file " + fifo + " to compute its hash"}));
}

void TestCheckFileJob::batch_data()
{
    // Each file: "ok", "differs", "noDestination", "noSource", or "stop" (16 MiB, listed
    // small; its source's mark stops the job).
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("outcomes"); // copy message, "verified" or "unchecked"

    QTest::newRow("all verified") << QStringList{"ok", "ok", "ok"}
                                  << QStringList{"verified", "verified", "verified"};
    QTest::newRow("every verdict")
        << QStringList{"ok", "differs", "noDestination", "noSource", "ok"}
        << QStringList{"verified", "content differs", "unable to check destination file",
                       "unable to check source file", "verified"};
    QTest::newRow("stop in the first file")
        << QStringList{"stop", "ok", "ok"}
        << QStringList{"check cancelled by user", "unchecked", "unchecked"};
    QTest::newRow("stop in the third file")
        << QStringList{"ok", "differs", "stop", "ok", "ok"}
        << QStringList{"verified", "content differs", "check cancelled by user", "unchecked",
                       "unchecked"};
}

// Small files checked one after the other by one job, each pair opened while the one
// before it is hashed: every file gets its own verdict and its messages in its turn, and
// a stop leaves the files after the current one unchecked and unchanged.
void TestCheckFileJob::batch()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, outcomes);

    QList<CopyItem> items;
    QStringList expectedMessages;
    for (int i = 0; i < files.size(); ++i) {
        const QString kind = files.at(i);
        const QString base = m_dir.filePath(QString::number(++m_fileNumber));
        CopyItem item(base + ".src", base + ".dst", 100, false, QString());
        item.copy_state = Skipped;
        item.info_list = QStringList{"compared"};
        const QByteArray content = QByteArray::number(i).repeated(50);
        if (kind == "stop") {
            QVERIFY(makeLargeFiles(16 * MiB, false, &item));
            item.file_size = 100;
            item.copy_state = Skipped;
            item.info_list = QStringList{"compared"};
        } else {
            if (kind != "noSource")
                QVERIFY(TestSupport::writeFile(item.source_path, content));
            if (kind != "noDestination")
                QVERIFY(TestSupport::writeFile(
                    item.destination_path, kind == "differs" ? content.toUpper() + "x" : content));
        }
        if (kind == "noDestination")
            expectedMessages << "Unable to open file " + item.destination_path +
                                    " to compute its hash"
                             << "Unable to make hash of file (to) " + item.destination_path;
        if (kind == "noSource")
            expectedMessages << "Unable to open file " + item.source_path + " to compute its hash"
                             << "Unable to make hash of file (from) " + item.source_path;
        if (kind != "ok" && outcomes.at(i) != "unchecked")
            expectedMessages << "Integrity check failed for file " + item.destination_path;
        items << item;
    }

    auto* job = new CheckFileJob;
    job->setItem(items.first());
    for (int i = 1; i < items.size(); ++i) {
        QVERIFY(job->canAdd(items.at(i)));
        job->addItem(items.at(i));
    }
    MessageCollector collector;
    std::atomic<bool> completed{false};
    connect(
        job, &Job::jobProgress, job, [job](const QString&, qint64, qint64) { job->stopJob(); },
        Qt::DirectConnection);
    connect(job, &Job::jobCompleted, this, [&] { completed = true; });
    JobThreadPool::leastBusyThread()->addJob(job);
    QTRY_VERIFY_WITH_TIMEOUT(completed, 30000);
    const QList<CopyItem> checked = job->checkedItems();
    const QList<CopyItem> unchecked = job->uncheckedItems();
    job->deleteLater();

    QCOMPARE(checked.size() + unchecked.size(), items.size());
    for (int i = 0; i < items.size(); ++i) {
        const QString& outcome = outcomes.at(i);
        if (outcome == "unchecked") {
            QVERIFY(i >= checked.size());
            const CopyItem& item = unchecked.at(i - checked.size());
            QCOMPARE(item.source_path, items.at(i).source_path);
            QCOMPARE(item.copy_state, int(Skipped));
            QCOMPARE(item.info_list, QStringList{"compared"});
            QCOMPARE(item.elapsed_time, qint64(0));
            QVERIFY(!item.is_checked);
            continue;
        }
        QVERIFY(i < checked.size());
        const CopyItem& item = checked.at(i);
        QCOMPARE(item.source_path, items.at(i).source_path);
        const bool verified = outcome == "verified";
        QCOMPARE(item.is_checked, verified);
        QCOMPARE(item.copy_message, verified ? QString() : outcome);
        const QStringList expectedInfo =
            verified ? QStringList{"compared", "copy verified"} : QStringList{"compared"};
        QCOMPARE(item.info_list, expectedInfo);
        QVERIFY(item.elapsed_time >= 1);
    }
    QCOMPARE(collector.messages(), expectedMessages);
}

// A mismatch read from an errors file is one whether written now or before it had its name.
void TestCheckFileJob::failedCheckOfEveryVersion()
{
    CopyItem item;
    item.copy_state = DestinationError;
    for (const char* message : {"content differs", "check error"}) {
        item.copy_message = QLatin1String(message);
        QVERIFY2(CheckFileJob::failedCheck(item), message);
    }
    item.copy_message = QStringLiteral("unable to check destination file");
    QVERIFY(!CheckFileJob::failedCheck(item));
}
void TestCheckFileJob::pausedDigestHoldsItsPlace_data()
{
    QTest::addColumn<bool>("readAside");
    QTest::addColumn<int>("then");

    QTest::newRow("read aside, continued") << true << int(PlatformCopy::FlagRunning);
    QTest::newRow("in turns, continued") << false << int(PlatformCopy::FlagRunning);
    QTest::newRow("read aside, stopped") << true << int(PlatformCopy::FlagCancelled);
    QTest::newRow("in turns, stopped") << false << int(PlatformCopy::FlagCancelled);
}

// The read-back of a large copy holds on a pause after its first piece, not at the file's
// end, and goes on from there: the digest of the whole file, no byte lost or read twice.
void TestCheckFileJob::pausedDigestHoldsItsPlace()
{
    QFETCH(bool, readAside);
    QFETCH(int, then);

    QByteArray content(int(40 * MiB), Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(content.data()),
                                  content.size() / int(sizeof(quint32)));
    const QString path = m_dir.filePath(QString::number(++m_fileNumber));
    QVERIFY(TestSupport::writeFile(path, content));
    Digest whole(Digest::Algorithm::Xxh3_128);
    QVERIFY(whole.update(content.constData(), content.size()));

    std::atomic<int> flag{PlatformCopy::FlagPaused};
    std::atomic_bool done{false};
    QByteArray result;
    std::thread reader([&] {
        FileHash::OpenFile file(path, FileHash::Reading::FromDevice);
        file.setReadAside(readAside);
        file.setStopFlag(&flag);
        result = file.digest(Digest::Algorithm::Xxh3_128);
        done = true;
    });
    QTRY_VERIFY(TestSupport::threadHoldsOnPause());
    const bool endedWhilePaused = done;
    PlatformCopy::setCancelFlag(&flag, then);
    reader.join();
    QVERIFY(!endedWhilePaused);
    QCOMPARE(result, then == PlatformCopy::FlagRunning ? whole.result() : QByteArray());
}

QTEST_GUILESS_MAIN(TestCheckFileJob)
#include "tst_checkfilejob.moc"
