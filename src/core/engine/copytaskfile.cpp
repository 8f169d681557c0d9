#include "engine/copytask.h"

#include "app/programidentity.h"
#include "fs/pathutils.h"
#include "model/inifileformat.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

namespace {

const int CurrentSaveFileVersion = 2;

// A copy of the item as a task file stores it when errors are to be copied like new items.
CopyItem withErrorReset(CopyItem item, bool errorsAsUnprocessed)
{
    if (errorsAsUnprocessed && item.isError()) {
        item.resetState();
        item.info_list.clear();
    }
    return item;
}

// The numbers of the keys to read from a group of numbered keys. The count comes from a
// file anyone can edit: when it claims more keys than the group holds, only the keys that
// exist are read, so a huge count cannot keep the loader busy. False in that case.
bool indexesToRead(QSettings& settings, const QString& keyPrefix, int count, QList<int>* indexes)
{
    const QStringList keys = settings.childKeys();
    if (count <= keys.size()) {
        for (int i = 0; i < count; ++i)
            indexes->append(i);
        return true;
    }
    for (const QString& key : keys) {
        if (!key.startsWith(keyPrefix))
            continue;
        bool ok = false;
        const QString number = key.mid(keyPrefix.size());
        const int index = number.toInt(&ok);
        if (ok && index >= 0 && index < count && number == QString::number(index))
            indexes->append(index);
    }
    std::sort(indexes->begin(), indexes->end());
    return false;
}

// A file the task-file reader refuses is replaced instead of merged into: read, it would
// leave the settings object in an error state that hides whether the new file was written.
// False when such a file is in the way and cannot be removed.
bool removeUnreadableFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || IniFileFormat::refusal(file).isEmpty())
        return true;
    file.close();
    return QFileInfo(path).isWritable() && QFile::remove(path);
}

// Whether path is root or lies below it, as plain absolute text: no "." or ".." component
// may lead it elsewhere.
bool liesWithin(const QString& path, const QString& root)
{
    if (root.isEmpty() || !QDir::isAbsolutePath(path))
        return false;
    const QString normalized = FileSystemUtils::normalizePath(path);
    if (QDir::cleanPath(QDir::fromNativeSeparators(normalized)) !=
        QDir::fromNativeSeparators(normalized))
        return false;
    const QString base = FileSystemUtils::normalizePath(root);
    if (normalized == base)
        return true;
    return normalized.startsWith(base.endsWith(QDir::separator()) ? base
                                                                  : base + QDir::separator());
}

// A task file's item must stay inside its task's source and destination: a forged item
// (a name that holds the field separator, an edited file) must not reach other files.
bool belongsToTask(const CopyItem& item, const Task& task)
{
    return liesWithin(item.source_path, task.m_sourcePath) &&
           liesWithin(item.destination_path, task.m_destinationPath);
}

} // namespace

