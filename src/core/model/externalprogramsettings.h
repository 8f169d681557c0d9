#pragma once

#include <QString>
#include <QStringList>
#include <QVariantMap>

class QSettings;

// How the source and destination reach the external copy program.
enum ExternalProgramSyntax
{
    GenericSyntax = 0,
    RobocopySyntax = 1
};

// The external copy program: its path, the user's arguments and the syntax that decides
// how a source and a destination are added to them. A plain value copied into each copy
// task, so a change of the preferences does not affect a running copy.
struct ExternalProgramSettings
{
    QString filePath;
    QStringList arguments;
    int syntaxType = GenericSyntax;

    // Group "ExternalCopyProcess"; missing keys fall back to rsync with "-a", generic syntax.
    void readFromSettings(QSettings& settings);
    // The same from that group's keys (without the group's name) and values.
    void readFromGroup(const QVariantMap& group);
    static QString groupName() { return QStringLiteral("ExternalCopyProcess"); }
    // The group's keys and values, as readFromGroup takes them.
    QVariantMap toGroup() const;
    void writeToSettings(QSettings& settings) const;

    // Generic syntax, or any syntax with a real folder as source: the arguments, then source
    // and destination. Robocopy syntax with a file (or a link): source folder, destination
    // folder, the source's file name, then the arguments.
    static QStringList buildArguments(const ExternalProgramSettings& settings,
                                      const QString& source, const QString& destination);
    // The folder spelled so that the program copies what the folder holds into the
    // destination, as Brindle does, rather than the folder itself: "folder/." for cp,
    // "folder/" for rsync and any other program, the folder as it is for robocopy.
    static QString contentsSource(const ExternalProgramSettings& settings, const QString& folder);
    // The command that copies source (a real folder when sourceIsFolder) into destination
    // as Brindle does, for the user to run in a terminal.
    static QString terminalCommand(const ExternalProgramSettings& settings, const QString& source,
                                   const QString& destination, bool sourceIsFolder);
    // The program and its arguments as one POSIX shell command: pasted into a shell or
    // written into a script, it runs the program with exactly these arguments.
    static QString commandLine(const ExternalProgramSettings& settings, const QString& source,
                               const QString& destination);
    // The text as one word for a POSIX shell: in single quotes (a quote written as '\''),
    // unless it is a non-empty run of [A-Za-z0-9_@%+=:,./-], which no shell alters.
    static QString shellQuoted(const QString& text);
    // Exit codes up to this one mean success.
    static int maxSuccessExitCode(int syntaxType);
    static int syntaxTypeForProgram(const QString& filePath);
    // The arguments a known program needs to copy a tree with its times and modes, found by
    // the program's file name in any folder: "-a" for rsync and cp, "/E /R:10 /COPY:DAT"
    // for robocopy (any case, with or without ".exe"). None for any other program.
    static QStringList defaultArgumentsFor(const QString& filePath);
    // The record the preferences dialog builds from its two text lines.
    static ExternalProgramSettings fromUserText(const QString& filePathLine,
                                                const QString& argumentsLine);

    bool operator==(const ExternalProgramSettings& other) const;
    bool operator!=(const ExternalProgramSettings& other) const { return !(*this == other); }
};
