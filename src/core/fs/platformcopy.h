#pragma once

#include "fs/platform.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QtGlobal>

#include <atomic>
#include <functional>

// The system calls of the item copiers: the native file copy, flushing a file to disk and
// reproducing a symbolic link. Nothing here logs; a failure names the call that failed and
// its error code, for the caller to turn into a message.
namespace PlatformCopy {

struct Failure
{
    const char* call = ""; // a string literal: the name of the system call
    int code = 0;          // its errno value
    // Set (with the call "fstat" and code 0) when the source was written to while it was read:
    // the copy would hold no version the source ever had.
    bool sourceChanged = false;
};

// What tells one version of a file from the next: the file it is (device and inode), its
// size, its modification time and its change time. A file with other names changes its
// change time when one of them goes, so that time is compared only while it has one name.
struct FileVersion
{
    qint64 size = -1;
    qint64 seconds = 0;
    qint64 nanoseconds = 0;
    qint64 changeSeconds = 0;
    qint64 changeNanoseconds = 0;
    quint64 device = 0;
    quint64 inode = 0;
    bool linked = false;

    bool operator==(const FileVersion& other) const
    {
        const bool changeKept =
            linked || other.linked ||
            (changeSeconds == other.changeSeconds && changeNanoseconds == other.changeNanoseconds);
        return size == other.size && seconds == other.seconds && nanoseconds == other.nanoseconds &&
               device == other.device && inode == other.inode && changeKept;
    }
    bool operator!=(const FileVersion& other) const { return !(*this == other); }
    // The same bytes, as far as the status tells: what a copy read through one descriptor
    // checks (the file may lose a name meanwhile; the bytes read are still one version).
    bool sameData(const FileVersion& other) const
    {
        return size == other.size && seconds == other.seconds && nanoseconds == other.nanoseconds;
    }
};

// The version of the open file, or of the file at path (links followed); false when the
// system cannot tell.
bool fileVersion(int fd, FileVersion* version);
bool fileVersion(const QString& path, FileVersion* version);

// The ways of moving data, fastest first. Each falls back to the next when the kernel or
// the file systems do not support it for the two files (across file systems, old kernels).
enum DataMover
{
    Clone = 0,         // a reflink of the whole file (copy-on-write file systems)
    CopyFileRange = 1, // copy_file_range, in chunks, inside the kernel
    SendFile = 2,      // sendfile, in chunks, inside the kernel
    ReadWrite = 3      // read and write through a user buffer
};

// The values of a cancel flag. A paused copy waits at its next read of the flag, holding its
// files and its place in them, until the flag is set to another value.
enum CancelFlag
{
    FlagRunning = 0,
    FlagCancelled = 1,
    FlagPaused = 2
};
// Stores value and wakes the copies waiting on a pause of flag.
void setCancelFlag(std::atomic<int>* flag, int value);
// Whether the copy is to end: waits first while the flag says paused.
bool isCancelled(const std::atomic<int>* flag);

// Bytes moved between two reads of the cancel flag.
constexpr qint64 chunkSize = 8 * 1024 * 1024;
// User buffer of the read/write fallback.
constexpr qint64 bufferSize = 1024 * 1024;

// Called after each chunk with the bytes moved so far and the size the source had when
// the copy began.
using ProgressFunction = std::function<void(qint64 copied, qint64 total)>;

// What a copy gives the new file before it takes its final name, and whether it takes it.
struct CopyRequest
{
    // Permission bits (of 0777) for the copy; -1 leaves the temporary file's 0600.
    int permissions = -1;
    // The copy also gets the source's owner, group and extended attributes, and permissions
    // keeps its set-user-ID, set-group-ID and sticky bits (of 07777), as copyMetadata gives
    // them; what it could not keep is told in the outcome.
    bool sourceMetadata = false;
    // The copy gets the source's access and modification times, to the nanosecond.
    bool sourceTimes = false;
    // Files smaller than this on the file system deferDevice are left finished but not
    // flushed under their temporary name, for the caller to place in groups (flush of the
    // whole file system, then moveIntoPlace): one flush then replaces one per file. 0 never
    // defers.
    qint64 deferBelowSize = 0;
    quint64 deferDevice = 0;
    // A descriptor of from, open for reading at its start, used instead of opening from
    // again; the caller keeps it and closes it. -1 opens from.
    int sourceFd = -1;
    // The finished copy replaces an existing to in one rename ("rename" on failure): the old
    // file stays whole until the new one is complete and on disk.
    bool replaceExisting = false;
    // Without replaceExisting, an entry that took the name to meanwhile (EEXIST) leaves the
    // finished, flushed copy under its temporary name (outcome.temporaryPath) for the caller
    // to decide and place, instead of discarding it.
    bool keepOnClash = false;
    // A folder holding to: the folder of to is reached from it one folder at a time, never
    // through a symbolic link ("openat" ELOOP), and the copy is made and named there, so
    // that a link put on the way meanwhile is never written through. Empty: by path.
    QString destinationRoot;
    // An open descriptor of destinationRoot, used instead of opening it again (the caller
    // keeps it); -1 opens it.
    int destinationRootFd = -1;
    // An open descriptor of the folder of to, reached from destinationRoot as above (a
    // PinnedFolder the caller keeps for the files of one folder); -1 reaches it anew.
    int destinationFolderFd = -1;
    // Given every byte of the source once, in order, as the copy reads it (a hole as its
    // zeros). The copy then reads through a user buffer: a clone, copy_file_range and
    // sendfile never show the bytes.
    std::function<void(const char* data, qint64 size)> observeSource;
    // Told after each stretch is copied, whatever the way of copying: the source's
    // descriptor and where the bytes copied so far end (holes included). The bytes are then
    // in the page cache, to be read again there without the device (PlatformReadBehind).
    std::function<void(int sourceFd, qint64 end)> observeRead;
    // The finished copy is left, not flushed, under its temporary name (outcome.temporaryPath)
    // whatever its size and file system, for the caller to check and place.
    bool leaveTemporary = false;
};

// What a successful copyFile did.
struct CopyOutcome
{
    // With request.sourceMetadata: what the copy could not keep (MetadataLoss bits).
    int metadataLoss = 0;
    // The source as it was read: size and modification time, unchanged during the copy.
    FileVersion source;
    // The copy's size and modification time once its times were set.
    FileVersion copy;
    // Set when the copy was deferred, or kept after a clash: the temporary file that holds it.
    QString temporaryPath;
};

// Copies the regular file from to the new file to. The data goes to a temporary name in
// the folder of to, is flushed to disk and only then takes the final name, which is never
// replaced: an existing to fails the copy ("renameat2", EEXIST). A cancelled or failed copy
// leaves nothing behind under either name; a crash may leave only the hidden temporary
// name. A non-zero cancel flag ends the copy between two chunks ("<mover call>",
// ECANCELED). A source whose size or modification time changed while it was copied fails
// the copy with sourceChanged set. progress may be empty. A source with holes keeps them
// in the copy (see mayHaveHoles).
bool copyFile(const QString& from, const QString& to, const std::atomic<int>* cancelFlag,
              const ProgressFunction& progress, Failure* failure, DataMover firstMover = Clone);
// The same, with the permissions and times of request set on the copy before it is flushed
// and named (a crash never leaves it under its final name without them). A missing folder
// of to fails with ("open", ENOENT). With a deferred copy, to is not created: outcome names
// the temporary file, which the caller places.
bool copyFile(const QString& from, const QString& to, const std::atomic<int>* cancelFlag,
              const ProgressFunction& progress, Failure* failure, const CopyRequest& request,
              CopyOutcome* outcome);

// The file system (device number) holding the open descriptor, or 0.
quint64 deviceOf(int fd);

// Moves the bytes from the position of inFd to the end of its file, to the position of
// outFd, starting with firstMover (Clone only when both positions are 0). lastMover
// receives the mover in use at the end, whether the copy succeeded or not. From a source
// with holes into a regular file only the data is moved, each stretch to its own place,
// and the output is then extended to the source's end: the holes stay holes.
bool copyData(int inFd, int outFd, qint64 total, const std::atomic<int>* cancelFlag,
              const ProgressFunction& progress, Failure* failure, DataMover firstMover = Clone,
              DataMover* lastMover = nullptr);

// Sparse files. A file may have holes: stretches never written, which read as zeros and
// take no room. The copies move only the stretches that hold data and leave the holes as
// holes, so that a copy takes no more room, nor time, than the data of its source.

// Whether the open regular file may have holes: fewer bytes allocated than its size.
// Files without holes are copied whole, as fast as ever.
bool mayHaveHoles(int fd);

enum class DataSearch
{
    Found,       // data at [start, end); end is the next hole or the end of the file
    NoMoreData,  // nothing but a hole from offset to the end of the file
    Unsupported, // the file system cannot tell: every byte counts as data
    Failed       // the search failed (failure set)
};
// The first stretch of data of the open file at or after offset (lseek SEEK_DATA and
// SEEK_HOLE). Moves the file position.
DataSearch findData(int fd, qint64 offset, qint64* start, qint64* end, Failure* failure);

// Punches into the file copy, a finished copy of source holding every byte, the holes of
// source, so that the copy takes no more room than its source. The bytes of copy do not
// change (a hole reads as the zeros it holds), nor do its size and access and modification
// times. Succeeds without punching when source has no holes, or when one of the file
// systems cannot tell or punch them.
bool punchHolesLike(const QString& source, const QString& copy, Failure* failure);

// The name of the call a mover makes, as named in failures.
const char* moverCallName(DataMover mover);

// Creates a new, empty hidden file beside target, for writing (mode 0600), and returns its
// descriptor, or -1. The caller closes it. Its name,
// ".<name>.<random>.<pid>-<process start ticks>.brindle-part", tells which process wrote
// it, so that a later run removes it only once that process is gone.
int createTemporaryFile(const QString& target, QString* temporaryPath, Failure* failure);

// Gives a finished temporary file the name target, never replacing an entry there
// ("renameat2", "link" or "rename", EEXIST); with replace, an existing target is replaced
// atomically ("rename" on failure, e.g. EISDIR for a folder in the way). On file systems
// that neither refuse in the rename nor link (exFAT and FAT through FUSE) the name is
// checked free just before a plain rename.
bool moveIntoPlace(const QString& temporary, const QString& target, Failure* failure,
                   bool replace = false);
// The same between two names of the open folder folderFd (a pinned folder's descriptor):
// nothing of the way to it is looked up again.
bool moveIntoPlaceAt(int folderFd, QStringView temporaryName, QStringView targetName,
                     Failure* failure, bool replace = false);

// Learns the traits of the file system holding the existing folder by writing a hidden
// temporary file there for a moment: the step of the modification times it keeps (a time
// of an odd second and a fraction, read back) and whether case counts in its names. Once
// per device: later calls, from any thread, answer from memory. When the folder refuses
// the file, the answer is what the file system's type tells (Platform::fileSystemTraits).
Platform::FileSystemTraits probeFileSystem(const QString& folder);

// Whether the two regular files hold the same bytes, read from both (not the cache of any
// earlier answer). False with the failure when one cannot be read, is not a regular file,
// or the cancel flag is set between two blocks (ECANCELED).
bool compareFiles(const QString& a, const QString& b, const std::atomic<int>* cancelFlag,
                  bool* equal, Failure* failure);

// Whether fileName has the form of the names createTemporaryFile makes (for any target).
bool isTemporaryName(const QString& fileName);
// Whether fileName is a temporary name that createTemporaryFile makes for targetName.
bool isTemporaryNameFor(const QString& fileName, const QString& targetName);

// Removes from folder the regular files that are temporary names for one of targetNames
// and whose writer is gone (no process has its pid, or one started at another time): what
// a copy killed before its end left behind. Files of a live process, this one included,
// are left alone. Returns the paths removed. With anyName, every such temporary file goes,
// whatever name it was for: a copy stopped before its end never holds the only copy of its
// data (a move removes a source only once its copy has taken the final name).
QStringList removeStaleTemporaryFiles(const QString& folder, const QSet<QString>& targetNames,
                                      bool anyName = false);

// Creates the folder path with every missing parent, as mkdir -p does, but each one private
// (createdFolderMode): it gets its own mode from copyMetadata (or releaseCreatedFolder) once
// the files are in it. On failure the call that failed ("mkdir", or "stat" for an entry in
// the way) and its error.
bool createFolders(const QString& path, Failure* failure);

// As createFolders, but path is reached from the folder root (which must exist) one
// component at a time without following any symbolic link, so that nothing outside root
// is created or entered: a link (to a folder or dangling) where a folder is needed is left
// untouched and answers the call "openat" with ELOOP. path must lie inside root.
bool createFoldersBeneath(const QString& root, const QString& path, Failure* failure,
                          int rootFd = -1);

// Whether the folder path (inside root) is reached from root through folders only, no
// symbolic link on the way; false with the call and its error otherwise (ELOOP for a link,
// ENOENT for a missing folder, EXDEV for a path outside root).
bool isFolderBeneath(const QString& root, const QString& path, Failure* failure);

// The mode of the folders that createFolders makes: closed to every other user until their
// own mode is given, and marked by the sticky bit (harmless in a folder only its owner can
// enter), so that a later run, even of another process, still tells them from folders that
// were there before the copy. A set-group-ID bit inherited from the parent is no part of it.
constexpr int createdFolderMode = 01700;
// Gives the regular file existing a further name, newPath, as a hard link: both lie inside
// root, and their folders are reached from it (rootFd, or root opened again when -1)
// without following a link, as a copy's folder is (see CopyRequest::destinationRoot). The
// file must still hold the data expected describes (FileVersion::sameData; otherwise
// ("lstat", ESTALE) and nothing is made). An entry at newPath is never replaced ("linkat",
// EEXIST) unless replace is set: it is then replaced in one rename. A file system without
// hard links answers ("linkat", EPERM, EOPNOTSUPP or EMLINK).
bool createHardLinkBeneath(const QString& root, int rootFd, const QString& existing,
                           const QString& newPath, const FileVersion& expected, bool replace,
                           Failure* failure);

// Whether path is a folder that createFolders made and that has not been given its own
// metadata since: its mode is createdFolderMode and the calling user owns it. (A link is
// not followed.)
bool isCreatedFolder(const QString& path);
// Gives a folder that createFolders made the mode that mkdir -p would have given it (0777
// less the umask); for one with no source folder to take its metadata from, such as a
// folder made above a copy's destination. False when path is no such folder (or on failure).
bool releaseCreatedFolder(const QString& path);

// What a copy of metadata could not give the destination; bits of the result of
// copyMetadata, 0 when everything was kept.
enum MetadataLoss
{
    OwnerNotKept = 0x1,          // the owner: only a privileged process may give an entry away
    GroupNotKept = 0x2,          // the group: a user may give only a group he belongs to
    ModeNotKept = 0x4,           // the permission bits could not be set
    AttributesNotKept = 0x8,     // an extended attribute or ACL was refused
    AttributesUnsupported = 0x10 // the destination's file system keeps no extended attributes
};

// Gives destination what cp -a keeps of source besides its data and times: the owner and
// group (where permitted: a privileged process gives both; otherwise the group where the user
// belongs to it), then the mode, the source's permission bits (07777) with addPermissions
// added (a set-user-ID or set-group-ID bit only where its owner or group was kept, since
// another's would hand its rights to the user), then the user.* attributes, for a process
// with the privilege for them the security.* attributes, and last the POSIX ACLs (a mode set
// after an ACL would rewrite its mask). ACLs that the destination inherited from its folder
// and the source lacks are removed. A symbolic link gets its owner alone
// (a link has no mode, and Linux gives user.* attributes to no link). Links are never
// followed. Returns the MetadataLoss bits of what could not be kept.
int copyMetadata(const QString& source, const QString& destination, int addPermissions);

// Forces the file's data, and the folder entry that names it, to the storage device.
bool flushToDisk(const QString& path, Failure* failure);

// A folder below a destination root, reached from the root one folder at a time without
// following a link (as the native copy reaches its folder) and held open. entryPath() names
// an entry of it through the open descriptor (/proc/self/fd/N/name): a path-based call made
// on it stays in this folder, whatever is renamed or swapped for a link on the way meanwhile.
class PinnedFolder
{
public:
    PinnedFolder() = default;
    ~PinnedFolder();
    PinnedFolder(const PinnedFolder&) = delete;
    PinnedFolder& operator=(const PinnedFolder&) = delete;

