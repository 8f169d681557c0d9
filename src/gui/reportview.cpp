#include "reportview.h"

#include "app/appsettings.h"
#include "app/programidentity.h"
#include "desktopactions.h"
#include "dialogs.h"
#include "engine/runcontroller.h"
#include "filelistmodel.h"
#include "model/externalprogramsettings.h"
#include "runpresenter.h"
#include "taskform.h"
#include "ui_guimainwindow.h"
#include "windowseams.h"

#include <QButtonGroup>
#include <QCursor>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QSaveFile>
#include <QSet>

namespace {

// During a run the list takes a few rows per turn of the event loop, with a pause between
// turns, so that it leaves the processors to the copy. Otherwise (a list loaded or filtered
// after the run) it takes as many as fit in a short turn: a hundred thousand rows in well
// under a second, while the window goes on answering.
const int BatchSize = 337;
const int BatchPauseMs = 100;
const qint64 IdleTurnNs = 12 * 1000 * 1000;
const int StagedRowsMax = 25000;

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

ReportView::ReportView(Ui::GuiMainWindow* ui, WindowSeams* seams, RunController* controller,
                       const RunPresenter* run, DesktopActions* desktop, TaskForm* form,
                       QObject* parent)
    : QObject(parent), mp_ui(ui), mp_seams(seams), mp_controller(controller), mp_run(run),
      mp_desktop(desktop), mp_form(form)
{
    mp_bgViewFileMode = new QButtonGroup(this);
    const QList<QRadioButton*> viewButtons{mp_ui->mp_rbViewNone,    mp_ui->mp_rbViewUnprocessed,
                                           mp_ui->mp_rbViewErrors,  mp_ui->mp_rbViewSkipped,
                                           mp_ui->mp_rbViewCopied,  mp_ui->mp_rbViewChecked,
                                           mp_ui->mp_rbViewFolders, mp_ui->mp_rbViewProblems};
    for (int id = 0; id < viewButtons.size(); ++id)
        mp_bgViewFileMode->addButton(viewButtons.at(id), id);
    mp_ui->mp_rbViewNone->setChecked(true);

    mp_model = new FileListModel(this);
    QTreeView* view = mp_ui->mp_twFiles;
    view->setModel(mp_model);
    view->setUniformRowHeights(true);
    QHeaderView* header = view->header();
    header->setStretchLastSection(true);
    header->resizeSection(FileListModel::FileColumn, 380);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    // Sorted only when asked: rows otherwise keep the order in which they came.
    connect(header, &QHeaderView::sectionClicked, this, [this](int section) {
        mp_model->sort(section, mp_ui->mp_twFiles->header()->sortIndicatorOrder());
    });
    connect(view, &QWidget::customContextMenuRequested, this, [this](const QPoint& point) {
        if (mp_model->rowCount() == 0)
            return;
        const QModelIndex index = mp_ui->mp_twFiles->indexAt(point);
        const std::unique_ptr<QMenu> menu = createMenu(index.isValid() ? index.row() : -1);
        menu->exec(QCursor::pos());
    });
    // Toggled, not clicked: a screen reader's toggle action, like a click or the keyboard,
    // picks the list.
    connect(mp_bgViewFileMode, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked && id != m_viewMode)
            updateList();
    });
    connect(mp_ui->mp_pbApplyFilter, &QPushButton::clicked, this, &ReportView::applyNameFilter);
    connect(mp_ui->mp_leFilterName, &QLineEdit::returnPressed, this, &ReportView::applyNameFilter);
    connect(mp_controller, &RunController::errorOccurred, this, &ReportView::queueItem);
    connect(mp_controller, &RunController::copyCompleted, this, [this](const CopyItem& item) {
        if (!item.source_path.isEmpty() && !item.destination_path.isEmpty())
            queueItem(item);
    });
    connect(mp_controller, &RunController::copyListCompleted, this,
            &ReportView::onCopyListCompleted);
    connect(&m_batchTimer, &QTimer::timeout, this, &ReportView::processBatch);
    m_batchTimer.setSingleShot(true);
    reset();
}

