// The "Report" tab's lists (categories, name filter, batches, export) and the "Recent paths"
// menu of the main window.
#include "app/appsettings.h"
#include "copytaskfixture.h"
#include "engine/filehash.h"
#include "engine/runcontroller.h"
#include "filelistmodel.h"
#include "guilog.h"
#include "guimainwindow.h"
#include "poolgate.h"
#include "reportview.h"
#include "scripteddialogs.h"
#include "taskfileactions.h"
#include "testsupport.h"
#include "windowtesting.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;
using WindowTesting::child;

namespace {
CopyItem copiedItem(const QString& source, const QString& destination)
{
    CopyItem item(source, destination, 1, false, QString());
    item.copy_state = Copied;
    return item;
}
} // namespace

class TestGuiMainWindowFileLists : public QObject
{
    Q_OBJECT

    ScriptedDialogs& dialogs() { return *static_cast<ScriptedDialogs*>(mp_window->dialogs()); }
    ReportView* report() { return mp_window->reportView(); }
    FileListModel& model() { return *report()->model(); }
    QString path(const QString& relative) const { return m_dir->filePath(relative); }
    QTabWidget* tabs() { return child<QTabWidget>(*mp_window, "mp_twMain"); }
    QString tabTitle() { return tabs()->tabText(1); }
    // The button of a category, as ReportView numbers them.
    QRadioButton* viewButton(int mode)
    {
        static const char* const names[] = {
            "mp_rbViewNone",   "mp_rbViewUnprocessed", "mp_rbViewErrors", "mp_rbViewSkipped",
            "mp_rbViewCopied", "mp_rbViewChecked",     "mp_rbViewFolders"};
        return child<QRadioButton>(*mp_window, names[mode]);
    }
    QString status() { return mp_window->findChild<QLabel*>("mp_statusLabel")->text(); }
    // Column 0 of every row, in the order shown.
    QStringList rowsShown()
    {
        QStringList rows;
        for (int row = 0; row < model().rowCount(); ++row)
            rows << model().index(row, 0).data().toString();
        return rows;
    }
    QAction* action(QMenu* menu, const QString& text)
    {
        for (QAction* entry : menu->actions()) {
            if (entry->text() == text)
                return entry;
        }
        return nullptr;
    }
    // Shows the category as its button does, then hands it the items as the copy task would.
    void showItems(int mode, const QList<CopyItem>& items)
    {
        viewButton(mode)->click();
        emit mp_window->controller()->copyListCompleted(items);
        QTRY_VERIFY(!report()->isLoading());
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<GuiMainWindow> mp_window;

private slots:
    void initTestCase() { WindowTesting::initTestCase(); }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        AppSettings::instance()->setDataFolder(m_dir->path());
        AppSettings::instance()->setViewOnlyFileNames(false);
        mp_window = WindowTesting::scriptedWindow();
    }

    void cleanup() { WindowTesting::finish(mp_window); }

