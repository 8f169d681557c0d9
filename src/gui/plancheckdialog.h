#pragma once

#include "dialogs.h"

#include <QDialog>

#include <memory>

class ConflictListModel;
class QAbstractButton;

namespace Ui {
class PlanCheckDialog;
}

// A run's plan: the counts per outcome and the problems on one page, the files already at
// the destination and a decision for each on the other, and the caller's buttons.
class PlanCheckDialog : public QDialog
{
    Q_OBJECT

public:
    PlanCheckDialog(const Dialogs::PlanQuestion& question, QWidget* parent = nullptr);
    ~PlanCheckDialog() override;

    // The button pressed (-1: closed without one) and the decisions to run with.
    Dialogs::PlanAnswer answer() const;
    ConflictListModel* model() const { return mp_model; }
    // Presses the button of that index, as a click would.
    void choose(int button);

private:
    void decideSelected(int decision);

    std::unique_ptr<Ui::PlanCheckDialog> mp_ui;
    const PlanReport& m_report;
    ConflictListModel* mp_model;
    QList<QAbstractButton*> m_buttons;
    int m_chosen = -1;
};
