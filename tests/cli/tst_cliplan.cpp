#include "cliscratch.h"
#include "exfatmount.h"
#include "testsupport.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QtTest>

#include <memory>

using Result = TestSupport::CliScratch::Result;
using Setup = std::function<void(const TestSupport::CliScratch&)>;
Q_DECLARE_METATYPE(Setup)

namespace {

// Every entry below root with its size and change time: a dry run that wrote anything, even a
// probe removed again, changes it.
QStringList snapshot(const QString& root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        // The settings and data folder every run makes; but no task or errors file in it.
        if (info.filePath().startsWith(root + "/home") && !info.fileName().endsWith(".bdt"))
            continue;
        entries << QStringLiteral("%1 %2 %3")
                       .arg(info.filePath())
                       .arg(info.isDir() ? 0 : info.size())
                       .arg(info.metadataChangeTime().toMSecsSinceEpoch());
    }
    entries.sort();
    return entries;
}

QJsonObject problemOf(const QJsonObject& plan, const QString& code)
{
    for (const QJsonValue& problem : plan.value("problems").toArray()) {
        if (problem.toObject().value("code").toString() == code)
            return problem.toObject();
    }
    return QJsonObject();
}

bool mounted(const QStringList& arguments)
{
    QProcess process;
    process.start("mount", arguments);
    return process.waitForFinished(30000) && process.exitCode() == 0;
}

bool writeFileAt(const QString& path, const QByteArray& data, const QDateTime& modified)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
           file.write(data) == data.size() && file.flush() &&
           file.setFileTime(modified, QFileDevice::FileModificationTime);
}

// Random files below a few folders (some left out by the filters: ".skip", hidden), each
// with a destination of a random kind. Returns the files, -1 on failure.
int makeRandomTrees(const QString& source, const QString& destination, quint32 seed)
{
    QRandomGenerator random(seed);
    const QStringList folders{"", "d1/", "d1/d 2/", "odd\\name/", "deep/er/est/"};
    const int files = 40 + int(random.bounded(40));
    for (int index = 0; index < files; ++index) {
        const QString name = folders.at(int(random.bounded(folders.size()))) +
                             (random.bounded(10) == 0 ? "." : "") + QString::number(index) +
                             (random.bounded(8) == 0 ? ".skip" : ".dat");
        QByteArray data(int(random.bounded(3000)), 'x');
        random.fillRange(reinterpret_cast<quint32*>(data.data()), data.size() / 4);
        const QDateTime time = QDateTime::fromSecsSinceEpoch(1600000000 + index);
        // 0, 7: none; 1 equal; 2 older, 3 newer, 4 as old, other bytes; 5 a folder; 6 the
        // same bytes a second newer.
        const int kind = int(random.bounded(8));
        const qint64 shift[] = {0, 0, -86400, 86400, 0, 0, 1, 0};
        const QString there = destination + "/" + name;
        if (!writeFileAt(source + "/" + name, data, time) ||
            !(kind == 0 || kind == 7 ||
              (kind == 5 ? QDir().mkpath(there + "/inside")
                         : writeFileAt(there, kind >= 2 && kind <= 4 ? data + "x" : data,
                                       time.addSecs(shift[kind])))))
            return -1;
    }
    return files;
}

int planned(const QJsonObject& plan, const QStringList& keys)
{
    int files = 0;
    for (const QString& key : keys)
        files += plan.value(key).toObject().value("files").toInt();
    return files;
}

} // namespace

// brindle-cli --dry-run: the plan names what the run would do and what the destination refuses,
// writes nothing, and a run it foresees failing is refused before its first write.
class TestCliPlan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void writesNothing_data();
    void writesNothing();
    void refusesWhatCannotFit_data();
    void refusesWhatCannotFit();
    void refusesFilesTooLargeForFat();
    void namesWhatExfatRefuses();
    void namesTooLongNamesFromExfat();
    void copiesWhatTheTargetHolds_data();
    void copiesWhatTheTargetHolds();
    void replacedTwinsDecidedOnce_data();
    void replacedTwinsDecidedOnce();
    void countsEqualTheRun_data();
    void countsEqualTheRun();
};

