#include "base/handover.h"
#include "engine/buildfilelistjob.h"
#include "engine/copytask.h"
#include "jobs/jobthread.h"
#include "jobs/jobthreadpool.h"

#include "copytaskfixture.h"
#include "testsupport.h"

#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

// The inode of the entry at path, 0 when there is none.
quint64 inodeOf(const QString& path)
{
    struct stat status;
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
}

// "new=existing": new made a further name of existing, both below root.
void makeHardLinks(const QString& root, const QStringList& links)
{
    for (const QString& link : links) {
        const QStringList names = link.split(QLatin1Char('='));
        QVERIFY2(::link(QFile::encodeName(root + '/' + names.at(1)).constData(),
                        QFile::encodeName(root + '/' + names.at(0)).constData()) == 0,
                 qPrintable(link));
    }
}

// Each group ("a|b|c") names one file below root, and no two groups the same one.
void verifyGroups(const QString& root, const QStringList& groups)
{
    QSet<quint64> seen;
    for (const QString& group : groups) {
        const QStringList names = group.split(QLatin1Char('|'));
        const quint64 inode = inodeOf(root + '/' + names.first());
        QVERIFY2(inode != 0, qPrintable(names.first()));
        for (const QString& name : names)
            QVERIFY2(inodeOf(root + '/' + name) == inode, qPrintable(name + " in " + group));
        QVERIFY2(!seen.contains(inode), qPrintable(group + " shares its file with another"));
        seen.insert(inode);
    }
}

} // namespace

// Names of one file in the source arrive as names of one file, as cp -a and rsync -aH make
// them. The walk is breadth-first: a file of the source root is met before its other names
// in subfolders.
class TestHardLinks : public QObject, public CopyTaskFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { initRuns(2); }
    void init()
    {
        initScratch();
        usePool(2);
    }
    void cleanup() { cleanupScratch(); }
    void cleanupTestCase() { cleanupRuns(); }

    void names_data();
    void names();
    void resumeLinksToTheFirstCopy();
    void walkAfterTheFirstNameMoved();
};

void TestHardLinks::names_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("overwrite");
    QTest::addColumn<QStringList>("links");       // besides the files one=100 and b/
    QTest::addColumn<QStringList>("destination"); // there before the run
    QTest::addColumn<bool>("alterFirstCopy");     // the first copy changes before the links
    QTest::addColumn<QStringList>("groups");      // in the destination afterwards
    QTest::addColumn<int>("errors");

    const int copy = CopyOptions::Copy;
    const int older = CopyOptions::OverwriteOlder;
    QTest::newRow("two names in one folder")
        << copy << older << QStringList{"two=one"} << QStringList() << false
        << QStringList{"one|two"} << 0;
    QTest::newRow("three names across folders")
        << copy << older << QStringList{"b/two=one", "b/three=one"} << QStringList() << false
        << QStringList{"one|b/two|b/three"} << 0;
    QTest::newRow("move") << int(CopyOptions::Move) << older
                          << QStringList{"b/two=one", "b/three=one"} << QStringList() << false
                          << QStringList{"one|b/two|b/three"} << 0;
    QTest::newRow("existing later name replaced")
        << copy << int(CopyOptions::OverwriteAlways) << QStringList{"b/two=one"}
        << QStringList{"b/", "b/two=5"} << false << QStringList{"one|b/two"} << 0;
    QTest::newRow("existing later name renamed")
        << copy << int(CopyOptions::AutoRename) << QStringList{"b/two=one"}
        << QStringList{"b/", "b/two=5"} << false << QStringList{"one|b/two (1)", "b/two"} << 0;
    QTest::newRow("existing later name kept")
        << copy << int(CopyOptions::NoOverwrite) << QStringList{"b/two=one", "b/three=one"}
        << QStringList{"b/", "b/two=5"} << false << QStringList{"one|b/three", "b/two"} << 0;
    // A kept entry of the same bytes (another time) serves as the first copy; one of other
    // data is never linked to: the later names are linked to a copy of their own.
    QTest::newRow("existing first name kept")
        << copy << int(CopyOptions::NoOverwrite) << QStringList{"b/two=one", "b/three=one"}
        << QStringList{"one=100"} << false << QStringList{"one|b/two|b/three"} << 0;
    QTest::newRow("existing first name equal by content")
        << copy << int(CopyOptions::OverwriteContent) << QStringList{"b/two=one", "b/three=one"}
        << QStringList{"one=100"} << false << QStringList{"one|b/two|b/three"} << 0;
    QTest::newRow("existing later name equal by content")
        << copy << int(CopyOptions::OverwriteContent) << QStringList{"b/one=one"}
        << QStringList{"b/", "b/one=100"} << false << QStringList{"one|b/one"} << 0;
    QTest::newRow("existing first name of other data kept")
        << copy << int(CopyOptions::NoOverwrite) << QStringList{"b/two=one", "b/three=one"}
        << QStringList{"one=5"} << false << QStringList{"one", "b/two|b/three"} << 0;
    QTest::newRow("first name fails")
        << copy << older << QStringList{"b/two=one", "b/three=one"}
        << QStringList{"one/", "one/inside=1"} << false << QStringList{"b/two|b/three"} << 1;
    // What a destination without hard links (exFAT) or a copy changed since leads to.
    QTest::newRow("link refused") << copy << older << QStringList{"b/two=one"} << QStringList()
                                  << true << QStringList{"one", "b/two"} << 0;
}

