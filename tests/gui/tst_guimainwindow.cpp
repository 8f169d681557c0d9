#include "app/appsettings.h"
#include "copytaskfixture.h"
#include "engine/filehash.h"
#include "engine/runcontroller.h"
#include "guilog.h"
#include "guimainwindow.h"
#include "jobs/jobthreadpool.h"
#include "mainwindowrules.h"
#include "poolgate.h"
#include "runpresenter.h"
#include "scripteddialogs.h"
#include "taskform.h"
#include "testsupport.h"
#include "windowtesting.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;
using WindowTesting::child;

class TestGuiMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void validatePaths_data();
    void validatePaths();
    void checkUnderWay_data();
    void checkUnderWay();
    void previousTaskPrompt_data();
    void previousTaskPrompt();
    void stopWhileListing_data();
    void stopWhileListing();
    void storageFull_data();
    void storageFull();
    void fixErrors();
    void recentTasks();
    void taskRoundTrip();
    void optionRules_data();
    void optionRules();
    void statusText_data();
    void statusText();
    void preferencesRebuildPool();
    void closeDuringRun_data();
    void closeDuringRun();
    void copyThroughButtons();

private:
    ScriptedDialogs& dialogs() { return *static_cast<ScriptedDialogs*>(mp_window->dialogs()); }
    RunPresenter* run() { return mp_window->runPresenter(); }
    TaskForm* form() { return mp_window->taskForm(); }
    QLineEdit* field(const char* name) { return child<QLineEdit>(*mp_window, name); }
    QPushButton* button(const char* name) { return child<QPushButton>(*mp_window, name); }
    QGroupBox* group(const char* name) { return child<QGroupBox>(*mp_window, name); }
    QString path(const QString& relative) const { return m_dir->filePath(relative); }
    // Starts with the button, answering the questions, and waits for the run to end.
    void runToEndThroughWindow();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<GuiMainWindow> mp_window;
};

void TestGuiMainWindow::initTestCase()
{
    WindowTesting::initTestCase();
}

void TestGuiMainWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QDir::setCurrent(m_dir->path());
    AppSettings::instance()->setRecentTasks({});
    mp_window = WindowTesting::scriptedWindow();
    makeTree(path("src"), {"a=10", "sub/", "sub/b=3000", "c=20"});
}

void TestGuiMainWindow::cleanup()
{
    WindowTesting::finish(mp_window);
}

void TestGuiMainWindow::runToEndThroughWindow()
{
    QTest::mouseClick(button("mp_pbStart"), Qt::LeftButton);
    QVERIFY(WindowTesting::waitUntilIdle(*mp_window));
}

