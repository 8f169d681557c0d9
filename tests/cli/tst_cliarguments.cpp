#include "cliarguments.h"
#include "clireport.h"

#include <QJsonArray>
#include <QtTest>

Q_DECLARE_METATYPE(CliReport::RunKind)

class TestCliArguments : public QObject
{
    Q_OBJECT

private slots:
    void usageErrors_data();
    void usageErrors();
    void copyOptions_data();
    void copyOptions();
    void runSettings();
    void externalProgramArguments_data();
    void externalProgramArguments();
    void resume();
    void patternsFromText_data();
    void patternsFromText();
    void reportLines_data();
    void reportLines();
    void safeText_data();
    void safeText();
    void progressEstimate();
    void progressLine_data();
    void progressLine();
    void flushLine_data();
    void flushLine();
    void reportJson();
};

void TestCliArguments::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    QTest::newRow("no command") << QStringList{} << "No command given";
    QTest::newRow("unknown command")
        << QStringList{"clone", "a", "b"} << "Unknown command \"clone\"";
    QTest::newRow("copy without destination")
        << QStringList{"copy", "a"} << "copy needs a source and a destination";
    QTest::newRow("copy with three paths")
        << QStringList{"copy", "a", "b", "c"} << "copy needs a source";
    QTest::newRow("resume without file")
        << QStringList{"resume"} << "resume needs exactly one task file";
    QTest::newRow("check without list") << QStringList{"check"} << "check needs a checksum list";
    QTest::newRow("check with two folders")
        << QStringList{"check", "list", "a", "b"} << "check needs a checksum list";
    QTest::newRow("resume with a copy option")
        << QStringList{"resume", "t.bdt", "--collate"} << "--collate cannot be used with resume";
    QTest::newRow("fix errors outside resume") << QStringList{"copy", "a", "b", "--fix-errors"}
                                               << "--fix-errors can only be used with resume";
    QTest::newRow("bad overwrite rule") << QStringList{"copy", "a", "b", "--overwrite", "sometimes"}
                                        << "Unknown --overwrite rule \"sometimes\"";
    QTest::newRow("threads zero") << QStringList{"copy", "a", "b", "--threads", "0"}
                                  << "--threads needs a number";
    QTest::newRow("threads text") << QStringList{"copy", "a", "b", "--threads", "two"}
                                  << "--threads needs a number";
    QTest::newRow("bad method") << QStringList{"copy", "a", "b", "--method", "fast"}
                                << "Unknown --method \"fast\"";
    QTest::newRow("external args alone") << QStringList{"copy", "a", "b", "--external-args", "-a"}
                                         << "--external-args and --no-file-list need --external";
    QTest::newRow("external with verify")
        << QStringList{"verify", "a", "b", "--external", "/bin/cp"}
        << "--external cannot be used with verify";
    QTest::newRow("empty task file name")
        << QStringList{"copy", "a", "b", "--save-task", ""} << "--save-task needs a file name";
    QTest::newRow("resume with parents")
        << QStringList{"resume", "t.bdt", "--parents"} << "--parents cannot be used with resume";
    QTest::newRow("unknown option")
        << QStringList{"copy", "a", "b", "--fast"} << "Unknown option 'fast'";
    QTest::newRow("option without value")
        << QStringList{"copy", "a", "b", "--threads"} << "Missing value after '--threads'";
    QTest::newRow("verify on a verify")
        << QStringList{"verify", "a", "b", "--verify"} << "--verify is for copy and move";
    QTest::newRow("verify through an external program")
        << QStringList{"copy", "a", "b", "--verify", "--external", "/bin/cp"}
        << "--verify cannot be used with --external";
    QTest::newRow("manifest of an unverified copy")
        << QStringList{"copy", "a", "b", "--manifest", "list"}
        << "--manifest needs verify, or --verify with copy and move";
    QTest::newRow("resume with verify")
        << QStringList{"resume", "t.bdt", "--verify"} << "--verify cannot be used with resume";
}

void TestCliArguments::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    arguments.prepend("brindle-cli");
    CliArguments parsed;
    QString error;
    QCOMPARE(CliArgumentParser::parse(arguments, &parsed, &error), CliArgumentParser::UsageError);
    QVERIFY2(error.startsWith(message), qPrintable(error));
}

