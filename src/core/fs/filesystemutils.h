#pragma once

#include "fs/pathutils.h"
#include "fs/platform.h"
#include "fs/platformcopy.h"

#include <QFileInfo>
#include <QString>
#include <QStringList>

// Stateless helpers for everything that touches the file system below Qt's file
// classes. All are reentrant and may be called from any thread. Failures are
// reported by the result and, where useful, one warning line; nothing throws.
namespace FileSystemUtils {

using Platform::InvalidAttributes;
using Platform::ReadOnlyAttribute;

// Extended-length form of a native path: "\\?\" in front, or "\\?\UNC" for a
// network path that starts with two backslashes. Pure text; the file-system calls
// on this platform use paths as given.
QString longPath(const QString& path);
// Two native separators, the start of a network path.
QString uncPrefix();

// True when an entry exists at path; a dangling symbolic link exists too.
bool fileExists(const QString& path);

// Whether both paths name one and the same entry, whatever names lead to it (hard links,
// symbolic links, bind mounts): equal device and inode, links followed. False when either
// cannot be reached.
bool isSameEntry(const QString& a, const QString& b);
// Whether path is the folder itself or lies below it, through any alias: each folder above
// path as the system resolves it (path itself need not exist) is compared with the folder
// by identity.
bool isWithinFolder(const QString& path, const QString& folder);

// For a destination that does not exist: the highest folder above it that is missing too
// (or is no folder), when its parent folder is not there; empty when the parent is. A drive
// that is not mounted leaves its mount point's folders missing: making the whole chain
// would fill the system disk, so only the last folder is made without being asked.
QString missingFolderAbove(const QString& destination);

// Attribute word of the entry, or InvalidAttributes (logged).
int fileAttributes(const QString& path);
bool isReadOnly(const QString& path);
// True when the read-only state already is, or has been made, readOnly.
bool setReadOnly(const QString& path, bool readOnly);

// "<function> <code>: <system message>" for the failure recorded last on the calling
// thread; logged at warning level and returned. Call it right after the failure.
QString lastErrorText(const QString& functionName);
// The bytes of a file read to its end, whatever its size says (the files of kernel file
// systems state 0 or 4096); false when it cannot be read or holds more than maxBytes.
bool readToEnd(const QString& path, qint64 maxBytes, QByteArray* data);

// A text of lastErrorText's form ("open 13: Permission denied") in plain words for the
// lists and reports ("No permission."); any other text as it is. The system call and code
// stay in the log and the tool tips.
QString plainErrorText(const QString& text);

// The same for a failure that PlatformCopy reported (recorded as the last one first).
QString failureText(const PlatformCopy::Failure& failure);

// True when nothing is left at path; a read-only file is made writable first.
bool removeFile(const QString& path);

// Copies the access and modification times and the read-only state of from to to; with
// removeReadOnly the copy is left writable whatever the source's state. The caller passes
// the run's setting: this layer reads no settings.
bool syncProperties(const QString& from, const QString& to, bool removeReadOnly);
bool syncFile(const QString& from, const QString& to, bool removeReadOnly);
// QFile::copy (fails when to exists), then syncFile. On failure errorText, when given,
// receives Qt's reason.
bool copyFileWithQt(const QString& from, const QString& to, bool removeReadOnly,
                    QString* errorText = nullptr);

// Whether a destination link must be replaced: false when it already points to
// knownTarget, otherwise whether the two links point to different targets.
bool linkTargetsDiffer(const QFileInfo& source, const QFileInfo& destination,
                       const QString& knownTarget);
// Creation days differ; unknown creation times never differ.
bool createdDatesDiffer(const QFileInfo& a, const QFileInfo& b);
// The least difference between two modification times, a on one file system and b on
// another, that tells them apart. 2 seconds when either file system keeps coarse times
// (FAT keeps even seconds, and a copy there may be cut or rounded by up to that). Else the
// precision that both sides hold: the coarser time step of the two file systems, and of
// the two times as written (a time set to the millisecond by another program ends in six
// zeros); so a source saved one second after its copy is newer.
qint64 timeToleranceNs(const Platform::FileSystemTraits& traitsA,
                       const Platform::FileSystemTraits& traitsB, const Platform::FileTime& a,
                       const Platform::FileTime& b);
// 1 when b is at least toleranceNs later than a, -1 when at least that much earlier, else 0.
int modificationOrder(const Platform::FileTime& a, const Platform::FileTime& b, qint64 toleranceNs);
// The same for two files, with the tolerance of their file systems, both times read once;
// 0 when a time cannot be read.
int modificationOrder(const QFileInfo& a, const QFileInfo& b);
// The same from statuses already read (of the entries themselves, at pathA and pathB).
int modificationOrder(const Platform::EntryStatus& a, const QString& pathA,
                      const Platform::EntryStatus& b, const QString& pathB);
// b was modified later than a, beyond the tolerance.
bool isNewer(const QFileInfo& a, const QFileInfo& b);
// b was modified earlier than a, beyond the tolerance.
bool isOlder(const QFileInfo& a, const QFileInfo& b);
// Modification times apart beyond the tolerance, creation days differ, or sizes differ.
bool filesDiffer(const QFileInfo& a, const QFileInfo& b);
// The traits of the file system that a destination folder is or will be on: that of the
// folder, or of the nearest folder above it that exists. With probe, learnt by writing a
// temporary file there once per device (PlatformCopy::probeFileSystem); else by type.
Platform::FileSystemTraits destinationTraits(const QString& folder, bool probe);
// Whether the entry at path exists only under another spelling of its name (on a file
// system where case does not count): storedName then receives the name its folder lists.
// Lists the folder: for rare checks only.
bool existsUnderOtherName(const QString& path, QString* storedName = nullptr);

// A free path for an automatic rename, absolute and in native separators: path itself
// when free (number 0), else "name (n).ext" beside it with the lowest free n from 1 to
// 999 (".cfg(n)" for a name whose only dot is its first character). When every number
// is taken, path is returned unchanged with number 0 (logged).
QString uniqueFileName(const QString& path, int* number = nullptr);
// "name (number).ext" beside path, as uniqueFileName names it.
QString numberedFileName(const QString& path, int number);

// Bytes available to the user on the volume that holds path, or -1.
qint64 availableBytes(const QString& path);
// Whether neededBytes do not fit on the volume of path (any needed size <= 0: whether
// fewer than 64000 bytes are left). Not full when the volume cannot be read; ok says
// whether it could.
bool isStorageFull(const QString& path, qint64 neededBytes, bool* ok = nullptr);
// The decision of isStorageFull for a known number of available bytes (>= 0).
bool isStorageTooLow(qint64 availableBytes, qint64 neededBytes);

// Shows path in the desktop file manager (a folder opened, anything else selected).
bool showInExplorer(const QString& path);

// Replaces the file's content with the lines, each ended by a line feed, in the
// local 8-bit encoding. False when the file cannot be opened or written.
bool writeLinesToFile(const QStringList& lines, const QString& path);

} // namespace FileSystemUtils
