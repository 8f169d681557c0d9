#pragma once

#include <QObject>
#include <QString>

// What a destination's kind of file system refuses or cannot keep: pure rules on names,
// sizes and metadata, so that a plan names the entries a run would fail on before it writes.
class TargetRules
{
    Q_GADGET

public:
    enum class Family
    {
        Posix, // ext4, XFS, Btrfs, tmpfs, NFS...: bytes, any name but '/' and NUL
        Fat,   // FAT, vfat, msdos
        Exfat,
        Ntfs,
        Smb // SMB/CIFS shares, whose server keeps the Windows rules
    };
    Q_ENUM(Family)

    // From the mount table's type ("vfat", "fuseblk.exfat", "ntfs3", "cifs") and, where that
    // says nothing known, statfs's f_type.
    static Family familyOf(const QString& type, unsigned long magic);
    static QString familyName(Family family);

    // The machine key of what is wrong with one name on that family, or empty: among
    // "name-not-utf8" (its bytes are refused: EILSEQ), "forbidden-character",
    // "reserved-name", "trailing-dot-or-space", "name-too-long".
    // maxNameBytes is the file system's own limit where names are bytes (Posix).
    static QString nameProblem(const QString& name, Family family, int maxNameBytes = 255);
    // The name written there in place of one the family refuses (CopyOptions::
    // m_replaceForbiddenNames); name itself when the family takes it (or only its length is
    // wrong, which no look-alike mends). The mapping, documented in README.md:
    //   " * : < > ? \ |   ->  their fullwidth forms U+FF02 U+FF0A U+FF1A U+FF1C U+FF1E U+FF1F
    //                          U+FF3C U+FF5C
    //   control U+0001..U+001F, U+007F  ->  its picture U+2401..U+241F, U+2421
    //   trailing dots and spaces  ->  U+FF0E (fullwidth full stop), U+2420 (symbol for space)
    //   a reserved device name (CON, NUL, COM1, LPT9.txt...)  ->  its first letter fullwidth
    //   a byte that is not UTF-8  ->  "%XX", its value in capital hexadecimal
    static QString portableName(const QString& name, Family family);
    // A link's text with each name it passes inside the copied tree replaced as portableName
    // replaces the names written, so that the link finds its target's copy. depth: the
    // folders between the tree's top and the link; a text that climbs above the top names
    // something outside and stays as it is.
    static QString portableLinkText(const QString& text, int depth, Family family);
    // Whether the mount, by its mount table type, takes only ASCII names: fusefat refuses
    // any other (EPERM), look-alikes included.
    static bool takesOnlyAscii(const QString& mountType);
    static bool isAscii(const QString& name);
    // Whether a whole destination path is longer than the family takes.
    static bool pathTooLong(const QString& path, Family family);
    // The largest file the family holds; -1 without a limit worth telling.
    static qint64 maxFileSize(Family family);
    static bool ignoresCase(Family family);
    static bool keepsSymbolicLinks(Family family);
    static bool keepsOwners(Family family);
    // Execute, set-id and sticky bits.
    static bool keepsModes(Family family);
    static bool keepsSpecialFiles(Family family);
    // Whether a file's holes stay holes there; FAT and exFAT write every byte.
    static bool keepsHoles(Family family);
    // The bytes a file of that size takes there with its share of metadata: its data rounded
    // up to the block size, plus one block for its entry.
    static qint64 spaceFor(qint64 dataBytes, qint64 blockSize);
};
