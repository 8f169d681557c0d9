#include "copytaskfixture.h"

#include "app/appsettings.h"
#include "jobs/jobthread.h"
#include "jobs/jobthreadpool.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <sys/stat.h>

namespace TestSupport {

QByteArray contentFor(const QString& name, qint64 size)
{
    QByteArray data(int(size), '\0');
    const QByteArray seed = name.toUtf8();
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(seed.at(i % seed.size()) + i % 7);
    return data;
}

void makeTree(const QString& root, const QStringList& entries)
{
    QVERIFY(QDir().mkpath(root));
    for (const QString& entry : entries) {
        if (entry.endsWith(QLatin1Char('/'))) {
            QVERIFY(QDir().mkpath(root + QLatin1Char('/') + entry));
        } else if (entry.contains(QLatin1String("->"))) {
            const QString name = entry.section(QLatin1String("->"), 0, 0);
            QString target = entry.section(QLatin1String("->"), 1);
            if (!target.startsWith(QLatin1Char('/')))
                target = root + QLatin1Char('/') + target;
            QVERIFY(QFile::link(target, root + QLatin1Char('/') + name));
        } else if (entry.contains(QLatin1Char('~'))) {
            QFile file(root + QLatin1Char('/') + entry.section(QLatin1Char('~'), 0, 0));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(entry.section(QLatin1Char('~'), 1).toLongLong()));
        } else {
            const QString name = entry.section(QLatin1Char('='), 0, 0);
            const qint64 size = entry.section(QLatin1Char('='), 1).toLongLong();
            QVERIFY(writeFile(root + QLatin1Char('/') + name,
                              contentFor(QFileInfo(name).fileName(), size)));
        }
    }
}

QStringList listTree(const QString& root)
{
    QStringList list;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString relative = it.filePath().mid(root.size() + 1);
        if (info.isSymLink()) {
            QString target = info.symLinkTarget();
            if (target.startsWith(root + QLatin1Char('/')))
                target = target.mid(root.size() + 1);
            list << relative + QStringLiteral("->") + target;
        } else if (info.isDir()) {
            list << relative + QLatin1Char('/');
        } else {
            list << relative + QLatin1Char('=') + QString::number(info.size());
        }
    }
    list.sort();
    return list;
}

QHash<QString, QByteArray> fileContents(const QString& root)
{
    QHash<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (!it.fileInfo().isSymLink())
            files.insert(it.filePath().mid(root.size() + 1), readFile(it.filePath()));
    }
    return files;
}

QString relativePath(const QString& path, const QString& root)
{
    return path == root ? QStringLiteral(".") : path.mid(root.size() + 1);
}

