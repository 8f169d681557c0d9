#include "model/copyoptions.h"

#include "testsupport.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(CopyOptions)

// Readable failure output for QCOMPARE.
char* toString(const CopyOptions& options)
{
    return qstrdup(options.toDescriptionList().join(QLatin1Char(' ')).toUtf8().constData());
}

namespace {

// Members in declaration order.
CopyOptions make(int copyMode, bool hidden, int overwrite, const QStringList& copyFilters,
                 const QStringList& skipFilters, const QStringList& skipErrors, bool recursive,
                 bool links, bool emptyFolders, int destinationMode)
{
    CopyOptions options;
    options.m_copyMode = copyMode;
    options.m_copyHiddenFiles = hidden;
    options.m_overwriteMode = overwrite;
    options.m_copyFilters = copyFilters;
    options.m_skipFilters = skipFilters;
    options.m_skipErrorOnFiles = skipErrors;
    options.m_recursive = recursive;
    options.m_copySymbolicLinks = links;
    options.m_copyEmptyFolders = emptyFolders;
    options.m_destinationMode = destinationMode;
    return options;
}

// Every member differs from the defaults, so a member that a parse or a load fails
// to touch, or touches wrongly, shows.
CopyOptions nonDefault()
{
    return make(2, false, 3, {"*.old"}, {"*.tmp"}, {"thumbs.db"}, false, false, false, 0);
}

QByteArray warning(const char* message, const QString& rest)
{
    return QByteArray(message) + " \"" + rest.toUtf8() + '"';
}

} // namespace

class TestCopyOptions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void defaultDataString();
    void roundTrip_data();
    void roundTrip();
    void fromDataString_data();
    void fromDataString();
    void equality_data();
    void equality();
    void descriptionList_data();
    void descriptionList();
    void loadFromSettings_data();
    void loadFromSettings();
    void loadedPatternsSurviveSaving_data();
    void loadedPatternsSurviveSaving();
};

void TestCopyOptions::initTestCase()
{
    TestSupport::initTestEnvironment();
}

void TestCopyOptions::defaultDataString()
{
    const QStringList expected{"0", "1", "1", "1", "1", "", "", "desktop.ini", "1", "1", "0"};
    QCOMPARE(CopyOptions().toDataString(), expected);
}

void TestCopyOptions::roundTrip_data()
{
    QTest::addColumn<CopyOptions>("options");

    QTest::newRow("defaults") << CopyOptions();
    QTest::newRow("every member changed") << nonDefault();
    QTest::newRow("several patterns per list")
        << make(1, true, 4, {"*.txt", "*.doc", "report-??.pdf"}, {"~*", "*.bak"},
                {"desktop.ini", "thumbs.db"}, true, true, true, 1);
    // An empty skip-error list cannot travel: its empty element reads as "keep the
    // default".
    QTest::newRow("fix errors, no overwrite, no filters")
        << make(3, true, 0, {}, {}, {"*.lnk"}, true, false, true, 1);
    CopyOptions verified =
        make(1, true, CopyOptions::OverwriteContent, {}, {}, {"desktop.ini"}, true, true, true, 1);
    verified.m_verifyCopies = true;
    QTest::newRow("verified move, overwrite by content") << verified;
    verified.m_ignoreCase = true;
    QTest::newRow("verified, case ignored") << verified;
    CopyOptions caseless = nonDefault();
    caseless.m_ignoreCase = true;
    QTest::newRow("case ignored without verify") << caseless;
    caseless.m_replaceForbiddenNames = true;
    QTest::newRow("forbidden names replaced, case ignored") << caseless;
    // The name "a, b.txt": the escaped separator stays inside the pattern.
    QTest::newRow("escaped separator in a pattern") << make(
        0, true, 1, {"a\\, b.txt", "c\\\\", "d"}, {"x\\,"}, {"desktop.ini"}, true, true, true, 1);
}

void TestCopyOptions::roundTrip()
{
    QFETCH(CopyOptions, options);
    CopyOptions parsed;
    QVERIFY(parsed.fromDataString(options.toDataString()));
    QCOMPARE(parsed, options);
}

