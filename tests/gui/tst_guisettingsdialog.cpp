#include "app/appsettings.h"
#include "copytaskfixture.h"
#include "guisettingsdialog.h"
#include "jobs/jobthreadpool.h"
#include "scripteddialogs.h"
#include "testsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

class TestGuiSettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void sizes_data();
    void sizes();
    void externalProgram_data();
    void externalProgram();
    void copyMethodInfo_data();
    void copyMethodInfo();
    void enablingRules_data();
    void enablingRules();
    void defaultThenClose_data();
    void defaultThenClose();
    void pickers_data();
    void pickers();
    void externalProgramNeedsAPath();

private:
    template <typename T> T* control(const char* name) const
    {
        T* widget = mp_dialog->findChild<T*>(QLatin1String(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }
    void click(const char* button)
    {
        QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedDialogs> mp_dialogs;
    std::unique_ptr<RecordingDesktop> mp_desktop;
    std::unique_ptr<GuiSettingsDialog> mp_dialog;
};

void TestGuiSettingsDialog::initTestCase()
{
    TestSupport::initTestEnvironment();
    TestSupport::usePool(2);
}

void TestGuiSettingsDialog::cleanupTestCase()
{
    JobThreadPool::destroyThreads();
}

void TestGuiSettingsDialog::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    AppSettings::destroyInstance();
    AppSettings* settings = AppSettings::instance();
    settings->setProgramFolder(m_dir->path());
    settings->setPortable(true);
    settings->findResourceFolder();
    QVERIFY(QDir().mkpath(m_dir->filePath("data")));
    QVERIFY(settings->prepareDataFolder());
    settings->load();
    mp_dialogs = std::make_unique<ScriptedDialogs>();
    mp_desktop = std::make_unique<RecordingDesktop>();
    mp_dialog = std::make_unique<GuiSettingsDialog>(mp_dialogs.get(), mp_desktop.get());
}

void TestGuiSettingsDialog::cleanup()
{
    mp_dialog.reset();
    QVERIFY2(mp_dialogs->unexpected.isEmpty(), qPrintable(mp_dialogs->unexpected.join('\n')));
    QCOMPARE(mp_dialogs->pendingAnswers(), 0);
    AppSettings::destroyInstance();
}

void TestGuiSettingsDialog::sizes_data()
{
    QTest::addColumn<QString>("spinBox");
    QTest::addColumn<qint64>("stored");
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("entered"); // -1: left as shown
    QTest::addColumn<qint64>("storedBack");

    const qint64 mb = 1048576;
    QTest::newRow("never skip (-1) shows 0")
        << "mp_sbSkipCheckForSize" << qint64(-1) << 0 << -1 << qint64(-1);
    QTest::newRow("0 entered stores never skip")
        << "mp_sbSkipCheckForSize" << 512 * mb << 512 << 0 << qint64(-1);
    QTest::newRow("3000 MB is beyond 32 bits")
        << "mp_sbSkipCheckForSize" << qint64(0) << 0 << 3000 << 3000 * mb;
    QTest::newRow("a threshold below one MB survives")
        << "mp_sbSkipCheckForSize" << qint64(1000) << 0 << -1 << qint64(1000);
    QTest::newRow("skip-check maximum raised")
        << "mp_sbSkipCheckForSize" << 20000 * mb << 20000 << -1 << 20000 * mb;
    QTest::newRow("log minimum 1500 shown unchanged")
        << "mp_sbLogMinimumSize" << qint64(1500) << 1500 << -1 << qint64(1500);
    QTest::newRow("log maximum 20 below minimum 50 stores 51")
        << "mp_sbLogMaximumSize" << qint64(100) << 100 << 20 << qint64(51);
    QTest::newRow("32 threads shown unchanged")
        << "mp_sbThreads" << qint64(32) << 32 << -1 << qint64(32);
}

void TestGuiSettingsDialog::sizes()
{
    QFETCH(QString, spinBox);
    QFETCH(qint64, stored);
    QFETCH(int, shown);
    QFETCH(int, entered);
    QFETCH(qint64, storedBack);

    AppSettings* settings = AppSettings::instance();
    const QMap<QString, std::function<qint64()>> read{
        {"mp_sbSkipCheckForSize",
         [=] { return settings->skipIntegrityCheckForFileSizeMoreThan(); }},
        {"mp_sbLogMinimumSize", [=] { return settings->logMinimumSize(); }},
        {"mp_sbLogMaximumSize", [=] { return settings->logMaximumSize(); }},
        {"mp_sbThreads", [=] { return qint64(settings->maxNumThreads()); }}};
    settings->setSkipIntegrityCheckForFileSizeMoreThan(stored);
    settings->setLogMinimumSize(spinBox == "mp_sbLogMinimumSize" ? stored : 50);
    settings->setLogMaximumSize(spinBox == "mp_sbLogMaximumSize" ? stored : 30000);
    settings->setMaxNumThreads(int(spinBox == "mp_sbThreads" ? stored : 2));
    mp_dialog->loadFromSettings();

    QSpinBox* box = control<QSpinBox>(qPrintable(spinBox));
    QCOMPARE(box->value(), shown);
    if (entered >= 0)
        box->setValue(entered);
    mp_dialog->storeToSettings();
    QCOMPARE(read.value(spinBox)(), storedBack);
}

void TestGuiSettingsDialog::externalProgram_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("storedArguments");
    QTest::addColumn<QString>("typed"); // null: left as shown
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("syntax");

    QTest::newRow("repeated blanks give no empty argument")
        << "/usr/bin/rsync" << QStringList() << "  -a   --delete\t-v "
        << QStringList{"-a", "--delete", "-v"} << int(GenericSyntax);
    QTest::newRow("empty text, no argument")
        << "/usr/bin/rsync" << QStringList{"-a"} << "   " << QStringList() << int(GenericSyntax);
    QTest::newRow("an argument with a blank or quote survives the round trip")
        << "/usr/bin/rsync" << QStringList{"--exclude=My Files", "say \"hi\"", "", "-a"}
        << QString() << QStringList{"--exclude=My Files", "say \"hi\"", "-a"} << int(GenericSyntax);
    QTest::newRow("program in capitals picks robocopy")
        << "/mnt/c/Windows/ROBOCOPY.EXE" << QStringList{"/E"} << QString() << QStringList{"/E"}
        << int(RobocopySyntax);
    QTest::newRow("robocopy anywhere in the path, any case")
        << "/opt/RoboCopy/copier" << QStringList() << QString() << QStringList()
        << int(RobocopySyntax);
}

