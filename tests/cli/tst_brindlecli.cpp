#include "cliscratch.h"
#include "testsupport.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

#include <csignal>
#include <sys/stat.h>
#include <utime.h>

namespace {

using Result = TestSupport::CliScratch::Result;

using TestSupport::treeOf;

} // namespace

// Drives the real brindle-cli program on temporary trees.
class TestBrindleCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void pathAndUsageErrors_data();
    void pathAndUsageErrors();
    void copyThenVerify();
    void verifyFindsChangedByte();
    void verifyTellsTheTruth_data();
    void verifyTellsTheTruth();
    void moveRemovesSource();
    void jsonReport();
    void reportFilteredFiles();
    void interruptThenResume_data();
    void interruptThenResume();
    void externalRsyncCopiesWholeTree();

private:
    QProcess* start(const QStringList& arguments);
    Result run(const QStringList& arguments);
    void makeTree(const QString& root, int folders, int filesPerFolder, int size);

    std::unique_ptr<TestSupport::CliScratch> m_dir;
};

void TestBrindleCli::initTestCase()
{
    QVERIFY2(!TestSupport::CliScratch::program().isEmpty(),
             "BRINDLE_CLI must name the built program");
}

void TestBrindleCli::init()
{
    m_dir = std::make_unique<TestSupport::CliScratch>();
    QVERIFY(m_dir->isValid());
}

QProcess* TestBrindleCli::start(const QStringList& arguments)
{
    return m_dir->start(arguments, this);
}

Result TestBrindleCli::run(const QStringList& arguments)
{
    return m_dir->run(arguments);
}

void TestBrindleCli::makeTree(const QString& root, int folders, int filesPerFolder, int size)
{
    for (int f = 0; f < folders; ++f) {
        for (int i = 0; i < filesPerFolder; ++i) {
            QByteArray data(size, char('a' + (f + i) % 26));
            data.append(QByteArray::number(f * 1000 + i));
            QVERIFY(TestSupport::writeFile(QStringLiteral("%1/d%2/f%3.txt").arg(root).arg(f).arg(i),
                                           data));
        }
    }
}

void TestBrindleCli::pathAndUsageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    QTest::newRow("missing source")
        << QStringList{"copy", "nothing-here", "dest"} << "brindle-cli: Unable to find '";
    QTest::newRow("same paths") << QStringList{"copy", "src", "./src"}
                                << "brindle-cli: Unable to copy an item on itself.";
    // Another name of the source (here a symbolic link) is still the source.
    QTest::newRow("move onto a link to the source")
        << QStringList{"move", "src", "alias", "--overwrite", "always"}
        << "brindle-cli: Unable to copy an item on itself.";
    QTest::newRow("copy into the source through a link")
        << QStringList{"copy", "src", "alias/inner"}
        << "brindle-cli: Unable to copy an item on itself.";
    QTest::newRow("move a file into its own folder")
        << QStringList{"move", "src/f", "src/"} << "brindle-cli: Unable to copy an item on itself.";
    QTest::newRow("unknown command")
        << QStringList{"sync", "src", "dest"} << "brindle-cli: Unknown command \"sync\"";
    QTest::newRow("missing task file")
        << QStringList{"resume", "nothing.bdt"} << "brindle-cli: Unable to load the task file '";
    // One path error, not one error per file.
    QTest::newRow("destination is a file")
        << QStringList{"copy", "src", "file"} << "brindle-cli: The destination '";
    QTest::newRow("destination's parent missing")
        << QStringList{"move", "src", "missing/dest"}
        << "brindle-cli: The destination's parent folder '";
    QTest::newRow("task file in a missing folder")
        << QStringList{"move", "src", "dest", "--save-task", "missing/t.bdt"}
        << "brindle-cli: Unable to write the task file '";
}

