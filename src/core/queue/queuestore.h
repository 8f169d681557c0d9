#pragma once

#include "queue/queuedrun.h"

#include <QList>
#include <QString>

// The queue's folder in the data folder: one file per run ("run-ID.json"), written whole
// or not at all, beside the run's task file ("run-ID" with the task-file extension) and
// the locks that tell a live runner ("runner.lock") and a live run ("run-ID.lock").
class QueueStore
{
public:
    explicit QueueStore(const QString& dataFolder);

    QString folder() const { return m_folder; }
    // Makes the folder, private to the user; false when it cannot be made.
    bool makeFolder() const;

    // Every run whose file reads back whole, in queue order; files that do not are left
    // where they are and named in skipped.
    QList<QueuedRun> load(QStringList* skipped = nullptr) const;
    // Temporary file, flushed to the device, renamed over the old one, the folder flushed:
    // after a crash the run's file is the old one or the new one, never a part.
    bool save(const QueuedRun& run) const;
    // The run's files: its entry, its task file and its lock.
    void remove(const QString& id) const;

    static QString newId();
    QString runFilePath(const QString& id) const;
    QString taskFilePath(const QString& id) const;
    QString runLockPath(const QString& id) const;
    QString runnerLockPath() const;

private:
    QString m_folder;
};
