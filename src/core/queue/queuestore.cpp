#include "queue/queuestore.h"

#include "app/programidentity.h"
#include "fs/platformqueue.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>

namespace {

// Far more than a run's entry needs; a larger file is nothing this program wrote.
const qint64 MaximumRunFileSize = 1 << 20;

} // namespace

QueueStore::QueueStore(const QString& dataFolder)
    : m_folder(QDir(dataFolder).filePath(QStringLiteral("queue")))
{
}

bool QueueStore::makeFolder() const
{
    return Platform::makePrivateFolder(m_folder);
}

QString QueueStore::newId()
{
    const quint64 value = QRandomGenerator::system()->generate64();
    return QStringLiteral("%1").arg(value, 16, 16, QLatin1Char('0'));
}

QString QueueStore::runFilePath(const QString& id) const
{
    return QDir(m_folder).filePath(QStringLiteral("run-%1.json").arg(id));
}

QString QueueStore::taskFilePath(const QString& id) const
{
    return QDir(m_folder).filePath(
        QStringLiteral("run-%1.%2").arg(id, ProgramIdentity::taskFileExtension()));
}

QString QueueStore::runLockPath(const QString& id) const
{
    return QDir(m_folder).filePath(QStringLiteral("run-%1.lock").arg(id));
}

QString QueueStore::runnerLockPath() const
{
    return QDir(m_folder).filePath(QStringLiteral("runner.lock"));
}

QList<QueuedRun> QueueStore::load(QStringList* skipped) const
{
    static const QRegularExpression ownName(QStringLiteral("^run-([0-9a-f]{16})\\.json$"));
    QList<QueuedRun> runs;
    const QFileInfoList entries =
        QDir(m_folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo& entry : entries) {
        const QRegularExpressionMatch match = ownName.match(entry.fileName());
        if (!match.hasMatch())
            continue;
        QFile file(entry.absoluteFilePath());
        QueuedRun run;
        QJsonParseError error{};
        const bool read = entry.size() <= MaximumRunFileSize && file.open(QIODevice::ReadOnly);
        const QJsonDocument document =
            read ? QJsonDocument::fromJson(file.read(MaximumRunFileSize), &error) : QJsonDocument();
        // The name is the run's: a copied file under another name is not a second run.
        if (!read || error.error != QJsonParseError::NoError ||
            !QueuedRun::fromJson(document.object(), &run) || run.m_id != match.captured(1) ||
            run.m_taskFile != taskFilePath(run.m_id)) {
            qWarning() << "Queue: unreadable run file" << entry.absoluteFilePath();
            if (skipped)
                skipped->append(entry.absoluteFilePath());
            continue;
        }
        runs.append(run);
    }
    std::sort(runs.begin(), runs.end(), [](const QueuedRun& a, const QueuedRun& b) {
        return a.m_order != b.m_order ? a.m_order < b.m_order : a.m_id < b.m_id;
    });
    return runs;
}

bool QueueStore::save(const QueuedRun& run) const
{
    QSaveFile file(runFilePath(run.m_id));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(run.toJson()).toJson(QJsonDocument::Indented));
    // QSaveFile flushes the data to the device before the rename; the rename itself is
    // flushed with the folder.
    return file.commit() && Platform::syncFolder(m_folder);
}

void QueueStore::remove(const QString& id) const
{
    QFile::remove(runFilePath(id));
    QFile::remove(taskFilePath(id));
    QFile::remove(runLockPath(id));
    Platform::syncFolder(m_folder);
}
