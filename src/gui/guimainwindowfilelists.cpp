// The main window's "Report" tab: the items of the current or last run by category, their
// name filter, context menu and export; and the "Recent paths" menu.
#include "guimainwindow.h"

#include "app/appsettings.h"
#include "app/programidentity.h"
#include "dialogs.h"
#include "engine/copytask.h"
#include "filelistmodel.h"
#include "model/externalprogramsettings.h"
#include "ui_guimainwindow.h"

#include <QButtonGroup>
#include <QCursor>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QSaveFile>

namespace {

// Rows added in one turn of the event loop, and the pause between turns: a long list
// fills while the window goes on answering.
const int ViewBatchSize = 337;
const int ViewBatchPauseMs = 100;

QString withEllipsis(const QString& text)
{
    return text + QStringLiteral("...");
}

QIcon imageIcon(const char* name)
{
    return QIcon(QStringLiteral(":/images/%1.png").arg(QLatin1String(name)));
}

// Writes data into the file, replacing its content; an error text, empty on success. A
// regular file is replaced only once the new content is complete, so a full disk leaves
// the old file as it was; anything else (a device, a pipe) is written in place.
QString writeFileContent(const QString& path, const QByteArray& data)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return file.errorString();
        if (file.write(data) != data.size() || !file.flush())
            return file.errorString();
        file.close();
        return file.error() == QFileDevice::NoError ? QString() : file.errorString();
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(data) != data.size() || !file.commit())
        return file.errorString();
    return QString();
}

} // namespace

void GuiMainWindow::setUpFileLists()
{
    mp_fileListModel = new FileListModel(this);
    QTreeView* view = mp_ui->mp_twFiles;
    view->setModel(mp_fileListModel);
    view->setUniformRowHeights(true);
    QHeaderView* header = view->header();
    header->setStretchLastSection(true);
    header->resizeSection(FileListModel::FileColumn, 380);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    // Sorted only when asked: rows otherwise keep the order in which they came.
    connect(header, &QHeaderView::sectionClicked, this, [this](int section) {
        mp_fileListModel->sort(section, mp_ui->mp_twFiles->header()->sortIndicatorOrder());
    });
    connect(view, &QWidget::customContextMenuRequested, this,
            &GuiMainWindow::onViewFileListContextMenuRequested);
    connect(mp_bgViewFileMode, &QButtonGroup::idClicked, this,
            &GuiMainWindow::onViewFileListButtonClicked);
    connect(mp_ui->mp_pbApplyFilter, &QPushButton::clicked, this,
            &GuiMainWindow::onViewFileListApplyFilterClicked);
    connect(mp_ui->mp_leFilterName, &QLineEdit::returnPressed, this,
            &GuiMainWindow::onViewFileListApplyFilterClicked);
    connect(mp_copyTask, &CopyTask::errorOccurred, this, &GuiMainWindow::onErrorOccurred);
    connect(mp_copyTask, &CopyTask::copyListCompleted, this, &GuiMainWindow::onCopyListCompleted);
    connect(&m_viewBatchTimer, &QTimer::timeout, this,
            &GuiMainWindow::processCopyItemsToShowInViewFileList);
    m_viewBatchTimer.setSingleShot(true);
    resetViewFileList();
}

void GuiMainWindow::resetViewFileList()
{
    mp_ui->mp_rbViewNone->setChecked(true);
    m_viewMode = 0;
    clearViewFileList();
}

void GuiMainWindow::clearViewFileList()
{
    m_viewOnlyFileNames = AppSettings::instance()->viewOnlyFileNames();
    mp_fileListModel->clear(m_viewOnlyFileNames);
    mp_ui->mp_twFiles->header()->setSortIndicator(-1, Qt::AscendingOrder);
    m_viewRowCount = 0;
    m_viewItems.clear();
    m_pendingViewItems.clear();
    m_viewLoading = false;
    updateViewTabTitle();
}

bool GuiMainWindow::isShownInViewMode(const CopyItem& item, int mode)
{
    if (mode == 0)
        return false;
    if (item.isError())
        return mode == 2;
    if (item.is_folder)
        return mode == 6;
    if (item.is_checked)
        return mode == 5;
    switch (item.copy_state) {
    case Unprocessed:
        return mode == 1;
    case Skipped:
        return mode == 3;
    case Copied:
        return mode == 4;
    default:
        return false;
    }
}

