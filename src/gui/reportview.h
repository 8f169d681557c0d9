#pragma once

#include "fs/pathutils.h"
#include "model/copyitem.h"

#include <QObject>
#include <QTimer>

#include <memory>

class RunController;
class DesktopActions;
class FileListModel;
class QButtonGroup;
class QMenu;
class RunPresenter;
class TaskForm;
class WindowSeams;

namespace Ui {
class GuiMainWindow;
}

// The "Report" tab: the items of the current or last run by category in a QTreeView over
// a FileListModel, their name filter, the context menu of a row and the export of the list.
// Items are queued and appended in batches, so that the bursts a run reports never stall
// the window.
class ReportView : public QObject
{
    Q_OBJECT

public:
    ReportView(Ui::GuiMainWindow* ui, WindowSeams* seams, RunController* controller,
               const RunPresenter* run, DesktopActions* desktop, TaskForm* form,
               QObject* parent = nullptr);
    ~ReportView() override;

    FileListModel* model() const { return mp_model; }
    // Whether the item is listed under the view mode: the id of its button, 0 None,
    // 1 Unprocessed, 2 Errors, 3 Skipped, 4 Copied, 5 Checked, 6 Folders (7 Problems holds
    // what a check found, never a run's items).
    static bool isShownInViewMode(const CopyItem& item, int mode);
    // Whether items still wait to be added.
    bool isLoading() const { return m_batchTimer.isActive(); }
    // "None" checked and the list emptied: at start-up, at each run and for a task shown.
    void reset();
    // Shows the tab with the errors in view.
    void showErrorsList();
    // What the last check of a run found: the "Problems" list (view mode 7).
    void setPlanProblems(const QList<CopyItem>& items);
    static constexpr int ProblemsMode = 7;
    // The context menu of a row (or of the list, row -1); its choices run when triggered.
    std::unique_ptr<QMenu> createMenu(int row);

public slots:
    // Asks how (script or list) and where, then writes the rows shown.
    void exportItems();
    // Rebuilds the list for the checked view mode from the copy task.
    void updateList();

private slots:
    void onCopyListCompleted(const QList<CopyItem>& items);
    void processBatch();
    void applyNameFilter();

private:
    void clearList();
    // Keeps the item when it belongs to the view mode and, when it passes the name
    // filters, adds it to rows; true when it makes a row.
    bool addItemToView(const CopyItem& item, QList<CopyItem>* rows);
    // A live item of the run, added with the next batch.
    void queueItem(const CopyItem& item);
    void startBatches(int delay);
    QString tabTitle() const;
    void updateTabTitle();
    bool saveLinesToFile(const QStringList& lines, const QString& nameFilter, QString* path);

    Ui::GuiMainWindow* mp_ui;
    WindowSeams* mp_seams;
    RunController* mp_controller;
    const RunPresenter* mp_run;
    DesktopActions* mp_desktop;
    TaskForm* mp_form;
    FileListModel* mp_model;
    QButtonGroup* mp_bgViewFileMode;
    // The view mode the list was built for.
    int m_viewMode = 0;
    // Items still to be tested and added, taken from the front in batches.
    QList<CopyItem> m_pendingItems;
    // Items that passed the tests, not yet handed to the model.
    QList<CopyItem> m_stagedRows;
    QList<CopyItem> m_planProblems;
    // Every item that passed the view-mode test since the list was cleared.
    QList<CopyItem> m_items;
    FileSystemUtils::PatternList m_filters;
    int m_rowCount = 0;
    // The shown text is the file name alone; fixed for the list until it is rebuilt.
    bool m_onlyFileNames = false;
    // The next batch; items arriving meanwhile join it.
    QTimer m_batchTimer;
    // The batches load a whole list (not only live items): "Please wait..." and "Ready".
    bool m_loading = false;
};
