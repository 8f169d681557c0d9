// Loads arbitrary files with CopyTask::loadFromFile. Beyond surviving them: a loaded task
// is a stopped run, and whatever was loaded survives saving it with every item and loading
// that file again (an empty skip-error list aside, which the options cannot write).
#include "engine/copytask.h"
#include "fuzzsupport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

using FuzzSupport::require;

namespace {

QTemporaryDir* scratch = nullptr;

QString pathOf(const char* kind)
{
    return scratch->filePath(QStringLiteral("%1.bdt").arg(QLatin1String(kind)));
}

// QSettings keeps parsed files in a process-wide cache and reads a file again only when its
// size or modification time changed. Every file therefore gets a time of its own; fixed
// names keep that cache from growing with every input.
void giveNewTime(const QString& path)
{
    static qint64 seconds = 1000000000;
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) ||
        !file.setFileTime(QDateTime::fromSecsSinceEpoch(++seconds),
                          QFileDevice::FileModificationTime))
        std::abort();
}

QStringList dataStrings(const QList<CopyItem>& items, bool asUnprocessed)
{
    QStringList list;
    for (CopyItem item : items) {
        if (asUnprocessed)
            item.copy_state = Unprocessed;
        list.append(item.toDataString());
    }
    return list;
}

// The folders list of the task: folderItems() puts the items that are folders before it.
QList<CopyItem> folders(const CopyTask& task)
{
    int folderItems = 0;
    for (const CopyItem& item : task.completedItems())
        folderItems += item.is_folder ? 1 : 0;
    return task.folderItems().mid(folderItems);
}

void checkReload(CopyTask& loaded, const QString& input)
{
    const QString path = pathOf("saved");
    require(loaded.saveToFile(path, false, true, false), "a loaded task can be saved", input);
    giveNewTime(path);

    CopyTask reloaded;
    require(reloaded.loadFromFile(path), "a saved task loads", input);

    Task expected = loaded.task();
    if (expected.m_options.m_skipErrorOnFiles.isEmpty())
        expected.m_options.m_skipErrorOnFiles = CopyOptions().m_skipErrorOnFiles;
    require(reloaded.task() == expected, "the task reads back unchanged", input);
    require(reloaded.externalProgram() == loaded.externalProgram(),
            "the external program reads back unchanged", input);
    require(reloaded.skipBuildListForExternalProgram() == loaded.skipBuildListForExternalProgram(),
            "the external program flag reads back unchanged", input);

    const QList<CopyItem> items = loaded.completedItems();
    require(dataStrings(reloaded.completedItems(), false) == dataStrings(items, false),
            "every item reads back unchanged", input);
    // Folders are written unprocessed when items are, so that they are synced after them.
    require(dataStrings(folders(reloaded), false) == dataStrings(folders(loaded), !items.isEmpty()),
            "every folder reads back", input);
    // A list that loaded incomplete (a stopped walk, an entry refused) is saved as such.
    require(reloaded.isFileListCompleted() == (!items.isEmpty() && loaded.isFileListCompleted()),
            "a saved list is complete when it holds items and was complete", input);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication application(*argc, *argv);
    QStandardPaths::setTestModeEnabled(true);
    FuzzSupport::quietMessages();
    // Saving syncs the file to its device: a memory-backed folder keeps that from setting
    // the pace.
    const QString memory = QStringLiteral("/dev/shm");
    static QTemporaryDir dir(QFileInfo(memory).isWritable()
                                 ? memory + QStringLiteral("/fuzz_taskfile-XXXXXX")
                                 : QString());
    scratch = &dir;
    if (!scratch->isValid())
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = pathOf("input");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
            std::abort();
    }
    giveNewTime(path);
    const QString input = QString::fromLatin1(reinterpret_cast<const char*>(data), int(size));

    CopyTask task;
    const bool loaded = task.loadFromFile(path);
    if (!loaded)
        return 0;
    require(task.isTaskCompleted() && task.isStopRequested(), "a loaded task is stopped", input);
    checkReload(task, input);
    return 0;
}
