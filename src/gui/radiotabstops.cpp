#include "radiotabstops.h"

#include <QHash>
#include <QRadioButton>

namespace {

void update(const QList<QRadioButton*>& group)
{
    bool anyChecked = false;
    for (const QRadioButton* button : group)
        anyChecked = anyChecked || button->isChecked();
    for (QRadioButton* button : group)
        button->setFocusPolicy(!anyChecked || button->isChecked() ? Qt::StrongFocus
                                                                  : Qt::ClickFocus);
}

} // namespace

void RadioTabStops::apply(QWidget* root)
{
    QHash<QObject*, QList<QRadioButton*>> groups;
    for (QRadioButton* button : root->findChildren<QRadioButton*>()) {
        if (button->autoExclusive())
            groups[button->parent()].append(button);
    }
    for (const QList<QRadioButton*>& group : qAsConst(groups)) {
        for (QRadioButton* button : group)
            QObject::connect(button, &QRadioButton::toggled, button, [group] { update(group); });
        update(group);
    }
}
