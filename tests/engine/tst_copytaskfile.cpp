#include "engine/copytask.h"

#include "app/programidentity.h"
#include "engine/taskfile.h"
#include "engine/taskfilestore.h"
#include "fs/platform.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QSettings>
#include <QtTest>

#include <sys/resource.h>

namespace {

CopyItem makeItem(const QString& name, int state, bool folder = false, qint64 size = 10)
{
    CopyItem item(QStringLiteral("/src/") + name, QStringLiteral("/dst/") + name, size, folder,
                  QString());
    item.copy_state = state;
    if (state == SourceError || state == DestinationError)
        item.copy_message = QStringLiteral("failed ") + name;
    item.info_list << QStringLiteral("note on ") + name;
    return item;
}

Task makeTask(int copyMode = CopyOptions::Copy)
{
    Task task;
    task.m_sourcePath = QStringLiteral("/src");
    task.m_destinationPath = QStringLiteral("/dst");
    task.updateName();
    task.m_options.m_copyMode = copyMode;
    task.m_options.m_skipErrorOnFiles = QStringList{QStringLiteral("*.tmp")};
    return task;
}

QStringList dataStrings(const QList<CopyItem>& items)
{
    QStringList list;
    for (const CopyItem& item : items)
        list << item.toDataString();
    return list;
}

QStringList sourcePaths(const QList<CopyItem>& items)
{
    QStringList list;
    for (const CopyItem& item : items)
        list << item.source_path;
    return list;
}

const int AsWritten = INT_MIN;

// Writes a task file of the current version; values in overrides replace or, when
// invalid, remove the keys of group "Task". A null entry of a list writes no key.
void writeTaskFile(const QString& path, const QStringList& items, const QStringList& folders,
                   const QVariantMap& overrides = QVariantMap(), int itemsCount = AsWritten,
                   int foldersCount = AsWritten)
{
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Task"));
    settings.setValue(QStringLiteral("Data"), makeTask().toDataString());
    settings.setValue(QStringLiteral("ItemsCount"),
                      itemsCount == AsWritten ? items.size() : itemsCount);
    settings.setValue(QStringLiteral("FoldersCount"),
                      foldersCount == AsWritten ? folders.size() : foldersCount);
    settings.setValue(QStringLiteral("SaveFileVersion"), 2);
    settings.setValue(QStringLiteral("SkipBuildListForExternalProgram"), false);
    settings.setValue(QStringLiteral("ElapsedTime"), 60000);
    for (auto it = overrides.cbegin(); it != overrides.cend(); ++it) {
        if (it.value().isValid())
            settings.setValue(it.key(), it.value());
        else
            settings.remove(it.key());
    }
    settings.endGroup();
    settings.beginGroup(QStringLiteral("Items"));
    for (int i = 0; i < items.size(); ++i) {
        if (!items.at(i).isNull())
            settings.setValue(QStringLiteral("Item%1").arg(i), items.at(i));
    }
    settings.endGroup();
    settings.beginGroup(QStringLiteral("Folders"));
    for (int i = 0; i < folders.size(); ++i) {
        if (!folders.at(i).isNull())
            settings.setValue(QStringLiteral("Folder%1").arg(i), folders.at(i));
    }
    settings.endGroup();
}

// One item per state, a folder among them, and folders in three states.
QList<CopyItem> mixedItems()
{
    return {makeItem("copied", Copied), makeItem("skipped", Skipped),
            makeItem("sourceError", SourceError), makeItem("folderError", DestinationError, true),
            makeItem("waiting", Unprocessed)};
}

QList<CopyItem> mixedFolders()
{
    return {makeItem("f-copied", Copied, true), makeItem("f-error", DestinationError, true),
            makeItem("f-waiting", Unprocessed, true)};
}

struct SavedItem
{
    QString name;
    int state;
    int infoCount;
};

QList<SavedItem> readSavedGroup(QSettings& settings, const QString& group, const QString& key,
                                int count)
{
    QList<SavedItem> list;
    settings.beginGroup(group);
    for (int i = 0; i < count; ++i) {
        CopyItem item;
        if (item.fromDataString(settings.value(key.arg(i)).toString()))
            list.append({item.source_path.mid(5), item.copy_state, item.info_list.size()});
    }
    settings.endGroup();
    return list;
}

// The text of a task file of the current version with the given task and one item, written
// by hand: files from elsewhere were not necessarily written by QSettings.
QByteArray taskFileText(const QByteArray& data, const QByteArray& item,
                        const QByteArray& itemsCount = "1")
{
    return "[Task]\nSaveFileVersion=2\nData=" + data + "\nItemsCount=" + itemsCount +
           "\nFoldersCount=0\n\n[Items]\nItem0=" + item + '\n';
}

// The default task "/s -> /d" and an item /s/a, as Qt's INI writer escapes them.
const QByteArray GoodData("\"/s -> /d\\x2028/s\\x2028/d\\x2028\\x30\\x2028\\x31\\x2028\\x31\\x2028"
                          "\\x31\\x2028\\x31\\x2028\\x2028\\x2028\\x64\\x65sktop.ini\\x2028"
                          "\\x31\\x2028\\x31\\x2028\\x30\"");
const QByteArray GoodItem("/s/a\\x2028/d/a\\x2028\\x31\\x2028\\x30");

// The largest resident size the process has had so far, in KiB.
long peakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// QSettings caches every file it wrote or read and does not read it again while its size and
// time stay the same; a copy under a new name is read from its text.
QString freshCopy(const QString& path)
{
    const QString copy = path + QStringLiteral(".copy");
    QFile::remove(copy);
    return QFile::copy(path, copy) ? copy : QString();
}

QString describe(const QList<SavedItem>& items)
{
    QStringList parts;
    for (const SavedItem& item : items)
        parts << QStringLiteral("%1:%2:%3").arg(item.name).arg(item.state).arg(item.infoCount);
    return parts.join(QLatin1Char(' '));
}

} // namespace

class TestCopyTaskFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void resumeOnlyOntoTheSameFileSystem_data();
    void resumeOnlyOntoTheSameFileSystem();
    void externalProgramOnlyTheUsersOwn_data();
    void externalProgramOnlyTheUsersOwn();

    void loadVersion2();
    void loadVersion1();
    void loadRejectsMalformedValues_data();
    void loadRejectsMalformedValues();
    void loadBadEntries_data();
    void loadBadEntries();
    void loadRecountsInsteadOfAccumulating();
    void save_data();
    void save();
    void saveAllRoundTrip();
    void saveUnwritablePath();
    void errorsFileName_data();
    void errorsFileName();
    void stoppedTaskFiles_data();
    void stoppedTaskFiles();

    // Task files from elsewhere.
    void loadRefusesHostileFiles_data();
    void loadRefusesHostileFiles();
    void loadOfHugeValueStaysSmall();
    void loadNeverDecodesObjects_data();
    void loadNeverDecodesObjects();
    void controlCharactersSurviveSaving_data();
    void controlCharactersSurviveSaving();
    void rawControlBytesLoad();
    void saveReplacesUnreadableFile();

    void readFromMemory_data();
    void readFromMemory();
    void readRewrittenFileAnew();

private:
    QString nextPath();

    QTemporaryDir m_dir;
    int m_fileNumber = 0;
};

void TestCopyTaskFile::initTestCase()
{
    TestSupport::initTestEnvironment();
    QVERIFY(m_dir.isValid());
}

void TestCopyTaskFile::init()
{
    // Every file gets a new name: settings files are cached per path in the process.
    ++m_fileNumber;
}

QString TestCopyTaskFile::nextPath()
{
    return m_dir.filePath(QStringLiteral("task%1.bdt").arg(m_fileNumber++));
}

void TestCopyTaskFile::loadVersion2()
{
    const QString path = nextPath();
    writeTaskFile(path, dataStrings(mixedItems()), dataStrings(mixedFolders()),
                  {{QStringLiteral("SkipBuildListForExternalProgram"), true}});
    CopyTask task;
    QVERIFY(task.loadFromFile(path));

    QCOMPARE(task.task(), makeTask());
    QCOMPARE(dataStrings(task.completedItems()), dataStrings(mixedItems()));
    QCOMPARE(dataStrings(task.folderItems()),
             dataStrings(QList<CopyItem>{mixedItems().at(3)} + mixedFolders()));
    QVERIFY(task.skipBuildListForExternalProgram());
    QVERIFY(task.isTaskCompleted());
    QVERIFY(task.isStopRequested());
    QVERIFY(task.isFileListCompleted());
    QCOMPARE(task.remainingTime(), qint64(0));
}

void TestCopyTaskFile::loadVersion1()
{
    const QString path = nextPath();
    {
        QSettings settings(path, QSettings::IniFormat);
        CopyItem root(QStringLiteral("/old/src"), QStringLiteral("/old/dst"), 0, true, QString());
        settings.setValue(QStringLiteral("Task/CopyItem"), root.toDataString());
        settings.setValue(QStringLiteral("Task/VerifyCopyOnly"), true);
        settings.setValue(QStringLiteral("Task/ItemsCount"), 1);
        settings.setValue(QStringLiteral("Items/Item0"),
                          CopyItem(QStringLiteral("/old/src/a"), QStringLiteral("/old/dst/a"), 1,
                                   false, QString())
                              .toDataString());
        settings.setValue(QStringLiteral("Copy/OverwriteMode"), CopyOptions::NoOverwrite);
        settings.setValue(QStringLiteral("Copy/Recursive"), false);
    }
    CopyTask task;
    QVERIFY(task.loadFromFile(path));

    QCOMPARE(task.task().m_sourcePath, QStringLiteral("/old/src"));
    QCOMPARE(task.task().m_destinationPath, QStringLiteral("/old/dst"));
    QCOMPARE(task.task().m_name, QStringLiteral("/old/src -> /old/dst"));
    QCOMPARE(task.task().m_options.m_copyMode, int(CopyOptions::Verify));
    QCOMPARE(task.task().m_options.m_overwriteMode, int(CopyOptions::NoOverwrite));
    QCOMPARE(task.task().m_options.m_recursive, false);
    QCOMPARE(task.completedItems().size(), 1);
    QVERIFY(task.isFileListCompleted());
}

