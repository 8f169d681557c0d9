#include "dialogs.h"

#include "app/programidentity.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

Dialogs::~Dialogs() = default;

void Dialogs::inform(QWidget* parent, const QString& text, const QString& button)
{
    ask(parent, {Information, text, {button}, 0, 0});
}

void Dialogs::warn(QWidget* parent, const QString& text, const QString& button)
{
    ask(parent, {Warning, text, {button}, 0, 0});
}

int QtDialogs::ask(QWidget* parent, const Message& message)
{
    const QMessageBox::Icon icon = message.kind == Question      ? QMessageBox::Question
                                   : message.kind == Information ? QMessageBox::Information
                                                                 : QMessageBox::Warning;
    QMessageBox box(icon, ProgramIdentity::programName(), message.text, QMessageBox::NoButton,
                    parent);
    box.setTextFormat(message.format);
    QList<QAbstractButton*> buttons;
    for (int index = 0; index < message.buttons.size(); ++index) {
        // The roles only place the buttons; which one was pressed is told by its index.
        QPushButton* button = box.addButton(message.buttons.at(index), QMessageBox::ActionRole);
        buttons.append(button);
        if (index == message.defaultButton)
            box.setDefaultButton(button);
        if (index == message.escapeButton)
            box.setEscapeButton(button);
    }
    box.exec();
    return static_cast<int>(buttons.indexOf(box.clickedButton()));
}

QString QtDialogs::existingFolder(QWidget* parent, const QString& title, const QString& startFolder)
{
    return QFileDialog::getExistingDirectory(parent, title, startFolder, QFileDialog::ShowDirsOnly);
}

QString QtDialogs::openFileName(QWidget* parent, const QString& title, const QString& startPath,
                                const QString& nameFilter)
{
    return QFileDialog::getOpenFileName(parent, title, startPath, nameFilter);
}

QString QtDialogs::saveFileName(QWidget* parent, const QString& title, const QString& proposedPath,
                                const QString& nameFilter)
{
    return QFileDialog::getSaveFileName(parent, title, proposedPath, nameFilter);
}

QString QtDialogs::textInput(QWidget* parent, const QString& title, const QString& label,
                             const QString& value, bool* ok)
{
    return QInputDialog::getText(parent, title, label, QLineEdit::Normal, value, ok);
}
