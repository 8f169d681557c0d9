#include "windowworker.h"

WindowWorker::WindowWorker(QObject* parent) : QObject(parent)
{
    m_inOrder.setMaxThreadCount(1);
    m_alongside.setMaxThreadCount(2);
    mp_link->worker = this;
}

WindowWorker::~WindowWorker()
{
    {
        QMutexLocker locker(&mp_link->mutex);
        mp_link->worker = nullptr;
    }
    m_inOrder.waitForDone();
    m_alongside.waitForDone();
}
