#include "mainwindowrules.h"

#include "fs/pathutils.h"

#include <QCoreApplication>
#include <QDir>
#include <QUrl>

namespace MainWindowRules {

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
