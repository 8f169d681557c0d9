#include "engine/copyobject.h"

#include "jobs/mutexlocker.h"

CopyObject::CopyObject(QObject* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("CopyObject"));
}

bool CopyObject::isStopRequested() const
{
    MutexLocker locker(&m_mutex);
    return m_stopFlag.load() != 0;
}

void CopyObject::completeWithoutCopy()
{
    resetState();
    emit copyCompleted();
}

void CopyObject::startCopy()
{
    MutexLocker locker(&m_mutex);
    m_stopFlag.store(0);
}

void CopyObject::stopCopy()
{
    MutexLocker locker(&m_mutex);
    m_stopFlag.store(1);
}
