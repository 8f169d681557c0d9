#include "cliscratch.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

using Result = TestSupport::CliScratch::Result;

namespace {

// Runs a program to its end; its exit code, or -1. output receives what it printed.
int runProgram(const QString& program, const QStringList& arguments, QByteArray* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    if (output)
        *output = process.readAll().trimmed();
    return process.exitCode();
}

bool setModified(const QString& path, qint64 seconds, long nanoseconds)
{
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

} // namespace

// brindle-cli copying onto real file systems that Linux mounts: exFAT and FAT through FUSE
// (no rename that refuses an existing name, no hard links, coarse times, names whose case
// does not count) and tmpfs. Needs root, /dev/fuse and the packages exfat-fuse, exfatprogs,
// fusefat and dosfstools.
class TestCliFileSystems : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void copiesOnto_data();
    void copiesOnto();

private:
    // Mounts a new, empty file system of kind at the folder mountPoint; false with the reason.
    bool mount(const QString& kind, bool remount, QString* reason);
    void unmount();

    std::unique_ptr<TestSupport::CliScratch> m_dir;
    QString m_mountPoint;
    QString m_loopDevice;
    bool m_mounted = false;
};

void TestCliFileSystems::initTestCase()
{
    QVERIFY2(!TestSupport::CliScratch::program().isEmpty(),
             "BRINDLE_CLI must name the built program");
}

bool TestCliFileSystems::mount(const QString& kind, bool remount, QString* reason)
{
    const QString image = m_dir->filePath("volume.img");
    QByteArray output;
    if (kind == "tmpfs") {
        m_mounted = runProgram("mount", {"-t", "tmpfs", "-o", "size=32m", "tmpfs", m_mountPoint},
                               &output) == 0;
        *reason = "mount -t tmpfs: " + output;
        return m_mounted;
    }
    if (!remount) {
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(32 << 20))
            return false;
        file.close();
        if (runProgram(kind == "exfat" ? "mkfs.exfat" : "mkfs.fat", {image}, &output) != 0) {
            *reason = "mkfs: " + output;
            return false;
        }
        if (runProgram("losetup", {"-f", "--show", image}, &output) != 0) {
            *reason = "losetup: " + output;
            return false;
        }
        m_loopDevice = QString::fromLocal8Bit(output);
    }
    const int code =
        kind == "exfat" ? runProgram("mount.exfat-fuse", {m_loopDevice, m_mountPoint}, &output)
                        : runProgram("fusefat", {"-o", "rw+", m_loopDevice, m_mountPoint}, &output);
    m_mounted = code == 0;
    *reason = "mount: " + output;
    return m_mounted;
}

void TestCliFileSystems::unmount()
{
    if (m_mounted)
        runProgram("umount", {m_mountPoint});
    m_mounted = false;
}

void TestCliFileSystems::copiesOnto_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("tools");
    QTest::addColumn<bool>("ignoresCase");
    QTest::addColumn<bool>("coarseTimes");
    QTest::newRow("exFAT through FUSE")
        << "exfat" << QStringList{"mkfs.exfat", "mount.exfat-fuse", "losetup"} << true << true;
    QTest::newRow("FAT through FUSE")
        << "fat" << QStringList{"mkfs.fat", "fusefat", "losetup"} << true << true;
    QTest::newRow("tmpfs") << "tmpfs" << QStringList{"mount"} << false << false;
}

