#include "cliarguments.h"

#include "app/programidentity.h"
#include "engine/digest.h"
#include "fs/pathutils.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHash>

namespace CliArgumentParser {

namespace {

// The texts of this file are in the context "CliArgumentParser".
struct T
{
    Q_DECLARE_TR_FUNCTIONS(CliArgumentParser)
};

// The option names, the commands and the words an option takes (never, older, ...) are
// typed by the user: they stay as they are in every language.
struct Options
{
    QCommandLineOption overwrite{"overwrite",
                                 T::tr("What to do with an existing destination file: never, older "
                                       "(default), always, rename, different or content (only "
                                       "when its bytes differ)."),
                                 T::tr("RULE")};
    QCommandLineOption collate{"collate",
                               T::tr("Put every file directly into the destination folder.")};
    QCommandLineOption parents{
        "parents", T::tr("Create the destination's missing parent folders too (without "
                         "it, a destination whose parent folder is missing is an error).")};
    QCommandLineOption noRecursive{"no-recursive", T::tr("Do not walk subfolders.")};
    QCommandLineOption noHidden{"no-hidden", T::tr("Leave hidden files and folders out.")};
    QCommandLineOption noLinks{"no-links", T::tr("Do not copy symbolic links.")};
    QCommandLineOption noEmptyFolders{"no-empty-folders", T::tr("Do not create empty folders.")};
    QCommandLineOption include{
        "include",
        T::tr("Copy only files matching these patterns (separated by commas; given several "
              "times, they add up). See \"Filters\" above."),
        T::tr("PATTERNS")};
    QCommandLineOption exclude{"exclude",
                               T::tr("Leave out files and folders matching these patterns "
                                     "(separated by commas; given several times, they add up)."),
                               T::tr("PATTERNS")};
    QCommandLineOption ignoreCase{"ignore-case",
                                  T::tr("Let --include and --exclude match without regard to "
                                        "case (default: as the source's file system counts it).")};
    QCommandLineOption replaceNames{
        "replace-forbidden-names",
        T::tr("Write names the destination's file system refuses (FAT, exFAT, NTFS, SMB) with "
              "look-alike characters: \"*:<>?\\| fullwidth, control characters as their "
              "pictures, trailing dots and spaces as U+FF0E and U+2420, a reserved name (CON, "
              "NUL, COM1...) with its first letter fullwidth, bytes that are not UTF-8 as %XX. "
              "Kept in a saved task; verify and fix errors find the same names.")};
    QCommandLineOption skipErrorsOn{"skip-errors-on",
                                    T::tr("Ignore errors of files matching these wildcard patterns "
                                          "(default desktop.ini)."),
                                    T::tr("PATTERNS")};
    QCommandLineOption threads{
        "threads", T::tr("Number of worker threads (default: the settings)."), T::tr("N")};
    QCommandLineOption method{"method",
                              T::tr("Copy method: default, native, qt or simple (default: the "
                                    "settings)."),
                              T::tr("METHOD")};
    QCommandLineOption hash{"hash",
                            T::tr("Digest a verify compares both sides by: sha256 (default), "
                                  "blake2b or xxh3."),
                            T::tr("ALGORITHM")};
    QCommandLineOption verify{"verify",
                              T::tr("With copy and move: read each copy back from the device and "
                                    "compare its digest with the source's; a move removes a "
                                    "source only after that.")};
    QCommandLineOption manifest{"manifest",
                                T::tr("With verify, or copy and move with --verify: write the "
                                      "checksum list of the verified files to FILE, in the "
                                      "format of sha256sum, b2sum or xxhsum -H2."),
                                T::tr("FILE")};
    QCommandLineOption external{"external", T::tr("Copy files with this external program."),
                                T::tr("PROGRAM")};
    QCommandLineOption externalArgs{
        "external-args",
        T::tr("Arguments of the external program, separated by spaces; an empty text gives none. "
              "Default: the program's usual arguments, -a for rsync and cp."),
        T::tr("ARGS")};
    QCommandLineOption noFileList{"no-file-list",
                                  T::tr("With --external: hand the whole source to the program "
                                        "without building a file list.")};
    QCommandLineOption saveTask{
        "save-task", T::tr("Save the task file of the run to FILE at the end."), T::tr("FILE")};
    QCommandLineOption reportFiltered{"report-filtered",
                                      T::tr("Report files left out by the filters.")};
    QCommandLineOption dryRun{"dry-run",
                              T::tr("Walk the source and the destination as the run would, "
                                    "count what it would do and check the destination's file "
                                    "system; write nothing. Exit 0 when the plan finds no "
                                    "problem, 1 when it does.")};
    QCommandLineOption force{"force",
                             T::tr("Run even when the check of the destination finds files "
                                   "too large for it or too little free space.")};
    QCommandLineOption fixErrors{"fix-errors",
                                 T::tr("With resume: copy again the items in error.")};
    QCommandLineOption quiet{"quiet", T::tr("Print no progress and no report, only errors.")};
    QCommandLineOption json{"json",
                            T::tr("Print the report as one JSON object on standard output.")};
    QCommandLineOption portable{"portable",
                                T::tr("Keep settings and data in the program's folder.")};
    QCommandLineOption queue{"queue",
                             T::tr("With copy, move and verify: add the run to the queue and "
                                   "return at once (see \"Queue\" above).")};
    // The process of a queued run tells its runner how far it got.
    QCommandLineOption progressJson{"progress-json", QStringLiteral("progress as JSON lines")};
    QCommandLineOption help{QStringList{"h", "help"}, T::tr("Show this help.")};
    QCommandLineOption version{QStringList{"v", "version"}, T::tr("Show the version.")};