bool GuiMainWindow::addItemToView(const CopyItem& item, QList<CopyItem>* rows)
{
    if (!isShownInViewMode(item, m_viewMode))
        return false;
    m_viewItems.append(item);
    if (!m_viewFilters.isEmpty() &&
        !FileSystemUtils::matchesAnyPattern(FileListModel::shownText(item, m_viewOnlyFileNames),
                                            m_viewFilters))
        return false;
    rows->append(item);
    return true;
}

QString GuiMainWindow::viewTabTitle() const
{
    static const char* const words[] = {QT_TR_NOOP("Report"), QT_TR_NOOP("Unprocessed"),
                                        QT_TR_NOOP("Errors"), QT_TR_NOOP("Skipped"),
                                        QT_TR_NOOP("Copied"), QT_TR_NOOP("Checked"),
                                        QT_TR_NOOP("Folders")};
    const int mode = mp_bgViewFileMode->checkedId();
    const QString word = tr(words[mode >= 1 && mode <= 6 ? mode : 0]);
    const int total = m_viewItems.size() + m_pendingViewItems.size();
    if (total == m_viewRowCount)
        return m_viewRowCount == 0 ? word : word + QStringLiteral(" (%1)").arg(m_viewRowCount);
    return word + QStringLiteral(" (%1 -> %2)").arg(m_viewRowCount).arg(total);
}

void GuiMainWindow::updateViewTabTitle()
{
    mp_ui->mp_twMain->setTabText(mp_ui->mp_twMain->indexOf(mp_ui->mp_tabFiles), viewTabTitle());
}

void GuiMainWindow::startViewBatches(int delay)
{
    // A batch already waiting takes the new items too; a list to load does not wait for it.
    if (!m_viewBatchTimer.isActive() || delay < m_viewBatchTimer.remainingTime())
        m_viewBatchTimer.start(delay);
}

void GuiMainWindow::queueItemForView(const CopyItem& item)
{
    // Only what the chosen category shows is kept, so that a run seen under "None", or a
    // category with few items, costs no memory.
    if (!isShownInViewMode(item, m_viewMode))
        return;
    m_pendingViewItems.append(item);
    // Items come in bursts of thousands: they are added in the batches, never one by one.
    startViewBatches(ViewBatchPauseMs);
}

void GuiMainWindow::onCopyCompletedForView(const CopyItem& item)
{
    if (!item.source_path.isEmpty() && !item.destination_path.isEmpty())
        queueItemForView(item);
}

void GuiMainWindow::onErrorOccurred(const CopyItem& item)
{
    queueItemForView(item);
}

void GuiMainWindow::onCopyListCompleted(const QList<CopyItem>& items)
{
    if (items.isEmpty() || m_viewMode == 0)
        return;
    // Shared, not copied: the batches test the items.
    m_pendingViewItems += items;
    updateViewTabTitle();
    // While a run goes on the status line is the run's, and its outcome must stay there.
    if (!isRunning())
        m_viewLoading = true;
    startViewBatches(0);
}

void GuiMainWindow::processCopyItemsToShowInViewFileList()
{
    QList<CopyItem> rows;
    for (int taken = 0; taken < ViewBatchSize && !m_pendingViewItems.isEmpty(); ++taken)
        addItemToView(m_pendingViewItems.takeFirst(), &rows);
    mp_fileListModel->append(rows.toVector());
    m_viewRowCount += rows.size();
    updateViewTabTitle();
    if (!m_pendingViewItems.isEmpty()) {
        if (m_viewLoading)
            setStatusText(tr("Please wait") + QStringLiteral("..."));
        startViewBatches(ViewBatchPauseMs);
    } else if (m_viewLoading) {
        m_viewLoading = false;
        setStatusText(tr("Ready"));
    }
}

void GuiMainWindow::onViewFileListButtonClicked(int id)
{
    if (id != m_viewMode)
        updateViewFileList();
}

void GuiMainWindow::updateViewFileList()
{
    m_viewMode = mp_bgViewFileMode->checkedId();
    clearViewFileList();
    QList<CopyItem> items;
    switch (m_viewMode) {
    case 0:
        return;
    case 1:
        items = mp_copyTask->unprocessedItems();
        break;
    case 2:
        items = mp_copyTask->errorItems();
        break;
    case 3:
        items = mp_copyTask->skippedItems();
        break;
    case 4:
        items = mp_copyTask->copiedItems();
        break;
    case 5:
        items = mp_copyTask->checkedItems();
        break;
    case 6:
        items = mp_copyTask->folderItems();
        break;
    default:
        items = mp_copyTask->completedItems();
        break;
    }
    if (items.isEmpty()) {
        setStatusText(tr("No item found"));
        return;
    }
    m_pendingViewItems = items;
    updateViewTabTitle();
    m_viewLoading = true;
    startViewBatches(0);
}

