#include "planreport.h"

#include "engine/overwritedecision.h"
#include "fs/filenamecodec.h"
#include "fs/pathutils.h"
#include "progressrules.h"

namespace {

QString tallyText(const RunPlan::Tally& tally)
{
    //: %1 is a number of files, %2 their size ("3 files, 1.20 MB")
    return PlanReport::tr("%1 files, %2")
        .arg(tally.files)
        .arg(FileSystemUtils::byteSizeText(tally.bytes));
}

bool isNameCode(const QString& code)
{
    return code == QLatin1String("forbidden-character") || code == QLatin1String("reserved-name") ||
           code == QLatin1String("trailing-dot-or-space");
}

} // namespace

PlanReport PlanReport::of(const RunPlan& plan, const Task& task)
{
    PlanReport report;
    report.task = task;
    report.built = true;
    report.stopped = plan.wasStopped();
    for (int index = 0; index < RunPlan::OutcomeCount; ++index)
        report.tallies[size_t(index)] = plan.tally(RunPlan::Outcome(index));
    report.removed = plan.removed();
    report.folders = plan.folders();
    report.estimate = plan.estimate();
    report.fileSystem = TargetRules::familyName(plan.family());
    report.mountType = plan.volume().type;
    report.availableBytes = plan.volume().availableBytes;
    report.requiredBytes = plan.requiredBytes();
    report.problems = plan.problems();
    report.conflicts = plan.conflicts();
    return report;
}

QStringList PlanReport::summaryLines() const
{
    using O = RunPlan::Outcome;
    const auto tally = [this](O outcome) { return tallies[size_t(outcome)]; };
    const int mode = task.m_options.m_copyMode;
    QStringList lines;
    if (mode == CopyOptions::Verify) {
        lines << tr("To compare: %1").arg(tallyText(tally(O::New)));
    } else {
        lines << tr("To copy: %1").arg(tallyText(tally(O::New)))
              << tr("To overwrite: %1").arg(tallyText(tally(O::Overwrite)));
    }
    RunPlan::Tally skipped;
    for (const O outcome : {O::SkipSame, O::SkipNewer, O::SkipFiltered}) {
        skipped.files += tally(outcome).files;
        skipped.bytes += tally(outcome).bytes;
    }
    lines << tr("To skip: %1 (kept as they are: %2, newer at the destination: %3, left out by "
                "the filters: %4)")
                 .arg(tallyText(skipped))
                 .arg(tally(O::SkipSame).files)
                 .arg(tally(O::SkipNewer).files)
                 .arg(tally(O::SkipFiltered).files);
    if (mode != CopyOptions::Verify)
        lines << tr("To rename: %1").arg(tallyText(tally(O::Rename)));
    lines << tr("In error: %1").arg(tallyText(tally(O::Error)));
    if (mode == CopyOptions::Move)
        lines << tr("Leaving the source: %1").arg(tallyText(removed));
    lines << tr("Folders: %1").arg(folders);
    lines << tr("Estimated time: %1").arg(ProgressRules::finishedElapsedText(estimate.ms))
          << tr("Basis of the estimate: %1 ms per file and %2/s, %3")
                 .arg(estimate.perFileMs)
                 .arg(FileSystemUtils::byteSizeText(estimate.bytesPerSecond), estimate.basis);
    if (mode != CopyOptions::Verify)
        lines << tr("Destination: %1 file system (%2), %3 free, %4 needed")
                     .arg(fileSystem, mountType.isEmpty() ? QStringLiteral("?") : mountType,
                          availableBytes < 0 ? QStringLiteral("?")
                                             : FileSystemUtils::byteSizeText(availableBytes),
                          FileSystemUtils::byteSizeText(requiredBytes));
    if (stopped)
        lines << tr("The check was cancelled: these figures are incomplete.");
    return lines;
}

