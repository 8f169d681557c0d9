#include "dialogs.h"

#include "app/programidentity.h"
#include "plancheckdialog.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextDocument>

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
    const QString shown =
        message.format == Qt::PlainText ? withLongWordsElided(message.text) : message.text;
    QMessageBox box(icon, ProgramIdentity::programName(), shown, QMessageBox::NoButton, parent);
    box.setTextFormat(message.format);
    if (shown != message.text) {
        if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
            label->setToolTip(Qt::convertFromPlainText(message.text, Qt::WhiteSpaceNoWrap));
    }
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

QString QtDialogs::withLongWordsElided(const QString& text, int maxChars)
{
    static const QRegularExpression longWord(QStringLiteral("\\S+"));
    const QChar ellipsis(0x2026);
    const int kept = qMax(2, maxChars - 1);
    QString shown;
    int from = 0;
    for (auto words = longWord.globalMatch(text); words.hasNext();) {
        const QRegularExpressionMatch word = words.next();
        if (word.capturedLength() <= maxChars)
            continue;
        // The end of a path names the file: it keeps the larger half.
        const QString whole = word.captured();
        shown += text.midRef(from, word.capturedStart() - from) +
                 whole.leftRef(kept / 2 - kept / 4) + ellipsis +
                 whole.rightRef(kept - (kept / 2 - kept / 4));
        from = word.capturedEnd();
    }
    return from == 0 ? text : shown + text.midRef(from);
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

Dialogs::PlanAnswer QtDialogs::showPlan(QWidget* parent, const PlanQuestion& question)
{
    PlanCheckDialog dialog(question, parent);
    dialog.exec();
    return dialog.answer();
}
