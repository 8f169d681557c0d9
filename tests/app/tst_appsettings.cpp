#include "app/appsettings.h"
#include "testsupport.h"

#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

// Every key the settings file holds after a save, in "group/key" form.
const QStringList AllKeys = {
    "ExternalCopyProcess/Arguments",
    "ExternalCopyProcess/FilePath",
    "ExternalCopyProcess/SyntaxType",
    "Gui/ViewOnlyFileNames",
    "Log/Disabled",
    "Log/FilePath",
    "Log/LogFileMaximumSize(Mb)",
    "Log/LogFileMinimumSize(Mb)",
    "Misc/AutoSaveErrors",
    "Misc/HashAlgorithm",
    "Misc/ManifestPath",
    "Misc/RemoveReadOnlyAttribute",
    "Misc/ReportFilteredFiles",
    "Misc/SkipBuildListForExternalProgram",
    "Misc/SkipErrorsInSync",
    "Misc/SkipIntegrityCheckForFileSizeMoreThan",
    "Misc/UseExternalCopyProgram",
    "System/AllowMultipleInstances",
    "System/CheckForNewVersionAtStartup",
    "System/CopyMethod",
    "System/LanguageFilePath",
    "System/MaxNumThreads",
    "System/MaxTransferSpeed",
    "Tasks/Recent",
    "Tasks/SaveRecent",
    "Version/CreationDate",
    "Version/Program",
    "Version/Qt",
    "Version/Settings",
};

const char* const ChildFolderVariable = "BRINDLE_TEST_SETTINGS_FOLDER";

ino_t inodeOf(const QString& path)
{
    struct stat info
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

} // namespace

class TestAppSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstRunWritesEveryKey();
    void userSettingsStayInTestLocation();
    void boundsCorrectedOnLoad_data();
    void boundsCorrectedOnLoad();
    void portableRules_data();
    void portableRules();
    void resourceFolder_data();
    void resourceFolder();
    void recentTasks();
    void recentTasksNotKeptWhenSaveRecentIsOff();
    void saveReplacesFileAtomically();
    void windowsKeepTheirChanges_data();
    void windowsKeepTheirChanges();
    void clearAllRestoresDefaults();
    void defaultsLeaveSettingsAndFile();
    void missingDataFolderIsCreated();
    void defaultLanguageDetected();
    void startLanguageTouchesNothing();
    void detectedLanguageIsNotStored();
    void detectedLanguageIsNotStoredChild();
    void unwritablePlaces();
    void unwritablePlacesChild();

private:
    // A portable settings object whose program folder is the scratch folder.
    AppSettings* portableSettings();
    QString settingsFilePath() const { return m_dir->filePath("data/brindle.ini"); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestAppSettings::initTestCase()
{
    TestSupport::initTestEnvironment();
}

void TestAppSettings::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    AppSettings::destroyInstance();
}

void TestAppSettings::cleanup()
{
    AppSettings::destroyInstance();
    m_dir.reset();
}

AppSettings* TestAppSettings::portableSettings()
{
    AppSettings* settings = AppSettings::instance();
    settings->setProgramFolder(m_dir->path());
    settings->setPortable(true);
    settings->findResourceFolder();
    settings->prepareDataFolder();
    return settings;
}

void TestAppSettings::firstRunWritesEveryKey()
{
    AppSettings* settings = portableSettings();
    QTest::ignoreMessage(QtDebugMsg, "Default settings load");
    settings->load();

    QCOMPARE(settings->creationDate(), QDate::currentDate());
    QVERIFY(!settings->logEnabled());
    QCOMPARE(settings->logFilePath(), m_dir->filePath("data/brindle_log.txt"));
    QCOMPARE(settings->logMinimumSize(), 20);
    QCOMPARE(settings->logMaximumSize(), 100);
    QCOMPARE(settings->maxNumThreads(), 2);
    QVERIFY(settings->checkForNewVersionAtStartup());
    QVERIFY(settings->allowMultipleInstances());
    QCOMPARE(settings->maxTransferSpeed(), Q_INT64_C(999999999000));
    QCOMPARE(settings->copyMethod(), 0);
    QVERIFY(!settings->saveRecent()); // portable default
    QCOMPARE(settings->externalProgram().filePath, QStringLiteral("/usr/bin/rsync"));
    QCOMPARE(settings->externalProgram().arguments, QStringList{"-a"});
    QVERIFY(settings->lastLoadOrSaveTime().isValid());

    settings->save();
    QSettings written(settingsFilePath(), QSettings::IniFormat);
    QStringList keys = written.allKeys();
    keys.sort();
    QCOMPARE(keys, AllKeys);
    QCOMPARE(written.value("Version/Program").toString(), QStringLiteral("2.1.4-b199"));
    QCOMPARE(written.value("Version/Settings").toInt(), 1);
    QCOMPARE(written.value("Version/CreationDate").toDate(), QDate::currentDate());

    // A second program run reads back what the first one wrote.
    AppSettings::destroyInstance();
    settings = portableSettings();
    settings->load();
    QCOMPARE(settings->creationDate(), QDate::currentDate());
    QCOMPARE(settings->maxTransferSpeed(), Q_INT64_C(999999999000));
}

