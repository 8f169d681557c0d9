#include "app/appsettings.h"
#include "base/handover.h"
#include "engine/buildfilelistjob.h"
#include "jobs/jobthread.h"
#include "jobs/jobthreadpool.h"

#include "testsupport.h"

#include <QtTest>

#include <atomic>
#include <functional>

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const char childVariable[] = "BRINDLE_WALK_CHILD";

QByteArray local(const QString& path)
{
    return QFile::encodeName(path);
}

bool makeSocket(const QString& path)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, local(path).constData(), sizeof(address.sun_path));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return bound;
}

// "a/" a folder, "a|" a FIFO, "a=" a socket, "a%" a device, "a>b" a link to root/b ("a>@b":
// to the text b as written), anything else a file holding "abc".
bool makeEntry(const QString& root, QString entry)
{
    const QChar kind = entry.back();
    const int arrow = entry.indexOf('>');
    if (arrow >= 0 || QString("/|=%").contains(kind)) {
        const QString path = root + '/' + entry.left(arrow >= 0 ? arrow : entry.size() - 1);
        QDir().mkpath(QFileInfo(path).path());
        if (arrow >= 0) {
            const QString target = entry.mid(arrow + 1);
            return QFile::link(target.startsWith('@') ? target.mid(1) : root + '/' + target, path);
        }
        if (kind == '/')
            return QDir().mkpath(path);
        if (kind == '|')
            return ::mkfifo(local(path).constData(), 0644) == 0;
        if (kind == '=')
            return makeSocket(path);
        return ::mknod(local(path).constData(), S_IFCHR | 0644, makedev(1, 3)) == 0;
    }
    return TestSupport::writeFile(root + '/' + entry, "abc");
}

// Gives the job its options and settings. Tokens: collate, report, hidden=off,
// recursive=off, links=off, emptyfolders=off, mode=verify|move, overwrite=<0..4>, copy=<a;b>,
// skip=<a;b>.
void setUp(BuildFileListJob* job, const QString& text)
{
    CopyOptions options;
    RunSettings settings;
    for (const QString& token : text.split(' ', Qt::SkipEmptyParts)) {
        const QString value = token.section('=', 1);
        if (token == "collate")
            options.m_destinationMode = CopyOptions::Collate;
        else if (token == "report")
            settings.reportFilteredFiles = true;
        else if (token == "hidden=off")
            options.m_copyHiddenFiles = false;
        else if (token == "recursive=off")
            options.m_recursive = false;
        else if (token == "links=off")
            options.m_copySymbolicLinks = false;
        else if (token == "emptyfolders=off")
            options.m_copyEmptyFolders = false;
        else if (token == "mode=verify")
            options.m_copyMode = CopyOptions::Verify;
        else if (token == "mode=move")
            options.m_copyMode = CopyOptions::Move;
        else if (token.startsWith("overwrite="))
            options.m_overwriteMode = value.toInt();
        else if (token.startsWith("copy="))
            options.m_copyFilters = value.split(';');
        else if (token.startsWith("skip="))
            options.m_skipFilters = value.split(';');
    }
    job->setOptions(options);
    job->setSettings(settings);
}

// Makes each entry from its raw bytes, relative to root ("x/" a folder), one component at a
// time below the folder's descriptor: the path may be longer than the system calls take.
bool hasLineSeparator(const QString& text)
{
    return text.contains(QChar(0x2028)) || text.contains(QChar(0x2029));
}

bool makeRawEntry(const QString& root, const QByteArray& entry)
{
    int fd = ::open(local(root).constData(), O_RDONLY | O_DIRECTORY);
    const QList<QByteArray> parts = entry.split('/');
    bool ok = fd >= 0;
    for (int i = 0; ok && i < parts.size(); ++i) {
        if (parts[i].isEmpty())
            break;
        if (i + 1 < parts.size()) {
            ok = ::mkdirat(fd, parts[i].constData(), 0755) == 0 || errno == EEXIST;
            const int next = ::openat(fd, parts[i].constData(), O_RDONLY | O_DIRECTORY);
            ::close(fd);
            fd = next;
            ok = ok && fd >= 0;
        } else {
            const int file = ::openat(fd, parts[i].constData(), O_WRONLY | O_CREAT, 0644);
            ok = file >= 0 && ::write(file, "abc", 3) == 3;
            ::close(file);
        }
    }
    ::close(fd);
    return ok;
}

} // namespace

