#include "engine/runplan.h"
#include "engine/taskfile.h"

#include "copytaskfixture.h"
#include "testsupport.h"

#include <QFile>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

using namespace TestSupport;
using Outcome = RunPlan::Outcome;

namespace {

void write(const QString& path, const QByteArray& data, qint64 seconds)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
    file.close();
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0);
}

QByteArray read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

// The user's decision for a single file overrides the overwrite rule, in the plan, in the
// run and in its resume, and task files keep it byte for byte.
class TestFileDecisions : public QObject, public CopyTaskFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { initRuns(2); }
    void init() { initScratch(); }
    void cleanup() { cleanupScratch(); }
    void cleanupTestCase() { cleanupRuns(); }

    void runFollowsDecision_data();
    void runFollowsDecision();
    void storedAndResumed_data();
    void storedAndResumed();
    void refusesStrangeEntries_data();
    void refusesStrangeEntries();
};

void TestFileDecisions::runFollowsDecision_data()
{
    QTest::addColumn<int>("copyMode");
    QTest::addColumn<int>("overwrite");
    QTest::addColumn<int>("decision");
    QTest::addColumn<int>("planned");
    QTest::addColumn<QByteArray>("kept");
    QTest::addColumn<bool>("renamed");

    // The source "new" is newer than the destination's "old".
    QTest::newRow("skip over overwrite older")
        << int(CopyOptions::Copy) << int(CopyOptions::OverwriteOlder)
        << int(CopyOptions::DecideSkip) << int(Outcome::SkipSame) << QByteArray("old") << false;
    QTest::newRow("overwrite over never overwrite")
        << int(CopyOptions::Copy) << int(CopyOptions::NoOverwrite)
        << int(CopyOptions::DecideOverwrite) << int(Outcome::Overwrite) << QByteArray("new")
        << false;
    QTest::newRow("rename over overwrite always")
        << int(CopyOptions::Copy) << int(CopyOptions::OverwriteAlways)
        << int(CopyOptions::DecideRename) << int(Outcome::Rename) << QByteArray("old") << true;
    QTest::newRow("move, overwrite over never overwrite")
        << int(CopyOptions::Move) << int(CopyOptions::NoOverwrite)
        << int(CopyOptions::DecideOverwrite) << int(Outcome::Overwrite) << QByteArray("new")
        << false;
}

void TestFileDecisions::runFollowsDecision()
{
    QFETCH(int, copyMode);
    QFETCH(int, overwrite);
    QFETCH(int, decision);
    QFETCH(int, planned);
    QFETCH(QByteArray, kept);
    QFETCH(bool, renamed);
    // A name with a space, a backslash and a newline, in a subfolder; a twin without decision.
    const QString name = QStringLiteral("sub/a b\\c\nd.txt");
    makeTree(m_source, {"sub/"});
    makeTree(m_destination, {"sub/"});
    write(m_source + "/" + name, "new", 2000000000);
    write(m_destination + "/" + name, "old", 1000000000);
    write(m_source + "/sub/other.txt", "new", 2000000000);
    write(m_destination + "/sub/other.txt", "old", 1000000000);
    Task definition = makeTask(m_source, m_destination, copyMode);
    definition.m_options.m_overwriteMode = overwrite;
    definition.m_options.m_fileDecisions.insert(name, decision);

    RunPlan plan;
    QVERIFY(plan.build(definition, RunSettings()));
    bool listed = false;
    for (const RunPlan::Conflict& conflict : plan.conflicts()) {
        QVERIFY(conflict.destinationOlder);
        if (!conflict.destination.endsWith(name))
            continue;
        QCOMPARE(int(conflict.outcome), planned);
        listed = true;
    }
    QVERIFY(listed);

    CopyTask task;
    task.setTask(definition);
    task.setRunSettings(RunSettings());
    RunRecorder recorder(&task);
    runToEnd(task, recorder);
    QCOMPARE(read(m_destination + "/" + name), kept);
    // A renamed copy sits beside the file kept.
    QCOMPARE(listTree(m_destination).size(), renamed ? 4 : 3);
    // The file without a decision goes by the rule.
    const bool ruleReplaces = overwrite != CopyOptions::NoOverwrite;
    QCOMPARE(read(m_destination + "/sub/other.txt"), ruleReplaces ? "new" : "old");
}

void TestFileDecisions::storedAndResumed_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << QStringLiteral("f.txt");
    QTest::newRow("space, backslash, percent") << QStringLiteral("a b\\%41.txt");
    QTest::newRow("newline") << QStringLiteral("x\ny.txt");
    QTest::newRow("not UTF-8") << QFile::decodeName("caf\xe9.txt");
}

void TestFileDecisions::storedAndResumed()
{
    QFETCH(QString, name);
    write(m_source + "/" + name, "new", 2000000000);
    write(m_destination + "/" + name, "old", 1000000000);
    Task definition = makeTask(m_source, m_destination);
    definition.m_options.m_overwriteMode = CopyOptions::OverwriteAlways;
    definition.m_options.m_fileDecisions.insert(name, CopyOptions::DecideSkip);
    definition.m_options.m_fileDecisions.insert(QStringLiteral("gone/z"),
                                                CopyOptions::DecideRename);
    const QString path = mp_dir->path() + "/task.bdt";
    {
        CopyTask first;
        first.setTask(definition);
        first.setRunSettings(RunSettings());
        RunRecorder recorder(&first);
        runToEnd(first, recorder);
        QVERIFY(first.saveToFile(path, false, true, false));
    }
    const TaskFile::Result file = TaskFile::read(path);
    QVERIFY2(file.error.isEmpty(), qPrintable(file.error));
    QCOMPARE(file.task.m_options.m_fileDecisions, definition.m_options.m_fileDecisions);

    // The resume walks again: the decision still keeps the file there.
    write(m_destination + "/" + name, "old", 1000000000);
    CopyTask resumed;
    QVERIFY(resumed.loadFromFile(path));
    resumed.setRunSettings(RunSettings());
    RunRecorder recorder(&resumed);
    runToEnd(resumed, recorder, true);
    QCOMPARE(read(m_destination + "/" + name), QByteArray("old"));
}

void TestFileDecisions::refusesStrangeEntries_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("unknown word") << QStringLiteral("replace f.txt");
    QTest::newRow("no path") << QStringLiteral("skip ");
    QTest::newRow("absolute path") << QStringLiteral("skip /etc/passwd");
    QTest::newRow("leaves the folder") << QStringLiteral("skip a/../../b");
    QTest::newRow("no space") << QStringLiteral("skip");
}

void TestFileDecisions::refusesStrangeEntries()
{
    QFETCH(QString, text);
    QString path;
    int decision = -1;
    QVERIFY(!CopyOptions::fileDecisionFromText(text, &path, &decision));
    // Each entry read is one the same way written.
    QVERIFY(CopyOptions::fileDecisionFromText(
        CopyOptions::fileDecisionText(QStringLiteral("a/b c"), CopyOptions::DecideRename), &path,
        &decision));
    QCOMPARE(path, QStringLiteral("a/b c"));
    QCOMPARE(decision, int(CopyOptions::DecideRename));
}

QTEST_GUILESS_MAIN(TestFileDecisions)
#include "tst_filedecisions.moc"