void TestAppSettings::userSettingsStayInTestLocation()
{
    AppSettings* settings = AppSettings::instance();
    QVERIFY(!settings->isPortable());
    settings->prepareDataFolder();
    QVERIFY(settings->dataFolder().contains(QLatin1String(".qttest")));
    settings->clearAll();
    settings->load();
    QVERIFY(settings->settingsFileName().contains(QLatin1String(".qttest")));
    QVERIFY(settings->saveRecent()); // not portable
}

void TestAppSettings::boundsCorrectedOnLoad_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<qint64>("expected");

    QTest::newRow("threads 0") << "System/MaxNumThreads" << QVariant(0) << qint64(1);
    QTest::newRow("threads -3") << "System/MaxNumThreads" << QVariant(-3) << qint64(1);
    QTest::newRow("threads not a number")
        << "System/MaxNumThreads" << QVariant("many") << qint64(1);
    QTest::newRow("threads 8") << "System/MaxNumThreads" << QVariant(8) << qint64(8);
    QTest::newRow("copy method 7") << "System/CopyMethod" << QVariant(7) << qint64(0);
    QTest::newRow("copy method -1") << "System/CopyMethod" << QVariant(-1) << qint64(0);
    QTest::newRow("copy method 3") << "System/CopyMethod" << QVariant(3) << qint64(3);
    QTest::newRow("log maximum below minimum")
        << "Log/LogFileMaximumSize(Mb)" << QVariant(10) << qint64(21);
    QTest::newRow("log maximum equal to minimum")
        << "Log/LogFileMaximumSize(Mb)" << QVariant(20) << qint64(21);
    QTest::newRow("log maximum above minimum")
        << "Log/LogFileMaximumSize(Mb)" << QVariant(500) << qint64(500);
    QTest::newRow("transfer speed 64-bit")
        << "System/MaxTransferSpeed" << QVariant(Q_INT64_C(5000000000000)) << qint64(5000000000000);
    QTest::newRow("digest by name, any case")
        << "Misc/HashAlgorithm" << QVariant("XXH3") << qint64(2);
    QTest::newRow("digest unknown") << "Misc/HashAlgorithm" << QVariant("md5") << qint64(0);
    QTest::newRow("integrity threshold 64-bit")
        << "Misc/SkipIntegrityCheckForFileSizeMoreThan" << QVariant(Q_INT64_C(4294967296))
        << qint64(4294967296);
}

void TestAppSettings::boundsCorrectedOnLoad()
{
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(qint64, expected);

    {
        QDir().mkpath(m_dir->filePath("data"));
        QSettings file(settingsFilePath(), QSettings::IniFormat);
        file.setValue("Log/LogFileMinimumSize(Mb)", 20);
        file.setValue(key, stored);
    }
    AppSettings* settings = portableSettings();
    settings->load();

    const QHash<QString, qint64> loaded = {
        {"System/MaxNumThreads", settings->maxNumThreads()},
        {"System/CopyMethod", settings->copyMethod()},
        {"Log/LogFileMaximumSize(Mb)", settings->logMaximumSize()},
        {"System/MaxTransferSpeed", settings->maxTransferSpeed()},
        {"Misc/SkipIntegrityCheckForFileSizeMoreThan",
         settings->skipIntegrityCheckForFileSizeMoreThan()},
        {"Misc/HashAlgorithm", settings->runSettings().hashAlgorithm},
    };
    QCOMPARE(loaded.value(key), expected);
}