void TestCliArguments::copyOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected"); // options data string, joined with '|'

    // Fields: obsolete, overwrite, hidden, recursive, links, copy filters, skip filters,
    // skip-error patterns, empty folders, destination mode, copy mode.
    QTest::newRow("copy defaults")
        << QStringList{"copy", "/s", "/d"} << "0|1|1|1|1|||desktop.ini|1|1|0";
    QTest::newRow("move") << QStringList{"move", "/s", "/d"} << "0|1|1|1|1|||desktop.ini|1|1|1";
    QTest::newRow("verify") << QStringList{"verify", "/s", "/d"} << "0|1|1|1|1|||desktop.ini|1|1|2";
    QTest::newRow("every switch") << QStringList{"copy",
                                                 "/s",
                                                 "/d",
                                                 "--overwrite",
                                                 "rename",
                                                 "--collate",
                                                 "--no-recursive",
                                                 "--no-hidden",
                                                 "--no-links",
                                                 "--no-empty-folders"}
                                  << "0|3|0|0|0|||desktop.ini|0|0|0";
    QTest::newRow("overwrite never") << QStringList{"copy", "/s", "/d", "--overwrite", "never"}
                                     << "0|0|1|1|1|||desktop.ini|1|1|0";
    QTest::newRow("overwrite different") << QStringList{"copy", "/s", "/d", "--overwrite=different"}
                                         << "0|4|1|1|1|||desktop.ini|1|1|0";
    QTest::newRow("verified move by content")
        << QStringList{"move", "/s", "/d", "--verify", "--overwrite=content", "--manifest=l"}
        << "0|5|1|1|1|||desktop.ini|1|1|1|verify";
    QTest::newRow("patterns") << QStringList{"copy",
                                             "/s",
                                             "/d",
                                             "--include",
                                             "*.jpg, *.png",
                                             "--exclude",
                                             "~*",
                                             "--skip-errors-on",
                                             "thumbs.db,desktop.ini"}
                              << "0|1|1|1|1|*.jpg, *.png|~*|thumbs.db, desktop.ini|1|1|0";
    // Given several times, the patterns of an option add up, as rsync's do.
    QTest::newRow("repeated patterns")
        << QStringList{"move",      "/s",           "/d",        "--exclude", "*.jpg",
                       "--exclude", "*.png, *.jpg", "--include", "a*",        "--include=b*"}
        << "0|1|1|1|1|a*, b*|*.jpg, *.png|desktop.ini|1|1|1";
}

void TestCliArguments::copyOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    arguments.prepend("brindle-cli");
    CliArguments parsed;
    QString error;
    QCOMPARE(CliArgumentParser::parse(arguments, &parsed, &error), CliArgumentParser::Run);
    QCOMPARE(parsed.sourcePath, QStringLiteral("/s"));
    QCOMPARE(parsed.destinationPath, QStringLiteral("/d"));
    QCOMPARE(parsed.options.toDataString().join('|'), expected);
}

void TestCliArguments::runSettings()
{
    CliArguments parsed;
    QString error;
    QCOMPARE(
        CliArgumentParser::parse({"brindle-cli", "copy", "/s", "/d", "--threads", "4", "--method",
                                  "simple", "--external", "/opt/robocopy", "--external-args",
                                  "/E /R:1", "--no-file-list", "--save-task", "/tmp/t.bdt",
                                  "--report-filtered", "--quiet", "--json", "--portable"},
                                 &parsed, &error),
        CliArgumentParser::Run);
    QCOMPARE(parsed.threads, 4);
    QCOMPARE(parsed.copyMethod, 3);
    QVERIFY(parsed.useExternalProgram);
    QCOMPARE(parsed.externalProgram.filePath, QStringLiteral("/opt/robocopy"));
    QCOMPARE(parsed.externalProgram.arguments, (QStringList{"/E", "/R:1"}));
    QCOMPARE(parsed.externalProgram.syntaxType, int(RobocopySyntax));
    QVERIFY(parsed.skipBuildListForExternalProgram);
    QCOMPARE(parsed.saveTaskPath, QStringLiteral("/tmp/t.bdt"));
    QVERIFY(parsed.reportFilteredFiles && parsed.quiet && parsed.json && parsed.portable);

    CliArguments plain;
    QCOMPARE(CliArgumentParser::parse({"brindle-cli", "copy", "/s", "/d"}, &plain, &error),
             CliArgumentParser::Run);
    QCOMPARE(plain.threads, 0);
    QCOMPARE(plain.copyMethod, -1);
    QVERIFY(!plain.useExternalProgram && !plain.quiet && !plain.json);
}

void TestCliArguments::externalProgramArguments_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("expected"); // joined by spaces
    QTest::newRow("rsync in any folder") << QStringList{"--external", "/opt/b/rsync"} << "-a";
    QTest::newRow("robocopy in any case")
        << QStringList{"--external", "/c/RoboCopy.EXE"} << "/E /R:10 /COPY:DAT";
    QTest::newRow("a known name inside another")
        << QStringList{"--external", "/bin/rsync-wrapper"} << "";
    QTest::newRow("given empty arguments mean none")
        << QStringList{"--external", "/bin/rsync", "--external-args", ""} << "";
}