void TestCliPlan::initTestCase()
{
    QVERIFY2(!TestSupport::CliScratch::program().isEmpty(),
             "BRINDLE_CLI must name the built program");
}

void TestCliPlan::writesNothing_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("counted"); // key of the plan's JSON
    QTest::addColumn<int>("files");

    const Setup tree = [](const TestSupport::CliScratch& dir) {
        TestSupport::writeFile(dir.filePath("src/a.txt"), "a");
        TestSupport::writeFile(dir.filePath("src/sub dir/b\\c.txt"), "bb");
        TestSupport::writeFile(dir.filePath("src/new\nline"), "n");
        TestSupport::writeFile(dir.filePath("src/.hidden"), "h");
        QFile::link("a.txt", dir.filePath("src/link"));
    };
    const Setup withErrors = [tree](const TestSupport::CliScratch& dir) {
        tree(dir);
        QDir().mkpath(dir.filePath("dst/a.txt/inside")); // a folder where a file goes
        // An interrupted copy's leftover of a process long gone: a run removes it.
        TestSupport::writeFile(dir.filePath("dst/.b.txt.k3j9x.2147483647-5.brindle-part"), "left");
    };
    QTest::newRow("copy to a missing destination")
        << tree << QStringList{"copy", "src", "dst/deeper", "--parents"} << 0 << "new" << 5;
    QTest::newRow("copy with a folder in a file's place")
        << withErrors << QStringList{"copy", "src", "dst"} << 1 << "error" << 1;
    QTest::newRow("move, hidden files left out")
        << withErrors << QStringList{"move", "src", "dst", "--no-hidden"} << 1 << "skipFiltered"
        << 1;
    QTest::newRow("verify") << withErrors << QStringList{"verify", "src", "dst"} << 1 << "error"
                            << 5;
    QTest::newRow("overwrite always, by auto rename")
        << withErrors << QStringList{"copy", "src", "dst", "--overwrite", "rename"} << 0 << "rename"
        << 1;
}

void TestCliPlan::writesNothing()
{
    QFETCH(Setup, setup);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, counted);
    QFETCH(int, files);
    TestSupport::CliScratch dir;
    setup(dir);
    const QStringList before = snapshot(dir.path());
    const Result text = dir.run(arguments + QStringList{"--dry-run"});
    QCOMPARE(text.exitCode, exitCode);
    QVERIFY2(text.out.contains("nothing was written"), qPrintable(text.out + text.err));
    const Result json = dir.run(arguments + QStringList{"--dry-run", "--json"});
    QCOMPARE(json.exitCode, exitCode);
    QCOMPARE(json.json.value("exitCode").toInt(), exitCode);
    QVERIFY2(json.json.value(counted).toObject().value("files").toInt() == files,
             qPrintable(json.out));
    QCOMPARE(snapshot(dir.path()), before);
}

void TestCliPlan::refusesWhatCannotFit_data()
{
    QTest::addColumn<bool>("dryRun");
    QTest::newRow("the run is refused") << false;
    QTest::newRow("the plan names the shortfall") << true;
}

