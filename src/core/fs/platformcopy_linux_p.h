#pragma once

// Helpers shared by the Linux pieces of PlatformCopy: platformcopy_linux.cpp (data),
// platformcopy_metadata_linux.cpp (owner, mode, extended attributes and ACLs) and
// platformcopy_places_linux.cpp (temporary and final names, folders, links). Not part of
// the fs interface: include it from those files only.

#include "fs/platformcopy.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace PlatformCopy {
namespace LinuxInternal {

inline bool fail(Failure* failure, const char* call, int code)
{
    if (failure) {
        failure->call = call;
        failure->code = code;
    }
    return false;
}

inline FileVersion versionOf(const struct stat& status)
{
    FileVersion version;
    version.size = status.st_size;
    version.seconds = status.st_mtim.tv_sec;
    version.nanoseconds = status.st_mtim.tv_nsec;
    version.changeSeconds = status.st_ctim.tv_sec;
    version.changeNanoseconds = status.st_ctim.tv_nsec;
    version.device = quint64(status.st_dev);
    version.inode = quint64(status.st_ino);
    version.linked = status.st_nlink > 1;
    return version;
}

inline bool closeDescriptor(int fd)
{
    // Linux releases the descriptor even when close reports EINTR; never retry.
    return ::close(fd) == 0;
}

// Creates a new temporary file beside target (see temporaryFileName) for writing: its
// descriptor, or -1 with failure set. With folderFd AT_FDCWD, temporary receives its path;
// otherwise folderFd is target's folder and temporary receives the name in it.
int openTemporaryFile(int folderFd, const QString& target, QByteArray* temporary, Failure* failure);

// Gives the finished temporary file its final name, refusing to replace anything there
// unless asked to. Both are paths (folderFd AT_FDCWD) or names in the folder folderFd.
bool moveIntoPlace(int folderFd, const QByteArray& temporary, const QByteArray& target,
                   Failure* failure, bool replace);

// The folder path, reached from root one folder at a time without following a link
// (see createFoldersBeneath): its descriptor, or -1 with failure set ("openat" ELOOP for a
// link on the way, "open"/"openat" ENOENT for a missing folder).
int openFolderBeneath(const QString& root, const QString& path, Failure* failure, int rootFd = -1);

// One end of a copy of metadata: an open descriptor, or else a path, never followed when it
// names a link (the mode is never set through a path that names one).
struct MetadataEntry
{
    int fd = -1;
    QByteArray path;

    int status(struct stat* result) const
    {
        return fd >= 0 ? ::fstat(fd, result) : ::lstat(path.constData(), result);
    }
    int changeOwner(uid_t owner, gid_t group) const
    {
        return fd >= 0 ? ::fchown(fd, owner, group) : ::lchown(path.constData(), owner, group);
    }
    int changeMode(mode_t mode) const
    {
        return fd >= 0 ? ::fchmod(fd, mode) : ::chmod(path.constData(), mode);
    }
    ssize_t listAttributes(char* names, size_t size) const
    {
        return fd >= 0 ? ::flistxattr(fd, names, size)
                       : ::llistxattr(path.constData(), names, size);
    }
    ssize_t attribute(const char* name, void* value, size_t size) const
    {
        return fd >= 0 ? ::fgetxattr(fd, name, value, size)
                       : ::lgetxattr(path.constData(), name, value, size);
    }
    int setAttribute(const char* name, const QByteArray& value) const
    {
        return fd >= 0 ? ::fsetxattr(fd, name, value.constData(), size_t(value.size()), 0)
                       : ::lsetxattr(path.constData(), name, value.constData(),
                                     size_t(value.size()), 0);
    }
    int removeAttribute(const char* name) const
    {
        return fd >= 0 ? ::fremovexattr(fd, name) : ::lremovexattr(path.constData(), name);
    }
};

// See copyMetadata; from is the source's status, mode the bits the destination is to have.
int applyMetadata(const MetadataEntry& source, const struct stat& from,
                  const MetadataEntry& destination, mode_t mode);

} // namespace LinuxInternal
} // namespace PlatformCopy
