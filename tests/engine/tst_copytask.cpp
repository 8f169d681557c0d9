#include "engine/copytask.h"

#include "app/appsettings.h"
#include "copytaskfixture.h"
#include "engine/copyfileobject.h"
#include "fs/filesystemutils.h"
#include "jobs/jobthreadpool.h"
#include "testsupport.h"

#include <QDirIterator>
#include <QtTest>

#include <functional>

#include <sys/stat.h>

using namespace TestSupport;

namespace {

// The files below root under a final (not hidden) name whose name starts with prefix.
int countFiles(const QString& root, const QString& prefix)
{
    int count = 0;
    QDirIterator it(root, {prefix + QLatin1Char('*')}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++count;
    }
    return count;
}

// A folder per hundred files of a few hundred bytes each.
QStringList smallFilesTree(int files)
{
    QStringList tree;
    for (int i = 0; i < files; ++i) {
        if (i % 100 == 0)
            tree << QStringLiteral("d%1/").arg(i / 100);
        tree << QStringLiteral("d%1/f%2=%3").arg(i / 100).arg(i).arg(i * 37 % 500 + 1);
    }
    return tree;
}

// Every message of every thread, in order, each also passed on to the test's own handler
// (which checks the expected ones); mark() adds a line of the test's own.
class MessageLog
{
public:
    MessageLog()
    {
        s_log = this;
        s_previous = qInstallMessageHandler(&MessageLog::handle);
    }
    ~MessageLog()
    {
        qInstallMessageHandler(s_previous);
        s_log = nullptr;
    }

    void mark(const QString& text)
    {
        QMutexLocker locker(&m_mutex);
        m_lines << text;
    }
    QStringList lines() const
    {
        QMutexLocker locker(&m_mutex);
        return m_lines;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (s_log)
            s_log->mark(text);
        s_previous(type, context, text);
    }

    static MessageLog* s_log;
    static QtMessageHandler s_previous;
    mutable QMutex m_mutex;
    QStringList m_lines;
};

MessageLog* MessageLog::s_log = nullptr;
QtMessageHandler MessageLog::s_previous = nullptr;

const QString TaskCompletedMark = QStringLiteral("<taskCompleted>");

} // namespace

class TestCopyTask : public QObject, public TestSupport::CopyTaskFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void copyRun_data();
    void copyRun();
    void runOntoItself_data();
    void runOntoItself();
    void destinationInsideSource();
    void symbolicLinksLast();
    void move_data();
    void move();
    void fixErrorsFinishesMove();
    void verify();
    void storageFullThenFixErrors();
    void storageFullKeepsNewerDestination();
    void unreadableStorageNeverBlocks();
    void skipErrorPattern();
    void progressForwarding();
    void externalProgramPerFile();
    void externalProgramWholeSource();
    void threadLimit_data();
    void threadLimit();
    void stopDuringList();
    void stopDuringCopyAndResume();
    void stopInterruptsCopy();
    void stopDuringVerify();
    void stopBetweenSmallChecks_data();
    void stopBetweenSmallChecks();
    void flushesBeforeCompletion_data();
    void flushesBeforeCompletion();
    void stopDuringFlush();
    void resumeLoadedTaskFile();
    void resumeErrorsSavedAsUnprocessed();
    void resumeTimesItsOwnRun();
    void resumeKeepsCopiedFifo();
    void signalFromInvalidJob_data();
    void signalFromInvalidJob();
    void partsFollowTheTaskToItsThread();
    void groupedRun_data();
    void groupedRun();
    void groupedOrderAndLinks();
    void stopDuringGroupedRun_data();
    void stopDuringGroupedRun();
    void destinationWithoutAttributesWarnsOnce();
    void settingsHoldForTheRun_data();
    void settingsHoldForTheRun();
    void runsEndingAtOnce_data();
    void runsEndingAtOnce();
};

void TestCopyTask::initTestCase()
{
    initRuns(2);
}

void TestCopyTask::init()
{
    initScratch();
    usePool(2);
}

void TestCopyTask::cleanup()
{
    cleanupScratch();
}

void TestCopyTask::cleanupTestCase()
{
    cleanupRuns();
}

// -----------------------------------------------------------------------------------------

void TestCopyTask::copyRun_data()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QString>("sourceEntry");
    QTest::addColumn<int>("destinationMode");
    QTest::addColumn<bool>("emptyFolders");
    QTest::addColumn<QStringList>("copyFilters");
    QTest::addColumn<QStringList>("skipFilters");
    QTest::addColumn<QStringList>("destination");
    QTest::addColumn<QStringList>("completed");
    QTest::addColumn<qint64>("filesCopied");
    QTest::addColumn<qint64>("foldersFound");

    const int normal = CopyOptions::Normal;
    const QStringList tree{"a=10",   "b=2000",           "sub/",     "sub/c=5", "sub/deep/",
                           "empty/", "sub/deep/d=70000", ".hidden=3"};
    QTest::newRow("tree with empty folders")
        << tree << QString() << normal << true << QStringList() << QStringList()
        << QStringList{".hidden=3", "a=10",    "b=2000",    "empty/",
                       "sub/",      "sub/c=5", "sub/deep/", "sub/deep/d=70000"}
        << QStringList{".hidden", "a", "b", "empty", "sub", "sub/c", "sub/deep", "sub/deep/d"}
        << qint64(5) << qint64(3);
    QTest::newRow("tree without empty folders")
        << tree << QString() << normal << false << QStringList() << QStringList()
        << QStringList{".hidden=3", "a=10",      "b=2000",          "sub/",
                       "sub/c=5",   "sub/deep/", "sub/deep/d=70000"}
        << QStringList{".hidden", "a", "b", "sub/c", "sub/deep/d"} << qint64(5) << qint64(3);
    QTest::newRow("collate") << tree << QString() << int(CopyOptions::Collate) << true
                             << QStringList() << QStringList()
                             << QStringList{".hidden=3", "a=10", "b=2000", "c=5", "d=70000"}
                             << QStringList{".hidden", "a", "b", "sub/c", "sub/deep/d"} << qint64(5)
                             << qint64(0);
    QTest::newRow("copy and skip filters")
        << QStringList{"a.txt=3",         "b.bin=3", "skipme.txt=3", "skipDir/",
                       "skipDir/x.txt=3", "sub/",    "sub/y.txt=4",  "sub/z.dat=4"}
        << QString() << normal << true << QStringList{"*.txt"} << QStringList{"skip*"}
        << QStringList{"a.txt=3", "sub/", "sub/y.txt=4"} << QStringList{"a.txt", "sub", "sub/y.txt"}
        << qint64(2) << qint64(1);
    QTest::newRow("single file source")
        << tree << "sub/c" << normal << true << QStringList() << QStringList() << QStringList{"c=5"}
        << QStringList{"sub/c"} << qint64(1) << qint64(0);
    QTest::newRow("source named by a link to a folder: its content, as cp -H")
        << QStringList{"real/", "real/x=4", "real/in/", "real/in/y=3", "lnk->real"} << "lnk"
        << normal << true << QStringList() << QStringList() << QStringList{"in/", "in/y=3", "x=4"}
        << QStringList{"lnk/in", "lnk/in/y", "lnk/x"} << qint64(2) << qint64(1);
    QTest::newRow("only empty subfolders, empty folders off")
        << QStringList{"e1/", "e2/", "e2/e3/"} << QString() << normal << false << QStringList()
        << QStringList() << QStringList() << QStringList() << qint64(0) << qint64(3);
    QTest::newRow("empty source") << QStringList() << QString() << normal << true << QStringList()
                                  << QStringList() << QStringList() << QStringList() << qint64(0)
                                  << qint64(0);
}