void TestBrindleCli::pathAndUsageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QVERIFY(QDir().mkpath(m_dir->filePath("src")));
    QVERIFY(TestSupport::writeFile(m_dir->filePath("src/f"), "only copy"));
    QVERIFY(QFile::link(m_dir->filePath("src"), m_dir->filePath("alias")));
    QVERIFY(TestSupport::writeFile(m_dir->filePath("file"), "not a folder"));
    const Result result = run(arguments);
    QCOMPARE(result.exitCode, 2);
    QVERIFY2(result.err.startsWith(message), qPrintable(result.err));
    QVERIFY(!QFileInfo::exists(m_dir->filePath("dest")));
    QVERIFY(!QFileInfo::exists(m_dir->filePath("missing")));
    QCOMPARE(TestSupport::readFile(m_dir->filePath("file")), QByteArray("not a folder"));
    QCOMPARE(TestSupport::readFile(m_dir->filePath("src/f")), QByteArray("only copy"));
    QCOMPARE(QDir(m_dir->filePath("src")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{"f"});
}

void TestBrindleCli::copyThenVerify()
{
    makeTree(m_dir->filePath("src"), 3, 4, 100);
    QVERIFY(TestSupport::writeFile(m_dir->filePath("src/.hidden"), "h"));
    const utimbuf past{1577836800, 1577836800};
    QCOMPARE(::utime(QFile::encodeName(m_dir->filePath("src")).constData(), &past), 0);

    // The destination folder and its parent do not exist yet: both are created, the
    // destination with its source's date, as every folder below it.
    Result result = run({"copy", "src", "out/dest", "--threads", "2", "--parents"});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(QFileInfo(m_dir->filePath("out/dest")).lastModified().toSecsSinceEpoch(),
             qint64(past.modtime));
    QCOMPARE(treeOf(m_dir->filePath("out/dest")), treeOf(m_dir->filePath("src")));
    const QStringList lines = result.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.first(), QStringLiteral("The copy is completed."));
    QVERIFY(lines.contains("Total Files: 13"));
    QVERIFY(lines.contains("Copied Files: 13"));
    QVERIFY(lines.contains("Errors: 0"));
    QCOMPARE(lines.last(), QStringLiteral("Done"));

    // A second copy skips what is already there.
    result = run({"copy", "src", "out/dest"});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.contains("Skipped Files: 13"));

    // A verify writes nothing: a folder's date that differs from its source's stays.
    const QString folder = m_dir->filePath("out/dest/d0");
    QVERIFY(TestSupport::writeFile(folder + "/new", "n") && QFile::remove(folder + "/new"));
    const QDateTime folderTime = QFileInfo(folder).lastModified();
    QVERIFY(folderTime != QFileInfo(m_dir->filePath("src/d0")).lastModified());
    result = run({"verify", "src", "out/dest"});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.startsWith("The verify is completed."));
    QVERIFY(result.out.contains("Verified Files: 13"));
    QCOMPARE(QFileInfo(folder).lastModified(), folderTime);

    // Nor does it create a missing destination: one path error.
    result = run({"verify", "src", "nowhere"});
    QCOMPARE(result.exitCode, 2);
    QVERIFY(result.err.contains("there is nothing to verify"));
    QVERIFY(!QFileInfo::exists(m_dir->filePath("nowhere")));
}

void TestBrindleCli::verifyFindsChangedByte()
{
    makeTree(m_dir->filePath("src"), 1, 3, 4096);
    QCOMPARE(run({"copy", "src", "dest", "--quiet"}).exitCode, 0);
    const QString changed = m_dir->filePath("dest/d0/f1.txt");
    QByteArray data = TestSupport::readFile(changed);
    data[100] = data[100] == 'x' ? 'y' : 'x';
    QFile file(changed);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(100));
    file.write(data.mid(100, 1)); // same size, same dates would not reveal it
    file.close();

    const Result result = run({"verify", "src", "dest"});
    QCOMPARE(result.exitCode, 1);
    QVERIFY(result.out.startsWith("The verify has some errors."));
    QVERIFY(result.out.contains("Errors: 1"));
    QVERIFY2(result.out.contains(QRegularExpression("src/d0/f1\\.txt: \\S")),
             qPrintable(result.out));
    // Whatever the digest compared by.
    for (const char* hash : {"blake2b", "xxh3"})
        QCOMPARE(run({"verify", "src", "dest", "--hash", hash, "--quiet"}).exitCode, 1);
}

