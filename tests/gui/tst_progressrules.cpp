#include "fs/pathutils.h"
#include "progressrules.h"

#include <QtTest>

using Counters = ProgressRules::Counters;
Q_DECLARE_METATYPE(Counters)

// Counters from index-value pairs; the others are 0.
static Counters counters(std::initializer_list<std::pair<int, qint64>> values)
{
    Counters result{};
    for (const auto& value : values)
        result[value.first] = value.second;
    return result;
}

class TestProgressRules : public QObject
{
    Q_OBJECT

private slots:
    void speedLabel_data()
    {
        QTest::addColumn<qint64>("speed");
        QTest::addColumn<qint64>("remainingMs");
        QTest::addColumn<bool>("finished");
        QTest::addColumn<QString>("label");
        const QString speed = FileSystemUtils::byteSizeText(2000) + "/s";
        const QString running = "<font color=#003399>%1</font>&nbsp;&nbsp;<b>%2</b>";
        const qint64 max = 1000000;
        QTest::newRow("speed unknown")
            << 1ll << 5000ll << false << "<font color=#003399>unknown</font>";
        QTest::newRow("finished, speed unknown") << 1ll << 0ll << true << "<b>finished</b>";
        QTest::newRow("finished at the maximum") << max << 0ll << true << "<b>max speed</b>";
        QTest::newRow("time unknown") << 2000ll << -1ll << false << running.arg("unknown", speed);
        QTest::newRow("below 3 s")
            << 2000ll << 2999ll << false << running.arg("almost finished", speed);
        QTest::newRow("from 3 s counted")
            << 2000ll << 3000ll << false
            << running.arg(FileSystemUtils::durationText(3000, false) + " left", speed);
        QTest::newRow("above the maximum")
            << max + 1 << -1ll << false << running.arg("unknown", "max speed");
    }

    void speedLabel()
    {
        QFETCH(qint64, speed);
        QFETCH(qint64, remainingMs);
        QFETCH(bool, finished);
        QFETCH(QString, label);
        QCOMPARE(ProgressRules::speedLabelText(speed, remainingMs, finished, 1000000), label);
    }

    void smoothing_data()
    {
        QTest::addColumn<qint64>("shown");
        QTest::addColumn<qint64>("estimate");
        QTest::addColumn<qint64>("result");
        QTest::newRow("unknown taken at once") << 5000ll << -1ll << -1ll;
        QTest::newRow("short: 2 s move ignored") << 5000ll << 3000ll << 5000ll;
        QTest::newRow("short: 2.5 s move taken") << 5000ll << 2500ll << 2500ll;
        QTest::newRow("12 s: any move taken") << 11000ll << 12000ll << 12000ll;
        QTest::newRow("a minute: any move taken") << 59999ll << 60000ll << 60000ll;
        QTest::newRow("long: a minute's move ignored") << 100000ll << 160000ll << 100000ll;
        QTest::newRow("long: more than a minute taken") << 100000ll << 160001ll << 160001ll;
    }

    void smoothing()
    {
        QFETCH(qint64, shown);
        QFETCH(qint64, estimate);
        QFETCH(qint64, result);
        QCOMPARE(ProgressRules::smoothedRemainingMs(shown, estimate), result);
    }

    void launcherProgress_data()
    {
        QTest::addColumn<Counters>("values");
        QTest::addColumn<bool>("listCompleted");
        QTest::addColumn<bool>("taskCompleted");
        QTest::addColumn<int>("value"); // -1: hidden
        const auto files = [](qint64 done) {
            return counters({{FilesCompleted, done}, {FilesToCopy, 400}, {BytesToCopy, 1000}});
        };
        QTest::newRow("100 of 400 raised to 30") << files(100) << true << false << 30;
        QTest::newRow("240 of 400") << files(240) << true << false << 60;
        QTest::newRow("390 of 400 held at 90") << files(390) << true << false << 90;
        QTest::newRow("building the list") << files(390) << false << false << 50;
        QTest::newRow("no bytes left") << counters({{BytesToCopy, 0}}) << true << false << 50;
        QTest::newRow("run over: hidden") << files(100) << true << true << -1;
    }

