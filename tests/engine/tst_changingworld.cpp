#include "app/appsettings.h"
#include "copytaskfixture.h"
#include "engine/copytask.h"
#include "testsupport.h"

#include <QDirIterator>
#include <QtTest>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;

// Runs through the copy task on real trees that change while the run goes on: between the
// listing and the copy, or between two items. One pool thread keeps the order fixed: the
// list is complete before the first copy starts, and items are copied in queue order.
namespace {

const char childVariable[] = "BRINDLE_CHANGINGWORLD_CHILD";

QByteArray local(const QString& path)
{
    return QFile::encodeName(path);
}

bool removeTree(const QString& path)
{
    return QFileInfo(path).isDir() ? QDir(path).removeRecursively() : QFile::remove(path);
}

// "path state message" for each item, sorted.
QStringList outcomes(const QList<CopyItem>& items, const QString& root)
{
    QStringList list;
    for (const CopyItem& item : items) {
        QString line =
            QStringLiteral("%1 %2").arg(relativePath(item.source_path, root)).arg(item.copy_state);
        if (!item.copy_message.isEmpty())
            line += QLatin1Char(' ') + item.copy_message;
        list << line;
    }
    list.sort();
    return list;
}

// Answers the free-space question from the file system, after calling the hook the first
// time. A copy or move asks it for the whole copy once the list is complete and before the
// first copy is handed out (and no more once there is room): the moment to change the world
// after the listing.
class ListCompleteHook : public StorageProbe
{
public:
    explicit ListCompleteHook(std::function<void()> hook) : m_hook(std::move(hook)) {}
    qint64 availableBytes(const QString& path) const override
    {
        if (m_hook) {
            const std::function<void()> hook = std::move(m_hook);
            m_hook = nullptr;
            hook();
        }
        return StorageProbe::availableBytes(path);
    }

private:
    mutable std::function<void()> m_hook;
};

} // namespace

class TestChangingWorld : public QObject, public CopyTaskFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void sourceFileChanges_data();
    void sourceFileChanges();
    void destinationChanges_data();
    void destinationChanges();
    void withoutAccess_data();
    void withoutAccess();
    void withoutAccessChild_data();
    void withoutAccessChild();

private:
    void runUnstopped(CopyTask& task, RunRecorder& recorder);
    void addWithoutAccessRows();
    void runWithoutAccess();
};

void TestChangingWorld::initTestCase()
{
    initRuns(1);
}

void TestChangingWorld::init()
{
    initScratch();
}

void TestChangingWorld::cleanup()
{
    cleanupScratch();
}

void TestChangingWorld::cleanupTestCase()
{
    cleanupRuns();
}

// A run that nothing stops, so that every item ends in a state of its own.
void TestChangingWorld::runUnstopped(CopyTask& task, RunRecorder& recorder)
{
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(!task.isStopRequested());
    QVERIFY2(recorder.logs.last().startsWith(QLatin1String("Task completed in ")),
             qPrintable(recorder.logs.last()));
}

// -----------------------------------------------------------------------------------------

void TestChangingWorld::sourceFileChanges_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("copyMode");
    QTest::addColumn<int>("method");
    QTest::addColumn<qint64>("newSize"); // -1: nothing to copy
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("message");

    const int copy = CopyOptions::Copy;
    const int move = CopyOptions::Move;
    const QString none;
    // Listed with 3000 bytes; a size refreshed at the start of the copy is copied whole.
    QTest::newRow("grows, native copy")
        << "grow" << copy << 1 << qint64(300000) << int(Copied) << none;
    QTest::newRow("grows, qt copy") << "grow" << copy << 2 << qint64(300000) << int(Copied) << none;
    QTest::newRow("grows, simple copy")
        << "grow" << copy << 3 << qint64(300000) << int(Copied) << none;
    QTest::newRow("grows, move") << "grow" << move << 1 << qint64(300000) << int(Copied) << none;
    QTest::newRow("shrinks, native copy")
        << "shrink" << copy << 1 << qint64(100) << int(Copied) << none;
    QTest::newRow("shrinks, simple copy")
        << "shrink" << copy << 3 << qint64(100) << int(Copied) << none;
    QTest::newRow("shrinks to nothing, native copy")
        << "empty" << copy << 1 << qint64(0) << int(Copied) << none;
    QTest::newRow("rewritten with the same size")
        << "rewrite" << copy << 1 << qint64(3000) << int(Copied) << none;
    QTest::newRow("vanishes, copy")
        << "vanish" << copy << 1 << qint64(-1) << int(SourceError) << "source file does not exist";
    QTest::newRow("vanishes, move")
        << "vanish" << move << 1 << qint64(-1) << int(SourceError) << "source file does not exist";
    QTest::newRow("becomes a folder") << "folder" << copy << 1 << qint64(-1) << int(SourceError)
                                      << "source file is not a regular file";
    QTest::newRow("becomes a fifo, move") << "fifo" << move << 1 << qint64(-1) << int(SourceError)
                                          << "source file is not a regular file";
}

