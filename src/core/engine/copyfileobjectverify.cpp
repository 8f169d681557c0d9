// The verified copy of CopyFileObject: each attempt is left under its temporary name, read
// back from the device and given its name only when its digest is the source's.

#include "engine/copyfileobject.h"
#include "engine/copyverification.h"

#include "fs/filesystemutils.h"

bool CopyFileObject::copyVerified()
{
    m_verification.reset(new CopyVerification(Digest::Algorithm(m_settings.hashAlgorithm)));
    const auto end = [this](bool result) {
        m_verification.reset();
        return result;
    };
    PlatformCopy::FileVersion first;
    for (int attempt = 1; attempt <= CopyVerification::maxAttempts; ++attempt) {
        if (attempt > 1)
            m_sourceFd = -1; // read from its start again
        // The copy stays under its temporary name (the native copy's request says so).
        QString temporary;
        const bool native = usesNativeCopy();
        if (!(native ? copyFileNative()
                     : copyPortable(&temporary, m_verification->startSource(file_size))))
            return end(false);
        if (native)
            temporary.swap(m_pendingTemporaryPath);
        const QByteArray expected = m_verification->sourceDigest();
        if (attempt == 1) {
            first = m_sourceVersion;
        } else if (!first.sameData(m_sourceVersion) || first.inode != m_sourceVersion.inode ||
                   first.device != m_sourceVersion.device) {
            // The two attempts read two versions: neither is known to be the one left.
            CopyVerification::removeCopy(temporary, m_destinationRoot);
            reportSourceChanged();
            return end(false);
        }
        // A small copy on the run's own file system is read back with its group, once the
        // whole file system is flushed (CommitFilesJob).
        if (usesNativeCopy() && m_deferBelowSize > 0 && file_size < m_deferBelowSize &&
            m_copyVersion.device == m_deferDevice) {
            m_pendingTemporaryPath = temporary;
            digest = expected;
            return end(true);
        }
        switch (m_verification->check(temporary, expected, attempt, m_destinationRoot, stopFlag())) {
        case CopyVerification::Check::Equal:
            if (!placeCopy(temporary))
                return end(false);
            if (!usesNativeCopy())
                FileSystemUtils::syncFile(source_path, writePath(destination_path),
                                          m_settings.removeReadOnlyAttribute);
            digest = expected;
            is_checked = true;
            info_list.append(CopyVerification::verifiedNote());
            return end(true);
        case CopyVerification::Check::Unreadable:
            CopyVerification::removeCopy(temporary, m_destinationRoot);
            setDestinationError(CopyVerification::unreadableError());
            return end(false);
        case CopyVerification::Check::Differs:
            CopyVerification::removeCopy(temporary, m_destinationRoot);
            if (attempt < CopyVerification::maxAttempts)
                info_list.append(CopyVerification::copiedAgainNote());
            break;
        }
    }
    setDestinationError(CopyVerification::differsError());
    return end(false);
}
