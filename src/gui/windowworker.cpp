#include "windowworker.h"

WindowWorker::WindowWorker(QObject* parent) : QObject(parent)
{
    m_inOrder.setMaxThreadCount(1);
    m_alongside.setMaxThreadCount(2);
}

WindowWorker::~WindowWorker()
{
    m_inOrder.waitForDone();
    m_alongside.waitForDone();
}
