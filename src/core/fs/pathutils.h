#pragma once

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

class QFileInfo;

// Stateless helpers for paths, the texts of durations and sizes, and wildcard
// matching of file names. Only canWriteToFolder touches the file system.
namespace FileSystemUtils {

// Native separators, no doubled or trailing separator; a network path ("//server/share")
// keeps its two leading separators. An empty path stays empty.
QString normalizePath(const QString& path);

// A directory that is not a symbolic link.
bool isRealDirectory(const QFileInfo& entry);

// For an existing folder, whether a probe file can be created in it; a missing folder is
// created with its parents and the result says whether that worked.
bool canWriteToFolder(const QString& folderPath);

// "15 ms", "4 s", "2 m, 5 s" or "25 h, 0 m, 0 s". Hours are not wrapped at a day.
QString elapsedTimeText(int ms);
// "0 s", "045 ms", "5,045 s" (or "5 s"), "3:05 m" or "25:00:00".
QString durationText(qint64 ms, bool withMilliseconds);

// "1000 b", "1.5 kb", "2.50 Mb", ... with power-of-1000 units; a negative precision picks
// the unit's usual number of decimals.
QString byteSizeText(qint64 bytes, int precision = -1);

// Truncates toward zero and rounds a positive value up when the dropped part is 0.5 or
// more. Out-of-range values saturate; NaN gives 0.
qint64 roundToInt64(double value);

// Lower-case hexadecimal SHA-256 of the UTF-8 bytes of a followed by those of b.
QString twoStringHash(const QString& a, const QString& b);

// The part after the last separator.
QString fileNameOf(const QString& path);
// The part before the last separator, as QFileInfo::path() gives it ("/" for "/x", "." for
// a bare name), without building a QFileInfo: the copiers ask it for every file.
QString folderOf(const QString& path);
// The suffix of the path's file name, or an empty text when it is longer than a positive
// maximumLength.
QString limitedSuffix(const QString& name, int maximumLength);
// A path below basePath shown as "./rest"; any other path unchanged.
QString relativeDisplayPath(const QString& basePath, const QString& path);

// A compiled wildcard pattern keeps the text it was compiled from, because callers report
// which of the user's patterns matched.
struct WildcardPattern
{
    QString wildcard;
    QRegularExpression regex;
};
using PatternList = QList<WildcardPattern>;

// "*" matches any text (separators included), "?" any one character and "[...]" (or
// "[!...]") one character of a set; everything else stands for itself, without regard
// to case. Empty patterns are left out.
PatternList compileWildcardPatterns(const QStringList& patterns);

// True when one of the patterns matches the whole text; the first match in list order
// stores its wildcard text in matchedPattern.
bool matchesAnyPattern(const QString& text, const PatternList& patterns,
                       QString* matchedPattern = nullptr);
bool fileNameMatchesAnyPattern(const QString& path, const PatternList& patterns,
                               QString* matchedPattern = nullptr);

// A comma-separated list of patterns as typed: split at commas that no backslash escapes
// ("a\,b.txt" is one pattern, escape kept), the blanks around each pattern (unless
// escaped) and empty parts dropped; blanks inside a pattern stay as typed.
QStringList patternsFromText(const QString& text);

} // namespace FileSystemUtils