void TestCliFileSystems::copiesOnto()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, tools);
    QFETCH(bool, ignoresCase);
    QFETCH(bool, coarseTimes);
    if (!TestSupport::runningAsRoot())
        QSKIP("Mounting needs root");
    if (kind != "tmpfs" && !QFileInfo::exists("/dev/fuse"))
        QSKIP("No /dev/fuse on this machine");
    for (const QString& tool : tools) {
        const QStringList sbin{"/usr/sbin", "/sbin", "/usr/bin", "/bin"};
        if (QStandardPaths::findExecutable(tool).isEmpty() &&
            QStandardPaths::findExecutable(tool, sbin).isEmpty())
            QSKIP(qPrintable(tool + " is missing (packages exfat-fuse exfatprogs fusefat "
                                    "dosfstools)"));
    }
    m_dir = std::make_unique<TestSupport::CliScratch>();
    m_mountPoint = m_dir->filePath("mnt");
    QVERIFY(QDir().mkpath(m_mountPoint));
    // Always undone, whatever fails below.
    const auto cleanUp = qScopeGuard([this] {
        unmount();
        if (!m_loopDevice.isEmpty())
            runProgram("losetup", {"-d", m_loopDevice});
        m_loopDevice.clear();
        m_dir.reset();
    });
    QString reason;
    // A machine that cannot mount at all (a container without loop devices) proves nothing
    // either way.
    if (!mount(kind, false, &reason))
        QSKIP(qPrintable("Unable to mount here: " + reason));

    // Fractions of a second, an even second first: FAT keeps 1500000000 of the first.
    QVERIFY(TestSupport::writeFile(m_dir->filePath("src/A.txt"), "upper"));
    QVERIFY(TestSupport::writeFile(m_dir->filePath("src/a.txt"), "lower"));
    QVERIFY(TestSupport::writeFile(m_dir->filePath("src/sub/small"), "small"));
    QVERIFY(TestSupport::writeFile(m_dir->filePath("src/large"), QByteArray(9 << 20, 'L')));
    QVERIFY(setModified(m_dir->filePath("src/sub/small"), 1500000000, 500000000));
    const QString destination = m_mountPoint + "/dst";

    // Each copy lands although the final name is taken by a plain rename; the name that
    // differs only by case is reported where case does not count.
    Result result = m_dir->run({"copy", "src", destination, "--save-task", "run.bdt", "--json"});
    QVERIFY2(result.exitCode == (ignoresCase ? 1 : 0), qPrintable(result.out + result.err));
    const QJsonArray errors = result.json.value("errorItems").toArray();
    QCOMPARE(errors.size(), ignoresCase ? 1 : 0);
    if (ignoresCase) {
        const QJsonObject error = errors.first().toObject();
        QVERIFY(error.value("source").toString().endsWith("/src/a.txt"));
        QVERIFY2(error.value("messageText").toString().contains("differs only by case"),
                 qPrintable(error.value("messageText").toString()));
    }
    QCOMPARE(result.json.value("copiedFiles").toInt(), ignoresCase ? 3 : 4);
    QCOMPARE(TestSupport::readFile(destination + "/A.txt"), QByteArray("upper"));
    QCOMPARE(TestSupport::readFile(destination + "/sub/small"), QByteArray("small"));
    QCOMPARE(TestSupport::readFile(destination + "/large").size(), 9 << 20);

    // What the device keeps, not what the mount remembers, is compared from here on.
    if (kind != "tmpfs") {
        unmount();
        QVERIFY2(mount(kind, true, &reason), qPrintable(reason));
    }
    for (const char* overwrite : {"older", "different"}) {
        result = m_dir->run({"copy", "src", destination, "--overwrite", overwrite, "--json"});
        QCOMPARE(result.json.value("copiedFiles").toInt(), 0);
        QCOMPARE(result.json.value("errors").toInt(), ignoresCase ? 1 : 0);
    }
    // Retried without a walk, the twin still never replaces the copy of the other.
    result = m_dir->run({"resume", "run.bdt", "--fix-errors", "--json"});
    QCOMPARE(result.json.value("errors").toInt(), ignoresCase ? 1 : 0);
    QCOMPARE(TestSupport::readFile(destination + "/A.txt"), QByteArray("upper"));
    // Saved one second after its copy: newer, except where times are coarse.
    QVERIFY(setModified(m_dir->filePath("src/sub/small"), 1500000001, 500000000));
    result = m_dir->run({"copy", "src", destination, "--overwrite", "older", "--json"});
    QCOMPARE(result.json.value("copiedFiles").toInt(), coarseTimes ? 0 : 1);

    // The same folder, and a file, spelt otherwise: refused where case does not count (each
    // spelling has an inode of its own on FUSE), never moved onto itself.
    if (!ignoresCase)
        return;
    const QMap<QString, QByteArray> before = TestSupport::treeOf(destination);
    for (const QStringList& paths :
         {QStringList{destination, m_mountPoint + "/DST"},
          QStringList{destination + "/sub/small", destination + "/SUB"}}) {
        result = m_dir->run({"move", paths.at(0), paths.at(1)});
        QCOMPARE(result.exitCode, 2);
        QCOMPARE(TestSupport::treeOf(destination), before);
    }
}

QTEST_GUILESS_MAIN(TestCliFileSystems)
#include "tst_clifilesystems.moc"
