#pragma once

#include "fs/pathutils.h"
#include "model/copyitem.h"
#include "model/task.h"
#include "taskbarprogress.h"

#include <QMainWindow>
#include <QTimer>
#include <QVector>

#include <functional>
#include <memory>

class CopyTask;
class Desktop;
class Dialogs;
class GuiLog;
class QAction;
class QButtonGroup;
class QLabel;
class QLineEdit;
class QMenu;
class SleepInhibitor;

namespace Ui {
class GuiMainWindow;
}

// The program's one window. It owns the process's CopyTask and reuses it for every run:
// it turns the fields and options into a Task, asks what has to be asked before a copy,
// move, verify or fix-errors run, starts and stops it, and follows it to its end. It
// reaches the user only through its Dialogs and the desktop only through its Desktop,
// both replaceable.
class GuiMainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit GuiMainWindow(QWidget* parent = nullptr);
    ~GuiMainWindow() override;

    // Replace the questions and the desktop (tests answer from a script).
    void setDialogs(std::unique_ptr<Dialogs> dialogs);
    void setDesktop(std::unique_ptr<Desktop> desktop);
    Dialogs* dialogs() const { return mp_dialogs.get(); }
    Desktop* desktop() const { return mp_desktop.get(); }

    CopyTask* copyTask() const { return mp_copyTask; }
    // Fills the widgets from the most recent task of the settings, or from the default one,
    // and then follows the program's arguments and checks for a new version.
    void restoreLastTask();
    // Closes the window without asking: a run going on is stopped, as the quit question's
    // "Yes" would (the program was asked to end by a signal, nobody may be there to answer).
    void closeWithoutAsking();
    // Whether a run is going on.
    bool isRunning() const { return m_timer.isActive(); }
    // Returns once no run is going on: a window closed during a run has stopped it, and
    // the program waits for its jobs to finish and for what they wrote to be placed.
    void waitForRunToEnd();

    // A preferences dialog as the window needs it: filled from the settings, run modally,
    // and on acceptance stored into them. The window builds one with the factory given
    // here; without a factory the "Preferences" entry is hidden.
    class PreferencesDialog
    {
    public:
        virtual ~PreferencesDialog();
        virtual void loadSettings() = 0;
        // True when accepted.
        virtual bool exec() = 0;
        virtual void storeSettings() = 0;
    };
    using PreferencesFactory = std::function<std::unique_ptr<PreferencesDialog>(QWidget* parent)>;
    void setPreferencesFactory(PreferencesFactory factory);

public slots:
    void showOnTop();
    void selectFrom();
    void selectFromAsFile();
    void selectTo();
    void startCopy();
    void verifyCopy();
    void fixErrors();
    void startMove();
    void stopCopy();
    void onJobProgress(const QString& name, qint64 done, qint64 total);
    void onTaskCompleted();
    void openFrom();
    void openTo();
    void showAbout();
    void onLogAvailable(const QString& text);
    void onTimerTimeout();
    void onShowSettings();
    void onOpenLogFile();
    void openDataFolder();
    void openOfficialWebSite();
    void openDonationWebSite();
    void openHelpWebSite();
    void onStorageFull(qint64 available, qint64 required);
    // The "Report" tab: items of the run by category, and the "Recent paths" menu.
    void onErrorOccurred(const CopyItem& item);
    void onCopyListCompleted(const QList<CopyItem>& items);
    void processCopyItemsToShowInViewFileList();
    void updateViewFileList();
    void onViewFileListContextMenuRequested(const QPoint& point);
    void onViewFileListButtonClicked(int id);
    void onViewFileListApplyFilterClicked();
    void onRecentPathsMenuAboutToShow();
    void onRecentPathClicked();
    void onClearRecentPathsClicked();
    void onSaveRecentPathsClicked();
    void onNewTaskClicked();
    void onNewInstanceClicked();
    // Task files: the run in the copy task (its items) or the task on screen (alone).
    void saveTaskToFile();
    void loadTaskFromFile();
    // A task file handed to the program by the desktop.
    void onOpenFileRequest(const QString& path);
    // The arguments of a second start of the program, already absolute.
    void onArgumentsReceived(const QStringList& arguments);
    // The arguments the program was started with: a task file to load, or two paths to copy.
    void checkProgramArguments();
    void onCheckForNewVersionCompleted();
    // The speed and remaining time, on every item a copy task finishes.
    void onCopyCompleted(const CopyItem& item);
    // The final flush of a run: written of total bytes (total 0: amount unknown).
    void onFlushProgress(qint64 written, qint64 total);
    // The usage event has been posted (or given up): its sender is deleted.
    void onStatsSentToWeb();

