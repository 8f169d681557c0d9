#include "app/appsettings.h"

#include "app/programidentity.h"
#include "fs/pathutils.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QLockFile>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>

namespace {

std::unique_ptr<AppSettings>& storage()
{
    static std::unique_ptr<AppSettings> settings;
    return settings;
}

const char* const RcFileName = "brindle.rc";
const char* const PortableSettingsFileName = "brindle.ini";
const char* const PortableArgument = "--portable";
const char* const RecentKey = "Tasks/Recent";
// A save that finds the file locked longer than this writes all the same.
const int SaveLockTimeoutMs = 5000;

QString lowerProgramName()
{
    return ProgramIdentity::programName().toLower();
}

} // namespace

AppSettings* AppSettings::instance()
{
    std::unique_ptr<AppSettings>& settings = storage();
    if (!settings)
        settings.reset(new AppSettings());
    return settings.get();
}

void AppSettings::destroyInstance()
{
    storage().reset();
}

AppSettings::AppSettings() = default;

QString AppSettings::programFolder() const
{
    if (!m_programFolder.isEmpty())
        return m_programFolder;
    return QCoreApplication::applicationDirPath();
}

void AppSettings::setProgramFolder(const QString& folder)
{
    m_programFolder = folder;
}

void AppSettings::readArguments()
{
    readArguments(QCoreApplication::arguments());
}

void AppSettings::setUp(const QStringList& applicationArguments)
{
    readArguments(applicationArguments);
    findResourceFolder();
    readRcFile();
    prepareDataFolder();
    load();
}

void AppSettings::readArguments(const QStringList& applicationArguments)
{
    m_arguments = applicationArguments;
    if (!m_arguments.isEmpty())
        m_arguments.removeFirst();

    bool portableRequested = false;
    for (const QString& argument : qAsConst(m_arguments)) {
        if (argument.simplified().toLower() == QLatin1String(PortableArgument)) {
            m_portable = true;
            portableRequested = true;
            qDebug() << "Portable settings forced by user argument";
        }
    }
    // Later argument handling must not take the switch for a path.
    if (portableRequested)
        m_arguments.removeAll(QLatin1String(PortableArgument));
}

void AppSettings::findResourceFolder()
{
    // Installed under a prefix, the program is in <prefix>/bin and its resources in
    // <prefix>/share/brindle; the build tree and a portable copy keep them beside the program.
    const QString installed =
        QDir::cleanPath(QStringLiteral("%1/../share/%2").arg(programFolder(), lowerProgramName()));
    if (QFileInfo(installed).isDir()) {
        m_resourceFolder = FileSystemUtils::normalizePath(installed);
        qDebug() << "Resource folder (installed):" << qUtf8Printable(m_resourceFolder);
        return;
    }
    m_resourceFolder = FileSystemUtils::normalizePath(programFolder());
    qDebug() << "Resource folder:" << qUtf8Printable(m_resourceFolder);
}

void AppSettings::readRcFile()
{
    const QString path = QDir::toNativeSeparators(
        QFileInfo(QStringLiteral("%1/%2").arg(m_resourceFolder, QLatin1String(RcFileName)))
            .absoluteFilePath());
    const QFileInfo info(path);
    if (!info.exists())
        return;
    if (!info.isReadable()) {
        qWarning() << "RC file found but it is not readable:" << qUtf8Printable(path);
        return;
    }

    QSettings rc(path, QSettings::IniFormat);
    // The rc file decides: without "Portable" set to true the program is not portable,
    // whatever the arguments asked for.
    m_portable = rc.value(QStringLiteral("Brindle/Portable"), false).toBool();
    const QStringList keys = rc.allKeys();
    for (const QString& key : keys)
        qDebug() << "RC option read ->" << qUtf8Printable(key) << "="
                 << qUtf8Printable(rc.value(key).toString());
}

