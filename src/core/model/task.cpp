#include "model/task.h"

#include <QDebug>

namespace {

const QChar dataSeparator(0x2028);

} // namespace

bool Task::operator==(const Task& other) const
{
    return m_name == other.m_name && m_sourcePath == other.m_sourcePath &&
           m_destinationPath == other.m_destinationPath && m_options == other.m_options;
}

QString Task::toDataString() const
{
    QStringList list{m_name, m_sourcePath, m_destinationPath};
    list << m_options.toDataString();
    return list.join(dataSeparator);
}

bool Task::fromDataString(const QString& dataString)
{
    QStringList list = dataString.split(dataSeparator, Qt::KeepEmptyParts);
    if (list.size() <= 2) {
        qWarning() << "Invalid argument found in Task::fromDataString(...):" << dataString;
        return false;
    }
    m_name = list.takeFirst();
    m_sourcePath = list.takeFirst();
    m_destinationPath = list.takeFirst();

    // Options the text does not reach must not be inherited from an earlier parse.
    m_options = CopyOptions();
    if (!m_options.fromDataString(list)) {
        qWarning() << "Invalid copy_options argument in Task::fromDataString(...):" << dataString;
        return false;
    }
    return true;
}

void Task::updateName()
{
    m_name = QStringLiteral("%1 -> %2").arg(m_sourcePath, m_destinationPath);
}
