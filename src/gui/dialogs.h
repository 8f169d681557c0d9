#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

class PlanReport;
class QWidget;

// Every question the window asks the user goes through here: message boxes, file and
// folder pickers and one-line input boxes. The window holds one Dialogs; tests give it
// one that answers from a script, so every path through a question runs offscreen.
class Dialogs
{
public:
    enum Kind
    {
        Question,
        Information,
        Warning
    };

    // A standard message box titled with the program name. Buttons are texts, the first
    // being button 0; escapeButton -1 means Escape and closing the box choose nothing.
    struct Message
    {
        Kind kind = Information;
        QString text;
        QStringList buttons;
        int defaultButton = 0;
        int escapeButton = -1;
        // Plain unless the text is markup made by the program: names of files may hold
        // '<' and '&' and must show as they are.
        Qt::TextFormat format = Qt::PlainText;
    };

    // A run's plan shown for a decision: its counts and problems, and the files already at
    // the destination with a decision each. Buttons as in Message.
    struct PlanQuestion
    {
        QString headline;
        const PlanReport* report = nullptr;
        QStringList buttons;
        int defaultButton = 0;
        int escapeButton = -1;
    };
    struct PlanAnswer
    {
        int button = -1;
        // The decisions to run with (CopyOptions::m_fileDecisions).
        QMap<QString, int> decisions;
    };

    Dialogs() = default;
    Dialogs(const Dialogs&) = delete;
    Dialogs& operator=(const Dialogs&) = delete;
    virtual ~Dialogs();

    // The index of the button chosen, or -1 when the box was closed without one.
    virtual int ask(QWidget* parent, const Message& message) = 0;
    // An existing folder, or an empty text when none was chosen.
    virtual QString existingFolder(QWidget* parent, const QString& title,
                                   const QString& startFolder) = 0;
    // An existing file to open, or an empty text.
    virtual QString openFileName(QWidget* parent, const QString& title, const QString& startPath,
                                 const QString& nameFilter) = 0;
    // A file name to save to, or an empty text.
    virtual QString saveFileName(QWidget* parent, const QString& title, const QString& proposedPath,
                                 const QString& nameFilter) = 0;
    // One line of text; ok says whether the box was accepted.
    virtual QString textInput(QWidget* parent, const QString& title, const QString& label,
                              const QString& value, bool* ok) = 0;
    virtual PlanAnswer showPlan(QWidget* parent, const PlanQuestion& question) = 0;

    // Shorthands for the boxes with one button.
    void inform(QWidget* parent, const QString& text, const QString& button);
    void warn(QWidget* parent, const QString& text, const QString& button);
};

// The toolkit's own boxes and pickers.
class QtDialogs : public Dialogs
{
public:
    int ask(QWidget* parent, const Message& message) override;
    // A plain text for a box: every run of more than maxChars characters without a blank (a
    // path, a web address) shortened in its middle to maxChars, since it cannot be wrapped
    // and would stretch the box past the screen. The box's tool tip keeps the whole text.
    static QString withLongWordsElided(const QString& text, int maxChars = 72);
    QString existingFolder(QWidget* parent, const QString& title,
                           const QString& startFolder) override;
    QString openFileName(QWidget* parent, const QString& title, const QString& startPath,
                         const QString& nameFilter) override;
    QString saveFileName(QWidget* parent, const QString& title, const QString& proposedPath,
                         const QString& nameFilter) override;
    QString textInput(QWidget* parent, const QString& title, const QString& label,
                      const QString& value, bool* ok) override;
    PlanAnswer showPlan(QWidget* parent, const PlanQuestion& question) override;
};
