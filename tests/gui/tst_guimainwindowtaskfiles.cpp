#include "app/appsettings.h"
#include "copytaskfixture.h"
#include "engine/filehash.h"
#include "engine/runcontroller.h"
#include "engine/taskfile.h"
#include "engine/taskfilestore.h"
#include "filelistmodel.h"
#include "guilog.h"
#include "guimainwindow.h"
#include "mainwindowrules.h"
#include "net/httpdownloader.h"
#include "net/updater.h"
#include "poolgate.h"
#include "runpresenter.h"
#include "scripteddialogs.h"
#include "taskfileactions.h"
#include "taskform.h"
#include "testsupport.h"
#include "windowtesting.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QtTest>

using namespace TestSupport;
using WindowTesting::child;

class TestGuiMainWindowTaskFiles : public QObject
{
    Q_OBJECT

    ScriptedDialogs& dialogs() { return *static_cast<ScriptedDialogs*>(mp_window->dialogs()); }
    TaskFileActions* taskFiles() { return mp_window->taskFileActions(); }
    QLineEdit* field(const char* name) { return child<QLineEdit>(*mp_window, name); }
    bool idle() { return WindowTesting::waitUntilIdle(*mp_window); }
    QString path(const QString& relative) const { return m_dir->filePath(relative); }
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<GuiMainWindow> mp_window;

