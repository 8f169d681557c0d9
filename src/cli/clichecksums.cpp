#include "clichecksums.h"

#include "clireport.h"
#include "clirunner.h"
#include "engine/manifest.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>

#include <cstdio>

namespace {

void print(FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

} // namespace

int CliChecksums::run(const CliArguments& arguments)
{
    ManifestCheck check;
    QString error;
    const QString folder = arguments.checkFolder.isEmpty()
                               ? QFileInfo(arguments.taskFile).absolutePath()
                               : arguments.checkFolder;
    const auto refuse = [&arguments](const QString& text) {
        print(stderr, QStringLiteral("brindle-cli: %1\n").arg(CliReport::safeText(text)));
        if (arguments.json)
            std::fputs(
                CliReport::errorJson(QStringLiteral("check"), QStringLiteral("refused"), text)
                    .constData(),
                stdout);
        return CliRunner::UsageOrPathError;
    };
    if (!check.load(arguments.taskFile, &error))
        return refuse(tr("cannot read the checksum list %1: %2").arg(arguments.taskFile, error));
    if (!QFileInfo(folder).isDir())
        return refuse(tr("%1 is not a folder").arg(folder));
    // Read from the device, not the cache: the list proves what the disk holds.
    const QList<ManifestCheck::Result> results = check.check(folder, true);
    const QMap<ManifestCheck::Outcome, int> counts = ManifestCheck::counts(results);
    const bool allEqual = counts.value(ManifestCheck::Outcome::Equal) == results.size();

    if (arguments.json) {
        QJsonArray files;
        for (const ManifestCheck::Result& result : results) {
            files.append(QJsonObject{{"path", result.path},
                                     {"result", ManifestCheck::outcomeName(result.outcome)},
                                     {"detailText", result.detail}});
        }
        QJsonObject report{{"schema", CliReport::jsonSchema},
                           {"command", "check"},
                           {"outcome", allEqual ? "equal" : "differences"},
                           {"folder", QDir(folder).absolutePath()},
                           {"files", files}};
        // Every count, none left out for being 0: the keys stay the same.
        for (int outcome = 0; outcome <= int(ManifestCheck::Outcome::Malformed); ++outcome) {
            const auto kind = ManifestCheck::Outcome(outcome);
            report.insert(ManifestCheck::outcomeName(kind), counts.value(kind));
        }
        std::fputs((QJsonDocument(report).toJson(QJsonDocument::Compact) + '\n').constData(),
                   stdout);
    } else if (!arguments.quiet) {
        for (const ManifestCheck::Result& result : results) {
            if (result.outcome == ManifestCheck::Outcome::Equal)
                continue;
            QString text;
            switch (result.outcome) {
            case ManifestCheck::Outcome::Missing:
                text = tr("missing");
                break;
            case ManifestCheck::Outcome::Differs:
                text = tr("content differs");
                break;
            case ManifestCheck::Outcome::Unreadable:
                text = tr("unreadable: %1").arg(result.detail);
                break;
            case ManifestCheck::Outcome::NotListed:
                text = tr("not in the checksum list");
                break;
            case ManifestCheck::Outcome::Malformed:
                text = tr("line %1 of the checksum list is not a checksum line").arg(result.path);
                print(stdout, text + QLatin1Char('\n'));
                continue;
            case ManifestCheck::Outcome::Equal:
                break;
            }
            print(stdout, QStringLiteral("%1: %2\n").arg(CliReport::safeText(result.path), text));
        }
        print(stdout, tr("Equal: %1, differing: %2, missing: %3, unreadable: %4, not listed: %5\n")
                          .arg(counts.value(ManifestCheck::Outcome::Equal))
                          .arg(counts.value(ManifestCheck::Outcome::Differs))
                          .arg(counts.value(ManifestCheck::Outcome::Missing))
                          .arg(counts.value(ManifestCheck::Outcome::Unreadable))
                          .arg(counts.value(ManifestCheck::Outcome::NotListed)));
    }
    return allEqual ? CliRunner::Completed : CliRunner::CompletedWithErrors;
}
