#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

// Helpers shared by the unit tests.
namespace TestSupport {

// Puts QStandardPaths in test mode so a test never reads or writes the user's real
// settings and data, and names the application as the program does.
void initTestEnvironment();

// Writes data to path, creating missing parent folders. Returns false on failure.
bool writeFile(const QString& path, const QByteArray& data);
QByteArray readFile(const QString& path);
// The state letter of process pid from /proc ('T' when stopped), or 0 when it is gone.
char processState(qint64 pid);
// Whether a thread of this process waits as a paused copy does: a private futex wait while
// the flag holds the value of a pause (2).
bool threadHoldsOnPause();

// Every entry of the folder, hidden ones (temporary names) included, sorted by name.
QStringList entriesOf(const QString& folder);
// Relative path -> content of every file below root, hidden ones included.
QMap<QString, QByteArray> treeOf(const QString& root);
// Relative paths of the files below root, hidden ones included, sorted.
QStringList filesBelow(const QString& root);

// True when the process runs as root (a permission test must then drop privileges).
bool runningAsRoot();

// The permission bits (07777) of the entry itself, 0 when it cannot be read; and setting them.
int modeOf(const QString& path);
bool setMode(const QString& path, int mode);

// Runs program with arguments as the unprivileged user "nobody" (through setpriv)
// and returns its exit code, or -1 when it could not be run.
int runAsNobody(const QString& program, const QStringList& arguments, QByteArray* output = nullptr);

// Extended attributes of the entry itself (a link is not followed); attribute is empty (and
// present false) when it has none of that name.
bool setAttribute(const QString& path, const char* name, const QByteArray& value);
QByteArray attribute(const QString& path, const char* name, bool* present = nullptr);
// The value of system.posix_acl_access (or _default) in the kernel's form: the permission
// bits of mode, with one more entry for the user uid with userBits (the mask is the group
// bits of mode).
QByteArray posixAcl(int mode, uint uid, int userBits);
// Mounts a ramfs, which keeps no extended attributes (and tells of no free space), on the
// folder; false when that is not permitted. The caller unmounts it (umount).
bool mountRamfs(const QString& folder);

// Pages of the open file between offset (page aligned) and offset + length that the page
// cache holds, or -1 when that cannot be told. Mapping reads nothing; mincore tells.
int residentPages(int fd, qint64 offset, qint64 length);

} // namespace TestSupport