void TestGuiSettingsDialog::externalProgram()
{
    QFETCH(QString, path);
    QFETCH(QStringList, storedArguments);
    QFETCH(QString, typed);
    QFETCH(QStringList, arguments);
    QFETCH(int, syntax);

    AppSettings::instance()->setExternalProgram({path, storedArguments, GenericSyntax});
    mp_dialog->loadFromSettings();
    if (!typed.isNull())
        control<QLineEdit>("mp_leExternalProgramArguments")->setText(typed);
    mp_dialog->storeToSettings();
    const ExternalProgramSettings program = AppSettings::instance()->externalProgram();
    QCOMPARE(program.filePath, path);
    QCOMPARE(program.arguments, arguments);
    QCOMPARE(program.syntaxType, syntax);
}

void TestGuiSettingsDialog::copyMethodInfo_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<QString>("info");
    QTest::newRow("Default names the default method") << 0 << "(default method = Native)";
    QTest::newRow("Native") << 1 << "";
    QTest::newRow("Qt") << 2 << "(long waiting time for pause)";
    QTest::newRow("Simple") << 3 << "";
}

void TestGuiSettingsDialog::copyMethodInfo()
{
    QFETCH(int, method);
    QFETCH(QString, info);
    // Shown on load, and again after each selection.
    AppSettings::instance()->setCopyMethod(method);
    mp_dialog->loadFromSettings();
    QCOMPARE(control<QLabel>("mp_lCopyMethodInfo")->text(), info);
    QComboBox* combo = control<QComboBox>("mp_comboCopyMethod");
    combo->setCurrentIndex((method + 1) % 4);
    combo->setCurrentIndex(method);
    QCOMPARE(control<QLabel>("mp_lCopyMethodInfo")->text(), info);
}

void TestGuiSettingsDialog::enablingRules_data()
{
    QTest::addColumn<QString>("checkBox");
    QTest::addColumn<QStringList>("controls");
    QTest::newRow("external program")
        << "mp_cbUseExternalCopyProgram"
        << QStringList{"mp_pbSelectExternalProgramPath", "mp_lExternalProgramPath",
                       "mp_lExternalProgramArguments",   "mp_leExternalProgramPath",
                       "mp_leExternalProgramArguments",  "mp_cbSkipBuildList"};
    QTest::newRow("log") << "mp_cbEnableLog"
                         << QStringList{"mp_leLogPath",        "mp_pbSelectLogPath",
                                        "mp_lMinimumSize",     "mp_lMaximumSize",
                                        "mp_sbLogMinimumSize", "mp_sbLogMaximumSize"};
}

void TestGuiSettingsDialog::enablingRules()
{
    QFETCH(QString, checkBox);
    QFETCH(QStringList, controls);
    for (const bool on : {true, false}) {
        AppSettings::instance()->setUseExternalCopyProgram(on);
        AppSettings::instance()->setLogEnabled(on);
        mp_dialog->loadFromSettings();
        for (const bool toggled : {false, true}) {
            if (toggled)
                control<QCheckBox>(qPrintable(checkBox))->toggle();
            for (const QString& name : controls)
                QVERIFY2(control<QWidget>(qPrintable(name))->isEnabled() == (on != toggled),
                         qPrintable(name));
        }
    }
}

void TestGuiSettingsDialog::defaultThenClose_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("Cancel keeps the values and the file") << "mp_pbCancel";
    QTest::newRow("Ok stores the defaults") << "mp_pbOk";
}