void TestAppSettings::portableRules_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("rcFile"); // empty: no rc file
    QTest::addColumn<bool>("portable");
    QTest::addColumn<QStringList>("remaining");

    const QString noRc;
    QTest::newRow("no arguments") << QStringList{"brindle"} << noRc << false << QStringList{};
    QTest::newRow("exact switch removed")
        << QStringList{"brindle", "--portable", "/src"} << noRc << true << QStringList{"/src"};
    QTest::newRow("capitals kept in the list")
        << QStringList{"brindle", "--PORTABLE"} << noRc << true << QStringList{"--PORTABLE"};
    QTest::newRow("padded switch kept, exact one removed")
        << QStringList{"brindle", " --portable ", "--portable"} << noRc << true
        << QStringList{" --portable "};
    QTest::newRow("rc false overrides switch")
        << QStringList{"brindle", "--portable"} << "[Brindle]\nPortable=false\n"
        << false << QStringList{};
    QTest::newRow("rc without the key overrides switch")
        << QStringList{"brindle", "--portable"} << "[Brindle]\nOther=1\n"
        << false << QStringList{};
    QTest::newRow("rc true without switch")
        << QStringList{"brindle", "a", "b"} << "[Brindle]\nPortable=true\n"
        << true << QStringList{"a", "b"};
}

void TestAppSettings::portableRules()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, rcFile);
    QFETCH(bool, portable);
    QFETCH(QStringList, remaining);

    if (!rcFile.isEmpty())
        QVERIFY(TestSupport::writeFile(m_dir->filePath("brindle.rc"), rcFile.toUtf8()));

    AppSettings* settings = AppSettings::instance();
    settings->setProgramFolder(m_dir->path());
    settings->readArguments(arguments);
    settings->findResourceFolder();
    settings->readRcFile();
    QCOMPARE(settings->isPortable(), portable);
    QCOMPARE(settings->arguments(), remaining);

    settings->prepareDataFolder();
    const QString portableFolder = m_dir->filePath("data");
    QCOMPARE(settings->dataFolder() == portableFolder, portable);
}

void TestAppSettings::resourceFolder_data()
{
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("expected");

    QTest::newRow("build tree or portable copy") << QStringList{"app"} << "app"
                                                 << "app";
    QTest::newRow("installed under a prefix")
        << QStringList{"usr/bin", "usr/share/brindle"} << "usr/bin"
        << "usr/share/brindle";
    QTest::newRow("a share folder of other programs")
        << QStringList{"usr/bin", "usr/share/other"} << "usr/bin"
        << "usr/bin";
}

void TestAppSettings::resourceFolder()
{
    QFETCH(QStringList, folders);
    QFETCH(QString, program);
    QFETCH(QString, expected);

    for (const QString& folder : qAsConst(folders))
        QVERIFY(QDir(m_dir->path()).mkpath(folder));
    AppSettings* settings = AppSettings::instance();
    settings->setProgramFolder(m_dir->filePath(program));
    settings->findResourceFolder();
    QCOMPARE(settings->resourceFolder(), m_dir->filePath(expected));
}

void TestAppSettings::recentTasks()
{
    AppSettings* settings = portableSettings();
    settings->load();
    settings->setSaveRecent(true);

    Task first;
    first.m_sourcePath = "/home/ann/photos";
    first.m_destinationPath = "/media/backup";
    first.m_options.m_copyMode = CopyOptions::Move;
    first.updateName();
    Task second = first;
    second.m_sourcePath = "/srv/data";
    second.m_options.m_copyFilters = QStringList{"*.jpg", "*.png"};
    second.updateName();
    settings->setRecentTasks({first, second});
    settings->save();

    // A text that does not parse is dropped with the parser's own warning only.
    {
        QSettings file(settingsFilePath(), QSettings::IniFormat);
        QStringList recent = file.value("Tasks/Recent").toStringList();
        QCOMPARE(recent.size(), 2);
        recent.insert(1, QStringLiteral("broken"));
        file.setValue("Tasks/Recent", recent);
    }
    AppSettings::destroyInstance();
    settings = portableSettings();
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^Invalid argument found in Task::fromDataString"));
    settings->load();
    QCOMPARE(settings->recentTasks(), (QList<Task>{first, second}));
}

