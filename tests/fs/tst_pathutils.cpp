#include "fs/pathutils.h"
#include "testsupport.h"

#include <QtTest>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <limits>

using namespace FileSystemUtils;

class TestPathUtils : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::initTestEnvironment(); }
    void normalizePath_data();
    void normalizePath();
    void isRealDirectory_data();
    void isRealDirectory();
    void canWriteToFolder_data();
    void canWriteToFolder();
    void canWriteToFolderAsNobody();
    void elapsedTimeText_data();
    void elapsedTimeText();
    void durationText_data();
    void durationText();
    void byteSizeText_data();
    void byteSizeText();
    void roundToInt64_data();
    void roundToInt64();
    void twoStringHash_data();
    void twoStringHash();
    void nameHelpers_data();
    void nameHelpers();
    void relativeDisplayPath_data();
    void relativeDisplayPath();
    void matchesAnyPattern_data();
    void matchesAnyPattern();
    void fileNameMatchesAnyPattern();
};

void TestPathUtils::normalizePath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("doubled in the middle") << "/a//b"
                                           << "/a/b";
    QTest::newRow("run of separators") << "/a///b////c"
                                       << "/a/b/c";
    QTest::newRow("trailing separator") << "/a/b/"
                                        << "/a/b";
    QTest::newRow("root") << "/"
                          << "/";
    QTest::newRow("only separators") << "///"
                                     << "/";
    QTest::newRow("network path, untidy") << "///server//share//"
                                          << "//server/share";
}

void TestPathUtils::normalizePath()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(FileSystemUtils::normalizePath(path), expected);
}

void TestPathUtils::isRealDirectory_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("expected");
    QTest::newRow("folder") << "folder" << true;
    QTest::newRow("file") << "file" << false;
    QTest::newRow("link to folder") << "folderLink" << false;
    QTest::newRow("missing") << "missing" << false;
}

void TestPathUtils::isRealDirectory()
{
    QFETCH(QString, entry);
    QFETCH(bool, expected);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("folder"));
    QVERIFY(TestSupport::writeFile(dir.filePath("file"), "x"));
    QVERIFY(QFile::link(dir.filePath("folder"), dir.filePath("folderLink")));
    QCOMPARE(FileSystemUtils::isRealDirectory(QFileInfo(dir.filePath(entry))), expected);
}

void TestPathUtils::canWriteToFolder_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("expected");
    QTest::newRow("existing folder") << "existing" << true;
    QTest::newRow("missing folders are created") << "new/deeper/deepest" << true;
    QTest::newRow("probe name taken by a user file") << "occupied" << true;
    QTest::newRow("path of a file") << "plain.txt" << false;
}

void TestPathUtils::canWriteToFolder()
{
    QFETCH(QString, folder);
    QFETCH(bool, expected);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("existing"));
    QVERIFY(TestSupport::writeFile(dir.filePath("occupied/qxtestfile.txt"), "keep me"));
    QVERIFY(TestSupport::writeFile(dir.filePath("plain.txt"), "x"));

    QCOMPARE(FileSystemUtils::canWriteToFolder(dir.filePath(folder)), expected);
    QCOMPARE(QFileInfo(dir.filePath(folder)).isDir(), expected);
    // The probe leaves nothing behind and never touches a user's file of the same name.
    QCOMPARE(QDir(dir.filePath("existing")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList());
    QCOMPARE(QDir(dir.filePath("occupied")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{"qxtestfile.txt"});
    QCOMPARE(TestSupport::readFile(dir.filePath("occupied/qxtestfile.txt")), QByteArray("keep me"));
    QVERIFY(!FileSystemUtils::canWriteToFolder(QString()));
}

// Permissions do not bind root: the probes run in a child that became user nobody.
void TestPathUtils::canWriteToFolderAsNobody()
{
    if (!TestSupport::runningAsRoot())
        QSKIP("Needs root to switch to user nobody");
    QTemporaryDir dir;
    const QString locked = dir.filePath("locked");
    const QString open = dir.filePath("open");
    QVERIFY(QDir(dir.path()).mkdir("locked") && QDir(dir.path()).mkdir("open"));
    QVERIFY(chmod(qPrintable(dir.path()), 0755) == 0 && chmod(qPrintable(locked), 0755) == 0);
    QVERIFY(chmod(qPrintable(open), 0777) == 0);

    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
            setresuid(65534, 65534, 65534) != 0)
            _exit(10);
        int failures = 0;
        failures += FileSystemUtils::canWriteToFolder(locked) ? 1 : 0;
        failures += FileSystemUtils::canWriteToFolder(locked + "/missing") ? 2 : 0;
        failures += FileSystemUtils::canWriteToFolder(open) ? 0 : 4;
        _exit(failures);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
    QVERIFY(!QFileInfo::exists(locked + "/missing"));
}

