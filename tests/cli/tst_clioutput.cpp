#include "cliscratch.h"
#include "testsupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

using Result = TestSupport::CliScratch::Result;

// What brindle-cli writes, and what happens when it cannot write it.
class TestCliOutput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void errorsAreSafeAndRetried_data();
    void errorsAreSafeAndRetried();
    void closedOutputDoesNotStopTheRun();
    void unwritableReport_data();
    void unwritableReport();

private:
    std::unique_ptr<TestSupport::CliScratch> m_dir;
};

void TestCliOutput::initTestCase()
{
    QVERIFY2(!TestSupport::CliScratch::program().isEmpty(),
             "BRINDLE_CLI must name the built program");
}

void TestCliOutput::init()
{
    m_dir = std::make_unique<TestSupport::CliScratch>();
    QVERIFY(m_dir->isValid());
}

void TestCliOutput::errorsAreSafeAndRetried_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");
    QTest::newRow("colour escape") << "\x1b[31mred"
                                   << "\\x1b[31mred";
    QTest::newRow("title escape with bell") << "a\x1b]0;owned\x07"
                                            << "a\\x1b]0;owned\\x07";
    QTest::newRow("newline") << "two\nlines"
                             << "two\\x0alines";
}

void TestCliOutput::errorsAreSafeAndRetried()
{
    QFETCH(QString, name);
    QFETCH(QString, shown);
    QVERIFY(TestSupport::writeFile(m_dir->filePath("src/" + name), "data"));
    QVERIFY(TestSupport::writeFile(m_dir->filePath("src/plain"), "plain"));
    // A folder in the way of the file: it cannot be written.
    QVERIFY(QDir().mkpath(m_dir->filePath("dst/" + name + "/inside")));

    const Result result = m_dir->run({"copy", "src", "dst", "--overwrite", "always"});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(!result.out.contains(QChar(0x1b)) && !result.out.contains(QChar(0x07)),
             qPrintable(result.out));
    const QStringList lines = result.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.first(), QStringLiteral("The copy has some errors."));
    // The error line names the file, escaped, with the reason behind the message.
    const QStringList errorLines = lines.filter("/src/" + shown + ": ");
    QCOMPARE(errorLines.size(), 1);
    QVERIFY2(errorLines.first().count(": ") >= 2, qPrintable(errorLines.first()));

    // The errors are saved without any setting, with the command that copies them again.
    const QRegularExpressionMatch retry =
        QRegularExpression("To copy the errors again: \\S+ resume (\\S+\\.bdt) --fix-errors$",
                           QRegularExpression::MultilineOption)
            .match(result.out);
    QVERIFY2(retry.hasMatch(), qPrintable(result.out));
    QVERIFY(QDir(m_dir->filePath("dst/" + name)).removeRecursively());
    const Result fixed = m_dir->run({"resume", retry.captured(1), "--fix-errors"});
    QCOMPARE(fixed.exitCode, 0);
    QCOMPARE(TestSupport::readFile(m_dir->filePath("dst/" + name)), QByteArray("data"));
    QVERIFY(!QFileInfo::exists(retry.captured(1)));
}

void TestCliOutput::closedOutputDoesNotStopTheRun()
{
    // `brindle-cli move A B | head -1`: the reader goes away while the run goes on.
    for (int i = 0; i < 3000; ++i)
        QVERIFY(TestSupport::writeFile(
            m_dir->filePath(QStringLiteral("src/d%1/f%2").arg(i % 30).arg(i)),
            QByteArray::number(i)));
    const QMap<QString, QByteArray> before = TestSupport::treeOf(m_dir->filePath("src"));
    // Both streams go into a pipe whose reader has already gone.
    std::unique_ptr<QProcess> process(m_dir->create());
    process->setProgram("bash");
    process->setArguments({"-c", "\"$0\" \"$@\" 2>&1 | true; exit ${PIPESTATUS[0]}",
                           TestSupport::CliScratch::program(), "move", "src", "dst", "--threads",
                           "1"});
    process->start();
    QVERIFY(process->waitForFinished(120000));
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), 4); // the report could not be written
    // Every file arrived, no temporary file is left, and the source is gone.
    QCOMPARE(TestSupport::treeOf(m_dir->filePath("dst")), before);
    QVERIFY(!QFileInfo::exists(m_dir->filePath("src")));
}

void TestCliOutput::unwritableReport_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::newRow("text") << QStringList{};
    QTest::newRow("json") << QStringList{"--json"};
}

void TestCliOutput::unwritableReport()
{
    QFETCH(QStringList, options);
    QVERIFY(TestSupport::writeFile(m_dir->filePath("src/f"), "f"));
    std::unique_ptr<QProcess> process(m_dir->create());
    process->setStandardOutputFile(QStringLiteral("/dev/full"));
    process->setArguments(QStringList{"copy", "src", "dst"} + options);
    process->start();
    QVERIFY(process->waitForFinished(60000));
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), 4);
    QCOMPARE(TestSupport::readFile(m_dir->filePath("dst/f")), QByteArray("f"));
}

QTEST_GUILESS_MAIN(TestCliOutput)
#include "tst_clioutput.moc"
