#include "model/externalprogramsettings.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// The program paths below are never run, except by terminalCommandCopiesTheContents; only
// their names matter.
class TestExternalProgramSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void missingKeysGiveDefaults();
    void storedFormRoundTrip_data();
    void storedFormRoundTrip();
    void buildArguments_data();
    void buildArguments();
    void commandLine_data();
    void commandLine();
    void terminalCommandCopiesTheContents_data();
    void terminalCommandCopiesTheContents();
    void shellQuoted_data();
    void shellQuoted();
    void fromUserText_data();
    void fromUserText();
    void equality();

private:
    QTemporaryDir m_dir;
};

namespace {
ExternalProgramSettings record(const QString& path, const QStringList& arguments, int syntax)
{
    ExternalProgramSettings settings;
    settings.filePath = path;
    settings.arguments = arguments;
    settings.syntaxType = syntax;
    return settings;
}
} // namespace

// Found by QCOMPARE through argument-dependent lookup, so failures show the records.
char* toString(const ExternalProgramSettings& settings)
{
    const QString text = QStringLiteral("%1 [%2] syntax %3")
                             .arg(settings.filePath, settings.arguments.join("|"))
                             .arg(settings.syntaxType);
    return qstrdup(qUtf8Printable(text));
}

void TestExternalProgramSettings::initTestCase()
{
    TestSupport::initTestEnvironment();
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir(m_dir.path()).mkpath("a b/folder"));
    QVERIFY(TestSupport::writeFile(m_dir.filePath("a b/f.txt"), "x"));
    QVERIFY(QFile::link(m_dir.filePath("a b/folder"), m_dir.filePath("a b/folderLink")));
}

void TestExternalProgramSettings::missingKeysGiveDefaults()
{
    const QString path = m_dir.filePath("partial.ini");
    QVERIFY(TestSupport::writeFile(path, "[ExternalCopyProcess]\nSyntaxType=1\n"));
    QSettings partial(path, QSettings::IniFormat);
    ExternalProgramSettings settings;
    settings.readFromSettings(partial);
    QCOMPARE(settings, record("/usr/bin/rsync", {"-a"}, 1));

    QSettings empty(m_dir.filePath("empty.ini"), QSettings::IniFormat);
    settings.readFromSettings(empty);
    QCOMPARE(settings, record("/usr/bin/rsync", {"-a"}, GenericSyntax));
    QCOMPARE(empty.group(), QString());
}

void TestExternalProgramSettings::storedFormRoundTrip_data()
{
    QTest::addColumn<QString>("filePath");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("syntax");
    QTest::newRow("empty record") << "" << QStringList() << 0;
    QTest::newRow("awkward texts")
        << "/opt/my tools/cp=x" << QStringList{"a, b", "\"q\"", "c;d"} << 0;
    QTest::newRow("empty parts kept") << "/bin/cp" << QStringList{"-r", "", "-v"} << 0;
}

void TestExternalProgramSettings::storedFormRoundTrip()
{
    QFETCH(QString, filePath);
    QFETCH(QStringList, arguments);
    QFETCH(int, syntax);
    const QString path = m_dir.filePath(QStringLiteral("%1.ini").arg(QTest::currentDataTag()));
    const ExternalProgramSettings written = record(filePath, arguments, syntax);
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue("Other/Key", 1);
        written.writeToSettings(settings);
        QCOMPARE(settings.group(), QString());
    }
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup("ExternalCopyProcess");
    QCOMPARE(settings.childKeys(), (QStringList{"Arguments", "FilePath", "SyntaxType"}));
    settings.endGroup();
    ExternalProgramSettings read = record("/stale", {"stale"}, 7);
    read.readFromSettings(settings);
    QCOMPARE(read, written);
}

void TestExternalProgramSettings::buildArguments_data()
{
    // Paths are relative to the scratch folder; "/x/y/g.txt" is a destination not created.
    QTest::addColumn<int>("syntax");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("expected"); // "@" stands for the scratch folder
    const QString dst = "/x/y/g.txt";
    QTest::newRow("generic file") << 0 << "a b/f.txt" << QStringList{"-v", "@/a b/f.txt", dst};
    QTest::newRow("robocopy file")
        << 1 << "a b/f.txt" << QStringList{"@/a b", "/x/y", "f.txt", "-v"};
    QTest::newRow("robocopy folder") << 1 << "a b/folder" << QStringList{"-v", "@/a b/folder", dst};
    QTest::newRow("robocopy link to folder")
        << 1 << "a b/folderLink" << QStringList{"@/a b", "/x/y", "folderLink", "-v"};
    QTest::newRow("robocopy missing source")
        << 1 << "gone/h.txt" << QStringList{"@/gone", "/x/y", "h.txt", "-v"};
}

void TestExternalProgramSettings::buildArguments()
{
    QFETCH(int, syntax);
    QFETCH(QString, source);
    QFETCH(QStringList, expected);
    const ExternalProgramSettings settings = record("/opt/tools/robocopy", {"-v"}, syntax);
    expected.replaceInStrings("@", m_dir.path());
    QCOMPARE(
        ExternalProgramSettings::buildArguments(settings, m_dir.filePath(source), "/x/y/g.txt"),
        expected);
}

void TestExternalProgramSettings::commandLine_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("syntax");
    QTest::addColumn<QString>("expected"); // "@" stands for the scratch folder
    QTest::newRow("robocopy file form") << "/opt/tools/robocopy" << QStringList{"/E", "/R:10"} << 1
                                        << "/opt/tools/robocopy '@/a b' /d f.txt /E /R:10";
    QTest::newRow("program with space") << "/opt/my tools/sync" << QStringList{"-a"} << 0
                                        << "'/opt/my tools/sync' -a '@/a b/f.txt' /d/f.txt";
    // Not a command word but an assignment, unless quoted.
    QTest::newRow("program that looks like an assignment")
        << "X=1" << QStringList() << 0 << "'X=1' '@/a b/f.txt' /d/f.txt";
}