    QList<QCommandLineOption> all() const
    {
        return {overwrite,      parents,    collate,  noRecursive,    noHidden,     noLinks,
                noEmptyFolders, include,    exclude,  ignoreCase,     replaceNames, skipErrorsOn,
                threads,        method,     hash,     verify,         manifest,     external,
                externalArgs,   noFileList, saveTask, reportFiltered, fixErrors,    quiet,
                json,           portable,   dryRun,   force,          queue,        hidden(),
                help,           version};
    }
    QCommandLineOption hidden() const
    {
        QCommandLineOption option = progressJson;
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        return option;
    }
    // Options that shape a new run; a resumed run takes them from its task file.
    QList<QCommandLineOption> runShaping() const
    {
        return {overwrite,      parents,      collate,    noRecursive, noHidden,     noLinks,
                noEmptyFolders, include,      exclude,    ignoreCase,  replaceNames, skipErrorsOn,
                external,       externalArgs, noFileList, verify,      dryRun,       force};
    }
};

void setUpParser(QCommandLineParser& parser, const Options& options)
{
    const QString commands =
        //: The command words (copy, move, verify, resume, check) stay; the words in capitals are
        //: placeholders for the user's paths, as are those of the options' values.
        T::tr("  brindle-cli copy   SOURCE DESTINATION [options]\n"
              "  brindle-cli move   SOURCE DESTINATION [options]\n"
              "  brindle-cli verify SOURCE DESTINATION [options]\n"
              "  brindle-cli resume TASKFILE [--fix-errors]\n"
              "  brindle-cli check  CHECKSUMS [FOLDER]\n"
              "  brindle-cli queue  add|list|run|pause|continue|stop|remove|up|down [ID]");
    const QString exitCodes =
        T::tr("Exit codes:\n"
              "  0  completed without errors\n"
              "  1  completed with errors\n"
              "  2  usage or path error; nothing was done\n"
              "  3  stopped: resume it with the printed command, or run the same command again\n"
              "  4  completed, but the report or the task file could not be written (closed\n"
              "     output, full device)");
    const QStringList description{
        T::tr("Copies, moves and verifies files and folders."), commands,
        T::tr("The destination is a folder. A missing one is created when its parent folder\n"
              "exists, or with --parents."),
        T::tr("A run that ends with errors saves them in an errors file in the data folder and\n"
              "prints the command that copies them again (resume FILE --fix-errors). A stopped\n"
              "run (Ctrl-C, a termination request, a closed terminal) saves its task there when\n"
              "its file list was complete and prints the command that resumes it. A resume that\n"
              "completes removes the file the program saved, and updates a task file of yours."),
        T::tr("check reads a checksum list made by sha256sum, b2sum or xxhsum -H2 and checks\n"
              "the folder it lists (by default the list's own folder), each file read from its\n"
              "device; files of the folder that the list does not name are reported too."),
        //: The patterns and paths in the examples stay as they are.
        T::tr("Filters: a pattern without \"/\" matches a name in any folder. One with \"/\"\n"
              "matches the end of the path below the source (\"/\" between folders); a leading\n"
              "\"/\" ties it to the top of the source, and a trailing \"/\" matches folders only,\n"
              "with everything under them. \"*\" and \"?\" stop at \"/\", \"**\" does not;\n"
              "\"[abc]\" is one of a set. A backslash makes the next character stand for itself:\n"
              "\"\\,\" is a comma within a pattern. Case counts as it counts on the source's file\n"
              "system (on Linux file systems it does, on FAT and exFAT not), or never with\n"
              "--ignore-case. Excluded entries are left out even when an --include matches.\n"
              "  --include '*.jpg'           JPEG files in every folder\n"
              "  --exclude photos/           every folder named photos, and all in it\n"
              "  --include 'photos/*.jpg'    JPEG files right in a folder named photos\n"
              "  --exclude '/build/'         only the folder build at the top of the source\n"
              "  --include 'a\\,b.txt'        the file named a,b.txt"),
        T::tr("Queue: copy, move or verify with --queue (or queue add copy|move|verify ...) adds\n"
              "the run to your queue and returns; runs whose source or destination share a disk\n"
              "run one after another, in order, and others beside them. One process runs the\n"
              "queue: when none does, the first --queue (or queue run) becomes it and stays in\n"
              "the foreground until no run is left queued, running or paused; Ctrl-C there stops\n"
              "the runs, which go on from their place at the next start. The queue is kept in\n"
              "the data folder and survives a crash. queue list [--json] shows order, state and\n"
              "progress; pause, continue, stop, remove, up and down take a run's ID. A queued\n"
              "run checks its destination when it is added (--force skips it)."),
        exitCodes};
    parser.setApplicationDescription(description.join(QStringLiteral("\n\n")));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(options.all());
    parser.addPositionalArgument(T::tr("command"),
                                 T::tr("copy, move, verify, resume, check or queue."));
    parser.addPositionalArgument(
        T::tr("paths"), T::tr("SOURCE DESTINATION, or TASKFILE for resume."), T::tr("PATHS..."));
}

} // namespace

QStringList patternsFromText(const QString& text)
{
    return FileSystemUtils::patternsFromText(text);
}

const QHash<QString, CliArguments::Command>& commandNames()
{
    static const QHash<QString, CliArguments::Command> commands = {
        {"copy", CliArguments::CopyCommand},     {"move", CliArguments::MoveCommand},
        {"verify", CliArguments::VerifyCommand}, {"resume", CliArguments::ResumeCommand},
        {"check", CliArguments::CheckCommand},   {"queue", CliArguments::QueueCommand},
    };
    return commands;
}

QString versionText()
{
    //: Program name, its version and the operating system: "Brindle 2.1.4 for Debian".
    return T::tr("%1 %2 for %3\n")
        .arg(ProgramIdentity::programName(), ProgramIdentity::versionText(true, true),
             ProgramIdentity::operatingSystemName(true));
}

QString moreHelpText()
{
    return T::tr("Try 'brindle-cli --help' for more information.");
}

QString helpText()
{
    QCommandLineParser parser;
    Options options;
    setUpParser(parser, options);
    return parser.helpText();
}

Result parse(const QStringList& arguments, CliArguments* out, QString* message)
{
    QCommandLineParser parser;
    Options options;
    setUpParser(parser, options);
    if (!parser.parse(arguments)) {
        *message = parser.errorText();
        return UsageError;
    }
    if (parser.isSet(options.help))
        return ShowHelp;
    if (parser.isSet(options.version))
        return ShowVersion;

    CliArguments result;
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        *message = T::tr("No command given: use copy, move, verify, resume or check.");
        return UsageError;
    }
    const QHash<QString, CliArguments::Command>& commands = commandNames();
    const QString commandName = positional.first();
    result.command = commands.value(commandName, CliArguments::NoCommand);
    if (result.command == CliArguments::NoCommand) {
        *message = T::tr("Unknown command \"%1\": use copy, move, verify, resume, check or queue.")
                       .arg(commandName);
        return UsageError;
    }

