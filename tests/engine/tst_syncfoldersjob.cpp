#include "app/appsettings.h"
#include "base/handover.h"
#include "engine/syncfoldersjob.h"
#include "fs/platformcopy.h"
#include "jobs/jobthread.h"
#include "jobs/jobthreadpool.h"

#include "testsupport.h"

#include <QtTest>

#include <atomic>
#include <functional>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QStringList tree{"a", "a/b", "a/b/c", "d"};
// Source times no copy could have produced by chance.
const timespec oldTime{981173106, 0};

QString sourceOf(const QString& root, const QString& folder)
{
    return folder.isEmpty() ? root + "/src" : root + "/src/" + folder;
}

QString destinationOf(const QString& root, const QString& folder)
{
    return folder.isEmpty() ? root + "/dst" : root + "/dst/" + folder;
}

using TestSupport::modeOf;
using TestSupport::setMode;

qint64 modificationOf(const QString& path)
{
    struct stat status = {};
    ::stat(QFile::encodeName(path).constData(), &status);
    return status.st_mtime;
}

// Source folders with old times, and their destinations (those listed in missing left out).
QList<CopyItem> makeFolders(const QString& root, const QStringList& names = tree,
                            const QStringList& missing = {})
{
    QList<CopyItem> folders;
    for (const QString& folder : names) {
        QDir().mkpath(sourceOf(root, folder));
        if (!missing.contains(folder))
            QDir().mkpath(destinationOf(root, folder));
        folders << CopyItem(sourceOf(root, folder), destinationOf(root, folder), 0, true, {});
    }
    for (const QString& folder : names) {
        const timespec times[2] = {oldTime, oldTime};
        ::utimensat(AT_FDCWD, QFile::encodeName(sourceOf(root, folder)).constData(), times, 0);
    }
    return folders;
}

// Unmounts on every way out of a test.
struct ReadOnlyMount
{
    QString path;
    bool mounted = false;
    ~ReadOnlyMount()
    {
        if (mounted)
            QProcess::execute("umount", {path});
    }
};

} // namespace

class TestSyncFoldersJob : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void outcome_data();
    void outcome();
    void syncedTreeCountsFolders();
    void move_data();
    void move();
    void moveKeepsWhatFiltersLeftOut_data();
    void moveKeepsWhatFiltersLeftOut();
    void removalBatches_data();
    void removalBatches();
    void syncFailure_data();
    void syncFailure();
    void stop_data();
    void stop();
    void keepsFolderMetadata();

private:
    // Runs the job on a pool thread. Each folderSynced adds "source done/total" (paths
    // relative to root) to signalled and calls onSignal on the job's thread.
    QList<CopyItem> run(SyncFoldersJob* job, const QString& root, QStringList* signalled,
                        const std::function<void()>& onSignal = nullptr);
};

void TestSyncFoldersJob::initTestCase()
{
    TestSupport::initTestEnvironment();
    AppSettings::instance()->setSkipErrorsInSync(false);
    JobThreadPool::createThreads(2);
    JobThreadPool::startThreads();
}

void TestSyncFoldersJob::cleanupTestCase()
{
    JobThreadPool::destroyThreads();
}

QList<CopyItem> TestSyncFoldersJob::run(SyncFoldersJob* job, const QString& root,
                                        QStringList* signalled,
                                        const std::function<void()>& onSignal)
{
    bool completed = false;
    std::mutex mutex;
    connect(
        job, &SyncFoldersJob::folderSynced, this,
        [&](const QString& source, const QString&, qint64 done, qint64 total) {
            *signalled
                << QString("%1 %2/%3").arg(QString(source).remove(root + '/')).arg(done).arg(total);
        });
    connect(
        job, &SyncFoldersJob::folderSynced, job,
        [&] {
            std::lock_guard<std::mutex> lock(mutex);
            if (onSignal)
                onSignal();
        },
        Qt::DirectConnection);
    connect(job, &Job::jobCompleted, this, [&] {
        HandOver::receive(job);
        completed = true;
    });
    JobThreadPool::leastBusyThread()->addJob(job);
    [&] { QTRY_VERIFY_WITH_TIMEOUT(completed, 20000); }();
    disconnect(job, nullptr, this, nullptr);
    disconnect(job, nullptr, job, nullptr);
    std::lock_guard<std::mutex> lock(mutex);
    const QList<CopyItem> processed = job->processedFolders();
    job->deleteLater();
    return processed;
}

