#pragma once

#include "model/copyitem.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>

// What a verify finds in a destination folder that its source folder does not hold: each
// such entry is a difference (as rclone check reports it), named once (a folder with what
// it holds is one entry).
class ExtraEntries
{
    Q_DECLARE_TR_FUNCTIONS(ExtraEntries)

public:
    // Whether the walk would take a source entry of this name and kind: the run's filters.
    using Taken = std::function<bool(const QString& name, bool isFolder)>;

    // The entries of destinationFolder whose names sourceNames lacks and that taken accepts,
    // as error items (source path: where the source would hold them). A destination folder
    // that cannot be listed gives none: its own item says why.
    static QList<CopyItem> find(const QString& sourceFolder, const QString& destinationFolder,
                                const QSet<QByteArray>& sourceNames, const Taken& taken);
};