void TestPathUtils::elapsedTimeText_data()
{
    QTest::addColumn<int>("ms");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << 0 << "0 ms";
    QTest::newRow("just below a second") << 999 << "999 ms";
    QTest::newRow("milliseconds dropped") << 1500 << "1 s";
    QTest::newRow("minute and second") << 61000 << "1 m, 1 s";
    QTest::newRow("hour, minutes, seconds") << 3723000 << "1 h, 2 m, 3 s";
    QTest::newRow("more than a day") << 25 * 3600000 << "25 h, 0 m, 0 s";
    QTest::newRow("largest") << std::numeric_limits<int>::max() << "596 h, 31 m, 23 s";
    QTest::newRow("most negative") << std::numeric_limits<int>::min() << "-596 h, 31 m, 23 s";
}

void TestPathUtils::elapsedTimeText()
{
    QFETCH(int, ms);
    QFETCH(QString, expected);
    QCOMPARE(FileSystemUtils::elapsedTimeText(ms), expected);
}

void TestPathUtils::durationText_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<bool>("withMilliseconds");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << qint64(0) << true << "0 s";
    QTest::newRow("ms padded") << qint64(45) << true << "045 ms";
    QTest::newRow("seconds with ms") << qint64(5045) << true << "5,045 s";
    QTest::newRow("seconds without ms") << qint64(5045) << false << "5 s";
    QTest::newRow("minutes pad seconds") << qint64(185000) << true << "3:05 m";
    QTest::newRow("hours") << qint64(3723999) << true << "01:02:03";
    QTest::newRow("more than a day") << qint64(25) * 3600000 << false << "25:00:00";
    QTest::newRow("negative") << qint64(-45) << true << "-045 ms";
    QTest::newRow("most negative")
        << std::numeric_limits<qint64>::min() << false << "-2562047788015:12:55";
}

void TestPathUtils::durationText()
{
    QFETCH(qint64, ms);
    QFETCH(bool, withMilliseconds);
    QFETCH(QString, expected);
    QCOMPARE(FileSystemUtils::durationText(ms, withMilliseconds), expected);
}

void TestPathUtils::byteSizeText_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<int>("precision");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << qint64(0) << -1 << "0 B";
    QTest::newRow("1000 is bytes") << qint64(1000) << -1 << "1000 B";
    QTest::newRow("1500") << qint64(1500) << -1 << "1.5 kB";
    QTest::newRow("10 kB drops decimals") << qint64(10000) << -1 << "10 kB";
    QTest::newRow("15000") << qint64(15000) << -1 << "15 kB";
    QTest::newRow("above 1 MB") << qint64(1000001) << -1 << "1.00 MB";
    QTest::newRow("2.5 million") << qint64(2500000) << -1 << "2.50 MB";
    QTest::newRow("1.5 GB") << qint64(1500000000) << -1 << "1.500 GB";
    QTest::newRow("above 1 TB") << Q_INT64_C(2500000000000) << -1 << "2.50000 TB";
    QTest::newRow("largest") << std::numeric_limits<qint64>::max() << -1 << "9223372.03685 TB";
    QTest::newRow("negative") << qint64(-5) << -1 << "-5 B";
    QTest::newRow("negative kB stays bytes") << qint64(-5000) << 2 << "-5000 B";
    QTest::newRow("precision ignored from 10 kB") << qint64(15000) << 2 << "15 kB";
    QTest::newRow("precision TB") << Q_INT64_C(2500000000000) << 1 << "2.5 TB";
}

void TestPathUtils::byteSizeText()
{
    QFETCH(qint64, bytes);
    QFETCH(int, precision);
    QFETCH(QString, expected);
    QCOMPARE(FileSystemUtils::byteSizeText(bytes, precision), expected);
}

