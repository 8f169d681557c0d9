// The window's path fields and what it asks of the desktop: drops, pickers, opening paths
// and web pages, and starting a second window.
#include "app/programidentity.h"
#include "desktopactions.h"
#include "dialogs.h"
#include "filelineedit.h"
#include "guimainwindow.h"
#include "mainwindowrules.h"
#include "scripteddialogs.h"
#include "testsupport.h"
#include "windowtesting.h"

#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

namespace {

struct Seams
{
    explicit Seams(GuiMainWindow& window)
    {
        window.setDialogs(std::make_unique<ScriptedDialogs>());
        window.setDesktop(std::make_unique<RecordingDesktop>());
        dialogs = static_cast<ScriptedDialogs*>(window.dialogs());
        desktop = static_cast<RecordingDesktop*>(window.desktop());
    }
    ScriptedDialogs* dialogs;
    RecordingDesktop* desktop;
};

} // namespace

using WindowTesting::child;

class TestGuiMainWindowPaths : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::initTestEnvironment(); }
    void cleanup() { qunsetenv("BRINDLE_WEBSITE_URL"); }

    void longPathsElidedInBoxes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        const QString deep = "/media/stick/" + QString(40, 'a') + "/" + QString(40, 'b') + "/c.txt";
        QTest::newRow("short words kept") << "Unable to find /data/x."
                                          << "Unable to find /data/x.";
        QTest::newRow("a long path, its file name kept")
            << "Unable to find '" + deep + "'.\nIs the drive mounted?"
            << "Unable to find '/media/stick/a" + QString(QChar(0x2026)) + QString(36, 'b') +
                   "/c.txt'.\nIs the drive mounted?";
    }
    void longPathsElidedInBoxes()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(QtDialogs::withLongWordsElided(text, 60), shown);
        QVERIFY(QtDialogs::withLongWordsElided(text, 60).split('\n').first().size() <= 80);
    }

    void dropTakesFirstLocalItem_data()
    {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<QString>("expected");
        const QUrl web(QStringLiteral("https://example.org/a"));
        QTest::newRow("web link before two files")
            << QList<QUrl>{web, QUrl::fromLocalFile(QStringLiteral("/data/one")),
                           QUrl::fromLocalFile(QStringLiteral("/data/two"))}
            << QDir::toNativeSeparators(QStringLiteral("/data/one"));
        QTest::newRow("only web links")
            << QList<QUrl>{web, QUrl(QStringLiteral("ftp://example.org/b"))} << "typed";
    }
    void dropTakesFirstLocalItem()
    {
        QFETCH(QList<QUrl>, urls);
        QFETCH(QString, expected);
        FileLineEdit lineEdit;
        lineEdit.setText(QStringLiteral("typed"));
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(1, 1), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        lineEdit.dragEnterEvent(&enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(1, 1), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        lineEdit.dropEvent(&drop);
        QCOMPARE(lineEdit.text(), expected);
        QCOMPARE(drop.isAccepted(), expected != QLatin1String("typed"));
    }

    void selectSourceStartsOnDesktopWhenEmpty()
    {
        GuiMainWindow window;
        Seams seams(window);
        seams.dialogs->pick(QStringLiteral("/chosen/folder"));
        child<QPushButton>(window, "mp_pbSelectFrom")->click();
        QCOMPARE(seams.dialogs->pickers,
                 QStringList{QStringLiteral("Select source folder|") +
                             QStandardPaths::writableLocation(QStandardPaths::DesktopLocation)});
        QCOMPARE(child<FileLineEdit>(window, "mp_leFrom")->text(),
                 QDir::toNativeSeparators(QStringLiteral("/chosen/folder")));
    }

    void openButtons_data()
    {
        QTest::addColumn<QString>("field"); // "From" or "To"
        QTest::addColumn<QString>("entry"); // made in a temporary folder; empty: missing
        QTest::addColumn<bool>("showFails");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QString>("shown");
        QTest::newRow("missing source") << "From"
                                        << "" << false << ""
                                        << "";
        QTest::newRow("destination folder") << "To"
                                            << "dir/" << false << "dir"
                                            << "";
        QTest::newRow("single source file") << "From"
                                            << "dir/f" << false << ""
                                            << "dir/f";
        QTest::newRow("file manager failing, containing folder opened") << "From"
                                                                        << "dir/f" << true << "dir"
                                                                        << "dir/f";
    }
    void openButtons()
    {
        QFETCH(QString, field);
        QFETCH(QString, entry);
        QFETCH(bool, showFails);
        QFETCH(QString, opened);
        QFETCH(QString, shown);
        QTemporaryDir temp;
        const QString path = temp.filePath(entry.isEmpty() ? QStringLiteral("missing") : entry);
        if (entry.endsWith('/'))
            QVERIFY(QDir().mkpath(path));
        else if (!entry.isEmpty())
            QVERIFY(TestSupport::writeFile(path, "x"));

        GuiMainWindow window;
        Seams seams(window);
        seams.desktop->showFails = showFails;
        child<FileLineEdit>(window, qPrintable("mp_le" + field))->setText(path);
        // Whether the path exists, and the file manager, are asked on the worker.
        QSignalSpy answered(window.desktopActions(), &DesktopActions::opened);
        child<QPushButton>(window, qPrintable("mp_pbOpen" + field))->click();
        QVERIFY(seams.desktop->openedUrls.isEmpty() && seams.dialogs->asked.isEmpty());
        QTRY_COMPARE(answered.size(), 1);

        QCOMPARE(seams.desktop->openedUrls,
                 opened.isEmpty() ? QList<QUrl>()
                                  : QList<QUrl>{QUrl::fromLocalFile(temp.filePath(opened))});
        QCOMPARE(seams.desktop->shownPaths,
                 shown.isEmpty() ? QStringList() : QStringList{temp.filePath(shown)});
        QVERIFY(shown.isEmpty() || seams.desktop->showThread != QThread::currentThread());
        QCOMPARE(seams.dialogs->texts(),
                 entry.isEmpty() ? QStringList{path + " does not exist."} : QStringList());
    }

    void webEntriesFollowWebSite_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("no web site") << QString();
        QTest::newRow("web site failing to open") << QStringLiteral("https://brindle.example");
    }
    void webEntriesFollowWebSite()
    {
        QFETCH(QString, address);
        qputenv("BRINDLE_WEBSITE_URL", address.toUtf8());
        GuiMainWindow window;
        Seams seams(window);
        QAction* webSite = child<QAction>(window, "mp_actOpenWebSite");
        QAction* help = child<QAction>(window, "mp_actOpenHelp");
        QCOMPARE(webSite->isVisible(), !address.isEmpty());
        QCOMPARE(help->isVisible(), !address.isEmpty());
        // Whatever is hidden, no separator is left at the end or beside another one.
        bool lastWasSeparator = true;
        for (const QAction* action : qobject_cast<QMenu*>(help->parent())->actions()) {
            if (!action->isVisible())
                continue;
            QVERIFY2(!(lastWasSeparator && action->isSeparator()), "separator with no entry above");
            lastWasSeparator = action->isSeparator();
        }
        QVERIFY(!lastWasSeparator);

        seams.desktop->openFails = true;
        seams.dialogs->answer(QStringLiteral("Ok"));
        webSite->trigger();
        QCOMPARE(seams.dialogs->texts(),
                 address.isEmpty() ? QStringList() : QStringList{"Unable to open " + address});
    }

    void newWindowArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("paths dropped") << QStringList{"brindle", "/src", "/dst"} << QStringList();
        QTest::newRow("portable kept, task file dropped")
            << QStringList{"brindle", "/home/a/job.task", "--portable"}
            << QStringList{"--portable"};
        QTest::newRow("portable given twice")
            << QStringList{"brindle", "--portable", "--portable"} << QStringList{"--portable"};
    }
    void newWindowArguments()
    {
        QFETCH(QStringList, arguments);
        QTEST(MainWindowRules::newWindowArguments(arguments), "expected");
    }

    void failingNewWindowIsWarned()
    {
        GuiMainWindow window;
        Seams seams(window);
        seams.desktop->startFails = true;
        seams.dialogs->answer(QStringLiteral("Ok"));
        child<QAction>(window, "mp_actNewWindow")->trigger();
        QCOMPARE(seams.desktop->started.value(0).value(0), QCoreApplication::applicationFilePath());
        QCOMPARE(seams.dialogs->asked.value(0).kind, Dialogs::Warning);
        QCOMPARE(seams.dialogs->texts(), QStringList{"Unable to open new window of " +
                                                     ProgramIdentity::programName() + "."});
    }
};

QTEST_MAIN(TestGuiMainWindowPaths)
#include "tst_guimainwindowpaths.moc"
