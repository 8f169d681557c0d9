#include "clireport.h"

#include "base/saturating.h"
#include "fs/filenamecodec.h"
#include "fs/pathutils.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace CliReport {

namespace {

// The texts of this file are in the context "CliReport".
struct T
{
    Q_DECLARE_TR_FUNCTIONS(CliReport)
};

} // namespace

QString elapsedText(qint64 ms)
{
    if (ms < 1000)
        return QStringLiteral("%1 ms").arg(qMax<qint64>(ms, 0));
    if (ms < 60000)
        return QStringLiteral("%1 s").arg(QString::number(double(ms) / 1000.0, 'f', 2));
    return FileSystemUtils::durationText(ms, false);
}

QString runName(RunKind kind)
{
    switch (kind) {
    case RunKind::Move:
        return QStringLiteral("move");
    case RunKind::Verify:
        return QStringLiteral("verify");
    case RunKind::Copy:
        break;
    }
    return QStringLiteral("copy");
}

QString headline(RunKind kind, Outcome outcome)
{
    // Whole sentences: a translation words each run and outcome its own way.
    if (outcome == Outcome::NothingToDo)
        return kind == RunKind::Move     ? T::tr("Nothing to do: the move was complete.")
               : kind == RunKind::Verify ? T::tr("Nothing to do: the verify was complete.")
                                         : T::tr("Nothing to do: the copy was complete.");
    switch (kind) {
    case RunKind::Move:
        return outcome == Outcome::Stopped               ? T::tr("The move is stopped.")
               : outcome == Outcome::CompletedWithErrors ? T::tr("The move has some errors.")
                                                         : T::tr("The move is completed.");
    case RunKind::Verify:
        return outcome == Outcome::Stopped               ? T::tr("The verify is stopped.")
               : outcome == Outcome::CompletedWithErrors ? T::tr("The verify has some errors.")
                                                         : T::tr("The verify is completed.");
    case RunKind::Copy:
        break;
    }
    return outcome == Outcome::Stopped               ? T::tr("The copy is stopped.")
           : outcome == Outcome::CompletedWithErrors ? T::tr("The copy has some errors.")
                                                     : T::tr("The copy is completed.");
}

QString safeText(const QString& text)
{
    return FileNameCodec::visibleText(text);
}

bool didNothing(const Counters& c)
{
    return c[FilesCopied] == 0 && c[FilesChecked] == 0 && c[ErrorItems] == 0;
}

QStringList reportLines(const Counters& c, RunKind kind, qint64 elapsedMs, bool resumed)
{
    using FileSystemUtils::byteSizeText;
    const auto line = [](const QString& label, qint64 value) {
        return QStringLiteral("%1: %2").arg(label).arg(value);
    };
    const auto sizeLine = [](const QString& label, qint64 bytes) {
        return T::tr("%1: %2 (%3 bytes)").arg(label, byteSizeText(bytes)).arg(bytes);
    };
    QStringList lines{
        line(T::tr("Total Folders"), c[FoldersFound]),
        line(T::tr("Processed Folders"), c[FoldersSynced]),
        line(T::tr("Total Files"), c[FilesToCopy]),
        sizeLine(T::tr("Total File Size"), c[BytesToCopy]),
        line(T::tr("Processed Files"), c[FilesCompleted]),
        sizeLine(T::tr("Processed File Size"), c[BytesCompleted]),
    };
    // A verify copies nothing: what it did was check files.
    if (kind == RunKind::Verify) {
        lines << line(T::tr("Verified Files"), c[FilesChecked]);
        if (c[FilesSkipped] > 0)
            lines << line(T::tr("Skipped Files"), c[FilesSkipped]);
    } else {
        lines << line(kind == RunKind::Move ? T::tr("Moved Files") : T::tr("Copied Files"),
                      c[FilesCopied])
              << line(T::tr("Skipped Files"), c[FilesSkipped]);
        if (c[FilesChecked] > 0)
            lines << line(T::tr("Checked Files"), c[FilesChecked]);
    }
    if (resumed)
        lines << line(T::tr("Changed Since The Earlier Run"), c[FilesChanged]);
    lines << line(T::tr("Errors"), c[ErrorItems]);
    lines << T::tr("Elapsed Time: %1").arg(elapsedText(elapsedMs));
    if (const qint64 speed = realSpeed(c[BytesCompleted], elapsedMs))
        lines << T::tr("Average Speed: %1/s").arg(byteSizeText(speed));
    lines << T::tr("Done");
    return lines;
}

