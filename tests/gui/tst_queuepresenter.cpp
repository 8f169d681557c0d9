#include "app/appsettings.h"
#include "guimainwindow.h"
#include "queue/queuestore.h"
#include "queuemodel.h"
#include "queuepresenter.h"
#include "scripteddialogs.h"
#include "taskform.h"
#include "testsupport.h"
#include "windowtesting.h"

#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using WindowTesting::child;

// The window's queue: a task added from the form, the runs' buttons, the notifications.
class TestQueuePresenter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { WindowTesting::initTestCase(); }
    void init();
    void cleanup();
    void addToQueue_data();
    void addToQueue();
    void refusedPaths_data();
    void refusedPaths();
    void buttons_data();
    void buttons();
    void notifiesEnds();

private:
    QueuedRun store(const QString& letter, QueuedRun::State state);
    RecordingDesktop* desktop() const
    {
        return static_cast<RecordingDesktop*>(mp_window->desktop());
    }
    QStringList storedOrder() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<GuiMainWindow> mp_window;
    QueuePresenter* mp_queue = nullptr;
};

void TestQueuePresenter::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    AppSettings::instance()->setDataFolder(m_dir->filePath("data"));
    QDir().mkpath(m_dir->filePath("data"));
    mp_window = WindowTesting::scriptedWindow();
    mp_queue = mp_window->queuePresenter();
    mp_queue->setRunnerProgram("/opt/brindle-cli");
}

void TestQueuePresenter::cleanup()
{
    WindowTesting::finish(mp_window);
}

QueuedRun TestQueuePresenter::store(const QString& letter, QueuedRun::State state)
{
    QueueStore queue(m_dir->filePath("data"));
    queue.makeFolder();
    QueuedRun run;
    run.m_id = letter + QString(15, '0'); // the same run each time
    run.m_order = letter.at(0).unicode();
    run.m_state = state;
    run.m_source = "/src " + letter;
    run.m_destination = "/dst\\" + letter;
    run.m_taskFile = queue.taskFilePath(run.m_id);
    queue.save(run);
    return run;
}

QStringList TestQueuePresenter::storedOrder() const
{
    QStringList letters;
    for (const QueuedRun& run : QueueStore(m_dir->filePath("data")).load())
        letters << run.m_id.left(1) + ":" + QueuedRun::stateName(run.m_state);
    return letters;
}

void TestQueuePresenter::addToQueue_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("name");
    QTest::newRow("copy") << int(CopyOptions::Copy) << "copy";
    QTest::newRow("move") << int(CopyOptions::Move) << "move";
    QTest::newRow("verify") << int(CopyOptions::Verify) << "verify";
}

void TestQueuePresenter::addToQueue()
{
    QFETCH(int, mode);
    QFETCH(QString, name);
    // A name with a space, a backslash and a newline.
    const QString source = m_dir->filePath("s r\\c\nx");
    QVERIFY(TestSupport::writeFile(source + "/a", "a"));
    const QString destination = m_dir->filePath("dst");
    QDir().mkpath(destination);
    mp_window->taskForm()->setPaths(source, destination);
    // The check before a verify asks about the file that has no copy yet.
    if (mode == CopyOptions::Verify)
        static_cast<ScriptedDialogs*>(mp_window->dialogs())->answer("Verify anyway");
    mp_queue->addToQueue(mode);
    // No runner answers: the run is stored, and one is started to run it.
    QTRY_COMPARE(desktop()->started.size(), 1);
    QCOMPARE(desktop()->started.first(),
             (QStringList{"/opt/brindle-cli", "queue", "run", "--quiet"}));
    const QList<QueuedRun> runs = QueueStore(m_dir->filePath("data")).load();
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.first().m_mode, name);
    QCOMPARE(runs.first().m_source, source);
    QVERIFY(QFileInfo(runs.first().m_taskFile).isFile());
    QTRY_COMPARE(mp_queue->model()->rowCount(), 1);
}

void TestQueuePresenter::refusedPaths_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    QTest::newRow("missing source") << "missing"
                                    << "dst";
    QTest::newRow("the source itself") << "src"
                                       << "src";
}

void TestQueuePresenter::refusedPaths()
{
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QVERIFY(TestSupport::writeFile(m_dir->filePath("src/a"), "a"));
    mp_window->taskForm()->setPaths(m_dir->filePath(source), m_dir->filePath(destination));
    auto* dialogs = static_cast<ScriptedDialogs*>(mp_window->dialogs());
    dialogs->answer("Ok");
    mp_queue->addToQueue(CopyOptions::Copy);
    // Refused before anything is queued or started.
    QTRY_COMPARE(dialogs->pendingAnswers(), 0);
    QVERIFY(WindowTesting::waitUntilIdle(*mp_window));
    QVERIFY(QueueStore(m_dir->filePath("data")).load().isEmpty());
    QVERIFY(desktop()->started.isEmpty());
}

void TestQueuePresenter::buttons_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("pause") << 0 << "pause" << QStringList{"a:paused", "b:queued", "c:done"};
    QTest::newRow("stop") << 1 << "stop" << QStringList{"a:queued", "b:stopped", "c:done"};
    QTest::newRow("continue an ended run")
        << 2 << "continue" << QStringList{"a:queued", "b:queued", "c:queued"};
    QTest::newRow("move up") << 1 << "up" << QStringList{"b:queued", "a:queued", "c:done"};
    QTest::newRow("move down") << 0 << "down" << QStringList{"b:queued", "a:queued", "c:done"};
    QTest::newRow("remove") << 2 << "remove" << QStringList{"a:queued", "b:queued"};
}

void TestQueuePresenter::buttons()
{
    QFETCH(int, row);
    QFETCH(QString, button);
    QFETCH(QStringList, order);
    store("a", QueuedRun::State::Queued);
    store("b", QueuedRun::State::Queued);
    store("c", QueuedRun::State::Done);
    QTRY_COMPARE(mp_queue->model()->rowCount(), 3);
    mp_queue->view()->selectRow(row);
    child<QPushButton>(*mp_window, qPrintable("mp_pbQueue_" + button))->click();
    QTRY_COMPARE(storedOrder(), order);
    QTRY_COMPARE(mp_queue->model()->rowCount(), order.size());
}

void TestQueuePresenter::notifiesEnds()
{
    store("a", QueuedRun::State::Running);
    store("b", QueuedRun::State::Running);
    // Runs that ended before the window saw them are not told again.
    store("c", QueuedRun::State::Done);
    QSignalSpy refreshed(mp_queue, &QueuePresenter::refreshed);
    QTRY_VERIFY(refreshed.count() >= 1);
    QVERIFY(desktop()->notifications.isEmpty());

    store("a", QueuedRun::State::Done);
    mp_queue->refresh();
    QTRY_COMPARE(desktop()->notifications.size(), 1);
    QVERIFY(desktop()->notifications.first().join(' ').contains("/src a"));

    store("b", QueuedRun::State::Failed);
    mp_queue->refresh();
    QTRY_COMPARE(desktop()->notifications.size(), 3);
    QCOMPARE(desktop()->notifications.at(2).first(), QString("The queue is done"));
}

QTEST_MAIN(TestQueuePresenter)
#include "tst_queuepresenter.moc"
