#pragma once

#include <QMutex>
#include <QString>
#include <QVector>
#include <QtGlobal>

// The byte totals of a run and the progress of each large file being copied, shared by the
// copy threads and the user interface. Totals saturate rather than overflow. Each copier
// thread has one snapshot of its file (name, bytes copied, size) that it replaces whole and
// that a reader takes whole, so bytes of one file are never shown against the size of
// another. One small mutex guards everything; a copier takes it once per reported block.
class TransferCounters
{
public:
    enum Slot
    {
        BytesCompleted = 1, // grows by the size of every file counted as completed
        BytesToCopy = 2     // grows by the size of every file counted as to be copied
    };
    static constexpr int FirstSlot = 1;
    static constexpr int LastSlot = 2;

    struct FileProgress
    {
        QString name;
        qint64 bytesCopied = 0;
        qint64 size = 0;
        bool finished = false;
        bool isValid() const { return !name.isEmpty(); }
    };

    TransferCounters();
    TransferCounters(const TransferCounters&) = delete;
    TransferCounters& operator=(const TransferCounters&) = delete;

    // Clears the totals and every file's snapshot.
    void resetAll();
    // A slot outside FirstSlot..LastSlot is refused with a warning; reading it gives 0.
    void setValue(int slot, qint64 value);
    void addValue(int slot, qint64 delta);
    qint64 value(int slot) const;

    // The calling thread starts a file: it replaces the snapshot of this thread's previous
    // file. The id names the snapshot in the updates; once reset, updates are ignored.
    quint64 startFile(const QString& name, qint64 size);
    void setFileProgress(quint64 id, qint64 bytesCopied, qint64 size);
    // All bytes are copied (or the copy ended): the snapshot stays, marked finished.
    void finishFile(quint64 id);
    // One snapshot per copier thread, in the order their files started.
    QVector<FileProgress> files() const;
    // The file started first among those still being copied; invalid when there is none.
    FileProgress currentFile() const;

    // The process-wide table: created and reset at start-up, destroyed at exit. instance()
    // creates it on first use as well, so that code running without the start-up sequence
    // (tools, tests) still finds one; it is safe to call from any thread.
    static TransferCounters* instance();
    static void createInstance();
    static void destroyInstance();

private:
    struct Entry
    {
        quint64 id = 0;
        const void* thread = nullptr;
        FileProgress progress;
    };

    static bool isValidSlot(int slot);
    Entry* entry(quint64 id);

    qint64 m_values[LastSlot + 1] = {}; // index 0 unused
    QVector<Entry> m_files;
    quint64 m_lastId = 0;
    mutable QMutex m_mutex;
};
