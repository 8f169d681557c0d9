#include "app/appsettings.h"
#include "copytaskfixture.h"
#include "engine/filehash.h"
#include "engine/taskfile.h"
#include "guimainwindow.h"
#include "mainwindowrules.h"
#include "net/httpdownloader.h"
#include "net/updater.h"
#include "scripteddialogs.h"
#include "testsupport.h"
#include "ui_guimainwindow.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

class TestGuiMainWindowTaskFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void saveAndLoadStoppedRun_data();
    void saveAndLoadStoppedRun();
    void newOrPreviousTask_data();
    void newOrPreviousTask();
    void taskWithoutRunCopiesWholeTree();
    void requestsDuringRun();
    void argumentsRequest_data();
    void argumentsRequest();
    void updateUrlSafety_data();
    void updateUrlSafety();
    void newVersionOffer_data();
    void newVersionOffer();

private:
    ScriptedDialogs& dialogs() { return *static_cast<ScriptedDialogs*>(mp_window->dialogs()); }
    Ui::GuiMainWindow& ui() { return *mp_window->mp_ui; }
    QString path(const QString& relative) const { return m_dir->filePath(relative); }
    // A stopped run of src into dst, loaded into the window: a copied, an error and an
    // unprocessed item.
    void loadStoppedRun();
    static QStringList statesIn(const QString& file);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<GuiMainWindow> mp_window;
};

void TestGuiMainWindowTaskFiles::initTestCase()
{
    initTestEnvironment();
    FileHash::initialize();
    usePool(2);
    AppSettings::instance()->setLogEnabled(false);
}

void TestGuiMainWindowTaskFiles::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QDir::setCurrent(m_dir->path());
    AppSettings::instance()->setDataFolder(m_dir->path());
    mp_window = std::make_unique<GuiMainWindow>();
    mp_window->setDialogs(std::make_unique<ScriptedDialogs>());
    mp_window->setDesktop(std::make_unique<RecordingDesktop>());
    makeTree(path("src"), {"a=10", "sub/", "sub/b=3000", "c=20"});
}

void TestGuiMainWindowTaskFiles::cleanup()
{
    QVERIFY2(dialogs().unexpected.isEmpty(), qPrintable(dialogs().unexpected.join('\n')));
    QCOMPARE(dialogs().pendingAnswers(), 0);
    mp_window->waitForRunToEnd();
    mp_window.reset();
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void TestGuiMainWindowTaskFiles::loadStoppedRun()
{
    QList<CopyItem> items;
    for (const QString name : {"a", "c", "sub/b"}) {
        CopyItem item;
        item.source_path = path("src/" + name);
        item.destination_path = path("dst/" + name);
        item.copy_state = QList<int>{Copied, SourceError, Unprocessed}.at(items.size());
        items.append(item);
    }
    QVERIFY(writeTaskFile(path("stopped.bdt"), makeTask(path("src"), path("dst")), items));
    dialogs().pick(path("stopped.bdt")).answer("Cancel");
    mp_window->loadTaskFromFile();
    QCOMPARE(dialogs().pickers.takeLast(), "Brindle|" + m_dir->path());
    QCOMPARE(dialogs().texts().takeLast(), "Copy task is load from file:\n" + path("stopped.bdt"));
    dialogs().asked.clear();
    QVERIFY(ui().mp_pbFixErrors->isEnabled());
}

QStringList TestGuiMainWindowTaskFiles::statesIn(const QString& file)
{
    QStringList states;
    for (const CopyItem& item : TaskFile::read(file).items)
        states << QString::number(item.copy_state);
    return states;
}

void TestGuiMainWindowTaskFiles::saveAndLoadStoppedRun_data()
{
    QTest::addColumn<QString>("picked");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("saved"); // "" when nothing is written
    QTest::addColumn<QStringList>("states");

    const QString all = "Save all", notCopied = "Save only errors and not copied files";
    QTest::newRow("all items") << "t" << QStringList{all} << "t.bdt" << QStringList{"4", "1", "0"};
    QTest::newRow("errors kept") << "t.bdt" << QStringList{notCopied, "No"} << "t.bdt"
                                 << QStringList{"1", "0"};
    QTest::newRow("errors as unprocessed")
        << "t.BDT" << QStringList{notCopied, "Yes, I will try to fix errors in the next copy"}
        << "t.BDT.bdt" << QStringList{"0", "0"};
    QTest::newRow("cancelled") << "t" << QStringList{"Cancel"} << "" << QStringList();
    QTest::newRow("no name picked") << "" << QStringList() << "" << QStringList();
    QTest::newRow("folder is a file") << "src/a/t" << QStringList{all} << "" << QStringList();
}

void TestGuiMainWindowTaskFiles::saveAndLoadStoppedRun()
{
    QFETCH(QString, picked);
    QFETCH(QStringList, answers);
    QFETCH(QString, saved);
    QFETCH(QStringList, states);
    loadStoppedRun();
    dialogs().pick(picked.isEmpty() ? "" : path(picked));
    for (const QString& answer : answers)
        dialogs().answer(answer);
    const bool written = !saved.isEmpty();
    if (written || picked.startsWith("src/a"))
        dialogs().answer("Ok");

    mp_window->saveTaskToFile();
    QCOMPARE(dialogs().pickers.last(), "Brindle|" + path("src.bdt"));
    QCOMPARE(entriesOf(m_dir->path()).filter(".bdt").size(), written ? 2 : 1);
    if (!written) {
        if (picked.startsWith("src/a"))
            QCOMPARE(dialogs().texts().last(),
                     "Unable to save copy task in file:\n" + path("src/a/t.bdt"));
        return;
    }
    QCOMPARE(dialogs().texts().last(), "Copy task is saved in file:\n" + path(saved));
    QCOMPARE(statesIn(path(saved)), states);
    dialogs().pick(path(saved)).answer("Cancel");
    mp_window->loadTaskFromFile();
    QCOMPARE(ui().mp_pbFixErrors->isEnabled(), states.contains("1"));
    QCOMPARE(ui().mp_leFrom->text(), path("src"));
}

void TestGuiMainWindowTaskFiles::newOrPreviousTask_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("savedSource"); // "" when nothing is written
    QTest::addColumn<int>("savedItems");
    QTest::newRow("cancelled") << "Cancel"
                               << "" << 0;
    QTest::newRow("new task: without the stopped run's items") << "1) New"
                                                               << "other" << 0;
    QTest::newRow("previous run: with its items") << "2) Previous"
                                                  << "src" << 3;
}

