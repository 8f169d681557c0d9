#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdlib>
#include <memory>
#include <vector>

// The operating-system calls behind the file-system helpers. Nothing else in the
// program calls the system's file API directly, so another platform needs only
// another implementation of these functions.
//
// Paths are used as given: Linux has no extended-length form. Functions that can
// fail record the failed call's name and the system error code for the calling
// thread (see lastFailedCall / lastErrorCode); they never log.
namespace Platform {

// The attribute word keeps only the read-only bit: set when the owner of the entry
// has no write permission. -1 means the entry could not be read.
constexpr int ReadOnlyAttribute = 0x1;
constexpr int InvalidAttributes = -1;

struct FileTime
{
    qint64 seconds = 0;
    qint32 nanoseconds = 0;

    bool operator==(const FileTime& other) const
    {
        return seconds == other.seconds && nanoseconds == other.nanoseconds;
    }
    bool operator!=(const FileTime& other) const { return !(*this == other); }
};

struct FileTimes
{
    FileTime lastAccess;
    FileTime lastWrite;
    // Only meaningful when creationKnown; writeFileTimes sets it when it can.
    bool creationKnown = false;
    FileTime creation;
};

// What one lstat tells of an entry, for callers that would otherwise ask several times.
struct EntryStatus
{
    bool isSymLink = false;
    bool isFile = false; // a regular file
    bool isFolder = false;
    bool isSpecial = false; // a FIFO, socket or device node: made anew, never read
    qint64 size = 0;
    int permissions = 0; // the mode's permission bits (07777)
    quint32 owner = 0;
    qint64 allocated = 0; // bytes of its blocks: less than its size for a file with holes
    FileTime lastWrite;
    // The file it is, and its number of names (hard links).
    quint64 device = 0;
    quint64 inode = 0;
    quint64 links = 1;
};
// The entry itself (a final link is not followed); false when it cannot be read.
bool entryStatus(const QString& path, EntryStatus* status);
// What tells one file-system entry from every other: its device and inode. Two paths with
// equal identities name the same entry (a hard link, a symbolic link, a bind mount).
struct EntryIdentity
{
    quint64 device = 0;
    quint64 inode = 0;

    bool operator==(const EntryIdentity& other) const
    {
        return device == other.device && inode == other.inode;
    }
    bool operator!=(const EntryIdentity& other) const { return !(*this == other); }
};
// The identity of the entry at path; followLinks decides whether a final symbolic link is
// followed. False when the entry cannot be reached.
bool entryIdentity(const QString& path, EntryIdentity* identity, bool followLinks = true);
// The identity of an open file or folder.
bool entryIdentity(int fd, EntryIdentity* identity);
// The folder where the file system that holds path (or its nearest existing folder) is
// mounted; empty when nothing of it can be read. An unmounted drive leaves its path on the
// file system above: the answer changes.
QString mountPointOf(const QString& path);
// The first symbolic link among the folders of path below root (root itself and the final
// entry left out), or an empty text: writing through it would land outside root.
QString linkOnTheWay(const QString& root, const QString& path);
// Whether both entries are FIFOs, sockets, or device nodes of the same kind and number.
bool sameSpecialFile(const QString& path, const QString& otherPath);

// The longest path, in bytes, that the system calls take (PATH_MAX less its final zero).
constexpr int MaxPathBytes = 4095;

// A path in the form the system calls take, whatever its length: one over their limit is
// reached through a folder along it, opened step by step and held open while this lives
// ("/proc/self/fd/N/rest", as cp reaches deep trees through folder descriptors). When a
// step fails, every use fails as the system would for that step. Use it only for the call
// at hand: the short form names nothing once this is gone.
class ReachablePath
{
public:
    explicit ReachablePath(const QString& path);
    ~ReachablePath();
    ReachablePath(const ReachablePath&) = delete;
    ReachablePath& operator=(const ReachablePath&) = delete;