QString AppSettings::dataFolderPath() const
{
    if (m_portable)
        return FileSystemUtils::normalizePath(
            QStringLiteral("%1/%2").arg(programFolder(), QStringLiteral("data")));
    return FileSystemUtils::normalizePath(
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

bool AppSettings::prepareDataFolder()
{
    m_dataFolder = dataFolderPath();

    if (!QFileInfo::exists(m_dataFolder)) {
        qWarning() << "Data folder not found in" << qUtf8Printable(m_dataFolder);
        if (!QDir().mkpath(m_dataFolder)) {
            qWarning() << "Unable to create data folder" << qUtf8Printable(m_dataFolder);
            return false;
        }
        qDebug() << "Data folder created in" << qUtf8Printable(m_dataFolder);
    }

    if (FileSystemUtils::canWriteToFolder(m_dataFolder)) {
        qDebug() << "Data folder:" << qUtf8Printable(m_dataFolder);
        return true;
    }
    qWarning() << "Data folder" << qUtf8Printable(m_dataFolder) << "is not writeable";
    return false;
}

std::unique_ptr<QSettings> AppSettings::settingsFile() const
{
    if (m_portable)
        return std::make_unique<QSettings>(
            QStringLiteral("%1/%2").arg(m_dataFolder, QLatin1String(PortableSettingsFileName)),
            QSettings::IniFormat);
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       ProgramIdentity::organizationName(),
                                       ProgramIdentity::programName());
}

std::unique_ptr<QSettings> AppSettings::openSettingsFile()
{
    std::unique_ptr<QSettings> settings = settingsFile();
    // Written through a temporary file renamed over the old one: a crash during a save
    // leaves either the old file or the new one, never a truncated one.
    settings->setAtomicSyncRequired(true);
    if (!settings->isWritable())
        qWarning() << settings->fileName() << "is not a writable path. Settings cannot be saved.";
    return settings;
}

qint64 AppSettings::boundedLogMaximumSize(qint64 maximum, qint64 minimum)
{
    return maximum < minimum + 1 ? minimum + 1 : maximum;
}

int AppSettings::boundedThreadCount(int count)
{
    return count < 1 ? 1 : count;
}

int AppSettings::boundedCopyMethod(int method)
{
    return method < 0 || method > 3 ? 0 : method;
}

RunSettings AppSettings::runSettings() const
{
    RunSettings settings;
    settings.copyMethod = m_copyMethod;
    settings.skipErrorsInSync = m_skipErrorsInSync;
    settings.removeReadOnlyAttribute = m_removeReadOnlyAttribute;
    settings.reportFilteredFiles = m_reportFilteredFiles;
    settings.skipIntegrityCheckForFileSizeMoreThan = m_skipIntegrityCheckForFileSizeMoreThan;
    settings.hashAlgorithm = m_hashAlgorithm;
    return settings;
}

QString AppSettings::defaultLogFilePath() const
{
    return QDir::toNativeSeparators(
        QStringLiteral("%1/%2_log.txt").arg(m_dataFolder, lowerProgramName()));
}

void AppSettings::load()
{
    std::unique_ptr<QSettings> settings = openSettingsFile();
    m_settingsFileName = settings->fileName();
    qDebug() << "Loading settings from file" << qUtf8Printable(m_settingsFileName);
    const QStringList fileKeys = settings->allKeys();
    const bool noKeys = fileKeys.isEmpty();
    readValues(settings.get());
    m_lastLoadOrSaveTime = QDateTime::currentDateTime();
    // What this object read: a later save writes the keys whose value differs from it.
    m_stored.clear();
    const QVariantMap values = storedValues();
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        // A value the file holds in another form (out of bounds, recent tasks not kept) is
        // written again by the next save.
        const QVariant raw = settings->value(it.key());
        const bool same = it.value().type() == QVariant::StringList
                              ? raw.toStringList() == it.value().toStringList()
                              : raw.toString() == it.value().toString();
        if (same || !fileKeys.contains(it.key()))
            m_stored.insert(it.key(), it.value());
    }

    if (noKeys) {
        qDebug() << "Default settings load";
        return;
    }
    const QStringList keys = settings->allKeys();
    for (const QString& key : keys) {
        if (key == QLatin1String("Tasks/Recent"))
            continue;
        qDebug() << "Setting read ->" << qUtf8Printable(key) << "="
                 << qUtf8Printable(settings->value(key).toString());
    }
}