void TestCopyOptions::fromDataString_data()
{
    QTest::addColumn<CopyOptions>("start");
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<CopyOptions>("expected");

    const CopyOptions old = nonDefault();
    // The first five elements of most rows: overwrite mode 2 and three flags set.
    const QStringList head{"0", "2", "1", "1", "1"};
    const QStringList all{"*.old"}, tmp{"*.tmp"}, thumbs{"thumbs.db"};
    const QByteArray none;

    QTest::newRow("seven elements")
        << old << QStringList{"0", "2", "1", "1", "1", "", ""} << false
        << warning("Invalid argument found in CopyOptions::fromDataString(...):", "0|2|1|1|1||")
        << old;
    QTest::newRow("eight elements keep later members")
        << old << head + QStringList{"*.txt", "", ""} << true << none
        << make(2, true, 2, {"*.txt"}, tmp, thumbs, true, true, false, 0);
    QTest::newRow("nine elements") << old << head + QStringList{"", "", "", "1"} << true << none
                                   << make(2, true, 2, all, tmp, thumbs, true, true, true, 0);
    // An older reader takes only "verify" from the twelfth text; this one takes both words.
    CopyOptions caseless = make(2, true, 2, all, tmp, thumbs, true, true, false, 1);
    caseless.m_copyMode = 1;
    caseless.m_ignoreCase = true;
    QTest::newRow("ignorecase without verify")
        << old << head + QStringList{"", "", "", "0", "1", "1", "ignorecase"} << true << none
        << caseless;
    QTest::newRow("ten elements") << old << head + QStringList{"", "", "", "0", "1"} << true << none
                                  << make(2, true, 2, all, tmp, thumbs, true, true, false, 1);
    QTest::newRow("extra elements ignored")
        << old << head + QStringList{"", "", "", "0", "0", "1", "junk"} << true << none
        << make(1, true, 2, all, tmp, thumbs, true, true, false, 0);
    QTest::newRow("two patterns per element")
        << old << head + QStringList{"*.a, *.b", "x*, y?", "desktop.ini, *.lnk"} << true << none
        << make(2, true, 2, {"*.a", "*.b"}, {"x*", "y?"}, {"desktop.ini", "*.lnk"}, true, true,
                false, 0);
    QTest::newRow("empty parts dropped")
        << old << head + QStringList{", *.doc", "*.tmp, ", ", "} << true << none
        << make(2, true, 2, {"*.doc"}, {"*.tmp"}, {}, true, true, false, 0);
    QTest::newRow("comma without blank is no separator")
        << old << head + QStringList{"*.a,*.b", "", ""} << true << none
        << make(2, true, 2, {"*.a,*.b"}, tmp, thumbs, true, true, false, 0);
    QTest::newRow("empty element keeps desktop.ini")
        << CopyOptions() << QStringList{"0", "1", "1", "1", "1", "", "", ""} << true << none
        << CopyOptions();
    // Starts from the defaults, where every flag is true.
    QTest::newRow("flags other than 1 are false")
        << CopyOptions() << QStringList{"5", "0", "2", "0", "-1", "", "", "", "7", "0", "3"} << true
        << none << make(3, false, 0, {}, {}, {"desktop.ini"}, false, false, false, 0);
    QTest::newRow("obsolete flag text")
        << old << QStringList{"no", "2", "1", "1", "1", "", "", ""} << false
        << warning("Invalid obsolete m_verifyOnlyCopiedFiles found in "
                   "CopyOptions::fromDataString(...):",
                   "2|1|1|1|||")
        << old;
    QTest::newRow("overwrite mode 6")
        << old << QStringList{"0", "6", "1", "1", "1", "", "", ""} << false
        << warning("Invalid m_overwriteMode found in CopyOptions::fromDataString(...):", "1|1|1|||")
        << old;
    QTest::newRow("overwrite mode negative")
        << old << QStringList{"0", "-1", "1", "1", "1", "", "", ""} << false
        << warning("Invalid m_overwriteMode found in CopyOptions::fromDataString(...):", "1|1|1|||")
        << old;
    // A failure keeps what was read before it.
    QTest::newRow("hidden files text")
        << old << QStringList{"0", "2", "yes", "1", "1", "", "", ""} << false
        << warning("Invalid m_copyHiddenFiles found in CopyOptions::fromDataString(...):", "1|1|||")
        << make(2, false, 2, all, tmp, thumbs, false, false, false, 0);
    QTest::newRow("recursive text")
        << old << QStringList{"0", "2", "1", "", "1", "", "", ""} << false
        << warning("Invalid m_recursive found in CopyOptions::fromDataString(...):", "1|||")
        << make(2, true, 2, all, tmp, thumbs, false, false, false, 0);
    QTest::newRow("symbolic links text")
        << old << QStringList{"0", "2", "1", "1", "1.0", "*.a", "", ""} << false
        << warning("Invalid m_copySymbolicLinks found in CopyOptions::fromDataString(...):",
                   "*.a||")
        << make(2, true, 2, all, tmp, thumbs, true, false, false, 0);
    QTest::newRow("empty folders text")
        << old << head + QStringList{"*.a", "", "", "on", "1", "0"} << false
        << warning("Invalid m_copyEmptyFolders found in CopyOptions::fromDataString(...):", "1|0")
        << make(2, true, 2, {"*.a"}, tmp, thumbs, true, true, false, 0);
    QTest::newRow("destination mode 2")
        << old << head + QStringList{"", "", "", "1", "2", "0"} << false
        << warning("Invalid m_destinationMode found in CopyOptions::fromDataString(...):", "0")
        << make(2, true, 2, all, tmp, thumbs, true, true, true, 0);
    QTest::newRow("copy mode 4")
        << old << head + QStringList{"", "", "", "1", "1", "4"} << false
        << warning("Invalid m_copyMode found in CopyOptions::fromDataString(...):", "")
        << make(2, true, 2, all, tmp, thumbs, true, true, true, 1);
    QTest::newRow("copy mode text")
        << old << head + QStringList{"", "", "", "1", "1", "move", "tail"} << false
        << warning("Invalid m_copyMode found in CopyOptions::fromDataString(...):", "tail")
        << make(2, true, 2, all, tmp, thumbs, true, true, true, 1);
}