void TestCliPlan::refusesWhatCannotFit()
{
    QFETCH(bool, dryRun);
    if (!TestSupport::runningAsRoot())
        QSKIP("Mounting a small tmpfs needs root");
    TestSupport::CliScratch dir;
    const QString mountPoint = dir.filePath("small");
    QVERIFY(QDir().mkpath(mountPoint));
    QVERIFY(mounted({"-t", "tmpfs", "-o", "size=50m", "tmpfs", mountPoint}));
    const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {mountPoint}); });
    // 60 MB of data, and a sparse gigabyte that takes nothing.
    for (int i = 0; i < 6; ++i)
        QVERIFY(TestSupport::writeFile(dir.filePath(QStringLiteral("src/f%1").arg(i)),
                                       QByteArray(10000000, char('a' + i))));
    QFile sparse(dir.filePath("src/sparse"));
    QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(qint64(1) << 30));
    sparse.close();

    QStringList arguments{"copy", "src", mountPoint + "/dst", "--json"};
    if (dryRun)
        arguments << "--dry-run";
    const Result result = dir.run(arguments);
    QVERIFY(QDir(mountPoint).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    const qint64 needed = 6 * 10000000;
    const qint64 available = 50 << 20;
    if (!dryRun) {
        QCOMPARE(result.exitCode, 2);
        const QJsonObject error = result.json.value("error").toObject();
        QCOMPARE(error.value("code").toString(), QString("no-space"));
        const qint64 shortBy =
            error.value("text").toString().section(", ", 2).section(' ', 0, 0).toLongLong();
        QVERIFY2(shortBy > needed - available && shortBy < needed - available + (1 << 20),
                 qPrintable(result.out));
        return;
    }
    QCOMPARE(result.exitCode, 1);
    const QJsonObject problem = problemOf(result.json, "no-space");
    QCOMPARE(problem.value("certain").toBool(), true);
    QCOMPARE(qint64(problem.value("bytes").toDouble()),
             qint64(result.json.value("requiredBytes").toDouble()) - available);
    QVERIFY2(problem.value("bytes").toDouble() > needed - available, qPrintable(result.out));
}

void TestCliPlan::refusesFilesTooLargeForFat()
{
    if (!TestSupport::runningAsRoot() || !QFileInfo::exists("/dev/fuse") ||
        QStandardPaths::findExecutable("fusefat").isEmpty() ||
        QStandardPaths::findExecutable("mkfs.fat", {"/usr/sbin", "/sbin"}).isEmpty())
        QSKIP("Needs root, /dev/fuse, fusefat and mkfs.fat");
    TestSupport::CliScratch dir;
    const QString image = dir.filePath("fat.img");
    const QString mountPoint = dir.filePath("fat");
    QFile file(image);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(32 << 20));
    file.close();
    QCOMPARE(QProcess::execute("mkfs.fat", {image}), 0);
    QProcess losetup;
    losetup.start("losetup", {"-f", "--show", image});
    QVERIFY(losetup.waitForFinished() && losetup.exitCode() == 0);
    const QString device = QString::fromLocal8Bit(losetup.readAll()).trimmed();
    const auto detach = qScopeGuard([&] { QProcess::execute("losetup", {"-d", device}); });
    QVERIFY(QDir().mkpath(mountPoint));
    QCOMPARE(QProcess::execute("fusefat", {"-o", "rw+", device, mountPoint}), 0);
    const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {mountPoint}); });
    // A hole of 5 GiB takes nothing here, and every byte of it there.
    QFile huge(dir.filePath("src/huge"));
    QVERIFY(QDir().mkpath(dir.filePath("src")) && huge.open(QIODevice::WriteOnly) &&
            huge.resize(qint64(5) << 30));
    huge.close();
    QVERIFY(TestSupport::writeFile(dir.filePath("src/small"), "s"));

    const Result run = dir.run({"copy", "src", mountPoint + "/dst", "--json"});
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.json.value("error").toObject().value("code").toString(),
             QString("file-too-large"));
    QVERIFY(QDir(mountPoint).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    const Result plan = dir.run({"copy", "src", mountPoint + "/dst", "--json", "--dry-run"});
    QCOMPARE(plan.json.value("fileSystem").toString(), QString("fat"));
    QCOMPARE(problemOf(plan.json, "file-too-large").value("entries").toArray(),
             QJsonArray{mountPoint + "/dst/huge"});
    QVERIFY(plan.json.value("requiredBytes").toDouble() > double(qint64(5) << 30));
}

