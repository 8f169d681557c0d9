#include "cliscratch.h"
#include "testsupport.h"

#include <QProcess>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Makes a file at the raw relative path below root, one component at a time below the
// folder's descriptor: the path may hold any bytes and exceed what the system calls take.
bool makeRawFile(const QString& root, const QByteArray& relative, const QByteArray& content = "abc")
{
    int fd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY);
    const QList<QByteArray> parts = relative.split('/');
    for (int i = 0; fd >= 0 && i + 1 < parts.size(); ++i) {
        ::mkdirat(fd, parts[i].constData(), 0755);
        const int next = ::openat(fd, parts[i].constData(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    const int file =
        fd >= 0 ? ::openat(fd, parts.last().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644) : -1;
    const bool ok =
        file >= 0 && ::write(file, content.constData(), content.size()) == content.size();
    ::close(file);
    ::close(fd);
    return ok;
}

// The content of the file at the raw relative path below root, reached as makeRawFile does;
// a null array when it cannot be read.
QByteArray readRawFile(const QString& root, const QByteArray& relative)
{
    int fd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY);
    const QList<QByteArray> parts = relative.split('/');
    for (int i = 0; fd >= 0 && i + 1 < parts.size(); ++i) {
        const int next = ::openat(fd, parts[i].constData(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    const int file = fd >= 0 ? ::openat(fd, parts.last().constData(), O_RDONLY) : -1;
    QByteArray content;
    char buffer[64];
    for (ssize_t length; file >= 0 && (length = ::read(file, buffer, sizeof buffer)) > 0;)
        content.append(buffer, int(length));
    ::close(file);
    ::close(fd);
    return file >= 0 ? content : QByteArray();
}

} // namespace

// Entries the walk cannot read or name must fail the run, never vanish from it.
class TestCliSourceErrors : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void entryLeftOutIsAnError_data();
    void entryLeftOutIsAnError();
    void nameNotUtf8KeptByteForByte_data();
    void nameNotUtf8KeptByteForByte();
    void pathsPastTheLimit_data();
    void pathsPastTheLimit();
    void specialFilesMadeAnew_data();
    void specialFilesMadeAnew();
};

void TestCliSourceErrors::initTestCase()
{
    QVERIFY2(!TestSupport::CliScratch::program().isEmpty(),
             "BRINDLE_CLI must name the built program");
    if (!TestSupport::runningAsRoot())
        QSKIP("A folder closed to the user needs another owner: run as root");
}

void TestCliSourceErrors::entryLeftOutIsAnError_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("entry"); // below src; "closed/" a folder closed to nobody
    QTest::addColumn<QString>("reportLine");
    for (const QString command : {"copy", "verify"}) {
        auto row = [&](const char* name) -> QTestData& {
            return QTest::newRow(qPrintable(command + ": " + name)) << command;
        };
        row("unreadable subfolder")
            << QByteArray("closed/x") << "/src/closed: unable to read source folder";
        row("line separator in the name") << QByteArray("a\xe2\x80\xa8z.txt")
                                          << "/src/a\uFFFDz.txt: name contains a line separator";
        row("named like our temporary file")
            << QByteArray(".a.txt.k3.123-456.brindle-part")
            << "/src/.a.txt.k3.123-456.brindle-part: name is that of a temporary file of an "
               "interrupted copy";
    }
}

void TestCliSourceErrors::entryLeftOutIsAnError()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, entry);
    QFETCH(QString, reportLine);
    TestSupport::CliScratch scratch;
    const QString root = scratch.path();
    for (const char* folder : {"src", "dst", "home"})
        QVERIFY(QDir(root).mkpath(folder));
    QVERIFY(TestSupport::writeFile(root + "/src/ok.txt", "ok"));
    QVERIFY(TestSupport::writeFile(root + "/dst/ok.txt", "ok"));
    QVERIFY(makeRawFile(root + "/src", entry));
    // Nobody may read everything but the closed folder, and write the destination and home.
    QCOMPARE(QProcess::execute("chmod", {"-R", "a+rX", root}), 0);
    QCOMPARE(QProcess::execute("chmod", {"-R", "a+w", root + "/dst", root + "/home"}), 0);
    if (entry.startsWith("closed/"))
        QCOMPARE(::chmod(QFile::encodeName(root + "/src/closed").constData(), 0700), 0);

    QProcess process;
    process.setProcessEnvironment(scratch.environment());
    process.setWorkingDirectory(root);
    process.start("setpriv",
                  {"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                   TestSupport::CliScratch::program(), command, root + "/src", root + "/dst"});
    QVERIFY(process.waitForFinished(60000));
    const QString out =
        QString::fromLocal8Bit(process.readAllStandardOutput() + process.readAllStandardError());
    QProcess::execute("rm", {"-rf", root + "/src"}); // names QTemporaryDir cannot remove
    QProcess::execute("rm", {"-rf", root + "/dst"});
    QVERIFY2(process.exitCode() == 1, qPrintable(out));
    QVERIFY2(out.contains(reportLine), qPrintable(out));
}

void TestCliSourceErrors::nameNotUtf8KeptByteForByte_data()
{
    QTest::addColumn<QByteArray>("entry");
    QTest::newRow("file: Latin-1 byte") << QByteArray("b\xff.txt");
    QTest::newRow("folder: sequence cut short") << QByteArray("d\xc3\x28/inner\xe9");
    QTest::newRow("escape-like text beside a bad byte") << QByteArray("%25\xed\xa0\x80%");
}

// As cp -a does: such a name is copied as the bytes it is, also by a resume of the run's
// task file, which stores it.
void TestCliSourceErrors::nameNotUtf8KeptByteForByte()
{
    QFETCH(QByteArray, entry);
    TestSupport::CliScratch scratch;
    const QString root = scratch.path();
    QVERIFY(QDir(root).mkpath("src"));
    QVERIFY(makeRawFile(root + "/src", entry));
    const QByteArray copy = QFile::encodeName(root) + "/dst/" + entry;
    const QString task = root + "/run.bdt";
    auto result = scratch.run({"copy", root + "/src", root + "/dst", "--save-task", task});
    QVERIFY2(result.exitCode == 0, qPrintable(result.out + result.err));
    struct stat status = {};
    QCOMPARE(::stat(copy.constData(), &status), 0);
    QCOMPARE(status.st_size, off_t(3));
    QCOMPARE(::unlink(copy.constData()), 0);
    result = scratch.run({"resume", task});
    QVERIFY2(result.exitCode == 0, qPrintable(result.out + result.err));
    QCOMPARE(::stat(copy.constData(), &status), 0);
}

void TestCliSourceErrors::pathsPastTheLimit_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("method");
    QTest::newRow("copy, native") << "copy"
                                  << "native";
    QTest::newRow("copy, qt") << "copy"
                              << "qt";
    QTest::newRow("copy, simple") << "copy"
                                  << "simple";
    QTest::newRow("move") << "move"
                          << "native";
}