QString PlanReport::problemText(const QString& code)
{
    static const struct
    {
        const char* code;
        const char* text;
    } texts[] = {
        {"forbidden-character", QT_TR_NOOP("Names with characters the destination refuses")},
        {"reserved-name", QT_TR_NOOP("Names the destination reserves for devices")},
        {"trailing-dot-or-space", QT_TR_NOOP("Names ending in a dot or a space")},
        {"name-too-long", QT_TR_NOOP("Names longer than the destination takes")},
        {"path-too-long", QT_TR_NOOP("Paths longer than the destination takes")},
        {"case-clash", QT_TR_NOOP("Names that differ only by case, which the destination takes "
                                  "as one")},
        {"links-lost", QT_TR_NOOP("Symbolic links the destination cannot hold")},
        {"special-files-lost", QT_TR_NOOP("Special files the destination cannot hold")},
        {"file-too-large", QT_TR_NOOP("Files larger than the destination's file system takes")},
        {"owners-lost", QT_TR_NOOP("Owners the destination does not keep")},
        {"modes-lost", QT_TR_NOOP("Permissions the destination does not keep")},
        {"no-space", QT_TR_NOOP("Not enough free space at the destination")},
        {"destination-read-only", QT_TR_NOOP("The destination is read-only")},
        {"destination-unwritable", QT_TR_NOOP("The destination folder cannot be written")},
        {"name-clash", QT_TR_NOOP("Names another file of this run takes at the destination")},
        {"not-comparable", QT_TR_NOOP("Files without a copy to compare at the destination")},
    };
    for (const auto& entry : texts) {
        if (code == QLatin1String(entry.code))
            return tr(entry.text);
    }
    return code;
}

QStringList PlanReport::problemLines(int shownEntries) const
{
    QStringList lines;
    for (const RunPlan::Problem& problem : problems) {
        QString line = tr("%1: %2").arg(problemText(problem.code)).arg(problem.count);
        if (problem.code == QLatin1String("no-space"))
            line += tr(" (%1 short)").arg(FileSystemUtils::byteSizeText(problem.bytes));
        lines << line;
        for (const QString& entry : problem.entries.mid(0, shownEntries))
            lines << QStringLiteral("    ") + FileNameCodec::visibleText(entry);
        if (problem.entries.size() > shownEntries)
            lines << tr("    ... and %1 more").arg(problem.entries.size() - shownEntries);
    }
    return lines;
}

bool PlanReport::hasCertainFailure() const
{
    for (const RunPlan::Problem& problem : problems) {
        if (problem.certain)
            return true;
    }
    return false;
}

bool PlanReport::needsQuestion() const
{
    for (const RunPlan::Problem& problem : problems) {
        if (problem.code != QLatin1String("owners-lost") &&
            problem.code != QLatin1String("modes-lost"))
            return true;
    }
    return false;
}

bool PlanReport::refusesNames() const
{
    for (const RunPlan::Problem& problem : problems) {
        if (isNameCode(problem.code))
            return true;
    }
    return false;
}

QString PlanReport::failureText() const
{
    QStringList failures;
    for (const RunPlan::Problem& problem : problems) {
        if (problem.certain)
            failures << problemText(problem.code);
    }
    if (failures.isEmpty())
        return QString();
    return tr("The run will fail on these files: %1.").arg(failures.join(QStringLiteral("; ")));
}

QList<CopyItem> PlanReport::problemItems() const
{
    QList<CopyItem> items;
    for (const RunPlan::Problem& problem : problems) {
        const QString text = problemText(problem.code);
        for (const QString& entry : problem.entries) {
            CopyItem item(QString(), entry, 0, false, QString());
            item.setDestinationError(text);
            items << item;
        }
    }
    return items;
}

int PlanReport::decisionOf(RunPlan::Outcome outcome)
{
    switch (outcome) {
    case RunPlan::Outcome::Overwrite:
        return CopyOptions::DecideOverwrite;
    case RunPlan::Outcome::Rename:
        return CopyOptions::DecideRename;
    default:
        return CopyOptions::DecideSkip;
    }
}

QString PlanReport::keyOf(const RunPlan::Conflict& conflict) const
{
    return OverwriteDecision::decisionKey(task.m_destinationPath, conflict.destination);
}

QMap<QString, int> PlanReport::decisionsWith(const QVector<int>& decisions) const
{
    QMap<QString, int> chosen = task.m_options.m_fileDecisions;
    for (int row = 0; row < conflicts.size() && row < decisions.size(); ++row) {
        const RunPlan::Conflict& conflict = conflicts.at(row);
        const QString key = keyOf(conflict);
        if (!key.isEmpty() && decisions.at(row) != decisionOf(conflict.outcome))
            chosen.insert(key, decisions.at(row));
    }
    return chosen;
}
