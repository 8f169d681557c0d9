#pragma once

#include "engine/copyobject.h"
#include "fs/platformcopy.h"
#include "model/copyoptions.h"
#include "model/runsettings.h"

// The part of a file copier that makes entries at the destination: the copy's folder held
// open from the destination root, temporary names in it, the final name given there, and
// the entries made without copying data (symbolic links, FIFOs and device nodes, the
// files of kernel file systems).
class PlacingCopyObject : public CopyObject
{
    Q_OBJECT

public:
    explicit PlacingCopyObject(QObject* parent = nullptr);

    // The job's folder held open for the files of one folder that follow one another (null:
    // each copy reaches its folder itself); set by the job, used on its thread only.
    PlatformCopy::PinnedFolder* mp_jobFolder = nullptr;

    // The options of the run; set by the job before the copy starts.
    CopyOptions m_options;
    // The run's copy of the preferences (copy method, dates, read-only state); set by the job
    // before the copy starts. The copier reads no other.
    RunSettings m_settings;

protected:
    // The descriptor of the copy's folder held by the job (pinned now when it held another),
    // or -1 when there is none.
    int jobFolderDescriptor();
    // Lets the job's folder go; -1, the descriptor of none.
    int releaseJobFolder();
    // Decides about the entry at destination_path by the overwrite mode: true when the copy
    // goes on (to a free name, or replacing it: m_replaceExisting), false when the outcome
    // is decided.
    virtual bool decideExistingDestination() = 0;

    // Creates the destination's folder when missing; false (with the reason) when it cannot.
    bool createDestinationFolder();
    // Creates the copy's folder and holds it open from the destination root (m_folder); an
    // error of the item when that fails.
    bool pinDestinationFolder();
    // Where entries of the copy are made: the destination through m_folder once pinned.
    QString writePath(const QString& path) const;
    // A temporary name beside the destination, reserved and left free for a copy made by
    // other means; empty (with the reason) when the folder refuses it.
    QString reserveTemporaryName();
    // Gives the finished temporary file its final name. When another copier took the name
    // meanwhile, decides again against the entry now there and tries once more. False
    // (the temporary file removed) when the outcome is decided otherwise.
    bool placeCopy(const QString& temporary);

    // Makes the destination a hard link to firstCopy, the copy of this file's first name,
    // while that holds the source of version (by size and time, or for a copy the overwrite
    // rule kept, by its bytes); false when the file is to be copied instead.
    bool linkTo(const QString& firstCopy, const PlatformCopy::FileVersion& version);
    bool copySymbolicLink();
    // A file of a kernel file system (its size tells nothing of its bytes).
    void copyPseudoFile();
    // A FIFO, socket or device node is made anew (a verify compares its kind and device
    // number).
    void copySpecialFile();

    // Whether firstCopy, kept from before the run, holds the bytes of the source (of version
    // source); kept receives its own version.
    bool keptCopyHoldsSource(const QString& firstCopy, const PlatformCopy::FileVersion& source,
                             PlatformCopy::FileVersion* kept) const;

    // The destination as the item gave it, before any automatic rename.
    QString m_requestedDestination;
    // The source as the copy read it (size -1 when unknown).
    PlatformCopy::FileVersion m_sourceVersion;
    PlatformCopy::PinnedFolder m_folder;
    int m_renameInfoIndex = -1;
    bool m_replaceExisting = false;
};
