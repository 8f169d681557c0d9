#pragma once

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>
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

// What tells one version of a file from the next: its size and modification time.
struct FileVersion
{
    qint64 size = -1;
    qint64 seconds = 0;
    qint64 nanoseconds = 0;

    bool operator==(const FileVersion& other) const
    {
        return size == other.size && seconds == other.seconds && nanoseconds == other.nanoseconds;
    }
    bool operator!=(const FileVersion& other) const { return !(*this == other); }
};

// The version of the open file, or of the file at path (links followed); false when the
// system cannot tell.
bool fileVersion(int fd, FileVersion* version);
bool fileVersion(const QString& path, FileVersion* version);
// The same, with the file it is (device and inode), from one status read.
bool fileVersion(const QString& path, FileVersion* version, quint64* device, quint64* inode);

// The ways of moving data, fastest first. Each falls back to the next when the kernel or
// the file systems do not support it for the two files (across file systems, old kernels).
enum DataMover
{
    Clone = 0,         // a reflink of the whole file (copy-on-write file systems)
    CopyFileRange = 1, // copy_file_range, in chunks, inside the kernel
    SendFile = 2,      // sendfile, in chunks, inside the kernel
    ReadWrite = 3      // read and write through a user buffer
};

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
};

// What a successful copyFile did.
struct CopyOutcome
{
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
// ("renameat2" or "link", EEXIST); with replace, an existing target is replaced atomically
// ("rename" on failure, e.g. EISDIR for a folder in the way).
bool moveIntoPlace(const QString& temporary, const QString& target, Failure* failure,
                   bool replace = false);

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
// are left alone. Returns the paths removed.
QStringList removeStaleTemporaryFiles(const QString& folder, const QSet<QString>& targetNames);

// Creates the folder path with every missing parent, as mkdir -p does. On failure the
// call that failed ("mkdir", or "stat" for an entry in the way) and its error.
bool createFolders(const QString& path, Failure* failure);

// Forces the file's data, and the folder entry that names it, to the storage device.
bool flushToDisk(const QString& path, Failure* failure);

// Creates newLink as a symbolic link holding the very target text of existingLink, which
// may be relative or point nowhere.
bool duplicateSymbolicLink(const QString& existingLink, const QString& newLink, Failure* failure);

} // namespace PlatformCopy
