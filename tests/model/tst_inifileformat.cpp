#include "model/inifileformat.h"

#include "testsupport.h"

#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Texts that stress the escaping: blanks at the ends, the INI syntax characters, escapes,
// control characters, Latin-1 and wider characters, lone surrogates and a hexadecimal digit
// right after a character that must be escaped.
QStringList awkwardTexts()
{
    return {QString(),
            " lead and trail ",
            "comma, semicolon; equals = quote \" backslash \\ end",
            "tab\there\nnew line\rreturn\a\b\f\v",
            QString("nul") + QChar(0) + "7 after",
            "\u00e9t\u00e9 \u4e2d\u6587 \u2028\x31separator",
            QString(QChar(0xd800)) + "lone surrogate" + QChar(0xdfff),
            "\u00ff"
            "fe hex digits after a wide character",
            "@starts with an at",
            "@@two ats",
            "@Variant(looks like a variant)",
            "[looks like a section]",
            ";looks like a comment",
            "%41 percent",
            "ends with a backslash\\",
            "\"quoted\""};
}

// QSettings keeps the files it wrote or read in a cache and does not read them again while
// their size and time stay the same; a copy under a new name must be read from its text.
QString freshCopy(const QString& path)
{
    static int copies = 0;
    const QString copy = QStringLiteral("%1.copy%2").arg(path).arg(++copies);
    return QFile::copy(path, copy) ? copy : QString();
}

QString writeWithQt(const QString& path, const QString& key, const QVariant& value)
{
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue(key, value);
    }
    return freshCopy(path);
}

QVariant readWithFormat(const QString& path, const QString& key)
{
    QSettings settings(freshCopy(path), IniFileFormat::format());
    return settings.value(key);
}

QString randomText(QRandomGenerator& random)
{
    static const QString alphabet = QStringLiteral(" ,;=\"\\@[]%#\t\n\r\u0001\u007f0aF9xU") +
                                    QChar(0) + QChar(0x2028) + QChar(0xe9) + QChar(0xffff);
    QString text;
    const int length = random.bounded(12);
    for (int i = 0; i < length; ++i)
        text += alphabet.at(random.bounded(alphabet.size()));
    return text;
}

} // namespace

class TestIniFileFormat : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void readsWhatQtWrites_data();
    void readsWhatQtWrites();
    void qtReadsWhatItWrites_data();
    void qtReadsWhatItWrites();
    void randomTextsBothWays();
    void handWrittenText_data();
    void handWrittenText();
    void valuesNeverBecomeObjects_data();
    void valuesNeverBecomeObjects();
    void refusesHostileFiles_data();
    void refusesHostileFiles();
    void acceptsLinesUpToTheLimit();

private:
    QString nextPath() { return m_dir.filePath(QStringLiteral("f%1.ini").arg(++m_files)); }

    QTemporaryDir m_dir;
    int m_files = 0;
};

void TestIniFileFormat::initTestCase()
{
    TestSupport::initTestEnvironment();
    QVERIFY(m_dir.isValid());
}

void TestIniFileFormat::readsWhatQtWrites_data()
{
    QTest::addColumn<QVariant>("value");

    const QStringList texts = awkwardTexts();
    for (int i = 0; i < texts.size(); ++i)
        QTest::addRow("text %d", i) << QVariant(texts.at(i));
    QTest::newRow("list") << QVariant(QStringList{"-a", "--x y", " ,;", "@at", ""});
    QTest::newRow("list of one") << QVariant(QStringList{"one, with comma"});
    QTest::newRow("list of one empty text") << QVariant(QStringList{""});
    QTest::newRow("empty list") << QVariant(QStringList());
    QTest::newRow("64-bit number") << QVariant(qint64(-9223372036854775807LL));
    QTest::newRow("boolean") << QVariant(true);
}

