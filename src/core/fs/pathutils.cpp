#include "fs/pathutils.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cmath>
#include <limits>

namespace FileSystemUtils {

namespace {

bool isSeparator(QChar c)
{
    return c == QLatin1Char('/') || c == QDir::separator();
}

struct TimeParts
{
    quint64 hours;
    int minutes;
    int seconds;
    int milliseconds;
};

// Works on the magnitude so that the most negative value does not overflow.
TimeParts splitMilliseconds(quint64 ms)
{
    TimeParts parts;
    parts.hours = ms / 3600000;
    parts.minutes = static_cast<int>(ms / 60000 % 60);
    parts.seconds = static_cast<int>(ms / 1000 % 60);
    parts.milliseconds = static_cast<int>(ms % 1000);
    return parts;
}

quint64 magnitudeOf(qint64 value)
{
    return value < 0 ? quint64(0) - static_cast<quint64>(value) : static_cast<quint64>(value);
}

QString withSign(qint64 value, const QString& text)
{
    return value < 0 ? QLatin1Char('-') + text : text;
}

// Index of the "]" that closes the set opened at start, or -1 when the "[" is a plain
// character. A "]" right after the opening (or after "!") belongs to the set.
int setEnd(const QString& wildcard, int start)
{
    int i = start + 1;
    if (i < wildcard.size() && wildcard.at(i) == QLatin1Char('!'))
        ++i;
    if (i < wildcard.size() && wildcard.at(i) == QLatin1Char(']'))
        ++i;
    return wildcard.indexOf(QLatin1Char(']'), i);
}

QString setToRegex(const QString& wildcard, int start, int end)
{
    QString rx(QLatin1Char('['));
    int i = start + 1;
    if (wildcard.at(i) == QLatin1Char('!')) {
        rx += QLatin1Char('^');
        ++i;
    }
    for (; i < end; ++i) {
        const QChar c = wildcard.at(i);
        // Ranges stay ranges; other ASCII punctuation is escaped so it stands for itself.
        if (c.unicode() < 128 && !c.isLetterOrNumber() && c != QLatin1Char('-'))
            rx += QLatin1Char('\\');
        rx += c;
    }
    rx += QLatin1Char(']');
    return rx;
}

QString wildcardToRegex(const QString& wildcard)
{
    QString rx;
    QString literal;
    const auto flushLiteral = [&rx, &literal]() {
        rx += QRegularExpression::escape(literal);
        literal.clear();
    };
    for (int i = 0; i < wildcard.size(); ++i) {
        const QChar c = wildcard.at(i);
        if (c == QLatin1Char('*')) {
            flushLiteral();
            rx += QLatin1String(".*");
        } else if (c == QLatin1Char('?')) {
            flushLiteral();
            rx += QLatin1Char('.');
        } else if (const int end = c == QLatin1Char('[') ? setEnd(wildcard, i) : -1; end >= 0) {
            flushLiteral();
            rx += setToRegex(wildcard, i, end);
            i = end;
        } else {
            literal += c;
        }
    }
    flushLiteral();
    return QRegularExpression::anchoredPattern(rx);
}

} // namespace

QString normalizePath(const QString& path)
{
    if (path.isEmpty())
        return path;
    const QChar separator = QDir::separator();
    const QString native = QDir::toNativeSeparators(path);
    const bool networkPath =
        native.size() > 1 && native.at(0) == separator && native.at(1) == separator;
    QString result;
    result.reserve(native.size() + 1);
    for (const QChar c : native) {
        if (c == separator && result.endsWith(separator))
            continue;
        result += c;
    }
    if (result.size() > 1 && result.endsWith(separator))
        result.chop(1);
    // A path made of separators only is the root, not a network path.
    if (networkPath && result.size() > 1)
        result.prepend(separator);
    return result;
}

bool isRealDirectory(const QFileInfo& entry)
{
    return entry.isDir() && !entry.isSymLink();
}

bool canWriteToFolder(const QString& folderPath)
{
    if (folderPath.isEmpty())
        return false;
    if (!QFileInfo::exists(folderPath))
        return QDir().mkpath(folderPath);

    QFile probe(QStringLiteral("%1/%2").arg(folderPath, QStringLiteral("qxtestfile.txt")));
    if (probe.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        probe.close();
        probe.remove();
        return true;
    }
    if (!probe.exists())
        return false;
    // The name is taken by a file that is not ours: probe under a unique name rather than
    // truncate and delete it.
    QTemporaryFile uniqueProbe(QStringLiteral("%1/qxtestfile-XXXXXX.txt").arg(folderPath));
    return uniqueProbe.open();
}

QString elapsedTimeText(int ms)
{
    const TimeParts parts = splitMilliseconds(magnitudeOf(ms));
    QString text;
    if (parts.hours == 0 && parts.minutes == 0 && parts.seconds == 0)
        text = QStringLiteral("%1 ms").arg(parts.milliseconds);
    else if (parts.hours == 0 && parts.minutes == 0)
        text = QStringLiteral("%1 s").arg(parts.seconds);
    else if (parts.hours == 0)
        text = QStringLiteral("%1 m, %2 s").arg(parts.minutes).arg(parts.seconds);
    else
        text = QStringLiteral("%1 h, %2 m, %3 s")
                   .arg(parts.hours)
                   .arg(parts.minutes)
                   .arg(parts.seconds);
    return withSign(ms, text);
}

QString durationText(qint64 ms, bool withMilliseconds)
{
    if (ms == 0)
        return QStringLiteral("0 s");
    const TimeParts parts = splitMilliseconds(magnitudeOf(ms));
    const QLatin1Char zero('0');
    QString text;
    if (parts.hours > 0)
        text = QStringLiteral("%1:%2:%3")
                   .arg(parts.hours, 2, 10, zero)
                   .arg(parts.minutes, 2, 10, zero)
                   .arg(parts.seconds, 2, 10, zero);
    else if (parts.minutes > 0)
        text = QStringLiteral("%1:%2 m").arg(parts.minutes).arg(parts.seconds, 2, 10, zero);
    else if (parts.seconds > 0 && withMilliseconds)
        text = QStringLiteral("%1,%2 s").arg(parts.seconds).arg(parts.milliseconds, 3, 10, zero);
    else if (parts.seconds > 0)
        text = QStringLiteral("%1 s").arg(parts.seconds);
    else
        text = QStringLiteral("%1 ms").arg(parts.milliseconds, 3, 10, zero);
    return withSign(ms, text);
}

QString byteSizeText(qint64 bytes, int precision)
{
    const bool usualDecimals = precision < 0;
    const double amount = static_cast<double>(bytes); // exact to 2^53 bytes, far beyond the units
    const auto sized = [](double value, int decimals, const char* unit) {
        return QStringLiteral("%1 %2").arg(QString::number(value, 'f', decimals),
                                           QLatin1String(unit));
    };
    if (bytes > Q_INT64_C(1000000000000))
        return sized(amount / 1e12, usualDecimals ? 5 : precision, "TB");
    if (bytes > 1000000000)
        return sized(amount / 1e9, usualDecimals ? 3 : precision, "GB");
    if (bytes > 1000000)
        return sized(amount / 1e6, usualDecimals ? 2 : precision, "MB");
    if (bytes > 1000) {
        const int decimals = bytes >= 10000 ? 0 : (usualDecimals ? 1 : precision);
        return sized(amount / 1e3, decimals, "kB");
    }
    return QStringLiteral("%1 B").arg(bytes);
}

qint64 roundToInt64(double value)
{
    if (std::isnan(value))
        return 0;
    const double truncated = std::trunc(value);
    double rounded = truncated;
    if (value > 0 && value - truncated >= 0.5)
        rounded += 1.0;
    // 2^63: converting anything at or beyond it is undefined, so saturate.
    constexpr double limit = 9223372036854775808.0;
    if (rounded >= limit)
        return std::numeric_limits<qint64>::max();
    if (rounded < -limit)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(rounded);
}

QString twoStringHash(const QString& a, const QString& b)
{
    const QByteArray digest =
        QCryptographicHash::hash(a.toUtf8() + b.toUtf8(), QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.toHex());
}

QString fileNameOf(const QString& path)
{
    int index = path.lastIndexOf(QLatin1Char('/'));
    if (QDir::separator() != QLatin1Char('/'))
        index = qMax(index, path.lastIndexOf(QDir::separator()));
    return path.mid(index + 1);
}

QString folderOf(const QString& path)
{
    const int index = path.lastIndexOf(QLatin1Char('/'));
    if (index < 0)
        return QStringLiteral(".");
    return index == 0 ? QStringLiteral("/") : path.left(index);
}

QString limitedSuffix(const QString& name, int maximumLength)
{
    const QString fileName = fileNameOf(name);
    if (fileName == QLatin1String(".") || fileName == QLatin1String(".."))
        return QString();
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return QString();
    const QString suffix = fileName.mid(dot + 1);
    if (maximumLength > 0 && suffix.size() > maximumLength)
        return QString();
    return suffix;
}

QString relativeDisplayPath(const QString& basePath, const QString& path)
{
    if (path == basePath || basePath.isEmpty() || !path.startsWith(basePath))
        return path;
    // Only a whole path component counts: "/data/photos" is not a base of
    // "/data/photos-old/x".
    if (isSeparator(basePath.back()))
        return QLatin1String("./") + path.mid(basePath.size());
    if (isSeparator(path.at(basePath.size())))
        return QLatin1Char('.') + path.mid(basePath.size());
    return path;
}

PatternList compileWildcardPatterns(const QStringList& patterns)
{
    const QRegularExpression::PatternOptions options =
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption;
    PatternList compiled;
    for (const QString& wildcard : patterns) {
        if (wildcard.isEmpty())
            continue;
        QRegularExpression regex(wildcardToRegex(wildcard), options);
        // A malformed set such as "[z-a]" is taken literally.
        if (!regex.isValid())
            regex = QRegularExpression(
                QRegularExpression::anchoredPattern(QRegularExpression::escape(wildcard)), options);
        compiled.append(WildcardPattern{wildcard, regex});
    }
    return compiled;
}

bool matchesAnyPattern(const QString& text, const PatternList& patterns, QString* matchedPattern)
{
    for (const WildcardPattern& pattern : patterns) {
        if (pattern.regex.match(text).hasMatch()) {
            if (matchedPattern)
                *matchedPattern = pattern.wildcard;
            return true;
        }
    }
    return false;
}

bool fileNameMatchesAnyPattern(const QString& path, const PatternList& patterns,
                               QString* matchedPattern)
{
    return matchesAnyPattern(fileNameOf(path), patterns, matchedPattern);
}

QStringList patternsFromText(const QString& text)
{
    QStringList patterns;
    QString part;
    // The end of the last escape in part: white space up to there is the name's own.
    int escapedUpTo = 0;
    const auto take = [&patterns, &part, &escapedUpTo]() {
        int end = part.size();
        while (end > escapedUpTo && part.at(end - 1).isSpace())
            --end;
        int begin = 0;
        while (begin < end && part.at(begin).isSpace())
            ++begin;
        if (begin < end)
            patterns.append(part.mid(begin, end - begin));
        part.clear();
        escapedUpTo = 0;
    };
    // Only the blanks around a pattern go: a name may hold two spaces in a row, or a
    // newline, and a pattern must still match it.
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char(',')) {
            take();
        } else if (c == QLatin1Char('\\') && i + 1 < text.size()) {
            // The escape stays: the pattern reads "\," as a comma and "\\" as a backslash.
            part += c;
            part += text.at(++i);
            escapedUpTo = part.size();
        } else {
            part += c;
        }
    }
    take();
    return patterns;
}

} // namespace FileSystemUtils
