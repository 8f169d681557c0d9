#include "fs/pathfilters.h"

#include <QtTest>

// What the walk asks of the filters, entry by entry: which skip pattern leaves it out, and
// whether the copy patterns pick a file.
class TestPathFilters : public QObject
{
    Q_OBJECT

private slots:
    void decides_data();
    void decides();
    void relativePath_data();
    void relativePath();
};

void TestPathFilters::decides_data()
{
    QTest::addColumn<QStringList>("copy");
    QTest::addColumn<QStringList>("skip");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("folder");
    // "copied", "not picked" or the skip pattern that matched.
    QTest::addColumn<QString>("expected");

    const QStringList none;
    QTest::newRow("name pattern at any depth")
        << QStringList{"*.jpg"} << none << true << "a/b/x.jpg" << false << "copied";
    QTest::newRow("star stops at the slash in a path pattern")
        << QStringList{"photos/*.jpg"} << none << true << "photos/sub/x.jpg" << false
        << "not picked";
    QTest::newRow("path pattern at the end of a deeper path")
        << QStringList{"photos/*.jpg"} << none << true << "2020/photos/x.jpg" << false << "copied";
    QTest::newRow("path pattern needs a whole folder name")
        << QStringList{"photos/*.jpg"} << none << true << "myphotos/x.jpg" << false << "not picked";
    QTest::newRow("leading slash ties to the top")
        << none << QStringList{"/build/"} << true << "src/build" << true << "copied";
    QTest::newRow("leading slash at the top")
        << none << QStringList{"/build/"} << true << "build" << true << "/build/";
    QTest::newRow("trailing slash skips a folder")
        << none << QStringList{"photos/"} << true << "a/photos" << true << "photos/";
    QTest::newRow("trailing slash never skips a file")
        << none << QStringList{"photos/"} << true << "photos" << false << "copied";
    QTest::newRow("trailing slash picks every file below")
        << QStringList{"photos/"} << none << true << "photos/deep/x.png" << false << "copied";
    QTest::newRow("double star crosses folders")
        << QStringList{"docs/**.md"} << none << true << "docs/a/b/c.md" << false << "copied";
    QTest::newRow("escaped comma")
        << QStringList{"a\\,b.txt"} << none << true << "a,b.txt" << false << "copied";
    QTest::newRow("escaped star is a star")
        << QStringList{"\\*.txt"} << none << true << "x.txt" << false << "not picked";
    QTest::newRow("set") << QStringList{"[ab].txt"} << none << true << "b.txt" << false << "copied";
    QTest::newRow("negated set never matches a slash")
        << QStringList{"a[!x]b"} << none << true << "a/b" << false << "not picked";
    QTest::newRow("case counts") << QStringList{"*.JPG"} << none << true << "x.jpg" << false
                                 << "not picked";
    QTest::newRow("case ignored") << QStringList{"*.JPG"} << none << false << "x.jpg" << false
                                  << "copied";
    QTest::newRow("skip wins over copy")
        << QStringList{"*.jpg"} << QStringList{"x*"} << true << "x.jpg" << false << "x*";
    QTest::newRow("first skip pattern named")
        << none << QStringList{"*.tmp", "x.*"} << true << "x.tmp" << false << "*.tmp";
    QTest::newRow("name with a newline and a backslash")
        << QStringList{"a?b\\\\c"} << none << true << "a\nb\\c" << false << "copied";
    // The byte 0xff of a name that is not UTF-8, as FileNameCodec holds it.
    QTest::newRow("name that is not UTF-8")
        << none << QStringList{"bad?.tmp"} << true << QString("d/bad") + QChar(0xdcff) + ".tmp"
        << false << "bad?.tmp";
    // The same byte typed in a pattern matches only itself.
    QTest::newRow("pattern holding a byte that is not UTF-8")
        << none << QStringList{QString("bad") + QChar(0xdcff) + ".tmp"} << true
        << QString("bad") + QChar(0xdcff) + ".tmp" << false
        << QString("bad") + QChar(0xdcff) + ".tmp";
    QTest::newRow("another byte is not that byte")
        << none << QStringList{QString("bad") + QChar(0xdcff) + ".tmp"} << true
        << QString("bad") + QChar(0xdcfe) + ".tmp" << false << "copied";
    // Patterns are tried many at once: the one that matched is still the one named.
    QStringList many;
    for (int i = 0; i < 250; ++i)
        many << QString("n%1").arg(i) << QString("d%1/*.x").arg(i);
    QTest::newRow("250 names and paths: one in the middle")
        << none << many << true << "a/d150/y.x" << false << "d150/*.x";
    QTest::newRow("250 names and paths: none")
        << many << many << true << "n250" << false << "not picked";
    // The top of the source itself: everything in it.
    QTest::newRow("lone slash picks all")
        << QStringList{"/"} << none << true << "a/x" << false << "copied";
}

void TestPathFilters::decides()
{
    QFETCH(QStringList, copy);
    QFETCH(QStringList, skip);
    QFETCH(bool, caseSensitive);
    QFETCH(QString, path);
    QFETCH(bool, folder);
    QFETCH(QString, expected);

    const PathFilters filters(copy, skip, caseSensitive);
    const QString skippedBy = filters.skippedBy(path, folder);
    const QString result = !skippedBy.isNull()              ? skippedBy
                           : folder || filters.copies(path) ? QStringLiteral("copied")
                                                            : QStringLiteral("not picked");
    QCOMPARE(result, expected);
}

void TestPathFilters::relativePath_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("below") << "/s"
                           << "/s/a/b"
                           << "a/b";
    QTest::newRow("root of all") << "/"
                                 << "/a/b"
                                 << "a/b";
    QTest::newRow("root itself") << "/s"
                                 << "/s"
                                 << "";
    QTest::newRow("sibling with the same start") << "/s"
                                                 << "/s2/a"
                                                 << "";
}

void TestPathFilters::relativePath()
{
    QFETCH(QString, root);
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(PathFilters::relativePath(root, path), expected);
}

QTEST_GUILESS_MAIN(TestPathFilters)
#include "tst_pathfilters.moc"
