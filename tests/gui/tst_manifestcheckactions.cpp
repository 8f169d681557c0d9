#include "app/appsettings.h"
#include "engine/digest.h"
#include "engine/manifest.h"
#include "guimainwindow.h"
#include "manifestcheckactions.h"
#include "manifestcheckdialog.h"
#include "manifestcheckmodel.h"
#include "scripteddialogs.h"
#include "testsupport.h"
#include "windowtesting.h"

#include <QAction>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

using TestSupport::writeFile;

class TestManifestCheckActions : public QObject
{
    Q_OBJECT

    ScriptedDialogs& dialogs() { return *static_cast<ScriptedDialogs*>(mp_window->dialogs()); }
    ManifestCheckActions* checks() { return mp_window->manifestCheckActions(); }
    QString path(const QString& relative) const { return m_dir->filePath(relative); }
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<GuiMainWindow> mp_window;

    // A list of name=content entries; "!text" is a line of that text.
    void writeList(const QString& listPath, const QStringList& entries, Digest::Algorithm algorithm)
    {
        QByteArray list;
        for (const QString& entry : entries) {
            if (entry.startsWith('!')) {
                list += entry.mid(1).toUtf8() + '\n';
                continue;
            }
            Digest digest(algorithm);
            const QByteArray content = entry.section('=', 1).toUtf8();
            digest.update(content.constData(), content.size());
            list += Manifest::formatLine(
                {algorithm, digest.result(), entry.section('=', 0, 0).toUtf8()});
        }
        QVERIFY(writeFile(listPath, list));
    }

private slots:
    void initTestCase() { WindowTesting::initTestCase(); }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        AppSettings::instance()->setDataFolder(m_dir->path());
        mp_window = WindowTesting::scriptedWindow();
        // clean: each file as listed. data: one of each outcome; its list lies in it and is
        // not reported as an unlisted file.
        QVERIFY(writeFile(path("clean/a b"), "one") && writeFile(path("clean/sub/c\\d"), "two"));
        writeList(path("clean/list.b2"), {"a b=one", "sub/c\\d=two"},
                  Digest::Algorithm::Blake2b512);
        for (const QString name : {"same", "changed\nline", "extra"})
            QVERIFY(writeFile(path("data/" + name), "same"));
        QVERIFY(QDir().mkpath(path("data/folder instead")));
        writeList(path("data/SHA256SUMS"),
                  {"same=same", "changed\nline=before", "gone=-", "folder instead=x", "!no line"},
                  Digest::Algorithm::Sha256);
        QVERIFY(writeFile(path("bad.txt"), "not a checksum line\n\n"));
    }

    void cleanup() { WindowTesting::finish(mp_window); }

    void checkShowsOutcome_data()
    {
        QTest::addColumn<QStringList>("picks"); // @ stands for the test folder
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("summary"); // of the result dialog, empty without one
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("all equal: a box says so")
            << QStringList{"@/clean/list.b2", "@/clean"}
            << "All files of the checksum list are equal in @/clean.\n"
               "2 equal, 0 missing, 0 differing, 0 unreadable, 0 not listed"
            << QString() << QStringList();
        QTest::newRow("differences: grouped by kind, names escaped")
            << QStringList{"@/data/SHA256SUMS", "@/data"} << QString()
            << "1 equal, 1 missing, 1 differing, 1 unreadable, 1 not listed\n"
               "Lines of the checksum list that are no checksum lines: 1"
            << QStringList{"Missing|gone|", "Differing|changed\\x0aline|",
                           "Unreadable|folder instead|open ", "Not listed|extra|",
                           "Not a checksum line|Line 5 of the checksum list|"};
        QTest::newRow("list of no checksum line: an error")
            << QStringList{"@/bad.txt", "@"}
            << "The checksum list @/bad.txt cannot be read:\nno checksum line found" << QString()
            << QStringList();
        QTest::newRow("folder gone: an error")
            << QStringList{"@/clean/list.b2", "@/nowhere"} << "The folder @/nowhere does not exist."
            << QString() << QStringList();
        QTest::newRow("list picker cancelled: nothing happens")
            << QStringList{""} << QString() << QString() << QStringList();
        QTest::newRow("folder picker cancelled: nothing happens")
            << QStringList{"@/bad.txt", ""} << QString() << QString() << QStringList();
    }

    void checkShowsOutcome()
    {
        QFETCH(QStringList, picks);
        QFETCH(QString, box);
        QFETCH(QString, summary);
        QFETCH(QStringList, rows);
        for (const QString& pick : qAsConst(picks))
            dialogs().pick(QString(pick).replace('@', m_dir->path()));
        if (!box.isEmpty())
            dialogs().answer("Ok");
        QSignalSpy finished(checks(), &ManifestCheckActions::finished);

        mp_window->findChild<QAction*>("mp_actCheckManifest")->trigger();
        const bool started = picks.size() == 2 && !picks.last().isEmpty();
        QCOMPARE(checks()->isChecking(), started);
        if (started)
            QTRY_COMPARE(finished.size(), 1);
        QVERIFY(WindowTesting::waitUntilIdle(*mp_window));

        if (picks.size() == 2)
            QCOMPARE(dialogs().pickers.value(1),
                     "Folder to check|" +
                         QFileInfo(picks.first()).path().replace('@', m_dir->path()));
        box.replace('@', m_dir->path());
        QCOMPARE(dialogs().texts().value(0), box);
        ManifestCheckDialog* dialog = checks()->resultDialog();
        QCOMPARE(dialog != nullptr, !summary.isEmpty());
        if (!dialog)
            return;
        QCOMPARE(dialog->findChild<QLabel*>("mp_summaryLabel")->text(), summary);
        QStringList shown;
        const ManifestCheckModel* model = dialog->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < model->columnCount(); ++column)
                cells << model->index(row, column).data().toString();
            shown << cells.join('|');
        }
        // The reason a folder cannot be read is the system's: only the start is compared.
        QCOMPARE(shown.size(), rows.size());
        for (int row = 0; row < rows.size(); ++row)
            QVERIFY2(shown.at(row).startsWith(rows.at(row)), qPrintable(shown.at(row)));
        dialog->model()->sort(int(ManifestCheckModel::Column::Path), Qt::AscendingOrder);
        QCOMPARE(dialog->model()->index(1, 1).data().toString(), "changed\\x0aline");
        dialog->close();
    }

    void oneCheckAtATime()
    {
        dialogs().pick(path("data/SHA256SUMS")).pick(path("data"));
        QSignalSpy finished(checks(), &ManifestCheckActions::finished);
        auto* action = mp_window->findChild<QAction*>("mp_actCheckManifest");
        action->trigger();
        // The result comes through the event loop: until then the check is under way.
        QVERIFY(checks()->isChecking());
        QVERIFY(!action->isEnabled());
        QVERIFY(
            mp_window->findChild<QLabel*>("mp_manifestCheckLabel")->isVisibleTo(mp_window.get()));
        // A second request asks nothing (the script has no answers left).
        checks()->checkManifest();
        QTRY_COMPARE(finished.size(), 1);
        QVERIFY(action->isEnabled());
        QVERIFY(checks()->resultDialog());
        checks()->resultDialog()->close();
    }

    void windowClosedDuringCheck()
    {
        dialogs().pick(path("data/SHA256SUMS")).pick(path("data"));
        checks()->checkManifest();
        QVERIFY(mp_window->close());
        // The window goes at once: the check stops, and its outcome is never shown.
        mp_window.reset();
        mp_window = WindowTesting::scriptedWindow();
    }
};

QTEST_MAIN(TestManifestCheckActions)
#include "tst_manifestcheckactions.moc"
