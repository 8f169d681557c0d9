#include "engine/copytask.h"

#include "app/programidentity.h"
#include "fs/pathutils.h"

#include <QDebug>
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

} // namespace

bool CopyTask::saveToFile(const QString& path, bool errorsOnly, bool allItems,
                          bool errorsAsUnprocessed)
{
    QSettings settings(path, QSettings::IniFormat);
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
    if (!m_taskCompleted) {
        qWarning() << "Unable to load task from file" << qUtf8Printable(path)
                   << "while a copy is running";
        return false;
    }
    m_task = Task();

    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) {
        qWarning() << "Unable to load task from file" << qUtf8Printable(path);
        return false;
    }
    qDebug() << "Loading task from file" << qUtf8Printable(path);
    QSettings settings(path, QSettings::IniFormat);
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

    m_completedItems.clear();
    m_folders.clear();
    m_copyQueue.clear();
    m_checkQueue.clear();
    m_symbolicLinksQueue.clear();
    resetCounters();

    int loadedItems = 0;
    settings.beginGroup(QStringLiteral("Items"));
    QList<int> indexes;
    if (!indexesToRead(settings, QStringLiteral("Item"), itemsCount, &indexes))
        qWarning() << "ItemsCount" << itemsCount << "is larger than the" << indexes.size()
                   << "items found in" << qUtf8Printable(path);
    for (int i : qAsConst(indexes)) {
        CopyItem item;
        if (!item.fromDataString(settings.value(QStringLiteral("Item%1").arg(i)).toString())) {
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
        if (!item.fromDataString(settings.value(QStringLiteral("Folder%1").arg(i)).toString())) {
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
    m_taskCompleted = true;
    m_stopRequested = true;
    m_fileListCompleted =
        itemsCount >= 1 && loadedItems == itemsCount && loadedFolders == foldersCount;
    m_foldersSyncStarted = false;
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