void TestGuiMainWindow::validatePaths_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("shownDestination"); // "" when refused

    const QString onItself = "Unable to copy an item on itself.";
    const QString spaces =
        "The path '%1' contains spaces at start or end. Do you want to delete them?";
    const QString create = "Unable to find the destination folder '%1'.";
    const QString chain =
        "The folder '%1' on the way to the destination '%2' does not exist. Is the drive mounted?";
    QTest::newRow("empty source") << "  "
                                  << "dst" << QStringList() << false << QStringList() << "";
    QTest::newRow("empty destination") << "@/src"
                                       << "" << QStringList() << false << QStringList() << "";
    QTest::newRow("blanks trimmed on Yes")
        << "@/src "
        << "@/dst" << QStringList{"Yes", "Create folder"} << true
        << QStringList{spaces.arg("@/src "), create.arg("@/dst")} << "@/dst";
    QTest::newRow("blanks kept on No: not found")
        << "@/src "
        << "@/dst" << QStringList{"No", "Ok"} << false
        << QStringList{spaces.arg("@/src "), "Unable to find '@/src '."} << "";
    QTest::newRow("same text") << "@/src"
                               << "@/src" << QStringList{"Ok"} << false << QStringList{onItself}
                               << "";
    QTest::newRow("same folder through a link")
        << "@/src"
        << "@/alias" << QStringList{"Ok"} << false << QStringList{onItself} << "";
    QTest::newRow("differs only in case") << "@/src"
                                          << "@/SRC" << QStringList{"Create folder"} << true
                                          << QStringList{create.arg("@/SRC")} << "@/SRC";
    QTest::newRow("relative paths made absolute")
        << "src"
        << "out/dst" << QStringList{"Create all folders"} << true
        << QStringList{chain.arg("@/out", "@/out/dst")} << "@/out/dst";
    QTest::newRow("parent missing: the box closed creates nothing")
        << "@/src"
        << "@/mnt/stick/dst" << QStringList{""} << false
        << QStringList{chain.arg("@/mnt", "@/mnt/stick/dst")} << "";
    QTest::newRow("parent missing, single file: asked too")
        << "@/src/a"
        << "@/mnt/dst" << QStringList{"Cancel"} << false
        << QStringList{chain.arg("@/mnt", "@/mnt/dst")} << "";
    QTest::newRow("missing source") << "@/nothing"
                                    << "@/dst" << QStringList{"Ok"} << false
                                    << QStringList{"Unable to find '@/nothing'."} << "";
    QTest::newRow("creation cancelled")
        << "@/src"
        << "@/dst" << QStringList{"Cancel"} << false << QStringList{create.arg("@/dst")} << "";
    QTest::newRow("creation fails")
        << "@/src"
        << "@/src/a/dst" << QStringList{"Create all folders", "Ok"} << false
        << QStringList{chain.arg("@/src/a", "@/src/a/dst"), "Unable to create destination folder."}
        << "";
    QTest::newRow("destination is a file: one refusal before anything starts")
        << "@/src"
        << "@/src/a" << QStringList{"Ok"} << false
        << QStringList{"The destination '@/src/a' is not a folder."} << "";
    QTest::newRow("verify, missing destination: one refusal, nothing made")
        << "@/src"
        << "@/dst" << QStringList{"Ok"} << false
        << QStringList{"The destination '@/dst' does not exist: there is nothing to verify."} << "";
    QTest::newRow("single file, missing destination: nothing asked")
        << "@/src/a"
        << "@/new" << QStringList() << true << QStringList() << "@/new";
}

void TestGuiMainWindow::validatePaths()
{
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QFETCH(QStringList, answers);
    QFETCH(bool, accepted);
    QFETCH(QStringList, boxes);
    QFETCH(QString, shownDestination);
    QVERIFY(QFile::link(path("src"), path("alias")));
    const QString root = m_dir->path();
    for (const QString& answer : answers)
        dialogs().answer(answer);
    if (source.endsWith(' ') && answers.value(0) == "No")
        QTest::ignoreMessage(QtWarningMsg,
                             qPrintable(QString("Unable to find source path %1/src  . Please check "
                                                "spaces and strip it")
                                            .arg(root)));
    if (QTest::currentDataTag() == QByteArray("creation fails"))
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Unable to create destination"));
    field("mp_leFrom")->setText(source.replace("@", root));
    field("mp_leTo")->setText(destination.replace("@", root));

    // The file-system part runs on the worker: the answer comes as a signal.
    QSignalSpy checked(run(), &RunPresenter::pathsChecked);
    run()->checkPaths(QByteArray(QTest::currentDataTag()).startsWith("verify"));
    QTRY_COMPARE(checked.size(), 1);
    QCOMPARE(checked.first().first().toBool(), accepted);
    QCOMPARE(dialogs().texts(), boxes.replaceInStrings("@", root));
    // A field left empty is named in the status bar.
    const QString status = child<QLabel>(*mp_window, "mp_statusLabel")->text();
    if (source.trimmed().isEmpty())
        QCOMPARE(status, QString("Name the file or folder to copy first."));
    else if (destination.isEmpty())
        QCOMPARE(status, QString("Name the destination folder first."));
    if (accepted) {
        QCOMPARE(field("mp_leTo")->text(), shownDestination.replace("@", root));
        QVERIFY(QFileInfo(field("mp_leFrom")->text()).isAbsolute());
    }
    QCOMPARE(QFileInfo::exists(path("dst")),
             accepted && destination.endsWith("/dst") && !destination.contains("out"));
    QVERIFY(!QFileInfo::exists(path("mnt")));
    // Enter makes the last folder only; a chain of folders is never the default.
    for (const ScriptedDialogs::Asked& box : qAsConst(dialogs().asked)) {
        if (box.text.startsWith("Unable to find the destination"))
            QCOMPARE(box.buttons.value(box.defaultButton), QString("Create folder"));
        if (box.text.startsWith("The folder")) {
            QCOMPARE(box.buttons.value(box.defaultButton), QString("Cancel"));
            QCOMPARE(box.escapeButton, box.defaultButton);
        }
    }
}

