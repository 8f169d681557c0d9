#include "cliscratch.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

using Result = TestSupport::CliScratch::Result;

// Same size and same date, other bytes: what dates and sizes cannot tell apart.
bool writeLookAlike(const QString& path, char fill)
{
    const timespec times[2] = {{1577836800, 0}, {1577836800, 0}};
    return TestSupport::writeFile(path, QByteArray(4096, fill)) &&
           ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

QStringList errorMessages(const Result& result)
{
    QStringList messages;
    for (const QJsonValue& item : result.json.value("errorItems").toArray())
        messages << item.toObject().value("message").toString();
    return messages;
}

} // namespace

// Runs of brindle-cli that used to lose data or depend on thread timing.
class TestCliCopySafety : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void moveKeepsDifferingSource_data();
    void moveKeepsDifferingSource();
    void fixErrorsKeepsDifferingDestination();
    void collateWithThreadsEqualsOneThread_data();
    void collateWithThreadsEqualsOneThread();

private:
    std::unique_ptr<TestSupport::CliScratch> m_dir;
};

void TestCliCopySafety::initTestCase()
{
    QVERIFY2(!TestSupport::CliScratch::program().isEmpty(),
             "BRINDLE_CLI must name the built program");
}

void TestCliCopySafety::init()
{
    m_dir = std::make_unique<TestSupport::CliScratch>();
    QVERIFY(m_dir->isValid());
}

void TestCliCopySafety::moveKeepsDifferingSource_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("identical"); // the destination holds the same bytes
    QTest::addRow("collate, two look-alike files") << QStringList{"--collate"} << false;
    QTest::addRow("overwrite never, look-alike destination")
        << QStringList{"--overwrite", "never"} << false;
    QTest::addRow("overwrite never, identical destination")
        << QStringList{"--overwrite", "never"} << true;
}

void TestCliCopySafety::moveKeepsDifferingSource()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, identical);
    const bool collate = arguments.contains("--collate");
    QVERIFY(writeLookAlike(m_dir->filePath(collate ? "src/a/data.bin" : "dst/data.bin"), 'a'));
    QVERIFY(writeLookAlike(m_dir->filePath(collate ? "src/b/data.bin" : "src/data.bin"),
                           identical ? 'a' : 'b'));

    const Result result = m_dir->run(QStringList{"move", "src", "dst", "--json"} + arguments);
    QCOMPARE(result.exitCode, identical ? 0 : 1);
    // Whichever came first is in place; the other one is still in the source.
    const QByteArray placed = TestSupport::readFile(m_dir->filePath("dst/data.bin"));
    const QList<QByteArray> left = TestSupport::treeOf(m_dir->filePath("src")).values();
    if (identical) {
        QVERIFY(left.isEmpty());
    } else {
        QCOMPARE(left.size(), 1);
        QCOMPARE(QSet<QByteArray>({placed, left.first()}),
                 QSet<QByteArray>({QByteArray(4096, 'a'), QByteArray(4096, 'b')}));
        QVERIFY(errorMessages(result).contains("different file exists"));
    }
}

void TestCliCopySafety::fixErrorsKeepsDifferingDestination()
{
    // The first file is moved; the second clashes with it and stays. Fixing the errors must
    // not delete the first one's only copy to make room for the second.
    QVERIFY(TestSupport::writeFile(m_dir->filePath("src/a/data.bin"), "first"));
    QVERIFY(TestSupport::writeFile(m_dir->filePath("src/b/data.bin"), "second, longer"));
    Result result = m_dir->run({"move", "src", "dst", "--collate", "--overwrite", "never",
                                "--save-task", "run.bdt", "--quiet"});
    QCOMPARE(result.exitCode, 1);
    const QByteArray placed = TestSupport::readFile(m_dir->filePath("dst/data.bin"));
    const QMap<QString, QByteArray> left = TestSupport::treeOf(m_dir->filePath("src"));
    QCOMPARE(left.size(), 1);

    result = m_dir->run({"resume", "run.bdt", "--fix-errors", "--json"});
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(TestSupport::readFile(m_dir->filePath("dst/data.bin")), placed);
    QCOMPARE(TestSupport::treeOf(m_dir->filePath("src")), left);
}

void TestCliCopySafety::collateWithThreadsEqualsOneThread_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("overwrite");
    QTest::addColumn<bool>("sameData");
    QTest::addRow("copy, rename") << "copy"
                                  << "rename" << false;
    QTest::addRow("copy, never, identical files") << "copy"
                                                  << "never" << true;
    QTest::addRow("copy, always") << "copy"
                                  << "always" << false;
    QTest::addRow("move, rename") << "move"
                                  << "rename" << false;
    QTest::addRow("move, never, different sizes") << "move"
                                                  << "never" << false;
}

void TestCliCopySafety::collateWithThreadsEqualsOneThread()
{
    QFETCH(QString, command);
    QFETCH(QString, overwrite);
    QFETCH(bool, sameData);
    const int files = 64;
    QMap<QString, QVariant> outcomes[2];
    QStringList names[2];
    QList<QByteArray> sources;
    for (int run = 0; run < 2; ++run) {
        const QString source = QStringLiteral("src%1").arg(run);
        for (int i = 0; i < files; ++i) {
            const QByteArray data = sameData ? QByteArray("same") : QByteArray(i + 1, 'a' + i % 26);
            QVERIFY(TestSupport::writeFile(
                m_dir->filePath(QStringLiteral("%1/d%2/same.txt").arg(source).arg(i)), data));
        }
        sources = TestSupport::treeOf(m_dir->filePath(source)).values();
        const QString destination = QStringLiteral("dst%1").arg(run);
        const Result result = m_dir->run({command, source, destination, "--collate", "--overwrite",
                                          overwrite, "--threads", run == 0 ? "1" : "4", "--json"});
        QVERIFY2(result.exitCode == 0 || result.exitCode == 1, qPrintable(result.err));
        for (const char* key : {"copiedFiles", "skippedFiles", "errors"})
            outcomes[run].insert(key, result.json.value(key).toVariant());
        outcomes[run].insert("sources left", TestSupport::treeOf(m_dir->filePath(source)).size());
        names[run] = TestSupport::entriesOf(m_dir->filePath(destination));
    }
    QCOMPARE(outcomes[1], outcomes[0]);
    QCOMPARE(names[1], names[0]);
    if (overwrite == "rename") {
        // Every file once, whichever number it took.
        QList<QByteArray> copies = TestSupport::treeOf(m_dir->filePath("dst1")).values();
        std::sort(copies.begin(), copies.end());
        std::sort(sources.begin(), sources.end());
        QCOMPARE(copies, sources);
    }
}

QTEST_GUILESS_MAIN(TestCliCopySafety)
#include "tst_clicopysafety.moc"
