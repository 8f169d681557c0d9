#pragma once

#include "desktop.h"
#include "dialogs.h"
#include "planreport.h"

#include <QList>
#include <QStringList>
#include <QUrl>

class QThread;

// Answers the window's questions from a script and records every one. A message box is
// answered with the text of a button (or an empty text: closed without a button); a
// picker or an input box with the text it returns. A question the script does not answer
// is recorded in unexpected and answered as a closed box or a cancelled picker.
class ScriptedDialogs : public Dialogs
{
public:
    struct Asked
    {
        Kind kind = Information;
        QString text;
        QStringList buttons;
        int defaultButton = -1;
        int escapeButton = -1;
        Qt::TextFormat format = Qt::PlainText;
    };

    // Queues the next answers, in order.
    ScriptedDialogs& answer(const QString& button);
    ScriptedDialogs& pick(const QString& path);
    ScriptedDialogs& type(const QString& text);
    ScriptedDialogs& cancelInput();

    int ask(QWidget* parent, const Message& message) override;
    QString existingFolder(QWidget* parent, const QString& title,
                           const QString& startFolder) override;
    QString openFileName(QWidget* parent, const QString& title, const QString& startPath,
                         const QString& nameFilter) override;
    QString saveFileName(QWidget* parent, const QString& title, const QString& proposedPath,
                         const QString& nameFilter) override;
    QString textInput(QWidget* parent, const QString& title, const QString& label,
                      const QString& value, bool* ok) override;
    // Answered by a button's text from the script, with planDecisions changed over the
    // plan's own (key: relative path, value: CopyOptions::FileDecision).
    PlanAnswer showPlan(QWidget* parent, const PlanQuestion& question) override;
    QMap<QString, int> planDecisions;
    // The plans shown: headline and buttons in asked (kind Information), the report here.
    QList<PlanReport> plans;

    // Message boxes asked, in order.
    QList<Asked> asked;
    // The texts of the message boxes asked, in order.
    QStringList texts() const;
    // Pickers and input boxes: "title|start" of each, in order.
    QStringList pickers;
    // Questions that found no answer in the script ("box: text" or "picker: title").
    QStringList unexpected;
    // Answers left over.
    int pendingAnswers() const { return static_cast<int>(m_answers.size()); }

private:
    enum AnswerKind
    {
        Button,
        Path,
        Text,
        Cancel
    };
    struct Answer
    {
        AnswerKind kind;
        QString value;
    };
    bool takeAnswer(AnswerKind kind, const QString& question, QString* value);
    QString pickPath(const QString& title, const QString& start);
    QList<Answer> m_answers;
};

// Records what would have been opened, shown or started; each call succeeds unless the
// matching flag says it fails.
class RecordingDesktop : public Desktop
{
public:
    bool openUrl(const QUrl& url) override;
    bool showInFileManager(const QString& path) override;
    bool startDetached(const QString& program, const QStringList& arguments) override;
    void notify(const QString& summary, const QString& body,
                std::function<void()> onClicked) override;

    QList<QUrl> openedUrls;
    // Summary and body of each notification; the last one's click handler.
    QList<QStringList> notifications;
    std::function<void()> clickNotification;
    QStringList shownPaths;
    // The thread the last showInFileManager ran on: the call may wait seconds for the bus.
    QThread* showThread = nullptr;
    QList<QStringList> started; // program first, then its arguments
    bool openFails = false;
    bool showFails = false;
    bool startFails = false;
};
