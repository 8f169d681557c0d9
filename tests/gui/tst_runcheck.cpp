// The check before a run: the plan in words, the question before a copy that found a
// problem (answered from a script), "Check first" and its decisions, and a cancel that
// leaves a plan hung on a dead mount behind.
#include "conflictlistmodel.h"
#include "copytaskfixture.h"
#include "engine/runcontroller.h"
#include "exfatmount.h"
#include "guilog.h"
#include "guimainwindow.h"
#include "plancheckdialog.h"
#include "reportview.h"
#include "runcheck.h"
#include "runpresenter.h"
#include "scripteddialogs.h"
#include "taskform.h"
#include "testsupport.h"
#include "windowtesting.h"
#include "windowworker.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

#include <unistd.h>

using namespace TestSupport;
using WindowTesting::child;
using Outcome = RunPlan::Outcome;

Q_DECLARE_METATYPE(RunPlan::Problem)
using DecisionMap = QMap<QString, int>;

namespace {

RunPlan::Problem problem(const QString& code, int entries, bool certain = false)
{
    RunPlan::Problem made;
    made.code = code;
    made.count = entries;
    made.certain = certain;
    made.bytes = code == QLatin1String("no-space") ? 4096 : 0;
    for (int index = 0; index < entries; ++index)
        made.entries << QStringLiteral("/dst/f%1").arg(index);
    return made;
}

bool containsLine(const QStringList& lines, const QString& start)
{
    for (const QString& line : lines) {
        if (line.startsWith(start))
            return true;
    }
    return false;
}

} // namespace

class TestRunCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { WindowTesting::initTestCase(); }
    void init();
    void cleanup() { WindowTesting::finish(mp_window); }

    void summaryInWords_data();
    void summaryInWords();
    void problemsInWords_data();
    void problemsInWords();
    void decisionsOverThePlan();
    void dialogDecides_data();
    void dialogDecides();
    void questionBeforeRun_data();
    void questionBeforeRun();
    void checkFirstDecides_data();
    void checkFirstDecides();
    void cancelLeavesHungPlan();
    void resumeKeepsChoices();
    void checkFirstWithoutSource();
    void eachModeChecked_data();
    void eachModeChecked();

private:
    ScriptedDialogs& dialogs() { return *static_cast<ScriptedDialogs*>(mp_window->dialogs()); }
    QString path(const QString& relative) const { return m_dir->filePath(relative); }
    void setPaths(const QString& source, const QString& destination);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<GuiMainWindow> mp_window;
};

void TestRunCheck::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    mp_window = WindowTesting::scriptedWindow();
}

void TestRunCheck::setPaths(const QString& source, const QString& destination)
{
    child<QLineEdit>(*mp_window, "mp_leFrom")->setText(source);
    child<QLineEdit>(*mp_window, "mp_leTo")->setText(destination);
}

void TestRunCheck::summaryInWords_data()
{
    QTest::addColumn<int>("copyMode");
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");

    QTest::newRow("copy") << int(CopyOptions::Copy) << false
                          << QStringList{"To copy: 2 files",        "To overwrite: 1 files",
                                         "To skip: 4 files",        "To rename: 0 files",
                                         "In error: 1 files",       "Estimated time: ",
                                         "Basis of the estimate: ", "Destination: "}
                          << QStringList{"Leaving the source", "To compare", "The check was"};
    QTest::newRow("move") << int(CopyOptions::Move) << false
                          << QStringList{"Leaving the source: 3 files"} << QStringList();
    QTest::newRow("verify") << int(CopyOptions::Verify) << false
                            << QStringList{"To compare: 2 files"}
                            << QStringList{"To copy", "Destination: ", "To rename"};
    QTest::newRow("cancelled") << int(CopyOptions::Copy) << true
                               << QStringList{"The check was cancelled"} << QStringList();
}