QStringList errorLines(const QList<CopyItem>& errorItems)
{
    QStringList lines;
    lines.reserve(errorItems.size());
    for (const CopyItem& item : errorItems) {
        QString line = QStringLiteral("%1: %2").arg(item.source_path, item.copy_message);
        QStringList reasons = item.info_list;
        reasons.removeAll(item.copy_message);
        reasons.removeAll(QString());
        if (!reasons.isEmpty())
            line += QStringLiteral(": ") + reasons.join(QStringLiteral("; "));
        lines.append(safeText(line));
    }
    return lines;
}

QList<CopyItem> filteredItems(const QList<CopyItem>& skippedItems)
{
    QList<CopyItem> items;
    for (const CopyItem& item : skippedItems) {
        if (!item.filtered_by.isEmpty())
            items.append(item);
    }
    return items;
}

namespace {

qint64 filteredCount(const QList<CopyItem>& filteredItems, bool folders)
{
    return std::count_if(filteredItems.cbegin(), filteredItems.cend(),
                         [folders](const CopyItem& item) { return item.is_folder == folders; });
}

} // namespace

QStringList filteredLines(const QList<CopyItem>& filteredItems)
{
    QStringList lines{QStringLiteral("%1: %2")
                          .arg(T::tr("Filtered Files"))
                          .arg(filteredCount(filteredItems, false))};
    // A folder left out is not walked: its files are not counted, and it says so.
    if (const qint64 folders = filteredCount(filteredItems, true))
        lines << QStringLiteral("%1: %2").arg(T::tr("Filtered Folders")).arg(folders);
    for (const CopyItem& item : filteredItems)
        lines << safeText(QStringLiteral("%1: %2").arg(item.source_path,
                                                       item.info_list.value(0, item.filtered_by)));
    return lines;
}

void addFiltered(QJsonObject& report, const QList<CopyItem>& filteredItems)
{
    QJsonArray items;
    for (const CopyItem& item : filteredItems) {
        items.append(QJsonObject{
            {"source", item.source_path},
            {"folder", item.is_folder},
            {"filter", item.filtered_by},
            {"pattern", item.filtered_by == QLatin1String("exclude")
                            ? QJsonValue(item.filter_pattern)
                            : QJsonValue()},
            {"reasonText", item.info_list.value(0)},
        });
    }
    report.insert(QStringLiteral("filteredFiles"), filteredCount(filteredItems, false));
    report.insert(QStringLiteral("filteredFolders"), filteredCount(filteredItems, true));
    report.insert(QStringLiteral("filteredItems"), items);
}

qint64 realSpeed(qint64 bytes, qint64 elapsedMs)
{
    if (bytes <= 0 || elapsedMs <= 0)
        return 0;
    return FileSystemUtils::roundToInt64(double(bytes) * 1000.0 / double(elapsedMs));
}

void ProgressEstimate::update(qint64 elapsedMs, const Counters& c, bool fileListCompleted)
{
    const qint64 units =
        saturatingAdd(c[BytesCompleted], saturatingMultiply(c[FilesCompleted], FileCostInBytes));
    if (!m_started) {
        m_started = true;
        m_startMs = elapsedMs;
        m_startBytes = c[BytesCompleted];
        m_startUnits = units;
        return;
    }
    const qint64 measuredMs = elapsedMs - m_startMs;
    const qint64 doneUnits = units - m_startUnits;
    // Under a second, or before anything is done, a rate would be noise.
    if (measuredMs < 1000 || doneUnits <= 0) {
        m_remainingMs = -1;
        return;
    }
    m_bytesPerSecond = realSpeed(c[BytesCompleted] - m_startBytes, measuredMs);
    if (!fileListCompleted) {
        m_remainingMs = -1;
        return;
    }
    const qint64 leftUnits = saturatingAdd(
        qMax<qint64>(0, c[BytesToCopy] - c[BytesCompleted]),
        saturatingMultiply(qMax<qint64>(0, c[FilesToCopy] - c[FilesCompleted]), FileCostInBytes));
    m_remainingMs =
        FileSystemUtils::roundToInt64(double(leftUnits) * double(measuredMs) / double(doneUnits));
}

