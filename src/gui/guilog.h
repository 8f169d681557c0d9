#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

#include <memory>

class Dialogs;
class QMenu;
class QPoint;

namespace Ui {
class GuiLogWidget;
}

// Shows log lines in a read-only text view the user can search and copy from. The
// window uses it twice: as the live program log, refreshed from the logger's buffer
// every second while shown, and as the recap of one run, filled line by line. Questions
// (the search text, "not found") go through the window's Dialogs.
class GuiLog : public QWidget
{
    Q_OBJECT

public:
    explicit GuiLog(Dialogs* dialogs, QWidget* parent = nullptr);
    ~GuiLog() override;

    // The window may replace its Dialogs; the log then asks through the new one.
    void setDialogs(Dialogs* dialogs) { mp_dialogs = dialogs; }

    void appendLine(const QString& line);
    void clearText();
    QString text() const;
    // A recap has no log file of its own to open.
    void hideOpenLogFileButton();

    // Shows what the logger has buffered at once and then every second.
    void startRefresh();
    void stopRefresh();
    bool isRefreshing() const { return m_refreshTimer.isActive(); }

    // The context menu of the text, built fresh each time; the caller owns it.
    QMenu* createContextMenu();

signals:
    void openLogFile();

public slots:
    void refreshLog();
    void findTextInLog();
    void findNextTextInLog();
    void showCustomMenu(const QPoint& position);

private:
    std::unique_ptr<Ui::GuiLogWidget> mp_ui;
    Dialogs* mp_dialogs = nullptr;
    QTimer m_refreshTimer;
    QString m_searchText;
};