void TestGuiMainWindow::checkUnderWay_data()
{
    QTest::addColumn<QString>("then");
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("second start: ignored")
        << "start"
        << QStringList{"Unable to find the destination folder '@/dst'.", "The copy is completed."};
    QTest::newRow("window closed: nothing asked, nothing run") << "close" << QStringList();
}

// The paths are checked on the worker: the window meanwhile takes other requests.
void TestGuiMainWindow::checkUnderWay()
{
    QFETCH(QString, then);
    QFETCH(QStringList, boxes);
    form()->setPaths(path("src"), path("dst"));
    if (!boxes.isEmpty())
        dialogs().answer("Create folder").answer("Ok");
    run()->startCopy();
    if (then == "start")
        button("mp_pbStart")->click();
    else
        QVERIFY(mp_window->close());
    QVERIFY(WindowTesting::waitUntilIdle(*mp_window));
    QCOMPARE(dialogs().texts().replaceInStrings(QRegularExpression("<[^>]*>"), ""),
             boxes.replaceInStrings("@", m_dir->path()));
    QCOMPARE(QFileInfo::exists(path("dst/a")), !boxes.isEmpty());
}

void TestGuiMainWindow::previousTaskPrompt_data()
{
    QTest::addColumn<int>("copyMode");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("goOn");
    QTest::addColumn<bool>("resume");
    QTest::newRow("Resume") << int(CopyOptions::Copy) << "Resume" << true << true;
    QTest::newRow("Restart") << int(CopyOptions::Copy) << "Restart" << true << false;
    QTest::newRow("Cancel") << int(CopyOptions::Copy) << "Cancel" << false << false;
    QTest::newRow("Escape") << int(CopyOptions::Copy) << "" << false << false;
    QTest::newRow("other operation: not asked") << int(CopyOptions::Move) << "-" << true << false;
}

void TestGuiMainWindow::previousTaskPrompt()
{
    QFETCH(int, copyMode);
    QFETCH(QString, answer);
    QFETCH(bool, goOn);
    QFETCH(bool, resume);
    // A stopped run whose list was complete, as a task file leaves it.
    const Task task = makeTask(path("src"), path("dst"));
    CopyItem item;
    item.source_path = path("src/a");
    item.destination_path = path("dst/a");
    QVERIFY(writeTaskFile(path("stopped.bdt"), task, {item}));
    QVERIFY(mp_window->controller()->loadFromFile(path("stopped.bdt")));
    field("mp_leFrom")->setText(path("src"));
    field("mp_leTo")->setText(path("dst"));
    if (answer != "-")
        dialogs().answer(answer);

    bool resumeAnswer = true;
    QCOMPARE(run()->askAboutPreviousTask(copyMode, &resumeAnswer), goOn);
    QCOMPARE(resumeAnswer, resume);
    if (answer != "-") {
        QCOMPARE(dialogs().texts(), QStringList{"The previous task is not completed."});
        QCOMPARE(dialogs().asked.first().buttons, (QStringList{"Resume", "Restart", "Cancel"}));
        QCOMPARE(dialogs().asked.first().escapeButton, 2);
    }
}

void TestGuiMainWindow::stopWhileListing_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("stopped");
    QTest::newRow("Stop the copy") << "Stop the copy" << true;
    QTest::newRow("Continue") << "Continue" << false;
    QTest::newRow("Escape") << "" << false;
    QTest::newRow("Escape key, then Stop the copy") << "Stop the copy" << true;
}