    const char* c_str() const;
    // For Qt's file classes.
    QString text() const;
    // Whether the path was over the limit.
    bool isLong() const { return m_folderFd >= 0; }

private:
    QString m_path;
    mutable QByteArray m_bytes; // encoded when first asked, for a path known to be short
    int m_folderFd = -1;
};

// One entry of a folder as its listing gives it.
struct FolderEntry
{
    enum Type : quint8
    {
        Unknown, // the file system does not say: ask entryStatusAt
        File,
        Folder,
        SymLink,
        Other // a FIFO, socket or device
    };
    QByteArray name; // the bytes the file system holds, which need not be valid text
    Type type = Unknown;
};
// Opens a folder for listing (a final symbolic link is followed only when asked); -1 on
// failure. Close it with closeFolder.
int openFolder(const QString& path, bool followLink = false);
// Appends every entry of the open folder, "." and ".." left out, in the file system's
// order. False when the listing fails part way: entries then holds what was read.
bool readFolder(int folderFd, std::vector<FolderEntry>* entries);
// Status of the entry name of the open folder, a link not followed: one call relative to
// the folder, whatever the length of its path.
bool entryStatusAt(int folderFd, const QByteArray& name, EntryStatus* status);
void closeFolder(int folderFd);
// Opens a folder only to look its entries up by name (entryStatusAt), a final link followed
// as a path through it is; -1 on failure (lastErrorCode: ENOENT or ENOTDIR where there is
// no such folder).
int openFolderToLookUp(const QString& path);
// Whether the calling user may list the folder and reach its entries.
bool canEnterFolder(const QString& path);
// Adds read and execute permission for the owner of the folder; fails unless the calling
// user owns it (or is privileged).
bool grantFolderAccess(const QString& path);

// Whether the calling user may read the entry (a link is followed).
bool isReadable(const QString& path);

// The target text of the symbolic link at path, exactly as stored (relative or absolute,
// not resolved): the raw bytes, and as text.
bool symbolicLinkBytes(const QString& path, QByteArray* target);
bool symbolicLinkText(const QString& path, QString* target);

// True when an entry exists at path; a final symbolic link is not followed, so a
// dangling link exists.
bool entryExists(const QString& path);

// Attribute word of the entry itself (links not followed), or InvalidAttributes.
int fileAttributes(const QString& path);
// Applies the read-only bit of attributes: on, every write permission is removed;
// off, the owner's write permission is added.
bool setFileAttributes(const QString& path, int attributes);

// Times of the entry itself, to the nanosecond. Creation times are reported unknown.
bool readFileTimes(const QString& path, FileTimes* times);
// Modification time of the file, a final symbolic link followed (as QFileInfo does);
// device, when given, receives the device of the file system that holds it.
bool modificationTime(const QString& path, FileTime* time, quint64* device = nullptr);
// Sets the access and modification times of the entry itself (not a link's target).
bool writeFileTimes(const QString& path, const FileTimes& times);
// Creation time of the entry, or an invalid date-time when the platform cannot
// keep it on a copy (then comparing it would mark every copy as different).
QDateTime creationTime(const QString& path);

// What a file system keeps of times and names, as far as the copy's decisions need it.
struct FileSystemTraits
{
    // The step of the modification times it stores, in nanoseconds: 1 on most Linux file
    // systems, 100 on NTFS; a second or more ("coarse") on FAT and exFAT, and on file
    // systems of unknown kind (FUSE among them) until a probe tells.
    qint64 timeStepNs = 1;
    // Two names that differ only by case name one entry.
    bool caseInsensitive = false;
    // Found by writing a file there (PlatformCopy::probeFileSystem), not guessed by type.
    bool probed = false;