void TestCopyTask::copyRun()
{
    QFETCH(QStringList, tree);
    QFETCH(QString, sourceEntry);
    QFETCH(int, destinationMode);
    QFETCH(bool, emptyFolders);
    QFETCH(QStringList, copyFilters);
    QFETCH(QStringList, skipFilters);
    QFETCH(QStringList, destination);
    QFETCH(QStringList, completed);
    QFETCH(qint64, filesCopied);
    QFETCH(qint64, foldersFound);

    makeTree(m_source, tree);
    Task definition =
        makeTask(sourceEntry.isEmpty() ? m_source : m_source + QLatin1Char('/') + sourceEntry,
                 m_destination);
    definition.m_options.m_destinationMode = destinationMode;
    definition.m_options.m_copyEmptyFolders = emptyFolders;
    definition.m_options.m_copyFilters = copyFilters;
    definition.m_options.m_skipFilters = skipFilters;
    CopyTask task;
    task.setTask(definition);
    RunRecorder recorder(&task);
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);
    if (QTest::currentTestFailed())
        return;

    QCOMPARE(listTree(m_destination), destination);
    for (const QString& entry : destination) {
        if (!entry.contains(QLatin1Char('=')))
            continue;
        const QString name = entry.section(QLatin1Char('='), 0, 0);
        QCOMPARE(TestSupport::readFile(m_destination + QLatin1Char('/') + name),
                 contentFor(QFileInfo(name).fileName(), entry.section('=', 1).toLongLong()));
    }
    QCOMPARE(sorted(relativeSources(task.completedItems(), m_source)), completed);
    QCOMPARE(recorder.errors.size(), 0);
    QVERIFY(!task.isStopRequested());
    QCOMPARE(task.counter(FilesCopied), filesCopied);
    QCOMPARE(task.counter(FilesCompleted), filesCopied);
    QCOMPARE(task.counter(FilesToCopy), filesCopied);
    QCOMPARE(task.counter(FoldersFound), foldersFound);
    QCOMPARE(task.counter(ErrorItems), qint64(0));
    QCOMPARE(task.counter(TaskElapsedTime), task.elapsedMs());
    QCOMPARE(task.remainingTime(), qint64(0));

    // Folders whose destination exists are synced, the others skipped.
    const QList<CopyItem> folders = task.folderItems();
    int syncedFolders = 0;
    for (const CopyItem& folder : folders.mid(folders.size() - int(foldersFound))) {
        if (QFileInfo(folder.destination_path).isDir()) {
            QCOMPARE(folder.copy_state, int(Copied));
            ++syncedFolders;
        } else {
            QCOMPARE(folder.copy_state, int(Skipped));
        }
    }
    QCOMPARE(task.counter(FoldersSynced), qint64(syncedFolders));
    QCOMPARE(recorder.lists.size(), foldersFound > 0 ? 1 : 0);

    QCOMPARE(recorder.logs.size(), 2);
    QCOMPARE(recorder.logs.first(), QStringLiteral("List is built with %1 folders and %2 files")
                                        .arg(foldersFound)
                                        .arg(filesCopied));
    QVERIFY2(recorder.logs.last().startsWith(QLatin1String("Task completed in ")),
             qPrintable(recorder.logs.last()));
}

void TestCopyTask::runOntoItself_data()
{
    QTest::addColumn<QString>("source");      // below the test folder
    QTest::addColumn<QString>("destination"); // below the test folder
    QTest::addColumn<int>("copyMode");

    QTest::newRow("same path") << "src"
                               << "src" << int(CopyOptions::Copy);
    QTest::newRow("move onto a link to the source") << "src"
                                                    << "alias" << int(CopyOptions::Move);
    QTest::newRow("copy into the source through a link")
        << "src"
        << "alias/sub/inner" << int(CopyOptions::Copy);
    QTest::newRow("move a file into its own folder") << "src/a"
                                                     << "alias" << int(CopyOptions::Move);
}

// Copied onto themselves, the files would be destroyed (and a move would remove them): the
// run is refused before anything is read or written.
void TestCopyTask::runOntoItself()
{
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QFETCH(int, copyMode);

    makeTree(m_source, {"a=1", "sub/", "sub/b=2"});
    QVERIFY(QFile::link(m_source, mp_dir->filePath("alias")));
    CopyTask task;
    task.setTask(makeTask(mp_dir->filePath(source), mp_dir->filePath(destination), copyMode));
    RunRecorder recorder(&task);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("is refused: Unable to copy an item"));
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;

    QCOMPARE(recorder.errors.size(), 1);
    QCOMPARE(recorder.errors.first().copy_message,
             QStringLiteral("Unable to copy an item on itself."));
    QCOMPARE(task.errorItems().size(), 1);
    QCOMPARE(task.counter(ErrorItems), qint64(1));
    QVERIFY(task.completedItems().isEmpty());
    QCOMPARE(listTree(m_source), QStringList({"a=1", "sub/", "sub/b=2"}));
}

void TestCopyTask::destinationInsideSource()
{
    makeTree(m_source, {"a=1", "sub/", "sub/b=2", "backup/"});
    const QString inside = m_source + QStringLiteral("/backup");
    CopyTask task;
    task.setTask(makeTask(m_source, inside));
    RunRecorder recorder(&task);
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);

    QCOMPARE(listTree(m_source), QStringList({"a=1", "backup/", "backup/a=1", "backup/sub/",
                                              "backup/sub/b=2", "sub/", "sub/b=2"}));
    QCOMPARE(task.counter(FilesCopied), qint64(2));
    const CopyItem* backup = findItem(task.completedItems(), inside);
    QVERIFY(backup);
    QCOMPARE(backup->copy_state, int(Skipped));
    QCOMPARE(backup->info_list, QStringList{"recognized as destination folder"});
}

void TestCopyTask::symbolicLinksLast()
{
    usePool(1);
    makeTree(m_source,
             {"B=1", "a=1", "z=1", "sub/", "sub/m=1", "l1->B", "l2->a", "l3->z", "sub/l4->z"});
    CopyTask task;
    task.setTask(makeTask(m_source, m_destination));
    RunRecorder recorder(&task);
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);

    // One thread: items are signalled in queue order. Links come last, by target without
    // regard to case, then by destination.
    const QStringList order = relativeSources(recorder.signalled, m_source);
    QCOMPARE(order.mid(order.size() - 4), QStringList({"l2", "l1", "l3", "sub/l4"}));
    QCOMPARE(sorted(order.mid(0, order.size() - 4)), QStringList({"B", "a", "sub", "sub/m", "z"}));
    QCOMPARE(listTree(m_destination), QStringList({"B=1", "a=1", "l1->B", "l2->a", "l3->z", "sub/",
                                                   "sub/l4->z", "sub/m=1", "z=1"}));
}

void TestCopyTask::move_data()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QStringList>("collated"); // the destination of a collated move

    QTest::newRow("three levels") << QStringList{"a=10",      "sub/",          "sub/b=20",
                                                 "sub/deep/", "sub/deep/c=30", "sub2/"}
                                  << QStringList{"sub", "sub/deep", "sub2"} << QStringList();
    // Without subfolders the emptied source folder still goes.
    QTest::newRow("flat folder") << QStringList{"a=10", "b=20"} << QStringList() << QStringList();
    // Its folders are no items, yet the emptied ones go before the root.
    QTest::newRow("collated") << QStringList{"a=10",      "sub/",          "sub/b=20",
                                             "sub/deep/", "sub/deep/c=30", "sub2/"}
                              << QStringList() << QStringList{"a=10", "b=20", "c=30"};
}

void TestCopyTask::move()
{
    QFETCH(QStringList, tree);
    QFETCH(QStringList, folders);
    QFETCH(QStringList, collated);

    makeTree(m_source, tree);
    QStringList expected;
    makeTree(mp_dir->filePath("expected"), collated.isEmpty() ? tree : collated);
    expected = listTree(mp_dir->filePath("expected"));

    CopyTask task;
    Task definition = makeTask(m_source, m_destination, CopyOptions::Move);
    if (!collated.isEmpty())
        definition.m_options.m_destinationMode = CopyOptions::Collate;
    task.setTask(definition);
    RunRecorder recorder(&task);
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);

    QVERIFY2(!QFileInfo::exists(m_source), "source root left behind");
    QCOMPARE(listTree(m_destination), expected);
    QCOMPARE(recorder.errors.size(), 0);
    for (const CopyItem& item : task.completedItems()) {
        if (!item.is_folder)
            QVERIFY2(item.info_list.contains("File moved"), qPrintable(item.source_path));
    }

    // Removed deepest first, the root last, each once.
    QStringList removed;
    for (const CopyItem& folder : task.folderItems()) {
        if (folder.info_list.contains("Folder moved"))
            removed << relativePath(folder.source_path, m_source);
    }
    QCOMPARE(sorted(removed), sorted(folders + QStringList{"."}));
    QCOMPARE(removed.last(), QStringLiteral("."));
    for (int i = 0; i < removed.size(); ++i) {
        for (int j = i + 1; j < removed.size(); ++j)
            QVERIFY2(!removed.at(j).startsWith(removed.at(i) + QLatin1Char('/')),
                     qPrintable(removed.at(i) + " removed before " + removed.at(j)));
    }
    QCOMPARE(task.counter(FoldersFound), qint64(folders.size() + 1));
    QCOMPARE(task.counter(FoldersSynced), qint64(folders.size() + 1));
}

