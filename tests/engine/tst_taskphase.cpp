#include "engine/taskphase.h"

#include <QtTest>

using Phase = TaskPhase::Phase;
Q_DECLARE_METATYPE(TaskPhase::Phase)

class TestTaskPhase : public QObject
{
    Q_OBJECT

private slots:
    void allowedChanges_data();
    void allowedChanges();
};

void TestTaskPhase::allowedChanges_data()
{
    QTest::addColumn<Phase>("from");
    QTest::addColumn<Phase>("to");
    QTest::addColumn<bool>("listCompleted");
    QTest::addColumn<bool>("stopRequested");
    QTest::addColumn<bool>("allowed");

    QTest::newRow("a start walks the source")
        << Phase::Idle << Phase::Listing << false << false << true;
    QTest::newRow("no second walk while one runs")
        << Phase::Copying << Phase::Listing << true << false << false;
    QTest::newRow("a whole list is copied")
        << Phase::Listing << Phase::Copying << true << false << true;
    QTest::newRow("a partial list is not")
        << Phase::Listing << Phase::Copying << false << false << false;
    QTest::newRow("a resume copies a whole list")
        << Phase::Stopped << Phase::Copying << true << false << true;
    QTest::newRow("a stopped run syncs no folders")
        << Phase::Copying << Phase::SyncingFolders << true << true << false;
    QTest::newRow("a stopped walk still flushes")
        << Phase::Listing << Phase::Flushing << false << true << true;
    QTest::newRow("a walk never completes by itself")
        << Phase::Listing << Phase::Completed << true << false << false;
    QTest::newRow("a flushed run completes")
        << Phase::Flushing << Phase::Completed << true << false << true;
    QTest::newRow("a stop request ends stopped")
        << Phase::Flushing << Phase::Stopped << true << true << true;
    QTest::newRow("no stop without a request")
        << Phase::Copying << Phase::Stopped << true << false << false;
    QTest::newRow("a refusal comes before any run only")
        << Phase::Copying << Phase::Refused << true << false << false;
    QTest::newRow("nothing goes back to idle")
        << Phase::Completed << Phase::Idle << true << false << false;
}

void TestTaskPhase::allowedChanges()
{
    QFETCH(Phase, from);
    QFETCH(Phase, to);
    QFETCH(bool, listCompleted);
    QFETCH(bool, stopRequested);
    QFETCH(bool, allowed);
    QCOMPARE(TaskPhase::allowed(from, to, {listCompleted, stopRequested, true}), allowed);
}

QTEST_GUILESS_MAIN(TestTaskPhase)
#include "tst_taskphase.moc"