class TestBuildFileListJob : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void walkRules_data();
    void walkRules();
    void entriesThatCannotBeNamed_data();
    void entriesThatCannotBeNamed();
    void overwriteRules_data();
    void overwriteRules();
    void breadthFirstOrder();
    void batchesRepeatTheReports();
    void stop_data();
    void stop();
    void foldersWithoutAccess_data();
    void foldersWithoutAccess();
    void runAsChild();

private:
    // Runs the job on a pool thread; every report is formatted with paths relative to root.
    QStringList walk(BuildFileListJob* job, const QString& root,
                     const std::function<void()>& onReport = nullptr);
};

void TestBuildFileListJob::initTestCase()
{
    TestSupport::initTestEnvironment();
    AppSettings::instance();
    JobThreadPool::createThreads(2);
    JobThreadPool::startThreads();
}

void TestBuildFileListJob::cleanupTestCase()
{
    JobThreadPool::destroyThreads();
}

QStringList TestBuildFileListJob::walk(BuildFileListJob* job, const QString& root,
                                       const std::function<void()>& onReport)
{
    QStringList reports;
    bool completed = false;
    auto rel = [root](QString path) { return path.replace(root + '/', QString()); };
    auto size = [](qint64 bytes, bool isFolder) {
        return isFolder ? QString("dir") : QString::number(bytes);
    };
    connect(job, &BuildFileListJob::itemToCopy, this,
            [&](const QString& s, const QString& d, qint64 n, bool folder) {
                reports << QString("copy %1 %2 %3").arg(rel(s), rel(d), size(n, folder));
            });
    connect(job, &BuildFileListJob::itemToSkip, this,
            [&](const QString& s, const QString& d, qint64 n, bool folder, const QString& r) {
                reports << QString("skip %1 %2 %3: %4").arg(rel(s), rel(d), size(n, folder), r);
            });
    connect(job, &BuildFileListJob::symbolicLinkToCopy, this,
            [&](const QString& s, const QString& d, qint64, const QString& target) {
                reports << QString("link %1 %2 > %3").arg(rel(s), rel(d), rel(target));
            });
    connect(job, &Job::jobCompleted, this, [&] {
        HandOver::receive(job);
        completed = true;
    });
    if (onReport) {
        // Runs in the job's thread, between two reports.
        connect(job, &BuildFileListJob::itemToCopy, job, onReport, Qt::DirectConnection);
        connect(job, &BuildFileListJob::itemToSkip, job, onReport, Qt::DirectConnection);
        connect(job, &BuildFileListJob::symbolicLinkToCopy, job, onReport, Qt::DirectConnection);
    }
    JobThreadPool::leastBusyThread()->addJob(job);
    [&] { QTRY_VERIFY_WITH_TIMEOUT(completed, 20000); }();
    disconnect(job, nullptr, this, nullptr);
    for (const CopyItem& item : job->errorItems())
        reports << QString("error %1 %2 %3: %4")
                       .arg(rel(item.source_path), rel(item.destination_path))
                       .arg(item.copy_state)
                       .arg(item.copy_message);
    return reports;
}