void TestBrindleCli::verifyTellsTheTruth_data()
{
    // What is done to the copy of f (or of sub/desktop.ini) after a clean copy.
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("reason");
    QTest::newRow("another date, the same bytes") << "touch" << 0 << "";
    QTest::newRow("an excused name's bytes differ") << "desktop.ini" << 1 << "content differs";
    QTest::newRow("a link to the source in the copy's place")
        << "link to source" << 1 << "symbolic link, not a copy";
    QTest::newRow("the source's own inode in the copy's place")
        << "hard link" << 1 << "the same file";
    QTest::newRow("a file the source lacks") << "extra" << 1 << "a file the source does not";
}

// Every difference counts, and a clean verify reports its files as verified, none skipped.
void TestBrindleCli::verifyTellsTheTruth()
{
    QFETCH(QString, change);
    QFETCH(int, exitCode);
    QFETCH(QString, reason);
    QVERIFY(TestSupport::writeFile(m_dir->filePath("src/f"), "data of f"));
    QVERIFY(TestSupport::writeFile(m_dir->filePath("src/sub/desktop.ini"), "[x]"));
    QCOMPARE(run({"copy", "src", "dest", "--quiet"}).exitCode, 0);
    const QString copy = m_dir->filePath("dest/f");
    if (change == "touch") {
        QFile file(copy);
        QVERIFY(file.open(QIODevice::ReadWrite) &&
                file.setFileTime(QDateTime::currentDateTime().addDays(-3),
                                 QFileDevice::FileModificationTime));
    } else if (change == "extra") {
        QVERIFY(TestSupport::writeFile(m_dir->filePath("dest/sub/extra"), "x"));
    } else if (change == "desktop.ini") {
        QVERIFY(TestSupport::writeFile(m_dir->filePath("dest/sub/desktop.ini"), "[y]"));
    } else {
        QVERIFY(QFile::remove(copy));
        const QByteArray source = QFile::encodeName(m_dir->filePath("src/f"));
        QCOMPARE(change == "hard link" ? ::link(source, QFile::encodeName(copy))
                                       : ::symlink(source, QFile::encodeName(copy)),
                 0);
    }
    const Result result = run({"verify", "src", "dest"});
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(!result.out.contains("Skipped Files"), qPrintable(result.out));
    QVERIFY(result.out.contains(
        QString("Verified Files: %1").arg(exitCode == 0 || change == "extra" ? 2 : 1)));
    if (!reason.isEmpty())
        QVERIFY2(result.out.contains(reason), qPrintable(result.out));
}

void TestBrindleCli::moveRemovesSource()
{
    makeTree(m_dir->filePath("src"), 2, 3, 10);
    const QMap<QString, QByteArray> before = treeOf(m_dir->filePath("src"));
    const Result result = run({"move", "src", "dest", "--quiet"});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, QString());
    QCOMPARE(treeOf(m_dir->filePath("dest")), before);
    QVERIFY(!QFileInfo::exists(m_dir->filePath("src")));
}

// The option reaches the run through the task's own settings.
void TestBrindleCli::reportFilteredFiles()
{
    QVERIFY(TestSupport::writeFile(m_dir->filePath("src/keep"), "k"));
    QVERIFY(TestSupport::writeFile(m_dir->filePath("src/x.tmp"), "x"));
    const Result result =
        run({"copy", "src", "dest", "--exclude", "*.tmp", "--report-filtered", "--json"});
    QCOMPARE(result.exitCode, 0);
    // Counted apart from the files skipped as equal, and named with its pattern.
    QCOMPARE(result.json.value("skippedFiles").toInt(), 0);
    QCOMPARE(result.json.value("filteredFiles").toInt(), 1);
    const QJsonObject filtered = result.json.value("filteredItems").toArray().at(0).toObject();
    QVERIFY(filtered.value("source").toString().endsWith("src/x.tmp"));
    QCOMPARE(filtered.value("pattern").toString(), QStringLiteral("*.tmp"));
    QCOMPARE(treeOf(m_dir->filePath("dest")).keys(), QStringList{"keep"});
}