void TestSyncFoldersJob::outcome_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("destinationExists");
    QTest::addColumn<int>("expectedState");
    QTest::addColumn<bool>("synced");
    QTest::newRow("destination made: synced") << int(Unprocessed) << true << int(Copied) << true;
    QTest::newRow("destination never made") << int(Unprocessed) << false << int(Skipped) << false;
    QTest::newRow("earlier error, no destination")
        << int(SourceError) << false << int(SourceError) << false;
    QTest::newRow("earlier error kept, not synced")
        << int(DestinationError) << true << int(DestinationError) << false;
    QTest::newRow("skipped kept, not synced") << int(Skipped) << true << int(Skipped) << false;
    QTest::newRow("copied kept, not synced") << int(Copied) << true << int(Copied) << false;
}

void TestSyncFoldersJob::outcome()
{
    QFETCH(int, state);
    QFETCH(bool, destinationExists);
    QFETCH(int, expectedState);
    QFETCH(bool, synced);
    QTemporaryDir dir;
    CopyItem folder =
        makeFolders(dir.path(), {"a"}, destinationExists ? QStringList() : QStringList{"a"})[0];
    folder.copy_state = state;
    auto* job = new SyncFoldersJob;
    job->setFolders({folder});
    QStringList signalled;
    const QList<CopyItem> processed = run(job, dir.path(), &signalled);
    QCOMPARE(processed.size(), 1);
    QCOMPARE(processed.first().copy_state, expectedState);
    QCOMPARE(processed.first().info_list, synced ? QStringList{"Folder synced"} : QStringList());
    QCOMPARE(signalled, synced ? QStringList{"src/a 1/1"} : QStringList());
    if (destinationExists)
        QCOMPARE(modificationOf(folder.destination_path) == oldTime.tv_sec, synced);
}

// Folders ended before the syncing starts count among the done ones.
void TestSyncFoldersJob::syncedTreeCountsFolders()
{
    QTemporaryDir dir;
    auto* job = new SyncFoldersJob;
    job->setFolders(makeFolders(dir.path(), tree, {"a/b/c"}));
    QStringList signalled;
    const QList<CopyItem> processed = run(job, dir.path(), &signalled);
    QCOMPARE(signalled, QStringList({"src/a 2/4", "src/a/b 3/4", "src/d 4/4"}));
    QCOMPARE(processed.first().copy_state, int(Skipped));
    for (const CopyItem& folder : processed.mid(1)) {
        QCOMPARE(folder.copy_state, int(Copied));
        QCOMPARE(modificationOf(folder.destination_path), qint64(oldTime.tv_sec));
    }
}

void TestSyncFoldersJob::move_data()
{
    QTest::addColumn<QString>("leftover");
    QTest::addColumn<QString>("erroredFolder");
    QTest::addColumn<QStringList>("failing");
    QTest::newRow("all moved") << ""
                               << "" << QStringList();
    QTest::newRow("file left deep") << "a/b/c/f"
                                    << "" << QStringList{"a/b/c", "a/b", "a", ""};
    QTest::newRow("file left in the root") << "f"
                                           << "" << QStringList{""};
    QTest::newRow("folder in error is never removed") << ""
                                                      << "a/b/c" << QStringList{"a/b", "a", ""};
}

void TestSyncFoldersJob::move()
{
    QFETCH(QString, leftover);
    QFETCH(QString, erroredFolder);
    QFETCH(QStringList, failing);
    QTemporaryDir dir;
    QList<CopyItem> folders = makeFolders(dir.path());
    if (!leftover.isEmpty())
        QVERIFY(TestSupport::writeFile(sourceOf(dir.path(), leftover), "x"));
    for (CopyItem& folder : folders) {
        if (folder.source_path == sourceOf(dir.path(), erroredFolder))
            folder.setDestinationError("unable to create folder");
    }
    for (const QString& folder : failing)
        QTest::ignoreMessage(QtWarningMsg,
                             qPrintable("Unable to remove folder " + sourceOf(dir.path(), folder)));
    CopyOptions options;
    options.m_copyMode = CopyOptions::Move;
    auto* job = new SyncFoldersJob;
    job->setOptions(options);
    job->setFolders(folders);
    job->setSourceRootItem(
        CopyItem(sourceOf(dir.path(), {}), destinationOf(dir.path(), {}), 0, true, {}));
    QStringList signalled;
    const QList<CopyItem> processed = run(job, dir.path(), &signalled);

    QStringList expectedOrder{"src/d", "src/a/b/c", "src/a/b", "src/a", "src"};
    expectedOrder.removeOne("src/" + erroredFolder);
    for (int i = 0; i < expectedOrder.size(); ++i)
        expectedOrder[i] += QString(" %1/5").arg(i + 1 + (erroredFolder.isEmpty() ? 0 : 1));
    QCOMPARE(signalled, expectedOrder);
    QCOMPARE(processed.size(), 5);
    for (const CopyItem& folder : processed) {
        const QString name = folder.source_path.mid(sourceOf(dir.path(), {}).size() + 1);
        const bool root = folder.source_path == sourceOf(dir.path(), {});
        QStringList info{"Folder synced"};
        if (root)
            info.clear();
        if (failing.contains(name)) {
            QCOMPARE(folder.copy_state, int(SourceError));
            QCOMPARE(folder.copy_message, QString("Unable to delete source folder"));
        } else if (!erroredFolder.isEmpty() && name == erroredFolder) {
            QCOMPARE(folder.copy_state, int(DestinationError));
            info.clear();
        } else {
            QCOMPARE(folder.copy_state, root ? int(Unprocessed) : int(Copied));
            info << "Folder moved";
        }
        QCOMPARE(folder.info_list, info);
        QCOMPARE(QFileInfo::exists(folder.source_path), !info.contains("Folder moved"));
        QVERIFY(QFileInfo::exists(folder.destination_path));
    }
}

