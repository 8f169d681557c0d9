#pragma once

#include "app/appsettings.h"
#include "model/task.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// The main window's rules that need no widget, kept apart so that they are plain to test.
namespace MainWindowRules {

// Entries of the recent-task list at most.
constexpr int MaximumRecentTasks = AppSettings::MaximumRecentTasks;

// The recent-task list with task in front: an entry of the same name (source and
// destination) is moved rather than repeated, and the oldest falls out beyond the maximum.
QList<Task> recentTasksWith(QList<Task> tasks, const Task& task);

// Whether a typed path begins or ends with a blank.
bool hasEdgeSpaces(const QString& path);

// The path made absolute against base (the folder the program works in) and normalised;
// an empty path stays empty.
QString absolutePath(const QString& path, const QString& base);

// The name of a copy-method setting in the recap (0 the default method of the paths).
QString copyMethodName(int method);

// A task's options as the recap and the box of a loaded task show them: one "Name: value"
// line each, in words (the log keeps the stored keys). Control characters in the patterns
// are replaced, so that no text can pose as a line of its own.
QStringList optionsInWords(const CopyOptions& options);
// What the sleep lock of a run says it is for.
QString sleepReason(int copyMode);
// The text with each control character (a line break, an escape) replaced by U+FFFD.
QString withoutControlCharacters(QString text);

// What the external copy program leaves to the user: filters and copy options are its own
// when it also skips the file list; the overwrite rule is always its own.
struct OptionRules
{
    bool copyOptionsEnabled = true;
    bool filtersEnabled = true;
    bool overwriteModeEnabled = true;
};
OptionRules optionRules(bool useExternalProgram, bool skipBuildList);

// A status text made to fit width pixels as the label measures it: too wide, it loses 4
// characters from its front, then 1 at a time, and gets "..." in front. Null when it
// still does not fit after 100 rounds (the label is then left as it is).
QString fittedStatusText(const QString& text, int width,
                         const std::function<int(const QString&)>& textWidth);

// The arguments of a new window of this program: none of the paths or the task file this
// one was started with (a second window would run the same copy into the same
// destination), only the options that say where settings live.
QStringList newWindowArguments(const QStringList& arguments);

// What the program's arguments ask of the window: one argument with the task-file suffix
// (compared case-sensitively) loads that file, any other single argument is ignored, and
// two or more copy the first path into the second, the rest ignored. Relative paths are
// taken against base, the folder the program was started in.
struct ArgumentsRequest
{
    enum Kind
    {
        Nothing,
        LoadTaskFile,
        Copy
    };
    Kind kind = Nothing;
    QString taskFile;
    QString source;
    QString destination;
};
ArgumentsRequest argumentsRequest(const QStringList& arguments, const QString& base,
                                  const QString& taskFileSuffix);

// Whether an address announced by the version file may be opened: only a web page (http
// or https with a host). The file comes from the network, so a local file, a launcher or
// any other scheme it names must never reach the desktop.
bool isSafeUpdateUrl(const QString& url);

} // namespace MainWindowRules