void TestBrindleCli::jsonReport()
{
    makeTree(m_dir->filePath("src"), 1, 2, 10);
    // A folder in the way of a file: that file cannot be written.
    QVERIFY(QDir().mkpath(m_dir->filePath("dest/d0/f1.txt")));
    const Result result =
        run({"copy", "src", "dest", "--json", "--overwrite", "always", "--save-task", "run.bdt"});
    QCOMPARE(result.exitCode, 1);
    QJsonParseError error;
    const QJsonObject json = QJsonDocument::fromJson(result.out.toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(json.value("command").toString(), QStringLiteral("copy"));
    QCOMPARE(json.value("outcome").toString(), QStringLiteral("completed with errors"));
    QCOMPARE(json.value("totalFiles").toInt(), 2);
    QCOMPARE(json.value("errors").toInt(), 1);
    const QJsonArray errors = json.value("errorItems").toArray();
    QCOMPARE(errors.size(), 1);
    QVERIFY(errors.first().toObject().value("source").toString().endsWith("src/d0/f1.txt"));
    QVERIFY(!errors.first().toObject().value("messageText").toString().isEmpty());

    // Once the obstacle is gone, fixing the errors copies only the failed file.
    QVERIFY(QDir(m_dir->filePath("dest/d0/f1.txt")).removeRecursively());
    const QString good = m_dir->filePath("dest/d0/f0.txt");
    struct stat before
    {
    };
    QCOMPARE(::stat(QFile::encodeName(good).constData(), &before), 0);
    const Result fixed = run({"resume", "run.bdt", "--fix-errors"});
    QCOMPARE(fixed.exitCode, 0);
    QVERIFY2(fixed.out.contains("Errors: 0"), qPrintable(fixed.out));
    struct stat after
    {
    };
    QCOMPARE(::stat(QFile::encodeName(good).constData(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino); // not written again
    QCOMPARE(treeOf(m_dir->filePath("dest")), treeOf(m_dir->filePath("src")));
    // The task file now holds the fixed run: resumed again, it has no old errors to show.
    const Result again = run({"resume", "run.bdt"});
    QCOMPARE(again.exitCode, 0);
    QVERIFY2(again.out.contains("Errors: 0"), qPrintable(again.out));
}

void TestBrindleCli::interruptThenResume_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("signal");
    // While stopped, a file is added to the source and one rewritten (same size, later date).
    QTest::addColumn<bool>("sourceChanged");
    QTest::addColumn<QString>("saveTask"); // --save-task FILE, or none
    QTest::newRow("copy, Ctrl-C") << "copy" << int(SIGINT) << false << "";
    // A terminal that closes hangs up: the run must stop cleanly, not die halfway.
    QTest::newRow("move, terminal closed") << "move" << int(SIGHUP) << false << "";
    QTest::newRow("copy, source changed while stopped") << "copy" << int(SIGINT) << true << "";
    QTest::newRow("move, source changed while stopped") << "move" << int(SIGINT) << true << "";
    // The user's file holds the stopped run, and stays theirs once it is done.
    QTest::newRow("copy into the user's task file, source changed")
        << "copy" << int(SIGINT) << true << "mine.bdt";
}

void TestBrindleCli::interruptThenResume()
{
    QFETCH(QString, command);
    QFETCH(int, signal);
    QFETCH(bool, sourceChanged);
    QFETCH(QString, saveTask);
    // Enough files that the run is still busy when the interrupt arrives.
    makeTree(m_dir->filePath("src"), 40, 100, 2000);
    const auto modeOf = [this](const QString& path) {
        return TestSupport::modeOf(m_dir->filePath(path));
    };
    for (const char* folder : {"src", "src/d0"})
        QVERIFY(TestSupport::setMode(m_dir->filePath(folder), 0750));
    QMap<QString, QByteArray> before = treeOf(m_dir->filePath("src"));
    QStringList arguments{command, "src", "dest", "--threads", "1"};
    if (!saveTask.isEmpty())
        arguments << "--save-task" << saveTask;
    std::unique_ptr<QProcess> process(start(arguments));
    QVERIFY(process->waitForStarted());
    // Copies of small files take their names in groups: their hidden temporary files show
    // that the run has begun.
    const QDir firstFolder(m_dir->filePath("dest/d0"));
    QTRY_VERIFY_WITH_TIMEOUT(
        firstFolder.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).size() >= 5,
        30000);
    ::kill(pid_t(process->processId()), signal);
    QVERIFY(process->waitForFinished(60000));
    const QString out = QString::fromLocal8Bit(process->readAllStandardOutput());
    QCOMPARE(process->exitCode(), 3);
    QVERIFY2(out.startsWith(QStringLiteral("The %1 is stopped.").arg(command)), qPrintable(out));
    // The folders that the run made are closed to other users until it ends.
    QCOMPARE(modeOf("dest") & 077, 0);
    QCOMPARE(modeOf("dest/d0") & 077, 0);

    const QRegularExpressionMatch resume =
        QRegularExpression("To resume: \\S+ resume (\\S+\\.bdt)").match(out);
    QVERIFY2(resume.hasMatch(), qPrintable(out));
    if (sourceChanged) {
        // The last file of the last folder is still in the source, moved or not.
        const QString rewritten = m_dir->filePath("src/d39/f99.txt");
        QByteArray data = before.value("d39/f99.txt");
        std::reverse(data.begin(), data.end());
        data[0] = char(data[0] ^ 1);
        QVERIFY(TestSupport::writeFile(rewritten, data));
        const utimbuf later{time(nullptr) + 10, time(nullptr) + 10};
        QCOMPARE(::utime(QFile::encodeName(rewritten).constData(), &later), 0);
        QVERIFY(TestSupport::writeFile(m_dir->filePath("src/d0/added.txt"), "new"));
        before.insert("d39/f99.txt", data);
        before.insert("d0/added.txt", "new");
    }
    const Result resumed = run({"resume", resume.captured(1)});
    QCOMPARE(resumed.exitCode, 0);
    QVERIFY(resumed.out.contains("Errors: 0"));
    QVERIFY2(resumed.out.contains(sourceChanged
                                      ? QRegularExpression("Changed Since The Earlier Run: [12]\\n")
                                      : QRegularExpression("Changed Since The Earlier Run: 0\\n")),
             qPrintable(resumed.out));
    QCOMPARE(treeOf(m_dir->filePath("dest")), before);
    QCOMPARE(QFileInfo::exists(m_dir->filePath("src")), command == "copy");
    QCOMPARE(modeOf("dest"), 0750);
    QCOMPARE(modeOf("dest/d0"), 0750);
    // Its work done, the saved task is gone; the user's own file stays, and is all there is.
    QCOMPARE(QFileInfo::exists(resume.captured(1)), !saveTask.isEmpty());
    if (saveTask.isEmpty())
        return;
    QCOMPARE(resume.captured(1), m_dir->filePath(saveTask));
    QDirIterator saved(m_dir->path(), {"*.bdt"}, QDir::Files | QDir::Hidden,
                       QDirIterator::Subdirectories);
    QCOMPARE(saved.next(), m_dir->filePath(saveTask));
    QVERIFY(!saved.hasNext());
    // Resumed again, it has nothing to do, and tells only of this run.
    const Result again = run({"resume", saveTask});
    QCOMPARE(again.exitCode, 0);
    QVERIFY2(again.out.startsWith("Nothing to do: the copy was complete.\n") &&
                 again.out.contains("Copied Files: 0\n") &&
                 again.out.contains("Changed Since The Earlier Run: 0\n"),
             qPrintable(again.out));
}

void TestBrindleCli::externalRsyncCopiesWholeTree()
{
    if (!QFileInfo(QStringLiteral("/usr/bin/rsync")).isExecutable())
        QSKIP("/usr/bin/rsync is not installed");
    makeTree(m_dir->filePath("src"), 2, 2, 10);
    const QByteArray old = QFile::encodeName(m_dir->filePath("src/d1/f0.txt"));
    const utimbuf oldTimes{981173106, 981173106}; // 2001-02-03
    QVERIFY(::utime(old.constData(), &oldTimes) == 0 && ::chmod(old.constData(), 0640) == 0);
    // Given without arguments, rsync gets "-a": the folder is not skipped, times and modes kept.
    const Result result =
        run({"copy", "src", "dest", "--external", "/usr/bin/rsync", "--no-file-list"});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.err.contains("Starting /usr/bin/rsync -a "), qPrintable(result.err));
    QCOMPARE(treeOf(m_dir->filePath("dest")), treeOf(m_dir->filePath("src")));
    const QString copy = m_dir->filePath("dest/d1/f0.txt");
    QCOMPARE(QFileInfo(copy).lastModified().toSecsSinceEpoch(), 981173106);
    QCOMPARE(TestSupport::modeOf(copy), 0640);
}

QTEST_GUILESS_MAIN(TestBrindleCli)
#include "tst_brindlecli.moc"
