#include "cliplan.h"

#include "fs/pathutils.h"

#include <QCoreApplication>
#include <QJsonArray>

namespace CliPlan {

namespace {

// The texts of this file are in the context "CliPlan".
struct T
{
    Q_DECLARE_TR_FUNCTIONS(CliPlan)
};

QString tallyText(const RunPlan::Tally& tally)
{
    //: %1 is a number of files, %2 their size ("3 files, 1.20 MB")
    return T::tr("%1 files, %2").arg(tally.files).arg(FileSystemUtils::byteSizeText(tally.bytes));
}

QJsonObject tallyJson(const RunPlan::Tally& tally)
{
    return QJsonObject{{"files", tally.files}, {"bytes", tally.bytes}};
}

RunPlan::Tally skipped(const RunPlan& plan)
{
    RunPlan::Tally all;
    for (const RunPlan::Outcome outcome : {RunPlan::Outcome::SkipSame, RunPlan::Outcome::SkipNewer,
                                           RunPlan::Outcome::SkipFiltered}) {
        all.files += plan.tally(outcome).files;
        all.bytes += plan.tally(outcome).bytes;
    }
    return all;
}

} // namespace

int exitCode(const RunPlan& plan)
{
    return plan.problems().isEmpty() && plan.tally(RunPlan::Outcome::Error).files == 0 ? 0 : 1;
}

QStringList planLines(const RunPlan& plan, CliReport::RunKind kind)
{
    using O = RunPlan::Outcome;
    QStringList lines;
    lines << T::tr("Plan of the %1 (nothing was written):").arg(CliReport::runName(kind));
    if (kind == CliReport::RunKind::Verify) {
        lines << T::tr("To compare: %1").arg(tallyText(plan.tally(O::New)));
    } else {
        lines << T::tr("To copy (new): %1").arg(tallyText(plan.tally(O::New)))
              << T::tr("To overwrite: %1").arg(tallyText(plan.tally(O::Overwrite)))
              << T::tr("To rename (auto rename): %1").arg(tallyText(plan.tally(O::Rename)));
    }
    lines << T::tr("To skip: %1 (same: %2, newer: %3, filtered: %4)")
                 .arg(tallyText(skipped(plan)))
                 .arg(plan.tally(O::SkipSame).files)
                 .arg(plan.tally(O::SkipNewer).files)
                 .arg(plan.tally(O::SkipFiltered).files)
          << T::tr("In error: %1").arg(tallyText(plan.tally(O::Error)));
    if (kind == CliReport::RunKind::Move)
        lines << T::tr("To remove from the source: %1").arg(tallyText(plan.removed()));
    lines << T::tr("Folders: %1").arg(plan.folders());
    const RunPlan::Estimate estimate = plan.estimate();
    lines << T::tr("Estimated time: %1 (%2 ms per file and %3/s: %4)")
                 .arg(CliReport::elapsedText(estimate.ms))
                 .arg(estimate.perFileMs)
                 .arg(FileSystemUtils::byteSizeText(estimate.bytesPerSecond), estimate.basis);
    if (kind != CliReport::RunKind::Verify) {
        const Platform::VolumeInfo& volume = plan.volume();
        lines << T::tr("Destination: %1 file system (%2), %3 free, %4 needed")
                     .arg(TargetRules::familyName(plan.family()),
                          volume.type.isEmpty() ? QStringLiteral("?") : volume.type,
                          FileSystemUtils::byteSizeText(volume.availableBytes),
                          FileSystemUtils::byteSizeText(plan.requiredBytes()));
    }
    const QStringList& renamed = plan.renamedForTarget();
    if (!renamed.isEmpty()) {
        lines << T::tr("Renamed for the target (to copy, with look-alike characters): %1")
                     .arg(renamed.size());
        for (const QString& entry : renamed.mid(0, shownEntries))
            lines << QStringLiteral("  ") + entry;
        if (renamed.size() > shownEntries)
            lines << T::tr("  ... and %1 more").arg(renamed.size() - shownEntries);
    }
    const QList<RunPlan::Problem> problems = plan.problems();
    if (problems.isEmpty())
        lines << T::tr("No problem found.");
    for (const RunPlan::Problem& problem : problems) {
        QString line = T::tr("Problem %1: %2").arg(problem.code).arg(problem.count);
        if (problem.code == QLatin1String("no-space"))
            line += T::tr(", %1 bytes short").arg(problem.bytes);
        lines << line;
        for (const QString& entry : problem.entries.mid(0, shownEntries))
            lines << QStringLiteral("  ") + entry;
        if (problem.entries.size() > shownEntries)
            lines << T::tr("  ... and %1 more").arg(problem.entries.size() - shownEntries);
    }
    return lines;
}

QJsonObject planJson(const QString& command, const RunPlan& plan)
{
    using O = RunPlan::Outcome;
    QJsonArray problems;
    for (const RunPlan::Problem& problem : plan.problems())
        problems.append(QJsonObject{{"code", problem.code},
                                    {"count", problem.count},
                                    {"bytes", problem.bytes},
                                    {"certain", problem.certain},
                                    {"entries", QJsonArray::fromStringList(problem.entries)}});
    const RunPlan::Estimate estimate = plan.estimate();
    const Platform::VolumeInfo& volume = plan.volume();
    const int code = exitCode(plan);
    return QJsonObject{
        {"schema", CliReport::jsonSchema},
        {"command", command},
        {"outcome", code == 0 ? "planned" : "planned with problems"},
        {"exitCode", code},
        {"new", tallyJson(plan.tally(O::New))},
        {"overwrite", tallyJson(plan.tally(O::Overwrite))},
        {"rename", tallyJson(plan.tally(O::Rename))},
        {"skipSame", tallyJson(plan.tally(O::SkipSame))},
        {"skipNewer", tallyJson(plan.tally(O::SkipNewer))},
        {"skipFiltered", tallyJson(plan.tally(O::SkipFiltered))},
        {"error", tallyJson(plan.tally(O::Error))},
        {"removeFromSource", tallyJson(plan.removed())},
        {"folders", plan.folders()},
        {"estimatedMs", estimate.ms},
        {"estimatePerFileMs", estimate.perFileMs},
        {"estimateBytesPerSecond", estimate.bytesPerSecond},
        {"estimateBasis", estimate.basis},
        {"fileSystem", TargetRules::familyName(plan.family())},
        {"mountType", volume.type},
        {"availableBytes", volume.availableBytes},
        {"requiredBytes", plan.requiredBytes()},
        {"problems", problems},
        {"renamedForTarget", QJsonArray::fromStringList(plan.renamedForTarget())},
    };
}

QString refusalCode(const RunPlan& plan)
{
    for (const RunPlan::Problem& problem : plan.problems()) {
        if (problem.certain)
            return problem.code;
    }
    return QString();
}

QString refusalText(const RunPlan& plan)
{
    for (const RunPlan::Problem& problem : plan.problems()) {
        if (!problem.certain)
            continue;
        if (problem.code == QLatin1String("no-space"))
            return T::tr("Not enough free space at the destination: %1 bytes needed, %2 "
                         "available, %3 bytes short. Nothing was written; use --force to run "
                         "anyway.")
                .arg(plan.requiredBytes())
                .arg(plan.volume().availableBytes)
                .arg(problem.bytes);
        if (problem.code == QLatin1String("file-too-large"))
            return T::tr("%1 files are larger than the destination's file system takes "
                         "(first: %2). Nothing was written; use --force to run anyway.")
                .arg(problem.count)
                .arg(problem.entries.value(0));
        return T::tr("The destination cannot be written (%1: %2). Nothing was written; use "
                     "--force to run anyway.")
            .arg(problem.code, problem.entries.value(0));
    }
    return QString();
}

} // namespace CliPlan
