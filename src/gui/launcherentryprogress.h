#pragma once

#include "taskbarprogress.h"

#include <QDBusConnection>
#include <QString>

// The progress on the program's launcher entry (docks, the Plasma task manager, dash
// extensions): the Update signal of com.canonical.Unity.LauncherEntry on the session bus,
// for the desktop entry whose id QGuiApplication::desktopFileName() holds. Sends only what
// changed; silent without a session bus or a desktop id.
class LauncherEntryProgress : public TaskbarProgress
{
public:
    // On the session bus.
    LauncherEntryProgress();
    // On the given bus (tests).
    explicit LauncherEntryProgress(const QDBusConnection& bus);
    // Hides a progress still shown: a dock must not keep it after the window is gone.
    ~LauncherEntryProgress() override;

    void setValue(int value) override;
    void setVisible(bool visible) override;

    static QString objectPath() { return QStringLiteral("/org/orvanesoft/Brindle/LauncherEntry"); }

private:
    void send(const QVariantMap& properties);

    QDBusConnection m_bus;
    int m_value = -1; // not sent yet
    bool m_visible = false;
};
