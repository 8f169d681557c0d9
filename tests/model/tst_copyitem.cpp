#include "model/copyitem.h"

#include "testsupport.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

// Test data writes the U+2028 separator as '~' to stay readable.
QString sep(QString text)
{
    return text.replace(QLatin1Char('~'), CopyItem::dataSeparator());
}

// The warning line as the debug stream prints it: message, blank, quoted data.
QByteArray warning(const char* message, const QString& data)
{
    return QByteArray(message) + " \"" + data.toUtf8() + '"';
}

CopyItem makeItem(const QString& source, const QString& destination, qint64 size, bool folder,
                  const QString& link, qint64 elapsed, int state, const QString& message,
                  bool checked, const QStringList& info)
{
    CopyItem item(source, destination, size, folder, link);
    item.elapsed_time = elapsed;
    item.copy_state = state;
    item.copy_message = message;
    item.is_checked = checked;
    item.info_list = info;
    return item;
}

void compareItems(const CopyItem& actual, const CopyItem& expected)
{
    QCOMPARE(actual.source_path, expected.source_path);
    QCOMPARE(actual.destination_path, expected.destination_path);
    QCOMPARE(actual.file_size, expected.file_size);
    QCOMPARE(actual.is_folder, expected.is_folder);
    QCOMPARE(actual.link_target, expected.link_target);
    QCOMPARE(actual.elapsed_time, expected.elapsed_time);
    QCOMPARE(actual.copy_state, expected.copy_state);
    QCOMPARE(actual.copy_message, expected.copy_message);
    QCOMPARE(actual.is_checked, expected.is_checked);
    QCOMPARE(actual.info_list, expected.info_list);
    QCOMPARE(actual.hard_link_first, expected.hard_link_first);
}

// Counts the warnings emitted while it is alive instead of printing them.
class WarningCounter
{
public:
    WarningCounter()
    {
        s_count = 0;
        m_previous = qInstallMessageHandler(&WarningCounter::handle);
    }
    ~WarningCounter() { qInstallMessageHandler(m_previous); }
    int count() const { return s_count; }

private:
    static void handle(QtMsgType type, const QMessageLogContext&, const QString&)
    {
        if (type == QtWarningMsg)
            ++s_count;
    }
    static int s_count;
    QtMessageHandler m_previous;
};
int WarningCounter::s_count = 0;

} // namespace

class TestCopyItem : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void toDataString_data();
    void toDataString();
    void roundTrip_data();
    void roundTrip();
    void fromDataString_data();
    void fromDataString();
    void separatorInsideField();
    void arbitraryInputIsHandled();
};

void TestCopyItem::initTestCase()
{
    TestSupport::initTestEnvironment();
}

void TestCopyItem::toDataString_data()
{
    QTest::addColumn<CopyItem>("item");
    QTest::addColumn<QString>("expected");

    QTest::newRow("listed file") << CopyItem("/src/a.txt", "/dst/a.txt", 1024, false, QString())
                                 << sep("/src/a.txt~/dst/a.txt~1024~0~~0~0~~0~0");
    QTest::newRow("default item") << CopyItem() << sep("~~-1~0~~0~0~~0~0");
    QTest::newRow("checked link with info")
        << makeItem("/s/l", "/d/l", 0, false, "/s/target", 17, Copied, "done", true,
                    {"existing file is removed", "copy verified"})
        << sep("/s/l~/d/l~0~0~/s/target~17~4~done~1~2~existing file is removed~copy verified");
    QTest::newRow("folder in error")
        << makeItem("/s/f", "/d/f", -1, true, QString(), 3000000000LL, DestinationError,
                    "Cannot create folder", false, {})
        << sep("/s/f~/d/f~-1~1~~3000000000~2~Cannot create folder~0~0");
    // A reader that does not know the percent form stops at the size: the item is refused.
    const QString e9 = QChar(0xdce9);
    QTest::newRow("name not UTF-8: percent form, size flagged")
        << CopyItem("/s/caf" + e9 + "%", "/d/caf" + e9 + "%", 3, false, QString())
        << sep("/s/caf%e9%25~/d/caf%e9%25~%3~0~~0~0~~0~0");
}

