#pragma once

#include "model/copyoptions.h"
#include "model/externalprogramsettings.h"
#include "model/task.h"

#include <QString>
#include <QStringList>

// What the command line asks brindle-cli to do.
struct CliArguments
{
    enum Command
    {
        NoCommand,
        CopyCommand,
        MoveCommand,
        VerifyCommand,
        ResumeCommand,
        CheckCommand,
        QueueCommand
    };

    // "copy" ... "check"; empty for NoCommand.
    static QString commandName(Command command);
    // The command named by the first of arguments (the program's own excluded) that names
    // one, for a report of arguments that could not be read.
    static Command commandIn(const QStringList& arguments);

    // The run the paths and options name, as given (not yet made absolute or checked).
    Task task() const;

    Command command = NoCommand;
    QString sourcePath;
    QString destinationPath;
    QString taskFile;         // resume; check: the checksum list
    QString checkFolder;      // check: the folder it lists (default: the list's own folder)
    bool fixErrors = false;   // resume --fix-errors
    bool makeParents = false; // create a missing destination with its parent folders
    CopyOptions options;      // copy, move, verify
    int threads = 0;          // 0: the settings' thread count
    int copyMethod = -1;      // -1: the settings' copy method
    int hashAlgorithm = -1;   // the digest of verifies (Digest::Algorithm); -1: SHA-256
    QString manifestPath;     // the checksum list a verifying run writes
    bool useExternalProgram = false;
    ExternalProgramSettings externalProgram;
    bool skipBuildListForExternalProgram = false;
    QString saveTaskPath;
    bool reportFilteredFiles = false;
    bool quiet = false;
    bool json = false;
    bool portable = false;
    bool dryRun = false;       // copy, move, verify: the plan only, nothing written
    bool force = false;        // run past a destination check that foresees a certain failure
    bool queue = false;        // copy, move, verify: add the run to the queue
    bool progressJson = false; // a queued run's process: progress as JSON lines on stdout
    QString queueAction;       // queue: add, list, run, pause, continue, stop, remove, up, down
    QString queueId;           // the run a queue action names
};

namespace CliArgumentParser {

enum Result
{
    Run,
    ShowHelp,
    ShowVersion,
    UsageError
};

// Parses the program's arguments (the first one is the program itself). On a usage
// error the message says what is wrong, in one line.
Result parse(const QStringList& arguments, CliArguments* out, QString* message);

// The texts of --help and --version, and the hint after a usage error, in the language of
// the installed translation.
QString helpText();
QString versionText();
QString moreHelpText();

// "a, b ,,c" -> {"a", "b", "c"}: the same splitting as the window's filter fields.
QStringList patternsFromText(const QString& text);

} // namespace CliArgumentParser
