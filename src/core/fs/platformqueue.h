#pragma once

#include "fs/platform.h"

#include <QString>

// The operating-system calls of the queue of runs: which device a path lies on, the locks
// that tell a live runner and a live run, and the signals that pause, continue and stop a
// run's process.
namespace Platform {

// The whole device behind path (or the nearest folder above it that exists): the disk of a
// partition, so that two partitions of one disk are one device ("block:8:0"); a file system
// without a block device (tmpfs, a network mount) is a device of its own ("fs:0:45").
// Empty when nothing on the way can be reached.
QString deviceOf(const QString& path);
// The block device a partition in /sys/dev/block belongs to, from the link's target
// ("../../devices/.../sda/sda1" -> "sda"); the name itself for a whole disk.
QString wholeDiskName(const QString& sysfsTarget, bool isPartition);

// Opens (making it, mode 0600) the file at path and takes its exclusive lock without
// waiting: the descriptor, or -1 when another process holds it or the file cannot be
// opened. The lock goes with the last descriptor of its open file, a killed process's too.
int tryLockFile(const QString& path);
// (Platform::closeFile, in platform.h, lets the lock go.)
// Whether the lock of the file at path is taken by a live process, without taking it.
bool isFileLocked(const QString& path);

// In a process just forked for a run, before it starts the program: it is sent SIGTERM
// when the process that started it ends (a stopped run saves its place), and it keeps
// lockFd open, so that the lock stays taken as long as the run lives.
void prepareRunProcess(int lockFd);

enum class RunSignal
{
    Pause,    // SIGTSTP: the run holds its files and its place
    Continue, // SIGCONT
    Stop      // SIGTERM, then SIGCONT for a run that was held
};
bool signalRun(qint64 pid, RunSignal signal);

// Makes the folder at path, mode 0700, or accepts it when it is already a real folder of
// this user's that no one else can enter.
bool makePrivateFolder(const QString& path);
// Flushes a folder's entries (a rename into it) to the device.
bool syncFolder(const QString& path);
// The user's runtime folder ($XDG_RUNTIME_DIR), or a private folder of the user's own
// named fallbackName in the temporary folder; empty when neither is private.
QString privateRuntimeFolder(const QString& fallbackName);

} // namespace Platform