void TestBuildFileListJob::walkRules_data()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QString>("run"); // source, destination, then the options
    QTest::addColumn<QStringList>("expected");
    const QStringList levels{"src/a.txt", "src/s1/b.txt", "src/s1/s2/c.txt"};
    QTest::newRow("normal: every subfolder, not the source")
        << levels << "src dst"
        << QStringList{"copy src/a.txt dst/a.txt 3", "copy src/s1 dst/s1 dir",
                       "copy src/s1/b.txt dst/s1/b.txt 3", "copy src/s1/s2 dst/s1/s2 dir",
                       "copy src/s1/s2/c.txt dst/s1/s2/c.txt 3"};
    QTest::newRow("collate: files only, all in the destination")
        << levels << "src dst collate"
        << QStringList{"copy src/a.txt dst/a.txt 3", "copy src/s1/b.txt dst/b.txt 3",
                       "copy src/s1/s2/c.txt dst/c.txt 3"};
    QTest::newRow("not recursive")
        << levels << "src dst recursive=off" << QStringList{"copy src/a.txt dst/a.txt 3"};
    QTest::newRow("empty folders on")
        << QStringList{"src/e1/e2/"} << "src dst"
        << QStringList{"copy src/e1 dst/e1 dir", "copy src/e1/e2 dst/e1/e2 dir"};
    QTest::newRow("empty folders off: still reported, the task holds them back")
        << QStringList{"src/e1/e2/"} << "src dst emptyfolders=off"
        << QStringList{"copy src/e1 dst/e1 dir", "copy src/e1/e2 dst/e1/e2 dir"};
    // Case counts, as it does among the names of the source's file system.
    QTest::newRow("copy filter picks files, every folder walked")
        << QStringList{"src/a.TXT", "src/a.txt", "src/a.log", "src/d.log/b.txt", "src/d.log/b.log"}
        << "src dst copy=*.txt"
        << QStringList{"copy src/a.txt dst/a.txt 3", "copy src/d.log dst/d.log dir",
                       "copy src/d.log/b.txt dst/d.log/b.txt 3"};
    QTest::newRow("copy filters left out, reported")
        << QStringList{"src/a.txt", "src/b.log"} << "src dst copy=*.txt report"
        << QStringList{"copy src/a.txt dst/a.txt 3",
                       "skip src/b.log dst/b.log 3: source file matches no copy filter"};
    const QStringList filtered{"src/tmpfile", "src/tmpdir/x.txt", "src/keep"};
    QTest::newRow("skip filter, unreported: folder not walked")
        << filtered << "src dst skip=tmp*" << QStringList{"copy src/keep dst/keep 3"};
    QTest::newRow("skip filter, reported")
        << filtered << "src dst skip=x;tmp* report"
        << QStringList{"copy src/keep dst/keep 3",
                       "skip src/tmpfile dst/tmpfile 3: source file is left out by the skip "
                       "filter \"tmp*\"",
                       "skip src/tmpdir dst/tmpdir dir: source folder is left out by the skip "
                       "filter \"tmp*\""};
    const QStringList hidden{"src/.h", "src/.hd/x", "src/v"};
    QTest::newRow("hidden off, reported")
        << hidden << "src dst hidden=off report"
        << QStringList{"copy src/v dst/v 3", "skip src/.h dst/.h 3: source file is hidden",
                       "skip src/.hd dst/.hd dir: source folder is hidden"};
    QTest::newRow("hidden off, unreported")
        << hidden << "src dst hidden=off" << QStringList{"copy src/v dst/v 3"};
    QTest::newRow("hidden on") << hidden << "src dst"
                               << QStringList{"copy src/v dst/v 3", "copy src/.h dst/.h 3",
                                              "copy src/.hd dst/.hd dir",
                                              "copy src/.hd/x dst/.hd/x 3"};
    const QStringList links{"src/a",          "src/s/b",        "src/s/l>src/s",
                            "src/f>src/a",    "src/s/r>@../a",  "src/s/deep>src/s/b",
                            "src/root>src",   "src/g>src/gone", "src/o>other/o",
                            "src/sib>src2/x", "src2/x",         "other/o"};
    QTest::newRow("links: absolute into the copy, others kept, folder links not walked")
        << links << "src dst"
        << QStringList{"copy src/a dst/a 3",
                       "copy src/s dst/s dir",
                       "copy src/s/b dst/s/b 3",
                       "link src/s/l dst/s/l > dst/s",
                       "link src/f dst/f > dst/a",
                       "link src/s/r dst/s/r > ../a",
                       "link src/s/deep dst/s/deep > dst/s/b",
                       "link src/root dst/root > dst",
                       "link src/g dst/g > dst/gone",
                       "link src/o dst/o > other/o",
                       "link src/sib dst/sib > src2/x"};
    QTest::newRow("links collated: file links by name, folder links kept")
        << links << "src dst collate"
        << QStringList{"copy src/a dst/a 3",           "copy src/s/b dst/b 3",
                       "link src/s/l dst/l > src/s",   "link src/f dst/f > dst/a",
                       "link src/s/r dst/r > ../a",    "link src/s/deep dst/deep > dst/b",
                       "link src/root dst/root > src", "link src/g dst/g > dst/gone",
                       "link src/o dst/o > other/o",   "link src/sib dst/sib > src2/x"};
    QTest::newRow("links off, reported")
        << QStringList{"src/a", "src/f>src/a", "src/g>src/gone"} << "src dst links=off report"
        << QStringList{"copy src/a dst/a 3", "skip src/f dst/f 3: source file is symbolic link",
                       "skip src/g dst/g 0: source file is symbolic link"};
    QTest::newRow("links off, unreported")
        << QStringList{"src/a", "src/l>src/d", "src/d/b"} << "src dst links=off"
        << QStringList{"copy src/a dst/a 3", "copy src/d dst/d dir", "copy src/d/b dst/d/b 3"};
    QTest::newRow("source is destination")
        << levels << "src/ src"
        << QStringList{"skip src src dir: recognized as destination folder"};
    const QStringList inside{"src/a", "src/out/old", "src/out/s/x"};
    QTest::newRow("destination inside source")
        << inside << "src src/out overwrite=2"
        << QStringList{"copy src/a src/out/a 3",
                       "skip src/out src/out/out dir: recognized as destination folder"};
    QTest::newRow("destination inside source, collated")
        << inside << "src src/out collate overwrite=2"
        << QStringList{"copy src/a src/out/a 3",
                       "skip src/out src/out/out dir: recognized as destination folder"};
    QTest::newRow("FIFO, socket and device listed to be made anew")
        << QStringList{"src/p|", "src/s=", "src/d%", "src/a"} << "src dst"
        << QStringList{"copy src/a dst/a 3", "copy src/p dst/p 0", "copy src/s dst/s 0",
                       "copy src/d dst/d 0"};
    QTest::newRow("special files follow the filters first")
        << QStringList{"src/.p|", "src/q|"} << "src dst hidden=off skip=q" << QStringList{};
    QTest::newRow("single file: no filter, hidden or link rule")
        << QStringList{"src/.x.tmp"} << "src/.x.tmp dst hidden=off skip=*.tmp overwrite=0"
        << QStringList{"copy src/.x.tmp dst/.x.tmp 3"};
    QTest::newRow("single file missing: left to the copier")
        << QStringList{} << "src/none dst" << QStringList{"copy src/none dst/none 0"};
    QTest::newRow("verify: missing destination is an error")
        << QStringList{"src/a", "src/b", "dst/a"} << "src dst mode=verify overwrite=0"
        << QStringList{"copy src/a dst/a 3",
                       "error src/b dst/b 2: Destination file does not exist"};
}