// Task files written by earlier versions came from Qt's writer.
void TestIniFileFormat::readsWhatQtWrites()
{
    QFETCH(QVariant, value);
    const QString path = writeWithQt(nextPath(), "Group/Key", value);
    const QVariant byQt = QSettings(freshCopy(path), QSettings::IniFormat).value("Group/Key");
    const QVariant read = readWithFormat(path, "Group/Key");
    QCOMPARE(read, byQt);
    QCOMPARE(read.toString(), value.toString());
    if (value.userType() == QMetaType::QStringList)
        QCOMPARE(read.toStringList(), value.toStringList());
}

void TestIniFileFormat::qtReadsWhatItWrites_data()
{
    readsWhatQtWrites_data();
}

// Files it writes must stay readable by Qt's reader, which earlier versions use.
void TestIniFileFormat::qtReadsWhatItWrites()
{
    QFETCH(QVariant, value);
    const QString path = nextPath();
    {
        QSettings settings(path, IniFileFormat::format());
        settings.setValue("Group/Sub/Key", value);
        settings.setValue("Key outside a group", 1);
        settings.sync();
        QCOMPARE(settings.status(), QSettings::NoError);
    }
    QSettings byQt(freshCopy(path), QSettings::IniFormat);
    QCOMPARE(byQt.value("Group/Sub/Key").toString(), value.toString());
    if (value.userType() == QMetaType::QStringList)
        QCOMPARE(byQt.value("Group/Sub/Key").toStringList(), value.toStringList());
    QCOMPARE(byQt.value("Key outside a group").toInt(), 1);
    QCOMPARE(readWithFormat(path, "Group/Sub/Key"), byQt.value("Group/Sub/Key"));
}

void TestIniFileFormat::randomTextsBothWays()
{
    QRandomGenerator random(8);
    QStringList texts;
    QList<QStringList> lists;
    for (int i = 0; i < 500; ++i) {
        texts << randomText(random);
        lists << QStringList{randomText(random), randomText(random)};
    }
    const QString qtPath = nextPath();
    const QString ownPath = nextPath();
    for (const QString& path : {qtPath, ownPath}) {
        QSettings settings(path, path == qtPath ? QSettings::IniFormat : IniFileFormat::format());
        for (int i = 0; i < texts.size(); ++i) {
            settings.setValue(QStringLiteral("G/Text%1").arg(i), texts.at(i));
            settings.setValue(QStringLiteral("G/List%1").arg(i), lists.at(i));
        }
    }
    QSettings ours(freshCopy(qtPath), IniFileFormat::format());
    QSettings qts(freshCopy(ownPath), QSettings::IniFormat);
    for (const QSettings* settings : {&ours, &qts}) {
        for (int i = 0; i < texts.size(); ++i) {
            const QVariant text = settings->value(QStringLiteral("G/Text%1").arg(i));
            const QVariant list = settings->value(QStringLiteral("G/List%1").arg(i));
            if (text.toString() != texts.at(i) || list.toStringList() != lists.at(i)) {
                qWarning() << "written" << texts.at(i) << lists.at(i);
                QFAIL(qPrintable(QStringLiteral("%1 reads %2 and %3")
                                     .arg(settings->fileName(), text.toString(),
                                          list.toStringList().join('|'))));
            }
        }
    }
}