void TestCliPlan::namesWhatExfatRefuses()
{
    TestSupport::ExfatMount volume;
    if (!volume.isValid())
        QSKIP(qPrintable(volume.skipReason()));
    TestSupport::CliScratch dir;
    for (const QString name : {"a:b", "A.txt", "a.txt", "CON.txt", "plain"})
        QVERIFY(TestSupport::writeFile(dir.filePath("src/" + name), "x"));
    const QString destination = volume.path() + "/dst";
    const Result result = dir.run({"copy", "src", destination, "--dry-run", "--json"});
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(result.json.value("fileSystem").toString(), QString("exfat"));
    QCOMPARE(problemOf(result.json, "forbidden-character").value("entries").toArray(),
             QJsonArray{destination + "/a:b"});
    QCOMPARE(problemOf(result.json, "case-clash").value("entries").toArray(),
             QJsonArray{destination + "/a.txt"});
    QCOMPARE(problemOf(result.json, "reserved-name").value("entries").toArray(),
             QJsonArray{destination + "/CON.txt"});
    // The run then does what the plan counted.
    const Result run = dir.run({"copy", "src", destination, "--json"});
    QCOMPARE(run.json.value("copiedFiles").toInt(),
             result.json.value("new").toObject().value("files").toInt());
    QCOMPARE(run.json.value("errors").toInt(),
             result.json.value("error").toObject().value("files").toInt());
}

void TestCliPlan::namesTooLongNamesFromExfat()
{
    TestSupport::ExfatMount volume;
    if (!volume.isValid())
        QSKIP(qPrintable(volume.skipReason()));
    // 100 characters of three bytes: one exFAT takes, 300 bytes that ext4 and tmpfs refuse.
    const QString name(100, QChar(0x65e5));
    QVERIFY(TestSupport::writeFile(volume.path() + "/src/" + name, "x"));
    TestSupport::CliScratch dir;
    const Result result =
        dir.run({"copy", volume.path() + "/src", dir.filePath("dst"), "--dry-run", "--json"});
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(problemOf(result.json, "name-too-long").value("entries").toArray(),
             QJsonArray{dir.filePath("dst/") + name});
}

void TestCliPlan::copiesWhatTheTargetHolds_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FUSE exFAT") << "exfat";
    QTest::newRow("FUSE FAT") << "fat";
}