void TestCopyTaskFile::loadRejectsMalformedValues_data()
{
    QTest::addColumn<QVariantMap>("overrides");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<QString>("modelWarning");

    const QVariant absent;
    QTest::newRow("version is not a number")
        << QVariantMap{{"SaveFileVersion", "two"}} << "Invalid SaveFileVersion value found in"
        << QString();
    QTest::newRow("task data is malformed")
        << QVariantMap{{"Data", "x"}} << "Invalid Task value found in"
        << "Invalid argument found in Task::fromDataString";
    QTest::newRow("version 1 item is missing")
        << QVariantMap{{"SaveFileVersion", 1}, {"Data", absent}}
        << "Invalid CopyItem value found in" << QString();
    QTest::newRow("version 1 item is malformed")
        << QVariantMap{{"SaveFileVersion", absent}, {"CopyItem", "lonely"}}
        << "Invalid CopyItem value found in"
        << "Invalid argument found in CopyItem::pathsFromDataStringList";
    QTest::newRow("items count is not a number")
        << QVariantMap{{"ItemsCount", "3x"}} << "Invalid ItemsCount value found in" << QString();
    QTest::newRow("folders count is not a number")
        << QVariantMap{{"FoldersCount", ""}} << "Invalid FoldersCount value found in" << QString();
    QTest::newRow("elapsed time is not a number")
        << QVariantMap{{"ElapsedTime", "1 minute"}} << "Invalid PreviousElapsedTime value found in"
        << QString();
    Task other = makeTask(CopyOptions::Move);
    other.m_sourcePath = QStringLiteral("/other");
    other.updateName();
    QTest::newRow("another task and flag read before a malformed time")
        << QVariantMap{{"Data", other.toDataString()},
                       {"SkipBuildListForExternalProgram", true},
                       {"ElapsedTime", "soon"}}
        << "Invalid PreviousElapsedTime value found in" << QString();
}

void TestCopyTaskFile::loadRejectsMalformedValues()
{
    QFETCH(QVariantMap, overrides);
    QFETCH(QString, warning);
    QFETCH(QString, modelWarning);

    const QString goodPath = nextPath();
    writeTaskFile(goodPath, dataStrings(mixedItems()), dataStrings(mixedFolders()));
    CopyTask task;
    QVERIFY(task.loadFromFile(goodPath));

    const QString path = nextPath();
    writeTaskFile(path, {makeItem("other", Copied).toDataString()}, {}, overrides);
    if (!modelWarning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QRegularExpression::escape(modelWarning)));
    QTest::ignoreMessage(QtWarningMsg, qPrintable(warning + QLatin1Char(' ') + path));
    QVERIFY(!task.loadFromFile(path));

    // The task, lists and flags of the previous load are left alone.
    QCOMPARE(task.task(), makeTask());
    QCOMPARE(dataStrings(task.completedItems()), dataStrings(mixedItems()));
    QVERIFY(task.isFileListCompleted());
    QVERIFY(!task.skipBuildListForExternalProgram());
}

void TestCopyTaskFile::loadBadEntries_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<int>("itemsCount");
    QTest::addColumn<int>("foldersCount");
    QTest::addColumn<QStringList>("warnings");
    QTest::addColumn<QStringList>("loaded");
    QTest::addColumn<bool>("listCompleted");

    const QString a = makeItem("a", Copied).toDataString();
    const QString b = makeItem("b", Unprocessed).toDataString();
    const QString c = makeItem("c", SourceError).toDataString();
    const QString f = makeItem("f", Unprocessed, true).toDataString();
    const QString malformed = QStringLiteral("only-a-path");
    const QString missing; // null: the key is not written

    const int n = AsWritten;
    QTest::newRow("all good") << QStringList{a, b} << QStringList{f} << n << n << QStringList()
                              << QStringList{"/src/a", "/src/b", "/src/f"} << true;
    QTest::newRow("malformed item")
        << QStringList{a, malformed, c} << QStringList{f} << n << n
        << QStringList{"Invalid Item 1 value found in %1", "Load items is not completed: 2 on 3"}
        << QStringList{"/src/a", "/src/c", "/src/f"} << false;
    QTest::newRow("malformed folder") << QStringList{a} << QStringList{malformed, f} << n << n
                                      << QStringList{"Invalid Folder 0 value found in %1",
                                                     "Load folders is not completed: 1 on 2"}
                                      << QStringList{"/src/a", "/src/f"} << false;
    QTest::newRow("one item fewer than counted")
        << QStringList{a, b, c, a} << QStringList{f} << 5 << n
        << QStringList{"ItemsCount 5 is larger than the 4 items found in %1",
                       "Load items is not completed: 4 on 5"}
        << QStringList{"/src/a", "/src/b", "/src/c", "/src/a", "/src/f"} << false;
    QTest::newRow("huge item count, keys with gaps")
        << QStringList{a, missing, c, missing, b} << QStringList{f} << 2000000000 << n
        << QStringList{"ItemsCount 2000000000 is larger than the 3 items found in %1",
                       "Load items is not completed: 3 on 2000000000"}
        << QStringList{"/src/a", "/src/c", "/src/b", "/src/f"} << false;
    QTest::newRow("huge folder count")
        << QStringList{a} << QStringList{f} << n << 2147483647
        << QStringList{"FoldersCount 2147483647 is larger than the 1 folders found in %1",
                       "Load folders is not completed: 1 on 2147483647"}
        << QStringList{"/src/a", "/src/f"} << false;
    QTest::newRow("missing key within the count")
        << QStringList{a, missing, b} << QStringList() << 3 << 0
        << QStringList{"ItemsCount 3 is larger than the 2 items found in %1",
                       "Load items is not completed: 2 on 3"}
        << QStringList{"/src/a", "/src/b"} << false;
    QTest::newRow("no items") << QStringList() << QStringList{f} << 0 << n << QStringList()
                              << QStringList{"/src/f"} << false;
    // Items whose paths leave the task's source or destination (as a name holding the field
    // separator can make them) are refused one by one.
    const QString outside = CopyItem("/src/x", "/etc/x", 1, false, QString()).toDataString();
    const QString climbing =
        CopyItem("/src/../etc/y", "/dst/y", 1, false, QString()).toDataString();
    const QString relative = CopyItem("src/z", "dst/z", 1, false, QString()).toDataString();
    QTest::newRow("items outside the task")
        << QStringList{a, outside, climbing, relative} << QStringList{f} << n << n
        << QStringList{"!Invalid Item 1 value found in %1", "!Invalid Item 2 value found in %1",
                       "!Invalid Item 3 value found in %1", "Load items is not completed: 1 on 4"}
        << QStringList{"/src/a", "/src/f"} << false;
    QTest::newRow("negative item count")
        << QStringList{a} << QStringList() << -7 << 0 << QStringList() << QStringList() << false;
}

