#pragma once

#include <QString>
#include <QtGlobal>

#include <array>

// The preferences that shape how one run copies, taken once when the run starts or resumes
// and handed by value to each of its jobs and copiers. A change in the preferences while a
// run goes on applies to the next run only: one run never mixes two copy methods or two
// rules for dates and read-only files.
struct RunSettings
{
    // How file data is copied: 0 or 1 the native copy, 2 Qt's, 3 the simple loop (see
    // CopyFileObject::CopyMethod).
    int copyMethod = 0;
    // Dates that cannot be kept are noted instead of making the item an error, and an
    // existing destination is compared by size (and link target) alone.
    bool skipErrorsInSync = false;
    // Copies and synced folders get the owner's write permission, so that none is left
    // read-only.
    bool removeReadOnlyAttribute = false;
    // The file list reports the entries that the filters leave out as skipped items.
    bool reportFilteredFiles = false;
    // A verify compares the bytes of files up to this size only; 0 compares every file.
    qint64 skipIntegrityCheckForFileSizeMoreThan = 0;
    // The digest a verify compares by: 0 SHA-256, 1 BLAKE2b-512, 2 XXH3-128 (see
    // Digest::Algorithm).
    int hashAlgorithm = 0;

    // The names that options, settings and checksum lists give the digests, in the order of
    // hashAlgorithm.
    static const std::array<const char*, 3>& hashNames()
    {
        static const std::array<const char*, 3> names{"sha256", "blake2b", "xxh3"};
        return names;
    }
    // The digest of that name (any case), or -1.
    static int hashAlgorithmNamed(const QString& name)
    {
        for (size_t i = 0; i < hashNames().size(); ++i) {
            if (name.compare(QLatin1String(hashNames()[i]), Qt::CaseInsensitive) == 0)
                return int(i);
        }
        return -1;
    }

    bool operator==(const RunSettings& other) const
    {
        return copyMethod == other.copyMethod && skipErrorsInSync == other.skipErrorsInSync &&
               removeReadOnlyAttribute == other.removeReadOnlyAttribute &&
               reportFilteredFiles == other.reportFilteredFiles &&
               skipIntegrityCheckForFileSizeMoreThan ==
                   other.skipIntegrityCheckForFileSizeMoreThan &&
               hashAlgorithm == other.hashAlgorithm;
    }
    bool operator!=(const RunSettings& other) const { return !(*this == other); }
};
