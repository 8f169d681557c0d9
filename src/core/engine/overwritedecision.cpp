#include "engine/overwritedecision.h"

#include "fs/filesystemutils.h"
#include "fs/platform.h"
#include "fs/platformcopy.h"
#include "model/copyoptions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

// The copier's own texts (marked where they are written, for the translation tools).
QString text(const char* source)
{
    return QCoreApplication::translate("CopyFileObject", source);
}

} // namespace

QString OverwriteDecision::decisionKey(const QString& destinationRoot, const QString& destination)
{
    const QString root = QDir::fromNativeSeparators(destinationRoot);
    const QString path = QDir::fromNativeSeparators(destination);
    if (root.isEmpty() || path.size() <= root.size() + 1 || !path.startsWith(root))
        return QString();
    // The root "/" ends with its separator already.
    const int from = root.endsWith(QLatin1Char('/')) ? root.size() : root.size() + 1;
    if (from > root.size() && path.at(root.size()) != QLatin1Char('/'))
        return QString();
    return path.mid(from);
}

int OverwriteDecision::modeFor(const CopyOptions& options, const QString& destinationRoot,
                               const QString& destination)
{
    if (options.m_fileDecisions.isEmpty() || options.m_copyMode == CopyOptions::Verify)
        return options.m_overwriteMode;
    const auto found = options.m_fileDecisions.constFind(decisionKey(destinationRoot, destination));
    if (found == options.m_fileDecisions.constEnd())
        return options.m_overwriteMode;
    switch (*found) {
    case CopyOptions::DecideOverwrite:
        return CopyOptions::OverwriteAlways;
    case CopyOptions::DecideSkip:
        return CopyOptions::NoOverwrite;
    case CopyOptions::DecideRename:
        return CopyOptions::AutoRename;
    default:
        return options.m_overwriteMode;
    }
}

OverwriteDecision::Comparison OverwriteDecision::compare(const QFileInfo& source,
                                                         const QFileInfo& destination,
                                                         const QString& linkTarget)
{
    Comparison comparison;
    comparison.isLink = source.isSymLink();
    comparison.destinationIsFolder = destination.isDir() && !destination.isSymLink();
    if (comparison.isLink) {
        comparison.linkDiffers =
            FileSystemUtils::linkTargetsDiffer(source, destination, linkTarget);
        return comparison;
    }
    comparison.pseudoFile = Platform::isPseudoFile(source.filePath(), source.size());
    const int order = FileSystemUtils::modificationOrder(source, destination);
    comparison.older = order < 0;
    comparison.newer = order > 0;
    comparison.sizeDiffers = source.size() != destination.size();
    comparison.createdDiffers = FileSystemUtils::createdDatesDiffer(source, destination);
    return comparison;
}

OverwriteDecision::Result OverwriteDecision::decide(const Comparison& c, int mode, int copyMode,
                                                    bool datesUntrusted)
{
    Result result;
    // A verify reads such a file to its end and compares the bytes: nothing else counts.
    if (c.pseudoFile && copyMode == CopyOptions::Verify && !c.destinationIsFolder)
        return result;
    const bool differs =
        c.isLink ? c.linkDiffers : (c.older || c.newer || c.sizeDiffers || c.createdDiffers);
    // "Older" replaces a file of the same date and another size too, as "rsync --update" does:
    // one of the two is not what its date says.
    const bool olderRule = c.older || (!c.newer && c.sizeDiffers);
    const bool overwrite =
        mode == CopyOptions::OverwriteAlways ||
        (mode == CopyOptions::OverwriteOlder && olderRule) ||
        ((mode == CopyOptions::OverwriteDifferent || mode == CopyOptions::OverwriteContent) &&
         differs);
    if (c.older)
        result.notes << text(
            QT_TRANSLATE_NOOP("CopyFileObject", "file with older modification date exists"));
    else if (c.newer)
        result.notes << text(
            QT_TRANSLATE_NOOP("CopyFileObject", "file with newer modification date exists"));
    else if (c.sizeDiffers)
        result.notes << text(
            QT_TRANSLATE_NOOP("CopyFileObject", "file with different size exists"));
    if (c.linkDiffers)
        result.notes << text(
            QT_TRANSLATE_NOOP("CopyFileObject", "symbolic link target is different"));

    // A verify, which never writes, hashes every file whose size agrees: a date says nothing about
    // the bytes, so a date difference is a note beside the content's result, not instead of it.
    if (copyMode == CopyOptions::Verify && !c.isLink) {
        result.verdict = c.sizeDiffers ? Verdict::Differs : Verdict::Skip;
        return result;
    }
    // By content: a size or a link target that differs tells without reading; equal sizes
    // leave it to the bytes, whatever the dates say.
    if (mode == CopyOptions::OverwriteContent && !c.destinationIsFolder) {
        if (c.isLink)
            result.verdict = c.linkDiffers ? Verdict::Replace : Verdict::Skip;
        else
            result.verdict =
                c.sizeDiffers || c.pseudoFile ? Verdict::Replace : Verdict::CompareContent;
        return result;
    }
    if (overwrite) {
        // A rename never replaces a folder.
        if (!c.destinationIsFolder) {
            result.verdict = Verdict::Replace;
            return result;
        }
        result.notes << text(QT_TRANSLATE_NOOP("CopyFileObject", "Unable to remove existing file"));
    }

    // Dates are not trusted with that setting: only sizes and link targets count.
    const bool significant = (datesUntrusted || c.isLink) ? (c.sizeDiffers || c.linkDiffers)
                                                          : (c.sizeDiffers || c.createdDiffers ||
                                                             c.older || c.newer || c.linkDiffers);
    // Never overwriting, an existing file is skipped (its difference noted), as the file
    // list skips one it finds: whether a clash of two sources of a Collate run is met by the
    // list or by the copier then makes no difference. (A move still compares the bytes; a
    // verify reports every difference.)
    const bool neverOverwrite = mode == CopyOptions::NoOverwrite && copyMode != CopyOptions::Verify;
    if ((mode == CopyOptions::OverwriteOlder && c.newer) || neverOverwrite || !significant)
        result.verdict = Verdict::Skip;
    else
        result.verdict = overwrite ? Verdict::CannotOverwrite : Verdict::Differs;
    return result;
}

OverwriteDecision::Result OverwriteDecision::byContent(const QString& source,
                                                       const QString& destination,
                                                       const std::atomic<int>* stopFlag,
                                                       Result decided)
{
    Platform::EntryStatus kept;
    bool equal = false;
    PlatformCopy::Failure failure;
    if (Platform::entryStatus(destination, &kept) && !kept.isFile) {
        decided.verdict = Verdict::Replace;
    } else if (!PlatformCopy::compareFiles(source, destination, stopFlag, &equal, &failure)) {
        decided.notes << FileSystemUtils::failureText(failure)
                      << text(QT_TRANSLATE_NOOP("CopyFileObject",
                                                "unable to compare with the existing file"));
        decided.verdict = Verdict::Differs;
    } else {
        decided.verdict = equal ? Verdict::Skip : Verdict::Replace;
        if (equal)
            decided.notes << text(
                QT_TRANSLATE_NOOP("CopyFileObject", "file with the same content exists"));
    }
    return decided;
}
