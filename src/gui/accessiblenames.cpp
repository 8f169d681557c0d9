#include "accessiblenames.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QToolButton>

namespace {

// The texts of this file, in the context "AccessibleNames".
struct T
{
    Q_DECLARE_TR_FUNCTIONS(AccessibleNames)
};

void nameUnnamedButtons(const QWidget* parent, const QString& name)
{
    const QList<QToolButton*> buttons =
        parent->findChildren<QToolButton*>(QString(), Qt::FindDirectChildrenOnly);
    for (QToolButton* button : buttons) {
        if (button->accessibleName().isEmpty() && button->text().isEmpty())
            button->setAccessibleName(name);
    }
}

} // namespace

void AccessibleNames::nameQtButtons(QWidget* root)
{
    const QList<QLineEdit*> lineEdits = root->findChildren<QLineEdit*>();
    for (const QLineEdit* lineEdit : lineEdits) {
        if (lineEdit->isClearButtonEnabled())
            nameUnnamedButtons(lineEdit, T::tr("Clear text"));
    }
    const QList<QMenuBar*> menuBars = root->findChildren<QMenuBar*>();
    for (const QMenuBar* menuBar : menuBars)
        nameUnnamedButtons(menuBar, T::tr("More menus"));
}
