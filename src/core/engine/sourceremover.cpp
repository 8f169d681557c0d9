#include "engine/sourceremover.h"

#include "fs/filesystemutils.h"
#include "fs/platform.h"

SourceRemover::Outcome SourceRemover::remove(const QString& source, const QString& copy,
                                             const PlatformCopy::FileVersion& read)
{
    PlatformCopy::FileVersion now;
    if (!PlatformCopy::fileVersion(source, &now)) {
        // Gone, or a link leading nowhere: no longer the file that was copied.
        return FileSystemUtils::fileExists(source) ? Outcome::Changed : Outcome::Gone;
    }
    Platform::EntryIdentity destination;
    if (Platform::entryIdentity(copy, &destination) && destination.device == now.device &&
        destination.inode == now.inode)
        return Outcome::SameEntry;
    // Written to, or replaced (an editor saves by renaming a new file over it), since the
    // copy read it: the change is not in the copy.
    if (read.size < 0 || now != read)
        return Outcome::Changed;
    // The plain unlink first: the helper's checks (two more status reads) only on failure.
    return Platform::removeFile(source) || FileSystemUtils::removeFile(source) ? Outcome::Removed
                                                                               : Outcome::Kept;
}