void TestCopyOptions::fromDataString()
{
    QFETCH(CopyOptions, start);
    QFETCH(QStringList, list);
    QFETCH(bool, result);
    QFETCH(QByteArray, message);
    QFETCH(CopyOptions, expected);

    if (!message.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, message.constData());
    CopyOptions options = start;
    QCOMPARE(options.fromDataString(list), result);
    QCOMPARE(options, expected);
}

void TestCopyOptions::equality_data()
{
    QTest::addColumn<CopyOptions>("base");
    QTest::addColumn<CopyOptions>("other");

    const CopyOptions d;
    const QStringList ini{"desktop.ini"};
    QTest::newRow("copy mode") << d << make(1, true, 1, {}, {}, ini, true, true, true, 1);
    QTest::newRow("hidden files") << d << make(0, false, 1, {}, {}, ini, true, true, true, 1);
    QTest::newRow("overwrite mode") << d << make(0, true, 0, {}, {}, ini, true, true, true, 1);
    QTest::newRow("copy filters") << d << make(0, true, 1, {"*"}, {}, ini, true, true, true, 1);
    QTest::newRow("skip filters") << d << make(0, true, 1, {}, {"*"}, ini, true, true, true, 1);
    QTest::newRow("skip error patterns") << d << make(0, true, 1, {}, {}, {}, true, true, true, 1);
    QTest::newRow("recursive") << d << make(0, true, 1, {}, {}, ini, false, true, true, 1);
    QTest::newRow("symbolic links") << d << make(0, true, 1, {}, {}, ini, true, false, true, 1);
    QTest::newRow("empty folders") << d << make(0, true, 1, {}, {}, ini, true, true, false, 1);
    QTest::newRow("destination mode") << d << make(0, true, 1, {}, {}, ini, true, true, true, 0);
    CopyOptions caseless;
    caseless.m_ignoreCase = true;
    QTest::newRow("case ignored") << d << caseless;
    QTest::newRow("pattern order") << make(0, true, 1, {"a", "b"}, {}, ini, true, true, true, 1)
                                   << make(0, true, 1, {"b", "a"}, {}, ini, true, true, true, 1);
}