void TestBuildFileListJob::walkRules()
{
    QFETCH(QStringList, tree);
    QFETCH(QString, run);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    for (const QString& entry : tree) {
        if (!makeEntry(dir.path(), entry))
            QSKIP(qPrintable("Cannot make " + entry + ": " + qt_error_string()));
    }
    auto* job = new BuildFileListJob;
    job->setPaths(dir.filePath(run.section(' ', 0, 0)), dir.filePath(run.section(' ', 1, 1)));
    setUp(job, run.section(' ', 2));
    QStringList reports = walk(job, dir.path());
    QVERIFY(job->pendingFolders().isEmpty());
    job->deleteLater();
    reports.sort();
    expected.sort();
    QCOMPARE(reports, expected);
}

void TestBuildFileListJob::entriesThatCannotBeNamed_data()
{
    QTest::addColumn<QList<QByteArray>>("tree");
    QTest::addColumn<QString>("options");
    QTest::addColumn<QStringList>("expected"); // runs of 20 or more of one character as c{n}
    const QString bad = QString(QChar::ReplacementCharacter);
    // Such bytes are carried as lone surrogates, which come back as the same bytes.
    const QString ff = QChar(0xdcff);
    const QString c3 = QChar(0xdcc3);
    QTest::newRow("file name not valid UTF-8: copied")
        << QList<QByteArray>{"src/ok", "src/b\xff.txt"} << ""
        << QStringList{"copy src/ok dst/ok 3", "copy src/b" + ff + ".txt dst/b" + ff + ".txt 3"};
    QTest::newRow("folder name not valid UTF-8: walked")
        << QList<QByteArray>{"src/d\xc3\x28/inner"} << "recursive=on"
        << QStringList{"copy src/d" + c3 + "( dst/d" + c3 + "( dir",
                       "copy src/d" + c3 + "(/inner dst/d" + c3 + "(/inner 3"};
    QTest::newRow("not valid UTF-8 but hidden and left out")
        << QList<QByteArray>{"src/.h\xff"} << "hidden=off" << QStringList{};
    QTest::newRow("line separator in a file name, even when filtered")
        << QList<QByteArray>{"src/a\xe2\x80\xa8"
                             "b"}
        << "skip=a* report"
        << QStringList{"error src/a" + bad + "b dst/a" + bad +
                       "b 1: name contains a line separator"};
    QTest::newRow("paragraph separator in a folder name: not walked")
        << QList<QByteArray>{"src/p\xe2\x80\xa9q/x"} << ""
        << QStringList{"error src/p" + bad + "q dst/p" + bad +
                       "q 1: name contains a line separator"};
    QTest::newRow("named like our temporary file; older form copied")
        << QList<QByteArray>{"src/.a.txt.k3.123-456.brindle-part", "src/.a.txt.k3.part"} << ""
        << QStringList{"copy src/.a.txt.k3.part dst/.a.txt.k3.part 3",
                       "error src/.a.txt.k3.123-456.brindle-part dst/.a.txt.k3.123-456.brindle-part"
                       " 1: name is that of a temporary file of an interrupted copy"};
    QTest::newRow("collated name taken by an earlier file: an error, decided once")
        << QList<QByteArray>{"src/n", "src/sub/n", "src/sub/m"}
        << "recursive=on collate overwrite=2"
        << QStringList{"copy src/n dst/n 3", "copy src/sub/m dst/m 3",
                       "error src/sub/n dst/n 2: another file of this run has the same name"};
    QTest::newRow("collated name taken, automatic rename: the copier renames")
        << QList<QByteArray>{"src/n", "src/sub/n"} << "recursive=on collate overwrite=3"
        << QStringList{"copy src/n dst/n 3", "copy src/sub/n dst/n 3"};
    QTest::newRow("other non-ASCII names copied")
        << QList<QByteArray>{"src/\xc3\xa9t\xc3\xa9"} << ""
        << QStringList{QString::fromUtf8("copy src/\xc3\xa9t\xc3\xa9 dst/\xc3\xa9t\xc3\xa9 3")};
    // The root is 14 bytes and each level 251: a path of 16 levels is 4034 bytes.
    QByteArray levels = "src";
    QString shownLevels = "src";
    QStringList folders;
    for (int i = 0; i < 16; ++i) {
        levels += '/' + QByteArray(250, 'd');
        shownLevels += "/d{250}";
        folders << QString("copy %1 %2 dir").arg(shownLevels, "dst" + shownLevels.mid(3));
    }
    // Past the system's limit too: such paths are reached through folder descriptors.
    QTest::newRow("path of 4095 bytes copied")
        << QList<QByteArray>{levels + '/' + QByteArray(60, 'f')} << "recursive=on"
        << folders +
               QStringList{
                   QString("copy %1/f{60} dst%2/f{60} 3").arg(shownLevels, shownLevels.mid(3))};
    QTest::newRow("path of 4096 bytes copied")
        << QList<QByteArray>{levels + '/' + QByteArray(61, 'f')} << "recursive=on"
        << folders +
               QStringList{
                   QString("copy %1/f{61} dst%2/f{61} 3").arg(shownLevels, shownLevels.mid(3))};
    QTest::newRow("folder past the limit walked")
        << QList<QByteArray>{levels + '/' + QByteArray(250, 'd') + "/f"} << "recursive=on"
        << folders +
               QStringList{
                   QString("copy %1/d{250} dst%2/d{250} dir").arg(shownLevels, shownLevels.mid(3)),
                   QString("copy %1/d{250}/f dst%2/d{250}/f 3")
                       .arg(shownLevels, shownLevels.mid(3))};
}

