#include "clireport.h"

#include "fs/pathutils.h"

#include <QJsonArray>

namespace CliReport {

QStringList reportLines(const Counters& c)
{
    using FileSystemUtils::byteSizeText;
    const auto line = [](const char* key, qint64 value) {
        return QStringLiteral("%1: %2").arg(QLatin1String(key)).arg(value);
    };
    const auto sizeLine = [](const char* key, qint64 bytes) {
        return QStringLiteral("%1: %2 (%3 bytes)")
            .arg(QLatin1String(key), byteSizeText(bytes))
            .arg(bytes);
    };
    return {
        line("Total Folders", c[FoldersFound]),
        line("Processed Folders", c[FoldersSynced]),
        line("Total Files", c[FilesToCopy]),
        sizeLine("Total File Size", c[BytesToCopy]),
        line("Processed Files", c[FilesCompleted]),
        sizeLine("Processed File Size", c[BytesCompleted]),
        line("Copied Files", c[FilesCopied]),
        line("Skipped Files", c[FilesSkipped]),
        line("Checked Files", c[FilesChecked]),
        line("Errors", c[ErrorItems]),
        QStringLiteral("Done"),
    };
}

QStringList errorLines(const QList<CopyItem>& errorItems)
{
    QStringList lines;
    lines.reserve(errorItems.size());
    for (const CopyItem& item : errorItems)
        lines.append(QStringLiteral("%1: %2").arg(item.source_path, item.copy_message));
    return lines;
}

QString progressLine(const Counters& c, bool fileListCompleted, qint64 bytesPerSecond,
                     qint64 remainingMs)
{
    using FileSystemUtils::byteSizeText;
    const QString growing = fileListCompleted ? QString() : QStringLiteral("+");
    QString text = QStringLiteral("%1/%2%3 files, %4/%5%3")
                       .arg(c[FilesCompleted])
                       .arg(c[FilesToCopy])
                       .arg(growing, byteSizeText(c[BytesCompleted]), byteSizeText(c[BytesToCopy]));
    // A speed of 1 means "not measured yet": no estimate is shown from it either.
    if (bytesPerSecond > 1)
        text += QStringLiteral(", %1/s").arg(byteSizeText(bytesPerSecond));
    if (!fileListCompleted)
        text += QStringLiteral(", building file list");
    else if (remainingMs >= 0 && (bytesPerSecond > 1 || c[BytesToCopy] <= c[BytesCompleted]))
        text += QStringLiteral(", %1 left").arg(FileSystemUtils::durationText(remainingMs, false));
    if (c[ErrorItems] > 0)
        text += QStringLiteral(", %1 errors").arg(c[ErrorItems]);
    return text;
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
            {"message", item.copy_message},
            {"info", QJsonArray::fromStringList(item.info_list)},
        });
    }
    return QJsonObject{
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
        {"errors", c[ErrorItems]},
        {"elapsedMs", c[TaskElapsedTime]},
        {"bytesPerSecond", bytesPerSecond},
        {"errorItems", errors},
    };
}

} // namespace CliReport