    bool coarseTimes() const { return timeStepNs >= 1000000000; }
};
// The traits of the file system whose device is device and which holds path: remembered per
// device for the whole process (any thread may ask). The first question about a device
// classifies it by its type (statfs of path).
FileSystemTraits fileSystemTraits(quint64 device, const QString& path);
// Keeps what a probe found for device; later questions get it.
void rememberFileSystemTraits(quint64 device, const FileSystemTraits& traits);
// Forgets every device: after a remount, a device number may stand for another file system.
void forgetFileSystemTraits();

// Whether path lies on a kernel file system (proc, sysfs, debugfs, cgroup, ...) whose files
// give fewer or more bytes than their size says: they are read to their end instead.
bool onPseudoFileSystem(const QString& path);
// Whether a file whose stated size is size is such a file: a size of 0 or of one page there
// says nothing of its content. The copy and the verify both decide by this.
bool isPseudoFile(const QString& path, qint64 size);
// Read no further: a pseudo-file that gives more is not copied nor verified.
constexpr qint64 maxPseudoFileBytes = 64 << 20;

// True only when the system says that nothing is at path (as opposed to an entry that
// exists but cannot be reached, such as one inside a folder closed to the user).
bool entryMissing(const QString& path);

// Removes a file or a symbolic link (never a link's target).
bool removeFile(const QString& path);
// Removes a folder, only when it is empty.
bool removeEmptyFolder(const QString& path);

// A descriptor standing for the file system that holds path, or the nearest folder above
// it that exists and can be opened; -1 when none can. Write-back errors of that file
// system are reported to syncFileSystem from the moment it is opened, so open it before
// writing. openedPath receives the path actually opened.
int openFileSystem(const QString& path, QString* openedPath = nullptr);
// Writes every modified buffer of the file system to its device and waits for it (syncfs).
// False when that fails or when a write-back failed since the descriptor was opened.
bool syncFileSystem(int handle);
void closeFileSystem(int handle);

// Bytes of the device's data that wait in the system's cache to be written to it (dirty or
// being written back), for showing the progress of a flush: the kernel's count for the
// device's backing device when it can be read (root, debugfs mounted), else the whole
// system's (Dirty + Writeback of /proc/meminfo), as are file systems without a block device
// of their own (tmpfs, btrfs, FUSE); -1 when neither can be read.
qint64 bytesWaitingForDevice(quint64 device);
// The sum, in bytes, of two "<name>: <count> kB" fields of a kernel statistics text; -1 when
// either is missing or not a number.
qint64 kernelStatsBytes(const QByteArray& text, const QByteArray& firstField,
                        const QByteArray& secondField);

// Writes the modified data of the open file to its device, waits for that write-back (and
// fails on its errors), and drops the file's pages from the cache, so that the next read
// comes from the device. The device is not asked to empty its own write cache: reads get
// its data either way, and making it durable is the business of the run that wrote it.
// A file with nothing to write back (of a special or read-only file system, or a pipe)
// succeeds as far as its pages can be dropped.
bool dropCachedData(int fd);

// Memory that reads copy into, aligned to a page: the kernel copies out of the cache into
// memory not aligned to a cache line at a third of the speed (6.2 against 2.0 GB/s on this
// project's AMD EPYC build machine), and the allocator's large blocks start 16 bytes past a
// page.
struct FreeBuffer
{
    void operator()(char* data) const { std::free(data); }
};
using ReadBuffer = std::unique_ptr<char[], FreeBuffer>;
ReadBuffer allocateReadBuffer(qint64 size);

// Opens a file for reading, a final symbolic link followed, and keeps it open only when it
// is a regular file: anything else is closed again (the open does not wait, so a FIFO
// cannot hang it) and fails with EINVAL. size receives the file's size.
int openRegularFile(const QString& path, qint64* size);
// Reads up to length bytes at the file's position; the count read (0 at the end), or -1.
qint64 readFile(int fd, char* buffer, qint64 length);
void closeFile(int fd);
// Has the system start reading the file's first length bytes into the cache in the
// background; a hint, so it cannot fail.
void readAhead(int fd, qint64 length);
// Opens the regular file at path for reading, a final symbolic link not followed, fills
// status as entryStatus does and has the system start reading the file's first
// readAheadLength bytes in the background. -1 for a link, for anything but a regular file
// (the open does not wait, so a FIFO cannot hang it) and when the open fails. The caller
// closes the descriptor with closeFile.
int openFileAhead(const QString& path, qint64 readAheadLength, EntryStatus* status);

// Bytes available to the user on the volume holding path, or -1 when unknown.
qint64 availableBytes(const QString& path);

// What the file system holding path is and what it takes, as statfs and the mount table
// tell (never guessed from the path).
struct VolumeInfo
{
    // The mount table's type, with a FUSE subtype appended ("fuseblk.exfat", "vfat").
    QString type;
    unsigned long magic = 0; // statfs f_type
    quint64 device = 0;      // of the path, or of the folder above it that exists
    qint64 availableBytes = -1;
    qint64 blockSize = 4096;
    int maxNameLength = 255; // f_namelen
    bool readOnly = false;   // mounted read-only
};
// False when path (or the nearest folder above it that exists) cannot be asked.
bool volumeInfo(const QString& path, VolumeInfo* info);
// The type and source of the mount of device (major:minor) in a /proc/self/mountinfo text;
// the last mount of the device wins, as it hides those before it. False when none matches.
bool mountOf(const QByteArray& mountInfo, quint64 device, QString* type, QString* source);
// The file system a boot sector announces: "exfat", "ntfs", "vfat" or empty. A FUSE driver
// that gives its mount no subtype ("fuseblk") is told by its device this way.
QString bootSectorType(const QByteArray& sector);
// Whether the process may make entries in the folder at path (access W_OK and X_OK).
bool canWriteFolder(const QString& path);
// The user id the process runs as.
quint32 userId();

// Asks the desktop file manager to show the entry: a folder is opened, any other
// entry is shown selected in its folder. request receives a readable form of the
// request for the log (filled on success and on failure).
bool showInFileManager(const QString& absolutePath, bool isFolder, QString* request);

// The failure recorded last on the calling thread: the name of the system call and
// its error code (0 and an empty name when nothing failed yet).
QString lastFailedCall();
int lastErrorCode();
// Both at once, for code that reports the failure later (recordFailure brings it back).
struct Failure
{
    const char* call = "";
    int code = 0;
};
Failure lastFailure();
// Records a failure for the calling thread; for code that makes its own system calls.
// call must live as long as the thread (a string literal).
void recordFailure(const char* call, int code);
// The system's message for an error code.
QString errorMessage(int code);

// Halts the running program pid and the programs it started, theirs too (SIGSTOP), or lets
// them go on (SIGCONT); false when pid is gone.
bool holdProcessTree(qint64 pid, bool hold);

} // namespace Platform