void TestExternalProgramSettings::commandLine()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(int, syntax);
    QFETCH(QString, expected);
    expected.replace("@", m_dir.path());
    QCOMPARE(ExternalProgramSettings::commandLine(record(program, arguments, syntax),
                                                  m_dir.filePath("a b/f.txt"), "/d/f.txt"),
             expected);
}

void TestExternalProgramSettings::terminalCommandCopiesTheContents_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<bool>("destinationExists");
    QTest::newRow("rsync, new destination") << "rsync" << false;
    QTest::newRow("rsync, existing destination") << "rsync" << true;
    QTest::newRow("cp, new destination") << "cp" << false;
    QTest::newRow("cp, existing destination") << "cp" << true;
}

// The command shown after a run, pasted into a shell, makes the tree Brindle made: the
// folder's contents in the destination, not the folder inside it.
void TestExternalProgramSettings::terminalCommandCopiesTheContents()
{
    QFETCH(QString, program);
    QFETCH(bool, destinationExists);
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        QSKIP("the program is not installed");
    QTemporaryDir dir;
    const QString source = dir.filePath("my src");
    const QString destination = dir.filePath("dst");
    QVERIFY(QDir().mkpath(source + "/sub"));
    QFile file(source + "/sub/f");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    if (destinationExists)
        QVERIFY(QDir().mkpath(destination));
    const QString command = ExternalProgramSettings::terminalCommand(record(path, {"-a"}, 0),
                                                                     source, destination, true);
    QCOMPARE(QProcess::execute("sh", {"-c", command}), 0);
    QVERIFY2(QFileInfo::exists(destination + "/sub/f"), qPrintable(command));
    QVERIFY(!QFileInfo::exists(destination + "/my src"));
}

void TestExternalProgramSettings::shellQuoted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain path") << "/usr/bin/rsync"
                                << "/usr/bin/rsync";
    QTest::newRow("option") << "--chmod=u+rw,g-w"
                            << "--chmod=u+rw,g-w";
    QTest::newRow("empty") << ""
                           << "''";
    QTest::newRow("space") << "a b"
                           << "'a b'";
    QTest::newRow("single quote") << "it's"
                                  << "'it'\\''s'";
    QTest::newRow("double quotes and a command") << "a\";rm -rf ~;\".jpg"
                                                 << "'a\";rm -rf ~;\".jpg'";
    QTest::newRow("substitutions") << "$(id)`id`${HOME}"
                                   << "'$(id)`id`${HOME}'";
    QTest::newRow("glob and tilde") << "~/*.jpg"
                                    << "'~/*.jpg'";
    QTest::newRow("line break") << "one\ntwo"
                                << "'one\ntwo'";
    QTest::newRow("non-ASCII letter") << "caf\u00e9"
                                      << "'caf\u00e9'";
    QTest::newRow("backslash") << "a\\b"
                               << "'a\\b'";
}

void TestExternalProgramSettings::shellQuoted()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const QString quoted = ExternalProgramSettings::shellQuoted(text);
    QCOMPARE(quoted, expected);
    // The shell must hand the program the text itself, whatever it holds.
    QProcess shell;
    shell.start("/bin/sh", {"-c", "printf '%s' " + quoted});
    QVERIFY(shell.waitForFinished());
    QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()), text);
}

void TestExternalProgramSettings::fromUserText_data()
{
    QTest::addColumn<QString>("pathLine");
    QTest::addColumn<QString>("argumentsLine");
    QTest::addColumn<QString>("filePath");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("syntax");
    QTest::addColumn<int>("maxSuccessExitCode");
    QTest::newRow("robocopy in any case, trimmed")
        << "  /opt/Tools/RoboCopy.exe "
        << "/E"
        << "/opt/Tools/RoboCopy.exe" << QStringList{"/E"} << 1 << 1;
    QTest::newRow("generic") << "/usr/bin/rsync"
                             << "-a --delete"
                             << "/usr/bin/rsync" << QStringList{"-a", "--delete"} << 0 << 0;
    QTest::newRow("double space makes no empty argument")
        << "/bin/cp"
        << " -a  -v "
        << "/bin/cp" << QStringList{"-a", "-v"} << 0 << 0;
    QTest::newRow("empty line means no arguments") << "/bin/cp"
                                                   << "   "
                                                   << "/bin/cp" << QStringList() << 0 << 0;
}

void TestExternalProgramSettings::fromUserText()
{
    QFETCH(QString, pathLine);
    QFETCH(QString, argumentsLine);
    QFETCH(QString, filePath);
    QFETCH(QStringList, arguments);
    QFETCH(int, syntax);
    QFETCH(int, maxSuccessExitCode);
    const ExternalProgramSettings settings =
        ExternalProgramSettings::fromUserText(pathLine, argumentsLine);
    QCOMPARE(settings, record(filePath, arguments, syntax));
    QCOMPARE(ExternalProgramSettings::maxSuccessExitCode(settings.syntaxType), maxSuccessExitCode);
}

void TestExternalProgramSettings::equality()
{
    const ExternalProgramSettings base = record("/bin/cp", {"-a"}, 0);
    QVERIFY(base == record("/bin/cp", {"-a"}, 0));
    QVERIFY(base != record("/bin/cp2", {"-a"}, 0));
    QVERIFY(base != record("/bin/cp", {"-a", ""}, 0));
    QVERIFY(base != record("/bin/cp", {"-a"}, 1));
}

QTEST_GUILESS_MAIN(TestExternalProgramSettings)
#include "tst_externalprogramsettings.moc"