// A tree with all a Windows volume refuses: the plan names each problem before anything is
// written; a run replacing forbidden names copies all the volume can hold, verified, and a
// verify finds those copies under the same names.
void TestCliPlan::copiesWhatTheTargetHolds()
{
    QFETCH(QString, kind);
    const bool fat = kind == "fat";
    const qint64 big = qint64(5) << 30;
    std::unique_ptr<TestSupport::ExfatMount> exfat;
    TestSupport::CliScratch dir;
    QString mountPoint = dir.filePath("fat");
    QString device;
    const auto detach = qScopeGuard([&] {
        if (fat && !device.isEmpty()) {
            QProcess::execute("umount", {mountPoint});
            QProcess::execute("losetup", {"-d", device});
        }
    });
    if (fat) {
        if (!TestSupport::runningAsRoot() || !QFileInfo::exists("/dev/fuse") ||
            QStandardPaths::findExecutable("fusefat").isEmpty() ||
            QStandardPaths::findExecutable("mkfs.fat", {"/usr/sbin", "/sbin"}).isEmpty())
            QSKIP("Needs root, /dev/fuse, fusefat and mkfs.fat");
        QFile image(dir.filePath("fat.img"));
        QVERIFY(image.open(QIODevice::WriteOnly) && image.resize(32 << 20));
        image.close();
        QCOMPARE(QProcess::execute("mkfs.fat", {image.fileName()}), 0);
        QProcess losetup;
        losetup.start("losetup", {"-f", "--show", image.fileName()});
        QVERIFY(losetup.waitForFinished() && losetup.exitCode() == 0);
        device = QString::fromLocal8Bit(losetup.readAll()).trimmed();
        QVERIFY(QDir().mkpath(mountPoint));
        QCOMPARE(QProcess::execute("fusefat", {"-o", "rw+", device, mountPoint}), 0);
    } else {
        // Room for every byte of the sparse file: exFAT keeps no holes.
        exfat = std::make_unique<TestSupport::ExfatMount>(qint64(6) << 30);
        if (!exfat->isValid())
            QSKIP(qPrintable(exfat->skipReason()));
        mountPoint = exfat->path();
    }
    QFile huge(dir.filePath("src/big"));
    QVERIFY(QDir().mkpath(dir.filePath("src")) && huge.open(QIODevice::WriteOnly) &&
            huge.resize(big));
    huge.close();
    // The longest name ext4 holds, 255 bytes: 85 units there.
    const QString longName = QString(85, QChar(0x540d));
    for (const QString name : {"plain", "a:b", "q?.txt", "Case.txt", "case.txt"})
        QVERIFY(TestSupport::writeFile(dir.filePath("src/" + name), name.toUtf8()));
    QVERIFY(TestSupport::writeFile(dir.filePath("src/" + longName), "long"));
    QVERIFY(QFile::link("plain", dir.filePath("src/link")));
    const QString destination = mountPoint + "/dst";

    const Result plan = dir.run({"copy", "src", destination, "--dry-run", "--json"});
    QCOMPARE(plan.exitCode, 1);
    QVERIFY(QDir(mountPoint).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    const QJsonArray forbidden =
        problemOf(plan.json, "forbidden-character").value("entries").toArray();
    QVERIFY2(forbidden.contains(destination + "/a:b") &&
                 forbidden.contains(destination + "/q?.txt"),
             qPrintable(plan.out));
    QCOMPARE(problemOf(plan.json, "case-clash").value("entries").toArray(),
             QJsonArray{destination + "/case.txt"});
    QCOMPARE(problemOf(plan.json, "links-lost").value("entries").toArray(),
             QJsonArray{destination + "/link"});
    QCOMPARE(problemOf(plan.json, "file-too-large").isEmpty(), !fat);

    QStringList arguments{"copy",     "src",   destination, "--replace-forbidden-names",
                          "--verify", "--json"};
    // The file FAT cannot hold is a certain failure: the rest is copied only when forced.
    if (fat)
        arguments << "--force";
    // The plan of that run counts what it then does.
    const Result replaced = dir.run(QStringList(arguments) << "--dry-run");
    const Result run = dir.run(arguments, 900000);
    QCOMPARE(run.exitCode, 1);
    QStringList failed;
    for (const QJsonValue& item : run.json.value("errorItems").toArray())
        failed << QFileInfo(item.toObject().value("source").toString()).fileName();
    failed.sort();
    QStringList expected{"case.txt", "link"};
    // fusefat takes only ASCII names (EPERM): the look-alikes are refused there too.
    if (fat)
        expected << "big"
                 << "a:b"
                 << "q?.txt" << longName;
    expected.sort();
    QCOMPARE(failed, expected);
    QStringList copies{"plain", "Case.txt"};
    if (!fat)
        copies << QString::fromUtf8("a\uff1ab") << QString::fromUtf8("q\uff1f.txt") << longName
               << "big";
    for (const QString& name : copies)
        QVERIFY2(QFileInfo::exists(destination + "/" + name), qPrintable(name));
    QCOMPARE(run.json.value("copiedFiles").toInt(), copies.size());
    QCOMPARE(replaced.json.value("new").toObject().value("files").toInt(), copies.size());
    QCOMPARE(replaced.json.value("error").toObject().value("files").toInt(), expected.size());
    QCOMPARE(replaced.json.value("renamedForTarget").toArray().size(), fat ? 0 : 2);
    QCOMPARE(run.json.value("checkedFiles").toInt(), copies.size());

    const Result verify =
        dir.run({"verify", "src", destination, "--replace-forbidden-names", "--json"}, 900000);
    QStringList missing;
    for (const QJsonValue& item : verify.json.value("errorItems").toArray())
        missing << QFileInfo(item.toObject().value("source").toString()).fileName();
    missing.sort();
    // The twin is compared with the copy that took its name; the link has no copy.
    QCOMPARE(missing, expected);
    QCOMPARE(verify.json.value("verifiedFiles").toInt(), copies.size());
}

void TestCliPlan::replacedTwinsDecidedOnce_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<int>("copies");
    QTest::addColumn<QString>("clash"); // the later one's name there

    // "A:b" and "a：b" are one name on exFAT: the byte-wise first keeps it, and the other is
    // refused or numbered; "x:y" is refused as a case twin of "x:Y" on the source already.
    const QString twin = QString::fromUtf8("a\uff1ab");
    QTest::newRow("a rule keeps the first") << "older" << 3 << twin;
    QTest::newRow("auto rename numbers the later one") << "rename" << 4 << twin + " (1)";
}