void TestCopyTaskFile::loadBadEntries()
{
    QFETCH(QStringList, items);
    QFETCH(QStringList, folders);
    QFETCH(int, itemsCount);
    QFETCH(int, foldersCount);
    QFETCH(QStringList, warnings);
    QFETCH(QStringList, loaded);
    QFETCH(bool, listCompleted);

    const QString path = nextPath();
    writeTaskFile(path, items, folders, {}, itemsCount, foldersCount);
    for (QString warning : qAsConst(warnings)) {
        // "!": an item that parses but is refused, without the item's own warning.
        if (warning.startsWith(QLatin1Char('!')))
            warning.remove(0, 1);
        else if (warning.startsWith(QLatin1String("Invalid")))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("CopyItem::"));
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning.replace("%1", path)));
    }
    CopyTask task;
    QVERIFY(task.loadFromFile(path));
    // No loaded item is a folder, so the folder query holds the folders list alone.
    QCOMPARE(sourcePaths(task.completedItems()) + sourcePaths(task.folderItems()), loaded);
    QCOMPARE(task.isFileListCompleted(), listCompleted);
    QVERIFY(task.isStopRequested());
}

void TestCopyTaskFile::loadRecountsInsteadOfAccumulating()
{
    const QString path = nextPath();
    writeTaskFile(path, dataStrings(mixedItems()), {});
    CopyTask task;
    QVERIFY(task.loadFromFile(path));
    const CopyTask::Counters first = task.counters();
    QVERIFY(task.loadFromFile(path));
    QVERIFY(task.counters() == first);
    QCOMPARE(task.counter(FilesToCopy), qint64(4));
}

void TestCopyTaskFile::save_data()
{
    QTest::addColumn<bool>("errorsOnly");
    QTest::addColumn<bool>("allItems");
    QTest::addColumn<bool>("errorsAsUnprocessed");
    QTest::addColumn<QList<CopyItem>>("items");
    QTest::addColumn<QString>("savedItems");
    QTest::addColumn<QString>("savedFolders");
    QTest::addColumn<qint64>("elapsed");

    // name:state:info entries
    const QString allFoldersReset = "f-copied:0:1 f-error:0:1 f-waiting:0:1";
    QTest::newRow("save all")
        << false << true << false << mixedItems()
        << "copied:4:1 skipped:3:1 sourceError:1:1 folderError:2:1 waiting:0:1" << allFoldersReset
        << qint64(60000);
    QTest::newRow("errors and not copied")
        << false << false << false << mixedItems() << "sourceError:1:1 folderError:2:1 waiting:0:1"
        << allFoldersReset << qint64(0);
    QTest::newRow("errors as unprocessed")
        << false << false << true << mixedItems() << "sourceError:0:0 folderError:0:0 waiting:0:1"
        << "f-copied:0:1 f-error:0:0 f-waiting:0:1" << qint64(0);
    QTest::newRow("errors only") << true << false << false << mixedItems()
                                 << "sourceError:1:1 folderError:2:1" << allFoldersReset
                                 << qint64(0);
    QTest::newRow("errors only and all items")
        << true << true << false << mixedItems() << "sourceError:1:1 folderError:2:1"
        << allFoldersReset << qint64(0);
    QTest::newRow("errors only without errors")
        << true << false << false
        << QList<CopyItem>{makeItem("copied", Copied), makeItem("skipped", Skipped)} << ""
        << "f-waiting:0:1" << qint64(0);
    QTest::newRow("save all without errors")
        << false << true << false << QList<CopyItem>{makeItem("copied", Copied)} << "copied:4:1"
        << allFoldersReset << qint64(60000);
    QTest::newRow("nothing left to copy")
        << false << false << false << QList<CopyItem>{makeItem("copied", Copied)} << ""
        << "f-waiting:0:1" << qint64(0);
    QTest::newRow("folder errors as unprocessed, nothing else")
        << true << false << true << QList<CopyItem>{makeItem("copied", Copied)} << ""
        << "f-error:0:0 f-waiting:0:1" << qint64(0);
}