void TestGuiMainWindow::stopWhileListing()
{
    QFETCH(QString, answer);
    QFETCH(bool, stopped);
    form()->setPaths(path("src"), path("dst"));
    // The box at the end of the run is closed, whatever outcome it tells.
    dialogs().answer("Create folder").answer(answer).answer("");
    // The run starts, but its walk waits behind the held pool: its list is not complete.
    TestSupport::PoolGate pool;
    pool.close();
    run()->startCopy();
    QTRY_VERIFY(mp_window->isRunning());
    if (QByteArray(QTest::currentDataTag()).startsWith("Escape key"))
        run()->askToStop(); // the window's Escape
    else
        run()->stopCopy();
    QCOMPARE(dialogs().asked.last().text,
             QString("The file list is not completed yet. If you stop the process now you "
                     "cannot save or resume the copy."));
    QCOMPARE(button("mp_pbStop")->isEnabled(), !stopped);
    pool.open();
    QVERIFY(WindowTesting::waitUntilIdle(*mp_window));
    QCOMPARE(mp_window->controller()->isStopRequested(), stopped);
    // (A stop may come after some files were copied: only a run left alone copies them all.)
    QVERIFY(stopped || QFileInfo::exists(path("dst/sub/b")));
    QVERIFY(button("mp_pbStart")->isEnabled());
}

void TestGuiMainWindow::storageFull_data()
{
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<bool>("stopped");
    // "Stop" asks to stop the run; before its list is complete that is confirmed first.
    QTest::newRow("Stop") << QStringList{"Stop", "Stop the copy"} << true;
    QTest::newRow("Continue") << QStringList{"Continue"} << false;
    QTest::newRow("Escape continues") << QStringList{""} << false;
}

void TestGuiMainWindow::storageFull()
{
    QFETCH(QStringList, answers);
    QFETCH(bool, stopped);
    answers.append(QString()); // closes the box at the end of the run
    QVERIFY(QDir().mkpath(path("dst")));
    field("mp_leFrom")->setText(path("src"));
    field("mp_leTo")->setText(path("dst"));
    for (const QString& answer : answers)
        dialogs().answer(answer);
    TestSupport::PoolGate pool;
    if (stopped) {
        // The run waits behind the held pool until the stop has been given.
        pool.close();
        run()->startCopy();
        QTRY_VERIFY(mp_window->isRunning());
        emit mp_window->controller()->storageIsFull(1000, 3030);
        // Asked once the signal has returned, never from inside it.
        QVERIFY(dialogs().asked.isEmpty());
        QTRY_COMPARE(dialogs().asked.size(), answers.size() - 1);
        pool.open();
    } else {
        mp_window->controller()->setStorageProbe(std::make_unique<FixedStorage>(1000));
        runToEndThroughWindow();
    }
    QTRY_VERIFY(!dialogs().asked.isEmpty());
    QCOMPARE(dialogs().texts().first(),
             QString("Target storage has %1 of free space and it doesn't contain a complete copy "
                     "of %2.\nDo you want to continue or stop the process?")
                 .arg(FileSystemUtils::byteSizeText(1000), FileSystemUtils::byteSizeText(3030)));
    QCOMPARE(dialogs().asked.first().escapeButton, 0);
    QVERIFY(WindowTesting::waitUntilIdle(*mp_window));
    QCOMPARE(dialogs().asked.size(), answers.size());
    QCOMPARE(mp_window->controller()->isStopRequested(), stopped);
    QVERIFY(stopped || QFileInfo::exists(path("dst/a")));
}

void TestGuiMainWindow::fixErrors()
{
    field("mp_leFrom")->setText(path("src"));
    field("mp_leTo")->setText(path("dst"));
    QVERIFY(QDir().mkpath(path("dst")));
    dialogs().answer("Ok");
    run()->fixErrors();
    QVERIFY(WindowTesting::waitUntilIdle(*mp_window));
    QCOMPARE(dialogs().texts(), QStringList{"There is not errors to fix."});

    // A run that left one error; then other paths are typed: its errors are not copied
    // into them, the fields go back to the run's paths.
    CopyItem failed;
    failed.source_path = path("src/a");
    failed.destination_path = path("dst/a");
    failed.copy_state = SourceError;
    QVERIFY(writeTaskFile(path("errors.bdt"), makeTask(path("src"), path("dst")), {failed}));
    QVERIFY(mp_window->controller()->loadFromFile(path("errors.bdt")));
    QVERIFY(QDir().mkpath(path("other")));
    field("mp_leTo")->setText(path("other"));
    dialogs().answer("Ok");
    run()->fixErrors();
    QVERIFY(WindowTesting::waitUntilIdle(*mp_window));
    QVERIFY(dialogs().texts().last().startsWith("The errors to fix belong to the copy from"));
    QCOMPARE(field("mp_leTo")->text(), path("dst"));
    QVERIFY(!mp_window->isRunning());

    dialogs().answer("Ok");
    run()->fixErrors();
    QVERIFY(WindowTesting::waitUntilIdle(*mp_window));
    QCOMPARE(readFile(path("dst/a")), readFile(path("src/a")));
    QVERIFY(!QFileInfo::exists(path("other/a")));
}