void TestCopyOptions::equality()
{
    QFETCH(CopyOptions, base);
    QFETCH(CopyOptions, other);

    QVERIFY(!(base == other));
    QVERIFY(base != other);
    const CopyOptions copy = other;
    QVERIFY(copy == other);
    QVERIFY(!(copy != other));
}

void TestCopyOptions::descriptionList_data()
{
    QTest::addColumn<CopyOptions>("options");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("defaults") << CopyOptions()
                              << QStringList{
                                     "CopyMode=0",         "DestinationMode=1",
                                     "Recursive=1",        "CopySymbolicLinks=1",
                                     "CopyEmptyFolders=1", "HiddenFiles=1",
                                     "OverwriteMode=1",    "CopyFilters=\"\"",
                                     "SkipFilters=\"\"",   "SkipErrorOnFiles=\"desktop.ini\""};
    QTest::newRow("every member changed")
        << make(2, false, 3, {"*.a", "%1.b"}, {"*.tmp"}, {"thumbs.db"}, false, false, false, 0)
        << QStringList{"CopyMode=2",
                       "DestinationMode=0",
                       "Recursive=0",
                       "CopySymbolicLinks=0",
                       "CopyEmptyFolders=0",
                       "HiddenFiles=0",
                       "OverwriteMode=3",
                       "CopyFilters=\"*.a, %1.b\"",
                       "SkipFilters=\"*.tmp\"",
                       "SkipErrorOnFiles=\"thumbs.db\""};
}

void TestCopyOptions::descriptionList()
{
    QFETCH(CopyOptions, options);
    QFETCH(QStringList, expected);
    QCOMPARE(options.toDescriptionList(), expected);
}

void TestCopyOptions::loadFromSettings_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<CopyOptions>("expected");

    // Every load starts from nonDefault(). Absent keys give the defaults, except the
    // skip-error patterns, which stay as they were.
    const QStringList thumbs{"thumbs.db"};
    auto absentBut = [&thumbs](int mode, int overwrite, int destination) {
        return make(mode, true, overwrite, {}, {}, thumbs, true, true, true, destination);
    };
    const CopyOptions absent = absentBut(0, 1, 1);

    QTest::newRow("no group") << QByteArray() << absent;
    QTest::newRow("keys outside the group ignored")
        << QByteArray("[General]\nMode=2\nRecursive=false\n") << absent;
    QTest::newRow("every key")
        << QByteArray("[Copy]\nMode=1\nHiddenFiles=false\nOverwriteMode=4\n"
                      "CopyFilters=*.txt, *.doc\nSkipFilters=*.bak\nSkipErrorOnFiles=a.ini, b.ini\n"
                      "Recursive=false\nCopySymbolicLinks=false\nCopyEmptyFolders=false\n"
                      "DestinationMode=0\n")
        << make(1, false, 4, {"*.txt", "*.doc"}, {"*.bak"}, {"a.ini", "b.ini"}, false, false, false,
                0);
    QTest::newRow("mode 7 gives copy") << QByteArray("[Copy]\nMode=7\n") << absentBut(0, 1, 1);
    QTest::newRow("mode 3 kept") << QByteArray("[Copy]\nMode=3\n") << absentBut(3, 1, 1);
    QTest::newRow("negative mode gives copy") << QByteArray("[Copy]\nMode=-1\n") << absent;
    QTest::newRow("mode text gives copy") << QByteArray("[Copy]\nMode=move\n") << absent;
    QTest::newRow("overwrite mode 6 gives no overwrite")
        << QByteArray("[Copy]\nOverwriteMode=6\n") << absentBut(0, 0, 1);
    QTest::newRow("overwrite mode text gives no overwrite")
        << QByteArray("[Copy]\nOverwriteMode=older\n") << absentBut(0, 0, 1);
    QTest::newRow("destination mode 5 gives normal")
        << QByteArray("[Copy]\nDestinationMode=5\n") << absent;
    QTest::newRow("destination mode text gives normal")
        << QByteArray("[Copy]\nDestinationMode=flat\n") << absent;
    QTest::newRow("destination mode 0 kept")
        << QByteArray("[Copy]\nDestinationMode=0\n") << absentBut(0, 1, 0);
    // An empty INI value reads as one empty text; as a filter it would match nothing.
    QTest::newRow("empty lists") << QByteArray(
                                        "[Copy]\nCopyFilters=\nSkipFilters=\nSkipErrorOnFiles=\n")
                                 << make(0, true, 1, {}, {}, {}, true, true, true, 1);
    QTest::newRow("single pattern") << QByteArray("[Copy]\nCopyFilters=*.jpg\n")
                                    << make(0, true, 1, {"*.jpg"}, {}, thumbs, true, true, true, 1);
}