void GuiMainWindow::onViewFileListApplyFilterClicked()
{
    if (m_viewItems.isEmpty() && m_pendingViewItems.isEmpty())
        return;
    QStringList patterns = FileSystemUtils::patternsFromText(mp_ui->mp_leFilterName->text());
    // A bare word is looked for anywhere in the name.
    for (QString& pattern : patterns) {
        if (!pattern.contains(QLatin1Char('*')))
            pattern = QStringLiteral("*%1*").arg(pattern);
    }
    m_viewFilters = FileSystemUtils::compileWildcardPatterns(patterns);
    // Every item seen so far is tested again, those still waiting after them.
    m_pendingViewItems = m_viewItems + m_pendingViewItems;
    m_viewItems.clear();
    m_viewRowCount = 0;
    mp_fileListModel->clear(m_viewOnlyFileNames);
    mp_ui->mp_twFiles->header()->setSortIndicator(-1, Qt::AscendingOrder);
    updateViewTabTitle();
    m_viewLoading = true;
    startViewBatches(0);
}

std::unique_ptr<QMenu> GuiMainWindow::createViewFileListMenu(int row)
{
    auto menu = std::make_unique<QMenu>(this);
    if (row >= 0 && row < mp_fileListModel->rowCount()) {
        // The paths are taken now: the list may change while the menu is open.
        const QString source = mp_fileListModel->item(row).source_path;
        const QString destination = mp_fileListModel->item(row).destination_path;
        menu->addAction(imageIcon("ViewFromFolder"), withEllipsis(tr("Open source folder")), this,
                        [this, source] { showPathInFolder(source); });
        menu->addAction(imageIcon("ViewToFolder"), withEllipsis(tr("Open destination folder")),
                        this, [this, destination] { showPathInFolder(destination); });
        menu->addSeparator();
        QAction* addToTask = menu->addAction(
            imageIcon("Path"), withEllipsis(tr("Add to task")), this, [this, source, destination] {
                if (isRunning() || !mp_copyTask->isTaskCompleted())
                    return;
                mp_ui->mp_leFrom->setText(QDir::toNativeSeparators(source));
                mp_ui->mp_leTo->setText(QDir::toNativeSeparators(QFileInfo(destination).path()));
                mp_ui->mp_twMain->setCurrentIndex(0);
            });
        // A run counts from its button on, before the copy task has started it.
        addToTask->setEnabled(mp_copyTask->isTaskCompleted() && !isRunning());
        menu->addSeparator();
    }
    menu->addAction(imageIcon("Log"), tr("Export all items to file"), this,
                    &GuiMainWindow::exportViewItems);
    menu->addSeparator();
    QAction* onlyNames = menu->addAction(tr("Show only filenames"));
    onlyNames->setCheckable(true);
    onlyNames->setChecked(AppSettings::instance()->viewOnlyFileNames());
    connect(onlyNames, &QAction::toggled, this, [this](bool checked) {
        AppSettings::instance()->setViewOnlyFileNames(checked);
        QTimer::singleShot(0, this, &GuiMainWindow::updateViewFileList);
    });
    menu->addSeparator();
    menu->addAction(imageIcon("CloseMenu"), tr("Close menu"));
    return menu;
}

void GuiMainWindow::onViewFileListContextMenuRequested(const QPoint& point)
{
    if (mp_fileListModel->rowCount() == 0)
        return;
    const QModelIndex index = mp_ui->mp_twFiles->indexAt(point);
    const std::unique_ptr<QMenu> menu = createViewFileListMenu(index.isValid() ? index.row() : -1);
    menu->exec(QCursor::pos());
}