ReportView::~ReportView() = default;

void ReportView::reset()
{
    mp_ui->mp_rbViewNone->setChecked(true);
    m_viewMode = 0;
    clearList();
}

void ReportView::clearList()
{
    m_onlyFileNames = AppSettings::instance()->viewOnlyFileNames();
    mp_model->clear(m_onlyFileNames);
    mp_ui->mp_twFiles->header()->setSortIndicator(-1, Qt::AscendingOrder);
    m_rowCount = 0;
    m_items.clear();
    m_pendingItems.clear();
    m_stagedRows.clear();
    m_loading = false;
    updateTabTitle();
}

bool ReportView::isShownInViewMode(const CopyItem& item, int mode)
{
    if (mode == 0)
        return false;
    if (item.isError())
        return mode == 2;
    // A folder a filter left out was never made: it stands with the files left out.
    if (item.is_folder)
        return mode == (item.filtered_by.isEmpty() ? 6 : 3);
    if (item.is_checked)
        return mode == 5;
    switch (item.copy_state) {
    case ::Unprocessed:
        return mode == 1;
    case ::Skipped:
        return mode == 3;
    case ::Copied:
        return mode == 4;
    default:
        return false;
    }
}

bool ReportView::addItemToView(const CopyItem& item, QList<CopyItem>* rows)
{
    // The problems list holds only what the check found, never a run's items.
    if (m_viewMode != ProblemsMode && !isShownInViewMode(item, m_viewMode))
        return false;
    m_items.append(item);
    if (!m_filters.isEmpty() && !FileSystemUtils::matchesAnyPattern(
                                    FileListModel::shownText(item, m_onlyFileNames), m_filters))
        return false;
    rows->append(item);
    return true;
}

QString ReportView::tabTitle() const
{
    static const char* const words[] = {QT_TR_NOOP("Report"),  QT_TR_NOOP("Unprocessed"),
                                        QT_TR_NOOP("Errors"),  QT_TR_NOOP("Skipped"),
                                        QT_TR_NOOP("Copied"),  QT_TR_NOOP("Checked"),
                                        QT_TR_NOOP("Folders"), QT_TR_NOOP("Problems")};
    const int mode = mp_bgViewFileMode->checkedId();
    const QString word = tr(words[mode >= 1 && mode <= ProblemsMode ? mode : 0]);
    const int total = m_items.size() + m_pendingItems.size();
    if (total == m_rowCount)
        return m_rowCount == 0 ? word : word + QStringLiteral(" (%1)").arg(m_rowCount);
    return word + QStringLiteral(" (%1 -> %2)").arg(m_rowCount).arg(total);
}

void ReportView::updateTabTitle()
{
    mp_ui->mp_twMain->setTabText(mp_ui->mp_twMain->indexOf(mp_ui->mp_tabFiles), tabTitle());
}

void ReportView::startBatches(int delay)
{
    // A batch already waiting takes the new items too; a list to load does not wait for it.
    if (!m_batchTimer.isActive() || delay < m_batchTimer.remainingTime())
        m_batchTimer.start(delay);
}

void ReportView::queueItem(const CopyItem& item)
{
    // Only what the chosen category shows is kept, so that a run seen under "None", or a
    // category with few items, costs no memory.
    if (!isShownInViewMode(item, m_viewMode))
        return;
    m_pendingItems.append(item);
    // Items come in bursts of thousands: they are added in the batches, never one by one.
    startBatches(BatchPauseMs);
}

void ReportView::onCopyListCompleted(const QList<CopyItem>& items)
{
    if (items.isEmpty() || m_viewMode == 0 || m_viewMode == ProblemsMode)
        return;
    // Shared, not copied: the batches test the items.
    m_pendingItems += items;
    updateTabTitle();
    // While a run goes on the status line is the run's, and its outcome must stay there.
    if (!mp_run->isRunning())
        m_loading = true;
    startBatches(0);
}

