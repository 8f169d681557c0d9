#include "engine/manifest.h"
#include "testsupport.h"

#include <QtTest>

#include <sys/stat.h>

using Algorithm = Digest::Algorithm;
Q_DECLARE_METATYPE(Algorithm)

namespace {

const QList<QPair<const char*, Algorithm>> algorithms{{"sha256sum", Algorithm::Sha256},
                                                      {"b2sum", Algorithm::Blake2b512},
                                                      {"xxhsum", Algorithm::Xxh3_128}};

// Files whose names the tools escape, or read as they are.
const QList<QByteArray> oddNames{"plain.txt", "with space", "back\\slash", "new\nline",
                                 "sub/deeper.bin"};

QStringList toolArguments(Algorithm algorithm)
{
    return algorithm == Algorithm::Xxh3_128 ? QStringList{"-H2"} : QStringList();
}

// The tool's output for the files, run in folder; empty when the tool is missing.
QByteArray runTool(const QString& tool, const QStringList& arguments, const QString& folder,
                   int* exitCode)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(tool, arguments);
    if (!process.waitForFinished(30000))
        return QByteArray();
    *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAllStandardOutput();
}

bool makeTree(const QString& folder, bool newlines)
{
    for (const QByteArray& name : oddNames) {
        if (!newlines && name.contains('\n'))
            continue;
        if (!TestSupport::writeFile(folder + "/" + QFile::decodeName(name), "data of " + name))
            return false;
    }
    return true;
}

} // namespace

class TestManifest : public QObject
{
    Q_OBJECT

private slots:
    void toolsReadOurLists_data();
    void toolsReadOurLists();
    void weReadToolLists_data();
    void weReadToolLists();
    void malformedLines_data();
    void malformedLines();
    void checkNamesEveryDifference();
    void loadRefuses_data();
    void loadRefuses();
    void checkCountsAndStops();
};

void TestManifest::toolsReadOurLists_data()
{
    QTest::addColumn<Algorithm>("algorithm");
    for (const auto& algorithm : algorithms)
        QTest::newRow(algorithm.first) << algorithm.second;
}

// A list we write passes the tool's own check, odd names included (xxhsum 0.8.1 has no
// escaping, so a name with a newline is beyond it).
void TestManifest::toolsReadOurLists()
{
    QFETCH(Algorithm, algorithm);
    const QString tool = QString(algorithms.at(int(algorithm)).first);
    if (QStandardPaths::findExecutable(tool).isEmpty())
        QSKIP(qPrintable(tool + " is not installed"));
    QTemporaryDir dir;
    const bool newlines = algorithm != Algorithm::Xxh3_128;
    QVERIFY(makeTree(dir.path(), newlines));
    QByteArray list;
    for (const QByteArray& name : oddNames) {
        if (!newlines && name.contains('\n'))
            continue;
        QString error;
        const QByteArray digest =
            Digest::ofFile(dir.filePath(QFile::decodeName(name)), algorithm, false, &error);
        QCOMPARE(digest.size(), Digest::size(algorithm));
        list += Manifest::formatLine({algorithm, digest, name});
    }
    QVERIFY(TestSupport::writeFile(dir.filePath("list"), list));
    int code = -1;
    const QByteArray output = runTool(tool, {"-c", "list"}, dir.path(), &code);
    QVERIFY2(code == 0, output.constData());
}

void TestManifest::weReadToolLists_data()
{
    QTest::addColumn<Algorithm>("algorithm");
    QTest::addColumn<bool>("tagged");
    for (const auto& algorithm : algorithms) {
        QTest::addRow("%s", algorithm.first) << algorithm.second << false;
        QTest::addRow("%s --tag", algorithm.first) << algorithm.second << true;
    }
}

// Lists the tools write, plain and tagged, check as equal; a changed file as differing.
void TestManifest::weReadToolLists()
{
    QFETCH(Algorithm, algorithm);
    QFETCH(bool, tagged);
    const QString tool = QString(algorithms.at(int(algorithm)).first);
    if (QStandardPaths::findExecutable(tool).isEmpty())
        QSKIP(qPrintable(tool + " is not installed"));
    QTemporaryDir dir;
    const bool newlines = algorithm != Algorithm::Xxh3_128;
    QVERIFY(makeTree(dir.path() + "/tree", newlines));
    QStringList arguments = toolArguments(algorithm);
    if (tagged)
        arguments << "--tag";
    for (const QByteArray& name : oddNames) {
        if (newlines || !name.contains('\n'))
            arguments << QFile::decodeName(name);
    }
    int code = -1;
    const QByteArray list = runTool(tool, arguments, dir.path() + "/tree", &code);
    QCOMPARE(code, 0);
    QVERIFY(TestSupport::writeFile(dir.filePath("list"), list));
    QVERIFY(TestSupport::writeFile(dir.path() + "/tree/with space", "changed"));

    ManifestCheck check;
    QString error;
    QVERIFY2(check.load(dir.filePath("list"), &error), qPrintable(error));
    const QList<ManifestCheck::Result> results = check.check(dir.path() + "/tree", false);
    QCOMPARE(results.size(), arguments.size() - toolArguments(algorithm).size() - int(tagged));
    for (const ManifestCheck::Result& result : results) {
        QCOMPARE(ManifestCheck::outcomeName(result.outcome),
                 ManifestCheck::outcomeName(result.path == "with space"
                                                ? ManifestCheck::Outcome::Differs
                                                : ManifestCheck::Outcome::Equal));
    }
}