// A fix-errors pass of a move finishes the move: what it copies leaves the source, and the
// folders that the move removed already are no error.
void TestCopyTask::fixErrorsFinishesMove()
{
    makeTree(m_source, {"a/", "a/x=10", "b/", "b/y=20", "top=5"});
    makeTree(m_destination, {"b=3"}); // a file where folder b must go
    CopyTask task;
    task.setTask(makeTask(m_source, m_destination, CopyOptions::Move));
    RunRecorder recorder(&task);
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(!recorder.errors.isEmpty());
    QVERIFY(QFile::exists(m_source + QStringLiteral("/b/y")));

    QVERIFY(QFile::remove(m_destination + QStringLiteral("/b")));
    Task fix = task.task();
    fix.m_options.m_copyMode = CopyOptions::FixErrors;
    task.setTask(fix);
    runToEnd(task, recorder, true);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(recorder.errors.size(), 0);
    QVERIFY2(!QFileInfo::exists(m_source), "source left behind");
    QCOMPARE(listTree(m_destination), QStringList({"a/", "a/x=10", "b/", "b/y=20", "top=5"}));
}

void TestCopyTask::verify()
{
    makeTree(m_source, {"a=100", "b=100", "sub/", "sub/c=50", "limit=1000", "over=1001"});
    CopyTask task;
    task.setTask(makeTask(m_source, m_destination));
    RunRecorder recorder(&task);
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;

    // One changed byte that neither size nor date shows, one missing destination.
    const QString changed = m_destination + QStringLiteral("/b");
    const QDateTime modified = QFileInfo(changed).lastModified();
    QByteArray data = TestSupport::readFile(changed);
    data[50] = char(data.at(50) ^ 0x55);
    QVERIFY(TestSupport::writeFile(changed, data));
    {
        QFile file(changed);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
    }
    QVERIFY(QFile::remove(m_destination + QStringLiteral("/sub/c")));
    const QStringList before = listTree(m_destination);

    AppSettings::instance()->setSkipIntegrityCheckForFileSizeMoreThan(1000);
    task.setTask(makeTask(m_source, m_destination, CopyOptions::Verify));
    // Nothing is written, so a full storage changes nothing.
    task.setStorageProbe(std::make_unique<FixedStorage>(0));
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);
    QCOMPARE(listTree(m_destination), before);

    const QList<CopyItem> items = task.completedItems();
    auto item = [&](const char* name) {
        return findItem(items, m_source + QLatin1Char('/') + name);
    };
    QVERIFY(item("a") && item("b") && item("sub/c") && item("limit") && item("over"));
    QVERIFY(item("a")->is_checked);
    QVERIFY(item("a")->info_list.contains("copy verified"));
    QCOMPARE(item("b")->copy_state, int(DestinationError));
    QCOMPARE(item("b")->copy_message, QStringLiteral("content differs"));
    QCOMPARE(item("sub/c")->copy_state, int(DestinationError));
    QCOMPARE(item("sub/c")->copy_message, QStringLiteral("Destination file does not exist"));
    QVERIFY(item("limit")->is_checked);
    QVERIFY(!item("over")->is_checked);
    QVERIFY(item("over")->info_list.contains("file too large to check"));
    QCOMPARE(sorted(relativeSources(recorder.errors, m_source)), QStringList({"b", "sub/c"}));
    QCOMPARE(task.counter(FilesChecked), qint64(2));
    QCOMPARE(task.counter(ErrorItems), qint64(2));
    QCOMPARE(sorted(relativeSources(task.errorItems(), m_source)), QStringList({"b", "sub/c"}));

    // Fixing the errors replaces the changed copy whatever its date says, and checks it.
    task.setStorageProbe(nullptr);
    Task fix = task.task();
    fix.m_options.m_copyMode = CopyOptions::FixErrors;
    task.setTask(fix);
    runToEnd(task, recorder, true);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(TestSupport::readFile(changed), TestSupport::readFile(m_source + "/b"));
    const CopyItem* fixed = findItem(task.completedItems(), m_source + "/b");
    QVERIFY(fixed && fixed->copy_state == Copied && fixed->is_checked);
    QCOMPARE(task.counter(ErrorItems), qint64(0));
}

void TestCopyTask::storageFullThenFixErrors()
{
    makeTree(m_source, {"small=1000", "big1=2000", "big2=3000", "tiny=10"});
    CopyTask task;
    task.setTask(makeTask(m_source, m_destination));
    task.setStorageProbe(std::make_unique<FixedStorage>(1500));
    RunRecorder recorder(&task);
    QTest::ignoreMessage(QtWarningMsg,
                         "Target storage has 1500 bytes available but the copy is 6010 bytes");
    for (const char* name : {"big1", "big2"})
        QTest::ignoreMessage(
            QtWarningMsg,
            qPrintable(QStringLiteral("Unable to copy %1/%2 because target storage is full")
                           .arg(m_source, name)));
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);

    QCOMPARE(recorder.storageFull.size(), 1);
    QCOMPARE(recorder.storageFull.first(), qMakePair(qint64(1500), qint64(6010)));
    QCOMPARE(listTree(m_destination), QStringList({"small=1000", "tiny=10"}));
    QCOMPARE(sorted(relativeSources(recorder.errors, m_source)), QStringList({"big1", "big2"}));
    for (const CopyItem& error : recorder.errors)
        QCOMPARE(error.copy_message, QStringLiteral("storage is full"));
    QCOMPARE(task.counter(ErrorItems), qint64(2));

    // Fix errors: only the two failed files go through the copier again.
    task.setStorageProbe(nullptr);
    Task fix = task.task();
    fix.m_options.m_copyMode = CopyOptions::FixErrors;
    task.setTask(fix);
    runToEnd(task, recorder, true);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);
    QCOMPARE(sorted(relativeSources(recorder.signalled, m_source)), QStringList({"big1", "big2"}));
    QCOMPARE(recorder.states(), QStringList({"4", "4"}));
    QCOMPARE(recorder.lists.size(), 1);
    QCOMPARE(sorted(relativeSources(recorder.lists.first(), m_source)),
             QStringList({"small", "tiny"}));
    QCOMPARE(listTree(m_destination),
             QStringList({"big1=2000", "big2=3000", "small=1000", "tiny=10"}));
    QCOMPARE(task.counter(FilesCopied), qint64(4));
    QCOMPARE(task.counter(ErrorItems), qint64(0));
    QVERIFY(task.errorItems().isEmpty());
    QVERIFY(recorder.storageFull.isEmpty());
}

void TestCopyTask::storageFullKeepsNewerDestination()
{
    // A single-file source reaches the copier whatever the destination; with the storage
    // full, a destination that is kept anyway is a skip, not an error.
    makeTree(m_source, {"file=5000"});
    makeTree(m_destination, {"file=100"});
    QFile source(m_source + QStringLiteral("/file"));
    QVERIFY(source.open(QIODevice::ReadWrite));
    QVERIFY(source.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                               QFileDevice::FileModificationTime));
    source.close();

    CopyTask task;
    task.setTask(makeTask(m_source + QStringLiteral("/file"), m_destination));
    task.setStorageProbe(std::make_unique<FixedStorage>(1000));
    RunRecorder recorder(&task);
    QTest::ignoreMessage(QtWarningMsg,
                         "Target storage has 1000 bytes available but the copy is 5000 bytes");
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);
    QCOMPARE(recorder.states(), QStringList{"3"});
    QCOMPARE(listTree(m_destination), QStringList{"file=100"});
}

void TestCopyTask::unreadableStorageNeverBlocks()
{
    makeTree(m_source, {"a=10", "b=20"});
    CopyTask task;
    task.setTask(makeTask(m_source, m_destination));
    task.setStorageProbe(std::make_unique<FixedStorage>(-1));
    RunRecorder recorder(&task);
    // Once for the first file, which ends the per-file tests, once for the whole copy.
    const QByteArray warning =
        "Unable to check if the target storage is full: " + m_destination.toUtf8();
    QTest::ignoreMessage(QtWarningMsg, warning.constData());
    QTest::ignoreMessage(QtWarningMsg, warning.constData());
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);
    QVERIFY(recorder.storageFull.isEmpty());
    QCOMPARE(listTree(m_destination), QStringList({"a=10", "b=20"}));
}

