#pragma once

#include "model/externalprogramsettings.h"
#include "model/runsettings.h"
#include "model/task.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <atomic>
#include <memory>

class QSettings;

// The user's preferences and the places where the program keeps its files.
//
// One process-wide object, loaded on the user-interface thread before any job thread
// exists and changed only there. A run never reads it while it works: it takes the values
// that shape it (runSettings) when it starts or resumes, so a change made in the
// preferences during a copy applies to the next run. The scalars stay atomic, so that a
// read from another thread is never a data race.
class AppSettings
{
public:
    // Created on first use; destroyed by start-up after the final save.
    static AppSettings* instance();
    static void destroyInstance();

    // Start-up, in this order.
    void readArguments();
    void readArguments(const QStringList& applicationArguments);
    // The whole sequence below, for a program started with these arguments.
    void setUp(const QStringList& applicationArguments);
    void findResourceFolder();
    void readRcFile();
    bool prepareDataFolder();
    void load();
    // A detached object with every setting at the default that load gives a missing key,
    // for the same places (data folder, portable mode). Neither this object nor the
    // settings file is touched, and a const object cannot be saved.
    std::unique_ptr<const AppSettings> defaults() const;
    // Another object on the same settings file, loaded from it: what another window of
    // the program holds.
    std::unique_ptr<AppSettings> loadedCopy() const;

    void save();
    void clearAll();
    // The translation of the system's language, for a start with no language chosen. It
    // is only kept in memory: stored, it would outlive a change of the locale.
    void detectDefaultLanguage();
    // The translation file that a start with these arguments installs: the settings'
    // language file, else the system language's file in the resource folder. For what a
    // program says before it sets up (its help, usage errors): this object stays as it
    // is, nothing is written, no folder is made and nothing is logged.
    QString startLanguageFilePath(const QStringList& applicationArguments) const;
    QString defaultLogFilePath() const;

    // A fresh settings object on the settings file, for one load, save or clear.
    std::unique_ptr<QSettings> openSettingsFile();

    // The program's folder: where the (portable) data lives, and the rc file and
    // translations too unless the program is installed under a prefix (see
    // findResourceFolder). Defaults to the folder of the running executable.
    QString programFolder() const;
    void setProgramFolder(const QString& folder);

    QStringList arguments() const { return m_arguments; }
    QString settingsFileName() const { return m_settingsFileName; }
    QString resourceFolder() const { return m_resourceFolder; }
    void setResourceFolder(const QString& folder) { m_resourceFolder = folder; }
    QString dataFolder() const { return m_dataFolder; }
    void setDataFolder(const QString& folder) { m_dataFolder = folder; }
    bool isPortable() const { return m_portable; }
    void setPortable(bool portable) { m_portable = portable; }
    QDate creationDate() const { return m_creationDate; }
    void setCreationDate(const QDate& date) { m_creationDate = date; }
    int settingsVersion() const { return m_settingsVersion; }
    QDateTime lastLoadOrSaveTime() const { return m_lastLoadOrSaveTime; }

    bool saveRecent() const { return m_saveRecent; }
    void setSaveRecent(bool value) { m_saveRecent = value; }
    QList<Task> recentTasks() const { return m_recentTasks; }
    void setRecentTasks(const QList<Task>& tasks) { m_recentTasks = tasks; }
    // Empties the list for every window: the next save writes it empty, dropping what
    // other windows added meanwhile too (a merge would keep those).
    void clearRecentTasks()
    {
        m_recentTasks.clear();
        m_recentCleared = true;
    }

    ExternalProgramSettings externalProgram() const { return m_externalProgram; }
    void setExternalProgram(const ExternalProgramSettings& program) { m_externalProgram = program; }
    bool useExternalCopyProgram() const { return m_useExternalCopyProgram; }
    void setUseExternalCopyProgram(bool value) { m_useExternalCopyProgram = value; }
    bool skipBuildListForExternalProgram() const { return m_skipBuildListForExternalProgram; }
    void setSkipBuildListForExternalProgram(bool value)
    {
        m_skipBuildListForExternalProgram = value;
    }

    bool logEnabled() const { return m_logEnabled; }
    void setLogEnabled(bool value) { m_logEnabled = value; }
    QString logFilePath() const { return m_logFilePath; }
    void setLogFilePath(const QString& path) { m_logFilePath = path; }
    // Megabytes.
    qint64 logMaximumSize() const { return m_logMaximumSize; }
    void setLogMaximumSize(qint64 megabytes) { m_logMaximumSize = megabytes; }
    qint64 logMinimumSize() const { return m_logMinimumSize; }
    void setLogMinimumSize(qint64 megabytes) { m_logMinimumSize = megabytes; }

