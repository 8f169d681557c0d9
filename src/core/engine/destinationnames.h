#pragma once

#include "fs/platform.h"
#include "model/copyitem.h"

#include <QHash>
#include <QString>

#include <functional>
#include <vector>

// The names a walk gives its entries at the destination, where two sources could end up
// under one name: names that differ only by case in a folder whose destination ignores
// case (the byte-wise first spelling keeps the name, whatever the order of the listing),
// and names taken twice when a run collates every file into one folder (the first source
// met keeps it). Decided once, by the walk, before anything is written.
class DestinationNames
{
public:
    // mayProbe: whether the destination may be written to learn its file system (a verify
    // writes nothing).
    explicit DestinationNames(bool mayProbe = true) : m_mayProbe(mayProbe) {}
    void setMayProbe(bool mayProbe) { m_mayProbe = mayProbe; }

    // Forgets every name: a new walk begins.
    void clear();

    // The folder about to be listed, with its entries: only a folder holding names that
    // differ by case alone asks whether destinationFolder ignores case.
    void startFolder(const std::vector<Platform::FolderEntry>& entries,
                     const QString& destinationFolder);
    // Names replaced for the target (CopyOptions::m_replaceForbiddenNames): entries of the
    // folder whose replaced names are one (case aside where the target ignores case), as
    // "a:b" and "a\uff1ab" are; the byte-wise first keeps the name.
    void startReplacedFolder(const std::vector<Platform::FolderEntry>& entries,
                             const std::function<QString(const QString&)>& replaced,
                             bool ignoresCase);
    void endFolder()
    {
        m_caseKeptNames.clear();
        m_replacedKeptNames.clear();
    }
    // The source name that keeps destinationName in the folder being listed when another
    // name than name does; else empty. number: name's place among those names (1 for the
    // second), for a name of its own.
    QString replacedKeeper(const QString& name, const QString& destinationName,
                           int* number = nullptr) const;
    // The spelling that keeps name in the folder being listed when name differs from it by
    // case alone; empty when name keeps its own name.
    QString caseKeeper(const QString& name) const;

    // The source that took name first in the collated destination folder, or empty: then
    // name is taken by source from now on.
    QString takeCollated(const QString& name, const QString& source,
                         const QString& destinationFolder);

    // Whether a walk refused the item for a name another source of the run takes, in this
    // language or as the program first wrote it.
    static bool refusedAsTwin(const CopyItem& item);
    static QString caseTwinText(const QString& keeper);
    static QString collatedTwinText();

private:
    bool m_mayProbe = true;
    // For each name shared, case aside, by several entries of the folder, the one that keeps it.
    QHash<QString, QString> m_caseKeptNames;
    // The same for replaced names shared by several entries (key: the replaced name), all of
    // them, byte-wise first first.
    QHash<QString, QStringList> m_replacedKeptNames;
    bool m_replacedIgnoresCase = false;
    // Collated names taken so far, and by which source; case-folded where the destination
    // ignores case (-1: not known yet).
    QHash<QString, QString> m_collatedNames;
    int m_collateIgnoresCase = -1;
};
