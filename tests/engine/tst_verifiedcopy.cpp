#include "engine/copytask.h"

#include "copytaskfixture.h"
#include "engine/copyfileobject.h"
#include "engine/copyverification.h"
#include "testsupport.h"

#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

using namespace TestSupport;

namespace {

// Flips the first byte of the copy of the file named name at the attempts listed.
CopyVerification::TamperHook flipper(const QString& name, const QList<int>& attempts)
{
    return [name, attempts](const QString& copy, int attempt) {
        // The copy is still under its temporary name ".<name>.<random>...".
        if (!QFileInfo(copy).fileName().startsWith(QLatin1Char('.') + name + QLatin1Char('.')) ||
            !attempts.contains(attempt))
            return;
        QFile file(copy);
        if (!file.open(QIODevice::ReadWrite))
            return;
        const char first = file.read(1).at(0);
        file.seek(0);
        file.write(QByteArray(1, char(first ^ 0x5a)));
    };
}

// Entries below root whose name holds ".brindle-part": temporary files left behind.
int temporaries(const QString& root)
{
    int count = 0;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        count += it.next().contains(QLatin1String(".brindle-part")) ? 1 : 0;
    return count;
}

} // namespace

class TestVerifiedCopy : public QObject, public TestSupport::CopyTaskFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { initRuns(2); }
    void init()
    {
        initScratch();
        usePool(2);
    }
    void cleanup()
    {
        CopyVerification::setTamperHook({});
        cleanupScratch();
    }
    void cleanupTestCase() { cleanupRuns(); }

    void changedCopyIsMadeAgain_data();
    void changedCopyIsMadeAgain();
    void manifestPassesTheTools_data();
    void manifestPassesTheTools();
    void stoppedRunLeavesNoManifest();
};

void TestVerifiedCopy::changedCopyIsMadeAgain_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("method");
    QTest::addColumn<bool>("grouped");
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<int>>("flipped"); // the attempts whose copy changes

    const QList<QPair<const char*, QList<int>>> flips{{"flipped once", {1}},
                                                      {"flipped twice", {1, 2}}};
    for (const auto& flip : flips) {
        for (const int mode : {int(CopyOptions::Copy), int(CopyOptions::Move)}) {
            const char* run = mode == CopyOptions::Move ? "move" : "copy";
            QTest::addRow("%s/%s/grouped", run, flip.first)
                << mode << int(CopyFileObject::DefaultMethod) << true << 3000 << flip.second;
            QTest::addRow("%s/%s/alone", run, flip.first)
                << mode << int(CopyFileObject::DefaultMethod) << false << 3000 << flip.second;
            QTest::addRow("%s/%s/large", run, flip.first)
                << mode << int(CopyFileObject::DefaultMethod) << true << (9 << 20) << flip.second;
            QTest::addRow("%s/%s/simple method", run, flip.first)
                << mode << int(CopyFileObject::SimpleMethod) << true << 3000 << flip.second;
        }
    }
}

// A copy changed between its copy and its read-back is found, and made once more; changed
// again it is the named error, no copy is left, and a move keeps its source.
void TestVerifiedCopy::changedCopyIsMadeAgain()
{
    QFETCH(int, mode);
    QFETCH(int, method);
    QFETCH(bool, grouped);
    QFETCH(int, size);
    QFETCH(QList<int>, flipped);

    makeTree(m_source, {QStringLiteral("a=%1").arg(size), "b=2000", "sub/", "sub/c=10"});
    const QHash<QString, QByteArray> original = fileContents(m_source);
    CopyVerification::setTamperHook(flipper("a", flipped));

    CopyTask task;
    Task definition = makeTask(m_source, m_destination, mode);
    definition.m_options.m_verifyCopies = true;
    task.setTask(definition);
    task.setGroupedCopies(grouped);
    RunSettings settings;
    settings.copyMethod = method;
    settings.hashAlgorithm = int(Digest::Algorithm::Xxh3_128);
    task.setRunSettings(settings);
    RunRecorder recorder(&task);
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    verifyRunInvariant(task, recorder);

    const bool twice = flipped.size() == 2;
    const CopyItem* a = findItem(task.completedItems(), m_source + "/a");
    QVERIFY(a);
    QVERIFY2(a->info_list.contains(CopyVerification::copiedAgainNote()),
             qPrintable(a->info_list.join(" | ")));
    QCOMPARE(task.counter(FilesChecked), twice ? 2 : 3);
    QStringList errors;
    for (const CopyItem& item : task.errorItems())
        errors << relativePath(item.source_path, m_source) + ": " + item.copy_message;
    // A move keeps the source folder of the file it keeps.
    QStringList expectedErrors;
    if (twice)
        expectedErrors << "a: copy differs from its source after two attempts";
    QCOMPARE(errors.mid(0, 1), expectedErrors);
    QCOMPARE(errors.size(), twice && mode == CopyOptions::Move ? 2 : expectedErrors.size());
    QCOMPARE(temporaries(m_destination), 0);
    const QHash<QString, QByteArray> copied = fileContents(m_destination);
    if (twice) {
        QCOMPARE(a->copy_message,
                 QStringLiteral("copy differs from its source after two attempts"));
        QVERIFY(!a->is_checked);
        QVERIFY(!copied.contains("a"));
        // In a move only the source of a verified copy goes.
        QCOMPARE(QFileInfo::exists(m_source + "/a"), true);
        QCOMPARE(QFileInfo::exists(m_source + "/b"), mode != CopyOptions::Move);
    } else {
        QVERIFY(a->is_checked);
        QVERIFY(a->info_list.contains(CopyVerification::verifiedNote()));
        QCOMPARE(copied, original);
        QCOMPARE(QFileInfo::exists(m_source + "/a"), mode != CopyOptions::Move);
    }
}

