#pragma once

#include <QString>
#include <QtGlobal>

// The file system of a run's destination as the run found it: the device of the destination's
// nearest existing folder. A drive unmounted during the run, even lazily, leaves that path
// leading to another file system (its empty mount point on the system disk): what is written
// after that is not on the drive the user named, and no copy there may count, nor let a move
// remove its source. A folder removed or made anew on the same file system is no such change.
class DestinationAnchor
{
public:
    DestinationAnchor() = default;
    // From the folder the run holds open (Platform::openFileSystem) and its path; unset
    // (never lost) when the folder cannot be asked.
    static DestinationAnchor fromOpenFolder(int fd, const QString& path);

    bool isSet() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }
    // True when the path, or its nearest existing folder, is on another file system now
    // (usually one status read). A copier asks for every file with reuseMs: an answer "in
    // place" found on its thread that recently is taken again, since what it writes goes
    // through a root descriptor that holds() vouched for, on this file system all the same.
    bool isLost(qint64 reuseMs = 0) const;
    // Whether the open folder lies on this file system (true when unset).
    bool holds(int fd) const;
    static constexpr qint64 recheckIntervalMs = 50;
    // The error of each item written once the destination is lost.
    static QString lostText();

private:
    QString m_path;
    quint64 m_device = 0;
};
