#include "taskbarprogress.h"

#include <QtGlobal>

TaskbarProgress::~TaskbarProgress() = default;

void TaskbarProgress::setValue(int value)
{
    Q_UNUSED(value)
}

void TaskbarProgress::setVisible(bool visible)
{
    Q_UNUSED(visible)
}
