#include "cliscratch.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <functional>

namespace {

// The documented objects: name -> key -> (type, translated).
struct Key
{
    QString type;
    bool translated = false;
};
using Schema = QHash<QString, QHash<QString, Key>>;

Schema readSchema(const QString& path)
{
    Schema schema;
    const QStringList lines = QString::fromUtf8(TestSupport::readFile(path)).split('\n');
    const QRegularExpression marker("<!-- object: (\\w+) -->");
    const QRegularExpression row("^\\| `([^`]+)` \\| ([a-z ]+) \\| (.*) \\|$");
    QString object;
    for (const QString& line : lines) {
        const QRegularExpressionMatch named = marker.match(line);
        if (named.hasMatch())
            object = named.captured(1);
        const QRegularExpressionMatch key = row.match(line);
        if (!object.isEmpty() && key.hasMatch())
            schema[object][key.captured(1)] = {key.captured(2),
                                               key.captured(3).contains("*translated*")};
    }
    return schema;
}

QString typeOf(const QJsonValue& value, const QString& documented)
{
    if (value.isNull() && documented.endsWith(" or null"))
        return documented;
    if (value.isString())
        return documented.startsWith("string") ? documented : "string";
    if (value.isDouble())
        return value.toDouble() == double(qint64(value.toDouble())) ? "integer" : "number";
    return value.isBool() ? "boolean" : value.isArray() ? "array" : "object";
}

} // namespace

// Every --json object has exactly the documented keys, of their types, and the same values in
// English and in German but for the texts documented as translated.
class TestCliJson : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void matchesTheDocument_data();
    void matchesTheDocument();
    void resumeNamesItsMode_data();
    void resumeNamesItsMode();

private:
    // The object as documented; nested objects checked against their own tables.
    void checkObject(const QJsonObject& json, const QString& name);
    // The values a script may read: translated texts, times and the scratch folder left out.
    QJsonValue lasting(const QJsonValue& value, const QString& name, const QString& scratch);

    Schema m_schema;
};

void TestCliJson::initTestCase()
{
    QVERIFY2(!TestSupport::CliScratch::program().isEmpty(),
             "BRINDLE_CLI must name the built program");
    m_schema = readSchema(QFINDTESTDATA("../../docs/cli-json.md"));
    QCOMPARE(m_schema.keys().size(), 11);
}

using Setup = std::function<void(const TestSupport::CliScratch&)>;
Q_DECLARE_METATYPE(Setup)

void TestCliJson::matchesTheDocument_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("object");
    QTest::addColumn<int>("exitCode");

    const Setup tree = [](const TestSupport::CliScratch& dir) {
        TestSupport::writeFile(dir.filePath("src/a.txt"), "a");
        TestSupport::writeFile(dir.filePath("src/sub/b.txt"), "bb");
        TestSupport::writeFile(dir.filePath(QString::fromUtf8("src/sub/\xc3\xa9 t.txt")), "e");
    };
    const Setup blocked = [tree](const TestSupport::CliScratch& dir) {
        tree(dir);
        QDir().mkpath(dir.filePath("dst/a.txt/inside")); // a folder where a file goes
    };
    const Setup copied = [tree](const TestSupport::CliScratch& dir) {
        tree(dir);
        TestSupport::CliScratch::Result result = dir.run(
            {"copy", "src", "dst", "--verify", "--manifest", "list", "--save-task", "t.bdt"});
        QCOMPARE(result.exitCode, 0);
    };
    QTest::newRow("copy with an error")
        << blocked << QStringList{"copy", "src", "dst"} << "run" << 1;
    QTest::newRow("move") << tree << QStringList{"move", "src", "dst"} << "run" << 0;
    QTest::newRow("filtered") << tree
                              << QStringList{"copy", "src",       "dst",  "--exclude",
                                             "sub/", "--include", "*.md", "--report-filtered"}
                              << "run" << 0;
    QTest::newRow("verify") << copied << QStringList{"verify", "src", "dst"} << "run" << 0;
    QTest::newRow("resume") << copied << QStringList{"resume", "t.bdt"} << "run" << 0;
    QTest::newRow("check") << copied << QStringList{"check", "list", "dst"} << "check" << 0;
    QTest::newRow("unknown option") << tree << QStringList{"copy", "--bogus"} << "refusal" << 2;
    QTest::newRow("missing source") << tree << QStringList{"move", "gone", "dst"} << "refusal" << 2;
    QTest::newRow("resume of a completed move")
        << Setup([tree](const TestSupport::CliScratch& dir) {
               tree(dir);
               QCOMPARE(dir.run({"move", "src", "dst", "--save-task", "t.bdt"}).exitCode, 0);
           })
        << QStringList{"resume", "t.bdt"} << "run" << 0;
    QTest::newRow("check with differences") << Setup([copied](const TestSupport::CliScratch& dir) {
        copied(dir);
        TestSupport::writeFile(dir.filePath("dst/a.txt"), "x");
    }) << QStringList{"check", "list", "dst"}
                                            << "check" << 1;
    QTest::newRow("resume without a task file")
        << tree << QStringList{"resume", "none.bdt"} << "refusal" << 2;
    QTest::newRow("dry run") << tree << QStringList{"copy", "src", "dst", "--dry-run"} << "plan"
                             << 0;
    QTest::newRow("dry run with a problem")
        << blocked << QStringList{"move", "src", "dst", "--dry-run"} << "plan" << 1;
}

