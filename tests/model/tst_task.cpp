#include "model/task.h"

#include "testsupport.h"

#include <QtTest>

char* toString(const Task& task)
{
    return qstrdup(task.toDataString().replace(QChar(0x2028), QLatin1Char('~')).toUtf8());
}

namespace {

// Test data writes the U+2028 separator as '~' to stay readable.
QString sep(QString text)
{
    return text.replace(QLatin1Char('~'), QChar(0x2028));
}

QByteArray warning(const char* message, const QString& data)
{
    return QByteArray(message) + " \"" + data.toUtf8() + '"';
}

Task makeTask(const QString& name, const QString& source, const QString& destination,
              const CopyOptions& options = CopyOptions())
{
    Task task;
    task.m_name = name;
    task.m_sourcePath = source;
    task.m_destinationPath = destination;
    task.m_options = options;
    return task;
}

CopyOptions moveCollateOptions()
{
    CopyOptions options;
    options.m_copyMode = CopyOptions::Move;
    options.m_destinationMode = CopyOptions::Collate;
    options.m_copyFilters = QStringList{"*.txt", "*.md"};
    options.m_copyEmptyFolders = false;
    return options;
}

} // namespace

class TestTask : public QObject
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
    void equality_data();
    void equality();
    void updateName_data();
    void updateName();
};

void TestTask::initTestCase()
{
    TestSupport::initTestEnvironment();
}

void TestTask::toDataString_data()
{
    QTest::addColumn<Task>("task");
    QTest::addColumn<QString>("expected");

    QTest::newRow("default options")
        << makeTask("/a -> /b", "/a", "/b") << sep("/a -> /b~/a~/b~0~1~1~1~1~~~desktop.ini~1~1~0");
    QTest::newRow("empty task") << Task() << sep("~~~0~1~1~1~1~~~desktop.ini~1~1~0");
    QTest::newRow("changed options") << makeTask("n", "/s", "/d", moveCollateOptions())
                                     << sep("n~/s~/d~0~1~1~1~1~*.txt, *.md~~desktop.ini~0~0~1");
}

void TestTask::toDataString()
{
    QFETCH(Task, task);
    QFETCH(QString, expected);
    QCOMPARE(task.toDataString(), expected);
}

void TestTask::roundTrip_data()
{
    QTest::addColumn<Task>("task");

    QTest::newRow("default options") << makeTask("/a -> /b", "/a", "/b");
    QTest::newRow("changed options") << makeTask("x", "/s", "/d", moveCollateOptions());
    QTest::newRow("empty texts") << makeTask(QString(), QString(), QString());
    QTest::newRow("commas and arrows in texts")
        << makeTask("a, b -> c", "/src/a, b", "/dst/c,d", CopyOptions());
}

void TestTask::roundTrip()
{
    QFETCH(Task, task);
    Task parsed = makeTask("old", "/old", "/old", moveCollateOptions());
    QVERIFY(parsed.fromDataString(task.toDataString()));
    QCOMPARE(parsed, task);
}

void TestTask::fromDataString_data()
{
    QTest::addColumn<QString>("data");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QByteArrayList>("messages");
    QTest::addColumn<Task>("expected");

    const Task old = makeTask("old", "/old", "/old", moveCollateOptions());
    const QByteArray badOptions = "Invalid copy_options argument in Task::fromDataString(...):";

    QTest::newRow("empty text") << QString() << false
                                << QByteArrayList{warning(
                                       "Invalid argument found in Task::fromDataString(...):", "")}
                                << old;
    QTest::newRow("two elements") << sep("n~/s") << false
                                  << QByteArrayList{warning(
                                         "Invalid argument found in Task::fromDataString(...):",
                                         sep("n~/s"))}
                                  << old;
    QTest::newRow("no options")
        << sep("n~/s~/d") << false
        << QByteArrayList{warning("Invalid argument found in CopyOptions::fromDataString(...):",
                                  ""),
                          warning(badOptions, sep("n~/s~/d"))}
        << makeTask("n", "/s", "/d");
    QTest::newRow("bad overwrite mode")
        << sep("n~/s~/d~0~9~1~1~1~~~~1~1~0") << false
        << QByteArrayList{warning("Invalid m_overwriteMode found in "
                                  "CopyOptions::fromDataString(...):",
                                  "1|1|1||||1|1|0"),
                          warning(badOptions, sep("n~/s~/d~0~9~1~1~1~~~~1~1~0"))}
        << makeTask("n", "/s", "/d");
    // Members the short options list does not reach take their defaults, not the
    // values of the task parsed into.
    QTest::newRow("short options list")
        << sep("n~/s~/d~0~2~0~1~1~*.c~~") << true << QByteArrayList()
        << makeTask("n", "/s", "/d", [] {
               CopyOptions options;
               options.m_overwriteMode = CopyOptions::OverwriteAlways;
               options.m_copyHiddenFiles = false;
               options.m_copyFilters = QStringList{"*.c"};
               return options;
           }());
    QTest::newRow("name kept as written")
        << sep("shown~/s~/d~0~1~1~1~1~~~desktop.ini~1~1~0") << true << QByteArrayList()
        << makeTask("shown", "/s", "/d");
}

void TestTask::fromDataString()
{
    QFETCH(QString, data);
    QFETCH(bool, result);
    QFETCH(QByteArrayList, messages);
    QFETCH(Task, expected);

    for (const QByteArray& message : messages)
        QTest::ignoreMessage(QtWarningMsg, message.constData());
    Task task = makeTask("old", "/old", "/old", moveCollateOptions());
    QCOMPARE(task.fromDataString(data), result);
    QCOMPARE(task, expected);
}

void TestTask::equality_data()
{
    QTest::addColumn<Task>("other");

    QTest::newRow("name") << makeTask("N", "/s", "/d");
    QTest::newRow("source") << makeTask("n", "/s/", "/d");
    QTest::newRow("destination") << makeTask("n", "/s", "/D");
    CopyOptions verify;
    verify.m_copyMode = CopyOptions::Verify;
    QTest::newRow("options") << makeTask("n", "/s", "/d", verify);
}

void TestTask::equality()
{
    QFETCH(Task, other);
    const Task base = makeTask("n", "/s", "/d");
    QVERIFY(!(base == other));
    QVERIFY(base != other);
    const Task copy = other;
    QVERIFY(copy == other);
    QVERIFY(!(copy != other));
}

void TestTask::updateName_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("expected");

    QTest::newRow("two folders") << "/home/a"
                                 << "/mnt/b"
                                 << "/home/a -> /mnt/b";
    QTest::newRow("empty paths") << ""
                                 << ""
                                 << " -> ";
    QTest::newRow("placeholders in paths") << "/x/%2"
                                           << "/y/%1"
                                           << "/x/%2 -> /y/%1";
}

void TestTask::updateName()
{
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QFETCH(QString, expected);

    Task task = makeTask("old", source, destination);
    task.updateName();
    QCOMPARE(task.m_name, expected);
    QCOMPARE(task.m_sourcePath, source);
    QCOMPARE(task.m_destinationPath, destination);
}

QTEST_GUILESS_MAIN(TestTask)
#include "tst_task.moc"
