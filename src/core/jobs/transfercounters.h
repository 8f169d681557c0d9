#pragma once

#include <QMutex>
#include <QtGlobal>

// A small table of signed 64-bit counters shared by the copy threads and the user interface,
// indexed from 1 to 4, every operation under one mutex.
class TransferCounters
{
public:
    enum Slot
    {
        CurrentFileBytesCopied = 1, // bytes of the large file being copied natively
        CurrentFileSize = 2,        // size of that file
        BytesCompleted = 3,         // grows by the size of every file counted as completed
        BytesToCopy = 4             // grows by the size of every file counted as to be copied
    };
    static constexpr int FirstSlot = 1;
    static constexpr int LastSlot = 4;

    TransferCounters();
    TransferCounters(const TransferCounters&) = delete;
    TransferCounters& operator=(const TransferCounters&) = delete;

    void resetAll();
    // A slot outside 1..4 is refused with a warning; reading it gives 0.
    void setValue(int slot, qint64 value);
    void addValue(int slot, qint64 delta);
    qint64 value(int slot) const;

    // The process-wide table: created and reset at start-up, destroyed at exit. instance()
    // creates it on first use as well, so that code running without the start-up sequence
    // (tools, tests) still finds one; it is safe to call from any thread.
    static TransferCounters* instance();
    static void createInstance();
    static void destroyInstance();

private:
    static bool isValidSlot(int slot);

    qint64 m_values[LastSlot + 1] = {}; // index 0 unused
    mutable QMutex m_mutex;
};