    // rootFd: an open descriptor of root, or -1 to open it. Fails ("openat" ELOOP) for a link
    // on the way, ("open" ENOENT) for a missing folder. An earlier folder is released.
    bool pin(const QString& root, int rootFd, const QString& folder, Failure* failure);
    void release();
    bool isPinned() const { return m_fd >= 0; }
    // The folder pinned last, and its descriptor (-1 when not pinned).
    const QString& folder() const { return m_folder; }
    int descriptor() const { return m_fd; }
    // The folder's own entry fileName, through the descriptor; fallback while not pinned.
    QString entryPath(const QString& fileName, const QString& fallback) const;

private:
    int m_fd = -1;
    QString m_prefix;
    QString m_folder;
};

// Creates newLink as a symbolic link holding the very target text of existingLink, which
// may be relative or point nowhere.
bool duplicateSymbolicLink(const QString& existingLink, const QString& newLink, Failure* failure);
// Creates newLink as a symbolic link holding the text target as given, resolved by no one.
bool createSymbolicLink(const QString& target, const QString& newLink, Failure* failure);
// A FIFO, socket or device node like the one at existing (its kind and device number; its
// mode and owner come with copyMetadata): a socket without a listener, as cp -a makes it. A
// device node needs the privilege to make one.
bool duplicateSpecialFile(const QString& existing, const QString& newPath, Failure* failure);

} // namespace PlatformCopy