// Names that are one once replaced for exFAT: the plan names the clash, the run does as
// planned.
void TestCliPlan::replacedTwinsDecidedOnce()
{
    QFETCH(QString, rule);
    QFETCH(int, copies);
    QFETCH(QString, clash);
    TestSupport::ExfatMount mount;
    if (!mount.isValid())
        QSKIP(qPrintable(mount.skipReason()));
    TestSupport::CliScratch dir;
    for (const QString name : {"A:b", "a\uff1ab", "plain", "x:y", "x:Y"})
        QVERIFY(TestSupport::writeFile(dir.filePath("src/" + name), name.toUtf8()));
    const QString destination = mount.path() + "/dst";
    const QStringList arguments{"copy",        "src", destination, "--replace-forbidden-names",
                                "--overwrite", rule,  "--json"};
    const Result plan = dir.run(QStringList(arguments) << "--dry-run");
    const Result run = dir.run(arguments);
    QCOMPARE(problemOf(plan.json, "name-clash").value("entries").toArray(),
             QJsonArray{destination + "/" + clash});
    QCOMPARE(QDir(destination).entryList(QDir::Files).size(), copies);
    if (rule == "rename")
        QVERIFY(QFileInfo::exists(destination + "/" + clash));
    QCOMPARE(run.json.value("copiedFiles").toInt(), copies);
    QCOMPARE(planned(plan.json, {"new", "rename"}), copies);
    QCOMPARE(run.json.value("errors").toInt(), 5 - copies);
    QCOMPARE(planned(plan.json, {"error"}), 5 - copies);
}

void TestCliPlan::countsEqualTheRun_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("rule");

    // The row's name makes the seed of its trees.
    for (const QString command : {"copy", "move"}) {
        for (const QString rule : {"older", "always", "never", "rename", "different"})
            QTest::newRow(qPrintable(command + ", " + rule)) << command << rule;
    }
}

// The plan's counts are what the run then does, file for file.
void TestCliPlan::countsEqualTheRun()
{
    QFETCH(QString, command);
    QFETCH(QString, rule);
    const quint32 seed = qHash(QByteArray(QTest::currentDataTag()));
    TestSupport::CliScratch dir;
    const int files = makeRandomTrees(dir.filePath("src"), dir.filePath("dst"), seed);
    QVERIFY(files > 0);
    const QStringList arguments{
        command,     "src",    "dst",         "--overwrite",       rule,
        "--exclude", "*.skip", "--no-hidden", "--report-filtered", "--json"};
    const Result plan = dir.run(QStringList(arguments) << "--dry-run");
    const Result run = dir.run(arguments);
    const QString both = QStringLiteral("seed %1\n%2\n%3").arg(seed).arg(plan.out, run.out);
    const QList<QPair<QString, QStringList>> counts{{"copiedFiles", {"new", "overwrite", "rename"}},
                                                    {"skippedFiles", {"skipSame", "skipNewer"}},
                                                    {"filteredFiles", {"skipFiltered"}},
                                                    {"errors", {"error"}}};
    for (const auto& count : counts)
        QVERIFY2(run.json.value(count.first).toInt() == planned(plan.json, count.second),
                 qPrintable(count.first + "\n" + both));
    int left = 0;
    for (QDirIterator it(dir.filePath("src"), QDir::Files | QDir::Hidden,
                         QDirIterator::Subdirectories);
         it.hasNext(); it.next())
        left += 1;
    QVERIFY2(left == files - planned(plan.json, {"removeFromSource"}), qPrintable(both));
}

QTEST_GUILESS_MAIN(TestCliPlan)
#include "tst_cliplan.moc"