void TestSyncFoldersJob::moveKeepsWhatFiltersLeftOut_data()
{
    QTest::addColumn<QString>("leftover"); // below src/a/b/c
    QTest::addColumn<QStringList>("skip");
    QTest::addColumn<QStringList>("copy");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<bool>("kept"); // else an error, as before
    const QStringList none;
    QTest::newRow("excluded file") << "x.tmp" << QStringList{"*.tmp"} << none << true << true;
    QTest::newRow("hidden file, hidden left out") << ".h" << none << none << false << true;
    QTest::newRow("file the include did not pick")
        << "x.bin" << none << QStringList{"*.txt"} << true << true;
    QTest::newRow("excluded folder") << "tmp/f" << QStringList{"tmp"} << none << true << true;
    QTest::newRow("another file: an error")
        << "x.bin" << QStringList{"*.tmp"} << none << true << false;
    QTest::newRow("no filters: an error") << "x.tmp" << none << none << true << false;
}

// A move with filters leaves what they left out, and the folders holding it, without error.
void TestSyncFoldersJob::moveKeepsWhatFiltersLeftOut()
{
    QFETCH(QString, leftover);
    QFETCH(QStringList, skip);
    QFETCH(QStringList, copy);
    QFETCH(bool, hidden);
    QFETCH(bool, kept);
    QTemporaryDir dir;
    QVERIFY(TestSupport::writeFile(sourceOf(dir.path(), "a/b/c/" + leftover), "x"));
    CopyOptions options;
    options.m_copyMode = CopyOptions::Move;
    options.m_skipFilters = skip;
    options.m_copyFilters = copy;
    options.m_copyHiddenFiles = hidden;
    if (!kept) {
        for (const char* folder : {"a/b/c", "a/b", "a", ""})
            QTest::ignoreMessage(QtWarningMsg, qPrintable("Unable to remove folder " +
                                                          sourceOf(dir.path(), folder)));
    }
    auto* job = new SyncFoldersJob;
    job->setOptions(options);
    job->setFolders(makeFolders(dir.path()));
    job->setSourceRootItem(
        CopyItem(sourceOf(dir.path(), {}), destinationOf(dir.path(), {}), 0, true, {}));
    QStringList signalled;
    for (const CopyItem& folder : run(job, dir.path(), &signalled)) {
        const bool holds = sourceOf(dir.path(), "a/b/c").startsWith(folder.source_path);
        QCOMPARE(folder.isError(), holds && !kept);
        QCOMPARE(QFileInfo::exists(folder.source_path), holds);
    }
    QVERIFY(QFileInfo::exists(sourceOf(dir.path(), "a/b/c/" + leftover)));
}

void TestSyncFoldersJob::removalBatches_data()
{
    QTest::addColumn<qint64>("msPerReading");
    QTest::addColumn<int>("removalsInFirstBatch");
    QTest::newRow("clock stands still: one batch") << qint64(0) << 5;
    QTest::newRow("batch time used up by each removal") << qint64(26) << 1;
}

