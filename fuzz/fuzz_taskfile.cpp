// Reads arbitrary task files in memory with TaskFile::read. Beyond surviving them: a task
// that takes what was read is a stopped run, and whatever was read survives saving it with
// every item and reading that file again (an empty skip-error list aside, which the options
// cannot write).
#include "engine/copytask.h"
#include "engine/taskfile.h"
#include "fuzzsupport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <limits>

using FuzzSupport::require;

namespace {

QTemporaryDir* scratch = nullptr;

// Saving takes a path: the saved task goes to a file of its own.
QString savedPath()
{
    return scratch->filePath(QStringLiteral("saved.bdt"));
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

// Every size read is bounded, and the totals are the sums of the sizes (in a wider type),
// stopped at the largest qint64; UndefinedBehaviorSanitizer watches the additions themselves.
void checkTotals(const CopyTask& task, const QString& input)
{
    __int128 toCopy = 0;
    __int128 completed = 0;
    for (const CopyItem& item : task.completedItems()) {
        require(CopyItem::isValidFileSize(item.file_size), "a loaded size is in range", input);
        if (item.is_folder)
            continue;
        toCopy += qMax<qint64>(0, item.file_size);
        if (item.copy_state != Unprocessed)
            completed += qMax<qint64>(0, item.file_size);
    }
    const __int128 top = std::numeric_limits<qint64>::max();
    require(task.counter(BytesToCopy) == qint64(qMin(toCopy, top)), "bytes to copy add up", input);
    require(task.counter(BytesCompleted) == qint64(qMin(completed, top)), "completed bytes add up",
            input);
}

void checkReload(CopyTask& loaded, const QString& input)
{
    const QString path = savedPath();
    require(loaded.saveToFile(path, false, true, false), "a loaded task can be saved", input);

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
    const QByteArray text(reinterpret_cast<const char*>(data), int(size));
    const QString input = QString::fromLatin1(text);

    const TaskFile::Result file = TaskFile::read(text, QStringLiteral("(input)"));
    if (!file.error.isEmpty())
        return 0;
    CopyTask task;
    require(task.load(file), "a task takes a file that was read", input);
    require(task.isTaskCompleted() && task.isStopRequested(), "a loaded task is stopped", input);
    checkTotals(task, input);
    checkReload(task, input);
    return 0;
}