QStringList relativeSources(const QList<CopyItem>& items, const QString& root)
{
    QStringList list;
    for (const CopyItem& item : items)
        list << relativePath(item.source_path, root);
    return list;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

const CopyItem* findItem(const QList<CopyItem>& items, const QString& source)
{
    for (const CopyItem& item : items) {
        if (item.source_path == source)
            return &item;
    }
    return nullptr;
}

Task makeTask(const QString& source, const QString& destination, int copyMode)
{
    Task task;
    task.m_sourcePath = source;
    task.m_destinationPath = destination;
    task.updateName();
    task.m_options.m_copyMode = copyMode;
    return task;
}

bool writeTaskFile(const QString& path, const Task& definition, const QList<CopyItem>& items,
                   const QList<CopyItem>& folders, const QVariantMap& taskValues)
{
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(QStringLiteral("Task/Data"), definition.toDataString());
    settings.setValue(QStringLiteral("Task/SaveFileVersion"), 2);
    settings.setValue(QStringLiteral("Task/ItemsCount"), items.size());
    settings.setValue(QStringLiteral("Task/FoldersCount"), folders.size());
    for (auto it = taskValues.cbegin(); it != taskValues.cend(); ++it)
        settings.setValue(QStringLiteral("Task/") + it.key(), it.value());
    for (int i = 0; i < items.size(); ++i)
        settings.setValue(QStringLiteral("Items/Item%1").arg(i), items.at(i).toDataString());
    for (int i = 0; i < folders.size(); ++i)
        settings.setValue(QStringLiteral("Folders/Folder%1").arg(i), folders.at(i).toDataString());
    settings.sync();
    return settings.status() == QSettings::NoError;
}

void usePool(int threads)
{
    if (JobThreadPool::threadCount() == threads)
        return;
    JobThreadPool::createThreads(threads);
    JobThreadPool::startThreads();
}

// -----------------------------------------------------------------------------------------

RunRecorder::RunRecorder(CopyTask* task) : mp_task(task)
{
    connect(task, &CopyTask::copyCompleted, this, [this](const CopyItem& item) { record(item); });
    connect(task, &CopyTask::errorOccurred, this, [this](const CopyItem& item) {
        errors << item;
        record(item);
    });
    connect(task, &CopyTask::logAvailable, this, [this](const QString& text) { logs << text; });
    connect(task, &CopyTask::copyListCompleted, this,
            [this](const QList<CopyItem>& list) { lists << list; });
    connect(task, &CopyTask::storageIsFull, this, [this](qint64 available, qint64 required) {
        storageFull << QPair<qint64, qint64>(available, required);
    });
    connect(task, &CopyTask::jobProgress, this,
            [this](const QString& name, qint64 done, qint64 total) {
                progress << QStringLiteral("%1 %2 %3").arg(name).arg(done).arg(total);
                if (onProgress)
                    onProgress();
            });
    connect(task, &CopyTask::taskCompleted, this, [this] {
        sample();
        ++ended;
    });
    QCoreApplication::instance()->installEventFilter(this);
}

RunRecorder::~RunRecorder()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

void RunRecorder::clear()
{
    signalled.clear();
    errors.clear();
    logs.clear();
    lists.clear();
    storageFull.clear();
    progress.clear();
    ended = 0;
    maxRunning = maxRunningWhileBuilding = maxPoolJobs = 0;
}

bool RunRecorder::eventFilter(QObject*, QEvent*)
{
    sample();
    return false;
}

QStringList RunRecorder::states() const
{
    QStringList list;
    for (const CopyItem& item : signalled)
        list << QString::number(item.copy_state);
    return list;
}

void RunRecorder::sample()
{
    const int running = mp_task->runningJobCount();
    maxRunning = qMax(maxRunning, running);
    if (!mp_task->isTaskCompleted() && !mp_task->isFileListCompleted())
        maxRunningWhileBuilding = qMax(maxRunningWhileBuilding, running);
}

void RunRecorder::samplePool()
{
    int poolJobs = 0;
    for (JobThread* thread : JobThreadPool::threads())
        poolJobs += thread->jobCount();
    maxPoolJobs = qMax(maxPoolJobs, poolJobs);
}

void RunRecorder::record(const CopyItem& item)
{
    samplePool();
    signalled << item;
    if (onItem)
        onItem(item);
}

// -----------------------------------------------------------------------------------------

void CopyTaskFixture::initRuns(int threads)
{
    initTestEnvironment();
    usePool(threads);
}

void CopyTaskFixture::cleanupRuns()
{
    JobThreadPool::destroyThreads();
}

void CopyTaskFixture::initScratch()
{
    mp_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(mp_dir->isValid());
    m_source = mp_dir->filePath(QStringLiteral("src"));
    m_destination = mp_dir->filePath(QStringLiteral("dst"));
    QVERIFY(QDir().mkpath(m_source));
    QVERIFY(QDir().mkpath(m_destination));
}

void CopyTaskFixture::cleanupScratch()
{
    if (mp_dir) {
        // Whatever a case closed is opened again, or the scratch area could not be removed.
        QDirIterator it(mp_dir->path(), QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        ::chmod(QFile::encodeName(mp_dir->path()).constData(), 0700);
        while (it.hasNext())
            ::chmod(QFile::encodeName(it.next()).constData(), 0700);
        mp_dir.reset();
    }
    AppSettings* settings = AppSettings::instance();
    settings->setCopyMethod(0);
    settings->setSkipIntegrityCheckForFileSizeMoreThan(0);
    settings->setReportFilteredFiles(false);
}

void CopyTaskFixture::runToEnd(CopyTask& task, RunRecorder& recorder, bool resume)
{
    recorder.clear();
    QSignalSpy ended(&task, &CopyTask::taskCompleted);
    if (resume)
        task.resumeTask();
    else
        task.startTask();
    // Waits in the event loop rather than sleeping between looks, so that a run of hundreds
    // of files on one thread starts each next job at once; a run that ended inside the call
    // has already been counted.
    if (ended.isEmpty())
        QVERIFY(ended.wait(m_runTimeoutMs));
    QCOMPARE(ended.count(), 1);
    QCOMPARE(recorder.ended, 1);
    QVERIFY(task.isTaskCompleted());
    QCOMPARE(task.runningJobCount(), 0);
    // Nothing may arrive after the end.
    QTest::qWait(50);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(recorder.ended, 1);
}

void CopyTaskFixture::verifyRunInvariant(const CopyTask& task, const RunRecorder& recorder,
                                         RunEnd end)
{
    QHash<QString, CopyItem> filed;
    int unprocessed = 0;
    for (const CopyItem& item : task.completedItems()) {
        QVERIFY2(!filed.contains(item.source_path), qPrintable("filed twice: " + item.source_path));
        if (end == EveryItemDone)
            QVERIFY2(item.copy_state != Unprocessed,
                     qPrintable("left unprocessed: " + item.source_path));
        filed.insert(item.source_path, item);
        if (item.copy_state == Unprocessed)
            ++unprocessed;
    }
    QCOMPARE(task.unprocessedItems().size(), unprocessed);
    QVERIFY2(task.counter(FilesCompleted) <= task.counter(FilesToCopy),
             qPrintable(QString("processed %1 of %2 files")
                            .arg(task.counter(FilesCompleted))
                            .arg(task.counter(FilesToCopy))));

    QSet<QString> seen;
    for (const CopyItem& item : recorder.signalled) {
        QVERIFY2(!seen.contains(item.source_path),
                 qPrintable("signalled twice: " + item.source_path));
        seen.insert(item.source_path);
        // The whole source stands for a list that could not be completed.
        if (end == MayLeaveItems && item.source_path == task.task().m_sourcePath &&
            !filed.contains(item.source_path))
            continue;
        QVERIFY2(filed.contains(item.source_path),
                 qPrintable("signalled, not filed: " + item.source_path));
        QCOMPARE(filed.value(item.source_path).copy_state, item.copy_state);
    }
    if (end == EveryItemDone)
        QCOMPARE(seen.size(), filed.size());
}

} // namespace TestSupport