void TestCopyTask::skipErrorPattern()
{
    // Enough room for neither file: both fail, and the default pattern excuses one.
    makeTree(m_source, {"desktop.ini=5000", "other=5000"});
    CopyTask task;
    task.setTask(makeTask(m_source, m_destination));
    task.setStorageProbe(std::make_unique<FixedStorage>(4000));
    RunRecorder recorder(&task);
    QTest::ignoreMessage(QtWarningMsg,
                         "Target storage has 4000 bytes available but the copy is 10000 bytes");
    for (const char* name : {"desktop.ini", "other"})
        QTest::ignoreMessage(
            QtWarningMsg, qPrintable(QStringLiteral("Unable to copy %1/%2 because target storage "
                                                    "is full")
                                         .arg(m_source, name)));
    QTest::ignoreMessage(QtWarningMsg,
                         qPrintable("Error skipped with pattern \"desktop.ini\" on file " +
                                    m_source + "/desktop.ini"));
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);

    const CopyItem* excused = findItem(task.completedItems(), m_source + "/desktop.ini");
    QVERIFY(excused);
    QCOMPARE(excused->copy_state, int(Skipped));
    QVERIFY(excused->copy_message.isEmpty());
    QCOMPARE(excused->info_list, QStringList{"storage is full"});
    QCOMPARE(relativeSources(recorder.errors, m_source), QStringList{"other"});
    QCOMPARE(task.counter(ErrorItems), qint64(1));
    QCOMPARE(task.counter(FilesSkipped), qint64(1));
}

void TestCopyTask::progressForwarding()
{
    // The simple method reports every 16 MiB: at the end of a file of exactly 16 MiB
    // (not forwarded, done equals total) and in the middle of a larger one.
    AppSettings::instance()->setCopyMethod(3);
    makeTree(m_source, {"exact=16777216", "larger=17825792"});
    CopyTask task;
    task.setTask(makeTask(m_source, m_destination));
    RunRecorder recorder(&task);
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);
    QCOMPARE(recorder.progress,
             QStringList{m_destination + QStringLiteral("/larger 16777216 17825792")});
    QCOMPARE(listTree(m_destination), QStringList({"exact=16777216", "larger=17825792"}));
}

void TestCopyTask::externalProgramPerFile()
{
    makeTree(m_source, {"a=10", "b=20", "bad=5"});
    ExternalProgramSettings program;
    program.filePath = QStringLiteral("/bin/sh");
    program.arguments = QStringList{
        "-c", "case \"$0\" in *bad) echo refused >&2; exit 3;; esac; cp -p \"$0\" \"$1\""};
    CopyTask task;
    task.setTask(makeTask(m_source, m_destination));
    task.setExternalProgram(program);
    RunRecorder recorder(&task);
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);

    QCOMPARE(listTree(m_destination), QStringList({"a=10", "b=20"}));
    QCOMPARE(relativeSources(recorder.errors, m_source), QStringList{"bad"});
    QCOMPARE(recorder.errors.first().copy_message, QStringLiteral("(sh) refused"));
    QCOMPARE(recorder.logs.filter(QRegularExpression("^Starting /bin/sh -c ")).size(), 3);
}

void TestCopyTask::externalProgramWholeSource()
{
    makeTree(m_source, {"a=10", "sub/", "sub/b=20"});
    ExternalProgramSettings program;
    program.filePath = QStringLiteral("/bin/sh");
    program.arguments = QStringList{"-c", "cp -R \"$0\"/. \"$1\""};
    Task definition = makeTask(m_source, m_destination);
    // The one item stands for the whole copy, whether empty folders are copied or not.
    definition.m_options.m_copyEmptyFolders = false;
    CopyTask task;
    task.setTask(definition);
    task.setExternalProgram(program);
    task.setSkipBuildListForExternalProgram(true);
    RunRecorder recorder(&task);
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);

    QCOMPARE(listTree(m_destination), QStringList({"a=10", "sub/", "sub/b=20"}));
    QCOMPARE(task.completedItems().size(), 1);
    QCOMPARE(task.completedItems().first().source_path, m_source + QLatin1Char('/'));
    QCOMPARE(task.completedItems().first().copy_state, int(Copied));
    QCOMPARE(recorder.errors.size(), 0);
}

void TestCopyTask::threadLimit_data()
{
    QTest::addColumn<int>("threads");

    QTest::newRow("one thread") << 1;
    QTest::newRow("four threads") << 4;
}

void TestCopyTask::threadLimit()
{
    QFETCH(int, threads);

    usePool(threads);
    QStringList tree;
    for (int i = 0; i < 12; ++i)
        tree << QStringLiteral("f%1=%2").arg(i).arg(2 * 1024 * 1024);
    for (int i = 0; i < 3; ++i) {
        tree << QStringLiteral("d%1/").arg(i);
        for (int j = 0; j < 4; ++j)
            tree << QStringLiteral("d%1/g%2=1000").arg(i).arg(j);
    }
    makeTree(m_source, tree);
    CopyTask task;
    task.setTask(makeTask(m_source, m_destination));
    RunRecorder recorder(&task);
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);
    QCOMPARE(task.counter(FilesCopied), qint64(24));

    // While the list is built the builder holds one thread.
    QCOMPARE(recorder.maxRunningWhileBuilding, threads);
    QCOMPARE(recorder.maxRunning, threads);
    QVERIFY(recorder.maxPoolJobs <= threads);
}

void TestCopyTask::stopDuringList()
{
    usePool(1);
    AppSettings::instance()->setReportFilteredFiles(true);
    QStringList tree{"x.skip=1"};
    for (int i = 0; i < 30; ++i)
        tree << QStringLiteral("d%1/").arg(i) << QStringLiteral("d%1/f=10").arg(i)
             << QStringLiteral("d%1/x.skip=1").arg(i);
    makeTree(m_source, tree);
    Task definition = makeTask(m_source, m_destination);
    definition.m_options.m_skipFilters = QStringList{"*.skip"};
    CopyTask task;
    task.setTask(definition);
    RunRecorder recorder(&task);
    // The first skip arrives while the builder is still listed as working.
    recorder.onItem = [&task](const CopyItem&) {
        task.stopTask();
        task.stopTask();
    };
    QTest::ignoreMessage(QtWarningMsg, "The build of file list is stopped by user");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Copy from .* is stopped after"));
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    recorder.onItem = nullptr;
    verifyRunInvariant(task, recorder);

    QVERIFY(task.isStopRequested());
    QVERIFY(!task.isFileListCompleted());
    QCOMPARE(recorder.logs.filter("Please wait while stopping the process").size(), 1);
    QVERIFY(recorder.logs.last().startsWith(QLatin1String("Task is stopped after ")));
    QCOMPARE(recorder.errors.size(), 1);
    QCOMPARE(recorder.errors.first().source_path, m_source);
    QCOMPARE(recorder.errors.first().copy_state, int(SourceError));
    QCOMPARE(recorder.errors.first().copy_message, QStringLiteral("file list is not completed"));
    QVERIFY(task.counter(FilesCopied) == 0);
    // Saved as it stands, the list is known to be partial: its resume walks again.
    const QString saved = mp_dir->filePath("stopped.bdt");
    QVERIFY(task.saveToFile(saved, false, true, false));
    CopyTask loaded;
    QVERIFY(loaded.loadFromFile(saved));
    QVERIFY(!loaded.completedItems().isEmpty());
    QVERIFY(!loaded.isFileListCompleted());

    // Resuming an incomplete list starts from scratch.
    runToEnd(task, recorder, true);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);
    QVERIFY(!task.isStopRequested());
    QCOMPARE(task.counter(FilesCopied), qint64(30));
    // The files the filter left out are listed, never counted among the run's files.
    QCOMPARE(task.counter(FilesSkipped), qint64(0));
    const QList<CopyItem> skipped = task.skippedItems();
    QCOMPARE(std::count_if(skipped.cbegin(), skipped.cend(),
                           [](const CopyItem& item) { return item.filtered_by == "exclude"; }),
             31);
    QCOMPARE(listTree(m_destination).filter("=10").size(), 30);
}

