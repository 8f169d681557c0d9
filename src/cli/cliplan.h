#pragma once

#include "clireport.h"
#include "engine/runplan.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

// What brindle-cli prints of a run's plan (--dry-run), and the refusal of a run whose plan
// foresees a certain failure.
namespace CliPlan {

// Entries of a problem named in the text; JSON lists them all.
constexpr int shownEntries = 5;

// 0 when the plan finds nothing wrong, 1 when it finds errors or problems.
int exitCode(const RunPlan& plan);

QStringList planLines(const RunPlan& plan, CliReport::RunKind kind);
QJsonObject planJson(const QString& command, const RunPlan& plan);

// The first certain failure, as the machine key and the text of a refusal; empty when none.
QString refusalCode(const RunPlan& plan);
QString refusalText(const RunPlan& plan);

} // namespace CliPlan