void TestChangingWorld::sourceFileChanges()
{
    QFETCH(QString, change);
    QFETCH(int, copyMode);
    QFETCH(int, method);
    QFETCH(qint64, newSize);
    QFETCH(int, state);
    QFETCH(QString, message);

    AppSettings::instance()->setCopyMethod(method);
    makeTree(m_source, {"a=10", "target=3000"});
    const QString target = m_source + QStringLiteral("/target");
    // A source in error is never deleted, so neither is the folder that holds it.
    const bool rootLeft = copyMode == CopyOptions::Move && (change == "folder" || change == "fifo");
    if (rootLeft)
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Unable to remove folder " + m_source));
    CopyTask task;
    task.setTask(makeTask(m_source, m_destination, copyMode));
    RunRecorder recorder(&task);
    bool changed = false;
    task.setStorageProbe(std::make_unique<ListCompleteHook>([&] {
        changed = true;
        if (change == "vanish" || change == "folder" || change == "fifo")
            QVERIFY(QFile::remove(target));
        if (change == "folder")
            QVERIFY(QDir().mkdir(target));
        else if (change == "fifo")
            QCOMPARE(::mkfifo(local(target).constData(), 0644), 0);
        else if (newSize >= 0)
            QVERIFY(TestSupport::writeFile(target, contentFor("changed", newSize)));
    }));
    runUnstopped(task, recorder);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(changed);
    verifyRunInvariant(task, recorder, EveryItemDone);
    if (QTest::currentTestFailed())
        return;

    const CopyItem* item = findItem(task.completedItems(), target);
    QVERIFY(item);
    QCOMPARE(item->copy_state, state);
    QCOMPARE(item->copy_message, message);
    const QString copy = m_destination + QStringLiteral("/target");
    if (state == Copied) {
        // Never a size or content the item does not tell.
        QCOMPARE(item->file_size, newSize);
        QCOMPARE(TestSupport::readFile(copy), contentFor("changed", newSize));
        QCOMPARE(QFileInfo::exists(target), copyMode != CopyOptions::Move);
        QCOMPARE(task.counter(FilesCopied), qint64(2));
        QCOMPARE(task.counter(ErrorItems), qint64(0));
    } else {
        QVERIFY(!QFileInfo::exists(copy));
        QCOMPARE(relativePath(recorder.errors.value(0).source_path, m_source),
                 QStringLiteral("target"));
        QCOMPARE(task.counter(FilesCopied), qint64(1));
        QCOMPARE(task.counter(ErrorItems), qint64(rootLeft ? 2 : 1));
        if (change != "vanish")
            QVERIFY(QFileInfo::exists(target));
        QCOMPARE(QFileInfo::exists(m_source), change != "vanish" || copyMode != CopyOptions::Move);
        if (rootLeft) {
            const CopyItem* root = findItem(recorder.lastList(), m_source);
            QVERIFY(root);
            QCOMPARE(root->copy_message, QStringLiteral("Unable to delete source folder"));
        }
    }
    // The other file is untouched by all this.
    QCOMPARE(TestSupport::readFile(m_destination + QStringLiteral("/a")), contentFor("a", 10));
}