void TestRunCheck::summaryInWords()
{
    QFETCH(int, copyMode);
    QFETCH(bool, stopped);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    PlanReport report;
    report.task.m_options.m_copyMode = copyMode;
    report.stopped = stopped;
    report.tallies[size_t(Outcome::New)] = {2, 2048};
    report.tallies[size_t(Outcome::Overwrite)] = {1, 10};
    report.tallies[size_t(Outcome::SkipSame)] = {3, 30};
    report.tallies[size_t(Outcome::SkipFiltered)] = {1, 1};
    report.tallies[size_t(Outcome::Error)] = {1, 0};
    report.removed = {3, 40};
    const QStringList lines = report.summaryLines();
    for (const QString& start : present)
        QVERIFY2(containsLine(lines, start), qPrintable(start + "\n" + lines.join('\n')));
    for (const QString& start : absent)
        QVERIFY2(!containsLine(lines, start), qPrintable(start + "\n" + lines.join('\n')));
}

void TestRunCheck::problemsInWords_data()
{
    QTest::addColumn<QList<RunPlan::Problem>>("problems");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("asks");
    QTest::addColumn<bool>("offersReplace");
    QTest::addColumn<bool>("fails");

    QTest::newRow("refused names, more than shown")
        << QList<RunPlan::Problem>{problem("forbidden-character", 7)}
        << QStringList{"Names with characters the destination refuses: 7",
                       "    /dst/f0",
                       "    /dst/f1",
                       "    /dst/f2",
                       "    /dst/f3",
                       "    /dst/f4",
                       "    ... and 2 more"}
        << true << true << false;
    QTest::newRow("no space is a certain failure")
        << QList<RunPlan::Problem>{problem("no-space", 1, true)}
        << QStringList{"Not enough free space at the destination: 1 (4.1 kB short)", "    /dst/f0"}
        << true << false << true;
    QTest::newRow("modes lost alone ask nothing")
        << QList<RunPlan::Problem>{problem("modes-lost", 1), problem("owners-lost", 1)}
        << QStringList{"Permissions the destination does not keep: 1", "    /dst/f0",
                       "Owners the destination does not keep: 1", "    /dst/f0"}
        << false << false << false;
}

void TestRunCheck::problemsInWords()
{
    QFETCH(QList<RunPlan::Problem>, problems);
    QFETCH(QStringList, lines);
    QFETCH(bool, asks);
    QFETCH(bool, offersReplace);
    QFETCH(bool, fails);
    PlanReport report;
    report.problems = problems;
    QCOMPARE(report.problemLines(), lines);
    QCOMPARE(report.needsQuestion(), asks);
    QCOMPARE(report.refusesNames(), offersReplace);
    QCOMPARE(!report.failureText().isEmpty(), fails);
    // The Report tab lists every entry, not only those shown.
    int entries = 0;
    for (const RunPlan::Problem& each : problems)
        entries += each.entries.size();
    const QList<CopyItem> items = report.problemItems();
    QCOMPARE(items.size(), entries);
    QCOMPARE(items.first().copy_message, PlanReport::problemText(problems.first().code));
}

void TestRunCheck::decisionsOverThePlan()
{
    PlanReport report;
    report.task.m_destinationPath = QStringLiteral("/dst");
    report.task.m_options.m_fileDecisions.insert(QStringLiteral("earlier"),
                                                 CopyOptions::DecideRename);
    const struct
    {
        const char* name;
        Outcome outcome;
        bool older;
    } rows[] = {{"a", Outcome::Overwrite, true},
                {"b b", Outcome::SkipNewer, false},
                {"c/d", Outcome::SkipSame, true}};
    for (const auto& row : rows) {
        RunPlan::Conflict conflict;
        conflict.destination = QStringLiteral("/dst/") + QLatin1String(row.name);
        conflict.outcome = row.outcome;
        conflict.destinationOlder = row.older;
        report.conflicts << conflict;
    }
    ConflictListModel model(report);
    // Unchanged, nothing but the earlier decision is kept.
    QCOMPARE(report.decisionsWith(model.decisions()), report.task.m_options.m_fileDecisions);
    model.setAll(CopyOptions::DecideOverwrite, true);
    model.setDecision({1}, CopyOptions::DecideRename);
    const QMap<QString, int> expected{{"earlier", CopyOptions::DecideRename},
                                      {"b b", CopyOptions::DecideRename},
                                      {"c/d", CopyOptions::DecideOverwrite}};
    QCOMPARE(report.decisionsWith(model.decisions()), expected);
    QCOMPARE(model.data(model.index(2, ConflictListModel::DecisionColumn)).toString(),
             QStringLiteral("Overwrite *"));
}

