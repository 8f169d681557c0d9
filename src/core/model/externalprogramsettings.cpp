#include "model/externalprogramsettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

const char* const FilePathKey = "FilePath";
const char* const ArgumentsKey = "Arguments";
const char* const SyntaxTypeKey = "SyntaxType";

// Characters no POSIX shell gives a meaning to, in any position of a word.
bool isPlainShellWord(const QString& text)
{
    static const QLatin1String punctuation("_@%+=:,./-");
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        const bool plain = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
                           (u >= '0' && u <= '9') || (u > 0 && u < 128 && punctuation.contains(c));
        if (!plain)
            return false;
    }
    return true;
}

} // namespace

void ExternalProgramSettings::readFromSettings(QSettings& settings)
{
    settings.beginGroup(groupName());
    QVariantMap group;
    for (const QString& key : settings.childKeys())
        group.insert(key, settings.value(key));
    settings.endGroup();
    readFromGroup(group);
}

void ExternalProgramSettings::readFromGroup(const QVariantMap& group)
{
    const QString defaultProgram = QStringLiteral("/usr/bin/rsync");
    filePath = group.value(QLatin1String(FilePathKey), defaultProgram).toString();
    arguments = group.value(QLatin1String(ArgumentsKey), defaultArgumentsFor(defaultProgram))
                    .toStringList();
    syntaxType = group.value(QLatin1String(SyntaxTypeKey), int(GenericSyntax)).toInt();
}

QVariantMap ExternalProgramSettings::toGroup() const
{
    return {{QLatin1String(FilePathKey), filePath},
            {QLatin1String(ArgumentsKey), arguments},
            {QLatin1String(SyntaxTypeKey), syntaxType}};
}

void ExternalProgramSettings::writeToSettings(QSettings& settings) const
{
    settings.beginGroup(groupName());
    const QVariantMap group = toGroup();
    for (auto it = group.cbegin(); it != group.cend(); ++it)
        settings.setValue(it.key(), it.value());
    settings.endGroup();
}

QStringList ExternalProgramSettings::buildArguments(const ExternalProgramSettings& settings,
                                                    const QString& source,
                                                    const QString& destination)
{
    const QFileInfo sourceInfo(source);
    // A real folder: a link to a folder is passed as a file.
    const bool realFolder = sourceInfo.isDir() && !sourceInfo.isSymLink();
    if (settings.syntaxType != RobocopySyntax || realFolder)
        return settings.arguments + QStringList{source, destination};
    // The destination's own name is not passed: the file keeps the source's name.
    QStringList list{QDir::toNativeSeparators(sourceInfo.path()),
                     QDir::toNativeSeparators(QFileInfo(destination).path()),
                     sourceInfo.fileName()};
    return list + settings.arguments;
}

QString ExternalProgramSettings::commandLine(const ExternalProgramSettings& settings,
                                             const QString& source, const QString& destination)
{
    QString program = shellQuoted(settings.filePath);
    // As the first word, "name=value" would be an assignment, not a command.
    if (!program.startsWith(QLatin1Char('\'')) && program.contains(QLatin1Char('=')))
        program = QLatin1Char('\'') + program + QLatin1Char('\'');
    QStringList parts{program};
    const QStringList programArguments = buildArguments(settings, source, destination);
    for (const QString& argument : programArguments)
        parts.append(shellQuoted(argument));
    return parts.join(QLatin1Char(' '));
}

QString ExternalProgramSettings::contentsSource(const ExternalProgramSettings& settings,
                                                const QString& folder)
{
    if (settings.syntaxType == RobocopySyntax)
        return folder;
    QString name =
        QFileInfo(QDir::fromNativeSeparators(settings.filePath.trimmed())).fileName().toLower();
    if (name.endsWith(QLatin1String(".exe")))
        name.chop(4);
    QString spelled = folder;
    if (!spelled.endsWith(QLatin1Char('/')))
        spelled += QLatin1Char('/');
    // "cp -a folder/ existing" copies into existing/folder; "folder/." never does.
    if (name == QLatin1String("cp"))
        spelled += QLatin1Char('.');
    return spelled;
}

QString ExternalProgramSettings::terminalCommand(const ExternalProgramSettings& settings,
                                                 const QString& source, const QString& destination,
                                                 bool sourceIsFolder)
{
    return commandLine(settings, sourceIsFolder ? contentsSource(settings, source) : source,
                       destination);
}

QString ExternalProgramSettings::shellQuoted(const QString& text)
{
    if (isPlainShellWord(text))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

int ExternalProgramSettings::maxSuccessExitCode(int syntaxType)
{
    return syntaxType == RobocopySyntax ? 1 : 0;
}

int ExternalProgramSettings::syntaxTypeForProgram(const QString& filePath)
{
    return filePath.toLower().contains(QLatin1String("robocopy")) ? RobocopySyntax : GenericSyntax;
}

QStringList ExternalProgramSettings::defaultArgumentsFor(const QString& filePath)
{
    QString name = QFileInfo(QDir::fromNativeSeparators(filePath.trimmed())).fileName().toLower();
    if (name.endsWith(QLatin1String(".exe")))
        name.chop(4);
    if (name == QLatin1String("rsync") || name == QLatin1String("cp"))
        return {QStringLiteral("-a")};
    if (name == QLatin1String("robocopy"))
        return {QStringLiteral("/E"), QStringLiteral("/R:10"), QStringLiteral("/COPY:DAT")};
    return {};
}

ExternalProgramSettings ExternalProgramSettings::fromUserText(const QString& filePathLine,
                                                              const QString& argumentsLine)
{
    ExternalProgramSettings settings;
    settings.filePath = QDir::toNativeSeparators(filePathLine.trimmed());
    const QString argumentText = argumentsLine.trimmed();
    // Blanks only separate: an empty argument would make the program fail on every item.
    settings.arguments = argumentText.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    settings.syntaxType = syntaxTypeForProgram(settings.filePath);
    return settings;
}

bool ExternalProgramSettings::operator==(const ExternalProgramSettings& other) const
{
    return filePath == other.filePath && arguments == other.arguments &&
           syntaxType == other.syntaxType;
}