void TestHardLinks::names()
{
    QFETCH(int, mode);
    QFETCH(int, overwrite);
    QFETCH(QStringList, links);
    QFETCH(QStringList, destination);
    QFETCH(bool, alterFirstCopy);
    QFETCH(QStringList, groups);
    QFETCH(int, errors);

    makeTree(m_source, {"one=100", "b/"});
    makeHardLinks(m_source, links);
    makeTree(m_destination, destination);
    const QByteArray data = contentFor("one", 100);

    CopyTask task;
    Task definition = makeTask(m_source, m_destination, mode);
    definition.m_options.m_overwriteMode = overwrite;
    task.setTask(definition);
    RunRecorder recorder(&task);
    if (alterFirstCopy) {
        // Reported before any later name is queued to a job.
        recorder.onItem = [this](const CopyItem& item) {
            QFile copy(item.destination_path);
            if (item.source_path == m_source + "/one")
                QVERIFY(copy.open(QIODevice::ReadWrite) && copy.write("other", 5) == 5 &&
                        copy.setFileTime(QDateTime::fromSecsSinceEpoch(1000000000),
                                         QFileDevice::FileModificationTime));
        };
    }
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder, EveryItemDone);

    QCOMPARE(recorder.errors.size(), errors);
    verifyGroups(m_destination, groups);
    if (QTest::currentTestFailed())
        return;
    const QHash<QString, QByteArray> copies = fileContents(m_destination);
    for (const QString& group : groups) {
        for (const QString& name : group.split('|')) {
            if (!destination.contains(name + "=5") && !(alterFirstCopy && name == "one"))
                QCOMPARE(copies.value(name), data);
        }
    }
    // Every name copied or linked is a copied file of the report; one name may be kept.
    const int kept =
        overwrite == CopyOptions::NoOverwrite ||
        (overwrite == CopyOptions::OverwriteContent && destination.contains("one=100"));
    QCOMPARE(task.counter(FilesCopied), qint64(links.size() + 1 - errors) - kept);
    if (mode == CopyOptions::Move)
        QVERIFY2(!QFileInfo::exists(m_source), "source left behind");
    else
        QCOMPARE(fileContents(m_source).size(), links.size() + 1);
}

// A stopped run, saved and loaded again, links the later names to the copy its first part
// made, which the saved list names.
void TestHardLinks::resumeLinksToTheFirstCopy()
{
    usePool(1);
    // One folder: the walk ends before the first copy.
    makeTree(m_source, {"one=100", "solo=10"});
    makeHardLinks(m_source, {"two=one", "three=one"});
    CopyTask task;
    task.setGroupedCopies(false);
    task.setTask(makeTask(m_source, m_destination, CopyOptions::Move));
    RunRecorder recorder(&task);
    recorder.onItem = [&](const CopyItem& item) {
        if (!item.hard_link_first.isEmpty() && !item.linksToEarlierName())
            task.stopTask();
    };
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Copy from .* is stopped after"));
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);
    QVERIFY(task.isFileListCompleted());
    int laterNames = 0;
    for (const CopyItem& item : task.unprocessedItems())
        laterNames += item.linksToEarlierName() ? 1 : 0;
    QCOMPARE(laterNames, 2);
    const QString saved = mp_dir->filePath("stopped.bdt");
    QVERIFY(task.saveToFile(saved, false, true, false));

    CopyTask resumed;
    QVERIFY(resumed.loadFromFile(saved));
    RunRecorder resumedRecorder(&resumed);
    runToEnd(resumed, resumedRecorder, true);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(resumed, resumedRecorder);
    QVERIFY(resumed.unprocessedItems().isEmpty());
    QCOMPARE(resumedRecorder.errors.size(), 0);
    verifyGroups(m_destination, {"one|two|three", "solo"});
    QVERIFY2(!QFileInfo::exists(m_source), "source left behind");
    QCOMPARE(resumed.counter(FilesCopied), qint64(4));
}

// A move takes the first name away while the walk goes on: the later names, alone now, still
// belong to its copy.
void TestHardLinks::walkAfterTheFirstNameMoved()
{
    makeTree(m_source, {"one=100", "b/"});
    makeHardLinks(m_source, {"b/two=one"});
    auto* job = new BuildFileListJob();
    job->setPaths(m_source, m_destination);
    job->setOptions(makeTask(m_source, m_destination, CopyOptions::Move).m_options);
    QHash<QString, QString> firsts;
    bool completed = false;
    // In the job's thread, before it lists the subfolder.
    connect(
        job, &BuildFileListJob::itemToCopy, job,
        [](const QString& source) {
            if (source.endsWith("/one"))
                QFile::remove(source);
        },
        Qt::DirectConnection);
    connect(
        job, &BuildFileListJob::entriesListed, job,
        [&] {
            for (const BuildFileListJob::ListedEntry& entry : job->takeListedEntries())
                firsts.insert(entry.source, entry.hardLinkFirst);
        },
        Qt::DirectConnection);
    connect(job, &Job::jobCompleted, this, [&] {
        HandOver::receive(job);
        completed = true;
    });
    JobThreadPool::leastBusyThread()->addJob(job);
    QTRY_VERIFY_WITH_TIMEOUT(completed, 20000);
    delete job; // handed over to this thread
    QCOMPARE(firsts.value(m_source + "/one"), m_source + "/one");
    QCOMPARE(firsts.value(m_source + "/b/two"), m_source + "/one");
}

QTEST_GUILESS_MAIN(TestHardLinks)
#include "tst_hardlinks.moc"
