#include "fs/platformcopy.h"

#include "fs/platformcopy_linux_p.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

// What a copy keeps besides the data: owner and group, mode, extended attributes and ACLs.

namespace PlatformCopy {

using namespace LinuxInternal;

namespace {

const char accessAclName[] = "system.posix_acl_access";
const char defaultAclName[] = "system.posix_acl_default";

bool isAclName(const QByteArray& name)
{
    return name == accessAclName || name == defaultAclName;
}

// The names of the entry's extended attributes; empty when it has none, or when its file
// system keeps none.
QList<QByteArray> attributeNames(const MetadataEntry& entry)
{
    QList<QByteArray> names;
    // The list may grow between the two calls: asked again.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = entry.listAttributes(nullptr, 0);
        if (size <= 0)
            return names;
        QByteArray buffer(int(size), Qt::Uninitialized);
        const ssize_t got = entry.listAttributes(buffer.data(), size_t(buffer.size()));
        if (got < 0 && errno == ERANGE)
            continue;
        if (got <= 0)
            return names;
        buffer.truncate(int(got));
        for (const QByteArray& name : buffer.split('\0')) {
            if (!name.isEmpty())
                names.append(name);
        }
        return names;
    }
    return names;
}

bool attributeValue(const MetadataEntry& entry, const QByteArray& name, QByteArray* value)
{
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = entry.attribute(name.constData(), nullptr, 0);
        if (size < 0)
            return false;
        value->resize(int(size));
        const ssize_t got = entry.attribute(name.constData(), value->data(), size_t(size));
        if (got >= 0) {
            value->truncate(int(got));
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
    return false;
}

// Whether the calling thread holds the capability in its effective set.
bool hasCapability(int capability)
{
    struct __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    struct __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    return data[capability / 32].effective & (1u << (capability % 32));
}

// Which attributes a copy keeps: the user's own, the ACLs, and the security.* ones where a
// privileged process may set them (elsewhere, such as SELinux labels, they are the
// system's business, and refused).
bool keepsAttribute(const QByteArray& name, int* privileged)
{
    if (name.startsWith("user.") || isAclName(name))
        return true;
    if (!name.startsWith("security."))
        return false;
    if (*privileged < 0)
        *privileged = hasCapability(CAP_SYS_ADMIN) ? 1 : 0;
    return *privileged == 1;
}

} // namespace

namespace LinuxInternal {

int applyMetadata(const MetadataEntry& source, const struct stat& from,
                  const MetadataEntry& destination, mode_t mode)
{
    struct stat to;
    if (destination.status(&to) != 0)
        return OwnerNotKept | GroupNotKept | ModeNotKept | AttributesNotKept;
    int lost = 0;
    // First, since a change of owner clears the set-id bits and any file capability.
    if (from.st_uid != to.st_uid || from.st_gid != to.st_gid) {
        if (destination.changeOwner(from.st_uid, from.st_gid) != 0) {
            if (from.st_uid == to.st_uid) {
                lost |= GroupNotKept;
            } else {
                lost |= OwnerNotKept;
                // Not privileged: the group alone, which succeeds where the user belongs to it.
                if (from.st_gid != to.st_gid &&
                    destination.changeOwner(uid_t(-1), from.st_gid) != 0)
                    lost |= GroupNotKept;
            }
        }
    }
    if (S_ISLNK(to.st_mode) || S_ISLNK(from.st_mode))
        return lost;

    // Another's set-id bit on a copy the user owns would hand the user's rights to whoever
    // runs it (cp drops them as well).
    mode &= 07777;
    if (lost & OwnerNotKept)
        mode &= ~mode_t(S_ISUID);
    if (lost & GroupNotKept)
        mode &= ~mode_t(S_ISGID);

    int privileged = -1;
    QList<QByteArray> names = attributeNames(source);
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&privileged](const QByteArray& name) {
                                   return !keepsAttribute(name, &privileged);
                               }),
                names.end());
    // ACLs inherited from the destination's folder are not the source's.
    for (const QByteArray& name : attributeNames(destination)) {
        if (isAclName(name) && !names.contains(name) &&
            destination.removeAttribute(name.constData()) != 0)
            lost |= AttributesNotKept;
    }
    if (destination.changeMode(mode) != 0)
        lost |= ModeNotKept;

    // The ACLs last: they hold the group class's bits, which a later mode would rewrite.
    std::stable_partition(names.begin(), names.end(),
                          [](const QByteArray& name) { return !isAclName(name); });
    bool aclSet = false;
    QByteArray value;
    for (const QByteArray& name : qAsConst(names)) {
        if (!attributeValue(source, name, &value)) {
            // Removed since it was listed: nothing to keep.
            if (errno != ENODATA)
                lost |= AttributesNotKept;
            continue;
        }
        if (destination.setAttribute(name.constData(), value) == 0) {
            aclSet = aclSet || isAclName(name);
        } else if (errno == EOPNOTSUPP) {
            lost |= AttributesUnsupported;
        } else {
            lost |= AttributesNotKept;
        }
    }
    if (aclSet && !(lost & ModeNotKept)) {
        // An ACL brings the owner's bits of the source: bits added to them (owner write) are
        // set again, which leaves the mask, the group class's bits, as the ACL has it.
        struct stat now;
        if (destination.status(&now) == 0 && (now.st_mode & 07777) != mode &&
            (destination.changeMode(mode) != 0 ||
             (destination.status(&now) == 0 && (now.st_mode & 07777) != mode)))
            lost |= ModeNotKept;
    }
    return lost;
}

} // namespace LinuxInternal

int copyMetadata(const QString& source, const QString& destination, int addPermissions)
{
    const Platform::ReachablePath reachableSource(source);
    const Platform::ReachablePath reachableDestination(destination);
    const MetadataEntry from{-1, QByteArray(reachableSource.c_str())};
    struct stat fromStatus;
    if (from.status(&fromStatus) != 0)
        return OwnerNotKept | GroupNotKept | ModeNotKept | AttributesNotKept;
    MetadataEntry to{-1, QByteArray(reachableDestination.c_str())};
    struct stat toStatus;
    if (to.status(&toStatus) != 0)
        return OwnerNotKept | GroupNotKept | ModeNotKept | AttributesNotKept;
    // A device node is never opened: that may start the device.
    if (S_ISREG(toStatus.st_mode) || S_ISDIR(toStatus.st_mode) || S_ISFIFO(toStatus.st_mode)) {
        // Through a descriptor, so that every change reaches the same entry. (A file closed
        // to the user cannot be opened: its path is used then.)
        to.fd =
            ::open(to.path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                                            (S_ISDIR(toStatus.st_mode) ? O_DIRECTORY : 0));
    }
    const int lost = applyMetadata(from, fromStatus, to,
                                   mode_t((fromStatus.st_mode & 07777) | mode_t(addPermissions)));
    if (to.fd >= 0)
        closeDescriptor(to.fd);
    return lost;
}

} // namespace PlatformCopy