void TestCliArguments::externalProgramArguments()
{
    QFETCH(QStringList, options);
    CliArguments parsed;
    QString error;
    QVERIFY(CliArgumentParser::parse(QStringList{"cli", "copy", "/s", "/d"} + options, &parsed,
                                     &error) == CliArgumentParser::Run);
    QTEST(parsed.externalProgram.arguments.join(' '), "expected");
}

void TestCliArguments::resume()
{
    CliArguments parsed;
    QString error;
    QCOMPARE(CliArgumentParser::parse({"brindle-cli", "resume", "/t/run.bdt", "--fix-errors",
                                       "--threads", "2", "--json"},
                                      &parsed, &error),
             CliArgumentParser::Run);
    QCOMPARE(parsed.command, CliArguments::ResumeCommand);
    QCOMPARE(parsed.taskFile, QStringLiteral("/t/run.bdt"));
    QVERIFY(parsed.fixErrors);
    QCOMPARE(CliArgumentParser::parse({"brindle-cli", "--help"}, &parsed, &error),
             CliArgumentParser::ShowHelp);
    QCOMPARE(CliArgumentParser::parse({"brindle-cli", "--version"}, &parsed, &error),
             CliArgumentParser::ShowVersion);
}

void TestCliArguments::patternsFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("patterns");
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("blanks only") << "  , ,  " << QStringList{};
    QTest::newRow("spaced: blanks inside kept")
        << " *.a ,  b  c ,,*.d" << QStringList{"*.a", "b  c", "*.d"};
    QTest::newRow("newline inside kept") << "new\nline.tmp\n" << QStringList{"new\nline.tmp"};
    QTest::newRow("escaped trailing blank kept") << "a\\ , b" << QStringList{"a\\ ", "b"};
    QTest::newRow("escaped comma") << "a\\,b.txt, c" << QStringList{"a\\,b.txt", "c"};
    QTest::newRow("escaped backslash before a comma") << "a\\\\,b" << QStringList{"a\\\\", "b"};
    QTest::newRow("backslash at the end") << "a\\" << QStringList{"a\\"};
}

void TestCliArguments::patternsFromText()
{
    QFETCH(QString, text);
    QFETCH(QStringList, patterns);
    QCOMPARE(CliArgumentParser::patternsFromText(text), patterns);
}

void TestCliArguments::reportLines_data()
{
    using Kind = CliReport::RunKind;
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<bool>("resumed");
    QTest::addColumn<QStringList>("named");
    QTest::newRow("copy") << Kind::Copy << false
                          << QStringList{"Copied Files: 7", "Skipped Files: 1", "Checked Files: 4"};
    QTest::newRow("move") << Kind::Move << false
                          << QStringList{"Moved Files: 7", "Skipped Files: 1", "Checked Files: 4"};
    QTest::newRow("verify") << Kind::Verify << false
                            << QStringList{"Verified Files: 4", "Skipped Files: 1"};
    QTest::newRow("resume: what changed since the earlier run")
        << Kind::Copy << true
        << QStringList{"Copied Files: 7", "Skipped Files: 1", "Checked Files: 4",
                       "Changed Since The Earlier Run: 2"};
}

void TestCliArguments::reportLines()
{
    QFETCH(CliReport::RunKind, kind);
    QFETCH(bool, resumed);
    QFETCH(QStringList, named);
    CliReport::Counters c{};
    c[FoldersFound] = 3;
    c[FoldersSynced] = 2;
    c[FilesToCopy] = 10;
    c[BytesToCopy] = 2500000;
    c[FilesCompleted] = 9;
    c[BytesCompleted] = 1500;
    c[FilesCopied] = 7;
    c[FilesSkipped] = 1;
    c[FilesChecked] = 4;
    c[ErrorItems] = 1;
    c[FilesChanged] = 2;
    // A run of a fraction of a second has its real speed, not a placeholder.
    const QStringList expected =
        QStringList{"Total Folders: 3",   "Processed Folders: 2",
                    "Total Files: 10",    "Total File Size: 2.50 MB (2500000 bytes)",
                    "Processed Files: 9", "Processed File Size: 1.5 kB (1500 bytes)"} +
        named + QStringList{"Errors: 1", "Elapsed Time: 250 ms", "Average Speed: 6.0 kB/s", "Done"};
    QCOMPARE(CliReport::reportLines(c, kind, 250, resumed), expected);
}

void TestCliArguments::safeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("safe");
    QTest::newRow("plain, backslash kept")
        << QString::fromUtf8("a\\b é") << QString::fromUtf8("a\\b é");
    QTest::newRow("C0 and C1 controls, delete") << QString("\x1b[1m\n") + QChar(0x9b) + "\x7f"
                                                << "\\x1b[1m\\x0a\\x9b\\x7f";
    QTest::newRow("byte of a name that is not UTF-8, lone surrogate")
        << QString("caf") + QChar(0xdce9) + QChar(0xd800) << "caf\\xe9\\ud800";
    QTest::newRow("right-to-left override") << QString("doc") + QChar(0x202e) + "fdp.exe"
                                            << "doc\\u202efdp.exe";
}