void TestCopyOptions::loadFromSettings()
{
    QFETCH(QByteArray, ini);
    QFETCH(CopyOptions, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("task.ini");
    QVERIFY(TestSupport::writeFile(path, ini));
    QSettings settings(path, QSettings::IniFormat);

    CopyOptions options = nonDefault();
    options.loadFromSettings(settings);
    QCOMPARE(options, expected);
    QCOMPARE(settings.group(), QString());
}

// Found by fuzzing the task-file loader: a legacy pattern holding the data-string separator
// made every later save of the task unreadable, and one holding ", " came back as two.
void TestCopyOptions::loadedPatternsSurviveSaving_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("refused");

    QTest::newRow("separator inside a pattern")
        << QByteArray("*\\x2028.txt") << QStringList{"*?.txt"} << QString("*\u2028.txt");
    QTest::newRow("separator next to the pattern separator")
        << QByteArray("\"*.a\\x2028, *.b\"") << QStringList{"*.a?", "*.b"}
        << QString("*.a\u2028, *.b");
    QTest::newRow("quoted entry holding the pattern separator")
        << QByteArray("\"*.txt, *.doc\", *.md") << QStringList{"*.txt", "*.doc", "*.md"}
        << QString();
    QTest::newRow("entry of pattern separators only")
        << QByteArray("\", , \"") << QStringList() << QString();
    QTest::newRow("commas without blank stay")
        << QByteArray("\"a,b\"") << QStringList{"a,b"} << QString();
}

void TestCopyOptions::loadedPatternsSurviveSaving()
{
    QFETCH(QByteArray, value);
    QFETCH(QStringList, expected);
    QFETCH(QString, refused);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("task.ini");
    QVERIFY(TestSupport::writeFile(path, "[Copy]\nCopyFilters=" + value + "\nSkipFilters=" + value +
                                             "\nSkipErrorOnFiles=x.ini, " + value + '\n'));
    QSettings settings(path, QSettings::IniFormat);

    if (!refused.isEmpty()) {
        QString quoted;
        QDebug(&quoted) << refused;
        const QByteArray message =
            "Invalid character in pattern found in CopyOptions::loadFromSettings(...): " +
            quoted.trimmed().toUtf8();
        for (int list = 0; list < 3; ++list)
            QTest::ignoreMessage(QtWarningMsg, message.constData());
    }
    CopyOptions options;
    options.loadFromSettings(settings);
    QCOMPARE(options.m_copyFilters, expected);
    QCOMPARE(options.m_skipFilters, expected);
    QCOMPARE(options.m_skipErrorOnFiles, QStringList{"x.ini"} + expected);

    CopyOptions saved;
    QVERIFY(saved.fromDataString(options.toDataString()));
    QCOMPARE(saved, options);
}

QTEST_GUILESS_MAIN(TestCopyOptions)
#include "tst_copyoptions.moc"
