#include "engine/taskfilestore.h"

#include "app/programidentity.h"

#include "fs/pathutils.h"
#include "fs/platform.h"
#include "model/inifileformat.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

#include <memory>

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

// Opens path as a task file to write, emptied; null when it cannot be written.
std::unique_ptr<QSettings> openTaskFileToWrite(const QString& path)
{
    // Task files are shared: they never go through Qt's INI reader, which decodes objects.
    if (!removeUnreadableFile(path))
        return nullptr;
    auto settings = std::make_unique<QSettings>(path, IniFileFormat::format());
    if (!settings->isWritable())
        return nullptr;
    settings->clear();
    return settings;
}

// The group "Task": what a reader needs besides the items and folders.
void writeTaskGroup(QSettings& settings, const Task& task, int itemCount, int folderCount,
                    bool skipBuildList, bool fileListCompleted, qint64 elapsedTime,
                    const QString& mountPoint, bool stopped)
{
    settings.beginGroup(QStringLiteral("Task"));
    settings.setValue(QStringLiteral("Data"), task.toDataString());
    settings.setValue(QStringLiteral("ItemsCount"), itemCount);
    settings.setValue(QStringLiteral("FoldersCount"), folderCount);
    settings.setValue(QStringLiteral("SaveFileVersion"), CurrentSaveFileVersion);
    settings.setValue(QStringLiteral("SkipBuildListForExternalProgram"), skipBuildList);
    // A run stopped while its source was walked holds only part of the list: its resume
    // walks the source again. (Files without the key hold a complete list.)
    settings.setValue(QStringLiteral("FileListCompleted"), fileListCompleted);
    settings.setValue(QStringLiteral("ElapsedTime"), elapsedTime);
    // A resume of a stopped run goes on with its figures; one of a completed run reports
    // only its own. (Files without the key tell by their items.)
    settings.setValue(QStringLiteral("RunStopped"), stopped);
    // A resume refuses a destination that is no longer on that file system.
    if (!mountPoint.isEmpty())
        settings.setValue(QStringLiteral("DestinationMountPoint"), mountPoint);
    settings.endGroup();
    // A group of its own, which older readers never look at.
    const QMap<QString, int>& decisions = task.m_options.m_fileDecisions;
    if (decisions.isEmpty())
        return;
    settings.beginGroup(CopyOptions::fileDecisionsGroupName());
    int index = 0;
    for (auto it = decisions.cbegin(); it != decisions.cend(); ++it) {
        const QString text = CopyOptions::fileDecisionText(it.key(), it.value());
        if (!text.isEmpty())
            settings.setValue(QStringLiteral("Decision%1").arg(index++), text);
    }
    settings.endGroup();
}

// Written now rather than when the object goes, so that a failed write is reported.
bool syncTaskFile(QSettings& settings)
{
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace

QString TaskFileStore::externalProgramRefusal(const ExternalProgramSettings& asked, bool ownUsed,
                                              const ExternalProgramSettings& own)
{
    if (asked.filePath.isEmpty())
        return QString();
    const auto resolved = [](const QString& path) {
        const QString canonical = QFileInfo(path).canonicalFilePath();
        return canonical.isEmpty() ? QFileInfo(path).absoluteFilePath() : canonical;
    };
    if (ownUsed && !own.filePath.isEmpty() && resolved(own.filePath) == resolved(asked.filePath))
        return QString();
    return QCoreApplication::translate(
               "CopyTask",
               "The task file asks to run the program %1, which is not the external copy "
               "program of your settings: nothing was run.")
        .arg(asked.filePath);
}

bool TaskFileStore::saveTaskDefinition(const QString& path, const Task& task)
{
    const std::unique_ptr<QSettings> settings = openTaskFileToWrite(path);
    if (!settings)
        return false;
    writeTaskGroup(*settings, task, 0, 0, false, false, 0,
                   Platform::mountPointOf(task.m_destinationPath), false);
    return syncTaskFile(*settings);
}

bool TaskFileStore::save(const QString& path, const Run& run, bool errorsOnly, bool allItems,
                         bool errorsAsUnprocessed)
{
    const std::unique_ptr<QSettings> file = openTaskFileToWrite(path);
    if (!file)
        return false;
    QSettings& settings = *file;

    // The run in memory keeps its states; only what is written is reset.
    settings.beginGroup(QStringLiteral("Items"));
    int itemCount = 0;
    for (const CopyItem& completed : qAsConst(run.completed)) {
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
    for (const CopyItem& folder : qAsConst(run.folders)) {
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

    // A partial file starts its time afresh.
    writeTaskGroup(settings, run.task, itemCount, folderCount, run.skipBuildListForExternalProgram,
                   run.fileListCompleted, allItems && !errorsOnly ? run.elapsedTime : qint64(0),
                   run.destinationMountPoint, run.stopped);

    run.externalProgram.writeToSettings(settings);
    return syncTaskFile(settings);
}

QString TaskFileStore::stoppedTaskPath(const Task& task, const QString& dataFolder)
{
    const QString name =
        QStringLiteral("stopped-%1.%2")
            .arg(FileSystemUtils::twoStringHash(task.m_sourcePath, task.m_destinationPath).left(16),
                 ProgramIdentity::taskFileExtension());
    return QDir(dataFolder).filePath(name);
}

QStringList TaskFileStore::stoppedTaskFiles(const QString& dataFolder)
{
    if (dataFolder.isEmpty())
        return {};
    const QRegularExpression own(
        QStringLiteral("^stopped-[0-9a-f]+\\.%1$")
            .arg(QRegularExpression::escape(ProgramIdentity::taskFileExtension())));
    QStringList paths;
    // Plain files only: a link or a folder of that name is nothing the program saved.
    const QFileInfoList entries =
        QDir(dataFolder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::Time);
    for (const QFileInfo& entry : entries) {
        if (own.match(entry.fileName()).hasMatch())
            paths.append(entry.absoluteFilePath());
    }
    return paths;
}
