#pragma once

#include "engine/copytask.h"
#include "engine/storageprobe.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

#include <functional>
#include <memory>

// What the tests that run a copy task share: the trees they copy, the job-thread pool, a
// recorder of what a run tells, running a task to its end and the rules every run keeps.
namespace TestSupport {

// The data makeTree writes for a file of that name (without its folder) and size.
QByteArray contentFor(const QString& name, qint64 size);

// Entries below root: "dir/" a folder, "name=SIZE" a file of contentFor's data, "name~SIZE"
// a sparse file of zeros, "name->target" a symbolic link (a relative target means the entry
// below root).
void makeTree(const QString& root, const QStringList& entries);
// The tree in makeTree's notation, sorted; link targets inside root are shown relative.
QStringList listTree(const QString& root);
// Every regular file below root (hidden ones included, links left out) by its relative
// path, with its data.
QHash<QString, QByteArray> fileContents(const QString& root);

// path relative to root, "." for root itself.
QString relativePath(const QString& path, const QString& root);
// The source of each item relative to root, in the items' order.
QStringList relativeSources(const QList<CopyItem>& items, const QString& root);
QStringList sorted(QStringList list);
// The item of that source path, or null.
const CopyItem* findItem(const QList<CopyItem>& items, const QString& source);

// A copy task definition from source to destination.
Task makeTask(const QString& source, const QString& destination, int copyMode = CopyOptions::Copy);

// Writes a task file of the current version that holds definition, items and folders as a
// saved run would, plus the values of the group "Task" in taskValues. False when it could
// not be written.
bool writeTaskFile(const QString& path, const Task& definition, const QList<CopyItem>& items,
                   const QList<CopyItem>& folders = QList<CopyItem>(),
                   const QVariantMap& taskValues = QVariantMap());

// Makes the pool hold that many started threads (unchanged when it does already).
void usePool(int threads);

// Free space of the destination as the test says.
class FixedStorage : public StorageProbe
{
public:
    explicit FixedStorage(qint64 available) : m_available(available) {}
    qint64 availableBytes(const QString&) const override { return m_available; }

private:
    qint64 m_available;
};

// Everything a copy task tells during one run, and the number of jobs seen at once: the
// counts change only inside events of this thread, so looking before each event sees
// every state the task passes through.
class RunRecorder : public QObject
{
    Q_OBJECT

public:
    explicit RunRecorder(CopyTask* task);
    ~RunRecorder() override;

    void clear();

    // Events are also sent from inside the pool's locked sections (a job moving to its
    // thread), so only the task's own count is read here.
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The copy state of each signalled item, in order.
    QStringList states() const;
    // The list of the last copyListCompleted: the items as the final folder sync left them.
    QList<CopyItem> lastList() const { return lists.isEmpty() ? QList<CopyItem>() : lists.last(); }

    QList<CopyItem> signalled; // copyCompleted and errorOccurred, in order
    QList<CopyItem> errors;
    QStringList logs;
    QList<QList<CopyItem>> lists;
    QList<QPair<qint64, qint64>> storageFull;
    QStringList progress;
    int ended = 0;
    int maxRunning = 0;
    int maxRunningWhileBuilding = 0;
    int maxPoolJobs = 0;
    std::function<void(const CopyItem&)> onItem;
    std::function<void()> onProgress;

private:
    void sample();
    void samplePool();
    void record(const CopyItem& item);

    CopyTask* mp_task;
};

// The set-up of a test that runs copy tasks: call the static ones from initTestCase and
// cleanupTestCase, initScratch and cleanupScratch from init and cleanup (for source and
// destination folders of each case's own).
class CopyTaskFixture
{
public:
    // What a run must leave besides one place per item.
    enum RunEnd
    {
        MayLeaveItems, // a stopped run: items may wait, unsignalled, for a resume
        EveryItemDone, // no item is left unprocessed and each one filed was signalled
    };

    static void initRuns(int threads);
    static void cleanupRuns();

    // A scratch folder with empty folders "src" (m_source) and "dst" (m_destination).
    void initScratch();
    // Opens again whatever a case closed, removes the scratch folder and puts back the
    // settings a case may have changed.
    void cleanupScratch();

    // Starts (or resumes) the task, waits for its taskCompleted signal and checks that it
    // ended once, with no job left running, and that nothing arrives after its end.
    void runToEnd(CopyTask& task, RunRecorder& recorder, bool resume = false);
    // Every item of a run is filed once in the completed list, no queue keeps anything, and
    // no item is signalled twice or in another state than it is filed with.
    void verifyRunInvariant(const CopyTask& task, const RunRecorder& recorder,
                            RunEnd end = MayLeaveItems);

protected:
    int m_runTimeoutMs = 30000;
    std::unique_ptr<QTemporaryDir> mp_dir;
    QString m_source;
    QString m_destination;
};

} // namespace TestSupport
