#pragma once

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

// The copy patterns (--include) and skip patterns (--exclude) of a run, matched against the
// entries of its source by their path relative to it, with '/' between folders.
//
// A pattern without '/' matches an entry's name in any folder. A pattern with a '/' inside
// matches the end of the relative path at a folder boundary ("photos/*.jpg" matches
// "photos/a.jpg" and "2020/photos/a.jpg"); a leading '/' ties it to the top of the source.
// A trailing '/' matches folders only, and with them everything under them. "*" and "?"
// stop at '/', "**" does not; "[...]" and "[!...]" are sets; a backslash makes the next
// character stand for itself ("\," a comma, "\*" a star).
class PathFilters
{
public:
    PathFilters() = default;
    PathFilters(const QStringList& copyPatterns, const QStringList& skipPatterns,
                bool caseSensitive);

    bool hasCopyPatterns() const { return !m_copy.isEmpty(); }
    bool isEmpty() const { return m_copy.isEmpty() && m_skip.isEmpty(); }

    // The first skip pattern (as typed) that leaves the entry out; a null text when none.
    QString skippedBy(const QString& relativePath, bool isFolder) const;
    // Whether a file is picked by a copy pattern, itself or through a folder it lies in.
    // True when there are no copy patterns.
    bool copies(const QString& relativePath) const;
    // Whether a folder-only copy pattern ("photos/") picks the folder or one it lies in, and
    // with it every file below. The walk asks once per folder.
    bool copiesFolderTree(const QString& relativeFolder) const;
    // The same for a file in a folder whose answer is already known.
    bool copies(const QString& relativePath, bool inCopiedFolderTree) const;

    // The path below root (both normalized) with '/' between folders; empty for root
    // itself and for a path outside it.
    static QString relativePath(const QString& root, const QString& path);
    // Whether the filters of a run from source tell case apart: not when the user asks to
    // ignore it, nor on a file system that ignores it.
    static bool caseSensitiveFor(bool ignoreCase, const QString& source)
    {
        return !ignoreCase && caseSensitiveAt(source);
    }
    // Whether the file system holding path tells names apart by case (Linux file systems do,
    // FAT and exFAT do not): from its type, or else from whether a name of the path is found
    // spelled in the other case. Writes nothing.
    static bool caseSensitiveAt(const QString& path);

private:
    struct Rule
    {
        QString text;
        QRegularExpression regex;
        bool folderOnly = false;
        bool wholePath = false;
    };
    // The rules that may match a file, joined a hundred to an expression per subject (the
    // name, the path): a file that none matches is told in a few matches, however many
    // patterns were given; the rules are tried one by one only to name the one that did.
    struct FileRules
    {
        QList<QRegularExpression> names;
        QList<QRegularExpression> paths;
        bool mayMatch(const QString& name, const QString& path) const;
    };
    static QList<Rule> compile(const QStringList& patterns, bool caseSensitive);
    static FileRules join(const QList<Rule>& rules, bool caseSensitive);
    static bool matches(const Rule& rule, const QString& relativePath, bool isFolder);

    QList<Rule> m_copy;
    QList<Rule> m_skip;
    FileRules m_copyFiles;
    FileRules m_skipFiles;
};