void TestCopyTaskFile::save()
{
    QFETCH(bool, errorsOnly);
    QFETCH(bool, allItems);
    QFETCH(bool, errorsAsUnprocessed);
    QFETCH(QList<CopyItem>, items);
    QFETCH(QString, savedItems);
    QFETCH(QString, savedFolders);
    QFETCH(qint64, elapsed);

    const QString source = nextPath();
    writeTaskFile(source, dataStrings(items), dataStrings(mixedFolders()));
    CopyTask task;
    QVERIFY(task.loadFromFile(source));
    const QList<CopyItem> errorsBefore = task.errorItems();

    const QString path = nextPath();
    QVERIFY(task.saveToFile(path, errorsOnly, allItems, errorsAsUnprocessed));

    QSettings settings(path, QSettings::IniFormat);
    const int itemsCount = settings.value("Task/ItemsCount").toInt();
    const int foldersCount = settings.value("Task/FoldersCount").toInt();
    QCOMPARE(describe(readSavedGroup(settings, "Items", "Item%1", itemsCount)), savedItems);
    QCOMPARE(describe(readSavedGroup(settings, "Folders", "Folder%1", foldersCount)), savedFolders);
    QCOMPARE(settings.value("Task/ElapsedTime").toLongLong(), elapsed);
    QCOMPARE(settings.value("Task/SaveFileVersion").toInt(), 2);
    Task saved;
    QVERIFY(saved.fromDataString(settings.value("Task/Data").toString()));
    QCOMPARE(saved, makeTask());

    // Saving does not change the run in memory.
    QCOMPARE(dataStrings(task.errorItems()), dataStrings(errorsBefore));
}

void TestCopyTaskFile::saveAllRoundTrip()
{
    const QString source = nextPath();
    writeTaskFile(source, dataStrings(mixedItems()), dataStrings(mixedFolders()),
                  {{"SkipBuildListForExternalProgram", true}});
    CopyTask first;
    QVERIFY(first.loadFromFile(source));
    ExternalProgramSettings program;
    program.filePath = QStringLiteral("/usr/bin/rsync");
    program.arguments = QStringList{QStringLiteral("-a"), QStringLiteral("--delete")};
    first.setExternalProgram(program);

    const QString path = nextPath();
    QVERIFY(first.saveToFile(path, false, true, false));
    CopyTask second;
    QVERIFY(second.loadFromFile(path));
    QCOMPARE(second.task(), first.task());
    QCOMPARE(dataStrings(second.completedItems()), dataStrings(first.completedItems()));
    QCOMPARE(second.externalProgram(), program);
    QVERIFY(second.skipBuildListForExternalProgram());
    QVERIFY(second.counters() == first.counters());

    // The elapsed time survives only in a file of all items.
    QSettings settings(path, QSettings::IniFormat);
    QCOMPARE(settings.value("Task/ElapsedTime").toLongLong(), qint64(60000));
}

void TestCopyTaskFile::saveUnwritablePath()
{
    const QString blocker = m_dir.filePath(QStringLiteral("plain-file"));
    QVERIFY(TestSupport::writeFile(blocker, "not a folder"));
    CopyTask task;
    const QString path = blocker + QStringLiteral("/task.bdt");
    QVERIFY(!task.saveToFile(path, false, true, false));
    QVERIFY(!QFileInfo::exists(path));
}

void TestCopyTaskFile::errorsFileName_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("digest");

    // Digest of the UTF-8 bytes "ab".
    QTest::newRow("known digest")
        << "a"
        << "b"
        << "fb8e20fc2e4c3f248c60c39bd652f3c1347298bb977b8b4d5903b85055620603";
    QTest::newRow("paths") << "/home/user/photos"
                           << "/media/backup" << QString();
    QTest::newRow("non-ASCII paths") << "/home/zoë/Überweisung"
                                     << "/mnt/日本" << QString();
    QTest::newRow("empty task") << ""
                                << "" << QString();
}

void TestCopyTaskFile::errorsFileName()
{
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QFETCH(QString, digest);

    if (digest.isEmpty())
        digest = QString::fromLatin1(
            QCryptographicHash::hash((source + destination).toUtf8(), QCryptographicHash::Sha256)
                .toHex());
    Task task;
    task.m_sourcePath = source;
    task.m_destinationPath = destination;
    CopyTask copyTask;
    copyTask.setTask(task);
    QCOMPARE(copyTask.errorsFileName(), QStringLiteral("copyerrors-%1.bdt").arg(digest));

    // Another destination names another file.
    task.m_destinationPath += QLatin1Char('x');
    copyTask.setTask(task);
    QVERIFY(copyTask.errorsFileName() != QStringLiteral("copyerrors-%1.bdt").arg(digest));
}