QString progressLine(const Counters& c, bool fileListCompleted, qint64 bytesPerSecond,
                     qint64 remainingMs)
{
    using FileSystemUtils::byteSizeText;
    const QString growing = fileListCompleted ? QString() : QStringLiteral("+");
    //: Files done/to do, then bytes done/to do; %3 is "+" while the list still grows.
    QString text = T::tr("%1/%2%3 files, %4/%5%3")
                       .arg(c[FilesCompleted])
                       .arg(c[FilesToCopy])
                       .arg(growing, byteSizeText(c[BytesCompleted]), byteSizeText(c[BytesToCopy]));
    if (bytesPerSecond > 0)
        text += QStringLiteral(", %1/s").arg(byteSizeText(bytesPerSecond));
    if (!fileListCompleted)
        text += T::tr(", building file list");
    else if (remainingMs >= 0)
        text += T::tr(", %1 left").arg(FileSystemUtils::durationText(remainingMs, false));
    if (c[ErrorItems] > 0)
        text += T::tr(", %1 errors").arg(c[ErrorItems]);
    return text;
}

QString flushLine(qint64 written, qint64 total)
{
    const QString text = T::tr("Writing to the device…");
    if (total <= 0)
        return text;
    return QStringLiteral("%1 %2%").arg(text).arg(qBound<qint64>(0, written, total) * 100 / total);
}

QByteArray errorJson(const QString& command, const QString& code, const QString& text)
{
    const QJsonObject json{
        {"schema", jsonSchema},
        {"command", command.isEmpty() ? QJsonValue() : QJsonValue(command)},
        {"outcome", "refused"},
        {"exitCode", 2},
        {"error", QJsonObject{{"code", code}, {"text", text}}},
    };
    return QJsonDocument(json).toJson(QJsonDocument::Compact) + '\n';
}

QJsonObject reportJson(const QString& command, const QString& outcome, const Counters& c,
                       const QList<CopyItem>& errorItems, qint64 bytesPerSecond)
{
    QJsonArray errors;
    for (const CopyItem& item : errorItems) {
        errors.append(QJsonObject{
            {"source", item.source_path},
            {"destination", item.destination_path},
            {"folder", item.is_folder},
            {"state", item.copy_state == SourceError ? "source error" : "destination error"},
            {"messageText", item.copy_message},
            {"infoText", QJsonArray::fromStringList(item.info_list)},
        });
    }
    return QJsonObject{
        {"schema", jsonSchema},
        {"command", command},
        {"outcome", outcome},
        {"totalFolders", c[FoldersFound]},
        {"processedFolders", c[FoldersSynced]},
        {"totalFiles", c[FilesToCopy]},
        {"totalBytes", c[BytesToCopy]},
        {"processedFiles", c[FilesCompleted]},
        {"processedBytes", c[BytesCompleted]},
        {"copiedFiles", c[FilesCopied]},
        {"skippedFiles", c[FilesSkipped]},
        {"checkedFiles", c[FilesChecked]},
        // The same count, by the name a verified copy or move gives it.
        {"verifiedFiles", c[FilesChecked]},
        {"errors", c[ErrorItems]},
        {"changedFiles", c[FilesChanged]},
        {"elapsedMs", c[TaskElapsedTime]},
        {"bytesPerSecond", bytesPerSecond},
        {"errorItems", errors},
    };
}

} // namespace CliReport