void ReportView::processBatch()
{
    const bool running = mp_run->isRunning();
    QElapsedTimer clock;
    clock.start();
    for (int taken = 1; !m_pendingItems.isEmpty(); ++taken) {
        addItemToView(m_pendingItems.takeFirst(), &m_stagedRows);
        if (running ? taken >= BatchSize : taken % 64 == 0 && clock.nsecsElapsed() >= IdleTurnNs)
            break;
    }
    // Each append makes the view lay out all its rows again: after a run, rows are handed
    // over in a few large steps rather than in every turn.
    if (running || m_pendingItems.isEmpty() || m_stagedRows.size() >= StagedRowsMax) {
        mp_model->append(m_stagedRows.toVector());
        m_rowCount += m_stagedRows.size();
        m_stagedRows.clear();
        updateTabTitle();
    }
    if (!m_pendingItems.isEmpty()) {
        if (m_loading)
            mp_seams->setStatusText(tr("Please wait") + QStringLiteral("..."));
        startBatches(running ? BatchPauseMs : 0);
    } else if (m_loading) {
        m_loading = false;
        mp_seams->setStatusText(tr("Ready"));
    }
}

void ReportView::updateList()
{
    m_viewMode = mp_bgViewFileMode->checkedId();
    clearList();
    QList<CopyItem> items;
    switch (m_viewMode) {
    case 0:
        return;
    case 1:
        items = mp_controller->unprocessedItems();
        break;
    case 2:
        items = mp_controller->errorItems();
        break;
    case 3:
        items = mp_controller->skippedItems();
        break;
    case 4:
        items = mp_controller->copiedItems();
        break;
    case 5:
        items = mp_controller->checkedItems();
        break;
    case 6:
        items = mp_controller->folderItems();
        break;
    case ProblemsMode:
        items = m_planProblems;
        break;
    default:
        items = mp_controller->completedItems();
        break;
    }
    if (items.isEmpty()) {
        mp_seams->setStatusText(tr("No item found"));
        return;
    }
    m_pendingItems = items;
    updateTabTitle();
    m_loading = true;
    startBatches(0);
}

void ReportView::applyNameFilter()
{
    if (m_items.isEmpty() && m_pendingItems.isEmpty())
        return;
    QStringList patterns = FileSystemUtils::patternsFromText(mp_ui->mp_leFilterName->text());
    // A bare word is looked for anywhere in the name.
    for (QString& pattern : patterns) {
        if (!pattern.contains(QLatin1Char('*')))
            pattern = QStringLiteral("*%1*").arg(pattern);
    }
    m_filters = FileSystemUtils::compileWildcardPatterns(patterns);
    // Every item seen so far is tested again, those still waiting after them.
    m_pendingItems = m_items + m_pendingItems;
    m_items.clear();
    m_stagedRows.clear();
    m_rowCount = 0;
    mp_model->clear(m_onlyFileNames);
    mp_ui->mp_twFiles->header()->setSortIndicator(-1, Qt::AscendingOrder);
    updateTabTitle();
    m_loading = true;
    startBatches(0);
}

void ReportView::showErrorsList()
{
    const int index = mp_ui->mp_twMain->indexOf(mp_ui->mp_tabFiles);
    mp_ui->mp_twMain->setTabVisible(index, true);
    mp_ui->mp_twMain->setCurrentIndex(index);
    if (m_viewMode != 2)
        mp_ui->mp_rbViewErrors->setChecked(true);
}

void ReportView::setPlanProblems(const QList<CopyItem>& items)
{
    m_planProblems = items;
    if (m_viewMode == ProblemsMode)
        updateList();
}