void TestAppSettings::recentTasksNotKeptWhenSaveRecentIsOff()
{
    Task task;
    task.m_sourcePath = "/a";
    task.m_destinationPath = "/b";
    task.updateName();
    {
        QDir().mkpath(m_dir->filePath("data"));
        QSettings file(settingsFilePath(), QSettings::IniFormat);
        file.setValue("Tasks/SaveRecent", false);
        file.setValue("Tasks/Recent", QStringList{task.toDataString()});
    }
    AppSettings* settings = portableSettings();
    settings->load();
    QVERIFY(settings->recentTasks().isEmpty());

    settings->setRecentTasks({task});
    settings->save();
    QSettings file(settingsFilePath(), QSettings::IniFormat);
    QVERIFY(file.contains("Tasks/Recent"));
    QVERIFY(file.value("Tasks/Recent").toStringList().isEmpty());
}

void TestAppSettings::saveReplacesFileAtomically()
{
    AppSettings* settings = portableSettings();
    settings->load();
    settings->save();
    const ino_t before = inodeOf(settingsFilePath());
    QVERIFY(before != 0);

    settings->setMaxNumThreads(6);
    settings->save();
    // A new file renamed over the old one: the old content is never truncated in place.
    QVERIFY(inodeOf(settingsFilePath()) != before);
    QCOMPARE(QDir(m_dir->filePath("data")).entryList(QDir::Files), QStringList{"brindle.ini"});
    QSettings file(settingsFilePath(), QSettings::IniFormat);
    QCOMPARE(file.value("System/MaxNumThreads").toInt(), 6);
}

void TestAppSettings::windowsKeepTheirChanges_data()
{
    // Two windows load the same file, each makes its change ("threads N", "method N" or
    // "recent NAME"), then the first saves and the second.
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("method");
    QTest::addColumn<QStringList>("recent"); // {} also: no file before the windows load

    QTest::newRow("different keys") << "threads 5"
                                    << "method 2" << 5 << 2 << QStringList{"old"};
    QTest::newRow("different keys, no file yet") << "threads 5"
                                                 << "method 2" << 5 << 2 << QStringList{};
    QTest::newRow("same key: last writer wins") << "threads 5"
                                                << "threads 7" << 7 << 0 << QStringList{"old"};
    QTest::newRow("a recent task each") << "recent a"
                                        << "recent b" << 2 << 0 << QStringList{"b", "a", "old"};
    QTest::newRow("a recent task and a preference")
        << "recent a"
        << "threads 3" << 3 << 0 << QStringList{"a", "old"};
}

void TestAppSettings::windowsKeepTheirChanges()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(int, threads);
    QFETCH(int, method);
    QFETCH(QStringList, recent);

    const auto task = [](const QString& name) {
        Task value;
        value.m_name = name;
        value.m_sourcePath = "/src/" + name;
        return value;
    };
    AppSettings* settings = portableSettings();
    settings->load();
    settings->setSaveRecent(true);
    settings->setRecentTasks({task("old")});
    if (!recent.isEmpty())
        settings->save();

    std::unique_ptr<AppSettings> windows[] = {settings->loadedCopy(), settings->loadedCopy()};
    const QString changes[] = {first, second};
    for (int i = 0; i < 2; ++i) {
        const QStringList change = changes[i].split(' ');
        if (change.at(0) == "threads")
            windows[i]->setMaxNumThreads(change.at(1).toInt());
        else if (change.at(0) == "method")
            windows[i]->setCopyMethod(change.at(1).toInt());
        else
            windows[i]->setRecentTasks(QList<Task>{task(change.at(1))} + windows[i]->recentTasks());
    }
    windows[0]->save();
    windows[1]->save();

    const std::unique_ptr<AppSettings> reread = settings->loadedCopy();
    QCOMPARE(reread->maxNumThreads(), threads);
    QCOMPARE(reread->copyMethod(), method);
    QStringList names;
    for (const Task& saved : reread->recentTasks())
        names.append(saved.m_name);
    QCOMPARE(names, recent);
}

void TestAppSettings::clearAllRestoresDefaults()
{
    AppSettings* settings = portableSettings();
    settings->load();
    settings->setMaxNumThreads(7);
    settings->setRemoveReadOnlyAttribute(true);
    settings->save();

    QTest::ignoreMessage(QtDebugMsg, "Clear all settings");
    settings->clearAll();
    QTest::ignoreMessage(QtDebugMsg, "Default settings load");
    settings->load();
    QCOMPARE(settings->maxNumThreads(), 2);
    QVERIFY(!settings->removeReadOnlyAttribute());
}

