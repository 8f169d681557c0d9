#include "engine/runplan.h"

#include "copytaskfixture.h"
#include "testsupport.h"

#include <QDirIterator>
#include <QRandomGenerator>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

using namespace TestSupport;
using Outcome = RunPlan::Outcome;

namespace {

void setModified(const QString& path, qint64 seconds)
{
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times,
                        AT_SYMLINK_NOFOLLOW) == 0);
}

// Every entry below root with its kind, size and change time: a plan that wrote anything,
// even a probe it removed again, changes a folder's change time.
QStringList snapshot(const QString& root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    entries << QString::number(QFileInfo(root).metadataChangeTime().toMSecsSinceEpoch());
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        entries << QStringLiteral("%1 %2 %3")
                       .arg(info.filePath())
                       .arg(info.size())
                       .arg(info.metadataChangeTime().toMSecsSinceEpoch());
    }
    entries.sort();
    return entries;
}

qint64 countFiles(const QString& root)
{
    qint64 count = 0;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        count += 1;
    }
    return count;
}

} // namespace

// A plan counts what the run then does, on random trees, and writes nothing doing so.
class TestRunPlan : public QObject, public CopyTaskFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { initRuns(2); }
    void init() { initScratch(); }
    void cleanup() { cleanupScratch(); }
    void cleanupTestCase() { cleanupRuns(); }

    void countsWhatTheRunDoes_data();
    void countsWhatTheRunDoes();
    void runFilesThePlansList_data();
    void runFilesThePlansList();

private:
    // Files, links and folders below the source, and in the destination some of them again:
    // equal, older, newer, of another size, or a folder in a file's place.
    void makeRandomTrees(quint32 seed);
};

void TestRunPlan::makeRandomTrees(quint32 seed)
{
    QRandomGenerator random(seed);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QStringList folders{QString()};
    for (int i = 0; i < 160; ++i) {
        const QString folder = folders.at(random.bounded(folders.size()));
        const QString name =
            (random.bounded(8) == 0 ? QStringLiteral(".f%1") : QStringLiteral("f%1")).arg(i);
        const QString relative = folder.isEmpty() ? name : folder + QLatin1Char('/') + name;
        const QString source = m_source + QLatin1Char('/') + relative;
        const QString destination = m_destination + QLatin1Char('/') + relative;
        const int kind = random.bounded(10);
        if (kind == 0) {
            QVERIFY(QDir().mkpath(source));
            folders << relative;
            continue;
        }
        if (kind == 1) {
            QVERIFY(QFile::link(QStringLiteral("f%1").arg(random.bounded(160)), source));
            if (random.bounded(2) == 0) {
                QVERIFY(QDir().mkpath(QFileInfo(destination).path()));
                QVERIFY(QFile::link(QStringLiteral("elsewhere"), destination));
            }
            continue;
        }
        const QByteArray data = contentFor(name, random.bounded(20000));
        QVERIFY(writeFile(source, data));
        setModified(source, now - 1000);
        QVERIFY(QDir().mkpath(QFileInfo(destination).path()));
        switch (random.bounded(8)) {
        case 0: // equal
            QVERIFY(writeFile(destination, data));
            setModified(destination, now - 1000);
            break;
        case 1: // older, same size
            QVERIFY(writeFile(destination, QByteArray(data.size(), 'o')));
            setModified(destination, now - 5000);
            break;
        case 2: // newer
            QVERIFY(writeFile(destination, data + "new"));
            setModified(destination, now - 10);
            break;
        case 3: // same date, other bytes of the same size
            QVERIFY(writeFile(destination, QByteArray(data.size(), 'x')));
            setModified(destination, now - 1000);
            break;
        case 4:
            QVERIFY(QDir().mkpath(destination + QStringLiteral("/inside")));
            break;
        default: // not there
            break;
        }
    }
}

void TestRunPlan::countsWhatTheRunDoes_data()
{
    QTest::addColumn<int>("copyMode");
    QTest::addColumn<int>("overwrite");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<bool>("filed");

    QTest::newRow("copy, older replaced")
        << int(CopyOptions::Copy) << int(CopyOptions::OverwriteOlder) << true << 1u << false;
    QTest::newRow("copy, never overwrite")
        << int(CopyOptions::Copy) << int(CopyOptions::NoOverwrite) << true << 2u << false;
    QTest::newRow("copy, different replaced")
        << int(CopyOptions::Copy) << int(CopyOptions::OverwriteDifferent) << true << 3u << false;
    QTest::newRow("copy, by content")
        << int(CopyOptions::Copy) << int(CopyOptions::OverwriteContent) << true << 4u << false;
    QTest::newRow("copy, always") << int(CopyOptions::Copy) << int(CopyOptions::OverwriteAlways)
                                  << true << 5u << false;
    QTest::newRow("copy, auto rename")
        << int(CopyOptions::Copy) << int(CopyOptions::AutoRename) << true << 6u << false;
    QTest::newRow("copy without hidden files")
        << int(CopyOptions::Copy) << int(CopyOptions::OverwriteOlder) << false << 7u << false;
    QTest::newRow("move, older replaced")
        << int(CopyOptions::Move) << int(CopyOptions::OverwriteOlder) << true << 8u << false;
    QTest::newRow("move, never overwrite")
        << int(CopyOptions::Move) << int(CopyOptions::NoOverwrite) << true << 9u << false;
    QTest::newRow("copy, the plan's list filed")
        << int(CopyOptions::Copy) << int(CopyOptions::OverwriteOlder) << true << 1u << true;
    QTest::newRow("copy without hidden files, the plan's list filed")
        << int(CopyOptions::Copy) << int(CopyOptions::OverwriteDifferent) << false << 7u << true;
    QTest::newRow("move, the plan's list filed")
        << int(CopyOptions::Move) << int(CopyOptions::OverwriteOlder) << true << 8u << true;
    QTest::newRow("verify") << int(CopyOptions::Verify) << int(CopyOptions::OverwriteOlder) << true
                            << 10u << false;
}