void TestCopyTask::stopDuringCopyAndResume()
{
    usePool(1);
    makeTree(m_source,
             {"f1=10", "f2=10", "f3=10", "f4=10", "f5=10", "f6=10", "f7=10", "l1->f1", "l2->f2"});
    CopyTask task;
    // Each copy reported as soon as it is made: the stop falls between two files.
    task.setGroupedCopies(false);
    task.setTask(makeTask(m_source, m_destination));
    RunRecorder recorder(&task);
    int copied = 0;
    recorder.onItem = [&](const CopyItem&) {
        if (++copied == 3) {
            task.stopTask();
            task.stopTask();
        }
    };
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Copy from .* is stopped after"));
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    recorder.onItem = nullptr;
    verifyRunInvariant(task, recorder);

    QCOMPARE(recorder.signalled.size(), 3);
    QCOMPARE(recorder.logs.filter("Please wait while stopping the process").size(), 1);
    QVERIFY(task.isStopRequested());
    QVERIFY(task.isFileListCompleted());
    const QStringList done = relativeSources(recorder.signalled, m_source);
    const QStringList waiting = relativeSources(task.unprocessedItems(), m_source);
    QCOMPARE(waiting.size(), 6);
    QCOMPARE(task.completedItems().size(), 9);

    runToEnd(task, recorder, true);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);
    QCOMPARE(sorted(relativeSources(recorder.signalled, m_source)), sorted(waiting));
    // What the stopped run did is carried, not done again.
    for (const QString& source : done)
        QCOMPARE(findItem(task.completedItems(), m_source + "/" + source)->copy_state, int(Copied));
    // The links wait until everything else is copied.
    const QStringList order = relativeSources(recorder.signalled, m_source);
    QCOMPARE(order.mid(order.size() - 2), QStringList({"l1", "l2"}));
    QCOMPARE(listTree(m_destination).size(), 9);
    QCOMPARE(task.counter(FilesCopied), qint64(9));
    QVERIFY(!task.isStopRequested());
}

void TestCopyTask::stopInterruptsCopy()
{
    // A copy cut short by the stop is no error: its item comes back unprocessed.
    usePool(1);
    AppSettings::instance()->setCopyMethod(3);
    makeTree(m_source, {"big=50331648", "small=10"});
    CopyTask task;
    task.setTask(makeTask(m_source, m_destination));
    RunRecorder recorder(&task);
    recorder.onProgress = [&task] { task.stopTask(); };
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Copy from .* is stopped after"));
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    recorder.onProgress = nullptr;
    verifyRunInvariant(task, recorder);

    const CopyItem* big = findItem(task.completedItems(), m_source + "/big");
    QVERIFY(big);
    QCOMPARE(big->copy_state, int(Unprocessed));
    QVERIFY(recorder.errors.isEmpty());
    QVERIFY(!QFileInfo::exists(m_destination + "/big"));

    runToEnd(task, recorder, true);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);
    QCOMPARE(listTree(m_destination), QStringList({"big=50331648", "small=10"}));
}

void TestCopyTask::stopDuringVerify()
{
    usePool(1);
    // The link is compared, never checked: not by the resumed run either.
    makeTree(m_source, {"a=10", "big~50331648", "z=10", "l->a"});
    CopyTask task;
    task.setTask(makeTask(m_source, m_destination));
    RunRecorder recorder(&task);
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;

    task.setTask(makeTask(m_source, m_destination, CopyOptions::Verify));
    // The check job's own warnings depend on where the stop reaches it.
    recorder.onProgress = [&task] { task.stopTask(); };
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Copy from .* is stopped after"));
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    recorder.onProgress = nullptr;
    verifyRunInvariant(task, recorder);

    QVERIFY(task.isStopRequested());
    QVERIFY(recorder.errors.isEmpty());
    const CopyItem* big = findItem(task.completedItems(), m_source + "/big");
    QVERIFY(big);
    QCOMPARE(big->copy_state, int(Unprocessed));
    QVERIFY(!big->is_checked);
    QVERIFY(task.checkedItems().size() < 3);

    // The resumed run compares the big file again and checks whatever is left.
    runToEnd(task, recorder, true);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);
    QCOMPARE(task.checkedItems().size(), 3);
    QCOMPARE(task.counter(FilesChecked), qint64(3));
    QVERIFY(recorder.errors.isEmpty());
}

void TestCopyTask::stopBetweenSmallChecks_data()
{
    QTest::addColumn<int>("threads");
    QTest::newRow("one thread") << 1;
    QTest::newRow("two threads") << 2;
}

// Small files are checked in batches, one after the other within one call of a job: a stop
// heard after the first verdict leaves the files after the current ones unchecked and
// unsignalled, and the resumed run checks them.
void TestCopyTask::stopBetweenSmallChecks()
{
    QFETCH(int, threads);
    usePool(threads);
    const int fileCount = 200;
    QStringList tree;
    for (int i = 0; i < fileCount; ++i)
        tree << QStringLiteral("f%1=100").arg(i);
    makeTree(m_source, tree);
    CopyTask task;
    task.setTask(makeTask(m_source, m_destination));
    RunRecorder recorder(&task);
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;

    task.setTask(makeTask(m_source, m_destination, CopyOptions::Verify));
    recorder.onItem = [&task](const CopyItem&) { task.stopTask(); };
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Copy from .* is stopped after"));
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    recorder.onItem = nullptr;
    verifyRunInvariant(task, recorder);

    QVERIFY(task.isStopRequested());
    QVERIFY(recorder.errors.isEmpty());
    QVERIFY(!recorder.signalled.isEmpty());
    QVERIFY(recorder.signalled.size() < fileCount);
    for (const CopyItem& item : qAsConst(recorder.signalled))
        QVERIFY(item.is_checked);
    QCOMPARE(task.checkedItems().size(), recorder.signalled.size());
    QCOMPARE(task.completedItems().size(), fileCount);

    runToEnd(task, recorder, true);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);
    QVERIFY(!task.isStopRequested());
    QCOMPARE(task.checkedItems().size(), fileCount);
    QCOMPARE(task.counter(FilesChecked), qint64(fileCount));
    QVERIFY(recorder.errors.isEmpty());
}

void TestCopyTask::flushesBeforeCompletion_data()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("existing"); // already in the destination, identical
    QTest::addColumn<int>("copyMode");
    QTest::addColumn<int>("stopAfter"); // items signalled before the stop; 0: no stop
    QTest::addColumn<bool>("flushed");

    const QStringList tree{"a=10", "sub/", "sub/b=20"};
    const int copy = CopyOptions::Copy;
    QTest::newRow("copy") << tree << QStringList() << copy << 0 << true;
    QTest::newRow("move") << tree << QStringList() << int(CopyOptions::Move) << 0 << true;
    QTest::newRow("empty folders only")
        << QStringList{"e1/", "e2/e3/"} << QStringList() << copy << 0 << true;
    QTest::newRow("verify") << tree << tree << int(CopyOptions::Verify) << 0 << false;
    QTest::newRow("nothing new to copy") << tree << tree << copy << 0 << false;
    // A resume trusts what a stopped run reports as copied.
    QTest::newRow("stopped after a copy")
        << QStringList{"f1=10", "f2=10", "f3=10", "f4=10"} << QStringList() << copy << 1 << true;
    // The skip is reported while the list is built, before any copy can start.
    QTest::newRow("stopped before any copy")
        << QStringList{"a=10", "b=10", "c=10"} << QStringList{"a=10"} << copy << 1 << false;
}

// The flush is logged by the pool thread that makes it; the mark is set when taskCompleted
// arrives, so the order of the two lines is the order of the events.
void TestCopyTask::flushesBeforeCompletion()
{
    QFETCH(QStringList, tree);
    QFETCH(QStringList, existing);
    QFETCH(int, copyMode);
    QFETCH(int, stopAfter);
    QFETCH(bool, flushed);

    usePool(1);
    makeTree(m_source, tree);
    makeTree(m_destination, existing);
    // With the dates of their sources, as a copy has them: times are compared exactly here.
    for (const QString& entry : existing) {
        const QString name = entry.section(QLatin1Char('='), 0, 0);
        if (!entry.endsWith(QLatin1Char('/')))
            QVERIFY(FileSystemUtils::syncFile(m_source + '/' + name, m_destination + '/' + name,
                                              false));
    }
    CopyTask task;
    task.setTask(makeTask(m_source, m_destination, copyMode));
    RunRecorder recorder(&task);
    if (stopAfter > 0) {
        recorder.onItem = [&](const CopyItem&) {
            if (recorder.signalled.size() == stopAfter)
                task.stopTask();
        };
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Copy from .* is stopped after"));
        if (!flushed)
            QTest::ignoreMessage(QtWarningMsg, "The build of file list is stopped by user");
    }
    MessageLog log;
    connect(&task, &CopyTask::taskCompleted, this, [&log] { log.mark(TaskCompletedMark); });
    QList<QPair<qint64, qint64>> flushSteps;
    bool completed = false;
    connect(&task, &CopyTask::flushProgress, this, [&](qint64 written, qint64 total) {
        QVERIFY(!completed);
        flushSteps.append({written, total});
    });
    connect(&task, &CopyTask::taskCompleted, this, [&completed] { completed = true; });
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    recorder.onItem = nullptr;

    // The flush shows its progress, ending with everything written when the amount is known.
    QCOMPARE(flushSteps.isEmpty(), !flushed);
    for (const auto& step : qAsConst(flushSteps))
        QVERIFY2(step.first >= 0 && step.first <= step.second,
                 qPrintable(QStringLiteral("%1 of %2").arg(step.first).arg(step.second)));
    if (flushed && flushSteps.last().second > 0)
        QCOMPARE(flushSteps.last().first, flushSteps.last().second);

    const QStringList lines = log.lines();
    const QRegularExpression flushLine(
        QStringLiteral("^File system of %1 flushed in \\d+ ms$").arg(m_destination));
    QCOMPARE(lines.filter(flushLine).size(), flushed ? 1 : 0);
    QCOMPARE(lines.filter(TaskCompletedMark).size(), 1);
    if (flushed)
        QVERIFY(lines.indexOf(flushLine) < lines.indexOf(TaskCompletedMark));
    QCOMPARE(task.isStopRequested(), stopAfter > 0);
    QVERIFY(recorder.logs.last().startsWith(stopAfter > 0 ? "Task is stopped after "
                                                          : "Task completed in "));
    QCOMPARE(task.counter(ErrorItems), qint64(0));
}