void TestCopyTaskFile::loadRefusesHostileFiles_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("reason");

    QTest::newRow("binary garbage")
        << QByteArray::fromHex("7f454c460201010000000000000000000300") + "[Task]\n"
        << "Binary data found on line 1";
    QTest::newRow("NUL inside a value")
        << taskFileText(GoodData, QByteArray("/s/a\0b", 6)) << "Binary data found on line 8";
    QTest::newRow("over-long item") << taskFileText(GoodData, QByteArray(2 * 1024 * 1024, 'x'))
                                    << "Line 8 longer than 1048576 bytes found";
}

void TestCopyTaskFile::loadRefusesHostileFiles()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, reason);

    const QString goodPath = nextPath();
    writeTaskFile(goodPath, dataStrings(mixedItems()), {});
    CopyTask task;
    QVERIFY(task.loadFromFile(goodPath));

    const QString path = nextPath();
    QVERIFY(TestSupport::writeFile(path, text));
    // A second load of the same file, which QSettings could take from its cache, says the same.
    for (int load = 0; load < 2; ++load) {
        QTest::ignoreMessage(QtWarningMsg, qPrintable(reason + " in " + path));
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Unable to load task from file " + path));
        QVERIFY(!task.loadFromFile(path));
    }
    QCOMPARE(dataStrings(task.completedItems()), dataStrings(mixedItems()));
}

void TestCopyTaskFile::loadOfHugeValueStaysSmall()
{
    // 100 MiB in one value, written in pieces so that the test itself stays small. Read whole,
    // it would take twice that as text.
    const QString path = nextPath();
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Task]\nSaveFileVersion=2\nData=");
        const QByteArray piece(1024 * 1024, 'v');
        for (int i = 0; i < 100; ++i)
            QCOMPARE(file.write(piece), qint64(piece.size()));
        file.write("\nItemsCount=0\n");
    }
    const long before = peakResidentKiB();
    QTest::ignoreMessage(QtWarningMsg,
                         qPrintable("Line 3 longer than 1048576 bytes found in " + path));
    QTest::ignoreMessage(QtWarningMsg, qPrintable("Unable to load task from file " + path));
    CopyTask task;
    QVERIFY(!task.loadFromFile(path));
    QVERIFY2(peakResidentKiB() - before < 32 * 1024,
             qPrintable(QStringLiteral("peak grew by %1 KiB").arg(peakResidentKiB() - before)));
    QFile::remove(path);
}

void TestCopyTaskFile::loadNeverDecodesObjects_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<QStringList>("warnings");

    // Found by fuzzing the loader: read through Qt's INI reader, a list that announces
    // 2^31 - 1 elements asked for 16 GiB and aborted the program on std::bad_alloc. A
    // warning in brackets is the model's own about the refused data string.
    const QByteArray hugeList("@Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)");
    const QByteArray hugeStringList("@Variant(\\0\\0\\0\\xb\\x10\\0\\0\\0)");
    QTest::newRow("items count") << taskFileText(GoodData, GoodItem, hugeList) << false
                                 << QStringList{"Invalid ItemsCount value found in %1"};
    QTest::newRow("task data") << taskFileText(hugeStringList, GoodItem) << false
                               << QStringList{"[Invalid argument found in Task::fromDataString]",
                                              "Invalid Task value found in %1"};
    QTest::newRow("item") << taskFileText(GoodData, hugeList) << true
                          << QStringList{"[Invalid argument found in CopyItem::]",
                                         "Invalid Item 0 value found in %1",
                                         "Load items is not completed: 0 on 1"};
}

void TestCopyTaskFile::loadNeverDecodesObjects()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, loads);
    QFETCH(QStringList, warnings);

    const QString path = nextPath();
    QVERIFY(TestSupport::writeFile(path, text));
    for (const QString& warning : qAsConst(warnings)) {
        if (warning.startsWith(QLatin1Char('[')))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(
                                                   warning.mid(1, warning.size() - 2))));
        else
            QTest::ignoreMessage(QtWarningMsg, qPrintable(QString(warning).replace("%1", path)));
    }
    CopyTask task;
    QCOMPARE(task.loadFromFile(path), loads);
    QVERIFY(task.completedItems().isEmpty());
}

void TestCopyTaskFile::controlCharactersSurviveSaving_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("terminal escape") << QString("\x1b[31mred\x1b[0m");
    QTest::newRow("line ends and tab") << QString("two\nlines\rand\ttab");
    QTest::newRow("bell, delete and backspace") << QString("\a\x7f\b\x01");
    QTest::newRow("INI syntax") << QString("[Task]\nData=x;y,z \"q\" \\");
    QTest::newRow("blanks at the ends") << QString(" padded ");
    QTest::newRow("at sign first") << QString("@Variant(\\0)");
    QTest::newRow("wide characters") << QString("\u00e9t\u00e9 \u4e2d 1f");
    QTest::newRow("lone surrogate") << QString(QChar(0xdc00)) + "x";
}

