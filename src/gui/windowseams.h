#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <memory>

class Desktop;
class Dialogs;
class QLabel;
class QWidget;

// What every part of the main window shares: the window the boxes belong to, the Dialogs
// that ask the user, the Desktop that opens things, and the status line. The parts keep a
// pointer to it, so that a seam replaced later (tests answer from a script) reaches them all.
class WindowSeams
{
    Q_DECLARE_TR_FUNCTIONS(WindowSeams)

public:
    WindowSeams(QWidget* window, std::unique_ptr<Dialogs> dialogs,
                std::unique_ptr<Desktop> desktop);
    ~WindowSeams();

    QWidget* window() const { return mp_window; }
    Dialogs* dialogs() const { return mp_dialogs.get(); }
    void setDialogs(std::unique_ptr<Dialogs> dialogs);
    // Shared: a call that waits on the desktop runs on a worker, which keeps it alive.
    std::shared_ptr<Desktop> desktop() const { return mp_desktop; }
    void setDesktop(std::unique_ptr<Desktop> desktop);
    void setStatusLabel(QLabel* label) { mp_statusLabel = label; }

    // Message boxes of the window; kind is a Dialogs::Kind.
    int ask(int kind, const QString& text, const QStringList& buttons, int defaultButton,
            int escapeButton, Qt::TextFormat format = Qt::PlainText) const;
    void inform(const QString& text) const;
    void warn(const QString& text) const;
    // The status line, shortened from the front to the window's width; empty clears it.
    void setStatusText(const QString& text) const;
    // Painted at once, for a status shown before the loop gets back to painting.
    void repaintStatus() const;

private:
    QWidget* mp_window;
    std::unique_ptr<Dialogs> mp_dialogs;
    std::shared_ptr<Desktop> mp_desktop;
    QLabel* mp_statusLabel = nullptr;
};