    if (result.command == CliArguments::QueueCommand) {
        static const QStringList actions = {"add",  "list",   "run", "pause", "continue",
                                            "stop", "remove", "up",  "down"};
        const QString action = positional.value(1);
        if (!actions.contains(action)) {
            *message = T::tr("queue needs one of add, list, run, pause, continue, stop, remove, "
                             "up or down.");
            return UsageError;
        }
        if (action == QLatin1String("add")) {
            // "queue add copy ..." is "copy ... --queue".
            QStringList rewritten = arguments;
            const int at = rewritten.indexOf(QStringLiteral("queue"), 1);
            rewritten.removeAt(at);
            rewritten.removeAt(at);
            rewritten.append(QStringLiteral("--queue"));
            const Result added = parse(rewritten, out, message);
            if (added == Run && out->command != CliArguments::CopyCommand &&
                out->command != CliArguments::MoveCommand &&
                out->command != CliArguments::VerifyCommand) {
                *message = T::tr("queue add takes a copy, move or verify.");
                return UsageError;
            }
            return added;
        }
        const bool needsId = action != QLatin1String("list") && action != QLatin1String("run");
        if (positional.size() != (needsId ? 3 : 2)) {
            *message = needsId ? T::tr("queue %1 needs the ID of one run.").arg(action)
                               : T::tr("queue %1 takes no more arguments.").arg(action);
            return UsageError;
        }
        result.queueAction = action;
        result.queueId = positional.value(2);
        result.json = parser.isSet(options.json);
        result.quiet = parser.isSet(options.quiet);
        result.portable = parser.isSet(options.portable);
        *out = result;
        return Run;
    }
    if (result.command == CliArguments::CheckCommand) {
        if (positional.size() < 2 || positional.size() > 3) {
            *message = T::tr("check needs a checksum list, and may name the folder it lists.");
            return UsageError;
        }
        result.taskFile = positional.at(1);
        result.checkFolder = positional.value(2);
        result.quiet = parser.isSet(options.quiet);
        result.json = parser.isSet(options.json);
        *out = result;
        return Run;
    }
    if (result.command == CliArguments::ResumeCommand) {
        if (positional.size() != 2) {
            *message = T::tr("resume needs exactly one task file.");
            return UsageError;
        }
        result.taskFile = positional.at(1);
        for (const QCommandLineOption& option : options.runShaping()) {
            if (parser.isSet(option)) {
                *message = T::tr("--%1 cannot be used with resume: a resumed run "
                                 "keeps the options stored in its task file.")
                               .arg(option.names().constLast());
                return UsageError;
            }
        }
        result.fixErrors = parser.isSet(options.fixErrors);
    } else {
        if (positional.size() != 3) {
            *message = T::tr("%1 needs a source and a destination.").arg(commandName);
            return UsageError;
        }
        if (parser.isSet(options.fixErrors)) {
            *message = T::tr("--fix-errors can only be used with resume.");
            return UsageError;
        }
        result.sourcePath = positional.at(1);
        result.destinationPath = positional.at(2);
    }