void TestPathUtils::roundToInt64_data()
{
    const double inf = std::numeric_limits<double>::infinity();
    const qint64 max = std::numeric_limits<qint64>::max();
    const qint64 min = std::numeric_limits<qint64>::min();
    QTest::addColumn<double>("value");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("half rounds up") << 0.5 << qint64(1);
    QTest::newRow("just below half") << 0.4999 << qint64(0);
    QTest::newRow("largest below half") << 0.49999999999999994 << qint64(0);
    QTest::newRow("2.5") << 2.5 << qint64(3);
    QTest::newRow("negative half truncated") << -2.5 << qint64(-2);
    QTest::newRow("negative truncated") << -2.7 << qint64(-2);
    QTest::newRow("2^63 saturates") << 9223372036854775808.0 << max;
    QTest::newRow("-2^63 fits") << -9223372036854775808.0 << min;
    QTest::newRow("huge negative") << -1e30 << min;
    QTest::newRow("infinity") << inf << max;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << qint64(0);
}

void TestPathUtils::roundToInt64()
{
    QFETCH(double, value);
    QFETCH(qint64, expected);
    QCOMPARE(FileSystemUtils::roundToInt64(value), expected);
}

void TestPathUtils::twoStringHash_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<QString>("expected");
    const QString ab = "fb8e20fc2e4c3f248c60c39bd652f3c1347298bb977b8b4d5903b85055620603";
    QTest::newRow("both empty")
        << ""
        << ""
        << "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
    QTest::newRow("joined without separator") << "a"
                                              << "b" << ab;
    QTest::newRow("all in first") << "ab"
                                  << "" << ab;
    QTest::newRow("utf-8") << QString::fromUtf8("Ü") << QString::fromUtf8("nï")
                           << "216999f2898ef2f6f5514c9966e633a6224e147925670b4a0461ac6036b37df4";
}

void TestPathUtils::twoStringHash()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(QString, expected);
    QCOMPARE(FileSystemUtils::twoStringHash(a, b), expected);
}

void TestPathUtils::nameHelpers_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("maximumLength");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("last suffix only") << "/a/archive.tar.gz" << 0 << "archive.tar.gz"
                                      << "gz";
    QTest::newRow("suffix too long") << "photo.jpeg" << 3 << "photo.jpeg"
                                     << "";
    QTest::newRow("suffix at the limit") << "photo.jpeg" << 4 << "photo.jpeg"
                                         << "jpeg";
    QTest::newRow("no limit") << "photo.jpeg" << 0 << "photo.jpeg"
                              << "jpeg";
    QTest::newRow("no dot") << "/x/README" << 0 << "README"
                            << "";
    QTest::newRow("dot in folder only") << "/a.b/file" << 0 << "file"
                                        << "";
    QTest::newRow("hidden file") << "/home/.bashrc" << 0 << ".bashrc"
                                 << "bashrc";
    QTest::newRow("dot dot") << "/x/.." << 0 << ".."
                             << "";
    QTest::newRow("trailing separator") << "/a/b/" << 0 << ""
                                        << "";
    QTest::newRow("at the root") << "/x.y" << 0 << "x.y"
                                 << "y";
    QTest::newRow("relative, doubled separator") << "a//b" << 0 << "b"
                                                 << "";
}

void TestPathUtils::nameHelpers()
{
    QFETCH(QString, path);
    QFETCH(int, maximumLength);
    QFETCH(QString, fileName);
    QFETCH(QString, suffix);
    QCOMPARE(FileSystemUtils::fileNameOf(path), fileName);
    // The copiers take it for QFileInfo::path(), which pins their folders.
    QCOMPARE(FileSystemUtils::folderOf(path), QFileInfo(path).path());
    QCOMPARE(FileSystemUtils::limitedSuffix(path, maximumLength), suffix);
}

void TestPathUtils::relativeDisplayPath_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("equal") << "/data"
                           << "/data"
                           << "/data";
    QTest::newRow("below") << "/data"
                           << "/data/a/b.txt"
                           << "./a/b.txt";
    QTest::newRow("base with separator") << "/data/"
                                         << "/data/a"
                                         << "./a";
    QTest::newRow("elsewhere") << "/data"
                               << "/other/a"
                               << "/other/a";
    QTest::newRow("sibling sharing a prefix") << "/data/photos"
                                              << "/data/photos-old/x"
                                              << "/data/photos-old/x";
    QTest::newRow("empty base") << ""
                                << "/data/a"
                                << "/data/a";
}