// Between two batches of removals the job's thread serves its event loop: a call queued at
// the first removal runs once that batch is over.
void TestSyncFoldersJob::removalBatches()
{
    QFETCH(qint64, msPerReading);
    QFETCH(int, removalsInFirstBatch);
    QTemporaryDir dir;
    CopyOptions options;
    options.m_copyMode = CopyOptions::Move;
    auto* job = new SyncFoldersJob;
    job->setOptions(options);
    job->setFolders(makeFolders(dir.path()));
    job->setSourceRootItem(
        CopyItem(sourceOf(dir.path(), {}), destinationOf(dir.path(), {}), 0, true, {}));
    qint64 now = 0;
    job->setClock([&now, msPerReading] { return now += msPerReading; });
    int removals = 0;
    std::atomic<int> removalsBeforeQueued{0};
    QStringList signalled;
    run(job, dir.path(), &signalled, [&] {
        if (++removals == 1)
            QMetaObject::invokeMethod(
                job, [&] { removalsBeforeQueued = removals; }, Qt::QueuedConnection);
    });
    QCOMPARE(signalled.size(), 5);
    QTRY_COMPARE(removalsBeforeQueued.load(), removalsInFirstBatch);
}

void TestSyncFoldersJob::syncFailure_data()
{
    QTest::addColumn<bool>("skipErrors");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("expectedState");
    QTest::addColumn<QStringList>("expectedInfo");
    QTest::newRow("copy") << false << int(CopyOptions::Copy) << int(DestinationError)
                          << QStringList();
    QTest::newRow("copy, errors skipped")
        << true << int(CopyOptions::Copy) << int(Copied) << QStringList{"Unable to sync folder"};
    QTest::newRow("move: source kept")
        << false << int(CopyOptions::Move) << int(DestinationError) << QStringList();
    QTest::newRow("move, errors skipped: still removed")
        << true << int(CopyOptions::Move) << int(Copied)
        << QStringList{"Unable to sync folder", "Folder moved"};
}

// The destination lies on a read-only file system, where no time can be set.
void TestSyncFoldersJob::syncFailure()
{
    QFETCH(bool, skipErrors);
    QFETCH(int, mode);
    QFETCH(int, expectedState);
    QFETCH(QStringList, expectedInfo);
    if (!TestSupport::runningAsRoot())
        QSKIP("Mounting a read-only file system needs root");
    QTemporaryDir dir;
    ReadOnlyMount mount{dir.filePath("dst")};
    QDir().mkpath(mount.path);
    mount.mounted =
        QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=1m", "tmpfs", mount.path}) == 0;
    if (!mount.mounted)
        QSKIP("mount -t tmpfs failed: not allowed in this environment");
    const CopyItem folder = makeFolders(dir.path(), {"a"}).first();
    QCOMPARE(QProcess::execute("mount", {"-o", "remount,ro", mount.path}), 0);
    QTest::ignoreMessage(QtWarningMsg, "utimensat 30: Read-only file system");
    QTest::ignoreMessage(QtWarningMsg, qPrintable("Sync properties: unable to sync dates to file " +
                                                  folder.destination_path));
    QTest::ignoreMessage(
        QtWarningMsg, qPrintable("Unable to sync destination folder: " + folder.destination_path));
    const bool removed = expectedInfo.contains("Folder moved");
    if (mode == CopyOptions::Move && !removed)
        QTest::ignoreMessage(QtWarningMsg,
                             qPrintable("Unable to remove folder " + sourceOf(dir.path(), {})));
    CopyOptions options;
    options.m_copyMode = mode;
    RunSettings settings;
    settings.skipErrorsInSync = skipErrors;
    auto* job = new SyncFoldersJob;
    job->setOptions(options);
    job->setSettings(settings);
    job->setFolders({folder});
    if (mode == CopyOptions::Move)
        job->setSourceRootItem(CopyItem(sourceOf(dir.path(), {}), mount.path, 0, true, {}));
    QStringList signalled;
    const QList<CopyItem> processed = run(job, dir.path(), &signalled);
    QCOMPARE(signalled.first(), QString("src/a 1/%1").arg(mode == CopyOptions::Move ? 2 : 1));
    QCOMPARE(processed.first().copy_state, expectedState);
    QCOMPARE(processed.first().info_list, expectedInfo);
    if (expectedState == DestinationError)
        QCOMPARE(processed.first().copy_message, QString("Unable to sync folder"));
    QCOMPARE(QFileInfo::exists(folder.source_path), !removed);
}

void TestSyncFoldersJob::stop_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("message");
    QTest::newRow("while syncing") << int(CopyOptions::Copy) << "Stop synching folders...";
    QTest::newRow("while removing") << int(CopyOptions::Move) << "Stop moving folders...";
}

