#include "copytaskfixture.h"
#include "engine/runcontroller.h"
#include "engine/taskfile.h"
#include "poolgate.h"

#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <condition_variable>
#include <future>
#include <mutex>

using namespace TestSupport;

namespace {

// Free space read on the run's thread, held there until the test lets it go: the run's
// thread is busy for as long as a hung file system would keep it.
class HeldStorage : public StorageProbe
{
public:
    struct Gate
    {
        std::mutex mutex;
        std::condition_variable changed;
        bool held = true;
        bool reached = false;
    };
    explicit HeldStorage(std::shared_ptr<Gate> gate) : mp_gate(std::move(gate)) {}
    qint64 availableBytes(const QString&) const override
    {
        std::unique_lock<std::mutex> lock(mp_gate->mutex);
        mp_gate->reached = true;
        mp_gate->changed.notify_all();
        mp_gate->changed.wait(lock, [this] { return !mp_gate->held; });
        return 1;
    }

private:
    std::shared_ptr<Gate> mp_gate;
};

} // namespace

class TestRunController : public QObject, public CopyTaskFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { initRuns(2); }
    void cleanupTestCase() { cleanupRuns(); }
    void init() { initScratch(); }
    void cleanup() { cleanupScratch(); }

    void reportsComeInOrderAndInBatches();
    void stopRightAfterStartReachesTheRun();
    void neverWaitsForTheRunThread();
};

void TestRunController::reportsComeInOrderAndInBatches()
{
    QStringList entries;
    for (int i = 0; i < 1500; ++i)
        entries << QStringLiteral("d%1/f%2=10").arg(i % 10).arg(i);
    makeTree(m_source, entries);
    RunController controller;
    QStringList order;
    int copied = 0;
    connect(&controller, &RunController::copyCompleted, this, [&](const CopyItem& item) {
        if (!item.is_folder)
            ++copied;
        if (order.isEmpty() || order.last() != "item")
            order << "item";
    });
    connect(&controller, &RunController::logAvailable, this, [&] { order << "log"; });
    connect(&controller, &RunController::taskCompleted, this, [&] { order << "end"; });
    QSignalSpy deliveries(&controller, &RunController::reportsTaken);
    controller.start({makeTask(m_source, m_destination), {}, false, {}, {}, {}});
    QVERIFY(!controller.isTaskCompleted());
    QVERIFY(controller.waitForRunToEnd());

    QCOMPARE(copied, 1500);
    QCOMPARE(order.last(), QString("end"));
    QCOMPARE(controller.counter(FilesCopied), 1500);
    const QList<CopyItem> items = controller.copiedItems();
    QCOMPARE(std::count_if(items.begin(), items.end(),
                           [](const CopyItem& item) { return !item.is_folder; }),
             1500L);
    QVERIFY(controller.errorItems().isEmpty());
    QVERIFY(controller.isFileListCompleted());
    // Far fewer wake-ups of the controller's thread than items.
    QVERIFY2(deliveries.size() < 150, qPrintable(QString::number(deliveries.size())));
    QCOMPARE(fileContents(m_destination), fileContents(m_source));
}

void TestRunController::stopRightAfterStartReachesTheRun()
{
    makeTree(m_source, {"a=100", "sub/", "sub/b=200"});
    RunController controller;
    PoolGate pool;
    pool.close();
    controller.start({makeTask(m_source, m_destination), {}, false, {}, {}, {}});
    controller.stop();
    pool.open();
    QVERIFY(controller.waitForRunToEnd());
    QVERIFY(controller.isStopRequested());
    QVERIFY(!QFileInfo::exists(m_destination + "/sub/b"));

    // A task file written and read by other threads lands in the mirror before their answer.
    const QString file = mp_dir->filePath("stopped.bdt");
    QVERIFY(std::async(std::launch::async, [&] {
                return controller.saveToFile(file, false, true, false);
            }).get());
    RunController other;
    std::future<bool> loaded =
        std::async(std::launch::async, [&] { return other.load(TaskFile::read(file)); });
    QVERIFY(loaded.get());
    QTRY_COMPARE(other.task().m_sourcePath, m_source);
    QVERIFY(other.isStopRequested());
}

void TestRunController::neverWaitsForTheRunThread()
{
    makeTree(m_source, {"a=100", "b=200"});
    RunController controller;
    auto gate = std::make_shared<HeldStorage::Gate>();
    controller.setStorageProbe(std::make_unique<HeldStorage>(gate));
    controller.start({makeTask(m_source, m_destination), {}, false, {}, {}, {}});
    {
        std::unique_lock<std::mutex> lock(gate->mutex);
        QVERIFY(
            gate->changed.wait_for(lock, std::chrono::seconds(30), [&] { return gate->reached; }));
    }
    // The run's thread waits; this one answers, takes commands and handles its events.
    QElapsedTimer clock;
    clock.start();
    controller.stop();
    QVERIFY(!controller.isTaskCompleted());
    QCoreApplication::processEvents();
    QVERIFY(clock.elapsed() < 1000);
    {
        std::lock_guard<std::mutex> lock(gate->mutex);
        gate->held = false;
        gate->changed.notify_all();
    }
    QVERIFY(controller.waitForRunToEnd());
    QVERIFY(controller.isStopRequested());
}

QTEST_MAIN(TestRunController)
#include "tst_runcontroller.moc"