void TestCopyItem::toDataString()
{
    QFETCH(CopyItem, item);
    QFETCH(QString, expected);
    QCOMPARE(item.toDataString(), expected);
}

void TestCopyItem::roundTrip_data()
{
    QTest::addColumn<CopyItem>("item");

    QTest::newRow("unprocessed file") << CopyItem("/a", "/b", 1024, false, QString());
    QTest::newRow("every field set")
        << makeItem("/src/dir/f.bin", "/dst/dir/f.bin", 5000000000LL, false, "../other", 123456,
                    Copied, "Copied", true, {"first", "second", "third"});
    QTest::newRow("empty link, message and info")
        << makeItem("/s", "/d", 0, true, QString(), 0, Skipped, QString(), false, {});
    QTest::newRow("empty info entries kept")
        << makeItem("/s", "/d", 1, false, QString(), 1, SourceError, "read error", false,
                    {QString(), "middle", QString()});
    QTest::newRow("commas inside fields") << makeItem("/s/a,b", "/d/a,b", 2, false, "/t,u", 5,
                                                      DestinationError, "x, y", true, {"p,q"});
    QTest::newRow("bytes that are not UTF-8 in paths and link, beside a pair")
        << makeItem("/s/%41" + QString(QChar(0xdcff)), "/d/" + QString::fromUcs4(U"\U00010080"), 1,
                    false, "../" + QString(QChar(0xdc80)), 0, Copied, "ok", false, {});
    CopyItem linked =
        makeItem("/s/b", "/d/b", 4, false, QString(), 0, Unprocessed, QString(), false, {"info"});
    linked.hard_link_first = "/s/a";
    QTest::newRow("later name of a file") << linked;
    linked.hard_link_first = "/s/" + QString(QChar(0xdcff));
    QTest::newRow("later name of a file, first name not UTF-8") << linked;
    QTest::newRow("non-ASCII paths")
        << makeItem(QString::fromUtf8("/données/é"), QString::fromUtf8("/目标/é"), 3, false,
                    QString(), 0, Unprocessed, QString(), false, {QString::fromUtf8("ü")});
}

void TestCopyItem::roundTrip()
{
    QFETCH(CopyItem, item);
    // Parsing into a used item must replace every field, not merge.
    CopyItem parsed = makeItem("/old", "/old", 9, true, "/old", 9, Copied, "old", true, {"old"});
    QVERIFY(parsed.fromDataString(item.toDataString()));
    compareItems(parsed, item);
}

