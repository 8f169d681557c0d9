#pragma once

// The progress a desktop shows on the program's launcher or task-bar entry (a dock, the
// Plasma task manager). This one shows nothing: it stands where the desktop offers no such
// indicator, and tests replace it to see what the window asks for.
class TaskbarProgress
{
public:
    TaskbarProgress() = default;
    TaskbarProgress(const TaskbarProgress&) = delete;
    TaskbarProgress& operator=(const TaskbarProgress&) = delete;
    virtual ~TaskbarProgress();

    // Percent, 0 to 100.
    virtual void setValue(int value);
    virtual void setVisible(bool visible);
};