    CopyOptions& copy = result.options;
    copy.m_copyMode = result.command == CliArguments::MoveCommand     ? CopyOptions::Move
                      : result.command == CliArguments::VerifyCommand ? CopyOptions::Verify
                                                                      : CopyOptions::Copy;
    if (parser.isSet(options.overwrite)) {
        static const QHash<QString, int> rules = {
            {"never", CopyOptions::NoOverwrite},
            {"older", CopyOptions::OverwriteOlder},
            {"always", CopyOptions::OverwriteAlways},
            {"rename", CopyOptions::AutoRename},
            {"different", CopyOptions::OverwriteDifferent},
            {"content", CopyOptions::OverwriteContent},
        };
        const QString rule = parser.value(options.overwrite);
        if (!rules.contains(rule)) {
            *message = T::tr("Unknown --overwrite rule \"%1\": use never, older, "
                             "always, rename, different or content.")
                           .arg(rule);
            return UsageError;
        }
        copy.m_overwriteMode = rules.value(rule);
    }
    if (parser.isSet(options.collate))
        copy.m_destinationMode = CopyOptions::Collate;
    copy.m_recursive = !parser.isSet(options.noRecursive);
    copy.m_copyHiddenFiles = !parser.isSet(options.noHidden);
    copy.m_copySymbolicLinks = !parser.isSet(options.noLinks);
    copy.m_copyEmptyFolders = !parser.isSet(options.noEmptyFolders);
    // An option given several times adds its patterns up (a move must never drop the first
    // --exclude and take away the files it kept).
    const auto patterns = [&parser](const QCommandLineOption& option) {
        QStringList all;
        for (const QString& text : parser.values(option)) {
            for (const QString& pattern : patternsFromText(text)) {
                if (!all.contains(pattern))
                    all.append(pattern);
            }
        }
        return all;
    };
    if (parser.isSet(options.include))
        copy.m_copyFilters = patterns(options.include);
    if (parser.isSet(options.exclude))
        copy.m_skipFilters = patterns(options.exclude);
    if (parser.isSet(options.skipErrorsOn))
        copy.m_skipErrorOnFiles = patterns(options.skipErrorsOn);
    copy.m_ignoreCase = parser.isSet(options.ignoreCase);
    copy.m_replaceForbiddenNames = parser.isSet(options.replaceNames);