public:
    // Replaces the launcher (task-bar) progress; the default one shows nothing.
    void setTaskbarProgress(std::unique_ptr<TaskbarProgress> progress);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    friend class TestGuiMainWindow;
    friend class TestGuiMainWindowPaths;
    friend class TestGuiMainWindowTaskFiles;
    friend class TestGuiMainWindowProgress;
    friend class TestGuiMainWindowFileLists;

    // Construction, by concern.
    void setUpMenus();
    void setUpActions();

    // Task control.
    // verify: the destination must be there; nothing is created for a verify.
    bool validatePaths(bool verify = false);
    bool askAboutPreviousTask(int copyMode, bool* resume);
    void runTask(CopyTask* copyTask, bool resume, int copyMode);
    Task taskFromUi() const;
    void setUiFromTask(const Task& task);
    void addRecentTask(const Task& task);
    void updateOptionWidgets();
    void setStatusText(const QString& text);
    static QStringList filtersFromLineEdit(const QLineEdit* lineEdit);
    QString fromPath() const;
    QString toPath() const;
    // The copy-method name shown in the recap.
    QString copyMethodText() const;
    void showRunOutcome();
    void setRunControlsEnabled(bool running);
    // What the sleep lock of a run says it is for.
    static QString sleepReason(int copyMode);
    // The speed and remaining-time estimate after the items that just finished.
    void updateSpeedEstimate();
    // Progress and outcome of a run.
    void setUpProgress();
    // Returns whether the counters changed since the label last showed them.
    bool updateStatsLabel();
    void updateSpeedLabel(qint64 speed, qint64 remainingMs, bool finished);
    void pulseProgress();
    void resetSpeedState();
    // Writes the errors file of the run into the data folder (the AutoSaveErrors setting).
    void autoSaveErrors();
    void showErrorsList();
    void sendUsageEvent(const QString& action, qint64 value);

    // Task files and arguments.
    // After the last task is shown: the program's arguments, then the new-version check.
    void scheduleStartUpChecks();
    bool loadTaskFile(const QString& path);
    void saveRunToFile(const Task& task);
    void saveDefinitionToFile(const Task& task);
    QString askTaskFileName(const Task& task);
    void writeTaskFile(const QString& path, const std::function<bool()>& write);
    void applyArguments(const QStringList& arguments);
    // Offers the version announced on the web site when it is newer than this one.
    void offerNewVersion(const QString& latestVersion, bool newer, const QString& url);

    // Desktop actions.
    void openLocalPath(const QString& path);
    bool openWebUrl(const QString& url);
    void showPathInFolder(const QString& path);

private:
    // The list part of a finished item (onCopyCompleted does the speed part).
    void onCopyCompletedForView(const CopyItem& item);

    // The "Report" tab's file lists.
    void setUpFileLists();
    // "None" checked and the list emptied: at start-up, at each run and for a task shown.
    void resetViewFileList();
    void clearViewFileList();
    static bool isShownInViewMode(const CopyItem& item, int mode);
    // Keeps the item when it belongs to the view mode and, when it passes the name
    // filters, adds it to rows; true when it makes a row.
    bool addItemToView(const CopyItem& item, QList<CopyItem>* rows);
    // A live item of the run, added with the next batch.
    void queueItemForView(const CopyItem& item);
    void startViewBatches(int delay);
    QString viewTabTitle() const;
    void updateViewTabTitle();
    // The context menu of a row (or of the list, row -1); its choices run when triggered.
    std::unique_ptr<QMenu> createViewFileListMenu(int row);
    void exportViewItems();
    bool saveLinesToFile(const QStringList& lines, const QString& nameFilter, QString* path);

    // Message boxes of this window.
    int ask(int kind, const QString& text, const QStringList& buttons, int defaultButton,
            int escapeButton, Qt::TextFormat format = Qt::PlainText);
    void inform(const QString& text);
    void warn(const QString& text);

    std::unique_ptr<Ui::GuiMainWindow> mp_ui;
    std::unique_ptr<Dialogs> mp_dialogs;
    std::unique_ptr<Desktop> mp_desktop;
    PreferencesFactory m_preferencesFactory;
    CopyTask* mp_copyTask = nullptr;
    QTimer m_timer;
    bool m_closing = false;
    bool m_closeWithoutAsking = false;
    bool m_stopping = false;
    // Counts the runs, so that a stop asked for one run never reaches the next.
    int m_runSerial = 0;
    SleepInhibitor* mp_sleepInhibitor = nullptr;
    // The final flush of the run reports how much of it is written.
    bool m_flushMeasured = false;
    bool m_speedUpdateQueued = false;
    // Bytes per second, last taken from the task (1: unknown).
    qint64 m_speed = 1;
    // Remaining time shown, counted down between estimates; negative: unknown.
    qint64 m_remainingMs = 0;
    // The counters the statistics label last showed; empty before the first.
    QVector<qint64> m_lastCounters;
    std::unique_ptr<TaskbarProgress> mp_taskbarProgress;
    QButtonGroup* mp_bgOverwriteMode = nullptr;
    QButtonGroup* mp_bgDestinationMode = nullptr;
    QButtonGroup* mp_bgViewFileMode = nullptr;
    GuiLog* mp_recapLog = nullptr;
    GuiLog* mp_logView = nullptr;
    QLabel* mp_statusLabel = nullptr;
    QMenu* mp_recentPathsMenu = nullptr;
    class FileListModel* mp_fileListModel = nullptr;
    // The view mode the list was built for (0 None ... 6 Folders).
    int m_viewMode = 0;
    // Items still to be tested and added, taken from the front in batches.
    QList<CopyItem> m_pendingViewItems;
    // Every item that passed the view-mode test since the list was cleared.
    QList<CopyItem> m_viewItems;
    FileSystemUtils::PatternList m_viewFilters;
    int m_viewRowCount = 0;
    // The shown text is the file name alone; fixed for the list until it is rebuilt.
    bool m_viewOnlyFileNames = false;
    // The next batch; items arriving meanwhile join it.
    QTimer m_viewBatchTimer;
    // The batches load a whole list (not only live items): "Please wait..." and "Ready".
    bool m_viewLoading = false;
    QAction* mp_actNewWindow = nullptr;
    QAction* mp_actNewTask = nullptr;
    QAction* mp_actSelectFile = nullptr;
    QAction* mp_actLoadTask = nullptr;
    QAction* mp_actSaveTask = nullptr;
    QAction* mp_actPreferences = nullptr;
    QAction* mp_actOpenWebSite = nullptr;
    QAction* mp_actOpenHelp = nullptr;
    QAction* mp_actDonate = nullptr;
    QLabel* mp_versionLabel = nullptr;
};