    void launcherProgress()
    {
        QFETCH(Counters, values);
        QFETCH(bool, listCompleted);
        QFETCH(bool, taskCompleted);
        QFETCH(int, value);
        const auto progress = ProgressRules::launcherProgress(values, listCompleted, taskCompleted);
        QCOMPARE(progress.visible ? progress.value : -1, value);
    }

    void statsTail_data()
    {
        QTest::addColumn<Counters>("values");
        QTest::addColumn<int>("copyMode");
        QTest::addColumn<bool>("listCompleted");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("tail");
        const QString grey = "<br /><font color=#808080><b>%1</b>%2</font>";
        QTest::newRow("building the list") << counters({{FilesToCopy, 2}}) << 0 << false
                                           << "Copying files" << grey.arg("building file list", "");
        QTest::newRow("bytes left")
            << counters({{BytesCompleted, 1000}, {BytesToCopy, 3000}}) << 1 << true
            << "Moving files" << grey.arg(FileSystemUtils::byteSizeText(2000) + " left", "");
        QTest::newRow("all folders synced")
            << counters({{FoldersSynced, 3}, {FoldersFound, 3}}) << 2 << true << "Verifying copies"
            << grey.arg("operation completed", "");
        QTest::newRow("folders pending")
            << counters({{FoldersSynced, 2}, {FoldersFound, 5}}) << 3 << true
            << "Copying files and fix errors" << grey.arg("2", " copied folders of 5 processed");
    }

    void statsTail()
    {
        QFETCH(Counters, values);
        QFETCH(int, copyMode);
        QFETCH(bool, listCompleted);
        QFETCH(QString, title);
        QFETCH(QString, tail);
        const QString text = ProgressRules::statsText(values, copyMode, listCompleted);
        QVERIFY2(text.startsWith("... <b>" + title + "</b> ...<br />"), qPrintable(text));
        QVERIFY2(text.endsWith(tail), qPrintable(text));
        // The total is in bold once the list is whole.
        QCOMPARE(text.contains(QString("of <b>%1</b>").arg(values[FilesToCopy])), listCompleted);
    }

    void rules()
    {
        // Between two estimates the time counts down to "almost finished" and stays there.
        QList<qint64> shown{5000};
        for (int tick = 0; tick < 4; ++tick)
            shown.append(ProgressRules::countedDownMs(shown.last()));
        QCOMPARE(shown, (QList<qint64>{5000, 4000, 3000, 2000, 2000}));
        QCOMPARE(ProgressRules::pulsed(98), 99);
        QCOMPARE(ProgressRules::pulsed(99), 1);
        // A short run still shows a second; one of a month does not overflow.
        QCOMPARE(ProgressRules::finishedElapsedText(400), QString("1 s"));
        QVERIFY(!ProgressRules::finishedElapsedText(30ll * 24 * 3600 * 1000).startsWith("-"));
        const QStringList report = ProgressRules::reportLines(counters({{BytesToCopy, 3000}}));
        QCOMPARE(report.value(3),
                 "Total File Size: " + FileSystemUtils::byteSizeText(3000) + " (3000 bytes)");
        // Paths below the destination are shown from there; source paths as they are.
        QCOMPARE(ProgressRules::jobProgressLabel("/d/x", "/s", "/d"), QString("./x"));
        QCOMPARE(ProgressRules::jobProgressLabel("/s/x", "/s", "/d"), QString("/s/x"));
        // The end of a run is told by the name of its kind.
        QCOMPARE(ProgressRules::outcomeText(false, 2, CopyOptions::Move),
                 QString("The move has some errors."));
        QCOMPARE(ProgressRules::outcomeText(true, 0, CopyOptions::Move),
                 QString("The move is stopped."));
        QCOMPARE(ProgressRules::outcomeText(false, 1, CopyOptions::Verify),
                 QString("The verification found errors."));
    }
};

QTEST_APPLESS_MAIN(TestProgressRules)
#include "tst_progressrules.moc"