bool CopyTask::saveToFile(const QString& path, bool errorsOnly, bool allItems,
                          bool errorsAsUnprocessed)
{
    // Task files are shared: they never go through Qt's INI reader, which decodes objects.
    if (!removeUnreadableFile(path))
        return false;
    QSettings settings(path, IniFileFormat::format());
    if (!settings.isWritable())
        return false;
    settings.clear();

    // The run in memory keeps its states; only what is written is reset.
    settings.beginGroup(QStringLiteral("Items"));
    int itemCount = 0;
    for (const CopyItem& completed : qAsConst(m_completedItems)) {
        const CopyItem item = withErrorReset(completed, errorsAsUnprocessed);
        const bool write =
            completed.isError() || (!errorsOnly && (item.copy_state == Unprocessed || allItems));
        if (!write)
            continue;
        settings.setValue(QStringLiteral("Item%1").arg(itemCount), item.toDataString());
        ++itemCount;
    }
    settings.endGroup();

    settings.beginGroup(QStringLiteral("Folders"));
    int folderCount = 0;
    for (const CopyItem& folder : qAsConst(m_folders)) {
        CopyItem item = withErrorReset(folder, errorsAsUnprocessed);
        if (itemCount > 0) {
            // Items to be copied again need their folders synced again after them.
            item.copy_state = Unprocessed;
        } else if (item.copy_state != Unprocessed && !allItems) {
            continue;
        }
        settings.setValue(QStringLiteral("Folder%1").arg(folderCount), item.toDataString());
        ++folderCount;
    }
    settings.endGroup();

    settings.beginGroup(QStringLiteral("Task"));
    settings.setValue(QStringLiteral("Data"), m_task.toDataString());
    settings.setValue(QStringLiteral("ItemsCount"), itemCount);
    settings.setValue(QStringLiteral("FoldersCount"), folderCount);
    settings.setValue(QStringLiteral("SaveFileVersion"), CurrentSaveFileVersion);
    settings.setValue(QStringLiteral("SkipBuildListForExternalProgram"),
                      m_skipBuildListForExternalProgram);
    // A run stopped while its source was walked holds only part of the list: its resume
    // walks the source again. (Files without the key hold a complete list.)
    settings.setValue(QStringLiteral("FileListCompleted"), m_fileListCompleted);
    // A partial file starts its time afresh.
    settings.setValue(QStringLiteral("ElapsedTime"),
                      allItems && !errorsOnly ? m_elapsedTime : qint64(0));
    settings.endGroup();

    m_externalProgram.writeToSettings(settings);

    // Written now rather than when the object goes, so that a failed write is reported.
    settings.sync();
    return settings.status() == QSettings::NoError;
}