void TestVerifiedCopy::manifestPassesTheTools_data()
{
    QTest::addColumn<int>("algorithm");
    QTest::addColumn<QString>("tool");
    QTest::addColumn<bool>("verifyRun");
    QTest::newRow("sha256sum/copy") << int(Digest::Algorithm::Sha256) << "sha256sum" << false;
    QTest::newRow("b2sum/copy") << int(Digest::Algorithm::Blake2b512) << "b2sum" << false;
    QTest::newRow("xxhsum/copy") << int(Digest::Algorithm::Xxh3_128) << "xxhsum" << false;
    QTest::newRow("sha256sum/verify") << int(Digest::Algorithm::Sha256) << "sha256sum" << true;
}

// The checksum list of a verified copy (or of a verify) passes the tool's own check, names
// with spaces, a backslash and a newline included.
void TestVerifiedCopy::manifestPassesTheTools()
{
    QFETCH(int, algorithm);
    QFETCH(QString, tool);
    QFETCH(bool, verifyRun);
    if (QStandardPaths::findExecutable(tool).isEmpty())
        QSKIP(qPrintable(tool + " is not installed"));
    // xxhsum 0.8.1 reads no escaped line: a name with a newline is beyond it.
    const bool newline = tool != QLatin1String("xxhsum");
    QStringList tree{"with space=10", "back\\slash=20", "sub/", "sub/deeper=3000", "large=9000000"};
    if (newline)
        tree << "new\nline=30";
    makeTree(m_source, tree);
    if (verifyRun)
        makeTree(m_destination, tree);

    CopyTask task;
    Task definition =
        makeTask(m_source, m_destination, verifyRun ? CopyOptions::Verify : CopyOptions::Copy);
    definition.m_options.m_verifyCopies = !verifyRun;
    task.setTask(definition);
    RunSettings settings;
    settings.hashAlgorithm = algorithm;
    task.setRunSettings(settings);
    // A verify's list in the destination is no entry beyond the source.
    const QString manifest = verifyRun ? m_destination + "/SHA256SUMS" : mp_dir->filePath("list");
    task.setManifestPath(manifest);
    RunRecorder recorder(&task);
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(task.counter(ErrorItems), 0);
    QCOMPARE(task.manifestFailure(), QString());

    QProcess process;
    process.setWorkingDirectory(m_destination);
    process.start(tool, {"-c", manifest});
    QVERIFY(process.waitForFinished(30000));
    const QByteArray output = process.readAll();
    QVERIFY2(process.exitCode() == 0, output.constData());
    QCOMPARE(output.count(": OK\n"), tree.size() - 1);
}

// A stopped run leaves no checksum list, not even one that lists what it did.
void TestVerifiedCopy::stoppedRunLeavesNoManifest()
{
    makeTree(m_source, {"a=10", "b=20"});
    CopyTask task;
    Task definition = makeTask(m_source, m_destination, CopyOptions::Copy);
    definition.m_options.m_verifyCopies = true;
    task.setTask(definition);
    const QString manifest = mp_dir->filePath("list");
    task.setManifestPath(manifest);
    // Stopped at the first read-back: what was verified so far is not a whole list.
    CopyVerification::setTamperHook([&task](const QString&, int) {
        QMetaObject::invokeMethod(&task, "stopTask", Qt::QueuedConnection);
    });
    RunRecorder recorder(&task);
    runToEnd(task, recorder);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(task.isStopRequested());
    QVERIFY(!QFileInfo::exists(manifest));
    QCOMPARE(QDir(mp_dir->path()).entryList({"list*"}, QDir::Files | QDir::Hidden), QStringList());
    QVERIFY(!task.manifestFailure().isEmpty());

    // Its task file resumes it verified; the list cannot be whole then, and is not written.
    CopyVerification::setTamperHook({});
    const QString taskFile = mp_dir->filePath("stopped.bdt");
    QVERIFY(task.saveToFile(taskFile, false, true, false));
    CopyTask resumed;
    QVERIFY(resumed.loadFromFile(taskFile));
    QVERIFY(resumed.task().m_options.m_verifyCopies);
    resumed.setManifestPath(manifest);
    RunRecorder again(&resumed);
    runToEnd(resumed, again, true);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(resumed.counter(ErrorItems), 0);
    for (const CopyItem& item : resumed.completedItems())
        QVERIFY2(item.is_folder || item.is_checked, qPrintable(item.source_path));
    QCOMPARE(fileContents(m_destination), fileContents(m_source));
    QVERIFY(!QFileInfo::exists(manifest) || resumed.manifestFailure().isEmpty());
}

QTEST_GUILESS_MAIN(TestVerifiedCopy)
#include "tst_verifiedcopy.moc"
