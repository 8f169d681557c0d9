#pragma once

#include "fs/platformcopy.h"

#include <QString>

// The last step of a move: a source goes only while it is still the file that was copied
// (device, inode, size and times: PlatformCopy::FileVersion) and its name does not lead to
// the copy itself. Called by several threads at once; it keeps no state.
class SourceRemover
{
public:
    enum class Outcome
    {
        Gone,      // no longer there: nothing to do
        SameEntry, // its name now leads to the copy: kept
        Changed,   // not the file that was copied any more (or not known): kept
        Removed,
        Kept // the removal failed
    };

    // read: the source as the copy read it. Two status reads, then the unlink.
    static Outcome remove(const QString& source, const QString& copy,
                          const PlatformCopy::FileVersion& read);
};
