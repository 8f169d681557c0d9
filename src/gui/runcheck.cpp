#include "runcheck.h"

#include "app/appsettings.h"
#include "dialogs.h"
#include "fs/filenamecodec.h"
#include "mainwindowrules.h"
#include "reportview.h"
#include "taskform.h"
#include "windowseams.h"
#include "windowworker.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>

RunCheck::RunCheck(WindowSeams* seams, WindowWorker* worker, TaskForm* form, ReportView* report,
                   QStatusBar* statusBar, QObject* parent)
    : QObject(parent), mp_seams(seams), mp_worker(worker), mp_form(form), mp_report(report),
      mp_cancelButton(new QPushButton(tr("Cancel check"), statusBar))
{
    mp_cancelButton->setObjectName(QStringLiteral("mp_pbCancelCheck"));
    statusBar->addPermanentWidget(mp_cancelButton);
    mp_cancelButton->hide();
    connect(mp_cancelButton, &QPushButton::clicked, this, &RunCheck::cancel);
}

RunCheck::~RunCheck()
{
    if (mp_stop)
        *mp_stop = true;
}

void RunCheck::plan(const Task& task, std::function<void(const PlanReport&)> done)
{
    auto stop = std::make_shared<std::atomic<bool>>(false);
    mp_stop = stop;
    mp_form->setLocked(true);
    mp_cancelButton->show();
    mp_seams->setStatusText(tr("Checking the destination") + QStringLiteral("..."));
    const RunSettings settings = AppSettings::instance()->runSettings();
    QPointer<RunCheck> self(this);
    mp_worker->runDetached<PlanReport>(
        [task, settings, stop] {
            // Not built, it still names the task: a run goes on with it.
            PlanReport unbuilt;
            unbuilt.task = task;
            if (!QFileInfo::exists(task.m_sourcePath) && !QFileInfo(task.m_sourcePath).isSymLink())
                return unbuilt;
            RunPlan plan;
            if (!plan.build(task, settings, stop.get()))
                return unbuilt;
            return PlanReport::of(plan, task);
        },
        [self, stop, done](const PlanReport& report) {
            // A cancelled check, or one another check replaced, is left as it ends.
            if (!self || self->mp_stop != stop || *stop)
                return;
            self->m_report = report;
            self->finish();
            done(report);
            emit self->checkFinished();
        });
}

void RunCheck::finish()
{
    mp_stop.reset();
    mp_cancelButton->hide();
    mp_form->setLocked(false);
    mp_seams->setStatusText(QString());
}

void RunCheck::cancel()
{
    if (!mp_stop)
        return;
    *mp_stop = true;
    finish();
    mp_seams->setStatusText(tr("Check cancelled"));
    emit checkFinished();
}

namespace {

QString runButtonText(int copyMode)
{
    switch (copyMode) {
    case CopyOptions::Move:
        return RunCheck::tr("Move");
    case CopyOptions::Verify:
        return RunCheck::tr("Verify");
    default:
        return RunCheck::tr("Copy");
    }
}

} // namespace

void RunCheck::checkFirstFor(int copyMode)
{
    if (isChecking())
        return;
    if (mp_form->fromPath().trimmed().isEmpty() || mp_form->toPath().trimmed().isEmpty()) {
        mp_seams->setStatusText(tr("Name the source and the destination first."));
        return;
    }
    Task task = mp_form->task();
    const QString base = QDir::currentPath();
    task.m_sourcePath = MainWindowRules::absolutePath(task.m_sourcePath, base);
    task.m_destinationPath = MainWindowRules::absolutePath(task.m_destinationPath, base);
    task.m_options.m_copyMode = copyMode == CopyOptions::Move || copyMode == CopyOptions::Verify
                                    ? copyMode
                                    : CopyOptions::Copy;
    task.updateName();
    plan(task, [this](const PlanReport& report) { showFirstCheck(report); });
}

void RunCheck::showFirstCheck(const PlanReport& report)
{
    if (!report.built) {
        mp_seams->warn(tr("Unable to find '%1'.").arg(report.task.m_sourcePath));
        return;
    }
    mp_report->setPlanProblems(report.problemItems());
    Dialogs::PlanQuestion question;
    const int mode = report.task.m_options.m_copyMode;
    const QString source = FileNameCodec::visibleText(report.task.m_sourcePath);
    const QString destination = FileNameCodec::visibleText(report.task.m_destinationPath);
    question.headline =
        mode == CopyOptions::Move
            ? tr("What a move from '%1' to '%2' would do:").arg(source, destination)
        : mode == CopyOptions::Verify
            ? tr("What a verify of '%2' against '%1' would compare:").arg(source, destination)
            : tr("What a copy from '%1' to '%2' would do:").arg(source, destination);
    question.report = &m_report;
    question.buttons = QStringList{runButtonText(mode), tr("Close")};
    question.defaultButton = 1;
    question.escapeButton = 1;
    const Dialogs::PlanAnswer answer = mp_seams->dialogs()->showPlan(mp_seams->window(), question);
    if (answer.button != 0)
        return;
    m_decidedTask = report.task;
    m_decidedTask.m_options.m_fileDecisions = answer.decisions;
    emit runRequested(mode);
}

void RunCheck::checkBeforeRun(const Task& given, std::function<void(const Task&)> go)
{
    if (isChecking())
        return;
    Task task = given;
    // The decisions of "Check first" hold for the same task, whatever its mode.
    Task decided = m_decidedTask;
    decided.m_options.m_copyMode = task.m_options.m_copyMode;
    decided.m_options.m_fileDecisions = task.m_options.m_fileDecisions;
    if (decided == task)
        task.m_options.m_fileDecisions = m_decidedTask.m_options.m_fileDecisions;
    m_decidedTask = Task();
    // Fixing errors takes the last run's own list: there is no walk to plan.
    if (task.m_options.m_copyMode == CopyOptions::FixErrors) {
        go(task);
        return;
    }
    plan(task, [this, go](const PlanReport& report) { askBeforeRun(report, go); });
}

void RunCheck::askBeforeRun(const PlanReport& report, const std::function<void(const Task&)>& go)
{
    // A plan that could not be made leaves the run to find out for itself.
    if (!report.built || !report.needsQuestion()) {
        go(report.task);
        return;
    }
    mp_report->setPlanProblems(report.problemItems());
    Dialogs::PlanQuestion question;
    const int mode = report.task.m_options.m_copyMode;
    question.headline = mode == CopyOptions::Verify
                            ? tr("The check before the verify found files it cannot compare.")
                            : tr("The check before the run found problems at the destination.");
    question.report = &m_report;
    question.buttons = QStringList{mode == CopyOptions::Move     ? tr("Move anyway")
                                   : mode == CopyOptions::Verify ? tr("Verify anyway")
                                                                 : tr("Copy anyway"),
                                   tr("Cancel")};
    if (report.refusesNames())
        question.buttons << tr("Replace forbidden characters");
    question.defaultButton = 1;
    question.escapeButton = 1;
    const Dialogs::PlanAnswer answer = mp_seams->dialogs()->showPlan(mp_seams->window(), question);
    if (answer.button != 0 && answer.button != 2)
        return;
    Task task = report.task;
    task.m_options.m_fileDecisions = answer.decisions;
    if (answer.button == 2)
        task.m_options.m_replaceForbiddenNames = true;
    go(task);
}
