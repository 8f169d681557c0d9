#pragma once

#include "model/copyitem.h"
#include "model/task.h"

#include <QString>

#include <memory>

class ManifestWriter;

// The checksum list of the files one run verified (CopyTask::setManifestPath): opened when a
// verify, or a copy or move that verifies its copies, begins, fed each checked file as it
// is counted, and given its name only when the run completed.
class RunManifest
{
public:
    RunManifest();
    ~RunManifest();

    void setPath(const QString& path) { m_path = path; }
    QString path() const { return m_path; }
    // Why the last run wrote no list although it was asked to; empty when it did.
    QString failure() const { return m_failure; }

    // Opens the list of a run of task, in the digest hashAlgorithm, when it asks for one.
    // Returns the failure to log, or an empty text.
    QString open(const Task& task, int hashAlgorithm);
    void list(const CopyItem& item);
    // Names the list when the run completed, or discards it. Returns the failure to log.
    QString close(bool completed);

private:
    QString m_path;
    QString m_failure;
    std::shared_ptr<ManifestWriter> mp_writer;
};