// Paths and messages may hold any character but NUL; a saved task must read back exactly.
void TestCopyTaskFile::controlCharactersSurviveSaving()
{
    QFETCH(QString, name);

    Task named = makeTask();
    named.m_sourcePath += QLatin1Char('/') + name;
    named.updateName();
    CopyItem item = makeItem(name, SourceError);
    item.copy_message = name;
    item.info_list << name;
    const QString path = nextPath();
    writeTaskFile(path, {item.toDataString()}, {}, {{"Data", named.toDataString()}});

    CopyTask task;
    QVERIFY(task.loadFromFile(freshCopy(path)));
    QCOMPARE(task.task(), named);
    QCOMPARE(dataStrings(task.completedItems()), QStringList{item.toDataString()});

    const QString savedPath = nextPath();
    QVERIFY(task.saveToFile(savedPath, false, true, false));
    CopyTask reloaded;
    QVERIFY(reloaded.loadFromFile(freshCopy(savedPath)));
    QCOMPARE(reloaded.task(), named);
    QCOMPARE(dataStrings(reloaded.completedItems()), QStringList{item.toDataString()});
}

void TestCopyTaskFile::rawControlBytesLoad()
{
    // Written by hand, unescaped: still a task file, read byte for character.
    const QString path = nextPath();
    QVERIFY(TestSupport::writeFile(
        path, taskFileText(GoodData, "/s/\x01\x1b[0m\x7f\xe9" + GoodItem.mid(4))));
    CopyTask task;
    QVERIFY(task.loadFromFile(path));
    QCOMPARE(task.completedItems().size(), 1);
    QCOMPARE(task.completedItems().first().source_path, QString("/s/\x01\x1b[0m\x7f\u00e9"));
}

void TestCopyTaskFile::saveReplacesUnreadableFile()
{
    const QString path = nextPath();
    QVERIFY(TestSupport::writeFile(path, QByteArray::fromHex("0001") + "binary"));
    CopyTask task;
    task.setTask(makeTask());
    QVERIFY(task.saveToFile(path, false, true, false));

    CopyTask reloaded;
    QVERIFY(reloaded.loadFromFile(freshCopy(path)));
    QCOMPARE(reloaded.task(), makeTask());
}

void TestCopyTaskFile::readFromMemory_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("warnings");
    QTest::addColumn<int>("items");
    QTest::addColumn<bool>("hasExternalProgram");

    const QByteArray good = taskFileText(GoodData, GoodItem);
    QTest::newRow("good text") << good << QStringList() << 1 << false;
    QTest::newRow("external program group")
        << good + "[ExternalCopyProcess]\nFilePath=/usr/bin/cp\n"
        << QStringList() << 1 << true;
    QTest::newRow("refused text") << taskFileText(GoodData, QByteArray("/s/a\0b", 6))
                                  << QStringList{"Binary data found on line 8 in memo",
                                                 "Unable to load task from file memo"}
                                  << 0 << false;
    QTest::newRow("malformed count")
        << taskFileText(GoodData, GoodItem, "one")
        << QStringList{"Invalid ItemsCount value found in memo"} << 0 << false;
}

// A text in memory reads as the file would, under the name it is given.
void TestCopyTaskFile::readFromMemory()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, warnings);
    QFETCH(int, items);
    QFETCH(bool, hasExternalProgram);

    for (const QString& warning : qAsConst(warnings))
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    const TaskFile::Result read = TaskFile::read(text, QStringLiteral("memo"));
    QCOMPARE(read.error, warnings.value(0));
    QCOMPARE(read.items.size(), items);
    QCOMPARE(read.hasExternalProgram, hasExternalProgram);
    if (warnings.isEmpty())
        QCOMPARE(read.task.m_sourcePath, QStringLiteral("/s"));
    if (hasExternalProgram)
        QCOMPARE(read.externalProgram.filePath, QStringLiteral("/usr/bin/cp"));
}

// Nothing read is kept between reads: a file rewritten with the same size and time reads anew.
void TestCopyTaskFile::readRewrittenFileAnew()
{
    const QString path = nextPath();
    QVERIFY(TestSupport::writeFile(path, taskFileText(GoodData, GoodItem)));
    CopyTask task;
    QVERIFY(task.loadFromFile(path));
    QCOMPARE(task.completedItems().value(0).source_path, QStringLiteral("/s/a"));
    const QDateTime time = QFileInfo(path).lastModified();
    QByteArray other = GoodItem;
    QVERIFY(TestSupport::writeFile(path, taskFileText(GoodData, other.replace("/a", "/b"))));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite) &&
            file.setFileTime(time, QFileDevice::FileModificationTime));
    file.close();

    QVERIFY(task.loadFromFile(path));
    QCOMPARE(task.completedItems().value(0).source_path, QStringLiteral("/s/b"));
}

void TestCopyTaskFile::resumeOnlyOntoTheSameFileSystem_data()
{
    QTest::addColumn<QString>("storedMountPoint"); // "" keeps what was saved; "-" none
    QTest::addColumn<bool>("refused");
    QTest::newRow("same file system") << "" << false;
    QTest::newRow("saved by an older version: not known") << "-" << false;
    QTest::newRow("the drive is no longer mounted there") << "/media/gone" << true;
}

