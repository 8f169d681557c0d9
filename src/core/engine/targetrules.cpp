#include "engine/targetrules.h"

#include "fs/filenamecodec.h"

#include <QByteArray>
#include <QStringList>

namespace {

// A byte of a name that is not UTF-8, as the file name codec holds it: a lone surrogate.
bool isEscapedByte(const QString& name, int i)
{
    const QChar c = name.at(i);
    return FileNameCodec::escapedByte(c) != 0 && (i == 0 || !name.at(i - 1).isHighSurrogate());
}

bool hasEscapedByte(const QString& name)
{
    for (int i = 0; i < name.size(); ++i) {
        if (isEscapedByte(name, i))
            return true;
    }
    return false;
}

const QString forbiddenCharacters = QStringLiteral("\"*/:<>?\\|");

bool isForbidden(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f || forbiddenCharacters.contains(c);
}

// The fullwidth form of a printable ASCII character.
QChar fullwidth(QChar c)
{
    return QChar(char16_t(0xff01 + (c.unicode() - 0x21)));
}

} // namespace

TargetRules::Family TargetRules::familyOf(const QString& type, unsigned long magic)
{
    // A FUSE mount names its driver after a dot: "fuseblk.exfat", "fuse.ntfs-3g".
    const QString kind = type.toLower();
    const QString driver = kind.section(QLatin1Char('.'), -1);
    if (kind == QLatin1String("vfat") || kind == QLatin1String("msdos") ||
        kind == QLatin1String("fat") || driver == QLatin1String("fusefat") ||
        driver == QLatin1String("vfat"))
        return Family::Fat;
    if (driver.contains(QLatin1String("exfat")))
        return Family::Exfat;
    // A block device through FUSE whose driver could not be told is a Windows volume
    // (NTFS or exFAT) in practice: its rules are the safe guess.
    if (driver.startsWith(QLatin1String("ntfs")) || driver == QLatin1String("lowntfs-3g") ||
        kind == QLatin1String("fuseblk"))
        return Family::Ntfs;
    if (kind == QLatin1String("cifs") || kind == QLatin1String("smb3") ||
        kind == QLatin1String("smbfs"))
        return Family::Smb;
    switch (magic) {
    case 0x4d44UL: // MSDOS_SUPER_MAGIC
        return Family::Fat;
    case 0x2011bab0UL: // exFAT
        return Family::Exfat;
    case 0x5346544eUL: // NTFS (the old driver)
    case 0x7366746eUL: // ntfs3
        return Family::Ntfs;
    case 0xff534d42UL: // CIFS
    case 0xfe534d42UL: // SMB2
        return Family::Smb;
    default:
        return Family::Posix;
    }
}

QString TargetRules::familyName(Family family)
{
    switch (family) {
    case Family::Fat:
        return QStringLiteral("fat");
    case Family::Exfat:
        return QStringLiteral("exfat");
    case Family::Ntfs:
        return QStringLiteral("ntfs");
    case Family::Smb:
        return QStringLiteral("smb");
    case Family::Posix:
        break;
    }
    return QStringLiteral("posix");
}

QString TargetRules::nameProblem(const QString& name, Family family, int maxNameBytes)
{
    if (family == Family::Posix) {
        // A name that is not valid UTF-8 is held as lone surrogates, one per byte. No unit
        // takes more than three bytes: a short name is not encoded to be measured.
        if (name.size() * 3 <= maxNameBytes)
            return QString();
        return name.toUtf8().size() > maxNameBytes ? QStringLiteral("name-too-long") : QString();
    }
    // Names are Unicode there: the driver refuses bytes that are not UTF-8 (EILSEQ).
    if (hasEscapedByte(name))
        return QStringLiteral("name-not-utf8");
    for (const QChar c : name) {
        if (isForbidden(c))
            return QStringLiteral("forbidden-character");
    }
    if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        return QStringLiteral("trailing-dot-or-space");
    // "con", "Con.txt", "LPT1.tar.gz" and "aux ." alike: the device name before any extension.
    const QString base = name.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    static const QStringList reserved = {QStringLiteral("CON"), QStringLiteral("PRN"),
                                         QStringLiteral("AUX"), QStringLiteral("NUL")};
    const bool numbered =
        base.size() == 4 &&
        (base.startsWith(QLatin1String("COM")) || base.startsWith(QLatin1String("LPT"))) &&
        base.at(3) >= QLatin1Char('1') && base.at(3) <= QLatin1Char('9');
    if (reserved.contains(base) || numbered)
        return QStringLiteral("reserved-name");
    // Names are UTF-16 there: a QString counts the same units.
    if (name.size() > 255)
        return QStringLiteral("name-too-long");
    return QString();
}