void TestGuiMainWindowTaskFiles::newOrPreviousTask()
{
    QFETCH(QString, answer);
    QFETCH(QString, savedSource);
    QFETCH(int, savedItems);
    loadStoppedRun();
    ui().mp_leFrom->setText(path("other"));
    dialogs().answer(answer);
    if (!savedSource.isEmpty())
        dialogs().pick(path("t")).answer(savedItems ? "Save all" : "Ok");
    if (savedItems)
        dialogs().answer("Ok");

    mp_window->saveTaskToFile();
    const ScriptedDialogs::Asked question = dialogs().asked.first();
    QCOMPARE(question.text, "Which task do you want to save?\n1) New: " + path("other") + " -> " +
                                path("dst") + "\n2) Previous: " + path("src") + " -> " +
                                path("dst"));
    QCOMPARE(question.buttons, (QStringList{"1) New", "2) Previous", "Cancel"}));
    QCOMPARE(question.defaultButton, 2);
    QCOMPARE(question.escapeButton, 2);
    QCOMPARE(mp_window->copyTask()->task().m_sourcePath, path("src"));
    QCOMPARE(QFileInfo::exists(path("t.bdt")), !savedSource.isEmpty());
    if (savedSource.isEmpty())
        return;
    const TaskFile::Result file = TaskFile::read(path("t.bdt"));
    QCOMPARE(file.task.m_sourcePath, path(savedSource));
    QCOMPARE(file.items.size(), savedItems);
    QCOMPARE(file.fileListCompleted, savedItems > 0);
}

void TestGuiMainWindowTaskFiles::taskWithoutRunCopiesWholeTree()
{
    QVERIFY(QDir().mkpath(path("dst")));
    ui().mp_leFrom->setText("src");
    ui().mp_leTo->setText(path("dst"));
    dialogs().pick(path("t")).answer("Ok").pick(path("t.bdt")).answer("Start");
    mp_window->saveTaskToFile();
    mp_window->loadTaskFromFile();
    QTRY_VERIFY_WITH_TIMEOUT(!mp_window->isRunning(), 20000);
    QCOMPARE(treeOf(path("dst")), treeOf(path("src")));
}

void TestGuiMainWindowTaskFiles::requestsDuringRun()
{
    QVERIFY(writeTaskFile(path("t.bdt"), makeTask(path("src"), path("dst")), {}));
    ui().mp_leFrom->setText(path("src"));
    ui().mp_leTo->setText(path("dst"));
    dialogs().answer("Create folder").answer("Ok");
    mp_window->startCopy();
    QTest::ignoreMessage(QtWarningMsg, qPrintable("Unable to load " + path("t.bdt") +
                                                  " because a copy is already in progress"));
    mp_window->onOpenFileRequest(path("t.bdt"));
    mp_window->onArgumentsReceived({path("t.bdt")});
    QCOMPARE(dialogs().texts().last(),
             "A copy is already in progress: the paths given to the new start are not used.");
    QCOMPARE(mp_window->copyTask()->task().m_destinationPath, path("dst"));
}