// An unmounted drive leaves an empty folder: a resume must not fill the disk above it.
void TestCopyTaskFile::resumeOnlyOntoTheSameFileSystem()
{
    QFETCH(QString, storedMountPoint);
    QFETCH(bool, refused);
    QTemporaryDir dir;
    const QString path = dir.filePath("task.bdt");
    Task definition = makeTask();
    definition.m_sourcePath = dir.filePath("src");
    definition.m_destinationPath = dir.filePath("d/e");
    QVERIFY(CopyTask::saveTaskDefinition(path, definition));
    QByteArray text = TestSupport::readFile(path);
    const QByteArray key = "DestinationMountPoint=";
    const int at = text.indexOf(key);
    QVERIFY(at >= 0);
    QCOMPARE(text.mid(at + key.size(), text.indexOf('\n', at) - at - key.size()),
             QFile::encodeName(Platform::mountPointOf(dir.path())));
    if (!storedMountPoint.isEmpty()) {
        text.remove(at, text.indexOf('\n', at) - at + 1);
        if (storedMountPoint != "-")
            text.insert(at, key + storedMountPoint.toUtf8() + '\n');
        QVERIFY(TestSupport::writeFile(path, text));
    }
    CopyTask task;
    QVERIFY(task.loadFromFile(path));
    QCOMPARE(!task.destinationRefusal().isEmpty(), refused);
}

void TestCopyTaskFile::externalProgramOnlyTheUsersOwn_data()
{
    QTest::addColumn<QString>("asked");
    QTest::addColumn<bool>("ownUsed");
    QTest::addColumn<QString>("own");
    QTest::addColumn<bool>("runs");
    QTest::newRow("file asks for none") << "" << false << "" << true;
    QTest::newRow("the program the settings use")
        << "/usr/bin/rsync" << true << "/usr/bin/rsync" << true;
    QTest::newRow("same program, another spelling of its path")
        << "/usr/bin/../bin/rsync" << true << "/usr/bin/rsync" << true;
    QTest::newRow("settings name it but do not use it")
        << "/usr/bin/rsync" << false << "/usr/bin/rsync" << false;
    QTest::newRow("a shell the settings never named")
        << "/bin/sh" << true << "/usr/bin/rsync" << false;
}

// A task file is data: it may name a program only as the one the user runs anyway.
void TestCopyTaskFile::externalProgramOnlyTheUsersOwn()
{
    QFETCH(QString, asked);
    QFETCH(bool, ownUsed);
    QFETCH(QString, own);
    QFETCH(bool, runs);
    ExternalProgramSettings fromFile;
    fromFile.filePath = asked;
    fromFile.arguments = QStringList{"-c", "touch /tmp/owned"};
    ExternalProgramSettings settings;
    settings.filePath = own;
    const QString refusal = CopyTask::externalProgramRefusal(fromFile, ownUsed, settings);
    QCOMPARE(refusal.isEmpty(), runs);
    if (!runs)
        QVERIFY(refusal.contains(asked));
}

void TestCopyTaskFile::stoppedTaskFiles_data()
{
    QTest::addColumn<QString>("entry"); // name=file, name/ (folder) or name>target (link)
    QTest::addColumn<bool>("listed");
    QTest::newRow("the program's own file") << "stopped-0123abcd.bdt=x" << true;
    QTest::newRow("errors file: not a stopped run") << "copyerrors-0123.bdt=x" << false;
    QTest::newRow("upper-case hash: not the program's") << "stopped-ABCD.bdt=x" << false;
    QTest::newRow("other suffix") << "stopped-0123.bdt.tmp=x" << false;
    QTest::newRow("a folder of that name") << "stopped-0124.bdt/" << false;
    QTest::newRow("a link of that name to a file elsewhere")
        << "stopped-0125.bdt>/etc/passwd" << false;
}

void TestCopyTaskFile::stoppedTaskFiles()
{
    QFETCH(QString, entry);
    QFETCH(bool, listed);
    QTemporaryDir dir;
    const QString name = entry.section(QRegularExpression("[=/>]"), 0, 0);
    const QString path = dir.filePath(name);
    if (entry.contains('>'))
        QVERIFY(QFile::link(entry.section('>', 1), path));
    else if (entry.endsWith('/'))
        QVERIFY(QDir().mkpath(path));
    else
        QVERIFY(TestSupport::writeFile(path, "x"));
    QCOMPARE(TaskFileStore::stoppedTaskFiles(dir.path()),
             listed ? QStringList{path} : QStringList());
    // The name is the one brindle-cli gives: one per pair of paths.
    Task task;
    task.m_sourcePath = "/a";
    task.m_destinationPath = "/b\nc";
    const QString own = TaskFileStore::stoppedTaskPath(task, dir.path());
    QVERIFY(QRegularExpression("^stopped-[0-9a-f]{16}\\.bdt$")
                .match(QFileInfo(own).fileName())
                .hasMatch());
    task.m_destinationPath = "/b";
    QVERIFY(TaskFileStore::stoppedTaskPath(task, dir.path()) != own);
}

QTEST_GUILESS_MAIN(TestCopyTaskFile)
#include "tst_copytaskfile.moc"
