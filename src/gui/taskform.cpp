#include "taskform.h"

#include "app/appsettings.h"
#include "engine/runcontroller.h"
#include "fs/pathutils.h"
#include "mainwindowrules.h"
#include "ui_guimainwindow.h"

#include <QAction>
#include <QButtonGroup>

TaskForm::TaskForm(Ui::GuiMainWindow* ui, RunController* controller, QObject* parent)
    : QObject(parent), mp_ui(ui), mp_controller(controller)
{
    mp_bgOverwriteMode = new QButtonGroup(this);
    mp_bgOverwriteMode->setExclusive(true);
    mp_bgOverwriteMode->addButton(mp_ui->mp_rbNoOverwrite, CopyOptions::NoOverwrite);
    mp_bgOverwriteMode->addButton(mp_ui->mp_rbOverwriteOlderExistings, CopyOptions::OverwriteOlder);
    mp_bgOverwriteMode->addButton(mp_ui->mp_rbOverwriteExistings, CopyOptions::OverwriteAlways);
    mp_bgOverwriteMode->addButton(mp_ui->mp_rbAutoRenameExistings, CopyOptions::AutoRename);
    mp_bgOverwriteMode->addButton(mp_ui->mp_rbOverwriteDifferentExistings,
                                  CopyOptions::OverwriteDifferent);
    mp_bgOverwriteMode->addButton(mp_ui->mp_rbOverwriteContentExistings,
                                  CopyOptions::OverwriteContent);
    mp_bgDestinationMode = new QButtonGroup(this);
    mp_bgDestinationMode->setExclusive(true);
    mp_bgDestinationMode->addButton(mp_ui->mp_rbDestinationCollate, CopyOptions::Collate);
    mp_bgDestinationMode->addButton(mp_ui->mp_rbDestinationNormal, CopyOptions::Normal);

    mp_ui->mp_leFrom->setClearButtonEnabled(true);
    mp_ui->mp_leTo->setClearButtonEnabled(true);
    // The separator and the escape are the command line's (README, "Filters").
    const QString filterTip =
        tr("Patterns separated by commas: *.jpg, *.tiff. \"photos/\" is every folder named "
           "photos with all in it, \"photos/*.jpg\" the JPEG files right in one; \"a\\,b.txt\" "
           "is the file a,b.txt.");
    mp_ui->mp_leCopyFilters->setToolTip(filterTip);
    mp_ui->mp_leSkipFilters->setToolTip(filterTip);
    connect(mp_ui->mp_pbClearCopyFilters, &QPushButton::clicked, mp_ui->mp_leCopyFilters,
            &QLineEdit::clear);
    connect(mp_ui->mp_pbClearSkipFilters, &QPushButton::clicked, mp_ui->mp_leSkipFilters,
            &QLineEdit::clear);
    connect(mp_ui->mp_pbClearSkipErrors, &QPushButton::clicked, mp_ui->mp_leSkipErrorFilters,
            &QLineEdit::clear);
}

QString TaskForm::fromPath() const
{
    return FileSystemUtils::normalizePath(mp_ui->mp_leFrom->text());
}

QString TaskForm::toPath() const
{
    return FileSystemUtils::normalizePath(mp_ui->mp_leTo->text());
}

void TaskForm::setPaths(const QString& from, const QString& to)
{
    mp_ui->mp_leFrom->setText(from);
    mp_ui->mp_leTo->setText(to);
}

QStringList TaskForm::filtersFromLineEdit(const QLineEdit* lineEdit)
{
    return FileSystemUtils::patternsFromText(lineEdit->text());
}

Task TaskForm::task() const
{
    Task task;
    task.m_sourcePath = fromPath();
    task.m_destinationPath = toPath();
    CopyOptions& options = task.m_options;
    options.m_copyHiddenFiles = mp_ui->mp_cbCopyHiddenFiles->isChecked();
    const int overwrite = mp_bgOverwriteMode->checkedId();
    options.m_overwriteMode =
        overwrite >= 0 && overwrite <= CopyOptions::OverwriteContent ? overwrite : 0;
    options.m_copyFilters = filtersFromLineEdit(mp_ui->mp_leCopyFilters);
    options.m_skipFilters = filtersFromLineEdit(mp_ui->mp_leSkipFilters);
    options.m_skipErrorOnFiles = filtersFromLineEdit(mp_ui->mp_leSkipErrorFilters);
    options.m_recursive = mp_ui->mp_cbRecursive->isChecked();
    options.m_copySymbolicLinks = mp_ui->mp_cbCopySymbolicLinks->isChecked();
    options.m_copyEmptyFolders = mp_ui->mp_cbCopyEmptyFolders->isChecked();
    options.m_verifyCopies = mp_ui->mp_cbVerifyCopies->isChecked();
    options.m_ignoreCase = m_ignoreCase;
    const int destinationMode = mp_bgDestinationMode->checkedId();
    options.m_destinationMode =
        destinationMode == 0 || destinationMode == 1 ? destinationMode : CopyOptions::Normal;
    task.updateName();
    return task;
}