void TestManifest::malformedLines_data()
{
    QTest::addColumn<QByteArray>("line");
    const QByteArray sha(64, 'a');
    QTest::newRow("one space") << QByteArray(sha + " name");
    QTest::newRow("digest of no known length") << QByteArray(QByteArray(40, 'a') + "  name");
    QTest::newRow("not hexadecimal") << QByteArray(QByteArray(63, 'a') + "g  name");
    QTest::newRow("no name") << QByteArray(sha + "  ");
    QTest::newRow("unknown escape") << QByteArray("\\" + sha + "  a\\tb");
    QTest::newRow("tag of another length") << QByteArray("SHA256 (name) = " + QByteArray(32, 'a'));
}

void TestManifest::malformedLines()
{
    QFETCH(QByteArray, line);
    Manifest::Entry entry;
    QVERIFY(!Manifest::parseLine(line, &entry));
}

// Equal, differing, missing and unlisted files, and a line that is no checksum, each named.
void TestManifest::checkNamesEveryDifference()
{
    QTemporaryDir dir;
    for (const char* name : {"same", "changed", "gone", "sub/same"})
        QVERIFY(TestSupport::writeFile(dir.filePath(name), name));
    QByteArray list = "not a checksum line\n";
    for (const char* name : {"same", "changed", "gone", "sub/same"}) {
        QString error;
        list += Manifest::formatLine(
            {Algorithm::Sha256, Digest::ofFile(dir.filePath(name), Algorithm::Sha256, true, &error),
             name});
    }
    QVERIFY(TestSupport::writeFile(dir.filePath("list.sha256"), list));
    QVERIFY(TestSupport::writeFile(dir.filePath("changed"), "other"));
    QVERIFY(QFile::remove(dir.filePath("gone")));
    QVERIFY(TestSupport::writeFile(dir.filePath("sub/new"), "new"));

    ManifestCheck check;
    QString error;
    QVERIFY(check.load(dir.filePath("list.sha256"), &error));
    QStringList outcomes;
    for (const ManifestCheck::Result& result : check.check(dir.path(), true))
        outcomes << result.path + ": " + ManifestCheck::outcomeName(result.outcome);
    QCOMPARE(outcomes, QStringList({"1: malformed line", "same: equal", "changed: differs",
                                    "gone: missing", "sub/same: equal", "sub/new: not listed"}));
}

void TestManifest::loadRefuses_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");
    QTest::newRow("only blank lines") << QByteArray("\n  \n") << "no checksum line found";
    QTest::newRow("line longer than any path: not read whole")
        << QByteArray(QByteArray(64, 'a') + "  name\n" + QByteArray(20000, 'x'))
        << "line 2 is too long for a checksum line";
    QTest::newRow("FIFO: not opened, it would wait for a writer")
        << QByteArray() << "not a regular file";
}

void TestManifest::loadRefuses()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    QTemporaryDir dir;
    if (error.startsWith("not a regular"))
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("list")).constData(), 0600), 0);
    else
        QVERIFY(TestSupport::writeFile(dir.filePath("list"), content));
    ManifestCheck check;
    QString failure;
    QVERIFY(!check.load(dir.filePath("list"), &failure));
    QCOMPARE(failure, error);
}

// The listed files done are counted for another thread, which may stop the check.
void TestManifest::checkCountsAndStops()
{
    QTemporaryDir dir;
    QVERIFY(TestSupport::writeFile(dir.filePath("a"), "a"));
    QVERIFY(TestSupport::writeFile(
        dir.filePath("list"),
        Manifest::formatLine({Algorithm::Sha256, QByteArray(32, 0), "a"}) +
            Manifest::formatLine({Algorithm::Sha256, QByteArray(32, 0), "b"})));
    ManifestCheck check;
    QString error;
    QVERIFY(check.load(dir.filePath("list"), &error));
    QCOMPARE(check.size(), 2);
    ManifestCheck::Progress progress;
    QCOMPARE(check.check(dir.path(), false, &progress).size(), 2);
    QCOMPARE(progress.checked.load(), 2);
    progress.cancel = true;
    QVERIFY(check.check(dir.path(), false, &progress).isEmpty());
}

QTEST_GUILESS_MAIN(TestManifest)
#include "tst_manifest.moc"
