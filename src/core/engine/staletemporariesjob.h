#pragma once

#include "jobs/job.h"

#include <QHash>
#include <QSet>
#include <QString>

// Runs beside the copies of a resumed run, which has no walk to do it: removes the temporary
// files that copies of an earlier process left beside the names the run copies (a drive
// unplugged or a process killed mid-copy). Only files whose writer is gone are removed, so
// the copies of this run are never touched. A stop is ignored: the job is short.
class StaleTemporariesJob : public Job
{
    Q_OBJECT

public:
    explicit StaleTemporariesJob(QObject* parent = nullptr);

    // The names the run copies, by destination folder.
    void setTargets(const QHash<QString, QSet<QString>>& targets) { m_targets = targets; }

public slots:
    void startJob() override;

private:
    QHash<QString, QSet<QString>> m_targets;
};