void TaskForm::showTask(const Task& task)
{
    const CopyOptions& options = task.m_options;
    mp_ui->mp_leFrom->setText(task.m_sourcePath);
    mp_ui->mp_leTo->setText(task.m_destinationPath);
    mp_ui->mp_rbDestinationNormal->setChecked(options.m_destinationMode == CopyOptions::Normal);
    mp_ui->mp_rbDestinationCollate->setChecked(options.m_destinationMode == CopyOptions::Collate);
    mp_ui->mp_cbRecursive->setChecked(options.m_recursive);
    mp_ui->mp_cbCopyHiddenFiles->setChecked(options.m_copyHiddenFiles);
    mp_ui->mp_cbCopySymbolicLinks->setChecked(options.m_copySymbolicLinks);
    mp_ui->mp_cbCopyEmptyFolders->setChecked(options.m_copyEmptyFolders);
    mp_ui->mp_cbVerifyCopies->setChecked(options.m_verifyCopies);
    m_ignoreCase = options.m_ignoreCase;
    mp_ui->mp_leCopyFilters->setText(options.m_copyFilters.join(QStringLiteral(", ")));
    mp_ui->mp_leSkipFilters->setText(options.m_skipFilters.join(QStringLiteral(", ")));
    mp_ui->mp_leSkipErrorFilters->setText(options.m_skipErrorOnFiles.join(QStringLiteral(", ")));
    if (QAbstractButton* button = mp_bgOverwriteMode->button(options.m_overwriteMode))
        button->setChecked(true);
    updateOptionWidgets();
    emit taskShown();
}

void TaskForm::newTask()
{
    showTask(Task());
    mp_ui->mp_leFrom->setFocus();
}

void TaskForm::addRecentTask(const Task& task)
{
    AppSettings* settings = AppSettings::instance();
    settings->setRecentTasks(MainWindowRules::recentTasksWith(settings->recentTasks(), task));
    settings->save();
}

void TaskForm::updateOptionWidgets()
{
    const AppSettings* settings = AppSettings::instance();
    const MainWindowRules::OptionRules rules = MainWindowRules::optionRules(
        settings->useExternalCopyProgram(), settings->skipBuildListForExternalProgram());
    const QString externalTip =
        tr("This option is not available when external program is used to copy");
    const auto apply = [&externalTip](QWidget* widget, bool enabled) {
        widget->setEnabled(enabled);
        widget->setToolTip(enabled ? QString() : externalTip);
    };
    apply(mp_ui->mp_gbCopyOptions, rules.copyOptionsEnabled);
    apply(mp_ui->mp_gbFilters, rules.filtersEnabled);
    apply(mp_ui->mp_gbOverwriteModeOptions, rules.overwriteModeEnabled);
    // An external program's copy is not read back.
    mp_ui->mp_cbVerifyCopies->setEnabled(rules.overwriteModeEnabled);
    apply(mp_ui->mp_gbDestinationMode, true);
    apply(mp_ui->mp_pbStartMove, true);
    mp_ui->mp_pbFixErrors->setEnabled(!mp_controller->errorItems().isEmpty() &&
                                      mp_controller->isFileListCompleted());
    mp_ui->mp_pbFixErrors->setToolTip(QString());
}

void TaskForm::setRunControlsEnabled(bool running)
{
    m_running = running;
    applyLocks();
}

void TaskForm::setLocked(bool locked)
{
    m_locks += locked ? 1 : -1;
    applyLocks();
}

void TaskForm::applyLocks()
{
    const bool locked = m_running || m_locks > 0;
    for (QAction* action : qAsConst(m_taskActions))
        action->setEnabled(!locked);
    mp_ui->mp_pbStop->setEnabled(m_running);
    mp_ui->mp_pbPause->setEnabled(m_running);
    mp_ui->mp_pbStart->setEnabled(!locked);
    mp_ui->mp_pbVerify->setEnabled(!locked);
    mp_ui->mp_pbCheckFirst->setEnabled(!locked);
    mp_ui->mp_gbPaths->setEnabled(!locked);
    if (locked) {
        mp_ui->mp_pbStartMove->setEnabled(false);
        mp_ui->mp_pbFixErrors->setEnabled(false);
        for (QWidget* group : {static_cast<QWidget*>(mp_ui->mp_gbOverwriteModeOptions),
                               static_cast<QWidget*>(mp_ui->mp_gbCopyOptions),
                               static_cast<QWidget*>(mp_ui->mp_gbFilters),
                               static_cast<QWidget*>(mp_ui->mp_gbDestinationMode)})
            group->setEnabled(false);
    } else {
        updateOptionWidgets();
    }
}
