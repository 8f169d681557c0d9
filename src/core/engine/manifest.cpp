#include "engine/manifest.h"

#include "fs/platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>

namespace {

// xxhsum reads a backslash as part of a name: only what it cannot hold otherwise is escaped.
bool needsEscape(const Manifest::Entry& entry)
{
    const QByteArray special = entry.algorithm == Digest::Algorithm::Xxh3_128
                                   ? QByteArrayLiteral("\n\r")
                                   : QByteArrayLiteral("\\\n\r");
    for (char c : special) {
        if (entry.path.contains(c))
            return true;
    }
    return false;
}

QByteArray escaped(const QByteArray& path)
{
    QByteArray result;
    result.reserve(path.size() + 8);
    for (char c : path) {
        if (c == '\\')
            result += "\\\\";
        else if (c == '\n')
            result += "\\n";
        else if (c == '\r')
            result += "\\r";
        else
            result += c;
    }
    return result;
}

bool unescape(const QByteArray& path, QByteArray* result)
{
    result->clear();
    for (int i = 0; i < path.size(); ++i) {
        if (path.at(i) != '\\') {
            *result += path.at(i);
            continue;
        }
        if (++i == path.size())
            return false;
        const char c = path.at(i);
        if (c == '\\')
            *result += '\\';
        else if (c == 'n')
            *result += '\n';
        else if (c == 'r')
            *result += '\r';
        else
            return false;
    }
    return true;
}

bool algorithmOfLength(int hexLength, Digest::Algorithm* algorithm)
{
    for (Digest::Algorithm candidate : Digest::all()) {
        if (hexLength == 2 * Digest::size(candidate)) {
            *algorithm = candidate;
            return true;
        }
    }
    return false;
}

// A path is at most 4096 bytes, twice that escaped, with a digest and a tag: a longer line
// means the file is no checksum list, and reading it whole could take all the memory.
constexpr qint64 MaximumLineLength = 16 * 1024;

bool isHex(const QByteArray& text)
{
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return !text.isEmpty();
}

} // namespace

QByteArray Manifest::formatLine(const Entry& entry)
{
    const bool escape = needsEscape(entry);
    QByteArray line;
    if (escape)
        line += '\\';
    line += entry.digest.toHex() + "  " + (escape ? escaped(entry.path) : entry.path) + '\n';
    return line;
}

bool Manifest::parseLine(QByteArray line, Entry* entry)
{
    if (line.endsWith('\n'))
        line.chop(1);
    const bool escape = line.startsWith('\\');
    if (escape)
        line.remove(0, 1);
    QByteArray hex;
    QByteArray path;
    const int open = line.indexOf(" (");
    const int equals = line.lastIndexOf(") = ");
    bool tagged = false;
    if (open > 0 && equals > open) {
        // A tagged line: the tag names the algorithm.
        const QByteArray tag = line.left(open);
        for (Digest::Algorithm candidate : Digest::all()) {
            if (tag == Digest::tag(candidate)) {
                entry->algorithm = candidate;
                tagged = true;
            }
        }
        if (tagged) {
            path = line.mid(open + 2, equals - open - 2);
            hex = line.mid(equals + 4);
            if (hex.size() != 2 * Digest::size(entry->algorithm))
                return false;
        }
    }
    if (!tagged) {
        const int space = line.indexOf(' ');
        if (space <= 0 || space + 2 > line.size() ||
            (line.at(space + 1) != ' ' && line.at(space + 1) != '*'))
            return false;
        hex = line.left(space);
        path = line.mid(space + 2);
        if (!algorithmOfLength(hex.size(), &entry->algorithm))
            return false;
    }
    if (!isHex(hex) || path.isEmpty())
        return false;
    entry->digest = QByteArray::fromHex(hex);
    if (!escape) {
        entry->path = path;
        return true;
    }
    return unescape(path, &entry->path);
}

bool ManifestCheck::load(const QString& manifestPath, QString* error)
{
    m_manifestPath = QFileInfo(manifestPath).absoluteFilePath();
    m_entries.clear();
    m_malformedLines.clear();
    // Only a regular file: a FIFO would wait for a writer, a device never end.
    qint64 size = 0;
    const int fd = Platform::openRegularFile(manifestPath, &size);
    if (fd < 0) {
        const int code = Platform::lastErrorCode();
        *error = code == EINVAL ? QCoreApplication::translate("ManifestCheck", "not a regular file")
                                : Platform::errorMessage(code);
        return false;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        Platform::closeFile(fd);
        *error = file.errorString();
        return false;
    }
    int number = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine(MaximumLineLength + 2);
        ++number;
        if (line.size() > MaximumLineLength) {
            *error = QCoreApplication::translate("ManifestCheck",
                                                 "line %1 is too long for a checksum line")
                         .arg(number);
            return false;
        }
        if (line.trimmed().isEmpty())
            continue;
        Manifest::Entry entry;
        if (Manifest::parseLine(line, &entry))
            m_entries.append(entry);
        else
            m_malformedLines.append(number);
    }
    if (file.error() != QFile::NoError) {
        *error = file.errorString();
        return false;
    }
    if (m_entries.isEmpty()) {
        *error = QCoreApplication::translate("ManifestCheck", "no checksum line found");
        return false;
    }
    return true;
}

QList<ManifestCheck::Result> ManifestCheck::check(const QString& folder, bool fromDevice,
                                                  Progress* progress) const
{
    const std::atomic_bool* cancel = progress ? &progress->cancel : nullptr;
    QList<Result> results;
    for (int number : m_malformedLines)
        results.append({QString::number(number), Outcome::Malformed, QString()});
    const QDir base(folder);
    QSet<QString> listed;
    for (const Manifest::Entry& entry : m_entries) {
        if (cancel && *cancel)
            return results;
        Result result;
        result.path = QFile::decodeName(entry.path);
        const QString path = QDir::cleanPath(base.absoluteFilePath(result.path));
        listed.insert(path);
        const QFileInfo info(path);
        if (!info.exists() && !info.isSymLink()) {
            result.outcome = Outcome::Missing;
        } else {
            const QByteArray digest =
                Digest::ofFile(path, entry.algorithm, fromDevice, &result.detail, cancel);
            result.outcome = digest.isEmpty()         ? Outcome::Unreadable
                             : digest == entry.digest ? Outcome::Equal
                                                      : Outcome::Differs;
        }
        results.append(result);
        if (progress)
            ++progress->checked;
    }
    QStringList unlisted;
    QDirIterator files(base.absolutePath(), QDir::Files | QDir::Hidden | QDir::System,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        if (cancel && *cancel)
            return results;
        const QString path = QDir::cleanPath(files.next());
        if (!listed.contains(path) && path != m_manifestPath)
            unlisted.append(base.relativeFilePath(path));
    }
    unlisted.sort();
    for (const QString& path : qAsConst(unlisted))
        results.append({path, Outcome::NotListed, QString()});
    return results;
}

QString ManifestCheck::outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Equal:
        return QStringLiteral("equal");
    case Outcome::Missing:
        return QStringLiteral("missing");
    case Outcome::Differs:
        return QStringLiteral("differs");
    case Outcome::Unreadable:
        return QStringLiteral("unreadable");
    case Outcome::NotListed:
        return QStringLiteral("not listed");
    case Outcome::Malformed:
        return QStringLiteral("malformed line");
    }
    return QString();
}

QMap<ManifestCheck::Outcome, int> ManifestCheck::counts(const QList<Result>& results)
{
    QMap<Outcome, int> counts;
    for (const Result& result : results)
        ++counts[result.outcome];
    return counts;
}