void TestGuiMainWindow::recentTasks()
{
    QList<Task> tasks;
    for (int index = 0; index < 21; ++index)
        tasks = MainWindowRules::recentTasksWith(tasks, makeTask(QString("/s%1").arg(index), "/d"));
    QCOMPARE(tasks.size(), 20);
    QCOMPARE(tasks.first().m_sourcePath, QString("/s20"));
    QCOMPARE(tasks.last().m_sourcePath, QString("/s1"));

    Task again = makeTask("/s5", "/d");
    again.m_options.m_recursive = false;
    tasks = MainWindowRules::recentTasksWith(tasks, again);
    QCOMPARE(tasks.size(), 20);
    QCOMPARE(tasks.first().m_options.m_recursive, false);
    int named = 0;
    for (const Task& task : tasks)
        named += task.m_name == again.m_name ? 1 : 0;
    QCOMPARE(named, 1);
}

void TestGuiMainWindow::taskRoundTrip()
{
    Task task = makeTask("/from/here", "/to/there");
    CopyOptions& options = task.m_options;
    options.m_copyHiddenFiles = false;
    options.m_overwriteMode = CopyOptions::OverwriteDifferent;
    options.m_copyFilters = QStringList{"*.jpg", "*.tiff"};
    options.m_skipFilters = QStringList{"~*"};
    options.m_skipErrorOnFiles = QStringList{"*.lock"};
    options.m_recursive = false;
    options.m_copySymbolicLinks = false;
    options.m_copyEmptyFolders = false;
    options.m_destinationMode = CopyOptions::Collate;
    task.updateName();
    form()->showTask(task);
    QCOMPARE(field("mp_leCopyFilters")->text(), QString("*.jpg, *.tiff"));
    QVERIFY(form()->task() == task);

    form()->newTask();
    QVERIFY(form()->task().m_options == Task().m_options);
}

void TestGuiMainWindow::optionRules_data()
{
    QTest::addColumn<bool>("external");
    QTest::addColumn<bool>("skipList");
    QTest::addColumn<bool>("copyOptions");
    QTest::addColumn<bool>("overwrite");
    QTest::newRow("own copier") << false << true << true << true;
    QTest::newRow("external program") << true << false << true << false;
    QTest::newRow("external program without list") << true << true << false << false;
}

void TestGuiMainWindow::optionRules()
{
    QFETCH(bool, external);
    QFETCH(bool, skipList);
    QFETCH(bool, copyOptions);
    QFETCH(bool, overwrite);
    AppSettings* settings = AppSettings::instance();
    settings->setUseExternalCopyProgram(external);
    settings->setSkipBuildListForExternalProgram(skipList);
    form()->updateOptionWidgets();
    settings->setUseExternalCopyProgram(false);
    QCOMPARE(group("mp_gbCopyOptions")->isEnabled(), copyOptions);
    QCOMPARE(group("mp_gbFilters")->isEnabled(), copyOptions);
    QCOMPARE(group("mp_gbOverwriteModeOptions")->isEnabled(), overwrite);
    QCOMPARE(group("mp_gbOverwriteModeOptions")->toolTip().isEmpty(), overwrite);
    QVERIFY(group("mp_gbDestinationMode")->isEnabled());
}

void TestGuiMainWindow::statusText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("shown");
    // One pixel per character.
    QTest::newRow("fits, blanks simplified") << "a  b" << 10 << "a b";
    QTest::newRow("four off the front first") << "0123456789" << 9 << "...456789";
    QTest::newRow("then one at a time") << "0123456789" << 8 << "...56789";
    QTest::newRow("never fits") << "0123456789" << 2 << QString();
}