void TestRunCheck::dialogDecides_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<DecisionMap>("decisions");

    // "old" is older there and would be overwritten, "new" is newer there and kept.
    QTest::newRow("skip all") << "mp_pbSkipAll" << QList<int>()
                              << DecisionMap{{"old", CopyOptions::DecideSkip}};
    QTest::newRow("rename all") << "mp_pbRenameAll" << QList<int>()
                                << DecisionMap{{"old", CopyOptions::DecideRename},
                                               {"new", CopyOptions::DecideRename}};
    QTest::newRow("overwrite all older, already so")
        << "mp_pbOverwriteOlder" << QList<int>() << DecisionMap();
    QTest::newRow("overwrite the selected newer file")
        << "mp_pbOverwriteSelected" << QList<int>{1}
        << DecisionMap{{"new", CopyOptions::DecideOverwrite}};
    QTest::newRow("nothing selected") << "mp_pbRenameSelected" << QList<int>() << DecisionMap();
}

void TestRunCheck::dialogDecides()
{
    QFETCH(QString, button);
    QFETCH(QList<int>, selected);
    QFETCH(DecisionMap, decisions);
    PlanReport report;
    report.task.m_destinationPath = QStringLiteral("/dst");
    for (const auto& row :
         {std::make_pair("old", Outcome::Overwrite), std::make_pair("new", Outcome::SkipNewer)}) {
        RunPlan::Conflict conflict;
        conflict.destination = QStringLiteral("/dst/") + QLatin1String(row.first);
        conflict.outcome = row.second;
        conflict.destinationOlder = row.second == Outcome::Overwrite;
        report.conflicts << conflict;
    }
    Dialogs::PlanQuestion question;
    question.report = &report;
    question.buttons = QStringList{"Copy anyway", "Cancel"};
    question.defaultButton = question.escapeButton = 1;
    {
        PlanCheckDialog dialog(question);
        auto* view = child<QTableView>(dialog, "mp_tvConflicts");
        for (const int row : selected)
            view->selectionModel()->select(view->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        child<QPushButton>(dialog, qPrintable(button))->click();
        dialog.choose(0);
        QCOMPARE(dialog.answer().button, 0);
        QCOMPARE(dialog.answer().decisions, decisions);
    }
    // Escape answers with the escape button.
    PlanCheckDialog dialog(question);
    dialog.reject();
    QCOMPARE(dialog.answer().button, 1);
}

void TestRunCheck::questionBeforeRun_data()
{
    QTest::addColumn<bool>("refusedName");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("runs");
    QTest::addColumn<bool>("replaces");

    QTest::newRow("nothing found, nothing asked") << false << QString() << true << false;
    QTest::newRow("cancel writes nothing") << true << "Cancel" << false << false;
    QTest::newRow("closed box writes nothing") << true << "" << false << false;
    QTest::newRow("copy anyway") << true << "Copy anyway" << true << false;
    QTest::newRow("replace forbidden characters")
        << true << "Replace forbidden characters" << true << true;
}

void TestRunCheck::questionBeforeRun()
{
    QFETCH(bool, refusedName);
    QFETCH(QString, answer);
    QFETCH(bool, runs);
    QFETCH(bool, replaces);
    ExfatMount mount;
    if (!mount.isValid())
        QSKIP(qPrintable(mount.skipReason()));
    const QString destination = mount.path() + "/dst";
    QVERIFY(QDir().mkpath(destination));
    makeTree(path("src"), {"ok.txt=10"});
    if (refusedName)
        makeTree(path("src"), {"what?.txt=5"});
    setPaths(path("src"), destination);
    if (refusedName)
        dialogs().answer(answer);
    if (runs)
        dialogs().answer("Ok");
    mp_window->runPresenter()->startCopy();
    QVERIFY(WindowTesting::waitUntilIdle(*mp_window));

    QCOMPARE(dialogs().plans.size(), refusedName ? 1 : 0);
    if (refusedName) {
        const ScriptedDialogs::Asked& asked = dialogs().asked.first();
        QCOMPARE(asked.buttons,
                 (QStringList{"Copy anyway", "Cancel", "Replace forbidden characters"}));
        QCOMPARE(asked.defaultButton, 1);
        QCOMPARE(dialogs().plans.first().problems.first().code,
                 QStringLiteral("forbidden-character"));
    }
    QCOMPARE(QFileInfo::exists(destination + "/ok.txt"), runs);
    if (!runs) {
        QVERIFY(QDir(destination).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        QVERIFY(mp_window->controller()->task().m_sourcePath.isEmpty());
    } else {
        QCOMPARE(mp_window->controller()->task().m_options.m_replaceForbiddenNames, replaces);
        // The recap says how such names are written.
        QCOMPARE(child<GuiLog>(*mp_window, "mp_recapLog")
                     ->text()
                     .contains("Names the destination refuses: written with look-alike"),
                 replaces);
    }
}

void TestRunCheck::checkFirstDecides_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("decision");
    QTest::addColumn<QByteArray>("content");

    // The destination's file is older: the rule would replace it.
    QTest::newRow("close writes nothing") << "Close" << -1 << QByteArray("old");
    QTest::newRow("copy by the rule") << "Copy" << -1 << QByteArray("new");
    QTest::newRow("copy, the file skipped")
        << "Copy" << int(CopyOptions::DecideSkip) << QByteArray("old");
}

void TestRunCheck::checkFirstDecides()
{
    QFETCH(QString, answer);
    QFETCH(int, decision);
    QFETCH(QByteArray, content);
    const QString name = QStringLiteral("x y\\z.txt");
    QVERIFY(QDir().mkpath(path("src")) && QDir().mkpath(path("dst")));
    QFile old(path("dst/") + name);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3 && old.flush());
    QVERIFY(old.setFileTime(QDateTime::fromSecsSinceEpoch(1000000000),
                            QFileDevice::FileModificationTime));
    old.close();
    QFile made(path("src/") + name);
    QVERIFY(made.open(QIODevice::WriteOnly) && made.write("new") == 3);
    made.close();
    setPaths(path("src"), path("dst"));
    if (decision >= 0)
        dialogs().planDecisions.insert(name, decision);
    dialogs().answer(answer);
    if (answer == QLatin1String("Copy"))
        dialogs().answer("Ok");
    child<QPushButton>(*mp_window, "mp_pbCheckFirst")->click();
    QVERIFY(WindowTesting::waitUntilIdle(*mp_window));

    QCOMPARE(dialogs().plans.size(), 1);
    const PlanReport& report = dialogs().plans.first();
    QCOMPARE(report.conflicts.size(), 1);
    QCOMPARE(report.conflicts.first().outcome, Outcome::Overwrite);
    QCOMPARE(dialogs().asked.first().buttons, (QStringList{"Copy", "Close"}));
    QFile copy(path("dst/") + name);
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), content);
}

