#pragma once

#include "engine/listedbatches.h"
#include "model/copyitem.h"
#include "model/copyoptions.h"

#include <QList>
#include <QString>
#include <QVector>

// What one walk of a run's source listed, kept by the plan a run makes before it writes
// (RunPlan::keepListing), so that the run files the same list instead of walking again.
struct WalkListing
{
    // As the walk took them (normalized) and the options it went by.
    QString sourcePath;
    QString destinationPath;
    CopyOptions options;
    // In the walk's order; filtered entries are always kept (ListedBatches::Entry::filter).
    QVector<ListedBatches::Entry> entries;
    QList<CopyItem> errors;
    // Every folder was listed: a stopped or partial walk is never taken.
    bool complete = false;
};