void TestGuiMainWindowTaskFiles::argumentsRequest_data()
{
    using Request = MainWindowRules::ArgumentsRequest;
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("paths"); // task file, or source and destination

    QTest::newRow("none") << QStringList() << int(Request::Nothing) << QStringList();
    QTest::newRow("one folder: ignored")
        << QStringList{"/x"} << int(Request::Nothing) << QStringList();
    QTest::newRow("task file, relative")
        << QStringList{"t/a.bdt"} << int(Request::LoadTaskFile) << QStringList{"/start/t/a.bdt"};
    QTest::newRow("suffix in capitals: ignored")
        << QStringList{"/X.BDT"} << int(Request::Nothing) << QStringList();
    QTest::newRow("dot-dot: no suffix")
        << QStringList{".."} << int(Request::Nothing) << QStringList();
    QTest::newRow("two paths") << QStringList{"/a", "b"} << int(Request::Copy)
                               << QStringList{"/a", "/start/b"};
    QTest::newRow("third ignored")
        << QStringList{"/a", "/b", "/c"} << int(Request::Copy) << QStringList{"/a", "/b"};
}

void TestGuiMainWindowTaskFiles::argumentsRequest()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, kind);
    QFETCH(QStringList, paths);
    const auto request = MainWindowRules::argumentsRequest(arguments, "/start", "bdt");
    QCOMPARE(int(request.kind), kind);
    QStringList got{request.taskFile, request.source, request.destination};
    got.removeAll(QString());
    QCOMPARE(got, paths);
}

void TestGuiMainWindowTaskFiles::updateUrlSafety_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("safe");
    QTest::newRow("https page") << "https://example.org/download" << true;
    QTest::newRow("http page") << "http://example.org/" << true;
    QTest::newRow("local file") << "file:///usr/bin/x" << false;
    QTest::newRow("launcher") << "file:///usr/share/applications/x.desktop" << false;
    QTest::newRow("plain path") << "/tmp/run.sh" << false;
    QTest::newRow("other scheme") << "javascript:alert(1)" << false;
    QTest::newRow("no host") << "https:///x" << false;
    QTest::newRow("empty") << "" << false;
}

void TestGuiMainWindowTaskFiles::updateUrlSafety()
{
    QFETCH(QString, url);
    QFETCH(bool, safe);
    QCOMPARE(MainWindowRules::isSafeUpdateUrl(url), safe);
}

void TestGuiMainWindowTaskFiles::newVersionOffer_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("downloadUrl");
    QTest::addColumn<QString>("answer"); // "-" when no box is shown
    QTest::addColumn<QString>("opened");
    QTest::newRow("newer, Update") << "999.0"
                                   << "https://example.org/get"
                                   << "Update"
                                   << "https://example.org/get";
    QTest::newRow("newer, Close") << "999.0"
                                  << "https://example.org/get"
                                  << "Close"
                                  << "";
    QTest::newRow("newer, launcher refused") << "999.0"
                                             << "/usr/share/applications/x.desktop"
                                             << "-"
                                             << "";
    QTest::newRow("older") << "0.0.1"
                           << "https://example.org/get"
                           << "-"
                           << "";
}

void TestGuiMainWindowTaskFiles::newVersionOffer()
{
    QFETCH(QString, version);
    QFETCH(QString, downloadUrl);
    QFETCH(QString, answer);
    QFETCH(QString, opened);
    QVERIFY(writeFile(path("version.ini"), QString("[Linux]\nCurrentVersion=%1\nDownloadUrl=%2\n")
                                               .arg(version, downloadUrl)
                                               .toUtf8()));
    auto* updater = new Updater;
    HttpDownloader downloader;
    connect(&downloader, &HttpDownloader::downloadCompleted, updater,
            &Updater::onDownloadCompleted);
    connect(updater, &Updater::jobCompleted, mp_window.get(),
            &GuiMainWindow::onCheckForNewVersionCompleted);
    emit downloader.downloadCompleted(path("version.ini"));
    if (answer != "-")
        dialogs().answer(answer);
    if (downloadUrl.endsWith(".desktop"))
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Refusing .*x.desktop"));
    QSignalSpy gone(updater, &QObject::destroyed);
    emit updater->jobCompleted();
    QCOMPARE(dialogs().texts(),
             answer == "-" ? QStringList() : QStringList{"Version 999.0 is available."});
    const auto* desktop = static_cast<RecordingDesktop*>(mp_window->desktop());
    QCOMPARE(desktop->openedUrls.value(0).toString(), opened);
    QTRY_COMPARE(gone.size(), 1);
}

QTEST_MAIN(TestGuiMainWindowTaskFiles)
#include "tst_guimainwindowtaskfiles.moc"