    // A stopped run of src into dst loaded through the window: a copied, an error and an
    // unprocessed item.
    void loadStoppedRun()
    {
        QList<CopyItem> items;
        for (const QString name : {"a", "c", "sub/b"}) {
            items.append(CopyItem());
            items.last().source_path = path("src/" + name);
            items.last().destination_path = path("dst/" + name);
            items.last().copy_state =
                QList<int>{Copied, SourceError, Unprocessed}.at(items.size() - 1);
        }
        QVERIFY(writeTaskFile(path("stopped.bdt"), makeTask(path("src"), path("dst")), items));
        dialogs().pick(path("stopped.bdt")).answer("Cancel");
        taskFiles()->loadTaskFromFile();
        QVERIFY(idle());
        QCOMPARE(dialogs().pickers.takeLast(), "Brindle|" + m_dir->path());
        QVERIFY(dialogs().texts().last().startsWith("Copy task is loaded from file:\n" +
                                                    path("stopped.bdt") + "\n\n"));
        dialogs().asked.clear();
    }

private slots:
    void initTestCase() { WindowTesting::initTestCase(); }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QDir::setCurrent(m_dir->path());
        AppSettings::instance()->setDataFolder(m_dir->path());
        mp_window = WindowTesting::scriptedWindow();
        makeTree(path("src"), {"a=10", "sub/", "sub/b=3000", "c=20"});
    }

    void cleanup() { WindowTesting::finish(mp_window); }

    void saveAndLoadStoppedRun_data()
    {
        QTest::addColumn<QString>("picked");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QString>("lastBox"); // @ stands for the test folder
        QTest::addColumn<QString>("states");  // of the items saved, "" when nothing is
        const QString all = "Save all", rest = "Save only errors and not copied files";
        const QString yes = "Yes, I will try to fix errors in the next copy";
        const QString saved = "Copy task is saved in file:\n@/";
        QTest::newRow("all items") << "t" << QStringList{all, "Ok"} << saved + "t.bdt"
                                   << "4 1 0";
        QTest::newRow("errors kept") << "t.bdt" << QStringList{rest, "No", "Ok"} << saved + "t.bdt"
                                     << "1 0";
        QTest::newRow("errors as new, suffix only in capitals")
            << "t.BDT" << QStringList{rest, yes, "Ok"} << saved + "t.BDT.bdt"
            << "0 0";
        QTest::newRow("cancelled")
            << "t" << QStringList{"Cancel"} << "Do you want to save copied and skipped files also?"
            << "";
        QTest::newRow("no name picked") << "" << QStringList() << ""
                                        << "";
        QTest::newRow("write fails: folder is a file")
            << "src/a/t" << QStringList{all, "Ok"}
            << "Unable to save copy task in file:\n@/src/a/t.bdt"
            << "";
    }

    void saveAndLoadStoppedRun()
    {
        QFETCH(QString, picked);
        QFETCH(QStringList, answers);
        QFETCH(QString, lastBox);
        QFETCH(QString, states);
        loadStoppedRun();
        dialogs().pick(picked.isEmpty() ? "" : path(picked));
        for (const QString& answer : answers)
            dialogs().answer(answer);

        taskFiles()->saveTaskToFile();
        QVERIFY(idle());
        QCOMPARE(dialogs().pickers.last(), "Brindle|" + path("src.bdt"));
        QCOMPARE(dialogs().texts().value(answers.size() - 1), lastBox.replace("@", m_dir->path()));
        QCOMPARE(entriesOf(m_dir->path()).filter(".bdt").size(), states.isEmpty() ? 1 : 2);
        if (states.isEmpty())
            return;
        const QString saved = lastBox.section('\n', 1);
        QStringList savedStates;
        for (const CopyItem& item : TaskFile::read(saved).items)
            savedStates << QString::number(item.copy_state);
        QCOMPARE(savedStates.join(' '), states);
        dialogs().pick(saved).answer("Cancel");
        QSignalSpy loaded(taskFiles(), &TaskFileActions::loaded);
        taskFiles()->loadTaskFromFile();
        QVERIFY(idle());
        QCOMPARE(loaded.value(0).value(0).toBool(), true);
        QCOMPARE(child<QPushButton>(*mp_window, "mp_pbFixErrors")->isEnabled(),
                 states.contains('1'));
    }

    void newOrPreviousTask_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("savedItems"); // -1: nothing saved
        QTest::addColumn<QString>("savedSource");
        QTest::newRow("cancelled") << "Cancel" << -1 << "";
        QTest::newRow("new task: without the stopped run's items") << "1) New" << 0 << "other";
        QTest::newRow("previous run: with its items") << "2) Previous" << 3 << "src";
    }

    void newOrPreviousTask()
    {
        QFETCH(QString, answer);
        QFETCH(int, savedItems);
        QFETCH(QString, savedSource);
        loadStoppedRun();
        field("mp_leFrom")->setText(path("other"));
        dialogs().answer(answer);
        if (savedItems >= 0)
            dialogs().pick(path("t")).answer(savedItems ? "Save all" : "Ok");
        if (savedItems > 0)
            dialogs().answer("Ok");

        taskFiles()->saveTaskToFile();
        QVERIFY(idle());
        const ScriptedDialogs::Asked question = dialogs().asked.first();
        QCOMPARE(question.text, QString("Which task do you want to save?\n1) New: %1 -> %3\n"
                                        "2) Previous: %2 -> %3")
                                    .arg(path("other"), path("src"), path("dst")));
        QCOMPARE(question.buttons, (QStringList{"1) New", "2) Previous", "Cancel"}));
        QCOMPARE(question.defaultButton + question.escapeButton, 4);
        QCOMPARE(mp_window->controller()->task().m_sourcePath, path("src"));
        QCOMPARE(QFileInfo::exists(path("t.bdt")), savedItems >= 0);
        if (savedItems < 0)
            return;
        const TaskFile::Result file = TaskFile::read(path("t.bdt"));
        QCOMPARE(file.task.m_sourcePath, path(savedSource));
        QCOMPARE(file.items.size(), savedItems);
        QCOMPARE(file.fileListCompleted, savedItems > 0);
    }

    // A file may be named like markup: wherever its name is shown, it shows as it is.
    void namesShowAsText_data()
    {
        QTest::addColumn<QString>("place");
        QTest::newRow("message box") << "box";
        QTest::newRow("file list tool tip") << "tip";
        QTest::newRow("status bar") << "status";
    }

    void namesShowAsText()
    {
        QFETCH(QString, place);
        const QString name = path("<i>x&amp;y</i");
        QString text;
        Qt::TextFormat format = Qt::AutoText;
        if (place == "box") {
            mp_window->taskForm()->setPaths(name, path("dst"));
            dialogs().answer("Ok");
            mp_window->runPresenter()->startCopy();
            QVERIFY(idle());
            text = dialogs().asked.last().text;
            format = dialogs().asked.last().format;
        } else if (place == "tip") {
            FileListModel model;
            model.append({CopyItem(name, name + "2", 1, false, {})});
            text = model.index(0, FileListModel::FileColumn).data(Qt::ToolTipRole).toString();
        } else {
            emit mp_window->controller()->logAvailable(name);
            const auto* status = child<QLabel>(*mp_window, "mp_statusLabel");
            text = status->text();
            format = status->textFormat();
        }
        // What a label shows of the text.
        QString shown = text;
        if (format == Qt::RichText || (format == Qt::AutoText && Qt::mightBeRichText(text))) {
            QTextDocument document;
            document.setHtml(text);
            shown = document.toPlainText();
        }
        QVERIFY2(shown.contains(name), qPrintable(shown));
    }

    void loadedTaskShowsWhatItDoes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("defaultButton");
        QTest::newRow("own saved task: Start") << "data/t.bdt"
                                               << "Start";
        QTest::newRow("file from elsewhere: Cancel") << "t.bdt"
                                                     << "Cancel";
        QTest::newRow("link in the data folder to a file elsewhere: Cancel") << "data/link.bdt"
                                                                             << "Cancel";
    }

    // A task file opened by the desktop or given as argument runs only on a choice made
    // knowing what it does.
    void loadedTaskShowsWhatItDoes()
    {
        QFETCH(QString, file);
        QFETCH(QString, defaultButton);
        QVERIFY(QDir().mkpath(path("data")));
        AppSettings::instance()->setDataFolder(path("data"));
        Task task = makeTask(path("src"), path("home"), CopyOptions::Move);
        task.m_options.m_overwriteMode = CopyOptions::OverwriteAlways;
        task.m_options.m_skipFilters = QStringList{"*.tmp"};
        QVERIFY(writeTaskFile(path("t.bdt"), task, {}));
        QVERIFY(writeTaskFile(path("data/t.bdt"), task, {}));
        QVERIFY(QFile::link(path("t.bdt"), path("data/link.bdt")));

        dialogs().answer(defaultButton == "Start" ? "Cancel" : defaultButton);
        taskFiles()->loadTaskFile(path(file));
        QVERIFY(idle());
        QCOMPARE(dialogs().asked.size(), 1);
        const ScriptedDialogs::Asked& box = dialogs().asked.first();
        QCOMPARE(box.buttons.value(box.defaultButton), defaultButton);
        QCOMPARE(box.escapeButton, 1);
        QVERIFY2(
            box.text.endsWith("\n\nMode: move (each source is deleted once copied)\n"
                              "Source: " +
                              path("src") + "\nDestination: " + path("home") +
                              "\nExisting files in the destination: always replaced\n"
                              "Subfolders: copied\nHidden files: yes\nLinks: copied as links\n"
                              "Empty folders: yes\nVerify after copying: no\n"
                              "Copy only: none\nSkip: *.tmp\nErrors ignored on: desktop.ini\n"
                              "Items in the task: none yet, the source is read when it starts"),
            qPrintable(box.text));
        QCOMPARE(box.text.contains("not saved by this program"), defaultButton == "Cancel");
        QVERIFY(!mp_window->isRunning());
        QVERIFY(!QFileInfo::exists(path("home")));
    }

    void taskWithoutRunCopiesWholeTree()
    {
        QVERIFY(QDir().mkpath(path("dst")));
        mp_window->taskForm()->setPaths("src", path("dst"));
        dialogs().pick(path("t")).answer("Ok").pick(path("t.bdt")).answer("Start").answer("Ok");
        taskFiles()->saveTaskToFile();
        // While the file is written, nothing may start or load a task.
        QVERIFY(!child<QPushButton>(*mp_window, "mp_pbStart")->isEnabled());
        QVERIFY(idle());
        QVERIFY(child<QPushButton>(*mp_window, "mp_pbStart")->isEnabled());
        taskFiles()->loadTaskFromFile();
        QVERIFY(idle());
        QCOMPARE(treeOf(path("dst")), treeOf(path("src")));
    }

    void stoppedRunOfferedAfterRestart_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::newRow("Resume: the run ends and its file goes") << "Resume";
        QTest::newRow("Later: the file stays") << "Later";
        QTest::newRow("Discard: the file goes") << "Discard";
    }

    void stoppedRunOfferedAfterRestart()
    {
        QFETCH(QString, answer);
        QVERIFY(QDir().mkpath(path("dst")));
        // A run stopped with its whole list, nothing of it copied yet.
        const Task task = makeTask(path("src"), path("dst"));
        QList<CopyItem> items;
        for (const QString name : {"a", "c", "sub/b"}) {
            items.append(CopyItem());
            items.last().source_path = path("src/" + name);
            items.last().destination_path = path("dst/" + name);
        }
        QVERIFY(writeTaskFile(path("stopped.bdt"), task, items));
        dialogs().pick(path("stopped.bdt")).answer("Cancel");
        taskFiles()->loadTaskFromFile();
        QVERIFY(idle());
        auto* resume = child<QAction>(*mp_window, "mp_actResume");
        QVERIFY(resume->isVisible() && resume->isEnabled());
        {
            // Held at its start while the window closes, as a termination signal closes it.
            TestSupport::PoolGate pool;
            pool.close();
            resume->trigger();
            QVERIFY(mp_window->isRunning());
            QVERIFY(!resume->isVisible());
            mp_window->closeWithoutAsking();
            pool.open();
            QVERIFY(mp_window->waitForRunToEnd());
        }
        QCOMPARE(mp_window->finishClosing(), GuiMainWindow::StoppedExitCode);
        const QString saved = mp_window->savedStoppedTask();
        QCOMPARE(saved, TaskFileStore::stoppedTaskPath(task, m_dir->path()));
        WindowTesting::finish(mp_window);

        // The next start offers it, Resume first.
        mp_window = WindowTesting::scriptedWindow();
        dialogs().answer(answer);
        if (answer == "Resume")
            dialogs().answer("Ok"); // the end of the resumed run
        QSignalSpy offered(taskFiles(), &TaskFileActions::stoppedTaskOfferDone);
        taskFiles()->checkProgramArguments();
        QTRY_COMPARE(offered.size(), 1);
        const ScriptedDialogs::Asked box = dialogs().asked.first();
        QVERIFY2(box.text.startsWith("A run was stopped when Brindle closed, and saved:\n" + saved),
                 qPrintable(box.text));
        QCOMPARE(box.defaultButton, 0);
        QCOMPARE(box.escapeButton, 1);
        QVERIFY(idle());
        QCOMPARE(QFileInfo::exists(saved), answer == "Later");
        QCOMPARE(fileContents(path("dst")) == fileContents(path("src")), answer == "Resume");
    }

    // Resumed from the window, a stopped run sees the source and the destination as they
    // are now; resumed again once complete, it did nothing and says so.
    void resumeSeesChangesThenNothingToDo()
    {
        QVERIFY(QDir().mkpath(path("dst")));
        loadStoppedRun(); // "a" copied, "c" in error, "sub/b" not yet
        QVERIFY(QFile::remove(path("src/c")));
        makeTree(path("src"), {"new=5"}); // "a" is not at the destination either
        dialogs().answer("Ok");
        child<QAction>(*mp_window, "mp_actResume")->trigger();
        QVERIFY(idle());
        QCOMPARE(fileContents(path("dst")), fileContents(path("src")));
        auto* recap = child<GuiLog>(*mp_window, "mp_recapLog");
        QVERIFY2(recap->text().contains("Changed Since The Earlier Run: 3"),
                 qPrintable(recap->text()));

        // The same task, saved whole and loaded again: the copy was complete.
        dialogs().pick(path("done.bdt")).answer("Save all").answer("Ok");
        taskFiles()->saveTaskToFile();
        QVERIFY(idle());
        dialogs().asked.clear();
        dialogs().pick(path("done.bdt")).answer("Start").answer("Ok");
        taskFiles()->loadTaskFromFile();
        QVERIFY(idle());
        QVERIFY2(dialogs().texts().last().contains("Nothing to do: the copy was complete."),
                 qPrintable(dialogs().texts().join('|')));
        const QString report = recap->text().section("Resuming...", -1);
        QVERIFY2(report.contains("Copied Files: 0") && report.contains("Skipped Files: 3"),
                 qPrintable(report));
    }

    void requestsDuringRun()
    {
        QVERIFY(writeTaskFile(path("t.bdt"), makeTask(path("src"), path("dst")), {}));
        mp_window->taskForm()->setPaths(path("src"), path("dst"));
        // The last answer closes the box at the end of the run.
        dialogs().answer("Create folder").answer("Ok").answer("");
        mp_window->runPresenter()->startCopy();
        QTRY_VERIFY(mp_window->isRunning());
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Unable to load " + path("t.bdt") +
                                                      " because a copy is already in progress"));
        mp_window->onOpenFileRequest(path("t.bdt"));
        mp_window->onArgumentsReceived({path("t.bdt")});
        QCOMPARE(dialogs().texts().last(),
                 "A copy is already in progress: the paths given to the new start are not used.");
    }

    void argumentsRequest_data()
    {
        using Request = MainWindowRules::ArgumentsRequest;
        const int none = Request::Nothing;
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("paths"); // task file, or source and destination
        QTest::newRow("none") << QStringList() << none << QStringList();
        QTest::newRow("one folder: ignored") << QStringList{"/x"} << none << QStringList();
        QTest::newRow("task file, relative") << QStringList{"t/a.bdt"} << int(Request::LoadTaskFile)
                                             << QStringList{"/start/t/a.bdt"};
        QTest::newRow("suffix in capitals: ignored")
            << QStringList{"/X.BDT"} << none << QStringList();
        QTest::newRow("dot-dot: no suffix") << QStringList{".."} << none << QStringList();
        QTest::newRow("two paths")
            << QStringList{"/a", "b"} << int(Request::Copy) << QStringList{"/a", "/start/b"};
        QTest::newRow("third ignored")
            << QStringList{"/a", "/b", "/c"} << int(Request::Copy) << QStringList{"/a", "/b"};
    }

    void argumentsRequest()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, kind);
        QFETCH(QStringList, paths);
        const auto request = MainWindowRules::argumentsRequest(arguments, "/start", "bdt");
        QCOMPARE(int(request.kind), kind);
        QStringList found{request.taskFile, request.source, request.destination};
        found.removeAll(QString());
        QCOMPARE(found, paths);
    }

    void updateUrlSafety_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("safe");
        QTest::newRow("https page") << "https://example.org/download" << true;
        QTest::newRow("http page") << "http://example.org/" << true;
        QTest::newRow("launcher") << "file:///usr/share/applications/x.desktop" << false;
        QTest::newRow("plain path") << "/tmp/run.sh" << false;
        QTest::newRow("other scheme") << "javascript:alert(1)" << false;
        QTest::newRow("no host") << "https:///x" << false;
        QTest::newRow("empty") << "" << false;
    }

    void updateUrlSafety()
    {
        QFETCH(QString, url);
        QFETCH(bool, safe);
        QCOMPARE(MainWindowRules::isSafeUpdateUrl(url), safe);
    }

    void newVersionOffer_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("offered");
        QTest::addColumn<QString>("downloadUrl");
        QTest::newRow("newer: page opened") << "999.0" << true << "https://example.org/get";
        QTest::newRow("newer: launcher refused")
            << "999.0" << false << "/usr/share/applications/x.desktop";
        QTest::newRow("older: nothing") << "0.0.1" << false << "https://example.org/get";
    }

    // The real Updater, fed a version file as if its download had just completed.
    void newVersionOffer()
    {
        QFETCH(QString, version);
        QFETCH(bool, offered);
        QFETCH(QString, downloadUrl);
        const QString text = "[Linux]\nCurrentVersion=%1\nDownloadUrl=%2\n";
        QVERIFY(writeFile(path("version.ini"), text.arg(version, downloadUrl).toUtf8()));
        auto* updater = new Updater;
        HttpDownloader downloader;
        connect(&downloader, &HttpDownloader::downloadCompleted, updater,
                &Updater::onDownloadCompleted);
        connect(updater, &Updater::jobCompleted, taskFiles(),
                &TaskFileActions::onCheckForNewVersionCompleted);
        emit downloader.downloadCompleted(path("version.ini"));
        if (offered)
            dialogs().answer("Update");
        if (downloadUrl.endsWith(".desktop"))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Refusing .*x.desktop"));
        QSignalSpy gone(updater, &QObject::destroyed);
        emit updater->jobCompleted();
        QCOMPARE(dialogs().texts(),
                 offered ? QStringList{"Version 999.0 is available."} : QStringList());
        const auto* desktop = static_cast<RecordingDesktop*>(mp_window->desktop());
        QCOMPARE(desktop->openedUrls, offered ? QList<QUrl>{QUrl(downloadUrl)} : QList<QUrl>());
        QTRY_COMPARE(gone.size(), 1);
    }
};

QTEST_MAIN(TestGuiMainWindowTaskFiles)
#include "tst_guimainwindowtaskfiles.moc"