void TestSyncFoldersJob::stop()
{
    QFETCH(int, mode);
    QFETCH(QString, message);
    QTemporaryDir dir;
    CopyOptions options;
    options.m_copyMode = mode;
    auto* job = new SyncFoldersJob;
    job->setOptions(options);
    job->setFolders(makeFolders(dir.path()));
    QTest::ignoreMessage(QtDebugMsg, qPrintable(message));
    QStringList signalled;
    const QList<CopyItem> processed = run(job, dir.path(), &signalled, [job] { job->stopJob(); });
    QCOMPARE(signalled.size(), 1);
    QCOMPARE(processed.size(), tree.size());
    const bool moving = mode == CopyOptions::Move;
    for (int i = 0; i < processed.size(); ++i) {
        const CopyItem& folder = processed[i];
        // Removals start with the greatest path.
        const bool first = moving ? folder.source_path == sourceOf(dir.path(), "d") : i == 0;
        // One not synced yet is synced by a resume.
        QCOMPARE(folder.copy_state, moving || first ? int(Copied) : int(Unprocessed));
        QCOMPARE(folder.info_list.size(), int(moving) + int(first));
        QCOMPARE(QFileInfo::exists(folder.source_path), !(moving && first));
        QCOMPARE(modificationOf(folder.destination_path) == oldTime.tv_sec, moving || first);
    }
}

// Folders that the run made stay private until the sync gives them their source's owner, mode
// and attributes; so does the destination root, and a folder made above it gets the mode of
// mkdir -p. A folder that was there before keeps its own.
void TestSyncFoldersJob::keepsFolderMetadata()
{
    if (!TestSupport::runningAsRoot())
        QSKIP("Needs root to give folders away");
    QTemporaryDir dir;
    const QString source = dir.filePath("src");
    const QString destination = dir.filePath("above/dst");
    // Source modes; the root's is that of the key "".
    const QMap<QString, int> modes{{"", 0750},
                                   {"private", 0700},
                                   {"private/shared", 02750},
                                   {"sticky", 01777},
                                   {"existing", 0700}};
    const auto path = [](const QString& root, const QString& name) {
        return name.isEmpty() ? root : root + "/" + name;
    };
    QList<CopyItem> folders;
    for (const QString& name : modes.keys()) {
        QVERIFY(QDir().mkpath(path(source, name)));
        if (!name.isEmpty())
            folders << CopyItem(path(source, name), path(destination, name), 0, true, {});
    }
    for (const QString& name : modes.keys())
        QVERIFY(setMode(path(source, name), modes.value(name)));
    QCOMPARE(::chown(QFile::encodeName(path(source, "private")).constData(), 65534, 65534), 0);
    QVERIFY(TestSupport::setAttribute(path(source, "private"), "user.origin", "kept"));
    const QByteArray acl = TestSupport::posixAcl(0750, 1234, 5);
    QVERIFY(
        TestSupport::setAttribute(path(source, "private/shared"), "system.posix_acl_default", acl));

    PlatformCopy::Failure failure;
    for (const char* name : {"private/shared", "sticky"})
        QVERIFY(PlatformCopy::createFolders(path(destination, name), &failure));
    QVERIFY(QDir().mkpath(path(destination, "existing")));
    QVERIFY(setMode(path(destination, "existing"), 0755));
    // Closed to every other user until the sync.
    for (const char* name : {"", "private", "private/shared", "sticky"})
        QCOMPARE(modeOf(path(destination, name)), PlatformCopy::createdFolderMode);
    QCOMPARE(modeOf(dir.filePath("above")), PlatformCopy::createdFolderMode);

    auto* job = new SyncFoldersJob;
    job->setFolders(folders);
    job->setRoots(source, destination);
    QStringList signalled;
    const QList<CopyItem> processed = run(job, dir.path(), &signalled);
    QCOMPARE(processed.size(), folders.size());
    for (const CopyItem& folder : processed)
        QCOMPARE(folder.info_list, QStringList{"Folder synced"});

    const mode_t mask = ::umask(0);
    ::umask(mask);
    QCOMPARE(modeOf(dir.filePath("above")), int(0777 & ~mask));
    for (const QString& name : modes.keys())
        QCOMPARE(modeOf(path(destination, name)), name == "existing" ? 0755 : modes.value(name));
    struct stat status = {};
    QCOMPARE(::stat(QFile::encodeName(path(destination, "private")).constData(), &status), 0);
    QCOMPARE(uint(status.st_uid), 65534u);
    QCOMPARE(uint(status.st_gid), 65534u);
    QCOMPARE(TestSupport::attribute(path(destination, "private"), "user.origin"),
             QByteArray("kept"));
    QCOMPARE(
        TestSupport::attribute(path(destination, "private/shared"), "system.posix_acl_default"),
        acl);
}

QTEST_GUILESS_MAIN(TestSyncFoldersJob)
#include "tst_syncfoldersjob.moc"
