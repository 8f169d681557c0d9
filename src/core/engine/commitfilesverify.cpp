// The read-back of a group's verified copies, once the file system is flushed.

#include "engine/commitfilesjob.h"
#include "engine/copyverification.h"

#include "fs/filesystemutils.h"
#include "fs/platform.h"

#include <QCoreApplication>

namespace {

QString text(const char* source)
{
    return QCoreApplication::translate("CopyFileObject", source);
}

} // namespace

bool CommitFilesJob::verify(PendingCopy& copy, CopyItem& item, int firstCheck) const
{
    const auto algorithm = Digest::Algorithm(m_algorithm);
    auto check = CopyVerification::Check(firstCheck);
    if (check == CopyVerification::Check::Differs) {
        // Made once more, on its own: copied, flushed and read back.
        CopyVerification::removeCopy(copy.temporaryPath, m_root);
        copy.temporaryPath.clear();
        item.info_list.append(CopyVerification::copiedAgainNote());
        Platform::EntryStatus status;
        if (!Platform::entryStatus(item.source_path, &status) || !status.isFile) {
            item.setSourceError(
                text(QT_TRANSLATE_NOOP("CopyFileObject", "source file changed during the copy")));
            return false;
        }
        CopyVerification verification(algorithm);
        PlatformCopy::CopyRequest request;
        request.permissions = (status.permissions & 07777) | (m_addOwnerWrite ? 0200 : 0);
        request.sourceMetadata = true;
        request.sourceTimes = true;
        request.leaveTemporary = true;
        request.observeSource = verification.startSource(status.size);
        request.destinationRoot = m_root;
        PlatformCopy::Failure failure;
        PlatformCopy::CopyOutcome outcome;
        const bool copied = PlatformCopy::copyFile(item.source_path, item.destination_path, nullptr,
                                                   {}, &failure, request, &outcome);
        const PlatformCopy::FileVersion& read = outcome.source;
        if (!copied || !read.sameData(copy.source) || read.inode != copy.source.inode ||
            read.device != copy.source.device) {
            if (!outcome.temporaryPath.isEmpty())
                CopyVerification::removeCopy(outcome.temporaryPath, m_root);
            if (copied || failure.sourceChanged) {
                item.setSourceError(text(
                    QT_TRANSLATE_NOOP("CopyFileObject", "source file changed during the copy")));
            } else {
                item.info_list.append(FileSystemUtils::failureText(failure));
                item.setDestinationError(
                    text(QT_TRANSLATE_NOOP("CopyFileObject", "unable to copy file")));
            }
            return false;
        }
        copy.temporaryPath = outcome.temporaryPath;
        item.digest = verification.sourceDigest();
        check = CopyVerification::checkCopy(copy.temporaryPath, algorithm, item.digest, true, 2,
                                            m_root);
    }
    if (check == CopyVerification::Check::Equal) {
        item.is_checked = true;
        item.info_list.append(CopyVerification::verifiedNote());
        return true;
    }
    CopyVerification::removeCopy(copy.temporaryPath, m_root);
    item.setDestinationError(check == CopyVerification::Check::Differs
                                 ? CopyVerification::differsError()
                                 : CopyVerification::unreadableError());
    return false;
}
