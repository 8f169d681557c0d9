#pragma once

#include <QMap>
#include <QStringList>
#include <QVariantMap>

class QSettings;

// The choices that shape one copy run. A value class: the main window fills it, the
// task stores it as a list of texts, and every copier receives its own copy.
class CopyOptions
{
public:
    enum CopyMode
    {
        Copy = 0,
        Move = 1,
        Verify = 2,
        FixErrors = 3
    };
    enum OverwriteMode
    {
        NoOverwrite = 0,
        OverwriteOlder = 1,
        OverwriteAlways = 2,
        AutoRename = 3,
        OverwriteDifferent = 4,
        // Replaced only when its bytes differ: sizes first, then the bytes of both.
        OverwriteContent = 5
    };
    enum DestinationMode
    {
        Collate = 0,
        Normal = 1
    };
    // What the user chose for one file already at the destination, over the overwrite mode.
    enum FileDecision
    {
        DecideOverwrite = 0,
        DecideSkip = 1,
        DecideRename = 2
    };

    CopyOptions();

    bool operator==(const CopyOptions& other) const;
    bool operator!=(const CopyOptions& other) const { return !(*this == other); }

    // Eleven texts, then "verify" for m_verifyCopies, "ignorecase" for m_ignoreCase and
    // "portablenames" for m_replaceForbiddenNames;
    // pattern lists are joined with ", " (a backslash escapes it). Older readers stop after
    // the eleventh, or look at the twelfth for "verify": to them such a task is the same
    // task without the option, never a malformed one.
    QStringList toDataString() const;
    // Reads from the front of the list; members the list does not reach keep their
    // values. False (and one warning) on a malformed list, leaving the members read
    // so far updated.
    bool fromDataString(QStringList list);
    // "Key=value" texts for logs and reports.
    QStringList toDescriptionList() const;
    // Reads the group "Copy" that task files of the first save version hold.
    void loadFromSettings(QSettings& settings);
    // The same from that group's keys (without the group's name) and values.
    void loadFromGroup(const QVariantMap& group);
    static QString groupName() { return QStringLiteral("Copy"); }
    // One entry of m_fileDecisions as task files store it: a word ("overwrite", "skip",
    // "rename"), a space and the path's bytes percent-encoded, so that any name (a newline,
    // bytes that are no UTF-8) keeps its exact bytes. The words never change.
    static QString fileDecisionText(const QString& relativePath, int decision);
    // False for a text not made so, or a path that is empty, absolute or leaves the folder.
    static bool fileDecisionFromText(const QString& text, QString* relativePath, int* decision);
    static QString fileDecisionsGroupName() { return QStringLiteral("FileDecisions"); }

    int m_copyMode = Copy;
    bool m_copyHiddenFiles = true;
    int m_overwriteMode = OverwriteOlder;
    QStringList m_copyFilters;
    QStringList m_skipFilters;
    QStringList m_skipErrorOnFiles;
    bool m_recursive = true;
    bool m_copySymbolicLinks = true;
    bool m_copyEmptyFolders = true;
    int m_destinationMode = Normal;
    // A copy or move reads each copy back from its device and compares digests; a copy that
    // differs is made once more, and a move removes a source only after its copy matched.
    bool m_verifyCopies = false;
    // The filters match names without regard to case. Off, case counts as the source's file
    // system counts it.
    bool m_ignoreCase = false;
    // Names the destination's file system refuses are written with look-alike characters
    // (TargetRules' mapping), so that such files are copied rather than failed.
    bool m_replaceForbiddenNames = false;
    // The user's FileDecision per destination file, by its path relative to the destination
    // (separators '/'). Not in the data string: task files keep them in a group of their own.
    QMap<QString, int> m_fileDecisions;
};