void TestGuiMainWindow::statusText()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QString, shown);
    const QString fitted = MainWindowRules::fittedStatusText(
        text, width, [](const QString& candidate) { return int(candidate.size()); });
    QCOMPARE(fitted, shown);
    QCOMPARE(fitted.isNull(), shown.isNull());
}

void TestGuiMainWindow::preferencesRebuildPool()
{
    // A dialog that asks for three threads, accepted or not.
    struct Preferences : GuiMainWindow::PreferencesDialog
    {
        explicit Preferences(bool accept) : m_accept(accept) {}
        void loadSettings() override {}
        bool exec() override { return m_accept; }
        void storeSettings() override { AppSettings::instance()->setMaxNumThreads(3); }
        bool m_accept;
    };
    for (const bool accept : {false, true}) {
        mp_window->setPreferencesFactory(
            [accept](QWidget*) { return std::make_unique<Preferences>(accept); });
        QAction* preferences = child<QAction>(*mp_window, "mp_actPreferences");
        QVERIFY(preferences->isVisible());
        preferences->trigger();
        QCOMPARE(JobThreadPool::threadCount(), accept ? 3 : 2);
    }
    AppSettings::instance()->setMaxNumThreads(2);
    usePool(2);
}

void TestGuiMainWindow::closeDuringRun_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("closed");
    QTest::newRow("Yes stops and closes") << "Yes" << true;
    QTest::newRow("No keeps the run") << "No" << false;
    QTest::newRow("a termination signal asks nothing") << "" << true;
}

void TestGuiMainWindow::closeDuringRun()
{
    QFETCH(QString, answer);
    QFETCH(bool, closed);
    field("mp_leFrom")->setText(path("src"));
    field("mp_leTo")->setText(path("dst"));
    mp_window->show();
    dialogs().answer("Create folder");
    // The run waits behind the held pool: it is still going on when the window closes.
    TestSupport::PoolGate pool;
    pool.close();
    run()->startCopy();
    QTRY_VERIFY(mp_window->isRunning());
    if (answer.isEmpty()) {
        mp_window->closeWithoutAsking();
    } else {
        dialogs().answer(answer);
        QCOMPARE(mp_window->close(), closed);
        QCOMPARE(dialogs().texts().last(), QString("Do you really want to quit Brindle?"));
    }
    QCOMPARE(mp_window->isVisible(), !closed);
    pool.open();
    if (closed) {
        // Closing stopped the run, and nothing of its end is shown.
        QVERIFY(mp_window->waitForRunToEnd());
        QVERIFY(mp_window->controller()->isStopRequested());
        QCoreApplication::processEvents();
        QCOMPARE(dialogs().asked.size(), answer.isEmpty() ? 1 : 2);
    } else {
        dialogs().answer("Ok");
        QVERIFY(WindowTesting::waitUntilIdle(*mp_window));
        QCOMPARE(fileContents(path("dst")), fileContents(path("src")));
    }
}

void TestGuiMainWindow::copyThroughButtons()
{
    QVERIFY(setMode(path("src"), 0750));
    field("mp_leFrom")->setText(path("src"));
    field("mp_leTo")->setText(path("dst"));
    dialogs().answer("Create folder").answer("Ok");
    runToEndThroughWindow();
    QCOMPARE(fileContents(path("dst")), fileContents(path("src")));
    // The folder made for the copy ends with its source's mode.
    QCOMPARE(modeOf(path("dst")), 0750);
    const QString recap = child<GuiLog>(*mp_window, "mp_recapLog")->text();
    QVERIFY(recap.contains("From: " + path("src")));
    QVERIFY(recap.contains("Threads used: 2"));
    QCOMPARE(dialogs().texts().last(),
             QString("<font color=darkGreen><b>The copy is completed.</b></font>"));
    QVERIFY(button("mp_pbStart")->isEnabled());
    QVERIFY(!button("mp_pbStop")->isEnabled());
    QVERIFY(group("mp_gbPaths")->isEnabled());
    QCOMPARE(AppSettings::instance()->recentTasks().value(0).m_sourcePath, path("src"));
}

QTEST_MAIN(TestGuiMainWindow)
#include "tst_guimainwindow.moc"