std::unique_ptr<QMenu> ReportView::createMenu(int row)
{
    auto menu = std::make_unique<QMenu>(mp_seams->window());
    if (row >= 0 && row < mp_model->rowCount()) {
        // The paths are taken now: the list may change while the menu is open.
        const QString source = mp_model->item(row).source_path;
        const QString destination = mp_model->item(row).destination_path;
        menu->addAction(imageIcon("ViewFromFolder"), withEllipsis(tr("Open source folder")), this,
                        [this, source] { mp_desktop->showPathInFolder(source); });
        menu->addAction(imageIcon("ViewToFolder"), withEllipsis(tr("Open destination folder")),
                        this, [this, destination] { mp_desktop->showPathInFolder(destination); });
        menu->addSeparator();
        QAction* addToTask = menu->addAction(
            imageIcon("Path"), withEllipsis(tr("Add to task")), this, [this, source, destination] {
                if (mp_run->isRunning() || !mp_controller->isTaskCompleted())
                    return;
                mp_form->setPaths(QDir::toNativeSeparators(source),
                                  QDir::toNativeSeparators(QFileInfo(destination).path()));
                mp_ui->mp_twMain->setCurrentIndex(0);
            });
        // A run counts from its button on, before the copy task has started it.
        addToTask->setEnabled(mp_controller->isTaskCompleted() && !mp_run->isRunning());
        menu->addSeparator();
    }
    menu->addAction(imageIcon("Log"), tr("Export all items to file"), this,
                    &ReportView::exportItems);
    menu->addSeparator();
    QAction* onlyNames = menu->addAction(tr("Show only filenames"));
    onlyNames->setCheckable(true);
    onlyNames->setChecked(AppSettings::instance()->viewOnlyFileNames());
    connect(onlyNames, &QAction::toggled, this, [this](bool checked) {
        AppSettings::instance()->setViewOnlyFileNames(checked);
        QTimer::singleShot(0, this, &ReportView::updateList);
    });
    menu->addSeparator();
    menu->addAction(imageIcon("CloseMenu"), tr("Close menu"));
    return menu;
}

void ReportView::exportItems()
{
    const int rows = mp_model->rowCount();
    if (rows == 0)
        return;
    const int answer = mp_seams->ask(
        Dialogs::Question, tr("Do you want to export as copy script or just as list of files?"),
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
        // A copier makes no folders: each folder is made before the first copy into it.
        QSet<QString> made;
        const auto makeFolder = [&lines, &made](const QString& folder) {
            if (!made.contains(folder)) {
                made.insert(folder);
                lines << QStringLiteral("mkdir -p -- ") +
                             ExternalProgramSettings::shellQuoted(folder);
            }
        };
        for (int row = 0; row < rows; ++row) {
            const CopyItem& item = mp_model->item(row);
            if (item.is_folder) {
                makeFolder(item.destination_path);
                continue;
            }
            makeFolder(QFileInfo(item.destination_path).path());
            lines << ExternalProgramSettings::commandLine(program, item.source_path,
                                                          item.destination_path);
        }
    } else {
        for (int row = 0; row < rows; ++row) {
            const QString& source = mp_model->item(row).source_path;
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
            mp_seams->warn(leftOutText);
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
        mp_seams->warn(leftOutText);
    if (mp_seams->ask(Dialogs::Information, tr("%1 is saved.").arg(path), {tr("View"), tr("Close")},
                      0, 1) == 0)
        mp_desktop->showPathInFolder(path);
}

bool ReportView::saveLinesToFile(const QStringList& lines, const QString& nameFilter, QString* path)
{
    path->clear();
    const QString name =
        mp_seams->dialogs()->saveFileName(mp_seams->window(), ProgramIdentity::programName(),
                                          AppSettings::instance()->dataFolder(), nameFilter);
    if (name.isEmpty())
        return false;
    QByteArray content;
    // As names: a byte of a name that is not UTF-8 is written as that byte.
    for (const QString& line : lines)
        content += QFile::encodeName(line) + '\n';
    const QString error = writeFileContent(name, content);
    if (!error.isEmpty()) {
        qWarning() << "Unable to write file" << qUtf8Printable(name) << qUtf8Printable(error);
        mp_seams->warn(tr("Unable to save %1: %2").arg(name, error));
        return false;
    }
    *path = name;
    return true;
}