    if (parser.isSet(options.threads)) {
        bool ok = false;
        result.threads = parser.value(options.threads).toInt(&ok);
        if (!ok || result.threads < 1 || result.threads > 256) {
            *message = T::tr("--threads needs a number from 1 to 256.");
            return UsageError;
        }
    }
    if (parser.isSet(options.method)) {
        static const QStringList methods = {"default", "native", "qt", "simple"};
        result.copyMethod = methods.indexOf(parser.value(options.method));
        if (result.copyMethod < 0) {
            *message = T::tr("Unknown --method \"%1\": use default, native, qt or "
                             "simple.")
                           .arg(parser.value(options.method));
            return UsageError;
        }
    }

    if (parser.isSet(options.hash)) {
        Digest::Algorithm algorithm;
        if (!Digest::fromName(parser.value(options.hash), &algorithm)) {
            *message = T::tr("Unknown --hash \"%1\": use sha256, blake2b or xxh3.")
                           .arg(parser.value(options.hash));
            return UsageError;
        }
        result.hashAlgorithm = int(algorithm);
    }

    if (parser.isSet(options.verify)) {
        if (result.command == CliArguments::VerifyCommand) {
            *message = T::tr("--verify is for copy and move; verify always compares.");
            return UsageError;
        }
        if (parser.isSet(options.external)) {
            *message = T::tr("--verify cannot be used with --external.");
            return UsageError;
        }
        copy.m_verifyCopies = true;
    }
    if (parser.isSet(options.manifest)) {
        result.manifestPath = parser.value(options.manifest);
        if (result.manifestPath.trimmed().isEmpty()) {
            *message = T::tr("--manifest needs a file name.");
            return UsageError;
        }
        if (result.command != CliArguments::VerifyCommand &&
            result.command != CliArguments::ResumeCommand && !copy.m_verifyCopies) {
            *message = T::tr("--manifest needs verify, or --verify with copy and move.");
            return UsageError;
        }
    }

    if (parser.isSet(options.external)) {
        if (result.command == CliArguments::VerifyCommand) {
            *message = T::tr("--external cannot be used with verify.");
            return UsageError;
        }
        result.useExternalProgram = true;
        result.externalProgram = ExternalProgramSettings::fromUserText(
            parser.value(options.external), parser.value(options.externalArgs));
        // Without its usual arguments rsync copies neither times nor modes, and skips a
        // folder altogether; only arguments given, even none, replace them.
        if (!parser.isSet(options.externalArgs))
            result.externalProgram.arguments =
                ExternalProgramSettings::defaultArgumentsFor(result.externalProgram.filePath);
        result.skipBuildListForExternalProgram = parser.isSet(options.noFileList);
    } else if (parser.isSet(options.externalArgs) || parser.isSet(options.noFileList)) {
        *message = T::tr("--external-args and --no-file-list need --external.");
        return UsageError;
    }

    result.makeParents = parser.isSet(options.parents);
    result.saveTaskPath = parser.value(options.saveTask);
    if (parser.isSet(options.saveTask) && result.saveTaskPath.trimmed().isEmpty()) {
        *message = T::tr("--save-task needs a file name.");
        return UsageError;
    }
    result.reportFilteredFiles = parser.isSet(options.reportFiltered);
    result.quiet = parser.isSet(options.quiet);
    result.json = parser.isSet(options.json);
    result.portable = parser.isSet(options.portable);
    result.dryRun = parser.isSet(options.dryRun);
    result.force = parser.isSet(options.force);
    result.queue = parser.isSet(options.queue);
    result.progressJson = parser.isSet(options.progressJson);
    if (result.queue && (result.command == CliArguments::ResumeCommand || result.dryRun ||
                         result.useExternalProgram || !result.saveTaskPath.isEmpty())) {
        *message = T::tr("--queue is for copy, move and verify, without --dry-run, --external "
                         "and --save-task.");
        return UsageError;
    }
    if (result.dryRun && result.useExternalProgram) {
        *message = T::tr("--dry-run cannot be used with --external.");
        return UsageError;
    }
    *out = result;
    return Run;
}

} // namespace CliArgumentParser

Task CliArguments::task() const
{
    Task task;
    task.m_sourcePath = sourcePath;
    task.m_destinationPath = destinationPath;
    task.m_options = options;
    return task;
}

QString CliArguments::commandName(Command command)
{
    return CliArgumentParser::commandNames().key(command);
}

CliArguments::Command CliArguments::commandIn(const QStringList& arguments)
{
    for (const QString& argument : arguments.mid(1)) {
        if (CliArgumentParser::commandNames().contains(argument))
            return CliArgumentParser::commandNames().value(argument);
    }
    return NoCommand;
}