void TestChangingWorld::destinationChanges_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("filesBefore"); // files of "sub" copied before the change
    QTest::addColumn<int>("laterState");  // the file of "sub" copied after it
    QTest::addColumn<QString>("laterMessage");
    QTest::addColumn<int>("folderState"); // "sub" after the final folder sync
    QTest::addColumn<QStringList>("warnings");

    // The copier makes the missing folders of a file, as it does for a file whose folder
    // is not copied itself: what comes later lands in a new folder. What was copied
    // before is gone with the folder; only a verify run can tell.
    QTest::newRow("folder removed between two files")
        << "remove sub" << 1 << int(Copied) << QString() << int(Copied) << QStringList();
    QTest::newRow("destination removed between two files")
        << "remove destination" << 1 << int(Copied) << QString() << int(Copied) << QStringList();
    QTest::newRow("destination removed after the last file")
        << "remove destination" << 2 << int(Copied) << QString() << int(Skipped) << QStringList();
    QTest::newRow("folder replaced by a file between two files")
        << "block sub" << 1 << int(DestinationError) << "unable to copy file" << int(Skipped)
        << QStringList{"Unable to create folder {D}/sub", "open 20: Not a directory"};
}

void TestChangingWorld::destinationChanges()
{
    QFETCH(QString, change);
    QFETCH(int, filesBefore);
    QFETCH(int, laterState);
    QFETCH(QString, laterMessage);
    QFETCH(int, folderState);
    QFETCH(QStringList, warnings);

    makeTree(m_source, {"sub/", "sub/b=20", "sub/c=30"});
    const QString folder = m_destination + QStringLiteral("/sub");
    for (QString warning : warnings)
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning.replace("{D}", m_destination)));
    CopyTask task;
    // The change comes between the copies of two files, each placed on its own.
    task.setGroupedCopies(false);
    task.setTask(makeTask(m_source, m_destination));
    RunRecorder recorder(&task);
    QStringList before;
    recorder.onItem = [&](const CopyItem& item) {
        if (item.is_folder || before.size() == filesBefore)
            return;
        before << item.source_path;
        if (before.size() < filesBefore)
            return;
        QVERIFY(QFileInfo::exists(item.destination_path));
        QVERIFY(removeTree(change == "remove destination" ? m_destination : folder));
        if (change == "block sub")
            QVERIFY(TestSupport::writeFile(folder, "in the way"));
    };
    runUnstopped(task, recorder);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(before.size(), filesBefore);
    verifyRunInvariant(task, recorder, EveryItemDone);
    if (QTest::currentTestFailed())
        return;

    for (const CopyItem& item : task.completedItems()) {
        if (item.is_folder)
            continue;
        if (before.contains(item.source_path)) {
            QCOMPARE(item.copy_state, int(Copied));
            QVERIFY(!QFileInfo::exists(item.destination_path));
        } else {
            QCOMPARE(item.copy_state, laterState);
            QCOMPARE(item.copy_message, laterMessage);
            QCOMPARE(QFileInfo(item.destination_path).isFile(), laterState == Copied);
            if (laterState == Copied)
                QCOMPARE(item.file_size, QFileInfo(item.destination_path).size());
        }
    }
    const CopyItem* synced = findItem(recorder.lastList(), m_source + QStringLiteral("/sub"));
    QVERIFY(synced);
    QCOMPARE(synced->copy_state, folderState);
    QCOMPARE(task.counter(ErrorItems), qint64(laterState == Copied ? 0 : 1));
}

// Permissions bind only an unprivileged user: as root the cases run again as user nobody
// in a child process (see withoutAccessChild), which makes its own tree.
void TestChangingWorld::addWithoutAccessRows()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("after"); // "" after the listing, or after that item
    QTest::addColumn<int>("copyMode");
    QTest::addColumn<QStringList>("outcomes");
    QTest::addColumn<QStringList>("sourcesLeft");
    QTest::addColumn<QStringList>("warnings"); // {S} the source, {D} the destination

    const QStringList closedSub{
        "a 4", "sub 1 source folder is not readable", "sub/b 1 source file is not readable",
        "sub/deep 1 source folder is not readable", "sub/deep/c 1 source file is not readable"};
    QTest::newRow("source folder closed after the listing")
        << "close src/sub" << QString() << int(CopyOptions::Copy) << closedSub
        << QStringList{"a", "sub/b", "sub/deep/c"} << QStringList();
    QTest::newRow("source folder closed after the listing, move")
        << "close src/sub" << QString() << int(CopyOptions::Move) << closedSub
        << QStringList{"sub/b", "sub/deep/c"} << QStringList{"Unable to remove folder {S}"};
    QTest::newRow("source file closed after the listing")
        << "close src/sub/b" << QString() << int(CopyOptions::Copy)
        << QStringList{"a 4", "sub 4", "sub/b 1 source file is not readable", "sub/deep 4",
                       "sub/deep/c 4"}
        << QStringList{"a", "sub/b", "sub/deep/c"} << QStringList();
    QTest::newRow("destination folder closed after its creation")
        << "close dst/sub"
        << "sub" << int(CopyOptions::Copy)
        << QStringList{"a 4", "sub 4", "sub/b 2 unable to copy file",
                       "sub/deep 2 unable to create destination folder",
                       "sub/deep/c 2 unable to copy file"}
        << QStringList{"a", "sub/b", "sub/deep/c"}
        << QStringList{"open 13: Permission denied", "Unable to create folder {D}/sub/deep",
                       "open 2: No such file or directory"};
}

