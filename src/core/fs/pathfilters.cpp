#include "fs/pathfilters.h"

#include "fs/filesystemutils.h"
#include "fs/platform.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Index of the "]" that closes the set opened at start, or -1 when the "[" is a plain
// character. A "]" right after the opening (or after "!") belongs to the set.
int setEnd(const QString& pattern, int start)
{
    int i = start + 1;
    if (i < pattern.size() && pattern.at(i) == QLatin1Char('!'))
        ++i;
    if (i < pattern.size() && pattern.at(i) == QLatin1Char(']'))
        ++i;
    return pattern.indexOf(QLatin1Char(']'), i);
}

// A set never matches the '/' between folders.
QString setToRegex(const QString& pattern, int start, int end)
{
    QString rx = QStringLiteral("(?!/)[");
    int i = start + 1;
    if (pattern.at(i) == QLatin1Char('!')) {
        rx += QLatin1Char('^');
        ++i;
    }
    for (; i < end; ++i) {
        const QChar c = pattern.at(i);
        // Ranges stay ranges; other ASCII punctuation is escaped so it stands for itself.
        if (c.unicode() < 128 && !c.isLetterOrNumber() && c != QLatin1Char('-'))
            rx += QLatin1Char('\\');
        rx += c;
    }
    return rx + QLatin1Char(']');
}

QString toRegex(const QString& pattern)
{
    QString rx;
    QString literal;
    const auto flushLiteral = [&rx, &literal]() {
        rx += QRegularExpression::escape(literal);
        literal.clear();
    };
    for (int i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('\\') && i + 1 < pattern.size()) {
            literal += pattern.at(++i);
        } else if (c == QLatin1Char('*')) {
            flushLiteral();
            int stars = 1;
            while (i + 1 < pattern.size() && pattern.at(i + 1) == QLatin1Char('*')) {
                ++stars;
                ++i;
            }
            // "**/" is any number of folders, none too.
            if (stars > 1 && i + 1 < pattern.size() && pattern.at(i + 1) == QLatin1Char('/')) {
                rx += QStringLiteral("(?:.*/)?");
                ++i;
            } else {
                rx += stars > 1 ? QStringLiteral(".*") : QStringLiteral("[^/]*");
            }
        } else if (c == QLatin1Char('?')) {
            flushLiteral();
            rx += QStringLiteral("[^/]");
        } else if (const int end = c == QLatin1Char('[') ? setEnd(pattern, i) : -1; end >= 0) {
            flushLiteral();
            rx += setToRegex(pattern, i, end);
            i = end;
        } else {
            literal += c;
        }
    }
    flushLiteral();
    return rx;
}

// A name that is not valid UTF-8 holds lone surrogates (FileNameCodec), which the regular
// expression engine refuses to match at all, in the name and in a pattern typed with the
// same bytes. Each becomes one character of plane 16's private use, one per byte: a "?" or
// a "*" matches it, and the pattern's byte matches only the same byte.
QString matchable(const QString& text)
{
    QString result;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool pair =
            c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        if (result.isNull() && !pair && c.isSurrogate())
            result = text.left(i);
        if (pair) {
            if (!result.isNull())
                result.append(text.midRef(i, 2));
            ++i;
        } else if (c.isSurrogate()) {
            const uint stand = 0x10f800 + (c.unicode() - 0xd800);
            result.append(QChar(QChar::highSurrogate(stand)));
            result.append(QChar(QChar::lowSurrogate(stand)));
        } else if (!result.isNull()) {
            result.append(c);
        }
    }
    return result.isNull() ? text : result;
}