void TestIniFileFormat::handWrittenText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("expected");

    // Each row follows what Qt's own reader makes of the same text.
    QTest::newRow("comment line") << QByteArray("[G]\n;k=1\nk=2\n") << "G/k" << QVariant("2");
    QTest::newRow("hash is no comment") << QByteArray("[G]\n#k=1\n") << "G/#k" << QVariant("1");
    QTest::newRow("semicolon ends a value") << QByteArray("[G]\nk=a;b\n") << "G/k" << QVariant("a");
    QTest::newRow("quoted semicolon") << QByteArray("[G]\nk=\"a;b\"\n") << "G/k" << QVariant("a;b");
    QTest::newRow("blanks around key and value")
        << QByteArray("[G]\n  k  = \t a b \t\n") << "G/k" << QVariant("a b");
    QTest::newRow("quotes inside a value")
        << QByteArray("[G]\nk=ab\"c d\"ef\n") << "G/k" << QVariant("abc def");
    QTest::newRow("list") << QByteArray("[G]\nk=a,b , c\n") << "G/k"
                          << QVariant(QStringList{"a", "b", "c"});
    QTest::newRow("trailing comma")
        << QByteArray("[G]\nk=a,\n") << "G/k" << QVariant(QStringList{"a", ""});
    QTest::newRow("quoted list element")
        << QByteArray("[G]\nk=\"a,b\",c\n") << "G/k" << QVariant(QStringList{"a,b", "c"});
    QTest::newRow("continued line")
        << QByteArray("[G]\nk=abc\\\ndef\nl=1\n") << "G/k" << QVariant("abcdef");
    QTest::newRow("escaped backslash ends the line")
        << QByteArray("[G]\nk=abc\\\\\nl=1\n") << "G/l" << QVariant("1");
    QTest::newRow("return line ends")
        << QByteArray("[G]\r\nk=1\r\nl=2\rm=3") << "G/m" << QVariant("3");
    QTest::newRow("escapes") << QByteArray("[G]\nk=\\101\\x41\\x4142\\z\\x\\?\\'\n") << "G/k"
                             << QVariant(QString("AA\u4142?'"));
    QTest::newRow("long hexadecimal escape keeps sixteen bits")
        << QByteArray("[G]\nk=\\x414243\n") << "G/k" << QVariant(QString("\u4243"));
    QTest::newRow("raw bytes are Latin-1")
        << QByteArray("[G]\nk=\xe9\n") << "G/k" << QVariant(QString("\u00e9"));
    QTest::newRow("General is the top") << QByteArray("[General]\nk=1\n") << "k" << QVariant("1");
    QTest::newRow("escaped section and key")
        << QByteArray("[a%2Fb]\nk%20e=1\nc\\d=2\n") << "a/b/k e" << QVariant("1");
    QTest::newRow("backslash in a key") << QByteArray("[a]\nc\\d=2\n") << "a/c/d" << QVariant("2");
    QTest::newRow("section without bracket")
        << QByteArray("[Broken\nk=v\n") << "Broken/k" << QVariant("v");
    QTest::newRow("text after the section")
        << QByteArray("[Gen]x]\nk=v\n") << "Gen/k" << QVariant("v");
    QTest::newRow("blank section name")
        << QByteArray("[ Task ]\nk=1\n") << "Task/k" << QVariant("1");
    QTest::newRow("line without equals is skipped")
        << QByteArray("[G]\nnothing\nk=1\n") << "G/k" << QVariant("1");
    QTest::newRow("last of two wins") << QByteArray("[G]\nk=1\nk=2\n") << "G/k" << QVariant("2");
    QTest::newRow("two ats") << QByteArray("[G]\nk=@@x\n") << "G/k" << QVariant("@x");
    QTest::newRow("invalid") << QByteArray("[G]\nk=@Invalid()\n") << "G/k" << QVariant();
    QTest::newRow("byte array") << QByteArray("[G]\nk=@ByteArray(abc)\n") << "G/k"
                                << QVariant("abc");
    QTest::newRow("no final line end") << QByteArray("[G]\nk=1") << "G/k" << QVariant("1");
}

void TestIniFileFormat::handWrittenText()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, key);
    QFETCH(QVariant, expected);

    const QString path = nextPath();
    QVERIFY(TestSupport::writeFile(path, text));
    QSettings settings(path, IniFileFormat::format());
    QCOMPARE(settings.status(), QSettings::NoError);
    QCOMPARE(settings.value(key), expected);
}