void TestChangingWorld::withoutAccess_data()
{
    addWithoutAccessRows();
}

void TestChangingWorld::withoutAccess()
{
    if (!TestSupport::runningAsRoot()) {
        runWithoutAccess();
        return;
    }
    const QString tag = QString::fromUtf8(QTest::currentDataTag());
    qputenv(childVariable, "1");
    QByteArray output;
    TestSupport::runAsNobody(QCoreApplication::applicationFilePath(),
                             {QStringLiteral("withoutAccessChild:%1").arg(tag)}, &output);
    qunsetenv(childVariable);
    // The child's verdict is its test line: sanitizer builds may report Qt's teardown.
    QVERIFY2(output.contains(qPrintable(
                 QStringLiteral("PASS   : TestChangingWorld::withoutAccessChild(%1)").arg(tag))),
             output.constData());
}

void TestChangingWorld::withoutAccessChild_data()
{
    addWithoutAccessRows();
}

void TestChangingWorld::withoutAccessChild()
{
    if (qEnvironmentVariableIsEmpty(childVariable))
        QSKIP("Run only as the child process of withoutAccess");
    QVERIFY(!TestSupport::runningAsRoot());
    runWithoutAccess();
}

void TestChangingWorld::runWithoutAccess()
{
    QFETCH(QString, change);
    QFETCH(QString, after);
    QFETCH(int, copyMode);
    QFETCH(QStringList, outcomes);
    QFETCH(QStringList, sourcesLeft);
    QFETCH(QStringList, warnings);

    for (QString warning : warnings)
        QTest::ignoreMessage(
            QtWarningMsg,
            qPrintable(warning.replace("{S}", m_source).replace("{D}", m_destination)));
    makeTree(m_source, {"a=10", "sub/", "sub/b=20", "sub/deep/", "sub/deep/c=30"});
    const QString closed = mp_dir->filePath(change.section(QLatin1Char(' '), 1));
    const int closedMode = change.endsWith("dst/sub") ? 0555 : 0;
    CopyTask task;
    // A change after an item comes before the next copy starts only when each copy is
    // reported on its own.
    task.setGroupedCopies(after.isEmpty());
    task.setTask(makeTask(m_source, m_destination, copyMode));
    RunRecorder recorder(&task);
    bool changed = false;
    const auto close = [&] {
        changed = true;
        QCOMPARE(::chmod(local(closed).constData(), closedMode), 0);
    };
    if (after.isEmpty()) {
        task.setStorageProbe(std::make_unique<ListCompleteHook>(close));
    } else {
        recorder.onItem = [&](const CopyItem& item) {
            if (relativePath(item.source_path, m_source) == after)
                close();
        };
    }
    runUnstopped(task, recorder);
    // Opened again before anything can fail, so that the scratch area can go.
    ::chmod(local(closed).constData(), 0755);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(changed);
    verifyRunInvariant(task, recorder, EveryItemDone);
    if (QTest::currentTestFailed())
        return;

    QCOMPARE(::outcomes(task.completedItems(), m_source), outcomes);
    QStringList left;
    QDirIterator it(m_source, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        left << relativePath(it.next(), m_source);
    left.sort();
    QCOMPARE(left, sourcesLeft);
    // What could be read was copied whole.
    for (const CopyItem& item : task.completedItems()) {
        if (item.copy_state == Copied && !item.is_folder)
            QCOMPARE(TestSupport::readFile(item.destination_path),
                     contentFor(QFileInfo(item.source_path).fileName(), item.file_size));
    }
}

QTEST_GUILESS_MAIN(TestChangingWorld)
#include "tst_changingworld.moc"