void TestBuildFileListJob::entriesThatCannotBeNamed()
{
    QFETCH(QList<QByteArray>, tree);
    QFETCH(QString, options);
    QFETCH(QStringList, expected);
    QTemporaryDir dir("/tmp/bw-XXXXXX");
    QCOMPARE(dir.path().size(), 14);
    for (const QByteArray& entry : tree)
        QVERIFY2(makeRawEntry(dir.path(), entry), entry.constData());
    auto* job = new BuildFileListJob;
    job->setPaths(dir.filePath("src"), dir.filePath("dst"));
    setUp(job, options);
    const QRegularExpression warning("^Source entry .* is left out: ");
    for (const QString& line : qAsConst(expected)) {
        if (line.startsWith("error"))
            QTest::ignoreMessage(QtWarningMsg, warning);
    }
    QStringList reports;
    const QRegularExpression run("(.)\\1{19,}");
    for (QString report : walk(job, dir.path())) {
        QRegularExpressionMatch match;
        while ((match = run.match(report)).hasMatch())
            report.replace(match.capturedStart(), match.capturedLength(),
                           QString("%1{%2}").arg(match.captured(1)).arg(match.capturedLength()));
        QVERIFY2(!hasLineSeparator(report), qPrintable(report));
        reports << report;
    }
    job->deleteLater();
    // QTemporaryDir cannot name these entries; rm walks below descriptors.
    QCOMPARE(QProcess::execute("rm", {"-rf", dir.path()}), 0);
    reports.sort();
    expected.sort();
    QCOMPARE(reports, expected);
}

