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
        QTest::newRow("negative estimate: unknown, never \"-3 s\"")
            << 2000ll << -3000ll << false << running.arg("unknown", speed);
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
        QTest::newRow("first estimate after unknown taken at once") << -1ll << 2000ll << 2000ll;
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
            return counters({{FilesCompleted, done},
                             {BytesCompleted, done * 5 / 2},
                             {FilesToCopy, 400},
                             {BytesToCopy, 1000}});
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
        QTest::addColumn<ProgressRules::RunView>("view");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("tail");
        using View = ProgressRules::RunView;
        const QString grey = "<br /><font color=#808080><b>%1</b>%2</font>";
        QTest::newRow("building the list")
            << counters({{FilesToCopy, 2}}) << 0 << false << View::Running << "Copying…"
            << grey.arg("building file list", "");
        QTest::newRow("bytes left")
            << counters({{BytesCompleted, 1000}, {BytesToCopy, 3000}}) << 1 << true << View::Running
            << "Moving…" << grey.arg(FileSystemUtils::byteSizeText(2000) + " left", "");
        QTest::newRow("all folders synced")
            << counters({{FoldersSynced, 3}, {FoldersFound, 3}}) << 2 << true << View::Running
            << "Verifying…" << grey.arg("operation completed", "");
        QTest::newRow("folders pending")
            << counters({{FoldersSynced, 2}, {FoldersFound, 5}}) << 3 << true << View::Running
            << "Fixing errors…" << grey.arg("2", " copied folders of 5 processed");
        QTest::newRow("completed: no \"Copying\" left")
            << counters({{FoldersSynced, 1}, {FoldersFound, 1}}) << 0 << true << View::Completed
            << "Completed" << grey.arg("operation completed", "");
        QTest::newRow("stopped while listing: not \"building\"")
            << counters({{FilesToCopy, 2}}) << 1 << false << View::Stopped << "Stopped"
            << grey.arg("file list not completed", "");
        // The walk's refused entries were once counted processed but not found.
        QTest::newRow("2547 processed of 2410 shown as 2410")
            << counters({{FilesCompleted, 2547}, {FilesToCopy, 2410}}) << 0 << true
            << View::Completed << "Completed" << grey.arg("operation completed", "");
    }

    void statsTail()
    {
        QFETCH(Counters, values);
        QFETCH(int, copyMode);
        QFETCH(bool, listCompleted);
        QFETCH(ProgressRules::RunView, view);
        QFETCH(QString, title);
        QFETCH(QString, tail);
        const QString text = ProgressRules::statsText(values, copyMode, listCompleted, view);
        QVERIFY2(text.startsWith("<b>" + title + "</b><br />"), qPrintable(text));
        QVERIFY2(text.endsWith(tail), qPrintable(text));
        // The total is in bold once the list is whole; nothing processed beyond it.
        QCOMPARE(text.contains(QString("of <b>%1</b>").arg(values[FilesToCopy])), listCompleted);
        const qint64 processed = qMin(values[FilesCompleted], values[FilesToCopy]);
        QVERIFY2(text.contains(QString("<b>%1</b> (").arg(processed)), qPrintable(text));
    }

    void bar_data()
    {
        QTest::addColumn<Counters>("values");
        QTest::addColumn<bool>("listCompleted");
        QTest::addColumn<ProgressRules::RunView>("view");
        QTest::addColumn<int>("percent"); // -1: activity
        using View = ProgressRules::RunView;
        const qint64 file = ProgressRules::FileCostInBytes;
        // Ten files, one of them large: its copy is most of the work, not a tenth of it.
        const Counters large = counters({{FilesCompleted, 1},
                                         {BytesCompleted, 36 * file},
                                         {FilesToCopy, 10},
                                         {BytesToCopy, 90 * file}});
        QTest::newRow("one large file of ten: 37 %, not 10 %")
            << large << true << View::Running << 37;
        QTest::newRow("stopped: keeps its share") << large << true << View::Stopped << 37;
        QTest::newRow("completed with errors: full") << large << true << View::Completed << 100;
        QTest::newRow("walk given up: its share") << large << false << View::Completed << 37;
        QTest::newRow("list being built: activity") << large << false << View::Running << -1;
        QTest::newRow("processed beyond the total: full, not more")
            << counters({{FilesCompleted, 2547}, {FilesToCopy, 2410}}) << true << View::Running
            << 100;
        QTest::newRow("a byte short of the end: 99") << counters({{FilesCompleted, 1},
                                                                  {BytesCompleted, 99 * file - 1},
                                                                  {FilesToCopy, 1},
                                                                  {BytesToCopy, 99 * file}})
                                                     << true << View::Running << 99;
        QTest::newRow("nothing to copy yet") << Counters{} << true << View::Running << 0;
        QTest::newRow("nothing to copy, stopped") << Counters{} << true << View::Stopped << 100;
    }

    void bar()
    {
        QFETCH(Counters, values);
        QFETCH(bool, listCompleted);
        QFETCH(ProgressRules::RunView, view);
        QFETCH(int, percent);
        QCOMPARE(ProgressRules::barPercent(values, listCompleted, view), percent);
    }

    void remaining_data()
    {
        QTest::addColumn<QList<qint64>>("samples"); // first ms, units; now ms, units; left
        QTest::addColumn<bool>("listCompleted");
        QTest::addColumn<qint64>("remainingMs");
        const qint64 huge = std::numeric_limits<qint64>::max();
        QTest::newRow("half in 10 s: 10 s left")
            << QList<qint64>{0, 0, 10000, 50, 50} << true << 10000ll;
        QTest::newRow("resumed: the earlier work is not fast work")
            << QList<qint64>{5000, 1000, 15000, 1100, 100} << true << 10000ll;
        QTest::newRow("list growing: unknown")
            << QList<qint64>{0, 0, 10000, 50, 50} << false << -1ll;
        QTest::newRow("under a second: unknown")
            << QList<qint64>{0, 0, 999, 50, 50} << true << -1ll;
        QTest::newRow("nothing done since: unknown")
            << QList<qint64>{0, 70, 5000, 70, 50} << true << -1ll;
        QTest::newRow("more done than found: 0, never negative")
            << QList<qint64>{0, 0, 5000, 100, -30} << true << 0ll;
        QTest::newRow("a slow start of an endless list: no overflow")
            << QList<qint64>{0, 0, huge / 2, 1, huge} << true << huge / 2;
    }

    void remaining()
    {
        QFETCH(QList<qint64>, samples);
        QFETCH(bool, listCompleted);
        QFETCH(qint64, remainingMs);
        QCOMPARE(ProgressRules::remainingMsFor(samples[0], samples[1], samples[2], samples[3],
                                               samples[4], listCompleted),
                 remainingMs);
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
        QCOMPARE(ProgressRules::outcomeText(false, 0, CopyOptions::Move, true),
                 QString("Nothing to do: the move was complete."));
        QVERIFY(ProgressRules::didNothing(counters({{FilesSkipped, 9}})));
        QVERIFY(!ProgressRules::didNothing(counters({{ErrorItems, 1}})));
        // A file in progress shows its share and sizes; a size that changed never shows 120 %.
        QCOMPARE(ProgressRules::fileProgressText("big.iso", 45, 100),
                 QString("big.iso: 45 % (%1 of %2)")
                     .arg(FileSystemUtils::byteSizeText(45), FileSystemUtils::byteSizeText(100)));
        QVERIFY(ProgressRules::fileProgressText("grown", 120, 100).startsWith("grown: 100 %"));
    }
};

QTEST_APPLESS_MAIN(TestProgressRules)
#include "tst_progressrules.moc"
