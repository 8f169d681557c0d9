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

// A source tree of files below a few folders, and for each a destination chosen at random:
// none, an equal copy, an older or a newer other file, one of another size at the same time,
// a folder in the way, the same bytes a second newer; some left out by the filters (".skip",
// hidden). Returns the files.
int makeRandomTrees(const QString& source, const QString& destination, quint32 seed)
{
    QRandomGenerator random(seed);
    const QStringList folders{"", "d1/", "d1/d 2/", "odd\\name/", "deep/er/est/"};
    const QDateTime base = QDateTime::fromSecsSinceEpoch(1600000000);
    const int files = 40 + int(random.bounded(40));
    for (int index = 0; index < files; ++index) {
        const QString folder = folders.at(int(random.bounded(folders.size())));
        const int kind = int(random.bounded(8));
        const QString name = QStringLiteral("%1f%2.%3")
                                 .arg(random.bounded(10) == 0 ? "." : "")
                                 .arg(index)
                                 .arg(random.bounded(8) == 0 ? "skip" : "dat");
        QByteArray data(int(random.bounded(3000)), Qt::Uninitialized);
        for (char& byte : data)
            byte = char(random.bounded(256));
        const QDateTime time = base.addSecs(index);
        if (!writeFileAt(source + "/" + folder + name, data, time))
            return -1;
        const QString there = destination + "/" + folder + name;
        const QByteArray other = data + "other";
        const bool made = kind == 1   ? writeFileAt(there, data, time)
                          : kind == 2 ? writeFileAt(there, other, time.addDays(-1))
                          : kind == 3 ? writeFileAt(there, other, time.addDays(1))
                          : kind == 4 ? writeFileAt(there, other, time)
                          : kind == 5 ? QDir().mkpath(there + "/inside")
                          : kind == 6 ? writeFileAt(there, data, time.addSecs(1))
                                      : true;
        if (!made)
            return -1;
    }
    return files;
}

int filesBelow(const QString& root)
{
    int count = 0;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        count += 1;
    }
    return count;
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
    QTest::addColumn<QStringList>("copies");
    QTest::addColumn<QStringList>("twins"); // refused: another file takes the name

    // "A:b" is the byte-wise first of the three, which are one name there.
    const QString kept = QString::fromUtf8("A\uff1ab");
    QTest::newRow("a rule keeps the first") << "older" << QStringList{kept, "plain"}
                                            << QStringList{QString::fromUtf8("a\uff1ab"), "x:y"};
    // Which of the two the walk meets first takes the name.
    QTest::newRow("auto rename renames the later one")
        << "rename" << QStringList{kept, kept + " (1)", "plain"} << QStringList{"x:y"};
}

// Names that are one once replaced for exFAT, which also ignores case: the plan names the
// clash, and the run does what it planned.
void TestCliPlan::replacedTwinsDecidedOnce()
{
    QFETCH(QString, rule);
    QFETCH(QStringList, copies);
    QFETCH(QStringList, twins);
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
    QStringList clashes;
    for (const QJsonValue& entry : problemOf(plan.json, "name-clash").value("entries").toArray())
        clashes << QFileInfo(entry.toString()).fileName();
    // "x:y" is a case twin of "x:Y" on the source already: refused as such.
    QCOMPARE(clashes, QStringList{QString::fromUtf8("a\uff1ab")});
    QStringList refused;
    for (const QJsonValue& item : run.json.value("errorItems").toArray()) {
        const QJsonObject error = item.toObject();
        refused << QFileInfo(error.value("source").toString()).fileName();
    }
    refused.sort();
    QCOMPARE(refused, twins);
    QStringList written = QDir(destination).entryList(QDir::Files, QDir::Name);
    if (rule == "rename")
        written = written.join('/').toCaseFolded().split('/');
    written.sort();
    copies << QString::fromUtf8("x\uff1aY");
    if (rule == "rename")
        copies = copies.join('/').toCaseFolded().split('/');
    copies.sort();
    QCOMPARE(written, copies);
    const int copied = plan.json.value("new").toObject().value("files").toInt() +
                       plan.json.value("rename").toObject().value("files").toInt();
    QCOMPARE(run.json.value("copiedFiles").toInt(), copied);
    QCOMPARE(plan.json.value("error").toObject().value("files").toInt(), twins.size());
}

void TestCliPlan::countsEqualTheRun_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("rule");
    QTest::addColumn<quint32>("seed");

    QTest::newRow("copy, older replaced, seed 1") << "copy"
                                                  << "older" << 1u;
    QTest::newRow("copy, always, seed 2") << "copy"
                                          << "always" << 2u;
    QTest::newRow("copy, never, seed 3") << "copy"
                                         << "never" << 3u;
    QTest::newRow("copy, auto rename, seed 4") << "copy"
                                               << "rename" << 4u;
    QTest::newRow("copy, different, seed 5") << "copy"
                                             << "different" << 5u;
    QTest::newRow("move, older replaced, seed 6") << "move"
                                                  << "older" << 6u;
    QTest::newRow("move, never, seed 7") << "move"
                                         << "never" << 7u;
    QTest::newRow("move, auto rename, seed 8") << "move"
                                               << "rename" << 8u;
    QTest::newRow("move, always, seed 9") << "move"
                                          << "always" << 9u;
}

// The plan's counts are what the run then does, file for file.
void TestCliPlan::countsEqualTheRun()
{
    QFETCH(QString, command);
    QFETCH(QString, rule);
    QFETCH(quint32, seed);
    TestSupport::CliScratch dir;
    const int files = makeRandomTrees(dir.filePath("src"), dir.filePath("dst"), seed);
    QVERIFY(files > 0);
    const QStringList arguments{
        command,     "src",    "dst",         "--overwrite",       rule,
        "--exclude", "*.skip", "--no-hidden", "--report-filtered", "--json"};
    const Result plan = dir.run(QStringList(arguments) << "--dry-run");
    QVERIFY2(!plan.json.isEmpty(), qPrintable(plan.err));
    const Result run = dir.run(arguments);
    QVERIFY2(!run.json.isEmpty(), qPrintable(run.err));
    const QString counts = QStringLiteral("plan: %1\nrun: %2").arg(plan.out, run.out);
    QVERIFY2(run.json.value("copiedFiles").toInt() ==
                 planned(plan.json, {"new", "overwrite", "rename"}),
             qPrintable(counts));
    QVERIFY2(run.json.value("skippedFiles").toInt() ==
                 planned(plan.json, {"skipSame", "skipNewer"}),
             qPrintable(counts));
    QVERIFY2(run.json.value("filteredFiles").toInt() == planned(plan.json, {"skipFiltered"}),
             qPrintable(counts));
    QVERIFY2(run.json.value("errors").toInt() == planned(plan.json, {"error"}), qPrintable(counts));
    if (command == "move")
        QCOMPARE(filesBelow(dir.filePath("src")), files - planned(plan.json, {"removeFromSource"}));
}

QTEST_GUILESS_MAIN(TestCliPlan)
#include "tst_cliplan.moc"