std::unique_ptr<const AppSettings> AppSettings::defaults() const
{
    std::unique_ptr<AppSettings> values(new AppSettings());
    // The defaults that depend on where the program keeps its files (log file, recent tasks).
    values->m_programFolder = m_programFolder;
    values->m_resourceFolder = m_resourceFolder;
    values->m_dataFolder = m_dataFolder;
    values->m_portable = m_portable;
    values->m_settingsFileName = m_settingsFileName;
    values->readValues(nullptr);
    return values;
}

std::unique_ptr<AppSettings> AppSettings::loadedCopy() const
{
    std::unique_ptr<AppSettings> copy(new AppSettings());
    copy->m_programFolder = m_programFolder;
    copy->m_resourceFolder = m_resourceFolder;
    copy->m_dataFolder = m_dataFolder;
    copy->m_portable = m_portable;
    copy->load();
    return copy;
}

void AppSettings::readValues(QSettings* settings)
{
    // Without a settings file every key takes its default.
    const auto value = [settings](const char* key, const QVariant& fallback) {
        return settings ? settings->value(QLatin1String(key), fallback) : fallback;
    };

    m_settingsVersion = value("Version/Settings", 1).toInt();
    m_creationDate = value("Version/CreationDate", QVariant()).toDate();
    if (!m_creationDate.isValid())
        m_creationDate = QDate::currentDate();

    m_saveRecent = value("Tasks/SaveRecent", !m_portable).toBool();
    m_recentTasks.clear();
    if (m_saveRecent) {
        const QStringList recent = value("Tasks/Recent", QVariant()).toStringList();
        for (const QString& text : recent) {
            Task task;
            if (task.fromDataString(text))
                m_recentTasks.append(task);
        }
    }

    m_logEnabled = !value("Log/Disabled", true).toBool();
    m_logFilePath = value("Log/FilePath", defaultLogFilePath()).toString();
    m_logMinimumSize = value("Log/LogFileMinimumSize(Mb)", 20).toLongLong();
    m_logMaximumSize = boundedLogMaximumSize(value("Log/LogFileMaximumSize(Mb)", 100).toLongLong(),
                                             m_logMinimumSize);

    m_maxNumThreads = boundedThreadCount(value("System/MaxNumThreads", 2).toInt());
    m_checkForNewVersionAtStartup = value("System/CheckForNewVersionAtStartup", true).toBool();
    m_languageFilePath = value("System/LanguageFilePath", QString()).toString();
    m_allowMultipleInstances = value("System/AllowMultipleInstances", true).toBool();
    m_maxTransferSpeed = value("System/MaxTransferSpeed", Q_INT64_C(999999999000)).toLongLong();
    m_copyMethod = boundedCopyMethod(value("System/CopyMethod", 0).toInt());

    if (settings)
        m_externalProgram.readFromSettings(*settings);
    else
        m_externalProgram.readFromGroup({});

    m_autoSaveErrors = value("Misc/AutoSaveErrors", false).toBool();
    m_useExternalCopyProgram = value("Misc/UseExternalCopyProgram", false).toBool();
    m_skipBuildListForExternalProgram =
        value("Misc/SkipBuildListForExternalProgram", false).toBool();
    m_skipIntegrityCheckForFileSizeMoreThan =
        value("Misc/SkipIntegrityCheckForFileSizeMoreThan", 0).toLongLong();
    m_skipErrorsInSync = value("Misc/SkipErrorsInSync", false).toBool();
    m_manifestPath = value("Misc/ManifestPath", QString()).toString();
    m_hashAlgorithm =
        qMax(0, RunSettings::hashAlgorithmNamed(value("Misc/HashAlgorithm", QString()).toString()));
    m_reportFilteredFiles = value("Misc/ReportFilteredFiles", false).toBool();
    m_removeReadOnlyAttribute = value("Misc/RemoveReadOnlyAttribute", false).toBool();

    m_viewOnlyFileNames = value("Gui/ViewOnlyFileNames", false).toBool();
}