void TestRunPlan::countsWhatTheRunDoes()
{
    QFETCH(int, copyMode);
    QFETCH(int, overwrite);
    QFETCH(bool, hidden);
    QFETCH(quint32, seed);
    QFETCH(bool, filed);
    makeRandomTrees(seed);
    if (QTest::currentTestFailed())
        return;
    Task definition = makeTask(m_source, m_destination, copyMode);
    definition.m_options.m_overwriteMode = overwrite;
    definition.m_options.m_copyHiddenFiles = hidden;
    const QStringList sourceBefore = snapshot(m_source);
    const QStringList destinationBefore = snapshot(m_destination);
    const qint64 sourceFiles = countFiles(m_source);

    RunPlan plan;
    if (filed)
        plan.keepListing();
    QVERIFY(plan.build(definition, RunSettings()));
    QCOMPARE(snapshot(m_source), sourceBefore);
    QCOMPARE(snapshot(m_destination), destinationBefore);

    CopyTask task;
    task.setTask(definition);
    task.setRunSettings(RunSettings());
    task.setPlannedListing(plan.listingForRun());
    RunRecorder recorder(&task);
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    const CopyTask::Counters counters = task.counters();
    const qint64 written = plan.tally(Outcome::New).files + plan.tally(Outcome::Overwrite).files +
                           plan.tally(Outcome::Rename).files;
    const qint64 kept = plan.tally(Outcome::SkipSame).files + plan.tally(Outcome::SkipNewer).files;
    const QString seen = QStringLiteral("copied %1, skipped %2, errors %3")
                             .arg(counters[FilesCopied])
                             .arg(counters[FilesSkipped])
                             .arg(counters[ErrorItems]);
    QVERIFY2(written + kept + plan.tally(Outcome::Error).files > 20, qPrintable(seen));
    if (copyMode == CopyOptions::Verify) {
        // A verify handles every file; which of those compared differ, only their bytes tell.
        QCOMPARE(written + plan.tally(Outcome::Error).files, counters[FilesCompleted]);
        QVERIFY2(plan.tally(Outcome::Error).files <= counters[ErrorItems], qPrintable(seen));
        return;
    }
    QVERIFY2(written == counters[FilesCopied], qPrintable(seen));
    QVERIFY2(kept == counters[FilesSkipped], qPrintable(seen));
    QVERIFY2(plan.tally(Outcome::Error).files == counters[ErrorItems], qPrintable(seen));
    if (copyMode == CopyOptions::Move)
        QCOMPARE(plan.removed().files, sourceFiles - countFiles(m_source));
}

void TestRunPlan::runFilesThePlansList_data()
{
    QTest::addColumn<bool>("sameOptions");
    QTest::addColumn<QString>("planned");
    QTest::addColumn<QStringList>("copied");
    // A file made after the plan is not in its list: the run walked no second time.
    QTest::newRow("the run files the list") << true << "a" << QStringList{"a"};
    QTest::newRow("other options: the run walks again") << false << "a" << QStringList{"a", "b"};
    // The run still ends once, completed, with nothing to copy.
    QTest::newRow("a list of nothing to copy") << true << ".a" << QStringList();
}

void TestRunPlan::runFilesThePlansList()
{
    QFETCH(bool, sameOptions);
    QFETCH(QString, planned);
    QFETCH(QStringList, copied);
    QVERIFY(writeFile(m_source + "/" + planned, "a"));
    Task definition = makeTask(m_source, m_destination, CopyOptions::Copy);
    definition.m_options.m_copyHiddenFiles = false;
    RunPlan plan;
    plan.keepListing();
    QVERIFY(plan.build(definition, RunSettings()));
    QVERIFY(writeFile(m_source + "/b", "b"));
    Task run = definition;
    if (!sameOptions)
        run.m_options.m_copyEmptyFolders = !run.m_options.m_copyEmptyFolders;
    CopyTask task;
    task.setTask(run);
    task.setRunSettings(RunSettings());
    task.setPlannedListing(plan.listingForRun());
    RunRecorder recorder(&task);
    runToEnd(task, recorder);
    QCOMPARE(QDir(m_destination).entryList(QDir::Files | QDir::Hidden), copied);
    QCOMPARE(task.counters()[FilesCopied], copied.size());
}

QTEST_GUILESS_MAIN(TestRunPlan)
#include "tst_runplan.moc"
