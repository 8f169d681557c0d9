#include "windowseams.h"

#include "desktop.h"
#include "dialogs.h"
#include "mainwindowrules.h"

#include <QFontMetrics>
#include <QLabel>

WindowSeams::WindowSeams(QWidget* window, std::unique_ptr<Dialogs> dialogs,
                         std::unique_ptr<Desktop> desktop)
    : mp_window(window), mp_dialogs(std::move(dialogs)), mp_desktop(std::move(desktop))
{
}

WindowSeams::~WindowSeams() = default;

void WindowSeams::setDialogs(std::unique_ptr<Dialogs> dialogs)
{
    mp_dialogs = std::move(dialogs);
}

void WindowSeams::setDesktop(std::unique_ptr<Desktop> desktop)
{
    mp_desktop = std::move(desktop);
}

int WindowSeams::ask(int kind, const QString& text, const QStringList& buttons, int defaultButton,
                     int escapeButton, Qt::TextFormat format) const
{
    return mp_dialogs->ask(mp_window, {static_cast<Dialogs::Kind>(kind), text, buttons,
                                       defaultButton, escapeButton, format});
}

void WindowSeams::inform(const QString& text) const
{
    mp_dialogs->inform(mp_window, text, tr("Ok"));
}

void WindowSeams::warn(const QString& text) const
{
    mp_dialogs->warn(mp_window, text, tr("Ok"));
}

void WindowSeams::setStatusText(const QString& text) const
{
    if (!mp_statusLabel)
        return;
    if (text.isEmpty()) {
        mp_statusLabel->clear();
        return;
    }
    const QFontMetrics metrics(mp_statusLabel->font());
    const QString fitted = MainWindowRules::fittedStatusText(
        text, mp_window->width() - 40,
        [&metrics](const QString& candidate) { return metrics.horizontalAdvance(candidate); });
    if (!fitted.isNull())
        mp_statusLabel->setText(fitted);
}

void WindowSeams::repaintStatus() const
{
    if (mp_statusLabel)
        mp_statusLabel->repaint();
}