void TestAppSettings::defaultsLeaveSettingsAndFile()
{
    AppSettings* settings = portableSettings();
    settings->load();
    settings->setMaxNumThreads(7);
    settings->setLogFilePath("/elsewhere/log.txt");
    settings->setSkipIntegrityCheckForFileSizeMoreThan(Q_INT64_C(5000000000));
    settings->setExternalProgram({"/opt/copier", {"-x"}, RobocopySyntax});
    settings->save();
    const QByteArray bytes = TestSupport::readFile(settingsFilePath());

    const std::unique_ptr<const AppSettings> defaults = settings->defaults();
    QCOMPARE(defaults->maxNumThreads(), 2);
    QCOMPARE(defaults->logFilePath(), m_dir->filePath("data/brindle_log.txt"));
    QCOMPARE(defaults->skipIntegrityCheckForFileSizeMoreThan(), 0);
    QCOMPARE(defaults->externalProgram().filePath, QStringLiteral("/usr/bin/rsync"));
    QVERIFY(!defaults->saveRecent()); // portable default

    QCOMPARE(settings->maxNumThreads(), 7);
    QCOMPARE(settings->skipIntegrityCheckForFileSizeMoreThan(), Q_INT64_C(5000000000));
    QCOMPARE(settings->externalProgram().filePath, QStringLiteral("/opt/copier"));
    QCOMPARE(TestSupport::readFile(settingsFilePath()), bytes);
}

void TestAppSettings::missingDataFolderIsCreated()
{
    AppSettings* settings = AppSettings::instance();
    settings->setProgramFolder(m_dir->path());
    settings->setPortable(true);
    const QString folder = m_dir->filePath("data");
    QTest::ignoreMessage(QtWarningMsg, qPrintable("Data folder not found in " + folder));
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Data folder created in " + folder));
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Data folder: " + folder));
    QVERIFY(settings->prepareDataFolder());
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(settings->defaultLogFilePath(), folder + "/brindle_log.txt");
}

void TestAppSettings::defaultLanguageDetected()
{
    AppSettings* settings = portableSettings();
    settings->load();
    QVERIFY(settings->languageFilePath().isEmpty());

    // Nothing is found while no translation for the system language exists.
    settings->detectDefaultLanguage();
    QVERIFY(settings->languageFilePath().isEmpty());

    const QString code = QLocale::system().name().left(2);
    const QString file = m_dir->filePath(QStringLiteral("brindle_%1.qm").arg(code));
    QVERIFY(TestSupport::writeFile(file, "qm"));
    settings->detectDefaultLanguage();
    QCOMPARE(settings->languageFileInUse(), file);
    QVERIFY(settings->languageFilePath().isEmpty());

    // A chosen language is never replaced.
    settings->setLanguageFilePath("/opt/brindle_xx.qm");
    settings->detectDefaultLanguage();
    QCOMPARE(settings->languageFileInUse(), QStringLiteral("/opt/brindle_xx.qm"));
}

void TestAppSettings::startLanguageTouchesNothing()
{
    AppSettings* settings = AppSettings::instance();
    settings->setProgramFolder(m_dir->path());
    const QStringList arguments{"brindle-cli", "--portable", "--help"};
    QVERIFY(settings->startLanguageFilePath(arguments).isEmpty());

    const QString code = QLocale::system().name().left(2);
    const QString file = m_dir->filePath(QStringLiteral("brindle_%1.qm").arg(code));
    QVERIFY(TestSupport::writeFile(file, "qm"));
    QCOMPARE(settings->startLanguageFilePath(arguments), file);
    // Neither the data folder nor anything of the settings object: the real set-up comes later.
    QVERIFY(!QFileInfo::exists(m_dir->filePath("data")));
    QVERIFY(settings->languageFilePath().isEmpty());
    QVERIFY(!settings->isPortable());

    // The language the user chose wins, read from the settings of the same start (here the
    // portable ones).
    QVERIFY(TestSupport::writeFile(settingsFilePath(),
                                   "[System]\nLanguageFilePath=/opt/brindle_xx.qm\n"));
    QCOMPARE(settings->startLanguageFilePath(arguments), QStringLiteral("/opt/brindle_xx.qm"));
}

