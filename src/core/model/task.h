#pragma once

#include "model/copyoptions.h"

#include <QMetaType>
#include <QString>

// What one copy run works on: source, destination, options and a display name.
class Task
{
public:
    bool operator==(const Task& other) const;
    bool operator!=(const Task& other) const { return !(*this == other); }

    // Name, source, destination and the eleven option texts joined with U+2028.
    QString toDataString() const;
    // False (and one warning) on a malformed text; the three texts stay set then.
    bool fromDataString(const QString& dataString);
    // "source -> destination".
    void updateName();

    QString m_name;
    QString m_sourcePath;
    QString m_destinationPath;
    CopyOptions m_options;
};

Q_DECLARE_METATYPE(Task)
