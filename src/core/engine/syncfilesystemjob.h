#pragma once

#include "jobs/job.h"

#include <QString>

// Runs once at the end of a run that wrote data, so that the run is reported complete (or
// stopped) only when what it wrote is on the storage device: writes every modified buffer
// of the destination's file system to the device and waits for it. It cannot be cut
// short; a stop is ignored.
class SyncFileSystemJob : public Job
{
    Q_OBJECT

public:
    explicit SyncFileSystemJob(QObject* parent = nullptr);

    // The descriptor of Platform::openFileSystem, opened before the run wrote anything so
    // that the flush also reports the write-back errors met meanwhile, and the path it
    // stands for, for the log. The owner keeps and closes the descriptor.
    void setFileSystem(int handle, const QString& path);

    // Read by the owner after the job has finished.
    bool isFlushed() const { return m_flushed; }
    qint64 flushMsecs() const { return m_flushMsecs; }
    // The system's text of the failure; empty when flushed.
    QString errorText() const { return m_errorText; }

public slots:
    void startJob() override;

private:
    int m_handle = -1;
    QString m_path;
    bool m_flushed = false;
    qint64 m_flushMsecs = 0;
    QString m_errorText;
};
