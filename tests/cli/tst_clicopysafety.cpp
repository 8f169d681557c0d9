#include "cliscratch.h"
#include "testsupport.h"

#include <QtTest>

using Result = TestSupport::CliScratch::Result;

// Runs of brindle-cli that used to lose data or depend on thread timing.
class TestCliCopySafety : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void fixErrorsKeepsDifferingDestination_data();
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

void TestCliCopySafety::fixErrorsKeepsDifferingDestination_data()
{
    // Whatever the rule would do to a file that was there: this one is the first's only copy.
    QTest::addColumn<QString>("overwrite");
    for (const char* rule : {"never", "older", "always", "different"})
        QTest::newRow(rule) << rule;
}

void TestCliCopySafety::fixErrorsKeepsDifferingDestination()
{
    QFETCH(QString, overwrite);
    // The first file is moved; the second clashes with it and stays. Fixing the errors must
    // not delete the first one's only copy to make room for the second.
    QVERIFY(TestSupport::writeFile(m_dir->filePath("src/a/data.bin"), "first"));
    QVERIFY(TestSupport::writeFile(m_dir->filePath("src/b/data.bin"), "second, longer"));
    // The second is the newer: "older" would replace the first's copy.
    QFile first(m_dir->filePath("src/a/data.bin"));
    QVERIFY(first.open(QIODevice::ReadWrite) &&
            first.setFileTime(QDateTime::fromSecsSinceEpoch(1000000000),
                              QFileDevice::FileModificationTime));
    first.close();
    Result result = m_dir->run({"move", "src", "dst", "--collate", "--overwrite", overwrite,
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
    // Command, overwrite mode, and the same-named files: "identical", other "sizes", or same
    // sizes and dates with other "bytes" (only the bytes tell that a move must keep them).
    QTest::addColumn<QStringList>("run");
    QTest::addRow("copy, rename") << QStringList{"copy", "rename", "sizes"};
    QTest::addRow("copy, never, identical files") << QStringList{"copy", "never", "identical"};
    // Met by the file list or by a copier, a clash never overwriting is a skip.
    QTest::addRow("copy, never, other sizes") << QStringList{"copy", "never", "sizes"};
    QTest::addRow("copy, always") << QStringList{"copy", "always", "sizes"};
    QTest::addRow("move, rename") << QStringList{"move", "rename", "sizes"};
    QTest::addRow("move, never, other sizes") << QStringList{"move", "never", "sizes"};
    QTest::addRow("move, older, other bytes") << QStringList{"move", "older", "bytes"};
}

void TestCliCopySafety::collateWithThreadsEqualsOneThread()
{
    QFETCH(QStringList, run);
    const QString command = run.at(0);
    const QString overwrite = run.at(1);
    const QString data = run.at(2);
    const int files = 64;
    QMap<QString, QVariant> outcomes[2];
    QStringList names[2];
    for (int pass = 0; pass < 2; ++pass) {
        const QString source = QStringLiteral("src%1").arg(pass);
        const QString destination = QStringLiteral("dst%1").arg(pass);
        for (int i = 0; i < files; ++i) {
            const QByteArray content = data == "identical" ? QByteArray("same")
                                       : data == "sizes"   ? QByteArray(i + 1, char('a' + i % 26))
                                                           : QByteArray::number(1000 + i);
            const QString path =
                m_dir->filePath(QStringLiteral("%1/d%2/same.txt").arg(source).arg(i));
            QVERIFY(TestSupport::writeFile(path, content));
            // The same date for all: only the bytes tell them apart.
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(QDateTime::fromSecsSinceEpoch(1500000000),
                                     QFileDevice::FileModificationTime));
        }
        QList<QByteArray> before = TestSupport::treeOf(m_dir->filePath(source)).values();
        const Result result = m_dir->run({command, source, destination, "--collate", "--overwrite",
                                          overwrite, "--threads", pass == 0 ? "1" : "4", "--json"});
        QVERIFY2(result.exitCode == 0 || result.exitCode == 1, qPrintable(result.err));
        for (const char* key : {"copiedFiles", "skippedFiles", "errors"})
            outcomes[pass].insert(key, result.json.value(key).toVariant());
        names[pass] = TestSupport::entriesOf(m_dir->filePath(destination));
        // No file is lost: each is in the destination once, or still in the source of a move.
        QList<QByteArray> after = TestSupport::treeOf(m_dir->filePath(destination)).values();
        if (command == "move")
            after += TestSupport::treeOf(m_dir->filePath(source)).values();
        std::sort(before.begin(), before.end());
        std::sort(after.begin(), after.end());
        if (command == "move" || overwrite == "rename")
            QCOMPARE(after, before);
    }
    QCOMPARE(outcomes[1], outcomes[0]);
    QCOMPARE(names[1], names[0]);
}

QTEST_GUILESS_MAIN(TestCliCopySafety)
#include "tst_clicopysafety.moc"
