#include "cliscratch.h"
#include "exfatmount.h"
#include "fs/pathfilters.h"
#include "testsupport.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

// The files brindle-cli selects with --include and --exclude are those rsync selects with the
// same patterns, and --report-filtered names every file left out.
class TestCliFilters : public QObject
{
    Q_OBJECT

private slots:
    void sameSelectionAsRsync_data();
    void sameSelectionAsRsync();
    void caseAsTheSourceFileSystem();
    void moveLeavesWhatFiltersLeftOut();

private:
    QStringList filesBelow(const QString& folder) const;
};

namespace {

const QStringList treeFiles{"a.jpg",
                            "B.JPG",
                            "c.txt",
                            "a,b.txt",
                            "sp ace.jpg",
                            "photos/p.jpg",
                            "photos/q.png",
                            "photos/sub/s.jpg",
                            "myphotos/m.jpg",
                            "2020/x.jpg",
                            "2020/photos/r.jpg",
                            "new\nline.tmp",
                            "two  spaces.txt"};

} // namespace

QStringList TestCliFilters::filesBelow(const QString& folder) const
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

void TestCliFilters::sameSelectionAsRsync_data()
{
    QTest::addColumn<QStringList>("brindle");
    QTest::addColumn<QStringList>("rsync");

    // rsync walks a folder only when a rule lets it in; brindle's --include picks files and
    // walks every folder, as "--include=*/ ... --exclude=*" does.
    const auto only = [](const QString& pattern) {
        return QStringList{"--include=*/", "--include=" + pattern, "--exclude=*"};
    };
    QTest::newRow("*.jpg") << QStringList{"--include", "*.jpg"} << only("*.jpg");
    QTest::newRow("exclude photos/")
        << QStringList{"--exclude", "photos/"} << QStringList{"--exclude=photos/"};
    // A folder pattern picks everything under the folder, as rsync's "***" does.
    QTest::newRow("include photos/") << QStringList{"--include", "photos/"} << only("photos/***");
    QTest::newRow("photos/*.jpg") << QStringList{"--include", "photos/*.jpg"}
                                  << only("photos/*.jpg");
    QTest::newRow("exclude photos/*.jpg")
        << QStringList{"--exclude", "photos/*.jpg"} << QStringList{"--exclude=photos/*.jpg"};
    QTest::newRow("**/photos/* at any depth, the top too")
        << QStringList{"--include", "**/photos/*"} << only("**/photos/*");
    QTest::newRow("exclude /photos/")
        << QStringList{"--exclude", "/photos/"} << QStringList{"--exclude=/photos/"};
    QTest::newRow("a,b.txt literal comma")
        << QStringList{"--include", "a\\,b.txt"} << only("a,b.txt");
    QTest::newRow("*.JPG case counts") << QStringList{"--include", "*.JPG"} << only("*.JPG");
    QTest::newRow("*.JPG ignore case")
        << QStringList{"--include", "*.JPG", "--ignore-case"} << only("*.[jJ][pP][gG]");
    QTest::newRow("exclude wins over include")
        << QStringList{"--include", "*.jpg", "--exclude", "photos/"}
        << (QStringList{"--exclude=photos/"} + only("*.jpg"));
    QTest::newRow("a name with a newline")
        << QStringList{"--exclude", "new\nline.tmp"} << QStringList{"--exclude=new\nline.tmp"};
    QTest::newRow("two spaces in a row")
        << QStringList{"--exclude", "two  spaces.txt"} << QStringList{"--exclude=two  spaces.txt"};
    QTest::newRow("five --exclude add up")
        << QStringList{"--exclude", "*.png",     "--exclude", "*.tmp",     "--exclude",
                       "c.*",       "--exclude", "2020/",     "--exclude", "sp ace.jpg"}
        << QStringList{"--exclude=*.png", "--exclude=*.tmp", "--exclude=c.*", "--exclude=2020/",
                       "--exclude=sp ace.jpg"};
    QTest::newRow("two patterns in one option") << QStringList{"--exclude", "*.png, sub/"}
                                                << QStringList{"--exclude=*.png", "--exclude=sub/"};
}