void TestCopyTask::stopDuringFlush()
{
    usePool(1);
    makeTree(m_source, {"a=10", "sub/", "sub/b=20"});
    CopyTask task;
    task.setTask(makeTask(m_source, m_destination));
    RunRecorder recorder(&task);
    int jobsOutAtStop = -1;
    // The folders are synced; the flush job is handed out right after this signal, and the
    // stop is queued before anything that job can send back.
    const QMetaObject::Connection hook = connect(&task, &CopyTask::copyListCompleted, this, [&] {
        QTimer::singleShot(0, this, [&] {
            jobsOutAtStop = task.runningJobCount();
            task.stopTask();
        });
    });
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Copy from .* is stopped after"));
    MessageLog log;
    connect(&task, &CopyTask::taskCompleted, this, [&log] { log.mark(TaskCompletedMark); });
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);

    QCOMPARE(jobsOutAtStop, 1);
    QVERIFY(task.isStopRequested());
    const QStringList lines = log.lines();
    const QRegularExpression flushLine(
        QStringLiteral("^File system of %1 flushed in \\d+ ms$").arg(m_destination));
    QCOMPARE(lines.filter(flushLine).size(), 1);
    QVERIFY(lines.indexOf(flushLine) < lines.indexOf(TaskCompletedMark));
    QCOMPARE(recorder.logs.filter("Please wait while stopping the process").size(), 1);
    QVERIFY(recorder.logs.last().startsWith(QLatin1String("Task is stopped after ")));
    // Everything was copied before the stop came: a resume has nothing left to do.
    QCOMPARE(task.counter(FilesCopied), qint64(2));
    QVERIFY(task.unprocessedItems().isEmpty());
    disconnect(hook);
    runToEnd(task, recorder, true);
    if (QTest::currentTestFailed())
        return;
    // The walk of the resume meets the folder again; no file is copied a second time.
    for (const CopyItem& item : qAsConst(recorder.signalled))
        QVERIFY2(item.is_folder, qPrintable(item.source_path));
    QCOMPARE(task.counter(FilesCopied), qint64(2));
    QVERIFY(!task.isStopRequested());
}

void TestCopyTask::resumeLoadedTaskFile()
{
    usePool(1);
    makeTree(m_source, {"f1=10", "f2=20", "sub/", "sub/f3=30", "sub/f4=40", "l1->f1"});
    CopyTask first;
    // Each copy reported as soon as it is made: the stop falls between two files.
    first.setGroupedCopies(false);
    first.setTask(makeTask(m_source, m_destination));
    RunRecorder firstRecorder(&first);
    int copied = 0;
    firstRecorder.onItem = [&](const CopyItem&) {
        if (++copied == 2)
            first.stopTask();
    };
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Copy from .* is stopped after"));
    runToEnd(first, firstRecorder);
    if (QTest::currentTestFailed())
        return;
    QStringList waiting = relativeSources(first.unprocessedItems(), m_source);
    QVERIFY(!waiting.isEmpty());
    const QString path = mp_dir->filePath("stopped.bdt");
    QVERIFY(first.saveToFile(path, false, true, false));
    // What happened to the copies since the save counts, not the file's word: one copy is
    // gone, one cut short; both are copied again.
    const QList<CopyItem> copies = first.copiedItems();
    QCOMPARE(copies.size(), 2);
    QVERIFY(QFile::remove(copies.at(0).destination_path));
    QFile cut(copies.at(1).destination_path);
    QVERIFY(cut.resize(1) && cut.open(QIODevice::ReadWrite));
    // Older than its source: the overwrite mode lets the new copy replace it.
    QVERIFY(cut.setFileTime(QDateTime::currentDateTime().addDays(-1),
                            QFileDevice::FileModificationTime));
    cut.close();
    waiting += relativeSources(copies, m_source);

    CopyTask second;
    QVERIFY(second.loadFromFile(path));
    QVERIFY(second.isFileListCompleted());
    RunRecorder recorder(&second);
    runToEnd(second, recorder, true);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(second, recorder);
    QCOMPARE(sorted(relativeSources(recorder.signalled, m_source)), sorted(waiting));
    QCOMPARE(listTree(m_destination),
             QStringList({"f1=10", "f2=20", "l1->f1", "sub/", "sub/f3=30", "sub/f4=40"}));
    QCOMPARE(second.counter(FilesCopied), qint64(5));
    QVERIFY(fileContents(m_destination) == fileContents(m_source));
    QCOMPARE(second.counter(FoldersFound), qint64(1));
    QCOMPARE(second.counter(FoldersSynced), qint64(1));
}

void TestCopyTask::resumeErrorsSavedAsUnprocessed()
{
    makeTree(m_source, {"small=100", "big=90000"});
    CopyTask first;
    first.setTask(makeTask(m_source, m_destination));
    first.setStorageProbe(std::make_unique<FixedStorage>(80000));
    RunRecorder firstRecorder(&first);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Target storage has"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Unable to copy .*big"));
    runToEnd(first, firstRecorder);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(firstRecorder.errors.size(), 1);
    const QString path = mp_dir->filePath("errors.bdt");
    QVERIFY(first.saveToFile(path, false, false, true));
    // Left by a copy of a process that is gone (no process has that pid): the walk of the
    // resume removes it.
    const QString stale = m_destination + "/.big.k3j9x.2147483647-5.brindle-part";
    QVERIFY(TestSupport::writeFile(stale, "partial"));

    CopyTask second;
    QVERIFY(second.loadFromFile(path));
    RunRecorder recorder(&second);
    runToEnd(second, recorder, true);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(second, recorder);
    QVERIFY(!QFileInfo::exists(stale));
    // The file holds what was left: the small copy, not in it, is met as a new run meets it.
    QCOMPARE(sorted(relativeSources(recorder.signalled, m_source)), QStringList({"big", "small"}));
    QCOMPARE(findItem(recorder.signalled, m_source + "/big")->copy_state, int(Copied));
    QCOMPARE(findItem(recorder.signalled, m_source + "/small")->copy_state, int(Skipped));
    QCOMPARE(second.counter(FilesChanged), qint64(0));
    QCOMPARE(listTree(m_destination), QStringList({"big=90000", "small=100"}));
}

// The report of a resume is its own: an earlier run's time and copies are not counted again.
void TestCopyTask::resumeTimesItsOwnRun()
{
    makeTree(m_source, {"a=10"});
    makeTree(m_destination, {"a=10"});
    const QString path = mp_dir->filePath("minute.bdt");
    CopyItem done(m_source + "/a", m_destination + "/a", 10, false, QString());
    done.copy_state = Copied;
    QVERIFY(writeTaskFile(path, makeTask(m_source, m_destination), {done}, {},
                          {{"ElapsedTime", 60000}}));
    CopyTask task;
    QVERIFY(task.loadFromFile(path));
    RunRecorder recorder(&task);
    task.resumeTask();
    QVERIFY(task.elapsedMs() < 60000);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.ended, 1, m_runTimeoutMs);
    verifyRunInvariant(task, recorder);
    QVERIFY(task.counter(TaskElapsedTime) < 60000);
    QCOMPARE(task.counter(FilesCopied), qint64(0));
    QCOMPARE(recorder.states(), QStringList{"3"});
}

