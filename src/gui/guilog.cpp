#include "guilog.h"

#include "ui_guilogwidget.h"

#include "app/logger.h"
#include "app/programidentity.h"
#include "dialogs.h"

#include <QMenu>
#include <QPalette>
#include <QShortcut>
#include <QTextCursor>

GuiLog::GuiLog(Dialogs* dialogs, QWidget* parent)
    : QWidget(parent), mp_ui(std::make_unique<Ui::GuiLogWidget>()), mp_dialogs(dialogs)
{
    mp_ui->setupUi(this);
    setObjectName(QStringLiteral("GuiLog"));

    // A found text stays well visible even when the view does not have the focus.
    QPalette palette = mp_ui->mp_teLog->palette();
    for (const QPalette::ColorGroup group :
         {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Highlight, Qt::yellow);
        palette.setColor(group, QPalette::HighlightedText, Qt::black);
    }
    mp_ui->mp_teLog->setPalette(palette);

    m_refreshTimer.setInterval(1000);
    connect(&m_refreshTimer, &QTimer::timeout, this, &GuiLog::refreshLog);
    connect(mp_ui->mp_pbOpenLog, &QPushButton::clicked, this, &GuiLog::openLogFile);
    connect(mp_ui->mp_teLog, &QPlainTextEdit::customContextMenuRequested, this,
            &GuiLog::showCustomMenu);

    auto* find = new QShortcut(QKeySequence::Find, this);
    find->setContext(Qt::WidgetWithChildrenShortcut);
    connect(find, &QShortcut::activated, this, &GuiLog::findTextInLog);
    auto* findNext = new QShortcut(QKeySequence::FindNext, this);
    findNext->setContext(Qt::WidgetWithChildrenShortcut);
    connect(findNext, &QShortcut::activated, this, &GuiLog::findNextTextInLog);
}

GuiLog::~GuiLog() = default;

void GuiLog::appendLine(const QString& line)
{
    mp_ui->mp_teLog->appendPlainText(line);
}

void GuiLog::clearText()
{
    mp_ui->mp_teLog->clear();
}

QString GuiLog::text() const
{
    return mp_ui->mp_teLog->toPlainText();
}

void GuiLog::hideOpenLogFileButton()
{
    mp_ui->mp_pbOpenLog->hide();
}

void GuiLog::startRefresh()
{
    if (m_refreshTimer.isActive())
        return;
    refreshLog();
    m_refreshTimer.start();
}

void GuiLog::stopRefresh()
{
    if (m_refreshTimer.isActive())
        m_refreshTimer.stop();
}

void GuiLog::refreshLog()
{
    // Taken and emptied in one step, so a line logged meanwhile waits for the next refresh.
    const QList<LogEntry> entries = Logger::instance()->takeBufferedEntries();
    for (const LogEntry& entry : entries)
        appendLine(Logger::formatLine(entry));
}

void GuiLog::findTextInLog()
{
    if (!mp_dialogs)
        return;
    bool ok = false;
    const QString answer = mp_dialogs->textInput(this, ProgramIdentity::programName(),
                                                 tr("Find text"), m_searchText, &ok);
    if (!ok || answer.simplified().isEmpty())
        return;
    m_searchText = answer.simplified();
    findNextTextInLog();
}

void GuiLog::findNextTextInLog()
{
    if (m_searchText.isEmpty()) {
        findTextInLog();
        return;
    }
    QPlainTextEdit* view = mp_ui->mp_teLog;
    // find() ignores case unless told otherwise; a miss starts over from the top once.
    if (!view->find(m_searchText)) {
        view->moveCursor(QTextCursor::Start);
        if (!view->find(m_searchText)) {
            if (mp_dialogs)
                mp_dialogs->inform(this, tr("%1 not found.").arg(m_searchText), tr("Ok"));
            return;
        }
    }
    view->ensureCursorVisible();
}

QMenu* GuiLog::createContextMenu()
{
    QPlainTextEdit* view = mp_ui->mp_teLog;
    auto* menu = new QMenu(this);
    QAction* find = menu->addAction(tr("Find"), this, &GuiLog::findTextInLog);
    find->setShortcut(QKeySequence::Find);
    QAction* findNext = menu->addAction(tr("Find next"), this, &GuiLog::findNextTextInLog);
    findNext->setShortcut(QKeySequence::FindNext);
    menu->addSeparator();
    QAction* selectAll = menu->addAction(tr("Select all"), view, &QPlainTextEdit::selectAll);
    selectAll->setShortcut(QKeySequence::SelectAll);
    menu->addSeparator();
    QAction* copy = menu->addAction(tr("Copy"), view, &QPlainTextEdit::copy);
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(view->textCursor().hasSelection());
    return menu;
}

void GuiLog::showCustomMenu(const QPoint& position)
{
    std::unique_ptr<QMenu> menu(createContextMenu());
    menu->exec(mp_ui->mp_teLog->mapToGlobal(position));
}

// Compiled here so the test links without the rest of the library's meta-objects.
#include "moc_guilog.cpp"
