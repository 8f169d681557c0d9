#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>

class ManifestCheckDialog;
class QAction;
class QLabel;
class QStatusBar;
class WindowSeams;
class WindowWorker;

// "Check manifest": a folder checked against a checksum list of sha256sum, b2sum or
// xxhsum -H2, its files read from the device. The list and the folder are asked through
// the window's Dialogs; the check runs on the worker, one at a time, while the status bar
// counts the files done; the outcome comes in a box when all is equal and in a
// ManifestCheckDialog otherwise.
class ManifestCheckActions : public QObject
{
    Q_OBJECT

public:
    ManifestCheckActions(WindowSeams* seams, WindowWorker* worker, QStatusBar* statusBar,
                         QObject* parent = nullptr);
    ~ManifestCheckActions() override;

    // The menu entry: disabled while a check runs.
    void setAction(QAction* action);
    bool isChecking() const { return static_cast<bool>(mp_state); }
    // Stops a check going on, dropping its outcome (the window closes).
    void cancel();
    // The dialog of the last check that found differences, while it is open.
    ManifestCheckDialog* resultDialog() const;

public slots:
    void checkManifest();

signals:
    // A check has ended and its outcome is shown (or it was cancelled).
    void finished();

private:
    struct State;
    struct Outcome;
    void start(const QString& listPath, const QString& folder);
    void finish(const Outcome& outcome);
    void showProgress();

    WindowSeams* mp_seams;
    WindowWorker* mp_worker;
    QLabel* mp_statusLabel;
    QAction* mp_action = nullptr;
    QTimer m_progressTimer;
    std::shared_ptr<State> mp_state; // while a check runs
    QString m_lastFolder;
    QPointer<ManifestCheckDialog> mp_dialog;
};