QVariantMap AppSettings::storedValues() const
{
    QStringList recent;
    if (m_saveRecent) {
        for (const Task& task : qAsConst(m_recentTasks))
            recent.append(task.toDataString());
    }
    QVariantMap values{
        {QStringLiteral("Version/Program"), ProgramIdentity::versionText(false, true)},
        {QStringLiteral("Version/Settings"), 1},
        // ISO text rather than a binary variant, so the file stays readable.
        {QStringLiteral("Version/CreationDate"), m_creationDate.toString(Qt::ISODate)},
        {QStringLiteral("Version/Qt"), ProgramIdentity::frameworkMajorVersion()},
        {QStringLiteral("Tasks/SaveRecent"), m_saveRecent},
        {QString::fromLatin1(RecentKey), recent},
        {QStringLiteral("Log/Disabled"), !m_logEnabled},
        {QStringLiteral("Log/FilePath"), m_logFilePath},
        {QStringLiteral("Log/LogFileMaximumSize(Mb)"), m_logMaximumSize},
        {QStringLiteral("Log/LogFileMinimumSize(Mb)"), m_logMinimumSize},
        {QStringLiteral("System/MaxNumThreads"), m_maxNumThreads.load()},
        {QStringLiteral("System/CheckForNewVersionAtStartup"), m_checkForNewVersionAtStartup},
        {QStringLiteral("System/LanguageFilePath"), m_languageFilePath},
        {QStringLiteral("System/AllowMultipleInstances"), m_allowMultipleInstances},
        {QStringLiteral("System/MaxTransferSpeed"), m_maxTransferSpeed.load()},
        {QStringLiteral("System/CopyMethod"), m_copyMethod.load()},
        {QStringLiteral("Misc/UseExternalCopyProgram"), m_useExternalCopyProgram},
        {QStringLiteral("Misc/SkipBuildListForExternalProgram"), m_skipBuildListForExternalProgram},
        {QStringLiteral("Misc/SkipIntegrityCheckForFileSizeMoreThan"),
         m_skipIntegrityCheckForFileSizeMoreThan.load()},
        {QStringLiteral("Misc/AutoSaveErrors"), m_autoSaveErrors},
        {QStringLiteral("Misc/SkipErrorsInSync"), m_skipErrorsInSync.load()},
        {QStringLiteral("Misc/ManifestPath"), m_manifestPath},
        {QStringLiteral("Misc/HashAlgorithm"),
         QLatin1String(RunSettings::hashNames().at(size_t(m_hashAlgorithm.load())))},
        {QStringLiteral("Misc/ReportFilteredFiles"), m_reportFilteredFiles.load()},
        {QStringLiteral("Misc/RemoveReadOnlyAttribute"), m_removeReadOnlyAttribute.load()},
        {QStringLiteral("Gui/ViewOnlyFileNames"), m_viewOnlyFileNames},
    };
    const QVariantMap program = m_externalProgram.toGroup();
    for (auto it = program.cbegin(); it != program.cend(); ++it)
        values.insert(ExternalProgramSettings::groupName() + QLatin1Char('/') + it.key(),
                      it.value());
    return values;
}

QStringList AppSettings::mergedRecent(const QStringList& mine, const QStringList& known,
                                      const QStringList& current)
{
    const auto nameOf = [](const QString& text) {
        Task task;
        return task.fromDataString(text) ? task.m_name : text;
    };
    // Added or moved to the front here: the entries before the one that led the list.
    QStringList fresh;
    for (const QString& text : mine) {
        if (!known.isEmpty() && text == known.first())
            break;
        fresh.append(text);
    }
    QSet<QString> dropped;
    for (const QString& text : known) {
        if (!mine.contains(text))
            dropped.insert(nameOf(text));
    }
    QSet<QString> taken;
    for (const QString& text : qAsConst(fresh))
        taken.insert(nameOf(text));
    QStringList merged = fresh;
    for (const QString& text : current) {
        const QString name = nameOf(text);
        if (!taken.contains(name) && !dropped.contains(name)) {
            merged.append(text);
            taken.insert(name);
        }
    }
    while (merged.size() > MaximumRecentTasks)
        merged.removeLast();
    return merged;
}

