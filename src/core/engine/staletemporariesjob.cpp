#include "engine/staletemporariesjob.h"

#include "fs/platformcopy.h"

#include <QDebug>

StaleTemporariesJob::StaleTemporariesJob(QObject* parent) : Job(parent)
{
    setObjectName(QStringLiteral("StaleTemporariesJob"));
}

void StaleTemporariesJob::startJob()
{
    Job::startJob();
    for (auto it = m_targets.cbegin(); it != m_targets.cend(); ++it) {
        const QStringList removed = PlatformCopy::removeStaleTemporaryFiles(it.key(), it.value());
        for (const QString& path : removed)
            qDebug() << "Removed the temporary file of an interrupted copy" << qUtf8Printable(path);
    }
    finishJob();
}
