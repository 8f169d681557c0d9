#pragma once

#include <QObject>

#include <memory>

class GuiMainWindow;

// What the main window's test programs share.
namespace WindowTesting {

// Once per program: the test environment, hashing, a pool of two threads, no log file.
void initTestCase();
// A window that asks its questions of a ScriptedDialogs and opens nothing on the desktop.
std::unique_ptr<GuiMainWindow> scriptedWindow();
// Waits (20 s at most) until no check, run, end-of-run box or worker call is under way;
// whether it came.
bool waitUntilIdle(const GuiMainWindow& window);
// After each test: nothing was asked unexpectedly and every scripted answer was used; a
// run still going on ends before the window goes, and no wait cursor is left behind.
void finish(std::unique_ptr<GuiMainWindow>& window);

// The window's child of that type and object name; the test program ends without it.
template <typename Child> Child* child(const QObject& window, const char* name)
{
    auto* found = window.findChild<Child*>(QLatin1String(name));
    if (!found)
        qFatal("The window has no %s", name);
    return found;
}

} // namespace WindowTesting
