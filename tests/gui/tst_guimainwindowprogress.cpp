#include "../net/testhttpserver.h"
#include "app/appsettings.h"
#include "copytaskfixture.h"
#include "engine/filehash.h"
#include "engine/runcontroller.h"
#include "guilog.h"
#include "guimainwindow.h"
#include "jobs/transfercounters.h"
#include "net/ganalytics.h"
#include "progresspresenter.h"
#include "progressrules.h"
#include "readgate.h"
#include "scripteddialogs.h"
#include "taskform.h"
#include "testsupport.h"
#include "windowtesting.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;
using WindowTesting::child;

struct RecordingTaskbar : TaskbarProgress
{
    void setVisible(bool shown) override { visible = shown; }
    bool visible = true;
};

class TestGuiMainWindowProgress : public QObject
{
    Q_OBJECT

    ScriptedDialogs& dialogs() { return *static_cast<ScriptedDialogs*>(mp_window->dialogs()); }
    RecordingDesktop& desktop() { return *static_cast<RecordingDesktop*>(mp_window->desktop()); }
    QString path(const QString& relative) const { return m_dir->filePath(relative); }
    GuiLog* recapLog() const { return child<GuiLog>(*mp_window, "mp_recapLog"); }
    QString recap() const { return recapLog()->text(); }
    QProgressBar* bar() const { return child<QProgressBar>(*mp_window, "mp_progress"); }
    QTabWidget* tabs() const { return child<QTabWidget>(*mp_window, "mp_twMain"); }
    QString status() const { return child<QLabel>(*mp_window, "mp_statusLabel")->text(); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<GuiMainWindow> mp_window;
    RecordingTaskbar* mp_taskbar = nullptr;

private slots:
    void initTestCase()
    {
        WindowTesting::initTestCase();
        clearProxyEnvironment();
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        AppSettings::instance()->setDataFolder(m_dir->path());
        mp_window = WindowTesting::scriptedWindow();
        auto taskbar = std::make_unique<RecordingTaskbar>();
        mp_taskbar = taskbar.get();
        mp_window->setTaskbarProgress(std::move(taskbar));
        makeTree(path("src"), {"a=10", "sub/", "sub/b=3000", "c=20"});
        QVERIFY(QDir().mkpath(path("dst")));
    }

    void cleanup() { WindowTesting::finish(mp_window); }

    void endOfRun_data()
    {
        QTest::addColumn<QString>("run"); // stopped, completed or errors
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("box");
        const QString red = "<font color=red><b>%1</b></font>";
        QTest::newRow("stopped, Resume: resumed without report")
            << "stopped"
            << "Resume" << red.arg("The copy is stopped.");
        QTest::newRow("stopped, Save task: the run is saved")
            << "stopped"
            << "Save task..." << red.arg("The copy is stopped.");
        QTest::newRow("completed, View report")
            << "completed"
            << "View report"
            << "<font color=darkGreen><b>The copy is completed.</b></font>";
        QTest::newRow("errors, View errors: errors file saved")
            << "errors"
            << "View errors" << red.arg("The copy has some errors.");
        QTest::newRow("errors, data folder unusable: a warning only")
            << "errors without data folder"
            << "Ok" << red.arg("The copy has some errors.");
    }

    void endOfRun()
    {
        QFETCH(QString, run);
        QFETCH(QString, answer);
        QFETCH(QString, box);
        TestHttpServer server;
        QVERIFY(server.listen());
        server.setFallbackResponse("", 200);
        qputenv("BRINDLE_ANALYTICS_ENDPOINT", server.url("/collect").toUtf8());
        AppSettings* settings = AppSettings::instance();
        ExternalProgramSettings external;
        external.filePath = "/usr/bin/rsync";
        settings->setExternalProgram(external);
        settings->setAutoSaveErrors(run.startsWith("errors"));
        // A file where the copy needs a folder: the file below it cannot be copied.
        if (run.startsWith("errors"))
            QVERIFY(writeFile(path("dst/sub"), "in the way"));
        if (run == "errors without data folder") {
            settings->setDataFolder(path("src/a"));
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression("^Unable to save errors in file"));
        }
        dialogs().answer(answer);
        if (answer == "Resume")
            dialogs().answer("Ok"); // the end of the resumed run
        if (answer == "Save task...")
            dialogs().pick(path("saved.bdt")).answer("Save all").answer("Ok");
        const Task task = makeTask(path("src"), path("dst"));
        mp_window->taskForm()->showTask(task);
        if (run == "stopped") {
            // Stopped with a whole list and one file left, as a task file keeps it.
            CopyItem item;
            item.source_path = path("src/a");
            item.destination_path = path("dst/a");
            QVERIFY(writeTaskFile(path("stopped.bdt"), task, {item}));
            QVERIFY(mp_window->controller()->loadFromFile(path("stopped.bdt")));
            emit mp_window->controller()->taskCompleted();
            // The box comes once the signal has returned.
            QVERIFY(dialogs().asked.isEmpty());
            QTRY_VERIFY(!dialogs().asked.isEmpty());
            QVERIFY(mp_window->findChildren<GAnalytics*>().isEmpty());
        } else {
            QTest::mouseClick(child<QPushButton>(*mp_window, "mp_pbStart"), Qt::LeftButton);
            QTRY_VERIFY(!dialogs().asked.isEmpty());
        }
        settings->setExternalProgram(ExternalProgramSettings());
        settings->setAutoSaveErrors(false);

        QCOMPARE(dialogs().asked.first().text, box);
        QCOMPARE(recap().contains("Total Folders: "), answer != "Resume");
        QTRY_COMPARE(recap().contains("Done\nTo make this copy from terminal you can try to use "
                                      "this command:\n/usr/bin/rsync " +
                                      path("src") + "/ " + path("dst")),
                     answer != "Resume");
        QCOMPARE(mp_window->isRunning(), answer == "Resume");
        QVERIFY(WindowTesting::waitUntilIdle(*mp_window));
        QVERIFY(!mp_taskbar->visible);
        if (run != "stopped") {
            // One usage event, whose object goes once it is answered.
            QTRY_COMPARE(server.requests().size(), 1);
            const QByteArray hit = server.requests().first().body;
            QVERIFY(hit.contains("&ea=copy&") && hit.endsWith("&ev=3"));
            QTRY_VERIFY(mp_window->findChildren<GAnalytics*>().isEmpty());
        }
        qunsetenv("BRINDLE_ANALYTICS_ENDPOINT");
        if (answer == "Save task...")
            QTRY_VERIFY(QFileInfo::exists(path("saved.bdt")));
        // The statistics name how the run ended; its bar stays, full once every item was
        // processed, errors or not.
        const QString stats = child<QLabel>(*mp_window, "mp_lStats")->text();
        if (answer != "Resume") {
            QVERIFY2(stats.startsWith(run == "stopped" ? "<b>Stopped</b>" : "<b>Completed</b>"),
                     qPrintable(stats));
            QCOMPARE(bar()->value(), run == "stopped" ? 0 : 100);
        }
        if (run == "completed") {
            QCOMPARE(tabs()->currentWidget(), recapLog());
            QCOMPARE(child<QLabel>(*mp_window, "mp_lEndTime")->text(),
                     QString("<b>max speed</b>")); // too few bytes
            QCOMPARE(bar()->value(), 100);
        }
        if (run.startsWith("errors")) {
            const QString errorsFile = path(mp_window->controller()->errorsFileName());
            QCOMPARE(QFileInfo::exists(errorsFile), run == "errors");
            QCOMPARE(tabs()->currentWidget() == child<QWidget>(*mp_window, "mp_tabFiles"),
                     answer == "View errors");
            QCOMPARE(child<QRadioButton>(*mp_window, "mp_rbViewErrors")->isChecked(),
                     answer == "View errors");
            QVERIFY(recap().contains(QString("The copy has %1 errors\n")
                                         .arg(mp_window->controller()->counter(ErrorItems))));
            QVERIFY(!recap().contains("saved"));
            QVERIFY(!status().contains("save", Qt::CaseInsensitive));
        }
    }

