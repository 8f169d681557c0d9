#include "model/externalprogramsettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

const char* const FilePathKey = "FilePath";
const char* const ArgumentsKey = "Arguments";
const char* const SyntaxTypeKey = "SyntaxType";

QString quotedIfSpaced(const QString& text)
{
    return text.contains(QLatin1Char(' ')) ? QStringLiteral("\"%1\"").arg(text) : text;
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

void ExternalProgramSettings::writeToSettings(QSettings& settings) const
{
    settings.beginGroup(groupName());
    settings.setValue(QLatin1String(FilePathKey), filePath);
    settings.setValue(QLatin1String(ArgumentsKey), arguments);
    settings.setValue(QLatin1String(SyntaxTypeKey), syntaxType);
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
    QStringList parts{quotedIfSpaced(settings.filePath)};
    const QStringList programArguments = buildArguments(settings, source, destination);
    for (const QString& argument : programArguments)
        parts.append(quotedIfSpaced(argument));
    return parts.join(QLatin1Char(' '));
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
    // An empty line means no arguments, not one empty argument.
    if (!argumentText.isEmpty())
        settings.arguments = argumentText.split(QLatin1Char(' '), Qt::KeepEmptyParts);
    settings.syntaxType = syntaxTypeForProgram(settings.filePath);
    return settings;
}

bool ExternalProgramSettings::operator==(const ExternalProgramSettings& other) const
{
    return filePath == other.filePath && arguments == other.arguments &&
           syntaxType == other.syntaxType;
}
