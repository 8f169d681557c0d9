#pragma once

#include "engine/destinationanchor.h"
#include "model/copyitem.h"

#include <QString>

// The destination of a copy task's run as a file system: whether a run may write there at
// all, where it was mounted when the run began, and the file system held open for the
// run's writes, whose final flush then also reports the write-back errors met before it.
class DestinationFileSystem
{
public:
    DestinationFileSystem() = default;
    ~DestinationFileSystem() { close(); }
    DestinationFileSystem(const DestinationFileSystem&) = delete;
    DestinationFileSystem& operator=(const DestinationFileSystem&) = delete;

    // See CopyTask::pathsRefusal.
    static QString pathsRefusal(const QString& source, const QString& destination);

    // Where the destination's file system was mounted when the run began (saved with it).
    QString mountPoint() const { return m_mountPoint; }
    void setMountPoint(const QString& mountPoint) { m_mountPoint = mountPoint; }
    void rememberMountPoint(const QString& destination);
    // Why a resume must not write to destination: it is no longer on that file system.
    QString refusal(const QString& destination) const;
    QString driveGoneText(const QString& destination) const;

    // Opens the file system of destination for a run that writes (none for a verify).
    void open(const QString& destination, bool writes);
    void close();
    int handle() const { return m_handle; }
    quint64 device() const { return m_device; }
    // The path the file system was opened by, or the destination when it could not be.
    QString path() const { return m_path; }
    // The destination's nearest existing folder when the run began.
    DestinationAnchor anchor() const { return m_anchor; }
    // The one warning of a run whose destination keeps no extended attributes (each item
    // concerned has its note).
    void noteUnkeptAttributes(const CopyItem& item);

private:
    QString m_mountPoint;
    DestinationAnchor m_anchor;
    int m_handle = -1;
    quint64 m_device = 0;
    QString m_path;
    bool m_warnedOfUnkeptAttributes = false;
    // CopyObject::unsupportedAttributesNote, translated once per run rather than per item.
    QString m_unkeptAttributesNote;
};