void TestCliArguments::safeText()
{
    QFETCH(QString, text);
    QFETCH(QString, safe);
    QCOMPARE(CliReport::safeText(text), safe);
}

void TestCliArguments::progressEstimate()
{
    // 100 files of 1 MB: after 2 s of measured work, a quarter of the work is done.
    CliReport::Counters c{};
    c[FilesToCopy] = 100;
    c[BytesToCopy] = 100000000;
    CliReport::ProgressEstimate estimate;
    c[FilesCompleted] = 10; // done by an earlier run: not counted as fast work
    c[BytesCompleted] = 10000000;
    estimate.update(60000, c, true);
    QCOMPARE(estimate.remainingMs(), qint64(-1));
    c[FilesCompleted] = 35;
    c[BytesCompleted] = 35000000;
    estimate.update(60500, c, true);
    QCOMPARE(estimate.remainingMs(), qint64(-1)); // under a second measured
    estimate.update(62000, c, true);
    QCOMPARE(estimate.bytesPerSecond(), qint64(12500000));
    QCOMPARE(estimate.remainingMs(), qint64(5200));
    estimate.update(62000, c, false);
    QCOMPARE(estimate.remainingMs(), qint64(-1));
}

void TestCliArguments::progressLine_data()
{
    QTest::addColumn<bool>("listCompleted");
    QTest::addColumn<qint64>("speed");
    QTest::addColumn<qint64>("remaining");
    QTest::addColumn<qint64>("errors");
    QTest::addColumn<QString>("expected");

    QTest::newRow("building") << false << qint64(0) << qint64(-1) << qint64(0)
                              << "2/5+ files, 2.0 kB/3.0 kB+, building file list";
    QTest::newRow("measured") << true << qint64(2500000) << qint64(3000) << qint64(0)
                              << "2/5 files, 2.0 kB/3.0 kB, 2.50 MB/s, 3 s left";
    QTest::newRow("errors shown") << true << qint64(2500) << qint64(65000) << qint64(2)
                                  << "2/5 files, 2.0 kB/3.0 kB, 2.5 kB/s, 1:05 m left, 2 errors";
    QTest::newRow("nothing measured yet")
        << true << qint64(0) << qint64(-1) << qint64(0) << "2/5 files, 2.0 kB/3.0 kB";
}

void TestCliArguments::progressLine()
{
    QFETCH(bool, listCompleted);
    QFETCH(qint64, speed);
    QFETCH(qint64, remaining);
    QFETCH(qint64, errors);
    QFETCH(QString, expected);
    CliReport::Counters c{};
    c[FilesCompleted] = 2;
    c[FilesToCopy] = 5;
    c[BytesCompleted] = 2000;
    c[BytesToCopy] = 3000;
    c[ErrorItems] = errors;
    QCOMPARE(CliReport::progressLine(c, listCompleted, speed, remaining), expected);
}

void TestCliArguments::flushLine_data()
{
    QTest::addColumn<qint64>("written");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<QString>("expected");

    const QString text = QStringLiteral("Writing to the device\u2026");
    QTest::newRow("part written") << qint64(459) << qint64(1000) << text + " 45%";
    QTest::newRow("terabytes") << (qint64(5) << 40) << (qint64(10) << 40) << text + " 50%";
    QTest::newRow("amount unknown") << qint64(0) << qint64(0) << text;
}

void TestCliArguments::flushLine()
{
    QFETCH(qint64, written);
    QFETCH(qint64, total);
    QTEST(CliReport::flushLine(written, total), "expected");
}

void TestCliArguments::reportJson()
{
    CliReport::Counters c{};
    c[FilesToCopy] = 2;
    c[ErrorItems] = 1;
    CopyItem failed("/s/b", "/d/b", 1, false, QString());
    failed.setSourceError("open 13: Permission denied");
    const QJsonObject json =
        CliReport::reportJson("copy", "completed with errors", c, {failed}, 42);
    QCOMPARE(json.value("totalFiles").toInt(), 2);
    QCOMPARE(json.value("errors").toInt(), 1);
    QCOMPARE(json.value("outcome").toString(), QStringLiteral("completed with errors"));
    const QJsonObject error = json.value("errorItems").toArray().first().toObject();
    QCOMPARE(error.value("source").toString(), QStringLiteral("/s/b"));
    QCOMPARE(error.value("state").toString(), QStringLiteral("source error"));
    QCOMPARE(error.value("messageText").toString(), QStringLiteral("open 13: Permission denied"));
}

QTEST_GUILESS_MAIN(TestCliArguments)
#include "tst_cliarguments.moc"
