#include "app/appsettings.h"
#include "cliscratch.h"
#include "copytaskfixture.h"
#include "engine/copyfileobject.h"
#include "engine/copytask.h"
#include "testsupport.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>

using TestSupport::filesBelow;

namespace {

QString noSpaceText()
{
    return QString::fromLocal8Bit(std::strerror(ENOSPC));
}

// A size-limited tmpfs on path for the life of the object; unmounted however the test
// ends.
class TmpfsMount
{
public:
    TmpfsMount(const QString& path, const QByteArray& options) : m_path(QFile::encodeName(path))
    {
        if (::mount("tmpfs", m_path.constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                    options.constData()) == 0)
            m_mounted = true;
        else
            m_error = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~TmpfsMount()
    {
        if (m_mounted)
            ::umount2(m_path.constData(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool isMounted() const { return m_mounted; }
    QString error() const { return m_error; }

private:
    QByteArray m_path;
    bool m_mounted = false;
    QString m_error;
};

QByteArray contentOf(const QString& name, int size)
{
    QVector<quint32> words(size / 4 + 1);
    QRandomGenerator(qHash(name)).fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char*>(words.constData()), size);
}

// Relative path -> content; "name=KiB" entries, "=0" an empty file.
QMap<QString, QByteArray> makeTree(const QString& root, const QStringList& entries)
{
    QMap<QString, QByteArray> files;
    for (const QString& entry : entries) {
        const QString name = entry.section('=', 0, 0);
        const QByteArray data = contentOf(name, entry.section('=', 1).toInt() * 1024);
        if (!TestSupport::writeFile(root + '/' + name, data))
            return {};
        files.insert(name, data);
    }
    return files;
}

// More than fits in 4 MiB, in pieces some of which fit, and one that never does.
const QStringList treeEntries{"a/empty=0", "a/small=3",   "a/f1=700",  "a/f2=900",
                              "b/f3=1100", "b/f4=1300",   "b/f5=1500", "c/f6=500",
                              "c/f7=800",  "c/huge=6000", "top=200"};

const char* const methodNames[] = {"default", "native", "qt", "simple"};

// The reason a method gives for a file that did not fit: the system's text, after the
// call that failed or alone; the Qt method may give Qt's text instead, as Qt keeps the
// system's to itself.
QString reasonPattern(int method)
{
    const QString system = QRegularExpression::escape(noSpaceText());
    switch (method) {
    case CopyFileObject::QtMethod:
        return QStringLiteral("^(\\w+ 28: %1|Failure to write block|Cannot create .* for "
                              "output|Cannot open for output: .*)$")
            .arg(system);
    case CopyFileObject::SimpleMethod:
        return QStringLiteral("^(\\w+ 28: )?%1$").arg(system);
    default:
        return QStringLiteral("^\\w+ 28: %1$").arg(system);
    }
}

bool anyMatches(const QRegularExpression& pattern, const QStringList& texts)
{
    for (const QString& text : texts) {
        if (pattern.match(text).hasMatch())
            return true;
    }
    return false;
}

} // namespace

// Copies and moves into a small file system that fills up: what did not fit ends in an
// error that says why, what is reported copied is whole, and a move keeps every source
// whose copy failed.
class TestFullStorage : public QObject, public TestSupport::CopyTaskFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void commandLineRun_data();
    void commandLineRun();
    void copyTaskRun_data();
    void copyTaskRun();

private:
    // Empty on success, else why it failed.
    QString mountSmallStorage(const QByteArray& options);

    std::unique_ptr<TestSupport::CliScratch> m_dir;
    std::unique_ptr<TmpfsMount> m_mount;
};

void TestFullStorage::initTestCase()
{
    initRuns(2);
    m_runTimeoutMs = 60000;
}

void TestFullStorage::init()
{
    m_dir = std::make_unique<TestSupport::CliScratch>();
    QVERIFY(m_dir->isValid());
    m_source = m_dir->filePath("src");
    m_destination = m_dir->filePath("mnt/dest");
}

void TestFullStorage::cleanup()
{
    // The mount goes before the folder that holds it.
    m_mount.reset();
    m_dir.reset();
    cleanupScratch();
}

void TestFullStorage::cleanupTestCase()
{
    cleanupRuns();
}

QString TestFullStorage::mountSmallStorage(const QByteArray& options)
{
    if (!TestSupport::runningAsRoot())
        return QStringLiteral("mounting a tmpfs needs root");
    const QString point = m_dir->filePath("mnt");
    if (!QDir().mkpath(point))
        return QStringLiteral("unable to create the mount point");
    m_mount = std::make_unique<TmpfsMount>(point, options);
    return m_mount->isMounted() ? QString() : m_mount->error();
}

void TestFullStorage::commandLineRun_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("method");
    QTest::addColumn<int>("threads");
    for (const char* command : {"copy", "move"}) {
        for (int method : {0, 2, 3}) {
            for (int threads : {1, 3})
                QTest::addRow("%s, %s method, %d threads", command, methodNames[method], threads)
                    << QString(command) << method << threads;
        }
    }
}

void TestFullStorage::commandLineRun()
{
    QFETCH(QString, command);
    QFETCH(int, method);
    QFETCH(int, threads);
    QVERIFY2(!TestSupport::CliScratch::program().isEmpty(),
             "BRINDLE_CLI must name the built program");
    const QMap<QString, QByteArray> original = makeTree(m_source, treeEntries);
    QVERIFY(!original.isEmpty());
    const QString mountError = mountSmallStorage("size=4m");
    if (!mountError.isEmpty())
        QSKIP(qPrintable("Cannot mount a small tmpfs: " + mountError));

    const TestSupport::CliScratch::Result result =
        // Forced past the check before the run: the storage is found full while it copies.
        m_dir->run({command, m_source, m_destination, "--json", "--force", "--method",
                    methodNames[method], "--threads", QString::number(threads)},
                   60000);
    QCOMPARE(result.exitCode, 1);
    const QJsonObject json = result.json;
    QCOMPARE(json.value("outcome").toString(), QStringLiteral("completed with errors"));

    // Files in error, with the reason each gives: the run's own free-space test, or the
    // file system's refusal.
    QSet<QString> failed;
    const QRegularExpression reason(reasonPattern(method));
    for (const QJsonValue& value : json.value("errorItems").toArray()) {
        const QJsonObject item = value.toObject();
        const QString relative = item.value("source").toString().mid(m_source.size() + 1);
        const QString message = item.value("messageText").toString();
        QStringList info;
        for (const QJsonValue& text : item.value("infoText").toArray())
            info << text.toString();
        if (item.value("folder").toBool()) {
            // A folder is refused when the storage is nearly full; in a move, a source
            // folder that keeps a failed file stays.
            QVERIFY2(message == "storage is full" ||
                         (command == "move" && message == "Unable to delete source folder"),
                     qPrintable(relative + ": " + message));
            continue;
        }
        QVERIFY2(original.contains(relative), qPrintable(relative));
        failed.insert(relative);
        // Refused by the run's own free-space test, or by the file system.
        QVERIFY2(message == "storage is full" || anyMatches(reason, info),
                 qPrintable(relative + ": " + QJsonDocument(item).toJson()));
    }
    QVERIFY(failed.contains("c/huge"));
    QVERIFY2(failed.size() < original.size(), "nothing fitted at all");

    // Everything else is whole; nothing else is in the destination, not even a
    // temporary file.
    QStringList expected;
    for (auto it = original.cbegin(); it != original.cend(); ++it) {
        const QString inSource = m_source + '/' + it.key();
        if (failed.contains(it.key())) {
            QVERIFY(!QFileInfo::exists(m_destination + '/' + it.key()));
            QCOMPARE(TestSupport::readFile(inSource), it.value());
            continue;
        }
        expected << it.key();
        QCOMPARE(TestSupport::readFile(m_destination + '/' + it.key()), it.value());
        if (command == "move")
            QVERIFY2(!QFileInfo::exists(inSource), qPrintable(it.key()));
    }
    QCOMPARE(filesBelow(m_destination), expected);
    QCOMPARE(json.value("copiedFiles").toInt(), expected.size());
    QCOMPARE(json.value("totalFiles").toInt(), original.size());
}

void TestFullStorage::copyTaskRun_data()
{
    QTest::addColumn<int>("copyMode");
    QTest::addColumn<int>("method");
    QTest::addColumn<QByteArray>("mountOptions");
    QTest::addColumn<QStringList>("entries");

    QStringList manySmall;
    for (int i = 0; i < 40; ++i)
        manySmall << QStringLiteral("f%1=1").arg(i);
    for (int mode : {int(CopyOptions::Copy), int(CopyOptions::Move)}) {
        const char* modeName = mode == CopyOptions::Copy ? "copy" : "move";
        for (int method : {1, 2, 3}) {
            QTest::addRow("%s, %s method, space runs out", modeName, methodNames[method])
                << mode << method << QByteArray("size=4m") << treeEntries;
            // Files fail at their creation once the file system has no inode left.
            QTest::addRow("%s, %s method, names run out", modeName, methodNames[method])
                << mode << method << QByteArray("size=4m,nr_inodes=24") << manySmall;
            QTest::addRow("%s, %s method, names run out in folders", modeName, methodNames[method])
                << mode << method << QByteArray("size=4m,nr_inodes=7") << treeEntries;
        }
    }
}

void TestFullStorage::copyTaskRun()
{
    QFETCH(int, copyMode);
    QFETCH(int, method);
    QFETCH(QByteArray, mountOptions);
    QFETCH(QStringList, entries);
    const QMap<QString, QByteArray> original = makeTree(m_source, entries);
    QVERIFY(!original.isEmpty());
    const QString mountError = mountSmallStorage(mountOptions);
    if (!mountError.isEmpty())
        QSKIP(qPrintable("Cannot mount a small tmpfs: " + mountError));
    QVERIFY(QDir().mkpath(m_destination));
    AppSettings::instance()->setCopyMethod(method);

    CopyTask copyTask;
    copyTask.setTask(TestSupport::makeTask(m_source, m_destination, copyMode));
    // Room for everything, so that every file is tried and what does not fit fails in the
    // file system itself.
    copyTask.setStorageProbe(std::make_unique<TestSupport::FixedStorage>(qint64(1) << 40));
    TestSupport::RunRecorder recorder(&copyTask);
    runToEnd(copyTask, recorder);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(!copyTask.isStopRequested());
    verifyRunInvariant(copyTask, recorder, EveryItemDone);
    if (QTest::currentTestFailed())
        return;

    // Every item reported copied is whole in the destination.
    QSet<QString> copied;
    for (const CopyItem& item : copyTask.copiedItems()) {
        if (item.is_folder)
            continue;
        const QString relative = item.source_path.mid(m_source.size() + 1);
        QCOMPARE(TestSupport::readFile(item.destination_path), original.value(relative));
        if (copyMode == CopyOptions::Move)
            QVERIFY2(!QFileInfo::exists(item.source_path), qPrintable(relative));
        copied.insert(relative);
    }
    // Every file in error says that it did not fit, left nothing under its name and, in
    // a move, kept its source.
    QSet<QString> failed;
    const QRegularExpression reason(reasonPattern(method));
    for (const CopyItem& item : copyTask.errorItems()) {
        if (item.is_folder)
            continue;
        const QString relative = item.source_path.mid(m_source.size() + 1);
        QVERIFY2(
            anyMatches(reason, item.info_list),
            qPrintable(relative + ": " + item.copy_message + " | " + item.info_list.join(" | ")));
        QVERIFY(!QFileInfo::exists(item.destination_path));
        QCOMPARE(TestSupport::readFile(item.source_path), original.value(relative));
        failed.insert(relative);
    }
    QVERIFY2(!failed.isEmpty(), "everything fitted");
    QVERIFY2(!copied.isEmpty(), "nothing fitted");
    QCOMPARE(copied.size() + failed.size(), original.size());
    QCOMPARE(copied + failed, QSet<QString>(original.keyBegin(), original.keyEnd()));
    QStringList expected = copied.values();
    expected.sort();
    QCOMPARE(filesBelow(m_destination), expected);
}

QTEST_GUILESS_MAIN(TestFullStorage)
#include "tst_fullstorage.moc"