void TestBuildFileListJob::overwriteRules_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("offset"); // destination time minus source time, seconds
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    const QString copy = "copy src/f dst/f 3";
    const QString skip = "skip src/f dst/f 3: ";
    QTest::newRow("never") << 0 << -60 << QByteArray("abc") << skip;
    QTest::newRow("older: destination 3 s older") << 1 << -3 << QByteArray("abc") << copy;
    // Times are compared exactly where the file system keeps them finely (not FAT's 2 s).
    QTest::newRow("older: destination 1 s older") << 1 << -1 << QByteArray("abc") << copy;
    QTest::newRow("older: destination 1 s newer")
        << 1 << 1 << QByteArray("abc") << skip + "newer destination file exists";
    QTest::newRow("older: destination 3 s newer")
        << 1 << 3 << QByteArray("abc") << skip + "newer destination file exists";
    QTest::newRow("always") << 2 << 60 << QByteArray("abc") << copy;
    QTest::newRow("rename") << 3 << 60 << QByteArray("abc") << copy;
    QTest::newRow("different: identical") << 4 << 0 << QByteArray("abc") << skip;
    QTest::newRow("different: 1 s apart") << 4 << 1 << QByteArray("abc") << copy;
    QTest::newRow("different: 2 s newer") << 4 << 2 << QByteArray("abc") << copy;
    QTest::newRow("different: 2 s older") << 4 << -2 << QByteArray("abc") << copy;
    QTest::newRow("different: size") << 4 << 0 << QByteArray("abcd") << copy;
}

void TestBuildFileListJob::overwriteRules()
{
    QFETCH(int, mode);
    QFETCH(int, offset);
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QDateTime time = QDateTime::currentDateTime().addDays(-1);
    QFile source(dir.filePath("src/f")), destination(dir.filePath("dst/f"));
    QVERIFY(TestSupport::writeFile(source.fileName(), "abc"));
    QVERIFY(TestSupport::writeFile(destination.fileName(), content));
    QVERIFY(source.open(QIODevice::ReadWrite) && destination.open(QIODevice::ReadWrite));
    QVERIFY(source.setFileTime(time, QFileDevice::FileModificationTime));
    QVERIFY(destination.setFileTime(time.addSecs(offset), QFileDevice::FileModificationTime));
    auto* job = new BuildFileListJob;
    job->setPaths(dir.filePath("src"), dir.filePath("dst"));
    setUp(job, "overwrite=" + QString::number(mode));
    QCOMPARE(walk(job, dir.path()), QStringList{expected});
    job->deleteLater();
}

// Each folder's reports form one block: its own folder item first, then its entries. The
// blocks come level by level, and children in the order of their parents.
void TestBuildFileListJob::breadthFirstOrder()
{
    QTemporaryDir dir;
    for (const char* entry :
         {"src/f1", "src/.h", "src/l>src/f1", "src/A/f", "src/A/A1/f", "src/A/A1/A11/f",
          "src/A/A2/f", "src/B/f", "src/B/.h", "src/B/B1/f", "src/C/"})
        QVERIFY(makeEntry(dir.path(), entry));
    auto* job = new BuildFileListJob;
    job->setPaths(dir.filePath("src"), dir.filePath("dst"));
    setUp(job, "hidden=off report");
    const QStringList reports = walk(job, dir.path());
    job->deleteLater();
    QCOMPARE(reports.size(), 17);
    QStringList blocks;
    for (const QString& report : reports) {
        const QString source = report.section(' ', 1, 1);
        const bool folderItem = report.startsWith("copy") && report.endsWith(" dir");
        const QString block = folderItem ? source : source.section('/', 0, -2);
        if (blocks.isEmpty() || blocks.last() != block) {
            QVERIFY2(!blocks.contains(block), qPrintable(reports.join('\n')));
            QVERIFY2(block == "src" || folderItem, qPrintable(report));
            blocks << block;
        }
    }
    QCOMPARE(blocks.size(), 8);
    for (int i = 1; i < blocks.size(); ++i) {
        const QString parent = blocks[i].section('/', 0, -2);
        const QString previousParent = blocks[i - 1].section('/', 0, -2);
        QVERIFY2(blocks.indexOf(parent) >= blocks.indexOf(previousParent),
                 qPrintable(blocks.join(' ')));
    }
}