void TestIniFileFormat::valuesNeverBecomeObjects_data()
{
    QTest::addColumn<QByteArray>("value");

    // Qt's reader turns these into objects through QDataStream. The first one, a list that
    // announces 2^31 - 1 elements, makes it ask for 16 GiB and abort on std::bad_alloc.
    QTest::newRow("list of 2^31 - 1 elements")
        << QByteArray("@Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)");
    QTest::newRow("list of 2^28 elements") << QByteArray("@Variant(\\0\\0\\0\\t\\x10\\0\\0\\0)");
    QTest::newRow("number") << QByteArray("@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)");
    QTest::newRow("escaped at sign")
        << QByteArray("\\x40Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)");
    QTest::newRow("date and time") << QByteArray("@DateTime(\\0\\0\\0\\x1)");
    QTest::newRow("rectangle") << QByteArray("@Rect(1 2 3 4)");
}

void TestIniFileFormat::valuesNeverBecomeObjects()
{
    QFETCH(QByteArray, value);

    const QString path = nextPath();
    QVERIFY(
        TestSupport::writeFile(path, "[Task]\nItemsCount=" + value + "\nList=a, " + value + "\n"));
    QSettings settings(path, IniFileFormat::format());
    const QVariant single = settings.value("Task/ItemsCount");
    QCOMPARE(single.userType(), int(QMetaType::QString));
    QVERIFY(single.toString().contains("("));
    bool ok = true;
    single.toInt(&ok);
    QVERIFY(!ok);
    const QStringList list = settings.value("Task/List").toStringList();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(1), single.toString());
}

void TestIniFileFormat::refusesHostileFiles_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("warning");

    const QByteArray tooLong(IniFileFormat::MaxLineLength + 1, 'x');
    const QByteArray half(IniFileFormat::MaxLineLength / 2 + 1, 'x');
    QTest::newRow("NUL byte") << QByteArray("[Task]\nData=a\0b\n", 15)
                              << "Binary data found on line 2 in %1";
    QTest::newRow("NUL byte after Windows line ends")
        << QByteArray("[Task]\r\n\r\nData=\0\r\n", 18) << "Binary data found on line 3 in %1";
    QTest::newRow("binary garbage")
        << QByteArray::fromHex("7f454c4602010100000000000000000003003e00")
        << "Binary data found on line 1 in %1";
    QTest::newRow("over-long value") << "[Task]\nData=" + tooLong + "\nItemsCount=1\n"
                                     << "Line 2 longer than 1048576 bytes found in %1";
    QTest::newRow("over-long last line without line end")
        << "[Task]\n" + tooLong << "Line 2 longer than 1048576 bytes found in %1";
    QTest::newRow("over-long through continued lines")
        << "[Task]\nData=" + half + "\\\n" + half + "\n"
        << "Line 2 longer than 1048576 bytes found in %1";
}

void TestIniFileFormat::refusesHostileFiles()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, warning);

    const QString path = nextPath();
    QVERIFY(TestSupport::writeFile(path, text));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(IniFileFormat::refusal(file) + " in " + path, warning.arg(path));

    QTest::ignoreMessage(QtWarningMsg, qPrintable(warning.arg(path)));
    QSettings settings(path, IniFileFormat::format());
    QCOMPARE(settings.status(), QSettings::FormatError);
    QVERIFY(settings.allKeys().isEmpty());
}

void TestIniFileFormat::acceptsLinesUpToTheLimit()
{
    const QByteArray prefix("Data=");
    const QByteArray value(IniFileFormat::MaxLineLength - prefix.size(), 'v');
    const QString path = nextPath();
    QVERIFY(TestSupport::writeFile(path, "[Task]\r\n" + prefix + value + "\r\nItemsCount=3"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(IniFileFormat::refusal(file), QString());
    QSettings settings(path, IniFileFormat::format());
    QCOMPARE(settings.status(), QSettings::NoError);
    QCOMPARE(settings.value("Task/Data").toString().size(), value.size());
    QCOMPARE(settings.value("Task/ItemsCount").toInt(), 3);
}

QTEST_GUILESS_MAIN(TestIniFileFormat)
#include "tst_inifileformat.moc"