QString TargetRules::portableName(const QString& name, Family family)
{
    const QString problem = nameProblem(name, family, 255);
    if (problem.isEmpty() || problem == QLatin1String("name-too-long"))
        return name;
    QString mapped;
    mapped.reserve(name.size() + 8);
    for (int i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (isEscapedByte(name, i))
            mapped += QStringLiteral("%%1")
                          .arg(uint(FileNameCodec::escapedByte(c)), 2, 16, QLatin1Char('0'))
                          .toUpper();
        else if (c.unicode() == 0x7f)
            mapped += QChar(char16_t(0x2421));
        else if (c.unicode() < 0x20)
            mapped += QChar(char16_t(0x2400 + c.unicode()));
        else if (forbiddenCharacters.contains(c))
            mapped += fullwidth(c);
        else
            mapped += c;
    }
    int end = mapped.size();
    while (end > 0 &&
           (mapped.at(end - 1) == QLatin1Char('.') || mapped.at(end - 1) == QLatin1Char(' ')))
        end -= 1;
    for (int i = end; i < mapped.size(); ++i)
        mapped[i] =
            mapped.at(i) == QLatin1Char('.') ? QChar(char16_t(0xff0e)) : QChar(char16_t(0x2420));
    if (nameProblem(mapped, family, 255) == QLatin1String("reserved-name"))
        mapped[0] = fullwidth(mapped.at(0));
    return mapped;
}

QString TargetRules::portableLinkText(const QString& text, int depth, Family family)
{
    if (family == Family::Posix)
        return text;
    QStringList parts = text.split(QLatin1Char('/'));
    int level = depth;
    for (QString& part : parts) {
        if (part.isEmpty() || part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (--level < 0)
                return text;
            continue;
        }
        level += 1;
        part = portableName(part, family);
    }
    return parts.join(QLatin1Char('/'));
}

bool TargetRules::takesOnlyAscii(const QString& mountType)
{
    return mountType.section(QLatin1Char('.'), -1).toLower() == QLatin1String("fusefat");
}

bool TargetRules::isAscii(const QString& name)
{
    for (const QChar c : name) {
        if (c.unicode() > 0x7f)
            return false;
    }
    return true;
}

bool TargetRules::pathTooLong(const QString& path, Family family)
{
    switch (family) {
    case Family::Posix:
        // PATH_MAX: most other programs stop there. At most three bytes a unit.
        return path.size() * 3 >= 4096 && path.toUtf8().size() >= 4096;
    case Family::Fat:
        return path.size() > 4095; // the vfat driver's own limit
    case Family::Exfat:
        return path.size() > 32760;
    case Family::Ntfs:
    case Family::Smb:
        return path.size() > 32767;
    }
    return false;
}

qint64 TargetRules::maxFileSize(Family family)
{
    return family == Family::Fat ? (qint64(4) << 30) - 1 : -1;
}

bool TargetRules::ignoresCase(Family family)
{
    return family != Family::Posix;
}

bool TargetRules::keepsSymbolicLinks(Family family)
{
    return family == Family::Posix || family == Family::Ntfs;
}

bool TargetRules::keepsOwners(Family family)
{
    return family == Family::Posix;
}

bool TargetRules::keepsModes(Family family)
{
    return family == Family::Posix;
}

bool TargetRules::keepsSpecialFiles(Family family)
{
    return family == Family::Posix;
}

bool TargetRules::keepsHoles(Family family)
{
    return family != Family::Fat && family != Family::Exfat;
}

qint64 TargetRules::spaceFor(qint64 dataBytes, qint64 blockSize)
{
    const qint64 block = qMax<qint64>(512, blockSize);
    return (qMax<qint64>(0, dataBytes) + block - 1) / block * block + block;
}
