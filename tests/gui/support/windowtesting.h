#pragma once

#include <memory>

class GuiMainWindow;

// What the main window's test programs share.
namespace WindowTesting {

// Once per program: the test environment, hashing, a pool of two threads, no log file.
void initTestCase();
// A window that asks its questions of a ScriptedDialogs and opens nothing on the desktop.
std::unique_ptr<GuiMainWindow> scriptedWindow();
// After each test: nothing was asked unexpectedly and every scripted answer was used; a
// run still going on ends before the window goes, and no wait cursor is left behind.
void finish(std::unique_ptr<GuiMainWindow>& window);

} // namespace WindowTesting