void AppSettings::save()
{
    std::unique_ptr<QSettings> probe = settingsFile();
    m_settingsFileName = probe->fileName();
    probe.reset();
    // Several windows share the file: each writes only what it changed since it last read
    // or wrote it, and reads the file again under this lock, so that no window's change
    // is lost to another's older copy.
    QDir().mkpath(QFileInfo(m_settingsFileName).path());
    QLockFile lock(m_settingsFileName + QLatin1String(".save-lock"));
    if (!lock.tryLock(SaveLockTimeoutMs))
        qWarning() << "Unable to lock settings file" << qUtf8Printable(m_settingsFileName)
                   << "; saving without the lock";

    std::unique_ptr<QSettings> settings = openSettingsFile();
    if (!settings->isWritable()) {
        qWarning() << "Setting cannot be saved in file" << qUtf8Printable(m_settingsFileName);
        return;
    }
    QVariantMap values = storedValues();
    const QString recentKey = QString::fromLatin1(RecentKey);
    if (m_recentCleared) {
        values.insert(recentKey, QStringList());
        settings->setValue(recentKey, QStringList());
    } else if (m_stored.contains(recentKey) &&
               values.value(recentKey) != m_stored.value(recentKey)) {
        values.insert(recentKey, mergedRecent(values.value(recentKey).toStringList(),
                                              m_stored.value(recentKey).toStringList(),
                                              settings->value(recentKey).toStringList()));
    }
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        // A key the file lacks is filled in; the version keys tell which program wrote the
        // file last.
        const bool changed = !m_stored.contains(it.key()) || m_stored.value(it.key()) != it.value();
        if (changed || !settings->contains(it.key()) ||
            it.key().startsWith(QLatin1String("Version/")))
            settings->setValue(it.key(), it.value());
    }

    settings->sync();
    if (settings->status() != QSettings::NoError) {
        // The old file is still in place: the new one is only renamed over it when
        // it was written completely.
        qWarning() << "Setting cannot be saved in file" << qUtf8Printable(m_settingsFileName);
        return;
    }
    if (m_saveRecent) {
        m_recentTasks.clear();
        for (const QString& text : values.value(recentKey).toStringList()) {
            Task task;
            if (task.fromDataString(text))
                m_recentTasks.append(task);
        }
    }
    m_stored = storedValues();
    m_recentCleared = false;
    qDebug() << "Settings saved in file" << qUtf8Printable(m_settingsFileName);
    m_lastLoadOrSaveTime = QDateTime::currentDateTime();
}

void AppSettings::clearAll()
{
    qDebug() << "Clear all settings";
    std::unique_ptr<QSettings> settings = openSettingsFile();
    if (!settings->allKeys().isEmpty()) {
        settings->clear();
        settings->sync();
    }
    // The file holds nothing of this object now: the next save writes every key.
    m_stored.clear();
}

void AppSettings::detectDefaultLanguage()
{
    m_detectedLanguageFilePath.clear();
    if (!m_languageFilePath.isEmpty())
        return;
    QString languageId = QLocale::system().name();
    if (languageId.size() > 2)
        languageId.truncate(2);
    qDebug() << "Language Id:" << languageId;

    const QString candidate =
        QStringLiteral("%1/%2_%3.qm").arg(m_resourceFolder, lowerProgramName(), languageId);
    if (QFileInfo::exists(candidate)) {
        m_detectedLanguageFilePath = QDir::toNativeSeparators(candidate);
        qDebug() << "Found default language for your system:"
                 << qUtf8Printable(m_detectedLanguageFilePath);
    }
}

QString AppSettings::startLanguageFilePath(const QStringList& applicationArguments) const
{
    // The steps of setUp log as they go; the real set-up that may follow logs them again.
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    AppSettings probe;
    probe.m_programFolder = m_programFolder;
    probe.readArguments(applicationArguments);
    probe.findResourceFolder();
    probe.readRcFile();
    probe.m_dataFolder = probe.dataFolderPath();
    // Read only: asking whether the file is writable would make its folder.
    probe.m_languageFilePath =
        probe.settingsFile()->value(QStringLiteral("System/LanguageFilePath")).toString();
    probe.detectDefaultLanguage();
    qInstallMessageHandler(previous);
    return probe.languageFileInUse();
}