void TestCopyItem::fromDataString_data()
{
    // "expected" is the data string of the item the parse must leave behind; the
    // warning, when there is one, is followed by the quoted input.
    QTest::addColumn<QString>("data");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("expected");

    const QString fileSize = "Invalid file_size found in CopyItem::fromDataString(...):";
    const QString range = "Invalid copy_state range found in CopyItem::fromDataString(...):";
    const QString infoItem = "Invalid info_list item found in CopyItem::fromDataString(...):";
    const QString infoSize = "Invalid info_list_size found in CopyItem::fromDataString(...):";
    const QString none;

    QTest::newRow("empty text") << "" << false << none << "~~-1~0~~0~0~~0~0";
    QTest::newRow("comma form, two paths") << "/s,/d" << true << none << "/s~/d~-1~0~~0~0~~0~0";
    QTest::newRow("comma form, every field")
        << "/s,/d,5,1,/t,7,4,ok,1,2,i1,i2" << true << none << "/s~/d~5~1~/t~7~4~ok~1~2~i1~i2";
    QTest::newRow("comma form, one path")
        << "/only/one" << false
        << "Invalid argument found in CopyItem::pathsFromDataStringList(...):"
        << "~~-1~0~~0~0~~0~0";
    QTest::newRow("comma form, bad size")
        << "/s,/d,big" << false << fileSize << "/s~/d~-1~0~~0~0~~0~0";
    QTest::newRow("empty destination") << "/s~" << true << none << "/s~~-1~0~~0~0~~0~0";
    QTest::newRow("stops after elapsed_time")
        << "/s~/d~10~0~/t~99" << true << none << "/s~/d~10~0~/t~99~0~~0~0";
    QTest::newRow("stops after copy_state")
        << "/s~/d~10~0~~99~3" << true << none << "/s~/d~10~0~~99~3~~0~0";
    QTest::newRow("is_folder 2 is false") << "/s~/d~1~2" << true << none << "/s~/d~1~0~~0~0~~0~0";
    QTest::newRow("is_checked 7 is false")
        << "/s~/d~1~1~~0~4~~7~0" << true << none << "/s~/d~1~1~~0~4~~0~0";
    QTest::newRow("percent form with a bad escape")
        << "/s%zz~/d~%3" << false << "Invalid encoded path found in CopyItem::fromDataString(...):"
        << "/s%zz~/d~-1~0~~0~0~~0~0";
    QTest::newRow("file_size not a number")
        << "/s~/d~12kB~0" << false << fileSize << "/s~/d~-1~0~~0~0~~0~0";
    // Sizes are added up into totals: one beyond 2^62 (or below the unknown -1) is refused.
    QTest::newRow("file_size 2^62")
        << "/s~/d~4611686018427387904~0" << true << none << "/s~/d~4611686018427387904~0~~0~0~~0~0";
    QTest::newRow("file_size 2^62 + 1")
        << "/s~/d~4611686018427387905~0" << false << fileSize << "/s~/d~-1~0~~0~0~~0~0";
    QTest::newRow("file_size 9e18")
        << "/s~/d~9000000000000000000" << false << fileSize << "/s~/d~-1~0~~0~0~~0~0";
    QTest::newRow("file_size -2") << "/s~/d~-2~0" << false << fileSize << "/s~/d~-1~0~~0~0~~0~0";
    QTest::newRow("file_size lowest qint64")
        << "/s~/d~-9223372036854775808" << false << fileSize << "/s~/d~-1~0~~0~0~~0~0";
    QTest::newRow("file_size negative in percent form")
        << "/s~/d~%-5~0" << false << fileSize << "/s~/d~-1~0~~0~0~~0~0";
    QTest::newRow("is_folder not a number")
        << "/s~/d~8~yes" << false << "Invalid is_folder found in CopyItem::fromDataString(...):"
        << "/s~/d~8~0~~0~0~~0~0";
    QTest::newRow("elapsed_time not a number")
        << "/s~/d~8~1~/t~1.5" << false
        << "Invalid elapsed_time found in CopyItem::fromDataString(...):"
        << "/s~/d~8~1~/t~0~0~~0~0";
    QTest::newRow("copy_state 5") << "/s~/d~8~0~~3~5" << false << range << "/s~/d~8~0~~3~0~~0~0";
    QTest::newRow("copy_state negative")
        << "/s~/d~8~0~~3~-1" << false << range << "/s~/d~8~0~~3~0~~0~0";
    QTest::newRow("copy_state not a number")
        << "/s~/d~8~0~~3~done" << false
        << "Invalid copy_state found in CopyItem::fromDataString(...):"
        << "/s~/d~8~0~~3~0~~0~0";
    QTest::newRow("is_checked not a number")
        << "/s~/d~8~0~~3~1~bad~x~0" << false
        << "Invalid is_checked found in CopyItem::fromDataString(...):"
        << "/s~/d~8~0~~3~1~bad~0~0";
    QTest::newRow("info_list_size not a number")
        << "/s~/d~8~0~~3~4~~1~two~a~b" << false << infoSize << "/s~/d~8~0~~3~4~~1~0";
    QTest::newRow("info_list_size beyond int")
        << "/s~/d~8~0~~3~4~~1~4294967297~a" << false << infoSize << "/s~/d~8~0~~3~4~~1~0";
    QTest::newRow("info list shorter than its size")
        << "/s~/d~8~0~~3~4~~1~2~only" << false << infoItem << "/s~/d~8~0~~3~4~~1~1~only";
    // A corrupt count must not make the parser allocate or loop for it.
    QTest::newRow("huge info_list_size")
        << "/s~/d~8~0~~3~4~~1~2147483647~a~b" << false << infoItem << "/s~/d~8~0~~3~4~~1~2~a~b";
    QTest::newRow("zero info entries, extra elements ignored")
        << "/s~/d~8~0~~3~4~m~1~0~extra~more" << true << none << "/s~/d~8~0~~3~4~m~1~0";
    QTest::newRow("negative info_list_size")
        << "/s~/d~8~0~~3~4~m~0~-4~extra" << true << none << "/s~/d~8~0~~3~4~m~0~0";
    QTest::newRow("elements after info list ignored")
        << "/s~/d~8~0~~3~4~m~0~1~kept~dropped" << true << none << "/s~/d~8~0~~3~4~m~0~1~kept";
}