    int maxNumThreads() const { return m_maxNumThreads; }
    void setMaxNumThreads(int count) { m_maxNumThreads = count; }
    bool checkForNewVersionAtStartup() const { return m_checkForNewVersionAtStartup; }
    void setCheckForNewVersionAtStartup(bool value) { m_checkForNewVersionAtStartup = value; }
    // The language chosen in the preferences (System/LanguageFilePath); empty: the language
    // follows the system's. A stored value is honoured as a choice, whoever wrote it.
    QString languageFilePath() const { return m_languageFilePath; }
    void setLanguageFilePath(const QString& path) { m_languageFilePath = path; }
    // What detectDefaultLanguage found for the locale; never saved.
    QString detectedLanguageFilePath() const { return m_detectedLanguageFilePath; }
    // The file to install: the chosen one, else the detected one.
    QString languageFileInUse() const
    {
        return m_languageFilePath.isEmpty() ? m_detectedLanguageFilePath : m_languageFilePath;
    }
    bool allowMultipleInstances() const { return m_allowMultipleInstances; }
    void setAllowMultipleInstances(bool value) { m_allowMultipleInstances = value; }
    qint64 maxTransferSpeed() const { return m_maxTransferSpeed; }
    void setMaxTransferSpeed(qint64 value) { m_maxTransferSpeed = value; }
    int copyMethod() const { return m_copyMethod; }
    void setCopyMethod(int method) { m_copyMethod = method; }

    qint64 skipIntegrityCheckForFileSizeMoreThan() const
    {
        return m_skipIntegrityCheckForFileSizeMoreThan;
    }
    void setSkipIntegrityCheckForFileSizeMoreThan(qint64 bytes)
    {
        m_skipIntegrityCheckForFileSizeMoreThan = bytes;
    }
    bool autoSaveErrors() const { return m_autoSaveErrors; }
    void setAutoSaveErrors(bool value) { m_autoSaveErrors = value; }
    bool skipErrorsInSync() const { return m_skipErrorsInSync; }
    void setSkipErrorsInSync(bool value) { m_skipErrorsInSync = value; }
    // The checksum list a verifying run of the window writes (CopyTask::setManifestPath);
    // empty: none.
    QString manifestPath() const { return m_manifestPath; }
    // The digest of verified copies and verifies (RunSettings::hashAlgorithm).
    int hashAlgorithm() const { return m_hashAlgorithm; }
    void setHashAlgorithm(int algorithm) { m_hashAlgorithm = algorithm; }
    void setManifestPath(const QString& path) { m_manifestPath = path; }
    bool reportFilteredFiles() const { return m_reportFilteredFiles; }
    void setReportFilteredFiles(bool value) { m_reportFilteredFiles = value; }
    bool removeReadOnlyAttribute() const { return m_removeReadOnlyAttribute; }
    void setRemoveReadOnlyAttribute(bool value) { m_removeReadOnlyAttribute = value; }
    bool viewOnlyFileNames() const { return m_viewOnlyFileNames; }
    void setViewOnlyFileNames(bool value) { m_viewOnlyFileNames = value; }

    // The current values of the preferences that shape a run, for a run about to start.
    RunSettings runSettings() const;

    // The bounds applied on load, as pure functions.
    static qint64 boundedLogMaximumSize(qint64 maximum, qint64 minimum);
    static int boundedThreadCount(int count);
    static int boundedCopyMethod(int method);
    // Entries of the recent-task list at most.
    static constexpr int MaximumRecentTasks = 20;
    // The recent tasks (data strings) a save writes: those this object added or moved to
    // the front since it last read or wrote the file (known), then the file's current
    // ones less those this object removed.
    static QStringList mergedRecent(const QStringList& mine, const QStringList& known,
                                    const QStringList& current);

private:
    AppSettings();
    // The settings file as it is, for reading.
    std::unique_ptr<QSettings> settingsFile() const;
    // Where prepareDataFolder puts the data folder.
    QString dataFolderPath() const;
    // Every value from the settings, or its default when settings is null.
    void readValues(QSettings* settings);
    // Every key a save writes, with this object's value.
    QVariantMap storedValues() const;

    QStringList m_arguments;
    QString m_settingsFileName;
    QString m_programFolder;
    QString m_resourceFolder;
    QString m_dataFolder;
    bool m_portable = false;
    QDate m_creationDate;
    int m_settingsVersion = 1;
    QDateTime m_lastLoadOrSaveTime;
    // The values of the keys as the file held them when this object last loaded or saved.
    QVariantMap m_stored;

    bool m_saveRecent = true;
    bool m_recentCleared = false;
    QList<Task> m_recentTasks;
    ExternalProgramSettings m_externalProgram;
    bool m_useExternalCopyProgram = false;
    bool m_skipBuildListForExternalProgram = false;

    bool m_logEnabled = true;
    QString m_logFilePath;
    QString m_manifestPath;
    std::atomic<int> m_hashAlgorithm{0};
    qint64 m_logMaximumSize = 100;
    qint64 m_logMinimumSize = 20;

    std::atomic<int> m_maxNumThreads{2};
    bool m_checkForNewVersionAtStartup = true;
    QString m_languageFilePath;
    QString m_detectedLanguageFilePath;
    bool m_allowMultipleInstances = true;
    std::atomic<qint64> m_maxTransferSpeed{999999999000};
    std::atomic<int> m_copyMethod{0};
    std::atomic<qint64> m_skipIntegrityCheckForFileSizeMoreThan{0};
    bool m_autoSaveErrors = false;
    std::atomic<bool> m_skipErrorsInSync{false};
    std::atomic<bool> m_reportFilteredFiles{false};
    std::atomic<bool> m_removeReadOnlyAttribute{false};
    bool m_viewOnlyFileNames = false;
};