// A listener of the batches learns what a listener of the single reports learns, in the
// same order, and all of it before the job completes.
void TestBuildFileListJob::batchesRepeatTheReports()
{
    QTemporaryDir dir;
    QStringList tree{"src/.h", "src/l>src/f0", "src/A/f", "src/A/B/g", "src/C/"};
    for (int i = 0; i < 600; ++i)
        tree << QString("src/big/f%1").arg(i);
    for (const QString& entry : tree)
        QVERIFY(makeEntry(dir.path(), entry));
    auto* job = new BuildFileListJob;
    job->setPaths(dir.filePath("src"), dir.filePath("dst"));
    setUp(job, "hidden=off report");
    QStringList batched;
    QList<int> batchSizes;
    bool lateBatch = false;
    bool completed = false;
    connect(job, &Job::jobCompleted, this, [&] { completed = true; });
    const QString root = dir.path();
    connect(job, &BuildFileListJob::entriesListed, this, [&] {
        const QVector<BuildFileListJob::ListedEntry> entries = job->takeListedEntries();
        lateBatch = lateBatch || completed;
        batchSizes << entries.size();
        auto rel = [root](QString path) { return path.replace(root + '/', QString()); };
        for (const BuildFileListJob::ListedEntry& e : entries) {
            const QString size = e.isFolder ? QString("dir") : QString::number(e.size);
            if (e.kind == BuildFileListJob::ListedEntry::ToCopy)
                batched << QString("copy %1 %2 %3").arg(rel(e.source), rel(e.destination), size);
            else if (e.kind == BuildFileListJob::ListedEntry::ToSkip)
                batched << QString("skip %1 %2 %3: %4")
                               .arg(rel(e.source), rel(e.destination), size, e.text);
            else
                batched << QString("link %1 %2 > %3")
                               .arg(rel(e.source), rel(e.destination), rel(e.text));
        }
    });
    const QStringList reports = walk(job, dir.path());
    // Read before the deletion: the job lives in a pool thread, which deletes it at once.
    const bool batchLeft = !job->takeListedEntries().isEmpty();
    job->deleteLater();
    QCOMPARE(reports.size(), 608);
    QCOMPARE(batched, reports);
    QVERIFY(!lateBatch);
    QVERIFY(!batchLeft);
    // One batch per folder (listed in no set order), and the big folder's 601 reports in three.
    std::sort(batchSizes.begin(), batchSizes.end());
    QCOMPARE(batchSizes, QList<int>({1, 2, 2, 2, 89, 256, 256}));
}

void TestBuildFileListJob::stop_data()
{
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<bool>("clearsPending");
    QTest::newRow("while listing the source") << QStringList{"src"} << false;
    QTest::newRow("while listing a subfolder")
        << QStringList{"src/s0", "src/s1", "src/s2", "src/s3"} << true;
}

void TestBuildFileListJob::stop()
{
    QFETCH(QStringList, folders);
    QFETCH(bool, clearsPending);
    QTemporaryDir dir;
    for (const QString& folder : folders) {
        for (int i = 0; i < 200; ++i)
            QVERIFY(makeEntry(dir.path(), QString("%1/f%2").arg(folder).arg(i)));
    }
    if (clearsPending)
        QTest::ignoreMessage(QtDebugMsg, "Stop building list and clear folders");
    auto* job = new BuildFileListJob;
    job->setPaths(dir.filePath("src"), dir.filePath("dst"));
    setUp(job, "");
    std::atomic<int> reportsSeen{0};
    const QStringList reports = walk(job, dir.path(), [&] {
        ++reportsSeen;
        job->stopJob();
    });
    QCOMPARE(reportsSeen.load(), 1);
    QCOMPARE(reports.size(), 1);
    QVERIFY(job->isStopped());
    QVERIFY(job->pendingFolders().isEmpty());
    job->deleteLater();
}