void TestCliFilters::sameSelectionAsRsync()
{
    QFETCH(QStringList, brindle);
    QFETCH(QStringList, rsync);
    const QString rsyncProgram = QStandardPaths::findExecutable("rsync");
    if (rsyncProgram.isEmpty())
        QSKIP("rsync is not installed: nothing to compare the selection with");

    TestSupport::CliScratch dir;
    for (const QString& file : treeFiles)
        QVERIFY(TestSupport::writeFile(dir.filePath("src/" + file), "x"));
    if (!PathFilters::caseSensitiveAt(dir.path()) && !brindle.contains("--ignore-case"))
        QSKIP("the scratch folder's file system ignores case; rsync's patterns never do");

    QProcess reference;
    reference.setWorkingDirectory(dir.path());
    reference.start(rsyncProgram, QStringList{"-a", "--dry-run", "--out-format=%n"} + rsync +
                                      QStringList{"src/", "rsync-dst/"});
    QVERIFY(reference.waitForFinished(60000));
    QCOMPARE(reference.exitCode(), 0);
    QStringList expected;
    // rsync writes the newline of a name as "\#012".
    QString listed = QString::fromUtf8(reference.readAllStandardOutput());
    for (const QString& line : listed.replace("\\#012", QString("\r")).split('\n')) {
        if (!line.isEmpty() && !line.endsWith('/'))
            expected << QString(line).replace('\r', '\n');
    }
    expected.sort();

    const TestSupport::CliScratch::Result result =
        dir.run(QStringList{"copy", "src", "dst", "--report-filtered", "--json"} + brindle);
    QCOMPARE(result.exitCode, 0);
    const QStringList copied = filesBelow(dir.filePath("dst"));
    QCOMPARE(copied, expected);

    // Every file left out is named, itself or through the folder that holds it.
    const QString sourceRoot = QDir(dir.filePath("src")).absolutePath() + '/';
    QStringList named;
    qint64 filteredFiles = 0;
    qint64 filteredFolders = 0;
    for (const QJsonValue& value : result.json.value("filteredItems").toArray()) {
        const QJsonObject item = value.toObject();
        const QString path = item.value("source").toString().mid(sourceRoot.size());
        QVERIFY2(!item.value("filter").toString().isEmpty(), qPrintable(path));
        if (item.value("folder").toBool()) {
            for (const QString& file : filesBelow(sourceRoot + path))
                named << path + '/' + file;
            ++filteredFolders;
        } else {
            named << path;
            ++filteredFiles;
        }
    }
    QCOMPARE(result.json.value("filteredFiles").toInt(), filteredFiles);
    QCOMPARE(result.json.value("filteredFolders").toInt(), filteredFolders);
    QStringList all = copied + named;
    all.sort();
    QStringList tree = treeFiles;
    tree.sort();
    QCOMPARE(all, tree);
}

// exFAT ignores case, and so do the filters of a source there, though FUSE hides its type.
void TestCliFilters::caseAsTheSourceFileSystem()
{
    TestSupport::ExfatMount mount(16 * 1024 * 1024);
    if (!mount.isValid())
        QSKIP(qPrintable(mount.skipReason()));
    const QString source = mount.path() + "/src";
    for (const QString& file : QStringList{"A.JPG", "b.jpg", "c.png", "Photos/d.jpg"})
        QVERIFY(TestSupport::writeFile(source + '/' + file, "x"));
    QVERIFY(!PathFilters::caseSensitiveAt(source));

    TestSupport::CliScratch dir;
    const TestSupport::CliScratch::Result result =
        dir.run({"copy", source, "dst", "--include", "*.jpg", "--exclude", "photos/"});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(filesBelow(dir.filePath("dst")), (QStringList{"A.JPG", "b.jpg"}));
}

// A move takes what the filters pick and leaves the rest, with the folders holding it.
void TestCliFilters::moveLeavesWhatFiltersLeftOut()
{
    TestSupport::CliScratch dir;
    for (const QString& file : treeFiles)
        QVERIFY(TestSupport::writeFile(dir.filePath("src/" + file), "x"));
    const QStringList excludes{"*.png", "*.tmp", "a\\,b.txt", "2020/", "sp ace.jpg"};
    QStringList arguments{"move", "src", "dst"};
    for (const QString& pattern : excludes)
        arguments << "--exclude" << pattern;
    QCOMPARE(dir.run(arguments).exitCode, 0);
    const QStringList left{"2020/photos/r.jpg", "2020/x.jpg",   "a,b.txt",
                           "new\nline.tmp",     "photos/q.png", "sp ace.jpg"};
    QCOMPARE(filesBelow(dir.filePath("src")), left);
    QStringList moved = treeFiles;
    for (const QString& file : left)
        moved.removeOne(file);
    moved.sort();
    QCOMPARE(filesBelow(dir.filePath("dst")), moved);
}

QTEST_GUILESS_MAIN(TestCliFilters)
#include "tst_clifilters.moc"
