#include "mainwindowrules.h"

#include "fs/pathutils.h"

#include <QCoreApplication>
#include <QDir>
#include <QUrl>

namespace MainWindowRules {

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("MainWindowRules", text);
}

QString modeInWords(int mode)
{
    switch (mode) {
    case CopyOptions::Move:
        return tr("move (each source is deleted once copied)");
    case CopyOptions::Verify:
        return tr("verify (nothing is written)");
    case CopyOptions::FixErrors:
        return tr("copy the items in error again");
    default:
        return tr("copy");
    }
}

QString overwriteInWords(int mode)
{
    switch (mode) {
    case CopyOptions::NoOverwrite:
        return tr("never replaced");
    case CopyOptions::OverwriteAlways:
        return tr("always replaced");
    case CopyOptions::AutoRename:
        return tr("kept, the copy gets a new name");
    case CopyOptions::OverwriteDifferent:
        return tr("replaced when their date or size differs");
    case CopyOptions::OverwriteContent:
        return tr("replaced when their bytes differ");
    default:
        return tr("replaced when older than the source");
    }
}

} // namespace

QString withoutControlCharacters(QString text)
{
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control)
            c = QChar::ReplacementCharacter;
    }
    return text;
}

QStringList optionsInWords(const CopyOptions& options)
{
    const auto yesNo = [](bool yes) { return yes ? tr("yes") : tr("no"); };
    const auto patterns = [](const QStringList& list) {
        const QString joined = list.join(QStringLiteral(", "));
        return joined.isEmpty() ? tr("none") : withoutControlCharacters(joined);
    };
    QStringList lines{
        tr("Mode: %1").arg(modeInWords(options.m_copyMode)),
        tr("Existing files in the destination: %1").arg(overwriteInWords(options.m_overwriteMode)),
        tr("Subfolders: %1")
            .arg(options.m_destinationMode == CopyOptions::Collate
                     ? tr("their files are copied into the destination itself")
                 : options.m_recursive ? tr("copied")
                                       : tr("left out")),
        tr("Hidden files: %1").arg(yesNo(options.m_copyHiddenFiles)),
        tr("Links: %1").arg(options.m_copySymbolicLinks ? tr("copied as links") : tr("left out")),
        tr("Empty folders: %1").arg(yesNo(options.m_copyEmptyFolders)),
        tr("Verify after copying: %1").arg(yesNo(options.m_verifyCopies)),
        tr("Copy only: %1").arg(patterns(options.m_copyFilters)),
        tr("Skip: %1").arg(patterns(options.m_skipFilters)),
        tr("Errors ignored on: %1").arg(patterns(options.m_skipErrorOnFiles))};
    // Said only when chosen: most tasks never meet them.
    if (options.m_replaceForbiddenNames)
        lines << tr("Names the destination refuses: %1")
                     .arg(tr("written with look-alike characters"));
    if (!options.m_fileDecisions.isEmpty())
        lines << tr("Decisions for single files: %1").arg(options.m_fileDecisions.size());
    return lines;
}

QString sleepReason(int copyMode)
{
    // Translated where the run starts.
    switch (copyMode) {
    case CopyOptions::Move:
        return QCoreApplication::translate("RunPresenter", "Moving files");
    case CopyOptions::Verify:
        return QCoreApplication::translate("RunPresenter", "Verifying copies");
    default:
        return QCoreApplication::translate("RunPresenter", "Copying files");
    }
}

QList<Task> recentTasksWith(QList<Task> tasks, const Task& task)
{
    for (int index = 0; index < tasks.size(); ++index) {
        if (tasks.at(index).m_name == task.m_name) {
            tasks.removeAt(index);
            break;
        }
    }
    tasks.prepend(task);
    while (tasks.size() > MaximumRecentTasks)
        tasks.removeLast();
    return tasks;
}

bool hasEdgeSpaces(const QString& path)
{
    return path.startsWith(QLatin1Char(' ')) || path.endsWith(QLatin1Char(' '));
}

QString absolutePath(const QString& path, const QString& base)
{
    if (path.isEmpty())
        return path;
    return FileSystemUtils::normalizePath(QDir(base).absoluteFilePath(path));
}

QString copyMethodName(int method)
{
    switch (method) {
    case 0:
        return QCoreApplication::translate("GuiMainWindow", "Default");
    case 1:
        return QCoreApplication::translate("GuiMainWindow", "Native");
    case 2:
        return QStringLiteral("Qt");
    case 3:
        return QCoreApplication::translate("GuiMainWindow", "Simple");
    default:
        return QCoreApplication::translate("GuiMainWindow", "Unknown");
    }
}

OptionRules optionRules(bool useExternalProgram, bool skipBuildList)
{
    OptionRules rules;
    rules.copyOptionsEnabled = !(useExternalProgram && skipBuildList);
    rules.filtersEnabled = rules.copyOptionsEnabled;
    rules.overwriteModeEnabled = !useExternalProgram;
    return rules;
}

QString fittedStatusText(const QString& text, int width,
                         const std::function<int(const QString&)>& textWidth)
{
    const QString simplified = text.simplified();
    if (textWidth(simplified) <= width)
        return simplified;
    QString rest = simplified;
    const QString ellipsis = QStringLiteral("...");
    for (int round = 0; round < 100 && !rest.isEmpty(); ++round) {
        rest.remove(0, round == 0 ? 4 : 1);
        const QString candidate = ellipsis + rest;
        if (textWidth(candidate) <= width)
            return candidate;
    }
    return QString();
}

QStringList newWindowArguments(const QStringList& arguments)
{
    QStringList kept;
    for (const QString& argument : arguments.mid(1)) {
        if (argument == QLatin1String("--portable") && !kept.contains(argument))
            kept.append(argument);
    }
    return kept;
}

ArgumentsRequest argumentsRequest(const QStringList& arguments, const QString& base,
                                  const QString& taskFileSuffix)
{
    ArgumentsRequest request;
    if (arguments.size() == 1) {
        if (FileSystemUtils::limitedSuffix(arguments.first(), 0) == taskFileSuffix) {
            request.kind = ArgumentsRequest::LoadTaskFile;
            request.taskFile = absolutePath(arguments.first(), base);
        }
    } else if (arguments.size() >= 2) {
        request.kind = ArgumentsRequest::Copy;
        request.source = absolutePath(arguments.at(0), base);
        request.destination = absolutePath(arguments.at(1), base);
    }
    return request;
}

bool isSafeUpdateUrl(const QString& url)
{
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme();
    return parsed.isValid() && !parsed.host().isEmpty() &&
           (scheme == QLatin1String("https") || scheme == QLatin1String("http"));
}

} // namespace MainWindowRules