// A FIFO holds no data: its copy is no file cut short, made again under the rename rule.
void TestCopyTask::resumeKeepsCopiedFifo()
{
    makeTree(m_source, {"a=10"});
    for (const QString& root : {m_source, m_destination})
        QCOMPARE(::mkfifo(QFile::encodeName(root + "/fifo").constData(), 0644), 0);
    Task definition = makeTask(m_source, m_destination);
    definition.m_options.m_overwriteMode = CopyOptions::AutoRename;
    CopyItem fifo(m_source + "/fifo", m_destination + "/fifo", 0, false, QString());
    fifo.copy_state = Copied;
    const CopyItem waiting(m_source + "/a", m_destination + "/a", 10, false, QString());
    const QString path = mp_dir->filePath("fifo.bdt");
    QVERIFY(writeTaskFile(path, definition, {fifo, waiting}));
    CopyTask task;
    QVERIFY(task.loadFromFile(path));
    RunRecorder recorder(&task);
    runToEnd(task, recorder, true);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(relativeSources(recorder.signalled, m_source), QStringList{"a"});
    QVERIFY(!QFileInfo::exists(m_destination + "/fifo (1)"));
}

void TestCopyTask::signalFromInvalidJob_data()
{
    QTest::addColumn<QString>("part");
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("jobClass");
    QTest::addColumn<bool>("listFails");

    QTest::newRow("builder") << "ListingStage"
                             << "onBuildFileListCompleted"
                             << "BuildFileListJob" << true;
    QTest::newRow("copy job") << "CopyStage"
                              << "onCopyCompleted"
                              << "CopyJob" << false;
    QTest::newRow("external copy job") << "CopyStage"
                                       << "onExternalCopyCompleted"
                                       << "ExternalCopyJob" << false;
    QTest::newRow("check job") << "CopyStage"
                               << "onCheckFileCompleted"
                               << "CheckFileJob" << false;
    QTest::newRow("folder sync job") << "RunEnd"
                                     << "onSyncFoldersCompleted"
                                     << "SyncFoldersJob" << false;
    QTest::newRow("file system sync job") << "RunEnd"
                                          << "onSyncFileSystemCompleted"
                                          << "SyncFileSystemJob" << false;
}

void TestCopyTask::signalFromInvalidJob()
{
    QFETCH(QString, part);
    QFETCH(QString, slot);
    QFETCH(QString, jobClass);
    QFETCH(bool, listFails);

    CopyTask task;
    task.setTask(makeTask(m_source, m_destination));
    RunRecorder recorder(&task);
    QTest::ignoreMessage(QtWarningMsg,
                         qPrintable(QStringLiteral("\"TaskCopy\" has received a signal from "
                                                   "invalid %1 instance")
                                        .arg(jobClass)));
    // The part of the task that runs such jobs takes their completion.
    QObject* receiver = task.findChild<QObject*>(part, Qt::FindDirectChildrenOnly);
    QVERIFY(receiver);
    QVERIFY(QMetaObject::invokeMethod(receiver, slot.toLatin1().constData()));
    QCoreApplication::processEvents();
    if (listFails) {
        QCOMPARE(recorder.errors.size(), 1);
        QCOMPARE(recorder.errors.first().copy_message, QStringLiteral("unable to get file list"));
        QCOMPARE(recorder.errors.first().source_path, m_source);
    } else {
        QVERIFY(recorder.signalled.isEmpty());
    }
    QCOMPARE(task.runningJobCount(), -1);
}

void TestCopyTask::partsFollowTheTaskToItsThread()
{
    // A controller may run the task in a thread of its own: every part and timer goes along.
    auto* task = new CopyTask;
    QThread thread;
    task->moveToThread(&thread);
    const QList<QObject*> parts = task->findChildren<QObject*>();
    QVERIFY(parts.size() >= 5);
    QVERIFY(task->findChild<QTimer*>()); // the flush monitor's, among them
    for (const QObject* part : parts)
        QCOMPARE(part->thread(), &thread);
    connect(&thread, &QThread::finished, task, &QObject::deleteLater);
    thread.start();
    thread.quit();
    QVERIFY(thread.wait(10000));
}

void TestCopyTask::groupedRun_data()
{
    QTest::addColumn<int>("copyMode");
    QTest::addColumn<int>("threads");
    QTest::addColumn<bool>("grouped");

    const int copy = CopyOptions::Copy;
    const int move = CopyOptions::Move;
    QTest::newRow("copy, grouped, one thread") << copy << 1 << true;
    QTest::newRow("copy, grouped, two threads") << copy << 2 << true;
    QTest::newRow("move, grouped, one thread") << move << 1 << true;
    QTest::newRow("move, grouped, two threads") << move << 2 << true;
    QTest::newRow("copy, one by one, two threads") << copy << 2 << false;
    QTest::newRow("move, one by one, one thread") << move << 1 << false;
}

void TestCopyTask::groupedRun()
{
    QFETCH(int, copyMode);
    QFETCH(int, threads);
    QFETCH(bool, grouped);

    usePool(threads);
    const int smallFiles = 300;
    // Too large to wait for a group: placed on its own among the small ones.
    makeTree(m_source, smallFilesTree(smallFiles) << "d1/big~8388608");
    const QStringList expected = listTree(m_source);
    const QHash<QString, QByteArray> contents = fileContents(m_source);

    CopyTask task;
    task.setGroupedCopies(grouped);
    task.setTask(makeTask(m_source, m_destination, copyMode));
    RunRecorder recorder(&task);
    QStringList reportedEarly;
    int placedAtFirstReport = -1;
    recorder.onItem = [&](const CopyItem& item) {
        if (item.is_folder || item.copy_state != Copied)
            return;
        if (QFileInfo(item.destination_path).size() != item.file_size)
            reportedEarly << item.destination_path;
        if (placedAtFirstReport < 0 && item.file_size < 8 * 1024 * 1024)
            placedAtFirstReport = countFiles(m_destination, QStringLiteral("f"));
    };
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    recorder.onItem = nullptr;
    verifyRunInvariant(task, recorder);

    // Never reported before its copy has its final name.
    QVERIFY2(reportedEarly.isEmpty(), qPrintable(reportedEarly.join(", ")));
    // Grouped, the small copies are placed together once the queue is empty (but for a job
    // of up to 16 of them still running on another thread); one by one, each is reported
    // as soon as it is made.
    if (grouped)
        QVERIFY2(placedAtFirstReport >= smallFiles - (threads - 1) * 16,
                 qPrintable(QString::number(placedAtFirstReport)));
    else
        QVERIFY2(placedAtFirstReport <= threads, qPrintable(QString::number(placedAtFirstReport)));
    QVERIFY(recorder.errors.isEmpty());
    int copiedFiles = 0;
    for (const CopyItem& item : recorder.signalled) {
        if (item.is_folder)
            continue;
        QCOMPARE(item.copy_state, int(Copied));
        if (copyMode == CopyOptions::Move)
            QVERIFY2(item.info_list.contains("File moved"), qPrintable(item.source_path));
        ++copiedFiles;
    }
    QCOMPARE(copiedFiles, smallFiles + 1);
    QCOMPARE(task.counter(FilesCopied), qint64(smallFiles + 1));
    // Hidden names are listed too: no temporary file is left.
    QCOMPARE(listTree(m_destination), expected);
    QVERIFY(fileContents(m_destination) == contents);
    if (copyMode == CopyOptions::Move)
        QVERIFY2(!QFileInfo::exists(m_source), "source root left behind");
    else
        QCOMPARE(listTree(m_source), expected);
}

void TestCopyTask::groupedOrderAndLinks()
{
    usePool(1);
    makeTree(m_source, {"B=1", "a=10", "z=100", "sub/", "sub/m=5", "sub/big~8388608", "kept=7",
                        "l1->B", "l2->a", "l3->sub/m", "sub/l4->z"});
    QStringList orders[2];
    QStringList trees[2];
    for (const bool grouped : {false, true}) {
        const QString destination = mp_dir->filePath(grouped ? "grouped" : "one-by-one");
        // Newer than its source, so kept: an item decided among the copies.
        makeTree(destination, {"kept=7"});
        CopyTask task;
        task.setGroupedCopies(grouped);
        task.setTask(makeTask(m_source, destination));
        RunRecorder recorder(&task);
        runToEnd(task, recorder);
        if (QTest::currentTestFailed())
            return;
        verifyRunInvariant(task, recorder);
        QVERIFY(recorder.errors.isEmpty());
        orders[grouped] = relativeSources(recorder.signalled, m_source);
        trees[grouped] = listTree(destination);
    }
    // One thread: reported in queue order, which one-by-one copies show as it is.
    QCOMPARE(orders[1], orders[0]);
    const QStringList order = orders[1];
    QCOMPARE(order.mid(order.size() - 4), QStringList({"l2", "l1", "l3", "sub/l4"}));
    // The links were made once their targets' copies had their final names.
    QCOMPARE(trees[1], QStringList({"B=1", "a=10", "kept=7", "l1->B", "l2->a", "l3->sub/m", "sub/",
                                    "sub/big=8388608", "sub/l4->z", "sub/m=5", "z=100"}));
    QCOMPARE(trees[1], trees[0]);
}