void TestRunCheck::cancelLeavesHungPlan()
{
    ExfatMount mount;
    if (!mount.isValid())
        QSKIP(qPrintable(mount.skipReason()));
    makeTree(path("src"), {"a=10"});
    QVERIFY(QDir().mkpath(mount.path() + "/dst"));
    setPaths(path("src"), mount.path() + "/dst");
    QVERIFY(mount.hang());
    child<QPushButton>(*mp_window, "mp_pbCheckFirst")->click();
    RunCheck* check = mp_window->runCheck();
    QVERIFY(check->isChecking());
    QVERIFY(!child<QPushButton>(*mp_window, "mp_pbStart")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(ExfatMount::threadsWaitingOnFuse(::getpid()) > 0, 30000);
    QSignalSpy finished(check, &RunCheck::checkFinished);
    child<QPushButton>(*mp_window, "mp_pbCancelCheck")->click();
    // The window is free at once, while the plan still waits on the mount.
    QCOMPARE(finished.count(), 1);
    QVERIFY(!check->isChecking());
    QVERIFY(mp_window->isIdle());
    QVERIFY(child<QPushButton>(*mp_window, "mp_pbStart")->isEnabled());
    QVERIFY(ExfatMount::threadsWaitingOnFuse(::getpid()) > 0);
    QVERIFY(mount.answer());
    // The plan's late result is dropped: only the next check's plan is shown.
    QTRY_COMPARE_WITH_TIMEOUT(WindowWorker::detachedRunning(), 0, 30000);
    dialogs().answer("Close");
    child<QPushButton>(*mp_window, "mp_pbCheckFirst")->click();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 30000);
    QCOMPARE(dialogs().plans.size(), 1);
}

