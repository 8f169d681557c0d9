#pragma once

#include "model/copyitem.h"

#include <QHash>
#include <QList>
#include <QString>

// The files of a run that have several names (hard links, see CopyItem::hard_link_first):
// a later name is linked to the copy of the first name, so it waits here until that copy is
// placed, or until the first name's copy failed (then it is copied as a file of its own).
// A first name not copied (skipped, its entry kept, which may hold other data; or failed):
// its later names go one at a time until one is copied or linked, and the rest are linked to
// that, as with cp -a. Kept by the copy task on the run's thread.
class HardLinkGroups
{
public:
    // Whether the item, a later name whose first name has no outcome yet, is held back here
    // (it then belongs here until settle or takeAllWaiting hands it back). A first name that
    // is to be copied makes its later names wait.
    bool holdBack(const CopyItem& item);
    // The first name of a group has its outcome (a copy or skip placed at its destination,
    // or none), or a later name tried on a kept entry has: the later names held back for it,
    // to be queued now.
    QList<CopyItem> settle(const CopyItem& item);
    // The copy a later name is to be linked to; empty when it is to be copied as a file.
    QString linkTarget(const CopyItem& item) const;
    // Every later name held back, for a stop or a run that ends without their first names.
    QList<CopyItem> takeAllWaiting();
    bool hasWaiting() const { return m_waitingCount > 0; }
    void clear();

private:
    struct Group
    {
        bool settled = false;
        QString copy;           // once settled: the first name's copy, or empty
        bool tentative = false; // copy is none the run made (a kept entry, or none at all)
        bool trying = false;    // a later name is on its way: the others wait for its outcome
        QList<CopyItem> waiting;
    };
    QHash<QString, Group> m_groups;
    int m_waitingCount = 0;
};
