#include "engine/copyfolderobject.h"

#include "fs/filesystemutils.h"
#include "fs/platform.h"
#include "fs/platformcopy.h"
#include "fs/reachablefileinfo.h"

#include <QDir>
#include <QFileInfo>

CopyFolderObject::CopyFolderObject(QObject* parent) : CopyObject(parent) {}

void CopyFolderObject::startCopy()
{
    CopyObject::startCopy();

    const ReachableFileInfo source(source_path);
    const ReachableFileInfo destination(destination_path);
    // A folder inside a folder closed to the user cannot even be seen, but it is there.
    if (!source.exists() && Platform::entryMissing(source_path)) {
        setSourceError(tr("source folder does not exist"));
    } else if (!source.isReadable()) {
        setSourceError(tr("source folder is not readable"));
    } else if (refuseLinkOnTheWay(true)) {
        // The error is set; the link stays as it is.
    } else if (destination.isDir()) {
        copy_state = Skipped;
    } else if (m_verifyOnly) {
        setDestinationError(tr("Destination folder does not exist"));
    } else if (destination.isFile() && !destination.isSymLink()) {
        // Never replaced by a folder, whatever the overwrite rule: the reason is named.
        setDestinationError(tr("the destination holds a file of this name"));
    } else {
        PlatformCopy::Failure failure;
        if (createFoldersBelowRoot(destination_path, &failure)) {
            copy_state = Copied;
        } else {
            info_list.append(FileSystemUtils::failureText(failure));
            setDestinationError(tr("unable to create destination folder"));
        }
    }
    emit copyCompleted();
}