void TestRunCheck::resumeKeepsChoices()
{
    makeTree(path("src"), {"a=10"});
    QVERIFY(QDir().mkpath(path("dst")));
    setPaths(path("src"), path("dst"));
    Task stopped = mp_window->taskForm()->task();
    stopped.m_options.m_fileDecisions.insert(QStringLiteral("a"), CopyOptions::DecideRename);
    stopped.m_options.m_replaceForbiddenNames = true;
    mp_window->controller()->setTask(stopped);
    // The fields show neither; the resume goes on with the stopped run's.
    dialogs().answer("Ok");
    mp_window->runPresenter()->runTask(true, CopyOptions::Copy);
    QVERIFY(WindowTesting::waitUntilIdle(*mp_window));
    QCOMPARE(mp_window->controller()->task().m_options.m_fileDecisions,
             stopped.m_options.m_fileDecisions);
    QVERIFY(mp_window->controller()->task().m_options.m_replaceForbiddenNames);
    QVERIFY(dialogs().plans.isEmpty());
}

void TestRunCheck::checkFirstWithoutSource()
{
    setPaths(path("gone"), path("dst"));
    dialogs().answer("Ok");
    child<QPushButton>(*mp_window, "mp_pbCheckFirst")->click();
    QVERIFY(WindowTesting::waitUntilIdle(*mp_window));
    QCOMPARE(dialogs().texts(), QStringList{"Unable to find '" + path("gone") + "'."});
    QVERIFY(!QFileInfo::exists(path("dst")));
}

void TestRunCheck::eachModeChecked_data()
{
    QTest::addColumn<QString>("trigger"); // an action, or the button of a run
    QTest::addColumn<QStringList>("destination");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("summary"); // the plan's line; empty: no plan shown
    QTest::addColumn<QStringList>("leftInSource");

    const QStringList both{"a", "odd \\name"};
    QTest::newRow("move: what leaves the source, then moved")
        << "mp_actCheckMove" << QStringList() << QStringList{"Move", "Yes", "Ok"}
        << "Leaving the source: 2 files" << QStringList();
    QTest::newRow("verify: what is compared")
        << "mp_actCheckVerify" << QStringList{"a=4", "odd \\name=3"} << QStringList{"Verify", "Ok"}
        << "To compare: 2 files" << both;
    QTest::newRow("verify started: a missing copy asked about, cancelled")
        << "mp_pbVerify" << QStringList{"a=4"} << QStringList{"Cancel"} << "In error: 1 files"
        << both;
}

void TestRunCheck::eachModeChecked()
{
    QFETCH(QString, trigger);
    QFETCH(QStringList, destination);
    QFETCH(QStringList, answers);
    QFETCH(QString, summary);
    QFETCH(QStringList, leftInSource);
    makeTree(path("src"), {"a=4", "odd \\name=3"});
    QVERIFY(QDir().mkpath(path("dst")));
    makeTree(path("dst"), destination);
    setPaths(path("src"), path("dst"));
    for (const QString& answer : answers)
        dialogs().answer(answer);
    if (auto* action = mp_window->findChild<QAction*>(trigger))
        action->trigger();
    else
        child<QPushButton>(*mp_window, qPrintable(trigger))->click();
    QVERIFY(WindowTesting::waitUntilIdle(*mp_window));

    QVERIFY2(dialogs().unexpected.isEmpty(), qPrintable(dialogs().unexpected.join('\n')));
    QCOMPARE(dialogs().pendingAnswers(), 0);
    // The plan's buttons are those of its mode: the answers find them.
    QCOMPARE(dialogs().plans.size(), summary.isEmpty() ? 0 : 1);
    if (!summary.isEmpty()) {
        const QStringList lines = dialogs().plans.first().summaryLines();
        QVERIFY2(containsLine(lines, summary), qPrintable(lines.join('\n')));
    }
    QCOMPARE(QDir(path("src")).entryList(QDir::Files, QDir::Name), leftInSource);
}

QTEST_MAIN(TestRunCheck)
#include "tst_runcheck.moc"
