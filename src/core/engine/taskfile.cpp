#include "engine/taskfile.h"

#include "fs/pathutils.h"
#include "model/inifileformat.h"

#include <QBuffer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

// From this version on the task is one data string; before it, a root item and the group
// "Copy" held it.
const int DataStringVersion = 2;

// The keys directly in a group, without the group's name, as QSettings::childKeys() and
// QSettings::value() see them after beginGroup(name).
QVariantMap groupOf(const QSettings::SettingsMap& map, const QString& name)
{
    QVariantMap group;
    const QString prefix = name + QLatin1Char('/');
    for (auto it = map.lowerBound(prefix); it != map.cend() && it.key().startsWith(prefix); ++it) {
        const QString key = it.key().mid(prefix.size());
        if (!key.contains(QLatin1Char('/')))
            group.insert(key, it.value());
    }
    return group;
}

// The numbers of the keys to read from a group of numbered keys. The count comes from a
// file anyone can edit: when it claims more keys than the group holds, only the keys that
// exist are read, so a huge count cannot keep the reader busy. False in that case.
bool indexesToRead(const QVariantMap& group, const QString& keyPrefix, int count,
                   QList<int>* indexes)
{
    if (count <= group.size()) {
        for (int i = 0; i < count; ++i)
            indexes->append(i);
        return true;
    }
    for (auto it = group.cbegin(); it != group.cend(); ++it) {
        if (!it.key().startsWith(keyPrefix))
            continue;
        bool ok = false;
        const QString number = it.key().mid(keyPrefix.size());
        const int index = number.toInt(&ok);
        if (ok && index >= 0 && index < count && number == QString::number(index))
            indexes->append(index);
    }
    std::sort(indexes->begin(), indexes->end());
    return false;
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

// Reads the entries "<kind>0", "<kind>1", ... of the group "<kind>s" into entries, count
// of them as the file announces.
void readEntries(const QSettings::SettingsMap& map, const QString& kind, int count,
                 const Task& task, const QString& name, QList<CopyItem>* entries)
{
    const QString groupName = kind + QLatin1Char('s');
    const QVariantMap group = groupOf(map, groupName);
    QList<int> indexes;
    if (!indexesToRead(group, kind, count, &indexes))
        qWarning().noquote() << groupName + QStringLiteral("Count") << count << "is larger than the"
                             << indexes.size() << groupName.toLower() << "found in" << name;
    for (int i : qAsConst(indexes)) {
        CopyItem item;
        if (!item.fromDataString(group.value(kind + QString::number(i)).toString()) ||
            !belongsToTask(item, task)) {
            qWarning().noquote() << "Invalid" << kind << i << "value found in" << name;
            continue;
        }
        entries->append(item);
    }
}

void reportLoaded(const char* kind, int loaded, int count)
{
    if (loaded == count)
        qDebug() << kind << "load:" << loaded << "on" << count;
    else
        qWarning() << "Load" << QByteArray(kind).toLower().constData()
                   << "is not completed:" << loaded << "on" << count;
}

TaskFile::Result refused(const QString& warning)
{
    qWarning().noquote() << warning;
    TaskFile::Result result;
    result.error = warning;
    return result;
}

QString unableToLoad(const QString& name)
{
    return QStringLiteral("Unable to load task from file %1").arg(name);
}

TaskFile::Result readSettings(const QSettings::SettingsMap& map, const QString& name)
{
    auto invalid = [&name](const char* key) {
        return refused(
            QStringLiteral("Invalid %1 value found in %2").arg(QLatin1String(key), name));
    };
    TaskFile::Result result;
    const QVariantMap taskGroup = groupOf(map, QStringLiteral("Task"));
    bool ok = false;
    const int version = taskGroup.value(QStringLiteral("SaveFileVersion"), 1).toInt(&ok);
    if (!ok)
        return invalid("SaveFileVersion");

    if (version >= DataStringVersion) {
        if (!result.task.fromDataString(taskGroup.value(QStringLiteral("Data")).toString()))
            return invalid("Task");
    } else {
        CopyItem item;
        if (!item.fromDataString(taskGroup.value(QStringLiteral("CopyItem")).toString()))
            return invalid("CopyItem");
        result.task.m_sourcePath = item.source_path;
        result.task.m_destinationPath = item.destination_path;
        result.task.updateName();
    }

    const int itemsCount = taskGroup.value(QStringLiteral("ItemsCount"), 0).toInt(&ok);
    if (!ok)
        return invalid("ItemsCount");
    const int foldersCount = taskGroup.value(QStringLiteral("FoldersCount"), 0).toInt(&ok);
    if (!ok)
        return invalid("FoldersCount");
    result.skipBuildListForExternalProgram =
        taskGroup.value(QStringLiteral("SkipBuildListForExternalProgram"), false).toBool();
    const bool listCompleted = taskGroup.value(QStringLiteral("FileListCompleted"), true).toBool();
    result.destinationMountPoint =
        taskGroup.value(QStringLiteral("DestinationMountPoint")).toString();
    result.elapsedTime = taskGroup.value(QStringLiteral("ElapsedTime"), 0).toLongLong(&ok);
    if (!ok)
        return invalid("PreviousElapsedTime");
    if (taskGroup.contains(QStringLiteral("RunStopped")))
        result.runStopped = taskGroup.value(QStringLiteral("RunStopped")).toBool() ? 1 : 0;

    if (version < DataStringVersion) {
        CopyOptions options;
        options.loadFromGroup(groupOf(map, CopyOptions::groupName()));
        if (taskGroup.value(QStringLiteral("VerifyCopyOnly"), false).toBool())
            options.m_copyMode = CopyOptions::Verify;
        result.task.m_options = options;
    }
    const QVariantMap decisions = groupOf(map, CopyOptions::fileDecisionsGroupName());
    for (auto it = decisions.cbegin(); it != decisions.cend(); ++it) {
        QString path;
        int decision = 0;
        if (it.key().startsWith(QLatin1String("Decision")) &&
            CopyOptions::fileDecisionFromText(it.value().toString(), &path, &decision))
            result.task.m_options.m_fileDecisions.insert(path, decision);
        else
            qWarning() << "Ignored file decision" << it.key() << "in" << qUtf8Printable(name);
    }
    const QString programGroup = ExternalProgramSettings::groupName();
    result.externalProgram.readFromGroup(groupOf(map, programGroup));
    const auto programKey = map.lowerBound(programGroup + QLatin1Char('/'));
    result.hasExternalProgram =
        programKey != map.cend() && programKey.key().startsWith(programGroup + QLatin1Char('/'));

    readEntries(map, QStringLiteral("Item"), itemsCount, result.task, name, &result.items);
    readEntries(map, QStringLiteral("Folder"), foldersCount, result.task, name, &result.folders);

    qDebug() << "Copy task load:" << qUtf8Printable(result.task.m_sourcePath) << "->"
             << qUtf8Printable(result.task.m_destinationPath);
    qDebug() << "Copy options:"
             << result.task.m_options.toDescriptionList().join(QStringLiteral(", "));
    if (!result.externalProgram.filePath.isEmpty())
        qDebug() << "Command:"
                 << ExternalProgramSettings::commandLine(result.externalProgram, QString(),
                                                         QString());
    if (itemsCount < 1) {
        qDebug() << "No items found";
    } else {
        reportLoaded("Items", result.items.size(), itemsCount);
        reportLoaded("Folders", result.folders.size(), foldersCount);
    }
    result.fileListCompleted = listCompleted && itemsCount >= 1 &&
                               result.items.size() == itemsCount &&
                               result.folders.size() == foldersCount;
    if (!listCompleted)
        qDebug() << "The file list of the saved run is not complete";
    return result;
}

// What is left on device; name stands for it in the warnings.
TaskFile::Result readDevice(QIODevice& device, const QString& name)
{
    // Binary data or an over-long line refuse the file before anything of it is kept.
    QSettings::SettingsMap map;
    const QString refusal = IniFileFormat::parse(device, map);
    if (!refusal.isEmpty()) {
        TaskFile::Result result = refused(QStringLiteral("%1 in %2").arg(refusal, name));
        qWarning().noquote() << unableToLoad(name);
        return result;
    }
    qDebug() << "Loading task from file" << qUtf8Printable(name);
    return readSettings(map, name);
}

} // namespace

namespace TaskFile {

Result read(const QString& path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return refused(unableToLoad(path));
    return readDevice(file, path);
}

Result read(const QByteArray& text, const QString& name)
{
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    return readDevice(buffer, name);
}

} // namespace TaskFile