QString nameOf(const QString& relativePath)
{
    return relativePath.mid(relativePath.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

PathFilters::PathFilters(const QStringList& copyPatterns, const QStringList& skipPatterns,
                         bool caseSensitive)
    : m_copy(compile(copyPatterns, caseSensitive)), m_skip(compile(skipPatterns, caseSensitive)),
      m_copyFiles(join(m_copy, caseSensitive)), m_skipFiles(join(m_skip, caseSensitive))
{
}

PathFilters::FileRules PathFilters::join(const QList<Rule>& rules, bool caseSensitive)
{
    QRegularExpression::PatternOptions options = QRegularExpression::DotMatchesEverythingOption;
    if (!caseSensitive)
        options |= QRegularExpression::CaseInsensitiveOption;
    FileRules files;
    QStringList names;
    QStringList paths;
    const auto flush = [options](QStringList* patterns, QList<QRegularExpression>* joined) {
        if (patterns->isEmpty())
            return;
        joined->append(QRegularExpression(patterns->join(QLatin1Char('|')), options));
        joined->last().optimize();
        patterns->clear();
    };
    for (const Rule& rule : rules) {
        if (rule.folderOnly)
            continue;
        QStringList* patterns = rule.wholePath ? &paths : &names;
        *patterns << rule.regex.pattern();
        if (patterns->size() == 100)
            flush(patterns, rule.wholePath ? &files.paths : &files.names);
    }
    flush(&names, &files.names);
    flush(&paths, &files.paths);
    return files;
}

bool PathFilters::FileRules::mayMatch(const QString& name, const QString& path) const
{
    // An expression too large for the engine is no answer: the rules are tried one by one.
    const auto any = [](const QList<QRegularExpression>& joined, const QString& subject) {
        for (const QRegularExpression& regex : joined) {
            if (!regex.isValid() || regex.match(subject).hasMatch())
                return true;
        }
        return false;
    };
    return any(names, name) || any(paths, path);
}

QList<PathFilters::Rule> PathFilters::compile(const QStringList& patterns, bool caseSensitive)
{
    QRegularExpression::PatternOptions options = QRegularExpression::DotMatchesEverythingOption;
    if (!caseSensitive)
        options |= QRegularExpression::CaseInsensitiveOption;
    QList<Rule> rules;
    for (const QString& text : patterns) {
        Rule rule;
        rule.text = text;
        QString pattern = text;
        // "photos/" and "photos//" alike.
        while (pattern.endsWith(QLatin1Char('/'))) {
            rule.folderOnly = true;
            pattern.chop(1);
        }
        const bool anchored = pattern.startsWith(QLatin1Char('/'));
        while (pattern.startsWith(QLatin1Char('/')))
            pattern.remove(0, 1);
        if (pattern.isEmpty())
            continue;
        rule.wholePath =
            anchored || pattern.contains(QLatin1Char('/')) || pattern.contains(QLatin1String("**"));
        QString rx = toRegex(matchable(pattern));
        if (rule.wholePath && !anchored)
            rx.prepend(QLatin1String("(?:.*/)?"));
        rule.regex = QRegularExpression(QRegularExpression::anchoredPattern(rx), options);
        // A pattern the translation cannot express stands for itself.
        if (!rule.regex.isValid())
            rule.regex = QRegularExpression(
                QRegularExpression::anchoredPattern(QRegularExpression::escape(matchable(pattern))),
                options);
        rules.append(rule);
    }
    return rules;
}

bool PathFilters::matches(const Rule& rule, const QString& relativePath, bool isFolder)
{
    if (rule.folderOnly && !isFolder)
        return false;
    return rule.regex.match(matchable(rule.wholePath ? relativePath : nameOf(relativePath)))
        .hasMatch();
}

QString PathFilters::skippedBy(const QString& relativePath, bool isFolder) const
{
    if (m_skip.isEmpty() || (!isFolder && !m_skipFiles.mayMatch(matchable(nameOf(relativePath)),
                                                                matchable(relativePath))))
        return QString();
    for (const Rule& rule : m_skip) {
        if (matches(rule, relativePath, isFolder))
            return rule.text;
    }
    return QString();
}

bool PathFilters::copiesFolderTree(const QString& relativeFolder) const
{
    for (const Rule& rule : m_copy) {
        if (!rule.folderOnly)
            continue;
        for (int end = relativeFolder.indexOf(QLatin1Char('/')); end >= 0;
             end = relativeFolder.indexOf(QLatin1Char('/'), end + 1)) {
            if (matches(rule, relativeFolder.left(end), true))
                return true;
        }
        if (!relativeFolder.isEmpty() && matches(rule, relativeFolder, true))
            return true;
    }
    return false;
}

bool PathFilters::copies(const QString& relativePath, bool inCopiedFolderTree) const
{
    if (m_copy.isEmpty() || inCopiedFolderTree)
        return true;
    if (!m_copyFiles.mayMatch(matchable(nameOf(relativePath)), matchable(relativePath)))
        return false;
    for (const Rule& rule : m_copy) {
        if (matches(rule, relativePath, false))
            return true;
    }
    return false;
}

bool PathFilters::copies(const QString& relativePath) const
{
    const int slash = relativePath.lastIndexOf(QLatin1Char('/'));
    return copies(relativePath, slash > 0 && copiesFolderTree(relativePath.left(slash)));
}

bool PathFilters::caseSensitiveAt(const QString& path)
{
    if (FileSystemUtils::destinationTraits(path, false).caseInsensitive)
        return false;
    // A type that does not tell (exFAT through FUSE shows as "fuseblk"): the nearest name on
    // the way that has a case is looked up spelled the other way. Reads only, as a source
    // must never be written to.
    QFileInfo entry(QFileInfo(path).absoluteFilePath());
    Platform::EntryIdentity top;
    if (!Platform::entryIdentity(entry.absoluteFilePath(), &top))
        return true;
    while (!entry.isRoot() && !entry.fileName().isEmpty()) {
        // A name above the mount point is another file system's.
        Platform::EntryIdentity here;
        if (!Platform::entryIdentity(entry.absoluteFilePath(), &here) || here.device != top.device)
            return true;
        const QString name = entry.fileName();
        const QString upper = name.toUpper();
        const QString other = upper != name ? upper : name.toLower();
        if (other != name) {
            // Found under a spelling its folder does not list: the lookup ignored case.
            const QString twin = entry.absolutePath() + QLatin1Char('/') + other;
            Platform::EntryIdentity identity;
            return !(Platform::entryIdentity(twin, &identity, false) &&
                     FileSystemUtils::existsUnderOtherName(twin));
        }
        entry = QFileInfo(entry.absolutePath());
    }
    return true;
}

QString PathFilters::relativePath(const QString& root, const QString& path)
{
    if (path.size() <= root.size() || !path.startsWith(root))
        return QString();
    const QChar separator = QDir::separator();
    if (root.endsWith(separator))
        return QDir::fromNativeSeparators(path.mid(root.size()));
    if (path.at(root.size()) != separator)
        return QString();
    return QDir::fromNativeSeparators(path.mid(root.size() + 1));
}