void GuiMainWindow::exportViewItems()
{
    const int rows = mp_fileListModel->rowCount();
    if (rows == 0)
        return;
    const int answer =
        ask(Dialogs::Question, tr("Do you want to export as copy script or just as list of files?"),
            {tr("As script"), tr("As list"), tr("Cancel")}, 0, 2);
    if (answer != 0 && answer != 1)
        return;
    const bool script = answer == 0;
    QStringList lines;
    int leftOut = 0;
    if (script) {
        // Every argument is quoted for the shell: no name can run a command of its own.
        const ExternalProgramSettings program = AppSettings::instance()->externalProgram();
        lines << QStringLiteral("#!/bin/sh") << QStringLiteral("set -e");
        for (int row = 0; row < rows; ++row) {
            const CopyItem& item = mp_fileListModel->item(row);
            lines << ExternalProgramSettings::commandLine(program, item.source_path,
                                                          item.destination_path);
        }
    } else {
        for (int row = 0; row < rows; ++row) {
            const QString& source = mp_fileListModel->item(row).source_path;
            // Such a path would read as two lines.
            if (source.contains(QLatin1Char('\n')))
                ++leftOut;
            else
                lines << source;
        }
    }
    const QString leftOutText =
        tr("%1 paths contain a line break and are left out of the list.").arg(leftOut);
    if (lines.isEmpty()) {
        if (leftOut > 0)
            warn(leftOutText);
        return;
    }
    QString path;
    if (!saveLinesToFile(lines, script ? tr("Shell scripts (*.sh)") : tr("Text files (*.txt)"),
                         &path))
        return;
    if (script) {
        // Only a file of its own becomes executable, never a device written through.
        QFile file(path);
        if (!QFileInfo(path).isFile() ||
            !file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser))
            qWarning() << "Unable to set executable permission on file:" << qUtf8Printable(path);
    }
    if (leftOut > 0)
        warn(leftOutText);
    if (ask(Dialogs::Information, tr("%1 is saved.").arg(path), {tr("View"), tr("Close")}, 0, 1) ==
        0)
        showPathInFolder(path);
}

bool GuiMainWindow::saveLinesToFile(const QStringList& lines, const QString& nameFilter,
                                    QString* path)
{
    path->clear();
    const QString name = mp_dialogs->saveFileName(
        this, ProgramIdentity::programName(), AppSettings::instance()->dataFolder(), nameFilter);
    if (name.isEmpty())
        return false;
    QByteArray content;
    // As names: a byte of a name that is not UTF-8 is written as that byte.
    for (const QString& line : lines)
        content += QFile::encodeName(line) + '\n';
    const QString error = writeFileContent(name, content);
    if (!error.isEmpty()) {
        qWarning() << "Unable to write file" << qUtf8Printable(name) << qUtf8Printable(error);
        warn(tr("Unable to save %1: %2").arg(name, error));
        return false;
    }
    *path = name;
    return true;
}

// ---------------------------------------------------------------------------------------
// Recent paths

void GuiMainWindow::onRecentPathsMenuAboutToShow()
{
    QMenu* menu = mp_recentPathsMenu;
    menu->clear();
    AppSettings* settings = AppSettings::instance();
    const QList<Task> tasks = settings->recentTasks();
    for (const Task& task : tasks) {
        // An "&" in a path is text, not a keyboard accelerator.
        QString text = task.m_name;
        text.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction* action =
            menu->addAction(imageIcon("Task"), text, this, &GuiMainWindow::onRecentPathClicked);
        action->setData(task.m_name);
        action->setEnabled(!m_timer.isActive());
    }
    if (!menu->isEmpty())
        menu->addSeparator();
    QAction* clear = menu->addAction(imageIcon("Clear"), withEllipsis(tr("Clear")), this,
                                     &GuiMainWindow::onClearRecentPathsClicked);
    clear->setEnabled(!tasks.isEmpty());
    menu->addSeparator();
    QAction* save =
        menu->addAction(tr("Save recent paths"), this, &GuiMainWindow::onSaveRecentPathsClicked);
    save->setCheckable(true);
    save->setChecked(settings->saveRecent());
}

void GuiMainWindow::onRecentPathClicked()
{
    const auto* action = qobject_cast<QAction*>(sender());
    if (!action || isRunning())
        return;
    const QString name = action->data().toString();
    const QList<Task> tasks = AppSettings::instance()->recentTasks();
    for (const Task& task : tasks) {
        if (task.m_name != name)
            continue;
        setUiFromTask(task);
        mp_ui->mp_twMain->setCurrentIndex(0);
        addRecentTask(task);
        mp_ui->mp_pbStart->setFocus();
        return;
    }
    qWarning() << "Recent task" << qUtf8Printable(name) << "not found";
}

void GuiMainWindow::onClearRecentPathsClicked()
{
    AppSettings* settings = AppSettings::instance();
    const int count = settings->recentTasks().size();
    if (count == 0)
        return;
    if (ask(Dialogs::Question, tr("Do you really want to clear %1 recent paths?").arg(count),
            {tr("Yes"), tr("No")}, 1, 1) != 0)
        return;
    settings->clearRecentTasks();
    settings->save();
    qDebug() << "Recent paths are cleared";
}

void GuiMainWindow::onSaveRecentPathsClicked()
{
    const auto* action = qobject_cast<QAction*>(sender());
    if (!action)
        return;
    AppSettings::instance()->setSaveRecent(action->isChecked());
    qDebug() << "Saving recent paths option is" << (action->isChecked() ? "enabled" : "disabled");
}