bool CopyTask::loadFromFile(const QString& path)
{
    if (!isTaskCompleted()) {
        qWarning() << "Unable to load task from file" << qUtf8Printable(path)
                   << "while a copy is running";
        return false;
    }
    m_task = Task();

    // A task file may come from anywhere. Binary data or over-long lines refuse it at once
    // (the reason is logged first); QSettings, which caches what it parsed, would not say
    // so again when the same file is loaded twice.
    QFile file(path);
    const bool readable = QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly);
    const QString refusal = readable ? IniFileFormat::refusal(file) : QString();
    if (!refusal.isEmpty())
        qWarning() << qUtf8Printable(refusal) << "in" << qUtf8Printable(path);
    if (!readable || !refusal.isEmpty()) {
        qWarning() << "Unable to load task from file" << qUtf8Printable(path);
        return false;
    }
    file.close();
    qDebug() << "Loading task from file" << qUtf8Printable(path);
    QSettings settings(path, IniFileFormat::format());
    if (settings.status() != QSettings::NoError) {
        qWarning() << "Unable to load task from file" << qUtf8Printable(path);
        return false;
    }
    settings.beginGroup(QStringLiteral("Task"));

    auto invalid = [&path](const char* key) {
        qWarning() << "Invalid" << key << "value found in" << qUtf8Printable(path);
        return false;
    };
    bool ok = false;
    const int version = settings.value(QStringLiteral("SaveFileVersion"), 1).toInt(&ok);
    if (!ok)
        return invalid("SaveFileVersion");

    if (version >= 2) {
        if (!m_task.fromDataString(settings.value(QStringLiteral("Data")).toString()))
            return invalid("Task");
    } else {
        CopyItem item;
        if (!item.fromDataString(settings.value(QStringLiteral("CopyItem")).toString()))
            return invalid("CopyItem");
        m_task.m_sourcePath = item.source_path;
        m_task.m_destinationPath = item.destination_path;
        m_task.updateName();
    }

    const int itemsCount = settings.value(QStringLiteral("ItemsCount"), 0).toInt(&ok);
    if (!ok)
        return invalid("ItemsCount");
    const int foldersCount = settings.value(QStringLiteral("FoldersCount"), 0).toInt(&ok);
    if (!ok)
        return invalid("FoldersCount");
    m_skipBuildListForExternalProgram =
        settings.value(QStringLiteral("SkipBuildListForExternalProgram"), false).toBool();
    const bool listCompleted = settings.value(QStringLiteral("FileListCompleted"), true).toBool();
    const bool verifyCopyOnly =
        version < 2 && settings.value(QStringLiteral("VerifyCopyOnly"), false).toBool();
    m_elapsedTime = settings.value(QStringLiteral("ElapsedTime"), 0).toLongLong(&ok);
    if (!ok) {
        m_elapsedTime = 0;
        return invalid("PreviousElapsedTime");
    }
    settings.endGroup();

    if (version < 2) {
        CopyOptions options;
        options.loadFromSettings(settings);
        if (verifyCopyOnly)
            options.m_copyMode = CopyOptions::Verify;
        m_task.m_options = options;
    }
    m_externalProgram.readFromSettings(settings);
    // What setTask does, for a caller that resumes the loaded task as it stands.
    m_skipErrorPatterns =
        FileSystemUtils::compileWildcardPatterns(m_task.m_options.m_skipErrorOnFiles);

    clearLists(true);

    int loadedItems = 0;
    settings.beginGroup(QStringLiteral("Items"));
    QList<int> indexes;
    if (!indexesToRead(settings, QStringLiteral("Item"), itemsCount, &indexes))
        qWarning() << "ItemsCount" << itemsCount << "is larger than the" << indexes.size()
                   << "items found in" << qUtf8Printable(path);
    for (int i : qAsConst(indexes)) {
        CopyItem item;
        if (!item.fromDataString(settings.value(QStringLiteral("Item%1").arg(i)).toString()) ||
            !belongsToTask(item, m_task)) {
            qWarning() << "Invalid Item" << i << "value found in" << qUtf8Printable(path);
            continue;
        }
        m_completedItems.append(item);
        if (item.copy_state != Unprocessed)
            countCompleted(item);
        countToCopy(item);
        ++loadedItems;
    }
    settings.endGroup();

    int loadedFolders = 0;
    settings.beginGroup(QStringLiteral("Folders"));
    indexes.clear();
    if (!indexesToRead(settings, QStringLiteral("Folder"), foldersCount, &indexes))
        qWarning() << "FoldersCount" << foldersCount << "is larger than the" << indexes.size()
                   << "folders found in" << qUtf8Printable(path);
    for (int i : qAsConst(indexes)) {
        CopyItem item;
        if (!item.fromDataString(settings.value(QStringLiteral("Folder%1").arg(i)).toString()) ||
            !belongsToTask(item, m_task)) {
            qWarning() << "Invalid Folder" << i << "value found in" << qUtf8Printable(path);
            continue;
        }
        m_folders.append(item);
        ++loadedFolders;
    }
    settings.endGroup();

    qDebug() << "Copy task load:" << qUtf8Printable(m_task.m_sourcePath) << "->"
             << qUtf8Printable(m_task.m_destinationPath);
    qDebug() << "Copy options:" << m_task.m_options.toDescriptionList().join(QStringLiteral(", "));
    if (!m_externalProgram.filePath.isEmpty())
        qDebug() << "Command:"
                 << ExternalProgramSettings::commandLine(m_externalProgram, QString(), QString());

    if (itemsCount < 1) {
        qDebug() << "No items found";
    } else {
        if (loadedItems == itemsCount)
            qDebug() << "Items load:" << loadedItems << "on" << itemsCount;
        else
            qWarning() << "Load items is not completed:" << loadedItems << "on" << itemsCount;
        if (loadedFolders == foldersCount)
            qDebug() << "Folders load:" << loadedFolders << "on" << foldersCount;
        else
            qWarning() << "Load folders is not completed:" << loadedFolders << "on" << foldersCount;
    }

    // A loaded task is a stopped run; one whose list is not whole starts afresh on resume.
    m_stopRequested = true;
    setPhase(RunPhase::Stopped);
    m_fileListCompleted = listCompleted && itemsCount >= 1 && loadedItems == itemsCount &&
                          loadedFolders == foldersCount;
    if (!listCompleted)
        qDebug() << "The file list of the saved run is not complete";
    m_skipStorageCheck = false;

    qDebug() << "Load task completed from file" << qUtf8Printable(path);
    return true;
}

QString CopyTask::errorsFileName() const
{
    return QStringLiteral("copyerrors-%1.%2")
        .arg(FileSystemUtils::twoStringHash(m_task.m_sourcePath, m_task.m_destinationPath),
             ProgramIdentity::taskFileExtension());
}