void TestBuildFileListJob::foldersWithoutAccess_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("lockedMode"); // of src/locked after the walk
    const QString closed = "error src/closed dst/closed 1: unable to read source folder";
    const QString blind = "error src/blind dst/blind 1: unable to read source folder";
    QTest::newRow("move: own folder opened, others are errors")
        << "mode=move"
        << QStringList{"copy src/a dst/a 3", "copy src/locked dst/locked dir",
                       "copy src/locked/b dst/locked/b 3", blind, closed}
        << 0700;
    QTest::newRow("copy: nothing changed, own folder is an error too")
        << ""
        << QStringList{"copy src/a dst/a 3",
                       "error src/locked dst/locked 1: unable to read source folder", blind, closed}
        << 0600;
    QTest::newRow("verify: nothing changed, own folder is an error too")
        << "mode=verify"
        << QStringList{"error src/a dst/a 2: Destination file does not exist",
                       "error src/locked dst/locked 1: unable to read source folder", blind, closed}
        << 0600;
}

// Each run lets user nobody walk a tree that root has prepared; see runAsChild.
void TestBuildFileListJob::foldersWithoutAccess()
{
    QFETCH(QString, options);
    QFETCH(QStringList, expected);
    QFETCH(int, lockedMode);
    if (!TestSupport::runningAsRoot())
        QSKIP("Preparing folders that another user cannot enter needs root");
    QTemporaryDir dir;
    QCOMPARE(::chmod(local(dir.path()).constData(), 0755), 0);
    for (const char* entry : {"src/a", "src/locked/b", "src/closed/c", "src/blind/d"})
        QVERIFY(makeEntry(dir.path(), entry));
    for (const char* path : {"src", "src/a", "src/locked", "src/locked/b"})
        QCOMPARE(::chown(local(dir.filePath(path)).constData(), 65534, 65534), 0);
    QCOMPARE(::chmod(local(dir.filePath("src/locked")).constData(), 0600), 0);
    QCOMPARE(::chmod(local(dir.filePath("src/closed")).constData(), 0700), 0);
    QCOMPARE(::chmod(local(dir.filePath("src/blind")).constData(), 0711), 0);
    qputenv(childVariable, local(dir.path()));
    qputenv("BRINDLE_WALK_OPTIONS", options.toUtf8());
    qputenv("BRINDLE_WALK_EXPECTED", expected.join('\n').toUtf8());
    QByteArray output;
    TestSupport::runAsNobody(QCoreApplication::applicationFilePath(), {"runAsChild"}, &output);
    qunsetenv(childVariable);
    // The child's verdict is its test line: sanitizer builds may report Qt's teardown.
    QVERIFY2(output.contains("PASS   : TestBuildFileListJob::runAsChild()"), output.constData());
    struct stat locked;
    QCOMPARE(::stat(local(dir.filePath("src/locked")).constData(), &locked), 0);
    QCOMPARE(int(locked.st_mode & 07777), lockedMode);
}

void TestBuildFileListJob::runAsChild()
{
    const QString root = QString::fromLocal8Bit(qgetenv(childVariable));
    if (root.isEmpty())
        QSKIP("Run only as the child process of foldersWithoutAccess");
    QStringList expected = QString::fromUtf8(qgetenv("BRINDLE_WALK_EXPECTED")).split('\n');
    for (const QString& line : expected) {
        if (line.contains("unable to read source folder"))
            QTest::ignoreMessage(
                QtWarningMsg,
                qPrintable("Folder " + root + "/" + line.section(' ', 1, 1) + " is not readable"));
    }
    auto* job = new BuildFileListJob;
    job->setPaths(root + "/src", root + "/dst");
    setUp(job, QString::fromUtf8(qgetenv("BRINDLE_WALK_OPTIONS")));
    QStringList reports = walk(job, root);
    job->deleteLater();
    reports.sort();
    expected.sort();
    QCOMPARE(reports, expected);
}

QTEST_GUILESS_MAIN(TestBuildFileListJob)
#include "tst_buildfilelistjob.moc"
