#include "plancheckdialog.h"

#include "app/programidentity.h"
#include "conflictlistmodel.h"
#include "planreport.h"
#include "ui_plancheckdialog.h"

#include <QHeaderView>
#include <QPushButton>

PlanCheckDialog::PlanCheckDialog(const Dialogs::PlanQuestion& question, QWidget* parent)
    : QDialog(parent), mp_ui(std::make_unique<Ui::PlanCheckDialog>()), m_report(*question.report),
      mp_model(new ConflictListModel(*question.report, this))
{
    mp_ui->setupUi(this);
    setWindowTitle(ProgramIdentity::programName());
    mp_ui->mp_lHeadline->setText(question.headline);
    mp_ui->mp_lHeadline->setVisible(!question.headline.isEmpty());
    QStringList lines = m_report.summaryLines();
    const QStringList problems = m_report.problemLines();
    if (!problems.isEmpty())
        lines << QString() << tr("Problems at the destination:") << problems;
    mp_ui->mp_pteSummary->setPlainText(lines.join(QLatin1Char('\n')));
    const QString failure = m_report.failureText();
    mp_ui->mp_lFailure->setText(failure);
    mp_ui->mp_lFailure->setVisible(!failure.isEmpty());

    mp_ui->mp_tvConflicts->setModel(mp_model);
    mp_ui->mp_tvConflicts->horizontalHeader()->setSectionResizeMode(ConflictListModel::FileColumn,
                                                                    QHeaderView::Stretch);
    mp_ui->mp_tvConflicts->verticalHeader()->hide();
    const int conflictsTab = mp_ui->mp_twPages->indexOf(mp_ui->mp_tabConflicts);
    mp_ui->mp_twPages->setTabText(conflictsTab,
                                  tr("Existing files (%1)").arg(m_report.conflicts.size()));
    mp_ui->mp_twPages->setTabEnabled(conflictsTab, !m_report.conflicts.isEmpty());
    // A verify compares what is there: nothing to decide.
    mp_ui->mp_twPages->setTabVisible(conflictsTab,
                                     m_report.task.m_options.m_copyMode != CopyOptions::Verify);
    connect(mp_ui->mp_pbOverwriteSelected, &QPushButton::clicked, this,
            [this] { decideSelected(CopyOptions::DecideOverwrite); });
    connect(mp_ui->mp_pbSkipSelected, &QPushButton::clicked, this,
            [this] { decideSelected(CopyOptions::DecideSkip); });
    connect(mp_ui->mp_pbRenameSelected, &QPushButton::clicked, this,
            [this] { decideSelected(CopyOptions::DecideRename); });
    connect(mp_ui->mp_pbOverwriteOlder, &QPushButton::clicked, this,
            [this] { mp_model->setAll(CopyOptions::DecideOverwrite, true); });
    connect(mp_ui->mp_pbSkipAll, &QPushButton::clicked, this,
            [this] { mp_model->setAll(CopyOptions::DecideSkip); });
    connect(mp_ui->mp_pbRenameAll, &QPushButton::clicked, this,
            [this] { mp_model->setAll(CopyOptions::DecideRename); });

    for (int index = 0; index < question.buttons.size(); ++index) {
        QPushButton* button =
            mp_ui->mp_buttons->addButton(question.buttons.at(index), QDialogButtonBox::ActionRole);
        m_buttons << button;
        button->setDefault(index == question.defaultButton);
        button->setAutoDefault(index == question.defaultButton);
        connect(button, &QPushButton::clicked, this, [this, index] { choose(index); });
    }
    // Escape: the escape button's answer, or none.
    connect(this, &QDialog::rejected, this, [this, question] {
        if (m_chosen < 0)
            m_chosen = question.escapeButton;
    });
    if (question.defaultButton >= 0 && question.defaultButton < m_buttons.size())
        m_buttons.at(question.defaultButton)->setFocus();
}

PlanCheckDialog::~PlanCheckDialog() = default;

void PlanCheckDialog::decideSelected(int decision)
{
    QList<int> rows;
    const QModelIndexList selected = mp_ui->mp_tvConflicts->selectionModel()->selectedRows();
    for (const QModelIndex& index : selected)
        rows << index.row();
    mp_model->setDecision(rows, decision);
}

void PlanCheckDialog::choose(int button)
{
    m_chosen = button;
    accept();
}

Dialogs::PlanAnswer PlanCheckDialog::answer() const
{
    Dialogs::PlanAnswer answer;
    answer.button = m_chosen;
    answer.decisions = m_report.decisionsWith(mp_model->decisions());
    return answer;
}
