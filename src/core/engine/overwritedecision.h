#pragma once

#include <QString>
#include <QStringList>

#include <atomic>

class CopyOptions;
class QFileInfo;

// What the overwrite mode makes of an entry already at the destination: pure logic on what
// the status of the two entries tells, kept apart from the copier that acts on it.
class OverwriteDecision
{
public:
    struct Comparison
    {
        bool isLink = false; // the source is a symbolic link
        bool older = false;  // the destination is older than the source
        bool newer = false;
        bool sizeDiffers = false;
        bool createdDiffers = false; // never where creation dates are unknown
        bool linkDiffers = false;
        bool destinationIsFolder = false; // a real folder, not a link to one
        // The source is a pseudo-file (Platform::isPseudoFile): its size and dates tell
        // nothing of its bytes.
        bool pseudoFile = false;
    };
    enum class Verdict
    {
        Replace,         // the copy replaces it by rename once complete
        Skip,            // kept, the item skipped
        CannotOverwrite, // it should be replaced but cannot be (a folder)
        Differs,         // kept, and the item is an error: the last note tells why
        CompareContent   // replaced only when the bytes of the two files differ
    };
    struct Result
    {
        Verdict verdict = Verdict::Skip;
        // For the item's notes, in this order.
        QStringList notes;
    };

    // The overwrite mode for one destination file: the user's decision for it (overwrite:
    // always, skip: never, rename: automatic rename), else the run's own. A verify keeps its own.
    static int modeFor(const CopyOptions& options, const QString& destinationRoot,
                       const QString& destination);
    // The key of a destination file in CopyOptions::m_fileDecisions; empty outside the root.
    static QString decisionKey(const QString& destinationRoot, const QString& destination);

    static Comparison compare(const QFileInfo& source, const QFileInfo& destination,
                              const QString& linkTarget);
    // datesUntrusted: only sizes and link targets count as differences.
    static Result decide(const Comparison& comparison, int overwriteMode, int copyMode,
                         bool datesUntrusted);
    // A CompareContent verdict settled by the bytes of both files: Replace, Skip, or Differs
    // when they cannot be read (the last note tells why). A destination that is no regular
    // file (a link to an equal file elsewhere) is replaced.
    static Result byContent(const QString& source, const QString& destination,
                            const std::atomic<int>* stopFlag, Result decided);
};