void TestPathUtils::relativeDisplayPath()
{
    QFETCH(QString, base);
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(FileSystemUtils::relativeDisplayPath(base, path), expected);
}

void TestPathUtils::matchesAnyPattern_data()
{
    QTest::addColumn<QStringList>("patterns");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("matched"); // empty: no match expected
    const QStringList txtOrNotes{"*.txt", "notes.*"};
    QTest::newRow("exact name") << QStringList{"desktop.ini"} << "desktop.ini"
                                << "desktop.ini";
    QTest::newRow("case ignored") << QStringList{"desktop.ini"} << "Desktop.INI"
                                  << "desktop.ini";
    QTest::newRow("non-ascii case") << QStringList{"ÄRGER.txt"} << "ärger.TXT"
                                    << "ÄRGER.txt";
    QTest::newRow("no search inside") << QStringList{"desktop.ini"} << "old-desktop.ini"
                                      << "";
    QTest::newRow("no prefix match") << QStringList{"*.txt"} << "notes.txt.bak"
                                     << "";
    QTest::newRow("star crosses separators") << QStringList{"*photos*"} << "/d/photos/x"
                                             << "*photos*";
    QTest::newRow("question mark is one") << QStringList{"a?c"} << "abc"
                                          << "a?c";
    QTest::newRow("question mark not two") << QStringList{"a?c"} << "abbc"
                                           << "";
    QTest::newRow("dot is literal") << QStringList{"a.c"} << "abc"
                                    << "";
    QTest::newRow("regex characters literal") << QStringList{"a+b(1)$"} << "a+b(1)$"
                                              << "a+b(1)$";
    QTest::newRow("set") << QStringList{"[ab]*"} << "Beta"
                         << "[ab]*";
    QTest::newRow("negated set") << QStringList{"[!a]*"} << "alpha"
                                 << "";
    QTest::newRow("unclosed bracket literal") << QStringList{"x["} << "x["
                                              << "x[";
    QTest::newRow("malformed range literal") << QStringList{"[z-a]"} << "[z-a]"
                                             << "[z-a]";
    QTest::newRow("first in list order") << txtOrNotes << "notes.txt"
                                         << "*.txt";
    QTest::newRow("later pattern") << txtOrNotes << "notes.md"
                                   << "notes.*";
    QTest::newRow("empty pattern left out") << QStringList{""} << ""
                                            << "";
}

void TestPathUtils::matchesAnyPattern()
{
    QFETCH(QStringList, patterns);
    QFETCH(QString, text);
    QFETCH(QString, matched);
    const PatternList compiled = compileWildcardPatterns(patterns);
    QCOMPARE(compiled.size(), patterns.size() - patterns.count(QString()));
    QString found = "untouched";
    QCOMPARE(FileSystemUtils::matchesAnyPattern(text, compiled, &found), !matched.isEmpty());
    QCOMPARE(found, matched.isEmpty() ? QString("untouched") : matched);
    QCOMPARE(FileSystemUtils::matchesAnyPattern(text, compiled), !matched.isEmpty());
}

// Only the last path component is matched; the folders above it never count.
void TestPathUtils::fileNameMatchesAnyPattern()
{
    const PatternList patterns = compileWildcardPatterns({"desktop.ini", "*photos*"});
    QString found;
    QVERIFY(FileSystemUtils::fileNameMatchesAnyPattern("/data/Desktop.INI", patterns, &found));
    QCOMPARE(found, QString("desktop.ini"));
    QVERIFY(!FileSystemUtils::fileNameMatchesAnyPattern("/desktop.ini/x.txt", patterns));
    QVERIFY(!FileSystemUtils::fileNameMatchesAnyPattern("/photos/x.jpg", patterns));
    QVERIFY(!FileSystemUtils::fileNameMatchesAnyPattern("/photos/", patterns));
}

QTEST_GUILESS_MAIN(TestPathUtils)
#include "tst_pathutils.moc"
