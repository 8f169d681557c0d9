#include "scripteddialogs.h"

#include <QThread>

ScriptedDialogs& ScriptedDialogs::answer(const QString& button)
{
    m_answers.append({Button, button});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::pick(const QString& path)
{
    m_answers.append({Path, path});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::type(const QString& text)
{
    m_answers.append({Text, text});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::cancelInput()
{
    m_answers.append({Cancel, QString()});
    return *this;
}

QStringList ScriptedDialogs::texts() const
{
    QStringList result;
    for (const Asked& question : asked)
        result.append(question.text);
    return result;
}

bool ScriptedDialogs::takeAnswer(AnswerKind kind, const QString& question, QString* value)
{
    if (m_answers.isEmpty() ||
        (m_answers.first().kind != kind && !(kind == Text && m_answers.first().kind == Cancel))) {
        unexpected.append(question);
        return false;
    }
    const Answer next = m_answers.takeFirst();
    *value = next.value;
    return next.kind != Cancel;
}

int ScriptedDialogs::ask(QWidget*, const Message& message)
{
    asked.append({message.kind, message.text, message.buttons, message.defaultButton,
                  message.escapeButton, message.format});
    QString button;
    if (!takeAnswer(Button, QStringLiteral("box: ") + message.text, &button))
        return -1;
    if (button.isEmpty())
        return -1;
    const int index = static_cast<int>(message.buttons.indexOf(button));
    if (index < 0)
        unexpected.append(QStringLiteral("no button '%1' in box: %2").arg(button, message.text));
    return index;
}

QString ScriptedDialogs::pickPath(const QString& title, const QString& start)
{
    pickers.append(title + QLatin1Char('|') + start);
    QString path;
    takeAnswer(Path, QStringLiteral("picker: ") + title, &path);
    return path;
}

QString ScriptedDialogs::existingFolder(QWidget*, const QString& title, const QString& startFolder)
{
    return pickPath(title, startFolder);
}

QString ScriptedDialogs::openFileName(QWidget*, const QString& title, const QString& startPath,
                                      const QString&)
{
    return pickPath(title, startPath);
}

QString ScriptedDialogs::saveFileName(QWidget*, const QString& title, const QString& proposedPath,
                                      const QString&)
{
    return pickPath(title, proposedPath);
}

QString ScriptedDialogs::textInput(QWidget*, const QString& title, const QString& label,
                                   const QString& value, bool* ok)
{
    pickers.append(title + QLatin1Char('|') + label + QLatin1Char('|') + value);
    QString text;
    const bool accepted = takeAnswer(Text, QStringLiteral("input: ") + label, &text);
    if (ok)
        *ok = accepted;
    return accepted ? text : QString();
}

Dialogs::PlanAnswer ScriptedDialogs::showPlan(QWidget* parent, const PlanQuestion& question)
{
    plans.append(*question.report);
    PlanAnswer answer;
    answer.button = ask(parent, {Information, question.headline, question.buttons,
                                 question.defaultButton, question.escapeButton});
    answer.decisions = question.report->task.m_options.m_fileDecisions;
    for (auto it = planDecisions.cbegin(); it != planDecisions.cend(); ++it)
        answer.decisions.insert(it.key(), it.value());
    return answer;
}

bool RecordingDesktop::openUrl(const QUrl& url)
{
    openedUrls.append(url);
    return !openFails;
}

bool RecordingDesktop::showInFileManager(const QString& path)
{
    shownPaths.append(path);
    showThread = QThread::currentThread();
    return !showFails;
}

bool RecordingDesktop::startDetached(const QString& program, const QStringList& arguments)
{
    started.append(QStringList{program} + arguments);
    return !startFails;
}

void RecordingDesktop::notify(const QString& summary, const QString& body,
                              std::function<void()> onClicked)
{
    notifications.append({summary, body});
    clickNotification = std::move(onClicked);
}