void TestGuiSettingsDialog::defaultThenClose()
{
    QFETCH(QString, button);
    // Through the window, as the "Preferences" entry opens it.
    GuiMainWindow window;
    window.setDialogs(std::make_unique<ScriptedDialogs>());
    window.setPreferencesFactory(GuiSettingsDialog::preferencesFactory(&window));
    AppSettings* settings = AppSettings::instance();
    settings->setMaxNumThreads(3);
    settings->setLogEnabled(true);
    settings->setLogMinimumSize(50);
    settings->setCopyMethod(2);
    settings->setLanguageFilePath("/lang/brindle_fr.qm");
    settings->setExternalProgram({"/opt/copier", {"-x"}, GenericSyntax});
    settings->save();
    const QString file = m_dir->filePath("data/brindle.ini");
    const QByteArray bytes = TestSupport::readFile(file);

    auto& dialogs = *static_cast<ScriptedDialogs*>(window.dialogs());
    dialogs.answer("Ok");
    QString title;
    QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != "GuiSettings") {
            if (dialog)
                dialog->reject();
            return;
        }
        title = dialog->windowTitle();
        QTest::mouseClick(dialog->findChild<QPushButton*>("mp_pbDefault"), Qt::LeftButton);
        QTest::mouseClick(dialog->findChild<QPushButton*>(button), Qt::LeftButton);
    });
    window.onShowSettings();
    QCOMPARE(title, "Preferences - Brindle");
    QCOMPARE(
        dialogs.texts(),
        QStringList{"The default settings are filled in: Ok keeps them, Cancel keeps your own."});

    if (button == "mp_pbCancel") {
        QCOMPARE(TestSupport::readFile(file), bytes);
        QCOMPARE(settings->maxNumThreads(), 3);
        QVERIFY(settings->logEnabled());
        QCOMPARE(settings->externalProgram().filePath, "/opt/copier");
        return;
    }
    QCOMPARE(settings->maxNumThreads(), 2);
    QVERIFY(!settings->logEnabled());
    QCOMPARE(settings->copyMethod(), 0);
    QCOMPARE(settings->externalProgram().filePath, "/usr/bin/rsync");
    QCOMPARE(settings->skipIntegrityCheckForFileSizeMoreThan(), -1);
    // The language chosen is no preference that "Default" resets.
    QCOMPARE(settings->languageFilePath(), "/lang/brindle_fr.qm");
    QCOMPARE(QSettings(file, QSettings::IniFormat).value("System/MaxNumThreads").toInt(), 2);
}

void TestGuiSettingsDialog::pickers_data()
{
    QTest::addColumn<QString>("field"); // the picker button is "mp_pbSelect<field>Path"
    QTest::addColumn<QString>("picked");
    QTest::addColumn<QString>("start"); // @ = the scratch folder
    QTest::addColumn<QString>("shown");
    const QString log = "@/data/brindle_log.txt";
    QTest::newRow("language, from the resource folder") << "Language"
                                                        << "/lang/brindle_de.qm"
                                                        << "@"
                                                        << "/lang/brindle_de.qm";
    QTest::newRow("log file, from the path shown") << "Log"
                                                   << "/var/log/b.log" << log << "/var/log/b.log";
    QTest::newRow("cancelled picker changes nothing") << "Log"
                                                      << "" << log << log;
    QTest::newRow("external program") << "ExternalProgram"
                                      << "/usr/local/bin/copier"
                                      << "/usr/bin/rsync"
                                      << "/usr/local/bin/copier";
}

void TestGuiSettingsDialog::pickers()
{
    QFETCH(QString, field);
    QFETCH(QString, picked);
    QFETCH(QString, start);
    QFETCH(QString, shown);
    AppSettings::instance()->setLogEnabled(true);
    AppSettings::instance()->setUseExternalCopyProgram(true);
    mp_dialog->loadFromSettings();
    mp_dialogs->pick(picked);
    click(qPrintable("mp_pbSelect" + field + "Path"));
    QCOMPARE(mp_dialogs->pickers, QStringList{"Brindle|" + start.replace('@', m_dir->path())});
    QCOMPARE(control<QLineEdit>(qPrintable("mp_le" + field + "Path"))->text(),
             shown.replace('@', m_dir->path()));
}

void TestGuiSettingsDialog::externalProgramNeedsAPath()
{
    AppSettings::instance()->setUseExternalCopyProgram(true);
    AppSettings::instance()->setExternalProgram({"", {}, GenericSyntax});
    mp_dialog->loadFromSettings();
    mp_dialogs->answer("Ok");
    click("mp_pbOk");
    QCOMPARE(mp_dialogs->texts(), QStringList{"Select the external copy program to use."});
    QCOMPARE(mp_dialog->result(), int(QDialog::Rejected));
    control<QCheckBox>("mp_cbUseExternalCopyProgram")->setChecked(false);
    click("mp_pbOk");
    QCOMPARE(mp_dialog->result(), int(QDialog::Accepted));
}

QTEST_MAIN(TestGuiSettingsDialog)
#include "tst_guisettingsdialog.moc"
