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
    if (!check.load(arguments.taskFile, &error)) {
        print(stderr, tr("brindle-cli: cannot read the checksum list %1: %2\n")
                          .arg(CliReport::safeText(arguments.taskFile), error));
        return CliRunner::UsageOrPathError;
    }
    if (!QFileInfo(folder).isDir()) {
        print(stderr, tr("brindle-cli: %1 is not a folder\n").arg(CliReport::safeText(folder)));
        return CliRunner::UsageOrPathError;
    }
    // Read from the device, not the cache: the list proves what the disk holds.
    const QList<ManifestCheck::Result> results = check.check(folder, true);
    const QMap<ManifestCheck::Outcome, int> counts = ManifestCheck::counts(results);
    const bool allEqual = counts.value(ManifestCheck::Outcome::Equal) == results.size();

    if (arguments.json) {
        QJsonArray files;
        for (const ManifestCheck::Result& result : results) {
            QJsonObject file{{"path", result.path},
                             {"result", ManifestCheck::outcomeName(result.outcome)}};
            if (!result.detail.isEmpty())
                file.insert(QStringLiteral("detail"), result.detail);
            files.append(file);
        }
        QJsonObject report{{"folder", QDir(folder).absolutePath()}, {"files", files}};
        for (auto outcome = counts.cbegin(); outcome != counts.cend(); ++outcome)
            report.insert(ManifestCheck::outcomeName(outcome.key()), outcome.value());
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