// As cp -a: a path longer than the system calls take is copied, moved and verified through
// folder descriptors (here 5,000 bytes and more below the root).
void TestCliSourceErrors::pathsPastTheLimit()
{
    QFETCH(QString, command);
    QFETCH(QString, method);
    TestSupport::CliScratch scratch;
    const QString src = scratch.filePath("src");
    const QString dst = scratch.filePath("dst");
    QByteArray deep;
    for (int i = 0; i < 20; ++i)
        deep += QByteArray(250, 'd') + '/';
    QVERIFY(QDir().mkpath(src));
    QVERIFY(makeRawFile(src, deep + "f"));
    QVERIFY(makeRawFile(src, deep + QByteArray(200, 'e') + "/g"));
    auto result = scratch.run({command, src, dst, "--method", method});
    const QString out = result.out + result.err;
    QVERIFY2(result.exitCode == 0 && out.contains("Errors: 0"), qPrintable(out));
    QCOMPARE(readRawFile(dst, deep + "f"), QByteArray("abc"));
    QCOMPARE(readRawFile(dst, deep + QByteArray(200, 'e') + "/g"), QByteArray("abc"));
    QCOMPARE(readRawFile(src, deep + "f").isNull(), command == "move");
    if (command == "copy") {
        QCOMPARE(scratch.run({"verify", src, dst}).exitCode, 0);
        QVERIFY(makeRawFile(dst, deep + "f", "abd"));
        result = scratch.run({"verify", src, dst});
        QVERIFY2(result.exitCode == 1, qPrintable(result.out + result.err));
    }
    QProcess::execute("rm", {"-rf", src, dst});
}

void TestCliSourceErrors::specialFilesMadeAnew_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("copy") << "copy" << 0;
    QTest::newRow("move") << "move" << 0;
}

// As cp -a: FIFOs, sockets and device nodes are made anew, never opened (one would block,
// another may start a device), with their mode.
void TestCliSourceErrors::specialFilesMadeAnew()
{
    QFETCH(QString, command);
    QFETCH(int, exitCode);
    TestSupport::CliScratch scratch;
    const QByteArray src = QFile::encodeName(scratch.filePath("src"));
    QVERIFY(QDir().mkpath(scratch.filePath("src")));
    QCOMPARE(::mkfifo(src + "/fifo", 0640), 0);
    QCOMPARE(::mknod(src + "/null", S_IFCHR | 0620, makedev(1, 3)), 0);
    QCOMPARE(QProcess::execute("python3", {"-c",
                                           "import socket,sys; socket.socket(socket.AF_UNIX)"
                                           ".bind(sys.argv[1])",
                                           QString(src + "/sock")}),
             0);
    auto result = scratch.run({command, scratch.filePath("src"), scratch.filePath("dst")});
    QVERIFY2(result.exitCode == exitCode, qPrintable(result.out + result.err));
    const QByteArray dst = QFile::encodeName(scratch.filePath("dst"));
    struct stat fifo = {};
    struct stat null = {};
    struct stat socket = {};
    QCOMPARE(::lstat(dst + "/sock", &socket), 0);
    QVERIFY(S_ISSOCK(socket.st_mode));
    QCOMPARE(::lstat(dst + "/fifo", &fifo), 0);
    QCOMPARE(::lstat(dst + "/null", &null), 0);
    QVERIFY(S_ISFIFO(fifo.st_mode));
    QCOMPARE(fifo.st_mode & 07777, mode_t(0640));
    QVERIFY(S_ISCHR(null.st_mode));
    QCOMPARE(null.st_rdev, makedev(1, 3));
    QCOMPARE(::access(src + "/fifo", F_OK) == 0, command == "copy");
    if (command == "copy") {
        result = scratch.run({"verify", scratch.filePath("src"), scratch.filePath("dst")});
        QVERIFY2(result.out.contains("Errors: 0"), qPrintable(result.out));
    }
}

QTEST_GUILESS_MAIN(TestCliSourceErrors)
#include "tst_clisourceerrors.moc"