void TestAppSettings::detectedLanguageIsNotStored()
{
    if (qEnvironmentVariableIsSet(ChildFolderVariable))
        QSKIP("runs in the parent only");
    QVERIFY(TestSupport::writeFile(m_dir->filePath("brindle_de.qm"), "qm"));
    // Two starts of the program, the first one in German: the locale is read once per process.
    const auto start = [this](const QByteArray& locale) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(ChildFolderVariable, m_dir->path());
        environment.insert("LC_ALL", locale);
        environment.insert("LANGUAGE", locale.left(2));
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {"detectedLanguageIsNotStoredChild"});
        return child.waitForFinished() && child.exitCode() == 0
                   ? TestSupport::readFile(m_dir->filePath("in-use"))
                   : "failed: " + child.readAll();
    };
    QCOMPARE(start("de_DE.UTF-8"), QFile::encodeName(m_dir->filePath("brindle_de.qm")));
    QCOMPARE(start("C"), QByteArray());
    QSettings file(settingsFilePath(), QSettings::IniFormat);
    QCOMPARE(file.value("System/LanguageFilePath"), QVariant(QString()));
}

void TestAppSettings::detectedLanguageIsNotStoredChild()
{
    const QString folder = qEnvironmentVariable(ChildFolderVariable);
    if (folder.isEmpty())
        QSKIP("started by detectedLanguageIsNotStored");
    AppSettings* settings = AppSettings::instance();
    settings->setProgramFolder(folder);
    settings->setPortable(true);
    settings->findResourceFolder();
    settings->prepareDataFolder();
    settings->load();
    settings->detectDefaultLanguage();
    settings->save();
    QVERIFY(TestSupport::writeFile(folder + "/in-use",
                                   QFile::encodeName(settings->languageFileInUse())));
}

void TestAppSettings::unwritablePlaces()
{
    if (qEnvironmentVariableIsSet(ChildFolderVariable))
        QSKIP("runs in the parent only");
    if (!TestSupport::runningAsRoot())
        QSKIP("needs root to prepare files that the unprivileged child cannot write");

    // A read-only data folder holding a read-only settings file owned by root.
    QDir().mkpath(m_dir->filePath("data"));
    {
        QSettings file(settingsFilePath(), QSettings::IniFormat);
        file.setValue("System/MaxNumThreads", 5);
    }
    QFile::setPermissions(settingsFilePath(),
                          QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    ::chmod(QFile::encodeName(m_dir->filePath("data")).constData(), 0555);
    ::chmod(QFile::encodeName(m_dir->path()).constData(), 0755);
    const QByteArray before = TestSupport::readFile(settingsFilePath());

    qputenv(ChildFolderVariable, QFile::encodeName(m_dir->path()));
    QByteArray output;
    const int code = TestSupport::runAsNobody(QCoreApplication::applicationFilePath(),
                                              {"unwritablePlacesChild"}, &output);
    qunsetenv(ChildFolderVariable);
    if (code == 126 || code == 127 || code == -1)
        QSKIP("the test program cannot be started as user nobody here");
    QVERIFY2(code == 0, output.constData());
    QCOMPARE(TestSupport::readFile(settingsFilePath()), before);
}

void TestAppSettings::unwritablePlacesChild()
{
    const QString folder = qEnvironmentVariable(ChildFolderVariable);
    if (folder.isEmpty())
        QSKIP("started by unwritablePlaces as an unprivileged user");
    QVERIFY(!TestSupport::runningAsRoot());

    AppSettings* settings = AppSettings::instance();
    settings->setProgramFolder(folder);
    settings->setPortable(true);
    const QString data = folder + "/data";
    QTest::ignoreMessage(QtWarningMsg, qPrintable("Data folder " + data + " is not writeable"));
    QVERIFY(!settings->prepareDataFolder());

    const QString file = data + "/brindle.ini";
    const QString notWritable =
        QStringLiteral("\"%1\" is not a writable path. Settings cannot be saved.").arg(file);
    QTest::ignoreMessage(QtWarningMsg, qPrintable(notWritable));
    settings->load();
    QCOMPARE(settings->maxNumThreads(), 5);

    for (int i = 0; i < 2; ++i) {
        QTest::ignoreMessage(QtWarningMsg, qPrintable(notWritable));
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Setting cannot be saved in file " + file));
        settings->save();
    }
}

QTEST_GUILESS_MAIN(TestAppSettings)
#include "tst_appsettings.moc"