    void viewMode_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<int>("shownIn"); // the one category that lists it, -1 none
        QTest::newRow("unprocessed file") << int(Unprocessed) << false << false << 1;
        QTest::newRow("source error") << int(SourceError) << false << false << 2;
        QTest::newRow("failed check") << int(DestinationError) << false << true << 2;
        QTest::newRow("skipped") << int(Skipped) << false << false << 3;
        QTest::newRow("copied") << int(Copied) << false << false << 4;
        QTest::newRow("copied and checked") << int(Copied) << false << true << 5;
        QTest::newRow("copied folder") << int(Copied) << true << false << 6;
        QTest::newRow("folder in error") << int(DestinationError) << true << false << 2;
        QTest::newRow("unknown state") << 9 << false << false << -1;
    }

    void viewMode()
    {
        QFETCH(int, state);
        QFETCH(bool, folder);
        QFETCH(bool, checked);
        QFETCH(int, shownIn);
        CopyItem item("/s/f", "/d/f", 1, folder, QString());
        item.copy_state = state;
        item.is_checked = checked;
        for (int mode = 0; mode <= 6; ++mode)
            QCOMPARE(ReportView::isShownInViewMode(item, mode), mode == shownIn);
    }

    void nameFilter_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<bool>("onlyFileNames");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("title");
        QTest::newRow("bare word in any case")
            << "jpg" << false << QStringList{"/p/photos/photo.JPG", "/p/photos/photo.jpg.txt"}
            << "Copied (2 -> 3)";
        QTest::newRow("wildcard as typed")
            << "*.jpg" << false << QStringList{"/p/photos/photo.JPG"} << "Copied (1 -> 3)";
        QTest::newRow("two entries")
            << " *.md ,, *.txt" << false << QStringList{"/p/photos/photo.jpg.txt", "/p/readme.md"}
            << "Copied (2 -> 3)";
        QTest::newRow("folder word on paths")
            << "photos" << false << QStringList{"/p/photos/photo.JPG", "/p/photos/photo.jpg.txt"}
            << "Copied (2 -> 3)";
        QTest::newRow("folder word on file names")
            << "photos" << true << QStringList() << "Copied (0 -> 3)";
        QTest::newRow("empty field shows all")
            << "" << true << QStringList{"photo.JPG", "photo.jpg.txt", "readme.md"} << "Copied (3)";
    }

    void nameFilter()
    {
        QFETCH(QString, filter);
        QFETCH(bool, onlyFileNames);
        QFETCH(QStringList, shown);
        QFETCH(QString, title);
        AppSettings::instance()->setViewOnlyFileNames(onlyFileNames);
        QList<CopyItem> items;
        for (const QString name :
             {"/p/photos/photo.JPG", "/p/photos/photo.jpg.txt", "/p/readme.md"})
            items.append(copiedItem(name, "/d/x"));
        showItems(Copied, items);
        QCOMPARE(tabTitle(), QString("Copied (3)"));
        child<QLineEdit>(*mp_window, "mp_leFilterName")->setText(filter);
        QTest::mouseClick(child<QPushButton>(*mp_window, "mp_pbApplyFilter"), Qt::LeftButton);
        QTRY_VERIFY(!report()->isLoading());
        QCOMPARE(rowsShown(), shown);
        QCOMPARE(tabTitle(), title);
    }

    void longListAfterRunInOneStep()
    {
        QCOMPARE(tabTitle(), QString("Report"));
        viewButton(Copied)->click();
        QCOMPARE(status(), QString("No item found"));
        QCOMPARE(tabTitle(), QString("Copied"));
        QList<CopyItem> items;
        for (int index = 0; index < 1000; ++index)
            items.append(copiedItem(QString("/s/%1").arg(index), QString("/d/%1").arg(index)));
        QList<int> sizes;
        QStringList before; // the title the step finds
        connect(&model(), &QAbstractItemModel::rowsInserted, this,
                [&](const QModelIndex&, int first, int last) {
                    sizes << last - first + 1;
                    before << tabTitle();
                });
        emit mp_window->controller()->copyListCompleted(items);
        // No run goes on: the rows reach the view in one step, however many turns of the
        // event loop testing them took, not in paced batches.
        QTRY_VERIFY(!report()->isLoading());
        QCOMPARE(sizes, (QList<int>{1000}));
        QCOMPARE(before, (QStringList{"Copied (0 -> 1000)"}));
        QCOMPARE(status(), QString("Ready"));
        QCOMPARE(tabTitle(), QString("Copied (1000)"));
        // Arrival order, until a column is sorted.
        QCOMPARE(model().index(999, 0).data().toString(), QString("/s/999"));
    }

    // A screen reader toggles the button through its accessible action: no click comes.
    void accessibleToggleChoosesTheList()
    {
        QAccessibleInterface* button = QAccessible::queryAccessibleInterface(viewButton(Copied));
        QVERIFY(button && button->actionInterface());
        button->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QCOMPARE(tabTitle(), QString("Copied"));
        QCOMPARE(status(), QString("No item found"));
    }

    void lineBreakKeepsItsRow()
    {
        showItems(Copied, {copiedItem("/s/two\nlines", "/d")});
        QCOMPARE(rowsShown(), QStringList{"/s/two\\x0alines"});
    }

    void sortIsStable()
    {
        showItems(Copied, {copiedItem("/s/b.txt", "/d"), copiedItem("/s/a.jpg", "/d"),
                           copiedItem("/s/c.TXT", "/d"), copiedItem("/s/d.jpg", "/d")});
        model().sort(FileListModel::TypeColumn, Qt::DescendingOrder);
        QCOMPARE(rowsShown(), (QStringList{"/s/b.txt", "/s/c.TXT", "/s/a.jpg", "/s/d.jpg"}));
        model().sort(FileListModel::TypeColumn, Qt::AscendingOrder);
        QCOMPARE(rowsShown(), (QStringList{"/s/a.jpg", "/s/d.jpg", "/s/b.txt", "/s/c.TXT"}));
    }

    void addToTaskOnlyAfterRun()
    {
        makeTree(path("src"), {"a=10", "sub/", "sub/b=3000", "c=20"});
        QVERIFY(QDir().mkpath(path("dst")));
        child<QLineEdit>(*mp_window, "mp_leFrom")->setText(path("src"));
        child<QLineEdit>(*mp_window, "mp_leTo")->setText(path("dst"));
        dialogs().answer("Ok"); // the end-of-run box
        // The run stays at its start behind the held pool until the menu was looked at.
        TestSupport::PoolGate pool;
        pool.close();
        QTest::mouseClick(child<QPushButton>(*mp_window, "mp_pbStart"), Qt::LeftButton);
        QTRY_VERIFY(mp_window->isRunning());
        showItems(Copied, {copiedItem(path("old/x"), path("elsewhere/x"))});
        std::unique_ptr<QMenu> menu = report()->createMenu(0);
        QVERIFY(!action(menu.get(), "Add to task...")->isEnabled());
        pool.open();

        // The run's own copies join the list as they come.
        QVERIFY(WindowTesting::waitUntilIdle(*mp_window));
        QTRY_COMPARE(model().rowCount(), 4);
        menu = report()->createMenu(0);
        QAction* addToTask = action(menu.get(), "Add to task...");
        QVERIFY(addToTask->isEnabled());
        addToTask->trigger();
        QCOMPARE(child<QLineEdit>(*mp_window, "mp_leFrom")->text(), path("old/x"));
        QCOMPARE(child<QLineEdit>(*mp_window, "mp_leTo")->text(), path("elsewhere"));
        QCOMPARE(tabs()->currentIndex(), 0);
    }

    // With "report filtered" on, the "Skipped" list names what the filters left out, folders
    // too, with the filter that did; the report counts them apart from the skipped files.
    void filteredInSkippedList()
    {
        AppSettings::instance()->setReportFilteredFiles(true);
        makeTree(path("src"), {"a.jpg=10", "b.jpg=1", "c.txt=20", "sub/", "sub/s.jpg=3"});
        makeTree(path("dst"), {"b.jpg=1"});
        QFile newer(path("dst/b.jpg"));
        QVERIFY(newer.open(QIODevice::ReadWrite));
        QVERIFY(newer.setFileTime(QDateTime::currentDateTime().addDays(1),
                                  QFileDevice::FileModificationTime));
        child<QLineEdit>(*mp_window, "mp_leFrom")->setText(path("src"));
        child<QLineEdit>(*mp_window, "mp_leTo")->setText(path("dst"));
        child<QLineEdit>(*mp_window, "mp_leSkipFilters")->setText("sub/, *.txt");
        dialogs().answer("Ok");
        QTest::mouseClick(child<QPushButton>(*mp_window, "mp_pbStart"), Qt::LeftButton);
        QVERIFY(WindowTesting::waitUntilIdle(*mp_window));
        AppSettings::instance()->setReportFilteredFiles(false);

        viewButton(Skipped)->click();
        QTRY_VERIFY(!report()->isLoading());
        QStringList rows = rowsShown();
        rows.sort();
        QCOMPARE(rows, (QStringList{path("src/b.jpg"), path("src/c.txt"), path("src/sub")}));
        const int textRow = rowsShown().indexOf(path("src/c.txt"));
        QCOMPARE(model().index(textRow, FileListModel::InformationColumn).data().toString(),
                 QString("source file is left out by the skip filter \"*.txt\""));
        const QString recap = child<GuiLog>(*mp_window, "mp_recapLog")->text();
        QVERIFY2(recap.contains("Skipped Files: 1"), qPrintable(recap));
        QVERIFY2(recap.contains("Filtered Files: 1\nFiltered Folders: 1"), qPrintable(recap));
    }

    void exportEmptyListDoesNothing()
    {
        viewButton(Copied)->click();
        report()->exportItems();
        QVERIFY(dialogs().asked.isEmpty());
        QVERIFY(dialogs().pickers.isEmpty());
    }

    void exportList_data()
    {
        QTest::addColumn<QString>("picked"); // @ stands for the test folder
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QByteArray>("written"); // in the picked file
        const QString leftOut = "1 paths contain a line break and are left out of the list.";
        QTest::newRow("line break left out")
            << "@/list.txt" << QStringList{"As list", "Ok", "Close"}
            << QStringList{leftOut, "@/list.txt is saved."} << QByteArray("/s/caf\xc3\xa9\n/s/b\n");
        QTest::newRow("full device")
            << "/dev/full" << QStringList{"As list", "Ok"}
            << QStringList{"Unable to save /dev/full: No space left on device"} << QByteArray();
        QTest::newRow("cancelled") << "" << QStringList{"Cancel"} << QStringList() << QByteArray();
    }

    void exportList()
    {
        QFETCH(QString, picked);
        QFETCH(QStringList, answers);
        QFETCH(QStringList, boxes);
        QFETCH(QByteArray, written);
        picked.replace("@", m_dir->path());
        if (picked == "/dev/full")
            QTest::ignoreMessage(QtWarningMsg,
                                 "Unable to write file /dev/full No space left on device");
        boxes.replaceInStrings("@", m_dir->path());
        showItems(Copied, {copiedItem("/s/caf\u00e9", "/d/a"), copiedItem("/s/new\nline", "/d/n"),
                           copiedItem("/s/b", "/d/b")});
        dialogs().answer(answers.takeFirst());
        if (!picked.isEmpty())
            dialogs().pick(picked);
        for (const QString& answer : answers)
            dialogs().answer(answer);
        report()->exportItems();
        QVERIFY(WindowTesting::waitUntilIdle(*mp_window));
        QCOMPARE(dialogs().texts().mid(1), boxes);
        if (!written.isEmpty())
            QCOMPARE(readFile(picked), written);
    }

    void exportScriptWithHostileNames()
    {
        // Files in folders the script has to make first (dst itself too), at any depth.
        const QStringList names{"a\";touch INJECTED1;\".jpg",
                                "$(touch INJECTED2)",
                                "sub dir/`touch INJECTED3`",
                                "sub dir/it's; touch INJECTED4 #",
                                "sub dir/-dash $HOME \\ 'q\"/x & touch INJECTED5 *",
                                "new\nline/new\nline",
                                "-n/-e"};
        QList<CopyItem> items;
        for (const QString& name : names) {
            QVERIFY(QDir().mkpath(QFileInfo(path("src/" + name)).path()));
            QVERIFY(writeFile(path("src/" + name), name.toUtf8()));
            items.append(copiedItem(path("src/" + name), path("dst/" + name)));
        }
        // The program is written into the script even when its use is switched off.
        AppSettings::instance()->setUseExternalCopyProgram(false);
        AppSettings::instance()->setExternalProgram(
            ExternalProgramSettings::fromUserText("/bin/cp", ""));
        showItems(Copied, items);
        dialogs().answer("As script").pick(path("copy.sh")).answer("View");
        report()->exportItems();
        QCOMPARE(dialogs().texts().last(), path("copy.sh") + " is saved.");
        QVERIFY(WindowTesting::waitUntilIdle(*mp_window));
        QCOMPARE(static_cast<RecordingDesktop*>(mp_window->desktop())->shownPaths,
                 QStringList{path("copy.sh")});
        QVERIFY(readFile(path("copy.sh")).startsWith("#!/bin/sh\nset -e\nmkdir -p -- "));
        QVERIFY(QFileInfo(path("copy.sh")).permissions() & QFileDevice::ExeOwner);

        QProcess shell;
        shell.setWorkingDirectory(m_dir->path());
        shell.start("/bin/sh", {path("copy.sh")});
        QVERIFY(shell.waitForFinished());
        QCOMPARE(shell.exitCode(), 0);
        QCOMPARE(shell.readAllStandardError(), QByteArray());
        QCOMPARE(fileContents(path("dst")), fileContents(path("src")));
        QCOMPARE(listTree(path("dst")), listTree(path("src")));
        QCOMPARE(entriesOf(m_dir->path()), (QStringList{"copy.sh", "dst", "src"}));
    }

    void clearRecentPathsAsksFirst()
    {
        AppSettings::instance()->setRecentTasks({makeTask("/a", "/b"), makeTask("/c", "/d")});
        QMenu* menu = nullptr;
        for (QAction* entry : mp_window->menuBar()->actions()) {
            if (entry->text() == "&Recent paths")
                menu = entry->menu();
        }
        QVERIFY(menu);
        mp_window->taskFileActions()->fillRecentPathsMenu();
        QCOMPARE(menu->actions().first()->text(), QString("/a -> /b"));
        QAction* clear = action(menu, "Clear...");
        QVERIFY(clear->isEnabled());
        dialogs().answer("No").answer("Yes");
        clear->trigger();
        QCOMPARE(AppSettings::instance()->recentTasks().size(), 2);
        clear->trigger();
        QVERIFY(AppSettings::instance()->recentTasks().isEmpty());
        QCOMPARE(dialogs().texts(), (QStringList{"Do you really want to clear 2 recent paths?",
                                                 "Do you really want to clear 2 recent paths?"}));
        mp_window->taskFileActions()->fillRecentPathsMenu();
        QVERIFY(!action(menu, "Clear...")->isEnabled());
    }
};

QTEST_MAIN(TestGuiMainWindowFileLists)
#include "tst_guimainwindowfilelists.moc"
