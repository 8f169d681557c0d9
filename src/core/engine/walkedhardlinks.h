#pragma once

#include "fs/platform.h"

#include <QHash>
#include <QPair>
#include <QString>

// The files with several names (hard links) a walk meets: their names arrive as one file
// with several names, as cp -a makes them. The first name met is copied (or skipped), the
// later ones are linked to its copy (CopyItem::hard_link_first).
class WalkedHardLinks
{
public:
    void clear() { m_groups.clear(); }
    // The source of the first name met of the file at source, whose status is given (the
    // source itself for a first name); empty for a file with one name.
    QString firstName(const QString& source, const Platform::EntryStatus& status);

private:
    // Files met whose other names are still to come: device and inode, to the source of
    // the first name and the number of names not met yet.
    struct Group
    {
        QString firstSource;
        quint64 namesLeft = 0;
    };
    QHash<QPair<quint64, quint64>, Group> m_groups;
};