    void notification_data()
    {
        QTest::addColumn<bool>("active");
        QTest::newRow("window elsewhere: notified") << false;
        QTest::newRow("window active: quiet") << true;
    }

    void notification()
    {
        QFETCH(bool, active);
        if (active) {
            mp_window->show();
            mp_window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(mp_window.get()));
        }
        dialogs().answer("Ok");
        emit mp_window->controller()->taskCompleted();
        QVERIFY(WindowTesting::waitUntilIdle(*mp_window));
        const QList<QStringList> notified{{"Brindle", "The copy is completed."}};
        QCOMPARE(desktop().notifications, active ? QList<QStringList>() : notified);
        if (!active) {
            desktop().clickNotification();
            QVERIFY(mp_window->isVisible());
        }
    }

    // Pause holds the run mid-file, says so, and Continue goes on to the end.
    void pauseHoldsAndGoesOn()
    {
        QVERIFY(QDir().mkpath(path("big")));
        const QByteArray data = contentFor("big.bin", 48 << 20);
        QVERIFY(writeFile(path("big/big.bin"), data));
        ReadGate gate(path("big"), ReadGate::Event::Read);
        if (!gate.isValid())
            QSKIP(qPrintable(gate.skipReason()));
        gate.holdAfter(1);
        dialogs().answer("Ok");
        mp_window->taskForm()->showTask(makeTask(path("big"), path("dst")));
        auto* pause = child<QPushButton>(*mp_window, "mp_pbPause");
        QVERIFY(!pause->isEnabled());
        QTest::mouseClick(child<QPushButton>(*mp_window, "mp_pbStart"), Qt::LeftButton);
        QTRY_VERIFY(pause->isEnabled());
        QVERIFY2(gate.waitUntilHolding(), "the copy never read its source");
        QTest::mouseClick(pause, Qt::LeftButton);
        // A failed check below must not leave the run held for the end of the test to wait on.
        const std::unique_ptr<RunController, void (*)(RunController*)> goesOn(
            mp_window->controller(), [](RunController* run) { run->continueRun(); });
        QVERIFY(gate.open());
        QTRY_COMPARE(pause->text(), QString("Continue"));
        QTRY_VERIFY(threadHoldsOnPause());
        QVERIFY(mp_window->controller()->isPaused());
        const QString stats = child<QLabel>(*mp_window, "mp_lStats")->text();
        QVERIFY2(stats.startsWith("<b>Paused</b>"), qPrintable(stats));
        QVERIFY2(status().startsWith("Paused"), qPrintable(status()));
        QVERIFY(recap().contains("Paused"));
        // The clock stands still while paused.
        const qint64 elapsed = mp_window->controller()->elapsedMs();
        QCOMPARE(mp_window->controller()->elapsedMs(), elapsed);

        QTest::mouseClick(pause, Qt::LeftButton);
        QTRY_VERIFY(!mp_window->isRunning());
        QVERIFY(recap().contains("Continued"));
        QCOMPARE(pause->text(), QString("Pause"));
        QCOMPARE(readFile(path("dst/big.bin")), data);
    }

    void barAndCountFollowLargeFileInProgress()
    {
        // A stopped run's task: one file of 1 GiB, its list complete, half of it copied.
        const qint64 size = qint64(1) << 30;
        CopyItem item(path("src/a"), path("dst/a"), size, false, QString());
        QVERIFY(writeTaskFile(path("stopped.bdt"), makeTask(path("src"), path("dst")), {item}));
        QVERIFY(mp_window->controller()->loadFromFile(path("stopped.bdt")));
        TransferCounters* counters = TransferCounters::instance();
        counters->setFileProgress(counters->startFile(path("src/a"), size), size / 2, size);
        CopyTask::Counters halfway = mp_window->controller()->counters();
        halfway[BytesCompleted] = size / 2;
        const int expected =
            ProgressRules::barPercent(halfway, true, ProgressRules::RunView::Running);
        QVERIFY(expected > 0);
        auto* stats = child<QLabel>(*mp_window, "mp_lStats");
        mp_window->progressPresenter()->startRun();
        QVERIFY(stats->text().isEmpty());
        // A completed file moves the bar at once, and the count with it, before the
        // second's refresh.
        emit mp_window->controller()->copyCompleted(CopyItem());
        QCoreApplication::processEvents();
        QCOMPARE(bar()->value(), expected);
        QVERIFY(stats->text().contains("processed files of"));
        mp_window->progressPresenter()->endRun();
        counters->resetAll();
    }

    void barActivity()
    {
        RunController* task = mp_window->controller();
        bar()->setValue(40);
        // A job's own share is not the run's: the bar stays, the status line names the file.
        emit task->jobProgress("x", 10, 10);
        QCOMPARE(bar()->value(), 40);
        QCOMPARE(status(), QString("x"));
        emit task->jobProgress("/elsewhere/big", 30, 200);
        QCOMPARE(bar()->value(), 40);
        QCOMPARE(status(), ProgressRules::fileProgressText("/elsewhere/big", 30, 200));
        emit task->flushProgress(50, 200);
        QCOMPARE(bar()->value(), 25);
        QCOMPARE(status(), QString("Writing to the device…"));
        emit task->flushProgress(50, 0);
        QCOMPARE(bar()->value(), 26);
    }
};

QTEST_MAIN(TestGuiMainWindowProgress)
#include "tst_guimainwindowprogress.moc"
