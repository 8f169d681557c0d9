#pragma once

#include <QObject>
#include <QTimer>

// Watches the final flush of a run onto the destination's device, which can take minutes
// on a slow stick: while it runs, reads every 250 ms what still waits to be written and
// reports the progress.
class FlushMonitor : public QObject
{
    Q_OBJECT

public:
    // Written of total bytes, clamped to 0..total; 0 of 0 when either amount is unknown.
    struct Progress
    {
        qint64 written = 0;
        qint64 total = 0;
    };
    // The progress from the bytes waiting when the flush began and now (-1: unknown).
    static Progress progressFor(qint64 waitingAtStart, qint64 waitingNow);

    explicit FlushMonitor(QObject* parent = nullptr);

    // The flush of device begins: reports its first progress and starts polling.
    void start(quint64 device);
    // The flush ended; flushed: it succeeded, and has then written everything.
    void finish(bool flushed);

signals:
    void progress(qint64 written, qint64 total);

private:
    void poll();

    QTimer m_timer;
    quint64 m_device = 0;
    // Bytes waiting to be written when the flush began; -1 when unknown.
    qint64 m_waitingAtStart = -1;
};