void TestCopyTask::stopDuringGroupedRun_data()
{
    QTest::addColumn<int>("copyMode");
    QTest::addColumn<int>("threads");

    QTest::newRow("copy, one thread") << int(CopyOptions::Copy) << 1;
    QTest::newRow("copy, two threads") << int(CopyOptions::Copy) << 2;
    QTest::newRow("move, one thread") << int(CopyOptions::Move) << 1;
}

void TestCopyTask::stopDuringGroupedRun()
{
    QFETCH(int, copyMode);
    QFETCH(int, threads);

    usePool(threads);
    // More files than a group holds: the first group is reported while copies remain.
    const int files = 2300;
    const int stopAt = 500;
    makeTree(m_source, smallFilesTree(files));
    const QStringList expected = listTree(m_source);
    const QHash<QString, QByteArray> contents = fileContents(m_source);
    const bool move = copyMode == CopyOptions::Move;

    CopyTask task;
    task.setTask(makeTask(m_source, m_destination, copyMode));
    RunRecorder recorder(&task);
    recorder.onItem = [&](const CopyItem&) {
        if (recorder.signalled.size() == stopAt)
            task.stopTask();
    };
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Copy from .* is stopped after"));
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    recorder.onItem = nullptr;
    verifyRunInvariant(task, recorder);

    QVERIFY(task.isStopRequested());
    // The group being placed when the stop came is reported too.
    QVERIFY(recorder.signalled.size() >= stopAt);
    QVERIFY(recorder.errors.isEmpty());
    QCOMPARE(listTree(m_destination).filter(".part=").size(), 0);
    int copied = 0;
    for (const CopyItem& item : task.completedItems()) {
        if (item.is_folder)
            continue;
        const QString relative = item.source_path.mid(m_source.size() + 1);
        if (item.copy_state == Copied) {
            ++copied;
            QCOMPARE(TestSupport::readFile(item.destination_path), contents.value(relative));
            QCOMPARE(QFileInfo::exists(item.source_path), !move);
        } else {
            QCOMPARE(item.copy_state, int(Unprocessed));
            QVERIFY2(!QFileInfo::exists(item.destination_path), qPrintable(relative));
            QCOMPARE(TestSupport::readFile(item.source_path), contents.value(relative));
        }
    }
    QVERIFY(copied >= stopAt - files / 100);
    // The report of the stopped run counts every file that is in place.
    QCOMPARE(task.counter(FilesCopied), qint64(copied));
    // One thread waits for the group to be placed: the rest is not copied yet.
    if (threads == 1)
        QVERIFY(!task.unprocessedItems().isEmpty());

    runToEnd(task, recorder, true);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);
    QVERIFY(!task.isStopRequested());
    QVERIFY(recorder.errors.isEmpty());
    QCOMPARE(task.counter(FilesCopied), qint64(files));
    QCOMPARE(listTree(m_destination), expected);
    QVERIFY(fileContents(m_destination) == contents);
    if (move)
        QVERIFY2(!QFileInfo::exists(m_source), "source root left behind");
}

// A destination whose file system keeps no extended attributes is no error: each item that
// had some says so, and the log once for the run.
void TestCopyTask::destinationWithoutAttributesWarnsOnce()
{
    if (!TestSupport::runningAsRoot())
        QSKIP("Needs root to mount a file system");
    if (!TestSupport::mountRamfs(m_destination))
        QSKIP("Cannot mount a ramfs");
    const auto unmount = qScopeGuard([this] { QProcess::execute("umount", {m_destination}); });
    makeTree(m_source, {"d/", "d/a=10", "b=10", "c=10"});
    for (const char* name : {"d", "d/a", "b"})
        QVERIFY(TestSupport::setAttribute(m_source + "/" + name, "user.origin", "lost"));
    CopyTask task;
    task.setTask(makeTask(m_source, m_destination));
    // A ramfs tells of no free space.
    task.setStorageProbe(std::make_unique<FixedStorage>(1 << 20));
    RunRecorder recorder(&task);
    MessageLog log;
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^The destination keeps no extended attributes"));
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);
    QVERIFY(recorder.errors.isEmpty());
    QCOMPARE(listTree(m_destination), listTree(m_source));
    QCOMPARE(log.lines().filter("The destination keeps no extended attributes").size(), 1);
    const QString note = "destination file system keeps no extended attributes or ACLs";
    QStringList noted;
    for (const CopyItem& item : task.completedItems() + task.folderItems()) {
        if (item.info_list.contains(note))
            noted << item.source_path.mid(m_source.size() + 1);
    }
    QCOMPARE(sorted(noted), QStringList({"b", "d", "d/a"}));
}

void TestCopyTask::settingsHoldForTheRun_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QStringList>("tree");
    // Shown by the simple method's progress mark at 16 MiB, and by the filtered file's report.
    QTest::newRow("copy method") << "method" << QStringList{"big=17825792"};
    QTest::newRow("report filtered files") << "report" << QStringList{"keep=10", "x.skip=1"};
}

// A preference changed once a run has started applies from the next run; settings given to
// the task apply whatever the preferences say.
void TestCopyTask::settingsHoldForTheRun()
{
    QFETCH(QString, setting);
    QFETCH(QStringList, tree);
    makeTree(m_source, tree);
    Task definition = makeTask(m_source, m_destination);
    definition.m_options.m_skipFilters = QStringList{"*.skip"};
    definition.m_options.m_overwriteMode = CopyOptions::OverwriteAlways;
    CopyTask task;
    task.setTask(definition);
    RunRecorder recorder(&task);
    const auto shown = [&] {
        return setting == "method" ? recorder.progress.size()
                                   : recorder.states().count(QString::number(Skipped));
    };

    task.startTask();
    if (setting == "method")
        AppSettings::instance()->setCopyMethod(CopyFileObject::SimpleMethod);
    else
        AppSettings::instance()->setReportFilteredFiles(true);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.ended, 1, m_runTimeoutMs);
    QCOMPARE(shown(), 0);

    runToEnd(task, recorder);
    QCOMPARE(shown(), 1);

    task.setRunSettings(RunSettings());
    runToEnd(task, recorder);
    QCOMPARE(shown(), 0);
}

QTEST_GUILESS_MAIN(TestCopyTask)
void TestCopyTask::runsEndingAtOnce_data()
{
    QTest::addColumn<bool>("ontoItself"); // otherwise the pool has no thread
    QTest::addColumn<bool>("stopAtOnce");
    QTest::addColumn<bool>("running"); // right after the start
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<bool>("listCompleted");

    QTest::newRow("refused start") << true << false << true << false << true;
    QTest::newRow("refused start stopped before its end") << true << true << true << true << true;
    QTest::newRow("start without job threads") << false << false << false << true << false;
}

// A refused run counts as running until its end at the next turn of the event loop; a start
// without job threads never runs and ends as stopped, its list not built.
void TestCopyTask::runsEndingAtOnce()
{
    QFETCH(bool, ontoItself);
    QFETCH(bool, stopAtOnce);
    QFETCH(bool, running);
    QFETCH(bool, stopped);
    QFETCH(bool, listCompleted);

    makeTree(m_source, {"a=1"});
    if (!ontoItself)
        JobThreadPool::destroyThreads();
    CopyTask task;
    task.setTask(makeTask(m_source, ontoItself ? m_source : m_destination));
    QSignalSpy ended(&task, &CopyTask::taskCompleted);
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(ontoItself ? "is refused: " : "^No job thread"));
    if (stopAtOnce)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Copy from .* is stopped after"));
    task.startTask();
    QCOMPARE(!task.isTaskCompleted(), running);
    if (stopAtOnce)
        task.stopTask();
    QTRY_COMPARE(ended.count(), 1);
    QVERIFY(task.isTaskCompleted());
    QCOMPARE(task.isStopRequested(), stopped);
    QCOMPARE(task.isFileListCompleted(), listCompleted);
    QVERIFY(listTree(m_destination).isEmpty());
}

#include "tst_copytask.moc"