void TestCopyItem::fromDataString()
{
    QFETCH(QString, data);
    QFETCH(bool, result);
    QFETCH(QString, message);
    QFETCH(QString, expected);

    data = sep(data);
    if (!message.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, warning(qPrintable(message), data).constData());
    CopyItem item = makeItem("/x", "/y", 4, true, "/z", 4, Copied, "stale", true, {"stale"});
    QCOMPARE(item.fromDataString(data), result);
    QCOMPARE(item.toDataString(), sep(expected));
}

void TestCopyItem::separatorInsideField()
{
    // The format has no escaping: a separator inside a field shifts every later field.
    const CopyItem item =
        makeItem("/s", "/d", 8, false, QString(), 3, SourceError, sep("two~lines"), false, {});
    QTest::ignoreMessage(
        QtWarningMsg,
        warning("Invalid is_checked found in CopyItem::fromDataString(...):", item.toDataString())
            .constData());
    CopyItem parsed;
    QVERIFY(!parsed.fromDataString(item.toDataString()));
    QCOMPARE(parsed.copy_message, QString("two"));
}

void TestCopyItem::arbitraryInputIsHandled()
{
    // Random texts built from the characters that steer the parser. Every parse must
    // end with one warning exactly when it fails, and whatever it accepted must
    // survive a second trip through the data string unchanged.
    const QString alphabet = QStringLiteral("0129-,ax") + CopyItem::dataSeparator();
    QRandomGenerator random(20240611);
    int accepted = 0;
    for (int round = 0; round < 5000; ++round) {
        QString text;
        const int length = random.bounded(40);
        for (int i = 0; i < length; ++i)
            text += alphabet.at(random.bounded(alphabet.size()));

        CopyItem item;
        bool parsed = false;
        int warnings = 0;
        {
            WarningCounter counter;
            parsed = item.fromDataString(text);
            warnings = counter.count();
        }
        const int expectedWarnings = parsed || text.isEmpty() ? 0 : 1;
        if (warnings != expectedWarnings)
            QFAIL(qPrintable(QStringLiteral("%1 warnings for \"%2\"").arg(warnings).arg(text)));
        if (!parsed)
            continue;
        ++accepted;
        CopyItem again;
        if (!again.fromDataString(item.toDataString()))
            QFAIL(qPrintable(QStringLiteral("no second trip for \"%1\"").arg(text)));
        compareItems(again, item);
        if (QTest::currentTestFailed()) {
            qWarning() << "changed on second trip:" << text;
            return;
        }
    }
    // Both outcomes must have been exercised for the checks above to mean something.
    QVERIFY2(accepted > 500 && accepted < 4500, qPrintable(QString::number(accepted)));
}

QTEST_GUILESS_MAIN(TestCopyItem)
#include "tst_copyitem.moc"