void TestCliJson::matchesTheDocument()
{
    QFETCH(Setup, setup);
    QFETCH(QStringList, arguments);
    QFETCH(QString, object);
    QFETCH(int, exitCode);

    QJsonObject lastingValues[2];
    QString texts[2];
    for (const bool german : {false, true}) {
        TestSupport::CliScratch dir;
        setup(dir);
        QProcess* process = dir.create(this);
        QProcessEnvironment environment = dir.environment();
        environment.insert("LC_ALL", german ? "de_DE.UTF-8" : "C");
        environment.insert("LANGUAGE", german ? "de" : "");
        process->setProcessEnvironment(environment);
        process->start(TestSupport::CliScratch::program(), arguments << "--json");
        arguments.removeLast();
        QVERIFY(process->waitForFinished(60000));
        QCOMPARE(process->exitCode(), exitCode);
        const QByteArray out = process->readAllStandardOutput();
        QCOMPARE(out.count('\n'), 1);
        const QJsonObject json = QJsonDocument::fromJson(out).object();
        checkObject(json, object);
        if (QTest::currentTestFailed())
            return;
        lastingValues[german] = lasting(json, object, dir.path()).toObject();
        texts[german] = QString::fromUtf8(out);
    }
    QVERIFY2(lastingValues[1] == lastingValues[0],
             qPrintable(texts[0] + QLatin1Char('\n') + texts[1]));
    if (object == "refusal") // proof that the German run spoke German
        QVERIFY2(texts[0] != texts[1], qPrintable(texts[0]));
}

void TestCliJson::resumeNamesItsMode_data()
{
    QTest::addColumn<QString>("mode");
    for (const char* mode : {"copy", "move", "verify"})
        QTest::newRow(mode) << QString(mode);
}

void TestCliJson::resumeNamesItsMode()
{
    QFETCH(QString, mode);
    TestSupport::CliScratch dir;
    QVERIFY(TestSupport::writeFile(dir.filePath("src/a.txt"), "a"));
    if (mode == "verify")
        QVERIFY(TestSupport::writeFile(dir.filePath("dst/a.txt"), "a"));
    QCOMPARE(dir.run({mode, "src", "dst", "--save-task", "t.bdt"}).exitCode, 0);
    const TestSupport::CliScratch::Result resumed = dir.run({"resume", "t.bdt", "--json"});
    QCOMPARE(resumed.json.value("command").toString(), QString("resume"));
    QCOMPARE(resumed.json.value("mode").toString(), mode);
    QCOMPARE(resumed.json.value("taskFile").toString(), dir.filePath("t.bdt"));
}

void TestCliJson::checkObject(const QJsonObject& json, const QString& name)
{
    const QHash<QString, Key> keys = m_schema.value(name);
    QStringList documented = keys.keys();
    QStringList given = json.keys();
    documented.sort();
    given.sort();
    QCOMPARE(given, documented);
    for (auto key = keys.cbegin(); key != keys.cend(); ++key) {
        const QJsonValue value = json.value(key.key());
        QVERIFY2(typeOf(value, key->type) == key->type, qPrintable(name + "." + key.key()));
        const QString nested = key.key() == "filteredItems" ? "filteredItem"
                               : name == "run"              ? "errorItem"
                               : name == "check"            ? "checkFile"
                               : name == "plan"             ? "problem"
                                                            : "";
        if (value.isArray() && !nested.isEmpty() && key.key() != "notesText" &&
            key.key() != "infoText" && key.key() != "entries") {
            for (const QJsonValue& item : value.toArray())
                checkObject(item.toObject(), nested);
        }
        if (value.isObject())
            checkObject(value.toObject(), name == "plan" ? "tally" : "refusalError");
    }
}

QJsonValue TestCliJson::lasting(const QJsonValue& value, const QString& name,
                                const QString& scratch)
{
    if (value.isString())
        return value.toString().replace(scratch, "SCRATCH");
    if (value.isArray()) {
        // In any order: a checksum list holds its files in the order they were verified.
        QStringList items;
        const QString nested = name == "filteredItems" ? "filteredItem"
                               : name == "run"         ? "errorItem"
                                                       : "checkFile";
        for (const QJsonValue& item : value.toArray())
            items << QJsonDocument(QJsonArray{lasting(item, nested, scratch)}).toJson();
        items.sort();
        return QJsonArray::fromStringList(items);
    }
    if (!value.isObject())
        return value;
    QJsonObject kept;
    const QJsonObject object = value.toObject();
    const QString own = name == "refusal" ? "refusalError" : name;
    for (auto key = object.constBegin(); key != object.constEnd(); ++key) {
        const bool changing = m_schema.value(name).value(key.key()).translated ||
                              // Times, and the names the scratch folder gives the errors file.
                              key.key() == "elapsedMs" || key.key() == "bytesPerSecond" ||
                              key.key() == "availableBytes" || key.key() == "resumeCommand" ||
                              key.key() == "errorsFile";
        const QString inner = key.key() == "filteredItems" ? key.key()
                              : key.value().isObject()     ? own
                                                           : name;
        if (!changing)
            kept.insert(key.key(), lasting(key.value(), inner, scratch));
    }
    return kept;
}

QTEST_GUILESS_MAIN(TestCliJson)
#include "tst_clijson.moc"
