#include "engine/extraentries.h"

#include "fs/platform.h"
#include "fs/platformcopy.h"

#include <QDir>
#include <QFile>

#include <vector>

QList<CopyItem> ExtraEntries::find(const QString& sourceFolder, const QString& destinationFolder,
                                   const QSet<QByteArray>& sourceNames, const Taken& taken)
{
    QList<CopyItem> extras;
    const int fd = Platform::openFolder(destinationFolder);
    std::vector<Platform::FolderEntry> entries;
    if (fd < 0 || !Platform::readFolder(fd, &entries)) {
        Platform::closeFolder(fd);
        return extras;
    }
    for (const Platform::FolderEntry& entry : entries) {
        // A leftover of an interrupted copy is ours, not the user's.
        const QString name = QFile::decodeName(entry.name);
        if (sourceNames.contains(entry.name) || PlatformCopy::isTemporaryName(name))
            continue;
        Platform::EntryStatus status;
        const bool known = Platform::entryStatusAt(fd, entry.name, &status);
        const bool isFolder = known && status.isFolder;
        if (!taken(name, isFolder))
            continue;
        const auto join = [&name](const QString& folder) {
            return folder.endsWith(QLatin1Char('/')) ? folder + name
                                                     : folder + QLatin1Char('/') + name;
        };
        CopyItem item(join(sourceFolder), join(destinationFolder),
                      known && status.isFile ? status.size : 0, isFolder, QString());
        item.setDestinationError(isFolder ? tr("the destination holds a folder the source does not")
                                          : tr("the destination holds a file the source does not"));
        extras.append(item);
    }
    Platform::closeFolder(fd);
    return extras;
}
